// The registry the program and its extension keep their settings and COM
// registrations in: the Win32 Reg*A calls over one SQLite store per user
// ($XDG_CONFIG_HOME/vorra/registry.db, or $VORRA_HOME/config/registry.db).
//
// Key and value names are matched ignoring ASCII case and keep the spelling
// they were first created with. "\" separates key names; a leading "\" is
// taken as relative to the handle's key. Both roots live in the one store,
// which is safe when several processes write at once: every write is one
// transaction.
//
// A store that cannot be opened (damaged, not ours, unreadable) is reported
// once through the store reporter and never written to: every call then
// answers ERROR_BADDB or ERROR_CANTOPEN, so the program runs on defaults.
//
// Limits: value data at most RegMaxValueSize bytes, value names at most
// 16383 characters, key names at most 255 characters, at most 512 levels.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/win/Types.h"

namespace win {

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using PFILETIME = FILETIME*;

struct SECURITY_ATTRIBUTES {
  DWORD nLength = 0;
  LPVOID lpSecurityDescriptor = nullptr;
  BOOL bInheritHandle = FALSE;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM STANDARD_RIGHTS_READ = READ_CONTROL;
inline constexpr REGSAM STANDARD_RIGHTS_WRITE = READ_CONTROL;
inline constexpr REGSAM KEY_READ = STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
inline constexpr REGSAM KEY_WRITE = STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
inline constexpr REGSAM KEY_EXECUTE = KEY_READ;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Settings are small; a larger value is refused with ERROR_INVALID_PARAMETER
// before its data is looked at.
inline constexpr DWORD RegMaxValueSize = 1024 * 1024;
inline constexpr std::size_t RegMaxKeyNameLength = 255;
inline constexpr std::size_t RegMaxValueNameLength = 16383;
inline constexpr std::size_t RegMaxKeyDepth = 512;

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition);
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCloseKey(HKEY hKey);
// A null lpData asks for the size; a buffer that is too small gets
// ERROR_MORE_DATA and the size. Text values come back with their terminating
// zero, which their size counts.
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Refuses with ERROR_ACCESS_DENIED while the key has subkeys, and for the
// roots. An empty lpSubKey deletes hKey's own key. As on Windows, where the
// deleted key's own security decides, hKey's access rights do not matter.
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// Subkeys come in the order of their lower-cased names; values in the order
// they were first written. On ERROR_MORE_DATA for the name the count is left
// as it was: RegQueryInfoKeyA gives the longest name.
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
// Lengths of names exclude the terminating zero; keys have no class, no
// security descriptor and no write time here (all answered as zero).
LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime);

// Where the store of the current user lies (it moves with VORRA_HOME).
std::string GetRegistryStorePath();

// Lets go of the process's connection to the store; the next call opens it
// again. Open key handles stay valid. For tests and tools that replace the file.
void CloseRegistryStore();

// Receives the message about a store that cannot be used, once per opening
// (CloseRegistryStore makes the next call try again). It must not call the
// registry. Answers the reporter it replaces; an empty one restores
// the default, which writes to stderr.
using TRegistryStoreReporter = std::function<void(const std::string& message)>;
TRegistryStoreReporter SetRegistryStoreReporter(TRegistryStoreReporter reporter);

}  // namespace win
