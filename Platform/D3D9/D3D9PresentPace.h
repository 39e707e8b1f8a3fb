// The pace of a vsync'd Present on a driver that does not block on the swap interval (offscreen, Xvfb): the display
// shows each presented frame at a refresh of its own, one refresh after the frame before at the earliest, and keeps
// a queue of frames presented ahead of the display, as a driver's render-ahead does (Direct3D 9 lets a device run
// three frames ahead by default). Present returns once its frame is at most gc_iD3D9_FRAMES_AHEAD - 1 refreshes
// from being shown, so a steady loop still runs at the refresh rate while a long frame (a load between loading
// frames) is taken from the frames queued before it instead of adding to the wait after it.
#pragma once

#include <cstdint>

inline constexpr std::int64_t gc_iD3D9_FRAMES_AHEAD = 3;

struct SD3D9PresentPace {
  std::int64_t iShownAt;   // the refresh the frame is shown at
  std::int64_t iReturnAt;  // when Present returns (never before iNow)
};

// Times on one monotonic clock, in any unit; iPeriod > 0 is the refresh interval and iFramesAhead >= 1 the queue's
// depth (1: Present returns when its frame is shown). A last refresh further ahead than the queue allows (a clock
// that went back) is forgotten: the frame is shown now.
SD3D9PresentPace D3D9PacePresent(std::int64_t iLastShownAt, std::int64_t iNow, std::int64_t iPeriod,
                                 std::int64_t iFramesAhead);
