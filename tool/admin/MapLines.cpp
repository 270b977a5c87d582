#include "MapLines.h"

#include "File.h"

namespace Kestro {

namespace {

bool isBodyBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\r'; }

// Which node a body belongs to: only the path top.plavo.projects.<project> is noted.
enum class Role { Other, Top, Plavo, Projects, Project };

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
    std::string token;
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
            if (c != '"') token += '\\';
            token += c;
            escape = false;
          } else if (c == '"') {
            quoted = false;
          } else if (c == '\\') {
            escape = true;
          } else {
            token += c;
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
          token += c;
          continue;
        }
      }
      quoted = false;
      if (c == '=') {
        const std::string value = restOfLine();
        if (token == "type") listMode = value == "list";
        if (token == "separator") separator = value.empty() ? '\n' : value.front();
      } else if (c == '{') {
        child(role, token);
      } else if (c == '}') {
        return;
      } else {
        token += c;
        continue;
      }
      token.clear();
      started = false;
    }
  }

  void child(Role parent, const std::string& name) {
    if (parent == Role::Projects) {
      MapLines::Project project;
      project.line = at;
      project.firstElement = lines.elements.size();
      body(Role::Project, &project);
      lines.projects.push_back(project);
      return;
    }
    Role role = Role::Other;
    if (parent == Role::Top && name == "plavo") role = Role::Plavo;
    if (parent == Role::Plavo && name == "projects") role = Role::Projects;
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
