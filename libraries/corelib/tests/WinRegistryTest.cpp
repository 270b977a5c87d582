// WinRegistry on the registry of this platform. On POSIX the tests keep every hive in a
// temporary directory (KESTRO_REGISTRY_DIR), so they run the same on a developer's machine and
// in CI; on Windows they use the real registry (a private Wine prefix in CI) and remove the
// keys they create.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "WinRegistry.h"

#ifndef _WIN32
#  include <sys/stat.h>
#endif

#include "TestSupport.h"

namespace KestroCorelib {
namespace {
using namespace testsupport;

const char* const kMachine = "HKEY_LOCAL_MACHINE";
const char* const kUser = "HKEY_CURRENT_USER";
const char* const kResources = "SOFTWARE\\Kestro\\Resources";

using WinRegistryTest = TempRegistry;

TEST(WinRegistry, MapResourcePathFollowsKestroEnv) {
  ScopedEnv env("KESTRO_ENV", nullptr);
  EXPECT_EQ(WinRegistry::mapResourcePath("SOFTWARE/Kestro/Resources"), kResources);
  env.set("SOFTWARE\\Kestro\\Alt");
  const std::vector<std::pair<const char*, const char*>> cases = {
      {kResources, "SOFTWARE\\Kestro\\Alt"},
      {"SOFTWARE/Kestro/Resources/Sub", "SOFTWARE\\Kestro\\Alt\\Sub"},
      // Nothing is required after the prefix, and the comparison is case-sensitive.
      {"SOFTWARE\\Kestro\\ResourcesOld", "SOFTWARE\\Kestro\\AltOld"},
      {"software\\kestro\\resources", "software\\kestro\\resources"},
      {"SOFTWARE\\Kestro", "SOFTWARE\\Kestro"}};
  for (const auto& [path, mapped] : cases) EXPECT_EQ(WinRegistry::mapResourcePath(path), mapped);
  env.set("A/B");  // the variable's value is used as it is, slashes included
  EXPECT_EQ(WinRegistry::mapResourcePath("SOFTWARE/Kestro/Resources/C"), "A/B\\C");
#ifndef _WIN32  // Windows has no empty environment variables: setting one removes it
  env.set("");
  EXPECT_EQ(WinRegistry::mapResourcePath(kResources), "");
#endif
}

#ifndef _WIN32
TEST_F(WinRegistryTest, ReadsAHandWrittenHive) {
  writeHive(kMachine,
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n"
            "\"InstallDir\"=\"/opt/kestro\"\n\"ConfigurationDir\"=\"/opt/kestro/config\"\n"
            "\"Paths\"=hex(7):61,00,62,00,00\n\"Count\"=dword:0000002a\n");
  EXPECT_EQ(WinRegistry::getString(kMachine, kResources, "InstallDir", false), "/opt/kestro");
  EXPECT_EQ(
      WinRegistry::getString(kMachine, "software/kestro/resources", "configurationdir", false),
      "/opt/kestro/config");
  EXPECT_EQ(WinRegistry::getStringList(kMachine, kResources, "Paths", true),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(WinRegistry::getRawValue(kMachine, kResources, "Count", WinRegistry::typeDword, false),
            "*");

  noEnv.set("SOFTWARE\\Kestro\\Alt");
  EXPECT_EQ(errorText<WinRegistry::Get_NotFound>(
                [] { WinRegistry::getString(kMachine, kResources, "InstallDir", false); }),
            "Get_NotFound: Could not find registry key "
            "\"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Kestro\\Alt\"");
  writeHive(kMachine,
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Alt]\n\"InstallDir\"=\"/alt\"\n");
  EXPECT_EQ(WinRegistry::getString(kMachine, kResources, "InstallDir", false), "/alt");
  // An empty KESTRO_ENV maps the resource key onto the root key itself.
  noEnv.set("");
  writeHive(kMachine, "REGEDIT4\n[HKEY_LOCAL_MACHINE]\n\"InstallDir\"=\"/root\"\n");
  EXPECT_EQ(WinRegistry::getString(kMachine, kResources, "InstallDir", false), "/root");
}
#endif

TEST_F(WinRegistryTest, StringsAndListsRoundTrip) {
  const std::vector<std::pair<std::string, std::string>> strings = {
      {"Long", std::string(1000, 'x')}, {"Quoted", "C:\\a \"b\""}, {"Lines", "one\ntwo\r\n"}};
  for (const auto& [name, text] : strings)
    WinRegistry::setString(kUser, "SOFTWARE\\Kestro\\A\\B", name, text, false);
  for (const auto& [name, text] : strings)
    EXPECT_EQ(WinRegistry::getString(kUser, "software\\kestro\\a\\b", name, false), text) << name;

  using List = std::vector<std::string>;
  // An empty list reads back as one empty element.
  for (const auto& [written, read] :
       std::vector<std::pair<List, List>>{{{"a", "b c"}, {"a", "b c"}}, {{}, {""}}}) {
    WinRegistry::setStringList(kUser, "SOFTWARE\\Kestro", "List", written, false);
    EXPECT_EQ(WinRegistry::getStringList(kUser, "SOFTWARE\\Kestro", "List", false), read);
  }
#ifndef _WIN32
  EXPECT_EQ(hive(kUser).substr(0, 10), "REGEDIT4\n\n");
#endif
}

TEST_F(WinRegistryTest, ListWithAnEmptyElementIsRefusedBeforeWriting) {
  // Two NULs in a row end a stored list, so {"a", "", "b"} would read back as {"a"}.
  WinRegistry::setStringList(kUser, "SOFTWARE\\Kestro", "List", {"kept"}, false);
#ifndef _WIN32
  const std::string before = hive(kUser);
#endif
  EXPECT_EQ(errorText<WinRegistry::Set_BadArguments>([] {
              WinRegistry::setStringList(kUser, "SOFTWARE\\Kestro", "List", {"a", "", "b"}, false);
            }),
            "Set_BadArguments: Cannot set \"HKEY_CURRENT_USER\\SOFTWARE\\Kestro\"->\"List\" "
            "because element 2 of the list is empty");
  EXPECT_THROW(WinRegistry::setStringList(kUser, "SOFTWARE\\New", "List", {""}, false),
               WinRegistry::Set_BadArguments);
  EXPECT_EQ(WinRegistry::getStringList(kUser, "SOFTWARE\\Kestro", "List", false),
            std::vector<std::string>{"kept"});
#ifndef _WIN32
  EXPECT_EQ(hive(kUser), before);  // neither the value nor a new key was written
#endif
}

TEST_F(WinRegistryTest, TrailingNulsAreCut) {
  for (const auto& [data, read] : std::vector<std::pair<std::string, std::string>>{
           {std::string("abc\0\0\0", 6), "abc"},
           {std::string("\0\0", 2), std::string("\0\0", 2)},
           {std::string("a\0b", 3), std::string("a\0b", 3)}}) {
    WinRegistry::setRawValue(kMachine, "K", "v", WinRegistry::typeString, data.data(), data.size(),
                             false);
    EXPECT_EQ(WinRegistry::getString(kMachine, "K", "v", false), read);
  }
  WinRegistry::setRawValue(kMachine, "K", "v", WinRegistry::typeBinary, "", 0, false);
  EXPECT_EQ(WinRegistry::getRawValue(kMachine, "K", "v", WinRegistry::typeBinary, false), "");
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

  WinRegistry::setRawValue(kMachine, "SOFTWARE\\X", "Count", 4, "\1\0\0\0", 4, false);
  EXPECT_EQ(errorText<WinRegistry::Get_NotFound>(
                [] { WinRegistry::getString(kMachine, "SOFTWARE\\X", "Other", false); }),
            "Get_NotFound: Could not find registry key \"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\"->"
            "\"Other\"");
  EXPECT_EQ(errorText<WinRegistry::Get_WrongType>(
                [] { WinRegistry::getString(kMachine, "SOFTWARE\\X", "Count", false); }),
            "Get_WrongType: Cannot get \"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\"->\"Count\" of type 1 "
            "because the actual type is 4");
  EXPECT_EQ(errorText<WinRegistry::Get_WrongType>(
                [] { WinRegistry::getStringList(kMachine, "SOFTWARE/X", "Count", false); }),
            "Get_WrongType: Cannot get \"HKEY_LOCAL_MACHINE\\SOFTWARE/X\"->\"Count\" of type 7 "
            "because the actual type is 4");
  // A key opened for reading cannot be written through.
  EXPECT_EQ(errorText<WinRegistry::Set_AccessDenied>([] {
              WinRegistry::Key key =
                  WinRegistry::openKey(kMachine, "SOFTWARE\\X", WinRegistry::keyRead, false);
              WinRegistry::writeValue(key, "HKEY_LOCAL_MACHINE\\SOFTWARE\\X", "v", 1, "", 1);
            }),
            "Set_AccessDenied: Access denied when trying to set "
            "\"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\"->\"v\"");
}

// A stand-in for the value query that answers as HKEY_PERFORMANCE_DATA does on Windows: "more
// data" (234) until the buffer offered holds `needed` bytes, with a size that Windows leaves
// undefined (here: left as offered, or `answered`). It records every offer and fails (31) after
// 40 calls, so that a read that never grows its buffer ends too.
struct PerformanceData {
  static inline uint32_t needed = 0;
  static inline std::optional<uint32_t> answered;
  static inline std::vector<uint32_t> offers;
  static long query(WinRegistry::Key, const std::string&, uint32_t* type, unsigned char* data,
                    uint32_t* size) {
    offers.push_back(*size);
    if (offers.size() > 40) return 31;
    *type = 3;
    if (*size < needed) {
      if (answered) *size = *answered;
      return 234;
    }
    std::fill(data, data + needed, 'P');
    *size = needed;
    return 0;
  }
  // The data read, or the text of the exception the read raised.
  static std::string read() {
    offers.clear();
    try {
      return WinRegistry::readValue(nullptr, "HKEY_PERFORMANCE_DATA\\", "Global", 3, query);
    } catch (const Exception& e) {
      return e.getText();
    }
  }
};

// Wine answers performance data with the size it needs, Windows does not: the read grows its
// buffer by doubling whatever size comes back, up to 64 MiB.
TEST(WinRegistry, ReadGrowsTheBufferWithoutADefinedSize) {
  using Offers = std::vector<uint32_t>;
  const Offers doubling = {256, 512, 1024, 2048, 4096};
  PerformanceData::needed = 3000;
  const uint32_t largest = 64u * 1024 * 1024;
  for (const std::optional<uint32_t> answered : {std::optional<uint32_t>(), {0u}, {largest + 1}}) {
    SCOPED_TRACE(answered ? std::to_string(*answered) : "size left as offered");
    PerformanceData::answered = answered;
    EXPECT_EQ(PerformanceData::read(), std::string(3000, 'P'));
    EXPECT_EQ(PerformanceData::offers, doubling);
  }
  // A size that says how much is needed is taken at once.
  PerformanceData::answered = 3000;
  EXPECT_EQ(PerformanceData::read(), std::string(3000, 'P'));
  EXPECT_EQ(PerformanceData::offers, (Offers{256, 3000}));
  // Data that never fits ends after the 64 MiB offer with the unknown-error text.
  PerformanceData::needed = largest + 1;
  PerformanceData::answered.reset();
  EXPECT_EQ(PerformanceData::read(),
            "Get_UnknownError: Unknown error when trying to get "
            "\"HKEY_PERFORMANCE_DATA\\\"->\"Global\"");
  EXPECT_EQ(PerformanceData::offers.size(), 19u);
  EXPECT_EQ(PerformanceData::offers.back(), largest);
}

#ifdef _WIN32
// Windows gives no defined size with "more data" for performance data: the read still ends,
// with the data (a PERF_DATA_BLOCK, which starts with "PERF" in UTF-16).
TEST_F(WinRegistryTest, PerformanceDataReadEnds) {
  const std::string data =
      WinRegistry::getRawValue("HKEY_PERFORMANCE_DATA", "", "Global", 3, false);
  ASSERT_GE(data.size(), 8u);
  EXPECT_EQ(data.substr(0, 8), std::string("P\0E\0R\0F\0", 8));
}
#else
// The hive's own complaint (RegistryHiveTest) follows the class's error, which names the key.
TEST_F(WinRegistryTest, InvalidHiveIsRefusedWithTheHivesReason) {
  writeHive(kMachine, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\n");
  const std::string cause = "\"HKEY_LOCAL_MACHINE\"->\"K\"\nException: " + hiveFile(kMachine) + " ";
  const std::string got = errorText<WinRegistry::Get_UnknownError>(
      [] { WinRegistry::getString(kMachine, "K", "a", false); });
  EXPECT_EQ(got.rfind("Get_UnknownError: Unknown error when trying to get " + cause, 0), 0u) << got;
  const std::string set = errorText<WinRegistry::Set_UnknownError>(
      [] { WinRegistry::setString(kMachine, "K", "b", "2", false); });
  EXPECT_EQ(set.rfind("Set_UnknownError: Unknown error when trying to set " + cause, 0), 0u) << set;
  // Names the format cannot hold are refused instead of corrupting the hive.
  EXPECT_EQ(
      errorText<WinRegistry::Set_UnknownError>(
          [] { WinRegistry::setString(kUser, "K", "a\nb", "2", false); }),
      "Set_UnknownError: Unknown error when trying to set \"HKEY_CURRENT_USER\\K\"->\"a\nb\"");
  EXPECT_EQ(errorText<WinRegistry::Set_UnknownError>(
                [] { WinRegistry::setString(kUser, "A\\\\B", "a", "2", false); }),
            "Set_UnknownError: Unknown error when trying to set \"HKEY_CURRENT_USER\"->\"A\\\\B\"");
}

// A hive is a regular file: a FIFO would stop the program for good and a device would be
// read without end. Reads and writes refuse them and say why; nothing is written.
TEST_F(WinRegistryTest, HiveThatIsNoRegularFileIsRefused) {
  const std::string file = hiveFile(kMachine);
  for (const char* kind : {"fifo", "device"}) {
    ::unlink(file.c_str());
    if (std::string(kind) == "fifo") {
      ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
    } else {
      ASSERT_EQ(::symlink("/dev/zero", file.c_str()), 0);
    }
    const std::string cause =
        "\"HKEY_LOCAL_MACHINE\"->\"K\"\nException: " + file + ": not a regular file";
    EXPECT_EQ(errorText<WinRegistry::Get_UnknownError>(
                  [] { WinRegistry::getString(kMachine, "K", "a", false); }),
              "Get_UnknownError: Unknown error when trying to get " + cause)
        << kind;
    EXPECT_EQ(errorText<WinRegistry::Set_UnknownError>(
                  [] { WinRegistry::setString(kMachine, "K", "b", "2", false); }),
              "Set_UnknownError: Unknown error when trying to set " + cause)
        << kind;
  }
  struct stat status {};
  ASSERT_EQ(::lstat(file.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
}

TEST_F(WinRegistryTest, RefusalsOfTheFileSystemAreAccessDenied) {
  const std::string file = hiveFile(kMachine),
                    text = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"1\"\n";
  writeHive(kMachine, text);
  // Readable but not writable, for the owner and for everybody else.
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(runUnprivileged([] {
              return errorText<WinRegistry::Set_AccessDenied>(
                         [] { WinRegistry::setString(kMachine, "K", "b", "2", false); }) +
                     "|" + WinRegistry::getString(kMachine, "K", "a", false);
            }),
            "Set_AccessDenied: Access denied when trying to set \"HKEY_LOCAL_MACHINE\"->\"K\"|1");
  ASSERT_EQ(::chmod(file.c_str(), 0), 0);
  EXPECT_EQ(runUnprivileged([] {
              return errorText<WinRegistry::Get_AccessDenied>(
                  [] { WinRegistry::getString(kMachine, "K", "a", false); });
            }),
            "Get_AccessDenied: Access denied when trying to get \"HKEY_LOCAL_MACHINE\"->\"K\"");
  ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  EXPECT_EQ(hive(kMachine), text);
}
#endif

}  // namespace
}  // namespace KestroCorelib
