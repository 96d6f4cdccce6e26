// The player control through its automation object (by DISPID and by name),
// its frame clock, painting and address loading, and the host control with
// its mouse switch.
#include <gtest/gtest.h>

#include "common/ShockwaveFlash.h"
#include "platform/flash/FlashControl.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Paint.h"
#include "tests/framework/FormTestSupport.h"
#include "tests/platform/FlashTestMovies.h"
#include "tests/support/HttpServer.h"

namespace vorra::test {
namespace {

using namespace win;

// Three frames over a 0x336699 background.
TBytes ThreeFrameMovie() {
  return Movie(50, 40, []{ TBytes t = ShowFrame(); Append(t, ShowFrame()); Append(t, ShowFrame()); return t; }(),
               swf::TSwfForm::sfZlib, flash::TRgba{0x33, 0x66, 0x99, 255}, 3);
}

// The window's client pixel as 0xRRGGBB.
std::uint32_t PixelOf(HWND hwnd, int x, int y) {
  HDC mem = CreateCompatibleDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader.biWidth = 60;
  bi.bmiHeader.biHeight = -60;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, dib);
  PrintWindow(hwnd, mem, PW_CLIENTONLY);
  const COLORREF c = GetPixel(mem, x, y);
  SelectObject(mem, old);
  DeleteObject(dib);
  DeleteDC(mem);
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

LONG IntOf(IDispatch* d, DISPID id) {
  TVariant v;
  EXPECT_EQ(DispGetProperty(d, id, v), S_OK) << id;
  LONG n = -99;
  v.ToInt(n);
  return n;
}

class FlashControlTest : public TFormTest {
 protected:
  void SetUp() override {
    TFormTest::SetUp();
    ASSERT_TRUE(flash::RegisterFlashControlClass());
    hwnd_ = CreateWindowExA(0, flash::kFlashControlClass, "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 40, nullptr, nullptr,
                            nullptr, nullptr);
    ASSERT_TRUE(hwnd_);
    object_ = TComPtr<IDispatch>::Attach(flash::FlashControlObject(hwnd_));
    ASSERT_TRUE(object_);
  }
  void TearDown() override {
    object_ = nullptr;
    DestroyWindow(hwnd_);
    TFormTest::TearDown();
  }
  std::string MovieFile(const TBytes& bytes) {
    const std::string path = dir_ / "movie.swf";
    swf::WriteFile(path, bytes);
    return path;
  }

  TTempDir dir_;
  HWND hwnd_ = nullptr;
  TComPtr<IDispatch> object_;
};

TEST_F(FlashControlTest, MembersByNameAndDispidDrivePlaybackAndPaint) {
  DISPID id = 0;
  EXPECT_EQ(DispIdOfName(object_.Get(), "movie", &id), S_OK);
  EXPECT_EQ(id, 102);
  EXPECT_EQ(DispIdOfName(object_.Get(), "BACKGROUNDCOLOR", &id), S_OK);
  EXPECT_EQ(id, 123);
  EXPECT_EQ(DispIdOfName(object_.Get(), "Play", &id), S_OK);
  EXPECT_EQ(id, flash::dispid::Play);
  EXPECT_EQ(DispIdOfName(object_.Get(), "Scripts", &id), DISP_E_UNKNOWNNAME);

  // No movie yet: the background only, white until a colour is given.
  EXPECT_EQ(PixelOf(hwnd_, 5, 5), 0xFFFFFFu);
  const std::string path = MovieFile(ThreeFrameMovie());
  const TVariant pathArg = TVariant::Text(path);
  ASSERT_EQ(DispInvoke(object_.Get(), 102, DISPATCH_PROPERTYPUT, &pathArg, 1, nullptr), S_OK);
  TVariant movie;
  ASSERT_EQ(DispGetProperty(object_.Get(), "Movie", movie), S_OK);
  std::string text;
  movie.ToText(text);
  EXPECT_EQ(text, path);
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::TotalFrames), 3);
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::BackgroundColor), -1);
  EXPECT_EQ(PixelOf(hwnd_, 5, 5), 0x336699u);  // the movie's own
  ASSERT_EQ(DispPutProperty(object_.Get(), "backgroundcolor", TVariant::Int(0x00FF00)), S_OK);
  EXPECT_EQ(PixelOf(hwnd_, 5, 5), 0x00FF00u);

  // The frame clock: each tick one frame while playing.
  SendMessageA(hwnd_, WM_TIMER, 1, 0);
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::CurrentFrame), 1);
  ASSERT_EQ(DispCallMethod(object_.Get(), "Stop", {}), S_OK);
  SendMessageA(hwnd_, WM_TIMER, 1, 0);
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::CurrentFrame), 1);
  ASSERT_EQ(DispInvoke(object_.Get(), 112, DISPATCH_METHOD, nullptr, 0, nullptr), S_OK);
  TVariant playing;
  ASSERT_EQ(DispGetProperty(object_.Get(), "Playing", playing), S_OK);
  EXPECT_EQ(playing.vt, VT_BOOL);
  EXPECT_EQ(playing.boolVal, VARIANT_TRUE);

  // The stock settings, names in any case, numbers where the interface has them.
  EXPECT_EQ(DispPutProperty(object_.Get(), "Quality2", TVariant::Text("low")), S_OK);
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::Quality), 0);
  EXPECT_EQ(DispPutProperty(object_.Get(), "Quality", TVariant::Int(1)), S_OK);
  TVariant q;
  DispGetProperty(object_.Get(), flash::dispid::Quality2, q);
  q.ToText(text);
  EXPECT_EQ(text, "High");
  EXPECT_EQ(DispPutProperty(object_.Get(), "Scale", TVariant::Text("noborder")), S_OK);
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::ScaleMode), 1);
  EXPECT_EQ(DispPutProperty(object_.Get(), "WMode", TVariant::Text("Window")), S_OK);
  EXPECT_EQ(DispPutProperty(object_.Get(), "WMode", TVariant::Text("Sideways")), E_INVALIDARG);
  EXPECT_EQ(DispPutProperty(object_.Get(), "Loop", TVariant::Bool(false)), S_OK);

  // A missing movie: no frames, the background stays.
  ASSERT_EQ(DispPutProperty(object_.Get(), "Movie", TVariant::Text(dir_ / "gone.swf")), S_OK);
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::TotalFrames), 0);
  EXPECT_EQ(PixelOf(hwnd_, 5, 5), 0x00FF00u);

  // Once the window is gone the object answers, but refuses.
  TComPtr<IDispatch> kept = object_;
  DestroyWindow(hwnd_);
  TVariant after;
  EXPECT_EQ(DispGetProperty(kept.Get(), "Movie", after), E_UNEXPECTED);
}

TEST_F(FlashControlTest, AddressesLoadOnAWorkerWithoutBlockingTheLoop) {
  THttpServer server;
  const TBytes bytes = ThreeFrameMovie();
  server.Serve("/m.swf", THttpResponse::Text(std::string(bytes.begin(), bytes.end()), "application/x-shockwave-flash"));
  server.Serve("/gone.swf", THttpResponse::Error(404));

  ASSERT_EQ(DispPutProperty(object_.Get(), "Movie", TVariant::Text(server.Url("/m.swf"))), S_OK);
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::ReadyState), flash::kReadyLoading);
  ASSERT_TRUE(RunModalLoop([&] { return IntOf(object_.Get(), flash::dispid::ReadyState) == flash::kReadyComplete; }));
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::TotalFrames), 3);
  EXPECT_EQ(PixelOf(hwnd_, 5, 5), 0x336699u);

  ASSERT_EQ(DispPutProperty(object_.Get(), "Movie", TVariant::Text(server.Url("/gone.swf"))), S_OK);
  ASSERT_TRUE(RunModalLoop([&] { return IntOf(object_.Get(), flash::dispid::ReadyState) == flash::kReadyComplete; }));
  EXPECT_EQ(IntOf(object_.Get(), flash::dispid::TotalFrames), 0);
  EXPECT_EQ(PixelOf(hwnd_, 5, 5), 0xFFFFFFu);

  // A window closed while its address loads lets the worker go.
  ASSERT_EQ(DispPutProperty(object_.Get(), "Movie", TVariant::Text(server.Url("/m.swf"))), S_OK);
}

// Counts what reaches the hosted window.
std::vector<UINT> g_received;
LRESULT CountingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg >= WM_MOUSEFIRST && msg <= 0x20B) g_received.push_back(msg);
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST_F(FlashControlTest, HostKeepsTheControlSizedAndItsMouseSwitchDropsMouseMessages) {
  WNDCLASSA wc;
  wc.lpfnWndProc = CountingProc;
  wc.lpszClassName = "VorraTestHosted";
  RegisterClassA(&wc);
  TForm* form = new TForm(nullptr);
  form->SetBounds(0, 0, 200, 150);
  auto* host = new TOleControl(form, "VorraTestHosted");
  host->SetParent(form);
  host->SetBounds(10, 10, 80, 60);
  host->HandleNeeded();
  ASSERT_TRUE(host->ControlHandle());
  EXPECT_EQ(host->OleObject(), nullptr);  // that class answers no object
  host->SetBounds(10, 10, 120, 90);
  RECT r;
  GetClientRect(host->ControlHandle(), &r);
  EXPECT_EQ(r.right, 120);
  EXPECT_EQ(r.bottom, 90);

  g_received.clear();
  EXPECT_FALSE(host->MouseEnabled());
  for (UINT m : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEWHEEL, 0x20BU})
    SendMessageA(host->ControlHandle(), m, 0, 0);
  EXPECT_EQ(g_received, std::vector<UINT>{0x20B});
  host->SetMouseEnabled(true);
  SendMessageA(host->ControlHandle(), WM_LBUTTONDOWN, 0, 0);
  EXPECT_EQ(g_received.back(), WM_LBUTTONDOWN);

  // The player's host goes through the object by DISPID.
  auto* player = new TShockwaveFlash(form);
  player->SetParent(form);
  player->SetBounds(0, 0, 50, 40);
  ASSERT_TRUE(player->OleObject());
  const std::string path = MovieFile(ThreeFrameMovie());
  player->SetMovie(std::wstring(path.begin(), path.end()));
  EXPECT_EQ(player->Movie(), std::wstring(path.begin(), path.end()));
  player->SetBackgroundColor(0x123456);
  EXPECT_EQ(player->BackgroundColor(), 0x123456);
  player->Play();
  EXPECT_EQ(IntOf(player->OleObject(), flash::dispid::TotalFrames), 3);
  form->Free();
}

}  // namespace
}  // namespace vorra::test
