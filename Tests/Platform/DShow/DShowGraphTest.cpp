// The DirectShow stand-in: object creation and interfaces, source filters over FFmpeg, connections to the renderers
// present, playback through the program's presenter (frames in order, read back from the texture they were copied
// into), the end of the stream, stop and seek, stalls and truncated files, and the sound's volume.
#include <fstream>
#include <thread>

#include "Tests/Platform/DShow/DShowTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

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
  const std::string garbage = ::testing::TempDir() + "not_a_movie.wmv";
  std::ofstream(garbage) << "This is not a movie, only text that claims to be one.\n";
  std::u16string wideGarbage(garbage.begin(), garbage.end());
  EXPECT_EQ(pGraph->AddSourceFilter(wideGarbage.c_str(), u"SOURCE", &pSource), VFW_E_UNKNOWN_FILE_TYPE);

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

// Frames reach the presenter in order, in the texture it gave (each frame's number read from its pixels), with
// rising media times; the end of the stream queues EC_COMPLETE and posts the notify message; the position is then
// the duration.
TEST_F(DShowGraphTest, FramesArriveInOrderAndTheEndIsSignalled) {
  buildGraph("Test_Counter");
  ASSERT_EQ(mp_pEvent->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hWnd), WM_APP + 1, 77), S_OK);
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  OAFilterState eState = State_Stopped;
  mp_pControl->GetState(0, &eState);
  EXPECT_EQ(eState, State_Running);
  ASSERT_TRUE(waitForEvent(EC_COMPLETE, 8.0)) << "the end of a two-second movie";
  const double dElapsed = secondsSince(start);
  EXPECT_GT(dElapsed, 1.7) << "played in real time";
  EXPECT_LT(dElapsed, 4.0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, m_hWnd, WM_APP + 1, WM_APP + 1, PM_REMOVE));
  EXPECT_EQ(msg.lParam, 77);

  const std::vector<int> frames = mp_pPresenter->frames();
  const std::vector<REFERENCE_TIME> times = mp_pPresenter->times();
  ASSERT_GE(frames.size(), 40u) << "a few late frames may be dropped, not more";
  EXPECT_LE(frames.front(), 1);
  EXPECT_GE(frames.back(), 48);
  for (size_t i = 1; i < frames.size(); ++i) {
    EXPECT_GT(frames[i], frames[i - 1]) << "frame " << i;
    EXPECT_GT(times[i], times[i - 1]) << "frame " << i;
  }
  SDShowStats stats;
  ASSERT_TRUE(DShowTestGetStats(mp_pGraph, &stats));
  EXPECT_EQ(stats.uiFramesPresented, frames.size());
  EXPECT_EQ(stats.uiFramesPresented + stats.uiFramesDropped, 50u);
  EXPECT_FALSE(stats.bAudioDevice);
  EXPECT_EQ(stats.iAudioRate, 22050);
  REFTIME dDuration = 0.0;
  mp_pPosition->get_Duration(&dDuration);
  EXPECT_EQ(position(), dDuration);
  LONG lCode = 0;
  LONG_PTR p1 = 0;
  LONG_PTR p2 = 0;
  EXPECT_EQ(mp_pEvent->GetEvent(&lCode, &p1, &p2, 0), E_ABORT) << "one completion only";
}

// A movie without sound: its sound renderer is removed and the wall clock runs it.
TEST_F(DShowGraphTest, ASilentMovieRunsOnTheWallClock) {
  buildGraph("Test_Silent");
  IBasicAudio* pAudio = nullptr;
  mp_pGraph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&pAudio));
  EXPECT_EQ(pAudio->put_Volume(-100), VFW_E_NOT_CONNECTED) << "the sound renderer was removed";
  releaseCom(pAudio);
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  ASSERT_TRUE(waitUntil([&] { return position() >= 1.0; }, 3.0));
  EXPECT_NEAR(secondsSince(start), 1.0, 0.25);
  ASSERT_TRUE(waitForEvent(EC_COMPLETE, 5.0));
  const std::vector<int> frames = mp_pPresenter->frames();
  ASSERT_GE(frames.size(), 40u);
  for (size_t i = 1; i < frames.size(); ++i) EXPECT_GT(frames[i], frames[i - 1]);
}

// Stop ends a presenter's wait (StopPresenting comes before the thread is stopped) and keeps the position; a seek
// to the start and Pause show nothing; Run presents again from the first frame.
TEST_F(DShowGraphTest, StopReleasesABlockedPresenterAndKeepsThePosition) {
  buildGraph("Test_Counter");
  mp_pPresenter->m_bHold = true;
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  EXPECT_EQ(mp_pPresenter->m_iStarts.load(), 1);
  ASSERT_TRUE(waitUntil([&] { return mp_pPresenter->m_iPresented.load() >= 1; }, 3.0));
  const Clock::time_point held = Clock::now();
  waitUntil([&] { return secondsSince(held) > 0.1; }, 1.0);
  const Clock::time_point stopStart = Clock::now();
  ASSERT_EQ(mp_pControl->Stop(), S_OK);
  EXPECT_LT(secondsSince(stopStart), 0.5) << "the blocked presenter let go at once";
  EXPECT_EQ(mp_pPresenter->m_iStops.load(), 1);
  EXPECT_EQ(mp_pPresenter->m_iPresented.load(), 1) << "the held frame was the only one";
  const double dStopped = position();
  EXPECT_GT(dStopped, 0.05);
  Sleep(50);
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
  const Clock::time_point paused = Clock::now();
  waitUntil([&] { return secondsSince(paused) > 0.15; }, 1.0);
  EXPECT_EQ(mp_pPresenter->m_iPresented.load(), 1) << "paused, nothing is shown";
  EXPECT_EQ(position(), 0.0);
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  EXPECT_EQ(mp_pPresenter->m_iStarts.load(), 2);
  ASSERT_TRUE(waitUntil([&] { return mp_pPresenter->m_iPresented.load() >= 3; }, 3.0));
  const std::vector<int> frames = mp_pPresenter->frames();
  EXPECT_LE(frames[1], 1) << "after the seek the movie starts again from its first frame";
  ASSERT_EQ(mp_pControl->Stop(), S_OK);
}

// A file cut short plays what it holds and ends: no hang, one completion.
TEST_F(DShowGraphTest, ATruncatedMovieEndsWhereItsDataEnds) {
  buildGraph("Test_Truncated");
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  ASSERT_TRUE(waitForEvent(EC_COMPLETE, 6.0));
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

// A stream that stops delivering stays below its end and sends no completion; Stop still returns at once.
TEST_F(DShowGraphTest, AStalledStreamNeverCompletesButStops) {
  SDShowFaults faults;
  faults.uiStallAfterFrames = 5;
  DShowTestSetFaults(faults);
  buildGraph("Test_Counter");
  ASSERT_EQ(mp_pControl->Run(), S_OK);
  ASSERT_TRUE(waitUntil([&] { return mp_pPresenter->m_iPresented.load() >= 5; }, 3.0));
  EXPECT_FALSE(waitForEvent(EC_COMPLETE, 0.5));
  EXPECT_EQ(mp_pPresenter->m_iPresented.load(), 5);
  const Clock::time_point stopStart = Clock::now();
  ASSERT_EQ(mp_pControl->Stop(), S_OK);
  EXPECT_LT(secondsSince(stopStart), 0.5);
}

struct SObservedSound {
  std::mutex mutex;
  std::vector<std::int16_t> samples;
  std::vector<double> handOvers;
  std::vector<double> mediaTimes;
};

void observeSound(void* pUser, const std::int16_t* pBlock, unsigned int uiFrames, int, double dHandOver,
                  double dMediaTime) {
  auto* pObserved = static_cast<SObservedSound*>(pUser);
  std::lock_guard<std::mutex> lock(pObserved->mutex);
  pObserved->samples.insert(pObserved->samples.end(), pBlock, pBlock + uiFrames * 2);
  pObserved->handOvers.push_back(dHandOver);
  pObserved->mediaTimes.push_back(dMediaTime);
}

int peakOf(SObservedSound& observed) {
  std::lock_guard<std::mutex> lock(observed.mutex);
  int iPeak = 0;
  for (std::int16_t iSample : observed.samples) iPeak = std::max(iPeak, std::abs(static_cast<int>(iSample)));
  observed.samples.clear();
  return iPeak;
}

// The sound plays in real time (the null output here) with the volume in hundredths of a decibel: -602 halves the
// amplitude, -10000 is silence, values outside -10000..0 are refused.
TEST_F(DShowGraphTest, TheVolumeScalesTheSoundInHundredthsOfADecibel) {
  buildGraph("Test_Counter");
  SObservedSound observed;
  DShowTestSetAudioObserver(&observeSound, &observed);
  IBasicAudio* pAudio = nullptr;
  ASSERT_EQ(mp_pGraph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&pAudio)), S_OK);
  EXPECT_EQ(pAudio->put_Volume(1), E_INVALIDARG);
  EXPECT_EQ(pAudio->put_Volume(-10001), E_INVALIDARG);
  const auto playFor = [&](LONG lVolume) {
    EXPECT_EQ(pAudio->put_Volume(lVolume), S_OK);
    LONG lRead = 1;
    pAudio->get_Volume(&lRead);
    EXPECT_EQ(lRead, lVolume);
    peakOf(observed);
    mp_pControl->Run();
    const Clock::time_point start = Clock::now();
    waitUntil([&] { return secondsSince(start) > 0.3; }, 1.0);
    mp_pControl->Pause();
    return peakOf(observed);
  };
  const int iFull = playFor(0);
  EXPECT_GT(iFull, 2000) << "the tone is heard";
  const int iHalf = playFor(-602);
  EXPECT_NEAR(static_cast<double>(iHalf) / iFull, 0.5, 0.02);
  EXPECT_EQ(playFor(-10000), 0);
  mp_pControl->Stop();
  DShowTestSetAudioObserver(nullptr, nullptr);
  releaseCom(pAudio);

  // The hand-overs came in real time, each with the media time of its first frame.
  std::lock_guard<std::mutex> lock(observed.mutex);
  ASSERT_GT(observed.handOvers.size(), 10u);
  const double dSpan = observed.handOvers.back() - observed.handOvers.front();
  EXPECT_GT(dSpan, 0.7) << "three runs of 0.3 s";
  for (size_t i = 1; i < observed.mediaTimes.size(); ++i) {
    EXPECT_GE(observed.mediaTimes[i], observed.mediaTimes[i - 1]);
  }
}

}  // namespace
