#pragma once
// Log records posted on the message bus.
//
//   Logger log;                      // source "anonymous", level 7
//   log.setSourceName("conffile");   // at most 10 characters are kept
//   ParamStream p; p << fileName;
//   log.logTrace("Loading %", p);    // posted: level 7 <= 7 and <= globalLogLevel
//   log.logFlood("details");         // dropped: 8 is above both thresholds
//
// A record is a Logger::LogMessageParameter sent as the message "debug" / "functional" /
// "<level>" for levels 0 to 3 and "debug" / "debug" / "<level>" from 4 on. It is broadcast,
// or sent directly to the target when one is set. The logger formats, prints and stores
// nothing: whoever hooks "debug" messages receives the records.
//
// Levels: 0 "none", 1 "fatal", 2 "error", 3 "warning", 4 "info", 5 "verbose", 6 "debug",
// 7 "trace", 8 "flood". The level operations post only when the record's level is at most
// the logger's level and at most `globalLogLevel`; `log` and `logException` always post.
//
// Every logger hooks the message "debug" / "level" / "<n>" and takes n as its new level
// when 0 <= n <= globalLogLevel (other values are ignored; the message counts as handled).
#include <cstdint>
#include <string>

#include "Exception.h"
#include "Ims.h"
#include "ParamStream.h"

namespace KestroCorelib {

// The levels by name; the level operations take and give plain numbers, so any of these
// (or its number) may be passed: log.log(LogLevel::warning, ...) == log.log(3, ...).
namespace LogLevel {
constexpr int32_t none = 0;
constexpr int32_t fatal = 1;
constexpr int32_t error = 2;
constexpr int32_t warning = 3;
constexpr int32_t info = 4;
constexpr int32_t verbose = 5;
constexpr int32_t debug = 6;
constexpr int32_t trace = 7;
constexpr int32_t flood = 8;
}  // namespace LogLevel

// The process-wide threshold, 7 ("trace") at start; the "debug" option sets it.
extern int32_t globalLogLevel;

// The level of a name, case-insensitive: "Warning" -> 3. Anything else, digits included,
// gives 0: levelFromName("3") == 0, levelFromName("") == 0.
int32_t levelFromName(std::string name);

// The name of a level 0..8 ("none" ... "flood"); "" for any other number.
std::string levelName(int32_t level);

class Logger : public ImsAgent {
 public:
  // One log record, the payload of a log message.
  class LogMessageParameter : public ImsMessageParameter {
   public:
    int32_t level = 0;
    std::string sourceName;
    int64_t timeStamp = 0;  // DateTime::now() when posted
    uint32_t threadId = 0;  // the posting thread
    int32_t processId = 0;
    std::string text;  // the template as passed in, not rendered
    ParamStream parameters;
  };

  // Agent name "logger", source name "anonymous", level 7, no target; installs the
  // level hook.
  Logger();
  // Removes the level hook.
  ~Logger() override;

  // Handles "debug" / "level" messages (answers 2); anything else answers 1.
  int32_t receiveMessage(ImsMessage& message) override;
  // Passes messages of the level hook to receiveMessage; other ids answer 1.
  int32_t receiveHookedMessage(uint64_t hookId, ImsMessage& message) override;

  // Builds and posts a record, whatever the thresholds say.
  void log(int32_t level, std::string text, ParamStream parameters);

  void logFatal(const std::string& text);
  void logFatal(const Exception& exception);
  void logInfo(const std::string& text);
  void logVerbose(const std::string& text, const ParamStream& parameters);
  void logDebug(const std::string& text);
  void logDebug(const std::string& text, const ParamStream& parameters);
  void logTrace(const std::string& text, const ParamStream& parameters);
  void logFlood(const std::string& text);
  void logFlood(const std::string& text, const ParamStream& parameters);

  // Posts one record per exception at `level`, the nested ones first (recursively), then
  // the exception itself: "<name>: <template><source tags>" with its parameters, or
  // "<name>: <NO MESSAGE>" / "<name>: Container for above exceptions" when it has no
  // template. No threshold is tested.
  void logException(int32_t level, const Exception& exception);

  // True when a record of `level` would be posted by the level operations.
  bool shows(int32_t level) const;

  // Keeps the first 10 characters.
  void setSourceName(const std::string& sourceName);
  const std::string& getSourceName() const;
  int32_t getLevel() const;
  // Records go directly to `target` while it is set (null: broadcast).
  void setTarget(ImsAgent* target);
  ImsAgent* getTarget() const;

 private:
  std::string sourceName;
  int32_t level;
  uint64_t levelHook;
  ImsAgent* target;
};

}  // namespace KestroCorelib
