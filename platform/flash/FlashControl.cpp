#include "platform/flash/FlashControl.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/net/DownloadText.h"
#include "platform/net/Transfer.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Paint.h"
#include "platform/win/Ascii.h"

namespace flash {

using namespace win;

namespace {

constexpr UINT_PTR kFrameTimer = 1;
// Posted by the worker when an address has been fetched; wParam: the generation.
constexpr UINT kFetchDone = WM_USER + 0x51;
constexpr long kFetchTimeoutMs = 120000;

LRESULT ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* control = new TFlashControl(hwnd);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  TFlashControl* control = FlashControlOf(hwnd);
  if (!control) return DefWindowProcA(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    delete control;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  return control->WndProc(msg, wParam, lParam);
}

TRgba RgbOf(int color) {
  return {static_cast<std::uint8_t>(color >> 16), static_cast<std::uint8_t>(color >> 8),
          static_cast<std::uint8_t>(color), 255};
}

}  // namespace

// A worker's transfer: the window may go before it ends, so the worker owns
// its half and the window only asks it to stop.
struct TFlashControl::TFetch {
  std::atomic<bool> Cancel{false};
  std::mutex Mutex;
  std::vector<std::uint8_t> Bytes;
  HRESULT Result = E_FAIL;
  std::thread Worker;
};

bool RegisterFlashControlClass() {
  WNDCLASSA existing;
  if (GetClassInfoA(nullptr, kFlashControlClass, &existing)) return true;
  WNDCLASSA wc;
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = ControlProc;
  wc.lpszClassName = kFlashControlClass;
  return RegisterClassA(&wc) != 0;
}

TFlashControl* FlashControlOf(HWND hwnd) {
  char name[32] = {};
  if (!IsWindow(hwnd) || GetClassNameA(hwnd, name, sizeof name) == 0 || std::string(name) != kFlashControlClass)
    return nullptr;
  return reinterpret_cast<TFlashControl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

IDispatch* FlashControlObject(HWND hwnd) {
  TFlashControl* c = FlashControlOf(hwnd);
  if (!c || !c->Object()) return nullptr;
  c->Object()->AddRef();
  return c->Object();
}

TFlashControl::TFlashControl(HWND hwnd)
    : hwnd_(hwnd), object_(NewFlashDispatch(this)), player_(std::make_unique<TMoviePlayer>(nullptr)) {}

TFlashControl::~TFlashControl() {
  CancelFetch();
  DetachFlashDispatch(object_);
  object_->Release();
}

void TFlashControl::CancelFetch() {
  if (!fetch_) return;
  fetch_->Cancel = true;
  if (fetch_->Worker.joinable()) fetch_->Worker.join();
  fetch_.reset();
}

void TFlashControl::SetMovie(const std::string& address) {
  CancelFetch();
  ++generation_;
  address_ = address;
  if (address.empty()) {
    Show(nullptr);
    return;
  }
  if (!net::IsUrlAddress(address)) {
    Show(LoadMovieFile(address));
    return;
  }
  // Until it arrives the old movie goes and the background shows.
  Show(nullptr);
  ready_ = kReadyLoading;
  auto fetch = std::make_shared<TFetch>();
  fetch_ = fetch;
  const HWND hwnd = hwnd_;
  const std::uint64_t generation = generation_;
  fetch->Worker = std::thread([fetch, address, hwnd, generation] {
    std::string url;
    HRESULT hr = E_INVALIDARG;
    std::vector<std::uint8_t> bytes;
    if (net::EscapeUrl(address, url)) {
      net::TTransferOptions o;
      o.Url = url;
      o.Protocols = "http,https,file";
      o.TimeoutMs = kFetchTimeoutMs;
      o.Cancelled = [fetch] { return fetch->Cancel.load(); };
      o.OnBody = [&bytes](const char* data, std::size_t size) -> HRESULT {
        if (bytes.size() + size > kMaxMovieBytes + 17) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
        bytes.insert(bytes.end(), data, data + size);
        return S_OK;
      };
      net::TTransfer transfer(std::move(o));
      hr = transfer.Run();
    }
    {
      std::lock_guard lock(fetch->Mutex);
      fetch->Bytes = std::move(bytes);
      fetch->Result = hr;
    }
    if (!fetch->Cancel) PostMessageA(hwnd, kFetchDone, static_cast<WPARAM>(generation), 0);
  });
}

void TFlashControl::FetchDone(std::uint64_t generation) {
  if (!fetch_ || generation != generation_) return;
  auto fetch = std::move(fetch_);
  if (fetch->Worker.joinable()) fetch->Worker.join();
  std::shared_ptr<const TMovie> movie;
  if (SUCCEEDED(fetch->Result)) movie = LoadMovieBytes(fetch->Bytes);
  Show(movie);
}

void TFlashControl::Show(std::shared_ptr<const TMovie> movie) {
  player_ = std::make_unique<TMoviePlayer>(std::move(movie));
  player_->Loop = loop_;
  ready_ = kReadyComplete;
  UpdateTimer();
  Redraw();
}

void TFlashControl::SetBackgroundColor(int color) {
  background_ = color < 0 ? -1 : (color & 0xFFFFFF);
  Redraw();
}

void TFlashControl::Play() { SetPlaying(true); }
void TFlashControl::Stop() { SetPlaying(false); }
bool TFlashControl::Playing() const { return player_->Playing(); }

void TFlashControl::SetPlaying(bool playing) {
  player_->SetPlaying(playing);
  UpdateTimer();
}

void TFlashControl::SetLoop(bool loop) {
  loop_ = loop;
  player_->Loop = loop;
}

void TFlashControl::GotoFrame(int frame) {
  player_->Context().Work = 0;
  player_->GotoFrame(frame);
  UpdateTimer();
  Redraw();
}

int TFlashControl::CurrentFrame() const { return player_->CurrentFrame(); }
int TFlashControl::TotalFrames() const { return player_->FrameCount(); }

bool TFlashControl::SetQuality2(const std::string& quality) {
  for (const char* q : {"Low", "Medium", "High", "AutoLow", "AutoHigh", "Best"})
    if (AsciiEqualsIgnoreCase(quality, q)) {
      quality_ = q;
      Redraw();
      return true;
    }
  return false;
}

bool TFlashControl::SetScale(const std::string& scale) {
  static const std::pair<const char*, TScaleMode> names[] = {{"ShowAll", TScaleMode::smShowAll},
                                                            {"NoBorder", TScaleMode::smNoBorder},
                                                            {"ExactFit", TScaleMode::smExactFit},
                                                            {"NoScale", TScaleMode::smNoScale}};
  for (const auto& [name, mode] : names)
    if (AsciiEqualsIgnoreCase(scale, name)) {
      SetScaleMode(mode);
      return true;
    }
  return false;
}

std::string TFlashControl::Scale() const {
  switch (scale_) {
    case TScaleMode::smShowAll: return "ShowAll";
    case TScaleMode::smNoBorder: return "NoBorder";
    case TScaleMode::smExactFit: return "ExactFit";
    case TScaleMode::smNoScale: return "NoScale";
  }
  return "ShowAll";
}

void TFlashControl::SetScaleMode(TScaleMode mode) {
  scale_ = mode;
  Redraw();
}

bool TFlashControl::SetWMode(const std::string& mode) {
  for (const char* m : {"Window", "Opaque", "Transparent"})
    if (AsciiEqualsIgnoreCase(mode, m)) {
      wmode_ = m;
      return true;
    }
  return false;
}

void TFlashControl::UpdateTimer() {
  const bool want = player_->Playing() && player_->FrameCount() > 1;
  const int interval = player_->FrameIntervalMs();
  if (want && (!timer_ || interval != timerInterval_)) {
    timer_ = SetTimer(hwnd_, kFrameTimer, static_cast<UINT>(interval), nullptr) != 0;
    timerInterval_ = interval;
  } else if (!want && timer_) {
    KillTimer(hwnd_, kFrameTimer);
    timer_ = false;
  }
}

void TFlashControl::Redraw() { InvalidateRect(hwnd_, nullptr, FALSE); }

void TFlashControl::RenderTo(cairo_t* cr, int width, int height) const {
  TStageOptions o;
  o.Scale = scale_;
  if (background_ >= 0) o.Background = RgbOf(background_);
  o.AntiAlias = quality_ != "Low" && quality_ != "AutoLow";
  player_->Render(cr, width, height, o);
}

void TFlashControl::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT rc;
  GetClientRect(hwnd_, &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (dc && w > 0 && h > 0) {
    BITMAPINFO bi{};
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    void* bits = nullptr;
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (mem && dib && bits) {
      HGDIOBJ old = SelectObject(mem, dib);
      cairo_surface_t* s =
          cairo_image_surface_create_for_data(static_cast<unsigned char*>(bits), CAIRO_FORMAT_ARGB32, w, h, w * 4);
      cairo_t* cr = cairo_create(s);
      RenderTo(cr, w, h);
      cairo_destroy(cr);
      cairo_surface_flush(s);
      cairo_surface_destroy(s);
      BitBlt(dc, 0, 0, w, h, mem, 0, 0, SRCCOPY);
      SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    if (mem) DeleteDC(mem);
  }
  EndPaint(hwnd_, &ps);
}

LRESULT TFlashControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER:
      if (wParam != kFrameTimer) break;
      player_->Context().Work = 0;
      player_->Tick();
      UpdateTimer();
      Redraw();
      return 0;
    case WM_PAINT: Paint(); return 0;
    case WM_ERASEBKGND: return 1;
    case kFetchDone: FetchDone(static_cast<std::uint64_t>(wParam)); return 0;
    case WM_GETOBJECT:
      if (lParam == OBJID_NATIVEOM) {
        object_->AddRef();
        return reinterpret_cast<LRESULT>(object_);
      }
      break;
    case WM_DESTROY:
      if (timer_) KillTimer(hwnd_, kFrameTimer);
      timer_ = false;
      CancelFetch();
      break;
    default: break;
  }
  return DefWindowProcA(hwnd_, msg, wParam, lParam);
}

}  // namespace flash
