#pragma once
// plavo-admin's check of a project map: the errors that make plavo fail, then the entries
// that plavo reads differently from what their author most likely meant.
//
//   MapCheck::Result r = MapCheck::run("projectmap.kconf", nullptr);
//   r.error       // "" or plavo's own text, e.g.
//                 // "Load_PrematureEndOfFile: Premature end of file in line 9 in file \"...\""
//   r.warnings    // {{12, "unknown-flag", "flag \"globl\" of project \"docs\" is ignored"}, ...}
//   r.exitCode()  // 0 clean, 1 warnings only, 2 an error
//
// The warnings, in line order; each kind is the key scripts see:
//   not-a-list       a project that is neither global nor a list: every user's run fails
//   unknown-flag     a flag other than global and default (on a user entry: other than
//                    default), which plavo ignores
//   default-twice    a user marked default in more than one project: the first counts
//   global-default-twice  more than one global project marked default: the last counts
//   listed-twice     a user listed twice in one project: the first entry counts
//   global-elements  list elements on a global project, which plavo ignores
//   bad-name         an empty name; a project name with a wildcard of the selection
//                    window's filter ('*', '?') or a control character; a user name with a
//                    control character or a byte a file name cannot hold (the user's name
//                    is part of the project ID file's name)
//   unknown-user     with a user lookup: a logon name the system does not know
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Kestro {

class MapCheck {
 public:
  struct Warning {
    int64_t line = 0;  // 0 when the line could not be found
    std::string kind;
    std::string text;
  };

  struct Result {
    std::string error;
    std::vector<Warning> warnings;
    int exitCode() const { return !error.empty() ? 2 : warnings.empty() ? 0 : 1; }
  };

  // Whether the system knows a logon name.
  using UserLookup = std::function<bool(const std::string& name)>;

  // Checks the map file at path; with knownUser also the logon names.
  static Result run(const std::string& path, const UserLookup& knownUser);
};

}  // namespace Kestro
