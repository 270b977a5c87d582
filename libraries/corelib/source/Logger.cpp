#include "Logger.h"

#include <cerrno>
#include <cstdlib>

#include "DateTime.h"
#include "StringTools.h"
#include "platform/PlatformThread.h"

namespace KestroCorelib {

int32_t globalLogLevel = LogLevel::trace;

namespace {

const char* const levelNames[] = {"none",    "fatal", "error", "warning", "info",
                                  "verbose", "debug", "trace", "flood"};
constexpr int32_t levelCount = LogLevel::flood + 1;

// The message type of a level message as a level: a base-10 integer; -1 (ignored) when the
// text is not one or does not fit.
int32_t parseLevel(const std::string& text) {
  if (text.empty()) return -1;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return -1;
  if (value < 0 || value > INT32_MAX) return -1;
  return static_cast<int32_t>(value);
}

}  // namespace

int32_t levelFromName(std::string name) {
  StringTools::toLower(name);
  for (int32_t level = 0; level < levelCount; ++level) {
    if (name == levelNames[level]) return level;
  }
  return LogLevel::none;
}

std::string levelName(int32_t level) {
  return level >= 0 && level < levelCount ? levelNames[level] : "";
}

Logger::Logger()
    : ImsAgent("logger"),
      sourceName("anonymous"),
      level(LogLevel::trace),
      levelHook(0),
      target(nullptr) {
  try {
    levelHook = setMessageHook(false, "debug", "level", "", 1);
  } catch (const Exception&) {
    // Only when the bus itself could not be made. Loggers are built before main, where an
    // escaping error would end the process; this one keeps its level instead.
  }
}

Logger::~Logger() { removeMessageHook(levelHook); }

int32_t Logger::receiveMessage(ImsMessage& message) {
  if (message.generalType != "debug" || message.groupType != "level") return ImsAnswer::notHandled;
  const int32_t requested = parseLevel(message.messageType);
  if (requested >= 0 && requested <= globalLogLevel) level = requested;
  return ImsAnswer::handled;
}

int32_t Logger::receiveHookedMessage(uint64_t hookId, ImsMessage& message) {
  return hookId == levelHook ? receiveMessage(message) : ImsAnswer::notHandled;
}

void Logger::log(int32_t recordLevel, std::string text, ParamStream parameters) {
  LogMessageParameter record;
  record.level = recordLevel;
  record.sourceName = sourceName;
  record.timeStamp = DateTime::now();
  record.threadId = platform::currentThreadId();
  record.processId = platform::currentProcessId();
  record.text = std::move(text);
  record.parameters = std::move(parameters);
  ImsMessage message("debug", recordLevel < LogLevel::info ? "functional" : "debug",
                     std::to_string(recordLevel), &record);
  if (target != nullptr) {
    sendMessage(*target, message);
  } else {
    sendMessage(message);
  }
}

bool Logger::shows(int32_t recordLevel) const {
  return recordLevel <= level && recordLevel <= globalLogLevel;
}

void Logger::logFatal(const std::string& text) {
  if (shows(LogLevel::fatal)) log(LogLevel::fatal, text, ParamStream());
}

void Logger::logFatal(const Exception& exception) {
  if (shows(LogLevel::fatal)) logException(LogLevel::fatal, exception);
}

void Logger::logInfo(const std::string& text) {
  if (shows(LogLevel::info)) log(LogLevel::info, text, ParamStream());
}

void Logger::logVerbose(const std::string& text, const ParamStream& parameters) {
  if (shows(LogLevel::verbose)) log(LogLevel::verbose, text, parameters);
}

void Logger::logDebug(const std::string& text) {
  if (shows(LogLevel::debug)) log(LogLevel::debug, text, ParamStream());
}

void Logger::logDebug(const std::string& text, const ParamStream& parameters) {
  if (shows(LogLevel::debug)) log(LogLevel::debug, text, parameters);
}

void Logger::logTrace(const std::string& text, const ParamStream& parameters) {
  if (shows(LogLevel::trace)) log(LogLevel::trace, text, parameters);
}

void Logger::logFlood(const std::string& text) {
  if (shows(LogLevel::flood)) log(LogLevel::flood, text, ParamStream());
}

void Logger::logFlood(const std::string& text, const ParamStream& parameters) {
  if (shows(LogLevel::flood)) log(LogLevel::flood, text, parameters);
}

void Logger::logException(int32_t recordLevel, const Exception& exception) {
  for (const Exception& nested : exception.getNested()) logException(recordLevel, nested);
  if (exception.getMessage().empty()) {
    const char* note =
        exception.getNested().empty() ? ": <NO MESSAGE>" : ": Container for above exceptions";
    log(recordLevel, exception.getName() + note, ParamStream());
    return;
  }
  std::string text = exception.getName() + ": " + exception.getMessage();
  for (const std::string& tag : exception.getSourceTags()) text += tag;
  log(recordLevel, text, exception.getParameters());
}

void Logger::setSourceName(const std::string& name_) { sourceName = name_.substr(0, 10); }

const std::string& Logger::getSourceName() const { return sourceName; }

int32_t Logger::getLevel() const { return level; }

void Logger::setTarget(ImsAgent* target_) { target = target_; }

ImsAgent* Logger::getTarget() const { return target; }

}  // namespace KestroCorelib
