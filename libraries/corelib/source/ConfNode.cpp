#include "ConfNode.h"

#include <algorithm>
#include <functional>
#include <new>
#include <utility>

#include "ConfArena.h"
#include "ParamStream.h"

namespace KestroCorelib {

namespace {

// Names reach error texts as parameters, never pasted into the template: the template
// scanner reads '@' and "};" as syntax, so a node "alice@corp" would be shown as "alicecorp".
template <typename... Texts> ParamStream textParams(const Texts&... texts) {
  ParamStream p;
  (p << ... << texts);
  return p;
}

}  // namespace

// ---------------------------------------------------------------------------- ConfNodePtr

ConfNodePtr::ConfNodePtr(const ConfNodePtr& other) noexcept : node(other.node) {
  if (node != nullptr) ++node->refs;
}

ConfNodePtr::ConfNodePtr(ConfNodePtr&& other) noexcept : node(other.node) { other.node = nullptr; }

ConfNodePtr& ConfNodePtr::operator=(const ConfNodePtr& other) noexcept {
  if (this != &other) {
    // Take the new reference first: `other` may live inside the node released below.
    ConfNodePtr keep(other);
    std::swap(node, keep.node);
  }
  return *this;
}

ConfNodePtr& ConfNodePtr::operator=(ConfNodePtr&& other) noexcept {
  if (this != &other) {
    ConfNodePtr old(std::move(*this));
    node = other.node;
    other.node = nullptr;
  }
  return *this;
}

ConfNodePtr::~ConfNodePtr() { reset(); }

void ConfNodePtr::reset() noexcept {
  ConfNode* n = node;
  node = nullptr;
  if (n != nullptr && --n->refs == 0) ConfNode::destroy(n);
}

// ------------------------------------------------------------------------------ Elements

ConfNode::Elements::Elements(const Elements& other) {
  if (other.count == 0) return;
  auto* storage = static_cast<std::string*>(::operator new(other.count * sizeof(std::string)));
  std::size_t built = 0;
  try {
    for (; built < other.count; ++built) new (storage + built) std::string(other.data[built]);
  } catch (...) {
    while (built > 0) storage[--built].~basic_string();
    ::operator delete(storage);
    throw;
  }
  adopt(storage, other.count, true);
}

ConfNode::Elements& ConfNode::Elements::operator=(const Elements& other) {
  if (this != &other) {
    Elements copy(other);
    clear();
    adopt(copy.data, copy.count, copy.capacity != 0);
    copy.data = nullptr;
    copy.count = copy.capacity = 0;
  }
  return *this;
}

ConfNode::Elements::~Elements() { clear(); }

void ConfNode::Elements::clear() noexcept {
  for (std::size_t i = 0; i < count; ++i) data[i].~basic_string();
  dropStorage();
  data = nullptr;
  count = capacity = 0;
}

void ConfNode::Elements::dropStorage() noexcept {
  if (capacity != 0) {
    ::operator delete(data);
  } else if (count != 0) {
    ConfArena::forget(data, count * sizeof(std::string));
  }
}

void ConfNode::Elements::adopt(std::string* storage, std::size_t size, bool owned) noexcept {
  data = storage;
  count = static_cast<uint32_t>(size);
  capacity = owned ? count : 0;
}

void ConfNode::Elements::push_back(const std::string& text) {
  if (count < capacity) {
    new (data + count) std::string(text);
    ++count;
    return;
  }
  // Full, or lying in an arena: move to a larger heap buffer. The new text is built first,
  // so a failure leaves the list as it was.
  if (count == maxSize) throw std::bad_alloc();
  const auto room =
      static_cast<uint32_t>(std::clamp<std::size_t>(std::size_t{count} * 2, 4, maxSize));
  auto* storage = static_cast<std::string*>(::operator new(room * sizeof(std::string)));
  try {
    new (storage + count) std::string(text);
  } catch (...) {
    ::operator delete(storage);
    throw;
  }
  for (std::size_t i = 0; i < count; ++i) {
    new (storage + i) std::string(std::move(data[i]));
    data[i].~basic_string();
  }
  dropStorage();
  data = storage;
  ++count;
  capacity = room;
}

// ------------------------------------------------------------------------------- ConfNode

std::string ConfNode::typeName(int32_t type) {
  switch (type) {
  case TypeNone:
    return "none";
  case TypeBool:
    return "bool";
  case TypeInt:
    return "int";
  case TypeUint:
    return "uint";
  case TypeFloat:
    return "float";
  case TypeString:
    return "string";
  case TypeDateTime:
    return "datetime";
  case TypeTimeOfDay:
    return "time-of-day";
  case TypeTimeZone:
    return "timezone";
  case TypeTimeSpan:
    return "timespan";
  case TypeDir:
    return "dir";
  case TypeFile:
    return "file";
  case TypeList:
    return "list";
  case TypeSubEntries:
    return "sub-entries";
  case TypeSystemString:
    return "system string";
  case TypeLocalInt:
    return "local int";
  case TypeLocalUint:
    return "local uint";
  case TypeLocalFloat:
    return "local float";
  case TypeLocalString:
    return "local string";
  case TypeLocalSet:
    return "local set";
  default:
    return "undefined";
  }
}

// A large map has 100,000 nodes: a field more must fit the padding, not grow the node.
static_assert(sizeof(void*) != 8 || sizeof(ConfNode) <= 88, "a node stays at 88 bytes");

ConfNode::ConfNode(const std::string& nodeName, int32_t nodeType)
    : name(nodeName), type(nodeType) {}

// Moves every child handle of a node that is about to go into `pending`, so that the
// caller releases them one by one instead of letting each node's destructor release its
// own children recursively (which would exhaust the stack on a deep tree). A child that
// outlives the node must not point at it any more.
void ConfNode::detachChildren(ConfNode& node, std::vector<ConfNodePtr>& pending) noexcept {
  if (!node.children) return;
  for (ConfNodePtr& child : node.children->list) {
    // A leaf that nothing else holds goes at once: it has nothing below it to release, and
    // the 100,000 projects of a large map need not pass through the work list.
    if (child->refs == 1 && !child->hasChildren()) {
      child.reset();
      continue;
    }
    if (child->parent == &node) child->parent = nullptr;
    try {
      pending.push_back(std::move(child));
    } catch (...) {
      // No room for the work list: release this child directly. That recurses over its
      // subtree, which is still better than leaking it.
      child.reset();
    }
  }
  node.children.reset();
}

ConfNode::~ConfNode() {
  std::vector<ConfNodePtr> pending;
  detachChildren(*this, pending);
  while (!pending.empty()) {
    ConfNodePtr child = std::move(pending.back());
    pending.pop_back();
    // The last reference: empty the child before it goes, so that its own destructor has
    // nothing left to release.
    if (child.useCount() == 1) detachChildren(*child, pending);
  }
}

ConfNodePtr ConfNode::create(const std::string& name, int32_t type) {
  ConfNode* node = nullptr;
  try {
    node = new ConfNode(name, type);
    return ConfNodePtr(node);
  } catch (const std::bad_alloc&) {
    throw Factory_OutOfMemory(outOfMemoryMessage, KESTRO_SOURCE_TAG);
  }
}

ConfNodePtr ConfNode::createIn(ConfArena& arena, const std::string& name) {
  try {
    // A node always fits a page, so the arena never sends it to the heap.
    void* place = arena.allocate(sizeof(ConfNode));
    auto* node = new (place) ConfNode(name, TypeNone);
    node->inArena = true;
    arena.retain();
    return ConfNodePtr(node);
  } catch (const std::bad_alloc&) {
    throw Factory_OutOfMemory(outOfMemoryMessage, KESTRO_SOURCE_TAG);
  }
}

void ConfNode::destroy(ConfNode* node) noexcept {
  if (!node->inArena) {
    delete node;
    return;
  }
  ConfArena* arena = ConfArena::owning(node);
  node->~ConfNode();
  ConfArena::forget(node, sizeof(ConfNode));
  arena->release();
}

ConfNodePtr ConfNode::create(const std::string& name) { return create(name, TypeNone); }

ConfNodePtr ConfNode::createRoot() { return create("root", TypeNone); }

ConfNodePtr ConfNode::clone(const ConfNodePtr& source) {
  if (!source) return ConfNodePtr();
  try {
    auto copyFields = [](const ConfNode& from) {
      ConfNodePtr to = create(from.name, from.type);
      if (from.extra) to->extra = std::make_unique<Extras>(*from.extra);
      to->elements = from.elements;
      to->separator = from.separator;
      to->line = from.line;
      if (from.children && !from.children->elementLines.empty()) {
        to->setElementLines(from.children->elementLines);
      }
      return to;
    };
    ConfNodePtr top = copyFields(*source);
    // Depth-first with an explicit work list instead of recursion; each node's children
    // are added in its own order, so the copy keeps the file order.
    std::vector<std::pair<const ConfNode*, ConfNode*>> work{{source.get(), top.get()}};
    while (!work.empty()) {
      auto [from, to] = work.back();
      work.pop_back();
      if (!from->hasChildren()) continue;
      if (!to->children) to->children = std::make_unique<ChildTable>();
      to->children->list.reserve(from->children->list.size());
      for (const ConfNodePtr& child : from->children->list) {
        ConfNodePtr copy = copyFields(*child);
        to->attachChild(copy);
        work.emplace_back(child.get(), copy.get());
      }
    }
    return top;
  } catch (const std::bad_alloc&) {
    throw Factory_OutOfMemory(outOfMemoryMessage, KESTRO_SOURCE_TAG);
  }
}

std::string ConfNode::getFullName() const {
  std::vector<const ConfNode*> chain;
  size_t length = 0;
  for (const ConfNode* n = this; n != nullptr; n = n->parent) {
    chain.push_back(n);
    length += n->name.size() + 1;
  }
  std::string result;
  result.reserve(length);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!result.empty() || it != chain.rbegin()) result += '.';
    result += (*it)->name;
  }
  return result;
}

const std::string& ConfNode::getValue() const {
  static const std::string none;
  return extra ? extra->value : none;
}

const std::map<std::string, std::string>& ConfNode::getAttributes() const {
  static const std::map<std::string, std::string> none;
  return extra ? extra->attributes : none;
}

int64_t ConfNode::getElementLine(size_t i) const {
  return children && i < children->elementLines.size() ? children->elementLines[i] : 0;
}

void ConfNode::setElementLines(std::vector<uint32_t> lines) {
  if (!children) children = std::make_unique<ChildTable>();
  children->elementLines = std::move(lines);
}

void ConfNode::setAttribute(const std::string& attributeName, std::string text) {
  extras().attributes[attributeName] = std::move(text);
}

ConfNode::Extras& ConfNode::extras() {
  if (!extra) extra = std::make_unique<Extras>();
  return *extra;
}

const std::vector<ConfNodePtr>& ConfNode::getChildren() const {
  static const std::vector<ConfNodePtr> none;
  return children ? children->list : none;
}

std::vector<std::string> ConfNode::getChildNames() const {
  std::vector<std::string> names;
  const std::vector<ConfNodePtr>& list = getChildren();
  names.reserve(list.size());
  for (const ConfNodePtr& child : list) names.push_back(child->name);
  return names;
}

ConfNodePtr ConfNode::getChild(const std::string& childName) const {
  const std::ptrdiff_t position = findIndex(childName);
  if (position < 0) throw GetChild_NotFound("", KESTRO_SOURCE_TAG);
  return children->list[static_cast<size_t>(position)];
}

ConfNodePtr ConfNode::findChild(const std::string& childName) const {
  const std::ptrdiff_t position = findIndex(childName);
  return position < 0 ? ConfNodePtr() : children->list[static_cast<size_t>(position)];
}

namespace {

// Up to this many children a node is searched from end to end and has no index.
constexpr size_t kLinearChildren = 8;

uint32_t tagOf(std::string_view text) {
  const uint64_t hash = std::hash<std::string_view>()(text);
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

}  // namespace

std::ptrdiff_t ConfNode::findIndex(std::string_view childName) const {
  if (!children) return -1;
  if (!children->index.empty()) {
    const size_t slot = probe(childName, tagOf(childName));
    return static_cast<std::ptrdiff_t>(children->index[slot].position) - 1;
  }
  const std::vector<ConfNodePtr>& list = children->list;
  if (children->ascending && list.size() > kLinearChildren) {
    const auto at = std::lower_bound(
        list.begin(), list.end(), childName,
        [](const ConfNodePtr& child, std::string_view text) { return child->name < text; });
    return at != list.end() && (*at)->name == childName ? at - list.begin() : -1;
  }
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i]->name == childName) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

size_t ConfNode::probe(std::string_view childName, uint32_t tag) const {
  const std::vector<IndexSlot>& index = children->index;
  const size_t mask = index.size() - 1;
  for (size_t slot = tag & mask;; slot = (slot + 1) & mask) {
    const IndexSlot& entry = index[slot];
    if (entry.position == 0) return slot;
    if (entry.tag == tag && children->list[entry.position - 1]->name == childName) return slot;
  }
}

void ConfNode::growIndex(size_t wanted) {
  size_t slots = 16;
  while (slots < wanted * 2) slots *= 2;
  std::vector<IndexSlot> fresh(slots, IndexSlot{0, 0});
  const size_t mask = slots - 1;
  auto place = [&](uint32_t position, uint32_t tag) {
    size_t slot = tag & mask;
    while (fresh[slot].position != 0) slot = (slot + 1) & mask;
    fresh[slot] = IndexSlot{position, tag};
  };
  std::vector<IndexSlot>& index = children->index;
  if (index.empty()) {
    const std::vector<ConfNodePtr>& list = children->list;
    for (size_t i = 0; i < list.size(); ++i) {
      place(static_cast<uint32_t>(i + 1), tagOf(list[i]->name));
    }
  } else {
    for (const IndexSlot& entry : index) {
      if (entry.position != 0) place(entry.position, entry.tag);
    }
  }
  index.swap(fresh);
}

ConfNodePtr ConfNode::findByPath(const std::string& path) const {
  const ConfNode* current = this;
  ConfNodePtr hit;
  size_t start = 0;
  for (;;) {
    size_t dot = path.find('.', start);
    std::string first =
        path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (first.empty()) return ConfNodePtr();
    hit = current->findChild(first);
    if (!hit) return ConfNodePtr();
    // A trailing dot leaves an empty rest, which ends the walk like no dot at all.
    if (dot == std::string::npos || dot + 1 == path.size()) return hit;
    current = hit.get();
    start = dot + 1;
  }
}

std::string ConfNode::getFile() const {
  if (type != TypeFile) {
    throw Get_WrongType(
        "@conf-node.get.wrong-type{Trying to get file value from node % but this node is of "
        "type %};",
        KESTRO_SOURCE_TAG, textParams(getFullName(), typeName(type)));
  }
  std::string result = getValue();
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  return result;
}

const ConfNode::Elements& ConfNode::getList() const {
  if (type != TypeList) {
    throw Get_WrongType(
        "@conf-node.get.wrong-type{Trying to get list value from node % but this node is of "
        "type %};",
        KESTRO_SOURCE_TAG, textParams(getFullName(), typeName(type)));
  }
  return elements;
}

void ConfNode::addListValue(const std::string& text) {
  if (type != TypeList) {
    throw Set_WrongType(
        "@conf-node.set.wrong-type{Trying to set add list value element in node % but this "
        "node is of type %};",
        KESTRO_SOURCE_TAG, textParams(getFullName(), typeName(type)));
  }
  elements.push_back(text);
}

void ConfNode::addChild(const ConfNodePtr& child) {
  if (!child) {
    throw AddChild_InvalidChild(
        "@conf-node.add-child.invalid-child{Cannot add an empty node to \"%\"};", KESTRO_SOURCE_TAG,
        textParams(getFullName()));
  }
  // Only a node with children can be an ancestor, so the common case of adding a leaf
  // costs nothing however deep this node lies.
  bool cycle = child.get() == this;
  for (const ConfNode* n = parent; !cycle && child->hasChildren() && n != nullptr; n = n->parent) {
    cycle = n == child.get();
  }
  if (cycle) {
    throw AddChild_InvalidChild(
        "@conf-node.add-child.invalid-child{Cannot add node \"%\" to \"%\" because it is that "
        "node or one of its ancestors};",
        KESTRO_SOURCE_TAG, textParams(child->name, getFullName()));
  }
  if (findIndex(child->name) >= 0) {
    throw AddChild_NameAlreadyInUse(
        "@conf-node.add-child.name-already-in-use{Cannot add child node \"%\" to \"%\" "
        "because another child with that name already exists};",
        KESTRO_SOURCE_TAG, textParams(child->name, getFullName()));
  }
  // A node has one parent. A second one would make the tree a graph in which the ancestor
  // walk above misses cycles (a += b; c += b; b += a), and such a cycle is never released.
  if (child->parent != nullptr) {
    throw AddChild_InvalidChild(
        "@conf-node.add-child.invalid-child{Cannot add node \"%\" to \"%\" because it "
        "already has the parent \"%\"};",
        KESTRO_SOURCE_TAG, textParams(child->name, getFullName(), child->parent->getFullName()));
  }
  attachChild(child);
}

bool ConfNode::attachChild(const ConfNodePtr& child) {
  if (!children) children = std::make_unique<ChildTable>();
  std::vector<ConfNodePtr>& list = children->list;
  std::vector<IndexSlot>& index = children->index;
  const size_t count = list.size() + 1;
  if (index.empty()) {
    if (children->ascending && (list.empty() || list.back()->name < child->name)) {
      list.push_back(child);  // greater than all the others: no duplicate
      child->parent = this;
      return true;
    }
    if (findIndex(child->name) >= 0) return false;
    // Out of order: from now on the children are found through the hash index.
    children->ascending = false;
    if (count > kLinearChildren) growIndex(count);
  }
  if (index.empty()) {
    list.push_back(child);
  } else {
    const uint32_t tag = tagOf(child->name);
    size_t slot = probe(child->name, tag);
    if (index[slot].position != 0) return false;
    // A larger index built before the child goes in still matches the children if the
    // push_back below fails: nothing is left half done.
    if (count * 2 > index.size()) {
      growIndex(count);
      slot = probe(child->name, tag);
    }
    list.push_back(child);
    index[slot] = IndexSlot{static_cast<uint32_t>(count), tag};
  }
  child->parent = this;
  return true;
}

}  // namespace KestroCorelib
