#include "Corvane/Store/ClStoreWarnings.h"

#include <mutex>

#include "Corvane/ADT/KvSystem.h"

namespace {

thread_local ClStoreWarnings* t_pTaker = nullptr;

std::mutex g_saidMutex;
std::string g_lastSaid;

}  // namespace

ClStoreWarnings::ClStoreWarnings() : m_pPrevious(t_pTaker) { t_pTaker = this; }

ClStoreWarnings::~ClStoreWarnings() { t_pTaker = m_pPrevious; }

void ClStoreWarnings::hook(int /*iSeverity*/, const char* pText) {
  const char* pSafe = pText != nullptr ? pText : "";
  if (t_pTaker != nullptr) {
    t_pTaker->m_text += (t_pTaker->m_text.empty() ? "" : "; ") + std::string(pSafe);
    return;
  }
  std::lock_guard<std::mutex> lock(g_saidMutex);
  if (g_lastSaid != pSafe) {
    g_lastSaid = pSafe;
    KvPrintProblem("Store: %s", pSafe);
  }
}
