#include <signal.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Platform/Win32/Win32Types.h"
#include "Tests/Platform/Store/StoreTestFixture.h"

namespace {

std::vector<std::string> crashReports(const std::string& dir) {
  std::vector<std::string> reports;
  for (const auto& entry : std::filesystem::directory_iterator(dir + "/crashes")) {
    std::ostringstream text;
    text << std::ifstream(entry.path()).rdbuf();
    reports.push_back(text.str());
  }
  return reports;
}

TEST_F(StoreTest, CrashReportHoldsCommentCodeAddressBuildAndBacktrace) {
  ASSERT_TRUE(SteamAPI_Init());
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x401234});
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = 1;
  record.ExceptionInformation[1] = 444;
  EXCEPTION_POINTERS pointers{&record, nullptr};
  SteamAPI_SetMiniDumpComment("Assertion: [fDT > KV_ZERO]\nFile: System\\ClMainLoop, line 567\n");
  SteamAPI_WriteMiniDump(EXCEPTION_ACCESS_VIOLATION, &pointers, 534);
  SteamAPI_SetMiniDumpComment(std::string(20000, 'c').c_str());
  SteamAPI_WriteMiniDump(0xE06D7363u, nullptr, 534);

  std::vector<std::string> reports = crashReports(m_dir);
  ASSERT_EQ(reports.size(), 2u);
  std::sort(reports.begin(), reports.end(), [](const std::string& a, const std::string& b) {
    return a.size() < b.size();
  });
  const std::string& first = reports[0];
  EXPECT_NE(first.find("Build: 534\n"), std::string::npos);
  EXPECT_NE(first.find("Exception code: 0xC0000005\n"), std::string::npos);
  EXPECT_NE(first.find("Exception address: 0x0000000000401234\n"), std::string::npos);
  EXPECT_NE(first.find("Access: write of address 0x00000000000001BC\n"), std::string::npos);
  EXPECT_NE(first.find("Comment:\nAssertion: [fDT > KV_ZERO]\nFile: System\\ClMainLoop, line 567\n"),
            std::string::npos);
  const std::size_t uiTrace = first.find("\nBacktrace:\n");
  ASSERT_NE(uiTrace, std::string::npos);
  EXPECT_GT(first.size(), uiTrace + 20);  // at least one frame
  EXPECT_NE(reports[1].find("Exception address: unknown\n"), std::string::npos);
  EXPECT_NE(reports[1].find(std::string(16383, 'c') + "\nBacktrace:"), std::string::npos);
}

// A real fault: the handler turns it into a report from inside the signal handler.
void faultHandler(int, siginfo_t* pInfo, void* pContext) {
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress =
      reinterpret_cast<LPVOID>(static_cast<ucontext_t*>(pContext)->uc_mcontext.gregs[REG_RIP]);
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = 1;
  record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(pInfo->si_addr);
  EXCEPTION_POINTERS pointers{&record, nullptr};
  SteamAPI_SetMiniDumpComment("FATAL ERROR: stopped on purpose");
  SteamAPI_WriteMiniDump(EXCEPTION_ACCESS_VIOLATION, &pointers, 534);
  ::_exit(3);
}

TEST_F(StoreTest, CrashReportIsWrittenFromAFaultHandler) {
  ASSERT_TRUE(SteamAPI_Init());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct sigaction action {};
    action.sa_sigaction = &faultHandler;
    action.sa_flags = SA_SIGINFO;
    ::sigaction(SIGSEGV, &action, nullptr);
    volatile std::uintptr_t uiAddress = 333;
    *reinterpret_cast<volatile char*>(uiAddress) = 0;
    ::_exit(0);
  }
  int iStatus = 0;
  ::waitpid(child, &iStatus, 0);
  ASSERT_TRUE(WIFEXITED(iStatus));
  EXPECT_EQ(WEXITSTATUS(iStatus), 3);
  const std::vector<std::string> reports = crashReports(m_dir);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("Access: write of address 0x000000000000014D\n"), std::string::npos) << reports[0];
  EXPECT_NE(reports[0].find("Comment:\nFATAL ERROR: stopped on purpose\nBacktrace:\n"), std::string::npos);
}

}  // namespace
