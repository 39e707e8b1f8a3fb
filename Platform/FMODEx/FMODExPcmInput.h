// The mixer's side of the movie sound join (Platform/Common/PlatformPcmSink.h): the inputs a movie's sound renderer
// writes its played sound into, and the sink an initialised system installs. An input's frames are added into every
// mixed block after the voices, at full scale: the writer has applied its own volume, and the library's groups do
// not reach it (the movie's sound is not one of the library's channels).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/Common/PlatformPcmSink.h"

namespace FMODExInternal {

struct SystemState;

// Frames an input holds before it is mixed (and again after it ran dry): the writer hands over blocks of about half
// this size on its own clock, so one block in hand covers the jitter between the two clocks. The null output mixes
// the time that passed at each System::update, a game frame's time at once (a tenth of a second and more while a
// movie holds the frame back), so its inputs hold more before they start.
inline constexpr int gc_iPCM_START_FRAMES = 2048;
inline constexpr double gc_dPCM_NULL_START_SECONDS = 0.15;
// The most an input holds (about a second at 48 kHz): a mixer that stops pulling for longer loses the oldest frames.
// The null output catches up on what piled up while the game's frame stalled, so its inputs may hold that much; a
// device takes frames in real time, so more than this past the start amount means its clock runs slower than the
// writer's, and the oldest frames go down to the start amount to keep the sound with the picture.
inline constexpr int gc_iPCM_CAPACITY_FRAMES = 49152;
inline constexpr int gc_iPCM_DEVICE_SLACK_FRAMES = 4096;

class PcmInput final : public IPlatformPcmInput {
 public:
  // Holds iStartFrames before it is mixed, and never more than iMostFrames (at most the capacity).
  PcmInput(int iStartFrames, int iMostFrames);
  void write(const std::int16_t* pFrames, unsigned int uiFrames) override;
  // The mixing thread, with the system's lock held: adds what it holds, up to iFrames, into pOut (interleaved
  // stereo). bFlush mixes what is held without waiting for the start amount (its writer has let go). Allocates
  // nothing.
  void mixInto(float* pOut, int iFrames, bool bFlush);
  // The sink is gone: from now on writes are dropped and nothing is held.
  void detach();
  bool empty();

 private:
  std::mutex m_mutex;
  std::vector<std::int16_t> m_ring;  // interleaved stereo
  size_t m_uiRead = 0;               // frame index of the oldest frame held
  size_t m_uiQueued = 0;
  size_t m_uiStart;
  size_t m_uiMost;
  bool m_bStarted = false;
  bool m_bDetached = false;
};

// What an initialised system installs as the program's sink.
class PcmSink final : public IPlatformPcmSink {
 public:
  explicit PcmSink(SystemState* pSystem) : mp_pSystem(pSystem) {}
  int pcmRate() override;
  double pcmLatency() override;
  std::shared_ptr<IPlatformPcmInput> openPcmInput() override;

 private:
  // What an input holds before it starts and at most, for the system's output (its lock held).
  int startFramesLocked() const;
  int mostFramesLocked() const;
  SystemState* mp_pSystem;
};

}  // namespace FMODExInternal
