// What the document's late-bound objects share: no type information, only
// IDispatch, and results handed over without a copy.
#pragma once

#include "platform/com/Com.h"

namespace win::html {

inline HRESULT SetResult(VARIANT* result, TVariant value) {
  if (!result) return S_OK;
  VariantClear(result);
  *result = value;
  VariantInit(&value);
  return S_OK;
}

inline bool IsGet(WORD flags) { return (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0; }

class TDispatchBase : public TComObject<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
  }

 protected:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }
};

}  // namespace win::html
