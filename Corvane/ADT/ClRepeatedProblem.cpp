#include "Corvane/ADT/ClRepeatedProblem.h"

#include <cstdarg>
#include <cstdio>

#include "Corvane/ADT/KvSystem.h"

bool ClRepeatedProblem::say(const char* pFormat, ...) {
  char szLine[gc_uiMAX_MESSAGE_LEN + 1];
  va_list args;
  va_start(args, pFormat);
  std::vsnprintf(szLine, sizeof(szLine), pFormat, args);
  va_end(args);
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_bSaid && m_lastSaid == szLine) {
    return false;
  }
  m_bSaid = true;
  m_lastSaid = szLine;
  KvPrintProblem("%s", szLine);
  return true;
}

void ClRepeatedProblem::forget() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_bSaid = false;
  m_lastSaid.clear();
}
