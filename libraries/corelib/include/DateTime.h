#pragma once
// Points in time and their calendar fields.
//
// A DateTime is one signed 64-bit count of milliseconds on the system's own calendar: day 1 is
// 1900-01-01, so 1900-01-01T00:00:00.000 UTC is 86,400,000 and 2015-01-01T00:00:00.000 UTC is
// 3,629,145,600,000 (day 42004). The value is always UTC; the zone it carries only says how
// to show it in local time. The Gregorian leap rule applies to every year; dates before
// 1900-01-01 do not exist.
//
// DateTimeDetails is the same point broken down into fields:
//   DateTimeDetails d(DateTime(3629145600000 + 45296789));
//   d.toString(true, false, false)   // "2015-01-01T12:34:56.789Z"
//   d.toString(false, true, false)   // "20150101T123456Z"
//   d.getWeekday()                   // 3 (Thursday; 0 is Monday)
#include <cstdint>
#include <string>

#include "TimeZone.h"

namespace KestroCorelib {

class DateTimeDetails;

class DateTime {
 public:
  static constexpr std::int64_t msPerDay = 86400000;

  // Value 0, the machine's local zone.
  DateTime();
  // The value in the machine's local zone.
  explicit DateTime(std::int64_t value);
  DateTime(std::int64_t value, const TimeZone& zone);
  DateTime(const DateTime& other) = default;
  // The details' zone and the value of the details (DateTimeDetails::toValue()).
  explicit DateTime(const DateTimeDetails& details);
  DateTime& operator=(const DateTime& other) = default;
  virtual ~DateTime();

  void set(std::int64_t newValue) { value = newValue; }
  std::int64_t get() const { return value; }
  // The stored value itself, for code that prints or reads it in place.
  std::int64_t& getRef() { return value; }
  const std::int64_t& getRef() const { return value; }

  const TimeZone& getZone() const { return zone; }
  void setZone(const TimeZone& newZone) { zone = newZone; }

  // The value broken down in UTC (local false, the zone copied).
  DateTimeDetails toDetails() const;

  // The current UTC time from the system clock, with milliseconds.
  static std::int64_t now();

 private:
  std::int64_t value = 0;
  TimeZone zone;
};

class DateTimeDetails {
 public:
  // 1900-01-01T00:00:00.000, week 1, Monday, yearday 1, normalized, UTC, default zone.
  DateTimeDetails();
  DateTimeDetails(const DateTimeDetails& other) = default;
  DateTimeDetails& operator=(const DateTimeDetails& other) = default;
  // The value broken down in UTC. Every value below 86,400,000 (there is no date before
  // 1900-01-01) gives the defaults, so 0 reads as 1900-01-01T00:00:00.000.
  explicit DateTimeDetails(const DateTime& time);
  // The same for a value in the machine's local zone.
  explicit DateTimeDetails(std::int64_t value);
  virtual ~DateTimeDetails();

  // The system clock's current UTC date and time, with week, weekday and yearday.
  static DateTimeDetails fromSystemTime();

  // Repairs out-of-range fields: borrows and carries between them (month 13 is January of
  // the next year, hour -1 is 23:00 of the day before, 1900-02-29 is 1900-03-01), and gives
  // the defaults when the result lies before 1900. A result beyond the last instant a value
  // can hold becomes that instant. Computes week, weekday and yearday. Does nothing while
  // isNormalized() is true.
  void normalize();

  // The value of the fields (of a normalized copy when not normalized). Local fields are
  // turned into UTC with the zone's standard offset and, when the zone's dstState() says so,
  // its DST offset. Saturates at the limits of the 64-bit value.
  std::int64_t toValue() const;

  // "2015-03-04T12:34:56.789Z"; compact "20150304T123456.789Z"; without milliseconds
  // "2015-03-04T12:34:56Z"; "Z" only for UTC fields; with zone the zone's offset text at this
  // point, in the same compact or non-compact form. The year has at least 4 digits.
  std::string toString(bool withMs, bool compact, bool withZone) const;

  std::int64_t getYear() const { return year; }
  std::int64_t getMonth() const { return month; }
  std::int64_t getDay() const { return day; }
  std::int64_t getHour() const { return hour; }
  std::int64_t getMinute() const { return minute; }
  std::int64_t getSecond() const { return second; }
  std::int64_t getMillisecond() const { return millisecond; }
  // ISO-like week: week 1 starts on the Monday of the week holding 4 January; days late in
  // December stay in week 52 or 53 of their own year.
  std::int64_t getWeek() const { return week; }
  // 0 = Monday to 6 = Sunday.
  std::int64_t getWeekday() const { return weekday; }
  // 1 = 1 January.
  std::int64_t getYearday() const { return yearday; }
  bool isNormalized() const { return normalized; }
  bool isLocal() const { return local; }
  const TimeZone& getZone() const { return zone; }

  // Setting a calendar field (any value) or the local flag marks the details as not normalized.
  void setDate(std::int64_t newYear, std::int64_t newMonth, std::int64_t newDay);
  void setTime(std::int64_t newHour, std::int64_t newMinute, std::int64_t newSecond,
               std::int64_t newMillisecond = 0);
  void setLocal(bool isLocalTime);
  void setZone(const TimeZone& newZone) { zone = newZone; }

 private:
  void computeWeekFields();

  std::int64_t year = 1900;
  std::int64_t month = 1;
  std::int64_t day = 1;
  std::int64_t hour = 0;
  std::int64_t minute = 0;
  std::int64_t second = 0;
  std::int64_t millisecond = 0;
  std::int64_t week = 1;
  std::int64_t weekday = 0;
  std::int64_t yearday = 1;
  bool normalized = true;
  bool local = false;
  TimeZone zone;
};

}  // namespace KestroCorelib
