// The movie file over libavformat and libavcodec, the audio resampling (libswresample) and the frame conversion
// into surface memory (libswscale).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Platform/Common/PlatformFiles.h"
#include "Platform/DShow/DShowAvLibs.h"
#include "Platform/DShow/DShowInternal.h"

namespace DShowInternal {

namespace {

// FFmpeg's functions: loaded before a movie is made (CMovie::open), so every other caller finds them.
const SDShowAv& av() { return *DShowAv(); }

// A stored time further than this past the file's duration, or (for a file that does not give one) this far from
// where the stream would go on, is damaged: no player could wait for it.
constexpr double gc_dTIME_SLACK = 1.0;
constexpr double gc_dTIME_GAP_LIMIT = 10.0;

std::string errorText(int iError) {
  char szText[AV_ERROR_MAX_STRING_SIZE] = {};
  av().av_strerror(iError, szText, sizeof(szText));
  return szText;
}

// The only container a movie of the game is: the sample movies are made as ASF, the platform's movies are ".wmv".
constexpr char gc_szMOVIE_FORMAT[] = "asf";
// Bytes FFmpeg reads from the file at a time.
constexpr int gc_iREAD_BUFFER_BYTES = 64 * 1024;

// FFmpeg's reads and seeks of the movie file, on the descriptor the file door opened (opaque points to it).
int readMovieFile(void* pOpaque, std::uint8_t* pBuffer, int iSize) {
  const int iFd = *static_cast<const int*>(pOpaque);
  for (;;) {
    const ssize_t iRead = ::read(iFd, pBuffer, static_cast<size_t>(iSize));
    if (iRead > 0) return static_cast<int>(iRead);
    if (iRead == 0) return AVERROR_EOF;
    if (errno != EINTR) return AVERROR(errno);
  }
}

std::int64_t seekMovieFile(void* pOpaque, std::int64_t iOffset, int iWhence) {
  const int iFd = *static_cast<const int*>(pOpaque);
  if ((iWhence & AVSEEK_SIZE) != 0) {
    struct stat info {};
    return ::fstat(iFd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : AVERROR(errno);
  }
  const off_t iAt = ::lseek(iFd, static_cast<off_t>(iOffset), iWhence & ~AVSEEK_FORCE);
  return iAt < 0 ? AVERROR(errno) : static_cast<std::int64_t>(iAt);
}

// Every file or stream a demuxer would open besides the movie (the parts a list or playlist names): none is.
int refuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

// Opens the decoder of a stream with one thread (frames in order, no extra latency); null when FFmpeg has none.
AVCodecContext* openDecoder(const AVStream* pStream) {
  const AVCodec* pCodec = av().avcodec_find_decoder(pStream->codecpar->codec_id);
  if (pCodec == nullptr) return nullptr;
  AVCodecContext* pContext = av().avcodec_alloc_context3(pCodec);
  if (pContext == nullptr) return nullptr;
  if (av().avcodec_parameters_to_context(pContext, pStream->codecpar) < 0) {
    av().avcodec_free_context(&pContext);
    return nullptr;
  }
  pContext->pkt_timebase = pStream->time_base;
  pContext->thread_count = 1;
  if (av().avcodec_open2(pContext, pCodec, nullptr) < 0) {
    av().avcodec_free_context(&pContext);
    return nullptr;
  }
  return pContext;
}

}  // namespace

void AVFrameDeleter::operator()(AVFrame* pFrame) const { av().av_frame_free(&pFrame); }

CMovie::~CMovie() {
  // Without FFmpeg no movie is made (open refuses before the file is opened), so there is nothing to free.
  if (DShowAv() == nullptr) return;
  av().swr_free(&mp_pResampler);
  av().avcodec_free_context(&mp_pVideo);
  av().avcodec_free_context(&mp_pAudio);
  av().av_packet_free(&mp_pPacket);
  av().av_frame_free(&mp_pScratch);
  av().avformat_close_input(&mp_pFormat);
  // The reader is the movie's own (FFmpeg leaves a custom one alone), with the buffer FFmpeg may have replaced.
  if (mp_pInput != nullptr) {
    av().av_freep(&mp_pInput->buffer);
    av().avio_context_free(&mp_pInput);
  }
  if (m_iFd >= 0) ::close(m_iFd);
}

bool CMovie::openContainer(std::string* pWhy) {
  // FFmpeg reads the file the door opened, and nothing else.
  void* pBuffer = av().av_malloc(gc_iREAD_BUFFER_BYTES);
  if (pBuffer == nullptr) {
    *pWhy = errorText(AVERROR(ENOMEM));
    return false;
  }
  mp_pInput = av().avio_alloc_context(static_cast<unsigned char*>(pBuffer), gc_iREAD_BUFFER_BYTES, 0, &m_iFd,
                                      &readMovieFile, nullptr, &seekMovieFile);
  if (mp_pInput == nullptr) {
    av().av_freep(&pBuffer);
    *pWhy = errorText(AVERROR(ENOMEM));
    return false;
  }
  // The container is told by its bytes: anything but ASF (a concatenation list, a playlist, any other format) is
  // refused before its demuxer runs.
  const AVInputFormat* pFormat = nullptr;
  const int iProbed = av().av_probe_input_buffer2(mp_pInput, &pFormat, m_path.c_str(), nullptr, 0, 0);
  if (iProbed < 0) {
    *pWhy = errorText(iProbed);
    return false;
  }
  if (pFormat == nullptr || std::strcmp(pFormat->name, gc_szMOVIE_FORMAT) != 0) {
    *pWhy = std::string("it is not an ASF (Windows Media) movie but ") +
            (pFormat == nullptr ? std::string("of no known format")
                                : std::string("\"") + pFormat->name + "\" (" +
                                      (pFormat->long_name != nullptr ? pFormat->long_name : pFormat->name) + ")");
    return false;
  }
  mp_pFormat = av().avformat_alloc_context();
  if (mp_pFormat == nullptr) {
    *pWhy = errorText(AVERROR(ENOMEM));
    return false;
  }
  mp_pFormat->pb = mp_pInput;
  mp_pFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
  mp_pFormat->io_open = &refuseOtherFiles;
  AVDictionary* pOptions = nullptr;
  av().av_dict_set(&pOptions, "format_whitelist", gc_szMOVIE_FORMAT, 0);
  av().av_dict_set(&pOptions, "protocol_whitelist", "none", 0);
  // A context that fails to open is freed (and the pointer cleared) by FFmpeg.
  const int iError = av().avformat_open_input(&mp_pFormat, m_path.c_str(), pFormat, &pOptions);
  av().av_dict_free(&pOptions);
  if (iError < 0) {
    *pWhy = errorText(iError);
    return false;
  }
  return true;
}

std::unique_ptr<CMovie> CMovie::open(const std::string& hostPath, HRESULT* pResult) {
  if (DShowAv() == nullptr) {
    std::fprintf(stderr, "DirectShow stand-in: cannot open the movie %s: %s\n", hostPath.c_str(),
                 DShowAvProblem().c_str());
    *pResult = VFW_E_UNKNOWN_FILE_TYPE;
    return nullptr;
  }
  // FFmpeg would wait on a pipe and read a device without end: it is given the descriptor of a regular file.
  SPlatformFileProblem problem;
  const int iFd = PlatformOpenRegularFile(hostPath.c_str(), &problem);
  if (iFd < 0) {
    std::fprintf(stderr, "DirectShow stand-in: cannot open the movie %s: it %s\n", hostPath.c_str(),
                 PlatformDescribeFileProblem(problem).c_str());
    *pResult = problem.eKind == EPlatformFileProblem::Missing ? VFW_E_NOT_FOUND : VFW_E_UNKNOWN_FILE_TYPE;
    return nullptr;
  }
  std::unique_ptr<CMovie> pMovie(new CMovie());
  pMovie->m_path = hostPath;
  pMovie->m_iFd = iFd;
  std::string why;
  if (!pMovie->openContainer(&why)) {
    std::fprintf(stderr, "DirectShow stand-in: cannot open the movie %s: %s\n", hostPath.c_str(), why.c_str());
    *pResult = VFW_E_UNKNOWN_FILE_TYPE;
    return nullptr;
  }
  const int iError = av().avformat_find_stream_info(pMovie->mp_pFormat, nullptr);
  if (iError < 0) {
    std::fprintf(stderr, "DirectShow stand-in: the movie %s has no readable streams: %s\n", hostPath.c_str(),
                 errorText(iError).c_str());
    *pResult = VFW_E_UNKNOWN_FILE_TYPE;
    return nullptr;
  }
  AVFormatContext* pFormat = pMovie->mp_pFormat;
  const int iVideo = av().av_find_best_stream(pFormat, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (iVideo >= 0 && (pMovie->mp_pVideo = openDecoder(pFormat->streams[iVideo])) != nullptr) {
    const AVStream* pStream = pFormat->streams[iVideo];
    pMovie->m_iVideoStream = iVideo;
    pMovie->m_dVideoTimeBase = av_q2d(pStream->time_base);
    const AVRational rate = pStream->avg_frame_rate.num > 0 ? pStream->avg_frame_rate : pStream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) pMovie->m_dFrameDuration = av_q2d(av_inv_q(rate));
    if (pMovie->mp_pVideo->width <= 0 || pMovie->mp_pVideo->height <= 0) av().avcodec_free_context(&pMovie->mp_pVideo);
  }
  const int iAudio = av().av_find_best_stream(pFormat, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (iAudio >= 0 && (pMovie->mp_pAudio = openDecoder(pFormat->streams[iAudio])) != nullptr) {
    AVCodecContext* pAudio = pMovie->mp_pAudio;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (pAudio->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      av().av_channel_layout_default(&pAudio->ch_layout, pAudio->ch_layout.nb_channels);
    }
    if (pAudio->sample_rate <= 0 ||
        av().swr_alloc_set_opts2(&pMovie->mp_pResampler, &stereo, AV_SAMPLE_FMT_S16, pAudio->sample_rate,
                            &pAudio->ch_layout, pAudio->sample_fmt, pAudio->sample_rate, 0, nullptr) < 0 ||
        av().swr_init(pMovie->mp_pResampler) < 0) {
      av().swr_free(&pMovie->mp_pResampler);
      av().avcodec_free_context(&pMovie->mp_pAudio);
    } else {
      pMovie->m_iAudioStream = iAudio;
      pMovie->m_iAudioRate = pAudio->sample_rate;
      pMovie->m_iStreamRate = pAudio->sample_rate;
      pMovie->m_dAudioTimeBase = av_q2d(pFormat->streams[iAudio]->time_base);
    }
  }
  if (pFormat->duration != AV_NOPTS_VALUE && pFormat->duration > 0) {
    pMovie->m_dDuration = static_cast<double>(pFormat->duration) / AV_TIME_BASE;
  }
  pMovie->mp_pPacket = av().av_packet_alloc();
  pMovie->mp_pScratch = av().av_frame_alloc();
  *pResult = S_OK;
  return pMovie;
}

bool CMovie::setAudioRate(int iRate) {
  if (mp_pAudio == nullptr || iRate <= 0) return false;
  if (iRate == m_iAudioRate) return true;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  SwrContext* pResampler = nullptr;
  if (av().swr_alloc_set_opts2(&pResampler, &stereo, AV_SAMPLE_FMT_S16, iRate, &mp_pAudio->ch_layout,
                               mp_pAudio->sample_fmt, m_iStreamRate, 0, nullptr) < 0 ||
      av().swr_init(pResampler) < 0) {
    av().swr_free(&pResampler);
    return false;
  }
  av().swr_free(&mp_pResampler);
  mp_pResampler = pResampler;
  m_iAudioRate = iRate;
  return true;
}

int CMovie::width() const { return mp_pVideo != nullptr ? mp_pVideo->width : 0; }
int CMovie::height() const { return mp_pVideo != nullptr ? mp_pVideo->height : 0; }

void CMovie::aspectRatio(LONG* pX, LONG* pY) const {
  *pX = width();
  *pY = height();
  if (mp_pVideo == nullptr) return;
  const AVRational sample = mp_pVideo->sample_aspect_ratio;
  if (sample.num > 0 && sample.den > 0) {
    AVRational picture;
    av().av_reduce(&picture.num, &picture.den, static_cast<int64_t>(width()) * sample.num,
              static_cast<int64_t>(height()) * sample.den, 1 << 20);
    *pX = picture.num;
    *pY = picture.den;
  }
}

double CMovie::plausibleTime(std::int64_t iStored, double dTimeBase, double dExpected) const {
  if (iStored == AV_NOPTS_VALUE) return dExpected;
  const double dTime = static_cast<double>(iStored) * dTimeBase;
  const bool bPlausible = m_dDuration > 0.0
                              ? dTime >= -gc_dTIME_SLACK && dTime <= m_dDuration + gc_dTIME_SLACK
                              : std::fabs(dTime - dExpected) <= gc_dTIME_GAP_LIMIT;
  return std::isfinite(dTime) && bPlausible ? dTime : dExpected;
}

void CMovie::decodeVideo(const AVPacket* pPacket, std::deque<SVideoFrame>* pVideo) {
  if (av().avcodec_send_packet(mp_pVideo, pPacket) < 0 && pPacket != nullptr) ++m_uiDecodeErrors;
  for (;;) {
    FramePtr pFrame(av().av_frame_alloc());
    const int iResult = av().avcodec_receive_frame(mp_pVideo, pFrame.get());
    if (iResult == AVERROR(EAGAIN) || iResult == AVERROR_EOF) break;
    if (iResult < 0) {
      ++m_uiDecodeErrors;
      break;
    }
    double dDuration = m_dFrameDuration;
    if (pFrame->pkt_duration > 0) dDuration = static_cast<double>(pFrame->pkt_duration) * m_dVideoTimeBase;
    if (!(dDuration > 0.0 && dDuration <= gc_dTIME_GAP_LIMIT)) dDuration = m_dFrameDuration;
    const double dPts = plausibleTime(pFrame->best_effort_timestamp, m_dVideoTimeBase, m_dNextVideoPts);
    m_dNextVideoPts = dPts + dDuration;
    pVideo->push_back(SVideoFrame{std::move(pFrame), dPts, dDuration});
  }
}

void CMovie::decodeAudio(const AVPacket* pPacket, std::vector<std::int16_t>* pAudio, double* pdAudioPts) {
  if (av().avcodec_send_packet(mp_pAudio, pPacket) < 0 && pPacket != nullptr) ++m_uiDecodeErrors;
  for (;;) {
    const int iResult = av().avcodec_receive_frame(mp_pAudio, mp_pScratch);
    if (iResult == AVERROR(EAGAIN) || iResult == AVERROR_EOF) break;
    if (iResult < 0) {
      ++m_uiDecodeErrors;
      break;
    }
    const double dPts = plausibleTime(mp_pScratch->best_effort_timestamp, m_dAudioTimeBase, m_dNextAudioPts);
    if (pAudio->empty()) *pdAudioPts = dPts;
    const int iCapacity = av().swr_get_out_samples(mp_pResampler, mp_pScratch->nb_samples);
    if (iCapacity > 0) {
      const size_t uiOld = pAudio->size();
      pAudio->resize(uiOld + static_cast<size_t>(iCapacity) * 2);
      std::uint8_t* pOut = reinterpret_cast<std::uint8_t*>(pAudio->data() + uiOld);
      const int iFrames = av().swr_convert(mp_pResampler, &pOut, iCapacity,
                                      const_cast<const std::uint8_t**>(mp_pScratch->extended_data),
                                      mp_pScratch->nb_samples);
      pAudio->resize(uiOld + static_cast<size_t>(std::max(iFrames, 0)) * 2);
    }
    m_dNextAudioPts = dPts + static_cast<double>(mp_pScratch->nb_samples) / m_iStreamRate;
    av().av_frame_unref(mp_pScratch);
  }
}

bool CMovie::decodeStep(std::deque<SVideoFrame>* pVideo, std::vector<std::int16_t>* pAudio, double* pdAudioPts) {
  if (m_bEnd) return false;
  const int iResult = av().av_read_frame(mp_pFormat, mp_pPacket);
  if (iResult < 0) {
    // The end of the file, a read error or a truncated file: what was read is all there is. Drain the decoders.
    if (mp_pVideo != nullptr) decodeVideo(nullptr, pVideo);
    if (mp_pAudio != nullptr) decodeAudio(nullptr, pAudio, pdAudioPts);
    m_bEnd = true;
    return false;
  }
  if (mp_pPacket->stream_index == m_iVideoStream && mp_pVideo != nullptr) {
    decodeVideo(mp_pPacket, pVideo);
  } else if (mp_pPacket->stream_index == m_iAudioStream && mp_pAudio != nullptr) {
    decodeAudio(mp_pPacket, pAudio, pdAudioPts);
  }
  av().av_packet_unref(mp_pPacket);
  return true;
}

void CMovie::seek(double dSeconds) {
  const std::int64_t iTarget = static_cast<std::int64_t>(std::llround(dSeconds * AV_TIME_BASE));
  if (av().av_seek_frame(mp_pFormat, -1, iTarget, AVSEEK_FLAG_BACKWARD) < 0) {
    // Some files cannot seek by time: go back to the first byte, which is enough for the start.
    av().avformat_seek_file(mp_pFormat, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
  }
  if (mp_pVideo != nullptr) av().avcodec_flush_buffers(mp_pVideo);
  if (mp_pAudio != nullptr) av().avcodec_flush_buffers(mp_pAudio);
  if (mp_pResampler != nullptr) av().swr_init(mp_pResampler);
  m_dNextVideoPts = dSeconds;
  m_dNextAudioPts = dSeconds;
  m_bEnd = false;
}

CFrameConverter::~CFrameConverter() {
  if (mp_pContext != nullptr) av().sws_freeContext(mp_pContext);
}

bool CFrameConverter::convert(const AVFrame* pFrame, BYTE* pBits, INT iPitch, UINT uiWidth, UINT uiHeight,
                              D3DFORMAT eFormat) {
  AVPixelFormat eTarget = AV_PIX_FMT_NONE;
  switch (eFormat) {
    case D3DFMT_X8R8G8B8:
      eTarget = AV_PIX_FMT_BGR0;  // B, G, R, X in memory: a little-endian 0xXXRRGGBB word
      break;
    case D3DFMT_A8R8G8B8:
      eTarget = AV_PIX_FMT_BGRA;
      break;
    case D3DFMT_R5G6B5:
      eTarget = AV_PIX_FMT_RGB565LE;
      break;
    default:
      return false;
  }
  mp_pContext = av().sws_getCachedContext(mp_pContext, pFrame->width, pFrame->height,
                                     static_cast<AVPixelFormat>(pFrame->format), static_cast<int>(uiWidth),
                                     static_cast<int>(uiHeight), eTarget, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (mp_pContext == nullptr) return false;
  std::uint8_t* apDestination[4] = {pBits, nullptr, nullptr, nullptr};
  int aiPitch[4] = {iPitch, 0, 0, 0};
  return av().sws_scale(mp_pContext, pFrame->data, pFrame->linesize, 0, pFrame->height, apDestination, aiPitch) > 0;
}

}  // namespace DShowInternal
