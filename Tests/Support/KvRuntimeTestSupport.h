// Shared by the runtime suites: a fixture that gives every test a fresh lock pool and the host's processor
// topology, and checks at the end that the test left every engine global released, as a normal shutdown must.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "Corvane/System/ClMutexLock.h"
#include "Corvane/Program/KvEngineGlobals.h"
#include "Platform/Win32/Win32System.h"

class KvRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Win32ClearFaults();
    ClMutexLock::initializePool();
  }
  void TearDown() override {
    Win32ClearFaults();
    Win32SetProcessorTopology(0, 0);
    ClMutexLock::shutdownPool();
    const char* pFirst = nullptr;
    EXPECT_EQ(KvCountEngineGlobalsInUse(&pFirst), 0) << "still in use: " << (pFirst ? pFirst : "");
  }
};

// Polls (up to 10 s) until the condition holds; false if it never did.
template <typename Condition>
bool eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
