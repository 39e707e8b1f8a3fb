#include "Corvane/Program/KvProgram.h"

#include <gtest/gtest.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Corvane/Development/ClCommandParameters.h"
#include "Corvane/Development/ClDevINI.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Program/ClMainLoop.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/Store/StoreTest.h"
#include "Platform/Win32/Win32System.h"
#include "Tests/Support/GameHooksDoubles.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// The test game: it ends the loop after g_iFramesBeforeQuit frames.
ClTestProgramHooks& game() { return KvTestProgramHooks(); }
i32 g_iFramesBeforeQuit = 3;

// A game table of one parameter, "-w" with an integer.
const SCommandParameterDefinition g_testDefinitions[1] = {{"-w", 1, {0, 0, 0}, E_COMMAND_ARG_INT, 0}};

constexpr const char* gc_pszCRASH_TEXT = "deliberate failure for the crash report";

i32 assertingStartUp() {
  KV_ASSERT_MSG(false, gc_pszCRASH_TEXT);
  return 1;
}

class KvProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    m_storeDir = KvTestTempDir("program-store");
    setenv("GRINDLOW_STORE_DIR", m_storeDir.c_str(), 1);
    g_iFramesBeforeQuit = 3;
    game().reset();
    game().m_tickFrame = [](f32) { return static_cast<i32>(game().m_frameTimes.size()) < g_iFramesBeforeQuit ? 1u : 0u; };
    game().m_pDefinitions = g_testDefinitions;
    game().m_iNumDefinitions = 1;
    KvSetProgramGameHooks(game());
    ClMainLoop::reset();
    ClMainLoop::readFrequency();
    ClGraphics::mp_bReady = 0;
    ClDevINI::initialize();
  }
  void TearDown() override {
    ClDevINI::terminate();
    StoreSetFaults(0);
    Win32SetCommandLine(0, nullptr);
    unsetenv("GRINDLOW_STORE_DIR");
  }

  // Text between "Comment:\n" and "\nBacktrace:" of the one crash report in the store folder.
  std::string crashComment() const {
    std::vector<std::filesystem::path> reports;
    const std::filesystem::path dir = std::filesystem::path(m_storeDir) / "crashes";
    if (std::filesystem::exists(dir)) {
      for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        reports.push_back(entry.path());
      }
    }
    if (reports.size() != 1) {
      return "<" + std::to_string(reports.size()) + " reports>";
    }
    std::ifstream in(reports[0]);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    const size_t uiStart = all.find("Comment:\n");
    const size_t uiEnd = all.find("\nBacktrace:");
    if (uiStart == std::string::npos || uiEnd == std::string::npos) {
      return "<no comment section>";
    }
    return all.substr(uiStart + 9, uiEnd - uiStart - 9);
  }

  std::string m_storeDir;
};

TEST_F(KvProgram, NormalRunStartsLoopsAndShutsDownInOrder) {
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
  const std::vector<std::string> expected = {"startUp", "frame", "frame", "frame", "shutDown"};
  EXPECT_EQ(game().m_calls, expected);
  // The first frame always counts as 0.016 s; later ones are the measured time.
  ASSERT_EQ(game().m_frameTimes.size(), 3u);
  EXPECT_EQ(game().m_frameTimes[0], 0.016f);
  EXPECT_GT(game().m_frameTimes[1], 0.0f);
  EXPECT_LT(game().m_frameTimes[1], 1.0f);
  // Everything the body started is released again.
  EXPECT_EQ(ClMutexLock::getPoolCount(), 0);
  EXPECT_FALSE(ClMutexLock::g_bInitialized);
}

// A stop of the environment, like a missing data file: exit code 3 and one line with the store's reason.
TEST_F(KvProgram, StoreThatCannotStartEndsWithThreeAndStartsNothing) {
  StoreSetFaults(STORE_FAULT_INIT_FAIL);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), gc_iEXIT_START_UP_FAILED);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "The game cannot start: the store did not start: start refused (fault init_fail).\n");
  EXPECT_TRUE(game().m_calls.empty());
}

TEST_F(KvProgram, FixedFrameTimeReplacesTheMeasuredOneFromTheFirstFrame) {
  g_iFramesBeforeQuit = 100;
  const char* pSettings = "FIXED_DT 0.02\n";
  ClDevINI::loadFromBuffer(pSettings, std::strlen(pSettings), "project.ini");
  for (i32 i = 0; i < 3; ++i) {
    EXPECT_TRUE(ClMainLoop::tick());
  }
  EXPECT_EQ(game().m_frameTimes, std::vector<f32>({0.02f, 0.02f, 0.02f}));

  // Written as an integer it still means seconds.
  ClDevINI::initialize();
  const char* pWhole = "FIXED_DT 1\n";
  ClDevINI::loadFromBuffer(pWhole, std::strlen(pWhole), "project.ini");
  game().m_frameTimes.clear();
  ClMainLoop::tick();
  EXPECT_EQ(game().m_frameTimes, std::vector<f32>({1.0f}));
}

// A settings line that is no frame time is bad input: reported once with its line, and the game runs on with
// the measured frame time.
TEST_F(KvProgram, UnusableFixedFrameTimeIsReportedAndTheMeasuredOneUsed) {
  g_iFramesBeforeQuit = 100;
  for (const char* pValue : {"abc", "0", "-1", "nan", "1e30", "-0.5", "0x0", "1000.0"}) {
    ClDevINI::initialize();
    ClMainLoop::reset();
    const std::string settings = "// frame time\nRANDOM_SEED 3\nFIXED_DT " + std::string(pValue) + "\n";
    ClDevINI::loadFromBuffer(settings.data(), settings.size(), "project.ini");
    game().m_frameTimes.clear();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(ClMainLoop::tick()) << pValue;
    EXPECT_TRUE(ClMainLoop::tick()) << pValue;
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors, "project.ini(3): FIXED_DT [" + std::string(pValue) +
                          "] is not a frame time in seconds above 0 and at most 60; the measured frame time is used\n");
    ASSERT_EQ(game().m_frameTimes.size(), 2u);
    EXPECT_EQ(game().m_frameTimes[0], 0.016f);
    EXPECT_GT(game().m_frameTimes[1], 0.0f);
    EXPECT_LT(game().m_frameTimes[1], 10.0f);
  }
}

TEST_F(KvProgram, GameFrameEndingTheLoopEndsTick) {
  g_iFramesBeforeQuit = 1;
  EXPECT_FALSE(ClMainLoop::tick());
}

TEST_F(KvProgram, CommandLineIsNarrowedAndParsed) {
  const std::string longArg(300, 'x');
  const char* apArgs[] = {"grindlow", "-w", "640", "caf\xc3\xa9-\xe2\x82\xac", longArg.c_str()};
  Win32SetCommandLine(5, apArgs);
  parseCommandLine();
  ASSERT_EQ(KvGetNarrowedArgCount(), 5);
  EXPECT_STREQ(KvGetNarrowedArg(3), "caf\xe9-_");
  EXPECT_EQ(std::string(KvGetNarrowedArg(4)), std::string(255, 'x'));
  // The parameters before the first it does not know are kept.
  const SCommandParameter* pWidth = ClCommandParameters::findParameter("-w");
  ASSERT_NE(pWidth, nullptr);
  EXPECT_EQ(pWidth->m_values[0].m_iValue, 640);
  ClCommandParameters::shutdown();
}

// A fault on the main thread leaves a crash report whose comment is exactly the failure report.
TEST_F(KvProgram, AssertionWritesACrashReportWithTheReport) {
  game().m_startUp = &assertingStartUp;
  EXPECT_EXIT(
      {
        KV_REAL_STOP();
        WinMain(nullptr, nullptr, nullptr, 0);
      },
      ::testing::KilledBySignal(SIGSEGV), "crash report written");
  const std::string comment = crashComment();
  EXPECT_EQ(comment.rfind(std::string("Assertion: [") + gc_pszCRASH_TEXT + "]\nFile: Tests/Corvane/Program/KvProgramTest.cpp, line ", 0), 0u)
      << comment;
  EXPECT_EQ(comment.back(), '\n');
}

i32 dataErrorStartUp() { KV_DATA_FATALF("Could not open test data file [%s]!", "Shaders\\missing.fxo"); }
i32 windowFailureStartUp() { KV_FATAL_CONDITION(E_KV_STOP_CAUSE_START_UP, "Failed to create main window"); }

// A missing or damaged data file and a start-up failure end the program with exit code 3, one line of the user's
// message on the error output (the reason, without the report's source file and line), and no crash report.
TEST_F(KvProgram, ConditionStopsEndWithExitCodeThreeAndNoCrashReport) {
  struct SCase {
    i32 (*pfnStartUp)();
    const char* pExpectedOutput;  // the whole error output
  };
  const SCase aCases[] = {
      {&dataErrorStartUp,
       "^(Command line:[^\n]*\n)?[^\n]*: The game cannot go on: a data file is missing or damaged. Could not open "
       "test data file \\[Shaders.missing.fxo\\]!\n$"},
      {&windowFailureStartUp, "^(Command line:[^\n]*\n)?Failed to create main window\n$"},
  };
  for (const SCase& test : aCases) {
    game().m_startUp = test.pfnStartUp;
    EXPECT_EXIT(
        {
          KV_REAL_STOP();
          KvTestSystemHooks().m_onCondition = &endForCondition;
          WinMain(nullptr, nullptr, nullptr, 0);
        },
        ::testing::ExitedWithCode(gc_iEXIT_START_UP_FAILED), test.pExpectedOutput);
    EXPECT_EQ(crashComment(), "<0 reports>");
  }
}

// What the user is told: the report's first line for a data file; a display that could not be opened is named
// as such whatever failed because of it; a graphics start-up failure has shown its own message already.
TEST_F(KvProgram, ConditionMessages) {
  struct SCase {
    E_KV_STOP_CAUSE eCause;
    const char* pReport;
    const char* pVideoProblem;
    const char* pExpected;  // null: nothing more is shown
  };
  const SCase aCases[] = {
      {E_KV_STOP_CAUSE_DATA, "FATAL ERROR: Could not open Atlas file [T]!\nFile: a.cpp, line 3\n", "",
       "The game cannot go on: a data file is missing or damaged. Could not open Atlas file [T]!"},
      {E_KV_STOP_CAUSE_START_UP, "FATAL ERROR: Failed to create main window\nFile: b.cpp, line 9\n",
       "x11 not available", "The game cannot start: no display could be opened (x11 not available)."},
      {E_KV_STOP_CAUSE_START_UP, "FATAL ERROR: Failed to create main window\nFile: b.cpp, line 9\n", "", nullptr},
  };
  for (const SCase& test : aCases) {
    char szText[256] = "unchanged";
    const bool bTold = describeCondition(test.eCause, test.pReport, test.pVideoProblem, szText, sizeof(szText));
    EXPECT_EQ(bTold, test.pExpected != nullptr) << test.pReport;
    if (test.pExpected != nullptr) {
      EXPECT_STREQ(szText, test.pExpected);
    }
  }
}

// Under a tracer nothing is translated: the fault reaches the tracer and no report is written.
TEST_F(KvProgram, NoCrashReportUnderATracer) {
  game().m_startUp = &assertingStartUp;
  fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    KV_REAL_STOP();
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
      _exit(77);
    }
    raise(SIGSTOP);
    WinMain(nullptr, nullptr, nullptr, 0);
    _exit(0);
  }
  int iStatus = 0;
  bool bSawFault = false;
  while (waitpid(child, &iStatus, 0) == child && WIFSTOPPED(iStatus)) {
    const int iSignal = WSTOPSIG(iStatus);
    bSawFault |= iSignal == SIGSEGV;
    ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(iSignal == SIGSTOP ? 0 : iSignal)));
  }
  if (WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 77) {
    GTEST_SKIP() << "tracing is not allowed here";
  }
  EXPECT_TRUE(bSawFault);
  // The fault ends the process (a sanitizer, when present, reports it first and exits on its own terms).
  EXPECT_FALSE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0);
  EXPECT_EQ(crashComment(), "<0 reports>");
}

}  // namespace
