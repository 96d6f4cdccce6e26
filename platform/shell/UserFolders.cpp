#include "platform/shell/UserFolders.h"

#include <cstdlib>
#include <filesystem>

namespace win {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string WithSlash(std::string p) {
  if (p.empty() || p.back() != '/') p += '/';
  return p;
}

}  // namespace

std::string GetUserFolder(TUserFolder which) {
  const std::string home = Env("VORRA_HOME");
  const char* sub = which == TUserFolder::ufConfig ? "config" : which == TUserFolder::ufCache ? "cache" : "data";
  if (!home.empty()) return WithSlash(home) + sub + '/';

  const char* var = which == TUserFolder::ufConfig  ? "XDG_CONFIG_HOME"
                    : which == TUserFolder::ufCache ? "XDG_CACHE_HOME"
                                                    : "XDG_DATA_HOME";
  std::string base = Env(var);
  // XDG says relative values are to be ignored.
  if (base.empty() || base[0] != '/') {
    const char* fallback = which == TUserFolder::ufConfig  ? ".config"
                           : which == TUserFolder::ufCache ? ".cache"
                                                           : ".local/share";
    std::string userHome = Env("HOME");
    if (userHome.empty()) userHome = "/tmp";
    base = WithSlash(userHome) + fallback;
  }
  return WithSlash(base) + "vorra/";
}

std::string GetProgramFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return WithSlash(std::filesystem::current_path(ec).string());
  return WithSlash(exe.parent_path().string());
}

}  // namespace win
