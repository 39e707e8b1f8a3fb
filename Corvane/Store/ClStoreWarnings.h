// The store library's warnings (a refused call, a storage error), none of them lost: the program installs
// ClStoreWarnings::hook as the store's warning hook. Code that reports a storage call's failure itself keeps a
// ClStoreWarnings object around the call; the warnings the call raises on that thread are taken into the object
// (text()) for the caller's own line. Every other warning is one line "Store: <text>" on the standard error; a
// warning that repeats the one just said is not said again, so a call retried every frame says its problem once.
//
// Threads: the store calls the hook on the thread that made the call, so any thread may; an object takes only
// the warnings of the thread that made it, and lives on that thread's stack.
#pragma once

#include <string>

class ClStoreWarnings {
 public:
  // From here on this thread's warnings are taken by this object (the previous taker gets them back after it).
  ClStoreWarnings();
  ~ClStoreWarnings();
  ClStoreWarnings(const ClStoreWarnings&) = delete;
  ClStoreWarnings& operator=(const ClStoreWarnings&) = delete;

  // The warnings taken, joined by "; "; "" when none came.
  const std::string& text() const { return m_text; }

  // The store's warning hook: severity 0 a message, 1 a warning (both treated alike).
  static void hook(int iSeverity, const char* pText);

 private:
  std::string m_text;
  ClStoreWarnings* m_pPrevious;
};
