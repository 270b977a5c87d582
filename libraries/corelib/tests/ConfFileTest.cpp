#include <gtest/gtest.h>
#include <zlib.h>
#ifndef _WIN32
#  include <sys/socket.h>
#  include <sys/stat.h>
#  include <sys/un.h>
#  include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ConfFile.h"
#include "TestSupport.h"

namespace KestroCorelib {
namespace {

using Strings = std::vector<std::string>;
using Attributes = std::map<std::string, std::string>;
using Eof = ConfFile::Load_PrematureEndOfFile;
using BadType = ConfFile::Load_InvalidNodeType;
using BadName = ConfFile::Load_InvalidNodeName;
using NoAttribute = ConfFile::Load_MissingAttributeName;

class ConfFileTest : public ::testing::Test {
 protected:
  testsupport::TempDir temp{"conffile-test"};
  const std::string dir = temp.path;

  // Writes the bytes to a plain file in the test directory and returns its path.
  std::string write(const std::string& content, const std::string& name = "test.kconf") {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::string writeGz(const std::string& content, const std::string& name = "test.kconf.gz") {
    const std::string path = dir + "/" + name;
    gzFile gz = gzopen(path.c_str(), "wb");
    EXPECT_NE(gz, nullptr);
    EXPECT_EQ(gzwrite(gz, content.data(), static_cast<unsigned>(content.size())),
              static_cast<int>(content.size()));
    gzclose(gz);
    return path;
  }
  ConfNodePtr load(const std::string& content) { return ConfFile().load(write(content)); }

  // The rendered text of the error that loading the content (or the file) raises.
  template <typename Error> std::string loadError(const std::string& content) {
    return errorOf<Error>(write(content));
  }
  template <typename Error> std::string errorOf(const std::string& path) {
    try {
      ConfFile().load(path);
    } catch (const Error& e) {
      return e.getText();
    } catch (const Exception& e) {
      return "unexpected " + e.getText();
    }
    return "<no error>";
  }
  // The expected text of an error in line `line` of test.kconf.
  std::string at(const std::string& text, int line) const {
    return text + " in line " + std::to_string(line) + " in file \"" + dir + "/test.kconf\"";
  }
  std::string eof(int line) const {
    return at("Load_PrematureEndOfFile: Premature end of file", line);
  }
};

TEST_F(ConfFileTest, ReadsTheTenLineExample) {
  ConfNodePtr top = load(
      "example {\n"
      "  window {\n"
      "    title=Main window\n"
      "  }\n"
      "\tcolours {\n"
      "    type=list\n"
      "    separator=,\n"
      "    red, dark blue , \"light green\"\n"
      "  }\n"
      "}\n");
  ASSERT_TRUE(top);
  EXPECT_EQ(top->getName(), "example");
  EXPECT_EQ(top->getParent(), nullptr);
  EXPECT_EQ(top->getChildNames(), (Strings{"window", "colours"}));
  ConfNodePtr window = top->getChild("window");
  EXPECT_EQ(window->getAttributes(), (Attributes{{"title", "Main window"}}));
  EXPECT_EQ(window->getType(), ConfNode::TypeNone);
  ConfNodePtr colours = top->findByPath("colours");
  EXPECT_EQ(colours->getFullName(), "example.colours");
  EXPECT_EQ(colours->getType(), ConfNode::TypeList);
  EXPECT_EQ(colours->getSeparator(), ',');
  EXPECT_EQ(colours->getList(), (Strings{"red", "darkblue", "light green"}));
  EXPECT_TRUE(colours->getAttributes().empty());
}

TEST_F(ConfFileTest, ListElementsQuotesAndSeparators) {
  ConfNodePtr top = load(
      "r{\n"
      "quoted{type=list\n"
      "\"a\\\"b\"\n"        // a\"b      -> a"b
      "\"a\\nb\"\n"         // a\nb      -> the four characters
      "\" x {=} \\\\ \"\n"  // blanks, braces, '=' and a doubled backslash stay
      "\"two\nlines\"\nJohn Smith\n}\n"
      "comma{type=list\nseparator=,\na,,b,\n\nc\nlost}\n"
      "lines{type=list\n\n  one\n\n\ntwo\n  three }\n"
      "blank{type=list\nseparator= \na b\nc\n}\n"
      "reset{type=list\nseparator=;\nseparator=\nx;y\n}\n"
      "quote{type=list\nseparator=\"\na\"b\"\n}\n"
      "}");
  // Quoted elements keep everything but escaped quotes.
  EXPECT_EQ(top->getChild("quoted")->getList(),
            (Strings{"a\"b", "a\\nb", " x {=} \\\\ ", "two\nlines", "JohnSmith"}));
  // ",," gives an empty element; a newline right after a separator adds nothing.
  EXPECT_EQ(top->getChild("comma")->getList(), (Strings{"a", "", "b", "c"}));
  // Empty lines add nothing; the element directly before '}' is lost.
  EXPECT_EQ(top->getChild("lines")->getList(), (Strings{"one", "two"}));
  // A blank separator never takes effect: blanks vanish first.
  EXPECT_EQ(top->getChild("blank")->getList(), (Strings{"ab", "c"}));
  // An empty separator value means newline again.
  EXPECT_EQ(top->getChild("reset")->getSeparator(), '\n');
  EXPECT_EQ(top->getChild("reset")->getList(), (Strings{"x;y"}));
  // A quote separator opens a quoted element instead.
  EXPECT_EQ(top->getChild("quote")->getSeparator(), '"');
  EXPECT_EQ(top->getChild("quote")->getList(), (Strings{"ab"}));
}

TEST_F(ConfFileTest, NamesLoseBlanksAndLineBreaks) {
  ConfNodePtr top = load(
      "  my\n root {\n"
      "my node {}\n"
      "before type {\n"  // text without '=' or '{' joins the next name
      "  stray text }\n"
      "users {\n  alice\n  bob\n  type=list\n  carol\n}\n"
      "#note\nx.y\"q\"{}\n"
      "}");
  EXPECT_EQ(top->getName(), "myroot");
  EXPECT_EQ(top->getChildNames(), (Strings{"mynode", "beforetype", "users", "#notex.y\"q\""}));
  // type=list after the elements: they are gathered into the attribute's name, the node
  // stays untyped and the element after it is dropped at '}'.
  ConfNodePtr users = top->getChild("users");
  EXPECT_EQ(users->getType(), ConfNode::TypeNone);
  EXPECT_EQ(users->getAttributes(), (Attributes{{"alicebobtype", "list"}}));
  EXPECT_FALSE(top->findByPath("#notex.y\"q\""));
  EXPECT_TRUE(top->findChild("#notex.y\"q\""));
  // A list node may hold children and attributes; the token so far becomes their name.
  ConfNodePtr mixed = load("r{l{type=list\na\nsub{x=1\n}\nb\nk=v\n}}")->getChild("l");
  EXPECT_EQ(mixed->getList(), (Strings{"a", "b"}));
  EXPECT_EQ(mixed->getChildNames(), Strings{"sub"});
  EXPECT_EQ(mixed->getAttributes().at("k"), "v");
}

TEST_F(ConfFileTest, ValuesAreTheRestOfTheLine) {
  ConfNodePtr top = load(
      "r{\na{value=Hello world\n}\nb{value = x\n}\nc{value=\"  padded \"\n}\nd{value=\"\"\n}\n"
      "e{value=\"\n}\nf{value='x'\n}\ng{value=closing } brace\n}\n"
      "h{value=first\nvalue=second\ncolor=red\ncolor=\"blue\"\n}\ni{type=file\nvalue=a/b\\c/d\n}\n"
      "}");
  const std::vector<std::pair<const char*, std::string>> values = {
      {"a", "Hello world"}, {"b", " x"},  {"c", "  padded "},       {"d", ""},
      {"e", "\""},          {"f", "'x'"}, {"g", "closing } brace"}, {"h", "second"},
      {"i", "a/b\\c/d"}};
  for (const auto& [name, value] : values) EXPECT_EQ(top->getChild(name)->getValue(), value);
  EXPECT_EQ(top->getChild("h")->getAttributes().at("color"), "blue");
  EXPECT_EQ(top->getChild("i")->getFile(), "a\\b\\c\\d");
}

TEST_F(ConfFileTest, TypeNamesMapToCodes) {
  ConfNodePtr top = load("r{f{type=float\n}\nd{type=double\n}\nt{type=time-of-day\n}}");
  EXPECT_EQ(top->getChild("f")->getType(), ConfNode::TypeFloat);
  EXPECT_EQ(top->getChild("d")->getType(), ConfNode::TypeFloat);
  EXPECT_EQ(top->getChild("t")->getType(), ConfNode::TypeTimeOfDay);
  for (const auto& [content, type, line] :
       std::vector<std::tuple<const char*, const char*, int>>{{"r{\nn{\ntype=Bool\n}}", "Bool", 3},
                                                              {"r{\nn{type = list\n}}", " list", 2},
                                                              {"r{type=\n}", "", 1}}) {
    EXPECT_EQ(loadError<BadType>(content),
              at("Load_InvalidNodeType: Invalid node type \"" + std::string(type) + "\"", line));
  }
}

TEST_F(ConfFileTest, TopNameIsCheckedButChildNamesAreNot) {
  EXPECT_EQ(load("{\n}")->getName(), "");
  const std::string invalid = "Load_InvalidNodeName: Invalid node name";
  for (const std::string bad : {"a.b{}", "a}{}", "a\fb{}", "a\x80{}", "\xEF\xBB\xBFr{}"})
    EXPECT_EQ(loadError<BadName>(bad), at(invalid, 1)) << bad;
  EXPECT_EQ(loadError<BadName>("\n\nab\ncd.e{}"), at(invalid, 4));
  ConfNodePtr top = load(
      "r{a.b{}\na\fb{}\na\x80{}\n\xEF\xBB\xBF"
      "c{}\n}");
  EXPECT_EQ(top->getChildNames(), (Strings{"a.b", "a\fb", "a\x80",
                                           "\xEF\xBB\xBF"
                                           "c"}));
}

TEST_F(ConfFileTest, StopsAtTheTopNodesClosingBrace) {
  ConfNodePtr top = load("r{a=1\n}\n} garbage { = \"\n\x80 b{");
  EXPECT_EQ(top->getAttributes(), (Attributes{{"a", "1"}}));
  EXPECT_TRUE(top->getChildNames().empty());
}

TEST_F(ConfFileTest, ReportsEachErrorWithItsLine) {
  for (const auto& [content, line] : std::vector<std::pair<const char*, int>>{
           {"", 1}, {"name\n", 2}, {"r{\na{\n}\n\n", 5}, {"r{\nvalue=x", 2}})
    EXPECT_EQ(loadError<Eof>(content), eof(line)) << content;
  EXPECT_EQ(loadError<ConfFile::Load_MissingNodeName>("r{\n\n  {\n}}"),
            at("Load_MissingNodeName: Missing node name", 3));
  const std::string noName = "Load_MissingAttributeName: Missing attribute name";
  EXPECT_EQ(loadError<NoAttribute>("r{\n  =x\n}"), at(noName, 2));
  // In a list a newline ends the element, so the '=' on the next line has no name.
  EXPECT_EQ(loadError<NoAttribute>("r{l{type=list\na\n=b\n}}"), at(noName, 3));
  const std::string missing = dir + "/missing.kconf";
  EXPECT_EQ(errorOf<ConfFile::Load_FileNotFound>(missing),
            "Load_FileNotFound: Configuration file \"" + missing + "\" was not found");

#ifndef _WIN32
  // A socket exists in the file system but cannot be opened as a file, even by root.
  const std::string path = dir + "/socket.kconf";
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(errorOf<ConfFile::Load_FileError>(path),
            "Load_FileError: Failed to load file \"" + path + "\"");
  close(fd);
#endif
}

TEST_F(ConfFileTest, NestedErrorsCollectOneTagPerChildLevel) {
  try {
    load("r{a{b{c{\n=x\n}}}}");
    FAIL() << "no error";
  } catch (const NoAttribute& e) {
    EXPECT_EQ(e.getSourceTags().size(), 4u);  // raise site plus the levels a, b and c
    for (const std::string& tag : e.getSourceTags())
      EXPECT_EQ(tag.rfind(" @logsrc{file=\"ConfFile.cpp\" line=", 0), 0u) << tag;
  }
  // A duplicate is refused once its body is complete; the error is raised while the
  // second child is added to b, so the levels b and a add tags. Nodes join their parent
  // only when complete, so b has no parent yet and its full name is just "b".
  try {
    load("r{a{b{x{}\nx{y=1\n}\n}}}");
    FAIL() << "no error";
  } catch (const ConfNode::AddChild_NameAlreadyInUse& e) {
    EXPECT_EQ(e.getText(),
              "AddChild_NameAlreadyInUse: Cannot add child node \"x\" to \"b\" because "
              "another child with that name already exists");
    EXPECT_EQ(e.getSourceTags().size(), 3u);
  }
  // The duplicate's body is read first: its own error wins.
  EXPECT_EQ(loadError<Eof>("r{x{}\nx{\ny=1\n"), eof(4));
}

TEST_F(ConfFileTest, CarriageReturnsDependOnCompression) {
  const std::string lf = "r{\na{value=v\n}\nl{type=list\nx\ny\n}\n}\n";
  std::string crlf, cr;
  for (char c : lf) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    cr += c == '\n' ? '\r' : c;
  }
  ConfNodePtr plain = ConfFile().load(write(crlf));
  EXPECT_EQ(plain->getChild("a")->getValue(), "v");
  EXPECT_EQ(plain->getChild("l")->getList(), (Strings{"x", "y"}));

  // Compressed files keep the carriage return: it ends up in values and type names.
  ConfNodePtr packed = ConfFile().load(writeGz("r{\r\na{value=v\r\n}\r\n}\r\n", "crlf.KCONF.GZ"));
  EXPECT_EQ(packed->getChild("a")->getValue(), "v\r");
  EXPECT_EQ(errorOf<BadType>(writeGz(crlf)),
            "Load_InvalidNodeType: Invalid node type \"list\r\" in line 4 in file \"" + dir +
                "/test.kconf.gz\"");
  EXPECT_EQ(ConfFile().load(writeGz(lf))->getChild("l")->getList(), (Strings{"x", "y"}));

  // Carriage returns alone are no line ends: the value runs on to the end of the file.
  EXPECT_EQ(errorOf<Eof>(write(cr)), eof(1));
}

// Everything read from a node: type, value, separator, attributes, list and children.
std::string dump(const ConfNodePtr& node) {
  std::string text = node->getName() + "(" + std::to_string(node->getType()) + "," +
                     node->getValue() + "," + node->getSeparator() + ")";
  for (const auto& [name, value] : node->getAttributes()) text += " @" + name + "=" + value;
  if (node->getType() == ConfNode::TypeList) {
    for (const std::string& element : node->getList()) text += " [" + element + "]";
  }
  for (const ConfNodePtr& child : node->getChildren()) text += " {" + dump(child) + "}";
  return text;
}

// A plain file is read a run of bytes at a time from its buffer, a compressed one a byte at
// a time. A map several buffers long, with tokens across the buffer ends and carriage
// returns inside names, elements and values of the plain copy, reads the same both ways.
TEST_F(ConfFileTest, PlainAndCompressedMapsReadTheSame) {
  std::string lf = "map{\nnodes{\n";
  std::string plain = lf;
  for (int i = 0; i < 4000; ++i) {
    const std::string pad(static_cast<size_t>(i % 37), static_cast<char>('a' + i % 26));
    const std::string name = "n" + std::to_string(i) + pad;
    const std::string body = " type=list\n separator=" + std::string(i % 3 ? "," : "") +
                             "\n value=v " + pad + "\n k" + pad + "=w" + std::to_string(i) + "\n " +
                             pad + "x,y " + std::to_string(i) + "\n \"q," + pad + "\"\n" +
                             (i % 5 ? "}\n" : "sub{\n}\nz\n}\n");
    lf += name + "{\n" + body;
    plain += name.substr(0, 1) + "\r" + name.substr(1) + "{\n" + body;
  }
  lf += "}\n}\n";
  plain += "}\n}\n";
  for (size_t at = plain.find("=v "); at != std::string::npos; at = plain.find("=v ", at + 9)) {
    plain.insert(at + 2, "\r");
  }
  ASSERT_GT(plain.size(), 4u * 64 * 1024);
  ConfNodePtr fromPlain = ConfFile().load(write(plain));
  ConfNodePtr fromPacked = ConfFile().load(writeGz(lf));
  EXPECT_EQ(dump(fromPlain), dump(fromPacked));
  EXPECT_EQ(fromPlain->findChild("nodes")->getChildren().size(), 4000u);
  // The last node (pad "vvv", newline separator): blanks vanish from the elements only.
  ConfNodePtr last = fromPlain->findByPath("nodes.n3999vvv");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->getList(), (Strings{"vvvx,y3999", "q,vvv"}));
  EXPECT_EQ(last->getValue(), "v vvv");
  EXPECT_EQ(last->getAttributes().at("kvvv"), "w3999");
}

TEST_F(ConfFileTest, RefusesNestingDeeperThanTheLimit) {
  auto nested = [](int64_t levels) {
    std::string text = "r{";
    for (int64_t i = 1; i < levels; ++i) text += "n{\n";
    text += "deepest=1\n";
    return text + std::string(static_cast<std::size_t>(levels), '}');
  };
  ConfNodePtr top = load(nested(ConfFile::maxDepth));
  std::string path = "n";
  for (int64_t i = 2; i < ConfFile::maxDepth; ++i) path += ".n";
  ConfNodePtr deepest = top->findByPath(path);
  ASSERT_TRUE(deepest);
  EXPECT_EQ(deepest->getAttributes().at("deepest"), "1");
  EXPECT_EQ(deepest->getFullName(), "r." + path);
  const std::string tooDeep = "Load_TooDeep: Nesting deeper than 1000 levels";
  EXPECT_EQ(loadError<ConfFile::Load_TooDeep>(nested(ConfFile::maxDepth + 1)), at(tooDeep, 1000));
  // Far deeper input fails the same way instead of exhausting the stack.
  std::string flood = "r{";
  for (int i = 0; i < 100000; ++i) flood += "a{";
  EXPECT_EQ(loadError<ConfFile::Load_TooDeep>(flood), at(tooDeep, 1));
}

// A list node's elements on both sides of a child list stay with their own node, children
// in any name order keep file order and are found, and after an error the top node keeps
// the elements read so far.
TEST_F(ConfFileTest, ListElementsAndChildrenStayWithTheirNodes) {
  ConfNodePtr top =
      load("top{\ntype=list\nx1\nc{\ntype=list\ny1\ny2\n}\nx2\na{\nv=1\n}\nd{\n}\nb{\n}\nx3\n}\n");
  EXPECT_EQ(top->getList(), (Strings{"x1", "x2", "x3"}));
  EXPECT_EQ(top->findChild("c")->getList(), (Strings{"y1", "y2"}));
  EXPECT_EQ(top->getChildNames(), (Strings{"c", "a", "d", "b"}));
  for (const char* name : {"a", "b", "c", "d"}) {
    ASSERT_TRUE(top->findChild(name)) << name;
    EXPECT_EQ(top->findChild(name)->getFullName(), std::string("top.") + name);
  }
  EXPECT_EQ(top->findChild("a")->getAttributes().at("v"), "1");

  ConfFile reader;
  write("top{\ntype=list\nx1\nx2\nc{\ntype=list\ny1\n", "cut.kconf");
  EXPECT_THROW(reader.loadFileIntoMemory(dir + "/cut.kconf"), Eof);
  ASSERT_TRUE(reader.getRoot());
  EXPECT_EQ(reader.getRoot()->getList(), (Strings{"x1", "x2"}));
  EXPECT_TRUE(reader.getRoot()->getChildNames().empty());
}

// Lines are the file's where the grammar folds lines: a name across a line break, a quoted
// element holding one, elements on both sides of a child, empty elements between separators.
// A node's line is always noted, its elements' lines only when asked for; a copy keeps both.
TEST_F(ConfFileTest, NotesTheLinesOfNodesAndListElements) {
  const std::string path = write(
      "top {\n"          // 1
      " a\n"             // 2
      " b {\n"           // 3
      "  type=list\n"    // 4
      "  \"two\n"        // 5
      "lines\"\n"        // 6
      "  x\n"            // 7
      "  sub {\n"        // 8
      "  }\n"            // 9
      "  y\n"            // 10
      " }\n"             // 11
      " c {\n"           // 12
      "  type=list\n"    // 13
      "  separator=;\n"  // 14
      "  p;;\n"          // 15
      "  q\n"            // 16
      "  ;\n"            // 17
      " }\n"             // 18
      "}\n");
  const auto lines = [](const ConfNodePtr& node) {
    std::vector<int64_t> result{node->getLine()};
    for (size_t i = 0; i <= node->getList().size(); ++i) result.push_back(node->getElementLine(i));
    return result;
  };
  ConfFile reader;
  reader.setElementLines(true);
  const ConfNodePtr top = reader.load(path);
  EXPECT_EQ(top->getLine(), 1);
  EXPECT_EQ(top->findByPath("ab.sub")->getLine(), 8);
  ASSERT_EQ(top->findChild("ab")->getList(), (Strings{"two\nlines", "x", "y"}));
  EXPECT_EQ(lines(top->findChild("ab")), (std::vector<int64_t>{3, 5, 7, 10, 0}));
  ASSERT_EQ(top->findChild("c")->getList(), (Strings{"p", "", "q", ""}));
  EXPECT_EQ(lines(top->findChild("c")), (std::vector<int64_t>{12, 15, 15, 16, 17, 0}));
  EXPECT_EQ(lines(ConfNode::clone(top)->findChild("c")), lines(top->findChild("c")));

  const ConfNodePtr plain = ConfFile().load(path);
  EXPECT_EQ(lines(plain->findChild("c")), (std::vector<int64_t>{12, 0, 0, 0, 0, 0}));

  // After an error the elements read so far keep their lines.
  write("top{\ntype=list\nx1\nx2\nc{\ntype=list\ny1\n", "cut.kconf");
  EXPECT_THROW(reader.loadFileIntoMemory(dir + "/cut.kconf"), Eof);
  EXPECT_EQ(lines(reader.getRoot()), (std::vector<int64_t>{1, 3, 4, 0}));
}

#ifndef _WIN32
// A map is a regular file: a FIFO under its name would stop the reader for good, a device
// would be read without end. Both are refused at once.
TEST_F(ConfFileTest, RefusesFifosAndDevices) {
  const std::string fifo = dir + "/fifo.kconf", zero = dir + "/zero.kconf.gz";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  for (const std::string& path : {fifo, zero}) {
    EXPECT_EQ(errorOf<ConfFile::Load_FileError>(path),
              "Load_FileError: Failed to load file \"" + path + "\"");
  }
}
#endif

// The reader keeps nodes and short element lists together in large blocks, and a list too
// long for them apart; whatever a caller still holds stays readable and changeable after the
// top node and the reader are gone.
TEST_F(ConfFileTest, NodesOutliveTheirTreeWhereverTheyLie) {
  std::string longList = "long{\ntype=list\n";
  for (int i = 0; i < 3000; ++i) longList += "element-number-" + std::to_string(i) + "\n";
  longList += "}\n";
  ConfNodePtr shortList;
  ConfNodePtr bigList;
  {
    ConfNodePtr top =
        load("top{\nshort{\ntype=list\na-name-longer-than-fifteen\nb\n}\n" + longList + "}\n");
    shortList = top->getChild("short");
    bigList = top->getChild("long");
  }
  EXPECT_EQ(shortList->getParent(), nullptr);
  EXPECT_EQ(shortList->getList(), (Strings{"a-name-longer-than-fifteen", "b"}));
  ASSERT_EQ(bigList->getList().size(), 3000u);
  EXPECT_EQ(bigList->getList()[2999], "element-number-2999");
  shortList->addListValue("c");
  bigList->addListValue("one more");
  EXPECT_EQ(shortList->getList(), (Strings{"a-name-longer-than-fifteen", "b", "c"}));
  EXPECT_EQ(bigList->getList()[3000], "one more");
  ConfNodePtr copy = ConfNode::clone(shortList);
  shortList.reset();
  EXPECT_EQ(copy->getList(), (Strings{"a-name-longer-than-fifteen", "b", "c"}));
}

#if defined(__SANITIZE_ADDRESS__)
// Nodes and element lists share large blocks, yet a node read after its release is still
// caught, as it would be on the heap.
TEST_F(ConfFileTest, ReleasedNodesAreUnreadableUnderTheAddressSanitizer) {
  const std::string path = write("top{\na{\ntype=list\nx\n}\nb{\n}\n}\n");
  EXPECT_DEATH(
      {
        ConfNodePtr top = ConfFile().load(path);
        ConfNodePtr kept = top->getChild("b");  // keeps the blocks
        const ConfNode* gone = top->getChild("a").get();
        top.reset();
        std::printf("%d\n", gone->getType());
      },
      "use-after-poison");
  EXPECT_DEATH(
      {
        ConfNodePtr top = ConfFile().load(path);
        ConfNodePtr kept = top->getChild("b");
        const std::string* element = &top->getChild("a")->getList()[0];
        top.reset();
        // Its first byte, read here: std::string's own members are compiled in the library.
        std::printf("%d\n", *reinterpret_cast<const volatile char*>(element));
      },
      "use-after-poison");
}
#endif

TEST_F(ConfFileTest, LoadHandsOverTheTreeAndKeepsNothing) {
  const std::string first = write("one{a{}}", "one.kconf");
  ConfFile reader;
  EXPECT_FALSE(reader.getRoot());
  reader.loadFileIntoMemory(first);
  EXPECT_EQ(reader.getRoot()->getName(), "one");
  reader.loadFileIntoMemory(write("two{b{}}", "two.kconf"));
  EXPECT_EQ(reader.getRoot()->getChildNames(), Strings{"b"});
  ConfNodePtr tree = reader.load(first);
  EXPECT_FALSE(reader.getRoot());
  EXPECT_EQ(tree.useCount(), 1);
  EXPECT_EQ(tree->findChild("a")->getFullName(), "one.a");
  // A failed load leaves the partial tree with the reader, never with the caller.
  EXPECT_THROW(reader.load(write("bad{a{}b{", "bad.kconf")), Eof);
  ASSERT_TRUE(reader.getRoot());
  EXPECT_EQ(reader.getRoot()->getChildNames(), Strings{"a"});
}

}  // namespace
}  // namespace KestroCorelib
