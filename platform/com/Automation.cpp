#include "platform/com/Automation.h"

namespace win {

HRESULT SetOleError(REFIID iid, const std::string& source, const std::string& description, HRESULT hr) {
  TComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
    std::u16string s = Utf8ToUtf16(source), d = Utf8ToUtf16(description);
    create->SetGUID(iid);
    create->SetSource(s.data());
    create->SetDescription(d.data());
    TComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(IID_IErrorInfo, info))) SetErrorInfo(0, info.Get());
  }
  return hr;
}

TAutoObject::TAutoObject(ITypeInfo* interfaceInfo, ITypeInfo* classInfo, TComServerCounts* counts)
    : interfaceInfo_(interfaceInfo), classInfo_(classInfo), counts_(counts), iid_(IID_NULL) {
  TYPEATTR* attr = nullptr;
  if (interfaceInfo_ && SUCCEEDED(interfaceInfo_->GetTypeAttr(&attr))) {
    iid_ = attr->guid;
    interfaceInfo_->ReleaseTypeAttr(attr);
  }
  if (counts_) counts_->ObjectCreated();
}

TAutoObject::~TAutoObject() {
  if (counts_) counts_->ObjectDestroyed();
}

IUnknown* TAutoObject::FindInterface(REFIID riid) {
  if (IsEqualIID(riid, IID_IDispatch) || (interfaceInfo_ && IsEqualIID(riid, iid_)))
    return static_cast<IDispatch*>(this);
  if (IsEqualIID(riid, IID_IProvideClassInfo) && classInfo_) return static_cast<IProvideClassInfo*>(this);
  if (IsEqualIID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
  return nullptr;
}

HRESULT TAutoObject::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_INVALIDARG;
  *pctinfo = interfaceInfo_ ? 1 : 0;
  return S_OK;
}

HRESULT TAutoObject::GetTypeInfo(UINT index, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_INVALIDARG;
  *ppTInfo = nullptr;
  if (index != 0 || !interfaceInfo_) return DISP_E_BADINDEX;
  *ppTInfo = TComPtr<ITypeInfo>(interfaceInfo_).Detach();
  return S_OK;
}

HRESULT TAutoObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT cNames, LCID, DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!interfaceInfo_) return E_NOTIMPL;
  return DispGetIDsOfNames(interfaceInfo_.Get(), names, cNames, ids);
}

HRESULT TAutoObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* excepInfo, UINT* argErr) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!interfaceInfo_) return E_NOTIMPL;
  // Invoke may be called without arguments at all.
  DISPPARAMS none;
  return DispInvoke(this, interfaceInfo_.Get(), id, flags, params ? params : &none, result, excepInfo, argErr);
}

HRESULT TAutoObject::GetClassInfo(ITypeInfo** ppTI) {
  if (!ppTI) return E_POINTER;
  *ppTI = TComPtr<ITypeInfo>(classInfo_).Detach();
  return *ppTI ? S_OK : E_NOTIMPL;
}

HRESULT TAutoObject::InterfaceSupportsErrorInfo(REFIID riid) {
  return FindInterface(riid) || IsEqualIID(riid, IID_IUnknown) ? S_OK : S_FALSE;
}

}  // namespace win
