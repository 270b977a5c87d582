// The built plavo.exe end to end on Windows (under Wine in CI): the installation is named in
// the real registry, the program is started with CreateProcess, and the message boxes it
// shows are read and closed as a user would.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

using testsupport::readFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

// What a run showed: its exit code and each message box as "caption|text".
struct RunResult {
  DWORD exitCode = 0;
  std::vector<std::string> boxes;
};

// A program built beside this test program: plavo.exe, ArgvRecorder.exe.
std::string besideTests(const std::string& name) {
  char self[MAX_PATH] = {};
  const std::string path(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  return path.substr(0, path.find_last_of('\\') + 1) + name;
}

struct BoxSearch {
  DWORD processId;
  HWND found;
};

// Keeps the first visible message box (dialog class "#32770") of the searched process. A named
// CALLBACK function: on 32-bit Windows the system calls it with the stdcall convention.
BOOL CALLBACK keepBox(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<BoxSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char windowClass[16] = {};
  GetClassNameA(window, windowClass, sizeof windowClass);
  if (owner != search->processId || std::string(windowClass) != "#32770" ||
      !IsWindowVisible(window)) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

HWND findBox(DWORD processId) {
  BoxSearch search{processId, nullptr};
  EnumWindows(keepBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A throw-away installation named under its own registry key (KESTRO_ENV), so that tests
// running side by side never share one: install\config holds a map with one project open to
// everybody, install\log\temp takes the ID files.
class Installation {
 public:
  Installation() {
    for (const char* sub :
         {"\\install", "\\install\\config", "\\install\\log", "\\install\\log\\temp"}) {
      fs::create_directory(root + sub);
    }
    setValue("InstallDir", root + "\\install");
    setValue("ConfigurationDir", conf());
    writeFile(conf() + "\\projectmap.kconf",
              "map {\n plavo {\n  projects {\n   handbook(global) {\n   }\n  }\n }\n}\n");
  }
  ~Installation() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str()); }

  std::string conf() const { return root + "\\install\\config"; }
  std::string temp() const { return root + "\\install\\log\\temp"; }
  void setValue(const std::string& name, const std::string& value) const {
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &opened, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(opened, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(opened);
  }
  void deleteValue(const std::string& name) const {
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str());
  }

  // Runs plavo.exe with the arguments in root and waits for it, reading and confirming every
  // message box it shows; a run that does not end within a minute is ended and fails.
  RunResult run(const std::string& arguments) const {
    const ScopedEnv env("KESTRO_ENV", key.c_str());
    const std::string program = besideTests("plavo.exe");
    std::string line = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    RunResult result;
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        root.c_str(), &startup, &process)) {
      ADD_FAILURE() << "cannot start " << program;
      return result;
    }
    for (int waited = 0; WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT; ++waited) {
      if (waited == 600) {
        TerminateProcess(process.hProcess, 99);
        ADD_FAILURE() << "plavo.exe " << arguments << " did not end";
      }
      if (HWND box = findBox(process.dwProcessId)) {
        char caption[256] = {}, text[1024] = {};
        GetWindowTextA(box, caption, sizeof caption);
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the box's static text
        result.boxes.push_back(std::string(caption) + "|" + text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        // Give the box time to go before looking again.
        for (int i = 0; i < 50 && IsWindow(box); ++i) Sleep(100);
      }
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
  }

 private:
  TempDir folder{"plavo-windows"};

 public:
  const std::string root = folder.path;
  const std::string key = "SOFTWARE\\Kestro\\Test-" + fs::path(root).filename().string();
};

// Message boxes need a window system: Wine has one only with a display.
bool boxesCanShow() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

}  // namespace

TEST(PlavoWindows, SetRegistersTheProjectWithoutABox) {
  const Installation inst;
  const RunResult run = inst.run("--set handbook");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.boxes, std::vector<std::string>());
  char user[256] = {};
  DWORD userSize = sizeof user;
  ASSERT_TRUE(GetUserNameA(user, &userSize));
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  const std::string idFile =
      inst.temp() + "\\project_id-" + user + "-" + std::to_string(session) + ".idval";
  const std::string content = readFile(idFile);
  ASSERT_EQ(content.compare(0, 5, "time="), 0) << idFile << ": " << content;
  const std::size_t end = content.find('\n');
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(content.substr(5, end - 5).find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(content.substr(end), "\nproject=handbook");
}

TEST(PlavoWindows, VersionAndFailuresAreShownInBoxes) {
  if (!boxesCanShow()) GTEST_SKIP() << "no display for message boxes";
  Installation inst;
  const RunResult version = inst.run("--version");
  EXPECT_EQ(version.exitCode, 0u);
  ASSERT_EQ(version.boxes.size(), 1u);
  EXPECT_EQ(version.boxes[0].substr(version.boxes[0].find('|')), "|Version=6.3.0.0");

  inst.deleteValue("InstallDir");
  const RunResult failed = inst.run("--set handbook");
  EXPECT_EQ(failed.exitCode, 2u);
  ASSERT_EQ(failed.boxes.size(), 1u);
  EXPECT_EQ(failed.boxes[0].substr(failed.boxes[0].find('|')),
            "|GetLocal_NotFound: Configuration key \"Resources\\InstallDir\" was not found");
  EXPECT_TRUE(fs::is_empty(inst.temp()));
}

// The launched program is searched on PATH, whose entries ";" separates, with ".exe" added to
// a bare name; it inherits the project and gets the forwarded arguments in place.
TEST(PlavoWindows, LaunchFindsTheProgramOnPathAndForwardsArguments) {
  const Installation inst;
  const std::string empty = inst.root + "\\empty", bin = inst.root + "\\bin";
  fs::create_directory(empty);
  fs::create_directory(bin);
  fs::copy_file(besideTests("ArgvRecorder.exe"), bin + "\\recorder.exe");
  const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  const ScopedEnv searchPath("PATH", (empty + ";" + bin + ";" + path).c_str());
  const RunResult run = inst.run("--set handbook --launch recorder a \"b c\" d");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.boxes, std::vector<std::string>());
  // The child is not waited for: its record is complete once its last line is there.
  const std::string out = bin + "\\out";
  for (int i = 0; i < 300 && readFile(out).find("KESTRO_PROJECT=") == std::string::npos; ++i) {
    Sleep(100);
  }
  EXPECT_EQ(readFile(out),
            "[" + bin + "\\recorder.exe]\n[a]\n[b c]\n[d]\nKESTRO_PROJECT=handbook\n");
}
