#pragma once
// How local time relates to UTC: a standard offset, an optional daylight-saving offset and two
// yearly rules saying when daylight-saving time starts and ends.
//
// The machine's zone is found without a time-zone database: setLocal() walks the current year
// hour by hour through the runtime library's local-time conversion and records where the clock
// jumps. It sees whole hours only: half an hour of daylight saving reads as one hour. A change
// at 24:00 gives a rule hour of 24. The environment variable KESTRO_TZ, read once per process when
// the first zone is made, replaces the machine's zone for the whole process.
//
// Text forms read by set() and the text constructor, tried in this order:
//   "+01:00 (+01:00 3M5W6D2H-10M5W6D3H)"  standard offset, (DST offset, start rule-end rule)
//   "+0200", "-03:30", "+05:30xyz"         one offset: the whole offset at the reference time
//   "60", "-90", "3600000"                 decimal: magnitude up to 1,000,000 counts minutes,
//                                          above that milliseconds; the whole offset as above
// Offsets (standard and DST) are limited to +-1,000,000 minutes; larger texts are clamped.
//
//   TimeZone zone("+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");
//   zone.offsetAt(july)          // 7,200,000
//   zone.toString(july)          // "+02:00";  zone.toString(july, true) == "+0200"
#include <cstdint>
#include <string>

namespace KestroCorelib {

class DateTime;

// A yearly change: the week-th weekday of month at hour:00 (week 5 = the last one in the
// month). A month of 0 means there is no rule. The start rule's hour is in local standard
// time, the end rule's hour in local daylight-saving time. A rule whose month is above 12,
// whose week is 0 or above 5, or whose weekday is above 6 names no day and counts as missing.
struct TimeZoneRule {
  std::uint8_t month = 0;    // 1 to 12
  std::uint8_t week = 0;     // 1 to 5
  std::uint8_t weekday = 0;  // 0 = Monday to 6 = Sunday
  std::uint8_t hour = 0;     // 0 to 23, or 24 for a change at the end of the day

  // True when the rule names a day (see above).
  bool isUsable() const;
  bool operator==(const TimeZoneRule& other) const;
  bool operator!=(const TimeZoneRule& other) const { return !(*this == other); }
};

class TimeZone {
 public:
  // Codes of dstState().
  enum DstState : int {
    DstInEffect = 1,     // daylight-saving time
    DstStandard = 2,     // standard time
    DstBeforeStart = 3,  // close before the start, treated as standard time
    DstNearEnd = 4,      // close to the end, treated as daylight-saving time
  };

  // Largest standard or DST offset a zone holds: 1,000,000 minutes in milliseconds.
  static constexpr std::int64_t maxOffset = 60000000000;

  // Every field 0: not valid, no daylight-saving time. Runs the process-wide KESTRO_TZ set-up
  // the first time any zone is made.
  TimeZone();
  // The copy is valid, whatever the source was.
  TimeZone(const TimeZone& other);
  TimeZone& operator=(const TimeZone& other);
  // Parses the text against the current time in the local zone (see set()).
  explicit TimeZone(const std::string& text);
  virtual ~TimeZone();

  // Makes this the machine's zone: the KESTRO_TZ zone when there is one; else the zone worked
  // out by the hourly walk, taken from the process-wide cache unless the cache is an hour old
  // or forceRefresh is set.
  void setLocal(bool forceRefresh = false);
  // The zone the hourly walk works out when the clock reads `nowSeconds` (seconds since
  // 1970-01-01 UTC): the walk covers that local year and measures the standard offset on that
  // day of the month before DST starts. Neither KESTRO_TZ nor the cache plays a part.
  // setLocal() walks at the current time; a test can walk at any day it needs.
  void walkLocalYear(std::int64_t nowSeconds);

  // Parses one of the text forms above. The offset forms keep the reference's zone rules and
  // DST offset and set the standard offset so that the whole offset at the reference time is
  // the one given ("+0200" read in summer on a machine with one hour of DST gives a standard
  // offset of one hour).
  void set(const std::string& text, const DateTime& reference);

  // The whole offset in force at the instant: standardOffset plus dstOffset when isDst().
  std::int64_t offsetAt(const DateTime& time) const;
  // Whether daylight-saving time is in force at the instant (never without both rules or with
  // a dstOffset of 0).
  bool isDst(const DateTime& time) const;
  // One of the DstState codes, used when local fields are turned into a value.
  int dstState(const DateTime& time) const;
  // The UTC values (milliseconds of DateTime) of the start and the end of DST in the year;
  // 0 when dstOffset is 0, the rule is missing, or the year lies outside 1900 to the last year
  // a DateTime value can hold.
  std::int64_t dstStartAt(std::int64_t year) const;
  std::int64_t dstEndAt(std::int64_t year) const;

  // The whole offset at the instant: "+02:00", or compact "+0200"; 0 is "+00:00".
  std::string toString(const DateTime& time, bool compact = false) const;

  bool isValid() const { return valid; }
  std::int64_t getStandardOffset() const { return standardOffset; }
  std::int64_t getDstOffset() const { return dstOffset; }
  const TimeZoneRule& getDstStart() const { return dstStart; }
  const TimeZoneRule& getDstEnd() const { return dstEnd; }
  // Setters make the zone valid; offsets are clamped to +-maxOffset.
  void setStandardOffset(std::int64_t offset);
  void setDstOffset(std::int64_t offset);
  void setDstStart(const TimeZoneRule& rule);
  void setDstEnd(const TimeZoneRule& rule);

 private:
  struct NoSetup {};
  // A zone with every field 0 that does not run the KESTRO_TZ set-up (for the process-wide
  // state itself, which the set-up fills).
  explicit TimeZone(NoSetup);

  friend struct TimeZoneState;
  static void ensureProcessSetup();
  std::int64_t ruleInstant(const TimeZoneRule& rule, std::int64_t year) const;
  bool hasRules() const;

  bool valid = false;
  std::int64_t standardOffset = 0;
  std::int64_t dstOffset = 0;
  TimeZoneRule dstStart;
  TimeZoneRule dstEnd;
};

}  // namespace KestroCorelib
