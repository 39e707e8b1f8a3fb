#include "Platform/FMODEx/FMODExStreamFeed.h"

#include <algorithm>

namespace FMODExInternal {

namespace {

// Frames decoded at once: small enough that a restart is seen soon, large enough to keep the thread asleep.
constexpr std::int64_t gc_iDECODE_CHUNK_FRAMES = 4096;

}  // namespace

// The file's bytes as the decoder reads them, each read first passing the feed's hold (a test's stalled disk).
class StreamFeed::HeldSource final : public ByteSource {
 public:
  HeldSource(StreamFeed& feed, std::unique_ptr<ByteSource> pInner) : m_feed(feed), m_pInner(std::move(pInner)) {}
  std::int64_t size() const override { return m_pInner->size(); }
  std::int64_t read(void* pDest, std::int64_t iCount) override {
    return m_feed.passReadGate() ? m_pInner->read(pDest, iCount) : 0;
  }
  std::int64_t seek(std::int64_t iOffset, int iWhence) override { return m_pInner->seek(iOffset, iWhence); }
  std::int64_t tell() const override { return m_pInner->tell(); }

 private:
  StreamFeed& m_feed;
  std::unique_ptr<ByteSource> m_pInner;
};

std::unique_ptr<StreamFeed> StreamFeed::open(std::unique_ptr<ByteSource> pSource, bool bLoops, FMOD_RESULT* pResult) {
  std::unique_ptr<StreamFeed> pFeed(new StreamFeed());
  pFeed->m_pDecoder =
      Decoder::open(std::make_unique<HeldSource>(*pFeed, std::move(pSource)), Decoder::ECut::Played, pResult);
  if (pFeed->m_pDecoder == nullptr) {
    return nullptr;
  }
  pFeed->m_iChannels = pFeed->m_pDecoder->channels();
  pFeed->m_bLoops = bLoops;
  return pFeed;
}

StreamFeed::~StreamFeed() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bStop = true;
  }
  m_decoderWake.notify_all();
  if (m_thread.joinable()) {
    m_thread.join();
  }
  // The decoder's source passes this feed's gate: it goes while the feed is whole.
  m_pDecoder.reset();
}

std::int64_t StreamFeed::framesToEnd() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_iFramesToEnd;
}

void StreamFeed::restart() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_thread.joinable()) {
    m_ring.assign(static_cast<size_t>(gc_iRING_FRAMES * m_iChannels), 0.0f);
    m_thread = std::thread(&StreamFeed::run, this);
    return;
  }
  if (!m_bReadSinceStart) {
    return;  // the ring still starts at the first frame
  }
  ++m_uiGeneration;
  m_uiRead = m_uiWritten;
  m_iFirstPassEnd = 0;
  m_iNumPassEnds = 0;
  m_bEnded = false;
  m_bReadSinceStart = false;
  m_decoderWake.notify_all();
}

StreamFeed::ERun StreamFeed::peek(bool bWait, const float** ppFrames, std::int64_t* piFrames) {
  std::unique_lock<std::mutex> guard(m_lock);
  for (;;) {
    const bool bAtPassEnd = m_iNumPassEnds > 0 && m_auiPassEnds[m_iFirstPassEnd] == m_uiRead;
    if (bAtPassEnd) {
      return ERun::PassEnd;
    }
    if (m_uiWritten > m_uiRead) {
      std::uint64_t uiEnd = m_uiWritten;
      if (m_iNumPassEnds > 0) {
        uiEnd = std::min(uiEnd, m_auiPassEnds[m_iFirstPassEnd]);
      }
      const std::int64_t iAt = static_cast<std::int64_t>(m_uiRead % gc_iRING_FRAMES);
      *ppFrames = m_ring.data() + iAt * m_iChannels;
      *piFrames = std::min(static_cast<std::int64_t>(uiEnd - m_uiRead), gc_iRING_FRAMES - iAt);
      return ERun::Frames;
    }
    if (m_bEnded) {
      return ERun::Ended;
    }
    if (!bWait || m_bHeldAtRead || !m_thread.joinable()) {
      return ERun::Starved;
    }
    m_readerWake.wait(guard);
  }
}

void StreamFeed::consume(std::int64_t iFrames) {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_uiRead += static_cast<std::uint64_t>(iFrames);
    m_bReadSinceStart = true;
  }
  m_decoderWake.notify_one();
}

void StreamFeed::endPass() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_iNumPassEnds > 0 && m_auiPassEnds[m_iFirstPassEnd] == m_uiRead) {
      m_iFramesToEnd = m_aiPassFrames[m_iFirstPassEnd];
      m_iFirstPassEnd = (m_iFirstPassEnd + 1) % gc_iMAX_PASS_ENDS;
      --m_iNumPassEnds;
    }
    m_bReadSinceStart = true;
  }
  m_decoderWake.notify_one();
}

void StreamFeed::setReadsHeld(bool bHeld) {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bReadsHeld = bHeld;
    // Once lifted the read is as good as going on: a reader that waits for the decoder waits for it.
    m_bHeldAtRead = m_bHeldAtRead && bHeld;
  }
  m_decoderWake.notify_all();
}

bool StreamFeed::passReadGate() {
  std::unique_lock<std::mutex> guard(m_lock);
  // Said again at every wake: a hold lifted and set again before this thread ran is a new hold.
  while (m_bReadsHeld && !m_bStop) {
    m_bHeldAtRead = true;
    m_readerWake.notify_all();
    m_decoderWake.wait(guard);
  }
  m_bHeldAtRead = false;
  return !m_bStop;
}

bool StreamFeed::waitForWork(std::unique_lock<std::mutex>& guard, std::uint64_t uiGeneration) {
  m_decoderWake.wait(guard, [&] {
    const bool bRoom = m_uiWritten - m_uiRead < static_cast<std::uint64_t>(gc_iRING_FRAMES) &&
                       m_iNumPassEnds < gc_iMAX_PASS_ENDS;
    return m_bStop || uiGeneration != m_uiGeneration || (!m_bEnded && bRoom);
  });
  return !m_bStop;
}

void StreamFeed::run() {
  // The decoder stands at the first frame since it opened; every later generation starts with a rewind.
  std::uint64_t uiGeneration = m_uiGeneration;
  bool bRewind = false;
  std::int64_t iPassFrames = 0;
  std::unique_lock<std::mutex> guard(m_lock);
  while (waitForWork(guard, uiGeneration)) {
    if (uiGeneration != m_uiGeneration) {
      uiGeneration = m_uiGeneration;
      bRewind = true;
    }
    const std::int64_t iAt = static_cast<std::int64_t>(m_uiWritten % gc_iRING_FRAMES);
    const std::int64_t iRoom = gc_iRING_FRAMES - static_cast<std::int64_t>(m_uiWritten - m_uiRead);
    const std::int64_t iSpan = std::min({iRoom, gc_iRING_FRAMES - iAt, gc_iDECODE_CHUNK_FRAMES});
    guard.unlock();
    // The reader never touches [written, read + ring size): the decode fills it without the lock.
    bool bRewound = true;
    if (bRewind) {
      bRewound = m_pDecoder->rewind();
      bRewind = false;
      iPassFrames = 0;
    }
    const std::int64_t iGot = bRewound ? m_pDecoder->read(m_ring.data() + iAt * m_iChannels, iSpan) : 0;
    guard.lock();
    if (uiGeneration != m_uiGeneration) {
      continue;  // restarted meanwhile: these frames belong to the old play
    }
    m_uiWritten += static_cast<std::uint64_t>(iGot);
    iPassFrames += iGot;
    if (iGot < iSpan) {
      // The end of the file (or of what can be read of it). A pass that gave nothing ends the stream.
      if (iPassFrames > 0) {
        // Every pass starts at the first frame (the open, a rewind).
        const int iSlot = (m_iFirstPassEnd + m_iNumPassEnds) % gc_iMAX_PASS_ENDS;
        m_auiPassEnds[iSlot] = m_uiWritten;
        m_aiPassFrames[iSlot] = iPassFrames;
        ++m_iNumPassEnds;
      }
      if (m_bLoops && iPassFrames > 0 && bRewound) {
        bRewind = true;
      } else {
        m_bEnded = true;
      }
    }
    m_readerWake.notify_all();
  }
}

}  // namespace FMODExInternal
