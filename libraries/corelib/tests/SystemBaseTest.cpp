// System information, special folders and the "system" bus agent. Facts about this machine are
// checked for their form (digits, sorted, no loopback), never for this machine's values.
#include <gtest/gtest.h>

#include "SystemBase.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <pwd.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "ConfAgent.h"
#include "ConfNode.h"
#include "StringTools.h"
#include "TestSupport.h"

namespace KestroCorelib {
namespace {
using namespace testsupport;

bool matches(const std::string& text, const std::string& pattern) {
  return std::regex_match(text, std::regex(pattern));
}

#ifdef _WIN32
// The system's own answers, through the Win32 calls (under Wine in CI): checked for their form
// and against the calls a test can make itself.
TEST(SystemInfo, WindowsItemsComeFromTheSystem) {
  char user[256] = {};
  DWORD userSize = sizeof user;
  ASSERT_TRUE(GetUserNameA(user, &userSize));
  EXPECT_EQ(SystemInfo::get(SystemInfo::CurrentUser), user);
  char host[256] = {};
  DWORD hostSize = sizeof host;
  ASSERT_TRUE(GetComputerNameA(host, &hostSize));
  EXPECT_EQ(SystemInfo::get(SystemInfo::HostName), host);
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  EXPECT_EQ(SystemInfo::get(SystemInfo::SessionId), std::to_string(session));
  EXPECT_TRUE(matches(SystemInfo::get(SystemInfo::OsName), "windows.+"))
      << SystemInfo::get(SystemInfo::OsName);
  const std::string major = SystemInfo::get(SystemInfo::OsMajor);
  const std::string minor = SystemInfo::get(SystemInfo::OsMinor);
  ASSERT_TRUE(matches(major, "[0-9]+") && matches(minor, "[0-9]+"));
  EXPECT_EQ(SystemInfo::get(SystemInfo::OsVersionNumber),
            std::to_string(std::stoi(major) * 100 + std::stoi(minor)));
  EXPECT_EQ(SystemInfo::get(SystemInfo::ByteOrder), "little");
  EXPECT_TRUE(matches(SystemInfo::get(SystemInfo::KeyboardType), "[0-9]+\\([0-9]+,[0-9]+\\)"));
}
#else

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// SystemInfo learns everything once per process, so answers that depend on the environment
// are asked in a fresh run of this program (SystemInfo.ChildPrintsItem) with that environment:
// the variables the items depend on are cleared, then `variables` are set.
using Variables = std::vector<std::pair<const char*, const char*> >;
std::string itemInChild(SystemInfo::Item item, const Variables& variables) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::dup2(fds[1], 1);
    for (const char* name : {"DISPLAY", "SSH_CLIENT", "LC_ALL", "LANG", "XDG_SESSION_ID"})
      ::unsetenv(name);
    for (const auto& [name, value] : variables) ::setenv(name, value, 1);
    ::setenv("PLAVO_TEST_SYSTEMINFO_ITEM", std::to_string(item).c_str(), 1);
    ::execl("/proc/self/exe", "SystemBaseTest", "--gtest_filter=SystemInfo.ChildPrintsItem",
            nullptr);
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string output;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
    output.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::size_t begin = output.find("<<"), end = output.rfind(">>");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || begin == std::string::npos || end < begin)
    return "child failed: " + output;
  return output.substr(begin + 2, end - begin - 2);
}

// The child side of itemInChild; in an ordinary run there is nothing to print.
TEST(SystemInfo, ChildPrintsItem) {
  const char* item = std::getenv("PLAVO_TEST_SYSTEMINFO_ITEM");
  if (item == nullptr) GTEST_SKIP() << "only run by itemInChild";
  std::printf("<<%s>>", SystemInfo::get(static_cast<SystemInfo::Item>(std::atoi(item))).c_str());
  std::fflush(stdout);
}

TEST(SystemInfo, ItemsHaveTheirForm) {
  const std::string bits = std::to_string(sizeof(void*) * 8);
  EXPECT_EQ(SystemInfo::get(SystemInfo::OsBits), bits);
  EXPECT_EQ(SystemInfo::get(SystemInfo::Platform), "linux-" + bits);
  const std::string major = SystemInfo::get(SystemInfo::OsMajor);
  const std::string minor = SystemInfo::get(SystemInfo::OsMinor);
  ASSERT_TRUE(matches(major, "[0-9]+") && matches(minor, "[0-9]+"));
  EXPECT_EQ(SystemInfo::get(SystemInfo::OsName), "linux_" + major + "." + minor);
  EXPECT_EQ(SystemInfo::get(SystemInfo::OsVersionNumber),
            std::to_string(std::stoi(major) * 100 + std::stoi(minor)));
  EXPECT_TRUE(matches(SystemInfo::get(SystemInfo::ByteOrder), "little|big"));
  EXPECT_EQ(SystemInfo::get(SystemInfo::KeyboardType), "0(0,0)");
  EXPECT_TRUE(matches(SystemInfo::get(SystemInfo::SessionId), "[0-9]*"));
  EXPECT_NE(SystemInfo::get(SystemInfo::Architecture), "");
  EXPECT_NE(SystemInfo::get(SystemInfo::Architecture), "x86_64");
  const passwd* user = ::getpwuid(::geteuid());
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(SystemInfo::get(SystemInfo::CurrentUser), user->pw_name);
  const std::string host = SystemInfo::get(SystemInfo::HostName);
  EXPECT_NE(host, "");
  EXPECT_EQ(host.rfind(SystemInfo::get(SystemInfo::MachineName), 0), 0u);
  EXPECT_NE(SystemInfo::get(SystemInfo::Domain), "(none)");
  EXPECT_EQ(SystemInfo::get(static_cast<SystemInfo::Item>(17)), "");
}

TEST(SystemInfo, EnvironmentDependentItems) {
  struct Case {
    SystemInfo::Item item;
    Variables variables;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {SystemInfo::ClientName, {{"DISPLAY", ""}, {"SSH_CLIENT", "10.0.0.9 1 22"}}, ""},
      {SystemInfo::ClientName, {{"DISPLAY", ":1"}}, ":1"},
      {SystemInfo::ClientName, {{"SSH_CLIENT", "10.0.0.9 51234 22"}}, "10.0.0.9"},
      {SystemInfo::ClientName, {}, SystemInfo::get(SystemInfo::HostName)},
      {SystemInfo::OsLanguage, {{"LANG", "de_DE.UTF-8"}}, "de_DE:de"},
      {SystemInfo::KeyboardLanguage, {{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "fr_CA"}}, "fr_CA:fr"},
      {SystemInfo::OsLanguage, {{"LANG", "C.UTF-8"}}, "[unknown]"},
      {SystemInfo::OsLanguage, {{"LANG", "POSIX"}}, "[unknown]"},
      {SystemInfo::OsLanguage, {}, "[unknown]"},
  };
  for (const Case& c : cases) EXPECT_EQ(itemInChild(c.item, c.variables), c.expected) << c.item;

  // The audit session wins when the process has one; only then is XDG_SESSION_ID ignored.
  std::ifstream audit("/proc/self/sessionid");
  std::string session;
  if (!(audit >> session) || session == "4294967295") {
    EXPECT_EQ(itemInChild(SystemInfo::SessionId, {{"XDG_SESSION_ID", "42"}}), "42");
    EXPECT_EQ(itemInChild(SystemInfo::SessionId, {{"XDG_SESSION_ID", "c42"}}), "");
  }
}

TEST(SystemInfo, SpecialFolders) {
  ScopedEnv home("HOME", "/home/t");
  ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  const std::vector<std::pair<int, std::string> > cases = {
      {SpecialFolder::Documents, "/home/t/Documents"},
      {SpecialFolder::Desktop, "/home/t/Desktop"},
      {SpecialFolder::AppData, "/home/t/.config"},
      {SpecialFolder::UserTemp, "/home/t/.config\\Kestro\\temp"},
      {SpecialFolder::CommonAppData, "/etc"},
      {SpecialFolder::CommonTemp, "/etc\\Kestro\\temp"},
      {SpecialFolder::ProgramFiles, "/opt"},
      {SpecialFolder::ProgramFilesCommon, "/opt"}};
  for (const auto& [folder, expected] : cases) EXPECT_EQ(specialFolder(folder), expected) << folder;
  for (int folder : {3, 4, 5, 13, 14, 15, -1, 19}) EXPECT_EQ(specialFolder(folder), "") << folder;
  config.set("/x/conf");
  EXPECT_EQ(specialFolder(SpecialFolder::UserTemp), "/x/conf\\Kestro\\temp");
}

// Asks the bus as the configuration agent would.
struct Asker : ImsAgent {
  Asker() : ImsAgent("asker") {}
  // The result of the broadcast, the status and the answer text.
  bool ask(const std::string& group, SystemQueryParam& parameter) {
    ImsMessage message("system", group, "", &parameter);
    return sendMessage(message);
  }
  std::string query(const std::string& key, int32_t* status = nullptr) {
    std::string answer = "untouched";
    SystemQueryParam parameter(key, ConfNode::TypeSystemString, &answer, false);
    handled = ask("query", parameter);
    if (status != nullptr) *status = parameter.status;
    lastKey = parameter.key;
    return answer;
  }
  bool handled = false;
  std::string lastKey;
};

TEST(SystemBase, AnswersSystemStringQueries) {
  SystemBase system;
  Asker asker;
  int32_t status = -1;
  EXPECT_EQ(asker.query("hostname", &status), SystemInfo::get(SystemInfo::HostName));
  EXPECT_EQ(status, SystemQueryParam::StatusOk);
  EXPECT_EQ(asker.query("hostname.extra"), SystemInfo::get(SystemInfo::HostName));
  EXPECT_EQ(asker.lastKey, "hostname");
  EXPECT_EQ(asker.query("osbits"), std::to_string(sizeof(void*) * 8));
  for (const auto& [key, item] : std::vector<std::pair<const char*, SystemInfo::Item> >{
           {"osversion", SystemInfo::OsVersionNumber},
           {"currentuser", SystemInfo::CurrentUser},
           {"platform", SystemInfo::Platform},
           {"arch", SystemInfo::Architecture}}) {
    EXPECT_EQ(asker.query(key), SystemInfo::get(item)) << key;
  }
  // Unknown keys and keys in another case: status 3, handled, answer untouched.
  for (const std::string key : {"HostName", "nosuchkey", "", ".x"}) {
    EXPECT_EQ(asker.query(key, &status), "untouched") << key;
    EXPECT_EQ(status, SystemQueryParam::StatusNotFound) << key;
    EXPECT_TRUE(asker.handled) << key;
  }
}

TEST(SystemBase, AnswersGroupsAddressesAndVolumes) {
  SystemBase system;
  Asker asker;
  std::vector<std::string> groups = lines(asker.query("groups"));
  ASSERT_FALSE(groups.empty());
  EXPECT_TRUE(std::is_sorted(groups.begin(), groups.end()));
  EXPECT_EQ(std::adjacent_find(groups.begin(), groups.end()), groups.end());

  // The user's primary group lists the user although /etc/group need not.
  const passwd* user = ::getpwuid(::geteuid());
  ASSERT_NE(user, nullptr);
  std::vector<std::string> mine = lines(asker.query("usergroups." + std::string(user->pw_name)));
  EXPECT_FALSE(mine.empty());
  EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
  for (const std::string& group : mine) {
    std::vector<std::string> members = lines(asker.query("groupusers." + group));
    EXPECT_TRUE(std::is_sorted(members.begin(), members.end()));
    EXPECT_NE(std::find(members.begin(), members.end(), user->pw_name), members.end()) << group;
  }
  EXPECT_EQ(asker.query("groupusers.no-such-group-here"), "");
  EXPECT_EQ(asker.query("usergroups.no-such-user-here"), "");

  std::string ip = asker.query("ip");
  for (const std::string& address : lines(ip)) {
    EXPECT_TRUE(matches(address, "[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}")) << address;
    EXPECT_NE(address, "127.0.0.1");
  }
  EXPECT_TRUE(ip.empty() || ip.back() != '\n');
  EXPECT_TRUE(matches(asker.query("diskserial./"), "[0-9]+"));
  EXPECT_EQ(asker.query("diskserial.\\no\\such\\dir"), "[unknown]");
}

TEST(SystemBase, SortsOutMessagesItDoesNotServeAndRemovesItsHooks) {
  Asker asker;
  std::string answer = "untouched";
  {
    SystemBase system;
    SystemQueryParam query("x", ConfNode::TypeString, &answer, false);
    EXPECT_TRUE(asker.ask("query", query));
    EXPECT_EQ(query.status, SystemQueryParam::StatusUnsupported);
    SystemQueryParam set("x", ConfNode::TypeSystemString, &answer, false);
    EXPECT_TRUE(asker.ask("set", set));
    EXPECT_EQ(set.status, SystemQueryParam::StatusSetFailed);
    EXPECT_EQ(answer, "untouched");

    SystemQueryParam other("hostname", ConfNode::TypeSystemString, &answer, false);
    ImsMessage notSystem("System", "query", "", &other), notQuery("system", "get", "", &other),
        noParameter("system", "query", ""), good("system", "query", "", &other);
    EXPECT_EQ(system.receiveMessage(notSystem), 1);
    EXPECT_EQ(system.receiveMessage(notQuery), 1);
    EXPECT_EQ(system.receiveMessage(noParameter), 1);
    EXPECT_EQ(system.receiveHookedMessage(999999, good), 1);
    EXPECT_EQ(answer, "untouched");
    EXPECT_EQ(system.receiveMessage(good), 3);
    EXPECT_EQ(answer, SystemInfo::get(SystemInfo::HostName));
  }
  SystemQueryParam query("hostname", ConfNode::TypeSystemString, &answer, false);
  EXPECT_FALSE(asker.ask("query", query));
}

// ---- Local values through the configuration agent --------------------------------------------

class LocalValues : public TempRegistry {
 protected:
  // Sets a local value as a "system"/"set" broadcast and returns the status.
  template <typename T>
  int32_t set(const std::string& key, int32_t type, T value, bool userScope = false) {
    SystemQueryParam parameter(key, type, &value, userScope);
    EXPECT_TRUE(asker.ask("set", parameter));
    return parameter.status;
  }
  // Queries a local value through the configuration agent.
  template <typename T>
  T get(const std::string& key, int32_t type, T initial, bool userScope = false) {
    T value = initial;
    agent.getLocal(new SystemQueryParam(key, type, &value, userScope));
    return value;
  }
  // Queries a local value as a "system"/"query" broadcast and returns the status; what the
  // configuration agent makes of a status is ConfAgentTest's.
  template <typename T>
  int32_t status(const std::string& key, int32_t type, T initial = T(), bool userScope = false) {
    SystemQueryParam parameter(key, type, &initial, userScope);
    EXPECT_TRUE(asker.ask("query", parameter));
    causes = parameter.causes;
    return parameter.status;
  }
  std::vector<Exception> causes;  // of the last status query
  SystemBase system;
  ConfAgent agent;
  Asker asker;
};

TEST_F(LocalValues, ResourceLocationsComeFromTheMachineHive) {
  writeHive("HKEY_LOCAL_MACHINE",
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n"
            "\"InstallDir\"=\"/opt/kestro\"\n\"ConfigurationDir\"=\"/opt/kestro/config\"\n");
  // Which key KESTRO_ENV selects instead is WinRegistryTest's.
  EXPECT_EQ(agent.getLocalString("Resources\\InstallDir", false), "/opt/kestro");
  EXPECT_EQ(agent.getLocalString("Resources\\ConfigurationDir", false), "/opt/kestro/config");
}

TEST_F(LocalValues, SampleInstallationHiveNamesBothDirectories) {
  const char* source = std::getenv("PLAVO_SOURCE_DIR");
  std::string file = __FILE__;
  std::string root = source != nullptr ? source : file.substr(0, file.rfind('/')) + "/../../..";
  registryDir.set(root + "/examples/registry");
  EXPECT_EQ(agent.getLocalString("Resources\\InstallDir", false), "%KESTRO_SAMPLE%");
  EXPECT_EQ(agent.getLocalString("Resources\\ConfigurationDir", false), "%KESTRO_SAMPLE%\\config");
}

TEST_F(LocalValues, EveryTypeRoundTrips) {
  EXPECT_EQ(set<int64_t>("Numbers\\Int", ConfNode::TypeLocalInt, -9223372036854775807 - 1), 0);
  EXPECT_EQ(set<uint64_t>("Numbers\\Uint", ConfNode::TypeLocalUint, 18446744073709551615ULL), 0);
  EXPECT_EQ(set<double>("Numbers\\Float", ConfNode::TypeLocalFloat, 0.5), 0);
  EXPECT_EQ(set<std::string>("Text", ConfNode::TypeLocalString, "C:\\x \"y\""), 0);
  EXPECT_EQ(set<std::vector<std::string> >("A\\B\\Set", ConfNode::TypeLocalSet, {"b", "a"}), 0);
  EXPECT_EQ(
      hive("HKEY_LOCAL_MACHINE"),
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Numbers]\n"
      "\"Int\"=\"-9223372036854775808\"\n\"Uint\"=\"18446744073709551615\"\n\"Float\"=\"0.5\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"Text\"=\"C:\\\\x \\\"y\\\"\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\A\\B]\n\"Set\"=hex(7):62,00,61,00,00\n");
  EXPECT_EQ(get<int64_t>("numbers\\int", ConfNode::TypeLocalInt, 0), -9223372036854775807 - 1);
  EXPECT_EQ(get<uint64_t>("Numbers\\Uint", ConfNode::TypeLocalUint, 0), 18446744073709551615ULL);
  EXPECT_EQ(get<double>("Numbers\\Float", ConfNode::TypeLocalFloat, 0), 0.5);
  EXPECT_EQ(get<std::string>("Text", ConfNode::TypeLocalString, ""), "C:\\x \"y\"");
  EXPECT_EQ(get<std::vector<std::string> >("A\\B\\Set", ConfNode::TypeLocalSet, {}),
            (std::vector<std::string>{"b", "a"}));
  // A user-scoped value of any user but "SYSTEM" lives in the user's hive.
  EXPECT_EQ(set<std::string>("Scoped", ConfNode::TypeLocalString, "mine", true), 0);
  EXPECT_EQ(hive("HKEY_CURRENT_USER"),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Kestro]\n\"Scoped\"=\"mine\"\n");
  EXPECT_EQ(get<std::string>("Scoped", ConfNode::TypeLocalString, "", true), "mine");
  EXPECT_EQ(status<std::string>("Scoped", ConfNode::TypeLocalString),
            SystemQueryParam::StatusNotFound);
}

TEST_F(LocalValues, FailuresBecomeStatusCodes) {
  writeHive("HKEY_LOCAL_MACHINE",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"Count\"=dword:00000005\n"
            "\"Word\"=\"five\"\n\"Big\"=\"99999999999999999999\"\n\"Neg\"=\"-1\"\n");
  EXPECT_EQ(status<std::string>("Count", ConfNode::TypeLocalString),
            SystemQueryParam::StatusWrongType);
  // A stored text that is no number of the kind asked for is a wrong type, and the value stays.
  for (const std::string key : {"Word", "Big"}) {
    int64_t number = 7;
    SystemQueryParam parameter(key, ConfNode::TypeLocalInt, &number, false);
    asker.ask("query", parameter);
    EXPECT_EQ(parameter.status, SystemQueryParam::StatusWrongType) << key;
    EXPECT_EQ(number, 7) << key;
  }
  EXPECT_EQ(status<uint64_t>("Neg", ConfNode::TypeLocalUint), SystemQueryParam::StatusWrongType);
  EXPECT_EQ(status<double>("Word", ConfNode::TypeLocalFloat), SystemQueryParam::StatusWrongType);
  EXPECT_EQ(status<std::string>("No\\Such", ConfNode::TypeLocalString),
            SystemQueryParam::StatusNotFound);

  // A hive that does not parse: no access for queries, with the registry's error (which names
  // the file; its text is RegistryHiveTest's) as the cause, and a failed set.
  writeHive("HKEY_LOCAL_MACHINE", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"x\"=\n");
  LogCollector warnings("functional", "3");
  EXPECT_EQ(status<std::string>("Resources\\InstallDir", ConfNode::TypeLocalString),
            SystemQueryParam::StatusNoAccess);
  ASSERT_EQ(causes.size(), 1u);
  const std::string file = hiveFile("HKEY_LOCAL_MACHINE");
  EXPECT_NE(causes[0].getText().find("Exception: " + file + " "), std::string::npos)
      << causes[0].getText();
  EXPECT_EQ(set<std::string>("Text", ConfNode::TypeLocalString, "x"),
            SystemQueryParam::StatusSetFailed);
  // It also reaches whoever listens to warnings.
  EXPECT_EQ(std::count_if(warnings.records.begin(), warnings.records.end(),
                          [&](const Seen& s) {
                            return s.sourceName == "systembase" &&
                                   s.rendered.find(file + " ") != std::string::npos;
                          }),
            2);
}

TEST_F(LocalValues, RefusedAccessBecomesStatusCodes) {
  writeHive("HKEY_LOCAL_MACHINE",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"Text\"=\"t\"\n");
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  ASSERT_EQ(::chmod(hiveFile("HKEY_LOCAL_MACHINE").c_str(), 0444), 0);
  EXPECT_EQ(runUnprivileged([&] {
              return std::to_string(set<std::string>("Text", ConfNode::TypeLocalString, "x")) +
                     " " + get<std::string>("Text", ConfNode::TypeLocalString, "");
            }),
            "10 t");
  ASSERT_EQ(::chmod(hiveFile("HKEY_LOCAL_MACHINE").c_str(), 0), 0);
  EXPECT_EQ(runUnprivileged([&] {
              std::string value = "untouched";
              SystemQueryParam parameter("Text", ConfNode::TypeLocalString, &value, false);
              asker.ask("query", parameter);
              return std::to_string(parameter.status) + " " + value;
            }),
            "6 untouched");
  ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
}

TEST_F(LocalValues, FloatsReadBackUnderADecimalCommaLocale) {
  // The toolkit switches to the user's locale; in a German one the decimal separator is ','.
  NumericLocale comma("de_DE", ",");
  if (!comma.problem.empty()) GTEST_SKIP() << comma.problem;
  // The query's status and the value it leaves.
  auto read = [&](const std::string& key) {
    double value = 7;
    SystemQueryParam query(key, ConfNode::TypeLocalFloat, &value, false);
    asker.ask("query", query);
    return std::to_string(query.status) + " " + StringTools::toString(value);
  };
  EXPECT_EQ(set<double>("Float", ConfNode::TypeLocalFloat, 0.5), 0);
  EXPECT_EQ(hive("HKEY_LOCAL_MACHINE"),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"Float\"=\"0.5\"\n");
  EXPECT_EQ(read("Float"), "0 0.5");
  writeHive("HKEY_LOCAL_MACHINE",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"Big\"=\" -1.25e3 \"\n"
            "\"Tail\"=\"1.5x\"\n");
  EXPECT_EQ(read("Big"), "0 -1250");
  EXPECT_EQ(read("Tail"), "4 7");
}
#endif

}  // namespace
}  // namespace KestroCorelib
