#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <random>
#include <tuple>
#include <vector>

#include "DateTime.h"

namespace KestroCorelib {
namespace {

constexpr std::int64_t msPerDay = 86400000;
// 1970-01-01 is day 25568 of the system calendar (1900-01-01 is day 1).
constexpr std::int64_t unixEpochValue = 25568 * msPerDay;

DateTimeDetails fields(std::int64_t year, std::int64_t month, std::int64_t day,
                       std::int64_t hour = 0, std::int64_t minute = 0, std::int64_t second = 0,
                       std::int64_t millisecond = 0) {
  DateTimeDetails details;
  details.setDate(year, month, day);
  details.setTime(hour, minute, second, millisecond);
  return details;
}

std::string text(const DateTimeDetails& details) { return details.toString(true, false, false); }

TimeZone utcZone() {
  TimeZone zone;
  zone.setStandardOffset(0);
  return zone;
}

DateTimeDetails detailsOf(std::int64_t value) {
  return DateTimeDetails(DateTime(value, utcZone()));
}

TEST(DateTime, EpochDaysGiveTheDocumentedValues) {
  EXPECT_EQ(fields(1900, 1, 1).toValue(), 86400000);
  EXPECT_EQ(fields(2015, 1, 1).toValue(), 3629145600000);
  EXPECT_EQ(fields(2015, 3, 4, 12, 34, 56, 789).toValue(),
            3629145600000 + (31 + 28 + 3) * msPerDay + 45296789);
  EXPECT_EQ(DateTime(fields(2015, 1, 1)).get(), 3629145600000);
}

TEST(DateTimeDetails, ValuesBeforeTheFirstDayReadAsItsStart) {
  for (std::int64_t value :
       {std::int64_t{0}, std::int64_t{1}, msPerDay - 1, std::int64_t{-1}, INT64_MIN}) {
    const DateTimeDetails details = detailsOf(value);
    EXPECT_EQ(text(details), "1900-01-01T00:00:00.000Z") << value;
    EXPECT_EQ(details.toValue(), 86400000) << value;
  }
  EXPECT_EQ(text(detailsOf(msPerDay + 1)), "1900-01-01T00:00:00.001Z");
}

// The runtime's UTC breakdown is an independent reference for 1970 onwards.
TEST(DateTimeDetails, BreakdownAgreesWithTheRuntimeAndRoundTrips) {
  std::mt19937_64 random(42);
  std::uniform_int_distribution<std::int64_t> seconds(0, 4102444800);  // 1970 .. 2100
  for (int i = 0; i < 20000; ++i) {
    const std::int64_t unixSeconds = seconds(random);
    const std::int64_t value = unixEpochValue + unixSeconds * 1000 + i % 1000;
    const DateTimeDetails details = detailsOf(value);
    std::tm expected{};
#ifdef _WIN32
    // The 64-bit form: time_t of the 32-bit runtime ends in 2038.
    const __time64_t t64 = unixSeconds;
    _gmtime64_s(&expected, &t64);
#else
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    gmtime_r(&t, &expected);
#endif
    // Fields as "year month day hour minute second millisecond weekday yearday".
    const std::vector<std::int64_t> got = {
        details.getYear(),        details.getMonth(),   details.getDay(),
        details.getHour(),        details.getMinute(),  details.getSecond(),
        details.getMillisecond(), details.getWeekday(), details.getYearday()};
    const std::vector<std::int64_t> want = {
        expected.tm_year + 1900, expected.tm_mon + 1, expected.tm_mday, expected.tm_hour,
        expected.tm_min,         expected.tm_sec,     i % 1000,         (expected.tm_wday + 6) % 7,
        expected.tm_yday + 1};
    ASSERT_EQ(got, want) << value;
#ifndef _WIN32  // the Windows runtime knows no ISO week (%V)
    char isoWeek[8];
    std::strftime(isoWeek, sizeof isoWeek, "%V", &expected);
    // Late December never counts as week 1 of the next year here; elsewhere ISO weeks agree.
    if (!(expected.tm_mon == 11 && std::atoi(isoWeek) == 1)) {
      ASSERT_EQ(details.getWeek(), std::atoi(isoWeek)) << value;
    }
#endif
    ASSERT_EQ(details.toValue(), value);
  }
}

TEST(DateTimeDetails, WeekNumbersAtTheTurnOfTheYear) {
  EXPECT_EQ(detailsOf(86400000).getWeekday(), 0);  // 1900-01-01, a Monday
  EXPECT_EQ(detailsOf(86400000).getWeek(), 1);
  // 2016-01-01 is still in the week counted from 2014-12-29.
  using Case = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>;
  for (const auto& [year, month, day, week] :
       {Case{2014, 12, 29, 53}, Case{2018, 12, 31, 53}, Case{2016, 1, 1, 53}, Case{2016, 1, 4, 1},
        Case{2017, 12, 31, 52}}) {
    EXPECT_EQ(detailsOf(fields(year, month, day).toValue()).getWeek(), week)
        << year << "-" << month << "-" << day;
  }
}

TEST(DateTimeDetails, NormalizeRepairsOutOfRangeFields) {
  auto normalized = [](DateTimeDetails details) {
    details.normalize();
    EXPECT_TRUE(details.isNormalized());
    return text(details);
  };
  EXPECT_EQ(normalized(fields(2000, 2, 29)), "2000-02-29T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(1900, 2, 29)), "1900-03-01T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(2015, 1, 1, -1)), "2014-12-31T23:00:00.000Z");
  EXPECT_EQ(normalized(fields(2015, 13, 1)), "2016-01-01T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(2015, 0, 1)), "2014-12-01T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(2016, 3, 0)), "2016-02-29T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(2015, 14, 40)), "2016-03-11T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(2015, 12, 31, 23, 59, 59, 1000)), "2016-01-01T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(2015, 1, 1, 0, 0, 0, -1)), "2014-12-31T23:59:59.999Z");
  EXPECT_EQ(normalized(fields(2015, 1, 1, 0, -61)), "2014-12-31T22:59:00.000Z");
  // Days right at whole 400-year eras (146,097 days each), where an era is skipped at once.
  EXPECT_EQ(normalized(fields(2000, 3, 2 * 146097 - 1)), "2800-02-28T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(2000, 3, 2 * 146097)), "2800-02-29T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(2000, 3, 2 * 146097 + 1)), "2800-03-01T00:00:00.000Z");
  // Nothing lies before 1900: such fields become the defaults.
  EXPECT_EQ(normalized(fields(1899, 12, 31, 23, 59)), "1900-01-01T00:00:00.000Z");
  EXPECT_EQ(normalized(fields(1900, 1, 1, 0, 0, 0, -1)), "1900-01-01T00:00:00.000Z");
  DateTimeDetails early = fields(1899, 6, 1);
  early.normalize();
  EXPECT_EQ(early.getWeek(), 1);
  EXPECT_EQ(early.getYearday(), 1);
  EXPECT_EQ(early.toValue(), 86400000);
}

// Huge field values must neither overflow nor loop for long; they mean what they say, as
// long as the result can be held in a value.
TEST(DateTimeDetails, NormalizeTakesAnyFieldValue) {
  const std::int64_t base = fields(2000, 1, 1).toValue();
  std::mt19937_64 random(7);
  std::uniform_int_distribution<std::int64_t> offsets(-3000000000000, 4000000000000000);
  for (int i = 0; i < 500; ++i) {
    const std::int64_t ms = offsets(random);
    ASSERT_EQ(fields(2000, 1, 1, 0, 0, 0, ms).toValue(), base + ms) << ms;
    ASSERT_EQ(fields(2000, 1, 1, 0, 0, ms / 1000).toValue(), base + ms / 1000 * 1000) << ms;
    ASSERT_EQ(fields(2000, 1, 1, 0, ms / 60000).toValue(), base + ms / 60000 * 60000) << ms;
    ASSERT_EQ(fields(2000, 1, 1 + ms / msPerDay).toValue(), base + ms / msPerDay * msPerDay) << ms;
  }
  // The last instant a value can hold is as far as the fields go.
  const std::string last = text(detailsOf(INT64_MAX));
  for (const DateTimeDetails& huge :
       {fields(INT64_MAX, 1, 1), fields(2000, INT64_MAX, 1), fields(2000, 1, INT64_MAX),
        fields(2000, 1, 1, INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX),
        fields(INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX),
        fields(INT64_MAX, 1, 1, 0, 0, 0, INT64_MIN)}) {
    EXPECT_EQ(huge.toValue(), INT64_MAX);
    EXPECT_EQ(text(huge), last);
  }
  for (const DateTimeDetails& tiny :
       {fields(INT64_MIN, 1, 1), fields(2000, INT64_MIN, 1), fields(2000, 1, INT64_MIN),
        fields(2000, 1, 1, INT64_MIN, INT64_MIN, INT64_MIN, INT64_MIN),
        fields(2000, INT64_MIN, INT64_MAX)}) {
    EXPECT_EQ(text(tiny), "1900-01-01T00:00:00.000Z");
  }
  // Opposite extremes cancel out field by field.
  EXPECT_EQ(fields(2000, 1, 1, 0, 0, INT64_MAX / 1000, -(INT64_MAX / 1000) * 1000).toValue(), base);
}

TEST(DateTimeDetails, TextForms) {
  const DateTimeDetails details = fields(2015, 3, 4, 12, 34, 56, 789);
  EXPECT_EQ(details.toString(true, false, false), "2015-03-04T12:34:56.789Z");
  EXPECT_EQ(details.toString(false, true, false), "20150304T123456Z");
  EXPECT_EQ(details.toString(true, true, false), "20150304T123456.789Z");
  EXPECT_EQ(details.toString(false, false, false), "2015-03-04T12:34:56Z");
  EXPECT_EQ(text(fields(2015, 3, 4, 1, 2, 3, 7)), "2015-03-04T01:02:03.007Z");
  EXPECT_EQ(text(fields(12345, 1, 2)), "12345-01-02T00:00:00.000Z");
  EXPECT_EQ(detailsOf(INT64_MAX).toString(true, false, false), "292278924-08-16T07:12:55.807Z");

  DateTimeDetails local = fields(2015, 3, 4, 12, 34, 56);
  local.setLocal(true);
  EXPECT_EQ(local.toString(false, false, false), "2015-03-04T12:34:56");
}

TEST(DateTimeDetails, ZoneTextFollowsTheDaylightSavingRules) {
  const TimeZone zone("+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");
  DateTimeDetails summer(DateTime(fields(2015, 7, 1, 12).toValue(), zone));
  DateTimeDetails winter(DateTime(fields(2015, 1, 1, 12).toValue(), zone));
  EXPECT_EQ(summer.toString(false, false, true), "2015-07-01T12:00:00Z+02:00");
  EXPECT_EQ(summer.toString(false, true, true), "20150701T120000Z+0200");
  EXPECT_EQ(winter.toString(true, false, true), "2015-01-01T12:00:00.000Z+01:00");
}

TEST(DateTimeDetails, LocalFieldsTakeOffTheZoneOffsets) {
  const TimeZone zone("+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");
  auto localValue = [&zone](DateTimeDetails details) {
    details.setZone(zone);
    details.setLocal(true);
    return details.toValue();
  };
  EXPECT_EQ(localValue(fields(2015, 1, 15, 13)), fields(2015, 1, 15, 12).toValue());
  EXPECT_EQ(localValue(fields(2015, 7, 1, 14)), fields(2015, 7, 1, 12).toValue());
  // The hour before the start (01:30 on 2015-03-29) is standard time, the hour after it
  // daylight-saving time.
  EXPECT_EQ(localValue(fields(2015, 3, 29, 1, 30)), fields(2015, 3, 29, 0, 30).toValue());
  EXPECT_EQ(localValue(fields(2015, 3, 29, 3, 30)), fields(2015, 3, 29, 1, 30).toValue());
  // The repeated hour at the end (02:30 on 2015-10-25) is read as daylight-saving time.
  EXPECT_EQ(localValue(fields(2015, 10, 25, 2, 30)), fields(2015, 10, 25, 0, 30).toValue());
}

TEST(DateTime, NowIsTheSystemClockInUtc) {
  const std::int64_t before = unixEpochValue + static_cast<std::int64_t>(std::time(nullptr)) * 1000;
  const std::int64_t now = DateTime::now();
  const DateTimeDetails system = DateTimeDetails::fromSystemTime();
  const std::int64_t after =
      unixEpochValue + (static_cast<std::int64_t>(std::time(nullptr)) + 1) * 1000;
  EXPECT_GE(now, before);
  EXPECT_LT(now, after);
  EXPECT_FALSE(system.isLocal());
  EXPECT_TRUE(system.isNormalized());
  EXPECT_GE(system.toValue(), before);
  EXPECT_LT(system.toValue(), after);
  EXPECT_EQ(system.getWeekday(), detailsOf(system.toValue()).getWeekday());
}

TEST(DateTime, DetailsKeepTheZoneBothWays) {
  const TimeZone zone("+05:30");
  const DateTimeDetails details = DateTime(172800000, zone).toDetails();
  EXPECT_EQ(text(details), "1900-01-02T00:00:00.000Z");
  EXPECT_FALSE(details.isLocal());
  EXPECT_EQ(details.getZone().getStandardOffset(), 19800000);
  const DateTime back(details);
  EXPECT_EQ(back.get(), 172800000);
  EXPECT_EQ(back.getZone().getStandardOffset(), 19800000);
}

}  // namespace
}  // namespace KestroCorelib
