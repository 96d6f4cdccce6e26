// Type information: ITypeLib and ITypeInfo with their Windows names, as far as
// servers and their clients use them here, over a type library that a module
// carries as a C++ table (TTypeLibInfo) and hands out through the export
// VorraTypeLibInfo.
//
// Objects do not have a vtable per interface: an object implements
// TInvokeTarget, and ITypeInfo::Invoke checks and converts the arguments
// against the member's description and calls InvokeMember with them.
#pragma once

#include <span>

#include "platform/com/Com.h"

namespace win {

// ---- The table a module carries ----

using INVOKEKIND = int;
inline constexpr INVOKEKIND INVOKE_FUNC = 1;
inline constexpr INVOKEKIND INVOKE_PROPERTYGET = 2;
inline constexpr INVOKEKIND INVOKE_PROPERTYPUT = 4;
inline constexpr INVOKEKIND INVOKE_PROPERTYPUTREF = 8;

inline constexpr WORD PARAMFLAG_NONE = 0;
inline constexpr WORD PARAMFLAG_FIN = 0x1;
inline constexpr WORD PARAMFLAG_FOUT = 0x2;
inline constexpr WORD PARAMFLAG_FRETVAL = 0x8;
inline constexpr WORD PARAMFLAG_FOPT = 0x10;

inline constexpr WORD TYPEFLAG_FAPPOBJECT = 0x1;
inline constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
inline constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
inline constexpr WORD TYPEFLAG_FDUAL = 0x40;
inline constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
inline constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
inline constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;

inline constexpr WORD LIBFLAG_FRESTRICTED = 0x1;
inline constexpr WORD LIBFLAG_FCONTROL = 0x2;
inline constexpr WORD LIBFLAG_FHIDDEN = 0x4;
inline constexpr WORD LIBFLAG_FHASDISKIMAGE = 0x8;

// One parameter: its name, its type (VT_BSTR, VT_BOOL, VT_I4, VT_VARIANT...)
// and PARAMFLAG_ bits. A missing optional parameter reaches the object as
// VT_ERROR holding DISP_E_PARAMNOTFOUND.
struct TParamInfo {
  const char* Name;
  VARTYPE Type;
  WORD Flags = PARAMFLAG_FIN;
};

// One member: a method, a property reader or a property writer (a property
// with both is two members with the same DISPID). Result is the type of the
// value it gives back, VT_EMPTY for none; a writer's value is its last
// parameter.
struct TMemberInfo {
  const char* Name;
  DISPID Id;
  INVOKEKIND Kind;
  VARTYPE Result;
  std::span<const TParamInfo> Params;
  const char* HelpString = "";
};

// A dispatch interface (TYPEFLAG_FDUAL for a dual one).
struct TInterfaceInfo {
  IID Iid;
  const char* Name;
  const char* HelpString;
  WORD Flags;
  std::span<const TMemberInfo> Members;
};

// A creatable class and the interfaces it implements, its default first.
struct TCoClassInfo {
  CLSID Clsid;
  const char* Name;
  const char* HelpString;
  WORD Flags;
  std::span<const IID> Interfaces;
};

struct TTypeLibInfo {
  GUID Guid;
  const char* Name;
  const char* HelpString;
  WORD MajorVersion;
  WORD MinorVersion;
  LCID Lcid;
  WORD Flags;
  std::span<const TInterfaceInfo> Interfaces;
  std::span<const TCoClassInfo> CoClasses;
};

// The export a module answers its type library with.
inline constexpr const char TypeLibInfoExport[] = "VorraTypeLibInfo";
using TTypeLibInfoExport = const TTypeLibInfo* (*)();

// ---- The Windows types ----

using HREFTYPE = DWORD;
inline constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

enum TYPEKIND { TKIND_ENUM, TKIND_RECORD, TKIND_MODULE, TKIND_INTERFACE, TKIND_DISPATCH, TKIND_COCLASS,
                TKIND_ALIAS, TKIND_UNION, TKIND_MAX };
enum SYSKIND { SYS_WIN16, SYS_WIN32, SYS_MAC, SYS_WIN64 };
enum FUNCKIND { FUNC_VIRTUAL, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };
enum CALLCONV { CC_FASTCALL = 0, CC_CDECL = 1, CC_STDCALL = 4 };

// The system kind under which libraries are registered: the bitness of the
// process, as Windows does.
inline constexpr SYSKIND SYS_NATIVE = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

inline constexpr int IMPLTYPEFLAG_FDEFAULT = 0x1;
inline constexpr int IMPLTYPEFLAG_FSOURCE = 0x2;

struct TYPEDESC {
  VARTYPE vt = VT_EMPTY;
};
struct PARAMDESC {
  WORD wParamFlags = 0;
};
struct ELEMDESC {
  TYPEDESC tdesc;
  PARAMDESC paramdesc;
};

struct TYPEATTR {
  GUID guid;
  LCID lcid = 0;
  MEMBERID memidConstructor = MEMBERID_NIL;
  MEMBERID memidDestructor = MEMBERID_NIL;
  ULONG cbSizeInstance = 0;
  TYPEKIND typekind = TKIND_DISPATCH;
  WORD cFuncs = 0;
  WORD cVars = 0;
  WORD cImplTypes = 0;
  WORD cbSizeVft = 0;
  WORD cbAlignment = 0;
  WORD wTypeFlags = 0;
  WORD wMajorVerNum = 0;
  WORD wMinorVerNum = 0;
};

struct FUNCDESC {
  MEMBERID memid = MEMBERID_NIL;
  ELEMDESC* lprgelemdescParam = nullptr;
  FUNCKIND funckind = FUNC_DISPATCH;
  INVOKEKIND invkind = INVOKE_FUNC;
  CALLCONV callconv = CC_STDCALL;
  short cParams = 0;
  short cParamsOpt = 0;
  short oVft = 0;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags = 0;
};

struct TLIBATTR {
  GUID guid;
  LCID lcid = 0;
  SYSKIND syskind = SYS_NATIVE;
  WORD wMajorVerNum = 0;
  WORD wMinorVerNum = 0;
  WORD wLibFlags = 0;
};

// What ITypeInfo::Invoke calls: one member with its arguments in natural
// order, already converted to the declared parameter types. result is
// VT_EMPTY on entry and is to hold the member's value, if it has one. A
// failure is answered as an HRESULT, with error information set (SetErrorInfo)
// for the caller's EXCEPINFO.
class TInvokeTarget {
 public:
  virtual HRESULT InvokeMember(DISPID id, INVOKEKIND kind, std::span<TVariant> args, VARIANT* result) = 0;

 protected:
  ~TInvokeTarget() = default;
};

class ITypeLib;

extern const IID IID_ITypeInfo;
extern const IID IID_ITypeLib;

class ITypeInfo : public IUnknown {
 public:
  virtual HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
  // The member's name, then its parameters' names.
  virtual HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
  // A class's implemented interfaces by index.
  virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
  virtual HRESULT GetImplTypeFlags(UINT index, int* pImplTypeFlags) = 0;
  // The first name is a member's (case ignored), the ones after it are its
  // parameters' (their DISPIDs are their positions).
  virtual HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
  // pvInstance is the TInvokeTarget of the object.
  virtual HRESULT Invoke(LPVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
  // MEMBERID_NIL describes the type itself. Any out pointer may be null.
  virtual HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                   BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;

 protected:
  ~ITypeInfo() = default;
};

class ITypeLib : public IUnknown {
 public:
  virtual UINT GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
  // index -1 describes the library itself. Any out pointer may be null.
  virtual HRESULT GetDocumentation(int index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                   BSTR* pBstrHelpFile) = 0;
  virtual void ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;

 protected:
  ~ITypeLib() = default;
};

extern const IID IID_IProvideClassInfo;

class IProvideClassInfo : public IUnknown {
 public:
  // The type description of the object's class (its coclass).
  virtual HRESULT GetClassInfo(ITypeInfo** ppTI) = 0;

 protected:
  ~IProvideClassInfo() = default;
};

// ---- Making and loading libraries ----

// A library made from a table; the table is copied, so it may go after the call.
HRESULT CreateTypeLibFromInfo(const TTypeLibInfo& info, ITypeLib** pptlib);
// The library of a module file: the module is loaded, its table copied, and
// the module let go again. TYPE_E_CANTLOADLIBRARY when the file cannot be
// loaded or carries no library.
HRESULT LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);

// IDispatch::GetIDsOfNames and Invoke through a type description, for
// objects that implement IDispatch with one.
HRESULT DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames, DISPID* rgdispid);
HRESULT DispInvoke(TInvokeTarget* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags, DISPPARAMS* pparams,
                   VARIANT* pvarResult, EXCEPINFO* pexcepinfo, UINT* puArgErr);

}  // namespace win
