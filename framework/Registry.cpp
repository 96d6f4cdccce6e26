#include "framework/Registry.h"

#include <cstring>

namespace vorra {

using namespace win;

namespace {

bool IsRelative(const std::string& key) { return key.empty() || key[0] != '\\'; }

std::string WithoutLeadingSlash(const std::string& key) { return IsRelative(key) ? key : key.substr(1); }

std::string Join(const std::string& path, const std::string& name) {
  if (path.empty()) return name;
  if (name.empty()) return path;
  return path + '\\' + name;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

std::string Format(const char* pattern, const std::string& name) {
  std::string text(pattern);
  text.replace(text.find("%s"), 2, name);
  return text;
}

[[noreturn]] void ReadError(const std::string& name) {
  throw ERegistryException(Format("Invalid data type for '%s'", name));
}

[[noreturn]] void GetDataError(const std::string& name, LONG rc) {
  throw ERegistryException(Format("Failed to get data for '%s'", name), HRESULT_FROM_WIN32(static_cast<DWORD>(rc)));
}

[[noreturn]] void SetDataError(const std::string& name, LONG rc) {
  throw ERegistryException(Format("Failed to set data for '%s'", name), HRESULT_FROM_WIN32(static_cast<DWORD>(rc)));
}

// Names are read by index until the end; a buffer that is too small grows.
// Keys from a damaged store may be longer than the registry allows, hence the cap.
template <typename F>
std::vector<std::string> EnumNames(F enumerate) {
  std::vector<std::string> names;
  std::string buf(256, '\0');
  for (DWORD index = 0;;) {
    DWORD size = static_cast<DWORD>(buf.size());
    const LONG rc = enumerate(index, buf.data(), &size);
    if (rc == static_cast<LONG>(ERROR_MORE_DATA) && buf.size() < (1u << 20)) {
      buf.resize(buf.size() * 2);
      continue;
    }
    if (rc != static_cast<LONG>(ERROR_SUCCESS)) break;
    names.emplace_back(buf.data(), size);
    ++index;
  }
  return names;
}

std::vector<std::string> SubkeyNames(HKEY key) {
  return EnumNames([key](DWORD i, LPSTR buf, LPDWORD size) {
    return RegEnumKeyExA(key, i, buf, size, nullptr, nullptr, nullptr, nullptr);
  });
}

}  // namespace

TRegistry::TRegistry(REGSAM access) : access_(access) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY root) {
  CloseKey();
  root_ = root;
}

HKEY TRegistry::BaseKey(bool relative) const { return relative && current_ ? current_ : root_; }

void TRegistry::ChangeKey(HKEY key, const std::string& path) {
  CloseKey();
  current_ = key;
  currentPath_ = path;
}

void TRegistry::CloseKey() {
  if (current_) RegCloseKey(current_);
  current_ = nullptr;
  currentPath_.clear();
}

HKEY TRegistry::OpenHandle(const std::string& key, REGSAM access) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(BaseKey(IsRelative(key)), WithoutLeadingSlash(key).c_str(), 0, access, &k) != 0) return nullptr;
  return k;
}

bool TRegistry::Open(const std::string& key, bool canCreate, REGSAM access) {
  const bool relative = IsRelative(key);
  const std::string sub = WithoutLeadingSlash(key);
  HKEY k = nullptr;
  const LONG rc = !canCreate || sub.empty()
                      ? RegOpenKeyExA(BaseKey(relative), sub.c_str(), 0, access, &k)
                      : RegCreateKeyExA(BaseKey(relative), sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                        nullptr, &k, nullptr);
  if (rc != 0) return false;
  ChangeKey(k, relative && current_ ? Join(currentPath_, sub) : sub);
  return true;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) { return Open(key, canCreate, access_); }

bool TRegistry::OpenKeyReadOnly(const std::string& key) { return Open(key, false, KEY_READ); }

bool TRegistry::KeyExists(const std::string& key) {
  const HKEY k = OpenHandle(key, STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
  if (k) RegCloseKey(k);
  return k != nullptr;
}

bool TRegistry::ValueExists(const std::string& name) {
  DWORD size = 0;
  return RegQueryValueExA(current_, name.c_str(), nullptr, nullptr, nullptr, &size) == 0;
}

bool TRegistry::DeleteKey(const std::string& key) {
  const HKEY base = BaseKey(IsRelative(key));
  // Depth first without recursion, so a deep tree cannot exhaust the stack:
  // an entry's subkeys are pushed on its first visit, and it is deleted on
  // its second, when they are gone.
  struct TEntry {
    std::string path;
    bool expanded;
  };
  std::vector<TEntry> stack{{WithoutLeadingSlash(key), false}};
  while (true) {
    if (!stack.back().expanded) {
      stack.back().expanded = true;
      const std::string path = stack.back().path;
      HKEY k = nullptr;
      if (RegOpenKeyExA(base, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &k) == 0) {
        // An empty name (only a damaged store has one) would name the same key again.
        for (const std::string& name : SubkeyNames(k))
          if (!name.empty()) stack.push_back({Join(path, name), false});
        RegCloseKey(k);
      }
      continue;
    }
    const std::string path = stack.back().path;
    stack.pop_back();
    const bool deleted = RegDeleteKeyA(base, path.c_str()) == 0;
    if (stack.empty()) return deleted;
  }
}

bool TRegistry::DeleteValue(const std::string& name) { return RegDeleteValueA(current_, name.c_str()) == 0; }

std::vector<std::string> TRegistry::GetKeyNames() { return current_ ? SubkeyNames(current_) : std::vector<std::string>(); }

std::vector<std::string> TRegistry::GetValueNames() {
  if (!current_) return {};
  const HKEY key = current_;
  return EnumNames([key](DWORD i, LPSTR buf, LPDWORD size) {
    return RegEnumValueA(key, i, buf, size, nullptr, nullptr, nullptr, nullptr);
  });
}

std::string TRegistry::ReadString(const std::string& name) {
  DWORD type = REG_NONE, size = 0;
  if (RegQueryValueExA(current_, name.c_str(), nullptr, &type, nullptr, &size) != 0) return {};
  if (!IsText(type)) ReadError(name);
  std::string buf;
  while (true) {
    buf.resize(size);
    DWORD got = size;
    const LONG rc = RegQueryValueExA(current_, name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(buf.data()), &got);
    if (rc == static_cast<LONG>(ERROR_MORE_DATA)) {  // rewritten by someone else meanwhile
      size = got;
      continue;
    }
    if (rc != 0) return {};
    if (!IsText(type)) ReadError(name);
    buf.resize(got);
    break;
  }
  buf.resize(std::strlen(buf.c_str()));
  return buf;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (value.size() >= RegMaxValueSize) SetDataError(name, static_cast<LONG>(ERROR_INVALID_PARAMETER));
  const LONG rc = RegSetValueExA(current_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1));
  if (rc != 0) SetDataError(name, rc);
}

int TRegistry::ReadInteger(const std::string& name) {
  DWORD type = REG_NONE, value = 0, size = sizeof value;
  const LONG rc = RegQueryValueExA(current_, name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
  if (rc == static_cast<LONG>(ERROR_MORE_DATA)) ReadError(name);
  if (rc != 0) GetDataError(name, rc);
  if (type != REG_DWORD || size != sizeof value) ReadError(name);
  return static_cast<int>(value);
}

void TRegistry::WriteInteger(const std::string& name, int value) {
  const DWORD data = static_cast<DWORD>(value);
  const LONG rc = RegSetValueExA(current_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  if (rc != 0) SetDataError(name, rc);
}

}  // namespace vorra
