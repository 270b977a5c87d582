// System information, special folders and the "system" bus agent. Facts about this machine are
// checked for their form (digits, sorted, no loopback), never for this machine's values.
#include <gtest/gtest.h>

#include "SystemBase.h"

#ifndef _WIN32
#  include <pwd.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "ConfAgent.h"
#include "ConfNode.h"
#include "Logger.h"
#include "UnprivilegedRun.h"

namespace KestroCorelib {
namespace {

#ifndef _WIN32
bool matches(const std::string& text, const std::string& pattern) {
  return std::regex_match(text, std::regex(pattern));
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// SystemInfo learns everything once per process, so answers that depend on the environment
// are asked in a fresh run of this program (SystemInfo.ChildPrintsItem) with that environment:
// the variables the items depend on are cleared, then `variables` are set.
using Variables = std::vector<std::pair<const char*, const char*>>;
std::string itemInChild(SystemInfo::Item item, const Variables& variables) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::dup2(fds[1], 1);
    for (const char* name : {"DISPLAY", "SSH_CLIENT", "LC_ALL", "LANG", "XDG_SESSION_ID"}) {
      ::unsetenv(name);
    }
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
  std::size_t begin = output.find("<<");
  std::size_t end = output.rfind(">>");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || begin == std::string::npos || end < begin) {
    return "child failed: " + output;
  }
  return output.substr(begin + 2, end - begin - 2);
}

// The child side of itemInChild; in an ordinary run there is nothing to print.
TEST(SystemInfo, ChildPrintsItem) {
  const char* item = std::getenv("PLAVO_TEST_SYSTEMINFO_ITEM");
  if (item == nullptr) GTEST_SKIP() << "only run by itemInChild";
  std::string answer = SystemInfo::get(static_cast<SystemInfo::Item>(std::atoi(item)));
  std::printf("<<%s>>", answer.c_str());
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
  const char* savedHome = std::getenv("HOME");
  std::string home = savedHome != nullptr ? savedHome : "";
  ::setenv("HOME", "/home/t", 1);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(specialFolder(SpecialFolder::Documents), "/home/t/Documents");
  EXPECT_EQ(specialFolder(SpecialFolder::Desktop), "/home/t/Desktop");
  EXPECT_EQ(specialFolder(SpecialFolder::AppData), "/home/t/.config");
  EXPECT_EQ(specialFolder(SpecialFolder::UserTemp), "/home/t/.config\\Kestro\\temp");
  ::setenv("XDG_CONFIG_HOME", "/x/conf", 1);
  EXPECT_EQ(specialFolder(SpecialFolder::UserTemp), "/x/conf\\Kestro\\temp");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(specialFolder(SpecialFolder::CommonAppData), "/etc");
  EXPECT_EQ(specialFolder(SpecialFolder::CommonTemp), "/etc\\Kestro\\temp");
  EXPECT_EQ(specialFolder(SpecialFolder::ProgramFiles), "/opt");
  EXPECT_EQ(specialFolder(SpecialFolder::ProgramFilesCommon), "/opt");
  for (int folder : {3, 4, 5, 13, 14, 15, -1, 19}) EXPECT_EQ(specialFolder(folder), "") << folder;
  ::setenv("HOME", home.c_str(), 1);
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
  EXPECT_EQ(status, 0);
  EXPECT_EQ(asker.query("hostname.extra"), SystemInfo::get(SystemInfo::HostName));
  EXPECT_EQ(asker.lastKey, "hostname");
  EXPECT_EQ(asker.query("osbits"), std::to_string(sizeof(void*) * 8));
  EXPECT_EQ(asker.query("osversion"), SystemInfo::get(SystemInfo::OsVersionNumber));
  EXPECT_EQ(asker.query("currentuser"), SystemInfo::get(SystemInfo::CurrentUser));
  EXPECT_EQ(asker.query("platform"), SystemInfo::get(SystemInfo::Platform));
  EXPECT_EQ(asker.query("arch"), SystemInfo::get(SystemInfo::Architecture));

  // Unknown keys and keys in another case: status 3, handled, answer untouched.
  for (const std::string key : {"HostName", "nosuchkey", "", ".x"}) {
    EXPECT_EQ(asker.query(key, &status), "untouched") << key;
    EXPECT_EQ(status, 3) << key;
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

TEST(SystemBase, SortsOutMessagesItDoesNotServe) {
  SystemBase system;
  Asker asker;
  std::string answer = "untouched";
  SystemQueryParam query("x", ConfNode::TypeString, &answer, false);
  EXPECT_TRUE(asker.ask("query", query));
  EXPECT_EQ(query.status, 5);
  SystemQueryParam set("x", ConfNode::TypeSystemString, &answer, false);
  EXPECT_TRUE(asker.ask("set", set));
  EXPECT_EQ(set.status, 11);
  EXPECT_EQ(answer, "untouched");

  SystemQueryParam other("hostname", ConfNode::TypeSystemString, &answer, false);
  ImsMessage notSystem("System", "query", "", &other);
  EXPECT_EQ(system.receiveMessage(notSystem), 1);
  ImsMessage notQuery("system", "get", "", &other);
  EXPECT_EQ(system.receiveMessage(notQuery), 1);
  ImsMessage noParameter("system", "query", "");
  EXPECT_EQ(system.receiveMessage(noParameter), 1);
  ImsMessage good("system", "query", "", &other);
  EXPECT_EQ(system.receiveHookedMessage(999999, good), 1);
  EXPECT_EQ(answer, "untouched");
  EXPECT_EQ(system.receiveMessage(good), 3);
  EXPECT_EQ(answer, SystemInfo::get(SystemInfo::HostName));
}

TEST(SystemBase, RemovesItsHooks) {
  Asker asker;
  std::string answer;
  {
    SystemBase system;
    SystemQueryParam query("hostname", ConfNode::TypeSystemString, &answer, false);
    EXPECT_TRUE(asker.ask("query", query));
  }
  SystemQueryParam query("hostname", ConfNode::TypeSystemString, &answer, false);
  EXPECT_FALSE(asker.ask("query", query));
}

// ---- Local values through the configuration agent --------------------------------------------

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

// Collects the warnings that loggers post on the bus, rendered.
struct WarningListener : ImsAgent {
  WarningListener() : ImsAgent("listener") {
    hook = setMessageHook(false, "debug", "functional", "3", 1);
  }
  ~WarningListener() override { removeMessageHook(hook); }
  int32_t receiveHookedMessage(uint64_t id, ImsMessage& message) override {
    auto* record = dynamic_cast<Logger::LogMessageParameter*>(message.parameter);
    if (id != hook || record == nullptr) return 1;
    texts.push_back(record->sourceName + " " +
                    record->parameters.fill(Exception::scanTemplate(record->text)));
    return 2;
  }
  uint64_t hook = 0;
  std::vector<std::string> texts;
};

class LocalValues : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/systembase-test-XXXXXX";
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
  std::string hive(const std::string& root) const {
    std::ifstream in(dir + "/" + root + ".reg", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
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
  std::string dir;
  SystemBase system;
  ConfAgent agent;
  Asker asker;
};

TEST_F(LocalValues, ResourceLocationsComeFromTheMachineHive) {
  writeHive(
      "HKEY_LOCAL_MACHINE",
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Resources]\n\"InstallDir\"=\"/opt/"
      "kestro\"\n"
      "\"ConfigurationDir\"=\"/opt/kestro/config\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro\\Alt]\n"
      "\"InstallDir\"=\"/alt\"\n");
  EXPECT_EQ(agent.getLocalString("Resources\\InstallDir", false), "/opt/kestro");
  EXPECT_EQ(agent.getLocalString("Resources\\ConfigurationDir", false), "/opt/kestro/config");
  ::setenv("KESTRO_ENV", "SOFTWARE\\Kestro\\Alt", 1);
  EXPECT_EQ(agent.getLocalString("Resources\\InstallDir", false), "/alt");
  EXPECT_EQ(errorText<ConfAgent::GetLocal_NotFound>(
                [&] { agent.getLocalString("Resources\\ConfigurationDir", false); }),
            "GetLocal_NotFound: Configuration key \"Resources\\ConfigurationDir\" was not found");
}

TEST_F(LocalValues, SampleInstallationHiveNamesBothDirectories) {
  const char* source = std::getenv("PLAVO_SOURCE_DIR");
  std::string file = __FILE__;
  std::string root = source != nullptr ? source : file.substr(0, file.rfind('/')) + "/../../..";
  ::setenv("KESTRO_REGISTRY_DIR", (root + "/examples/registry").c_str(), 1);
  EXPECT_EQ(agent.getLocalString("Resources\\InstallDir", false), "%KESTRO_SAMPLE%");
  EXPECT_EQ(agent.getLocalString("Resources\\ConfigurationDir", false), "%KESTRO_SAMPLE%\\config");
}

TEST_F(LocalValues, EveryTypeRoundTrips) {
  EXPECT_EQ(set<int64_t>("Numbers\\Int", ConfNode::TypeLocalInt, -9223372036854775807 - 1), 0);
  EXPECT_EQ(set<uint64_t>("Numbers\\Uint", ConfNode::TypeLocalUint, 18446744073709551615ULL), 0);
  EXPECT_EQ(set<double>("Numbers\\Float", ConfNode::TypeLocalFloat, 0.5), 0);
  EXPECT_EQ(set<std::string>("Text", ConfNode::TypeLocalString, "C:\\x \"y\""), 0);
  EXPECT_EQ(set<std::vector<std::string>>("A\\B\\Set", ConfNode::TypeLocalSet, {"b", "a"}), 0);
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
  EXPECT_EQ(get<std::vector<std::string>>("A\\B\\Set", ConfNode::TypeLocalSet, {}),
            (std::vector<std::string>{"b", "a"}));
  // A user-scoped value of any user but "SYSTEM" lives in the user's hive.
  EXPECT_EQ(set<std::string>("Scoped", ConfNode::TypeLocalString, "mine", true), 0);
  EXPECT_EQ(hive("HKEY_CURRENT_USER"),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Kestro]\n\"Scoped\"=\"mine\"\n");
  EXPECT_EQ(get<std::string>("Scoped", ConfNode::TypeLocalString, "", true), "mine");
  EXPECT_EQ(errorText<ConfAgent::GetLocal_NotFound>(
                [&] { get<std::string>("Scoped", ConfNode::TypeLocalString, ""); }),
            "GetLocal_NotFound: Configuration key \"Scoped\" was not found");
}

TEST_F(LocalValues, FailuresBecomeStatusCodes) {
  writeHive("HKEY_LOCAL_MACHINE",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"Count\"=dword:00000005\n\"Word\"="
            "\"five\"\n"
            "\"Big\"=\"99999999999999999999\"\n\"Neg\"=\"-1\"\n");
  EXPECT_EQ(
      errorText<ConfAgent::GetLocal_WrongType>([&] { agent.getLocalString("Count", false); }),
      "GetLocal_WrongType: Configuration key \"Count\" is not of requested type (local string)");
  // A stored text that is no number of the kind asked for is a wrong type, and the value stays.
  int64_t number = 7;
  for (const std::string key : {"Word", "Big"}) {
    EXPECT_EQ(errorText<ConfAgent::GetLocal_WrongType>(
                  [&] { number = get<int64_t>(key, ConfNode::TypeLocalInt, 7); }),
              "GetLocal_WrongType: Configuration key \"" + key +
                  "\" is not of requested type (local int)");
  }
  EXPECT_EQ(number, 7);
  EXPECT_EQ(errorText<ConfAgent::GetLocal_WrongType>(
                [&] { get<uint64_t>("Neg", ConfNode::TypeLocalUint, 7); }),
            "GetLocal_WrongType: Configuration key \"Neg\" is not of requested type (local uint)");
  EXPECT_EQ(
      errorText<ConfAgent::GetLocal_WrongType>(
          [&] { get<double>("Word", ConfNode::TypeLocalFloat, 7); }),
      "GetLocal_WrongType: Configuration key \"Word\" is not of requested type (local float)");
  EXPECT_EQ(
      errorText<ConfAgent::GetLocal_NotFound>([&] { agent.getLocalString("No\\Such", false); }),
      "GetLocal_NotFound: Configuration key \"No\\Such\" was not found");

  // A hive that does not parse: no access for queries, a failed set, and the file stays.
  const std::string broken = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"x\"=\n";
  writeHive("HKEY_LOCAL_MACHINE", broken);
  WarningListener warnings;
  EXPECT_EQ(errorText<ConfAgent::GetLocal_NoAccess>(
                [&] { agent.getLocalString("Resources\\InstallDir", false); }),
            "GetLocal_NoAccess: Got request for configuration key \"Resources\\InstallDir\" of "
            "type local string, but "
            "failed to get access to it");
  EXPECT_EQ(set<std::string>("Text", ConfNode::TypeLocalString, "x"), 11);
  EXPECT_EQ(hive("HKEY_LOCAL_MACHINE"), broken);
  // Why it failed reaches whoever listens to warnings: the file and the line.
  const std::string cause = dir +
                            "/HKEY_LOCAL_MACHINE.reg is not a valid REGEDIT4 hive: line 3: unknown "
                            "kind of value (expected \"text\", dword: or hex:)";
  EXPECT_EQ(std::count_if(warnings.texts.begin(), warnings.texts.end(),
                          [&](const std::string& text) {
                            return text.rfind("systembase ", 0) == 0 &&
                                   text.find(cause) != std::string::npos;
                          }),
            2);
}

TEST_F(LocalValues, RefusedAccessBecomesStatusCodes) {
  writeHive("HKEY_LOCAL_MACHINE",
            "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestro]\n\"Text\"=\"t\"\n");
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  ASSERT_EQ(::chmod((dir + "/HKEY_LOCAL_MACHINE.reg").c_str(), 0444), 0);
  EXPECT_EQ(testsupport::runUnprivileged([&] {
              return std::to_string(set<std::string>("Text", ConfNode::TypeLocalString, "x")) +
                     " " + get<std::string>("Text", ConfNode::TypeLocalString, "");
            }),
            "10 t");
  ASSERT_EQ(::chmod((dir + "/HKEY_LOCAL_MACHINE.reg").c_str(), 0), 0);
  EXPECT_EQ(testsupport::runUnprivileged([&] {
              std::string value = "untouched";
              SystemQueryParam parameter("Text", ConfNode::TypeLocalString, &value, false);
              asker.ask("query", parameter);
              return std::to_string(parameter.status) + " " + value;
            }),
            "6 untouched");
  ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
}
#endif

}  // namespace
}  // namespace KestroCorelib
