#include "Exception.h"

#include "StringTools.h"

namespace KestroCorelib {

namespace {

// The build's revision number; a source tag names it when it is not zero.
constexpr unsigned buildRevision = 0;

const char* const baseName = "Exception";

// The template scanner, the same on narrow and wide text. A '}' closes an item's text only
// when ';' or '@' follows it; otherwise it was part of the text and is put back.
template <typename String> String scan(const String& messageTemplate) {
  using Char = typename String::value_type;
  enum class State { Between, Id, Text };
  State state = State::Between;
  bool pendingBrace = false;
  String result;
  result.reserve(messageTemplate.size());
  for (Char c : messageTemplate) {
    switch (state) {
    case State::Between:
      if (c == Char(';')) {
        pendingBrace = false;
      } else if (c == Char('@')) {
        pendingBrace = false;
        state = State::Id;
      } else {
        if (pendingBrace) result += Char('}');
        pendingBrace = false;
        result += c;
        state = State::Text;
      }
      break;
    case State::Id:
      if (c == Char('{')) state = State::Text;
      break;
    case State::Text:
      if (c == Char('}')) {
        pendingBrace = true;
        state = State::Between;
      } else if (c == Char('@')) {
        state = State::Between;
      } else {
        result += c;
      }
      break;
    }
  }
  return result;
}

}  // namespace

Exception::Exception() : name(baseName) {}

Exception::Exception(const std::string& msg) : name(baseName), message(msg) {}

Exception::Exception(const std::string& msg, const std::string& sourceTag)
    : name(baseName), message(msg), sourceTags{sourceTag} {}

Exception::Exception(const std::string& msg, const ParamStream& params)
    : name(baseName), message(msg), parameters(params) {}

Exception::Exception(const std::string& msg, const std::string& sourceTag,
                     const ParamStream& params)
    : name(baseName), message(msg), parameters(params), sourceTags{sourceTag} {}

Exception::Exception(const std::wstring& msg) : name(baseName), messageW(msg) {}

Exception::Exception(const std::wstring& msg, const std::string& sourceTag)
    : name(baseName), messageW(msg), sourceTags{sourceTag} {}

Exception::Exception(const std::wstring& msg, const ParamStream& params)
    : name(baseName), messageW(msg), parameters(params) {}

Exception::Exception(const std::wstring& msg, const std::string& sourceTag,
                     const ParamStream& params)
    : name(baseName), messageW(msg), parameters(params), sourceTags{sourceTag} {}

Exception::Exception(const std::string& sourceTag, const Exception& wrapped)
    : name(baseName), sourceTags{sourceTag}, nested{wrapped} {}

std::string Exception::makeSourceTag(const char* path, int line) {
  std::string file = path != nullptr ? path : "";
  // The compiler names the file as it was given; only its last piece is of interest, and
  // POSIX compilers separate with '/'.
  std::string::size_type slash = file.find_last_of("\\/");
  if (slash != std::string::npos) file.erase(0, slash + 1);
  std::string tag = " @logsrc{file=\"" + file + "\" line=" + std::to_string(line);
  if (buildRevision != 0) tag += " rev=" + std::to_string(buildRevision);
  tag += "};";
  return tag;
}

void Exception::addSourceTag(const std::string& sourceTag) { sourceTags.push_back(sourceTag); }

void Exception::addNested(const Exception& wrapped) { nested.push_back(wrapped); }

std::string Exception::getText(bool withName) const {
  if (message.empty() && !messageW.empty()) {
    return StringTools::toNarrow(getTextW(withName));
  }
  std::string text;
  if (withName) text = name + ":";
  if (!message.empty()) {
    text += ' ';
    text += parameters.fill(scanTemplate(message));
  }
  for (const Exception& inner : nested) {
    text += '\n';
    text += inner.getText(true);
  }
  return text;
}

std::wstring Exception::getTextW(bool withName) const {
  if (messageW.empty() && !message.empty()) {
    return StringTools::toWide(getText(withName));
  }
  std::wstring text;
  if (withName) text = StringTools::toWide(name) + L":";
  if (!messageW.empty()) {
    text += L' ';
    text += parameters.fillW(scanTemplate(messageW));
  }
  for (const Exception& inner : nested) {
    text += L'\n';
    text += inner.getTextW(true);
  }
  return text;
}

std::string Exception::scanTemplate(const std::string& messageTemplate) {
  return scan(messageTemplate);
}

std::wstring Exception::scanTemplate(const std::wstring& messageTemplate) {
  return scan(messageTemplate);
}

}  // namespace KestroCorelib
