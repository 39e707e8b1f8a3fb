#include "Platform/Common/PlatformPcmSink.h"

#include <mutex>

namespace {

std::mutex g_sinkMutex;
IPlatformPcmSink* g_pSink = nullptr;

}  // namespace

void PlatformInstallPcmSink(IPlatformPcmSink* pSink) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  if (g_pSink == nullptr) g_pSink = pSink;
}

void PlatformRemovePcmSink(IPlatformPcmSink* pSink) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  if (g_pSink == pSink) g_pSink = nullptr;
}

bool PlatformOpenPcmInput(SPlatformPcmInput* pOpened) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  if (g_pSink == nullptr) return false;
  std::shared_ptr<IPlatformPcmInput> pInput = g_pSink->openPcmInput();
  if (pInput == nullptr) return false;
  pOpened->pInput = std::move(pInput);
  pOpened->iRate = g_pSink->pcmRate();
  pOpened->dLatency = g_pSink->pcmLatency();
  return true;
}
