#pragma once
// Calendar arithmetic shared by DateTime and TimeZone (internal to the library).
//
// Day numbers count from 1 = 1900-01-01 (the system epoch's day 1). The Gregorian leap rule
// applies to every year. The functions take dates that are already in range.
#include <cstdint>

namespace KestroCorelib::detail {

constexpr std::int64_t msPerDay = 86400000;
constexpr std::int64_t msPerHour = 3600000;
constexpr std::int64_t msPerMinute = 60000;
// Days in any 400 consecutive Gregorian years.
constexpr std::int64_t daysPer400Years = 146097;

constexpr bool isLeapYear(std::int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// month 1 to 12.
constexpr std::int64_t monthLength(std::int64_t year, std::int64_t month) {
  constexpr std::int64_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : lengths[month - 1];
}

// Days of the months before month (1 to 12) in the year.
constexpr std::int64_t daysBeforeMonth(std::int64_t year, std::int64_t month) {
  constexpr std::int64_t before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return before[month - 1] + (month > 2 && isLeapYear(year) ? 1 : 0);
}

// The day number of a date of 1900 or later: 1900-01-01 is 1, 2015-01-01 is 42004. The day
// may exceed the month's length; it then simply counts on.
constexpr std::int64_t dayNumber(std::int64_t year, std::int64_t month, std::int64_t day) {
  std::int64_t days = day + daysBeforeMonth(year, month);
  if (year >= 1901) {
    const std::int64_t y = year - 1;
    // Leap years from 1900 to year - 1 (1900 itself is none).
    days += 365 * (year - 1900) + y / 4 - y / 100 + y / 400 - 460;
  }
  return days;
}

// Monday = 0 ... Sunday = 6; 1900-01-01 was a Monday.
constexpr std::int64_t weekdayOf(std::int64_t dayNum) { return (dayNum + 6) % 7; }

// The date of a day number of 1 or more. Works in whole 400-year eras, so it takes constant
// time for any 64-bit day number.
constexpr void dateOfDay(std::int64_t dayNum, std::int64_t& year, std::int64_t& month,
                         std::int64_t& day) {
  // Shift to days since 0000-03-01, where every era starts with March and ends with the leap day.
  // 1900-01-01 is day 693,901 of that count.
  const std::int64_t z = dayNum - 1 + 693901;
  const std::int64_t era = z / daysPer400Years;
  const std::int64_t dayOfEra = z - era * daysPer400Years;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 = March
  day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// The UTC year of a value (values before 1900-01-01 count as 1900).
constexpr std::int64_t yearOfValue(std::int64_t value) {
  if (value < msPerDay) return 1900;
  std::int64_t year = 0, month = 0, day = 0;
  dateOfDay(value / msPerDay, year, month, day);
  return year;
}

// The last year a value can reach (the year of the largest 64-bit value).
constexpr std::int64_t maxYear = yearOfValue(INT64_MAX);

}  // namespace KestroCorelib::detail
