// Test helpers shared by every suite.
//
// Every test program runs with system hooks whose stop throws KvStopped instead of faulting
// (Tests/Support/GameHooksDoubles.h), so an engine assertion or fatal error inside a test fails that test with
// the report's text rather than killing the program. Death tests that check the real stop clear the throw
// inside the death statement (KV_REAL_STOP).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "Corvane/System/KvDebug.h"
#include "Tests/Support/GameHooksDoubles.h"

// Runs stmt, which must stop with an assertion (444) whose report contains the given text. The text names the
// message: an empty one, which any report would contain, fails the test.
#define EXPECT_KV_ASSERT(stmt, text) EXPECT_KV_STOP_AT(stmt, text, gc_uiSTOP_ASSERTION)
// Runs stmt, which must stop with a fatal error (333) whose report contains the given text.
#define EXPECT_KV_FATAL(stmt, text) EXPECT_KV_STOP_AT(stmt, text, gc_uiSTOP_FATAL)

#define EXPECT_KV_STOP_AT(stmt, text, address)                                              \
  do {                                                                                      \
    bool bStopped_ = false;                                                                 \
    EXPECT_FALSE(std::string(text).empty()) << "name the message the stop must report";   \
    try {                                                                                   \
      stmt;                                                                                 \
    } catch (const KvStopped& stop_) {                                                      \
      bStopped_ = true;                                                                     \
      EXPECT_EQ(stop_.uiAddress, (address)) << stop_.message;                               \
      EXPECT_NE(stop_.message.find(text), std::string::npos)                                \
          << "report was: " << stop_.message;                                               \
    }                                                                                       \
    EXPECT_TRUE(bStopped_) << "expected a stop with: " << (text);                           \
  } while (0)

// Runs stmt, which must stop at address without writing a report: the last-message buffer still holds the marker
// written before it.
#define EXPECT_KV_SILENT_STOP(stmt, address)                                                \
  do {                                                                                      \
    reportAssertion("KvTest: marker before a stop without a report", __FILE__, __LINE__);   \
    EXPECT_KV_STOP_AT(stmt, "KvTest: marker before a stop without a report", address);     \
  } while (0)

// Inside a death test: restores the real stop so the statement faults as in the program.
#define KV_REAL_STOP() KvTestSystemHooks().m_onStop = nullptr

// Installs the idle test game (KvTestProgramHooks), readies the main loop's clock and makes SIGINT and SIGTERM
// post the quit message, for tests that pump the window's messages with ClMainLoop::pump (a step with an empty
// queue runs a frame).
void KvTestUseIdleGame();

// Starts the file layer and empties the archive pools (loose files are then read from the current folder);
// KvTestStopFileIO closes everything again.
void KvTestStartFileIO();
void KvTestStopFileIO();

// Source and build folders of the tree (set by the test environment), for fixtures.
std::string KvTestSourceDir();
std::string KvTestBinaryDir();
// A fresh empty folder for one test, removed when the program ends.
std::string KvTestTempDir(const std::string& name);
// The bytes of a file, or "" when it cannot be read.
std::string KvTestFileBytes(const std::string& path);
// The u32 at uiOffset of bytes as the machine stores it (files of the game's formats are little-endian), and its
// writer; past the end is std::out_of_range.
inline u32 KvTestU32At(const std::vector<u8>& bytes, size_t uiOffset) {
  u32 uiValue;
  std::memcpy(&uiValue, &bytes.at(uiOffset + 3) - 3, 4);
  return uiValue;
}
inline void KvTestPutU32At(std::vector<u8>* pBytes, size_t uiOffset, u32 uiValue) {
  std::memcpy(&pBytes->at(uiOffset + 3) - 3, &uiValue, 4);
}

// Makes dir the current folder and answers the one it replaces (empty when either step failed).
std::string KvTestChangeFolder(const std::string& dir);

// Runs a command line with its error output joined to its output; the exit status is -1 when the program
// did not exit by itself.
struct SKvToolRun {
  int iExit = -1;
  std::string out;
};
SKvToolRun KvTestRunTool(const std::string& commandLine);
// A word for a shell command, quoted so that spaces and quotes in it (a checkout path may hold them) stay.
std::string KvTestShellQuote(const std::string& word);

// Copies the built engine string table of a language ("Win32", compiled from Content/Strings) into
// <dataRoot>/Lang/<code>/Strings/ as a loose file: the game's start-up cannot go on without it.
void KvTestProvideEngineStringTable(const std::string& dataRoot, const std::string& code = "eng");

// Runs a helper program (args[0] is its path, the rest its arguments) in a process of its own, which inherits the
// environment, and answers its status as waitpid gives it (-1 when it could not be started); what it printed,
// standard error included, goes to *pOutput. For tests of what happens between programs, or to a program that
// dies: nothing is forked from a process whose other threads may be running. Helpers are built with
// grindlow_test_helper (cmake/Grindlow.cmake).
int KvTestRunProgram(const std::vector<std::string>& args, std::string* pOutput);
