#include "platform/win/Modules.h"

#include <dlfcn.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/Ascii.h"

namespace win {

namespace {

struct TBuiltin {
  std::string Name;  // lower case, with ".dll"
  std::vector<std::pair<std::string, FARPROC>> Exports;
};

struct TRegistry {
  std::mutex Lock;
  // Records are never freed, so handles to them stay valid.
  std::vector<std::unique_ptr<TBuiltin>> Builtins;
  // dlopen handles given out, with their load counts.
  std::map<void*, int> Opened;
};

TRegistry& Registry() {
  static TRegistry* r = new TRegistry;  // outlives every static that may call in
  return *r;
}

std::string WithDll(std::string lower) {
  if (lower.size() < 4 || lower.compare(lower.size() - 4, 4, ".dll") != 0) lower += ".dll";
  return lower;
}

TBuiltin* FindBuiltin(TRegistry& r, const std::string& name) {
  for (auto& b : r.Builtins)
    if (b->Name == name) return b.get();
  return nullptr;
}

TBuiltin* AsBuiltin(TRegistry& r, HMODULE h) {
  for (auto& b : r.Builtins)
    if (reinterpret_cast<HMODULE>(b.get()) == h) return b.get();
  return nullptr;
}

}  // namespace

bool RegisterBuiltinModule(const char* name, std::initializer_list<TModuleExport> exports) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  const std::string key = WithDll(AsciiLowerCase(name));
  TBuiltin* b = FindBuiltin(r, key);
  if (!b) {
    r.Builtins.push_back(std::make_unique<TBuiltin>());
    b = r.Builtins.back().get();
    b->Name = key;
  }
  b->Exports.clear();
  for (const TModuleExport& e : exports) b->Exports.emplace_back(e.Name, e.Proc);
  return true;
}

HMODULE LoadLibraryA(LPCSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  if (TBuiltin* b = FindBuiltin(r, WithDll(AsciiLowerCase(name)))) return reinterpret_cast<HMODULE>(b);
  // An empty name would make dlopen hand back the program itself.
  void* h = *name ? dlopen(name, RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (!h) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++r.Opened[h];
  return static_cast<HMODULE>(h);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR proc) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  TBuiltin* b = AsBuiltin(r, module);
  if (!b && !r.Opened.count(module)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // A value below 64 K is an ordinal, not a pointer to a name.
  if (reinterpret_cast<std::uintptr_t>(proc) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  if (b) {
    for (const auto& [name, fn] : b->Exports)
      if (name == proc) return fn;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* sym = dlsym(module, proc);
  if (!sym) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(sym);
}

BOOL FreeLibrary(HMODULE module) {
  TRegistry& r = Registry();
  std::lock_guard lock(r.Lock);
  if (AsBuiltin(r, module)) return TRUE;  // built in: never unloaded
  const auto it = r.Opened.find(module);
  if (it == r.Opened.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (--it->second == 0) r.Opened.erase(it);
  dlclose(module);
  return TRUE;
}

}  // namespace win
