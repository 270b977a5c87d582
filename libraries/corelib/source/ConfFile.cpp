#include "ConfFile.h"

#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "ConfArena.h"
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
  ConfFileReader(File& input, const std::string& name, bool noteElementLines)
      : file(input), fileName(name), elementLines(noteElementLines), arena(ConfArena::create()) {}
  ~ConfFileReader() { arena->release(); }
  ConfFileReader(const ConfFileReader&) = delete;
  ConfFileReader& operator=(const ConfFileReader&) = delete;

  void readTop(ConfNode& top) {
    top.name = readRootName();
    top.line = lineField(currentLine());
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

  // Moves the list elements gathered since `first` into the node, in one piece of the exact
  // size (growing the node's list element by element cost a fifth of a large load): the
  // node's arena's, unless the node is the top one or the list too long for the arena, and
  // their lines when they are noted.
  void takeElements(ConfNode& node, std::size_t first) {
    if (pending.size() == first) return;
    const std::size_t count = pending.size() - first;
    try {
      if (count > ConfNode::Elements::maxSize) throw std::bad_alloc();
      const std::size_t bytes = count * sizeof(std::string);
      void* storage = node.inArena ? arena->allocate(bytes) : nullptr;
      const bool owned = storage == nullptr;
      if (owned) storage = ::operator new(bytes);
      auto* texts = static_cast<std::string*>(storage);
      for (std::size_t i = 0; i < count; ++i) {
        new (texts + i) std::string(std::move(pending[first + i]));
      }
      node.elements.adopt(texts, count, owned);
      if (elementLines) {
        node.setElementLines(std::vector<uint32_t>(
            pendingLines.begin() + static_cast<std::ptrdiff_t>(first), pendingLines.end()));
      }
    } catch (...) {
      dropPending(first);  // the enclosing node must not take them
      throw;
    }
    dropPending(first);
  }

  // Forgets the elements gathered since `first`, and their lines.
  void dropPending(std::size_t first) {
    pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
    if (elementLines) pendingLines.resize(first);
  }

  // The token being read in a node body, and where a list element's quotes stand.
  struct Token {
    std::string text;
    bool quoted = false;  // inside a list element's quotes
    bool escape = false;  // just after a backslash inside them
    uint32_t line = 0;    // noted element lines only: the element's first line, 0 before it
  };

  // The bytes that end a run of plain token bytes outside quotes; readBodyText decides what
  // each of them means (stopping on a few more than needed only costs a round). Blanks, line
  // breaks and '"' are all at most '"'. The separator is read at each call: an attribute
  // line may change it.
  struct RunEnd {
    const ConfNode& node;
    bool operator()(char b) const {
      return kEndsRun[static_cast<unsigned char>(b)] || b == node.getSeparator();
    }
  };
  // RunEnd's fixed bytes as a table: one look-up per byte of a run instead of five tests.
  static constexpr std::array<bool, 256> kEndsRun = [] {
    std::array<bool, 256> table{};
    for (std::size_t b = 0; b <= '"'; ++b) table[b] = true;
    for (const char b : {'=', '{', '}'}) table[static_cast<unsigned char>(b)] = true;
    return table;
  }();

  // readNodeBody's work: the text up to the closing '}' (list elements go to `pending`).
  void readBodyText(ConfNode& node, int64_t depth) {
    Token token;
    const RunEnd endsRun{node};
    char c;
    while (file.getChar(c)) {
      // The type may change on any attribute line, so it is looked at for each character.
      const bool listMode = node.getType() == ConfNode::TypeList;
      if (!token.quoted) {
        if (isBodyBlank(c)) {
          file.skipWhile(isBodyBlank);  // indentation comes in runs
          continue;
        }
        if (c == '\n' && (!listMode || token.text.empty())) {
          file.skipWhile(isBodyBlank);  // the next line's indentation, without a round
          continue;
        }
      }
      if (listMode && readListByte(node, c, token, endsRun)) continue;
      token.quoted = false;
      if (c == '}') return;  // an unfinished token is dropped without notice
      readNameByte(node, c, token, depth, endsRun);
    }
    throw ConfFile::Load_PrematureEndOfFile(
        "@conf-file.load.premature-end-of-file{Premature end of file in line % in file \"%\"};",
        KESTRO_SOURCE_TAG, lineAndFile());
  }

  // A byte of a list's body, with its blanks gone: quoted text, the end of an element or a
  // plain byte of one. False for '=', '{' and '}' outside quotes, which mean what they mean
  // in any node.
  bool readListByte(const ConfNode& node, char c, Token& token, const RunEnd& endsRun) {
    if (token.quoted) {
      readQuotedByte(c, token);
      return true;
    }
    if (c == '"') {
      noteElementStart(token);
      token.quoted = true;
      return true;
    }
    if (c == node.getSeparator() || c == '\n') {
      // What addListValue does, without its type check (the node is a list here):
      // readNodeBody hands the elements to the node when its body ends.
      if (elementLines) {
        // An empty element stands where the separator ending it does (a newline never ends
        // an empty element: it is passed over as a blank).
        noteElementStart(token);
        pendingLines.push_back(token.line);
        token.line = 0;
      }
      pending.push_back(std::move(token.text));
      token.text.clear();
      if (c == '\n') file.skipWhile(isBodyBlank);
      return true;
    }
    if (c == '=' || c == '{' || c == '}') return false;
    noteElementStart(token);
    token.text += c;
    file.appendUntil(token.text, endsRun);
    return true;
  }

  // With element lines noted: the line of the byte just read, unless the element has begun.
  void noteElementStart(Token& token) const {
    if (elementLines && token.line == 0) token.line = lineField(currentLine());
  }

  // A byte between a list element's quotes. Only \" is an escape; any other backslash stays
  // in the element.
  static void readQuotedByte(char c, Token& token) {
    if (token.escape) {
      if (c != '"') token.text += '\\';
      token.text += c;
      token.escape = false;
    } else if (c == '"') {
      token.quoted = false;
    } else if (c == '\\') {
      token.escape = true;
    } else {
      token.text += c;
    }
  }

  // A byte outside list elements other than '}': '=' ends an attribute's name, '{' a child's,
  // anything else belongs to the name.
  void readNameByte(ConfNode& node, char c, Token& token, int64_t depth, const RunEnd& endsRun) {
    if (c == '=') {
      readAttribute(node, token.text);
      file.skipWhile(isBodyBlank);  // it read its line break
    } else if (c == '{') {
      checkChildName(token.text, depth);
      readChild(node, token.text, depth + 1);
    } else {
      token.text += c;
      file.appendUntil(token.text, endsRun);
      return;
    }
    token.text.clear();
    token.line = 0;
  }

  // Before a child of a node at `depth` is read: it needs a name and room for its level.
  void checkChildName(const std::string& name, int64_t depth) const {
    if (name.empty()) {
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
  }

  void readChild(ConfNode& parent, const std::string& name, int64_t depth) {
    // A child's name is taken as it stands, unchecked.
    ConfNodePtr child = ConfNode::createIn(*arena, name);
    child->line = lineField(currentLine());  // the line of its '{', just read
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
      node.extras().value = std::move(text);
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
        {"bool", ConfNode::TypeBool},
        {"int", ConfNode::TypeInt},
        {"uint", ConfNode::TypeUint},
        {"float", ConfNode::TypeFloat},
        {"double", ConfNode::TypeFloat},
        {"string", ConfNode::TypeString},
        {"datetime", ConfNode::TypeDateTime},
        {"time-of-day", ConfNode::TypeTimeOfDay},
        {"timezone", ConfNode::TypeTimeZone},
        {"timespan", ConfNode::TypeTimeSpan},
        {"dir", ConfNode::TypeDir},
        {"file", ConfNode::TypeFile}};
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
  // A line as a node keeps it: 0 beyond what 32 bits hold, as for an unknown line.
  static uint32_t lineField(int64_t line) {
    return line > INT64_C(0xFFFFFFFF) ? 0 : static_cast<uint32_t>(line);
  }

  ParamStream lineAndFile() const {
    ParamStream p;
    p << currentLine() << fileName;
    return p;
  }

  File& file;
  const std::string& fileName;
  const bool elementLines;  // whether the lines of list elements are noted
  // The list elements of the nodes being read, innermost node's last; reused throughout.
  std::vector<std::string> pending;
  std::vector<uint32_t> pendingLines;  // their lines, when noted
  // Where the nodes below the top one and their elements go; held by each of them as well.
  ConfArena* const arena;
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
  ConfFileReader(file, nameForErrors, elementLines).readTop(*root);
  if (logger.shows(LogLevel::debug)) {
    logger.logDebug("ConfFile::loadFileIntoMemory: Successfully loaded");
  }
  // The file closes as it goes out of scope; nothing after the closing brace is read.
}

}  // namespace KestroCorelib
