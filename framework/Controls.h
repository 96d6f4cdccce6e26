// Controls: TControl (position, text, font, colour, mouse), TGraphicControl
// (drawn by its parent, no window of its own), TWinControl (one window per
// control, made when first needed) and TCustomControl (a window with a
// canvas and a Paint method). A TWinControl's window procedure is bound to
// the object, so other code can subclass the window with
// SetWindowLongPtrA(GWLP_WNDPROC) and chain to it with CallWindowProcA.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/Graphics.h"
#include "framework/Set.h"
#include "platform/ui/Window.h"

namespace vorra {

struct TMessage {
  win::UINT Msg = 0;
  win::WPARAM WParam = 0;
  win::LPARAM LParam = 0;
  win::LRESULT Result = 0;
};

// The class library's own messages between controls.
inline constexpr win::UINT CM_BASE = 0xB000;
inline constexpr win::UINT CM_ACTIVATE = CM_BASE + 0;
inline constexpr win::UINT CM_DEACTIVATE = CM_BASE + 1;
inline constexpr win::UINT CM_DIALOGKEY = CM_BASE + 5;
inline constexpr win::UINT CM_DIALOGCHAR = CM_BASE + 6;
inline constexpr win::UINT CM_FOCUSCHANGED = CM_BASE + 7;
inline constexpr win::UINT CM_PARENTFONTCHANGED = CM_BASE + 8;
inline constexpr win::UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
inline constexpr win::UINT CM_VISIBLECHANGED = CM_BASE + 11;
inline constexpr win::UINT CM_ENABLEDCHANGED = CM_BASE + 12;
inline constexpr win::UINT CM_COLORCHANGED = CM_BASE + 13;
inline constexpr win::UINT CM_FONTCHANGED = CM_BASE + 14;
inline constexpr win::UINT CM_TEXTCHANGED = CM_BASE + 18;
inline constexpr win::UINT CM_MOUSEENTER = CM_BASE + 19;
inline constexpr win::UINT CM_MOUSELEAVE = CM_BASE + 20;
inline constexpr win::UINT CM_SHOWINGCHANGED = CM_BASE + 25;
inline constexpr win::UINT CM_ENTER = CM_BASE + 26;
inline constexpr win::UINT CM_EXIT = CM_BASE + 27;
inline constexpr win::UINT CM_WANTSPECIALKEY = CM_BASE + 30;
inline constexpr win::UINT CM_RELEASE = CM_BASE + 33;
inline constexpr win::UINT CM_RECREATEWND = CM_BASE + 51;

// Answers to WM_GETDLGCODE.
inline constexpr win::LRESULT DLGC_WANTARROWS = 0x0001;
inline constexpr win::LRESULT DLGC_WANTTAB = 0x0002;
inline constexpr win::LRESULT DLGC_WANTALLKEYS = 0x0004;
inline constexpr win::LRESULT DLGC_WANTCHARS = 0x0080;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, win::WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// The shift state of the keyboard now, and of a mouse message's key flags.
TShiftState KeyboardShiftState();
TShiftState MouseShiftState(win::WPARAM keys);

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TWinControl;
class TCustomForm;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  virtual TRect ClientRect();
  int ClientWidth() { return ClientRect().Width(); }
  int ClientHeight() { return ClientRect().Height(); }
  virtual void SetClientWidth(int v);
  virtual void SetClientHeight(int v);

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool v);

  const std::string& Caption() const { return FText; }
  void SetCaption(const std::string& v) { SetText(v); }
  const std::string& Text() const { return FText; }
  void SetText(const std::string& v);

  TFont* Font() { return FFont.get(); }
  void SetFont(const TFont* v) { FFont->Assign(v); }
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool v);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool v);
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign v);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& v) { FHint = v; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool v) { FShowHint = v; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

  // Every message to the control goes through here; a replacement can call
  // the previous one it saved.
  std::function<void(TMessage&)> WindowProc;
  win::LRESULT Perform(win::UINT Msg, win::WPARAM WParam = 0, win::LPARAM LParam = 0);

  virtual void Invalidate();
  virtual void Update();
  void Repaint();
  virtual void Click();
  virtual void DblClick();
  TPoint ClientToScreen(TPoint p);
  TPoint ScreenToClient(TPoint p);
  // The control's window, or its parent's for a graphic control (null without one).
  virtual win::HWND ParentWindow() const;
  // The position of the control's client area in its window's client area.
  virtual TPoint ClientOrigin();
  // Whether the control and all its parents are visible.
  virtual bool Showing() const;
  virtual bool IsWindowed() const { return false; }

 protected:
  friend class TWinControl;
  virtual void WndProc(TMessage& Message);
  // The message handlers; what no handler takes goes to DefaultHandler.
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void Resize();
  // Tells the parent to lay out its aligned controls again.
  void RequestAlign();
  // Bounds changed by the parent's alignment or by the window.
  void UpdateBoundsRect(const TRect& r);
  void FontChanged(TObject* Sender);

  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  bool FEnabled = true;
  std::string FText;
  std::unique_ptr<TFont> FFont;
  TColor FColor = clWindow;
  bool FParentFont = true;
  bool FParentColor = false;
  bool FChangingParentFont = false;
  TAlign FAlign = alNone;
  std::string FHint;
  bool FShowHint = false;
  // Class-library control style bits that the subclasses set.
  bool FClickEvents = true;    // WM_LBUTTONUP inside after a press clicks
  bool FCaptureMouse = true;   // a press captures the mouse
  bool FClicking = false;
  bool FMouseInControl = false;
  TPoint FMouseDownPos;
};

// Drawn by its parent into the parent's window.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas* Canvas() { return FCanvas.get(); }
  // Called by the parent with a DC whose origin is the control's top-left.
  void PaintOn(win::HDC dc);

 protected:
  virtual void Paint() {}
  void Dispatch(TMessage& Message) override;
  std::unique_ptr<TCanvas> FCanvas;
};

struct TCreateParams {
  std::string Caption;
  win::DWORD Style = 0;
  win::DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  win::HWND WndParent = nullptr;
  win::WNDCLASSA WindowClass;
  std::string WinClassName;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The window, made (with the parents' windows) when first asked for.
  win::HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded();
  // Makes a new window with the current settings (when there is one).
  void RecreateWnd();
  void DestroyHandle();
  // The procedure that messages the control does not handle go to: the
  // window class's own (DefWindowProcA for the library's classes).
  win::WNDPROC DefWndProc() const { return FDefWndProc; }
  void SetDefWndProc(win::WNDPROC p) { FDefWndProc = p; }
  // The WNDPROC bound to this object (what its window uses until subclassed).
  win::WNDPROC ObjectInstance() const { return FObjectInstance; }

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int i) const { return FControls.at(static_cast<size_t>(i)); }
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  bool ContainsControl(TControl* AControl) const;
  // The visible, enabled child control (graphic or windowed) at a client
  // point, topmost first.
  TControl* ControlAtPos(TPoint p, bool AllowDisabled = false);

  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool v);
  int TabOrder() const;
  void SetTabOrder(int v);
  // Child windowed controls in tab order.
  std::vector<TWinControl*> TabList() const { return FTabList; }
  virtual bool CanFocus();
  bool Focused();
  virtual void SetFocus();
  // The next control to take the focus after CurControl (depth first, tab order).
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop, bool CheckParent);
  void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);

  int BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int v);
  // Lays out the aligned children again.
  void Realign();
  // Sends the message to every child control.
  void Broadcast(TMessage& Message);

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetVisible(bool v) override;
  void SetEnabled(bool v) override;
  TRect ClientRect() override;
  win::HWND ParentWindow() const override { return FHandle; }
  TPoint ClientOrigin() override { return TPoint{}; }
  bool Showing() const override;
  bool IsWindowed() const override { return true; }
  void Invalidate() override;
  void Update() override;
  // Draws the graphic children that meet clip onto dc (client coordinates);
  // for code that paints the window itself, such as a frame hook.
  void PaintControls(win::HDC dc, const win::RECT& clip);

 protected:
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  virtual void CreateWindowHandle(const TCreateParams& Params);
  virtual void DestroyWnd();
  // Creates the window and those of the children.
  virtual void CreateHandle();
  void WndProc(TMessage& Message) override;
  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;
  // The area the aligned children share (the client area less BorderWidth).
  virtual void AdjustClientRect(TRect& r);
  virtual void AlignControls(TControl* AControl, TRect& r);
  // WM_PAINT: the window, then the graphic children.
  virtual void PaintWindow(win::HDC dc) {}
  void PaintHandler(TMessage& Message);
  // Keys: KeyPreview of the form, the events, then the dialog keys.
  virtual bool DoKeyDown(TMessage& Message);
  virtual bool DoKeyPress(TMessage& Message);
  virtual bool DoKeyUp(TMessage& Message);
  virtual void KeyDown(win::WORD& Key, TShiftState Shift) {}
  virtual void KeyPress(char& Key) {}
  virtual void KeyUp(win::WORD& Key, TShiftState Shift) {}
  virtual void DoEnter();
  virtual void DoExit();
  // Mouse messages that belong to a graphic child are handed to it.
  bool IsControlMouseMsg(TMessage& Message);
  void UpdateChildHandles();
  bool FDestroyingHandle = false;

  win::HWND FHandle = nullptr;
  std::vector<TControl*> FControls;    // all children, in painting order
  std::vector<TWinControl*> FTabList;  // windowed children, in tab order
  bool FTabStop = false;
  int FBorderWidth = 0;
  int FAlignLevel = 0;

 private:
  friend class TControl;
  static win::LRESULT InitWndProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);
  win::LRESULT MainWndProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);
  win::WNDPROC FObjectInstance = nullptr;
  win::WNDPROC FDefWndProc = nullptr;
};

// A window of its own that paints itself on its Canvas.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  TCanvas* Canvas() { return FCanvas.get(); }

 protected:
  virtual void Paint() {}
  void PaintWindow(win::HDC dc) override;
  std::unique_ptr<TCanvas> FCanvas;
};

// The control that last received a press and holds the mouse.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* Control);
// The control whose window (or a window of a descendant without a control)
// is hwnd.
TWinControl* FindControl(win::HWND hwnd);
// The form the control sits on (the nearest TCustomForm parent, or itself).
TCustomForm* GetParentForm(TControl* Control);

// Reports an exception escaping an event handler or window procedure to
// the application. Call from inside a catch block.
void HandleCurrentException(TObject* Sender);

}  // namespace vorra
