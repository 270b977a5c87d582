// The launcher on the real CreateProcessW (under Wine in CI): what the child's runtime sees.
#include <windows.h>
// After windows.h, which it needs:
#include <aclapi.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ChildProcess.h"
#include "TestSupport.h"

using Kestro::ChildProcess;
using testsupport::readFile;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

// The argument recorder, built beside this test program.
std::string recorder() {
  char self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string path(self, length);
  return path.substr(0, path.find_last_of('\\') + 1) + "ArgvRecorder.exe";
}

// Starts program with the arguments text, waits for it, and returns what it recorded.
std::string record(const std::string& program, const std::string& arguments) {
  ChildProcess child(program, arguments, true);
  EXPECT_TRUE(child.start()) << program;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(child.getProcessId()));
  EXPECT_NE(process, nullptr);
  if (process == nullptr) return "not started";
  EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
  CloseHandle(process);
  return readFile(program.substr(0, program.find_last_of('\\') + 1) + "out");
}

}  // namespace

// A blank in the program's folder (as in "C:\Program Files") neither lets Windows start
// another program ("C:\...\my.exe") nor moves the child's arguments.
TEST(ChildProcessWindows, ProgramInAFolderWithABlankGetsItsArgumentsInPlace) {
  const TempDir temp("childprocess");
  fs::create_directory(fs::path(temp.path) / "my tools");
  const std::string program = temp.path + "\\my tools\\rec.exe";
  fs::copy_file(recorder(), program);
  fs::copy_file(recorder(), temp.path + "\\my.exe");  // what an unnamed application would run
  EXPECT_EQ(record(program, "a \"b c\""), "[" + program + "]\n[a]\n[b c]\n");
  EXPECT_FALSE(fs::exists(temp.path + "\\out"));
}

// The child gets the default security of this process's token: a null DACL would let every
// user of the machine open it with full access.
TEST(ChildProcessWindows, ChildHasADacl) {
  const TempDir temp("childprocess");
  const std::string program = temp.path + "\\rec.exe";
  fs::copy_file(recorder(), program);
  ChildProcess child(program, "", true);
  ASSERT_TRUE(child.start());
  HANDLE process =
      OpenProcess(READ_CONTROL | SYNCHRONIZE, FALSE, static_cast<DWORD>(child.getProcessId()));
  ASSERT_NE(process, nullptr);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_EQ(GetSecurityInfo(process, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_NE(dacl, nullptr);
  LocalFree(descriptor);
  WaitForSingleObject(process, 30000);
  CloseHandle(process);
}

TEST(ChildProcessWindows, MissingProgramDoesNotStart) {
  const TempDir temp("childprocess");
  ChildProcess missing(temp.path + "\\none.exe", "a", true);
  EXPECT_FALSE(missing.start());
  EXPECT_EQ(missing.getState(), ChildProcess::NotStarted);
}
