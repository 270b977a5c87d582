// Feeds arbitrary calendar fields and values to DateTimeDetails: normalizing must end quickly
// with every field in range (or at the limits of the value), and a normalized result must
// survive the round trip through its value. Nothing may crash, overflow or hang.
#include <cstdint>
#include <cstring>

#include "DateTime.h"

using namespace KestroCorelib;

namespace {

std::int64_t take(const uint8_t*& data, size_t& size) {
  std::int64_t value = 0;
  const size_t n = size < sizeof value ? size : sizeof value;
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TimeZone zone("+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");
  const bool local = size > 0 && (data[0] & 1) != 0;
  const bool smallFields = size > 0 && (data[0] & 2) != 0;
  if (size > 0) {
    ++data;
    --size;
  }
  std::int64_t f[7];
  for (std::int64_t& field : f) {
    field = take(data, size);
    // Small values reach the interesting borders (month 0, day 31, hour -1) more often.
    if (smallFields) field %= 4000;
  }
  if (smallFields) f[0] += 1900;

  DateTimeDetails details;
  details.setZone(zone);
  details.setDate(f[0], f[1], f[2]);
  details.setTime(f[3], f[4], f[5], f[6]);
  details.setLocal(local);
  const std::int64_t value = details.toValue();
  (void)details.toString(true, false, true);
  details.normalize();
  check(details.isNormalized() && details.isLocal() == local);
  check(details.getYear() >= 1900 && details.getMonth() >= 1 && details.getMonth() <= 12);
  check(details.getDay() >= 1 && details.getDay() <= 31);
  check(details.getHour() >= 0 && details.getHour() <= 23 && details.getMinute() >= 0 &&
        details.getMinute() <= 59 && details.getSecond() >= 0 && details.getSecond() <= 59 &&
        details.getMillisecond() >= 0 && details.getMillisecond() <= 999);
  check(details.getWeekday() >= 0 && details.getWeekday() <= 6 && details.getWeek() >= 1 &&
        details.getWeek() <= 53 && details.getYearday() >= 1 && details.getYearday() <= 366);
  check(details.toValue() == value);
  if (!local) {
    const DateTimeDetails back(DateTime(value, zone));
    check(back.toString(true, false, false) == details.toString(true, false, false));
  }
  // Any value breaks down and converts back (values before 1900 read as its first instant).
  const std::int64_t raw = take(data, size);
  const DateTimeDetails broken(DateTime(raw, zone));
  check(broken.toValue() == (raw < 86400000 ? 86400000 : raw));
  (void)broken.toString(false, true, true);
  return 0;
}
