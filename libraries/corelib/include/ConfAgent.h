#pragma once
// Asking for local configuration values over the message bus.
//
//   ConfAgent agent;
//   std::string dir = agent.getLocalString("Resources\\ConfigurationDir", false);
//
// The agent broadcasts a "system" / "query" message whose payload is a SystemQueryParam; the
// answering agent (the system-information agent, which reads the registry) stores the value
// through the parameter's value pointer and reports problems in its status. The request is
// synchronous: the answer is there when the broadcast returns.
#include <cstdint>
#include <string>
#include <vector>

#include "ConfNode.h"
#include "Exception.h"
#include "Ims.h"

namespace KestroCorelib {

// The payload of a "system" / "query" (or "set") message.
class SystemQueryParam : public ImsMessageParameter {
 public:
  // Answer codes set by the answering side.
  enum Status : int32_t {
    StatusOk = 0,
    StatusNotFound = 3,          // no such key
    StatusWrongType = 4,         // the stored value has another type
    StatusUnsupported = 5,       // the answering side does not serve this kind of key
    StatusNoAccess = 6,          // the stored value could not be accessed
    StatusSetAccessDenied = 10,  // answers to a "set" request: refused for lack of access
    StatusSetFailed = 11,        // ... or failed for any other reason
  };

  SystemQueryParam() = default;
  // `valueObject` points at the requester's value of the kind `keyType` names (a
  // std::string for ConfNode::TypeLocalString and TypeSystemString); the requester owns it.
  SystemQueryParam(const std::string& keyText, int32_t keyType, void* valueObject, bool inUserScope)
      : key(keyText), type(keyType), value(valueObject), userScope(inUserScope) {}

  std::string key;   // for local keys a '\'-separated path ending in the value name
  int32_t type = 0;  // a ConfNode type code, 16 to 21
  void* value = nullptr;
  bool userScope = false;  // prefer the current user's settings
  int32_t status = StatusOk;
  // What the answering side learned about a failed access (such as the registry error that
  // names the hive file and line), for the requester to pass on.
  std::vector<Exception> causes;
};

// The requesting side of configuration queries. It only sends; it never answers.
class ConfAgent : public ImsAgent {
 public:
  KESTRO_EXCEPTION(GetLocal_OutOfMemory);    // "Out of memory"
  KESTRO_EXCEPTION(GetLocal_ImsNotWorking);  // nobody answered: no system agent exists
  KESTRO_EXCEPTION(GetLocal_NotFound);       // status 3
  KESTRO_EXCEPTION(GetLocal_WrongType);      // status 4
  KESTRO_EXCEPTION(GetLocal_NoAccess);       // status 6

  // Agent "conf-agent".
  ConfAgent();
  ~ConfAgent() override;

  // The text of a local string key (kind 20). An answering side that does not serve the
  // kind (status 5) leaves the text empty, which is returned without an error.
  std::string getLocalString(const std::string& key, bool userScope);

  // Broadcasts the query and takes ownership of the parameter (null when its allocation
  // failed: GetLocal_OutOfMemory). On return the answer is stored through its value
  // pointer; statuses 3, 4 and 6 raise GetLocal_NotFound, _WrongType and _NoAccess (the
  // latter with the parameter's causes as nested errors, so the user sees why), and
  // GetLocal_ImsNotWorking is raised when no hook handled the message. Other statuses
  // count as success.
  void getLocal(SystemQueryParam* parameter);
};

}  // namespace KestroCorelib
