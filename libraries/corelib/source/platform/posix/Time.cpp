// WARNING: only generic POSIX code belongs in this folder.
#include <sys/time.h>

#include <ctime>

#include "platform/PlatformTime.h"

namespace KestroCorelib::platform {

UtcClockTime currentUtcTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm fields{};
  time_t seconds = now.tv_sec;
  gmtime_r(&seconds, &fields);
  UtcClockTime result;
  result.year = fields.tm_year + 1900;
  result.month = fields.tm_mon + 1;
  result.day = fields.tm_mday;
  result.hour = fields.tm_hour;
  result.minute = fields.tm_min;
  result.second = fields.tm_sec;
  result.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return result;
}

std::int64_t currentSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

void resetLocalTimeRules() { tzset(); }

bool toLocalFields(std::int64_t seconds, std::tm& fields) {
  time_t t = static_cast<time_t>(seconds);
  if (static_cast<std::int64_t>(t) != seconds) return false;
  return localtime_r(&t, &fields) != nullptr;
}

bool fromLocalFields(std::tm& fields, std::int64_t& seconds) {
  time_t t = mktime(&fields);
  // -1 is also a valid instant (one second before 1970), but never one the callers ask for.
  if (t == static_cast<time_t>(-1)) return false;
  seconds = static_cast<std::int64_t>(t);
  return true;
}

}  // namespace KestroCorelib::platform
