#include "main/Settings.h"

#include "common/MovieAddress.h"
#include "framework/Registry.h"
#include "main/AppFiles.h"

namespace vorra {

std::string ReadDefaultDir() {
  std::string folder;
  TRegistry reg;
  reg.SetRootKey(win::HKEY_CURRENT_USER);
  if (reg.OpenKey(SettingsKey, true)) {
    folder = reg.ReadString("DefaultDir");
    reg.CloseKey();
  }
  if (folder.empty()) folder = DefaultFlashFolder();
  return AddTrailingBackslash(folder);
}

bool WriteDefaultDir(const std::string& folder) {
  TRegistry reg;
  reg.SetRootKey(win::HKEY_CURRENT_USER);
  if (!reg.OpenKey(SettingsKey, true)) return false;
  reg.WriteString("DefaultDir", folder);
  reg.CloseKey();
  return true;
}

}  // namespace vorra
