#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DateTime.h"
#include "Logger.h"
#include "platform/PlatformThread.h"

using namespace KestroCorelib;

namespace {

// One log record as a test sees it.
struct Seen {
  std::string groupType;
  std::string messageType;
  int32_t level;
  std::string sourceName;
  std::string text;
  std::string filled;  // the text with its parameters filled in
  int64_t timeStamp;
  uint32_t threadId;
  int32_t processId;
};

// Hooks every "debug" message and keeps the log records, as a log writer would.
class RecordCollector : public ImsAgent {
 public:
  RecordCollector() : ImsAgent("collector") { hook = setMessageHook(false, "debug", "", "", 1); }
  ~RecordCollector() override { removeMessageHook(hook); }

  int32_t receiveHookedMessage(uint64_t id, ImsMessage& message) override {
    return id == hook ? receiveMessage(message) : 1;
  }
  int32_t receiveMessage(ImsMessage& message) override {
    if (message.groupType == "level") return 1;
    auto* record = dynamic_cast<Logger::LogMessageParameter*>(message.parameter);
    if (record == nullptr) return 1;
    if (!onlySource.empty() && record->sourceName != onlySource) return 1;
    records.push_back(Seen{message.groupType, message.messageType, record->level,
                           record->sourceName, record->text, record->parameters.fill(record->text),
                           record->timeStamp, record->threadId, record->processId});
    return 2;
  }

  std::vector<Seen> records;
  std::string onlySource;  // when set, records of other sources are passed over

 private:
  uint64_t hook;
};

// Sets the process-wide level for one test and puts it back.
class GlobalLevel {
 public:
  explicit GlobalLevel(int32_t level) : saved(globalLogLevel) { globalLogLevel = level; }
  ~GlobalLevel() { globalLogLevel = saved; }

 private:
  int32_t saved;
};

bool sendLevel(const std::string& level) {
  ImsAgent sender("level-sender");
  ImsMessage message("debug", "level", level);
  return sender.sendMessage(message);
}

}  // namespace

TEST(Logger, LevelNamesIgnoreCaseAndNothingElse) {
  EXPECT_EQ(levelFromName("Warning"), 3);
  EXPECT_EQ(levelFromName("FLOOD"), 8);
  EXPECT_EQ(levelFromName("none"), 0);
  EXPECT_EQ(levelFromName("3"), 0);
  EXPECT_EQ(levelFromName(""), 0);
  EXPECT_EQ(levelFromName(" trace"), 0);
  EXPECT_EQ(levelName(5), "verbose");
  EXPECT_EQ(levelName(9), "");
}

TEST(Logger, DefaultsPostTraceButNotFlood) {
  RecordCollector collector;
  Logger logger;
  EXPECT_EQ(logger.getSourceName(), "anonymous");
  EXPECT_EQ(logger.getLevel(), 7);
  ParamStream p;
  p << std::string("x.kconf");
  logger.logTrace("Loading %", p);
  logger.logFlood("flood", p);
  logger.logFlood("flood");
  ASSERT_EQ(collector.records.size(), 1u);
  EXPECT_EQ(collector.records[0].level, 7);
  EXPECT_EQ(collector.records[0].text, "Loading %");
  EXPECT_EQ(collector.records[0].filled, "Loading x.kconf");
}

TEST(Logger, RecordCarriesTypesSourceTimeThreadAndProcess) {
  RecordCollector collector;
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
  EXPECT_EQ(warned.groupType, "functional");
  EXPECT_EQ(warned.messageType, "3");
  EXPECT_EQ(warned.sourceName, "conffile-r");
  EXPECT_GE(warned.timeStamp, before);
  EXPECT_LE(warned.timeStamp, after);
  EXPECT_EQ(warned.threadId, platform::currentThreadId());
  EXPECT_EQ(warned.processId, platform::currentProcessId());
  EXPECT_EQ(collector.records[1].groupType, "debug");
  EXPECT_EQ(collector.records[1].messageType, "4");
  EXPECT_EQ(collector.records[2].groupType, "functional");
  EXPECT_EQ(collector.records[2].messageType, "0");
}

TEST(Logger, EachOperationRespectsBothThresholds) {
  RecordCollector collector;
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
  {
    GlobalLevel none(levelFromName("none"));
    EXPECT_EQ(postAll(), std::vector<int32_t>{});
  }
  {
    GlobalLevel info(4);
    EXPECT_EQ(postAll(), (std::vector<int32_t>{1, 1, 4}));
  }
  {
    GlobalLevel flood(8);  // the logger itself is still at 7
    EXPECT_EQ(postAll(), (std::vector<int32_t>{1, 1, 4, 5, 6, 6, 7}));
  }
}

TEST(Logger, LevelMessagesChangeTheLevelWithinTheGlobalLevel) {
  RecordCollector collector;
  Logger logger;
  // At "flood" the process-wide loggers post records of their own; only ours count.
  logger.setSourceName("leveltest");
  collector.onlySource = "leveltest";
  EXPECT_TRUE(sendLevel("8"));  // above the global level 7: ignored, yet handled
  EXPECT_EQ(logger.getLevel(), 7);

  GlobalLevel flood(8);
  logger.logFlood("before");
  EXPECT_TRUE(collector.records.empty());
  EXPECT_TRUE(sendLevel("8"));
  EXPECT_EQ(logger.getLevel(), 8);
  logger.logFlood("after");
  ASSERT_EQ(collector.records.size(), 1u);
  EXPECT_EQ(collector.records[0].text, "after");

  for (const char* ignored : {"9", "-1", "", "abc", "4x", "99999999999"}) {
    EXPECT_TRUE(sendLevel(ignored)) << ignored;
    EXPECT_EQ(logger.getLevel(), 8) << ignored;
  }
  EXPECT_TRUE(sendLevel("2"));
  EXPECT_EQ(logger.getLevel(), 2);
  EXPECT_TRUE(sendLevel("7"));  // leave the process-wide loggers as they were

  // Any other message is not the logger's business.
  ImsMessage other("debug", "functional", "3");
  EXPECT_EQ(logger.receiveMessage(other), 1);
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
  RecordCollector broadcastCollector;
  RecordCollector target;
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
  RecordCollector collector;
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
