#include "framework/StdCtrls.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "platform/ui/Clipboard.h"
#include "platform/ui/Draw.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Text.h"
#include "platform/win/Ascii.h"
#include "platform/win/ScopeGuard.h"
#include "platform/win/Utf8.h"

namespace vorra {

using namespace win;

namespace {

// A memory DC for measuring text in a font when no window is at hand.
class TMeasureDC {
 public:
  explicit TMeasureDC(TFont* font) : dc_(CreateCompatibleDC(nullptr)) {
    canvas_.SetHandle(dc_);
    canvas_.Font()->Assign(font);
  }
  ~TMeasureDC() {
    canvas_.SetHandle(nullptr);
    DeleteDC(dc_);
  }
  TCanvas& Canvas() { return canvas_; }

 private:
  HDC dc_;
  TCanvas canvas_;
};

void FillSolid(HDC dc, const RECT& r, TColor c) {
  HBRUSH b = CreateSolidBrush(ColorToRGB(c));
  FillRect(dc, &r, b);
  DeleteObject(b);
}

// Text in the disabled look: a light copy one pixel down-right under a shadow.
void DrawDisabledText(TCanvas* c, const std::string& text, TRect r, unsigned flags) {
  c->Brush()->SetStyle(bsClear);
  TRect lr = Rect(r.Left + 1, r.Top + 1, r.Right + 1, r.Bottom + 1);
  c->Font()->SetColor(clBtnHighlight);
  c->DrawText(text, lr, flags);
  c->Font()->SetColor(clBtnShadow);
  c->DrawText(text, r, flags);
}

}  // namespace

bool IsAccel(unsigned Key, const std::string& Text) {
  for (size_t i = 0; i + 1 < Text.size(); ++i) {
    if (Text[i] != '&') continue;
    if (Text[i + 1] == '&') {
      ++i;
      continue;
    }
    return win::AsciiToUpper(Text[i + 1]) == win::AsciiToUpper(static_cast<char>(Key & 0xFF));
  }
  return false;
}

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FColor = clBtnFace;
  FParentColor = true;
  FWidth = 65;
  FHeight = 17;
  FCaptureMouse = true;
}

unsigned TLabel::DrawTextFlags() const {
  unsigned f = DT_EXPANDTABS;
  if (FWordWrap) f |= DT_WORDBREAK;
  if (FAlignment == taCenter) f |= DT_CENTER;
  if (FAlignment == taRightJustify) f |= DT_RIGHT;
  if (!FShowAccelChar) f |= DT_NOPREFIX;
  return f;
}

void TLabel::AdjustBounds() {
  if (ComponentState().Contains(csLoading) && !FAutoSize) return;
  TMeasureDC m(FFont.get());
  std::string text = FText;
  // An empty label keeps the height of one line.
  if (text.empty() || (FShowAccelChar && text == "&")) text += ' ';
  TRect r = Rect(0, 0, FWordWrap ? FWidth : 0, 0);
  m.Canvas().DrawText(text, r, DrawTextFlags() | DT_CALCRECT);
  int x = FLeft;
  if (FAlignment == taRightJustify) x = FLeft + FWidth - r.Right;
  if (FAlignment == taCenter) x = FLeft + (FWidth - r.Right) / 2;
  SetBounds(x, FTop, r.Right, r.Bottom);
}

void TLabel::SetAutoSize(bool v) {
  if (v == FAutoSize) return;
  FAutoSize = v;
  if (v) AdjustBounds();
}

void TLabel::SetAlignment(TAlignment v) {
  if (v == FAlignment) return;
  FAlignment = v;
  Invalidate();
}

void TLabel::SetLayout(TTextLayout v) {
  if (v == FLayout) return;
  FLayout = v;
  Invalidate();
}

void TLabel::SetWordWrap(bool v) {
  if (v == FWordWrap) return;
  FWordWrap = v;
  if (FAutoSize) AdjustBounds();
  Invalidate();
}

void TLabel::SetTransparent(bool v) {
  if (v == FTransparent) return;
  FTransparent = v;
  Invalidate();
}

void TLabel::SetShowAccelChar(bool v) {
  if (v == FShowAccelChar) return;
  FShowAccelChar = v;
  if (FAutoSize) AdjustBounds();
  Invalidate();
}

void TLabel::SetFocusControl(TWinControl* v) {
  if (FFocusControl == v) return;
  if (FFocusControl) RemoveFreeNotification(FFocusControl);
  FFocusControl = v;
  if (v) FreeNotification(v);
}

void TLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

void TLabel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (!FTransparent) {
    c->Brush()->SetColor(FColor);
    c->FillRect(r);
  }
  c->Brush()->SetStyle(bsClear);
  const unsigned flags = DrawTextFlags();
  if (FLayout != tlTop) {
    TRect calc = r;
    c->DrawText(FText.empty() ? " " : FText, calc, flags | DT_CALCRECT);
    const int dy = FLayout == tlBottom ? r.Height() - calc.Height() : (r.Height() - calc.Height()) / 2;
    r.Top += dy;
  }
  if (!FEnabled)
    DrawDisabledText(c, FText, r, flags);
  else
    c->DrawText(FText, r, flags);
}

void TLabel::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
      Invalidate();
      if (FAutoSize) AdjustBounds();
      return;
    case CM_DIALOGCHAR:
      if (FFocusControl && FEnabled && FShowAccelChar && IsAccel(static_cast<unsigned>(m.WParam), FText) &&
          FFocusControl->CanFocus()) {
        FFocusControl->SetFocus();
        m.Result = 1;
      }
      return;
    default: TGraphicControl::Dispatch(m);
  }
}

// ---------------------------------------------------------------- TButton

TButton::TButton(TComponent* AOwner) : TCustomControl(AOwner) {
  FWidth = 75;
  FHeight = 25;
  FTabStop = true;
  FClickEvents = false;
  FCaptureMouse = true;
  FColor = clBtnFace;
}

void TButton::SetDefault(bool v) {
  if (v == FDefault) return;
  FDefault = v;
  TCustomForm* form = GetParentForm(this);
  TWinControl* focused = form ? form->ActiveControl() : nullptr;
  FActive = focused == this || (v && !dynamic_cast<TButton*>(focused));
  Invalidate();
}

void TButton::Click() {
  if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(FModalResult);
  TCustomControl::Click();
}

void TButton::SetPressed(bool v) {
  if (v == FPressed) return;
  FPressed = v;
  Invalidate();
}

void TButton::Paint() {
  TCanvas* c = Canvas();
  HDC dc = c->Handle();
  RECT r{0, 0, FWidth, FHeight};
  const bool focused = Focused();
  // The button that Enter presses wears a black outline.
  if (FActive || focused) {
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    FrameRect(dc, &r, black);
    r.left++, r.top++, r.right--, r.bottom--;
  }
  if (FPressed) {
    FillSolid(dc, r, FColor);
    HBRUSH shadow = GetSysColorBrush(COLOR_BTNSHADOW);
    FrameRect(dc, &r, shadow);
  } else {
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (FEnabled ? 0 : DFCS_INACTIVE));
  }
  TRect tr = TRect::From(r);
  if (FPressed) tr = Rect(tr.Left + 1, tr.Top + 1, tr.Right + 1, tr.Bottom + 1);
  c->Brush()->SetStyle(bsClear);
  const unsigned flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if (!FEnabled) {
    DrawDisabledText(c, FText, tr, flags);
  } else {
    c->Font()->SetColor(FFont->Color() == clWindowText ? clBtnText : FFont->Color());
    c->DrawText(FText, tr, flags);
  }
  if (focused) {
    RECT fr{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3};
    DrawFocusRect(dc, &fr);
  }
}

void TButton::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case CM_DIALOGKEY: {
      const WORD key = static_cast<WORD>(m.WParam);
      if (((key == VK_RETURN && FActive) || (key == VK_ESCAPE && FCancel)) && KeyboardShiftState().Empty() &&
          CanFocus()) {
        Click();
        m.Result = 1;
      }
      return;
    }
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<unsigned>(m.WParam), FText) && CanFocus()) {
        Click();
        m.Result = 1;
      }
      return;
    case CM_FOCUSCHANGED: {
      auto* sender = reinterpret_cast<TWinControl*>(m.LParam);
      const bool active = dynamic_cast<TButton*>(sender) ? sender == this : FDefault;
      if (active != FActive) {
        FActive = active;
        Invalidate();
      }
      return;
    }
    case WM_GETDLGCODE:
      // Enter and Escape go to the form, which presses the right button.
      m.Result = 0;
      return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (m.Msg == WM_KILLFOCUS) {
        FSpaceDown = false;
        if (!FMouseTracking) SetPressed(false);
      }
      DefaultHandler(m);
      Invalidate();
      return;
    case WM_CAPTURECHANGED:
      // Lost while the button is still held (not the release that ends a click).
      if (FMouseTracking && reinterpret_cast<HWND>(m.LParam) != FHandle && GetKeyState(VK_LBUTTON) < 0) {
        FMouseTracking = false;
        SetPressed(false);
      }
      DefaultHandler(m);
      return;
    default: TCustomControl::Dispatch(m);
  }
}

void TButton::KeyDown(WORD& Key, TShiftState Shift) {
  if (Key == VK_SPACE) {
    FSpaceDown = true;
    SetPressed(true);
    Key = 0;
  }
}

void TButton::KeyUp(WORD& Key, TShiftState Shift) {
  if (Key == VK_SPACE && FSpaceDown) {
    FSpaceDown = false;
    SetPressed(false);
    Key = 0;
    Click();
  }
}

void TButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    FMouseTracking = true;
    SetPressed(true);
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TButton::MouseMove(TShiftState Shift, int X, int Y) {
  if (FMouseTracking) SetPressed(ClientRect().Contains(TPoint{X, Y}));
  TCustomControl::MouseMove(Shift, X, Y);
}

void TButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const bool click = Button == mbLeft && FMouseTracking && ClientRect().Contains(TPoint{X, Y});
  if (Button == mbLeft) {
    FMouseTracking = false;
    SetPressed(false);
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (click) Click();
}

// ---------------------------------------------------------------- TCheckBox

namespace {
constexpr int kCheckSize = 13;
}

TCheckBox::TCheckBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FWidth = 97;
  FHeight = 17;
  FTabStop = true;
  FClickEvents = false;
  FColor = clBtnFace;
  FParentColor = true;
}

void TCheckBox::SetState(TCheckBoxState v) {
  if (v == FState) return;
  FState = v;
  Invalidate();
  Click();
}

void TCheckBox::SetAlignment(TAlignment v) {
  if (v == FAlignment) return;
  FAlignment = v;
  Invalidate();
}

void TCheckBox::Toggle() {
  switch (FState) {
    case cbUnchecked: SetState(FAllowGrayed ? cbGrayed : cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
    case cbGrayed: SetState(cbChecked); break;
  }
}

void TCheckBox::Paint() {
  TCanvas* c = Canvas();
  HDC dc = c->Handle();
  c->FillRect(ClientRect());
  const int top = (FHeight - kCheckSize) / 2;
  const bool boxLeft = FAlignment == taRightJustify;
  RECT box{boxLeft ? 0 : FWidth - kCheckSize, top, 0, top + kCheckSize};
  box.right = box.left + kCheckSize;
  UINT state = DFCS_BUTTONCHECK;
  if (FState != cbUnchecked) state |= DFCS_CHECKED;
  if (FState == cbGrayed) state = DFCS_BUTTON3STATE | DFCS_CHECKED;
  if (FPressed || !FEnabled) state |= DFCS_INACTIVE;
  DrawFrameControl(dc, &box, DFC_BUTTON, state);
  TRect tr = boxLeft ? Rect(kCheckSize + 4, 0, FWidth, FHeight) : Rect(0, 0, FWidth - kCheckSize - 4, FHeight);
  c->Brush()->SetStyle(bsClear);
  const unsigned flags = DT_SINGLELINE | DT_VCENTER | (boxLeft ? DT_LEFT : DT_RIGHT);
  if (!FEnabled)
    DrawDisabledText(c, FText, tr, flags);
  else
    c->DrawText(FText, tr, flags);
  if (Focused()) {
    TRect calc = tr;
    c->DrawText(FText.empty() ? " " : FText, calc, flags | DT_CALCRECT);
    const int h = calc.Height();
    RECT fr{tr.Left - 1, (FHeight - h) / 2 - 1, tr.Left + calc.Width() + 1, (FHeight - h) / 2 + h + 1};
    if (!boxLeft) fr.left = tr.Right - calc.Width() - 1, fr.right = tr.Right + 1;
    DrawFocusRect(dc, &fr);
  }
}

void TCheckBox::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<unsigned>(m.WParam), FText) && CanFocus()) {
        SetFocus();
        Toggle();
        m.Result = 1;
      }
      return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (m.Msg == WM_KILLFOCUS && FSpaceDown) {
        FSpaceDown = false;
        FPressed = false;
      }
      DefaultHandler(m);
      Invalidate();
      return;
    case WM_CAPTURECHANGED:
      if (FTracking && reinterpret_cast<HWND>(m.LParam) != FHandle && GetKeyState(VK_LBUTTON) < 0) {
        FTracking = false;
        FPressed = false;
        Invalidate();
      }
      DefaultHandler(m);
      return;
    default: TCustomControl::Dispatch(m);
  }
}

void TCheckBox::KeyDown(WORD& Key, TShiftState) {
  if (Key == VK_SPACE) {
    FSpaceDown = true;
    FPressed = true;
    Invalidate();
    Key = 0;
  }
}

void TCheckBox::KeyUp(WORD& Key, TShiftState) {
  if (Key == VK_SPACE && FSpaceDown) {
    FSpaceDown = false;
    FPressed = false;
    Key = 0;
    Toggle();
  }
}

void TCheckBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    FTracking = true;
    FPressed = true;
    Invalidate();
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCheckBox::MouseMove(TShiftState Shift, int X, int Y) {
  if (FTracking) {
    const bool inside = ClientRect().Contains(TPoint{X, Y});
    if (inside != FPressed) {
      FPressed = inside;
      Invalidate();
    }
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TCheckBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const bool toggle = Button == mbLeft && FTracking && ClientRect().Contains(TPoint{X, Y});
  if (Button == mbLeft) {
    FTracking = false;
    FPressed = false;
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (toggle) Toggle();
}

// ---------------------------------------------------------------- TEdit

TEdit::TEdit(TComponent* AOwner) : TCustomControl(AOwner) {
  FWidth = 121;
  FHeight = 21;
  FTabStop = true;
  FClickEvents = false;
  FColor = clWindow;
  FCaptureMouse = true;
}

void TEdit::SetPasswordChar(char v) {
  if (v == FPasswordChar) return;
  FPasswordChar = v;
  Invalidate();
}

void TEdit::SetBorderStyle(TFormBorderStyle v) {
  if (v == FBorderStyle) return;
  FBorderStyle = v;
  Invalidate();
}

std::string TEdit::DisplayText() const {
  if (!FPasswordChar) return FText;
  size_t chars = 0;
  for (unsigned char ch : FText)
    if ((ch & 0xC0) != 0x80) ++chars;
  return std::string(chars, FPasswordChar);
}

int TEdit::Inset() const { return FBorderStyle == bsNone ? 1 : 3; }

int TEdit::PrevPos(int pos) const {
  if (pos <= 0) return 0;
  --pos;
  while (pos > 0 && (static_cast<unsigned char>(FText[static_cast<size_t>(pos)]) & 0xC0) == 0x80) --pos;
  return pos;
}

int TEdit::NextPos(int pos) const {
  const int n = static_cast<int>(FText.size());
  if (pos >= n) return n;
  ++pos;
  while (pos < n && (static_cast<unsigned char>(FText[static_cast<size_t>(pos)]) & 0xC0) == 0x80) ++pos;
  return pos;
}

namespace {
bool IsWordByte(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c & 0x80); }
}  // namespace

int TEdit::WordStart(int pos) const {
  while (pos > 0 && !IsWordByte(FText[static_cast<size_t>(pos - 1)])) --pos;
  while (pos > 0 && IsWordByte(FText[static_cast<size_t>(pos - 1)])) --pos;
  return pos;
}

int TEdit::WordEnd(int pos) const {
  const int n = static_cast<int>(FText.size());
  while (pos < n && IsWordByte(FText[static_cast<size_t>(pos)])) ++pos;
  while (pos < n && !IsWordByte(FText[static_cast<size_t>(pos)])) ++pos;
  return pos;
}

// Maps a byte position of the text to one of the shown text (password characters).
static int ShownPos(const std::string& text, int pos, char password) {
  if (!password) return pos;
  int chars = 0;
  for (int i = 0; i < pos && i < static_cast<int>(text.size()); ++i)
    if ((static_cast<unsigned char>(text[static_cast<size_t>(i)]) & 0xC0) != 0x80) ++chars;
  return chars;
}

int TEdit::XFromPos(int pos) {
  TMeasureDC m(FFont.get());
  const std::string shown = DisplayText();
  const int sp = ShownPos(FText, pos, FPasswordChar);
  return Inset() - FScroll + m.Canvas().TextWidth(shown.substr(0, static_cast<size_t>(sp)));
}

int TEdit::PosFromX(int x) {
  TMeasureDC m(FFont.get());
  const std::string shown = DisplayText();
  int best = 0, bestDist = 1 << 30;
  // Character boundaries of the real text, compared at their shown x.
  for (int p = 0;; p = NextPos(p)) {
    const int sp = ShownPos(FText, p, FPasswordChar);
    const int px = Inset() - FScroll + m.Canvas().TextWidth(shown.substr(0, static_cast<size_t>(sp)));
    const int d = std::abs(px - x);
    if (d < bestDist) best = p, bestDist = d;
    if (px > x || p >= static_cast<int>(FText.size())) break;
  }
  return best;
}

void TEdit::SetSelection(int anchor, int caret) {
  const int n = static_cast<int>(FText.size());
  anchor = std::clamp(anchor, 0, n);
  caret = std::clamp(caret, 0, n);
  FAnchor = anchor;
  FCaret = caret;
  FSelStart = std::min(anchor, caret);
  FSelLength = std::abs(caret - anchor);
  ScrollToCaret();
  Invalidate();
}

void TEdit::MoveCaret(int pos, bool extend) { SetSelection(extend ? FAnchor : pos, pos); }

void TEdit::SetSelStart(int v) { SetSelection(v, v); }

void TEdit::SetSelLength(int v) { SetSelection(FSelStart, FSelStart + std::max(v, 0)); }

std::string TEdit::SelText() const {
  return FText.substr(static_cast<size_t>(FSelStart), static_cast<size_t>(FSelLength));
}

void TEdit::SetSelText(const std::string& v) {
  std::string t = FText;
  t.replace(static_cast<size_t>(FSelStart), static_cast<size_t>(FSelLength), v);
  const int caret = FSelStart + static_cast<int>(v.size());
  FChanging = true;
  {
    const auto cleanup = win::ScopeExit([&] { FChanging = false; });
    SetText(t);
  }
  FModified = true;
  SetSelection(caret, caret);
  Change();
}

void TEdit::SelectAll() { SetSelection(0, static_cast<int>(FText.size())); }

void TEdit::ClearSelection() {
  if (FSelLength > 0) SetSelText("");
}

void TEdit::CopyToClipboard() {
  // Hidden text stays hidden.
  if (FSelLength == 0 || FPasswordChar) return;
  const std::string s = SelText();
  if (!OpenClipboard(FHandle)) return;
  EmptyClipboard();
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, s.size() + 1)) {
    if (auto* p = static_cast<char*>(GlobalLock(mem))) {
      std::memcpy(p, s.c_str(), s.size() + 1);
      GlobalUnlock(mem);
      if (!SetClipboardData(CF_TEXT, mem)) GlobalFree(mem);
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}

void TEdit::CutToClipboard() {
  if (FReadOnly || FPasswordChar) return;
  CopyToClipboard();
  ClearSelection();
}

void TEdit::PasteFromClipboard() {
  if (FReadOnly || !OpenClipboard(FHandle)) return;
  std::string s;
  if (HANDLE mem = GetClipboardData(CF_TEXT)) {
    if (const auto* p = static_cast<const char*>(GlobalLock(mem))) {
      s.assign(p, strnlen(p, GlobalSize(mem)));
      GlobalUnlock(mem);
    }
  }
  CloseClipboard();
  // One line: the text stops at the first line break.
  const size_t eol = s.find_first_of("\r\n");
  if (eol != std::string::npos) s.resize(eol);
  InsertText(s);
}

void TEdit::InsertText(const std::string& in) {
  if (FReadOnly) return;
  std::string s = in;
  if (FMaxLength > 0) {
    const int room = FMaxLength - (static_cast<int>(FText.size()) - FSelLength);
    if (room <= 0 && !s.empty()) return;
    s = win::CutUtf8(std::move(s), static_cast<size_t>(std::max(room, 0)));  // never a character cut in two
  }
  if (s.empty() && FSelLength == 0) return;
  SetSelText(s);
}

void TEdit::ScrollToCaret() {
  if (!FHandle) return;
  const int inner = std::max(FWidth - 2 * Inset(), 1);
  const int x = XFromPos(FCaret) - Inset() + FScroll;  // caret x in text coordinates
  if (x - FScroll > inner) FScroll = x - inner + inner / 3;
  if (x < FScroll) FScroll = std::max(0, x - inner / 3);
  if (FScroll < 0) FScroll = 0;
}

void TEdit::Change() {
  if (OnChange) OnChange(this);
}

void TEdit::Paint() {
  TCanvas* c = Canvas();
  HDC dc = c->Handle();
  RECT r{0, 0, FWidth, FHeight};
  FillSolid(dc, r, FEnabled ? FColor : clBtnFace);
  if (FBorderStyle != bsNone) DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  const int inset = Inset();
  const std::string shown = DisplayText();
  const int s0 = ShownPos(FText, FSelStart, FPasswordChar);
  const int s1 = ShownPos(FText, FSelStart + FSelLength, FPasswordChar);
  IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
  const int th = c->TextHeight("Wg");
  const int y = std::max(inset - 1, (FHeight - th) / 2);
  int x = inset - FScroll;
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(FEnabled ? FFont->Color() : clGrayText);
  const bool focused = Focused();
  const std::string before = shown.substr(0, static_cast<size_t>(s0));
  const std::string sel = shown.substr(static_cast<size_t>(s0), static_cast<size_t>(s1 - s0));
  const std::string after = shown.substr(static_cast<size_t>(s1));
  c->TextOut(x, y, before);
  x += c->TextWidth(before);
  if (!sel.empty()) {
    const int w = c->TextWidth(sel);
    // The selection shows only while the box has the focus, as Windows edit boxes do.
    if (focused) {
      c->Brush()->SetColor(clHighlight);
      c->FillRect(Rect(x, y, x + w, y + th));
      c->Brush()->SetStyle(bsClear);
      c->Font()->SetColor(clHighlightText);
    }
    c->TextOut(x, y, sel);
    c->Font()->SetColor(FEnabled ? FFont->Color() : clGrayText);
    x += w;
  }
  c->TextOut(x, y, after);
  if (focused) {
    const int cx = XFromPos(FCaret);
    c->Pen()->SetColor(clWindowText);
    c->MoveTo(cx, y);
    c->LineTo(cx, y + th);
  }
}

void TEdit::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_GETDLGCODE: m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS; return;
    case WM_SETFOCUS:
      DefaultHandler(m);
      if (FAutoSelect && !FSelecting && GetKeyState(VK_LBUTTON) >= 0) SelectAll();
      Invalidate();
      return;
    case WM_KILLFOCUS:
      DefaultHandler(m);
      Invalidate();
      return;
    case CM_TEXTCHANGED: {
      // Set from outside: the caret goes to the start, as after WM_SETTEXT.
      if (!FChanging) {
        FAnchor = FCaret = FSelStart = FSelLength = 0;
        FScroll = 0;
        Invalidate();
        Change();
      }
      return;
    }
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(m.LParam) != FHandle) FSelecting = false;
      DefaultHandler(m);
      return;
    default: TCustomControl::Dispatch(m);
  }
}

void TEdit::KeyDown(WORD& Key, TShiftState Shift) {
  const bool shift = Shift.Contains(ssShift);
  const bool ctrl = Shift.Contains(ssCtrl);
  const int n = static_cast<int>(FText.size());
  switch (Key) {
    case VK_LEFT:
      if (!shift && FSelLength > 0)
        MoveCaret(FSelStart, false);
      else
        MoveCaret(ctrl ? WordStart(FCaret) : PrevPos(FCaret), shift);
      break;
    case VK_RIGHT:
      if (!shift && FSelLength > 0)
        MoveCaret(FSelStart + FSelLength, false);
      else
        MoveCaret(ctrl ? WordEnd(FCaret) : NextPos(FCaret), shift);
      break;
    case VK_HOME: MoveCaret(0, shift); break;
    case VK_END: MoveCaret(n, shift); break;
    case VK_DELETE:
      if (shift) {
        CutToClipboard();
      } else if (!FReadOnly) {
        if (FSelLength == 0) SetSelection(FCaret, NextPos(FCaret));
        ClearSelection();
      }
      break;
    case VK_INSERT:
      if (ctrl)
        CopyToClipboard();
      else if (shift)
        PasteFromClipboard();
      else
        return;
      break;
    case 'A':
      if (!ctrl) return;
      SelectAll();
      break;
    case 'C':
      if (!ctrl) return;
      CopyToClipboard();
      break;
    case 'X':
      if (!ctrl) return;
      CutToClipboard();
      break;
    case 'V':
      if (!ctrl) return;
      PasteFromClipboard();
      break;
    default: return;
  }
  Key = 0;
}

void TEdit::KeyPress(char& Key) {
  const auto ch = static_cast<unsigned char>(Key);
  if (ch == '\b') {
    if (!FReadOnly) {
      if (FSelLength == 0) SetSelection(FCaret, PrevPos(FCaret));
      ClearSelection();
    }
    Key = 0;
    return;
  }
  // Other control characters (Enter, Escape, Ctrl+letter) are not text.
  if (ch < 32 || ch == 127) return;
  InsertText(std::string(1, Key));
  Key = 0;
}

void TEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    FSelecting = true;
    if (CanFocus() && !Focused()) SetFocus();
    const int pos = PosFromX(X);
    if (Shift.Contains(ssDouble))
      SetSelection(WordStart(pos == static_cast<int>(FText.size()) ? pos : NextPos(pos)), WordEnd(pos));
    else
      MoveCaret(pos, Shift.Contains(ssShift));
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TEdit::MouseMove(TShiftState Shift, int X, int Y) {
  if (FSelecting && Shift.Contains(ssLeft)) MoveCaret(PosFromX(X), true);
  TCustomControl::MouseMove(Shift, X, Y);
}

void TEdit::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) FSelecting = false;
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

// ---------------------------------------------------------------- TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FWidth = 185;
  FHeight = 105;
  FColor = clBtnFace;
  FParentColor = true;
}

void TGroupBox::SetCaptionMargin(int v) {
  if (v == FCaptionMargin) return;
  FCaptionMargin = v;
  Invalidate();
}

int TGroupBox::TextHeight() {
  TMeasureDC m(FFont.get());
  return m.Canvas().TextHeight("0");
}

void TGroupBox::AdjustClientRect(TRect& r) {
  TCustomControl::AdjustClientRect(r);
  r.Top += TextHeight();
  r.Left += 1, r.Top += 1, r.Right -= 1, r.Bottom -= 1;
}

void TGroupBox::Paint() {
  TCanvas* c = Canvas();
  HDC dc = c->Handle();
  const int th = c->TextHeight("0");
  c->FillRect(ClientRect());
  RECT frame{0, th / 2, FWidth, FHeight};
  DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
  if (FText.empty()) return;
  TRect tr = Rect(FCaptionMargin, 0, FWidth - FCaptionMargin, th);
  TRect calc = tr;
  c->DrawText(FText, calc, DT_SINGLELINE | DT_CALCRECT);
  // The caption sits on the line with a gap of the background around it.
  c->Brush()->SetColor(FColor);
  c->FillRect(Rect(calc.Left - 2, 0, calc.Right + 2, th));
  c->Brush()->SetStyle(bsClear);
  if (!FEnabled)
    DrawDisabledText(c, FText, calc, DT_SINGLELINE);
  else
    c->DrawText(FText, calc, DT_SINGLELINE);
}

void TGroupBox::Dispatch(TMessage& m) {
  if (m.Msg == CM_FONTCHANGED || m.Msg == CM_TEXTCHANGED) {
    Realign();
    Invalidate();
    if (m.Msg == CM_FONTCHANGED) TCustomControl::Dispatch(m);
    return;
  }
  TCustomControl::Dispatch(m);
}

}  // namespace vorra
