#pragma once
// Clock and local-time doors of the core library: the system clock in UTC and the runtime
// library's own local-time conversion (whatever rules it has: a TZ variable, the machine's
// setting). Times in seconds are seconds since 1970-01-01T00:00:00 UTC.
#include <cstdint>
#include <ctime>

namespace KestroCorelib::platform {

// The system clock's current UTC date and time.
struct UtcClockTime {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};
UtcClockTime currentUtcTime();

// The current time in whole seconds.
std::int64_t currentSeconds();

// Makes the runtime library take up its local-time rules again (tzset).
void resetLocalTimeRules();

// Breaks the instant down in the runtime's local time; false when it cannot.
bool toLocalFields(std::int64_t seconds, std::tm& fields);

// The instant of local fields (the runtime's mktime, which may adjust the fields);
// false when the runtime cannot represent it.
bool fromLocalFields(std::tm& fields, std::int64_t& seconds);

}  // namespace KestroCorelib::platform
