#pragma once
// The reader of .kconf configuration files.
//
// A file describes one top node with nested children, attributes and list elements:
//
//   example {                      // top node "example"
//     window {                     // child example.window
//       title=Main window          // free attribute "title" = "Main window"
//     }
//     colours {
//       type=list                  // must come before the elements
//       separator=,
//       red, dark blue , "light green"
//     }
//   }
//
//   ConfNodePtr top = ConfFile().load("example.kconf");
//   top->findByPath("colours")->getList();   // {"red", "darkblue", "light green"}
//   top->findByPath("window")->getAttributes().at("title");   // "Main window"
//
// The grammar, as existing administrator files rely on it:
// - Outside quoted list elements blanks, tabs, vertical tabs and carriage returns vanish,
//   also inside names ("my node {" names "mynode"); newlines vanish too, except that in a
//   list a newline ends a non-empty element.
// - name=rest of line sets an attribute; the value is the rest of the line exactly, leading
//   blanks included; one pair of enclosing double quotes is removed. "type", "value" and
//   "separator" are the node's own fields, any other name goes to the attribute table.
// - name{ opens a child; } closes the node; text before } is dropped. Nothing after the
//   top node's closing brace is read. There are no comments.
// - In a list node (type=list) elements end at the separator (a newline by default) or at a
//   newline; "..." quotes an element (\" is a quote, any other backslash stays); an element
//   directly before } is lost.
// - The top node's name may not hold '.', '}', control characters or bytes of 128 and above.
// - Names ending in "gz" (any case) are read through zlib; plain files drop carriage
//   returns, compressed ones keep them (a value then ends in the carriage return).
//
// Errors carry the line of the problem and the file name; an error inside nested nodes
// collects one source tag per enclosing child level. Nesting deeper than maxDepth levels is
// refused (Load_TooDeep) instead of exhausting the stack.
#include <cstdint>
#include <string>

#include "ConfNode.h"
#include "Exception.h"
#include "Ims.h"
#include "Logger.h"

namespace KestroCorelib {

class ConfFile : public ImsAgent {
 public:
  KESTRO_EXCEPTION(Load_FileNotFound);          // "Configuration file \"%\" was not found"
  KESTRO_EXCEPTION(Load_FileError);             // "Failed to load file \"%\""
  KESTRO_EXCEPTION(Load_InvalidNodeName);       // "Invalid node name in line % in file \"%\""
  KESTRO_EXCEPTION(Load_MissingNodeName);       // "Missing node name in line % in file \"%\""
  KESTRO_EXCEPTION(Load_MissingAttributeName);  // "Missing attribute name in line % in file \"%\""
  KESTRO_EXCEPTION(Load_PrematureEndOfFile);    // "Premature end of file in line % in file \"%\""
  KESTRO_EXCEPTION(Load_InvalidNodeType);       // "Invalid node type \"%\" in line % in file \"%\""
  KESTRO_EXCEPTION(Load_TooDeep);  // "Nesting deeper than % levels in line % in file \"%\""

  // The deepest nesting accepted: the top node's body counts as level 1.
  static constexpr int64_t maxDepth = 1000;

  // Agent "conf-file", logger "conffile", nothing loaded.
  ConfFile();
  ~ConfFile() override;

  // Whether loading notes the line of every list element (ConfNode::getElementLine). Off by
  // default: it costs memory for every list. Every node's own line is always noted
  // (ConfNode::getLine).
  void setElementLines(bool noted) { elementLines = noted; }

  // Reads the file and hands its tree to the caller, who owns it; the ConfFile keeps
  // nothing. The result is never empty; every failure raises one of the errors above or
  // ConfNode's AddChild_NameAlreadyInUse / Factory_OutOfMemory.
  ConfNodePtr load(const std::string& fileName);
  // Reads the file into `root`, replacing any earlier tree. After an error `root` may hold
  // the part read so far.
  void loadFileIntoMemory(const std::string& fileName);
  // The tree of the last loadFileIntoMemory (empty before, and after load).
  const ConfNodePtr& getRoot() const { return root; }

 private:
  Logger logger;
  ConfNodePtr root;
  bool elementLines = false;
};

}  // namespace KestroCorelib
