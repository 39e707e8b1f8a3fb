#include "Corvane/System/KvDebug.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "Tests/Support/KvTestSupport.h"

namespace {

TEST(KvDebug, AssertionReportTextAndStopAddress) {
  EXPECT_KV_ASSERT(KV_ASSERT(1 + 1 == 3), "Assertion: [1 + 1 == 3]\nFile: Tests/Corvane/System/KvDebugTest.cpp");
  EXPECT_EQ(std::string(KvGetLastMessage()).back(), '\n');
}

TEST(KvDebug, FatalErrorReportFormat) {
  reportFatalError("Pool alloc failed", "ADT/ClPool", 12);
  EXPECT_STREQ(KvGetLastMessage(), "FATAL ERROR: Pool alloc failed\nFile: ADT/ClPool, line 12\n");
}

TEST(KvDebug, FormattedMessages) {
  EXPECT_KV_FATAL(KV_FATALF("Could not allocate [%d] bytes", 64), "FATAL ERROR: Could not allocate [64] bytes\n");
  EXPECT_KV_ASSERT(KV_ASSERTF(false, "index %d of %d", 3, 2), "Assertion: [index 3 of 2]\n");
}

TEST(KvDebug, PointerCheckOnlyStopsOnTheThreeMarkers) {
  KvCheckPointer(reinterpret_cast<void*>(uintptr_t{0xCDCDCDCC}));
  int iValue = 0;
  KvCheckPointer(&iValue);

  EXPECT_KV_FATAL(KvCheckPointer(reinterpret_cast<void*>(uintptr_t{0xFEFEFEFE})),
                  "FATAL ERROR: Pointer FREED!\nFile: system\\KvDebugWin32, line 252\n");
  EXPECT_STREQ(KvGetLastMessage(), "FATAL ERROR: Pointer FREED!\nFile: system\\KvDebugWin32, line 252\n");
  EXPECT_KV_FATAL(KvCheckPointer(nullptr), "NULL Pointer!\nFile: system\\KvDebugWin32, line 244\n");
  EXPECT_KV_FATAL(KvCheckPointer(reinterpret_cast<void*>(uintptr_t{0xCDCDCDCD})),
                  "Pointer UNINITIALIZED!\nFile: system\\KvDebugWin32, line 248\n");
}

TEST(KvDebug, LongReportIsCutToTheBuffer) {
  const std::string text(9000, 'x');
  reportAssertion(text.c_str(), "a.cpp", 1);
  EXPECT_EQ(std::string(KvGetLastMessage()).size(), size_t(gc_iLAST_MESSAGE_SIZE - 1));
  EXPECT_EQ(std::string(KvGetLastMessage()).rfind("Assertion: [xxx", 0), 0u);
}

TEST(KvDebug, EachReportReplacesThePrevious) {
  reportAssertion("a rather long first report text", "first.cpp", 100);
  reportFatalError("second", "b.cpp", 2);
  EXPECT_STREQ(KvGetLastMessage(), "FATAL ERROR: second\nFile: b.cpp, line 2\n");
}

// A named fatal stop and a stop without a report, for the expectation test below.
void fatalStop() { KV_FATAL("the named message"); }
void silentStop() { KvStop(gc_uiSTOP_FATAL); }

// The test macros accept only the stop they name: a message that must be named, and a stop without a report.
TEST(KvDebug, StopExpectationsNameTheirMessage) {
  EXPECT_KV_FATAL(fatalStop(), "the named message");
  EXPECT_NONFATAL_FAILURE(EXPECT_KV_FATAL(fatalStop(), ""), "name the message the stop must report");
  EXPECT_NONFATAL_FAILURE(EXPECT_KV_FATAL(fatalStop(), "another message"), "report was");
  EXPECT_KV_SILENT_STOP(silentStop(), gc_uiSTOP_FATAL);
  EXPECT_NONFATAL_FAILURE(EXPECT_KV_SILENT_STOP(fatalStop(), gc_uiSTOP_FATAL), "report was");
}

// A stop for a data file or the start-up is reported as a fatal error at the fatal stop's address, so tests
// and the stop hook see it as any fatal error; the cause reaches the condition ending.
TEST(KvDebug, ConditionStopsAreFatalErrors) {
  EXPECT_KV_FATAL(KV_DATA_FATALF("Could not open [%s]!", "a.fxo"), "FATAL ERROR: Could not open [a.fxo]!\nFile: ");
  EXPECT_KV_FATAL(KV_FATAL_CONDITION(E_KV_STOP_CAUSE_START_UP, "no window"), "FATAL ERROR: no window\nFile: ");
}

// The real stop: the process faults, with the report written on the standard error first.
TEST(KvDebugDeathTest, RealStopFaultsAfterWritingTheReport) {
  EXPECT_DEATH(
      {
        KV_REAL_STOP();
        KV_ASSERT(sizeof(int) == 1);
      },
      "Assertion: \\[sizeof\\(int\\) == 1\\]\nFile: .*Tests/Corvane/System/KvDebugTest.cpp, line [0-9]+\n");
  EXPECT_DEATH(
      {
        KV_REAL_STOP();
        KvCheckPointer(nullptr);
      },
      "FATAL ERROR: NULL Pointer!\nFile: system.KvDebugWin32, line 244\n");
  // Without a condition ending a data error faults as any fatal error.
  EXPECT_DEATH(
      {
        KV_REAL_STOP();
        KvTestSystemHooks().m_onCondition = nullptr;
        KV_DATA_FATALF("Could not open [%s]!", "b.kui");
      },
      "FATAL ERROR: Could not open \\[b.kui\\]!\n");
}

[[noreturn]] void exitWithCause(E_KV_STOP_CAUSE eCause) { _exit(40 + static_cast<int>(eCause)); }

// With a condition ending, the ending decides how the process ends and learns the cause; it tells the user, so the
// stop writes nothing of its report (no source file and line) before it.
TEST(KvDebugDeathTest, ConditionStopsEndThroughTheEnding) {
  EXPECT_EXIT(
      {
        KV_REAL_STOP();
        KvTestSystemHooks().m_onCondition = &exitWithCause;
        KV_DATA_FATALF("Could not open [%s]!", "c.atf");
      },
      ::testing::ExitedWithCode(40 + E_KV_STOP_CAUSE_DATA), "^$");
  EXPECT_EXIT(
      {
        KV_REAL_STOP();
        KvTestSystemHooks().m_onCondition = &exitWithCause;
        KV_FATAL_CONDITION(E_KV_STOP_CAUSE_START_UP, "no display");
      },
      ::testing::ExitedWithCode(40 + E_KV_STOP_CAUSE_START_UP), "^$");
  // A programming error never takes the ending.
  EXPECT_DEATH(
      {
        KV_REAL_STOP();
        KvTestSystemHooks().m_onCondition = &exitWithCause;
        KV_FATAL("a programming error");
      },
      "FATAL ERROR: a programming error\n");
}

}  // namespace
