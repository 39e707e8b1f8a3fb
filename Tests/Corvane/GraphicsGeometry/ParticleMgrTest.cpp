// The particle manager: its lock and pools, and the teardown of the systems still registered at shutdown.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "Corvane/Graphics/ClParticleMgr.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::vector<std::string> g_calls;

class CRecordingSystem : public ClParticleSystem {
 public:
  explicit CRecordingSystem(std::string name) : m_name(std::move(name)) {}
  ~CRecordingSystem() override { g_calls.push_back(m_name + ".destroyed"); }
  // What is left of the transform records when the system is released (its own is freed just before).
  void release() override {
    g_calls.push_back(m_name + ".released, transforms " + std::to_string(ClParticleMgr::mp_transformPool.getCount()));
  }

 private:
  std::string m_name;
};

CRecordingSystem* newSystem(const char* pName) {
  return new (KvAlignedAlloc(sizeof(CRecordingSystem), 16)) CRecordingSystem(pName);
}

class ParticleMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClMutexLock::initializePool();
    g_calls.clear();
    m_iLocksBefore = ClMutexLock::getPoolCount();
  }
  i32 m_iLocksBefore = 0;
};

// Terminate tears every registered system down from the last to the first (deactivated, transform freed, released,
// destroyed) and gives the lock back; a second terminate has no lock and does nothing.
TEST_F(ParticleMgrTest, TerminateTearsDownEverySystemAndGivesTheLockBack) {
  ClParticleMgr::initialize();
  EXPECT_EQ(ClMutexLock::getPoolCount(), m_iLocksBefore + 1);
  CRecordingSystem* pFirst = newSystem("first");
  CRecordingSystem* pSecond = newSystem("second");
  ClParticleMgr::registerSystem(pFirst, true);
  ClParticleMgr::registerSystem(pSecond, false);
  ASSERT_NE(pFirst->mp_pTransform, nullptr);
  EXPECT_EQ(pFirst->mp_pTransform->mp_vScale, (kv_vector3{1, 1, 1}));
  EXPECT_EQ(pFirst->mp_pTransform->mp_transform.m[0][0], 1.0f);
  ClParticleMgr::activate(pFirst);
  ClParticleMgr::activate(pSecond);
  ClParticleMgr::deactivate(pSecond);
  ClParticleMgr::deactivate(pSecond);
  EXPECT_EQ(ClParticleMgr::mp_activeList.getCount(), 1);
  ClParticleMgr::terminate();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"second.released, transforms 1", "second.destroyed",
                                               "first.released, transforms 0", "first.destroyed"}));
  EXPECT_EQ(ClParticleMgr::mp_systemList.getCount(), 0);
  EXPECT_EQ(ClParticleMgr::mp_activeList.getCount(), 0);
  EXPECT_EQ(ClParticleMgr::mp_transformPool.getCount(), 0);
  EXPECT_EQ(ClMutexLock::getPoolCount(), m_iLocksBefore);
  ClParticleMgr::terminate();
  EXPECT_EQ(ClMutexLock::getPoolCount(), m_iLocksBefore);
}

}  // namespace
