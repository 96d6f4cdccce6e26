#include "framework/ListControls.h"

#include <algorithm>
#include <utility>

#include "framework/ControlParts.h"
#include "framework/StdCtrls.h"
#include "platform/ui/Draw.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"
#include "platform/win/ScopeGuard.h"

namespace vorra {

using win::WORD;

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
      if (!ClientAreaOf(this).Contains(p)) {
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
      if (!onBar && index >= 0 && (wasSelecting || ClientAreaOf(this).Contains(p))) {
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
  {
    const auto cleanup = win::ScopeExit([&] { FSettingText = false; });
    SetText(Value >= 0 ? Items()->Strings(Value) : std::string());
    if (FEdit) FEdit->SetText(Text());
  }
  Invalidate();
}

void TCustomComboBox::SyncEditText() {
  if (!FEdit || FEdit->Text() == Text()) return;
  FSettingText = true;
  const auto cleanup = win::ScopeExit([&] { FSettingText = false; });
  FEdit->SetText(Text());
}

void TCustomComboBox::ListItemsChanged() {
  if (FDroppedDown && FSavedIndex >= Items()->Count()) FSavedIndex = -1;
  Invalidate();
}

void TCustomComboBox::EditChanged() {
  if (FSettingText) return;
  FSettingText = true;
  {
    const auto cleanup = win::ScopeExit([&] { FSettingText = false; });
    SetText(FEdit->Text());
  }
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
  const TRect c = ClientAreaOf(this);
  const int w = win::GetSystemMetrics(win::SM_CXVSCROLL);
  return Rect(std::max(c.Left + kSunkenBorder, c.Right - kSunkenBorder - w), c.Top + kSunkenBorder, c.Right - kSunkenBorder, c.Bottom - kSunkenBorder);
}

void TCustomComboBox::PlaceEdit() {
  if (!FEdit) return;
  const TRect b = ButtonRect();
  FEdit->SetBounds(kSunkenBorder + 1, kSunkenBorder + 1, std::max(0, b.Left - kSunkenBorder - 2), std::max(0, Height() - 2 * kSunkenBorder - 2));
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
    {
      const auto cleanup = win::ScopeExit([&] { own->SetHandle(old); });
      OnDrawItem(this, Index, Rect, State);
    }
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
  const TRect client = ClientAreaOf(this);
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Enabled() ? Color() : clBtnFace);
  c->FillRect(client);
  const TRect button = ButtonRect();
  if (!FEdit) {
    const TRect text = Rect(client.Left + kSunkenBorder + 1, client.Top + kSunkenBorder + 1, button.Left - 1, client.Bottom - kSunkenBorder - 1);
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
