// The class library's registry class: a root key, one current key opened by
// path, typed reads and writes that raise ERegistryException.
//
// Paths that start with "\" are taken from the root key; others from the
// current key when one is open, else from the root key.
//
// Reads: ReadString of a missing value (or with no key open) is the empty
// text; ReadInteger of a missing value raises "Failed to get data for '%s'",
// because no number can stand for "not there". Reading a value of another
// type raises "Invalid data type for '%s'"; a write that fails raises
// "Failed to set data for '%s'". The placeholder takes the value name.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/SysUtils.h"
#include "platform/registry/Registry.h"

namespace vorra {

// Carries the registry's result as its code (0 for a value of the wrong type).
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

class TRegistry {
 public:
  // `access` is what OpenKey asks for; OpenKeyReadOnly asks for KEY_READ.
  explicit TRegistry(win::REGSAM access = win::KEY_ALL_ACCESS);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  win::HKEY RootKey() const { return root_; }
  // Closes the current key first.
  void SetRootKey(win::HKEY root);
  // Null while no key is open.
  win::HKEY CurrentKey() const { return current_; }
  // The open key's path below the root key, without a leading "\".
  const std::string& CurrentPath() const { return currentPath_; }
  win::REGSAM Access() const { return access_; }
  void SetAccess(win::REGSAM access) { access_ = access; }

  // Makes the key the current key (creating it and its parents when
  // `canCreate`); false when it cannot be opened or made, leaving the
  // current key as it was.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey();
  bool KeyExists(const std::string& key);
  bool ValueExists(const std::string& name);
  // Deletes the key with everything below it, each subkey before its parent.
  bool DeleteKey(const std::string& key);
  bool DeleteValue(const std::string& name);
  // Of the current key; empty when no key is open.
  std::vector<std::string> GetKeyNames();
  std::vector<std::string> GetValueNames();

  std::string ReadString(const std::string& name);
  void WriteString(const std::string& name, const std::string& value);
  int ReadInteger(const std::string& name);
  void WriteInteger(const std::string& name, int value);

 private:
  win::HKEY BaseKey(bool relative) const;
  // A new handle on the key, or null; the current key is not changed.
  win::HKEY OpenHandle(const std::string& key, win::REGSAM access);
  bool Open(const std::string& key, bool canCreate, win::REGSAM access);
  void ChangeKey(win::HKEY key, const std::string& path);

  win::HKEY root_ = win::HKEY_CURRENT_USER;
  win::HKEY current_ = nullptr;
  std::string currentPath_;
  win::REGSAM access_;
};

}  // namespace vorra
