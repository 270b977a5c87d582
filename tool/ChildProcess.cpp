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

bool isSeparator(char c) { return c == ' ' || c == '\t'; }

size_t skipSeparators(const std::string& text, size_t i) {
  while (i < text.size() && isSeparator(text[i])) ++i;
  return i;
}

// Reads the argument that starts at i (not a separator) by the C runtime's rules, appends
// what the runtime makes of it to value and returns the position behind it. splitArguments
// cuts where this ends, so that its pieces are the arguments the child will see.
size_t readArgument(const std::string& text, size_t i, std::string& value) {
  const size_t size = text.size();
  bool quoted = false;
  while (i < size) {
    const char c = text[i];
    if (!quoted && isSeparator(c)) break;
    if (c == '\\') {
      size_t run = 0;
      while (i < size && text[i] == '\\') {
        ++run;
        ++i;
      }
      if (i < size && text[i] == '"') {
        value.append(run / 2, '\\');
        if (run % 2 == 1) {
          value.push_back('"');
          ++i;
        }
        // With an even run the quote is left for the next round, where it toggles.
      } else {
        value.append(run, '\\');
      }
    } else if (c == '"') {
      if (quoted && i + 1 < size && text[i + 1] == '"') {
        value.push_back('"');
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
    } else {
      value.push_back(c);
      ++i;
    }
  }
  return i;
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
  size_t i = 0;
  while (true) {
    i = skipSeparators(text, i);
    if (i >= text.size()) break;
    const size_t start = i;
    std::string value;
    i = readArgument(text, i, value);
    result.push_back(text.substr(start, i - start));
  }
  if (result.empty()) return result;
  std::string& last = result.back();
  if (last.size() >= 2 && last.front() == '\'' && last.back() == '\'') {
    KestroCorelib::StringTools::unquote(last);
    if (last.empty()) result.pop_back();
  } else if (last.size() >= 2 && last.front() == '"' && last.back() == '"') {
    // Only where the child reads the text inside the quotes as it read the whole: the builder
    // puts a text with a blank or tab back into quotes, and the rest reads alike when it has
    // no quote and no backslash before the closing one. Otherwise the quotes stay, as in "",
    // the way to write an empty argument.
    const std::string inner = last.substr(1, last.size() - 2);
    if (!inner.empty() && inner.find('"') == std::string::npos && inner.back() != '\\') {
      last = inner;
    }
  }
  return result;
}

std::wstring ChildProcess::buildCommandLine(const std::wstring& executableText,
                                            const std::vector<std::wstring>& argumentList) {
  std::wstring line = executableText;
  for (const std::wstring& argument : argumentList) {
    if (argument.empty()) continue;
    line += L' ';
    // An argument that holds a quote is taken as written: its blanks and tabs are already
    // inside quotes, and more quotes around it would turn them inside out.
    if (argument.find_first_of(L" \t") != std::wstring::npos &&
        argument.find(L'"') == std::wstring::npos) {
      line += L'"' + argument + L'"';
    } else {
      line += argument;
    }
  }
  return line;
}

std::vector<std::string> ChildProcess::splitCommandLine(const std::string& text) {
  std::vector<std::string> result;
  size_t i = 0;
  while (true) {
    i = skipSeparators(text, i);
    if (i >= text.size()) break;
    std::string argument;
    i = readArgument(text, i, argument);
    result.push_back(argument);
  }
  return result;
}

std::string ChildProcess::joinArguments(const std::vector<std::string>& elements) {
  std::string joined;
  for (size_t i = 0; i < elements.size(); ++i) {
    const std::string& element = elements[i];
    if (i > 0) joined += ' ';
    // splitArguments takes the apostrophes off a last argument, so such an element goes in
    // double quotes too, which keep the apostrophes.
    const bool lastInApostrophes = i + 1 == elements.size() && element.size() >= 2 &&
                                   element.front() == '\'' && element.back() == '\'';
    if (!element.empty() && element.find_first_of(" \t\"") == std::string::npos &&
        !lastInApostrophes) {
      joined += element;
      continue;
    }
    joined += '"';
    size_t backslashes = 0;
    for (char c : element) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      // Backslashes count only before a quote: there they are doubled and the quote escaped.
      joined.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
      joined += c;
      backslashes = 0;
    }
    // The closing quote must not be escaped by backslashes at the element's end.
    joined.append(backslashes * 2, '\\');
    joined += '"';
  }
  return joined;
}

}  // namespace Kestro
