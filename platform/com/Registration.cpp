#include "platform/com/Registration.h"

#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/com/ComRegistry.h"

namespace win {

namespace {

constexpr char PSOAInterface[] = "{00020424-0000-0000-C000-000000000046}";
constexpr char PSDispatch[] = "{00020420-0000-0000-C000-000000000046}";

std::string Hex(unsigned value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", value);
  return buf;
}

std::string VersionText(WORD major, WORD minor) { return Hex(major) + "." + Hex(minor); }

const char* SysName(SYSKIND kind) {
  switch (kind) {
    case SYS_WIN16: return "win16";
    case SYS_WIN32: return "win32";
    case SYS_MAC: return "mac";
    default: return "win64";
  }
}

std::string LibKey(REFGUID lib) { return "TypeLib\\" + GuidToString(lib); }

std::string ToUtf8(LPCOLESTR text) { return text ? Utf16ToUtf8(text, std::char_traits<char16_t>::length(text)) : ""; }

std::vector<std::string> SubkeyNames(const std::string& key) {
  std::vector<std::string> names;
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[RegMaxKeyNameLength + 1];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(k, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(k);
  return names;
}

// "<major>.<minor>" in hexadecimal, nothing else.
bool ParseVersion(const std::string& text, unsigned& major, unsigned& minor) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == text.size() || text.size() > 9) return false;
  auto parse = [](const std::string& part, unsigned& out) {
    out = 0;
    for (char c : part) {
      int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (v < 0) return false;
      out = out * 16 + static_cast<unsigned>(v);
    }
    return out <= 0xFFFF;
  };
  return parse(text.substr(0, dot), major) && parse(text.substr(dot + 1), minor);
}

}  // namespace

HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
  if (!lib || !fullPath) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  if (const HRESULT hr = lib->GetLibAttr(&attr); FAILED(hr)) return hr;
  const TLIBATTR a = *attr;
  lib->ReleaseTLibAttr(attr);
  BSTR docText = nullptr;
  lib->GetDocumentation(-1, nullptr, &docText, nullptr, nullptr);
  const std::string doc = BstrToUtf8(docText);
  SysFreeString(docText);

  const std::string path = ToUtf8(fullPath);
  std::string help = ToUtf8(helpDir);
  if (!helpDir) help = path.substr(0, path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/'));
  const std::string libId = GuidToString(a.guid);
  const std::string version = VersionText(a.wMajorVerNum, a.wMinorVerNum);
  const std::string key = LibKey(a.guid) + "\\" + version;

  bool ok = WriteRegText(HKEY_CLASSES_ROOT, key, nullptr, doc) == ERROR_SUCCESS &&
            WriteRegText(HKEY_CLASSES_ROOT, key + "\\" + Hex(a.lcid) + "\\" + SysName(a.syskind), nullptr, path) ==
                ERROR_SUCCESS &&
            WriteRegText(HKEY_CLASSES_ROOT, key + "\\FLAGS", nullptr, std::to_string(a.wLibFlags)) == ERROR_SUCCESS &&
            WriteRegText(HKEY_CLASSES_ROOT, key + "\\HELPDIR", nullptr, help) == ERROR_SUCCESS;

  for (UINT i = 0; ok && i < lib->GetTypeInfoCount(); ++i) {
    TYPEKIND kind;
    if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_DISPATCH) continue;
    TComPtr<ITypeInfo> info;
    TYPEATTR* ta = nullptr;
    if (FAILED(lib->GetTypeInfo(i, info.Put())) || FAILED(info->GetTypeAttr(&ta))) continue;
    const GUID iid = ta->guid;
    const bool dual = ta->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
    info->ReleaseTypeAttr(ta);
    BSTR nameText = nullptr;
    info->GetDocumentation(MEMBERID_NIL, &nameText, nullptr, nullptr, nullptr);
    const std::string name = BstrToUtf8(nameText);
    SysFreeString(nameText);

    const std::string ik = "Interface\\" + GuidToString(iid);
    const char* proxy = dual ? PSOAInterface : PSDispatch;
    ok = WriteRegText(HKEY_CLASSES_ROOT, ik, nullptr, name) == ERROR_SUCCESS &&
         WriteRegText(HKEY_CLASSES_ROOT, ik + "\\ProxyStubClsid", nullptr, proxy) == ERROR_SUCCESS &&
         WriteRegText(HKEY_CLASSES_ROOT, ik + "\\ProxyStubClsid32", nullptr, proxy) == ERROR_SUCCESS &&
         WriteRegText(HKEY_CLASSES_ROOT, ik + "\\TypeLib", nullptr, libId) == ERROR_SUCCESS &&
         WriteRegText(HKEY_CLASSES_ROOT, ik + "\\TypeLib", "Version", version) == ERROR_SUCCESS;
  }
  return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
  const std::string version = VersionText(major, minor);
  const std::string key = LibKey(libID) + "\\" + version;
  std::string path;
  if (ReadRegText(HKEY_CLASSES_ROOT, key + "\\" + Hex(lcid) + "\\" + SysName(syskind), nullptr, path) !=
      ERROR_SUCCESS)
    return TYPE_E_LIBNOTREGISTERED;

  bool ok = true;
  // The interfaces registered for this library version, found by their
  // TypeLib keys, so that no module file is needed to find them.
  for (const std::string& iid : SubkeyNames("Interface")) {
    const std::string ik = "Interface\\" + iid;
    std::string lib, ver;
    GUID g;
    if (ReadRegText(HKEY_CLASSES_ROOT, ik + "\\TypeLib", nullptr, lib) != ERROR_SUCCESS ||
        !GuidFromString(lib, g) || !IsEqualGUID(g, libID))
      continue;
    unsigned vmaj = 0, vmin = 0;
    if (ReadRegText(HKEY_CLASSES_ROOT, ik + "\\TypeLib", "Version", ver) != ERROR_SUCCESS ||
        !ParseVersion(ver, vmaj, vmin) || vmaj != major || vmin != minor)
      continue;
    ok = DeleteRegTree(HKEY_CLASSES_ROOT, ik) == ERROR_SUCCESS && ok;
  }
  ok = DeleteRegTree(HKEY_CLASSES_ROOT, key) == ERROR_SUCCESS && ok;
  if (SubkeyNames(LibKey(libID)).empty()) {
    const LONG rc = RegDeleteKeyA(HKEY_CLASSES_ROOT, LibKey(libID).c_str());
    ok = (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) && ok;
  }
  return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT LoadRegTypeLib(REFGUID rguid, WORD major, WORD minor, LCID lcid, ITypeLib** pptlib) {
  if (!pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  std::string best;
  unsigned bestMinor = 0;
  for (const std::string& name : SubkeyNames(LibKey(rguid))) {
    unsigned vmaj = 0, vmin = 0;
    if (ParseVersion(name, vmaj, vmin) && vmaj == major && vmin >= minor && (best.empty() || vmin > bestMinor)) {
      best = name;
      bestMinor = vmin;
    }
  }
  if (best.empty()) return TYPE_E_LIBNOTREGISTERED;
  const std::string key = LibKey(rguid) + "\\" + best + "\\";
  std::string path;
  if (ReadRegText(HKEY_CLASSES_ROOT, key + Hex(lcid) + "\\" + SysName(SYS_NATIVE), nullptr, path) != ERROR_SUCCESS &&
      ReadRegText(HKEY_CLASSES_ROOT, key + "0\\" + SysName(SYS_NATIVE), nullptr, path) != ERROR_SUCCESS)
    return TYPE_E_LIBNOTREGISTERED;
  const std::u16string w = Utf8ToUtf16(path);
  return LoadTypeLib(w.c_str(), pptlib);
}

HRESULT RegisterComClass(const TComClassRegistration& r) {
  const std::string classKey = "CLSID\\" + GuidToString(r.Clsid);
  char version[16];
  std::snprintf(version, sizeof version, "%d.%d", r.MajorVersion, r.MinorVersion);
  const struct {
    std::string Key;
    const char* Value;
    std::string Data;
  } steps[] = {
      {classKey, nullptr, r.Description},
      {classKey + "\\InprocServer32", nullptr, r.ModulePath},
      {classKey + "\\InprocServer32", "ThreadingModel", r.ThreadingModel},
      {r.ProgId, nullptr, r.Description},
      {r.ProgId + "\\Clsid", nullptr, GuidToString(r.Clsid)},
      {classKey + "\\ProgID", nullptr, r.ProgId},
      {classKey + "\\Version", nullptr, version},
      {classKey + "\\TypeLib", nullptr, GuidToString(r.LibId)},
  };
  // An empty ProgID would write into the root itself.
  if (r.ProgId.empty()) return E_INVALIDARG;
  for (const auto& s : steps)
    if (const LONG rc = WriteRegText(HKEY_CLASSES_ROOT, s.Key, s.Value, s.Data); rc != ERROR_SUCCESS)
      return HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
  return S_OK;
}

void UnregisterComClass(const CLSID& clsid, const std::string& progId) {
  const std::string classKey = "CLSID\\" + GuidToString(clsid);
  std::vector<std::string> keys = {classKey + "\\TypeLib", classKey + "\\Version", classKey + "\\ProgID"};
  if (!progId.empty()) {
    keys.push_back(progId + "\\Clsid");
    keys.push_back(progId);
  }
  keys.push_back(classKey + "\\InprocServer32");
  keys.push_back(classKey);
  for (const std::string& k : keys) RegDeleteKeyA(HKEY_CLASSES_ROOT, k.c_str());
}

std::string ModuleFileOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

}  // namespace win
