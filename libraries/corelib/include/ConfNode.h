#pragma once
// The in-memory configuration tree: ConfNode and its reference-counted handle ConfNodePtr.
//
// A tree is built by the .kconf reader (ConfFile) and then only read:
//
//   ConfNodePtr map = ConfFile().load("projectmap.kconf");   // top node "map"
//   ConfNodePtr gui = map->findByPath("plavo.gui");          // empty handle if absent
//   gui->getFullName();                                       // "map.plavo.gui"
//   gui->getChildNames();                                     // names in file order
//
// Every operation here works without recursion, so trees nested thousands of levels deep
// can be destroyed, cloned and named without exhausting the stack.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Exception.h"

namespace KestroCorelib {

class ConfNode;
class ConfArena;

// A shared handle to a ConfNode: one pointer; the use count lives in the node itself, so a
// node costs one allocation at most (the nodes of a tree read from a file share large
// blocks, which the last of them releases). Copies share the node; the last handle released
// destroys it. The count is not atomic: handles to one tree must not be copied or released
// by several threads at once.
//
//   ConfNodePtr a = ConfNode::create("a");   // a.useCount() == 1
//   ConfNodePtr b = a;                       // a.useCount() == 2, b.get() == a.get()
//   ConfNodePtr none;                        // empty: !none, none.get() == nullptr
class ConfNodePtr {
 public:
  ConfNodePtr() noexcept = default;
  ConfNodePtr(const ConfNodePtr& other) noexcept;
  ConfNodePtr(ConfNodePtr&& other) noexcept;
  ConfNodePtr& operator=(const ConfNodePtr& other) noexcept;
  ConfNodePtr& operator=(ConfNodePtr&& other) noexcept;
  ~ConfNodePtr();

  // Releases this handle's reference; the handle becomes empty.
  void reset() noexcept;

  ConfNode* get() const noexcept { return node; }
  // Dereferencing an empty handle is undefined, as with any pointer.
  ConfNode* operator->() const noexcept { return node; }
  ConfNode& operator*() const noexcept { return *node; }
  explicit operator bool() const noexcept { return node != nullptr; }
  bool isNull() const noexcept { return node == nullptr; }
  // Number of handles sharing the node; 0 for an empty handle.
  int32_t useCount() const noexcept;

  friend bool operator==(const ConfNodePtr& a, const ConfNodePtr& b) noexcept {
    return a.node == b.node;
  }
  friend bool operator!=(const ConfNodePtr& a, const ConfNodePtr& b) noexcept {
    return a.node != b.node;
  }

 private:
  friend class ConfNode;
  // Takes over a node whose use count is already 1.
  explicit ConfNodePtr(ConfNode* n) noexcept : node(n) {}

  ConfNode* node = nullptr;
};

// One node of a configuration tree: a name, a type code, a value text, free attributes,
// list elements, a list separator and named children (unique names, kept in adding order).
// Nodes are made by the factories and always live in a ConfNodePtr.
class ConfNode {
 public:
  // Error classes. Their texts are complete templates without placeholders.
  KESTRO_EXCEPTION(Factory_OutOfMemory);        // "@out-of-memory{Out of memory};"
  KESTRO_EXCEPTION(Get_WrongType);              // getFile/getList on a node of another type
  KESTRO_EXCEPTION(GetChild_NotFound);          // getChild of a missing name; no text
  KESTRO_EXCEPTION(Set_WrongType);              // addListValue on a node that is no list
  KESTRO_EXCEPTION(AddChild_NameAlreadyInUse);  // addChild of a name already present
  // addChild of an empty handle, of the node itself, of one of its ancestors or of a node
  // that already has a parent: such a child would make the tree a cycle (a second parent
  // opens the way to one), which could never be released or walked.
  KESTRO_EXCEPTION(AddChild_InvalidChild);

  // The elements of a list node in file order: a read-only sequence of texts that is walked,
  // indexed and compared like a std::vector<std::string>.
  //
  //   for (const std::string& user : node->getList()) ...
  //   node->getList() == std::vector<std::string>{"red", "blue"}
  class Elements {
   public:
    using value_type = std::string;
    using const_iterator = const std::string*;
    using iterator = const_iterator;

    Elements() noexcept = default;
    // A copy lives on the heap, wherever the original lies.
    Elements(const Elements& other);
    Elements& operator=(const Elements& other);
    ~Elements();

    const_iterator begin() const noexcept { return data; }
    const_iterator end() const noexcept { return data + count; }
    std::size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    const std::string& operator[](std::size_t i) const { return data[i]; }
    std::vector<std::string> toVector() const { return {begin(), end()}; }

    friend bool operator==(const Elements& a, const std::vector<std::string>& b) {
      return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
    }
    friend bool operator!=(const Elements& a, const std::vector<std::string>& b) {
      return !(a == b);
    }

   private:
    friend class ConfNode;
    friend class ConfFileReader;

    void push_back(const std::string& text);
    static constexpr std::size_t maxSize = UINT32_MAX;
    // Takes over texts already built in `storage`: the heap's (owned, freed here) or an
    // arena's (not freed here: the arena goes as a whole). The list must be empty, `size` at
    // most maxSize.
    void adopt(std::string* storage, std::size_t size, bool owned) noexcept;
    void clear() noexcept;
    // Gives back the buffer, its texts already gone: to the heap, or to its arena.
    void dropStorage() noexcept;

    // 32-bit counts keep a node at 88 bytes; a list of more than 4,294,967,295 elements
    // (128 GiB of them) is refused as memory that runs out.
    std::string* data = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;  // 0 when `data` is not this list's to free
  };

  // Type codes, shared with the configuration agent. 1 to 12 are the file format's types.
  enum TypeCode : int32_t {
    TypeNone = 0,
    TypeBool = 1,
    TypeInt = 2,
    TypeUint = 3,
    TypeFloat = 4,
    TypeString = 5,
    TypeDateTime = 6,
    TypeTimeOfDay = 7,
    TypeTimeZone = 8,
    TypeTimeSpan = 9,
    TypeDir = 10,
    TypeFile = 11,
    TypeList = 12,
    TypeSubEntries = 13,
    TypeSystemString = 16,
    TypeLocalInt = 17,
    TypeLocalUint = 18,
    TypeLocalFloat = 19,
    TypeLocalString = 20,
    TypeLocalSet = 21,
  };

  // The name of a type code: typeName(12) == "list", typeName(20) == "local string";
  // every code without a name (14, 15, 22, -1, ...) gives "undefined".
  static std::string typeName(int32_t type);

  // Factories. Each returns a new node in a new handle (use count 1) and raises
  // Factory_OutOfMemory when memory runs out.
  static ConfNodePtr create(const std::string& name, int32_t type);
  static ConfNodePtr create(const std::string& name);  // type 0
  static ConfNodePtr createRoot();                     // create("root", 0)
  // Deep copy of a node and everything below it. The copy has no parent, so the full
  // names in it start with the copied node's name. An empty handle gives an empty handle.
  static ConfNodePtr clone(const ConfNodePtr& node);

  ConfNode(const ConfNode&) = delete;
  ConfNode& operator=(const ConfNode&) = delete;
  // Releases the children without recursion; a child that outlives this node (because
  // another handle holds it) is left without parent. Not virtual: nothing derives from a
  // node (its constructor is private), and a large map holds 100,000 of them.
  ~ConfNode();

  const std::string& getName() const { return name; }
  const std::string& getValue() const;
  int32_t getType() const { return type; }
  // The list separator; newline unless the file set another.
  char getSeparator() const { return separator; }
  // The free attributes of the file (every attribute but type, value and separator).
  const std::map<std::string, std::string>& getAttributes() const;
  // The node holding this one, or nullptr for a top node. Not a reference.
  ConfNode* getParent() const { return parent; }
  // Where the reader found the node: the line of its opening brace. 0 for a node made
  // otherwise (and beyond line 4,294,967,295).
  int64_t getLine() const { return line; }
  // Where the reader found list element i: the line of its first byte (of its opening quote;
  // for an empty element, of the separator that ends it). 0 unless the reader was asked to
  // note element lines (ConfFile::setElementLines), for an element added otherwise and for
  // i out of range.
  int64_t getElementLine(size_t i) const;

  // Dotted path from the top node: "example.colours" for child colours of example.
  std::string getFullName() const;
  // The children's names in the order they were added (file order), not sorted.
  std::vector<std::string> getChildNames() const;
  // The children themselves in the same order, without copying: the way to walk a node of
  // many children (for (const ConfNodePtr& child : node->getChildren()) ...). The reference
  // stays valid until a child is added to this node.
  const std::vector<ConfNodePtr>& getChildren() const;
  // The child of exactly that name (case-sensitive); raises GetChild_NotFound.
  ConfNodePtr getChild(const std::string& childName) const;
  // The child of exactly that name, or an empty handle.
  ConfNodePtr findChild(const std::string& childName) const;
  // The descendant at a dotted path relative to this node, or an empty handle:
  // findByPath("plavo.gui") on the top node; "a." finds a; "", ".a", "a..b" find nothing.
  // A child whose name contains '.' cannot be reached this way.
  ConfNodePtr findByPath(const std::string& path) const;

  // The value of a node of type file with every '/' turned into '\': "a/b\c" gives "a\b\c".
  // Raises Get_WrongType for any other type.
  std::string getFile() const;
  // The elements of a node of type list; raises Get_WrongType for any other type.
  const Elements& getList() const;

  // Appends a list element; raises Set_WrongType unless the node is of type list.
  void addListValue(const std::string& text);
  // Adds the handle's node as a child and makes this node its parent. Raises
  // AddChild_NameAlreadyInUse if a child of that name exists, AddChild_InvalidChild for
  // an empty handle, this node, an ancestor of it or a node that has a parent already (a
  // node outliving its parent has none). Nothing changes on error.
  void addChild(const ConfNodePtr& child);

 private:
  // The .kconf reader fills name, type, value, separator and attributes.
  friend class ConfFileReader;

  friend class ConfNodePtr;

  ConfNode(const std::string& nodeName, int32_t nodeType);
  // A node of type 0 in the arena, which it holds once; for the reader.
  static ConfNodePtr createIn(ConfArena& arena, const std::string& name);
  // What the last handle does: destroys the node and gives its memory back.
  static void destroy(ConfNode* node) noexcept;
  // One slot of the name index: the child's position in `children` plus 1 (0: free) and a
  // 32-bit hash tag of its name. Probes compare tags and read a child's name only on a tag
  // match, and the index grows from the tags alone, without touching the children.
  struct IndexSlot {
    uint32_t position;
    uint32_t tag;
  };

  // The position of the child of that name in `children`, or -1.
  std::ptrdiff_t findIndex(std::string_view childName) const;
  // The slot of the child of that name, or the free slot where its probe sequence ends.
  size_t probe(std::string_view childName, uint32_t tag) const;
  // addChild without the checks for an empty handle or a cycle, for fresh children: adds
  // the child unless one of that name exists, and tells whether it did.
  bool attachChild(const ConfNodePtr& child);
  // Builds the index with room for `wanted` children from the current one (or from the
  // names, when there is no index yet).
  void growIndex(size_t wanted);
  bool hasChildren() const { return children && !children->list.empty(); }
  // Sets a free attribute, replacing one of the same name.
  void setAttribute(const std::string& attributeName, std::string text);
  // Takes the lines of the list elements, as the reader noted them.
  void setElementLines(std::vector<uint32_t> lines);
  static void detachChildren(ConfNode& node, std::vector<ConfNodePtr>& pending) noexcept;

  // The children in adding order. While they come in ascending name order (as a sorted
  // map's do) a new child needs only a comparison with the last one and a lookup is a binary
  // search; otherwise a node of many children gets a hash table over their names (open
  // addressing, linear probing, at most half full). A large map's projects node has 100,000
  // children: one pointer each, instead of a tree node plus two copies of the name.
  // The lines of a list's elements live here too, though they are no children: like the
  // children, few nodes have them (the reader notes them only when asked), and the node has
  // no room left for another pointer.
  struct ChildTable {
    std::vector<ConfNodePtr> list;
    std::vector<IndexSlot> index;  // empty while there are few children or they are sorted
    bool ascending = true;         // every name so far greater than the one before
    // The lines of the list elements (getElementLine), when the reader noted them.
    std::vector<uint32_t> elementLines;
  };

  // What few nodes have: a value and free attributes, allocated together when one is set.
  struct Extras {
    std::string value;
    std::map<std::string, std::string> attributes;
  };
  Extras& extras();

  // The fields are ordered to leave little padding: a node is 88 bytes, its line included. Most
  // nodes have no value, no free attributes and no children: those are allocated when they
  // are set.
  std::string name;
  std::unique_ptr<Extras> extra;
  Elements elements;
  std::unique_ptr<ChildTable> children;
  ConfNode* parent = nullptr;
  int32_t type = TypeNone;
  int32_t refs = 1;  // handles sharing this node
  char separator = '\n';
  bool inArena = false;  // cut from a ConfArena rather than allocated on its own
  uint32_t line = 0;     // getLine's
};

inline int32_t ConfNodePtr::useCount() const noexcept { return node != nullptr ? node->refs : 0; }

}  // namespace KestroCorelib
