// The Win32 base types that the stand-ins speak in; their error codes and
// HRESULTs come with them from Errors.h.
#pragma once

#include <cstdint>

namespace win {

using BOOL = int;
using BYTE = std::uint8_t;
using UINT = unsigned int;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using GROUPID = LONGLONG;
using HRESULT = std::int32_t;
using LPCSTR = const char*;
using LPSTR = char*;
using LPVOID = void*;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
struct HWND__;
using HWND = HWND__*;
using HANDLE = void*;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;

// 100-nanosecond intervals since 1 January 1601 (UTC).
struct FILETIME {
  DWORD dwLowDateTime = 0;
  DWORD dwHighDateTime = 0;
};

struct SYSTEMTIME {
  WORD wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0, wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};

// The calling thread's last error, as the Win32 calls that answer BOOL leave it.
DWORD GetLastError();
void SetLastError(DWORD error);

}  // namespace win

#include "platform/win/Errors.h"  // after the types it is written in
