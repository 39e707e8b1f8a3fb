// Inside the DirectShow stand-in: the movie reader over FFmpeg, the audio output with the movie clock, the COM
// objects (graph, filters, pins, enumerators) and the configuration the tests set.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Common/PlatformPcmSink.h"
#include "Platform/DShow/DShow.h"
#include "Platform/DShow/DShowTest.h"
#include "Platform/DShow/VMR9.h"

struct AVFormatContext;
struct AVIOContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;
struct SwsContext;

namespace DShowInternal {

using SteadyClock = std::chrono::steady_clock;

// Seconds of a steady-clock time since the clock's epoch (what the audio observer is given).
double steadySeconds(SteadyClock::time_point t);

// The graphs' time: the steady clock, or with the manual output the test clock, which stands still until the test
// moves it on.
SteadyClock::time_point clockNow();
bool manualClock();
void setTestClock(SteadyClock::time_point t);

// --- Configuration (test controls and environment) ---

EDShowAudioOutput chosenAudioOutput();
SDShowFaults currentFaults();
bool freeRunning();
void notifyAudioObserver(const std::int16_t* pBlock, unsigned int uiFrames, int iRate, SteadyClock::time_point t,
                         double dMediaTime);

// --- The movie file ---

struct AVFrameDeleter {
  void operator()(AVFrame* pFrame) const;
};
using FramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;

// A decoded video frame and its media times in seconds.
struct SVideoFrame {
  FramePtr pFrame;
  double dPts = 0.0;
  double dDuration = 0.0;
};

// One movie file opened with libavformat, its first video and audio streams with their decoders, and the audio
// resampled to interleaved 16-bit stereo at the stream's own rate. The file is opened once, through the platform's file
// door, and FFmpeg reads only that descriptor: only an ASF (Windows Media) container is demuxed, and FFmpeg may open no
// file or protocol of its own, so a list or playlist that names other files (a pipe among them) is refused as a damaged
// movie is. Used by one thread at a time (the streaming thread, or the graph while that thread is stopped).
class CMovie {
 public:
  ~CMovie();
  // Opens the host path; null with VFW_E_NOT_FOUND or VFW_E_UNKNOWN_FILE_TYPE (and one line on standard error
  // naming the file and why) when it is not a regular file, not an ASF file, or FFmpeg cannot open it.
  static std::unique_ptr<CMovie> open(const std::string& hostPath, HRESULT* pResult);

  bool hasVideo() const { return mp_pVideo != nullptr; }
  bool hasAudio() const { return mp_pAudio != nullptr; }
  int width() const;
  int height() const;
  // The pixel aspect ratio as width:height of the picture (the frame size when the stream gives none).
  void aspectRatio(LONG* pX, LONG* pY) const;
  // Frames a second of the decoded sound: the stream's own rate unless setAudioRate asked for another.
  int audioRate() const { return m_iAudioRate; }
  // Resamples the sound to iRate from now on (before decoding starts); false when the resampler refuses it.
  bool setAudioRate(int iRate);
  // The file's duration in seconds (0 when the file does not say).
  double duration() const { return m_dDuration; }
  double frameDuration() const { return m_dFrameDuration; }
  const std::string& path() const { return m_path; }

  // Reads one packet and decodes it: video frames are appended to pVideo, audio (interleaved stereo) to pAudio
  // with the media time of its first frame in *pdAudioPts (when pAudio was empty). False at the end of the data
  // (the end of the file, a read error or a truncated file), after the decoders were drained.
  bool decodeStep(std::deque<SVideoFrame>* pVideo, std::vector<std::int16_t>* pAudio, double* pdAudioPts);
  // Goes back to a media time (seconds): the decoders start again from the key frame before it.
  void seek(double dSeconds);
  std::uint32_t decodeErrors() const { return m_uiDecodeErrors; }

 private:
  CMovie() = default;
  // Opens the ASF container over the file's descriptor; false with the reason.
  bool openContainer(std::string* pWhy);
  // A frame's time in seconds from its stored time: the time the stream would go on with (dExpected) when none is
  // stored or the stored one is damaged (past the file's end, or a jump no real stream makes).
  double plausibleTime(std::int64_t iStored, double dTimeBase, double dExpected) const;
  void decodeVideo(const AVPacket* pPacket, std::deque<SVideoFrame>* pVideo);
  void decodeAudio(const AVPacket* pPacket, std::vector<std::int16_t>* pAudio, double* pdAudioPts);

  std::string m_path;
  int m_iFd = -1;                  // the movie file, which FFmpeg reads through mp_pInput
  AVIOContext* mp_pInput = nullptr;
  AVFormatContext* mp_pFormat = nullptr;
  AVCodecContext* mp_pVideo = nullptr;
  AVCodecContext* mp_pAudio = nullptr;
  int m_iVideoStream = -1;
  int m_iAudioStream = -1;
  double m_dVideoTimeBase = 0.0;
  double m_dAudioTimeBase = 0.0;
  double m_dDuration = 0.0;
  double m_dFrameDuration = 0.04;
  double m_dNextVideoPts = 0.0;   // where the streams go on: the last frame's time and length
  double m_dNextAudioPts = 0.0;
  SwrContext* mp_pResampler = nullptr;
  int m_iAudioRate = 0;
  int m_iStreamRate = 0;  // the stream's own
  AVPacket* mp_pPacket = nullptr;
  AVFrame* mp_pScratch = nullptr;
  bool m_bEnd = false;
  std::uint32_t m_uiDecodeErrors = 0;
};

// Converts a decoded frame into 32-bit or 16-bit surface memory of any size (libswscale).
class CFrameConverter {
 public:
  ~CFrameConverter();
  // False for a surface format it cannot write.
  bool convert(const AVFrame* pFrame, BYTE* pBits, INT iPitch, UINT uiWidth, UINT uiHeight, D3DFORMAT eFormat);

 private:
  SwsContext* mp_pContext = nullptr;
};

// --- Sound out and the movie clock ---

// The sound renderer's output: interleaved 16-bit stereo at the movie's rate, queued by the decoding thread and
// played by an SDL audio device (its callback), by a null output thread in real time, or (the tests' manual output)
// block by block as the test clock passes each block's time. With the sound library's mixer as its sink (then at the
// mixer's rate) there is no device of its own: the null thread or the manual output plays the blocks, and each
// block played is written into the mixer's input, heard the sink's latency later. It keeps the movie
// clock: the media time being heard, from the frames played and the time of the last hand-over, going on with the
// wall clock once the last queued frame has been heard after the end of the stream.
class CAudioOutput {
 public:
  static constexpr int gc_iBLOCK_FRAMES = 1024;

  // pMixer: an input on the mixer (null: none), whose rate iRate is.
  CAudioOutput(int iRate, EDShowAudioOutput eOutput, const SPlatformPcmInput* pMixer);
  ~CAudioOutput();
  bool isDevice() const { return m_uiDevice != 0; }
  bool isMixer() const { return mp_pMixer != nullptr; }
  bool isManual() const { return m_bManual; }
  // Manual output: when the next block falls due (the time point's maximum while not running), and its hand-over.
  SteadyClock::time_point nextHandOver();
  void handOverManual();
  int rate() const { return m_iRate; }
  // Seconds from handing a block over until its first frame is heard: one block (the device plays the block
  // before while it is given the next), and the mixer's own latency when the block goes on to the mixer.
  double latency() const { return static_cast<double>(gc_iBLOCK_FRAMES) / m_iRate + m_dMixerLatency; }

  void setRunning(bool bRunning);
  // Attenuation in hundredths of a decibel (-10000: silence).
  void setVolume(LONG lVolume);
  // Appends frames whose first has the media time dPts (used when nothing is queued or heard since the last flush).
  void queue(const std::int16_t* pSamples, size_t uiFrames, double dPts);
  double queuedSeconds();
  // Forgets what is queued and restarts the clock at the media time.
  void flush(double dPts);
  void setEndOfStream();
  // Every queued frame has been heard after the end of the stream.
  bool finished();
  double clock(SteadyClock::time_point now);

 private:
  static void deviceCallback(void* pUser, std::uint8_t* pStream, int iLength);
  void fill(std::int16_t* pOut, int iFrames);
  void nullThread();
  double clockLocked(SteadyClock::time_point now);

  int m_iRate;
  std::shared_ptr<IPlatformPcmInput> mp_pMixer;
  double m_dMixerLatency = 0.0;
  unsigned int m_uiDevice = 0;  // SDL_AudioDeviceID
  bool m_bSdlAudio = false;
  bool m_bManual = false;
  SteadyClock::time_point m_tNextHandOver{};  // manual output
  std::vector<std::int16_t> m_manualBlock;
  std::thread m_null;
  std::condition_variable m_nullWake;
  bool m_bQuit = false;

  std::mutex m_mutex;
  std::vector<std::int16_t> m_ring;  // interleaved stereo
  size_t m_uiRead = 0;               // frame index of the oldest queued frame
  size_t m_uiQueued = 0;             // frames queued
  std::atomic<float> m_fGain{1.0f};
  bool m_bRunning = false;
  bool m_bEndOfStream = false;
  double m_dBasePts = 0.0;           // media time of the first frame queued since the last flush
  bool m_bBaseSet = false;
  std::uint64_t m_uiTaken = 0;       // frames handed to the output since the last flush
  // The last hand-over that carried queued frames: when, how many frames had been handed over before it, how many
  // it carried.
  SteadyClock::time_point m_tLast{};
  std::uint64_t m_uiTakenBeforeLast = 0;
  unsigned int m_uiLastFrames = 0;
  bool m_bHandedOver = false;
  double m_dFloor = 0.0;             // the clock never goes back (until a flush)
  double m_dPaused = 0.0;            // the clock while not running
  // After the end of the stream, once every frame has been heard: when, and the clock then.
  bool m_bDrained = false;
  SteadyClock::time_point m_tDrained{};
  double m_dDrained = 0.0;
};

// The movie clock of a movie without sound: the wall clock while running.
class CWallClock {
 public:
  void reset(double dPts);
  void setRunning(bool bRunning, SteadyClock::time_point now);
  double clock(SteadyClock::time_point now) const;

 private:
  bool m_bRunning = false;
  double m_dValue = 0.0;  // at m_tStart when running, else the frozen value
  SteadyClock::time_point m_tStart{};
};

// --- COM objects ---

class CGraph;
class CFilter;

enum class EPinKind { Video, Audio };

// A pin: its reference count is its filter's.
class CPin final : public IPin {
 public:
  CPin(CFilter* pFilter, PIN_DIRECTION eDirection, EPinKind eKind);
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT ConnectedTo(IPin** ppPin) override;
  HRESULT Disconnect() override;
  HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override;

  CFilter* filter() const { return mp_pFilter; }
  PIN_DIRECTION direction() const { return m_eDirection; }
  EPinKind kind() const { return m_eKind; }
  CPin* peer() const { return mp_pPeer; }
  void setPeer(CPin* pPeer) { mp_pPeer = pPeer; }

 private:
  CFilter* mp_pFilter;
  PIN_DIRECTION m_eDirection;
  EPinKind m_eKind;
  CPin* mp_pPeer = nullptr;
};

// The filters' shared part: reference count, pins, the graph it belongs to.
class CFilter : public IBaseFilter {
 public:
  virtual ~CFilter();
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG AddRef() override { return ++m_uiRefs; }
  ULONG Release() override;
  HRESULT EnumPins(IEnumPins** ppEnum) override;

  const std::vector<std::unique_ptr<CPin>>& pins() const { return m_pins; }
  CGraph* graph() const { return mp_pGraph; }
  void setGraph(CGraph* pGraph) { mp_pGraph = pGraph; }
  // Called when one of its input pins is connected to or disconnected from an output pin.
  virtual HRESULT onConnect(CPin* /*pInput*/, CPin* /*pOutput*/) { return S_OK; }
  virtual void onDisconnect(CPin* /*pInput*/) {}

 protected:
  // Interfaces beyond IUnknown and IBaseFilter; null when the filter has none for the identifier.
  virtual void* findInterface(REFIID /*riid*/) { return nullptr; }
  CPin* addPin(PIN_DIRECTION eDirection, EPinKind eKind);

 private:
  std::atomic<ULONG> m_uiRefs{1};
  std::vector<std::unique_ptr<CPin>> m_pins;
  CGraph* mp_pGraph = nullptr;
};

// The file's source: the movie and an output pin for each stream it can decode.
class CSourceFilter final : public CFilter {
 public:
  explicit CSourceFilter(std::unique_ptr<CMovie> pMovie);
  CMovie* movie() { return mp_pMovie.get(); }

 private:
  std::unique_ptr<CMovie> mp_pMovie;
};

// The Video Mixing Renderer 9 in renderless mode.
class CVMRFilter final : public CFilter, public IVMRFilterConfig9, public IVMRSurfaceAllocatorNotify9 {
 public:
  CVMRFilter();
  ~CVMRFilter() override;
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override { return CFilter::QueryInterface(riid, ppvObject); }
  ULONG AddRef() override { return CFilter::AddRef(); }
  ULONG Release() override { return CFilter::Release(); }

  HRESULT SetRenderingMode(DWORD Mode) override;
  HRESULT SetNumberOfStreams(DWORD dwMaxStreams) override;
  HRESULT AdviseSurfaceAllocator(DWORD_PTR dwUserID, IVMRSurfaceAllocator9* lpIVRMSurfaceAllocator) override;
  HRESULT SetD3DDevice(IDirect3DDevice9* lpD3DDevice, HMONITOR hMonitor) override;

  HRESULT onConnect(CPin* pInput, CPin* pOutput) override;
  void onDisconnect(CPin* pInput) override;

  // Streaming thread: converts the frame into a surface and hands it to the presenter (which may block). False
  // when no surface could be had or filled.
  bool presentFrame(const SVideoFrame& frame, LONG lAspectX, LONG lAspectY);
  void startPresenting();
  void stopPresenting();

 protected:
  void* findInterface(REFIID riid) override;

 private:
  void releaseAllocator();

  std::mutex m_mutex;  // the allocator, presenter and device against the streaming thread
  DWORD m_dwMode = 0;
  DWORD_PTR m_dwUserID = 0;
  IVMRSurfaceAllocator9* mp_pAllocator = nullptr;
  IVMRImagePresenter9* mp_pPresenter = nullptr;
  IDirect3DDevice9* mp_pDevice = nullptr;
  bool m_bDeviceInitialised = false;
  IDirect3DSurface9* mp_pStaging = nullptr;  // system memory, the source of each frame's copy
  CFrameConverter m_converter;
};

// The sound renderer: its output exists while its pin is connected.
class CSoundRenderer final : public CFilter {
 public:
  CSoundRenderer();
  ~CSoundRenderer() override;
  HRESULT onConnect(CPin* pInput, CPin* pOutput) override;
  void onDisconnect(CPin* pInput) override;
  CAudioOutput* output() { return mp_pOutput.get(); }
  void setVolume(LONG lVolume);
  LONG volume() const { return m_lVolume; }

 private:
  std::unique_ptr<CAudioOutput> mp_pOutput;
  LONG m_lVolume = 0;
};

// The filter graph manager with its control, event, seeking, position and audio interfaces, the decoding thread
// and the streaming thread.
class CGraph final : public IFilterGraph2,
                     public IMediaControl,
                     public IMediaEventEx,
                     public IMediaSeeking,
                     public IMediaPosition,
                     public IBasicAudio {
 public:
  CGraph();
  ~CGraph();
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG AddRef() override { return ++m_uiRefs; }
  ULONG Release() override;

  HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
  HRESULT RemoveFilter(IBaseFilter* pFilter) override;
  HRESULT EnumFilters(IEnumFilters** ppEnum) override;
  HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter** ppFilter) override;
  HRESULT RenderEx(IPin* pPinOut, DWORD dwFlags, DWORD* pvContext) override;

  HRESULT Run() override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT GetState(LONG msTimeout, OAFilterState* pfs) override;

  HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) override;
  HRESULT FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;
  HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) override;

  HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags) override;
  HRESULT GetCurrentPosition(LONGLONG* pCurrent) override;
  HRESULT GetDuration(LONGLONG* pDuration) override;

  HRESULT get_Duration(REFTIME* plength) override;
  HRESULT get_CurrentPosition(REFTIME* pllTime) override;

  HRESULT put_Volume(LONG lVolume) override;
  HRESULT get_Volume(LONG* plVolume) override;

  SDShowStats stats();
  // The test clock (manual output): see DShowTestAdvanceClock and DShowTestIsSettled.
  bool advanceTestClock(double dSeconds);
  bool settled();

 private:
  struct SFilterEntry {
    CFilter* pFilter;  // holds a reference
    std::u16string name;
  };
  struct SEvent {
    LONG lCode;
    LONG_PTR lParam1;
    LONG_PTR lParam2;
  };

  bool hasFilterLocked(const CFilter* pFilter) const;
  // The playing set: the source and the renderers its pins are connected to (null when absent).
  void findStreamsLocked(CSourceFilter** ppSource, CVMRFilter** ppVMR, CSoundRenderer** ppSound) const;
  void queueEventLocked(LONG lCode, LONG_PTR lParam1, LONG_PTR lParam2);
  double positionLocked(SteadyClock::time_point now) const;
  void setRunningLocked(bool bRunning);
  // Stopped -> paused: the decoding and streaming threads start.
  void startStreamingLocked(std::unique_lock<std::mutex>& lock);
  void stopStreaming(std::unique_lock<std::mutex>& lock);
  void seekLocked(double dSeconds);
  // Reads and decodes ahead: video frames into the queue, sound into the output.
  void decodingThread();
  // Hands each frame over when it falls due (the streaming thread the presenter is called on); signals the end.
  void presentingThread();
  bool decodeAheadNeededLocked() const;
  // The decoding thread has nothing to do until the sound drains or the state changes.
  bool decoderIdleLocked() const;
  bool stalledLocked() const;
  // The streaming thread's next move at a time: a frame to drop, a frame to hand over, the end to signal or nothing.
  enum class EPresentStep { Wait, Drop, Present, Complete };
  EPresentStep presentStepLocked(SteadyClock::time_point now, double* pdWaitSeconds) const;
  bool finishedLocked(SteadyClock::time_point now) const;

  std::atomic<ULONG> m_uiRefs{1};
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;   // the two threads' wake-up
  std::condition_variable m_event;  // GetEvent's wait
  std::vector<SFilterEntry> m_filters;
  std::deque<SEvent> m_events;
  HWND m_hNotifyWindow = nullptr;
  UINT m_uiNotifyMessage = 0;
  LONG_PTR m_lNotifyParam = 0;

  OAFilterState m_eState = State_Stopped;
  // The streams being played (set when leaving Stopped; the filters stay in the graph while the thread runs).
  CSourceFilter* mp_pSource = nullptr;
  CVMRFilter* mp_pVMR = nullptr;
  CSoundRenderer* mp_pSound = nullptr;
  std::thread m_decodeThread;
  std::thread m_presentThread;
  bool m_bThreadQuit = false;
  bool m_bDecodeBusy = false;        // the decoding thread reads or decodes outside the lock
  bool m_bPresentBusy = false;       // the streaming thread converts or presents outside the lock
  bool m_bSeekPending = false;
  double m_dSeekTarget = 0.0;
  std::deque<SVideoFrame> m_videoQueue;
  CWallClock m_wallClock;
  double m_dStartPosition = 0.0;     // the media time playing (re)starts from
  double m_dEndTime = 0.0;           // the end of the last video frame decoded
  bool m_bCompleted = false;
  bool m_bDecodedAll = false;        // the decoding thread reached the end of the data (the movie's own flag is its)
  std::uint32_t m_uiPresented = 0;
  std::uint32_t m_uiDropped = 0;
  SDShowFaults m_faults;
  bool m_bFreeRunning = false;
};

}  // namespace DShowInternal
