#include "platform/com/Com.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/win/Ascii.h"

namespace win {

const IID IID_NULL{};
const IID IID_IUnknown {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ---- GUIDs ----

std::string GuidToString(REFGUID g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadHex(const char* p, int digits, std::uint64_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int h = HexValue(p[i]);
    if (h < 0) return false;
    value = value << 4 | static_cast<unsigned>(h);
  }
  return true;
}

}  // namespace

bool GuidFromString(const std::string& text, GUID& guid) {
  // {8-4-4-4-12}
  if (text.size() != 38 || text[0] != '{' || text[37] != '}') return false;
  const char* p = text.c_str() + 1;
  if (p[8] != '-' || p[13] != '-' || p[18] != '-' || p[23] != '-') return false;
  std::uint64_t v;
  GUID g;
  if (!ReadHex(p, 8, v)) return false;
  g.Data1 = static_cast<DWORD>(v);
  if (!ReadHex(p + 9, 4, v)) return false;
  g.Data2 = static_cast<WORD>(v);
  if (!ReadHex(p + 14, 4, v)) return false;
  g.Data3 = static_cast<WORD>(v);
  for (int i = 0; i < 2; ++i) {
    if (!ReadHex(p + 19 + 2 * i, 2, v)) return false;
    g.Data4[i] = static_cast<BYTE>(v);
  }
  for (int i = 0; i < 6; ++i) {
    if (!ReadHex(p + 24 + 2 * i, 2, v)) return false;
    g.Data4[2 + i] = static_cast<BYTE>(v);
  }
  guid = g;
  return true;
}

GUID MakeGuid(const char* text) {
  GUID g;
  if (!GuidFromString(text, g)) std::abort();
  return g;
}

// ---- Strings ----

namespace {

// The allocation: length prefix, characters, terminator.
struct TBstrHeader {
  std::uint32_t bytes;
};

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
  if (cch > (std::numeric_limits<std::uint32_t>::max() - 16) / sizeof(OLECHAR)) return nullptr;
  const std::size_t bytes = static_cast<std::size_t>(cch) * sizeof(OLECHAR);
  auto* block = static_cast<unsigned char*>(std::malloc(sizeof(TBstrHeader) + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  TBstrHeader h{static_cast<std::uint32_t>(bytes)};
  std::memcpy(block, &h, sizeof h);
  auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(TBstrHeader));
  if (pch) std::memcpy(chars, pch, bytes);
  else std::memset(chars, 0, bytes);
  chars[cch] = 0;
  return chars;
}

BSTR SysAllocString(LPCOLESTR psz) {
  if (!psz) return nullptr;
  UINT n = 0;
  while (psz[n]) ++n;
  return SysAllocStringLen(psz, n);
}

void SysFreeString(BSTR bstr) {
  if (bstr) std::free(reinterpret_cast<unsigned char*>(bstr) - sizeof(TBstrHeader));
}

UINT SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  TBstrHeader h;
  std::memcpy(&h, reinterpret_cast<unsigned char*>(bstr) - sizeof(TBstrHeader), sizeof h);
  return h.bytes;
}

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

BOOL SysReAllocString(BSTR* pbstr, LPCOLESTR psz) {
  if (!pbstr) return FALSE;
  BSTR copy = nullptr;
  if (psz) {
    copy = SysAllocString(psz);
    if (!copy) return FALSE;
  }
  SysFreeString(*pbstr);
  *pbstr = copy;
  return TRUE;
}

BSTR SysAllocStringUtf8(const std::string& text) {
  const std::u16string w = Utf8ToUtf16(text);
  if (w.size() > std::numeric_limits<UINT>::max()) return nullptr;
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

std::string BstrToUtf8(BSTR bstr) { return bstr ? Utf16ToUtf8(bstr, SysStringLen(bstr)) : std::string(); }

// ---- Objects ----

namespace {
std::atomic<long> g_alive{0};
}  // namespace

long ComObjectsAlive() { return g_alive.load(); }
TComObjectBase::TComObjectBase() { g_alive.fetch_add(1); }
TComObjectBase::~TComObjectBase() { g_alive.fetch_sub(1); }

// ---- Error information ----

const IID IID_IErrorInfo{0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ICreateErrorInfo{0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ISupportErrorInfo{0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

namespace {

class TErrorInfo : public TComObject<IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT GetGUID(GUID* pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    *pGUID = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* out) override { return Give(source_, out); }
  HRESULT GetDescription(BSTR* out) override { return Give(description_, out); }
  HRESULT GetHelpFile(BSTR* out) override { return Give(helpFile_, out); }
  HRESULT GetHelpContext(DWORD* out) override {
    if (!out) return E_INVALIDARG;
    *out = helpContext_;
    return S_OK;
  }
  HRESULT SetGUID(REFGUID rguid) override {
    guid_ = rguid;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR text) override { return Take(text, source_); }
  HRESULT SetDescription(LPOLESTR text) override { return Take(text, description_); }
  HRESULT SetHelpFile(LPOLESTR text) override { return Take(text, helpFile_); }
  HRESULT SetHelpContext(DWORD context) override {
    helpContext_ = context;
    return S_OK;
  }

 protected:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualIID(riid, IID_IErrorInfo)) return static_cast<IErrorInfo*>(this);
    if (IsEqualIID(riid, IID_ICreateErrorInfo)) return static_cast<ICreateErrorInfo*>(this);
    return nullptr;
  }

 private:
  static HRESULT Give(const std::u16string& text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT Take(LPOLESTR text, std::u16string& into) {
    into = text ? std::u16string(text) : std::u16string();
    return S_OK;
  }

  GUID guid_{};
  std::u16string source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

// A plain pointer: a thread_local with a destructor would keep a server module
// that set error information from ever being unloaded (the C library defers
// unloading until the thread's destructors have run).
thread_local IErrorInfo* t_errorInfo = nullptr;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = static_cast<ICreateErrorInfo*>(new TErrorInfo);
  return S_OK;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
  if (perrinfo) perrinfo->AddRef();
  if (IErrorInfo* old = std::exchange(t_errorInfo, perrinfo)) old->Release();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = std::exchange(t_errorInfo, nullptr);
  return *pperrinfo ? S_OK : S_FALSE;
}

// ---- Variants ----

void VariantInit(VARIANT* v) {
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

namespace {

bool KnownScalar(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_ERROR:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_INT:
    case VT_UINT: return true;
    default: return false;
  }
}

bool KnownType(VARTYPE vt) {
  if (vt & VT_BYREF) {
    const VARTYPE base = vt & ~VT_BYREF;
    return KnownScalar(base) || base == VT_BSTR || base == VT_DISPATCH || base == VT_UNKNOWN || base == VT_VARIANT;
  }
  return KnownScalar(vt) || vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == (VT_ARRAY | VT_UI1);
}

}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  if (vt != VT_UI1) return nullptr;
  auto* psa = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
  if (!psa) return nullptr;
  psa->pvData = std::calloc(cElements ? cElements : 1, 1);
  if (!psa->pvData) {
    std::free(psa);
    return nullptr;
  }
  psa->cDims = 1;
  psa->cbElements = 1;
  psa->rgsabound[0] = {cElements, lLbound};
  return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  std::free(psa->pvData);
  std::free(psa);
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  ++psa->cLocks;
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
  if (!psa || !psa->cLocks) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (!KnownType(v->vt)) return DISP_E_BADVARTYPE;
  switch (v->vt) {
    case VT_BSTR: SysFreeString(v->bstrVal); break;
    case VT_DISPATCH:
      if (v->pdispVal) v->pdispVal->Release();
      break;
    case VT_UNKNOWN:
      if (v->punkVal) v->punkVal->Release();
      break;
    case VT_ARRAY | VT_UI1:
      if (const HRESULT hr = SafeArrayDestroy(v->parray); FAILED(hr)) return hr;
      break;
    default: break;
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  if (!KnownType(src->vt)) return DISP_E_BADVARTYPE;
  if (const HRESULT hr = VariantClear(dest); FAILED(hr)) return hr;
  VARIANT copy = *src;
  if (src->vt == VT_BSTR && src->bstrVal) {
    copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if (src->vt == VT_DISPATCH && src->pdispVal) {
    src->pdispVal->AddRef();
  } else if (src->vt == VT_UNKNOWN && src->punkVal) {
    src->punkVal->AddRef();
  } else if (src->vt == (VT_ARRAY | VT_UI1) && src->parray) {
    const ULONG n = src->parray->rgsabound[0].cElements;
    copy.parray = SafeArrayCreateVector(VT_UI1, src->parray->rgsabound[0].lLbound, n);
    if (!copy.parray) return E_OUTOFMEMORY;
    std::memcpy(copy.parray->pvData, src->parray->pvData, n);
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
  if (!src->byref) return E_INVALIDARG;
  VARIANT v;
  VariantInit(&v);
  const VARTYPE base = src->vt & ~VT_BYREF;
  switch (base) {
    case VT_VARIANT: {
      // One level only, as Windows does.
      const VARIANT* inner = src->pvarVal;
      if (inner->vt & VT_BYREF) return E_INVALIDARG;
      return VariantCopy(dest, inner);
    }
    case VT_BSTR: v.vt = VT_BSTR, v.bstrVal = *src->pbstrVal; break;
    case VT_DISPATCH: v.vt = VT_DISPATCH, v.pdispVal = *src->ppdispVal; break;
    case VT_UNKNOWN: v.vt = VT_UNKNOWN, v.punkVal = *src->ppunkVal; break;
    case VT_BOOL: v.vt = VT_BOOL, v.boolVal = *src->pboolVal; break;
    case VT_I4:
    case VT_INT: v.vt = base, v.lVal = *src->plVal; break;
    case VT_UI4:
    case VT_UINT: v.vt = base, std::memcpy(&v.ulVal, src->byref, sizeof v.ulVal); break;
    case VT_I2: v.vt = VT_I2, std::memcpy(&v.iVal, src->byref, sizeof v.iVal); break;
    case VT_UI2: v.vt = VT_UI2, std::memcpy(&v.uiVal, src->byref, sizeof v.uiVal); break;
    case VT_I1: v.vt = VT_I1, std::memcpy(&v.cVal, src->byref, sizeof v.cVal); break;
    case VT_UI1: v.vt = VT_UI1, std::memcpy(&v.bVal, src->byref, sizeof v.bVal); break;
    case VT_R4: v.vt = VT_R4, std::memcpy(&v.fltVal, src->byref, sizeof v.fltVal); break;
    case VT_R8: v.vt = VT_R8, std::memcpy(&v.dblVal, src->byref, sizeof v.dblVal); break;
    case VT_ERROR: v.vt = VT_ERROR, std::memcpy(&v.scode, src->byref, sizeof v.scode); break;
    case VT_EMPTY:
    case VT_NULL: v.vt = base; break;
    default: return DISP_E_BADVARTYPE;
  }
  // Copying the borrowed value makes our own BSTR or reference.
  return VariantCopy(dest, &v);
}

namespace {

// A scalar value on its way between types.
struct TScalar {
  enum { kInt, kReal, kText, kBool } kind = kInt;
  long long i = 0;
  double r = 0;
  bool b = false;
  std::string text;
};

std::string TrimAscii(const std::string& s) {
  std::size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  return s.substr(a, b - a);
}

HRESULT ReadScalar(const VARIANT& v, TScalar& s) {
  switch (v.vt) {
    case VT_EMPTY: s.kind = TScalar::kInt, s.i = 0; return S_OK;
    case VT_I1: s.i = v.cVal; return S_OK;
    case VT_I2: s.i = v.iVal; return S_OK;
    case VT_I4:
    case VT_INT: s.i = v.lVal; return S_OK;
    case VT_ERROR: s.i = v.scode; return S_OK;
    case VT_UI1: s.i = v.bVal; return S_OK;
    case VT_UI2: s.i = v.uiVal; return S_OK;
    case VT_UI4:
    case VT_UINT: s.i = v.ulVal; return S_OK;
    case VT_R4: s.kind = TScalar::kReal, s.r = v.fltVal; return S_OK;
    case VT_R8: s.kind = TScalar::kReal, s.r = v.dblVal; return S_OK;
    case VT_BOOL: s.kind = TScalar::kBool, s.b = v.boolVal != 0; return S_OK;
    case VT_BSTR: s.kind = TScalar::kText, s.text = BstrToUtf8(v.bstrVal); return S_OK;
    default: return DISP_E_TYPEMISMATCH;
  }
}

// Text to a number: decimal, optional sign and fraction, spaces around.
HRESULT TextToNumber(const std::string& text, TScalar& s) {
  const std::string t = TrimAscii(text);
  if (t.empty()) return DISP_E_TYPEMISMATCH;
  for (char c : t)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
      return DISP_E_TYPEMISMATCH;
  char* end = nullptr;
  const double d = std::strtod(t.c_str(), &end);
  if (!end || *end || !std::isfinite(d)) return DISP_E_TYPEMISMATCH;
  s.kind = TScalar::kReal;
  s.r = d;
  return S_OK;
}

HRESULT ToInteger(const TScalar& s, long long min, long long max, long long& out) {
  double d = 0;
  switch (s.kind) {
    case TScalar::kInt:
      if (s.i < min || s.i > max) return DISP_E_OVERFLOW;
      out = s.i;
      return S_OK;
    case TScalar::kBool: out = s.b ? -1 : 0; return min < 0 || !s.b ? S_OK : DISP_E_OVERFLOW;
    case TScalar::kReal: d = s.r; break;
    case TScalar::kText: {
      TScalar n;
      if (const HRESULT hr = TextToNumber(s.text, n); FAILED(hr)) return hr;
      d = n.r;
      break;
    }
  }
  // Automation rounds halves to even.
  const double rounded = std::nearbyint(d);
  if (!(rounded >= static_cast<double>(min) && rounded <= static_cast<double>(max))) return DISP_E_OVERFLOW;
  out = static_cast<long long>(rounded);
  return S_OK;
}

std::string FormatReal(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  return buf;
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, WORD flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (src->vt & VT_BYREF) {
    TVariant value;
    if (const HRESULT hr = VariantCopyInd(&value, src); FAILED(hr)) return hr;
    return VariantChangeType(dest, &value, flags, vt);
  }
  if (!KnownType(src->vt)) return DISP_E_BADVARTYPE;
  if (src->vt == vt) return dest == src ? S_OK : VariantCopy(dest, src);
  VARIANT out;
  VariantInit(&out);
  if (vt == VT_EMPTY) {
    // Nothing to carry.
  } else if (vt == VT_NULL) {
    out.vt = VT_NULL;
  } else if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    if (src->vt != VT_DISPATCH && src->vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    IUnknown* unk = src->vt == VT_DISPATCH ? static_cast<IUnknown*>(src->pdispVal) : src->punkVal;
    out.vt = vt;
    if (vt == VT_UNKNOWN) {
      out.punkVal = unk;
      if (unk) unk->AddRef();
    } else if (unk) {
      if (FAILED(unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&out.pdispVal))))
        return DISP_E_TYPEMISMATCH;
    }
  } else {
    if (src->vt == VT_NULL) return DISP_E_TYPEMISMATCH;
    TScalar s;
    if (const HRESULT hr = ReadScalar(*src, s); FAILED(hr)) return hr;
    out.vt = vt;
    switch (vt) {
      case VT_BSTR: {
        std::string text;
        switch (s.kind) {
          case TScalar::kInt: text = src->vt == VT_EMPTY ? std::string() : std::to_string(s.i); break;
          case TScalar::kReal: text = FormatReal(s.r); break;
          case TScalar::kBool: text = (flags & VARIANT_ALPHABOOL) ? (s.b ? "True" : "False") : (s.b ? "-1" : "0"); break;
          case TScalar::kText: text = s.text; break;
        }
        out.bstrVal = SysAllocStringUtf8(text);
        if (!out.bstrVal) return E_OUTOFMEMORY;
        break;
      }
      case VT_BOOL: {
        bool b = false;
        if (s.kind == TScalar::kBool) b = s.b;
        else if (s.kind == TScalar::kInt) b = s.i != 0;
        else if (s.kind == TScalar::kReal) b = s.r != 0;
        else if (AsciiEqualsIgnoreCase(TrimAscii(s.text), "true")) b = true;
        else if (AsciiEqualsIgnoreCase(TrimAscii(s.text), "false")) b = false;
        else {
          TScalar n;
          if (const HRESULT hr = TextToNumber(s.text, n); FAILED(hr)) return hr;
          b = n.r != 0;
        }
        out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      }
      case VT_R8:
      case VT_R4: {
        double d = s.kind == TScalar::kInt ? static_cast<double>(s.i) : s.kind == TScalar::kReal ? s.r : s.b ? -1 : 0;
        if (s.kind == TScalar::kText) {
          TScalar n;
          if (const HRESULT hr = TextToNumber(s.text, n); FAILED(hr)) return hr;
          d = n.r;
        }
        if (vt == VT_R8) out.dblVal = d;
        else if (std::fabs(d) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
        else out.fltVal = static_cast<float>(d);
        break;
      }
      default: {
        long long v = 0, min = 0, max = 0;
        switch (vt) {
          case VT_I1: min = -128, max = 127; break;
          case VT_I2: min = -32768, max = 32767; break;
          case VT_I4:
          case VT_INT:
          case VT_ERROR: min = std::numeric_limits<LONG>::min(), max = std::numeric_limits<LONG>::max(); break;
          case VT_UI1: max = 255; break;
          case VT_UI2: max = 65535; break;
          case VT_UI4:
          case VT_UINT: max = std::numeric_limits<ULONG>::max(); break;
          default: return DISP_E_BADVARTYPE;
        }
        if (const HRESULT hr = ToInteger(s, min, max, v); FAILED(hr)) return hr;
        switch (vt) {
          case VT_I1: out.cVal = static_cast<std::int8_t>(v); break;
          case VT_I2: out.iVal = static_cast<std::int16_t>(v); break;
          case VT_UI1: out.bVal = static_cast<BYTE>(v); break;
          case VT_UI2: out.uiVal = static_cast<WORD>(v); break;
          case VT_UI4:
          case VT_UINT: out.ulVal = static_cast<ULONG>(v); break;
          case VT_ERROR: out.scode = static_cast<SCODE>(v); break;
          default: out.lVal = static_cast<LONG>(v); break;
        }
      }
    }
  }
  // Only now is the source no longer needed (it may be the destination).
  VariantClear(dest);
  *dest = out;
  return S_OK;
}

void ClearExcepInfo(EXCEPINFO* info) {
  if (!info) return;
  SysFreeString(info->bstrSource);
  SysFreeString(info->bstrDescription);
  SysFreeString(info->bstrHelpFile);
  *info = EXCEPINFO{};
}

// ---- TVariant ----

TVariant TVariant::Int(LONG value) {
  TVariant v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

TVariant TVariant::Bool(bool value) {
  TVariant v;
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

TVariant TVariant::Text(const std::string& utf8) {
  TVariant v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringUtf8(utf8);
  return v;
}

TVariant TVariant::Null() {
  TVariant v;
  v.vt = VT_NULL;
  return v;
}

TVariant TVariant::Dispatch(IDispatch* disp) {
  TVariant v;
  v.vt = VT_DISPATCH;
  v.pdispVal = disp;
  if (disp) disp->AddRef();
  return v;
}

TVariant TVariant::Unknown(IUnknown* unk) {
  TVariant v;
  v.vt = VT_UNKNOWN;
  v.punkVal = unk;
  if (unk) unk->AddRef();
  return v;
}

bool TVariant::ToText(std::string& text) const {
  TVariant s;
  if (FAILED(VariantChangeType(&s, this, 0, VT_BSTR))) return false;
  text = BstrToUtf8(s.bstrVal);
  return true;
}

bool TVariant::ToInt(LONG& value) const {
  TVariant s;
  if (FAILED(VariantChangeType(&s, this, 0, VT_I4))) return false;
  value = s.lVal;
  return true;
}

bool TVariant::ToBool(bool& value) const {
  TVariant s;
  if (FAILED(VariantChangeType(&s, this, 0, VT_BOOL))) return false;
  value = s.boolVal != 0;
  return true;
}

TComPtr<IDispatch> TVariant::ToDispatch() const {
  TVariant s;
  if (FAILED(VariantChangeType(&s, this, 0, VT_DISPATCH))) return nullptr;
  return TComPtr<IDispatch>(s.pdispVal);
}

// ---- Late-bound calls ----

HRESULT DispIdOfName(IDispatch* disp, const std::string& name, DISPID* id) {
  if (!disp || !id) return E_POINTER;
  std::u16string w = Utf8ToUtf16(name);
  LPOLESTR names[1] = {w.data()};
  return disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

HRESULT DispInvoke(IDispatch* disp, DISPID id, WORD flags, const TVariant* args, std::size_t argCount,
                   TVariant* result, EXCEPINFO* excepInfo) {
  if (!disp) return E_POINTER;
  // Invoke takes the arguments last first; the callee may change them
  // (by-value arguments are its to read only, but copies keep ours safe).
  std::vector<TVariant> reversed(args, args + argCount);
  std::vector<VARIANTARG> raw(argCount);
  for (std::size_t i = 0; i < argCount; ++i) raw[i] = reversed[argCount - 1 - i];
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params;
  params.rgvarg = raw.empty() ? nullptr : raw.data();
  params.cArgs = static_cast<UINT>(argCount);
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  TVariant local;
  EXCEPINFO info;
  UINT argErr = 0;
  const HRESULT hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result ? result : &local,
                                  &info, &argErr);
  if (excepInfo) {
    ClearExcepInfo(excepInfo);
    *excepInfo = info;
  } else {
    ClearExcepInfo(&info);
  }
  return hr;
}

HRESULT DispGetProperty(IDispatch* disp, DISPID id, TVariant& result, std::initializer_list<TVariant> args) {
  VariantClear(&result);
  return DispInvoke(disp, id, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args.begin(), args.size(), &result);
}

HRESULT DispGetProperty(IDispatch* disp, const std::string& name, TVariant& result,
                        std::initializer_list<TVariant> args) {
  DISPID id;
  if (const HRESULT hr = DispIdOfName(disp, name, &id); FAILED(hr)) return hr;
  return DispGetProperty(disp, id, result, args);
}

HRESULT DispPutProperty(IDispatch* disp, const std::string& name, const TVariant& value) {
  DISPID id;
  if (const HRESULT hr = DispIdOfName(disp, name, &id); FAILED(hr)) return hr;
  return DispInvoke(disp, id, DISPATCH_PROPERTYPUT, &value, 1, nullptr);
}

HRESULT DispCallMethod(IDispatch* disp, const std::string& name, std::initializer_list<TVariant> args,
                       TVariant* result) {
  DISPID id;
  if (const HRESULT hr = DispIdOfName(disp, name, &id); FAILED(hr)) return hr;
  if (result) VariantClear(result);
  return DispInvoke(disp, id, DISPATCH_METHOD, args.begin(), args.size(), result);
}

std::string DispErrorText(HRESULT hr, const std::string& name) {
  switch (hr) {
    case DISP_E_UNKNOWNNAME: return "'" + name + "' not supported.";
    case DISP_E_MEMBERNOTFOUND: return "Member not found.";
    case DISP_E_TYPEMISMATCH: return "Type mismatch.";
    case DISP_E_BADPARAMCOUNT: return "Invalid number of parameters.";
    case DISP_E_PARAMNOTOPTIONAL: return "Parameter not optional.";
    case DISP_E_OVERFLOW: return "Out of present range.";
    case DISP_E_BADINDEX: return "Invalid index.";
    case DISP_E_EXCEPTION: return "Exception occurred.";
    case E_NOINTERFACE: return "No such interface supported";
    case E_POINTER: return "Invalid pointer";
    case E_INVALIDARG: return "The parameter is incorrect";
    case E_NOTIMPL: return "Not implemented";
    case E_OUTOFMEMORY: return "Not enough storage is available to complete this operation";
    default: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "Unspecified error (0x%08X)", static_cast<unsigned>(hr));
      return buf;
    }
  }
}

// ---- Implementing IDispatch ----

HRESULT LookupDispNames(const TDispMember* table, std::size_t count, LPOLESTR* rgszNames, UINT cNames,
                        DISPID* rgDispId) {
  if (!rgszNames || !rgDispId) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT n = 0; n < cNames; ++n) {
    rgDispId[n] = DISPID_UNKNOWN;
    // Named arguments (names after the first) are not supported here.
    if (n > 0 || !rgszNames[n]) {
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    const LPOLESTR name = rgszNames[n];
    for (std::size_t t = 0; t < count; ++t) {
      const char* entry = table[t].Name;
      std::size_t i = 0;
      for (; entry[i] && name[i]; ++i) {
        char16_t a = name[i];
        char b = entry[i];
        if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a - u'A' + u'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != static_cast<unsigned char>(b)) break;
      }
      if (!entry[i] && !name[i]) {
        rgDispId[n] = table[t].Id;
        break;
      }
    }
    if (rgDispId[n] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

UINT DispArgCount(const DISPPARAMS* params) {
  if (!params || params->cNamedArgs > params->cArgs) return 0;
  return params->cArgs - params->cNamedArgs;
}

const VARIANT* DispArg(const DISPPARAMS* params, UINT i) {
  if (!params || !params->rgvarg) return nullptr;
  const UINT n = DispArgCount(params);
  if (i >= n) return nullptr;
  // Named arguments come first in rgvarg; positional ones follow, last first.
  const VARIANT* v = &params->rgvarg[params->cNamedArgs + (n - 1 - i)];
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  return v;
}

}  // namespace win
