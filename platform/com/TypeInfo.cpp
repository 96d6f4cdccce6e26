#include <vector>

#include "platform/com/TypeLibData.h"
#include "platform/win/Ascii.h"

namespace win {

TTypeInfo::TTypeInfo(TTypeLib* lib, UINT index) : lib_(lib), index_(index) {
  const TTypeData& t = Type();
  attr_.guid = t.Guid;
  attr_.lcid = lib->Data().Attr.lcid;
  attr_.typekind = t.Kind;
  attr_.cFuncs = static_cast<WORD>(t.Members.size());
  attr_.cImplTypes = static_cast<WORD>(t.Implemented.size());
  attr_.wTypeFlags = t.Flags;
  attr_.wMajorVerNum = lib->Data().Attr.wMajorVerNum;
  attr_.wMinorVerNum = lib->Data().Attr.wMinorVerNum;
  params_.resize(t.Members.size());
  funcs_.resize(t.Members.size());
  for (std::size_t i = 0; i < t.Members.size(); ++i) {
    const TMemberData& m = t.Members[i];
    FUNCDESC& f = funcs_[i];
    for (const TParamData& p : m.Params) {
      params_[i].push_back(ELEMDESC{TYPEDESC{p.Type}, PARAMDESC{p.Flags}});
      if (p.Flags & PARAMFLAG_FOPT) ++f.cParamsOpt;
    }
    f.memid = m.Id;
    f.lprgelemdescParam = params_[i].empty() ? nullptr : params_[i].data();
    f.invkind = m.Kind;
    f.cParams = static_cast<short>(m.Params.size());
    f.elemdescFunc.tdesc.vt = m.Result;
  }
}

IUnknown* TTypeInfo::FindInterface(REFIID riid) {
  return IsEqualIID(riid, IID_ITypeInfo) ? static_cast<ITypeInfo*>(this) : nullptr;
}

HRESULT TTypeInfo::GetTypeAttr(TYPEATTR** ppTypeAttr) {
  if (!ppTypeAttr) return E_INVALIDARG;
  *ppTypeAttr = &attr_;
  return S_OK;
}

HRESULT TTypeInfo::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) {
  if (!ppFuncDesc) return E_INVALIDARG;
  *ppFuncDesc = nullptr;
  if (index >= funcs_.size()) return TYPE_E_ELEMENTNOTFOUND;
  *ppFuncDesc = &funcs_[index];
  return S_OK;
}

HRESULT TTypeInfo::GetNames(MEMBERID memid, BSTR* names, UINT cMaxNames, UINT* pcNames) {
  if (!names || !pcNames) return E_INVALIDARG;
  *pcNames = 0;
  const TMemberData* m = nullptr;
  for (const TMemberData& candidate : Type().Members)
    if (candidate.Id == memid && (!m || candidate.Params.size() > m->Params.size())) m = &candidate;
  if (!m) return TYPE_E_ELEMENTNOTFOUND;
  std::vector<const std::string*> all{&m->Name};
  for (const TParamData& p : m->Params) all.push_back(&p.Name);
  for (UINT i = 0; i < cMaxNames && i < all.size(); ++i) {
    if (const HRESULT hr = GiveText(*all[i], &names[i]); FAILED(hr)) {
      for (UINT j = 0; j < i; ++j) SysFreeString(names[j]), names[j] = nullptr;
      return hr;
    }
    *pcNames = i + 1;
  }
  return S_OK;
}

HRESULT TTypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) {
  if (!pRefType) return E_INVALIDARG;
  if (index >= Type().Implemented.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pRefType = Type().Implemented[index];
  return S_OK;
}

HRESULT TTypeInfo::GetImplTypeFlags(UINT index, int* flags) {
  if (!flags) return E_INVALIDARG;
  if (index >= Type().Implemented.size()) return TYPE_E_ELEMENTNOTFOUND;
  *flags = index == 0 ? IMPLTYPEFLAG_FDEFAULT : 0;
  return S_OK;
}

HRESULT TTypeInfo::GetIDsOfNames(LPOLESTR* names, UINT cNames, MEMBERID* ids) {
  if (!names || !ids) return E_INVALIDARG;
  if (cNames == 0) return S_OK;
  for (UINT i = 0; i < cNames; ++i) ids[i] = DISPID_UNKNOWN;
  if (!names[0]) return DISP_E_UNKNOWNNAME;
  const std::string name = Utf16ToUtf8(names[0], std::char_traits<char16_t>::length(names[0]));
  const std::vector<TMemberData>& members = Type().Members;
  for (const TMemberData& m : members)
    if (AsciiEqualsIgnoreCase(m.Name, name)) {
      ids[0] = m.Id;
      break;
    }
  if (ids[0] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
  // Parameter names of any member under that DISPID: their positions.
  HRESULT hr = S_OK;
  for (UINT n = 1; n < cNames; ++n) {
    const std::string param = names[n] ? Utf16ToUtf8(names[n], std::char_traits<char16_t>::length(names[n])) : "";
    for (const TMemberData& m : members) {
      if (m.Id != ids[0]) continue;
      for (std::size_t p = 0; p < m.Params.size() && ids[n] == DISPID_UNKNOWN; ++p)
        if (names[n] && AsciiEqualsIgnoreCase(m.Params[p].Name, param)) ids[n] = static_cast<DISPID>(p);
    }
    if (ids[n] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

const TMemberData* TTypeInfo::FindMember(MEMBERID memid, WORD flags) const {
  // A script's "o.m()" asks for a method or a property reader: a method wins.
  static constexpr struct {
    WORD Flag;
    INVOKEKIND Kind;
  } order[] = {{DISPATCH_METHOD, INVOKE_FUNC},
               {DISPATCH_PROPERTYGET, INVOKE_PROPERTYGET},
               {DISPATCH_PROPERTYPUT, INVOKE_PROPERTYPUT},
               {DISPATCH_PROPERTYPUTREF, INVOKE_PROPERTYPUTREF}};
  for (const auto& o : order) {
    if (!(flags & o.Flag)) continue;
    for (const TMemberData& m : Type().Members)
      if (m.Id == memid && m.Kind == o.Kind) return &m;
  }
  return nullptr;
}

namespace {

// Moves the thread's error information into the caller's EXCEPINFO.
void FillExcepInfo(EXCEPINFO* info, HRESULT hr) {
  TComPtr<IErrorInfo> error;
  GetErrorInfo(0, error.Put());
  if (!info) return;
  *info = EXCEPINFO{};
  info->scode = hr;
  if (!error) return;
  error->GetSource(&info->bstrSource);
  error->GetDescription(&info->bstrDescription);
  error->GetHelpFile(&info->bstrHelpFile);
  error->GetHelpContext(&info->dwHelpContext);
}

}  // namespace

HRESULT TTypeInfo::Invoke(LPVOID instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excepInfo, UINT* argErr) {
  if (!instance || !params || (params->cArgs && !params->rgvarg) || params->cNamedArgs > params->cArgs ||
      (params->cNamedArgs && !params->rgdispidNamedArgs))
    return E_INVALIDARG;
  if (Type().Kind != TKIND_DISPATCH) return DISP_E_MEMBERNOTFOUND;
  const TMemberData* member = FindMember(memid, flags);
  if (!member) return DISP_E_MEMBERNOTFOUND;

  // Which VARIANT of rgvarg fills each parameter: named ones come first in
  // rgvarg, the positional ones after them, last first.
  const UINT count = static_cast<UINT>(member->Params.size());
  const bool put = member->Kind == INVOKE_PROPERTYPUT || member->Kind == INVOKE_PROPERTYPUTREF;
  const UINT positional = params->cArgs - params->cNamedArgs;
  if (positional > count) return DISP_E_BADPARAMCOUNT;
  std::vector<int> source(count, -1);
  for (UINT i = 0; i < positional; ++i) source[i] = static_cast<int>(params->cArgs - 1 - i);
  for (UINT n = 0; n < params->cNamedArgs; ++n) {
    const DISPID id = params->rgdispidNamedArgs[n];
    const UINT slot = id == DISPID_PROPERTYPUT && put && count ? count - 1 : static_cast<UINT>(id);
    if (id < 0 && !(id == DISPID_PROPERTYPUT && put && count)) {
      if (argErr) *argErr = n;
      return DISP_E_PARAMNOTFOUND;
    }
    if (slot >= count || source[slot] >= 0) {
      if (argErr) *argErr = n;
      return DISP_E_PARAMNOTFOUND;
    }
    source[slot] = static_cast<int>(n);
  }

  std::vector<TVariant> args(count);
  for (UINT i = 0; i < count; ++i) {
    const TParamData& p = member->Params[i];
    if (source[i] < 0) {
      if (!(p.Flags & PARAMFLAG_FOPT)) return DISP_E_BADPARAMCOUNT;
      args[i].vt = VT_ERROR;
      args[i].scode = DISP_E_PARAMNOTFOUND;
      continue;
    }
    const VARIANT* from = &params->rgvarg[source[i]];
    const HRESULT hr =
        p.Type == VT_VARIANT ? VariantCopyInd(&args[i], from) : VariantChangeType(&args[i], from, 0, p.Type);
    if (FAILED(hr)) {
      if (argErr) *argErr = static_cast<UINT>(source[i]);
      return hr;
    }
  }

  // Error information left over from an earlier call must not pass for this one's.
  SetErrorInfo(0, nullptr);
  TVariant value;
  const HRESULT hr = static_cast<TInvokeTarget*>(instance)->InvokeMember(member->Id, member->Kind, args, &value);
  if (FAILED(hr)) {
    FillExcepInfo(excepInfo, hr);
    return DISP_E_EXCEPTION;
  }
  if (result && member->Result != VT_EMPTY) {
    VariantClear(result);
    *static_cast<VARIANT*>(result) = value;
    VariantInit(&value);
  }
  return S_OK;
}

HRESULT TTypeInfo::GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) {
  const std::string* n = nullptr;
  const std::string* d = nullptr;
  if (memid == MEMBERID_NIL) {
    n = &Type().Name;
    d = &Type().HelpString;
  } else {
    for (const TMemberData& m : Type().Members)
      if (m.Id == memid) {
        n = &m.Name;
        d = &m.HelpString;
        break;
      }
    if (!n) return TYPE_E_ELEMENTNOTFOUND;
  }
  if (helpContext) *helpContext = 0;
  if (helpFile) *helpFile = nullptr;
  if (const HRESULT hr = GiveText(*n, name); FAILED(hr)) return hr;
  if (const HRESULT hr = GiveText(*d, doc); FAILED(hr)) {
    if (name) SysFreeString(*name), *name = nullptr;
    return hr;
  }
  return S_OK;
}

HRESULT TTypeInfo::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_INVALIDARG;
  *ppTInfo = nullptr;
  if (hRefType >= lib_->Data().Types.size()) return TYPE_E_ELEMENTNOTFOUND;
  *ppTInfo = new TTypeInfo(lib_.Get(), hRefType);
  return S_OK;
}

HRESULT TTypeInfo::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) {
  if (!ppTLib) return E_INVALIDARG;
  *ppTLib = lib_.Get();
  lib_->AddRef();
  if (pIndex) *pIndex = index_;
  return S_OK;
}

HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgdispid) {
  if (!ptinfo) return E_INVALIDARG;
  return ptinfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}

HRESULT DispInvoke(TInvokeTarget* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags, DISPPARAMS* pparams,
                   VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr) {
  if (!ptinfo) return E_INVALIDARG;
  return ptinfo->Invoke(_this, dispidMember, wFlags, pparams, pvarResult, pexcepinfo, puArgErr);
}

}  // namespace win
