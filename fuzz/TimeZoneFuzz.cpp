// Feeds arbitrary text (the KESTRO_TZ forms) to TimeZone and asks the zone about an arbitrary
// instant: parsing, the rule arithmetic and the offset text must never crash or overflow, and
// the answers must agree with each other.
#include <cstdint>
#include <cstring>
#include <string>

#include "DateTime.h"
#include "TimeZone.h"

using namespace KestroCorelib;

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const TimeZone reference("+01:00 (+01:00 3M5W6D2H-10M5W6D3H)");
  std::int64_t instant = 0;
  const size_t n = size < sizeof instant ? size : sizeof instant;
  std::memcpy(&instant, data, n);
  const std::string text(reinterpret_cast<const char*>(data + n), size - n);

  TimeZone zone;
  zone.set(text, DateTime(instant, reference));
  check(zone.isValid());
  check(zone.getStandardOffset() >= -TimeZone::maxOffset &&
        zone.getStandardOffset() <= TimeZone::maxOffset);
  check(zone.getDstOffset() >= -TimeZone::maxOffset && zone.getDstOffset() <= TimeZone::maxOffset);

  const DateTime at(instant, zone);
  const int state = zone.dstState(at);
  check(state >= TimeZone::DstInEffect && state <= TimeZone::DstNearEnd);
  const std::int64_t offset = zone.offsetAt(at);
  check(offset == zone.getStandardOffset() + (zone.isDst(at) ? zone.getDstOffset() : 0));
  const std::string shown = zone.toString(at, false);
  check(shown.size() >= 6 && (shown[0] == '+' || shown[0] == '-'));
  (void)zone.toString(at, true);
  (void)DateTimeDetails(at).toString(true, false, true);

  DateTimeDetails local(at);
  local.setLocal(true);
  (void)local.toValue();
  return 0;
}
