#include "framework/DateTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace vorra {

namespace {

bool IsLeapYear(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    throw EConvertError("Invalid argument to date encode");
  // Whole days from 1 January of year 1, then shifted to the 1899-12-30 epoch.
  const int y = year - 1;
  long days = y * 365L + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  days += day - 1;
  return static_cast<TDateTime>(days - 693593L);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    throw EConvertError("Invalid argument to time encode");
  return ((hour * 3600000.0) + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
}

TDateTime SystemTimeToDateTime(const win::SYSTEMTIME& st) {
  return EncodeDate(st.wYear, st.wMonth, st.wDay) +
         EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

std::string DateTimeToIso8601(TDateTime value) {
  const double days = std::floor(value);
  long long seconds = std::llround((value - days) * 86400.0);
  long long day = static_cast<long long>(days) + 693593LL;  // days since 0001-01-01
  if (seconds >= 86400) {
    seconds -= 86400;
    ++day;
  }
  // Back from a day number to a civil date (proleptic Gregorian).
  long long y400 = day / 146097, rem = day % 146097;
  long long y100 = std::min(rem / 36524, 3LL);
  rem -= y100 * 36524;
  long long y4 = rem / 1461;
  rem %= 1461;
  long long y1 = std::min(rem / 365, 3LL);
  rem -= y1 * 365;
  const int year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  int month = 1;
  while (rem >= DaysInMonth(year, month)) rem -= DaysInMonth(year, month++);
  const int dayOfMonth = static_cast<int>(rem) + 1;

  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = dayOfMonth;
  tm.tm_hour = static_cast<int>(seconds / 3600);
  tm.tm_min = static_cast<int>(seconds / 60 % 60);
  tm.tm_sec = static_cast<int>(seconds % 60);
  tm.tm_isdst = -1;
  std::tm probe = tm;
  long offset = 0;
  if (std::mktime(&probe) != static_cast<std::time_t>(-1)) offset = probe.tm_gmtoff;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", year, month, dayOfMonth, tm.tm_hour,
                tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+', std::labs(offset) / 3600, std::labs(offset) / 60 % 60);
  return buf;
}

}  // namespace vorra
