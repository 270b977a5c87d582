#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ConfNode.h"
#include "TestSupport.h"

namespace KestroCorelib {
namespace {
using testsupport::errorText;

// Builds top.<names...> as one chain and returns the handle of the top node.
ConfNodePtr chain(const std::vector<std::string>& names) {
  ConfNodePtr top = ConfNode::create(names.front());
  ConfNodePtr current = top;
  for (size_t i = 1; i < names.size(); ++i) {
    ConfNodePtr child = ConfNode::create(names[i]);
    current->addChild(child);
    current = child;
  }
  return top;
}

TEST(ConfNode, FreshNodesAndUnnamedTypeCodes) {
  ConfNodePtr root = ConfNode::createRoot();
  EXPECT_EQ(root->getName(), "root");
  EXPECT_EQ(root->getType(), 0);
  EXPECT_EQ(root->getSeparator(), '\n');
  EXPECT_EQ(root.useCount(), 1);
  // The agent's key kinds share the table; the gap between them has no names.
  EXPECT_EQ(ConfNode::typeName(13), "sub-entries");
  EXPECT_EQ(ConfNode::typeName(16), "system string");
  for (int type : {14, 15, 22, -1}) EXPECT_EQ(ConfNode::typeName(type), "undefined") << type;
}

TEST(ConfNode, HandlesShareOneCountAndTheLastOneDestroys) {
  ConfNodePtr a = ConfNode::create("a");
  ConfNodePtr b = a;
  EXPECT_EQ(a.useCount(), 2);
  EXPECT_EQ(a, b);
  ConfNodePtr c;
  EXPECT_FALSE(c);
  EXPECT_EQ(c.useCount(), 0);
  c = std::move(b);
  EXPECT_FALSE(b);
  EXPECT_EQ(a.useCount(), 2);
  ConfNodePtr& alias = c;
  c = alias;  // self-assignment keeps the reference
  EXPECT_EQ(a.useCount(), 2);
  c.reset();
  EXPECT_EQ(a.useCount(), 1);
  // Assigning a handle that lives inside the node being released must not read freed memory.
  ConfNodePtr parent = ConfNode::create("p");
  parent->addChild(ConfNode::create("kid"));
  parent = parent->getChild("kid");
  EXPECT_EQ(parent->getName(), "kid");
  EXPECT_EQ(parent->getParent(), nullptr);
  EXPECT_EQ(parent.useCount(), 1);
}

TEST(ConfNode, ChildNamesKeepAddingOrderAndLookupIsExact) {
  ConfNodePtr top = ConfNode::create("top");
  for (const char* name : {"zeta", "alpha", "Mid", "a.b"}) top->addChild(ConfNode::create(name));
  EXPECT_EQ(top->getChildNames(), (std::vector<std::string>{"zeta", "alpha", "Mid", "a.b"}));
  EXPECT_TRUE(top->findChild("Mid"));
  EXPECT_FALSE(top->findChild("mid"));
  EXPECT_EQ(top->getChild("a.b")->getName(), "a.b");
  EXPECT_EQ(top->findChild("alpha")->getParent(), top.get());
  for (const char* missing : {"ALPHA", "none"}) {
    EXPECT_EQ(errorText<ConfNode::GetChild_NotFound>([&] { top->getChild(missing); }),
              "GetChild_NotFound:");
  }
}

// Children that come in ascending name order (as in a sorted map) are checked against the
// last one and found by binary search; past eight children in any other order a node keeps
// a hash index over their names, which grows as children come. Lookups and the duplicate
// check must hold at every size and in both ways, also after the order breaks, and in the
// copy.
TEST(ConfNode, ManyChildrenAreFoundAndDuplicatesRefusedAtEverySize) {
  auto scrambled = [](int i) { return "c" + std::to_string(i * 7919 % 3000); };
  auto sortedThenNot = [](int i) {
    std::string digits = std::to_string(i < 2000 ? i : 4999 - i);
    return "s" + std::string(4 - digits.size(), '0') + digits;  // s0000 ... s1999, s2999 ...
  };
  for (const auto& nameOf : {std::function<std::string(int)>(scrambled),
                             std::function<std::string(int)>(sortedThenNot)}) {
    ConfNodePtr top = ConfNode::create("top");
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
      names.push_back(nameOf(i));
      top->addChild(ConfNode::create(names.back()));
      if (i < 40 || i % 101 == 0 || (i > 1995 && i < 2005)) {
        for (const std::string& taken : {names.front(), names.back(), names[names.size() / 2]}) {
          EXPECT_THROW(top->addChild(ConfNode::create(taken)), ConfNode::AddChild_NameAlreadyInUse)
              << i << " " << taken;
        }
        EXPECT_FALSE(top->findChild(nameOf(i + 1))) << i;
      }
    }
    EXPECT_EQ(top->getChildNames(), names);
    ConfNodePtr copy = ConfNode::clone(top);
    for (const ConfNodePtr& tree : {top, copy}) {
      for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(tree->findChild(names[i]), tree->getChildren()[i]) << names[i];
      }
      for (const char* missing : {"c3000", "s3000", "c", "", "C1", "s0", "t"}) {
        EXPECT_FALSE(tree->findChild(missing)) << missing;
      }
    }
  }
}

TEST(ConfNode, FindByPathWalksBelowTheNodeItself) {
  ConfNodePtr top = chain({"map", "plavo", "gui"});
  top->findChild("plavo")->addChild(ConfNode::create("a.b"));
  ConfNodePtr gui = top->findByPath("plavo.gui");
  ASSERT_TRUE(gui);
  EXPECT_EQ(gui->getFullName(), "map.plavo.gui");
  for (const char* path : {"plavo.", "plavo"})
    EXPECT_EQ(top->findByPath(path), top->findChild("plavo"));
  for (const char* nothing :
       {"map.plavo", "", ".plavo", "plavo..gui", "plavo.gui.x", "plavo.a.b", "Plavo.gui", "."}) {
    EXPECT_FALSE(top->findByPath(nothing)) << nothing;
  }
  EXPECT_TRUE(top->findChild("plavo")->findChild("a.b"));
}

TEST(ConfNode, WrongTypeErrorsNameNodeAndType) {
  ConfNodePtr top = chain({"map", "plavo", "gui"});
  ConfNodePtr gui = top->findByPath("plavo.gui");
  ConfNodePtr str = ConfNode::create("logo", ConfNode::TypeString);
  gui->addChild(str);
  EXPECT_EQ(errorText<ConfNode::Get_WrongType>([&] { str->getFile(); }),
            "Get_WrongType: Trying to get file value from node map.plavo.gui.logo but this "
            "node is of type string");
  EXPECT_EQ(errorText<ConfNode::Get_WrongType>([&] { gui->getList(); }),
            "Get_WrongType: Trying to get list value from node map.plavo.gui but this node is "
            "of type none");
  EXPECT_EQ(errorText<ConfNode::Set_WrongType>([&] { str->addListValue("x"); }),
            "Set_WrongType: Trying to set add list value element in node map.plavo.gui.logo "
            "but this node is of type string");
  EXPECT_EQ(errorText<ConfNode::Get_WrongType>([] { ConfNode::create("t", 14)->getFile(); }),
            "Get_WrongType: Trying to get file value from node t but this node is of type "
            "undefined");
}

TEST(ConfNode, ListsCollectElementsInOrder) {
  ConfNodePtr list = ConfNode::create("users", ConfNode::TypeList);
  EXPECT_TRUE(list->getList().empty());
  for (const char* value : {"bob", "", "alice"}) list->addListValue(value);
  EXPECT_EQ(list->getList(), (std::vector<std::string>{"bob", "", "alice"}));
  EXPECT_NE(list->getList(), (std::vector<std::string>{"bob", ""}));
  EXPECT_NE(list->getList(), (std::vector<std::string>{"bob", "", "alicE"}));
  // Copies are independent, and assigning replaces what was there.
  ConfNode::Elements copy = list->getList();
  list->addListValue("carol");
  EXPECT_EQ(copy.toVector(), (std::vector<std::string>{"bob", "", "alice"}));
  copy = ConfNode::clone(list)->getList();
  EXPECT_EQ(copy, (std::vector<std::string>{"bob", "", "alice", "carol"}));
  copy = ConfNode::Elements();
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(ConfNode::create("f", ConfNode::TypeFile)->getFile(), "");
}

TEST(ConfNode, DuplicateChildIsRefusedAndFirstIsKept) {
  ConfNodePtr top = chain({"map", "plavo"});
  ConfNodePtr plavo = top->findChild("plavo");
  ConfNodePtr first = ConfNode::create("x", ConfNode::TypeList);
  plavo->addChild(first);
  ConfNodePtr second = ConfNode::create("x");
  EXPECT_EQ(errorText<ConfNode::AddChild_NameAlreadyInUse>([&] { plavo->addChild(second); }),
            "AddChild_NameAlreadyInUse: Cannot add child node \"x\" to \"map.plavo\" because "
            "another child with that name already exists");
  EXPECT_EQ(plavo->getChild("x"), first);
  EXPECT_EQ(plavo->getChildNames(), std::vector<std::string>{"x"});
  EXPECT_EQ(second->getParent(), nullptr);
}

TEST(ConfNode, CyclesAndEmptyChildrenAreRefused) {
  ConfNodePtr top = chain({"a", "b", "c"});
  ConfNodePtr c = top->findByPath("b.c");
  EXPECT_EQ(errorText<ConfNode::AddChild_InvalidChild>([&] { c->addChild(top); }),
            "AddChild_InvalidChild: Cannot add node \"a\" to \"a.b.c\" because it is that "
            "node or one of its ancestors");
  EXPECT_THROW(c->addChild(c), ConfNode::AddChild_InvalidChild);
  EXPECT_EQ(errorText<ConfNode::AddChild_InvalidChild>([&] { c->addChild(ConfNodePtr()); }),
            "AddChild_InvalidChild: Cannot add an empty node to \"a.b.c\"");
  EXPECT_TRUE(c->getChildNames().empty());
  EXPECT_EQ(top->getParent(), nullptr);

  // A node has one parent: a second one would let b += a close the cycle a -> b -> a.
  ConfNodePtr a = ConfNode::create("a"), b = ConfNode::create("b"), other = ConfNode::create("c");
  a->addChild(b);
  EXPECT_EQ(errorText<ConfNode::AddChild_InvalidChild>([&] { other->addChild(b); }),
            "AddChild_InvalidChild: Cannot add node \"b\" to \"c\" because it already has the "
            "parent \"a\"");
  EXPECT_TRUE(other->getChildNames().empty());
  EXPECT_EQ(b->getParent(), a.get());
  EXPECT_THROW(b->addChild(a), ConfNode::AddChild_InvalidChild);
  // Adding a child to its own parent again keeps the duplicate-name error.
  EXPECT_THROW(a->addChild(b), ConfNode::AddChild_NameAlreadyInUse);
}

TEST(ConfNode, ErrorTextsShowNamesVerbatim) {
  // '@', '{', '};' and '%' are template syntax, but in names they are plain characters.
  ConfNodePtr top = chain({"map@x", "b};c", "100%"});
  ConfNodePtr leaf = top->findChild("b};c")->findChild("100%");
  ConfNodePtr mail = ConfNode::create("alice@corp");
  leaf->addChild(mail);
  const std::string full = "map@x.b};c.100%";
  EXPECT_EQ(errorText<ConfNode::AddChild_NameAlreadyInUse>(
                [&] { leaf->addChild(ConfNode::create("alice@corp")); }),
            "AddChild_NameAlreadyInUse: Cannot add child node \"alice@corp\" to \"" + full +
                "\" because another child with that name already exists");
  EXPECT_EQ(errorText<ConfNode::Get_WrongType>([&] { mail->getFile(); }),
            "Get_WrongType: Trying to get file value from node " + full +
                ".alice@corp but this node is of type none");
  EXPECT_EQ(errorText<ConfNode::Get_WrongType>([&] { leaf->getList(); }),
            "Get_WrongType: Trying to get list value from node " + full +
                " but this node is of type none");
  EXPECT_EQ(errorText<ConfNode::Set_WrongType>([&] { leaf->addListValue("x"); }),
            "Set_WrongType: Trying to set add list value element in node " + full +
                " but this node is of type none");
  EXPECT_EQ(errorText<ConfNode::AddChild_InvalidChild>([&] { mail->addChild(top); }),
            "AddChild_InvalidChild: Cannot add node \"map@x\" to \"" + full +
                ".alice@corp\" because it is that node or one of its ancestors");
  EXPECT_EQ(errorText<ConfNode::AddChild_InvalidChild>([&] { mail->addChild(ConfNodePtr()); }),
            "AddChild_InvalidChild: Cannot add an empty node to \"" + full + ".alice@corp\"");
  ConfNodePtr stranger = ConfNode::create("@s{x};");
  EXPECT_EQ(errorText<ConfNode::AddChild_InvalidChild>([&] { stranger->addChild(mail); }),
            "AddChild_InvalidChild: Cannot add node \"alice@corp\" to \"@s{x};\" because it "
            "already has the parent \"" +
                full + "\"");
}

TEST(ConfNode, CloneIsDeepAndStopsAtTheCopiedNode) {
  ConfNodePtr top = chain({"map", "plavo", "projects"});
  ConfNodePtr projects = top->findByPath("plavo.projects");
  for (const char* name : {"z", "b", "m"}) {
    ConfNodePtr p = ConfNode::create(name, ConfNode::TypeList);
    p->addListValue(std::string(name) + "-user");
    projects->addChild(p);
  }
  ConfNodePtr copy = ConfNode::clone(top->findChild("plavo"));
  EXPECT_EQ(copy->getParent(), nullptr);
  EXPECT_EQ(copy->getFullName(), "plavo");
  ConfNodePtr copied = copy->findByPath("projects.b");
  ASSERT_TRUE(copied);
  EXPECT_EQ(copied->getFullName(), "plavo.projects.b");
  EXPECT_EQ(copied->getList(), std::vector<std::string>{"b-user"});
  EXPECT_EQ(copy->findChild("projects")->getChildNames(),
            (std::vector<std::string>{"z", "b", "m"}));
  EXPECT_NE(copied, projects->findChild("b"));
  copied->addListValue("more");
  EXPECT_EQ(projects->findChild("b")->getList().size(), 1u);
  EXPECT_FALSE(ConfNode::clone(ConfNodePtr()));
}

TEST(ConfNode, ChildOutlivingItsParentHasNoParent) {
  ConfNodePtr kept;
  {
    ConfNodePtr top = chain({"a", "b", "c"});
    kept = top->findByPath("b.c");
    EXPECT_EQ(kept->getFullName(), "a.b.c");
  }
  EXPECT_EQ(kept->getParent(), nullptr);
  EXPECT_EQ(kept->getFullName(), "c");
  EXPECT_EQ(kept.useCount(), 1);
}

TEST(ConfNode, VeryDeepTreesNeedNoRecursion) {
  // Deep enough that any recursion over the depth would exhaust a normal stack.
  const int depth = 100000;
  ConfNodePtr top = ConfNode::create("n");
  ConfNodePtr current = top;
  std::string path;
  for (int i = 0; i < depth; ++i) {
    ConfNodePtr child = ConfNode::create("n");
    current->addChild(child);
    current = child;
    path += i == 0 ? "n" : ".n";
  }
  EXPECT_EQ(current->getFullName().size(), 2u * depth + 1);
  EXPECT_EQ(top->findByPath(path), current);
  ConfNodePtr copy = ConfNode::clone(top);
  current.reset();
  top.reset();
  ConfNodePtr deepest = copy->findByPath(path);
  ASSERT_TRUE(deepest);
  EXPECT_EQ(deepest->getFullName().size(), 2u * depth + 1);
  copy.reset();  // releases the whole chain except the deepest node
  EXPECT_EQ(deepest->getParent(), nullptr);
  EXPECT_EQ(deepest.useCount(), 1);
}

}  // namespace
}  // namespace KestroCorelib
