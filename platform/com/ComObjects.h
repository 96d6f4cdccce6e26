// Making objects of registered classes, as the COM library does it: the
// ProgID and the class are looked up under HKEY_CLASSES_ROOT, the class's
// InprocServer32 module is loaded and asked for its class factory, and
// modules that no longer serve anything are unloaded on request.
//
// Only in-process servers exist here. Every thread is its own apartment and
// objects are called on the thread that made them; CoInitialize is counted
// but not required.
#pragma once

#include <cstddef>

#include "platform/com/ClassFactory.h"
#include "platform/com/Com.h"

namespace win {

using LPCLSID = CLSID*;
using LPUNKNOWN = IUnknown*;

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;

// S_OK on the thread's first call, S_FALSE on the ones after it.
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// The last call of the thread drops its error information and unloads the
// modules that answer DllCanUnloadNow with S_OK.
void CoUninitialize();

// Memory that COM hands to the caller (ProgIDFromCLSID's text).
LPVOID CoTaskMemAlloc(std::size_t cb);
void CoTaskMemFree(LPVOID pv);

// HKCR\<ProgID>\CLSID. CO_E_CLASSSTRING for an unknown ProgID or a class
// identifier text that is not one; E_INVALIDARG for null arguments.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// HKCR\CLSID\{...}\ProgID, in memory from CoTaskMemAlloc. REGDB_E_CLASSNOTREG
// when the class has none.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// The class factory (or other interface) of a class served in-process: the
// module named by HKCR\CLSID\{...}\InprocServer32 is loaded once and kept
// until CoFreeUnusedLibraries finds it idle. REGDB_E_CLASSNOTREG when the
// class or its InprocServer32 entry is missing or only other contexts are
// asked for; CO_E_DLLNOTFOUND when the module cannot be loaded;
// CO_E_ERRORINDLL when it lacks DllGetClassObject; otherwise the module's
// answer (CLASS_E_CLASSNOTAVAILABLE for a class it does not serve).
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv);
// CoGetClassObject for IClassFactory, then CreateInstance. E_INVALIDARG for a
// null ppv.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

// Asks every loaded server module DllCanUnloadNow and unloads those that
// answer S_OK. Modules without that export stay.
void CoFreeUnusedLibraries();

}  // namespace win
