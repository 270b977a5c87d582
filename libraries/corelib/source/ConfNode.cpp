#include "ConfNode.h"

#include <new>
#include <utility>

namespace KestroCorelib {

// ---------------------------------------------------------------------------- ConfNodePtr

ConfNodePtr::ConfNodePtr(const ConfNodePtr& other) noexcept
    : node(other.node), count(other.count) {
  if (count != nullptr) ++*count;
}

ConfNodePtr::ConfNodePtr(ConfNodePtr&& other) noexcept : node(other.node), count(other.count) {
  other.node = nullptr;
  other.count = nullptr;
}

ConfNodePtr& ConfNodePtr::operator=(const ConfNodePtr& other) noexcept {
  if (this != &other) {
    // Take the new reference first: `other` may live inside the node released below.
    ConfNodePtr keep(other);
    std::swap(node, keep.node);
    std::swap(count, keep.count);
  }
  return *this;
}

ConfNodePtr& ConfNodePtr::operator=(ConfNodePtr&& other) noexcept {
  if (this != &other) {
    ConfNodePtr old(std::move(*this));
    node = other.node;
    count = other.count;
    other.node = nullptr;
    other.count = nullptr;
  }
  return *this;
}

ConfNodePtr::~ConfNodePtr() { reset(); }

void ConfNodePtr::reset() noexcept {
  ConfNode* n = node;
  int32_t* c = count;
  node = nullptr;
  count = nullptr;
  if (c != nullptr && --*c == 0) {
    delete c;
    delete n;
  }
}

// ------------------------------------------------------------------------------- ConfNode

std::string ConfNode::typeName(int32_t type) {
  switch (type) {
    case TypeNone: return "none";
    case TypeBool: return "bool";
    case TypeInt: return "int";
    case TypeUint: return "uint";
    case TypeFloat: return "float";
    case TypeString: return "string";
    case TypeDateTime: return "datetime";
    case TypeTimeOfDay: return "time-of-day";
    case TypeTimeZone: return "timezone";
    case TypeTimeSpan: return "timespan";
    case TypeDir: return "dir";
    case TypeFile: return "file";
    case TypeList: return "list";
    case TypeSubEntries: return "sub-entries";
    case TypeSystemString: return "system string";
    case TypeLocalInt: return "local int";
    case TypeLocalUint: return "local uint";
    case TypeLocalFloat: return "local float";
    case TypeLocalString: return "local string";
    case TypeLocalSet: return "local set";
    default: return "undefined";
  }
}

ConfNode::ConfNode(const std::string& nodeName, int32_t nodeType)
    : name(nodeName), type(nodeType) {}

// Moves every child handle of a node that is about to go into `pending`, so that the
// caller releases them one by one instead of letting each node's destructor release its
// own children recursively (which would exhaust the stack on a deep tree). A child that
// outlives the node must not point at it any more.
void ConfNode::detachChildren(ConfNode& node, std::vector<ConfNodePtr>& pending) noexcept {
  for (auto& entry : node.children) {
    ConfNodePtr& child = entry.second;
    if (child->parent == &node) child->parent = nullptr;
    try {
      pending.push_back(std::move(child));
    } catch (...) {
      // No room for the work list: release this child directly. That recurses over its
      // subtree, which is still better than leaking it.
      child.reset();
    }
  }
  node.children.clear();
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
    return ConfNodePtr(node, new int32_t(1));
  } catch (const std::bad_alloc&) {
    delete node;
    throw Factory_OutOfMemory("@out-of-memory{Out of memory};", KESTRO_SOURCE_TAG);
  }
}

ConfNodePtr ConfNode::create(const std::string& name) { return create(name, TypeNone); }

ConfNodePtr ConfNode::createRoot() { return create("root", TypeNone); }

ConfNodePtr ConfNode::clone(const ConfNodePtr& source) {
  if (!source) return ConfNodePtr();
  try {
    auto copyFields = [](const ConfNode& from) {
      ConfNodePtr to = create(from.name, from.type);
      to->attributes = from.attributes;
      to->value = from.value;
      to->elements = from.elements;
      to->separator = from.separator;
      return to;
    };
    ConfNodePtr top = copyFields(*source);
    // Depth-first with an explicit work list instead of recursion; each node's children
    // are added in its own childNames order, so the copy keeps the file order.
    std::vector<std::pair<const ConfNode*, ConfNode*>> work{{source.get(), top.get()}};
    while (!work.empty()) {
      auto [from, to] = work.back();
      work.pop_back();
      for (const std::string& childName : from->childNames) {
        auto found = from->children.find(childName);
        if (found == from->children.end()) continue;
        ConfNodePtr copy = copyFields(*found->second);
        to->attachChild(copy);
        work.emplace_back(found->second.get(), copy.get());
      }
    }
    return top;
  } catch (const std::bad_alloc&) {
    throw Factory_OutOfMemory("@out-of-memory{Out of memory};", KESTRO_SOURCE_TAG);
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

std::vector<std::string> ConfNode::getChildNames() const { return childNames; }

ConfNodePtr ConfNode::getChild(const std::string& childName) const {
  auto found = children.find(childName);
  if (found == children.end()) throw GetChild_NotFound("", KESTRO_SOURCE_TAG);
  return found->second;
}

ConfNodePtr ConfNode::findChild(const std::string& childName) const {
  auto found = children.find(childName);
  return found == children.end() ? ConfNodePtr() : found->second;
}

ConfNodePtr ConfNode::findByPath(const std::string& path) const {
  const ConfNode* current = this;
  ConfNodePtr hit;
  size_t start = 0;
  for (;;) {
    size_t dot = path.find('.', start);
    std::string first = path.substr(start, dot == std::string::npos ? std::string::npos
                                                                     : dot - start);
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
    throw Get_WrongType("@conf-node.get.wrong-type{Trying to get file value from node " +
                            getFullName() + " but this node is of type " + typeName(type) +
                            "};",
                        KESTRO_SOURCE_TAG);
  }
  std::string result = value;
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  return result;
}

const std::vector<std::string>& ConfNode::getList() const {
  if (type != TypeList) {
    throw Get_WrongType("@conf-node.get.wrong-type{Trying to get list value from node " +
                            getFullName() + " but this node is of type " + typeName(type) +
                            "};",
                        KESTRO_SOURCE_TAG);
  }
  return elements;
}

void ConfNode::addListValue(const std::string& text) {
  if (type != TypeList) {
    throw Set_WrongType(
        "@conf-node.set.wrong-type{Trying to set add list value element in node " +
            getFullName() + " but this node is of type " + typeName(type) + "};",
        KESTRO_SOURCE_TAG);
  }
  elements.push_back(text);
}

void ConfNode::addChild(const ConfNodePtr& child) {
  if (!child) {
    throw AddChild_InvalidChild(
        "@conf-node.add-child.invalid-child{Cannot add an empty node to \"" + getFullName() +
            "\"};",
        KESTRO_SOURCE_TAG);
  }
  // Only a node with children can be an ancestor, so the common case of adding a leaf
  // costs nothing however deep this node lies.
  bool cycle = child.get() == this;
  for (const ConfNode* n = parent; !cycle && !child->children.empty() && n != nullptr;
       n = n->parent) {
    cycle = n == child.get();
  }
  if (cycle) {
    throw AddChild_InvalidChild(
        "@conf-node.add-child.invalid-child{Cannot add node \"" + child->name + "\" to \"" +
            getFullName() + "\" because it is that node or one of its ancestors};",
        KESTRO_SOURCE_TAG);
  }
  // One search serves both the check and the insertion: a node of a large map has
  // 100,000 children and the reader adds them one by one.
  auto place = children.lower_bound(child->name);
  if (place != children.end() && place->first == child->name) {
    throw AddChild_NameAlreadyInUse(
        "@conf-node.add-child.name-already-in-use{Cannot add child node \"" + child->name +
            "\" to \"" + getFullName() +
            "\" because another child with that name already exists};",
        KESTRO_SOURCE_TAG);
  }
  attachChild(child, place);
}

void ConfNode::attachChild(const ConfNodePtr& child) {
  attachChild(child, children.lower_bound(child->name));
}

void ConfNode::attachChild(const ConfNodePtr& child,
                           std::map<std::string, ConfNodePtr>::iterator place) {
  auto inserted = children.emplace_hint(place, child->name, child);
  try {
    childNames.push_back(child->name);
  } catch (...) {
    children.erase(inserted);  // keep children and childNames in step
    throw;
  }
  child->parent = this;
}

}  // namespace KestroCorelib
