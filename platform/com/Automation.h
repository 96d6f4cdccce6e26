// A base for automation objects whose IDispatch is served from a type
// library: names to DISPIDs through the interface's description (case
// ignored), Invoke through it onto InvokeMember, GetTypeInfo, the class's
// description through IProvideClassInfo, and ISupportErrorInfo for every
// interface the object answers. Members report failures with SetOleError.
#pragma once

#include <string>

#include "platform/com/ClassFactory.h"
#include "platform/com/TypeLib.h"

namespace win {

// Sets the thread's error information (interface, source, description) and
// answers hr, for a member to return.
HRESULT SetOleError(REFIID iid, const std::string& source, const std::string& description, HRESULT hr);

class TAutoObject : public TComObject<IDispatch, IProvideClassInfo, ISupportErrorInfo>, public TInvokeTarget {
 public:
  // The default interface's description, the class's, and the server's counts
  // (null: not counted).
  TAutoObject(ITypeInfo* interfaceInfo, ITypeInfo* classInfo, TComServerCounts* counts);

  HRESULT GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
  HRESULT GetClassInfo(ITypeInfo** ppTI) override;
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

  // The default interface's identifier (the dual interface's IID).
  const IID& InterfaceId() const { return iid_; }

 protected:
  ~TAutoObject() override;
  // IDispatch, the default interface, IProvideClassInfo, ISupportErrorInfo.
  IUnknown* FindInterface(REFIID riid) override;

 private:
  TComPtr<ITypeInfo> interfaceInfo_;
  TComPtr<ITypeInfo> classInfo_;
  TComServerCounts* counts_;
  IID iid_;
};

}  // namespace win
