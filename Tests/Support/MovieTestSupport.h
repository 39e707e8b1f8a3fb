// Movies for tests. Damaged and oversized movies made by the tests themselves with libavformat: a copy of a movie
// with one video frame's stored time pushed far ahead (as a flipped bit in a timestamp leaves it), and a movie
// whose pictures are larger than any texture (a header and a stub frame: a player refuses it before decoding).
// And a record of the sound a movie player hands to its output, from which the media time heard at any moment
// follows.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The counter movies (Content/FMV) carry their frame number N in every pixel: red 16 + 32 x (N mod 8), green
// 16 + 32 x (N / 8 mod 8), blue 16 + 32 x (N / 64). The number from a pixel (0xAARRGGBB), or -1 when a channel
// is not within 10 of a step (the codec blurred it too far to trust).
inline int counterFrameNumber(std::uint32_t uiPixel) {
  int iNumber = 0;
  int iWeight = 1;
  for (int iShift = 16; iShift >= 0; iShift -= 8) {
    const int iValue = static_cast<int>((uiPixel >> iShift) & 0xFF);
    const int iOffset = (iValue - 16 + 320) % 32;
    if (iOffset > 10 && iOffset < 22) return -1;
    iNumber += iWeight * (iValue / 32);
    iWeight *= 8;
  }
  return iNumber;
}

// Copies the ASF movie in to out with the stored time of its iFrame-th video frame (counted from 0) raised by iJump
// milliseconds. The file's header (its duration) and every other byte stay as they were. False with a reason when
// the movie cannot be read or the frame's time is not found.
inline bool KvTestDamageMovieTime(const std::string& in, const std::string& out, int iFrame, std::uint32_t uiJump,
                                  std::string* pError) {
  std::ifstream input(in, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
  AVFormatContext* pFormat = nullptr;
  if (bytes.empty() || avformat_open_input(&pFormat, in.c_str(), nullptr, nullptr) < 0) {
    *pError = "cannot read " + in;
    return false;
  }
  avformat_find_stream_info(pFormat, nullptr);
  const int iVideo = av_find_best_stream(pFormat, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVPacket* pPacket = av_packet_alloc();
  int iSeen = 0;
  std::int64_t iPosition = -1;
  int iSize = 0;
  std::int64_t iTime = 0;
  while (iVideo >= 0 && av_read_frame(pFormat, pPacket) >= 0) {
    const bool bWanted = pPacket->stream_index == iVideo && iSeen++ == iFrame;
    if (bWanted) {
      iPosition = pPacket->pos;
      iSize = pPacket->size;
      iTime = pPacket->pts;
    }
    av_packet_unref(pPacket);
    if (bWanted) break;
  }
  av_packet_free(&pPacket);
  avformat_close_input(&pFormat);
  if (iPosition < 0) {
    *pError = "no video frame " + std::to_string(iFrame) + " in " + in;
    return false;
  }
  // In the data packet that holds the frame, its payload's replicated data: the frame's size, then its time in
  // milliseconds with the preroll added (a few seconds at most).
  const auto word = [&](size_t uiAt) {
    return static_cast<std::uint32_t>(bytes[uiAt]) | static_cast<std::uint32_t>(bytes[uiAt + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[uiAt + 2]) << 16 | static_cast<std::uint32_t>(bytes[uiAt + 3]) << 24;
  };
  const size_t uiPacket = static_cast<size_t>(iPosition);
  for (size_t uiAt = uiPacket; uiAt + 8 <= bytes.size() && uiAt < uiPacket + 65536u; ++uiAt) {
    const std::int64_t iStored = word(uiAt + 4);
    if (word(uiAt) != static_cast<std::uint32_t>(iSize) || iStored < iTime || iStored > iTime + 10000) continue;
    const std::uint32_t uiDamaged = static_cast<std::uint32_t>(iStored) + uiJump;
    for (int i = 0; i < 4; ++i) bytes[uiAt + 4 + i] = static_cast<unsigned char>(uiDamaged >> (8 * i));
    std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
    return true;
  }
  *pError = "the time of video frame " + std::to_string(iFrame) + " was not found in " + in;
  return false;
}

// Writes an ASF movie (the only container the game's movies are) of one uncompressed video stream of the size, with
// one frame of a few bytes (the header is what a player reads first; the frame would not decode). False with a
// reason.
inline bool KvTestWriteMovieHeader(const std::string& path, int iWidth, int iHeight, std::string* pError) {
  AVFormatContext* pFormat = nullptr;
  if (avformat_alloc_output_context2(&pFormat, nullptr, "asf", path.c_str()) < 0) {
    *pError = "no ASF writer";
    return false;
  }
  AVStream* pStream = avformat_new_stream(pFormat, nullptr);
  pStream->time_base = AVRational{1, 25};
  pStream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  pStream->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
  pStream->codecpar->codec_tag = avcodec_pix_fmt_to_codec_tag(AV_PIX_FMT_YUV420P);
  pStream->codecpar->format = AV_PIX_FMT_YUV420P;
  pStream->codecpar->width = iWidth;
  pStream->codecpar->height = iHeight;
  bool bDone = avio_open(&pFormat->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
  bDone = bDone && avformat_write_header(pFormat, nullptr) >= 0;
  if (bDone) {
    AVPacket* pPacket = av_packet_alloc();
    bDone = av_new_packet(pPacket, 16) >= 0;
    if (bDone) {
      std::memset(pPacket->data, 0, 16);
      pPacket->pts = 0;
      pPacket->dts = 0;
      pPacket->flags = AV_PKT_FLAG_KEY;
      bDone = av_write_frame(pFormat, pPacket) >= 0;
    }
    av_packet_free(&pPacket);
  }
  bDone = bDone && av_write_trailer(pFormat) >= 0;
  if (pFormat->pb != nullptr) avio_closep(&pFormat->pb);
  avformat_free_context(pFormat);
  if (!bDone) *pError = "cannot write " + path;
  return bDone;
}

// What a movie player handed to its sound output, block by block (DShowTestSetAudioObserver's arguments): the
// samples, the time of each hand-over and the media time of each block's first frame.
struct SObservedSound {
  std::mutex mutex;
  std::vector<std::int16_t> samples;
  std::vector<double> handOvers;
  std::vector<double> mediaTimes;
  std::vector<unsigned int> frames;
  int iRate = 0;
};

inline void observeSound(void* pUser, const std::int16_t* pBlock, unsigned int uiFrames, int iRate, double dHandOver,
                  double dMediaTime) {
  auto* pObserved = static_cast<SObservedSound*>(pUser);
  std::lock_guard<std::mutex> lock(pObserved->mutex);
  pObserved->samples.insert(pObserved->samples.end(), pBlock, pBlock + uiFrames * 2);
  pObserved->handOvers.push_back(dHandOver);
  pObserved->mediaTimes.push_back(dMediaTime);
  pObserved->frames.push_back(uiFrames);
  pObserved->iRate = iRate;
}

// The media time heard at a moment, from the blocks handed over: each is heard from one output latency after its
// hand-over, frame by frame. False before the first block is heard.
inline bool heardAt(SObservedSound& observed, double dLatency, double dTime, double* pdHeard) {
  std::lock_guard<std::mutex> lock(observed.mutex);
  bool bKnown = false;
  for (size_t i = 0; i < observed.handOvers.size(); ++i) {
    const double dStart = observed.handOvers[i] + dLatency;
    if (dStart > dTime) continue;
    const double dLength = static_cast<double>(observed.frames[i]) / observed.iRate;
    *pdHeard = observed.mediaTimes[i] + std::min(dTime - dStart, dLength);
    bKnown = true;
  }
  return bKnown;
}

