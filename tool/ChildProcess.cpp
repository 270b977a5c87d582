#include "ChildProcess.h"

#include "StringTools.h"

namespace Kestro {

namespace {

// Each byte becomes one 16-bit unit of the same value: the command line must carry the
// bytes unchanged, whatever the locale says about them.
std::wstring widenBytes(const std::string& text) {
  std::wstring result;
  result.reserve(text.size());
  for (char c : text) result.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return result;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& executableText, const std::string& argumentsText,
                           bool inherit)
    : executable(executableText),
      executableW(widenBytes(executableText)),
      arguments(splitArguments(argumentsText)),
      inheritHandles(inherit) {
  argumentsW.reserve(arguments.size());
  for (const std::string& argument : arguments) argumentsW.push_back(widenBytes(argument));
}

ChildProcess::~ChildProcess() { platform::releaseProcess(process); }

bool ChildProcess::start() {
  if (state == Running) return false;
  platform::ProcessRecord record;
  if (!platform::startProcess(executable, getCommandLine(), inheritHandles, record)) return false;
  platform::releaseProcess(process);
  process = record;
  state = Running;
  return true;
}

std::vector<std::string> ChildProcess::splitArguments(const std::string& text) {
  std::vector<std::string> result;
  std::string current;
  bool quoted = false;
  for (char c : text) {
    if (c == ' ' && !quoted) {
      if (!current.empty()) result.push_back(current);
      current.clear();
      continue;
    }
    if (c == '"') quoted = !quoted;
    current.push_back(c);
  }
  KestroCorelib::StringTools::unquote(current);
  if (!current.empty()) result.push_back(current);
  return result;
}

std::wstring ChildProcess::buildCommandLine(const std::wstring& executableText,
                                            const std::vector<std::wstring>& argumentList) {
  std::wstring line = executableText;
  for (const std::wstring& argument : argumentList) {
    if (argument.empty()) continue;
    line += L' ';
    if (argument.find(L' ') != std::wstring::npos && argument.front() != L'"') {
      line += L'"' + argument + L'"';
    } else {
      line += argument;
    }
  }
  return line;
}

std::vector<std::string> ChildProcess::splitCommandLine(const std::string& text) {
  std::vector<std::string> result;
  const size_t size = text.size();
  size_t i = 0;
  while (true) {
    while (i < size && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= size) break;
    std::string argument;
    bool quoted = false;
    while (i < size) {
      const char c = text[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        size_t run = 0;
        while (i < size && text[i] == '\\') {
          ++run;
          ++i;
        }
        if (i < size && text[i] == '"') {
          argument.append(run / 2, '\\');
          if (run % 2 == 1) {
            argument.push_back('"');
            ++i;
          }
          // With an even run the quote is left for the next round, where it toggles.
        } else {
          argument.append(run, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < size && text[i + 1] == '"') {
          argument.push_back('"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument.push_back(c);
        ++i;
      }
    }
    result.push_back(argument);
  }
  return result;
}

}  // namespace Kestro
