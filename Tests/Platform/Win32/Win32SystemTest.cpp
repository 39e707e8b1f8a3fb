#include "Platform/Win32/Win32System.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "Platform/Win32/Win32Files.h"
#include "Platform/Win32/Win32Threads.h"
#include "Platform/Win32/Win32Time.h"

namespace {

class Win32System : public ::testing::Test {
 protected:
  void TearDown() override {
    Win32SetProcessorTopology(0, 0);
    Win32SetCommandLine(0, nullptr);
    Win32ClearFaults();
    unsetenv("GRINDLOW_LOGICAL_PROCESSORS");
    unsetenv("GRINDLOW_WIN32_FAULTS");
  }
};

struct ProcessorCount {
  int iCores = 0;
  int iLogical = 0;
  bool bAvailable = false;
};

// Counts as the task manager does: the routine looked up by name, the buffer grown while too small, the bits of
// core records only.
ProcessorCount countProcessors() {
  ProcessorCount count;
  typedef BOOL (*GlpiRoutine)(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION, PDWORD);
  auto pRoutine = reinterpret_cast<GlpiRoutine>(GetProcAddress(GetModuleHandleA("kernel32"),
                                                               "GetLogicalProcessorInformation"));
  if (!pRoutine) return count;
  count.bAvailable = true;
  std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> buffer;
  DWORD dwLength = 0;
  while (!pRoutine(buffer.empty() ? nullptr : buffer.data(), &dwLength)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return count;
    buffer.resize(dwLength / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
  }
  for (size_t i = 0; i < dwLength / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION); ++i) {
    if (buffer[i].Relationship != RelationProcessorCore) continue;
    ++count.iCores;
    count.iLogical += __builtin_popcount(static_cast<unsigned>(buffer[i].ProcessorMask));
  }
  return count;
}

TEST_F(Win32System, ProcessorInformationAsksForItsBufferLength) {
  Win32SetProcessorTopology(2, 2);
  DWORD dwLength = 0;
  EXPECT_FALSE(GetLogicalProcessorInformation(nullptr, &dwLength));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_EQ(dwLength, 4 * sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));  // 2 cores, the package, the node
  std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> records(4);
  DWORD dwShort = dwLength - 1;
  EXPECT_FALSE(GetLogicalProcessorInformation(records.data(), &dwShort));
  EXPECT_EQ(dwShort, dwLength);

  ASSERT_TRUE(GetLogicalProcessorInformation(records.data(), &dwLength));
  EXPECT_EQ(records[1].Relationship, RelationProcessorCore);
  EXPECT_EQ(records[0].ProcessorMask & records[1].ProcessorMask, 0u);
  EXPECT_EQ(records[0].ProcessorCore.Flags, LTP_PC_SMT);
  EXPECT_EQ(records[2].Relationship, RelationProcessorPackage);
  EXPECT_EQ(records[2].ProcessorMask, records[0].ProcessorMask | records[1].ProcessorMask);
  EXPECT_EQ(records[3].Relationship, RelationNumaNode);
  const ProcessorCount count = countProcessors();
  EXPECT_EQ(count.iCores, 2);
  EXPECT_EQ(count.iLogical, 4);
}

TEST_F(Win32System, ProcessorCountComesFromTestEnvironmentOrHost) {
  setenv("GRINDLOW_LOGICAL_PROCESSORS", "3", 1);
  EXPECT_EQ(countProcessors().iCores, 3);
  EXPECT_EQ(countProcessors().iLogical, 3);
  setenv("GRINDLOW_LOGICAL_PROCESSORS", "2x4", 1);
  EXPECT_EQ(countProcessors().iCores, 2);
  EXPECT_EQ(countProcessors().iLogical, 8);
  Win32SetProcessorTopology(5, 1);  // a test's setting wins over the environment
  EXPECT_EQ(countProcessors().iLogical, 5);
  Win32SetProcessorTopology(0, 0);

  cpu_set_t allowed;
  ASSERT_EQ(sched_getaffinity(0, sizeof(allowed), &allowed), 0);
  for (const char* pBad : {"0", "3y", "2x"}) {
    setenv("GRINDLOW_LOGICAL_PROCESSORS", pBad, 1);
    testing::internal::CaptureStderr();
    const ProcessorCount count = countProcessors();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("GRINDLOW_LOGICAL_PROCESSORS"), std::string::npos);
    EXPECT_EQ(count.iLogical, std::min(CPU_COUNT(&allowed), 64)) << pBad;
    EXPECT_GE(count.iCores, 1);
    EXPECT_LE(count.iCores, count.iLogical);
  }
}

TEST_F(Win32System, ModuleAndRoutineLookup) {
  HMODULE hKernel = GetModuleHandleA("kernel32");
  ASSERT_NE(hKernel, nullptr);
  EXPECT_EQ(GetModuleHandleA("KERNEL32.DLL"), hKernel);
  EXPECT_EQ(GetModuleHandleA("user32"), nullptr);
  EXPECT_EQ(GetProcAddress(hKernel, "GetLogicalProcessorInfo"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));

  Win32InjectFault(Win32Fault::ProcessorInfoMissing, 0, -1);
  EXPECT_FALSE(countProcessors().bAvailable);
  EXPECT_FALSE(countProcessors().bAvailable);
  Win32InjectFault(Win32Fault::ProcessorInfoCall, ERROR_INVALID_PARAMETER, 1);
  Win32InjectFault(Win32Fault::ProcessorInfoMissing, 0, 0);
  const ProcessorCount count = countProcessors();
  EXPECT_TRUE(count.bAvailable);
  EXPECT_EQ(count.iLogical, 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_GE(countProcessors().iLogical, 1);  // that fault was for one call
}

TEST_F(Win32System, FaultsSkipThenFailTheirCount) {
  const auto createResults = [] {
    std::vector<bool> created;
    for (int i = 0; i < 4; ++i) {
      HANDLE hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
      created.push_back(hEvent != nullptr);
      if (hEvent) CloseHandle(hEvent);
    }
    return created;
  };
  Win32InjectFault(Win32Fault::EventCreate, 0, 2, 1);
  EXPECT_EQ(createResults(), (std::vector<bool>{true, false, false, true}));

  // The same from the environment; an empty error keeps the default, a missing count fails every call.
  setenv("GRINDLOW_WIN32_FAULTS", "mkdir:5:1,bogus,procinfo-missing,event::2:1,read:x", 1);
  testing::internal::CaptureStderr();
  Win32LoadFaultsFromEnvironment();
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find("\"bogus\""), std::string::npos);
  EXPECT_NE(report.find("\"read:x\""), std::string::npos);
  EXPECT_EQ(createResults(), (std::vector<bool>{true, false, false, true}));
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, u"never-made", nullptr), 5);
  EXPECT_EQ(GetFileAttributesW(u"never-made"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(countProcessors().bAvailable);
  EXPECT_FALSE(countProcessors().bAvailable);
  Win32ClearFaults();
  EXPECT_TRUE(countProcessors().bAvailable);
}

TEST_F(Win32System, DebuggerPresentFollowsAnAttachedTracer) {
  EXPECT_FALSE(IsDebuggerPresent()) << "run without a debugger";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool bBefore = IsDebuggerPresent();
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(3);
    _exit(!bBefore && IsDebuggerPresent() ? 0 : 1);
  }
  int iStatus = 0;
  ASSERT_EQ(waitpid(child, &iStatus, 0), child);
  ASSERT_TRUE(WIFEXITED(iStatus));
  if (WEXITSTATUS(iStatus) == 3) GTEST_SKIP() << "tracing is not allowed here";
  EXPECT_EQ(WEXITSTATUS(iStatus), 0);
}

// Command line ------------------------------------------------------------------------------------------------------

std::vector<std::u16string> splitLine(const char16_t* pLine) {
  int iCount = -1;
  LPWSTR* ppArgs = CommandLineToArgvW(pLine, &iCount);
  std::vector<std::u16string> args(ppArgs, ppArgs + iCount);
  EXPECT_EQ(ppArgs[iCount], nullptr);
  EXPECT_EQ(LocalFree(ppArgs), nullptr);
  return args;
}

typedef std::vector<std::u16string> Args;

TEST_F(Win32System, CommandLineSplitsByThePlatformRules) {
  EXPECT_EQ(splitLine(u"game \"ab\\\"c\" \"\\\\\" d\"e f\"g"), (Args{u"game", u"ab\"c", u"\\", u"de fg"}));
  EXPECT_EQ(splitLine(u"game a\\\\\\\"b a\\\\\\b \"c\\\\\" d"), (Args{u"game", u"a\\\"b", u"a\\\\\\b", u"c\\", u"d"}));
  EXPECT_EQ(splitLine(u"game \"say \"\"hi\"\"\"\t\t-x"), (Args{u"game", u"say \"hi\"", u"-x"}));
  // The program's name is taken as it stands, backslashes included; quotes only group it.
  EXPECT_EQ(splitLine(u"\"C:\\My Games\\g.exe\" -w"), (Args{u"C:\\My Games\\g.exe", u"-w"}));
  EXPECT_EQ(splitLine(u"C:\\bin\\\"x -h"), (Args{u"C:\\bin\\\"x", u"-h"}));
  const Args own = splitLine(u"");
  ASSERT_EQ(own.size(), 1u);
  EXPECT_NE(own[0].find(u"test_platform_win32"), std::u16string::npos);
  EXPECT_EQ(CommandLineToArgvW(u"a b", nullptr), nullptr);
}

TEST_F(Win32System, CommandLineGivesTheArgumentsBack) {
  EXPECT_NE(splitLine(GetCommandLineW())[0].find(u"test_platform_win32"), std::u16string::npos);
  const char* const apArgs[] = {"/opt/my games/grindlow", "-w", "two words", "quote\"inside", "trail\\",
                                "back\\\\\"q", "", "tab\there", "\xC3\xBCn\xC3\xAF", "\xF0\x9F\x98\x80",
                                "bad\xFFutf8"};
  Win32SetCommandLine(int(std::size(apArgs)), apArgs);
  EXPECT_EQ(splitLine(GetCommandLineW()),
            (Args{u"/opt/my games/grindlow", u"-w", u"two words", u"quote\"inside", u"trail\\", u"back\\\\\"q", u"",
                  u"tab\there", u"\u00FCn\u00EF", u"\U0001F600", u"bad\uFFFDutf8"}));
}

TEST_F(Win32System, Utf8TextBecomesUtf16) {
  WCHAR awText[8] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "/d\xC3\xBC\xF0\x9F\x98\x80\xFF", -1, nullptr, 0), 7);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "/d\xC3\xBC\xF0\x9F\x98\x80\xFF", -1, awText, 8), 7);
  EXPECT_EQ(std::u16string(awText), u"/d\u00FC\U0001F600\uFFFD");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 2, awText, 8), 2);  // a count writes no terminator
  EXPECT_EQ(std::u16string(awText, 3), u"ab\u00FC");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcdefgh", -1, awText, 8), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", -1, awText, 8), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(Win32System, CountersAgreeAndAdvance) {
  LARGE_INTEGER frequency, before, after;
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(frequency.QuadPart, 1000000000LL);
  ASSERT_TRUE(QueryPerformanceCounter(&before));
  const DWORD dwMilliseconds = timeGetTime();
  Sleep(20);
  const DWORD dwLater = timeGetTime();
  ASSERT_TRUE(QueryPerformanceCounter(&after));
  EXPECT_GE(after.QuadPart - before.QuadPart, 20 * 1000000LL);

  // timeGetTime is the same clock in milliseconds, cut to 32 bits (compared by unsigned differences).
  const DWORD dwBeforeMs = DWORD(before.QuadPart / 1000000);
  const DWORD dwSpan = DWORD(after.QuadPart / 1000000) - dwBeforeMs;
  EXPECT_LE(DWORD(dwMilliseconds - dwBeforeMs), dwSpan);
  EXPECT_LE(DWORD(dwLater - dwMilliseconds), dwSpan);
  EXPECT_GE(DWORD(dwLater - dwMilliseconds), 20u);
  EXPECT_FALSE(QueryPerformanceCounter(nullptr));
}

}  // namespace
