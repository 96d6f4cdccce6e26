// COM and OLE Automation basics: GUIDs, HRESULTs, BSTR, VARIANT, IUnknown and
// IDispatch with their Windows names, layouts and values, a base for objects
// that implement interfaces, a reference-holding pointer, and late-bound calls
// by member name. Object creation through the registry is not here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

#include "platform/win/Types.h"
#include "platform/win/Utf8.h"

namespace win {

// ---- GUIDs ----

struct GUID {
  DWORD Data1 = 0;
  WORD Data2 = 0;
  WORD Data3 = 0;
  BYTE Data4[8] = {};
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL{};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex, as StringFromGUID2 writes it.
std::string GuidToString(REFGUID guid);
// Reads that form (hex digits of either case, braces required); false otherwise.
bool GuidFromString(const std::string& text, GUID& guid);
// A GUID written in the source as text; a malformed one is a programming error (aborts).
GUID MakeGuid(const char* text);

// ---- Strings ----

// 16-bit COM text (UTF-16 code units).
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// A counted 16-bit string: a 32-bit byte length lies before the first
// character and a zero after the last. A null BSTR is the empty text.
using BSTR = OLECHAR*;

BSTR SysAllocString(LPCOLESTR psz);
// Copies cch characters of pch (or leaves them zero when pch is null).
BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);
// Frees *pbstr and replaces it by a copy of psz; FALSE when out of memory.
BOOL SysReAllocString(BSTR* pbstr, LPCOLESTR psz);

// A new BSTR holding the UTF-8 text; BSTR to UTF-8 (null: "").
BSTR SysAllocStringUtf8(const std::string& text);
std::string BstrToUtf8(BSTR bstr);

// ---- Interfaces ----

class ITypeInfo;

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

using LCID = DWORD;
using DISPID = LONG;
using MEMBERID = DISPID;
using VARTYPE = WORD;
using VARIANT_BOOL = std::int16_t;
using SCODE = LONG;
using DATE = double;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

class IDispatch;

// One-dimensional safe arrays of bytes (VT_ARRAY | VT_UI1), the only kind used
// here: a shell item-ID list handed to the browser as its URL.
struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
struct SAFEARRAY {
  WORD cDims;
  WORD fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
// A zero-filled vector of cElements items of type vt (VT_UI1 only; null otherwise).
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// DISP_E_ARRAYISLOCKED while its data is accessed.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);

// The Automation variant: the Windows layout of the members used here.
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1, wReserved2, wReserved3;
  union {
    LONG lVal;
    BYTE bVal;
    std::int16_t iVal;
    std::int8_t cVal;
    WORD uiVal;
    ULONG ulVal;
    int intVal;
    UINT uintVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    LONG* plVal;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    SAFEARRAY* parray;
    void* byref;
  };
};
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* pvarg);
// Releases what the variant holds (BSTR freed, interfaces released; by-reference
// values are not owned) and leaves it VT_EMPTY. DISP_E_BADVARTYPE for an
// unknown type (the variant is left alone).
HRESULT VariantClear(VARIANT* pvarg);
// Clears the target, then copies: a new BSTR, an AddRef'd interface.
HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);
// Like VariantCopy, but a by-reference source is copied as the value it points to.
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANT* pvargSrc);
// Converts to VT_BSTR, VT_I4, VT_BOOL (and the other scalar types listed in
// VARENUM), from the scalars, VT_BSTR (numbers and "True"/"False", case
// ignored), VT_EMPTY (0, "", false) and by-reference values. VT_NULL converts
// to nothing (DISP_E_TYPEMISMATCH), as in Windows; so do interfaces.
// DISP_E_OVERFLOW when a number does not fit. Source and target may be the same.
inline constexpr WORD VARIANT_ALPHABOOL = 0x2;
HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvarSrc, WORD wFlags, VARTYPE vt);

struct EXCEPINFO {
  WORD wCode = 0;
  WORD wReserved = 0;
  BSTR bstrSource = nullptr;
  BSTR bstrDescription = nullptr;
  BSTR bstrHelpFile = nullptr;
  DWORD dwHelpContext = 0;
  void* pvReserved = nullptr;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*) = nullptr;
  SCODE scode = 0;
};
// Frees the texts of an EXCEPINFO and zeroes it.
void ClearExcepInfo(EXCEPINFO* info);

// Arguments of Invoke: rgvarg holds them in reverse order (the last argument first).
struct DISPPARAMS {
  VARIANTARG* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
};

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;
inline constexpr DISPID DISPID_EVALUATE = -5;
inline constexpr DISPID DISPID_AMBIENT_DLCONTROL = -5512;
inline constexpr DISPID DISPID_AMBIENT_USERAGENT = -5513;

extern const IID IID_NULL;
extern const IID IID_IUnknown;
extern const IID IID_IDispatch;

class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

 protected:
  ~IDispatch() = default;
};

// ---- Error information ----

extern const IID IID_IErrorInfo;
extern const IID IID_ICreateErrorInfo;
extern const IID IID_ISupportErrorInfo;

// A failure's description, set by the object that failed for its caller.
class IErrorInfo : public IUnknown {
 public:
  virtual HRESULT GetGUID(GUID* pGUID) = 0;
  virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;

 protected:
  ~IErrorInfo() = default;
};

class ICreateErrorInfo : public IUnknown {
 public:
  virtual HRESULT SetGUID(REFGUID rguid) = 0;
  virtual HRESULT SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD dwHelpContext) = 0;

 protected:
  ~ICreateErrorInfo() = default;
};

class ISupportErrorInfo : public IUnknown {
 public:
  // S_OK when the object sets error information for failures of that interface.
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};

// A new, empty error object (it answers IErrorInfo too).
HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// The calling thread's error object: SetErrorInfo replaces it (null clears);
// GetErrorInfo hands it over and clears it, S_FALSE and null when there is none.
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);

// ---- Holding references ----

// Holds one reference to an interface and releases it when it goes.
template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  TComPtr(std::nullptr_t) {}
  // Takes a new reference.
  TComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  TComPtr(const TComPtr& o) : TComPtr(o.p_) {}
  TComPtr(TComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~TComPtr() { Reset(); }
  TComPtr& operator=(const TComPtr& o) {
    TComPtr(o).Swap(*this);
    return *this;
  }
  TComPtr& operator=(TComPtr&& o) noexcept {
    TComPtr(std::move(o)).Swap(*this);
    return *this;
  }
  TComPtr& operator=(std::nullptr_t) {
    Reset();
    return *this;
  }

  // Adopts a reference the caller already owns (no AddRef).
  static TComPtr Attach(T* p) {
    TComPtr r;
    r.p_ = p;
    return r;
  }
  // Gives the reference to the caller.
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void Swap(TComPtr& o) noexcept { std::swap(p_, o.p_); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held first.
  T** Put() {
    Reset();
    return &p_;
  }

  // QueryInterface into another holder.
  template <class U>
  HRESULT As(REFIID iid, TComPtr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, reinterpret_cast<void**>(out.Put()));
  }

 private:
  T* p_ = nullptr;
};

// Objects of the classes built on TComObject that are alive in the process;
// tests use it to see that references balance.
long ComObjectsAlive();

// A reference-counted object that implements the interfaces Is... Each
// interface I is given with its IID by the derived class through
// FindInterface. The object starts with one reference held by the creator
// (use TComPtr::Attach or Release when done) and deletes itself when the last
// one goes.
class TComObjectBase {
 public:
  TComObjectBase();
  TComObjectBase(const TComObjectBase&) = delete;
  TComObjectBase& operator=(const TComObjectBase&) = delete;

 protected:
  virtual ~TComObjectBase();
  ULONG InternalAddRef() { return static_cast<ULONG>(refs_.fetch_add(1) + 1); }
  ULONG InternalRelease() {
    const long left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 private:
  std::atomic<long> refs_{1};
};

// Implements IUnknown for an object deriving from the interfaces Is (each an
// IUnknown descendant). FindInterface answers the interface of an IID or null;
// IID_IUnknown is answered with the first interface.
template <class... Is>
class TComObject : public TComObjectBase, public Is... {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IUnknown* found = IsEqualIID(riid, IID_IUnknown) ? FirstUnknown() : FindInterface(riid);
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    *ppv = static_cast<void*>(found);
    return S_OK;
  }
  ULONG AddRef() override { return InternalAddRef(); }
  ULONG Release() override { return InternalRelease(); }

 protected:
  // The interface pointer for riid (as IUnknown*, the same object cast to that
  // interface), or null.
  virtual IUnknown* FindInterface(REFIID riid) = 0;

 private:
  template <class First, class...>
  struct TFirst {
    using Type = First;
  };
  IUnknown* FirstUnknown() { return static_cast<typename TFirst<Is...>::Type*>(this); }
};

// ---- Owning variants ----

// A VARIANT that clears itself: OleVariant.
class TVariant : public VARIANT {
 public:
  TVariant() { VariantInit(this); }
  TVariant(const TVariant& o) {
    VariantInit(this);
    VariantCopy(this, &o);
  }
  TVariant(TVariant&& o) noexcept {
    *static_cast<VARIANT*>(this) = o;
    VariantInit(&o);
  }
  explicit TVariant(const VARIANT& v) {
    VariantInit(this);
    VariantCopy(this, &v);
  }
  ~TVariant() { VariantClear(this); }
  TVariant& operator=(const TVariant& o) {
    if (this != &o) VariantCopy(this, &o);
    return *this;
  }
  TVariant& operator=(TVariant&& o) noexcept {
    if (this != &o) {
      VariantClear(this);
      *static_cast<VARIANT*>(this) = o;
      VariantInit(&o);
    }
    return *this;
  }

  static TVariant Int(LONG value);
  static TVariant Bool(bool value);
  static TVariant Text(const std::string& utf8);
  static TVariant Null();
  // Takes a new reference (null stays a null VT_DISPATCH).
  static TVariant Dispatch(IDispatch* disp);
  static TVariant Unknown(IUnknown* unk);

  // The value as UTF-8 text through VariantChangeType; false when it has none.
  bool ToText(std::string& text) const;
  bool ToInt(LONG& value) const;
  bool ToBool(bool& value) const;
  // The dispatch interface held (VT_DISPATCH, or VT_UNKNOWN that answers it).
  TComPtr<IDispatch> ToDispatch() const;
};

// ---- Late-bound calls by name ----

// The member's DISPID through GetIDsOfNames with a UTF-8 name.
HRESULT DispIdOfName(IDispatch* disp, const std::string& name, DISPID* id);
// Reads a property (DISPATCH_PROPERTYGET, with optional index arguments).
HRESULT DispGetProperty(IDispatch* disp, const std::string& name, TVariant& result,
                        std::initializer_list<TVariant> args = {});
HRESULT DispGetProperty(IDispatch* disp, DISPID id, TVariant& result, std::initializer_list<TVariant> args = {});
// Writes a property (DISPATCH_PROPERTYPUT, named argument DISPID_PROPERTYPUT).
HRESULT DispPutProperty(IDispatch* disp, const std::string& name, const TVariant& value);
// Calls a method; arguments in their natural order (reversed for Invoke here).
// result may be null.
HRESULT DispCallMethod(IDispatch* disp, const std::string& name, std::initializer_list<TVariant> args,
                       TVariant* result = nullptr);
// The general form: flags, arguments in natural order, optional result.
// excepInfo, when given, receives a DISP_E_EXCEPTION's details.
HRESULT DispInvoke(IDispatch* disp, DISPID id, WORD flags, const TVariant* args, std::size_t argCount,
                   TVariant* result, EXCEPINFO* excepInfo = nullptr);

// The text of a late-bound failure as the class library shows it: "'%s' not
// supported." for an unknown name, "Member not found." and so on.
std::string DispErrorText(HRESULT hr, const std::string& name);

// ---- Helpers for implementing IDispatch by name ----

// Case-insensitive (ASCII) name lookup for a fixed member table.
struct TDispMember {
  const char* Name;
  DISPID Id;
};
// Fills rgDispId for the names; unknown names get DISPID_UNKNOWN and the call
// answers DISP_E_UNKNOWNNAME, as GetIDsOfNames does.
HRESULT LookupDispNames(const TDispMember* table, std::size_t count, LPOLESTR* rgszNames, UINT cNames,
                        DISPID* rgDispId);
// The positional argument i (0 = first in natural order) of an Invoke,
// dereferencing VT_BYREF|VT_VARIANT; null when there are fewer arguments.
const VARIANT* DispArg(const DISPPARAMS* params, UINT i);
// Number of positional (unnamed) arguments.
UINT DispArgCount(const DISPPARAMS* params);

}  // namespace win
