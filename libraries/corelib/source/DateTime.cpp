#include "DateTime.h"

#include <cinttypes>
#include <cstdio>

#include "CalendarMath.h"
#include "WideInt.h"
#include "platform/PlatformTime.h"

namespace KestroCorelib {

namespace {

using namespace detail;

// Wide enough that borrowing and carrying between any 64-bit fields cannot overflow.
using Wide = WideInt;

constexpr Wide int64Max = INT64_MAX;
constexpr Wide int64Min = INT64_MIN;

std::int64_t saturate(Wide value) {
  if (value > int64Max) return INT64_MAX;
  if (value < int64Min) return INT64_MIN;
  return static_cast<std::int64_t>(value);
}

// Floor division for a positive divisor, so that the remainder is never negative.
Wide floorDiv(Wide value, std::int64_t divisor) {
  Wide quotient = value / divisor;
  if (value % divisor < 0) --quotient;
  return quotient;
}

// The month length of a year that may lie outside the 64-bit range; leap years repeat every
// 400 years.
std::int64_t monthLengthOf(Wide year, Wide month) {
  Wide cycleYear = year % 400;
  if (cycleYear < 0) cycleYear += 400;
  return monthLength(static_cast<std::int64_t>(cycleYear) + 2000, static_cast<std::int64_t>(month));
}

// normalize's steps. Fields may hold any 64-bit values; they are worked on wide enough that
// borrowing and carrying cannot overflow, and the day loops are bounded by moving whole
// 400-year eras first, so huge values neither overflow nor take long.
struct WideFields {
  Wide year, month, day, hour, minute, second, millisecond;
};

// Makes a negative field good by borrowing whole units from the next larger one:
// (larger 5, smaller -61, 60 per unit) becomes (3, 59).
void borrow(Wide& larger, Wide& smaller, std::int64_t perUnit) {
  if (smaller >= 0) return;
  const Wide units = -floorDiv(smaller, perUnit);
  larger -= units;
  smaller += units * perUnit;
}

// Moves whole units of a field into the next larger one: (0, 125, 60) becomes (2, 5).
void carry(Wide& larger, Wide& smaller, std::int64_t perUnit) {
  larger += smaller / perUnit;
  smaller %= perUnit;
}

// Borrows downwards from the day, from the smallest field up: hour -1 is 23:00 of the day
// before.
void borrowBelowDay(WideFields& f) {
  borrow(f.second, f.millisecond, 1000);
  borrow(f.minute, f.second, 60);
  borrow(f.hour, f.minute, 60);
  borrow(f.day, f.hour, 24);
}

// Brings the month into 1 to 12 before days are borrowed from it: a month above 12 has no
// length of its own (month 13 is January of the next year).
void wrapMonth(WideFields& f) {
  const Wide yearsMoved = floorDiv(f.month - 1, 12);
  f.year += yearsMoved;
  f.month -= yearsMoved * 12;
}

// Makes a day below 1 good by borrowing from the months before (stopping once the year
// falls below 1900, where there is no date).
void borrowDays(WideFields& f) {
  if (f.day >= 1 || f.year < 1900) return;
  // Whole eras first: going back 400 years from any date skips exactly 146,097 days.
  if (f.day <= -daysPer400Years) {
    const Wide eras = -f.day / daysPer400Years;
    f.day += eras * daysPer400Years;
    f.year -= eras * 400;
  }
  while (f.day < 1 && f.year >= 1900) {
    if (--f.month < 1) {
      f.month = 12;
      --f.year;
    }
    f.day += monthLengthOf(f.year, f.month);
  }
}

// Carries upwards into the day; the fields are no longer negative here.
void carryBelowDay(WideFields& f) {
  carry(f.second, f.millisecond, 1000);
  carry(f.minute, f.second, 60);
  carry(f.hour, f.minute, 60);
  carry(f.day, f.hour, 24);
}

// Carries days beyond the month's length into the months after (1900-02-29 is 1900-03-01).
void carryDays(WideFields& f) {
  if (f.day > daysPer400Years) {
    const Wide eras = (f.day - 1) / daysPer400Years;
    f.day -= eras * daysPer400Years;
    f.year += eras * 400;
  }
  while (f.day > monthLengthOf(f.year, f.month)) {
    f.day -= monthLengthOf(f.year, f.month);
    if (++f.month > 12) {
      f.month = 1;
      ++f.year;
    }
  }
}

// Whether good fields lie beyond the last instant a value can hold.
bool isBeyondLastInstant(const WideFields& f) {
  if (f.year > maxYear) return true;
  const Wide days = dayNumber(static_cast<std::int64_t>(f.year), static_cast<std::int64_t>(f.month),
                              static_cast<std::int64_t>(f.day));
  const Wide value =
      (((days * 24 + f.hour) * 60 + f.minute) * 60 + f.second) * 1000 + f.millisecond;
  return value > int64Max;
}

}  // namespace

// ---- DateTime -------------------------------------------------------------------------------

DateTime::DateTime() { zone.setLocal(); }

DateTime::DateTime(std::int64_t newValue) : value(newValue) { zone.setLocal(); }

DateTime::DateTime(std::int64_t newValue, const TimeZone& newZone)
    : value(newValue), zone(newZone) {}

DateTime::DateTime(const DateTimeDetails& details)
    : value(details.toValue()), zone(details.getZone()) {}

DateTime::~DateTime() = default;

DateTimeDetails DateTime::toDetails() const { return DateTimeDetails(*this); }

std::int64_t DateTime::now() {
  // Straight from the clock's fields: the logger asks for the time often, and no zone is needed.
  const platform::UtcClockTime clock = platform::currentUtcTime();
  if (clock.year < 1900 || clock.month < 1 || clock.month > 12) return 0;
  const std::int64_t days = dayNumber(clock.year, clock.month, clock.day);
  return ((((days * 24 + clock.hour) * 60 + clock.minute) * 60 + clock.second) * 1000) +
         clock.millisecond;
}

// ---- DateTimeDetails ------------------------------------------------------------------------

DateTimeDetails::DateTimeDetails() = default;

DateTimeDetails::DateTimeDetails(const DateTime& time) : zone(time.getZone()) {
  const std::int64_t value = time.get();
  // No date lies before 1900-01-01: such values (0 among them) read as the defaults.
  if (value < msPerDay) return;
  dateOfDay(value / msPerDay, year, month, day);
  std::int64_t rest = value % msPerDay;
  hour = rest / msPerHour;
  rest %= msPerHour;
  minute = rest / msPerMinute;
  rest %= msPerMinute;
  second = rest / 1000;
  millisecond = rest % 1000;
  computeWeekFields();
}

DateTimeDetails::DateTimeDetails(std::int64_t value) : DateTimeDetails(DateTime(value)) {}

DateTimeDetails::~DateTimeDetails() = default;

DateTimeDetails DateTimeDetails::fromSystemTime() {
  const platform::UtcClockTime clock = platform::currentUtcTime();
  DateTimeDetails details;
  details.setDate(clock.year, clock.month, clock.day);
  details.setTime(clock.hour, clock.minute, clock.second, clock.millisecond);
  details.normalize();
  return details;
}

void DateTimeDetails::setDate(std::int64_t newYear, std::int64_t newMonth, std::int64_t newDay) {
  year = newYear;
  month = newMonth;
  day = newDay;
  normalized = false;
}

void DateTimeDetails::setTime(std::int64_t newHour, std::int64_t newMinute, std::int64_t newSecond,
                              std::int64_t newMillisecond) {
  hour = newHour;
  minute = newMinute;
  second = newSecond;
  millisecond = newMillisecond;
  normalized = false;
}

void DateTimeDetails::setLocal(bool isLocalTime) {
  local = isLocalTime;
  normalized = false;
}

void DateTimeDetails::computeWeekFields() {
  const std::int64_t dayNum = dayNumber(year, month, day);
  weekday = weekdayOf(dayNum);
  yearday = day + daysBeforeMonth(year, month);
  // Week 1 starts on the Monday of the week that holds 4 January (it may lie in December).
  auto firstMonday = [](std::int64_t ofYear) {
    const std::int64_t january4 = dayNumber(ofYear, 1, 4);
    return january4 - weekdayOf(january4);
  };
  std::int64_t monday = firstMonday(year);
  // In 1900 the first Monday is 1 January itself, so the year before is never needed there.
  if (dayNum < monday) monday = firstMonday(year - 1);
  week = 1 + (dayNum - monday) / 7;
}

void DateTimeDetails::normalize() {
  if (normalized) return;
  WideFields f{year, month, day, hour, minute, second, millisecond};
  borrowBelowDay(f);
  wrapMonth(f);
  borrowDays(f);
  if (f.year < 1900) {
    const bool keepLocal = local;
    TimeZone keepZone = zone;
    *this = DateTimeDetails();
    local = keepLocal;
    zone = keepZone;
    return;
  }
  carryBelowDay(f);
  carryDays(f);
  if (isBeyondLastInstant(f)) {
    const bool keepLocal = local;
    *this = DateTimeDetails(DateTime(INT64_MAX, zone));
    local = keepLocal;
    return;
  }
  year = static_cast<std::int64_t>(f.year);
  month = static_cast<std::int64_t>(f.month);
  day = static_cast<std::int64_t>(f.day);
  hour = static_cast<std::int64_t>(f.hour);
  minute = static_cast<std::int64_t>(f.minute);
  second = static_cast<std::int64_t>(f.second);
  millisecond = static_cast<std::int64_t>(f.millisecond);
  computeWeekFields();
  normalized = true;
}

std::int64_t DateTimeDetails::toValue() const {
  if (!normalized) {
    DateTimeDetails copy(*this);
    copy.normalize();
    return copy.toValue();
  }
  const Wide days = dayNumber(year, month, day);
  Wide value = (((days * 24 + hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
  if (local) {
    value -= zone.getStandardOffset();
    const int state = zone.dstState(DateTime(saturate(value), zone));
    if (state == TimeZone::DstInEffect || state == TimeZone::DstNearEnd) {
      value -= zone.getDstOffset();
    }
  }
  return saturate(value);
}

std::string DateTimeDetails::toString(bool withMs, bool compact, bool withZone) const {
  if (!normalized) {
    DateTimeDetails copy(*this);
    copy.normalize();
    return copy.toString(withMs, compact, withZone);
  }
  char text[96];
  if (compact) {
    std::snprintf(text, sizeof text,
                  "%04" PRId64 "%02" PRId64 "%02" PRId64 "T%02" PRId64 "%02" PRId64 "%02" PRId64,
                  year, month, day, hour, minute, second);
  } else {
    std::snprintf(text, sizeof text,
                  "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64 ":%02" PRId64
                  ":%02" PRId64,
                  year, month, day, hour, minute, second);
  }
  std::string result = text;
  if (withMs) {
    std::snprintf(text, sizeof text, ".%03" PRId64, millisecond);
    result += text;
  }
  if (!local) result += 'Z';
  if (withZone) result += zone.toString(DateTime(toValue(), zone), compact);
  return result;
}

}  // namespace KestroCorelib
