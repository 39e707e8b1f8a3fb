#include "Platform/FMODEx/FMODExDecoder.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "Platform/Common/PlatformFiles.h"

namespace FMODExInternal {

namespace {

// Position and length of a source read through a window; seeks stay inside it.
class WindowSource : public ByteSource {
 public:
  explicit WindowSource(std::int64_t iLength) : m_iLength(iLength) {}
  std::int64_t size() const override { return m_iLength; }
  std::int64_t seek(std::int64_t iOffset, int iWhence) override {
    const std::int64_t iBase = iWhence == SEEK_CUR ? m_iPosition : (iWhence == SEEK_END ? m_iLength : 0);
    const std::int64_t iTarget = iBase + iOffset;
    if (iTarget < 0 || iTarget > m_iLength) {
      return -1;
    }
    m_iPosition = iTarget;
    return m_iPosition;
  }
  std::int64_t tell() const override { return m_iPosition; }

 protected:
  // Bytes that may be read from the position on, at most iCount.
  std::int64_t available(std::int64_t iCount) const {
    return std::max<std::int64_t>(0, std::min(iCount, m_iLength - m_iPosition));
  }
  std::int64_t m_iLength;
  std::int64_t m_iPosition = 0;
};

class MemorySource final : public WindowSource {
 public:
  MemorySource(const void* pData, std::int64_t iLength, bool bCopy) : WindowSource(iLength) {
    if (bCopy) {
      m_copy.assign(static_cast<const std::uint8_t*>(pData), static_cast<const std::uint8_t*>(pData) + iLength);
      m_pData = m_copy.data();
    } else {
      m_pData = static_cast<const std::uint8_t*>(pData);
    }
  }
  std::int64_t read(void* pDest, std::int64_t iCount) override {
    const std::int64_t iTake = available(iCount);
    if (iTake > 0) {
      std::memcpy(pDest, m_pData + m_iPosition, static_cast<size_t>(iTake));
      m_iPosition += iTake;
    }
    return iTake;
  }

 private:
  std::vector<std::uint8_t> m_copy;
  const std::uint8_t* m_pData = nullptr;
};

class FileWindowSource final : public WindowSource {
 public:
  FileWindowSource(std::FILE* pFile, std::int64_t iOffset, std::int64_t iLength)
      : WindowSource(iLength), m_pFile(pFile), m_iOffset(iOffset) {}
  ~FileWindowSource() override { std::fclose(m_pFile); }
  std::int64_t read(void* pDest, std::int64_t iCount) override {
    const std::int64_t iTake = available(iCount);
    if (iTake == 0 || fseeko(m_pFile, static_cast<off_t>(m_iOffset + m_iPosition), SEEK_SET) != 0) {
      return 0;
    }
    const std::int64_t iRead = static_cast<std::int64_t>(std::fread(pDest, 1, static_cast<size_t>(iTake), m_pFile));
    m_iPosition += iRead;
    return iRead;
  }

 private:
  std::FILE* m_pFile;
  std::int64_t m_iOffset;
};

sf_count_t virtualLength(void* pUser) { return static_cast<ByteSource*>(pUser)->size(); }
sf_count_t virtualSeek(sf_count_t iOffset, int iWhence, void* pUser) {
  return static_cast<ByteSource*>(pUser)->seek(iOffset, iWhence);
}
sf_count_t virtualRead(void* pDest, sf_count_t iCount, void* pUser) {
  return static_cast<ByteSource*>(pUser)->read(pDest, iCount);
}
sf_count_t virtualWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t virtualTell(void* pUser) { return static_cast<ByteSource*>(pUser)->tell(); }

SF_VIRTUAL_IO g_virtualIO = {&virtualLength, &virtualSeek, &virtualRead, &virtualWrite, &virtualTell};

// A RIFF WAVE file whose RIFF chunk says it is longer than the bytes there are has been cut: libsndfile would
// play what is left in silence. (Sizes 0 and 0xFFFFFFFF are what streaming writers leave: no length known.)
bool isCutWave(ByteSource* pSource) {
  std::uint8_t aucHeader[12] = {};
  const bool bRead = pSource->seek(0, SEEK_SET) == 0 && pSource->read(aucHeader, sizeof(aucHeader)) == 12;
  pSource->seek(0, SEEK_SET);
  if (!bRead || std::memcmp(aucHeader, "RIFF", 4) != 0 || std::memcmp(aucHeader + 8, "WAVE", 4) != 0) {
    return false;
  }
  std::uint32_t uiRiffSize = 0;
  std::memcpy(&uiRiffSize, aucHeader + 4, sizeof(uiRiffSize));
  return uiRiffSize != 0 && uiRiffSize != 0xFFFFFFFFu && std::int64_t{uiRiffSize} + 8 > pSource->size();
}

// The stream probes below read the file through a handle of their own before the decoder's opens (a failed seek
// leaves a libsndfile handle unable to seek again, and an Ogg seek after a read may stop short); each leaves the
// source at its start. A file that does not open is left to the decoder's open.
template <typename Fn>
bool probeStream(ByteSource* pSource, bool bNotOpened, Fn fn) {
  SF_INFO info = {};
  SNDFILE* pProbe = pSource->seek(0, SEEK_SET) == 0 ? sf_open_virtual(&g_virtualIO, SFM_READ, &info, pSource) : nullptr;
  bool bAnswer = bNotOpened;
  if (pProbe != nullptr && info.channels > 0 && info.channels <= 16) {
    bAnswer = fn(pProbe, info);
  }
  if (pProbe != nullptr) {
    sf_close(pProbe);
  }
  pSource->seek(0, SEEK_SET);
  return bAnswer;
}

// Whether the file's data ends before its header says: its last declared frame does not decode, or it is an Ogg
// file without a last page (libsndfile gives no length for a seekable Ogg file only when it finds none).
bool endIsMissing(ByteSource* pSource) {
  return probeStream(pSource, false, [](SNDFILE* pProbe, const SF_INFO& info) {
    if (info.frames == SF_COUNT_MAX) {
      return (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG;
    }
    float afFrame[16];
    return info.frames > 0 && (sf_seek(pProbe, info.frames - 1, SEEK_SET) != info.frames - 1 ||
                               sf_readf_float(pProbe, afFrame, 1) != 1);
  });
}

bool firstFrameDecodes(ByteSource* pSource) {
  return probeStream(pSource, true, [](SNDFILE* pProbe, const SF_INFO&) {
    float afFrame[16];
    return sf_readf_float(pProbe, afFrame, 1) == 1;
  });
}

// Fails an open with the reason.
template <typename T>
std::unique_ptr<T> refuse(FMOD_RESULT eResult, const std::string& why, FMOD_RESULT* pResult) {
  lastProblem() = why;
  *pResult = eResult;
  return nullptr;
}

// libsndfile's reason for the last open that failed (its own record, shared by every thread: read at once).
std::string libraryReason() { return std::string("libsndfile: ") + sf_strerror(nullptr); }

}  // namespace

std::string& lastProblem() {
  thread_local std::string t_problem;
  return t_problem;
}

std::unique_ptr<ByteSource> makeMemorySource(const void* pData, std::int64_t iLength, bool bCopy) {
  return std::make_unique<MemorySource>(pData, iLength, bCopy);
}

std::unique_ptr<ByteSource> makeFileWindowSource(const std::string& hostPath, std::int64_t iOffset,
                                                 std::int64_t iLength, FMOD_RESULT* pResult) {
  SPlatformFileProblem problem;
  const int iFd = PlatformOpenRegularFile(hostPath.c_str(), &problem);
  if (iFd < 0) {
    return refuse<ByteSource>(FMOD_ERR_FILE_NOTFOUND, "it " + PlatformDescribeFileProblem(problem), pResult);
  }
  std::FILE* pFile = fdopen(iFd, "rb");
  if (pFile == nullptr) {
    close(iFd);
    return refuse<ByteSource>(FMOD_ERR_FILE_NOTFOUND, "it cannot be read", pResult);
  }
  std::int64_t iFileSize = -1;
  if (fseeko(pFile, 0, SEEK_END) == 0) {
    iFileSize = ftello(pFile);
  }
  if (iLength == 0) {
    iLength = iFileSize - iOffset;
  }
  if (iFileSize < 0 || iOffset < 0 || iLength <= 0 || iOffset + iLength > iFileSize) {
    std::fclose(pFile);
    return refuse<ByteSource>(FMOD_ERR_FILE_NOTFOUND,
                              "the window of " + std::to_string(iLength) + " bytes at " + std::to_string(iOffset) +
                                  " does not lie inside its " + std::to_string(iFileSize) + " bytes",
                              pResult);
  }
  *pResult = FMOD_OK;
  return std::make_unique<FileWindowSource>(pFile, iOffset, iLength);
}

std::unique_ptr<Decoder> Decoder::open(std::unique_ptr<ByteSource> pSource, ECut eCut, FMOD_RESULT* pResult) {
  std::unique_ptr<Decoder> pDecoder(new Decoder());
  pDecoder->m_pSource = std::move(pSource);
  const bool bCutWave = isCutWave(pDecoder->m_pSource.get());
  if (bCutWave && eCut == ECut::Refused) {
    return refuse<Decoder>(FMOD_ERR_FILE_BAD, "its RIFF header gives more bytes than the file holds", pResult);
  }
  if (eCut == ECut::Played) {
    pDecoder->m_bCutShort = bCutWave || endIsMissing(pDecoder->m_pSource.get());
    // Cut before its first frame, it holds no sound to play.
    if (pDecoder->m_bCutShort && !firstFrameDecodes(pDecoder->m_pSource.get())) {
      return refuse<Decoder>(FMOD_ERR_FILE_BAD, "it ends before its first frame", pResult);
    }
  }
  SF_INFO info = {};
  SNDFILE* pFile = sf_open_virtual(&g_virtualIO, SFM_READ, &info, pDecoder->m_pSource.get());
  if (pFile == nullptr) {
    return refuse<Decoder>(FMOD_ERR_FILE_BAD, libraryReason(), pResult);
  }
  if (info.channels <= 0 || info.samplerate <= 0) {
    sf_close(pFile);
    return refuse<Decoder>(FMOD_ERR_FILE_BAD,
                           "it gives " + std::to_string(info.channels) + " channels at " +
                               std::to_string(info.samplerate) + " frames a second",
                           pResult);
  }
  pDecoder->m_pFile = pFile;
  if (info.channels > 16) {
    return refuse<Decoder>(FMOD_ERR_FORMAT, "it has " + std::to_string(info.channels) + " channels, more than 16",
                           pResult);
  }
  pDecoder->m_iChannels = info.channels;
  pDecoder->m_iRate = info.samplerate;
  pDecoder->m_iFrames = info.frames >= 0 && info.frames != SF_COUNT_MAX ? info.frames : gc_iUNKNOWN_FRAMES;
  *pResult = FMOD_OK;
  return pDecoder;
}

Decoder::~Decoder() {
  if (m_pFile != nullptr) {
    sf_close(static_cast<SNDFILE*>(m_pFile));
  }
}

std::int64_t Decoder::read(float* pOut, std::int64_t iFrames) {
  std::int64_t iDone = 0;
  while (iDone < iFrames) {
    const sf_count_t iRead = sf_readf_float(static_cast<SNDFILE*>(m_pFile), pOut + iDone * m_iChannels,
                                            iFrames - iDone);
    if (iRead <= 0) {
      break;
    }
    iDone += iRead;
  }
  return iDone;
}

bool Decoder::rewind() { return sf_seek(static_cast<SNDFILE*>(m_pFile), 0, SEEK_SET) == 0; }

std::vector<float> Decoder::readAll() {
  std::vector<float> samples;
  constexpr std::int64_t iChunk = 4096;
  std::vector<float> chunk(static_cast<size_t>(iChunk * m_iChannels));
  for (;;) {
    const std::int64_t iRead = read(chunk.data(), iChunk);
    samples.insert(samples.end(), chunk.begin(), chunk.begin() + iRead * m_iChannels);
    if (iRead < iChunk) {
      break;
    }
  }
  return samples;
}

}  // namespace FMODExInternal
