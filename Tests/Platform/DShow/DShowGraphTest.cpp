// The DirectShow stand-in: object creation and interfaces, source filters over FFmpeg, connections to the renderers
// present, playback through the program's presenter (frames in order, read back from the texture they were copied
// into), the end of the stream, stop and seek, stalls and truncated files, files that are no movie, and the sound's
// volume.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Tests/Platform/DShow/DShowTestSupport.h"
#include "Tests/Support/MovieTestSupport.h"

namespace {

TEST(DShowObjects, ClassesInterfacesAndIdentity) {
  DShowTestReset();
  IUnknown* pUnknown = nullptr;
  EXPECT_EQ(CoCreateInstance(IID_IPin, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&pUnknown)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(pUnknown, nullptr);
  IUnknown* pOuter = reinterpret_cast<IUnknown*>(&pUnknown);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, pOuter, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&pUnknown)),
            CLASS_E_NOAGGREGATION);

  IGraphBuilder* pGraph = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             reinterpret_cast<void**>(&pGraph)),
            S_OK);
  // Every interface of the graph leads back to the same object.
  IMediaControl* pControl = nullptr;
  IBasicAudio* pAudio = nullptr;
  ASSERT_EQ(pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&pControl)), S_OK);
  ASSERT_EQ(pControl->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&pAudio)), S_OK);
  IUnknown* pIdentity1 = nullptr;
  IUnknown* pIdentity2 = nullptr;
  pGraph->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity1));
  pAudio->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity2));
  EXPECT_EQ(pIdentity1, pIdentity2);
  releaseCom(pIdentity1);
  releaseCom(pIdentity2);
  IVMRFilterConfig9* pNotGraph = nullptr;
  EXPECT_EQ(pGraph->QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(&pNotGraph)), E_NOINTERFACE);
  EXPECT_EQ(pNotGraph, nullptr);
  // Without a sound renderer there is no volume to set.
  EXPECT_EQ(pAudio->put_Volume(0), VFW_E_NOT_CONNECTED);
  releaseCom(pAudio);
  releaseCom(pControl);
  EXPECT_EQ(pGraph->Release(), 0u);

  // The renderless renderer has no windowless control.
  IBaseFilter* pVMR = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                             reinterpret_cast<void**>(&pVMR)),
            S_OK);
  IVMRWindowlessControl9* pWindowless = nullptr;
  EXPECT_EQ(pVMR->QueryInterface(IID_IVMRWindowlessControl9, reinterpret_cast<void**>(&pWindowless)), E_NOINTERFACE);
  IVMRFilterConfig9* pConfig = nullptr;
  ASSERT_EQ(pVMR->QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(&pConfig)), S_OK);
  EXPECT_EQ(pConfig->SetNumberOfStreams(2), E_INVALIDARG);
  IVMRSurfaceAllocatorNotify9* pNotify = nullptr;
  ASSERT_EQ(pVMR->QueryInterface(IID_IVMRSurfaceAllocatorNotify9, reinterpret_cast<void**>(&pNotify)), S_OK);
  EXPECT_EQ(pNotify->AdviseSurfaceAllocator(1, nullptr), VFW_E_WRONG_STATE) << "renderless mode is set first";
  releaseCom(pNotify);
  releaseCom(pConfig);
  EXPECT_EQ(pVMR->Release(), 0u);

  // The injected fault: no renderer, so the player sees video as unavailable.
  SDShowFaults faults;
  faults.bNoVMR = true;
  DShowTestSetFaults(faults);
  EXPECT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                             reinterpret_cast<void**>(&pVMR)),
            REGDB_E_CLASSNOTREG);
  DShowTestReset();
}

TEST(DShowObjects, SourceFiltersOpenWhatFFmpegCanRead) {
  DShowTestReset();
  IFilterGraph2* pGraph = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                             reinterpret_cast<void**>(&pGraph)),
            S_OK);
  IBaseFilter* pSource = nullptr;
  EXPECT_EQ(pGraph->AddSourceFilter(movieWidePath("Not_There").c_str(), u"SOURCE", &pSource), VFW_E_NOT_FOUND);
  EXPECT_EQ(pSource, nullptr);
  // Files FFmpeg cannot read, text among them, are the rows of NotAMovie below.

  const auto pinCount = [&](const char* pMovie, const char16_t* pName) {
    IBaseFilter* pFilter = nullptr;
    EXPECT_EQ(pGraph->AddSourceFilter(movieWidePath(pMovie).c_str(), pName, &pFilter), S_OK);
    if (pFilter == nullptr) return -1;
    IEnumPins* pPins = nullptr;
    pFilter->EnumPins(&pPins);
    int iCount = 0;
    IPin* pPin = nullptr;
    while (pPins->Next(1, &pPin, nullptr) == S_OK) {
      PIN_DIRECTION eDirection = PINDIR_INPUT;
      pPin->QueryDirection(&eDirection);
      EXPECT_EQ(eDirection, PINDIR_OUTPUT);
      IPin* pPeer = nullptr;
      EXPECT_EQ(pPin->ConnectedTo(&pPeer), VFW_E_NOT_CONNECTED);
      releaseCom(pPin);
      ++iCount;
    }
    releaseCom(pPins);
    releaseCom(pFilter);
    return iCount;
  };
  EXPECT_EQ(pinCount("Test_Counter", u"A"), 2) << "video and sound";
  EXPECT_EQ(pinCount("Test_Silent", u"B"), 1) << "video only";
  IBaseFilter* pDuplicate = nullptr;
  EXPECT_EQ(pGraph->AddSourceFilter(movieWidePath("Test_Silent").c_str(), u"B", &pDuplicate), VFW_E_DUPLICATE_NAME);
  REFTIME dDuration = 0.0;
  IMediaPosition* pPosition = nullptr;
  pGraph->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&pPosition));
  pPosition->get_Duration(&dDuration);
  EXPECT_NEAR(dDuration, 2.0, 0.15);
  releaseCom(pPosition);
  EXPECT_EQ(pGraph->Release(), 0u);
}

// Files in a movie's place that are no ASF movie, above all those that name other files for FFmpeg to open (a
// concatenation list, a playlist): each is refused as a damaged movie is, with one line naming the file and what it
// is, and nothing it names is opened. A pipe with no writer beside it would hold an open of it for good, so getting
// an answer at all shows it was not opened; another movie named would have opened.
struct SNotAMovie {
  const char* pName;
  const char* pText;      // the file's bytes
  const char* pBeside;    // a file it names, made beside it (null: none)
  bool bBesideIsMovie;    // pBeside links to the sample movie Test_Counter, else it is a pipe
  const char* pWhy;       // on the line naming the file
};

void PrintTo(const SNotAMovie& notAMovie, std::ostream* pOut) { *pOut << notAMovie.pName; }

const SNotAMovie gc_aNotAMovies[] = {
    {"ListOfAPipe", "ffconcat version 1.0\nfile pipe\n", "pipe", false,
     "not an ASF (Windows Media) movie but \"concat\""},
    {"PlaylistOfAPipe",
     "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\nsegment.ts\n#EXT-X-ENDLIST\n", "segment.ts", false,
     "not an ASF (Windows Media) movie but \"hls\""},
    {"ListOfAnotherMovie", "ffconcat version 1.0\nfile Test_Counter.wmv\n", "Test_Counter.wmv", true,
     "not an ASF (Windows Media) movie but \"concat\""},
    {"Text", "This is not a movie, only text that claims to be one.\n", nullptr, false, ": "},
};

class NotAMovie : public ::testing::TestWithParam<SNotAMovie> {};

TEST_P(NotAMovie, IsRefusedNamingTheFileAndOpensNothingItNames) {
  const SNotAMovie& notAMovie = GetParam();
  DShowTestReset();
  const std::string dir = ::testing::TempDir() + "not_a_movie_" + std::to_string(getpid()) + "_" + notAMovie.pName;
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(std::filesystem::create_directories(dir));
  const std::string movie = dir + "/Splash.wmv";
  std::ofstream(movie, std::ios::binary) << notAMovie.pText;
  if (notAMovie.pBeside != nullptr) {
    const std::string beside = dir + "/" + notAMovie.pBeside;
    if (notAMovie.bBesideIsMovie) {
      std::filesystem::create_symlink(std::string(KV_FMV_DIR) + "/Test_Counter.wmv", beside);
    } else {
      ASSERT_EQ(mkfifo(beside.c_str(), 0600), 0);
    }
  }
  IFilterGraph2* pGraph = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                             reinterpret_cast<void**>(&pGraph)),
            S_OK);
  IBaseFilter* pSource = nullptr;
  ::testing::internal::CaptureStderr();
  const HRESULT hr = pGraph->AddSourceFilter(widePath(movie).c_str(), u"SOURCE", &pSource);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(hr, VFW_E_UNKNOWN_FILE_TYPE);
  EXPECT_EQ(pSource, nullptr);
  releaseCom(pSource);
  const std::string line = "DirectShow stand-in: cannot open the movie " + movie + ": ";
  const size_t uiLine = said.find(line);
  ASSERT_NE(uiLine, std::string::npos) << said;
  EXPECT_EQ(said.find(line, uiLine + 1), std::string::npos) << said;
  EXPECT_NE(said.substr(uiLine, said.find('\n', uiLine) - uiLine).find(notAMovie.pWhy), std::string::npos) << said;
  EXPECT_EQ(pGraph->Release(), 0u);
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(EachKind, NotAMovie, ::testing::ValuesIn(gc_aNotAMovies),
                         [](const ::testing::TestParamInfo<SNotAMovie>& info) {
                           return std::string(info.param.pName);
                         });

// The graph never adds a renderer: a pin with none of its kind present stays unconnected.
TEST_F(DShowGraphTest, RenderExConnectsOnlyToRenderersAlreadyInTheGraph) {
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                             reinterpret_cast<void**>(&mp_pGraph)),
            S_OK);
  IBaseFilter* pSource = nullptr;
  ASSERT_EQ(mp_pGraph->AddSourceFilter(movieWidePath("Test_Counter").c_str(), u"SOURCE", &pSource), S_OK);
  IEnumPins* pPins = nullptr;
  pSource->EnumPins(&pPins);
  IPin* apPins[2] = {};
  ULONG uiFetched = 0;
  EXPECT_EQ(pPins->Next(2, apPins, &uiFetched), S_OK);
  ASSERT_EQ(uiFetched, 2u);
  EXPECT_EQ(mp_pGraph->RenderEx(apPins[0], AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr), VFW_E_CANNOT_RENDER);
  EXPECT_EQ(mp_pGraph->RenderEx(apPins[1], AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr), VFW_E_CANNOT_RENDER);
  IBaseFilter* pSound = nullptr;
  CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_ALL, IID_IBaseFilter, reinterpret_cast<void**>(&pSound));
  ASSERT_EQ(mp_pGraph->AddFilter(pSound, u"Audio Renderer"), S_OK);
  EXPECT_EQ(mp_pGraph->RenderEx(apPins[0], AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr), VFW_E_CANNOT_RENDER)
      << "a video pin does not go to a sound renderer";
  EXPECT_EQ(mp_pGraph->RenderEx(apPins[1], AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr), S_OK);
  EXPECT_EQ(mp_pGraph->RenderEx(apPins[1], AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr), VFW_E_ALREADY_CONNECTED);
  IPin* pPeer = nullptr;
  ASSERT_EQ(apPins[1]->ConnectedTo(&pPeer), S_OK);
  PIN_DIRECTION eDirection = PINDIR_OUTPUT;
  pPeer->QueryDirection(&eDirection);
  EXPECT_EQ(eDirection, PINDIR_INPUT);
  // Breaking the connection from either side breaks both.
  EXPECT_EQ(pPeer->Disconnect(), S_OK);
  IPin* pNone = nullptr;
  EXPECT_EQ(apPins[1]->ConnectedTo(&pNone), VFW_E_NOT_CONNECTED);
  releaseCom(pPeer);
  EXPECT_EQ(mp_pGraph->RemoveFilter(pSound), S_OK);
  EXPECT_EQ(mp_pGraph->RemoveFilter(pSound), VFW_E_NOT_IN_GRAPH);
  IEnumFilters* pFilters = nullptr;
  mp_pGraph->EnumFilters(&pFilters);
  IBaseFilter* apFilters[3] = {};
  EXPECT_EQ(pFilters->Next(3, apFilters, &uiFetched), S_FALSE);
  EXPECT_EQ(uiFetched, 1u);
  EXPECT_EQ(apFilters[0], pSource);
  releaseCom(apFilters[0]);
  releaseCom(pFilters);
  releaseCom(apPins[0]);
  releaseCom(apPins[1]);
  releaseCom(pPins);
  releaseCom(pSound);
  releaseCom(pSource);
}

// The renderer asks for surfaces of the movie's size when its pin connects and gives them back when the graph goes.
TEST_F(DShowGraphTest, TheAllocatorIsAskedForSurfacesOfTheMoviesSize) {
  buildGraph("Test_Counter");
  EXPECT_EQ(mp_pPresenter->m_iInitialised.load(), 1);
  const VMR9AllocationInfo info = mp_pPresenter->info();
  EXPECT_EQ(info.dwWidth, 64u);
  EXPECT_EQ(info.dwHeight, 48u);
  EXPECT_EQ(info.Pool, D3DPOOL_DEFAULT);
  EXPECT_NE(info.dwFlags & VMR9AllocFlag_TextureSurface, 0u);
  EXPECT_GT(mp_pPresenter->m_iRefs.load(), 1) << "the renderer holds the allocator";
  releaseGraph();
  EXPECT_EQ(mp_pPresenter->m_iTerminated.load(), 1);
  EXPECT_EQ(mp_pPresenter->m_iRefs.load(), 1);
}

// A frame may be handed over this much before the sound reaches it.
constexpr double gc_dEARLY = 0.002;
constexpr double gc_dFRAME = 0.04;  // the sample movies' 25 frames a second

// The clock moves one sound block at a time. After each step the frame handed over last is exactly the latest one
// whose time the sound has reached: none is early, none stays behind. Frames come in order, in the texture the
// presenter gave (each frame's number read from its pixels); every frame is either shown or dropped; the end of
// the stream queues one EC_COMPLETE, posts the notify message, and the position is then the duration. The same
// holds when the sound goes on into the sound library's mixer, which hears it later by its own buffer.
TEST_F(DShowGraphTest, EachFrameIsShownWhenTheSoundReachesIt) {
  for (const bool bMixer : {false, true}) {
    SCOPED_TRACE(bMixer ? "into the mixer" : "on its own");
    SObservedSound observed;
    FMOD::System* pMixer = startObservedCounter(bMixer, &observed);
    ASSERT_EQ(mp_pEvent->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hWnd), WM_APP + 1, 77), S_OK);
    SDShowStats stats;
    ASSERT_TRUE(DShowTestGetStats(mp_pGraph, &stats));
    EXPECT_FALSE(stats.bAudioDevice);
    EXPECT_EQ(stats.iAudioRate, bMixer ? 48000 : 22050);
    const double dStep = stats.dAudioBlock;
    ASSERT_EQ(mp_pControl->Run(), S_OK);
    OAFilterState eState = State_Stopped;
    mp_pControl->GetState(0, &eState);
    EXPECT_EQ(eState, State_Running);
    double dCompleted = -1.0;
    int iChecked = 0;
    for (int iStep = 0; iStep < 200 && dCompleted < 0.0; ++iStep) {
      advance(dStep);
      double dHeard = 0.0;
      const bool bHeard = heardAt(observed, stats.dAudioLatency, DShowTestClockSeconds(), &dHeard);
      if (eventWaiting(EC_COMPLETE)) {
        dCompleted = dHeard;
        break;
      }
      const std::vector<int> frames = mp_pPresenter->frames();
      const std::vector<REFERENCE_TIME> times = mp_pPresenter->times();
      if (!bHeard || frames.empty()) continue;
      const double dShown = static_cast<double>(times.back()) / 1e7;
      // (With a microsecond for the clock's whole nanoseconds, when a frame falls due exactly at a step.)
      EXPECT_LE(dShown, dHeard + gc_dEARLY + 1e-6) << "step " << iStep << ": frame " << frames.back() << " is early";
      if (frames.back() < 49) {
        EXPECT_GT(dShown + gc_dFRAME, dHeard + gc_dEARLY) << "step " << iStep << ": frame " << frames.back()
                                                           << " stays while the next is due";
      }
      ++iChecked;
    }
    DShowTestSetAudioObserver(nullptr, nullptr);
    EXPECT_GT(iChecked, 35);
    ASSERT_GE(dCompleted, 0.0) << "the end of a two-second movie";
    EXPECT_GE(dCompleted, 1.96 + gc_dFRAME - gc_dEARLY) << "not before the last frame's time is over";
    // The sound runs on to the end of its last codec frame (93 ms at 22 kHz), heard a block at a time.
    EXPECT_LT(dCompleted, 2.0 + 0.14);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, m_hWnd, WM_APP + 1, WM_APP + 1, PM_REMOVE));
    EXPECT_EQ(msg.lParam, 77);

    const std::vector<int> frames = mp_pPresenter->frames();
    const std::vector<REFERENCE_TIME> times = mp_pPresenter->times();
    ASSERT_GE(frames.size(), 40u) << "a late frame is dropped only when the next is due as well";
    // The decoded sound starts a little after the first frame: that frame may be dropped for the second.
    EXPECT_LE(frames.front(), 1);
    EXPECT_EQ(frames.back(), 49);
    for (size_t i = 1; i < frames.size(); ++i) {
      EXPECT_GT(frames[i], frames[i - 1]) << "frame " << i;
      EXPECT_GT(times[i], times[i - 1]) << "frame " << i;
    }
    ASSERT_TRUE(DShowTestGetStats(mp_pGraph, &stats));
    EXPECT_EQ(stats.uiFramesPresented, frames.size());
    EXPECT_EQ(stats.uiFramesPresented + stats.uiFramesDropped, 50u);
    REFTIME dDuration = 0.0;
    mp_pPosition->get_Duration(&dDuration);
    EXPECT_EQ(position(), dDuration);
    advance(1.0);
    EXPECT_FALSE(eventWaiting(EC_COMPLETE)) << "one completion only";
    releaseGraph();
    stopMixer(pMixer);
    delete mp_pPresenter;
    mp_pPresenter = new CTestPresenter(mp_pDevice);
  }
}

// A movie without sound: its sound renderer is removed and the clock runs on its own. A second of the clock puts
// the twenty-sixth frame (1.00 s) on the screen, dropping those between; the end comes with the last frame's end.
TEST_F(DShowGraphTest, ASilentMovieRunsOnTheClock) {
  buildGraph("Test_Silent");
  IBasicAudio* pAudio = nullptr;
  mp_pGraph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&pAudio));
  EXPECT_EQ(pAudio->put_Volume(-100), VFW_E_NOT_CONNECTED) << "the sound renderer was removed";
  releaseCom(pAudio);
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  advance(0.0);
  EXPECT_EQ(mp_pPresenter->frames(), std::vector<int>{0});
  advance(1.0);
  EXPECT_NEAR(position(), 1.0, 1e-6);
  EXPECT_EQ(mp_pPresenter->frames().back(), 25);
  advance(0.95);
  EXPECT_EQ(mp_pPresenter->frames().back(), 48);
  EXPECT_FALSE(eventWaiting(EC_COMPLETE));
  advance(0.02);
  EXPECT_EQ(mp_pPresenter->frames().back(), 49);
  EXPECT_FALSE(eventWaiting(EC_COMPLETE)) << "the last frame lasts until 2.00 s";
  advance(0.04);
  EXPECT_TRUE(eventWaiting(EC_COMPLETE));
  const std::vector<int> frames = mp_pPresenter->frames();
  for (size_t i = 1; i < frames.size(); ++i) EXPECT_GT(frames[i], frames[i - 1]);
}

// Stop ends a presenter's wait (StopPresenting comes before the thread is stopped) and keeps the position; a seek
// to the start and Pause show nothing; Run presents again from the first frame.
TEST_F(DShowGraphTest, StopReleasesABlockedPresenterAndKeepsThePosition) {
  buildGraph("Test_Counter");
  mp_pPresenter->m_bHold = true;
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  EXPECT_EQ(mp_pPresenter->m_iStarts.load(), 1);
  ASSERT_TRUE(DShowTestAdvanceClock(mp_pGraph, 0.1));
  ASSERT_TRUE(waitUntil([&] { return mp_pPresenter->m_iPresented.load() >= 1; }, gc_dHANG_GUARD));
  ASSERT_TRUE(DShowTestAdvanceClock(mp_pGraph, 0.1));
  EXPECT_FALSE(DShowTestIsSettled(mp_pGraph)) << "the held presenter keeps the graph busy";
  // Stop on a thread of its own: a presenter it failed to release would keep it forever.
  std::atomic<bool> bStopped{false};
  std::thread stopper([&] {
    EXPECT_EQ(mp_pControl->Stop(), S_OK);
    bStopped = true;
  });
  const bool bReturned = waitUntil([&] { return bStopped.load(); }, gc_dHANG_GUARD);
  if (!bReturned) mp_pPresenter->m_bHold = false;
  stopper.join();
  ASSERT_TRUE(bReturned) << "the blocked presenter let go";
  EXPECT_EQ(mp_pPresenter->m_iStops.load(), 1);
  EXPECT_EQ(mp_pPresenter->m_iPresented.load(), 1) << "the held frame was the only one";
  const double dStopped = position();
  EXPECT_GT(dStopped, 0.05);
  ASSERT_TRUE(DShowTestAdvanceClock(mp_pGraph, 0.5));
  EXPECT_EQ(position(), dStopped) << "stopped, the clock stands";

  LONGLONG iStart = 0;
  EXPECT_EQ(mp_pSeeking->SetPositions(&iStart, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning),
            S_OK);
  EXPECT_EQ(mp_pSeeking->SetPositions(&iStart, AM_SEEKING_AbsolutePositioning, &iStart,
                                      AM_SEEKING_AbsolutePositioning),
            E_NOTIMPL);
  EXPECT_EQ(position(), 0.0);
  mp_pPresenter->m_bHold = false;
  ASSERT_EQ(mp_pControl->Pause(), S_OK);
  advance(0.5);
  EXPECT_EQ(mp_pPresenter->m_iPresented.load(), 1) << "paused, nothing is shown";
  EXPECT_EQ(position(), 0.0);
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  EXPECT_EQ(mp_pPresenter->m_iStarts.load(), 2);
  for (int i = 0; i < 10 && mp_pPresenter->m_iPresented.load() < 3; ++i) advance(0.05);
  const std::vector<int> frames = mp_pPresenter->frames();
  ASSERT_GE(frames.size(), 3u);
  EXPECT_LE(frames[1], 1) << "after the seek the movie starts again from its first frames";
  ASSERT_EQ(mp_pControl->Stop(), S_OK);
}

// A file cut short plays what it holds and ends: no hang, one completion.
TEST_F(DShowGraphTest, ATruncatedMovieEndsWhereItsDataEnds) {
  buildGraph("Test_Truncated");
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  ASSERT_GE(playToCompletion(0.05, 5.0), 0.0);
  const std::vector<int> frames = mp_pPresenter->frames();
  EXPECT_GT(frames.size(), 5u);
  EXPECT_LT(frames.size(), 50u);
  for (size_t i = 1; i < frames.size(); ++i) EXPECT_GT(frames[i], frames[i - 1]);
  // FFmpeg finds no duration in the cut header: the position is where the clock stood at the end, past the last
  // frame shown.
  REFTIME dDuration = -1.0;
  mp_pPosition->get_Duration(&dDuration);
  EXPECT_EQ(dDuration, 0.0);
  EXPECT_GE(position(), static_cast<double>(mp_pPresenter->times().back()) / 1e7);
}

// A stream that stops delivering stays below its end and sends no completion, however long the clock runs; Stop
// still returns.
TEST_F(DShowGraphTest, AStalledStreamNeverCompletesButStops) {
  SDShowFaults faults;
  faults.uiStallAfterFrames = 5;
  DShowTestSetFaults(faults);
  buildGraph("Test_Counter");
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  for (int i = 0; i < 20 && mp_pPresenter->m_iPresented.load() < 5; ++i) advance(0.05);
  EXPECT_EQ(mp_pPresenter->m_iPresented.load(), 5);
  EXPECT_LT(playToCompletion(0.25, 4.0), 0.0) << "no completion";
  EXPECT_EQ(mp_pPresenter->m_iPresented.load(), 5);
  ASSERT_EQ(mp_pControl->Stop(), S_OK);
}

// Movies whose stored times are damaged: one frame's time pushed 2^31 ms (24.8 days) ahead, in the middle and at
// the end of a movie whose header gives its duration, and in a cut-short movie that gives none. The damaged frame
// keeps its place, the frames after it still come, and the movie ends when its data or duration is over.
TEST_F(DShowGraphTest, AFrameTimeFarBeyondTheEndDoesNotHoldTheMovieBack) {
  struct SCase {
    const char* pMovie;
    int iFrame;
    int iLastShown;  // at least
  };
  for (const SCase& test :
       {SCase{"Test_Counter", 20, 48}, SCase{"Test_Counter", 49, 48}, SCase{"Test_Truncated", 8, 12}}) {
    SCOPED_TRACE(std::string(test.pMovie) + ", frame " + std::to_string(test.iFrame));
    const std::string damaged = ::testing::TempDir() + "damaged_time_" + std::to_string(getpid()) + "_" + test.pMovie +
                                "_" + std::to_string(test.iFrame) + ".wmv";
    std::string error;
    ASSERT_TRUE(KvTestDamageMovieTime(std::string(KV_FMV_DIR) + "/" + test.pMovie + ".wmv", damaged, test.iFrame,
                                      1u << 31, &error))
        << error;
    buildGraphOn(widePath(damaged));
    ASSERT_EQ(mp_pControl->Run(), S_OK);
    EXPECT_GE(playToCompletion(0.05, 4.0), 0.0) << "the movie ends";
    const std::vector<int> frames = mp_pPresenter->frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_GE(frames.back(), test.iLastShown) << "the frames after the damaged one are shown";
    for (size_t i = 1; i < frames.size(); ++i) EXPECT_GT(frames[i], frames[i - 1]);
    const std::vector<REFERENCE_TIME> times = mp_pPresenter->times();
    EXPECT_LT(times.back(), 21000000) << "no frame is shown with a time past the end";
    ASSERT_EQ(mp_pControl->Stop(), S_OK);
    releaseGraph();
    std::remove(damaged.c_str());
    delete mp_pPresenter;
    mp_pPresenter = new CTestPresenter(mp_pDevice);
  }
}

// The largest sample handed over since the last call, and the frames handed over.
int peakOf(SObservedSound& observed, size_t* puiFrames = nullptr) {
  std::lock_guard<std::mutex> lock(observed.mutex);
  int iPeak = 0;
  for (std::int16_t iSample : observed.samples) iPeak = std::max(iPeak, std::abs(static_cast<int>(iSample)));
  if (puiFrames != nullptr) *puiFrames = observed.samples.size() / 2;
  observed.samples.clear();
  return iPeak;
}

// The sound plays as the clock runs, with the volume in hundredths of a decibel: -602 halves the amplitude, -10000
// is silence, values outside -10000..0 are refused. With the sound library's mixer initialised there is no device of
// the movie's own: the sound is handed over at the mixer's rate and is in the mix as it was handed over (read back
// through the mixer's manual output).
TEST_F(DShowGraphTest, TheVolumeScalesTheSoundInHundredthsOfADecibel) {
  for (const bool bMixer : {false, true}) {
    SCOPED_TRACE(bMixer ? "into the mixer" : "on its own");
    SObservedSound observed;
    FMOD::System* pMixer = startObservedCounter(bMixer, &observed);
    IBasicAudio* pAudio = nullptr;
    ASSERT_EQ(mp_pGraph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&pAudio)), S_OK);
    EXPECT_EQ(pAudio->put_Volume(1), E_INVALIDARG);
    EXPECT_EQ(pAudio->put_Volume(-10001), E_INVALIDARG);
    SDShowStats stats;
    ASSERT_TRUE(DShowTestGetStats(mp_pGraph, &stats));
    EXPECT_EQ(stats.bAudioMixer, bMixer);
    EXPECT_FALSE(stats.bAudioDevice);
    EXPECT_EQ(stats.iAudioRate, bMixer ? 48000 : 22050);
    const double dBlock = stats.dAudioBlock;
    EXPECT_GT(stats.dAudioLatency, bMixer ? dBlock + 0.02 : dBlock - 1e-9) << "the mixer's buffer is heard too";
    const auto playFor = [&](LONG lVolume) {
      EXPECT_EQ(pAudio->put_Volume(lVolume), S_OK);
      LONG lRead = 1;
      pAudio->get_Volume(&lRead);
      EXPECT_EQ(lRead, lVolume);
      peakOf(observed);
      mp_pControl->Run();
      advance(6.5 * dBlock);
      mp_pControl->Pause();
      size_t uiFrames = 0;
      const int iPeak = peakOf(observed, &uiFrames);
      if (pMixer != nullptr) {
        std::vector<float> mixed(uiFrames * 2);
        EXPECT_EQ(FMODExMix(pMixer, mixed.data(), static_cast<unsigned int>(uiFrames)), FMOD_OK);
        float fMixedPeak = 0.0f;
        for (float fSample : mixed) fMixedPeak = std::max(fMixedPeak, std::fabs(fSample));
        EXPECT_NEAR(fMixedPeak * 32768.0f, static_cast<float>(iPeak), 1.0f) << "volume " << lVolume;
      }
      return iPeak;
    };
    const int iFull = playFor(0);
    EXPECT_GT(iFull, 2000) << "the tone is heard";
    const int iHalf = playFor(-602);
    EXPECT_NEAR(static_cast<double>(iHalf) / iFull, 0.5, 0.02);
    EXPECT_EQ(playFor(-10000), 0);
    mp_pControl->Stop();
    DShowTestSetAudioObserver(nullptr, nullptr);
    releaseCom(pAudio);

    // Each run handed over a block as it started and one each block's time after (seven in 6.5 blocks' time), each
    // with the media time of its first frame, going on from run to run.
    {
      std::lock_guard<std::mutex> lock(observed.mutex);
      ASSERT_EQ(observed.handOvers.size(), 21u);
      for (size_t i = 1; i < observed.mediaTimes.size(); ++i) {
        EXPECT_NEAR(observed.mediaTimes[i] - observed.mediaTimes[i - 1], dBlock, 1e-9) << "block " << i;
        if (i % 7 != 0) {
          EXPECT_NEAR(observed.handOvers[i] - observed.handOvers[i - 1], dBlock, 1e-6) << "block " << i;
        }
      }
    }
    releaseGraph();
    stopMixer(pMixer);
  }
}

}  // namespace
