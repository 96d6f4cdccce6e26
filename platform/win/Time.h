// File times and system times, the Win32 way: FILETIME counts 100 ns since
// 1 January 1601 (UTC); local time comes from the C library's time zone.
#pragma once

#include <cstdint>

#include "platform/win/Types.h"

namespace win {

void GetSystemTimeAsFileTime(FILETIME* lpSystemTimeAsFileTime);

// Shifts by the local offset in force at that instant (localtime_r), so a
// summer time stays a summer time whatever the date today.
BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, FILETIME* lpLocalFileTime);

// Fail (ERROR_INVALID_PARAMETER) outside 1601..30827 or on impossible dates.
BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* lpSystemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, FILETIME* lpFileTime);

// The 64-bit count inside a FILETIME, and back.
inline constexpr std::uint64_t FileTimeToU64(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline constexpr FILETIME U64ToFileTime(std::uint64_t v) {
  return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)};
}

// 100 ns ticks between 1601-01-01 and 1970-01-01.
inline constexpr std::uint64_t FILETIME_UNIX_EPOCH = 116444736000000000ULL;

}  // namespace win
