// The POSIX registry's hive files: the text model and the locked, atomic file discipline.
#ifndef _WIN32
#  include <dirent.h>
#  include <gtest/gtest.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <filesystem>
#  include <random>

#  include "TestSupport.h"
#  include "WinRegistry.h"
#  include "platform/posix/RegistryHive.h"

namespace KestroCorelib::platform {
namespace {
using namespace testsupport;
using Value = RegistryHive::Value;

// A fresh registry directory holding the machine hive.
class HiveFiles : public TempRegistry {
 protected:
  std::string file() const { return hiveFile("HKEY_LOCAL_MACHINE"); }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      names.push_back(entry.path().filename().string());
    return names;
  }
  static long set(const std::string& path, const std::string& name, const std::string& text) {
    std::string detail;
    return updateHiveFile(
        "HKEY_LOCAL_MACHINE",
        [&](RegistryHive& h, bool& changed) {
          changed = h.setValue(path, name, 1, text + '\0');
          return kRegSuccess;
        },
        detail);
  }
  static long read(RegistryHive& hive, std::string& detail) {
    return readHiveFile("HKEY_LOCAL_MACHINE", hive, detail);
  }
};

RegistryHive parsed(const std::string& text) {
  RegistryHive hive("HKEY_LOCAL_MACHINE");
  std::string error;
  EXPECT_TRUE(hive.parse(text, error)) << error;
  return hive;
}

TEST(RegistryHive, ReadsEveryKindOfValue) {
  RegistryHive hive = parsed(
      "REGEDIT4\n\n; the product\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n"
      "\"InstallDir\"=\"C:\\\\opt \\\"kestro\\\"\"\n\"Raw\"=\"C:\\opt\"\n@=\"default\"\n"
      "\"Count\"=dword:0000002a\n\"Bin\"=hex:01,ff,FA,9f\n\"List\"=hex(7):61,00,62,\\\n  00,00\n"
      "\"Quad\"=hex(b):\n");
  const std::vector<Value> expected = {
      {"InstallDir", WinRegistry::typeString, std::string("C:\\opt \"kestro\"\0", 16)},
      {"Raw", WinRegistry::typeString,
       std::string("C:\\opt\0", 7)},  // a lone backslash stands for itself
      {"", WinRegistry::typeString, std::string("default\0", 8)},
      {"Count", WinRegistry::typeDword, std::string("\x2a\0\0\0", 4)},
      {"Bin", WinRegistry::typeBinary, "\x01\xff\xfa\x9f"},  // digits in either case
      {"List", WinRegistry::typeStringList, std::string("a\0b\0\0", 5)},
      {"Quad", 11, ""}};
  std::vector<Value> values = hive.values("software\\KESTRO\\resources");
  ASSERT_EQ(values.size(), expected.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(values[i].name, expected[i].name) << i;
    EXPECT_EQ(values[i].type, expected[i].type) << i;
    EXPECT_EQ(values[i].data, expected[i].data) << i;
  }
  for (const char* key : {"SOFTWARE", "software\\kestro\\", ""}) EXPECT_TRUE(hive.hasKey(key));
  EXPECT_FALSE(hive.hasKey("SOFTWARE\\Kes"));
  EXPECT_TRUE(hive.values("SOFTWARE").empty());
}

TEST(RegistryHive, LaterAssignmentWinsAndSectionsMerge) {
  RegistryHive hive = parsed(
      "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n[HKEY_LOCAL_MACHINE\\B]\n"
      "[hkey_local_machine\\a]\n\"X\"=\"2\"\n\"y\"=\"3\"\n");
  std::vector<Value> values = hive.values("A");
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].name, "x");
  EXPECT_EQ(values[0].data, std::string("2\0", 2));
  EXPECT_EQ(values[1].data, std::string("3\0", 2));
}

TEST(RegistryHive, WritesKeepCommentsOrderAndSpelling) {
  const std::string head =
      "REGEDIT4\r\n\r\n; keep me\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\r\n";
  const std::string original =
      head +
      "\"InstallDir\"=\"/opt/kestro\"   \r\n; "
      "between\r\n\"ConfigurationDir\"=\"/opt/kestro/config\"\r\n"
      "; after the values\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"v\"=\"w\"";
  RegistryHive hive = parsed(original);
  EXPECT_FALSE(hive.setValue("software\\kestro\\resources", "installdir", 1,
                             std::string("/opt/kestro\0", 12)));
  EXPECT_EQ(hive.text(), original);
  EXPECT_TRUE(
      hive.setValue("software\\kestro\\resources", "INSTALLDIR", 1, std::string("/srv\0", 5)));
  EXPECT_TRUE(hive.setValue("SOFTWARE\\KESTRO\\RESOURCES", "New", 4, std::string("\1\0\0\0", 4)));
  EXPECT_TRUE(hive.setValue("software\\other", "z", 1, std::string("q\0", 2)));
  EXPECT_TRUE(hive.setValue("software\\kestro\\Extra", "e", 1, std::string("\0", 1)));
  EXPECT_EQ(
      hive.text(),
      head +
          "\"InstallDir\"=\"/srv\"\r\n; between\r\n\"ConfigurationDir\"=\"/opt/kestro/config\"\r\n"
          "\"New\"=dword:00000001\r\n; after the "
          "values\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n"
          "\"v\"=\"w\"\r\n\"z\"=\"q\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Extra]"
          "\r\n\"e\"=\"\"\r\n");
  // The result parses back to the same values.
  EXPECT_EQ(parsed(hive.text()).values("SOFTWARE\\Kestro\\Resources")[0].data,
            std::string("/srv\0", 5));
}

TEST(RegistryHive, EmptyHiveGetsHeaderAndRootKeySection) {
  RegistryHive hive = parsed("\n");
  EXPECT_FALSE(hive.createKey(""));
  EXPECT_TRUE(hive.setValue("", "", 1, std::string("root\0", 5)));
  EXPECT_TRUE(hive.createKey("A\\B"));
  EXPECT_FALSE(hive.createKey("a"));
  EXPECT_EQ(hive.text(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n@=\"root\"\n\n[HKEY_LOCAL_MACHINE\\A\\B]\n");
  RegistryHive marked = parsed("\xEF\xBB\xBF");
  EXPECT_TRUE(marked.createKey("K"));
  EXPECT_EQ(marked.text(), "\xEF\xBB\xBFREGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n");
  EXPECT_TRUE(parsed(marked.text()).hasKey("k"));
}

TEST(RegistryHive, LastLineWithoutLineBreakIsEndedBeforeAppending) {
  RegistryHive hive = parsed("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"n\"=dword:0\r");
  EXPECT_TRUE(hive.setValue("A", "m", 1, std::string("x\0", 2)));
  EXPECT_EQ(hive.text(), "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"n\"=dword:0\r\n\"m\"=\"x\"\r\n");
  RegistryHive plain = parsed("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]");
  EXPECT_TRUE(plain.setValue("A", "m", 1, std::string("x\0", 2)));
  EXPECT_EQ(plain.text(), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"m\"=\"x\"\n");
  EXPECT_EQ(parsed(plain.text()).values("a").size(), 1u);
}

TEST(RegistryHive, EveryValueSurvivesTheRoundTrip) {
  // Values that do not fit the quoted form (NULs, line breaks, no or several trailing NULs,
  // long lists that wrap over continued lines) must come back byte for byte.
  std::mt19937 random(42);
  RegistryHive hive("HKEY_LOCAL_MACHINE");
  std::vector<Value> written;
  for (int i = 0; i < 300; ++i) {
    Value value;
    value.name = "v" + std::to_string(i) + (i % 7 == 0 ? "\"\\" : "");
    value.type = std::vector<uint32_t>{0, 1, 1, 2, 3, 4, 7, 11, 0x12345678}[random() % 9];
    std::size_t size = random() % (i % 10 == 0 ? 400 : 12);
    for (std::size_t j = 0; j < size; ++j) value.data += static_cast<char>(random() % 256);
    if (i % 3 == 0 && value.type == 1)
      value.data = "text with \\ and \" inside" + std::string(1, '\0');
    hive.setValue("Key\\Sub", value.name, value.type, value.data);
    written.push_back(value);
  }
  std::vector<Value> values = parsed(hive.text()).values("key\\sub");
  ASSERT_EQ(values.size(), written.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ(values[i].name, written[i].name);
    EXPECT_EQ(values[i].type, written[i].type) << values[i].name;
    EXPECT_EQ(values[i].data, written[i].data) << values[i].name;
  }
  // Long byte lists are wrapped as regedit does, within 80 columns.
  std::istringstream lines(hive.text());
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

TEST(RegistryHive, MalformedTextIsRefusedWithItsLine) {
  const std::string h = "REGEDIT4\n[HKEY_LOCAL_MACHINE]\n";
  const std::string notHeader = "line 1: the first line is not \"REGEDIT4\"";
  const std::string noQuote = "line 3: the text value has no closing quote";
  const std::string dword = "line 3: a dword value needs 1 to 8 hex digits";
  const std::string hexType = "line 3: a hex(N) value needs a type number of 1 to 8 hex digits";
  const std::string bytes = "bytes must be two hex digits separated by commas";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"REGEDIT5\n", notHeader},
      {"; comment\nREGEDIT4\n", notHeader},
      {std::string("\xff\xfeR\0E\0", 6), notHeader},
      {"REGEDIT4\n\"a\"=\"b\"\n", "line 2: a value before the first key"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", "line 2: a key line does not end with \"]\""},
      {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n",
       "line 2: the key \"HKEY_CURRENT_USER\\A\" is not under HKEY_LOCAL_MACHINE"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n",
       "line 2: the key \"HKEY_LOCAL_MACHINE\\A\\\\B\" has an empty name"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\]\n",
       "line 2: the key \"HKEY_LOCAL_MACHINE\\\" has an empty name"},
      {h + "\"a=\"b\"\n", "line 3: no \"=\" after the value name"},
      {h + "\"a\n", "line 3: the value name has no closing quote"},
      {h + "\"a\"=\"b\n", noQuote},
      {h + "\"a\"=\"b\\\"\n", noQuote},
      {h + "\"a\"=\"b\" x\n", "line 3: text after the closing quote"},
      {h + "\"a\"=dword:123456789\n", dword},
      {h + "\"a\"=dword:\n", dword},
      {h + "\"a\"=hex(x):00\n", hexType},
      {h + "\"a\"=hex(7:00\n", hexType},
      {h + "\"a\"=hex;00\n", "line 3: no \":\" after \"hex\""},
      {h + "\"a\"=hex:100\n", "line 3: " + bytes},
      {h + "\"a\"=hex:00,,01\n", "line 3: " + bytes},
      {h + "\"a\"=hex:00,\\\n  zz\n", "line 4: " + bytes},
      {h + "\"a\"=hex:00,\\\n", "line 3: the last line is continued"},
      {h + "\"a\"=-\n", "line 3: unknown kind of value (expected \"text\", dword: or hex:)"},
      {h + "plain\n", "line 3: not a key, a value or a comment"},
  };
  for (const auto& [text, message] : cases) {
    RegistryHive hive("HKEY_LOCAL_MACHINE");
    std::string error;
    EXPECT_FALSE(hive.parse(text, error)) << text;
    EXPECT_EQ(error, message) << text;
  }
}

TEST(RegistryHive, NamesThatCannotBeWrittenAreRefused) {
  for (const auto& [path, valid] : std::vector<std::pair<const char*, bool>>{
           {"", true}, {"A\\B\\", true}, {"\\A", false}, {"A\\\\B", false}, {"A\nB", false}})
    EXPECT_EQ(RegistryHive::isValidPath(path), valid) << path;
  EXPECT_TRUE(RegistryHive::isValidValueName("a \"b\" \\c"));
  EXPECT_FALSE(RegistryHive::isValidValueName("a\rb"));
  EXPECT_FALSE(RegistryHive::isValidValueName(std::string("a\0b", 3)));
}

TEST_F(HiveFiles, LocationFollowsTheEnvironment) {
  EXPECT_EQ(hivePath("HKEY_USERS"), dir + "/HKEY_USERS.reg");
  registryDir.set(nullptr);
  ScopedEnv xdg("XDG_CONFIG_HOME", "/x/conf"), home("HOME", "/home/u");
  EXPECT_EQ(hivePath("HKEY_CURRENT_USER"), "/x/conf/kestro/HKEY_CURRENT_USER.reg");
  xdg.set("");
  EXPECT_EQ(hivePath("HKEY_CURRENT_USER"), "/home/u/.config/kestro/HKEY_CURRENT_USER.reg");
  EXPECT_EQ(hivePath("HKEY_LOCAL_MACHINE"), "/etc/kestro/HKEY_LOCAL_MACHINE.reg");
}

TEST_F(HiveFiles, FirstWriteCreatesDirectoryAndHive) {
  dir += "/sub/dir";
  registryDir.set(dir);
  RegistryHive hive("HKEY_LOCAL_MACHINE");
  std::string detail;
  EXPECT_EQ(read(hive, detail), kRegNotFound);
  EXPECT_EQ(set("SOFTWARE\\Kestro", "a", "b"), kRegSuccess);
  EXPECT_EQ(readFile(file()), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"a\"=\"b\"\n");
  EXPECT_EQ(entries(), std::vector<std::string>{"HKEY_LOCAL_MACHINE.reg"});
}

TEST_F(HiveFiles, WriteReplacesTheFileAndKeepsItsMode) {
  writeFile(file(), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n");
  ASSERT_EQ(::chmod(file().c_str(), 0640), 0);
  struct stat before {
  }, after{};
  ASSERT_EQ(::stat(file().c_str(), &before), 0);
  EXPECT_EQ(set("k", "B", "2"), kRegSuccess);
  ASSERT_EQ(::stat(file().c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);  // a new file was renamed over the old one
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(readFile(file()), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n\"B\"=\"2\"\n");
  EXPECT_EQ(entries().size(), 1u);  // no temporary file is left behind
}

TEST_F(HiveFiles, LinkedHiveStaysALink) {
  ASSERT_EQ(::mkdir((dir + "/real").c_str(), 0755), 0);
  writeFile(dir + "/real/machine.reg", "REGEDIT4\n");
  ASSERT_EQ(::symlink("real/machine.reg", file().c_str()), 0);
  EXPECT_EQ(set("K", "a", "1"), kRegSuccess);
  struct stat link {};
  ASSERT_EQ(::lstat(file().c_str(), &link), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  EXPECT_EQ(readFile(dir + "/real/machine.reg"),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n");
}

TEST_F(HiveFiles, MalformedHiveIsNeverRewritten) {
  const std::string broken = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\n\"keep\"=\"me\"\n";
  writeFile(file(), broken);
  RegistryHive hive("HKEY_LOCAL_MACHINE");
  std::string detail;
  EXPECT_EQ(read(hive, detail), kRegCorrupt);
  EXPECT_EQ(detail,
            file() + " is not a valid REGEDIT4 hive: line 3: the text value has no closing quote");
  EXPECT_EQ(set("K", "b", "2"), kRegCorrupt);
  EXPECT_EQ(readFile(file()), broken);
  EXPECT_EQ(entries().size(), 1u);
}

TEST_F(HiveFiles, UnreadableHiveIsAccessDenied) {
  writeFile(file(), "REGEDIT4\n");
  ASSERT_EQ(::chmod(file().c_str(), 0), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
  EXPECT_EQ(runUnprivileged([] {
              RegistryHive hive("HKEY_LOCAL_MACHINE");
              std::string detail;
              return std::to_string(read(hive, detail)) + " " + std::to_string(set("K", "b", "2"));
            }),
            "5 5");
  EXPECT_EQ(entries().size(), 1u);
}

TEST_F(HiveFiles, ConcurrentWritersLoseNothing) {
  constexpr int kWriters = 6, kValuesEach = 30;
  writeFile(file(), "REGEDIT4\n; shared by all writers\n");
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kValuesEach; ++i) {
        failures += set("Shared\\Key", "w" + std::to_string(w) + "v" + std::to_string(i),
                        std::to_string(i)) != 0;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryHive hive("HKEY_LOCAL_MACHINE");
  std::string detail;
  ASSERT_EQ(read(hive, detail), kRegSuccess) << detail;
  EXPECT_EQ(hive.values("shared\\key").size(), static_cast<std::size_t>(kWriters * kValuesEach));
  EXPECT_EQ(readFile(file()).rfind("REGEDIT4\n; shared by all writers\n", 0), 0u);
  EXPECT_EQ(entries().size(), 1u);
}

}  // namespace
}  // namespace KestroCorelib::platform
#endif
