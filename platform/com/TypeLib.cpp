#include "platform/com/TypeLib.h"

#include "platform/com/TypeLibData.h"
#include "platform/win/Modules.h"

namespace win {

const IID IID_ITypeInfo{0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_ITypeLib{0x00020402, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IProvideClassInfo{0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

namespace {

std::string Text(const char* s) { return s ? s : ""; }

TMemberData CopyMember(const TMemberInfo& m) {
  TMemberData d;
  d.Name = Text(m.Name);
  d.Id = m.Id;
  d.Kind = m.Kind;
  d.Result = m.Result;
  d.HelpString = Text(m.HelpString);
  for (const TParamInfo& p : m.Params) d.Params.push_back({Text(p.Name), p.Type, p.Flags});
  return d;
}

}  // namespace

HRESULT GiveText(const std::string& text, BSTR* out) {
  if (!out) return S_OK;
  *out = SysAllocStringUtf8(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateTypeLibFromInfo(const TTypeLibInfo& info, ITypeLib** pptlib) {
  if (!pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  TLibData lib;
  lib.Attr.guid = info.Guid;
  lib.Attr.lcid = info.Lcid;
  lib.Attr.wMajorVerNum = info.MajorVersion;
  lib.Attr.wMinorVerNum = info.MinorVersion;
  lib.Attr.wLibFlags = info.Flags;
  lib.Name = Text(info.Name);
  lib.HelpString = Text(info.HelpString);
  for (const TInterfaceInfo& i : info.Interfaces) {
    TTypeData t;
    t.Kind = TKIND_DISPATCH;
    t.Guid = i.Iid;
    t.Name = Text(i.Name);
    t.HelpString = Text(i.HelpString);
    t.Flags = i.Flags;
    for (const TMemberInfo& m : i.Members) t.Members.push_back(CopyMember(m));
    // The counts of FUNCDESC and TYPEATTR are 16-bit.
    if (t.Members.size() > 0x7FFF) return E_INVALIDARG;
    for (const TMemberData& m : t.Members)
      if (m.Params.size() > 0x7FFF) return E_INVALIDARG;
    lib.Types.push_back(std::move(t));
  }
  const std::size_t interfaces = lib.Types.size();
  for (const TCoClassInfo& c : info.CoClasses) {
    TTypeData t;
    t.Kind = TKIND_COCLASS;
    t.Guid = c.Clsid;
    t.Name = Text(c.Name);
    t.HelpString = Text(c.HelpString);
    t.Flags = c.Flags;
    for (const IID& iid : c.Interfaces) {
      std::size_t i = 0;
      while (i < interfaces && !IsEqualIID(lib.Types[i].Guid, iid)) ++i;
      // A class may only name interfaces that the library describes.
      if (i == interfaces) return TYPE_E_ELEMENTNOTFOUND;
      t.Implemented.push_back(static_cast<UINT>(i));
    }
    if (t.Implemented.size() > 0x7FFF) return E_INVALIDARG;
    lib.Types.push_back(std::move(t));
  }
  if (lib.Types.size() > 0xFFFF) return E_INVALIDARG;
  *pptlib = new TTypeLib(std::move(lib));
  return S_OK;
}

HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
  if (!szFile || !pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  const std::string path = Utf16ToUtf8(szFile, std::char_traits<char16_t>::length(szFile));
  HMODULE module = path.empty() ? nullptr : LoadLibraryA(path.c_str());
  if (!module) return TYPE_E_CANTLOADLIBRARY;
  HRESULT hr = TYPE_E_CANTLOADLIBRARY;
  if (const auto get = reinterpret_cast<TTypeLibInfoExport>(GetProcAddress(module, TypeLibInfoExport)))
    if (const TTypeLibInfo* info = get()) hr = CreateTypeLibFromInfo(*info, pptlib);
  // The library is a copy: the module need not stay.
  FreeLibrary(module);
  return hr;
}

// ---- TTypeLib ----

IUnknown* TTypeLib::FindInterface(REFIID riid) {
  return IsEqualIID(riid, IID_ITypeLib) ? static_cast<ITypeLib*>(this) : nullptr;
}

UINT TTypeLib::GetTypeInfoCount() { return static_cast<UINT>(data_.Types.size()); }

HRESULT TTypeLib::GetTypeInfo(UINT index, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_INVALIDARG;
  *ppTInfo = nullptr;
  if (index >= data_.Types.size()) return TYPE_E_ELEMENTNOTFOUND;
  *ppTInfo = new TTypeInfo(this, index);
  return S_OK;
}

HRESULT TTypeLib::GetTypeInfoType(UINT index, TYPEKIND* pTKind) {
  if (!pTKind) return E_INVALIDARG;
  if (index >= data_.Types.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pTKind = data_.Types[index].Kind;
  return S_OK;
}

HRESULT TTypeLib::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) {
  if (!ppTinfo) return E_INVALIDARG;
  *ppTinfo = nullptr;
  for (UINT i = 0; i < data_.Types.size(); ++i)
    if (IsEqualGUID(data_.Types[i].Guid, guid)) return GetTypeInfo(i, ppTinfo);
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TTypeLib::GetLibAttr(TLIBATTR** ppTLibAttr) {
  if (!ppTLibAttr) return E_INVALIDARG;
  *ppTLibAttr = &data_.Attr;
  return S_OK;
}

HRESULT TTypeLib::GetDocumentation(int index, BSTR* name, BSTR* doc, DWORD* helpContext, BSTR* helpFile) {
  const bool self = index == -1;
  if (!self && (index < 0 || static_cast<std::size_t>(index) >= data_.Types.size())) return TYPE_E_ELEMENTNOTFOUND;
  const std::string& n = self ? data_.Name : data_.Types[index].Name;
  const std::string& d = self ? data_.HelpString : data_.Types[index].HelpString;
  if (helpContext) *helpContext = 0;
  if (helpFile) *helpFile = nullptr;
  if (const HRESULT hr = GiveText(n, name); FAILED(hr)) return hr;
  if (const HRESULT hr = GiveText(d, doc); FAILED(hr)) {
    if (name) SysFreeString(*name), *name = nullptr;
    return hr;
  }
  return S_OK;
}

}  // namespace win
