// A small in-process server for the COM tests: one class, "VorraComTest.Calc",
// described by the module's own type library. Built once with the class
// factory export and once without it (COM_TEST_NO_FACTORY).
#include <string>

#include "platform/com/Automation.h"
#include "platform/com/ClassFactory.h"
#include "platform/com/Registration.h"
#include "platform/com/TypeLib.h"

using namespace win;

namespace {

const GUID LIBID_CalcLib{0x5A1C0DE0, 0x1111, 0x4A4A, {0x9B, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44, 0x01}};
const IID IID_ICalc{0x5A1C0DE0, 0x1111, 0x4A4A, {0x9B, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44, 0x02}};
const CLSID CLSID_Calc{0x5A1C0DE0, 0x1111, 0x4A4A, {0x9B, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44, 0x03}};
constexpr char ProgId[] = "VorraComTest.Calc";
// A failure of our own, to see that the object's code reaches the caller.
constexpr HRESULT E_CALC = static_cast<HRESULT>(0x80041234);

constexpr TParamInfo AddParams[] = {{"A", VT_I4}, {"B", VT_I4}};
constexpr TParamInfo TextParam[] = {{"Text", VT_BSTR}};
constexpr TParamInfo ValueParam[] = {{"Value", VT_BSTR}};
const TMemberInfo CalcMembers[] = {
    {"Add", 1, INVOKE_FUNC, VT_I4, AddParams, "Adds two numbers"},
    {"Echo", 2, INVOKE_FUNC, VT_BSTR, TextParam},
    {"Fail", 3, INVOKE_FUNC, VT_EMPTY, TextParam},
    {"Caption", 4, INVOKE_PROPERTYGET, VT_BSTR, {}},
    {"Caption", 4, INVOKE_PROPERTYPUT, VT_EMPTY, ValueParam},
};
const TInterfaceInfo Interfaces[] = {
    {IID_ICalc, "ICalc", "Dispatch interface for Calc Object", TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION |
     TYPEFLAG_FDISPATCHABLE, CalcMembers},
};
const IID CalcInterfaces[] = {IID_ICalc};
const TCoClassInfo CoClasses[] = {{CLSID_Calc, "Calc", "Calc Object", TYPEFLAG_FCANCREATE, CalcInterfaces}};
const TTypeLibInfo Library{LIBID_CalcLib, "CalcLib", "Calc Library", 1, 0, 0, 0, Interfaces, CoClasses};

TComServerCounts g_counts;

class TCalc : public TAutoObject {
 public:
  using TAutoObject::TAutoObject;

  HRESULT InvokeMember(DISPID id, INVOKEKIND kind, std::span<TVariant> args, VARIANT* result) override {
    switch (id) {
      case 1:
        result->vt = VT_I4;
        result->lVal = args[0].lVal + args[1].lVal;
        return S_OK;
      case 2:
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringUtf8(BstrToUtf8(args[0].bstrVal));
        return S_OK;
      case 3: return SetOleError(IID_ICalc, ProgId, BstrToUtf8(args[0].bstrVal), E_CALC);
      case 4:
        if (kind == INVOKE_PROPERTYPUT) {
          caption_ = BstrToUtf8(args[0].bstrVal);
          return S_OK;
        }
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringUtf8(caption_);
        return S_OK;
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  std::string caption_;
};

class TCalcFactory : public TClassFactory {
 public:
  explicit TCalcFactory(ITypeLib* lib) : TClassFactory(&g_counts), lib_(lib) {}

 protected:
  HRESULT CreateObject(IUnknown** object) override {
    TComPtr<ITypeInfo> iface, cls;
    if (!lib_ || FAILED(lib_->GetTypeInfoOfGuid(IID_ICalc, iface.Put())) ||
        FAILED(lib_->GetTypeInfoOfGuid(CLSID_Calc, cls.Put())))
      return E_UNEXPECTED;
    *object = static_cast<IDispatch*>(new TCalc(iface.Get(), cls.Get(), &g_counts));
    return S_OK;
  }

 private:
  TComPtr<ITypeLib> lib_;
};

// Made when the module loads, freed when it goes.
struct TServer {
  TComPtr<ITypeLib> Lib;
  TComPtr<TCalcFactory> Factory;
  TServer() {
    CreateTypeLibFromInfo(Library, Lib.Put());
    Factory = TComPtr<TCalcFactory>::Attach(new TCalcFactory(Lib.Get()));
  }
} g_server;

std::u16string Wide(const std::string& s) { return Utf8ToUtf16(s); }

}  // namespace

extern "C" {

const TTypeLibInfo* VorraTypeLibInfo() { return &Library; }

#ifndef COM_TEST_NO_FACTORY
HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_Calc)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_server.Factory->QueryInterface(riid, ppv);
}
#endif

HRESULT DllCanUnloadNow() { return g_counts.CanUnloadNow(); }

HRESULT DllRegisterServer() {
  const std::string path = ModuleFileOf(reinterpret_cast<const void*>(&DllCanUnloadNow));
  const std::string folder = path.substr(0, path.find_last_of('/'));
  if (FAILED(RegisterTypeLib(g_server.Lib.Get(), Wide(path).c_str(), Wide(folder).c_str()))) return E_FAIL;
  TComClassRegistration r{CLSID_Calc, ProgId, "Calc Object", path, "Apartment", LIBID_CalcLib, 1, 0};
  return SUCCEEDED(RegisterComClass(r)) ? S_OK : E_FAIL;
}

HRESULT DllUnregisterServer() {
  const HRESULT hr = UnRegisterTypeLib(LIBID_CalcLib, 1, 0, 0, SYS_NATIVE);
  UnregisterComClass(CLSID_Calc, ProgId);
  return SUCCEEDED(hr) ? S_OK : E_FAIL;
}

}  // extern "C"
