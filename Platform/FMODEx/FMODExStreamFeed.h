// Inside the sound library stand-in: a stream's decoder thread and the ring of decoded frames it fills ahead of
// the mixer. The mixer only copies out of the ring (or resamples in place from it); it never reads the file, so
// a file that stalls starves its own channel (silence) and nothing else.
//
// Threads: the decoder thread is the only writer of the ring; the reader calls (peek, consume, endPass,
// restart, setReadsHeld) come from one thread at a time (the mixer and the API, under the system's lock).
// The feed's own lock is held only for bookkeeping, never across a file read, so the reader never waits on
// the disk (except in wait mode, below).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Platform/FMODEx/FMODExDecoder.h"

namespace FMODExInternal {

class StreamFeed {
 public:
  // Frames the ring holds: about a third of a second at 48 kHz.
  static constexpr std::int64_t gc_iRING_FRAMES = 16384;
  // Pass ends the ring can hold at once; a loop of very short passes waits for the reader.
  static constexpr int gc_iMAX_PASS_ENDS = 64;

  // What the reader finds at its position.
  enum class ERun {
    Frames,   // a run of decoded frames
    PassEnd,  // the end of one pass through the file: endPass decides what follows
    Ended,    // nothing more will come
    Starved,  // the decoder has not caught up (or its reads are held)
  };

  // Opens the decoder over pSource (null with the decoder's result when it does not open). bLoops: the decoder
  // starts the file again after each pass (the channel's loop count decides how many of those passes are heard).
  static std::unique_ptr<StreamFeed> open(std::unique_ptr<ByteSource> pSource, bool bLoops, FMOD_RESULT* pResult);
  // Stops the decoder thread (a held read is let go first).
  ~StreamFeed();
  StreamFeed(const StreamFeed&) = delete;
  StreamFeed& operator=(const StreamFeed&) = delete;

  // Channels, rate and declared length of the file (fixed once open).
  const Decoder& decoder() const { return *m_pDecoder; }
  // The frames from the file's first to where its data ends, once the reader has gone past the end of a pass
  // (endPass); gc_iUNKNOWN_FRAMES before. What the decoder has read ahead counts for nothing: the length is known
  // when the stream has been played to its end, at the same point of its playing in every run.
  std::int64_t framesToEnd();

  // Back to the first frame for a new play: drops what the ring holds, unless nothing of it was read since
  // the last start. Starts the decoder thread on the first play. Never waits on the decoder.
  void restart();
  // The run at the reader's position: *ppFrames (interleaved) and *piFrames for Frames, contiguous, never
  // past a pass end. bWait: wait for the decoder rather than report Starved, unless its reads are held (the
  // manual output, whose time stands still while the decoder works).
  ERun peek(bool bWait, const float** ppFrames, std::int64_t* piFrames);
  // iFrames of the run that peek gave were used.
  void consume(std::int64_t iFrames);
  // Past a pass end (peek said PassEnd): from here on framesToEnd is known.
  void endPass();
  // Test hook: while held, the decoder's next read of the file waits until the hold is lifted.
  void setReadsHeld(bool bHeld);

 private:
  class HeldSource;
  StreamFeed() = default;
  void run();
  // Waits (lock held) until there is room, a restart after uiGeneration or a stop; false for a stop.
  bool waitForWork(std::unique_lock<std::mutex>& guard, std::uint64_t uiGeneration);
  // Called by the decoder's source before each read: waits while reads are held. False once stopping.
  bool passReadGate();

  std::unique_ptr<Decoder> m_pDecoder;
  int m_iChannels = 0;
  bool m_bLoops = false;
  std::vector<float> m_ring;

  std::mutex m_lock;
  std::condition_variable m_decoderWake;  // room, a restart, a stop, the hold lifted
  std::condition_variable m_readerWake;   // frames, the end, the decoder held at its read
  std::uint64_t m_uiWritten = 0;          // frames ever published
  std::uint64_t m_uiRead = 0;             // frames ever consumed (or dropped at a restart)
  std::uint64_t m_auiPassEnds[gc_iMAX_PASS_ENDS] = {};  // m_uiWritten at each pass end, oldest first
  std::int64_t m_aiPassFrames[gc_iMAX_PASS_ENDS] = {};   // the frames of the pass each ends (from the first frame)
  int m_iFirstPassEnd = 0;
  int m_iNumPassEnds = 0;
  std::int64_t m_iFramesToEnd = gc_iUNKNOWN_FRAMES;
  bool m_bEnded = false;
  bool m_bReadSinceStart = false;
  std::uint64_t m_uiGeneration = 0;  // counts restarts: frames decoded for an older one are dropped
  bool m_bReadsHeld = false;
  bool m_bHeldAtRead = false;
  bool m_bStop = false;
  std::thread m_thread;
};

}  // namespace FMODExInternal
