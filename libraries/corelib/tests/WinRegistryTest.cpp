// WinRegistry on the registry of this platform. The tests keep every hive in a temporary
// directory (KESTRO_REGISTRY_DIR), so they run the same on a developer's machine and in CI.
#include <gtest/gtest.h>

#include "WinRegistry.h"

#ifndef _WIN32
#  include <sys/stat.h>
#  include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "UnprivilegedRun.h"

namespace KestroCorelib {
namespace {

#ifndef _WIN32
std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `call` and returns the rendered text of the exception of type E it raises.
template <typename E, typename F> std::string errorText(F call) {
  try {
    call();
  } catch (const E& e) {
    return e.getText();
  } catch (const Exception& e) {
    return "wrong class: " + e.getText();
  }
  return "no exception";
}

class WinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/winregistry-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    ::setenv("KESTRO_REGISTRY_DIR", dir.c_str(), 1);
    ::unsetenv("KESTRO_ENV");
  }
  void TearDown() override {
    ::unsetenv("KESTRO_REGISTRY_DIR");
    ::unsetenv("KESTRO_ENV");
    std::string command = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  void writeHive(const std::string& root, const std::string& text) const {
    std::ofstream(dir + "/" + root + ".reg", std::ios::binary) << text;
  }
  std::string dir;
};

TEST(WinRegistry, MapResourcePathFollowsKestroEnv) {
  ::unsetenv("KESTRO_ENV");
  EXPECT_EQ(WinRegistry::mapResourcePath("SOFTWARE/Kestro/Resources"),
            "SOFTWARE\\Kestro\\Resources");
  ::setenv("KESTRO_ENV", "SOFTWARE\\Kestro\\Alt", 1);
  EXPECT_EQ(WinRegistry::mapResourcePath("SOFTWARE\\Kestro\\Resources"), "SOFTWARE\\Kestro\\Alt");
  EXPECT_EQ(WinRegistry::mapResourcePath("SOFTWARE/Kestro/Resources/Sub"),
            "SOFTWARE\\Kestro\\Alt\\Sub");
  // Nothing is required after the prefix, and the comparison is case-sensitive.
  EXPECT_EQ(WinRegistry::mapResourcePath("SOFTWARE\\Kestro\\ResourcesOld"),
            "SOFTWARE\\Kestro\\AltOld");
  EXPECT_EQ(WinRegistry::mapResourcePath("software\\kestro\\resources"),
            "software\\kestro\\resources");
  EXPECT_EQ(WinRegistry::mapResourcePath("SOFTWARE\\Kestro"), "SOFTWARE\\Kestro");
  // The variable's value is used as it is, slashes included.
  ::setenv("KESTRO_ENV", "A/B", 1);
  EXPECT_EQ(WinRegistry::mapResourcePath("SOFTWARE/Kestro/Resources/C"), "A/B\\C");
  ::setenv("KESTRO_ENV", "", 1);
  EXPECT_EQ(WinRegistry::mapResourcePath("SOFTWARE\\Kestro\\Resources"), "");
  ::unsetenv("KESTRO_ENV");
}

TEST_F(WinRegistryTest, ReadsAHandWrittenHive) {
  writeHive("HKEY_LOCAL_MACHINE",
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n"
            "\"InstallDir\"=\"/opt/kestro\"\n\"ConfigurationDir\"=\"/opt/kestro/config\"\n"
            "\"Paths\"=hex(7):61,00,62,00,00\n\"Count\"=dword:0000002a\n");
  EXPECT_EQ(WinRegistry::getString("HKEY_LOCAL_MACHINE", "SOFTWARE\\Kestro\\Resources",
                                   "InstallDir", false),
            "/opt/kestro");
  EXPECT_EQ(WinRegistry::getString("HKEY_LOCAL_MACHINE", "software/kestro/resources",
                                   "configurationdir", false),
            "/opt/kestro/config");
  EXPECT_EQ(WinRegistry::getStringList("HKEY_LOCAL_MACHINE", "SOFTWARE\\Kestro\\Resources", "Paths",
                                       true),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(WinRegistry::getRawValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\Kestro\\Resources", "Count",
                                     4, false),
            "*");

  ::setenv("KESTRO_ENV", "SOFTWARE\\Kestro\\Alt", 1);
  EXPECT_EQ(errorText<WinRegistry::Get_NotFound>([] {
              WinRegistry::getString("HKEY_LOCAL_MACHINE", "SOFTWARE\\Kestro\\Resources",
                                     "InstallDir", false);
            }),
            "Get_NotFound: Could not find registry key "
            "\"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Kestro\\Alt\"");
  writeHive("HKEY_LOCAL_MACHINE",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Alt]\n\"InstallDir\"=\"/alt\"\n");
  EXPECT_EQ(WinRegistry::getString("HKEY_LOCAL_MACHINE", "SOFTWARE\\Kestro\\Resources",
                                   "InstallDir", false),
            "/alt");
  // An empty KESTRO_ENV maps the resource key onto the root key itself.
  ::setenv("KESTRO_ENV", "", 1);
  writeHive("HKEY_LOCAL_MACHINE", "REGEDIT4\n[HKEY_LOCAL_MACHINE]\n\"InstallDir\"=\"/root\"\n");
  EXPECT_EQ(WinRegistry::getString("HKEY_LOCAL_MACHINE", "SOFTWARE\\Kestro\\Resources",
                                   "InstallDir", false),
            "/root");
}

TEST_F(WinRegistryTest, StringsAndListsRoundTrip) {
  const std::string longText(1000, 'x');
  WinRegistry::setString("HKEY_CURRENT_USER", "SOFTWARE\\Kestro\\A\\B", "Long", longText, false);
  WinRegistry::setString("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "Quoted", "C:\\a \"b\"", false);
  WinRegistry::setString("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "Lines", "one\ntwo\r\n", false);
  EXPECT_EQ(WinRegistry::getString("HKEY_CURRENT_USER", "SOFTWARE\\Kestro\\A\\B", "Long", false),
            longText);
  EXPECT_EQ(WinRegistry::getString("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "quoted", false),
            "C:\\a \"b\"");
  EXPECT_EQ(WinRegistry::getString("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "Lines", false),
            "one\ntwo\r\n");

  WinRegistry::setStringList("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "List", {"a", "b c"}, false);
  EXPECT_EQ(WinRegistry::getStringList("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "List", false),
            (std::vector<std::string>{"a", "b c"}));
  WinRegistry::setStringList("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "List", {}, false);
  EXPECT_EQ(WinRegistry::getStringList("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "List", false),
            (std::vector<std::string>{""}));
  // An empty element in the middle ends the list.
  WinRegistry::setStringList("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "List", {"a", "", "b"},
                             false);
  EXPECT_EQ(WinRegistry::getStringList("HKEY_CURRENT_USER", "SOFTWARE\\Kestro", "List", false),
            (std::vector<std::string>{"a"}));
  EXPECT_EQ(readFile(dir + "/HKEY_CURRENT_USER.reg").substr(0, 10), "REGEDIT4\n\n");
}

TEST_F(WinRegistryTest, TrailingNulsAreCut) {
  WinRegistry::setRawValue("HKEY_LOCAL_MACHINE", "K", "v", 1, "abc\0\0\0", 6, false);
  EXPECT_EQ(WinRegistry::getString("HKEY_LOCAL_MACHINE", "K", "v", false), "abc");
  WinRegistry::setRawValue("HKEY_LOCAL_MACHINE", "K", "v", 1, "\0\0", 2, false);
  EXPECT_EQ(WinRegistry::getString("HKEY_LOCAL_MACHINE", "K", "v", false), std::string("\0\0", 2));
  WinRegistry::setRawValue("HKEY_LOCAL_MACHINE", "K", "v", 1, "a\0b", 3, false);
  EXPECT_EQ(WinRegistry::getString("HKEY_LOCAL_MACHINE", "K", "v", false), std::string("a\0b", 3));
  WinRegistry::setRawValue("HKEY_LOCAL_MACHINE", "K", "v", 3, "", 0, false);
  EXPECT_EQ(WinRegistry::getRawValue("HKEY_LOCAL_MACHINE", "K", "v", 3, false), "");
}

TEST_F(WinRegistryTest, ReadErrorsNameKeyAndValue) {
  EXPECT_EQ(errorText<WinRegistry::Get_BadArguments>(
                [] { WinRegistry::getString("HKLM", "K", "v", false); }),
            "Get_BadArguments: Invalid argument \"HKLM\"");
  EXPECT_EQ(errorText<WinRegistry::Set_BadArguments>(
                [] { WinRegistry::setString("HKLM", "K", "v", "x", false); }),
            "Set_BadArguments: Invalid argument \"HKLM\"");
  EXPECT_EQ(errorText<WinRegistry::Get_BadArguments>(
                [] { WinRegistry::getString("hkey_local_machine", "K", "v", false); }),
            "Get_BadArguments: Invalid argument \"hkey_local_machine\"");
  // No hive file at all.
  EXPECT_EQ(errorText<WinRegistry::Get_NotFound>(
                [] { WinRegistry::getString("HKEY_USERS", "K/L", "v", false); }),
            "Get_NotFound: Could not find registry key \"HKEY_USERS\"->\"K\\L\"");

  writeHive("HKEY_LOCAL_MACHINE",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"Count\"=dword:00000001\n");
  EXPECT_EQ(
      errorText<WinRegistry::Get_NotFound>(
          [] { WinRegistry::getString("HKEY_LOCAL_MACHINE", "SOFTWARE\\X", "Other", false); }),
      "Get_NotFound: Could not find registry key \"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\"->\"Other\"");
  EXPECT_EQ(errorText<WinRegistry::Get_WrongType>([] {
              WinRegistry::getString("HKEY_LOCAL_MACHINE", "SOFTWARE\\X", "Count", false);
            }),
            "Get_WrongType: Cannot get \"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\"->\"Count\" of type 1 "
            "because the "
            "actual type is 4");
  EXPECT_EQ(errorText<WinRegistry::Get_WrongType>([] {
              WinRegistry::getStringList("HKEY_LOCAL_MACHINE", "SOFTWARE/X", "Count", false);
            }),
            "Get_WrongType: Cannot get \"HKEY_LOCAL_MACHINE\\SOFTWARE/X\"->\"Count\" of type 7 "
            "because the "
            "actual type is 4");
  // A key opened for reading cannot be written through.
  EXPECT_EQ(errorText<WinRegistry::Set_AccessDenied>([] {
              WinRegistry::Key key = WinRegistry::openKey("HKEY_LOCAL_MACHINE", "SOFTWARE\\X",
                                                          WinRegistry::keyRead, false);
              WinRegistry::writeValue(key, "HKEY_LOCAL_MACHINE\\SOFTWARE\\X", "v", 1, "", 1);
            }),
            "Set_AccessDenied: Access denied when trying to set "
            "\"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\"->\"v\"");
}

TEST_F(WinRegistryTest, InvalidHiveIsRefusedAndKept) {
  const std::string broken = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\n";
  writeHive("HKEY_LOCAL_MACHINE", broken);
  const std::string cause =
      "\nException: " + dir +
      "/HKEY_LOCAL_MACHINE.reg is not a valid REGEDIT4 hive: line 3: the text value has no "
      "closing quote";
  EXPECT_EQ(
      errorText<WinRegistry::Get_UnknownError>(
          [] { WinRegistry::getString("HKEY_LOCAL_MACHINE", "K", "a", false); }),
      "Get_UnknownError: Unknown error when trying to get \"HKEY_LOCAL_MACHINE\"->\"K\"" + cause);
  EXPECT_EQ(
      errorText<WinRegistry::Set_UnknownError>(
          [] { WinRegistry::setString("HKEY_LOCAL_MACHINE", "K", "b", "2", false); }),
      "Set_UnknownError: Unknown error when trying to set \"HKEY_LOCAL_MACHINE\"->\"K\"" + cause);
  EXPECT_EQ(readFile(dir + "/HKEY_LOCAL_MACHINE.reg"), broken);
  // Names the format cannot hold are refused instead of corrupting the hive.
  EXPECT_EQ(
      errorText<WinRegistry::Set_UnknownError>(
          [] { WinRegistry::setString("HKEY_CURRENT_USER", "K", "a\nb", "2", false); }),
      "Set_UnknownError: Unknown error when trying to set \"HKEY_CURRENT_USER\\K\"->\"a\nb\"");
  EXPECT_EQ(errorText<WinRegistry::Set_UnknownError>(
                [] { WinRegistry::setString("HKEY_CURRENT_USER", "A\\\\B", "a", "2", false); }),
            "Set_UnknownError: Unknown error when trying to set \"HKEY_CURRENT_USER\"->\"A\\\\B\"");
}

TEST_F(WinRegistryTest, RefusalsOfTheFileSystemAreAccessDenied) {
  const std::string file = dir + "/HKEY_LOCAL_MACHINE.reg";
  writeHive("HKEY_LOCAL_MACHINE", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n");
  // Readable but not writable, for the owner and for everybody else.
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(testsupport::runUnprivileged([] {
              return errorText<WinRegistry::Set_AccessDenied>([] {
                       WinRegistry::setString("HKEY_LOCAL_MACHINE", "K", "b", "2", false);
                     }) +
                     "|" + WinRegistry::getString("HKEY_LOCAL_MACHINE", "K", "a", false);
            }),
            "Set_AccessDenied: Access denied when trying to set \"HKEY_LOCAL_MACHINE\"->\"K\"|1");
  ASSERT_EQ(::chmod(file.c_str(), 0), 0);
  EXPECT_EQ(testsupport::runUnprivileged([] {
              return errorText<WinRegistry::Get_AccessDenied>(
                  [] { WinRegistry::getString("HKEY_LOCAL_MACHINE", "K", "a", false); });
            }),
            "Get_AccessDenied: Access denied when trying to get \"HKEY_LOCAL_MACHINE\"->\"K\"");
  ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  EXPECT_EQ(readFile(file), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n");
}
#endif

}  // namespace
}  // namespace KestroCorelib
