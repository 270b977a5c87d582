#include <windows.h>

#include <ctime>

#include "platform/PlatformTime.h"

namespace KestroCorelib::platform {

UtcClockTime currentUtcTime() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  UtcClockTime result;
  result.year = now.wYear;
  result.month = now.wMonth;
  result.day = now.wDay;
  result.hour = now.wHour;
  result.minute = now.wMinute;
  result.second = now.wSecond;
  result.millisecond = now.wMilliseconds;
  return result;
}

std::int64_t currentSeconds() { return static_cast<std::int64_t>(_time64(nullptr)); }

void resetLocalTimeRules() { _tzset(); }

bool toLocalFields(std::int64_t seconds, std::tm& fields) {
  __time64_t t = seconds;
  return _localtime64_s(&fields, &t) == 0;
}

bool fromLocalFields(std::tm& fields, std::int64_t& seconds) {
  __time64_t t = _mktime64(&fields);
  if (t == static_cast<__time64_t>(-1)) return false;
  seconds = static_cast<std::int64_t>(t);
  return true;
}

}  // namespace KestroCorelib::platform
