// Date-time numbers as the class library keeps them: days since
// 30 December 1899 in local time, the fraction being the time of day.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "framework/SysUtils.h"
#include "platform/win/Types.h"

namespace vorra {

using TDateTime = double;

// Throw EConvertError for fields out of range.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
TDateTime SystemTimeToDateTime(const win::SYSTEMTIME& st);

// "2026-12-08T21:34:07+01:00": the local date-time number with its offset from UTC.
std::string DateTimeToIso8601(TDateTime value);

}  // namespace vorra
