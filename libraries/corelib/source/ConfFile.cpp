#include "ConfFile.h"

#include <iterator>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "File.h"
#include "StringTools.h"

namespace KestroCorelib {

namespace {

// The blanks that vanish while a node body is read; the top node's name also drops newlines.
bool isBodyBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\r'; }

}  // namespace

// One parse: the file, and the steps of the grammar as member functions. Each nesting level
// costs one readNodeBody and one readChild frame; the depth limit keeps that bounded.
// ConfNode lets it fill the fields that only the reader sets.
class ConfFileReader {
 public:
  ConfFileReader(File& input, const std::string& name) : file(input), fileName(name) {}

  void readTop(ConfNode& top) {
    top.name = readRootName();
    readNodeBody(top, 1);
  }

 private:
  // The name of the top node: everything up to '{' with blanks and line breaks removed.
  // At end of file the name read so far is returned and the body reader reports the end.
  std::string readRootName() {
    std::string name;
    char c;
    while (file.getChar(c)) {
      if (isBodyBlank(c) || c == '\n') continue;
      if (c == '{') break;
      // Bytes of 128 and above count as negative, like every control character.
      if (static_cast<signed char>(c) < 32 || c == '}' || c == '.') {
        throw ConfFile::Load_InvalidNodeName(
            "@conf-file.load.invalid-node-name{Invalid node name in line % in file \"%\"};",
            KESTRO_SOURCE_TAG, lineAndFile());
      }
      name += c;
    }
    return name;
  }

  // Everything after a node's '{' up to its matching '}'; `depth` is the node's level.
  void readNodeBody(ConfNode& node, int64_t depth) {
    const std::size_t firstElement = pending.size();
    try {
      readBodyText(node, depth);
    } catch (...) {
      // After an error the node keeps the elements read so far (the top node is kept).
      takeElements(node, firstElement);
      throw;
    }
    takeElements(node, firstElement);
  }

  // Moves the list elements gathered since `first` into the node, in one allocation of the
  // exact size (growing the node's vector element by element cost a fifth of a large load).
  void takeElements(ConfNode& node, std::size_t first) {
    if (pending.size() == first) return;
    const auto from = pending.begin() + static_cast<std::ptrdiff_t>(first);
    try {
      node.elements.insert(node.elements.end(), std::make_move_iterator(from),
                           std::make_move_iterator(pending.end()));
    } catch (...) {
      pending.erase(from, pending.end());  // the enclosing node must not take them
      throw;
    }
    pending.erase(from, pending.end());
  }

  // readNodeBody's work: the text up to the closing '}' (list elements go to `pending`).
  void readBodyText(ConfNode& node, int64_t depth) {
    std::string token;
    bool quoted = false;
    bool escape = false;
    // The bytes that end a run of plain token bytes outside quotes; the loop below decides
    // what each of them means (stopping on a few more than needed only costs a round).
    // Blanks, line breaks and '"' are all at most '"'.
    const auto endsRun = [&node](char b) {
      return static_cast<unsigned char>(b) <= '"' || b == '=' || b == '{' || b == '}' ||
             b == node.separator;
    };
    char c;
    while (file.getChar(c)) {
      // The type may change on any attribute line, so it is looked at for each character.
      const bool listMode = node.getType() == ConfNode::TypeList;
      if (!quoted) {
        if (isBodyBlank(c)) {
          file.skipWhile(isBodyBlank);  // indentation comes in runs
          continue;
        }
        if (c == '\n' && (!listMode || token.empty())) continue;
      }
      if (listMode) {
        if (quoted) {
          if (escape) {
            // Only \" is an escape; any other backslash stays in the element.
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
          quoted = true;
          continue;
        }
        if (c == node.getSeparator() || c == '\n') {
          // What addListValue does, without its type check (the node is a list here):
          // readNodeBody hands the elements to the node when its body ends.
          pending.push_back(std::move(token));
          token.clear();
          continue;
        }
        if (c != '=' && c != '{' && c != '}') {
          token += c;
          file.appendUntil(token, endsRun);
          continue;
        }
      }
      quoted = false;
      if (c == '=') {
        readAttribute(node, token);
        token.clear();
      } else if (c == '{') {
        if (token.empty()) {
          throw ConfFile::Load_MissingNodeName(
              "@conf-file.load.missing-node-name{Missing node name in line % in file \"%\"};",
              KESTRO_SOURCE_TAG, lineAndFile());
        }
        if (depth >= ConfFile::maxDepth) {
          ParamStream p;
          p << ConfFile::maxDepth << currentLine() << fileName;
          throw ConfFile::Load_TooDeep(
              "@conf-file.load.too-deep{Nesting deeper than % levels in line % in file \"%\"};",
              KESTRO_SOURCE_TAG, p);
        }
        readChild(node, token, depth + 1);
        token.clear();
      } else if (c == '}') {
        return;  // an unfinished token is dropped without notice
      } else {
        token += c;
        file.appendUntil(token, endsRun);
      }
    }
    throw ConfFile::Load_PrematureEndOfFile(
        "@conf-file.load.premature-end-of-file{Premature end of file in line % in file \"%\"};",
        KESTRO_SOURCE_TAG, lineAndFile());
  }

  void readChild(ConfNode& parent, const std::string& name, int64_t depth) {
    // A child's name is taken as it stands, unchecked.
    ConfNodePtr child = ConfNode::create(name, ConfNode::TypeNone);
    try {
      readNodeBody(*child, depth);
    } catch (Exception& e) {
      // One tag per level, read from the raise site outwards. The same object is thrown
      // on, so the caller still sees the error's own class.
      e.addSourceTag(KESTRO_SOURCE_TAG);
      throw;
    }
    // A fresh child cannot be an ancestor, so only the name needs a check (one probe of the
    // index for the 100,000 projects of a large map); a duplicate takes addChild's way to its
    // error.
    if (!parent.attachChild(child)) parent.addChild(child);
  }

  void readAttribute(ConfNode& node, const std::string& name) {
    if (name.empty()) {
      throw ConfFile::Load_MissingAttributeName(
          "@conf-file.load.missing-attribute-name{Missing attribute name in line % in file "
          "\"%\"};",
          KESTRO_SOURCE_TAG, lineAndFile());
    }
    const int64_t line = currentLine();  // reading the value moves on to the next line
    std::string text = readRestOfLine();
    // string_view comparisons: the lengths are compared first, without strlen or a call.
    const std::string_view field = name;
    if (field == std::string_view("type")) {
      node.type = typeCode(text, line);
    } else if (field == std::string_view("value")) {
      node.value = std::make_unique<std::string>(std::move(text));
    } else if (field == std::string_view("separator")) {
      node.separator = text.empty() ? '\n' : text.front();
    } else {
      node.setAttribute(name, std::move(text));
    }
  }

  // The rest of the line, kept exactly; only one pair of enclosing quotes is removed.
  std::string readRestOfLine() {
    std::string text;
    char c;
    for (;;) {
      file.appendUntil(text, [](char) { return false; });  // all up to the line break
      if (!file.getChar(c)) {
        throw ConfFile::Load_PrematureEndOfFile(
            "@conf-file.load.premature-end-of-file{Premature end of file in line % in file "
            "\"%\"};",
            KESTRO_SOURCE_TAG, lineAndFile());
      }
      if (c == '\n') break;
      text += c;
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
      text.pop_back();
      text.erase(0, 1);
    }
    return text;
  }

  int32_t typeCode(const std::string& text, int64_t line) const {
    // "list" first: a project map holds little else.
    static constexpr std::pair<std::string_view, int32_t> table[] = {
        {"list", ConfNode::TypeList},
        {"bool", ConfNode::TypeBool},         {"int", ConfNode::TypeInt},
        {"uint", ConfNode::TypeUint},         {"float", ConfNode::TypeFloat},
        {"double", ConfNode::TypeFloat},      {"string", ConfNode::TypeString},
        {"datetime", ConfNode::TypeDateTime}, {"time-of-day", ConfNode::TypeTimeOfDay},
        {"timezone", ConfNode::TypeTimeZone}, {"timespan", ConfNode::TypeTimeSpan},
        {"dir", ConfNode::TypeDir},           {"file", ConfNode::TypeFile}};
    const std::string_view name = text;
    for (const auto& entry : table) {
      if (name == entry.first) return entry.second;
    }
    ParamStream p;
    p << text << line << fileName;
    throw ConfFile::Load_InvalidNodeType(
        "@conf-file.load.invalid-node-type{Invalid node type \"%\" in line % in file \"%\"};",
        KESTRO_SOURCE_TAG, p);
  }

  int64_t currentLine() const { return static_cast<int64_t>(file.getLine()); }

  ParamStream lineAndFile() const {
    ParamStream p;
    p << currentLine() << fileName;
    return p;
  }

  File& file;
  const std::string& fileName;
  // The list elements of the nodes being read, innermost node's last; reused throughout.
  std::vector<std::string> pending;
};

ConfFile::ConfFile() : ImsAgent("conf-file") { logger.setSourceName("conffile"); }

ConfFile::~ConfFile() = default;

ConfNodePtr ConfFile::load(const std::string& fileName) {
  loadFileIntoMemory(fileName);
  // The freshly read tree is handed over as it is: nobody else holds a reference to it and
  // its top node has no parent, so it is already what a deep copy would be, without the
  // cost of copying every node a second time.
  ConfNodePtr result = std::move(root);
  root.reset();
  return result;
}

void ConfFile::loadFileIntoMemory(const std::string& fileName) {
  if (logger.shows(LogLevel::debug)) {
    ParamStream p;
    p << fileName;
    logger.logDebug("ConfFile::loadFileIntoMemory: Loading \"%\"", p);
  }
  if (!StringTools::exists(fileName)) {
    ParamStream p;
    p << fileName;
    throw Load_FileNotFound(
        "@conf-file.load.file-not-found{Configuration file \"%\" was not found};",
        KESTRO_SOURCE_TAG, p);
  }
  File file(fileName);
  // Only a regular file: a FIFO under the map's name would stop the program for good, a
  // device would be read without end.
  if (!file.openRegular()) {
    ParamStream p;
    p << fileName;
    throw Load_FileError("@conf-file.load.file-error{Failed to load file \"%\"};",
                         KESTRO_SOURCE_TAG, p);
  }
  root = ConfNode::createRoot();
  const std::string nameForErrors = file.getFileName();
  ConfFileReader(file, nameForErrors).readTop(*root);
  if (logger.shows(LogLevel::debug)) logger.logDebug("ConfFile::loadFileIntoMemory: Successfully loaded");
  // The file closes as it goes out of scope; nothing after the closing brace is read.
}

}  // namespace KestroCorelib
