// The standard controls, drawn in the classic look: label, push button,
// check box, single-line edit box and group box.
#pragma once

#include <string>

#include "framework/Controls.h"
#include "framework/Forms.h"

namespace vorra {

enum TTextLayout { tlTop, tlCenter, tlBottom };

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout v);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool v);
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* v);
  // Sizes the label to its text (AutoSize does it on every change).
  void AdjustBounds();

 protected:
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  unsigned DrawTextFlags() const;

 private:
  bool FAutoSize = true;
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FWordWrap = false;
  bool FTransparent = false;
  bool FShowAccelChar = true;
  TWinControl* FFocusControl = nullptr;
};

class TButton : public TCustomControl {
 public:
  explicit TButton(TComponent* AOwner);
  bool Default() const { return FDefault; }
  void SetDefault(bool v);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool v) { FCancel = v; }
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }
  // Sets the form's ModalResult, then OnClick.
  void Click() override;
  // Whether Enter presses this button now (it has the focus, or it is the
  // default and no other button has it).
  bool IsActive() const { return FActive; }
  bool Pressed() const { return FPressed; }

 protected:
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void KeyDown(win::WORD& Key, TShiftState Shift) override;
  void KeyUp(win::WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  void SetPressed(bool v);
  bool FDefault = false;
  bool FCancel = false;
  bool FActive = false;
  bool FPressed = false;
  bool FMouseTracking = false;
  bool FSpaceDown = false;
  TModalResult FModalResult = mrNone;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TCustomControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  bool Checked() const { return FState == cbChecked; }
  // Fires OnClick on every change, also when set by the program.
  void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return FState; }
  void SetState(TCheckBoxState v);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool v) { FAllowGrayed = v; }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  // The user's toggle: unchecked, checked, grayed (when allowed), round.
  void Toggle();

 protected:
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void KeyDown(win::WORD& Key, TShiftState Shift) override;
  void KeyUp(win::WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  TCheckBoxState FState = cbUnchecked;
  bool FAllowGrayed = false;
  TAlignment FAlignment = taRightJustify;
  bool FPressed = false;
  bool FTracking = false;
  bool FSpaceDown = false;
};

// A single-line edit box. Positions count bytes of the UTF-8 text; the caret
// and the selection never split a character.
class TEdit : public TCustomControl {
 public:
  explicit TEdit(TComponent* AOwner);

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool v) { FReadOnly = v; }
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int v) { FMaxLength = v < 0 ? 0 : v; }
  char PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char v);
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle v);
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool v) { FAutoSelect = v; }
  bool Modified() const { return FModified; }
  void SetModified(bool v) { FModified = v; }

  int SelStart() const { return FSelStart; }
  void SetSelStart(int v);
  int SelLength() const { return FSelLength; }
  void SetSelLength(int v);
  std::string SelText() const;
  // Replaces the selection (respects neither ReadOnly nor MaxLength, as the class library).
  void SetSelText(const std::string& v);
  void SelectAll();
  void ClearSelection();
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  void Clear() { SetText(""); }
  // Where the caret is (the moving end of the selection).
  int CaretPos() const { return FCaret; }

  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void Dispatch(TMessage& Message) override;
  void KeyDown(win::WORD& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  virtual void Change();

 private:
  std::string DisplayText() const;
  int Inset() const;
  // The text position nearest to client x.
  int PosFromX(int x);
  int XFromPos(int pos);
  void SetSelection(int anchor, int caret);
  void MoveCaret(int pos, bool extend);
  // Typing and pasting: replaces the selection, limited by MaxLength.
  void InsertText(const std::string& s);
  void ScrollToCaret();
  int PrevPos(int pos) const;
  int NextPos(int pos) const;
  int WordStart(int pos) const;
  int WordEnd(int pos) const;

  bool FReadOnly = false;
  int FMaxLength = 0;
  char FPasswordChar = 0;
  TFormBorderStyle FBorderStyle = bsSingle;
  bool FAutoSelect = true;
  bool FModified = false;
  int FSelStart = 0, FSelLength = 0;
  int FAnchor = 0, FCaret = 0;
  int FScroll = 0;
  bool FSelecting = false;
  bool FChanging = false;
};

class TGroupBox : public TCustomControl {
 public:
  explicit TGroupBox(TComponent* AOwner);
  // Distance of the caption from the frame's left end.
  int CaptionMargin() const { return FCaptionMargin; }
  void SetCaptionMargin(int v);

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& r) override;
  void Dispatch(TMessage& Message) override;

 private:
  int TextHeight();
  int FCaptionMargin = 8;
};

// Whether Key is the accelerator (the letter after a single "&") of Text.
bool IsAccel(unsigned Key, const std::string& Text);

}  // namespace vorra
