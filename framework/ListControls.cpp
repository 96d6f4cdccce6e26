#include "framework/ListControls.h"

#include <algorithm>
#include <utility>

#include "framework/StdCtrls.h"
#include "platform/ui/Draw.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"

namespace vorra {

using win::WORD;

namespace {

// The client area without making the window for it: a control that has
// no parent yet has no window, and asking for one would fail.
TRect ClientArea(TWinControl* c) {
  return c->HandleAllocated() ? c->ClientRect() : Rect(0, 0, c->Width(), c->Height());
}


constexpr int kBorder = 2;

[[noreturn]] void IndexError(int Index) { throw EStringListError(Format("List index out of bounds (%d)", Index)); }

void DrawSunkenBorder(TCanvas* c, const TRect& r) {
  win::RECT rc = r.ToRECT();
  win::DrawEdge(c->Handle(), &rc, win::EDGE_SUNKEN, win::BF_RECT);
}

void DrawScrollButton(TCanvas* c, const TRect& r, win::UINT kind, bool pushed, bool enabled) {
  win::RECT rc = r.ToRECT();
  win::UINT state = kind;
  if (pushed) state |= win::DFCS_PUSHED | win::DFCS_FLAT;
  if (!enabled) state |= win::DFCS_INACTIVE;
  win::DrawFrameControl(c->Handle(), &rc, win::DFC_SCROLL, state);
}

}  // namespace

// --- TListBoxStrings

int TListBoxStrings::Add(const std::string& S) {
  int index = Count();
  if (FListBox->FSorted) {
    const auto& data = FListBox->FData;
    index = static_cast<int>(std::upper_bound(data.begin(), data.end(), S,
                                              [](const std::string& s, const TCustomListBox::TItem& item) {
                                                return CompareText(s, item.Text) < 0;
                                              }) -
                             data.begin());
  }
  Insert(index, S);
  return index;
}

void TListBoxStrings::Clear() {
  FListBox->FData.clear();
  FListBox->FItemIndex = -1;
  FListBox->FTopIndex = 0;
  FListBox->ItemsChanged();
}

void TListBoxStrings::Delete(int Index) {
  auto& lb = *FListBox;
  if (Index < 0 || Index >= lb.Count()) IndexError(Index);
  lb.FData.erase(lb.FData.begin() + Index);
  // The selection stays on its item; a deleted selected item leaves none.
  if (lb.FItemIndex == Index)
    lb.FItemIndex = -1;
  else if (lb.FItemIndex > Index)
    --lb.FItemIndex;
  lb.ItemsChanged();
}

void TListBoxStrings::Insert(int Index, const std::string& S) {
  auto& lb = *FListBox;
  if (Index < 0 || Index > lb.Count()) IndexError(Index);
  TCustomListBox::TItem item;
  item.Text = S;
  lb.FData.insert(lb.FData.begin() + Index, item);
  if (lb.FItemIndex >= Index) ++lb.FItemIndex;
  lb.ItemsChanged();
}

void TListBoxStrings::Exchange(int Index1, int Index2) {
  auto& lb = *FListBox;
  if (Index1 < 0 || Index1 >= lb.Count()) IndexError(Index1);
  if (Index2 < 0 || Index2 >= lb.Count()) IndexError(Index2);
  std::swap(lb.FData[static_cast<std::size_t>(Index1)], lb.FData[static_cast<std::size_t>(Index2)]);
  lb.ItemsChanged();
}

std::string TListBoxStrings::Get(int Index) const {
  if (Index < 0 || Index >= FListBox->Count()) IndexError(Index);
  return FListBox->FData[static_cast<std::size_t>(Index)].Text;
}

int TListBoxStrings::GetCount() const { return FListBox->Count(); }

TObject* TListBoxStrings::GetObject(int Index) const {
  if (Index < 0 || Index >= FListBox->Count()) IndexError(Index);
  return FListBox->FData[static_cast<std::size_t>(Index)].Object;
}

void TListBoxStrings::Put(int Index, const std::string& S) {
  if (Index < 0 || Index >= FListBox->Count()) IndexError(Index);
  FListBox->FData[static_cast<std::size_t>(Index)].Text = S;
  FListBox->ItemsChanged();
}

void TListBoxStrings::PutObject(int Index, TObject* AObject) {
  if (Index < 0 || Index >= FListBox->Count()) IndexError(Index);
  FListBox->FData[static_cast<std::size_t>(Index)].Object = AObject;
}

void TListBoxStrings::SetUpdateState(bool Updating) {
  if (!Updating) FListBox->ItemsChanged();
}

// --- TCustomListBox

TCustomListBox::TCustomListBox(TComponent* AOwner)
    : TCustomControl(AOwner), FItems(std::make_unique<TListBoxStrings>(this)) {
  FWidth = 121;
  FHeight = 97;
  FColor = clWindow;
  FTabStop = true;
  // Selection changes click, not the button going up.
  FClickEvents = false;
}

TCustomListBox::~TCustomListBox() = default;

void TCustomListBox::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.WindowClass.style |= win::CS_DBLCLKS;
  Params.Style |= win::WS_TABSTOP;
}

void TCustomListBox::ItemsChanged() {
  if (FItems->UpdateCount() > 0) return;
  if (FItemIndex >= Count()) FItemIndex = -1;
  SetTopIndex(FTopIndex);
  Invalidate();
}

void TCustomListBox::SetItemIndex(int Value) {
  if (Value < 0 || Value >= Count()) Value = -1;
  if (Value != FItemIndex) {
    FItemIndex = Value;
    Invalidate();
  }
  if (Value >= 0) ScrollInView(Value);
}

void TCustomListBox::SetTopIndex(int Value) {
  const int maxTop = std::max(0, Count() - VisibleItemCount());
  Value = std::clamp(Value, 0, maxTop);
  if (Value == FTopIndex) return;
  FTopIndex = Value;
  Invalidate();
}

void TCustomListBox::SetItemHeight(int Value) {
  if (Value < 1 || Value == FItemHeight) return;
  FItemHeight = Value;
  ItemsChanged();
}

void TCustomListBox::SetStyle(TListBoxStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  Invalidate();
}

void TCustomListBox::SetSorted(bool Value) {
  if (Value == FSorted) return;
  FSorted = Value;
  if (!Value || Count() < 2) return;
  TObject* selected = FItemIndex >= 0 ? FData[static_cast<std::size_t>(FItemIndex)].Object : nullptr;
  const std::string selectedText = FItemIndex >= 0 ? FData[static_cast<std::size_t>(FItemIndex)].Text : "";
  std::stable_sort(FData.begin(), FData.end(),
                   [](const TItem& a, const TItem& b) { return CompareText(a.Text, b.Text) < 0; });
  if (FItemIndex >= 0) {
    for (int i = 0; i < Count(); ++i)
      if (FData[static_cast<std::size_t>(i)].Object == selected && FData[static_cast<std::size_t>(i)].Text == selectedText) {
        FItemIndex = i;
        break;
      }
  }
  ItemsChanged();
}

void TCustomListBox::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  ItemsChanged();
}

int TCustomListBox::ScrollBarWidth() { return win::GetSystemMetrics(win::SM_CXVSCROLL); }

int TCustomListBox::VisibleItemCount() {
  const TRect c = ClientArea(this);
  const int inner = c.Height() - (FBorderStyle == bsNone ? 0 : 2 * kBorder);
  return std::max(1, inner / FItemHeight);
}

TListScrollInfo TCustomListBox::VertScrollInfo() {
  TListScrollInfo info;
  info.Page = VisibleItemCount();
  info.Max = std::max(0, Count() - 1);
  info.Pos = FTopIndex;
  info.Visible = Count() > info.Page;
  return info;
}

TRect TCustomListBox::ItemsRect() {
  TRect r = ClientArea(this);
  if (FBorderStyle != bsNone) r = Rect(r.Left + kBorder, r.Top + kBorder, r.Right - kBorder, r.Bottom - kBorder);
  if (Count() > VisibleItemCount()) r.Right = std::max(r.Left, r.Right - ScrollBarWidth());
  return r;
}

TRect TCustomListBox::ScrollBarRect() {
  if (Count() <= VisibleItemCount()) return TRect{};
  TRect r = ClientArea(this);
  if (FBorderStyle != bsNone) r = Rect(r.Left + kBorder, r.Top + kBorder, r.Right - kBorder, r.Bottom - kBorder);
  r.Left = std::max(r.Left, r.Right - ScrollBarWidth());
  return r;
}

TRect TCustomListBox::ItemRect(int Index) {
  const TRect items = ItemsRect();
  const int top = items.Top + (Index - FTopIndex) * FItemHeight;
  return Rect(items.Left, top, items.Right, top + FItemHeight);
}

int TCustomListBox::ItemAtPos(TPoint Pos, bool Existing) {
  const TRect items = ItemsRect();
  if (Existing && !items.Contains(Pos)) return -1;
  const int offset = Pos.Y - items.Top;
  const int index = FTopIndex + (offset < 0 ? -1 : offset / FItemHeight);
  if (index >= 0 && index < Count()) return index;
  return Existing ? -1 : std::clamp(index, 0, Count());
}

void TCustomListBox::ScrollInView(int Index) {
  if (Index < 0 || Index >= Count()) return;
  const int visible = VisibleItemCount();
  if (Index < FTopIndex)
    SetTopIndex(Index);
  else if (Index >= FTopIndex + visible)
    SetTopIndex(Index - visible + 1);
}

void TCustomListBox::UserSelect(int Index, bool Always) {
  if (Index < 0 || Index >= Count()) return;
  const bool changed = Index != FItemIndex;
  SetItemIndex(Index);
  if (changed || Always) Click();
}

void TCustomListBox::ScrollWheel(int Delta) {
  win::UINT lines = 3;
  if (!win::SystemParametersInfoA(0x0068 /* SPI_GETWHEELSCROLLLINES */, 0, &lines, 0)) lines = 3;
  if (lines == 0) lines = 1;
  // Notches smaller than WHEEL_DELTA add up until they make a line.
  FWheelRest += Delta * static_cast<int>(lines);
  const int steps = FWheelRest / win::WHEEL_DELTA;
  FWheelRest -= steps * win::WHEEL_DELTA;
  if (steps) SetTopIndex(FTopIndex - steps);
}

void TCustomListBox::Resize() {
  TCustomControl::Resize();
  SetTopIndex(FTopIndex);
}

void TCustomListBox::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case win::WM_GETDLGCODE: Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS; return;
    case win::WM_MOUSEWHEEL:
      ScrollWheel(static_cast<short>(win::HIWORD(static_cast<win::DWORD>(Message.WParam))));
      Message.Result = 0;
      return;
    case win::WM_SETFOCUS:
    case win::WM_KILLFOCUS:
      TCustomControl::Dispatch(Message);
      if (HandleAllocated()) Invalidate();
      return;
    case win::WM_LBUTTONDBLCLK:
      TCustomControl::Dispatch(Message);
      if (FBarPart == bpNone) DblClick();
      return;
    case win::WM_CAPTURECHANGED:
      FSelecting = false;
      FBarPart = bpNone;
      TCustomControl::Dispatch(Message);
      return;
    default: TCustomControl::Dispatch(Message);
  }
}

void TCustomListBox::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Count() == 0) return;
  const int page = std::max(1, VisibleItemCount() - 1);
  const int last = Count() - 1;
  const int cur = FItemIndex;
  int next = cur;
  switch (Key) {
    case win::VK_UP: next = cur < 0 ? 0 : cur - 1; break;
    case win::VK_DOWN: next = cur < 0 ? 0 : cur + 1; break;
    case win::VK_HOME: next = 0; break;
    case win::VK_END: next = last; break;
    case win::VK_PRIOR: next = cur < 0 ? 0 : cur - page; break;
    case win::VK_NEXT: next = cur < 0 ? 0 : cur + page; break;
    default: return;
  }
  UserSelect(std::clamp(next, 0, last), false);
  ScrollInView(FItemIndex);
}

TCustomListBox::TBarPart TCustomListBox::BarPartAt(TPoint p) {
  const TRect bar = ScrollBarRect();
  if (bar.Width() <= 0 || !bar.Contains(p)) return bpNone;
  const int button = std::min(bar.Width(), bar.Height() / 2);
  if (p.Y < bar.Top + button) return bpUp;
  if (p.Y >= bar.Bottom - button) return bpDown;
  int thumbTop, thumbLength;
  ThumbGeometry(bar, thumbTop, thumbLength);
  if (p.Y < thumbTop) return bpPageUp;
  if (p.Y >= thumbTop + thumbLength) return bpPageDown;
  return bpThumb;
}

void TCustomListBox::ThumbGeometry(const TRect& bar, int& top, int& length) {
  const int button = std::min(bar.Width(), bar.Height() / 2);
  const int track = bar.Height() - 2 * button;
  const TListScrollInfo info = VertScrollInfo();
  const int range = info.Max - info.Min + 1;
  length = std::max(8, track * info.Page / std::max(1, range));
  if (length >= track) length = std::max(0, track);
  const int maxTop = std::max(1, range - info.Page);
  top = bar.Top + button + (track - length) * info.Pos / maxTop;
}

bool TCustomListBox::BarMouseDown(TPoint p) {
  FBarPart = BarPartAt(p);
  const int page = std::max(1, VisibleItemCount() - 1);
  switch (FBarPart) {
    case bpUp: SetTopIndex(FTopIndex - 1); break;
    case bpDown: SetTopIndex(FTopIndex + 1); break;
    case bpPageUp: SetTopIndex(FTopIndex - page); break;
    case bpPageDown: SetTopIndex(FTopIndex + page); break;
    case bpThumb: {
      int top, length;
      ThumbGeometry(ScrollBarRect(), top, length);
      FThumbGrab = p.Y - top;
      break;
    }
    case bpNone: return false;
  }
  Invalidate();
  return true;
}

bool TCustomListBox::BarMouseMove(TPoint p) {
  if (FBarPart != bpThumb) return false;
  const TRect bar = ScrollBarRect();
  if (bar.Width() <= 0) return true;
  const int button = std::min(bar.Width(), bar.Height() / 2);
  int top, length;
  ThumbGeometry(bar, top, length);
  const int track = bar.Height() - 2 * button - length;
  if (track <= 0) return true;
  const TListScrollInfo info = VertScrollInfo();
  const int range = info.Max - info.Min + 1 - info.Page;
  const int offset = (p.Y - FThumbGrab) - (bar.Top + button);
  SetTopIndex((offset * range + track / 2) / track);
  return true;
}

void TCustomListBox::BarMouseUp() {
  if (FBarPart != bpNone) Invalidate();
  FBarPart = bpNone;
}

void TCustomListBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (FFocusOnClick && CanFocus() && !Focused()) SetFocus();
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const TPoint p{X, Y};
  if (BarMouseDown(p)) return;
  const int index = ItemAtPos(p, true);
  if (index < 0) return;
  FSelecting = true;
  UserSelect(index, true);
}

void TCustomListBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (BarMouseMove(TPoint{X, Y}) || !FSelecting) return;
  // Dragging past the ends scrolls one item at a time.
  const TRect items = ItemsRect();
  int index;
  if (Y < items.Top)
    index = FTopIndex - 1;
  else if (Y >= items.Bottom)
    index = FTopIndex + VisibleItemCount();
  else
    index = ItemAtPos(TPoint{std::clamp(X, items.Left, items.Right - 1), Y}, true);
  if (index >= 0 && index < Count() && index != FItemIndex) UserSelect(index, false);
}

void TCustomListBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  FSelecting = false;
  BarMouseUp();
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TCustomListBox::DrawItem(int Index, TRect Rect, TOwnerDrawState State) {
  if (FStyle == lbOwnerDrawFixed && OnDrawItem) {
    OnDrawItem(this, Index, Rect, State);
    return;
  }
  TCanvas* c = Canvas();
  c->FillRect(Rect);
  const TItem& item = FData[static_cast<std::size_t>(Index)];
  const int textHeight = c->TextHeight("Wg");
  c->Brush()->SetStyle(bsClear);
  c->TextOut(Rect.Left + TextIndent(), Rect.Top + (Rect.Height() - textHeight) / 2, item.Text);
  c->Brush()->SetStyle(bsSolid);
}

void TCustomListBox::PaintScrollBar(const TRect& bar) {
  TCanvas* c = Canvas();
  const int button = std::min(bar.Width(), bar.Height() / 2);
  const bool enabled = Enabled();
  c->Brush()->SetColor(clScrollBar);
  c->FillRect(bar);
  DrawScrollButton(c, Rect(bar.Left, bar.Top, bar.Right, bar.Top + button), win::DFCS_SCROLLUP, FBarPart == bpUp,
                   enabled && FTopIndex > 0);
  const TListScrollInfo info = VertScrollInfo();
  DrawScrollButton(c, Rect(bar.Left, bar.Bottom - button, bar.Right, bar.Bottom), win::DFCS_SCROLLDOWN,
                   FBarPart == bpDown, enabled && FTopIndex < info.Max - info.Page + 1);
  int top, length;
  ThumbGeometry(bar, top, length);
  if (enabled && length > 0) {
    win::RECT thumb{bar.Left, top, bar.Right, top + length};
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(TRect::From(thumb));
    win::DrawEdge(c->Handle(), &thumb, win::EDGE_RAISED, win::BF_RECT);
  }
}

void TCustomListBox::Paint() {
  TCanvas* c = Canvas();
  const TRect client = ClientArea(this);
  const TRect items = ItemsRect();
  c->Font()->Assign(Font());
  int y = items.Top;
  for (int i = FTopIndex; i < Count() && y < items.Bottom; ++i, y += FItemHeight) {
    TOwnerDrawState state;
    const bool selected = i == FItemIndex;
    if (selected) state.Include(odSelected);
    if (!Enabled() || !FData[static_cast<std::size_t>(i)].Enabled) state.Include(odDisabled);
    const bool focused = selected && Focused();
    if (focused) state.Include(odFocused);
    c->Font()->Assign(Font());
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(selected ? clHighlight : Color());
    if (selected) c->Font()->SetColor(clHighlightText);
    else if (state.Contains(odDisabled)) c->Font()->SetColor(clGrayText);
    const TRect r = ItemRect(i);
    DrawItem(i, r, state);
    if (focused) {
      const win::RECT fr = r.ToRECT();
      win::DrawFocusRect(c->Handle(), &fr);
    }
  }
  if (y < items.Bottom) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    c->FillRect(Rect(items.Left, y, items.Right, items.Bottom));
  }
  if (FBorderStyle != bsNone) DrawSunkenBorder(c, client);
  const TRect bar = ScrollBarRect();
  if (bar.Width() > 0) PaintScrollBar(bar);
}

// --- TCheckListBox

TCheckBoxState TCheckListBox::State(int Index) const {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  return FData[static_cast<std::size_t>(Index)].State;
}

void TCheckListBox::SetState(int Index, TCheckBoxState Value) {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  TItem& item = FData[static_cast<std::size_t>(Index)];
  if (item.State == Value) return;
  item.State = Value;
  Invalidate();
}

bool TCheckListBox::ItemEnabled(int Index) const {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  return FData[static_cast<std::size_t>(Index)].Enabled;
}

void TCheckListBox::SetItemEnabled(int Index, bool Value) {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  FData[static_cast<std::size_t>(Index)].Enabled = Value;
  Invalidate();
}

int TCheckListBox::CheckWidth() { return 13 + 4; }

void TCheckListBox::ToggleState(int Index) {
  if (Index < 0 || Index >= Count() || !ItemEnabled(Index) || !Enabled()) return;
  TCheckBoxState next = cbUnchecked;
  switch (State(Index)) {
    case cbUnchecked: next = cbChecked; break;
    case cbChecked: next = FAllowGrayed ? cbGrayed : cbUnchecked; break;
    case cbGrayed: next = cbUnchecked; break;
  }
  SetState(Index, next);
  if (OnClickCheck) OnClickCheck(this);
}

void TCheckListBox::KeyDown(WORD& Key, TShiftState Shift) {
  if (Key == win::VK_SPACE && FItemIndex >= 0) {
    ToggleState(FItemIndex);
    Key = 0;
    return;
  }
  TCustomListBox::KeyDown(Key, Shift);
}

void TCheckListBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomListBox::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int index = ItemAtPos(TPoint{X, Y}, true);
  if (index >= 0 && X < ItemsRect().Left + CheckWidth()) ToggleState(index);
}

void TCheckListBox::DrawItem(int Index, TRect Rect, TOwnerDrawState State) {
  TCanvas* c = Canvas();
  const TColor back = c->Brush()->Color();
  // The box sits on the list's colour, not on the selection.
  c->Brush()->SetColor(Color());
  c->FillRect(vorra::Rect(Rect.Left, Rect.Top, Rect.Left + CheckWidth(), Rect.Bottom));
  const int size = 13;
  const int top = Rect.Top + (Rect.Height() - size) / 2;
  win::RECT box{Rect.Left + 2, top, Rect.Left + 2 + size, top + size};
  win::UINT flags = win::DFCS_BUTTONCHECK | win::DFCS_FLAT;
  const TCheckBoxState s = this->State(Index);
  if (s == cbChecked) flags |= win::DFCS_CHECKED;
  if (s == cbGrayed) flags = win::DFCS_BUTTON3STATE | win::DFCS_CHECKED | win::DFCS_FLAT;
  if (State.Contains(odDisabled)) flags |= win::DFCS_INACTIVE;
  win::DrawFrameControl(c->Handle(), &box, win::DFC_BUTTON, flags);
  c->Brush()->SetColor(back);
  TCustomListBox::DrawItem(Index, vorra::Rect(Rect.Left + CheckWidth(), Rect.Top, Rect.Right, Rect.Bottom), State);
}

// --- TComboEdit

TComboEdit::TComboEdit(TCustomComboBox* Combo) : TEdit(Combo), FCombo(Combo) {
  SetBorderStyle(bsNone);
  SetParent(Combo);
}

void TComboEdit::Dispatch(TMessage& Message) {
  if (Message.Msg == win::WM_KILLFOCUS) FCombo->EditKillFocus(reinterpret_cast<win::HWND>(Message.WParam));
  if (Message.Msg == win::WM_GETDLGCODE) {
    TEdit::Dispatch(Message);
    // Enter and Esc belong to the open list, not to the form's buttons.
    if (FCombo->DroppedDown()) Message.Result |= DLGC_WANTALLKEYS;
    return;
  }
  TEdit::Dispatch(Message);
}

void TComboEdit::KeyDown(WORD& Key, TShiftState Shift) {
  // The combo box's own handlers see the key first, as if it had the focus.
  if (FCombo->OnKeyDown) FCombo->OnKeyDown(FCombo, Key, Shift);
  if (Key) FCombo->KeyDown(Key, Shift);
  if (Key) TEdit::KeyDown(Key, Shift);
}

void TComboEdit::KeyPress(char& Key) {
  if (FCombo->OnKeyPress) FCombo->OnKeyPress(FCombo, Key);
  if (Key) TEdit::KeyPress(Key);
}

void TComboEdit::Change() {
  TEdit::Change();
  FCombo->EditChanged();
}

// --- TComboListBox

TComboListBox::TComboListBox(TCustomComboBox* Combo) : TCustomListBox(nullptr), FCombo(Combo) {
  FVisible = false;
  FTabStop = false;
  FFocusOnClick = false;
  FBorderStyle = bsNone;
  FCaptureMouse = false;
}

void TComboListBox::CreateParams(TCreateParams& Params) {
  TCustomListBox::CreateParams(Params);
  Params.Style = win::WS_POPUP | win::WS_BORDER | win::WS_CLIPSIBLINGS;
  Params.ExStyle |= win::WS_EX_TOOLWINDOW | win::WS_EX_TOPMOST | win::WS_EX_NOACTIVATE;
  TCustomForm* form = GetParentForm(FCombo);
  Params.WndParent = form && form->HandleAllocated() ? form->Handle() : nullptr;
}

void TComboListBox::ItemsChanged() {
  TCustomListBox::ItemsChanged();
  FCombo->ListItemsChanged();
}

void TComboListBox::Dispatch(TMessage& Message) {
  using namespace win;
  // While open the list holds the mouse: every press comes here, inside or not.
  const TPoint p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
  switch (Message.Msg) {
    case WM_MOUSEACTIVATE: Message.Result = MA_NOACTIVATE; return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (!ClientArea(this).Contains(p)) {
        FCombo->CloseList(false);
        return;
      }
      if (Message.Msg == WM_LBUTTONDOWN || Message.Msg == WM_LBUTTONDBLCLK) {
        if (!BarMouseDown(p)) {
          FSelecting = true;
          const int index = ItemAtPos(p, true);
          if (index >= 0) SetItemIndex(index);
        }
      }
      return;
    case WM_MOUSEMOVE: {
      if (BarMouseMove(p)) return;
      // The highlight follows the pointer over the items.
      const int index = ItemAtPos(p, true);
      if (index >= 0 && index != FItemIndex) SetItemIndex(index);
      return;
    }
    case WM_LBUTTONUP: {
      const bool onBar = ScrollBarRect().Contains(p);
      BarMouseUp();
      const bool wasSelecting = FSelecting;
      FSelecting = false;
      const int index = ItemAtPos(p, true);
      // The release that follows the press which opened the list lies
      // outside it and changes nothing.
      if (!onBar && index >= 0 && (wasSelecting || ClientArea(this).Contains(p))) {
        SetItemIndex(index);
        FCombo->CloseList(true);
      }
      return;
    }
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: return;
    case WM_CAPTURECHANGED:
      TCustomListBox::Dispatch(Message);
      if (FCombo->DroppedDown() && reinterpret_cast<HWND>(Message.LParam) != FHandle) FCombo->CloseList(false);
      return;
    default: TCustomListBox::Dispatch(Message);
  }
}

void TComboListBox::DrawItem(int Index, TRect Rect, TOwnerDrawState State) {
  FCombo->DrawListItem(Canvas(), Index, Rect, State);
}

// --- TCustomComboBox

TCustomComboBox::TCustomComboBox(TComponent* AOwner)
    : TCustomControl(AOwner), FList(std::make_unique<TComboListBox>(this)) {
  FWidth = 145;
  FHeight = 21;
  FColor = clWindow;
  FTabStop = true;
  FClickEvents = false;
  FCaptureMouse = false;  // the open list takes the mouse instead
  FEdit = new TComboEdit(this);
  PlaceEdit();
}

TCustomComboBox::~TCustomComboBox() {
  Destroying();
  FDroppedDown = false;
  // The edit goes first: its last messages still reach a whole combo box.
  if (FEdit) FEdit->SetParent(nullptr);
  delete std::exchange(FEdit, nullptr);
  FList.reset();
}

void TCustomComboBox::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.Style |= win::WS_TABSTOP;
  switch (FStyle) {
    case csDropDown: Params.Style |= CBS_DROPDOWN | CBS_AUTOHSCROLL; break;
    case csOwnerDrawFixed: Params.Style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED; break;
    default: Params.Style |= CBS_DROPDOWNLIST; break;
  }
}

void TCustomComboBox::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  FStyleOwnerDraw = (params.Style & CBS_OWNERDRAWFIXED) != 0;
  TCustomControl::CreateWnd();
  PlaceEdit();
}

bool TCustomComboBox::IsOwnerDraw() const { return FStyle == csOwnerDrawFixed || FStyleOwnerDraw; }

void TCustomComboBox::SetStyle(TComboBoxStyle Value) {
  if (Value == FStyle) return;
  CloseList(false);
  FStyle = Value;
  const bool editable = Value == csDropDown || Value == csSimple;
  if (editable && !FEdit) {
    FEdit = new TComboEdit(this);
    FEdit->SetMaxLength(FMaxLength);
    SyncEditText();
  } else if (!editable && FEdit) {
    // Off the parent first, while it is still a whole windowed control.
    FEdit->SetParent(nullptr);
    delete std::exchange(FEdit, nullptr);
  }
  if (HandleAllocated()) RecreateWnd();
  PlaceEdit();
  Invalidate();
}

void TCustomComboBox::SetMaxLength(int Value) {
  FMaxLength = std::max(0, Value);
  if (FEdit) FEdit->SetMaxLength(FMaxLength);
}

int TCustomComboBox::ItemIndex() const { return FDroppedDown ? FSavedIndex : FList->ItemIndex(); }

void TCustomComboBox::SetItemIndex(int Value) {
  if (Value < 0 || Value >= Items()->Count()) Value = -1;
  FList->SetItemIndex(Value);
  if (FDroppedDown) FSavedIndex = Value;
  FSettingText = true;
  try {
    SetText(Value >= 0 ? Items()->Strings(Value) : std::string());
    if (FEdit) FEdit->SetText(Text());
  } catch (...) {
    FSettingText = false;
    throw;
  }
  FSettingText = false;
  Invalidate();
}

void TCustomComboBox::SyncEditText() {
  if (!FEdit || FEdit->Text() == Text()) return;
  FSettingText = true;
  try {
    FEdit->SetText(Text());
  } catch (...) {
    FSettingText = false;
    throw;
  }
  FSettingText = false;
}

void TCustomComboBox::ListItemsChanged() {
  if (FDroppedDown && FSavedIndex >= Items()->Count()) FSavedIndex = -1;
  Invalidate();
}

void TCustomComboBox::EditChanged() {
  if (FSettingText) return;
  FSettingText = true;
  try {
    SetText(FEdit->Text());
  } catch (...) {
    FSettingText = false;
    throw;
  }
  FSettingText = false;
  // Typed text that is no longer the chosen item's leaves no item chosen.
  const int index = FList->ItemIndex();
  if (index >= 0 && Items()->Strings(index) != Text() && !FDroppedDown) FList->SetItemIndex(-1);
  Change();
}

void TCustomComboBox::EditKillFocus(win::HWND NewFocus) {
  if (!HandleAllocated() || NewFocus != FHandle) CloseList(false);
}

win::HWND TCustomComboBox::EditHandle() { return FEdit ? FEdit->Handle() : nullptr; }

void TCustomComboBox::SelectAll() {
  if (FEdit) FEdit->SelectAll();
}

int TCustomComboBox::SelStart() { return FEdit ? FEdit->SelStart() : 0; }
int TCustomComboBox::SelLength() { return FEdit ? FEdit->SelLength() : 0; }

TRect TCustomComboBox::ButtonRect() {
  const TRect c = ClientArea(this);
  const int w = win::GetSystemMetrics(win::SM_CXVSCROLL);
  return Rect(std::max(c.Left + kBorder, c.Right - kBorder - w), c.Top + kBorder, c.Right - kBorder, c.Bottom - kBorder);
}

void TCustomComboBox::PlaceEdit() {
  if (!FEdit) return;
  const TRect b = ButtonRect();
  FEdit->SetBounds(kBorder + 1, kBorder + 1, std::max(0, b.Left - kBorder - 2), std::max(0, Height() - 2 * kBorder - 2));
}

void TCustomComboBox::Resize() {
  TCustomControl::Resize();
  PlaceEdit();
}

void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TCustomComboBox::Select() {
  if (OnSelect) OnSelect(this);
}

void TCustomComboBox::DropDown() {
  if (OnDropDown) OnDropDown(this);
}

void TCustomComboBox::CloseUp() {
  if (OnCloseUp) OnCloseUp(this);
}

void TCustomComboBox::UserPick(int Index) {
  if (Index < 0 || Index >= Items()->Count()) return;
  SetItemIndex(Index);
  if (FEdit) FEdit->SelectAll();
  Click();
  Select();
  Change();
}

void TCustomComboBox::SetDroppedDown(bool Value) {
  if (Value == FDroppedDown) return;
  if (!Value) {
    CloseList(false);
    return;
  }
  if (!HandleAllocated() || !Showing()) return;
  DropDown();
  const int count = std::clamp(Items()->Count(), 1, FDropDownCount);
  TPoint at = ClientToScreen(TPoint{0, Height()});
  const int width = Width();
  FList->HandleNeeded();
  const win::HWND list = FList->Handle();
  int height = count * FList->ItemHeight() + 2;
  win::SetWindowPos(list, nullptr, at.X, at.Y, width, height, win::SWP_NOZORDER | win::SWP_NOACTIVATE);
  // The frame's share is whatever the window layer gives it.
  height += count * FList->ItemHeight() - FList->ClientHeight();
  const int screen = win::GetSystemMetrics(win::SM_CYSCREEN);
  if (at.Y + height > screen && at.Y - Height() - height >= 0) at.Y -= Height() + height;
  win::SetWindowPos(list, win::HWND_TOPMOST, at.X, at.Y, width, height,
                    win::SWP_NOACTIVATE | win::SWP_SHOWWINDOW);
  FDropRect = Bounds(at.X, at.Y, width, height);
  FSavedIndex = FList->ItemIndex();
  FList->SetTopIndex(0);
  FList->ScrollInView(FSavedIndex);
  FDroppedDown = true;
  win::SetCapture(list);
  Invalidate();
}

void TCustomComboBox::CloseList(bool Accept) {
  if (!FDroppedDown) return;
  FDroppedDown = false;
  const int chosen = FList->ItemIndex();
  if (FList->HandleAllocated()) {
    if (win::GetCapture() == FList->Handle()) win::ReleaseCapture();
    win::SetWindowPos(FList->Handle(), nullptr, 0, 0, 0, 0,
                      win::SWP_NOMOVE | win::SWP_NOSIZE | win::SWP_NOZORDER | win::SWP_NOACTIVATE | win::SWP_HIDEWINDOW);
  }
  FList->SetItemIndex(FSavedIndex);
  Invalidate();
  if (Accept && chosen >= 0) {
    UserPick(chosen);
  }
  CloseUp();
}

void TCustomComboBox::Dispatch(TMessage& Message) {
  using namespace win;
  switch (Message.Msg) {
    case WM_GETDLGCODE:
      Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | (FDroppedDown ? DLGC_WANTALLKEYS : 0);
      return;
    case WM_SETFOCUS:
      TCustomControl::Dispatch(Message);
      if (FEdit && FEdit->CanFocus()) {
        FEdit->SetFocus();
        FEdit->SelectAll();
      }
      Invalidate();
      return;
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(Message);
      if (!FEdit || reinterpret_cast<HWND>(Message.WParam) != FEdit->ParentWindow()) CloseList(false);
      Invalidate();
      return;
    case CM_TEXTCHANGED:
      TCustomControl::Dispatch(Message);
      if (!FSettingText) {
        if (FEdit)
          SyncEditText();
        else
          FList->SetItemIndex(Items()->IndexOf(Text()));
      }
      return;
    case CB_SHOWDROPDOWN:
      SetDroppedDown(Message.WParam != 0);
      Message.Result = TRUE;
      return;
    case CB_GETDROPPEDSTATE: Message.Result = FDroppedDown; return;
    case CB_GETCURSEL: Message.Result = FList->ItemIndex(); return;
    case CB_SETCURSEL:
      SetItemIndex(static_cast<int>(Message.WParam));
      Message.Result = ItemIndex();
      return;
    case CB_GETCOUNT: Message.Result = Items()->Count(); return;
    case CB_GETDROPPEDCONTROLRECT:
      if (Message.LParam) *reinterpret_cast<RECT*>(Message.LParam) = FDropRect.ToRECT();
      Message.Result = TRUE;
      return;
    case WM_MOUSEWHEEL:
      if (!FDroppedDown) {
        const int delta = static_cast<short>(HIWORD(static_cast<DWORD>(Message.WParam)));
        const int next = ItemIndex() + (delta > 0 ? -1 : 1);
        if (delta != 0 && next >= 0 && next < Items()->Count()) UserPick(next);
      }
      Message.Result = 0;
      return;
    default: TCustomControl::Dispatch(Message);
  }
}

void TCustomComboBox::KeyDown(WORD& Key, TShiftState Shift) {
  using namespace win;
  TCustomControl::KeyDown(Key, Shift);
  const bool alt = Shift.Contains(ssAlt);
  if (FDroppedDown) {
    TCustomListBox& list = *FList;
    const int last = list.Count() - 1;
    const int cur = list.ItemIndex();
    const int page = std::max(1, list.VisibleItemCount() - 1);
    int next = cur;
    switch (Key) {
      case VK_ESCAPE: CloseList(false); Key = 0; return;
      case VK_RETURN: CloseList(true); Key = 0; return;
      case win::VK_F4: CloseList(true); Key = 0; return;
      case VK_UP: if (alt) { CloseList(true); Key = 0; return; } next = cur - 1; break;
      case VK_DOWN: if (alt) { CloseList(true); Key = 0; return; } next = cur + 1; break;
      case VK_PRIOR: next = cur - page; break;
      case VK_NEXT: next = cur + page; break;
      case VK_HOME: if (FEdit) return; next = 0; break;
      case VK_END: if (FEdit) return; next = last; break;
      default: return;
    }
    if (last >= 0) list.SetItemIndex(std::clamp(next, 0, last));
    Key = 0;
    return;
  }
  switch (Key) {
    case win::VK_F4: SetDroppedDown(true); Key = 0; return;
    case VK_DOWN:
      if (alt) {
        SetDroppedDown(true);
      } else if (ItemIndex() + 1 < Items()->Count()) {
        UserPick(ItemIndex() + 1);
      }
      Key = 0;
      return;
    case VK_UP:
      if (ItemIndex() > 0) UserPick(ItemIndex() - 1);
      Key = 0;
      return;
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT: {
      if (FEdit && (Key == VK_HOME || Key == VK_END)) return;
      const int last = Items()->Count() - 1;
      if (last < 0) return;
      const int page = std::max(1, FDropDownCount - 1);
      int next = ItemIndex();
      if (Key == VK_HOME) next = 0;
      else if (Key == VK_END) next = last;
      else if (Key == VK_PRIOR) next -= page;
      else next += page;
      next = std::clamp(next, 0, last);
      if (next != ItemIndex()) UserPick(next);
      Key = 0;
      return;
    }
    default: return;
  }
}

void TCustomComboBox::KeyPress(char& Key) {
  TCustomControl::KeyPress(Key);
  if (FEdit || static_cast<unsigned char>(Key) < ' ') return;
  // A list without an edit jumps to the next item that starts with the letter.
  const int count = Items()->Count();
  const std::string letter(1, Key);
  for (int step = 1; step <= count; ++step) {
    const int i = (std::max(ItemIndex(), -1) + step + count) % count;
    const std::string s = Items()->Strings(i);
    if (!s.empty() && CompareText(s.substr(0, 1), letter) == 0) {
      if (FDroppedDown)
        FList->SetItemIndex(i);
      else if (i != ItemIndex())
        UserPick(i);
      break;
    }
  }
  Key = 0;
}

void TCustomComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (CanFocus() && !Focused() && !(FEdit && FEdit->Focused())) SetFocus();
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  // The capture control's release must not take the mouse from the list.
  SetCaptureControl(nullptr);
  SetDroppedDown(!FDroppedDown);
}

void TCustomComboBox::DrawListItem(TCanvas* ACanvas, int Index, TRect Rect, TOwnerDrawState State) {
  if (IsOwnerDraw() && OnDrawItem) {
    // The handler draws on the combo box's canvas, bound to the DC at hand.
    TCanvas* own = Canvas();
    const win::HDC old = own->Handle();
    own->SetHandle(ACanvas->Handle());
    own->Font()->Assign(ACanvas->Font());
    own->Brush()->Assign(ACanvas->Brush());
    try {
      OnDrawItem(this, Index, Rect, State);
    } catch (...) {
      own->SetHandle(old);
      throw;
    }
    own->SetHandle(old);
    return;
  }
  ACanvas->FillRect(Rect);
  if (Index < 0 || Index >= Items()->Count()) return;
  const int textHeight = ACanvas->TextHeight("Wg");
  ACanvas->Brush()->SetStyle(bsClear);
  ACanvas->TextOut(Rect.Left + 2, Rect.Top + (Rect.Height() - textHeight) / 2, Items()->Strings(Index));
  ACanvas->Brush()->SetStyle(bsSolid);
}

void TCustomComboBox::Paint() {
  TCanvas* c = Canvas();
  const TRect client = ClientArea(this);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Enabled() ? Color() : clBtnFace);
  c->FillRect(client);
  const TRect button = ButtonRect();
  if (!FEdit) {
    const TRect text = Rect(client.Left + kBorder + 1, client.Top + kBorder + 1, button.Left - 1, client.Bottom - kBorder - 1);
    const bool focused = Focused() && !FDroppedDown;
    TOwnerDrawState state{odComboBoxEdit};
    if (focused) state.Include(odSelected).Include(odFocused);
    if (!Enabled()) state.Include(odDisabled);
    c->Font()->Assign(Font());
    c->Brush()->SetColor(focused ? clHighlight : (Enabled() ? Color() : clBtnFace));
    if (focused) c->Font()->SetColor(clHighlightText);
    else if (!Enabled()) c->Font()->SetColor(clGrayText);
    DrawListItem(c, FList->ItemIndex(), text, state);
    if (focused) {
      const win::RECT fr = text.ToRECT();
      win::DrawFocusRect(c->Handle(), &fr);
    }
  }
  win::RECT br = button.ToRECT();
  win::UINT flags = win::DFCS_SCROLLCOMBOBOX;
  if (FDroppedDown) flags |= win::DFCS_PUSHED | win::DFCS_FLAT;
  if (!Enabled()) flags |= win::DFCS_INACTIVE;
  win::DrawFrameControl(c->Handle(), &br, win::DFC_SCROLL, flags);
  DrawSunkenBorder(c, client);
}

}  // namespace vorra
