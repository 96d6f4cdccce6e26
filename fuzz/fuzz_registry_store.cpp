// The registry on hostile input. The first byte picks the attack:
// even: the rest is the store file itself, which is opened, walked, read in
//       full and written to;
// odd:  the rest is a list of key paths and value names (split at zero
//       bytes) thrown at the calls on a sound store.
// Nothing may crash, hang or read out of bounds.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/Registry.h"
#include "platform/registry/Registry.h"

namespace {

namespace fs = std::filesystem;
using namespace win;

constexpr int MaxDepth = 12;
constexpr int MaxItems = 400;
constexpr std::size_t MaxWords = 48;  // each word costs a few transactions

// A scratch folder for the run, removed at exit.
struct TScratch {
  TScratch() {
    std::string tmpl = (fs::temp_directory_path() / "vorra-fuzz-registry-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    path = tmpl;
    SetRegistryStoreReporter([](const std::string&) {});
  }
  ~TScratch() {
    CloseRegistryStore();
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

const fs::path& Base() {
  static const TScratch scratch;
  return scratch.path;
}

void Walk(HKEY key, int depth, int& items) {
  DWORD subkeys = 0, maxKey = 0, values = 0, maxName = 0, maxData = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxKey, nullptr, &values, &maxName, &maxData,
                       nullptr, nullptr) != 0)
    return;
  std::vector<char> name(std::min<DWORD>(maxName, 1u << 16) + 1);
  std::vector<BYTE> data(std::min<DWORD>(maxData, 1u << 20) + 1);
  for (DWORD i = 0; items < MaxItems; ++i, ++items) {
    DWORD nameSize = static_cast<DWORD>(name.size()), type = 0, dataSize = static_cast<DWORD>(data.size());
    const LONG rc = RegEnumValueA(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
    if (rc == static_cast<LONG>(ERROR_NO_MORE_ITEMS) || rc == static_cast<LONG>(ERROR_BADDB)) break;
    if (rc == 0) {
      DWORD size = 0;
      RegQueryValueExA(key, name.data(), nullptr, nullptr, nullptr, &size);
    }
  }
  if (depth >= MaxDepth) return;
  std::vector<char> sub(std::min<DWORD>(maxKey, 1u << 16) + 1);
  for (DWORD i = 0; items < MaxItems; ++i, ++items) {
    DWORD size = static_cast<DWORD>(sub.size());
    const LONG rc = RegEnumKeyExA(key, i, sub.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == static_cast<LONG>(ERROR_NO_MORE_ITEMS) || rc == static_cast<LONG>(ERROR_BADDB)) break;
    HKEY child = nullptr;
    if (rc == 0 && RegOpenKeyExA(key, sub.data(), 0, KEY_READ, &child) == 0) {
      Walk(child, depth + 1, items);
      RegCloseKey(child);
    }
  }
}

void HostileStore(const std::uint8_t* data, std::size_t size) {
  const fs::path home = Base() / "store";
  CloseRegistryStore();
  std::error_code ec;
  fs::remove_all(home, ec);
  fs::create_directories(home / "config");
  std::ofstream(home / "config/registry.db", std::ios::binary).write(reinterpret_cast<const char*>(data), size);
  ::setenv("VORRA_HOME", home.c_str(), 1);

  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER}) {
    int items = 0;
    Walk(root, 0, items);
  }
  HKEY k = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vorra", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) == 0) {
    RegSetValueExA(k, "DefaultDir", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegDeleteValueA(k, "AppPath");
    RegCloseKey(k);
  }
  vorra::TRegistry reg;
  reg.DeleteKey("Software");
  CloseRegistryStore();
}

void HostileNames(const std::uint8_t* data, std::size_t size) {
  ::setenv("VORRA_HOME", (Base() / "sound").c_str(), 1);
  std::vector<std::string> words(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] != 0) {
      words.back().push_back(static_cast<char>(data[i]));
    } else {
      if (words.size() == MaxWords) break;
      words.emplace_back();
    }
  }
  HKEY top = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Fuzz", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &top, nullptr) != 0) return;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const char* w = words[i].c_str();
    HKEY k = nullptr;
    RegCreateKeyExA(top, w, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    RegSetValueExA(top, w, 0, REG_SZ, reinterpret_cast<const BYTE*>(w), static_cast<DWORD>(words[i].size()));
    char buf[64];
    DWORD bufSize = sizeof buf;
    RegQueryValueExA(top, w, nullptr, nullptr, reinterpret_cast<LPBYTE>(buf), &bufSize);
    if (i % 3 == 2) RegDeleteKeyA(top, w);
    if (i % 5 == 4) RegDeleteValueA(top, w);
    RegCloseKey(k);
  }
  int items = 0;
  Walk(top, 0, items);
  RegCloseKey(top);

  vorra::TRegistry reg;
  if (reg.OpenKey("Fuzz", false)) {
    for (const std::string& w : words) {
      // Absolute paths would leave keys outside "Fuzz", and the store would grow from run to run.
      if (!w.empty() && w[0] != '\\' && reg.OpenKey(w, true)) {
        reg.WriteString(w, w);
        reg.ReadString(w);
      }
      reg.KeyExists(w);
    }
  }
  reg.CloseKey();
  reg.DeleteKey("\\Fuzz");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  try {
    if (data[0] % 2 == 0) HostileStore(data + 1, size - 1);
    else HostileNames(data + 1, size - 1);
  } catch (const vorra::ERegistryException&) {
  }
  return 0;
}
