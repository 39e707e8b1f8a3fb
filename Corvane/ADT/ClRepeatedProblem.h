// A problem that may be met again and again (a warning of a call retried every frame, a save that fails at every
// try) said once while it stays the same: say writes its line as KvPrintProblem does, but only when the line differs
// from the last one said through this object; forget, once the cause is gone (the call succeeded), lets the next
// line be said whatever it is. Any thread: the last line is guarded by the object's own lock.
#pragma once

#include <mutex>
#include <string>

class ClRepeatedProblem {
 public:
  // True when the line was said; false when it repeats the last one said.
  bool say(const char* pFormat, ...) __attribute__((format(printf, 2, 3)));
  void forget();

 private:
  std::mutex m_lock;
  bool m_bSaid = false;
  std::string m_lastSaid;
};
