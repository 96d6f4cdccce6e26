// Modules and their exports by name, as LoadLibraryA / GetProcAddress give
// them. The platform's own modules (wininet.dll...) are built in: each is a
// name and a table of exports registered by the code that implements them.
// Any other name is a shared object, opened with dlopen.
#pragma once

#include <initializer_list>

#include "platform/win/Types.h"

namespace win {

struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
// Cast to the export's own function type before calling.
using FARPROC = void (*)();

// Built-in names are matched ignoring case, with or without ".dll".
// Fails with ERROR_MOD_NOT_FOUND.
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
// Fails with ERROR_PROC_NOT_FOUND (also for ordinals, which no module here
// has) or ERROR_INVALID_HANDLE.
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);

struct TModuleExport {
  const char* Name;
  FARPROC Proc;
};

// Adds a built-in module (name with ".dll"); a later registration of the same
// name replaces the exports. Returns true so it can initialise a static.
bool RegisterBuiltinModule(const char* name, std::initializer_list<TModuleExport> exports);

// Casts any function to FARPROC for an export table.
template <typename F>
FARPROC ExportOf(F* f) {
  return reinterpret_cast<FARPROC>(f);
}

}  // namespace win
