#include <dlfcn.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/ComObjects.h"
#include "platform/com/ComRegistry.h"
#include "platform/com/Registration.h"
#include "platform/win/Modules.h"
#include "tests/support/TestSupport.h"

namespace win {
namespace {

using vorra::test::TScopedEnv;
using vorra::test::TTempDir;

const CLSID CLSID_Calc = MakeGuid("{5A1C0DE0-1111-4A4A-9B01-001122334403}");
const IID IID_ICalc = MakeGuid("{5A1C0DE0-1111-4A4A-9B01-001122334402}");
const GUID LIBID_CalcLib = MakeGuid("{5A1C0DE0-1111-4A4A-9B01-001122334401}");
constexpr HRESULT E_CALC = static_cast<HRESULT>(0x80041234);

// Every key under HKEY_CLASSES_ROOT with its values, one line each.
void DumpTree(const std::string& key, std::vector<std::string>& out) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
  std::vector<std::string> children;
  char name[512];
  for (DWORD i = 0;; ++i) {
    DWORD n = sizeof name;
    if (RegEnumKeyExA(k, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(name, n);
  }
  for (DWORD i = 0;; ++i) {
    DWORD n = sizeof name;
    if (RegEnumValueA(k, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.push_back(key + " = " + std::string(name, n));
  }
  RegCloseKey(k);
  out.push_back(key);
  for (const std::string& c : children) DumpTree(key.empty() ? c : key + "\\" + c, out);
}

std::vector<std::string> ClassesRoot() {
  std::vector<std::string> out;
  DumpTree("", out);
  return out;
}

HRESULT CallExport(const char* module, const char* name) {
  HMODULE m = LoadLibraryA(module);
  if (!m) return CO_E_DLLNOTFOUND;
  const auto fn = reinterpret_cast<HRESULT (*)()>(GetProcAddress(m, name));
  const HRESULT hr = fn ? fn() : E_NOTIMPL;
  FreeLibrary(m);
  return hr;
}

bool Loaded(const char* module) {
  void* h = dlopen(module, RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

std::string Read(const std::string& key, const char* value = nullptr) {
  std::string text;
  return ReadRegText(HKEY_CLASSES_ROOT, key, value, text) == ERROR_SUCCESS ? text : "<none>";
}

class ComServerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CoFreeUnusedLibraries();
    CloseRegistryStore();
  }

  void Register() { ASSERT_EQ(CallExport(COM_TEST_SERVER, "DllRegisterServer"), S_OK); }

  TComPtr<IDispatch> Create() {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"VorraComTest.Calc", &clsid), S_OK);
    TComPtr<IDispatch> disp;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(disp.Put())),
              S_OK);
    return disp;
  }

  TTempDir home_;
  TScopedEnv env_{"VORRA_HOME", home_.Path().string()};
};

TEST_F(ComServerTest, ProgIdMakesAnObjectCalledByNameIgnoringCaseAndByDispid) {
  Register();
  TComPtr<IDispatch> calc = Create();
  ASSERT_TRUE(calc);

  TVariant sum;
  ASSERT_EQ(DispCallMethod(calc.Get(), "aDD", {TVariant::Int(2), TVariant::Text("40")}, &sum), S_OK);
  EXPECT_EQ(sum.vt, VT_I4);
  EXPECT_EQ(sum.lVal, 42);

  TVariant echo;
  const TVariant text = TVariant::Text("h\xC3\xA9llo");
  ASSERT_EQ(DispInvoke(calc.Get(), 2, DISPATCH_METHOD, &text, 1, &echo), S_OK);
  std::string got;
  ASSERT_TRUE(echo.ToText(got));
  EXPECT_EQ(got, "h\xC3\xA9llo");

  ASSERT_EQ(DispPutProperty(calc.Get(), "caption", TVariant::Text("set")), S_OK);
  TVariant caption;
  ASSERT_EQ(DispGetProperty(calc.Get(), "CAPTION", caption), S_OK);
  ASSERT_TRUE(caption.ToText(got));
  EXPECT_EQ(got, "set");

  // What the description rules out.
  DISPID id;
  EXPECT_EQ(DispIdOfName(calc.Get(), "Subtract", &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(DispCallMethod(calc.Get(), "Add", {TVariant::Int(1)}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(DispCallMethod(calc.Get(), "Add", {TVariant::Int(1), TVariant::Int(2), TVariant::Int(3)}),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(DispCallMethod(calc.Get(), "Add", {TVariant::Int(1), TVariant::Text("x")}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(DispInvoke(calc.Get(), 99, DISPATCH_METHOD, nullptr, 0, nullptr), DISP_E_MEMBERNOTFOUND);

  // The type information the object serves.
  UINT count = 0;
  ASSERT_EQ(calc->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  TComPtr<ITypeInfo> info;
  EXPECT_EQ(calc->GetTypeInfo(1, 0, info.Put()), DISP_E_BADINDEX);
  ASSERT_EQ(calc->GetTypeInfo(0, 0, info.Put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualIID(attr->guid, IID_ICalc));
  EXPECT_EQ(attr->cFuncs, 5);
  info->ReleaseTypeAttr(attr);

  TComPtr<IProvideClassInfo> provide;
  ASSERT_EQ(calc.As(IID_IProvideClassInfo, provide), S_OK);
  TComPtr<ITypeInfo> cls;
  ASSERT_EQ(provide->GetClassInfo(cls.Put()), S_OK);
  BSTR name = nullptr, doc = nullptr;
  ASSERT_EQ(cls->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr), S_OK);
  EXPECT_EQ(BstrToUtf8(name), "Calc");
  EXPECT_EQ(BstrToUtf8(doc), "Calc Object");
  SysFreeString(name);
  SysFreeString(doc);
  HREFTYPE ref = 0;
  int flags = 0;
  TComPtr<ITypeInfo> implemented;
  ASSERT_EQ(cls->GetRefTypeOfImplType(0, &ref), S_OK);
  ASSERT_EQ(cls->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  ASSERT_EQ(cls->GetRefTypeInfo(ref, implemented.Put()), S_OK);
  ASSERT_EQ(implemented->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualIID(attr->guid, IID_ICalc));

  TComPtr<IUnknown> dual;
  EXPECT_EQ(calc.As(IID_ICalc, dual), S_OK);

  LPOLESTR progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(CLSID_Calc, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), u"VorraComTest.Calc");
  CoTaskMemFree(progId);
}

TEST_F(ComServerTest, ErrorInformationReachesTheCallerThroughExcepInfo) {
  Register();
  TComPtr<IDispatch> calc = Create();
  ASSERT_TRUE(calc);
  TComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(calc.As(IID_ISupportErrorInfo, support), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ICalc), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_ITypeLib), S_FALSE);

  const TVariant why = TVariant::Text("disk on fire");
  EXCEPINFO info;
  EXPECT_EQ(DispInvoke(calc.Get(), 3, DISPATCH_METHOD, &why, 1, nullptr, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, E_CALC);
  EXPECT_EQ(BstrToUtf8(info.bstrSource), "VorraComTest.Calc");
  EXPECT_EQ(BstrToUtf8(info.bstrDescription), "disk on fire");
  ClearExcepInfo(&info);
}

TEST_F(ComServerTest, CreationFailuresAnswerAsWindowsDoes) {
  Register();
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(u"VorraComTest.Nothing", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"", &clsid), CO_E_CLASSSTRING);
  ASSERT_EQ(WriteRegText(HKEY_CLASSES_ROOT, "Broken.Class\\CLSID", nullptr, "not a guid"), ERROR_SUCCESS);
  EXPECT_EQ(CLSIDFromProgID(u"Broken.Class", &clsid), CO_E_CLASSSTRING);

  auto create = [](const char* clsidText, DWORD context = CLSCTX_INPROC_SERVER) {
    TComPtr<IUnknown> unk;
    const HRESULT hr =
        CoCreateInstance(MakeGuid(clsidText), nullptr, context, IID_IUnknown, reinterpret_cast<void**>(unk.Put()));
    EXPECT_EQ(FAILED(hr), !unk);
    return hr;
  };
  const std::string calc = GuidToString(CLSID_Calc);
  EXPECT_EQ(create("{00000000-0000-0000-0000-0000000000AA}"), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(create(calc.c_str(), CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG);

  const char* missing = "{00000000-0000-0000-0000-0000000000AB}";
  ASSERT_EQ(WriteRegText(HKEY_CLASSES_ROOT, std::string("CLSID\\") + missing, nullptr, "no server"), ERROR_SUCCESS);
  EXPECT_EQ(create(missing), REGDB_E_CLASSNOTREG);
  ASSERT_EQ(WriteRegText(HKEY_CLASSES_ROOT, std::string("CLSID\\") + missing + "\\InprocServer32", nullptr,
                         home_ / "gone.so"),
            ERROR_SUCCESS);
  EXPECT_EQ(create(missing), CO_E_DLLNOTFOUND);

  const char* bare = "{00000000-0000-0000-0000-0000000000AC}";
  ASSERT_EQ(WriteRegText(HKEY_CLASSES_ROOT, std::string("CLSID\\") + bare + "\\InprocServer32", nullptr,
                         COM_TEST_SERVER_BARE),
            ERROR_SUCCESS);
  EXPECT_EQ(create(bare), CO_E_ERRORINDLL);

  // The server's module, asked for a class it does not serve.
  const char* other = "{00000000-0000-0000-0000-0000000000AD}";
  ASSERT_EQ(WriteRegText(HKEY_CLASSES_ROOT, std::string("CLSID\\") + other + "\\InprocServer32", nullptr,
                         COM_TEST_SERVER),
            ERROR_SUCCESS);
  EXPECT_EQ(create(other), CLASS_E_CLASSNOTAVAILABLE);
  // The module that was found wanting is not kept.
  EXPECT_FALSE(Loaded(COM_TEST_SERVER_BARE));
}

TEST_F(ComServerTest, ModuleStaysLoadedWhileItsObjectsOrFactoryLive) {
  Register();
  ASSERT_FALSE(Loaded(COM_TEST_SERVER));
  TComPtr<IDispatch> calc = Create();
  ASSERT_TRUE(calc);
  TComPtr<IDispatch> second = Create();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(Loaded(COM_TEST_SERVER));
  calc = nullptr;
  CoFreeUnusedLibraries();
  EXPECT_TRUE(Loaded(COM_TEST_SERVER));
  second = nullptr;
  CoFreeUnusedLibraries();
  EXPECT_FALSE(Loaded(COM_TEST_SERVER));

  // A client holding the class factory keeps the module too.
  TComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_Calc, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(factory.Put())),
            S_OK);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(Loaded(COM_TEST_SERVER));
  TComPtr<IUnknown> unk;
  EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IDispatch,
                                    reinterpret_cast<void**>(unk.Put())),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITypeLib, reinterpret_cast<void**>(unk.Put())), E_NOINTERFACE);
  factory = nullptr;
  CoFreeUnusedLibraries();
  EXPECT_FALSE(Loaded(COM_TEST_SERVER));
}

TEST_F(ComServerTest, UnregisteringLeavesNoKeyBehindAlsoWithSubkeysAdded) {
  // The shared parents, which a Windows registry always has.
  for (const char* parent : {"CLSID", "Interface", "TypeLib"})
    ASSERT_EQ(WriteRegText(HKEY_CLASSES_ROOT, parent, nullptr, ""), ERROR_SUCCESS);
  const std::vector<std::string> before = ClassesRoot();
  Register();
  const std::string lib = "TypeLib\\" + GuidToString(LIBID_CalcLib);
  const std::string iface = "Interface\\" + GuidToString(IID_ICalc);
  const std::string cls = "CLSID\\" + GuidToString(CLSID_Calc);
  const std::string folder = std::string(COM_TEST_SERVER).substr(0, std::string(COM_TEST_SERVER).rfind('/'));
  EXPECT_EQ(Read(lib + "\\1.0"), "Calc Library");
  EXPECT_EQ(Read(lib + "\\1.0\\0\\" + (sizeof(void*) == 8 ? "win64" : "win32")), COM_TEST_SERVER);
  EXPECT_EQ(Read(lib + "\\1.0\\HELPDIR"), folder);
  EXPECT_EQ(Read(iface), "ICalc");
  EXPECT_EQ(Read(iface + "\\TypeLib"), GuidToString(LIBID_CalcLib));
  EXPECT_EQ(Read(iface + "\\TypeLib", "Version"), "1.0");
  EXPECT_EQ(Read(iface + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(Read(cls + "\\InprocServer32"), COM_TEST_SERVER);
  EXPECT_EQ(Read(cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Read(cls + "\\Version"), "1.0");

  TComPtr<ITypeLib> loaded;
  ASSERT_EQ(LoadRegTypeLib(LIBID_CalcLib, 1, 0, 0, loaded.Put()), S_OK);
  EXPECT_EQ(loaded->GetTypeInfoCount(), 2u);
  EXPECT_EQ(LoadRegTypeLib(LIBID_CalcLib, 2, 0, 0, loaded.Put()), TYPE_E_LIBNOTREGISTERED);

  // Keys someone else put under the library's and the interface's.
  ASSERT_EQ(WriteRegText(HKEY_CLASSES_ROOT, lib + "\\1.0\\9\\win32", nullptr, "x"), ERROR_SUCCESS);
  ASSERT_EQ(WriteRegText(HKEY_CLASSES_ROOT, iface + "\\Forward\\Deeper", nullptr, "x"), ERROR_SUCCESS);

  ASSERT_EQ(CallExport(COM_TEST_SERVER, "DllUnregisterServer"), S_OK);
  EXPECT_EQ(ClassesRoot(), before);
  EXPECT_EQ(LoadRegTypeLib(LIBID_CalcLib, 1, 0, 0, loaded.Put()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(UnRegisterTypeLib(LIBID_CalcLib, 1, 0, 0, SYS_NATIVE), TYPE_E_LIBNOTREGISTERED);
}

}  // namespace
}  // namespace win
