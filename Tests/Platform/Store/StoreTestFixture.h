// Shared set-up of the local store's tests: a fresh store folder per test, no faults, and catchers that record
// every callback and call result with where it arrived.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Store/StoreApi.h"
#include "Platform/Store/StoreTest.h"
#include "Tests/Support/KvTestSupport.h"

// Set while the fixture's runCallbacks is inside SteamAPI_RunCallbacks.
inline bool g_bInsideRunCallbacks = false;

// Where a delivery arrived: inside SteamAPI_RunCallbacks and on the test's (main) thread, or not.
struct StoreDeliverySite {
  bool bInsideRun;
  bool bOnMainThread;
};

inline std::thread::id g_storeMainThread;

inline StoreDeliverySite storeDeliverySite() {
  return StoreDeliverySite{g_bInsideRunCallbacks, std::this_thread::get_id() == g_storeMainThread};
}

template <class T>
struct StoreCallbackCatcher {
  void on(T* pRecord) {
    records.push_back(*pRecord);
    sites.push_back(storeDeliverySite());
  }
  std::vector<T> records;
  std::vector<StoreDeliverySite> sites;
  CCallback<StoreCallbackCatcher, T> callback{this, &StoreCallbackCatcher::on};
};

template <class T>
struct StoreResultCatcher {
  void bind(SteamAPICall_t hCall) { result.Set(hCall, this, &StoreResultCatcher::on); }
  void on(T* pRecord, bool bIOFailure) {
    records.push_back(*pRecord);
    ioFailures.push_back(bIOFailure);
    sites.push_back(storeDeliverySite());
  }
  std::vector<T> records;
  std::vector<bool> ioFailures;
  std::vector<StoreDeliverySite> sites;
  CCallResult<StoreResultCatcher, T> result;
};

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = KvTestTempDir(std::string(pInfo->test_suite_name()) + "." + pInfo->name());
    setenv("GRINDLOW_STORE_DIR", m_dir.c_str(), 1);
    for (const char* pName : {"GRINDLOW_STORE_CONFIG", "GRINDLOW_STORE_FAULTS", "GRINDLOW_STORE_LANGUAGE"}) {
      unsetenv(pName);
    }
    StoreSetFaults(0);
    StoreSetWriteHook(nullptr);
    g_storeMainThread = std::this_thread::get_id();
  }

  void TearDown() override {
    SteamAPI_Shutdown();
    StoreSetFaults(0);
    StoreSetWriteHook(nullptr);
  }

  void writeConfig(const std::string& text) { std::ofstream(m_dir + "/store.ini") << text; }

  bool restart() {
    SteamAPI_Shutdown();
    return SteamAPI_Init();
  }

  static void runCallbacks() {
    g_bInsideRunCallbacks = true;
    SteamAPI_RunCallbacks();
    g_bInsideRunCallbacks = false;
  }

  // Runs one asynchronous call to its result.
  template <class T>
  static T await(SteamAPICall_t hCall, bool* pbIOFailure = nullptr) {
    StoreResultCatcher<T> catcher;
    EXPECT_NE(hCall, k_uAPICallInvalid);
    catcher.bind(hCall);
    runCallbacks();
    EXPECT_EQ(catcher.records.size(), 1u);
    if (pbIOFailure) {
      *pbIOFailure = catcher.ioFailures.empty() || catcher.ioFailures[0];
    }
    return catcher.records.empty() ? T{} : catcher.records[0];
  }

  std::string m_dir;
};
