// List controls drawn by the class library itself: the list box (with a
// vertical scroll bar it paints when the items overflow), the check list
// box, and the combo box with its edit part and a drop-down list in a popup
// window.
//
// Scroll state: the list box keeps its own (there is no system scroll bar
// here). VertScrollInfo() reads it as SCROLLINFO would (Min 0, Max Count-1,
// Page the items that fit, Pos TopIndex); SetTopIndex scrolls. A skinned
// list box can draw over the bar by overriding PaintScrollBar and take the
// bar's width from ScrollBarWidth.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Forms.h"
#include "framework/Set.h"
#include "framework/StdCtrls.h"
#include "framework/Strings.h"

namespace vorra {

enum TListBoxStyle { lbStandard, lbOwnerDrawFixed };
enum TOwnerDrawStateItem { odSelected, odGrayed, odDisabled, odChecked, odFocused, odDefault, odComboBoxEdit };
using TOwnerDrawState = TSet<TOwnerDrawStateItem>;
using TDrawItemEvent = std::function<void(TWinControl* Control, int Index, TRect Rect, TOwnerDrawState State)>;

struct TListScrollInfo {
  bool Visible = false;  // the items do not all fit
  int Min = 0;
  int Max = 0;   // Count - 1
  int Page = 0;  // whole items in view
  int Pos = 0;   // TopIndex
};

class TCustomListBox;

// The items of a list box: the texts live in the control, so every change
// shows at once (BeginUpdate holds the repaint back).
class TListBoxStrings : public TStrings {
 public:
  explicit TListBoxStrings(TCustomListBox* ListBox) : FListBox(ListBox) {}
  // Sorted list boxes put new lines in order (ignoring case).
  int Add(const std::string& S) override;
  void Clear() override;
  void Delete(int Index) override;
  void Insert(int Index, const std::string& S) override;
  void Exchange(int Index1, int Index2) override;

 protected:
  std::string Get(int Index) const override;
  int GetCount() const override;
  TObject* GetObject(int Index) const override;
  void Put(int Index, const std::string& S) override;
  void PutObject(int Index, TObject* AObject) override;
  void SetUpdateState(bool Updating) override;

 private:
  TCustomListBox* FListBox;
};

class TCustomListBox : public TCustomControl {
 public:
  explicit TCustomListBox(TComponent* AOwner);
  ~TCustomListBox() override;

  TStrings* Items() { return FItems.get(); }
  void SetItems(const TStrings* Value) { FItems->Assign(Value); }
  int Count() const { return static_cast<int>(FData.size()); }
  void Clear() { FItems->Clear(); }

  // -1: nothing selected. Setting from code scrolls the item into view and
  // raises no event; an index outside the items selects nothing.
  int ItemIndex() const { return FItemIndex; }
  virtual void SetItemIndex(int Value);
  int TopIndex() const { return FTopIndex; }
  // Kept between 0 and the last index that still fills the view.
  void SetTopIndex(int Value);
  int ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int Value);
  TListBoxStyle Style() const { return FStyle; }
  void SetStyle(TListBoxStyle Value);
  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);

  // The item at a client point; -1 when none (with Existing false, the
  // index the point would have).
  int ItemAtPos(TPoint Pos, bool Existing);
  TRect ItemRect(int Index);
  // Whole items that fit in the view (at least 1).
  int VisibleItemCount();
  TListScrollInfo VertScrollInfo();
  // The area the items are drawn in (inside the border, left of the bar).
  TRect ItemsRect();
  // Empty when no bar shows.
  TRect ScrollBarRect();
  virtual int ScrollBarWidth();
  void ScrollInView(int Index);

  TDrawItemEvent OnDrawItem;

 protected:
  friend class TListBoxStrings;
  struct TItem {
    std::string Text;
    TObject* Object = nullptr;
    TCheckBoxState State = cbUnchecked;
    bool Enabled = true;
  };

  void CreateParams(TCreateParams& Params) override;
  void Dispatch(TMessage& Message) override;
  void Paint() override;
  void KeyDown(win::WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Resize() override;

  // Draws one item; the canvas already has the item's colours. Calls
  // OnDrawItem for owner-drawn lists.
  virtual void DrawItem(int Index, TRect Rect, TOwnerDrawState State);
  virtual void PaintScrollBar(const TRect& Rect);
  // An item chosen by the user (mouse or keys): selects it and clicks when
  // the selection changed (a mouse press clicks every time, as the system
  // list box reports it).
  virtual void UserSelect(int Index, bool Always);
  // Where the item's text starts (a check list box puts its boxes first).
  virtual int TextIndent() { return 2; }
  virtual void ItemsChanged();
  void ScrollWheel(int Delta);

  std::vector<TItem> FData;
  std::unique_ptr<TListBoxStrings> FItems;
  int FItemIndex = -1;
  int FTopIndex = 0;
  int FItemHeight = 16;
  TListBoxStyle FStyle = lbStandard;
  bool FSorted = false;
  TBorderStyle FBorderStyle = bsSingle;
  bool FFocusOnClick = true;

  // The scroll bar's share of the mouse: true when the point was on the bar.
  bool BarMouseDown(TPoint p);
  // True while the thumb is being dragged.
  bool BarMouseMove(TPoint p);
  void BarMouseUp();
  bool FSelecting = false;  // the left button went down on the items

 private:
  enum TBarPart { bpNone, bpUp, bpDown, bpPageUp, bpPageDown, bpThumb };
  TBarPart BarPartAt(TPoint p);
  void ThumbGeometry(const TRect& bar, int& top, int& length);
  TBarPart FBarPart = bpNone;
  int FThumbGrab = 0;
  int FWheelRest = 0;
};

class TListBox : public TCustomListBox {
 public:
  using TCustomListBox::TCustomListBox;
};

class TCheckListBox : public TCustomListBox {
 public:
  using TCustomListBox::TCustomListBox;

  bool Checked(int Index) const { return State(Index) != cbUnchecked; }
  void SetChecked(int Index, bool Value) { SetState(Index, Value ? cbChecked : cbUnchecked); }
  TCheckBoxState State(int Index) const;
  void SetState(int Index, TCheckBoxState Value);
  bool ItemEnabled(int Index) const;
  void SetItemEnabled(int Index, bool Value);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool Value) { FAllowGrayed = Value; }

  // The user ticked or cleared a box (click on it, or Space).
  TNotifyEvent OnClickCheck;

 protected:
  void KeyDown(win::WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void DrawItem(int Index, TRect Rect, TOwnerDrawState State) override;
  void ToggleState(int Index);

 private:
  int CheckWidth();
  bool FAllowGrayed = false;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed };

// Window style bits of a combo box; a descendant that adds CBS_OWNERDRAWFIXED
// in CreateParams gets owner-drawn list items with any Style.
inline constexpr win::DWORD CBS_DROPDOWN = 0x0002;
inline constexpr win::DWORD CBS_DROPDOWNLIST = 0x0003;
inline constexpr win::DWORD CBS_OWNERDRAWFIXED = 0x0010;
inline constexpr win::DWORD CBS_AUTOHSCROLL = 0x0040;
// The combo box messages the control answers.
inline constexpr win::UINT CB_GETCOUNT = 0x0146;
inline constexpr win::UINT CB_GETCURSEL = 0x0147;
inline constexpr win::UINT CB_SETCURSEL = 0x014E;
inline constexpr win::UINT CB_SHOWDROPDOWN = 0x014F;
inline constexpr win::UINT CB_GETDROPPEDCONTROLRECT = 0x0152;
inline constexpr win::UINT CB_GETDROPPEDSTATE = 0x0157;

class TCustomComboBox;

// The edit part of an editable combo box: its keys go to the combo box
// first (events and list keys), what is left to the edit.
class TComboEdit : public TEdit {
 public:
  explicit TComboEdit(TCustomComboBox* Combo);

 protected:
  void Dispatch(TMessage& Message) override;
  void KeyDown(win::WORD& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void Change() override;

 private:
  TCustomComboBox* FCombo;
};

// The drop-down list: a list box in a popup window that follows the pointer
// and holds the mouse while it is open.
class TComboListBox : public TCustomListBox {
 public:
  explicit TComboListBox(TCustomComboBox* Combo);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void Dispatch(TMessage& Message) override;
  void DrawItem(int Index, TRect Rect, TOwnerDrawState State) override;
  void ItemsChanged() override;

 private:
  TCustomComboBox* FCombo;
};

class TCustomComboBox : public TCustomControl {
 public:
  explicit TCustomComboBox(TComponent* AOwner);
  ~TCustomComboBox() override;

  TStrings* Items() { return FList->Items(); }
  void SetItems(const TStrings* Value) { FList->Items()->Assign(Value); }
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle Value);
  // The chosen item (-1: none). While the list is open the arrows move only
  // its highlight (ListBox()->ItemIndex()); Enter or a click makes that the
  // choice, Esc or a click outside leaves the choice as it was. Setting from
  // code raises no event.
  int ItemIndex() const;
  void SetItemIndex(int Value);
  int DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int Value) { FDropDownCount = Value < 1 ? 1 : Value; }
  int ItemHeight() const { return FList->ItemHeight(); }
  void SetItemHeight(int Value) { FList->SetItemHeight(Value); }
  bool Sorted() const { return FList->Sorted(); }
  void SetSorted(bool Value) { FList->SetSorted(Value); }
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int Value);

  bool DroppedDown() const { return FDroppedDown; }
  void SetDroppedDown(bool Value);
  // The list's window rectangle on the screen when it was last opened
  // (as CB_GETDROPPEDCONTROLRECT, also after it closed).
  TRect DropDownRect() const { return FDropRect; }
  TCustomListBox* ListBox() { return FList.get(); }
  // The edit part of csDropDown (null for the list styles).
  TEdit* EditControl() { return FEdit; }
  win::HWND EditHandle();
  void SelectAll();
  int SelStart();
  int SelLength();

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;
  TDrawItemEvent OnDrawItem;

 protected:
  friend class TComboListBox;
  friend class TComboEdit;
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void Dispatch(TMessage& Message) override;
  void Paint() override;
  void KeyDown(win::WORD& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Resize() override;

  virtual void Change();
  virtual void Select();
  virtual void DropDown();
  virtual void CloseUp();
  // The user picked an item (click in the list, Enter, arrows while closed).
  void UserPick(int Index);
  // Closes the list; with Accept the highlighted item becomes the choice.
  void CloseList(bool Accept);
  void DrawListItem(TCanvas* Canvas, int Index, TRect Rect, TOwnerDrawState State);
  bool IsOwnerDraw() const;
  TRect ButtonRect();
  void PlaceEdit();
  void SyncEditText();
  void ListItemsChanged();

  void EditChanged();
  void EditKillFocus(win::HWND NewFocus);

  TComboBoxStyle FStyle = csDropDown;
  std::unique_ptr<TComboListBox> FList;
  TComboEdit* FEdit = nullptr;  // owned through the component list
  int FSavedIndex = -1;         // the choice while the list is open
  TRect FDropRect;
  int FDropDownCount = 8;
  int FMaxLength = 0;
  bool FDroppedDown = false;
  bool FStyleOwnerDraw = false;  // CBS_OWNERDRAWFIXED in the window style
  bool FSettingText = false;
};

class TComboBox : public TCustomComboBox {
 public:
  using TCustomComboBox::TCustomComboBox;
};

}  // namespace vorra
