// A host for a control that lives in a window of its own registered class
// and is driven through its automation object: the control's window is made
// as the host's child, kept at the host's size, and asked for its object
// with WM_GETOBJECT / OBJID_NATIVEOM. The mouse switch drops the mouse
// messages (WM_MOUSEFIRST..WM_MOUSELAST) on their way to the control while
// it is off, which it is after creation, as for a host read from a form.
#pragma once

#include <string>

#include "framework/Controls.h"
#include "framework/SysUtils.h"
#include "platform/com/Com.h"

namespace vorra {

// A failed call into a control's automation object.
class EOleException : public Exception {
 public:
  EOleException(const std::string& message, win::HRESULT code) : Exception(message, code) {}
};

class TOleControl : public TWinControl {
 public:
  TOleControl(TComponent* AOwner, std::string controlClass);
  ~TOleControl() override;

  // The control's automation object (windows made when needed); null when
  // the class is not registered or the control answers none.
  win::IDispatch* OleObject();
  // The control's own window, once made.
  win::HWND ControlHandle() const { return FControl; }
  const std::string& ControlClass() const { return FControlClass; }

  bool MouseEnabled() const { return FMouseEnabled; }
  void SetMouseEnabled(bool v) { FMouseEnabled = v; }

  // The member `id` as a property, a property write, a method call; failures
  // raise EOleException with the call's text.
  win::TVariant GetProperty(win::DISPID id, const char* name);
  void SetProperty(win::DISPID id, const char* name, const win::TVariant& value);
  void CallMethod(win::DISPID id, const char* name);

 protected:
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& Message) override;
  void Resize() override;

 private:
  win::LRESULT ControlProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);
  bool DropsMouse(win::UINT msg) const {
    return !FMouseEnabled && msg >= win::WM_MOUSEFIRST && msg <= win::WM_MOUSELAST;
  }

  std::string FControlClass;
  win::HWND FControl = nullptr;
  win::WNDPROC FControlDefProc = nullptr;
  win::WNDPROC FSubclassProc = nullptr;
  win::TComPtr<win::IDispatch> FObject;
  bool FMouseEnabled = false;
};

}  // namespace vorra
