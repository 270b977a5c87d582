#include "MapLines.h"

#include <string_view>

#include "File.h"

namespace Kestro {

namespace {

bool isBodyBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\r'; }

// Which node a body belongs to: only the path top.plavo.projects.<project> is noted.
enum class Role { Other, Top, Plavo, Projects, Project };

// What the locator keeps of a token: its length and its first bytes, enough to know the few
// names it looks for. Building every name and element of a large map again costs more than
// all the rest of the locator.
class Token {
 public:
  void add(char c) {
    if (length < sizeof(head)) head[length] = c;
    ++length;
  }
  bool empty() const { return length == 0; }
  bool is(std::string_view name) const {
    return length == name.size() && length <= sizeof(head) &&
           std::string_view(head, length) == name;
  }
  void clear() { length = 0; }

 private:
  size_t length = 0;
  char head[12] = {};
};

class Locator {
 public:
  explicit Locator(KestroCorelib::File& input) : file(input) {}

  MapLines::Lines run() {
    char c;
    // The top node's name runs up to its brace; the reader has already accepted it.
    while (next(c) && c != '{') {
    }
    body(Role::Top, nullptr);
    return std::move(lines);
  }

 private:
  bool next(char& c) {
    if (!file.getChar(c)) return false;
    at = line;
    if (c == '\n') ++line;
    return true;
  }

  // The reader's readBodyText, step for step: list mode, quotes and separators decide where
  // an element starts; attributes run to the end of their line.
  void body(Role role, MapLines::Project* project) {
    Token token;
    int64_t tokenLine = 0;
    bool started = false;
    bool quoted = false;
    bool escape = false;
    bool listMode = false;
    char separator = '\n';
    const auto mark = [&] {
      if (!started) tokenLine = at;
      started = true;
    };
    char c;
    while (next(c)) {
      if (!quoted) {
        if (isBodyBlank(c)) continue;
        if (c == '\n' && (!listMode || token.empty())) continue;
      }
      if (listMode) {
        if (quoted) {
          if (escape) {
            if (c != '"') token.add('\\');
            token.add(c);
            escape = false;
          } else if (c == '"') {
            quoted = false;
          } else if (c == '\\') {
            escape = true;
          } else {
            token.add(c);
          }
          continue;
        }
        if (c == '"') {
          mark();
          quoted = true;
          continue;
        }
        if (c == separator || c == '\n') {
          if (project != nullptr) {
            lines.elements.push_back(started ? tokenLine : at);
            ++project->elementCount;
          }
          token.clear();
          started = false;
          continue;
        }
        if (c != '=' && c != '{' && c != '}') {
          mark();
          token.add(c);
          continue;
        }
      }
      quoted = false;
      if (c == '=') {
        const std::string value = restOfLine();
        if (token.is("type")) listMode = value == "list";
        if (token.is("separator")) separator = value.empty() ? '\n' : value.front();
      } else if (c == '{') {
        child(role, token);
      } else if (c == '}') {
        return;
      } else {
        token.add(c);
        continue;
      }
      token.clear();
      started = false;
    }
  }

  void child(Role parent, const Token& name) {
    if (parent == Role::Projects) {
      MapLines::Project project;
      project.line = at;
      project.firstElement = lines.elements.size();
      body(Role::Project, &project);
      lines.projects.push_back(project);
      return;
    }
    Role role = Role::Other;
    if (parent == Role::Top && name.is("plavo")) role = Role::Plavo;
    if (parent == Role::Plavo && name.is("projects")) role = Role::Projects;
    body(role, nullptr);
  }

  std::string restOfLine() {
    std::string text;
    char c;
    while (next(c) && c != '\n') text += c;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
      text.pop_back();
      text.erase(0, 1);
    }
    return text;
  }

  KestroCorelib::File& file;
  int64_t line = 1;  // line of the next byte
  int64_t at = 1;    // line of the byte just read
  MapLines::Lines lines;
};

}  // namespace

MapLines::Lines MapLines::locate(const std::string& fileName) {
  KestroCorelib::File file(fileName);
  if (!file.open()) return {};
  return Locator(file).run();
}

}  // namespace Kestro
