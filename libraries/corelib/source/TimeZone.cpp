#include "TimeZone.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "CalendarMath.h"
#include "DateTime.h"
#include "StringTools.h"
#include "WideInt.h"
#include "platform/PlatformTime.h"

namespace KestroCorelib {

namespace {

using namespace detail;

// Offsets and instants are combined before they are clamped, so the sums need more than
// 64 bits.
using Wide = WideInt;

constexpr std::int64_t secondsPerHour = 3600;
// How long the local-zone cache is trusted.
constexpr std::int64_t cacheLifetime = 3600;
// After a change has been found the walk skips ahead this far: the other change of the year
// is months away.
constexpr std::int64_t walkSkip = 90 * 24 * secondsPerHour;
// Texts of form 3 up to this magnitude count minutes, larger ones milliseconds.
constexpr std::int64_t largestMinuteCount = 1000000;

std::int64_t clampOffset(Wide offset) {
  if (offset > TimeZone::maxOffset) return TimeZone::maxOffset;
  if (offset < -TimeZone::maxOffset) return -TimeZone::maxOffset;
  return static_cast<std::int64_t>(offset);
}

std::int64_t saturate(Wide value) {
  if (value > INT64_MAX) return INT64_MAX;
  if (value < INT64_MIN) return INT64_MIN;
  return static_cast<std::int64_t>(value);
}

// "+hh:mm" / "-hh:mm" or "+hhmm" / "-hhmm" in milliseconds; anything else is 0.
std::int64_t parseOffset(const std::string& text) {
  std::size_t minutesAt = 0;
  if (StringTools::matchGlob(text, "+??:??") || StringTools::matchGlob(text, "-??:??")) {
    minutesAt = 4;
  } else if (StringTools::matchGlob(text, "+????") || StringTools::matchGlob(text, "-????")) {
    minutesAt = 3;
  } else {
    return 0;
  }
  // At most 99 each, so no overflow.
  const std::int64_t hours = static_cast<std::int64_t>(StringTools::toUInt64(text.substr(1, 2)));
  const std::int64_t minutes =
      static_cast<std::int64_t>(StringTools::toUInt64(text.substr(minutesAt, 2)));
  const std::int64_t value = hours * msPerHour + minutes * msPerMinute;
  return text[0] == '-' ? -value : value;
}

// "3M5W6D2H": each letter stores the number collected before it (its leading digits, 0 if
// none) into its field; the letters may come in any order.
TimeZoneRule parseRule(const std::string& text) {
  TimeZoneRule rule;
  std::string collected;
  for (char c : text) {
    std::uint8_t* field = nullptr;
    switch (c) {
    case 'M':
      field = &rule.month;
      break;
    case 'W':
      field = &rule.week;
      break;
    case 'D':
      field = &rule.weekday;
      break;
    case 'H':
      field = &rule.hour;
      break;
    default:
      collected += c;
      continue;
    }
    // A byte field: a larger number is kept at 255 rather than wrapping round into range
    // (256M must not become month 0, 257M not month 1).
    const std::uint64_t number = StringTools::toUInt64(collected);
    *field = static_cast<std::uint8_t>(number > 255 ? 255 : number);
    collected.clear();
  }
  return rule;
}

TimeZoneRule ruleFromLocalFields(const std::tm& fields) {
  TimeZoneRule rule;
  rule.month = static_cast<std::uint8_t>(fields.tm_mon + 1);
  // The fourth occurrence of a weekday is written as the last one: the changes that fall on it
  // are "last Sunday" rules in the years where the month has only four.
  int week = (fields.tm_mday - 1) / 7 + 1;
  if (week == 4) week = 5;
  rule.week = static_cast<std::uint8_t>(week);
  rule.weekday = static_cast<std::uint8_t>((fields.tm_wday + 6) % 7);
  rule.hour = static_cast<std::uint8_t>(fields.tm_hour + 1);
  return rule;
}

// Seconds since 1970 of calendar fields read as UTC; the day may run past the month's end.
// Unlike the runtime's own conversion this is not limited to 1970 to 2038.
std::int64_t utcSecondsOf(std::int64_t year, std::int64_t month, std::int64_t day,
                          std::int64_t hour, std::int64_t minute, std::int64_t second) {
  constexpr std::int64_t unixEpochDay = dayNumber(1970, 1, 1);
  const std::int64_t days = dayNumber(year, month, day) - unixEpochDay;
  return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

}  // namespace

// The process-wide zone state. Function-local, so that zones made during static construction
// (a logger's time stamp, for instance) find it ready whatever the order of construction.
struct TimeZoneState {
  bool setupDone = false;
  bool setupRunning = false;
  bool hasOverride = false;
  TimeZone overrideZone{TimeZone::NoSetup{}};
  bool cacheFilled = false;
  std::int64_t cacheTime = 0;
  TimeZone cachedZone{TimeZone::NoSetup{}};

  static TimeZoneState& get() {
    static TimeZoneState state;
    return state;
  }
};

bool TimeZoneRule::isUsable() const {
  return month >= 1 && month <= 12 && week >= 1 && week <= 5 && weekday <= 6;
}

bool TimeZoneRule::operator==(const TimeZoneRule& other) const {
  return month == other.month && week == other.week && weekday == other.weekday &&
         hour == other.hour;
}

TimeZone::TimeZone() { ensureProcessSetup(); }

TimeZone::TimeZone(NoSetup) {}

TimeZone::TimeZone(const TimeZone& other)
    : valid(true),
      standardOffset(other.standardOffset),
      dstOffset(other.dstOffset),
      dstStart(other.dstStart),
      dstEnd(other.dstEnd) {}

TimeZone& TimeZone::operator=(const TimeZone& other) {
  valid = true;
  standardOffset = other.standardOffset;
  dstOffset = other.dstOffset;
  dstStart = other.dstStart;
  dstEnd = other.dstEnd;
  return *this;
}

TimeZone::TimeZone(const std::string& text) : TimeZone() { set(text, DateTime(DateTime::now())); }

TimeZone::~TimeZone() = default;

void TimeZone::ensureProcessSetup() {
  TimeZoneState& state = TimeZoneState::get();
  // The override text is parsed against the machine's zone, which makes zones itself: those
  // must not start the set-up again.
  if (state.setupDone || state.setupRunning) return;
  state.setupRunning = true;
  // Let the runtime take up its own rules (its TZ variable) before anything asks it.
  platform::resetLocalTimeRules();
  std::string text;
  if (StringTools::getEnv("KESTRO_TZ", text) && !text.empty()) {
    state.overrideZone = TimeZone(text);
    state.hasOverride = true;
  }
  state.setupRunning = false;
  state.setupDone = true;
}

void TimeZone::setLocal(bool forceRefresh) {
  ensureProcessSetup();
  TimeZoneState& state = TimeZoneState::get();
  if (state.hasOverride) {
    *this = state.overrideZone;
    return;
  }
  const std::int64_t now = platform::currentSeconds();
  // A clock set back makes the cache's age negative: work the zone out again then.
  const std::int64_t age = now - state.cacheTime;
  if (!forceRefresh && state.cacheFilled && age >= 0 && age < cacheLifetime) {
    *this = state.cachedZone;
    return;
  }
  walkLocalYear(now);
  state.cachedZone = *this;
  state.cacheTime = now;
  state.cacheFilled = true;
}

void TimeZone::walkLocalYear(std::int64_t now) {
  // Valid whatever the walk finds: a machine without local time has a zone of offset 0.
  valid = true;
  standardOffset = 0;
  dstOffset = 0;
  dstStart = TimeZoneRule();
  dstEnd = TimeZoneRule();

  std::tm today{};
  if (!platform::toLocalFields(now, today)) return;  // no local time: a zone of offset 0

  std::tm firstFields{};
  firstFields.tm_year = today.tm_year;
  firstFields.tm_mon = 0;
  firstFields.tm_mday = 1;
  firstFields.tm_isdst = -1;
  std::tm lastFields{};
  lastFields.tm_year = today.tm_year;
  lastFields.tm_mon = 11;
  lastFields.tm_mday = 31;
  lastFields.tm_hour = 23;
  lastFields.tm_isdst = -1;
  std::int64_t first = 0, last = 0;
  if (platform::fromLocalFields(firstFields, first) &&
      platform::fromLocalFields(lastFields, last)) {
    for (std::int64_t t = first + secondsPerHour; t < last; t += secondsPerHour) {
      std::tm prev{}, cur{};
      if (!platform::toLocalFields(t - secondsPerHour, prev) || !platform::toLocalFields(t, cur)) {
        break;
      }
      const int p = prev.tm_hour;
      const int h = cur.tm_hour;
      if (h == (p + 1) % 24) continue;  // an ordinary hour
      const bool sameDay = cur.tm_year == prev.tm_year && cur.tm_yday == prev.tm_yday;
      if (sameDay && h - p >= 2) {
        dstOffset = (h - p - 1) * msPerHour;
        dstStart = ruleFromLocalFields(prev);
      } else if (h == p || (h < p && p - h <= 4) || h - p >= 20) {
        dstOffset = ((p - h + 1 + 24) % 24) * msPerHour;
        dstEnd = ruleFromLocalFields(prev);
      } else if (!sameDay && h < p) {
        // Forward across midnight (a change at 24:00): a start whose hour is 24 of prev's day.
        dstOffset = (h + 24 - p - 1) * msPerHour;
        dstStart = ruleFromLocalFields(prev);
      } else {
        // Back by 5 to 19 hours: no daylight-saving change makes that step.
        continue;
      }
      if (prev.tm_mon + 1 >= 10) break;
      t += walkSkip;
    }
  }

  // The standard offset is measured in the month before DST starts, which is standard time in
  // both hemispheres (any month is, when the zone has no DST).
  const auto floorDiv = [](std::int64_t value, std::int64_t divisor) {
    return value / divisor - (value % divisor < 0 ? 1 : 0);
  };
  const std::int64_t hourNumber = floorDiv(now, secondsPerHour);
  const std::int64_t dayNum = dayNumber(1970, 1, 1) + floorDiv(hourNumber, 24);
  if (dayNum < 1) return;
  std::int64_t year = 0, month = 0, day = 0;
  dateOfDay(dayNum, year, month, day);
  const std::int64_t hourOfDay = hourNumber - floorDiv(hourNumber, 24) * 24;
  if (dstStart.month >= 1 && dstStart.month <= 12) {
    month = dstStart.month == 1 ? 12 : dstStart.month - 1;
    // Today's day may not exist in that month: on the 31st, "September 31" would be 1
    // October, and in a zone whose DST starts early in October that is DST already.
    day = std::min(day, monthLength(year, month));
  }
  const std::int64_t utcSeconds = utcSecondsOf(year, month, day, hourOfDay, 0, 0);
  std::tm localFields{};
  if (!platform::toLocalFields(utcSeconds, localFields)) return;
  const std::int64_t localSeconds =
      utcSecondsOf(localFields.tm_year + 1900, localFields.tm_mon + 1, localFields.tm_mday,
                   localFields.tm_hour, localFields.tm_min, localFields.tm_sec);
  standardOffset = clampOffset(static_cast<Wide>(localSeconds - utcSeconds) * 1000);
}

void TimeZone::set(const std::string& text, const DateTime& reference) {
  if (StringTools::matchGlob(text, "???:?? (???:?? *M*W*D*H-*M*W*D*H)")) {
    // The pattern guarantees every separator searched for below; the checks only keep a
    // surprise from reading past the text.
    const std::size_t blank = text.find(' ');
    const std::size_t open = text.find('(', blank);
    if (open == std::string::npos) return;
    std::string rest = text.substr(open + 1);
    const std::size_t blank2 = rest.find(' ');
    if (blank2 == std::string::npos) return;
    const std::size_t dash = rest.find('-', blank2 + 1);
    if (dash == std::string::npos) return;
    const std::size_t close = rest.find(')', dash + 1);
    if (close == std::string::npos) return;
    standardOffset = clampOffset(parseOffset(text.substr(0, blank)));
    dstOffset = clampOffset(parseOffset(rest.substr(0, blank2)));
    dstStart = parseRule(rest.substr(blank2 + 1, dash - blank2 - 1));
    dstEnd = parseRule(rest.substr(dash + 1, close - dash - 1));
    valid = true;
    return;
  }

  Wide offset = 0;
  if (StringTools::matchGlob(text, "+????*") || StringTools::matchGlob(text, "-????*")) {
    offset = parseOffset(text);
  } else {
    const std::int64_t number = StringTools::toInt64(text);
    const bool minutes = number >= -largestMinuteCount && number <= largestMinuteCount;
    offset = minutes ? static_cast<Wide>(number) * msPerMinute : number;
  }
  // The given offset is the whole offset at the reference time: keep the reference zone's
  // rules and take its daylight saving out of the standard offset when it is in force.
  const TimeZone& model = reference.getZone();
  dstOffset = model.dstOffset;
  dstStart = model.dstStart;
  dstEnd = model.dstEnd;
  standardOffset = clampOffset(offset);
  if (isDst(reference)) standardOffset = clampOffset(static_cast<Wide>(standardOffset) - dstOffset);
  valid = true;
}

bool TimeZone::hasRules() const { return dstStart.isUsable() && dstEnd.isUsable(); }

std::int64_t TimeZone::ruleInstant(const TimeZoneRule& rule, std::int64_t year) const {
  const std::int64_t firstWeekday = weekdayOf(dayNumber(year, rule.month, 1));
  std::int64_t day = 1 + (rule.weekday - firstWeekday + 7) % 7 + 7 * (rule.week - 1);
  // Week 5 is the last occurrence, whether the month holds four or five.
  while (day > monthLength(year, rule.month)) day -= 7;
  const Wide value = static_cast<Wide>(dayNumber(year, rule.month, day)) * msPerDay +
                     static_cast<Wide>(rule.hour) * msPerHour - standardOffset;
  return saturate(value);
}

std::int64_t TimeZone::dstStartAt(std::int64_t year) const {
  if (dstOffset == 0 || !dstStart.isUsable() || year < 1900 || year > maxYear) return 0;
  return ruleInstant(dstStart, year);
}

std::int64_t TimeZone::dstEndAt(std::int64_t year) const {
  if (dstOffset == 0 || !dstEnd.isUsable() || year < 1900 || year > maxYear) return 0;
  return saturate(static_cast<Wide>(ruleInstant(dstEnd, year)) - dstOffset);
}

bool TimeZone::isDst(const DateTime& time) const {
  if (!hasRules() || dstOffset == 0) return false;
  const std::int64_t year = yearOfValue(time.get());
  const std::int64_t start = dstStartAt(year);
  const std::int64_t end = dstEndAt(year);
  const std::int64_t t = time.get();
  if (start == end) return false;
  if (start < end) return start <= t && t < end;
  return t >= start || t < end;  // southern hemisphere: DST spans the turn of the year
}

int TimeZone::dstState(const DateTime& time) const {
  if (!hasRules()) return DstStandard;
  const std::int64_t year = yearOfValue(time.get());
  const Wide start = dstStartAt(year);
  const Wide end = dstEndAt(year);
  if (start == end) return DstStandard;
  const Wide t = time.get();
  const Wide d = dstOffset;
  const auto nearerStart = [&]() {
    const Wide toStart = t > start ? t - start : start - t;
    const Wide toEnd = t > end ? t - end : end - t;
    return toStart < toEnd ? DstBeforeStart : DstNearEnd;
  };
  if (start < end) {
    if (t + d < start) return DstStandard;
    if (start <= t && t < end + d) return DstInEffect;
    if (t - d >= end) return DstStandard;
    return nearerStart();
  }
  if (t >= start || t + d < end) return DstInEffect;
  if (t - d > end && t + d < start) return DstStandard;
  return nearerStart();
}

std::int64_t TimeZone::offsetAt(const DateTime& time) const {
  // Both offsets are limited to maxOffset, so the sum cannot overflow.
  return isDst(time) ? standardOffset + dstOffset : standardOffset;
}

std::string TimeZone::toString(const DateTime& time, bool compact) const {
  const std::int64_t offset = offsetAt(time);
  const std::uint64_t magnitude =
      offset < 0 ? static_cast<std::uint64_t>(-offset) : static_cast<std::uint64_t>(offset);
  const std::uint64_t hours = magnitude / msPerHour;
  const std::uint64_t minutes = magnitude % msPerHour / msPerMinute;
  char text[48];
  std::snprintf(text, sizeof text,
                compact ? "%c%02" PRIu64 "%02" PRIu64 : "%c%02" PRIu64 ":%02" PRIu64,
                offset < 0 ? '-' : '+', hours, minutes);
  return text;
}

void TimeZone::setStandardOffset(std::int64_t offset) {
  standardOffset = clampOffset(offset);
  valid = true;
}

void TimeZone::setDstOffset(std::int64_t offset) {
  dstOffset = clampOffset(offset);
  valid = true;
}

void TimeZone::setDstStart(const TimeZoneRule& rule) {
  dstStart = rule;
  valid = true;
}

void TimeZone::setDstEnd(const TimeZoneRule& rule) {
  dstEnd = rule;
  valid = true;
}

}  // namespace KestroCorelib
