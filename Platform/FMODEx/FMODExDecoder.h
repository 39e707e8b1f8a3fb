// Inside the sound library stand-in: encoded bytes from memory or from a window of a file, decoded to
// interleaved float frames by libsndfile (WAV, Ogg Vorbis, FLAC).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Platform/FMODEx/FMODEx.h"

namespace FMODExInternal {

// A seekable run of bytes.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::int64_t size() const = 0;
  // Bytes read (fewer at the end).
  virtual std::int64_t read(void* pDest, std::int64_t iCount) = 0;
  // whence as fseek's; answers the new position or -1.
  virtual std::int64_t seek(std::int64_t iOffset, int iWhence) = 0;
  virtual std::int64_t tell() const = 0;
};

// The caller's bytes; bCopy keeps a copy so that the caller's may go.
std::unique_ptr<ByteSource> makeMemorySource(const void* pData, std::int64_t iLength, bool bCopy);
// [offset, offset + length) of a regular file (length 0: to its end). Null with FMOD_ERR_FILE_NOTFOUND when the
// file does not open, is not a regular file (never waited on) or the window does not lie inside it.
std::unique_ptr<ByteSource> makeFileWindowSource(const std::string& hostPath, std::int64_t iOffset,
                                                 std::int64_t iLength, FMOD_RESULT* pResult);

// Why the calling thread's last source or decoder was not made ("" once cleared); FMODExGetLastProblem answers it.
std::string& lastProblem();

// A length a file does not give (declaredFrames, StreamFeed::framesToEnd until known).
inline constexpr std::int64_t gc_iUNKNOWN_FRAMES = -1;

class Decoder {
 public:
  // What a file whose data ends before its header says (cut short) is to a caller.
  enum class ECut {
    Refused,  // a RIFF WAVE file shorter than its RIFF size does not open (a sample); nothing is probed
    Played,   // it opens, to play to where its data ends (a stream); cutShort() says so
  };
  // Null with FMOD_ERR_FILE_BAD when the bytes are not a sound libsndfile reads (or are a cut RIFF WAVE file, for
  // ECut::Refused; a file cut short before its first frame, for ECut::Played), FMOD_ERR_FORMAT for more than 16
  // channels.
  static std::unique_ptr<Decoder> open(std::unique_ptr<ByteSource> pSource, ECut eCut, FMOD_RESULT* pResult);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  int channels() const { return m_iChannels; }
  int rate() const { return m_iRate; }
  // Frames the file's header gives; gc_iUNKNOWN_FRAMES when it gives none (an Ogg file without its last page, a
  // FLAC file whose header leaves the count at 0): the frames are then known only once read to the end.
  std::int64_t declaredFrames() const { return m_iFrames; }
  // The file's data ends before its header says: a RIFF WAVE file shorter than its RIFF size, a file whose last
  // declared frame cannot be reached, or an Ogg file whose last page (which gives its length) is missing
  // (ECut::Played only; a refused file does not open).
  bool cutShort() const { return m_bCutShort; }
  // Frames decoded into pOut (iFrames x channels floats); fewer at the end.
  std::int64_t read(float* pOut, std::int64_t iFrames);
  // Back to the first frame; false when the file cannot seek.
  bool rewind();
  // Every remaining frame.
  std::vector<float> readAll();

 private:
  Decoder() = default;
  std::unique_ptr<ByteSource> m_pSource;
  void* m_pFile = nullptr;  // SNDFILE*
  int m_iChannels = 0;
  int m_iRate = 0;
  std::int64_t m_iFrames = 0;
  bool m_bCutShort = false;
};

}  // namespace FMODExInternal
