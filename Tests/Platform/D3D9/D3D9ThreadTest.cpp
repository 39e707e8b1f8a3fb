// Threads sharing one device: the context goes back when a thread ends or has to wait for a critical section, a
// call that waits too long names the thread holding the device, and references are counted from any thread.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Tests/Platform/D3D9/D3D9TestDevice.h"

namespace {

// Reports a device call that had to wait where none may: the program ends at once with the report instead of
// hanging on a context that is never given back.
void failOnWait(const std::string& report) {
  ADD_FAILURE() << "a device call had to wait: " << report;
  std::fflush(stdout);
  std::_Exit(1);
}

struct SClearJob {
  IDirect3DDevice9* pDevice = nullptr;
  HANDLE hGo = nullptr;  // waited for first, when given
  D3DCOLOR color = 0;
};

unsigned __stdcall clearOnce(void* pArgument) {
  const auto* pJob = static_cast<SClearJob*>(pArgument);
  if (pJob->hGo != nullptr) WaitForSingleObject(pJob->hGo, INFINITE);
  pJob->pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, pJob->color, 1.0f, 0);
  return 0;
}

// Runs clearOnce(pJob) on a thread of the given kind and waits for the thread's end.
void clearOnThread(bool bWin32Thread, SClearJob* pJob) {
  if (bWin32Thread) {
    HANDLE hThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &clearOnce, pJob, 0, nullptr));
    ASSERT_NE(hThread, nullptr);
    EXPECT_EQ(WaitForSingleObject(hThread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(hThread);
  } else {
    std::thread thread([pJob] {
      clearOnce(pJob);
      SDL_TLSCleanup();
    });
    thread.join();
  }
}

// A thread that clears once and ends holding the device gives it back: the next thread's clear proceeds at once,
// whether the thread came from the Win32 stand-in or from elsewhere.
TEST_F(D3D9Device, ContextGoesBackWhenTheThreadHoldingItEnds) {
  createDevice();
  D3D9TestSetContextWaitReport(0, &failOnWait);
  for (const bool bWin32Thread : {true, false}) {
    SCOPED_TRACE(bWin32Thread ? "_beginthreadex" : "host thread");
    HANDLE hGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetEvent(hGo);  // this thread gives the context back when it signals
    SClearJob first{mp_pDevice, hGo, gc_uiRED};
    clearOnThread(bWin32Thread, &first);
    CloseHandle(hGo);

    SClearJob second{mp_pDevice, nullptr, gc_uiGREEN};
    clearOnThread(bWin32Thread, &second);
    EXPECT_EQ(pixel(4, 4), gc_uiGREEN);  // this thread holds the context again
  }
}

// A thread holding the device that blocks entering a section owned by a thread that then calls the device gives
// the device back first; otherwise both wait for ever.
TEST_F(D3D9Device, ContextGoesBackBeforeWaitingForACriticalSection) {
  createDevice();
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  const DWORD dwSelf = GetCurrentThreadId();
  bool bOwned = true;
  std::vector<std::string> reports;  // written on this thread only
  // Without the hand-over this thread's clear waits for the blocked thread: the report records that and lets the
  // blocked thread in, so that the test ends and fails.
  D3D9TestSetContextWaitReport(0, [&](const std::string& report) {
    if (GetCurrentThreadId() != dwSelf) failOnWait(report);
    reports.push_back(report);
    if (bOwned) LeaveCriticalSection(&section);
    bOwned = false;
  });

  HANDLE hGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread blocked([&] {
    WaitForSingleObject(hGo, INFINITE);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiRED, 1.0f, 0);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    SDL_TLSCleanup();
  });
  SetEvent(hGo);
  while (__atomic_load_n(&section.Waiters, __ATOMIC_ACQUIRE) == 0) std::this_thread::yield();
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiGREEN, 1.0f, 0);
  if (bOwned) LeaveCriticalSection(&section);
  blocked.join();
  CloseHandle(hGo);
  DeleteCriticalSection(&section);

  EXPECT_TRUE(reports.empty()) << reports.front();
  EXPECT_EQ(pixel(4, 4), gc_uiGREEN);
}

// A call that waits past the bound reports once, on the waiting thread, which thread holds the device (its id and
// its host name), and keeps waiting until the device comes back.
TEST_F(D3D9Device, LongWaitNamesTheThreadHoldingTheDevice) {
  createDevice();
  std::promise<DWORD> holding;
  std::promise<void> letGo;
  std::future<void> letGoSeen = letGo.get_future();
  std::vector<std::string> reports;  // written on this thread only
  D3D9TestSetContextWaitReport(0, [&](const std::string& report) {
    reports.push_back(report);
    if (reports.size() == 1) letGo.set_value();
  });

  HANDLE hGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    pthread_setname_np(pthread_self(), "deviceholder");
    WaitForSingleObject(hGo, INFINITE);
    mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiRED, 1.0f, 0);
    holding.set_value(GetCurrentThreadId());
    letGoSeen.wait();  // a host wait: the device stays held
    SDL_TLSCleanup();
  });
  SetEvent(hGo);
  const DWORD dwHolder = holding.get_future().get();
  mp_pDevice->Clear(0, nullptr, D3DCLEAR_TARGET, gc_uiGREEN, 1.0f, 0);
  holder.join();
  CloseHandle(hGo);

  ASSERT_EQ(reports.size(), 1u);
  const std::string& report = reports.front();
  EXPECT_NE(report.find("thread " + std::to_string(GetCurrentThreadId()) + " has waited 0 ms"), std::string::npos)
      << report;
  EXPECT_NE(report.find("thread " + std::to_string(dwHolder) + " (host thread "), std::string::npos) << report;
  EXPECT_NE(report.find("\"deviceholder\""), std::string::npos) << report;
  EXPECT_EQ(pixel(4, 4), gc_uiGREEN);
}

// References taken and given back on several threads at once all count.
TEST_F(D3D9Device, ReferencesCountFromManyThreads) {
  createDevice();
  constexpr ULONG c_uiHeld = 1000;
  constexpr int c_iThreads = 4;
  constexpr int c_iPairs = 100000;
  const std::vector<std::pair<const char*, IUnknown*>> objects = {{"device", mp_pDevice}, {"Direct3D", mp_pD3D}};
  for (const auto& [pName, pObject] : objects) {
    SCOPED_TRACE(pName);
    // Held references keep a lost count from freeing the object under the test.
    for (ULONG i = 0; i < c_uiHeld; ++i) pObject->AddRef();
    std::vector<std::thread> threads;
    for (int iThread = 0; iThread < c_iThreads; ++iThread) {
      threads.emplace_back([pObject = pObject] {
        for (int i = 0; i < c_iPairs; ++i) {
          pObject->AddRef();
          pObject->Release();
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(pObject->AddRef(), c_uiHeld + 2);
    for (ULONG i = 0; i < c_uiHeld + 1; ++i) pObject->Release();
  }
}

}  // namespace
