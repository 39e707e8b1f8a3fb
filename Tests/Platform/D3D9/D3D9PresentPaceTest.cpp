#include <gtest/gtest.h>

#include <cstdint>

#include "Platform/D3D9/D3D9PresentPace.h"

namespace {

// A refresh of 10 time units; the queue three frames deep unless a case says otherwise.
TEST(D3D9PresentPace, FramesAreShownOneRefreshApartAndPresentWaitsOnlyForAFullQueue) {
  struct SCase {
    const char* pName;
    std::int64_t iLastShownAt, iNow, iFramesAhead;
    std::int64_t iShownAt, iReturnAt;
  };
  const SCase aCases[] = {
      {"first frame: shown now, no wait", 0, 1000, 3, 1000, 1000},
      {"display idle: shown now", 900, 1000, 3, 1000, 1000},
      {"next refresh, queue has room", 1000, 1002, 3, 1010, 1002},
      {"two refreshes ahead: still room", 1010, 1003, 3, 1020, 1003},
      {"three ahead: waits one refresh", 1030, 1005, 3, 1040, 1020},
      {"depth 1: returns when shown", 1000, 1002, 1, 1010, 1010},
      {"depth 1, late frame: no wait", 1000, 1015, 1, 1015, 1015},
      {"clock went back: forgotten", 5000, 1000, 3, 1000, 1000},
  };
  for (const SCase& c : aCases) {
    const SD3D9PresentPace pace = D3D9PacePresent(c.iLastShownAt, c.iNow, 10, c.iFramesAhead);
    EXPECT_EQ(pace.iShownAt, c.iShownAt) << c.pName;
    EXPECT_EQ(pace.iReturnAt, c.iReturnAt) << c.pName;
  }
}

// A steady loop of instant frames settles at one present per refresh after filling the queue; a long frame is taken
// from the queue: the frame after it is not held a whole refresh.
TEST(D3D9PresentPace, ASteadyLoopRunsAtTheRefreshRate) {
  std::int64_t iShown = 0, iNow = 1000;
  std::int64_t aiReturns[8] = {};
  for (std::int64_t& iReturn : aiReturns) {
    const SD3D9PresentPace pace = D3D9PacePresent(iShown, iNow, 10, gc_iD3D9_FRAMES_AHEAD);
    iShown = pace.iShownAt;
    iNow = iReturn = pace.iReturnAt;
  }
  EXPECT_EQ(aiReturns[2], 1000) << "three frames go at once";
  for (int i = 3; i < 8; ++i) EXPECT_EQ(aiReturns[i] - aiReturns[i - 1], 10) << i;
  // 25 units of work: the queue (shown up to 1070) still holds a frame, so Present does not wait.
  const SD3D9PresentPace pace = D3D9PacePresent(iShown, iNow + 25, 10, gc_iD3D9_FRAMES_AHEAD);
  EXPECT_EQ(pace.iShownAt, iShown + 10);
  EXPECT_EQ(pace.iReturnAt, iNow + 25);
}

}  // namespace
