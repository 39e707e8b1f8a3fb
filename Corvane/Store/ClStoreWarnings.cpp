#include "Corvane/Store/ClStoreWarnings.h"

#include "Corvane/ADT/ClRepeatedProblem.h"

namespace {

thread_local ClStoreWarnings* t_pTaker = nullptr;

ClRepeatedProblem g_untaken;

}  // namespace

ClStoreWarnings::ClStoreWarnings() : m_pPrevious(t_pTaker) { t_pTaker = this; }

ClStoreWarnings::~ClStoreWarnings() { t_pTaker = m_pPrevious; }

void ClStoreWarnings::hook(int /*iSeverity*/, const char* pText) {
  const char* pSafe = pText != nullptr ? pText : "";
  if (t_pTaker != nullptr) {
    t_pTaker->m_text += (t_pTaker->m_text.empty() ? "" : "; ") + std::string(pSafe);
    return;
  }
  g_untaken.say("Store: %s", pSafe);
}
