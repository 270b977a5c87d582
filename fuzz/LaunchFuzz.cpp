// Forwards arbitrary argument lists to a launched program and checks that they arrive
// unchanged. The input is cut at NUL bytes into elements (argv cannot hold a NUL; a rest
// behind the last NUL is an element too, so "" is the empty list and "\0" one empty
// element). The elements are joined into an arguments text, that text goes through the
// child-process steps (split into arguments, command line built) and the command line behind
// the executable is read as the child reads it: the result must equal the elements, and so
// must the joined text read directly. Elements that need no quotes must be joined as they
// are. The whole input, NULs read as blanks, is also handed to the child-process steps as an
// arguments text: unless it ends in an apostrophe (the split removes the apostrophes around
// a last argument), the child must read it as the C runtime reads the text itself.
#include <cstdint>
#include <string>
#include <vector>

#include "ChildProcess.h"

using Kestro::ChildProcess;

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// What the child reads behind the executable on the command line of the steps.
std::vector<std::string> childArguments(const std::string& arguments) {
  const std::string executable = "/opt/my tools/edit";
  const std::wstring line = ChildProcess(executable, arguments, true).getCommandLine();
  check(line.size() >= executable.size());
  std::string tail;
  for (size_t i = executable.size(); i < line.size(); ++i) {
    check(line[i] >= 0 && line[i] <= 0xFF);
    tail += static_cast<char>(line[i]);
  }
  return ChildProcess::splitCommandLine(tail);
}

bool needsQuotes(const std::string& element, bool last) {
  if (element.empty() || element.find_first_of(" \t\"") != std::string::npos) return true;
  return last && element.size() >= 2 && element.front() == '\'' && element.back() == '\'';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> elements;
  std::string current;
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    text += c == '\0' ? ' ' : c;
    if (c == '\0') {
      elements.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) elements.push_back(current);

  const std::string joined = ChildProcess::joinArguments(elements);
  check(ChildProcess::splitCommandLine(joined) == elements);
  check(childArguments(joined) == elements);
  std::string plain;
  bool quoted = false;
  for (size_t i = 0; i < elements.size(); ++i) {
    quoted = quoted || needsQuotes(elements[i], i + 1 == elements.size());
    plain += (i > 0 ? " " : "") + elements[i];
  }
  if (!quoted) check(joined == plain);

  const size_t end = text.find_last_not_of(" \t");
  if (end == std::string::npos || text[end] != '\'') {
    check(childArguments(text) == ChildProcess::splitCommandLine(text));
  }
  return 0;
}
