// Registering type libraries and in-process classes under HKEY_CLASSES_ROOT,
// with the keys Windows writes:
//
//   TypeLib\{libid}\<major>.<minor>            default: the library's help string
//     ...\<lcid>\win64 (win32)                 default: the module's path
//     ...\FLAGS                                default: the library flags
//     ...\HELPDIR                              default: the help folder
//   Interface\{iid}                            default: the interface's name
//     ...\ProxyStubClsid, ProxyStubClsid32     default: the Automation marshaller
//     ...\TypeLib                              default: {libid}, "Version": <major>.<minor>
//
// Versions and the locale are written in hexadecimal, as Windows does.
#pragma once

#include <string>

#include "platform/com/TypeLib.h"

namespace win {

// Writes the library's keys and those of its dispatch interfaces.
// TYPE_E_REGISTRYACCESS when a key or value cannot be written.
HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
// Removes the library version's key with everything under it, the library's
// key once no version is left, and the keys of the interfaces registered for
// that library version. TYPE_E_LIBNOTREGISTERED when the version is not
// registered for that locale and system kind.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind);
// The registered library with that major version and at least that minor
// version (the highest such). TYPE_E_LIBNOTREGISTERED when there is none.
HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);

// What an in-process server writes for one class: the keys of its class
// identifier and its ProgID, in this order, creating what is missing:
// CLSID\{clsid} (default: Description), its InprocServer32 (default: the
// module path; "ThreadingModel"), <ProgID> (default: Description), its Clsid,
// the class key's ProgID, Version ("%d.%d") and TypeLib ({libid}).
struct TComClassRegistration {
  CLSID Clsid;
  std::string ProgId;
  std::string Description;
  std::string ModulePath;
  std::string ThreadingModel = "Apartment";
  GUID LibId;
  WORD MajorVersion = 1;
  WORD MinorVersion = 0;
};
// Stops at the first key or value that cannot be written (what was written
// before stays) and answers its Win32 error as an HRESULT.
HRESULT RegisterComClass(const TComClassRegistration& r);
// Deletes, each as a single key and ignoring failures: the class key's
// TypeLib, Version and ProgID, the ProgID's Clsid, the ProgID key, the class
// key's InprocServer32, the class key. A key that something else gave
// subkeys stays.
void UnregisterComClass(const CLSID& clsid, const std::string& progId);

// The full path of the module (program or shared object) that holds the
// address, for a server to name itself; empty when none does.
std::string ModuleFileOf(const void* address);

}  // namespace win
