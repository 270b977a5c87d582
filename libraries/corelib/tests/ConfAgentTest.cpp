#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ConfAgent.h"
#include "TestSupport.h"

namespace KestroCorelib {
namespace {

// Answers "system" / "query" like the system-information agent would: stores `answer`
// through the value pointer and reports `status`.
class TestAnswerer : public ImsAgent {
 public:
  TestAnswerer(int32_t answerStatus, int32_t result = ImsAnswer::handledStop)
      : ImsAgent("test-answerer"), status(answerStatus), handled(result) {
    hook = setMessageHook(false, "system", "query", "", 1);
  }
  ~TestAnswerer() override { removeMessageHook(hook); }

  int32_t receiveHookedMessage(uint64_t id, ImsMessage& message) override {
    return id == hook ? receiveMessage(message) : ImsAnswer::notHandled;
  }
  int32_t receiveMessage(ImsMessage& message) override {
    auto* query = static_cast<SystemQueryParam*>(message.parameter);
    seenKey = query->key;
    seenType = query->type;
    seenUserScope = query->userScope;
    seenMessageType = message.messageType;
    if (status != SystemQueryParam::StatusUnsupported) {
      *static_cast<std::string*>(query->value) = "C:\\Kestro";
    }
    query->status = status;
    query->causes = causes;
    return handled;
  }

  int32_t status;
  int32_t handled;
  uint64_t hook = 0;
  std::string seenKey;
  int32_t seenType = -1;
  bool seenUserScope = false;
  std::string seenMessageType = "unset";
  std::vector<Exception> causes;  // handed to the requester with the status
};

// A parameter that tells when it is destroyed.
class CountedParam : public SystemQueryParam {
 public:
  CountedParam(std::string* target, int* destroyed)
      : SystemQueryParam("Key\\Name", ConfNode::TypeLocalString, target, false),
        counter(destroyed) {}
  ~CountedParam() override { ++*counter; }
  int* counter;
};

// The error text of a query for Resources\InstallDir, answered as given or (status -1) not at all.
template <typename Error> std::string errorText(int32_t status, int32_t handled = 3) {
  std::optional<TestAnswerer> answerer;
  if (status >= 0) answerer.emplace(status, handled);
  return testsupport::errorText<Error>(
      [] { ConfAgent().getLocalString("Resources\\InstallDir", false); });
}

TEST(ConfAgent, AnswerArrivesThroughTheValuePointer) {
  TestAnswerer answerer(SystemQueryParam::StatusOk);
  ConfAgent agent;
  EXPECT_EQ(agent.getLocalString("Resources\\ConfigurationDir", true), "C:\\Kestro");
  EXPECT_EQ(answerer.seenKey, "Resources\\ConfigurationDir");
  EXPECT_EQ(answerer.seenType, 20);
  EXPECT_TRUE(answerer.seenUserScope);
  EXPECT_EQ(answerer.seenMessageType, "");
  // Statuses without a meaning for the requester count as success, as does "handled, go on".
  answerer.status = 7;
  answerer.handled = 2;
  EXPECT_EQ(agent.getLocalString("x", false), "C:\\Kestro");
  EXPECT_FALSE(answerer.seenUserScope);
  // An unsupported kind leaves the value empty.
  answerer.status = SystemQueryParam::StatusUnsupported;
  EXPECT_EQ(agent.getLocalString("Resources\\InstallDir", false), "");
}

TEST(ConfAgent, StatusCodesBecomeErrors) {
  EXPECT_EQ(errorText<ConfAgent::GetLocal_NotFound>(SystemQueryParam::StatusNotFound),
            "GetLocal_NotFound: Configuration key \"Resources\\InstallDir\" was not found");
  EXPECT_EQ(errorText<ConfAgent::GetLocal_WrongType>(SystemQueryParam::StatusWrongType),
            "GetLocal_WrongType: Configuration key \"Resources\\InstallDir\" is not of "
            "requested type (local string)");
  EXPECT_EQ(errorText<ConfAgent::GetLocal_NoAccess>(SystemQueryParam::StatusNoAccess),
            "GetLocal_NoAccess: Got request for configuration key \"Resources\\InstallDir\" of "
            "type local string, but failed to get access to it");
  // What the answering side learned follows, so that the user sees why.
  TestAnswerer answerer(SystemQueryParam::StatusNoAccess);
  answerer.causes = {Exception("@test.cause{Hive broken};", KESTRO_SOURCE_TAG),
                     Exception("@test.cause{Line 3};", KESTRO_SOURCE_TAG)};
  EXPECT_EQ(testsupport::errorText<ConfAgent::GetLocal_NoAccess>(
                [] { ConfAgent().getLocalString("K", false); }),
            "GetLocal_NoAccess: Got request for configuration key \"K\" of type local string, "
            "but failed to get access to it\nException: Hive broken\nException: Line 3");
}

TEST(ConfAgent, UnansweredQueryMeansTheBusIsNotWorking) {
  const std::string expected =
      "GetLocal_ImsNotWorking: Failed to query local configuration key "
      "\"Resources\\InstallDir\" because IMS isn't working";
  EXPECT_EQ(errorText<ConfAgent::GetLocal_ImsNotWorking>(-1), expected);
  // An agent that looks at the query but answers "not handled" changes nothing.
  EXPECT_EQ(errorText<ConfAgent::GetLocal_ImsNotWorking>(SystemQueryParam::StatusOk, 1), expected);
}

TEST(ConfAgent, GetLocalOwnsTheParameter) {
  ConfAgent agent;
  EXPECT_EQ(
      testsupport::errorText<ConfAgent::GetLocal_OutOfMemory>([&] { agent.getLocal(nullptr); }),
      "GetLocal_OutOfMemory: Out of memory");
  int destroyed = 0;
  std::string value = "before";
  {
    TestAnswerer answerer(SystemQueryParam::StatusNotFound);
    EXPECT_THROW(agent.getLocal(new CountedParam(&value, &destroyed)),
                 ConfAgent::GetLocal_NotFound);
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_THROW(agent.getLocal(new CountedParam(&value, &destroyed)),
               ConfAgent::GetLocal_ImsNotWorking);
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(value, "C:\\Kestro");  // left as the answering side left it
}

}  // namespace
}  // namespace KestroCorelib
