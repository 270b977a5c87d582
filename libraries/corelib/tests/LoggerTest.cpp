#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DateTime.h"
#include "Logger.h"
#include "TestSupport.h"
#include "platform/PlatformThread.h"

using namespace KestroCorelib;
using testsupport::LogCollector;
using testsupport::Seen;

namespace {

bool sendLevel(const std::string& level) {
  ImsAgent sender("level-sender");
  ImsMessage message("debug", "level", level);
  return sender.sendMessage(message);
}

}  // namespace

TEST(Logger, LevelNamesIgnoreCaseAndNothingElse) {
  for (const auto& [name, level] : std::vector<std::pair<const char*, int32_t>>{
           {"Warning", 3}, {"FLOOD", 8}, {"none", 0}, {"3", 0}, {"", 0}, {" trace", 0}}) {
    EXPECT_EQ(levelFromName(name), level) << name;
  }
  EXPECT_EQ(levelName(LogLevel::flood + 1), "");
  // Each named level is the number of its own name.
  const std::vector<std::pair<int32_t, const char*>> named = {
      {LogLevel::none, "none"},       {LogLevel::fatal, "fatal"}, {LogLevel::error, "error"},
      {LogLevel::warning, "warning"}, {LogLevel::info, "info"},   {LogLevel::verbose, "verbose"},
      {LogLevel::debug, "debug"},     {LogLevel::trace, "trace"}, {LogLevel::flood, "flood"}};
  for (const auto& [level, name] : named) EXPECT_EQ(levelName(level), name) << level;
}

TEST(Logger, DefaultsPostTraceButNotFlood) {
  LogCollector collector;
  Logger logger;
  EXPECT_EQ(logger.getSourceName(), "anonymous");
  EXPECT_EQ(logger.getLevel(), LogLevel::trace);
  ParamStream p;
  p << std::string("x.kconf");
  logger.logTrace("Loading %", p);
  logger.logFlood("flood", p);
  logger.logFlood("flood");
  ASSERT_EQ(collector.records.size(), 1u);
  EXPECT_EQ(collector.records[0].level, LogLevel::trace);
  EXPECT_EQ(collector.records[0].text, "Loading %");
  EXPECT_EQ(collector.records[0].filled, "Loading x.kconf");
}

TEST(Logger, RecordCarriesTypesSourceTimeThreadAndProcess) {
  LogCollector collector;
  Logger logger;
  logger.setSourceName("conffile-reader");  // 15 characters, 10 kept
  EXPECT_EQ(logger.getSourceName(), "conffile-r");
  const int64_t before = DateTime::now();
  logger.log(3, "warned", ParamStream());
  logger.log(4, "informed", ParamStream());
  logger.log(0, "none", ParamStream());
  const int64_t after = DateTime::now();
  ASSERT_EQ(collector.records.size(), 3u);
  const Seen& warned = collector.records[0];
  EXPECT_EQ(warned.sourceName, "conffile-r");
  EXPECT_GE(warned.timeStamp, before);
  EXPECT_LE(warned.timeStamp, after);
  EXPECT_EQ(warned.threadId, platform::currentThreadId());
  EXPECT_EQ(warned.processId, platform::currentProcessId());
  std::vector<std::string> types;
  for (const Seen& s : collector.records) types.push_back(s.groupType + "/" + s.messageType);
  EXPECT_EQ(types, (std::vector<std::string>{"functional/3", "debug/4", "functional/0"}));
}

TEST(Logger, EachOperationRespectsBothThresholds) {
  LogCollector collector;
  Logger logger;
  ParamStream p;
  auto postAll = [&] {
    collector.records.clear();
    logger.logFatal("f");
    logger.logFatal(Exception("e"));
    logger.logInfo("i");
    logger.logVerbose("v", p);
    logger.logDebug("d");
    logger.logDebug("d", p);
    logger.logTrace("t", p);
    logger.logFlood("x");
    logger.logFlood("x", p);
    std::vector<int32_t> levels;
    for (const Seen& s : collector.records) levels.push_back(s.level);
    return levels;
  };
  EXPECT_EQ(postAll(), (std::vector<int32_t>{1, 1, 4, 5, 6, 6, 7}));
  // At "flood" the logger itself is still at 7.
  for (const auto& [global, levels] : std::vector<std::pair<int32_t, std::vector<int32_t>>>{
           {levelFromName("none"), {}}, {4, {1, 1, 4}}, {8, {1, 1, 4, 5, 6, 6, 7}}}) {
    testsupport::ScopedLogLevel level(global);
    EXPECT_EQ(postAll(), levels) << global;
  }
}

TEST(Logger, LevelMessagesChangeTheLevelWithinTheGlobalLevel) {
  // At "flood" the process-wide loggers post records of their own; only ours count.
  LogCollector collector("", "", "leveltest");
  Logger logger;
  logger.setSourceName("leveltest");
  EXPECT_TRUE(sendLevel("8"));  // above the global level 7: ignored, yet handled
  EXPECT_EQ(logger.getLevel(), 7);

  testsupport::ScopedLogLevel flood(8);
  logger.logFlood("before");
  EXPECT_TRUE(collector.records.empty());
  EXPECT_TRUE(sendLevel("8"));
  EXPECT_EQ(logger.getLevel(), 8);
  logger.logFlood("after");
  ASSERT_EQ(collector.records.size(), 1u);
  EXPECT_EQ(collector.records[0].text, "after");
  EXPECT_EQ(collector.records[0].level, LogLevel::flood);

  for (const char* ignored : {"9", "-1", "", "abc", "4x", "99999999999"}) {
    EXPECT_TRUE(sendLevel(ignored)) << ignored;
    EXPECT_EQ(logger.getLevel(), 8) << ignored;
  }
  EXPECT_TRUE(sendLevel("2"));
  EXPECT_EQ(logger.getLevel(), 2);
  EXPECT_TRUE(sendLevel("7"));  // leave the process-wide loggers as they were

  // Any other message is not the logger's business.
  ImsMessage other("debug", "functional", "3");
  EXPECT_EQ(logger.receiveMessage(other), ImsAnswer::notHandled);
}

TEST(Logger, RemovesItsLevelHookWhenDestroyed) {
  const size_t before = Ims::instance().hookCount();
  {
    Logger logger;
    EXPECT_EQ(Ims::instance().hookCount(), before + 1);
  }
  EXPECT_EQ(Ims::instance().hookCount(), before);
}

TEST(Logger, TargetReceivesRecordsDirectly) {
  LogCollector broadcastCollector, target;
  Logger logger;
  logger.setTarget(&target);
  logger.logInfo("direct");
  // The target's hook would also have caught a broadcast; a direct send reaches it once and
  // nobody else.
  ASSERT_EQ(target.records.size(), 1u);
  EXPECT_EQ(target.records[0].text, "direct");
  EXPECT_TRUE(broadcastCollector.records.empty());
  logger.setTarget(nullptr);
  logger.logInfo("broadcast");
  EXPECT_EQ(broadcastCollector.records.size(), 1u);
  EXPECT_EQ(target.records.size(), 2u);
}

namespace {
struct Raiser : Throws {
  KESTRO_EXCEPTION(Load_Failed);
  KESTRO_EXCEPTION(Run_Failed);
};
}  // namespace

TEST(Logger, ExceptionsAreLoggedNestedFirst) {
  LogCollector collector;
  Logger logger;
  ParamStream p;
  p << std::string("a.kconf");
  Raiser::Load_Failed first("@raiser.load.failed{Cannot load \"%\"};", "@tag1", p);
  first.addSourceTag("@tag2");
  Exception second;  // no message, nothing nested
  Raiser::Run_Failed outer("@outer", first);
  outer.addNested(second);

  logger.logException(2, outer);
  ASSERT_EQ(collector.records.size(), 3u);
  EXPECT_EQ(collector.records[0].text,
            "Load_Failed: @raiser.load.failed{Cannot load \"%\"};@tag1@tag2");
  EXPECT_EQ(collector.records[0].filled,
            "Load_Failed: @raiser.load.failed{Cannot load \"a.kconf\"};@tag1@tag2");
  EXPECT_EQ(collector.records[1].text, "Exception: <NO MESSAGE>");
  EXPECT_EQ(collector.records[2].text, "Run_Failed: Container for above exceptions");
  for (const Seen& s : collector.records) {
    EXPECT_EQ(s.level, 2);
    EXPECT_EQ(s.groupType, "functional");
  }
  // logFatal tests level 1 once, then logs the whole chain.
  collector.records.clear();
  logger.logFatal(outer);
  EXPECT_EQ(collector.records.size(), 3u);
}
