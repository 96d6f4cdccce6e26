#include "framework/OleCtrls.h"

namespace vorra {

using namespace win;

TOleControl::TOleControl(TComponent* AOwner, std::string controlClass)
    : TWinControl(AOwner), FControlClass(std::move(controlClass)) {
  FSubclassProc =
      MakeProcInstance([this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return ControlProc(hwnd, msg, wParam, lParam); });
  SetBounds(0, 0, 100, 100);
}

TOleControl::~TOleControl() {
  // The control's window calls back into this object while it goes.
  DestroyHandle();
  if (FSubclassProc) FreeProcInstance(FSubclassProc);
}

void TOleControl::CreateWnd() {
  TWinControl::CreateWnd();
  RECT r;
  GetClientRect(FHandle, &r);
  FControl = CreateWindowExA(0, FControlClass.c_str(), "", WS_CHILD | WS_VISIBLE, 0, 0, r.right, r.bottom, FHandle,
                             nullptr, nullptr, nullptr);
  if (!FControl) return;
  if (FSubclassProc)
    FControlDefProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(FControl, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FSubclassProc)));
  const LRESULT object = SendMessageA(FControl, WM_GETOBJECT, 0, OBJID_NATIVEOM);
  FObject = TComPtr<IDispatch>::Attach(reinterpret_cast<IDispatch*>(object));
}

void TOleControl::DestroyWnd() {
  FObject = nullptr;
  TWinControl::DestroyWnd();
}

LRESULT TOleControl::ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (DropsMouse(msg)) return 0;
  const WNDPROC next = FControlDefProc;
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
    FControl = nullptr;
    FControlDefProc = nullptr;
  }
  return next ? CallWindowProcA(next, hwnd, msg, wParam, lParam) : DefWindowProcA(hwnd, msg, wParam, lParam);
}

void TOleControl::WndProc(TMessage& Message) {
  if (DropsMouse(Message.Msg)) return;
  TWinControl::WndProc(Message);
}

void TOleControl::Resize() {
  TWinControl::Resize();
  if (FControl && FHandle) {
    RECT r;
    GetClientRect(FHandle, &r);
    MoveWindow(FControl, 0, 0, r.right, r.bottom, TRUE);
  }
}

IDispatch* TOleControl::OleObject() {
  HandleNeeded();
  return FObject.Get();
}

TVariant TOleControl::GetProperty(DISPID id, const char* name) {
  IDispatch* object = OleObject();
  TVariant result;
  const HRESULT hr = object ? DispGetProperty(object, id, result) : E_NOINTERFACE;
  if (FAILED(hr)) throw EOleException(DispErrorText(hr, name), hr);
  return result;
}

void TOleControl::SetProperty(DISPID id, const char* name, const TVariant& value) {
  IDispatch* object = OleObject();
  const HRESULT hr = object ? DispInvoke(object, id, DISPATCH_PROPERTYPUT, &value, 1, nullptr) : E_NOINTERFACE;
  if (FAILED(hr)) throw EOleException(DispErrorText(hr, name), hr);
}

void TOleControl::CallMethod(DISPID id, const char* name) {
  IDispatch* object = OleObject();
  const HRESULT hr = object ? DispInvoke(object, id, DISPATCH_METHOD, nullptr, 0, nullptr) : E_NOINTERFACE;
  if (FAILED(hr)) throw EOleException(DispErrorText(hr, name), hr);
}

}  // namespace vorra
