// COM objects in scripts: handles over IDispatch that the bootstrap wraps so
// that members are read, written and called late-bound by name; values cross
// as VARIANTs. Also the window the host reads script errors from.
#include <cmath>

#include "platform/html/DispatchBase.h"
#include "platform/html/ScriptContext.h"

namespace win::html {

namespace {

constexpr const char kDispKey[] = "\xFF" "disp";

duk_ret_t ReleaseHandle(duk_context* ctx) {
  duk_get_prop_string(ctx, 0, kDispKey);
  if (auto* disp = static_cast<IDispatch*>(duk_get_pointer(ctx, -1))) disp->Release();
  duk_pop(ctx);
  duk_push_pointer(ctx, nullptr);
  duk_put_prop_string(ctx, 0, kDispKey);
  return 0;
}

// A handle object holding one reference.
void PushHandle(duk_context* ctx, IDispatch* disp) {
  duk_push_object(ctx);
  disp->AddRef();
  duk_push_pointer(ctx, disp);
  duk_put_prop_string(ctx, -2, kDispKey);
  duk_push_c_function(ctx, ReleaseHandle, 1);
  duk_set_finalizer(ctx, -2);
}

IDispatch* HandleArg(duk_context* ctx, duk_idx_t i) {
  if (duk_is_object(ctx, i)) {
    duk_get_prop_string(ctx, i, kDispKey);
    auto* disp = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    if (disp) return disp;
  }
  (void)duk_type_error(ctx, "not an automation object");
  return nullptr;
}

void PushVariant(duk_context* ctx, const VARIANT& in) {
  const VARIANT* v = &in;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  switch (v->vt) {
    case VT_EMPTY: duk_push_undefined(ctx); return;
    case VT_NULL: duk_push_null(ctx); return;
    case VT_BOOL: duk_push_boolean(ctx, v->boolVal != VARIANT_FALSE); return;
    case VT_BSTR: {
      const std::string s = BstrToUtf8(v->bstrVal);
      duk_push_lstring(ctx, s.data(), s.size());
      return;
    }
    case VT_DISPATCH:
      if (v->pdispVal) PushHandle(ctx, v->pdispVal);
      else duk_push_null(ctx);
      return;
    default: break;
  }
  TVariant number;
  if (SUCCEEDED(VariantChangeType(&number, v, 0, VT_R8))) {
    duk_push_number(ctx, number.dblVal);
    return;
  }
  std::string text;
  if (TVariant(*v).ToText(text)) duk_push_lstring(ctx, text.data(), text.size());
  else duk_push_undefined(ctx);
}

TVariant VariantArg(duk_context* ctx, duk_idx_t i) {
  switch (duk_get_type(ctx, i)) {
    case DUK_TYPE_NONE:
    case DUK_TYPE_UNDEFINED: return TVariant();
    case DUK_TYPE_NULL: return TVariant::Null();
    case DUK_TYPE_BOOLEAN: return TVariant::Bool(duk_get_boolean(ctx, i));
    case DUK_TYPE_NUMBER: {
      const double d = duk_get_number(ctx, i);
      if (std::trunc(d) == d && d >= -2147483648.0 && d <= 2147483647.0) return TVariant::Int(static_cast<LONG>(d));
      TVariant v;
      v.vt = VT_R8;
      v.dblVal = d;
      return v;
    }
    case DUK_TYPE_OBJECT: {
      duk_get_prop_string(ctx, i, kDispKey);
      auto* disp = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
      duk_pop(ctx);
      if (disp) return TVariant::Dispatch(disp);
      break;
    }
    default: break;
  }
  duk_size_t n = 0;
  const char* s = duk_safe_to_lstring(ctx, i, &n);
  return TVariant::Text(std::string(s, n));
}

// The error a failed call throws: the object's own description when it gave one.
duk_ret_t ThrowComError(duk_context* ctx, HRESULT hr, const std::string& name, EXCEPINFO* info) {
  std::string text;
  if (info && info->bstrDescription) text = BstrToUtf8(info->bstrDescription);
  ClearExcepInfo(info);
  if (text.empty()) text = DispErrorText(hr, name);
  return duk_error(ctx, DUK_ERR_ERROR, "%s", text.c_str());
}

// comGet(handle, name): the property, or throws.
duk_ret_t ComGet(duk_context* ctx) {
  IDispatch* disp = HandleArg(ctx, 0);
  const std::string name = duk_safe_to_string(ctx, 1);
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = DispIdOfName(disp, name, &id);
  TVariant result;
  EXCEPINFO info{};
  if (SUCCEEDED(hr)) hr = DispInvoke(disp, id, DISPATCH_PROPERTYGET, nullptr, 0, &result, &info);
  if (FAILED(hr)) return ThrowComError(ctx, hr, name, &info);
  PushVariant(ctx, result);
  return 1;
}

// comHas(handle, name): whether the object knows the name.
duk_ret_t ComHas(duk_context* ctx) {
  IDispatch* disp = HandleArg(ctx, 0);
  DISPID id = DISPID_UNKNOWN;
  duk_push_boolean(ctx, SUCCEEDED(DispIdOfName(disp, duk_safe_to_string(ctx, 1), &id)));
  return 1;
}

duk_ret_t ComSet(duk_context* ctx) {
  IDispatch* disp = HandleArg(ctx, 0);
  const std::string name = duk_safe_to_string(ctx, 1);
  const TVariant value = VariantArg(ctx, 2);
  const HRESULT hr = DispPutProperty(disp, name, value);
  if (FAILED(hr)) return ThrowComError(ctx, hr, name, nullptr);
  return 0;
}

// comCall(handle, name, args): calls the method with the array's values.
duk_ret_t ComCall(duk_context* ctx) {
  IDispatch* disp = HandleArg(ctx, 0);
  const std::string name = duk_safe_to_string(ctx, 1);
  std::vector<TVariant> args;
  const duk_size_t n = duk_is_array(ctx, 2) ? duk_get_length(ctx, 2) : 0;
  for (duk_size_t i = 0; i < n && i < 64; ++i) {
    duk_get_prop_index(ctx, 2, static_cast<duk_uarridx_t>(i));
    args.push_back(VariantArg(ctx, -1));
    duk_pop(ctx);
  }
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = DispIdOfName(disp, name, &id);
  TVariant result;
  EXCEPINFO info{};
  if (SUCCEEDED(hr))
    hr = DispInvoke(disp, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args.data(), args.size(), &result, &info);
  if (FAILED(hr)) return ThrowComError(ctx, hr, name, &info);
  PushVariant(ctx, result);
  return 1;
}

duk_ret_t ActiveX(duk_context* ctx) {
  TComPtr<IDispatch> disp = CreateScriptObject(duk_safe_to_string(ctx, 0));
  if (disp) PushHandle(ctx, disp.Get());
  else duk_push_null(ctx);
  return 1;
}

duk_ret_t External(duk_context* ctx) {
  TComPtr<IDispatch> disp = ContextOf(ctx).Host->External();
  if (disp) PushHandle(ctx, disp.Get());
  else duk_push_null(ctx);
  return 1;
}

// ---- The window the host asks about script errors ----

enum : DISPID { kEvent = 1, kLine, kCharacter, kCode, kMessage, kUrl };

class TErrorEvent : public TDispatchBase {
 public:
  explicit TErrorEvent(TScriptError error) : error_(std::move(error)) {}
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static constexpr TDispMember kMembers[] = {{"errorLine", kLine},
                                               {"errorCharacter", kCharacter},
                                               {"errorCode", kCode},
                                               {"errorMessage", kMessage},
                                               {"errorUrl", kUrl}};
    return LookupDispNames(kMembers, std::size(kMembers), names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    TVariant value;
    switch (id) {
      case kLine: value = TVariant::Int(error_.Line); break;
      case kCharacter: value = TVariant::Int(error_.Character); break;
      case kCode: value = TVariant::Int(0); break;
      case kMessage: value = TVariant::Text(error_.Message); break;
      case kUrl: value = TVariant::Text(error_.Url); break;
      default: return DISP_E_MEMBERNOTFOUND;
    }
    return SetResult(result, std::move(value));
  }

 private:
  TScriptError error_;
};

class TScriptWindow : public TDispatchBase {
 public:
  explicit TScriptWindow(TScriptContext* sc) : sc_(sc) {}
  void Detach() { sc_ = nullptr; }

  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static constexpr TDispMember kMembers[] = {{"event", kEvent}};
    return LookupDispNames(kMembers, std::size(kMembers), names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != kEvent || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    TVariant value = TVariant::Null();
    if (sc_ && sc_->InError) {
      auto event = TComPtr<IDispatch>::Attach(new TErrorEvent(sc_->CurrentError));
      value = TVariant::Dispatch(event.Get());
    }
    return SetResult(result, std::move(value));
  }

 private:
  TScriptContext* sc_;
};

}  // namespace

TComPtr<IDispatch> MakeScriptWindow(TScriptContext& sc) {
  return TComPtr<IDispatch>::Attach(new TScriptWindow(&sc));
}

void DetachScriptWindow(IDispatch* window) {
  if (window) static_cast<TScriptWindow*>(window)->Detach();
}

void PutComNatives(duk_context* ctx) {
  static const duk_function_list_entry kNatives[] = {
      {"comGet", ComGet, 2},     {"comHas", ComHas, 2},   {"comSet", ComSet, 3}, {"comCall", ComCall, 3},
      {"activeX", ActiveX, 1},   {"external", External, 0}, {nullptr, nullptr, 0}};
  duk_put_function_list(ctx, -1, kNatives);
}

}  // namespace win::html
