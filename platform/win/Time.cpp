#include "platform/win/Time.h"

#include <time.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

namespace win {

namespace {

constexpr std::uint64_t TicksPerSecond = 10000000ULL;
constexpr std::uint64_t TicksPerDay = 86400ULL * TicksPerSecond;
// FILETIME values with the top bit set are invalid for the conversions.
constexpr std::uint64_t MaxFileTime = 0x7FFFFFFFFFFFFFFFULL;

// Days from 1970-01-01 to a civil date (proleptic Gregorian), and back.
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

constexpr std::int64_t Days1601 = DaysFromCivil(1601, 1, 1);

bool IsLeap(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(unsigned y, unsigned m) {
  static constexpr unsigned Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : Days[m - 1];
}

// tzset() with TZ unset stats /etc/localtime on every call (1.5 us here), and
// callers convert four times per cache entry: re-read the zone only when TZ
// itself has changed.
void FollowTimeZone() {
  static std::mutex lock;
  static bool read = false;
  static std::optional<std::string> last;
  const char* tz = std::getenv("TZ");
  std::lock_guard guard(lock);
  if (read && (tz ? last && *last == tz : !last)) return;
  ::tzset();
  read = true;
  last = tz ? std::optional<std::string>(tz) : std::nullopt;
}

BOOL Invalid() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace

void GetSystemTimeAsFileTime(FILETIME* out) {
  if (!out) return;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const std::uint64_t ticks = FILETIME_UNIX_EPOCH + static_cast<std::uint64_t>(ts.tv_sec) * TicksPerSecond +
                              static_cast<std::uint64_t>(ts.tv_nsec) / 100;
  *out = U64ToFileTime(ticks);
}

BOOL FileTimeToLocalFileTime(const FILETIME* in, FILETIME* out) {
  if (!in || !out) return Invalid();
  const std::uint64_t ticks = FileTimeToU64(*in);
  if (ticks > MaxFileTime) return Invalid();
  // Seconds since 1970, rounded down also before 1970.
  const std::int64_t rel = static_cast<std::int64_t>(ticks) - static_cast<std::int64_t>(FILETIME_UNIX_EPOCH);
  const std::int64_t secs = rel >= 0 ? rel / 10000000 : -((-rel + 9999999) / 10000000);
  const time_t t = static_cast<time_t>(secs);
  tm local{};
  FollowTimeZone();
  if (!localtime_r(&t, &local)) return Invalid();
  const std::int64_t shifted = static_cast<std::int64_t>(ticks) + static_cast<std::int64_t>(local.tm_gmtoff) * 10000000;
  if (shifted < 0 || static_cast<std::uint64_t>(shifted) > MaxFileTime) return Invalid();
  *out = U64ToFileTime(static_cast<std::uint64_t>(shifted));
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* in, SYSTEMTIME* out) {
  if (!in || !out) return Invalid();
  const std::uint64_t ticks = FileTimeToU64(*in);
  if (ticks > MaxFileTime) return Invalid();
  const std::int64_t days = static_cast<std::int64_t>(ticks / TicksPerDay);
  std::uint64_t rest = ticks % TicksPerDay;
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days + Days1601, y, m, d);
  SYSTEMTIME st;
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  st.wHour = static_cast<WORD>(rest / (3600 * TicksPerSecond));
  rest %= 3600 * TicksPerSecond;
  st.wMinute = static_cast<WORD>(rest / (60 * TicksPerSecond));
  rest %= 60 * TicksPerSecond;
  st.wSecond = static_cast<WORD>(rest / TicksPerSecond);
  st.wMilliseconds = static_cast<WORD>((rest % TicksPerSecond) / 10000);
  *out = st;
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* in, FILETIME* out) {
  if (!in || !out) return Invalid();
  const SYSTEMTIME& st = *in;
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
      st.wMilliseconds > 999)
    return Invalid();
  const std::int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - Days1601;
  const std::uint64_t ticks = static_cast<std::uint64_t>(days) * TicksPerDay +
                              ((st.wHour * 60ULL + st.wMinute) * 60ULL + st.wSecond) * TicksPerSecond +
                              st.wMilliseconds * 10000ULL;
  *out = U64ToFileTime(ticks);
  return TRUE;
}

}  // namespace win
