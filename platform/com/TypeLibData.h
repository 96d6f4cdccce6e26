// The type library objects behind ITypeLib and ITypeInfo, over our own copy
// of a module's table.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/com/TypeLib.h"

namespace win {

struct TParamData {
  std::string Name;
  VARTYPE Type = VT_VARIANT;
  WORD Flags = PARAMFLAG_FIN;
};

struct TMemberData {
  std::string Name;
  DISPID Id = DISPID_UNKNOWN;
  INVOKEKIND Kind = INVOKE_FUNC;
  VARTYPE Result = VT_EMPTY;
  std::vector<TParamData> Params;
  std::string HelpString;
};

// An interface (TKIND_DISPATCH) or a class (TKIND_COCLASS).
struct TTypeData {
  TYPEKIND Kind = TKIND_DISPATCH;
  GUID Guid;
  std::string Name;
  std::string HelpString;
  WORD Flags = 0;
  std::vector<TMemberData> Members;
  // A class's interfaces, as indexes of the library's types.
  std::vector<UINT> Implemented;
};

struct TLibData {
  TLIBATTR Attr;
  std::string Name;
  std::string HelpString;
  std::vector<TTypeData> Types;
};

class TTypeLib : public TComObject<ITypeLib> {
 public:
  explicit TTypeLib(TLibData data) : data_(std::move(data)) {}
  const TLibData& Data() const { return data_; }

  UINT GetTypeInfoCount() override;
  HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override;
  HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) override;
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override;
  HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) override;
  HRESULT GetDocumentation(int index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                           BSTR* pBstrHelpFile) override;
  void ReleaseTLibAttr(TLIBATTR*) override {}

 protected:
  IUnknown* FindInterface(REFIID riid) override;

 private:
  TLibData data_;
};

class TTypeInfo : public TComObject<ITypeInfo> {
 public:
  TTypeInfo(TTypeLib* lib, UINT index);

  HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) override;
  HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
  HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) override;
  HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override;
  HRESULT GetImplTypeFlags(UINT index, int* pImplTypeFlags) override;
  HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) override;
  HRESULT Invoke(LPVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                 EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
  HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                           BSTR* pBstrHelpFile) override;
  HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
  HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
  void ReleaseTypeAttr(TYPEATTR*) override {}
  void ReleaseFuncDesc(FUNCDESC*) override {}

 protected:
  IUnknown* FindInterface(REFIID riid) override;

 private:
  const TTypeData& Type() const { return lib_->Data().Types[index_]; }
  const TMemberData* FindMember(MEMBERID memid, WORD flags) const;

  TComPtr<TTypeLib> lib_;
  UINT index_;
  // Handed out by GetTypeAttr and GetFuncDesc; they live as long as this object.
  TYPEATTR attr_;
  std::vector<FUNCDESC> funcs_;
  std::vector<std::vector<ELEMDESC>> params_;
};

// Hands a copy of the text to an out pointer that may be null.
HRESULT GiveText(const std::string& text, BSTR* out);

}  // namespace win
