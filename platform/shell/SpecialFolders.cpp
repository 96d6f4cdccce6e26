#include "platform/shell/SpecialFolders.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/win/Errors.h"

namespace win {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string WithoutSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// An XDG base folder; relative values are ignored, as XDG says. Under
// VORRA_HOME the environment's own folders are not looked at.
std::string BaseFolder(const char* var, const char* fallback) {
  std::string v = Env("VORRA_HOME").empty() ? Env(var) : std::string();
  if (v.empty() || v[0] != '/') return GetHomeFolder() + "/" + fallback;
  return WithoutSlash(v);
}

// A value of user-dirs.dirs: "$HOME/Desktop" or an absolute path, quoted.
std::string UserDir(const char* key, const char* fallback) {
  const std::string home = GetHomeFolder();
  std::ifstream in(BaseFolder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
  std::string line;
  const std::string prefix = std::string(key) + "=";
  while (std::getline(in, line)) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    std::string v = line.substr(prefix.size());
    if (v.size() < 2 || v.front() != '"' || v.back() != '"') continue;
    v = v.substr(1, v.size() - 2);
    if (v.compare(0, 5, "$HOME") == 0) v = home + v.substr(5);
    if (v.empty() || v[0] != '/') continue;
    return WithoutSlash(v);
  }
  return home + "/" + fallback;
}

struct TLocation {
  std::string Path;
  std::string IconName;
};

bool Locate(int csidl, TLocation& out) {
  switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: out = {UserDir("XDG_DESKTOP_DIR", "Desktop"), "user-desktop"}; return true;
    case CSIDL_PERSONAL: out = {UserDir("XDG_DOCUMENTS_DIR", "Documents"), "folder-documents"}; return true;
    case CSIDL_TEMPLATES: out = {UserDir("XDG_TEMPLATES_DIR", "Templates"), "folder-templates"}; return true;
    case CSIDL_PROGRAMS:
    case CSIDL_STARTMENU:
      out = {BaseFolder("XDG_DATA_HOME", ".local/share") + "/applications", "folder"};
      return true;
    case CSIDL_STARTUP: out = {BaseFolder("XDG_CONFIG_HOME", ".config") + "/autostart", "folder"}; return true;
    case CSIDL_BITBUCKET: out = {BaseFolder("XDG_DATA_HOME", ".local/share") + "/Trash", "user-trash"}; return true;
    case CSIDL_FONTS: out = {BaseFolder("XDG_DATA_HOME", ".local/share") + "/fonts", "folder"}; return true;
    case CSIDL_APPDATA: out = {BaseFolder("XDG_CONFIG_HOME", ".config"), "folder"}; return true;
    case CSIDL_DRIVES: out = {"/", "computer"}; return true;
    case CSIDL_PROFILE: out = {GetHomeFolder(), "user-home"}; return true;
    default: return false;  // printers, control panel, network, recent, send-to...
  }
}

constexpr int kIconFolders[] = {CSIDL_BITBUCKET, CSIDL_DESKTOP, CSIDL_PERSONAL, CSIDL_TEMPLATES, CSIDL_DRIVES,
                                CSIDL_PROFILE};

}  // namespace

std::string GetHomeFolder() {
  std::string home = Env("VORRA_HOME");
  if (home.empty()) home = Env("HOME");
  if (home.empty() || home[0] != '/') home = "/tmp";
  return WithoutSlash(home);
}

HRESULT SHGetSpecialFolderLocation(HWND, int csidl, LPITEMIDLIST* ppidl) {
  if (!ppidl) return E_INVALIDARG;
  *ppidl = nullptr;
  TLocation found;
  if (!Locate(csidl, found)) return E_FAIL;
  *ppidl = ILCreateFromPathA(found.Path.c_str());
  return *ppidl ? S_OK : E_FAIL;
}

std::string SpecialFolderIconName(const std::string& path) {
  const std::string wanted = WithoutSlash(path);
  for (int csidl : kIconFolders) {
    TLocation l;
    if (Locate(csidl, l) && l.Path == wanted) return l.IconName;
  }
  return {};
}

BOOL SHGetSpecialFolderPathA(HWND hwnd, LPSTR pszPath, int csidl, BOOL fCreate) {
  LPITEMIDLIST pidl = nullptr;
  if (SHGetSpecialFolderLocation(hwnd, csidl, &pidl) != S_OK) return FALSE;
  const BOOL ok = SHGetPathFromIDListA(pidl, pszPath);
  std::error_code ec;
  if (ok && fCreate) std::filesystem::create_directories(pszPath, ec);
  ILFree(pidl);
  return ok;
}

}  // namespace win
