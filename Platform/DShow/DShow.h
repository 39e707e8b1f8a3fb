// The DirectShow stand-in: COM object creation, the filter graph with its pins and filters, and the graph's control,
// event, seeking, position and audio interfaces, under the platform's names, written for this project over FFmpeg
// (libavformat, libavcodec, libswscale, libswresample) and SDL2 audio. Only what the engine calls is declared.
//
// Model:
//  - CoCreateInstance makes three classes: the filter graph (CLSID_FilterGraph, as IGraphBuilder), the Video Mixing
//    Renderer 9 (CLSID_VideoMixingRenderer9, as IBaseFilter; VMR9.h) and the sound renderer (CLSID_DSoundRender, as
//    IBaseFilter). COM needs no initialisation here.
//  - IFilterGraph2::AddSourceFilter opens a movie file with libavformat ("\" separators and any case, as the Win32
//    stand-in finds files) and adds a source filter with one output pin for its first video stream and one for its
//    first audio stream whose decoders open. Only a regular file is opened (a pipe or a device is refused at once,
//    never waited on). A file that cannot be opened is VFW_E_NOT_FOUND (missing) or VFW_E_UNKNOWN_FILE_TYPE, with
//    one line on standard error naming the file.
//  - RenderEx with AM_RENDEREX_RENDERTOEXISTINGRENDERERS connects a video pin to a VMR-9 of the graph and an audio
//    pin to a sound renderer of the graph; no filter is ever added by the graph itself.
//  - IMediaControl: Pause decodes ahead without showing anything; Run starts the clock, the sound and the
//    presenting; Stop halts both, keeps the position and returns once the streaming thread has let go of the
//    presenter. The clock is the sound renderer's (the samples the audio output has played) or, for a movie without
//    sound, the wall clock.
//  - Two threads per graph while it runs: the decoding thread reads and decodes ahead (video frames into a queue,
//    sound into the output); the streaming thread converts each video frame that falls due against the clock into
//    the renderer's surface and hands it to the program's presenter (VMR9.h), so decoding goes on while the
//    presenter waits for its frame to be shown. Frames that are late while a later one is also due are dropped.
//    Sound goes to an SDL audio device of its own, or, when none can be opened (no audio driver, or a driver that
//    opens one device only), to a null output that plays it silently in real time, so the clock still runs.
//  - The end of the last stream queues EC_COMPLETE; a read error or a truncated file ends the streams where the
//    data ends. A stored frame time past the file's duration (or, without one, a jump no real stream makes) is
//    taken as damaged: the frame keeps the time the stream would go on with, so the movie still ends on time.
//    Each queued event posts the notify window's message (SetNotifyWindow) through the Win32 stand-in.
//
// Threads: the graph's interfaces may be called from any thread (the player calls them on the main thread, the
// render worker reads the position); the presenter is called on the streaming thread.
#pragma once

#include "Platform/Win32/Win32.h"

// --- COM ---

typedef GUID CLSID;
typedef const CLSID& REFCLSID;

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

#define E_ABORT (static_cast<HRESULT>(0x80004004u))
#define E_UNEXPECTED (static_cast<HRESULT>(0x8000FFFFu))
#define REGDB_E_CLASSNOTREG (static_cast<HRESULT>(0x80040154u))
#define CLASS_E_NOAGGREGATION (static_cast<HRESULT>(0x80040110u))

// Makes an object of a class this stand-in knows and asks it for the interface. pUnkOuter must be null.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

extern const CLSID CLSID_FilterGraph;
extern const CLSID CLSID_VideoMixingRenderer9;
extern const CLSID CLSID_DSoundRender;

extern const IID IID_IUnknown;
extern const IID IID_IPin;
extern const IID IID_IEnumPins;
extern const IID IID_IBaseFilter;
extern const IID IID_IEnumFilters;
extern const IID IID_IFilterGraph;
extern const IID IID_IGraphBuilder;
extern const IID IID_IFilterGraph2;
extern const IID IID_IMediaControl;
extern const IID IID_IMediaEvent;
extern const IID IID_IMediaEventEx;
extern const IID IID_IMediaSeeking;
extern const IID IID_IMediaPosition;
extern const IID IID_IBasicAudio;

// --- DirectShow types and codes ---

// Media time in 100-nanosecond units.
typedef LONGLONG REFERENCE_TIME;
// Media time in seconds (IMediaPosition).
typedef double REFTIME;
// A window handle as the automation interfaces pass it.
typedef LONG_PTR OAHWND;
typedef LONG OAFilterState;

#define VFW_E_NOT_CONNECTED (static_cast<HRESULT>(0x80040209u))
#define VFW_E_ALREADY_CONNECTED (static_cast<HRESULT>(0x80040204u))
#define VFW_E_NOT_IN_GRAPH (static_cast<HRESULT>(0x8004025Fu))
#define VFW_E_CANNOT_RENDER (static_cast<HRESULT>(0x80040218u))
#define VFW_E_NOT_FOUND (static_cast<HRESULT>(0x80040216u))
#define VFW_E_UNKNOWN_FILE_TYPE (static_cast<HRESULT>(0x80040240u))
#define VFW_E_WRONG_STATE (static_cast<HRESULT>(0x80040227u))
#define VFW_E_DUPLICATE_NAME (static_cast<HRESULT>(0x8004023Fu))

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

// Event codes.
#define EC_COMPLETE 0x01
#define EC_USERABORT 0x02
#define EC_ERRORABORT 0x03

// IMediaSeeking::SetPositions flags.
#define AM_SEEKING_NoPositioning 0x0u
#define AM_SEEKING_AbsolutePositioning 0x1u
#define AM_SEEKING_RelativePositioning 0x2u
#define AM_SEEKING_PositioningBitsMask 0x3u

// IFilterGraph2::RenderEx flags.
#define AM_RENDEREX_RENDERTOEXISTINGRENDERERS 0x1u

// Filter states.
#define State_Stopped 0
#define State_Paused 1
#define State_Running 2

struct IBaseFilter;

// A connection point of a filter.
struct IPin : public IUnknown {
  // The pin at the other end (a new reference), or VFW_E_NOT_CONNECTED.
  virtual HRESULT ConnectedTo(IPin** ppPin) = 0;
  // Breaks the connection from this side (and the other); S_FALSE when there was none.
  virtual HRESULT Disconnect() = 0;
  virtual HRESULT QueryDirection(PIN_DIRECTION* pPinDir) = 0;
};

struct IEnumPins : public IUnknown {
  // S_OK when all cPins were fetched, S_FALSE when fewer.
  virtual HRESULT Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) = 0;
  virtual HRESULT Reset() = 0;
};

struct IBaseFilter : public IUnknown {
  // The pins as they are now (the enumerator keeps its own references).
  virtual HRESULT EnumPins(IEnumPins** ppEnum) = 0;
};

struct IEnumFilters : public IUnknown {
  virtual HRESULT Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) = 0;
  virtual HRESULT Reset() = 0;
};

struct IFilterGraph : public IUnknown {
  // The graph holds a reference to each filter until it is removed or the graph goes; names are unique.
  virtual HRESULT AddFilter(IBaseFilter* pFilter, LPCWSTR pName) = 0;
  // Disconnects the filter's pins and lets it go.
  virtual HRESULT RemoveFilter(IBaseFilter* pFilter) = 0;
  // The filters as they are now.
  virtual HRESULT EnumFilters(IEnumFilters** ppEnum) = 0;
};

struct IGraphBuilder : public IFilterGraph {};

struct IFilterGraph2 : public IGraphBuilder {
  // Opens the file and adds its source filter under the name (a new reference in *ppFilter).
  virtual HRESULT AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName, IBaseFilter** ppFilter) = 0;
  // Connects an output pin to a renderer already in the graph (flags: AM_RENDEREX_RENDERTOEXISTINGRENDERERS; the
  // graph never adds filters of its own). VFW_E_CANNOT_RENDER when no free renderer takes the pin's kind.
  virtual HRESULT RenderEx(IPin* pPinOut, DWORD dwFlags, DWORD* pvContext) = 0;
};

struct IMediaControl : public IUnknown {
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  // The state (State_Stopped, State_Paused, State_Running); the timeout is not needed, transitions are complete.
  virtual HRESULT GetState(LONG msTimeout, OAFilterState* pfs) = 0;
};

struct IMediaEvent : public IUnknown {
  // The oldest queued event; E_ABORT when none arrives within the timeout (milliseconds; INFINITE waits).
  virtual HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) = 0;
  virtual HRESULT FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;
};

struct IMediaEventEx : public IMediaEvent {
  // Each event queued from now on posts lMsg (wParam 0, lParam lInstanceData) to the window; a null window stops it.
  virtual HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) = 0;
};

struct IMediaSeeking : public IUnknown {
  // Moves the current position (AM_SEEKING_AbsolutePositioning, 100 ns units); the stop position is always the
  // end: its flags must be AM_SEEKING_NoPositioning.
  virtual HRESULT SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags) = 0;
  virtual HRESULT GetCurrentPosition(LONGLONG* pCurrent) = 0;
  virtual HRESULT GetDuration(LONGLONG* pDuration) = 0;
};

struct IMediaPosition : public IUnknown {
  // Seconds.
  virtual HRESULT get_Duration(REFTIME* plength) = 0;
  virtual HRESULT get_CurrentPosition(REFTIME* pllTime) = 0;
};

struct IBasicAudio : public IUnknown {
  // Attenuation in hundredths of a decibel, -10000 (silence) to 0 (full); E_INVALIDARG outside. VFW_E_NOT_CONNECTED
  // without a connected sound renderer.
  virtual HRESULT put_Volume(LONG lVolume) = 0;
  virtual HRESULT get_Volume(LONG* plVolume) = 0;
};
