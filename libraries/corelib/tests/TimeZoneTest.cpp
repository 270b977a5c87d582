#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>

#include "DateTime.h"
#include "StringTools.h"
#include "TimeZone.h"

namespace KestroCorelib {
namespace {

constexpr std::int64_t hourMs = 3600000;
const char* const berlinRules = "+01:00 (+01:00 3M5W6D2H-10M5W6D3H)";
const char* const sydneyRules = "+10:00 (+01:00 10M1W6D2H-4M1W6D3H)";

std::int64_t utcValue(std::int64_t year, std::int64_t month, std::int64_t day,
                      std::int64_t hour = 0, std::int64_t minute = 0) {
  DateTimeDetails details;
  details.setDate(year, month, day);
  details.setTime(hour, minute, 0);
  return details.toValue();
}

TimeZone fixedZone(std::int64_t offset) {
  TimeZone zone;
  zone.setStandardOffset(offset);
  return zone;
}

// A reference time without daylight saving, for the offset forms.
DateTime utcReference() { return DateTime(utcValue(2025, 7, 1, 12), fixedZone(0)); }

std::int64_t parsedOffset(const std::string& text) {
  TimeZone zone;
  zone.set(text, utcReference());
  EXPECT_TRUE(zone.isValid()) << text;
  return zone.offsetAt(utcReference());
}

std::string ruleText(const TimeZoneRule& rule) {
  std::ostringstream out;
  out << int(rule.month) << "M" << int(rule.week) << "W" << int(rule.weekday) << "D"
      << int(rule.hour) << "H";
  return out.str();
}

TEST(TimeZone, DefaultZoneIsEmptyButItsCopyIsValid) {
  const TimeZone zone;
  EXPECT_FALSE(zone.isValid());
  EXPECT_EQ(zone.getDstStart(), TimeZoneRule());
  EXPECT_TRUE(TimeZone(zone).isValid());
}

TEST(TimeZone, OffsetTexts) {
  // "+05:30xyz" is an offset form without offset text. Plain numbers are minutes up to a
  // magnitude of 1,000,000 and milliseconds above; a sign and four characters make an offset
  // form even when they are digits ("-1000001"); larger offsets are held at the limit.
  using O = std::pair<std::string, std::int64_t>;
  for (const auto& [text, offset] :
       {O{"+05:30", 19800000}, O{"-03:30", -12600000}, O{"+0545", 20700000}, O{"-0000", 0},
        O{"+05:30xyz", 0}, O{"EST", 0}, O{"", 0}, O{"60", hourMs}, O{"-90", -5400000},
        O{"1000000", 60000000000}, O{"3600000", hourMs}, O{"1000001", 1000001}, O{"-1000001", 0},
        O{"99999999999999999999999", TimeZone::maxOffset}, O{"-999", -59940000}}) {
    EXPECT_EQ(parsedOffset(text), offset) << text;
  }
}

TEST(TimeZone, FullFormGivesOffsetsAndRules) {
  TimeZone zone(berlinRules);
  EXPECT_TRUE(zone.isValid());
  EXPECT_EQ(zone.getStandardOffset(), hourMs);
  EXPECT_EQ(zone.getDstOffset(), hourMs);
  EXPECT_EQ(ruleText(zone.getDstStart()), "3M5W6D2H");
  EXPECT_EQ(ruleText(zone.getDstEnd()), "10M5W6D3H");

  // The last number for a letter counts; a letter without digits gives 0; a number beyond a
  // byte stays at 255.
  zone.set("-03:30 (+00:30 9H3M5W6D2H-10MxW300DH)", utcReference());
  EXPECT_EQ(zone.getStandardOffset(), -12600000);
  EXPECT_EQ(zone.getDstOffset(), 1800000);
  EXPECT_EQ(ruleText(zone.getDstStart()), "3M5W6D2H");
  EXPECT_EQ(ruleText(zone.getDstEnd()), "10M0W255D0H");
  EXPECT_FALSE(zone.getDstEnd().isUsable());
}

TEST(TimeZone, OffsetFormsKeepTheReferenceRules) {
  const TimeZone berlin(berlinRules);
  const DateTime summer(utcValue(2025, 7, 1, 12), berlin);
  const DateTime winter(utcValue(2025, 1, 15, 12), berlin);
  TimeZone zone;
  zone.set("+0200", summer);
  EXPECT_EQ(zone.getStandardOffset(), hourMs);
  EXPECT_EQ(zone.getDstStart(), berlin.getDstStart());
  EXPECT_EQ(zone.offsetAt(summer), 2 * hourMs);
  EXPECT_EQ(zone.offsetAt(winter), hourMs);
  zone.set("120", winter);
  EXPECT_EQ(zone.getStandardOffset(), 2 * hourMs);
  EXPECT_EQ(zone.offsetAt(summer), 3 * hourMs);
}

TEST(TimeZone, RuleInstants) {
  const TimeZone berlin(berlinRules);
  // The last Sunday of March at 02:00 standard time, i.e. 01:00 UTC.
  EXPECT_EQ(berlin.dstStartAt(2024), utcValue(2024, 3, 31, 1));
  EXPECT_EQ(berlin.dstStartAt(2025), utcValue(2025, 3, 30, 1));
  // The last Sunday of October at 03:00 daylight-saving time, i.e. 01:00 UTC.
  EXPECT_EQ(berlin.dstEndAt(2025), utcValue(2025, 10, 26, 1));
  // Week 4 is the fourth occurrence even when there is a fifth.
  TimeZone fourth("+00:00 (+01:00 3M4W6D2H-10M1W0D0H)");
  EXPECT_EQ(fourth.dstStartAt(2024), utcValue(2024, 3, 24, 2));
  EXPECT_EQ(fourth.dstEndAt(2024), utcValue(2024, 10, 7) - hourMs);
  // Outside the calendar there is no instant.
  EXPECT_EQ(berlin.dstStartAt(1899), 0);
  EXPECT_EQ(berlin.dstStartAt(INT64_MAX), 0);
  EXPECT_EQ(berlin.dstEndAt(INT64_MIN), 0);
}

TEST(TimeZone, DaylightSavingInBothHemispheres) {
  const TimeZone berlin(berlinRules);
  const DateTime july(utcValue(2025, 7, 1, 12), berlin);
  const DateTime january(utcValue(2025, 1, 15, 12), berlin);
  EXPECT_TRUE(berlin.isDst(july));
  EXPECT_FALSE(berlin.isDst(january));
  EXPECT_EQ(berlin.offsetAt(july), 2 * hourMs);
  EXPECT_EQ(berlin.offsetAt(january), hourMs);
  EXPECT_EQ(berlin.toString(july), "+02:00");
  EXPECT_EQ(berlin.toString(july, true), "+0200");
  // The change instants themselves.
  EXPECT_TRUE(berlin.isDst(DateTime(berlin.dstStartAt(2025), berlin)));
  EXPECT_FALSE(berlin.isDst(DateTime(berlin.dstStartAt(2025) - 1, berlin)));
  EXPECT_FALSE(berlin.isDst(DateTime(berlin.dstEndAt(2025), berlin)));
  EXPECT_TRUE(berlin.isDst(DateTime(berlin.dstEndAt(2025) - 1, berlin)));

  const TimeZone sydney(sydneyRules);
  EXPECT_TRUE(sydney.isDst(DateTime(utcValue(2025, 1, 15), sydney)));
  EXPECT_FALSE(sydney.isDst(DateTime(utcValue(2025, 7, 1), sydney)));
  EXPECT_TRUE(sydney.isDst(DateTime(utcValue(2025, 12, 31, 23), sydney)));
  EXPECT_EQ(sydney.toString(DateTime(utcValue(2025, 1, 15), sydney)), "+11:00");
}

TEST(TimeZone, DstStateAroundTheChanges) {
  const TimeZone berlin(berlinRules);
  const std::int64_t start = berlin.dstStartAt(2025);
  const std::int64_t end = berlin.dstEndAt(2025);
  auto state = [&berlin](std::int64_t t) { return berlin.dstState(DateTime(t, berlin)); };
  EXPECT_EQ(state(start - 2 * hourMs), TimeZone::DstStandard);
  EXPECT_EQ(state(start - hourMs / 2), TimeZone::DstBeforeStart);
  EXPECT_EQ(state(start), TimeZone::DstInEffect);
  EXPECT_EQ(state(end + hourMs / 2), TimeZone::DstInEffect);
  EXPECT_EQ(state(end + hourMs), TimeZone::DstStandard);

  const TimeZone sydney(sydneyRules);
  const std::int64_t southStart = sydney.dstStartAt(2025);
  auto southState = [&sydney](std::int64_t t) { return sydney.dstState(DateTime(t, sydney)); };
  EXPECT_EQ(southState(utcValue(2025, 1, 15)), TimeZone::DstInEffect);
  EXPECT_EQ(southState(utcValue(2025, 7, 1)), TimeZone::DstStandard);
  EXPECT_EQ(southState(southStart - hourMs / 2), TimeZone::DstBeforeStart);
  EXPECT_EQ(southState(southStart), TimeZone::DstInEffect);
}

TEST(TimeZone, RulesWithoutADayMeanNoDaylightSaving) {
  for (const char* text : {"+01:00 (+00:00 3M5W6D2H-10M5W6D3H)",     // DST offset 0
                           "+01:00 (+01:00 3M0W6D2H-10M5W6D3H)",     // week 0
                           "+01:00 (+01:00 13M5W6D2H-10M5W6D3H)",    // month 13
                           "+01:00 (+01:00 3M5W7D2H-10M5W6D3H)",     // weekday 7
                           "+01:00 (+01:00 3M9W6D2H-10M5W6D3H)",     // week 9
                           "+01:00 (+01:00 0M5W6D2H-10M5W6D3H)"}) {  // no start rule
    const TimeZone zone(text);
    const DateTime july(utcValue(2025, 7, 1, 12), zone);
    EXPECT_FALSE(zone.isDst(july)) << text;
    EXPECT_EQ(zone.dstState(july), TimeZone::DstStandard) << text;
    EXPECT_EQ(zone.offsetAt(july), hourMs) << text;
    EXPECT_EQ(zone.toString(july), "+01:00") << text;
  }
  // A large hour only moves the instant on.
  const TimeZone lateStart("+00:00 (+01:00 3M1W0D255H-10M5W6D3H)");
  EXPECT_EQ(lateStart.dstStartAt(2025), utcValue(2025, 3, 3) + 255 * hourMs);
}

TEST(TimeZone, OffsetsAreWrittenAsHoursAndMinutes) {
  const DateTime any(utcValue(2025, 1, 1), fixedZone(0));
  using Case = std::tuple<std::int64_t, bool, const char*>;
  for (const auto& [offset, compact, text] :
       {Case{0, false, "+00:00"}, Case{0, true, "+0000"}, Case{-12600000, false, "-03:30"},
        Case{20700000, true, "+0545"}, Case{-TimeZone::maxOffset, false, "-16666:40"}}) {
    EXPECT_EQ(fixedZone(offset).toString(any, compact), text);
  }
  EXPECT_EQ(fixedZone(INT64_MIN).getStandardOffset(), -TimeZone::maxOffset);
  // Extreme instants do not overflow the rule arithmetic.
  const TimeZone berlin(berlinRules);
  EXPECT_EQ(berlin.toString(DateTime(INT64_MAX, berlin)), "+01:00");
  EXPECT_EQ(berlin.dstState(DateTime(INT64_MAX, berlin)), TimeZone::DstStandard);
  EXPECT_EQ(berlin.toString(DateTime(INT64_MIN, berlin)), "+01:00");
}

// ---- The machine's zone and KESTRO_TZ, each in a fresh process ------------------------------

// Runs the check in a new process whose zone state starts empty, with TZ and KESTRO_TZ set
// (a null kestroTz unsets it). The check returns "" or what went wrong.
void expectInFreshProcess(const char* tz, const char* kestroTz,
                          const std::function<std::string()>& check) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // An empty KESTRO_TZ counts as unset.
        StringTools::setEnv("TZ", tz);
        StringTools::setEnv("KESTRO_TZ", kestroTz == nullptr ? "" : kestroTz);
        const std::string problem = check();
        std::fprintf(stderr, "%s\n", problem.c_str());
        std::exit(problem.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "")
      << "TZ=" << tz;
}

// A zone described as text: validity, standard and DST offset, rules.
std::string zoneText(const TimeZone& zone) {
  std::ostringstream out;
  out << (zone.isValid() ? "valid " : "invalid ") << zone.getStandardOffset() << " "
      << zone.getDstOffset() << " " << ruleText(zone.getDstStart()) << "-"
      << ruleText(zone.getDstEnd());
  return out.str();
}

// The local zone as a new DateTime gets it, described as text.
std::string localZoneText() { return zoneText(DateTime(DateTime::now()).getZone()); }

std::string expectLocalZone(const std::string& expected) {
  const std::string actual = localZoneText();
  if (actual != expected) return "expected zone " + expected + ", got " + actual;
  TimeZone refreshed;
  refreshed.setLocal(true);
  if (refreshed.getStandardOffset() != DateTime().getZone().getStandardOffset()) {
    return "a forced refresh changed the zone";
  }
  return "";
}

// {TZ, KESTRO_TZ, the local zone expected} each checked in its own process.
struct LocalCase {
  const char *tz, *kestroTz, *expected;
};
void expectZonesInFreshProcesses(std::initializer_list<LocalCase> cases) {
  for (const LocalCase& c : cases) {
    const std::string expected = c.expected;
    expectInFreshProcess(c.tz, c.kestroTz, [expected] { return expectLocalZone(expected); });
  }
}

// The runtime rules below are POSIX TZ texts and the POSIX zone database.
#ifndef _WIN32
bool hasZoneFile(const char* name) {
  const std::string path = std::string("/usr/share/zoneinfo/") + name;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

TEST(TimeZone, LocalZoneIsWalkedFromTheRuntimeRules) {
  // POSIX rule texts need no zone database. Changes at 24:00 step forward across midnight: the
  // start is hour 24 of the Saturday.
  expectZonesInFreshProcesses({
      {"CET-1CEST,M3.5.0,M10.5.0/3", nullptr, "valid 3600000 3600000 3M5W6D2H-10M5W6D3H"},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", nullptr, "valid 36000000 3600000 10M1W6D2H-4M1W6D3H"},
      {"UTC0", "", "valid 0 0 0M0W0D0H-0M0W0D0H"},
      {"<-04>4<-03>,M9.1.6/24,M4.1.6/24", nullptr, "valid -14400000 3600000 9M1W5D24H-4M1W5D24H"},
      {"<-0330>3:30", nullptr, "valid -12600000 0 0M0W0D0H-0M0W0D0H"},
  });
}

TEST(TimeZone, StandardOffsetIsMeasuredInsideTheMonthBeforeTheStart) {
  // Sydney's DST starts on the first Sunday of October, in 2023 on the 1st. On 31 December
  // the month before the start has no 31st; "September 31" would be 1 October, in DST.
  expectInFreshProcess("AEST-10AEDT,M10.1.0,M4.1.0/3", nullptr, [] {
    const std::string expected = "valid 36000000 3600000 10M1W6D2H-4M1W6D3H";
    for (std::int64_t now : {1704024000,     // 2023-12-31 12:00 UTC, 23:00 in Sydney
                             1703937600}) {  // 2023-12-30 12:00 UTC
      TimeZone zone;
      zone.walkLocalYear(now);
      if (zoneText(zone) != expected) {
        return "at " + std::to_string(now) + ": expected " + expected + ", got " + zoneText(zone);
      }
    }
    return std::string();
  });
}

TEST(TimeZone, LocalZoneOfNamedZones) {
  if (!hasZoneFile("Europe/Berlin") || !hasZoneFile("Australia/Sydney")) {
    GTEST_SKIP() << "no zone database (package tzdata)";
  }
  expectZonesInFreshProcesses({
      {"Europe/Berlin", nullptr, "valid 3600000 3600000 3M5W6D2H-10M5W6D3H"},
      {"Australia/Sydney", nullptr, "valid 36000000 3600000 10M1W6D2H-4M1W6D3H"},
      {"UTC", nullptr, "valid 0 0 0M0W0D0H-0M0W0D0H"},
  });
}

#endif  // _WIN32

TEST(TimeZone, KestroTzReplacesTheMachineZone) {
  expectInFreshProcess("UTC0", "+05:30", [] {
    const DateTime now(DateTime::now());
    if (now.getZone().offsetAt(now) != 19800000) return std::string("not +05:30");
    if (DateTime(0).getZone().offsetAt(DateTime(utcValue(2025, 7, 1))) != 19800000) {
      return std::string("not +05:30 in July");
    }
    TimeZone zone;
    zone.setLocal(true);  // a forced refresh keeps the override too
    return zone.getStandardOffset() == 19800000 ? std::string() : std::string("refresh");
  });
  // Text that is no offset at all gives offset 0 instead of the machine's zone.
  expectInFreshProcess("CET-1CEST,M3.5.0,M10.5.0/3", "EST", [] {
    const std::string text = localZoneText();
    return text.rfind("valid 0 3600000 ", 0) == 0 || text.rfind("valid -3600000 3600000 ", 0) == 0
               ? std::string()
               : "got " + text;
  });
  expectZonesInFreshProcesses({{"UTC0", "60", "valid 3600000 0 0M0W0D0H-0M0W0D0H"},
                               {"UTC0", "3600000", "valid 3600000 0 0M0W0D0H-0M0W0D0H"},
                               {"UTC0", sydneyRules, "valid 36000000 3600000 10M1W6D2H-4M1W6D3H"}});
}

}  // namespace
}  // namespace KestroCorelib
