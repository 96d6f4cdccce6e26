#include "platform/com/ComRegistry.h"

#include <vector>

namespace win {

LONG ReadRegText(HKEY root, const std::string& key, const char* valueName, std::string& text) {
  HKEY k = nullptr;
  if (const LONG rc = RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &k); rc != ERROR_SUCCESS) return rc;
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExA(k, valueName, nullptr, &type, nullptr, &size);
  if (rc == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ) rc = ERROR_INVALID_DATA;
  std::vector<char> data(size + 1, '\0');
  if (rc == ERROR_SUCCESS) rc = RegQueryValueExA(k, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  RegCloseKey(k);
  if (rc != ERROR_SUCCESS) return rc;
  text.assign(data.data());  // up to the terminating zero
  return ERROR_SUCCESS;
}

LONG WriteRegText(HKEY root, const std::string& key, const char* valueName, const std::string& text) {
  HKEY k = nullptr;
  LONG rc = RegCreateKeyExA(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &k, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(k, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                      static_cast<DWORD>(text.size() + 1));
  RegCloseKey(k);
  return rc;
}

LONG DeleteRegTree(HKEY root, const std::string& key) {
  HKEY k = nullptr;
  LONG rc = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k);
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::string> children;
  for (DWORD i = 0;; ++i) {
    char name[RegMaxKeyNameLength + 1];
    DWORD length = sizeof name;
    rc = RegEnumKeyExA(k, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    children.emplace_back(name, length);
  }
  RegCloseKey(k);
  if (rc != ERROR_NO_MORE_ITEMS) return rc;
  for (const std::string& child : children)
    if (const LONG r = DeleteRegTree(root, key + "\\" + child); r != ERROR_SUCCESS) return r;
  rc = RegDeleteKeyA(root, key.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

}  // namespace win
