#include "platform/win/Time.h"

#include <time.h>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace win {
namespace {

using vorra::test::TScopedEnv;

constexpr std::uint64_t Second = 10000000ULL;

SYSTEMTIME Sys(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  SYSTEMTIME st;
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  st.wMilliseconds = ms;
  return st;
}

TEST(Time, SystemTimesAndFileTimes) {
  FILETIME ft;
  SYSTEMTIME epoch = Sys(1970, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
  EXPECT_EQ(FileTimeToU64(ft), FILETIME_UNIX_EPOCH);

  SYSTEMTIME start = Sys(1601, 1, 1);
  ASSERT_TRUE(SystemTimeToFileTime(&start, &ft));
  EXPECT_EQ(FileTimeToU64(ft), 0u);

  // 2024-02-29 13:45:30.250 UTC, a Thursday: 1709214330 s after 1970.
  ft = U64ToFileTime(FILETIME_UNIX_EPOCH + 1709214330ULL * Second + 2500000);
  SYSTEMTIME st;
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_EQ(st.wYear, 2024);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wDayOfWeek, 4);
  EXPECT_EQ(st.wHour, 13);
  EXPECT_EQ(st.wMinute, 45);
  EXPECT_EQ(st.wSecond, 30);
  EXPECT_EQ(st.wMilliseconds, 250);
  FILETIME back;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
  EXPECT_EQ(FileTimeToU64(back), FileTimeToU64(ft));

  ft = U64ToFileTime(0);
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_EQ(st.wDayOfWeek, 1);  // 1601-01-01 was a Monday
}

TEST(Time, ImpossibleDatesFail) {
  FILETIME ft;
  for (const SYSTEMTIME& bad : {Sys(1900, 2, 29), Sys(2023, 2, 29), Sys(2024, 4, 31), Sys(2024, 13, 1),
                                Sys(1600, 12, 31), Sys(2024, 1, 1, 24), Sys(2024, 1, 1, 0, 60),
                                Sys(2024, 1, 1, 0, 0, 0, 1000), Sys(2024, 1, 0)}) {
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  SYSTEMTIME leap = Sys(2000, 2, 29);
  EXPECT_TRUE(SystemTimeToFileTime(&leap, &ft));
  const FILETIME tooLate = U64ToFileTime(0x8000000000000000ULL);
  SYSTEMTIME st;
  EXPECT_FALSE(FileTimeToSystemTime(&tooLate, &st));
  EXPECT_FALSE(FileTimeToLocalFileTime(&tooLate, &ft));
}

TEST(Time, LocalTimeUsesTheOffsetOfThatDay) {
  // Central European rules without depending on installed zone files.
  TScopedEnv tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  const std::uint64_t winter = FILETIME_UNIX_EPOCH + 1704067200ULL * Second;  // 2024-01-01 00:00 UTC
  const std::uint64_t summer = FILETIME_UNIX_EPOCH + 1719792000ULL * Second;  // 2024-07-01 00:00 UTC
  FILETIME in = U64ToFileTime(winter), out;
  ASSERT_TRUE(FileTimeToLocalFileTime(&in, &out));
  EXPECT_EQ(FileTimeToU64(out), winter + 3600 * Second);
  in = U64ToFileTime(summer);
  ASSERT_TRUE(FileTimeToLocalFileTime(&in, &out));
  EXPECT_EQ(FileTimeToU64(out), summer + 7200 * Second);

  // West of Greenwich near the start of the count there is no earlier time.
  TScopedEnv west("TZ", "XST5");
  in = U64ToFileTime(10 * Second);
  EXPECT_FALSE(FileTimeToLocalFileTime(&in, &out));
}

TEST(Time, NowIsNow) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const std::uint64_t unixNow = static_cast<std::uint64_t>(::time(nullptr));
  const std::uint64_t got = (FileTimeToU64(ft) - FILETIME_UNIX_EPOCH) / Second;
  EXPECT_LE(got > unixNow ? got - unixNow : unixNow - got, 2u);
}

}  // namespace
}  // namespace win
