#include "platform/com/ComObjects.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/com/ComRegistry.h"
#include "platform/win/Modules.h"

namespace win {

namespace {

thread_local int t_initCount = 0;

struct TServerModule {
  std::string Path;
  HMODULE Module = nullptr;
  TDllGetClassObject GetClassObject = nullptr;
  TDllCanUnloadNow CanUnloadNow = nullptr;
};

// Server modules loaded for classes. Recursive: a server may create objects of
// other classes while it is asked for a factory.
struct TServers {
  std::recursive_mutex Lock;
  std::vector<TServerModule> Modules;
};

TServers& Servers() {
  static TServers* s = new TServers;  // outlives the statics of modules it holds
  return *s;
}

std::string ClassKey(REFCLSID clsid) { return "CLSID\\" + GuidToString(clsid); }

}  // namespace

HRESULT CoInitialize(LPVOID) { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

HRESULT CoInitializeEx(LPVOID, DWORD) { return t_initCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (t_initCount == 0 || --t_initCount > 0) return;
  SetErrorInfo(0, nullptr);
  CoFreeUnusedLibraries();
}

LPVOID CoTaskMemAlloc(std::size_t cb) { return std::malloc(cb ? cb : 1); }

void CoTaskMemFree(LPVOID pv) { std::free(pv); }

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  const std::string name = Utf16ToUtf8(progId, std::char_traits<char16_t>::length(progId));
  // An empty name would read the root's own CLSID key.
  std::string text;
  if (name.empty() || ReadRegText(HKEY_CLASSES_ROOT, name + "\\CLSID", nullptr, text) != ERROR_SUCCESS)
    return CO_E_CLASSSTRING;
  GUID g;
  if (!GuidFromString(text, g)) return CO_E_CLASSSTRING;
  *clsid = g;
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
  if (!progId) return E_INVALIDARG;
  *progId = nullptr;
  std::string text;
  if (ReadRegText(HKEY_CLASSES_ROOT, ClassKey(clsid) + "\\ProgID", nullptr, text) != ERROR_SUCCESS || text.empty())
    return REGDB_E_CLASSNOTREG;
  const std::u16string w = Utf8ToUtf16(text);
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((w.size() + 1) * sizeof(OLECHAR)));
  if (!out) return E_OUTOFMEMORY;
  std::memcpy(out, w.c_str(), (w.size() + 1) * sizeof(OLECHAR));
  *progId = out;
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  std::string path;
  if (ReadRegText(HKEY_CLASSES_ROOT, ClassKey(clsid) + "\\InprocServer32", nullptr, path) != ERROR_SUCCESS)
    return REGDB_E_CLASSNOTREG;
  if (path.empty()) return CO_E_DLLNOTFOUND;

  TServers& s = Servers();
  std::lock_guard lock(s.Lock);
  TServerModule* server = nullptr;
  for (TServerModule& m : s.Modules)
    if (m.Path == path) server = &m;
  if (!server) {
    TServerModule m;
    m.Path = path;
    m.Module = LoadLibraryA(path.c_str());
    if (!m.Module) return CO_E_DLLNOTFOUND;
    m.GetClassObject = reinterpret_cast<TDllGetClassObject>(GetProcAddress(m.Module, "DllGetClassObject"));
    if (!m.GetClassObject) {
      FreeLibrary(m.Module);
      return CO_E_ERRORINDLL;
    }
    m.CanUnloadNow = reinterpret_cast<TDllCanUnloadNow>(GetProcAddress(m.Module, "DllCanUnloadNow"));
    s.Modules.push_back(m);
    server = &s.Modules.back();
  }
  // The server may create objects through us meanwhile, which may grow the
  // table: keep the function, not the record.
  const TDllGetClassObject getClassObject = server->GetClassObject;
  return getClassObject(clsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  TComPtr<IClassFactory> factory;
  if (const HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory,
                                          reinterpret_cast<void**>(factory.Put()));
      FAILED(hr))
    return hr;
  if (!factory) return E_UNEXPECTED;
  return factory->CreateInstance(outer, riid, ppv);
}

void CoFreeUnusedLibraries() {
  TServers& s = Servers();
  std::lock_guard lock(s.Lock);
  // One module at a time: its DllCanUnloadNow may call back in.
  for (std::size_t i = 0; i < s.Modules.size();) {
    const TServerModule m = s.Modules[i];
    if (m.CanUnloadNow && m.CanUnloadNow() == S_OK) {
      s.Modules.erase(s.Modules.begin() + static_cast<std::ptrdiff_t>(i));
      FreeLibrary(m.Module);
    } else {
      ++i;
    }
  }
}

}  // namespace win
