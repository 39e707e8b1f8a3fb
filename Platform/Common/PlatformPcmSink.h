// The one join between two stand-ins: the movie stand-in's sound renderer hands the sound it plays to the sound
// library stand-in's mixer, so the program has one sound device, as a Windows program's movie sound and library
// sound meet in the system's mixer. Neither stand-in knows the other: the mixer installs itself here as the sink
// while it is initialised, and a sound renderer opens an input on whatever sink is installed.
//
// An input takes interleaved 16-bit stereo frames at the sink's rate, written in real time as the writer plays them
// (the writer keeps its own clock); the sink mixes what each input holds into its output, after a short buffer
// that absorbs the two clocks' jitter (pcmLatency). Once the sink is removed its inputs drop what is written to
// them, so a writer never has to know when the mixer went away.
//
// Threads: any. Installing, removing and opening take this registry's lock (the sink's two operations run under
// it); writing takes only the input's own lock.
#pragma once

#include <cstdint>
#include <memory>

class IPlatformPcmInput {
 public:
  virtual ~IPlatformPcmInput() = default;
  // Appends frames (interleaved stereo); dropped once the sink is gone. Never blocks on the mixing.
  virtual void write(const std::int16_t* pFrames, unsigned int uiFrames) = 0;
};

class IPlatformPcmSink {
 public:
  virtual ~IPlatformPcmSink() = default;
  // Frames a second the sink mixes at, and the seconds from a write until its first frame is heard.
  virtual int pcmRate() = 0;
  virtual double pcmLatency() = 0;
  // A new input, mixed until its last owner lets it go and it has played out; null when none can be had.
  virtual std::shared_ptr<IPlatformPcmInput> openPcmInput() = 0;
};

// The first sink installed stays until it is removed; removing another does nothing.
void PlatformInstallPcmSink(IPlatformPcmSink* pSink);
void PlatformRemovePcmSink(IPlatformPcmSink* pSink);

struct SPlatformPcmInput {
  std::shared_ptr<IPlatformPcmInput> pInput;
  int iRate = 0;
  double dLatency = 0.0;
};
// An input on the installed sink with its rate and latency; false (pOpened untouched) without a sink or an input.
bool PlatformOpenPcmInput(SPlatformPcmInput* pOpened);
