// Controls: subclassing their windows, alignment, the standard controls
// driven by injected input, drawing.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Graphics.h"
#include "framework/StdCtrls.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Png.h"
#include "tests/framework/FormTestSupport.h"

namespace vorra {
namespace {

using namespace win;
using test::TFormTest;

struct TFree {
  void operator()(TCustomForm* f) const {
    if (IsLiveForm(f)) f->Free();
  }
};
using TFormPtr = std::unique_ptr<TForm, TFree>;

// Logs what reaches its own handlers.
class TLoggingControl : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  std::vector<UINT> Log;
  void Dispatch(TMessage& m) override {
    if (m.Msg >= WM_USER && m.Msg < CM_BASE) {
      Log.push_back(m.Msg);
      if (m.Msg == WM_USER + 9) throw std::runtime_error("handler failed");
      m.Result = 42;
      return;
    }
    if (m.Msg == WM_DESTROY) Log.push_back(m.Msg);
    TCustomControl::Dispatch(m);
  }
};

std::string ClipboardText() {
  std::string s;
  if (!OpenClipboard(nullptr)) return s;
  if (HANDLE mem = GetClipboardData(CF_TEXT)) {
    if (const auto* p = static_cast<const char*>(GlobalLock(mem))) s = p;
    GlobalUnlock(mem);
  }
  CloseClipboard();
  return s;
}

class ControlsTest : public TFormTest {
 protected:
  TFormPtr NewForm(int w = 300, int h = 200) {
    TFormPtr f(new TForm(nullptr));
    f->SetBounds(50, 50, 100, 100);
    f->SetClientWidth(w);
    f->SetClientHeight(h);
    return f;
  }
  template <class T>
  T* Add(TWinControl* parent, int x, int y, int w, int h) {
    auto* c = new T(parent->Owner() ? parent->Owner() : parent);
    c->SetParent(parent);
    c->SetBounds(x, y, w, h);
    return c;
  }
};

TEST_F(ControlsTest, ASubclassedWindowSeesMessagesLastHookFirstAndCanSwallowThem) {
  TFormPtr f = NewForm();
  auto* c = Add<TLoggingControl>(f.get(), 10, 10, 50, 50);
  f->Show();
  const HWND h = c->Handle();
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_WNDPROC)), c->ObjectInstance());
  EXPECT_EQ(FindControl(h), c);

  std::vector<std::string> seen;
  WNDPROC prevA = nullptr, prevB = nullptr;
  WNDPROC hookA = MakeProcInstance([&](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m >= WM_USER || m == WM_DESTROY) seen.push_back("A " + std::to_string(m));
    return CallWindowProcA(prevA, w, m, wp, lp);
  });
  WNDPROC hookB = MakeProcInstance([&](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m >= WM_USER || m == WM_DESTROY) seen.push_back("B " + std::to_string(m));
    if (m == WM_USER + 1) return 7;  // swallowed
    return CallWindowProcA(prevB, w, m, wp, lp);
  });
  prevA = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hookA)));
  prevB = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hookB)));
  EXPECT_EQ(prevA, c->ObjectInstance());
  EXPECT_EQ(prevB, hookA);

  EXPECT_EQ(SendMessageA(h, WM_USER + 5, 0, 0), 42);
  EXPECT_EQ(SendMessageA(h, WM_USER + 1, 0, 0), 7);
  const auto u = [](int n) { return std::to_string(WM_USER + n); };
  EXPECT_EQ(seen, (std::vector<std::string>{"B " + u(5), "A " + u(5), "B " + u(1)}));
  EXPECT_EQ(c->Log, std::vector<UINT>{WM_USER + 5});

  // A replaced WindowProc sits behind the window procedure.
  auto previous = c->WindowProc;
  int through = 0;
  c->WindowProc = [&](TMessage& m) {
    if (m.Msg == WM_USER + 6) ++through;
    previous(m);
  };
  SendMessageA(h, WM_USER + 6, 0, 0);
  EXPECT_EQ(through, 1);
  c->WindowProc = previous;

  // An error in the control's handler stops at the window procedure.
  EXPECT_EQ(SendMessageA(h, WM_USER + 9, 0, 0), 0);
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_EQ(requests_[0].Text, "handler failed.");

  // Re-creation: the hooks see WM_DESTROY and pass it on; the new window is the control's own again.
  seen.clear();
  c->Log.clear();
  c->RecreateWnd();
  EXPECT_FALSE(IsWindow(h));
  ASSERT_TRUE(c->HandleAllocated());
  EXPECT_NE(c->Handle(), h);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(c->Handle(), GWLP_WNDPROC)), c->ObjectInstance());
  EXPECT_EQ(seen, (std::vector<std::string>{"B 2", "A 2"}));
  EXPECT_EQ(c->Log, std::vector<UINT>{WM_DESTROY});
  EXPECT_TRUE(IsChild(f->Handle(), c->Handle()));
  EXPECT_TRUE(IsWindowVisible(c->Handle()));
  FreeProcInstance(hookA);
  FreeProcInstance(hookB);
}

TEST_F(ControlsTest, WindowsAreMadeWhenFirstNeededAndGoWithTheirControls) {
  TFormPtr f = NewForm();
  auto* panel = new TPanel(f.get());
  auto* edit = new TEdit(f.get());
  edit->SetParent(panel);
  EXPECT_FALSE(edit->HandleAllocated());
  panel->SetParent(f.get());  // the form has a window: its new children get theirs
  ASSERT_TRUE(edit->HandleAllocated());
  EXPECT_TRUE(IsChild(panel->Handle(), edit->Handle()));
  const HWND eh = edit->Handle();
  auto* lone = new TEdit(nullptr);
  EXPECT_THROW(lone->Handle(), EInvalidOperation);  // no parent window
  delete lone;
  // Taken out of its parent, the window goes; freeing the panel frees the edit inside it.
  edit->SetParent(nullptr);
  EXPECT_FALSE(IsWindow(eh));
  edit->SetParent(panel);
  int before = f->ComponentCount();
  delete panel;
  EXPECT_EQ(f->ComponentCount(), before - 2);
}

TEST_F(ControlsTest, AWindowedChildDeletedDirectlyLeavesTheTabOrder) {
  TFormPtr f = NewForm();
  auto* first = new TEdit(f.get());
  first->SetParent(f.get());
  auto* second = new TEdit(f.get());
  second->SetParent(f.get());
  auto* third = new TEdit(f.get());
  third->SetParent(f.get());
  f->Show();
  delete first;  // not through SetParent(nullptr) first
  second->SetFocus();
  // Tabbing walks the tab order; a stale entry would be a freed control.
  f->SelectNext(second, true, true);
  EXPECT_EQ(f->ActiveControl(), third);
  f->SelectNext(third, true, true);
  EXPECT_EQ(f->ActiveControl(), second);
}

TEST_F(ControlsTest, AlignedControlsShareTheClientAreaInOrder) {
  TFormPtr f = NewForm(300, 200);
  auto* top = Add<TPanel>(f.get(), 0, 0, 10, 30);
  auto* bottom = Add<TPanel>(f.get(), 0, 0, 10, 20);
  auto* left = Add<TPanel>(f.get(), 0, 0, 50, 10);
  auto* client = Add<TPanel>(f.get(), 0, 0, 10, 10);
  client->SetAlign(alClient);
  left->SetAlign(alLeft);
  bottom->SetAlign(alBottom);
  top->SetAlign(alTop);
  EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 300, 30));
  EXPECT_EQ(bottom->BoundsRect(), Rect(0, 180, 300, 200));
  EXPECT_EQ(left->BoundsRect(), Rect(0, 30, 50, 180));
  EXPECT_EQ(client->BoundsRect(), Rect(50, 30, 300, 180));
  f->SetClientWidth(400);
  EXPECT_EQ(client->BoundsRect(), Rect(50, 30, 400, 180));
  top->SetVisible(false);
  EXPECT_EQ(client->BoundsRect(), Rect(50, 0, 400, 180));
  // A border and bevels keep the children inside the frame.
  client->SetBorderWidth(4);
  client->SetBevelInner(bvLowered);
  auto* inner = Add<TPanel>(client, 0, 0, 5, 5);
  inner->SetAlign(alClient);
  EXPECT_EQ(inner->BoundsRect(), Rect(6, 6, 350 - 6, 180 - 6));
  // A window that was sized from outside reports its new bounds.
  SetWindowPos(client->Handle(), nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(client->Width(), 100);
  EXPECT_EQ(inner->BoundsRect(), Rect(6, 6, 94, 94));
}

TEST_F(ControlsTest, EditBoxTypingSelectionAndClipboardByKeys) {
  TFormPtr f = NewForm();
  auto* e = Add<TEdit>(f.get(), 10, 10, 200, 21);
  auto* other = Add<TEdit>(f.get(), 10, 40, 200, 21);
  int changes = 0;
  e->OnChange = [&](TObject*) { ++changes; };
  f->Show();
  ASSERT_TRUE(e->Focused());
  for (int vk : std::initializer_list<int>{'H', 'E', 'L', 'L', 'O', VK_SPACE, 'W', 'O', 'R', 'L', 'D'}) Key(vk);
  Keys({VK_SHIFT, '1'});
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "hello world!");
  EXPECT_EQ(changes, 12);
  EXPECT_EQ(e->SelStart(), 12);
  Key(VK_LEFT);
  for (int i = 0; i < 5; ++i) Keys({VK_SHIFT, VK_LEFT});
  Application->ProcessMessages();
  EXPECT_EQ(e->SelText(), "world");
  EXPECT_EQ(e->SelStart(), 6);
  EXPECT_EQ(e->CaretPos(), 6);
  Keys({VK_CONTROL, 'C'});
  Key(VK_END);
  Keys({VK_CONTROL, 'V'});
  Application->ProcessMessages();
  EXPECT_EQ(ClipboardText(), "world");
  EXPECT_EQ(e->Text(), "hello world!world");
  Key(VK_HOME);
  Keys({VK_SHIFT, VK_RIGHT});
  Key(VK_DELETE);
  Key(VK_END);
  Key(VK_BACK);
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "ello world!worl");
  Keys({VK_CONTROL, 'A'});
  Keys({VK_CONTROL, 'X'});
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "");
  EXPECT_EQ(ClipboardText(), "ello world!worl");
  // Paste into the other box: the clipboard is shared; Enter and Escape are not text.
  other->SetFocus();
  Keys({VK_CONTROL, 'V'});
  Key(VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_EQ(other->Text(), "ello world!worl");
}

TEST_F(ControlsTest, EditBoxLimitsReadOnlyAndMultiByteCharacters) {
  TFormPtr f = NewForm();
  auto* e = Add<TEdit>(f.get(), 10, 10, 200, 21);
  f->Show();
  e->SetMaxLength(4);
  for (int vk : {'A', 'B', 'C', 'D', 'E', 'F'}) Key(vk);
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "abcd");
  e->SetText("x\xC3\xA9y");  // programmatic text is not limited, and the caret starts at 0
  EXPECT_EQ(e->SelStart(), 0);
  Key(VK_END);
  Key(VK_LEFT);
  Key(VK_LEFT);
  Application->ProcessMessages();
  EXPECT_EQ(e->CaretPos(), 1);  // over the two bytes of the accented letter at once
  Keys({VK_SHIFT, VK_RIGHT});
  Application->ProcessMessages();
  EXPECT_EQ(e->SelText(), "\xC3\xA9");
  e->SetReadOnly(true);
  Key('Q');
  Key(VK_BACK);
  Keys({VK_CONTROL, 'X'});
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "x\xC3\xA9y");
  EXPECT_NE(ClipboardText(), "\xC3\xA9");
  Keys({VK_CONTROL, 'C'});  // copying stays allowed
  Application->ProcessMessages();
  EXPECT_EQ(ClipboardText(), "\xC3\xA9");
  e->SetReadOnly(false);
  e->SetMaxLength(0);
  e->SelectAll();
  e->SetSelText("new");
  EXPECT_EQ(e->Text(), "new");
  EXPECT_TRUE(e->Modified());
}

TEST_F(ControlsTest, EditBoxSelectionByMouse) {
  TFormPtr f = NewForm();
  auto* e = Add<TEdit>(f.get(), 10, 10, 200, 21);
  auto* other = Add<TButton>(f.get(), 10, 60, 75, 25);
  e->SetText("abcdef");
  f->Show();
  other->SetFocus();
  // Where the characters begin, measured with the box's font.
  TBitmap probe(1, 1);
  probe.Canvas()->Font()->Assign(e->Font());
  auto xOf = [&](int chars) { return 3 + probe.Canvas()->TextWidth(std::string("abcdef").substr(0, chars)); };
  Click(e, xOf(2), 10);
  Application->ProcessMessages();
  EXPECT_TRUE(e->Focused());
  EXPECT_EQ(e->SelLength(), 0);
  EXPECT_EQ(e->CaretPos(), 2);
  const TPoint from = e->ClientToScreen(TPoint{xOf(1), 10});
  const TPoint to = e->ClientToScreen(TPoint{xOf(5), 10});
  clock_ += 5000;
  InjectMouseButton(VK_LBUTTON, true, from.X, from.Y, clock_);
  InjectMouseMove(to.X, to.Y, clock_ + 10);
  InjectMouseButton(VK_LBUTTON, false, to.X, to.Y, clock_ + 20);
  Application->ProcessMessages();
  EXPECT_EQ(e->SelStart(), 1);
  EXPECT_EQ(e->SelText(), "bcde");
  EXPECT_EQ(e->CaretPos(), 5);
  // Shift+click extends from the anchor.
  const TPoint end = e->ClientToScreen(TPoint{xOf(6), 10});
  clock_ += 5000;
  InjectKey(VK_SHIFT, true);
  InjectMouseButton(VK_LBUTTON, true, end.X, end.Y, clock_);
  InjectMouseButton(VK_LBUTTON, false, end.X, end.Y, clock_ + 5);
  InjectKey(VK_SHIFT, false);
  Application->ProcessMessages();
  EXPECT_EQ(e->SelText(), "bcdef");
}

TEST_F(ControlsTest, CheckBoxTogglesByClickAndSpaceAndTellsEveryChange) {
  TFormPtr f = NewForm();
  auto* cb = Add<TCheckBox>(f.get(), 10, 10, 150, 17);
  cb->SetCaption("Enable item");
  std::vector<bool> clicks;
  cb->OnClick = [&](TObject*) { clicks.push_back(cb->Checked()); };
  f->Show();
  Click(cb, 5, 8);
  Application->ProcessMessages();
  EXPECT_TRUE(cb->Checked());
  EXPECT_TRUE(cb->Focused());
  Key(VK_SPACE);
  Application->ProcessMessages();
  EXPECT_FALSE(cb->Checked());
  cb->SetChecked(true);  // set by the program: a click too
  cb->SetChecked(true);  // no change, no click
  EXPECT_EQ(clicks, (std::vector<bool>{true, false, true}));
  // A press that leaves the box before the release does nothing.
  const TPoint in = cb->ClientToScreen(TPoint{5, 8});
  const TPoint out = f->ClientToScreen(TPoint{250, 150});
  clock_ += 5000;
  InjectMouseButton(VK_LBUTTON, true, in.X, in.Y, clock_);
  InjectMouseMove(out.X, out.Y, clock_ + 5);
  InjectMouseButton(VK_LBUTTON, false, out.X, out.Y, clock_ + 10);
  Application->ProcessMessages();
  EXPECT_TRUE(cb->Checked());
  cb->SetEnabled(false);
  Click(cb, 5, 8);
  Application->ProcessMessages();
  EXPECT_EQ(clicks.size(), 3u);
  cb->SetAllowGrayed(true);
  cb->SetChecked(false);
  cb->Toggle();
  EXPECT_EQ(cb->State(), cbGrayed);
}

TEST_F(ControlsTest, ButtonClickSetsTheFormsModalResultAndGraphicControlsGetTheirClicks) {
  TFormPtr f = NewForm();
  auto* b = Add<TButton>(f.get(), 10, 10, 75, 25);
  b->SetModalResult(mrYes);
  auto* label = new TLabel(f.get());
  label->SetParent(f.get());
  label->SetBounds(10, 100, 100, 20);
  label->SetAutoSize(false);
  int labelClicks = 0, labelDbl = 0;
  std::vector<std::string> mouse;
  label->OnClick = [&](TObject*) { ++labelClicks; };
  label->OnDblClick = [&](TObject*) { ++labelDbl; };
  label->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int X, int Y) {
    mouse.push_back("down " + std::to_string(X) + "," + std::to_string(Y));
  };
  f->Show();
  Click(b);
  Application->ProcessMessages();
  EXPECT_EQ(f->ModalResult(), mrYes);
  Click(label, 3, 4);
  Click(label, 3, 4, true);  // a second press at once: a double click
  Application->ProcessMessages();
  EXPECT_EQ(labelClicks, 1);
  EXPECT_EQ(labelDbl, 1);
  EXPECT_EQ(mouse, (std::vector<std::string>{"down 3,4", "down 3,4"}));
}

TEST_F(ControlsTest, LabelAutoSizeMeasuresWithItsFont) {
  TFormPtr f = NewForm();
  auto* l = new TLabel(f.get());
  l->SetParent(f.get());
  l->SetCaption("Address:");
  TBitmap probe(1, 1);
  probe.Canvas()->Font()->Assign(l->Font());
  EXPECT_EQ(l->Width(), probe.Canvas()->TextWidth("Address:"));
  EXPECT_EQ(l->Height(), probe.Canvas()->TextHeight("Address:"));
  const int plain = l->Width();
  l->Font()->SetStyle({fsBold});
  EXPECT_GT(l->Width(), plain);
  const int line = l->Height();
  l->Font()->SetSize(16);
  EXPECT_GT(l->Height(), line);
  l->SetCaption("");
  EXPECT_GT(l->Height(), 0);  // an empty label keeps one line
  l->Font()->SetSize(8);
  l->Font()->SetStyle({});
  l->SetWordWrap(true);
  l->SetAutoSize(false);
  l->SetWidth(60);
  l->SetAutoSize(true);
  l->SetCaption("(You need restart Internet Explorer to see  the changes)");
  EXPECT_LE(l->Width(), 60);
  EXPECT_GE(l->Height(), 3 * line);
  // Fixed size: the caption no longer moves the bounds.
  l->SetAutoSize(false);
  const TRect r = l->BoundsRect();
  l->SetCaption("x");
  EXPECT_EQ(l->BoundsRect(), r);
}

TEST_F(ControlsTest, FontsFollowTheirParentUntilSetThemselves) {
  TFormPtr f = NewForm();
  auto* panel = Add<TPanel>(f.get(), 0, 0, 100, 100);
  auto* l = new TLabel(f.get());
  l->SetParent(panel);
  f->Font()->SetName("Arial");
  EXPECT_EQ(panel->Font()->Name(), "Arial");
  EXPECT_EQ(l->Font()->Name(), "Arial");
  EXPECT_TRUE(l->ParentFont());
  l->Font()->SetStyle({fsBold});
  EXPECT_FALSE(l->ParentFont());
  f->Font()->SetSize(12);
  EXPECT_EQ(panel->Font()->Size(), 12);
  EXPECT_EQ(l->Font()->Size(), 8);
  panel->SetColor(clYellow);
  EXPECT_FALSE(panel->ParentColor());
  EXPECT_EQ(l->Color(), clYellow);  // labels take the parent's colour
  f->SetColor(clWhite);
  EXPECT_EQ(panel->Color(), clYellow);
  panel->SetParentColor(true);
  EXPECT_EQ(panel->Color(), clWhite);
  EXPECT_EQ(l->Color(), clWhite);
}

TEST(Graphics, FontSizeAndHeightAndColours) {
  TFont font;
  EXPECT_EQ(font.Size(), 8);
  EXPECT_EQ(font.Height(), -11);
  font.SetSize(12);
  EXPECT_EQ(font.Height(), -16);
  font.SetHeight(-13);
  EXPECT_EQ(font.Size(), 10);
  int changes = 0;
  font.OnChange = [&](TObject*) { ++changes; };
  const HFONT h1 = font.Handle();
  ASSERT_NE(h1, nullptr);
  font.SetStyle({fsBold, fsItalic});
  EXPECT_EQ(changes, 1);
  LOGFONTA lf;
  ASSERT_GT(GetObject(reinterpret_cast<HGDIOBJ>(font.Handle()), sizeof(lf), &lf), 0);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_TRUE(lf.lfItalic);
  EXPECT_EQ(lf.lfHeight, -13);
  EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(ColorToRGB(clRed), RGB(255, 0, 0));
}

std::uint32_t Rgb(std::uint32_t pixel) { return pixel & 0xFFFFFF; }
std::uint32_t PixelOf(COLORREF c) {
  return (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

TEST(Graphics, BitmapsDrawCopyAndLeaveOutTheirTransparentColour) {
  test::TTempDir dir;
  TBitmap b(4, 3);
  b.Canvas()->Brush()->SetColor(clRed);
  b.Canvas()->FillRect(Rect(0, 0, 4, 3));
  b.Canvas()->Brush()->SetColor(clBlue);
  b.Canvas()->FillRect(Rect(1, 0, 3, 2));
  EXPECT_EQ(Rgb(b.ScanLine(0)[0]), 0xFF0000u);
  EXPECT_EQ(Rgb(b.ScanLine(1)[2]), 0x0000FFu);
  EXPECT_THROW(b.ScanLine(3), EInvalidGraphic);
  b.SaveToFile(dir.Folder() + "b.png");
  TPicture pic;
  pic.LoadFromFile(dir.Folder() + "b.png");
  ASSERT_EQ(pic.Width(), 4);
  EXPECT_EQ(Rgb(pic.Bitmap()->ScanLine(1)[1]), 0x0000FFu);
  EXPECT_THROW(pic.LoadFromFile(dir.Folder() + "missing.png"), EInvalidGraphic);

  // Red (the bottom-left pixel) is left out when drawn transparent.
  TBitmap dest(4, 3);
  dest.Canvas()->Brush()->SetColor(clWhite);
  dest.Canvas()->FillRect(Rect(0, 0, 4, 3));
  b.SetTransparent(true);
  dest.Canvas()->Draw(0, 0, &b);
  EXPECT_EQ(Rgb(dest.ScanLine(0)[0]), 0xFFFFFFu);
  EXPECT_EQ(Rgb(dest.ScanLine(0)[1]), 0x0000FFu);
  EXPECT_EQ(Rgb(dest.ScanLine(2)[3]), 0xFFFFFFu);
  b.SetTransparent(false);
  dest.Canvas()->StretchDraw(Rect(0, 0, 8, 6), &b);  // clipped to the 4 x 3 surface
  EXPECT_EQ(Rgb(dest.ScanLine(0)[0]), 0xFF0000u);
  // Resizing keeps what fits.
  b.SetSize(2, 2);
  EXPECT_EQ(Rgb(b.ScanLine(0)[1]), 0x0000FFu);
}

TEST(ProgressBar, PositionStaysInRangeAndStepItStartsOver) {
  TProgressBar pb(nullptr);
  pb.SetMax(4);
  pb.SetStep(1);
  pb.SetPosition(10);
  EXPECT_EQ(pb.Position(), 4);
  pb.SetPosition(3);
  pb.StepIt();
  EXPECT_EQ(pb.Position(), 4);
  pb.StepIt();
  EXPECT_EQ(pb.Position(), 1);
  pb.SetMin(2);
  EXPECT_EQ(pb.Position(), 2);
  pb.SetMax(0);
  EXPECT_EQ(pb.Min(), 0);
  EXPECT_EQ(pb.Position(), 0);
}

TEST_F(ControlsTest, AFormRendersWithTheClassicLook) {
  TFormPtr f = NewForm(200, 100);
  f->SetColor(clWhite);
  f->SetBorderStyle(bsDialog);
  auto* b = Add<TButton>(f.get(), 10, 10, 80, 25);
  b->SetCaption("OK");
  auto* l = new TLabel(f.get());
  l->SetParent(f.get());
  l->SetBounds(10, 50, 10, 10);
  l->SetCaption("Hello");
  l->Font()->SetStyle({fsBold});
  auto* pb = Add<TProgressBar>(f.get(), 100, 50, 90, 16);
  pb->SetPosition(50);
  f->Show();
  const std::string path = temp_.Folder() + "form.png";
  ASSERT_TRUE(RenderWindowToPng(f->Handle(), path));
  HBITMAP png = LoadPng(path);
  ASSERT_NE(png, nullptr);
  BITMAP info{};
  GetObject(png, sizeof(info), &info);
  RECT wr;
  GetWindowRect(f->Handle(), &wr);
  const TPoint origin = f->ClientToScreen(TPoint{0, 0});
  const int ox = origin.X - wr.left, oy = origin.Y - wr.top;
  auto px = [&](int x, int y) {
    return Rgb(static_cast<std::uint32_t*>(info.bmBits)[static_cast<size_t>(oy + y) * info.bmWidth + ox + x]);
  };
  EXPECT_EQ(px(150, 90), 0xFFFFFFu);                            // the form's own colour
  EXPECT_EQ(px(10 + 20, 10 + 5), PixelOf(GetSysColor(COLOR_BTNFACE)));  // the button face
  int dark = 0;
  for (int y = 50; y < 60; ++y)
    for (int x = 10; x < 10 + l->Width(); ++x)
      if ((px(x, y) & 0xFF) < 0x80) ++dark;
  EXPECT_GT(dark, 10);                                                  // the label's ink
  EXPECT_EQ(px(105, 57), PixelOf(GetSysColor(COLOR_HIGHLIGHT)));       // a progress block
  EXPECT_NE(px(185, 57), PixelOf(GetSysColor(COLOR_HIGHLIGHT)));       // beyond the position
  DeleteObject(png);
}


TEST_F(ControlsTest, ImagesPlaceTheirPictureAndGroupBoxesKeepChildrenUnderTheCaption) {
  TFormPtr f = NewForm(300, 200);
  f->SetColor(clWhite);
  auto* img = new TImage(f.get());
  img->SetParent(f.get());
  img->SetBounds(10, 10, 40, 30);
  TBitmap pic(10, 6);
  pic.Canvas()->Brush()->SetColor(clRed);
  pic.Canvas()->FillRect(Rect(0, 0, 10, 6));
  pic.Canvas()->Brush()->SetColor(clLime);
  pic.Canvas()->FillRect(Rect(2, 0, 10, 6));
  img->Picture()->Assign(&pic);
  EXPECT_EQ(img->DestRect(), Rect(0, 0, 10, 6));
  img->SetCenter(true);
  EXPECT_EQ(img->DestRect(), Rect(15, 12, 25, 18));
  img->SetStretch(true);
  EXPECT_EQ(img->DestRect(), Rect(0, 0, 40, 30));
  img->SetStretch(false);
  img->SetTransparent(true);  // the bottom-left red is left out
  img->SetAutoSize(true);
  EXPECT_EQ(img->Width(), 10);

  auto* box = Add<TGroupBox>(f.get(), 100, 10, 150, 100);
  box->SetCaption("Save Options");
  box->SetCaptionMargin(12);
  auto* inside = Add<TPanel>(box, 0, 0, 10, 10);
  inside->SetAlign(alClient);
  EXPECT_GT(inside->Top(), 8);
  EXPECT_EQ(inside->Left(), 1);
  f->Show();
  const std::string path = temp_.Folder() + "image.png";
  ASSERT_TRUE(RenderWindowToPng(f->Handle(), path));
  TPicture shot;
  shot.LoadFromFile(path);
  RECT wr;
  GetWindowRect(f->Handle(), &wr);
  const TPoint o = f->ClientToScreen(TPoint{0, 0});
  auto px = [&](int x, int y) { return Rgb(shot.Bitmap()->ScanLine(o.Y - wr.top + y)[o.X - wr.left + x]); };
  EXPECT_EQ(px(10 + 0, 10 + 1), 0xFFFFFFu);  // transparent: the form shows through
  EXPECT_EQ(px(10 + 5, 10 + 1), 0x00FF00u);
  // The caption interrupts the etched line at its margin.
  bool captionGap = false;
  for (int y = 10; y < 10 + 16; ++y)
    if (px(100 + 20, y) != PixelOf(GetSysColor(COLOR_BTNFACE))) captionGap = true;
  EXPECT_TRUE(captionGap);
}

TEST_F(ControlsTest, KeyPreviewGivesTheFormTheKeysFirst) {
  TFormPtr f = NewForm();
  f->SetKeyPreview(true);
  auto* e = Add<TEdit>(f.get(), 10, 10, 100, 21);
  std::vector<std::string> log;
  f->OnKeyDown = [&](TObject* Sender, WORD& Key, TShiftState) {
    log.push_back("form " + std::to_string(Key));
    EXPECT_EQ(Sender, f.get());
    if (Key == 'X') Key = 0;
  };
  f->OnKeyPress = [&](TObject*, char& Key) {
    if (Key == 'y') Key = 'z';
  };
  e->OnKeyDown = [&](TObject*, WORD& Key, TShiftState) { log.push_back("edit " + std::to_string(Key)); };
  f->Show();
  Key('X');
  Key('Y');
  Application->ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"form 88", "form 89", "edit 89"}));
  EXPECT_EQ(e->Text(), "xz");  // the swallowed key still types: only its key-down was taken
}

TEST_F(ControlsTest, ActivationBetweenFormsRunsOnActivateAndOnDeactivate) {
  std::vector<std::string> log;  // outlives the forms: their handlers write to it
  TFormPtr a = NewForm();
  TFormPtr b = NewForm();
  a->OnActivate = [&](TObject*) { log.push_back("a on"); };
  a->OnDeactivate = [&](TObject*) { log.push_back("a off"); };
  b->OnActivate = [&](TObject*) { log.push_back("b on"); };
  a->Show();
  b->Show();
  a->Show();
  EXPECT_EQ(log, (std::vector<std::string>{"a on", "a off", "b on", "a on"}));
  EXPECT_TRUE(a->Active());
  EXPECT_FALSE(b->Active());
}

}  // namespace
}  // namespace vorra
