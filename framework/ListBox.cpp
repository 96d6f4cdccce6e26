#include "framework/ListControls.h"

#include <algorithm>
#include <utility>

#include "framework/ControlParts.h"
#include "framework/StdCtrls.h"
#include "platform/ui/Draw.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"

namespace vorra {

using win::WORD;

namespace {

[[noreturn]] void IndexError(int Index) { throw EStringListError(Format("List index out of bounds (%d)", Index)); }

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
  const TRect c = ClientAreaOf(this);
  const int inner = c.Height() - (FBorderStyle == bsNone ? 0 : 2 * kSunkenBorder);
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
  TRect r = ClientAreaOf(this);
  if (FBorderStyle != bsNone) r = Rect(r.Left + kSunkenBorder, r.Top + kSunkenBorder, r.Right - kSunkenBorder, r.Bottom - kSunkenBorder);
  if (Count() > VisibleItemCount()) r.Right = std::max(r.Left, r.Right - ScrollBarWidth());
  return r;
}

TRect TCustomListBox::ScrollBarRect() {
  if (Count() <= VisibleItemCount()) return TRect{};
  TRect r = ClientAreaOf(this);
  if (FBorderStyle != bsNone) r = Rect(r.Left + kSunkenBorder, r.Top + kSunkenBorder, r.Right - kSunkenBorder, r.Bottom - kSunkenBorder);
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
  const TRect client = ClientAreaOf(this);
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


}  // namespace vorra
