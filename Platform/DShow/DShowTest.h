// Test controls of the DirectShow stand-in: the audio output a graph starts, injected faults, an observer of the
// sound handed to the output, and what a graph's streaming thread has done. Not for the game's own use.
//
// Environment: GRINDLOW_DSHOW_AUDIO ("device" or "null"; default "device") and GRINDLOW_DSHOW_FAULTS, a
// comma-separated list: "novmr" (CoCreateInstance of the VMR-9 fails: video is unavailable), "stall=N" (the
// streaming thread stops handing frames over after N frames and decodes nothing more, as a stream that hangs).
// Both are read when a graph is made unless the test set them.
#pragma once

#include <cstdint>

#include "Platform/DShow/DShow.h"

enum class EDShowAudioOutput {
  // The program's sound device: the sound library's mixer when one is initialised (Platform/Common/
  // PlatformPcmSink.h), else an SDL audio device of the graph's own, else Null.
  Device,
  Null,    // no device and no mixer: the sound is consumed in real time and discarded
  // No device and no thread: the clock of every graph (its sound's, or the wall clock of a movie without sound)
  // stands still until DShowTestAdvanceClock moves it on and hands the sound over as it falls due (into the sound
  // library's mixer, when one is initialised).
  Manual,
};

struct SDShowFaults {
  bool bNoVMR = false;
  std::uint32_t uiStallAfterFrames = 0;  // 0: no stall
};

// Replace the environment's choice for graphs made from now on; DShowTestReset returns to the environment.
void DShowTestSetAudioOutput(EDShowAudioOutput eOutput);
void DShowTestSetFaults(const SDShowFaults& faults);
// Graphs started from now on hand every frame over as soon as it is decoded, without waiting for the clock, and
// end when the data ends (throughput measurements). DShowTestReset turns it off.
void DShowTestSetFreeRunning(bool bFreeRunning);
void DShowTestReset();

// Manual output: moves the test clock on by dSeconds. Each block of sound that falls due on the way is handed over
// at its own time (as the null output would in real time) once the decoding thread has read ahead as far as it
// keeps ahead, so what is heard does not depend on how fast the machine is. False for an object that is not a graph
// of this stand-in, or without the manual output.
bool DShowTestAdvanceClock(IUnknown* pGraph, double dSeconds);
// The test clock in seconds, as the audio observer is given it; the steady clock without the manual output.
double DShowTestClockSeconds();
// The graph's threads have done everything due at the clock's time: nothing is being read, decoded or handed to
// the presenter, no frame is due and the end, once reached, is signalled. A presenter that keeps its frame waiting
// keeps the graph unsettled until it returns.
bool DShowTestIsSettled(IUnknown* pGraph);

// What a graph's streaming thread has done so far.
struct SDShowStats {
  std::uint32_t uiFramesPresented = 0;  // handed to the presenter
  std::uint32_t uiFramesDropped = 0;    // decoded but late, skipped for a later frame that was also due
  std::uint32_t uiDecodeErrors = 0;     // packets or frames the decoders refused
  bool bAudioDevice = false;            // the sound plays on an SDL device of its own
  bool bAudioMixer = false;             // the sound goes into the sound library's mixer
  int iAudioRate = 0;                   // frames a second of the output, 0 without sound
  double dAudioBlock = 0.0;             // seconds of sound in each block handed to the output
  double dAudioLatency = 0.0;           // seconds from handing a block to the output until it is heard
};
// False for an object that is not a graph of this stand-in (any of its interfaces will do).
bool DShowTestGetStats(IUnknown* pGraph, SDShowStats* pStats);

// Called on the audio output's thread with every block handed to the output (interleaved 16-bit stereo, after the
// volume), the steady-clock time of the hand-over in seconds (std::chrono::steady_clock since its epoch) and the
// block's first frame's media time in seconds. One observer for every graph; null removes it.
typedef void (*DShowAudioObserver)(void* pUser, const std::int16_t* pBlock, unsigned int uiFrames, int iRate,
                                   double dHandOverTime, double dMediaTime);
void DShowTestSetAudioObserver(DShowAudioObserver pfnObserver, void* pUser);
