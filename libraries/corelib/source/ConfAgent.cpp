#include "ConfAgent.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace KestroCorelib {

ConfAgent::ConfAgent() : ImsAgent("conf-agent") {}

ConfAgent::~ConfAgent() = default;

std::string ConfAgent::getLocalString(const std::string& key, bool userScope) {
  std::string text;
  getLocal(new (std::nothrow) SystemQueryParam(key, ConfNode::TypeLocalString, &text, userScope));
  return text;
}

void ConfAgent::getLocal(SystemQueryParam* parameter) {
  if (parameter == nullptr) {
    throw GetLocal_OutOfMemory(outOfMemoryMessage, KESTRO_SOURCE_TAG);
  }
  // Owned from here on, so that the parameter is gone before any error leaves.
  std::unique_ptr<SystemQueryParam> owned(parameter);
  ImsMessage message("system", "query", "", owned.get());
  const bool handled = sendMessage(message);
  const std::string key = owned->key;
  const int32_t type = owned->type;
  const int32_t status = owned->status;
  const std::vector<Exception> causes = std::move(owned->causes);
  owned.reset();

  ParamStream p;
  p << key;
  if (!handled) {
    throw GetLocal_ImsNotWorking(
        "@conf-agent.get-local.ims-not-working{Failed to query local configuration key \"%\" "
        "because IMS isn't working};",
        KESTRO_SOURCE_TAG, p);
  }
  switch (status) {
  case SystemQueryParam::StatusNotFound:
    throw GetLocal_NotFound(
        "@conf-agent.get-local.not-found{Configuration key \"%\" was not found};",
        KESTRO_SOURCE_TAG, p);
  case SystemQueryParam::StatusWrongType:
    p << ConfNode::typeName(type);
    throw GetLocal_WrongType(
        "@conf-agent.get-local.wrong-type{Configuration key \"%\" is not of requested type "
        "(%)};",
        KESTRO_SOURCE_TAG, p);
  case SystemQueryParam::StatusNoAccess: {
    p << ConfNode::typeName(type);
    GetLocal_NoAccess error(
        "@conf-agent.get-local.no-access{Got request for configuration key \"%\" of type %, "
        "but failed to get access to it};",
        KESTRO_SOURCE_TAG, p);
    for (const Exception& cause : causes) error.addNested(cause);
    throw error;
  }
  default:
    return;  // 0, 5 ("not supported": the value stays as it was) and any other code
  }
}

}  // namespace KestroCorelib
