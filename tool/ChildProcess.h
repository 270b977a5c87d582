#pragma once
// A program started by the launcher. The child inherits this process's environment, current
// directory and standard streams; the launcher never waits for it.
//
//   ChildProcess child("/opt/tools/edit", "a \"b c\" d", true);
//   child.start();   // runs /opt/tools/edit with the arguments a, b c and d
#include <cstdint>
#include <string>
#include <vector>

#include "toolplatform/PlatformChildProcess.h"

namespace Kestro {

class ChildProcess {
 public:
  enum State : int32_t { NotStarted = 0, Running = 1, Exited = 6 };

  // Splits the arguments text at once (see splitArguments); nothing is started yet.
  ChildProcess(const std::string& executable, const std::string& arguments, bool inheritHandles);
  virtual ~ChildProcess();

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the program with buildCommandLine's command line. False when it is already
  // running or the system refuses to start it (missing file, no execute permission, ...).
  bool start();

  State getState() const { return state; }
  int32_t getExitCode() const { return exitCode; }
  // The operating system's id of the started process; 0 before a successful start.
  uint64_t getProcessId() const { return process.processId; }
  const std::vector<std::string>& getArguments() const { return arguments; }
  // The command line that start hands to the system.
  std::wstring getCommandLine() const { return buildCommandLine(executableW, argumentsW); }

  // Cuts an arguments text into arguments where the child would: at blanks and tabs outside
  // double quotes, read by splitCommandLine's rules (a quote behind an odd number of
  // backslashes, and "" inside quotes, toggle nothing). Each piece keeps its text as written
  // (quotes and backslashes included); empty pieces are dropped. Only the last argument may
  // lose its enclosing quotes: apostrophes always (an argument that is then empty is
  // dropped), double quotes where buildCommandLine gives the child the same text back (not
  // around a quote, a trailing backslash or nothing):
  //   splitArguments("a \"b c\" d")  // {"a", "\"b c\"", "d"}
  //   splitArguments("a \"b c\"")    // {"a", "b c"}
  //   splitArguments("a 'b'")        // {"a", "b"}
  //   splitArguments("a\tb \"\"")    // {"a", "b", "\"\""}
  static std::vector<std::string> splitArguments(const std::string& text);

  // The executable (never quoted), then the non-empty arguments joined by single blanks; an
  // argument holding a blank or tab and no double quote is put in quotes, one holding a
  // quote is taken as written:
  //   buildCommandLine(L"C:\\My Tools\\x.exe", {L"a", L"b c"})  // C:\My Tools\x.exe a "b c"
  static std::wstring buildCommandLine(const std::wstring& executable,
                                       const std::vector<std::wstring>& arguments);

  // The arguments text that gives the child exactly these elements (through splitArguments,
  // buildCommandLine and splitCommandLine): elements joined by blanks; an element that is
  // empty or holds a blank, tab or double quote (and a last one in apostrophes) is put in
  // double quotes, with its quotes escaped and the backslashes before them doubled; every
  // other element is copied as it is:
  //   joinArguments({"a", "b c", "", "d\"e\\"})  // a "b c" "" "d\"e\\"
  //   joinArguments({"'b'", "'c'"})              // 'b' "'c'"
  static std::string joinArguments(const std::vector<std::string>& elements);

  // Reads a command line tail the way the Microsoft C runtime builds argv: blanks and tabs
  // separate arguments outside double quotes; a double quote toggles quoting and is removed;
  // 2n backslashes before a quote give n backslashes and the quote toggles, 2n+1 give n
  // backslashes and a literal quote; other backslashes are literal; "" inside quotes is a
  // literal quote.
  //   splitCommandLine("a \"b c\" d\\\\\\\"e")  // {"a", "b c", "d\\\"e"}
  static std::vector<std::string> splitCommandLine(const std::string& text);

 private:
  std::string executable;
  std::wstring executableW;
  std::vector<std::string> arguments;
  std::vector<std::wstring> argumentsW;
  bool inheritHandles;
  platform::ProcessRecord process;
  State state = NotStarted;
  int32_t exitCode = 0;
};

}  // namespace Kestro
