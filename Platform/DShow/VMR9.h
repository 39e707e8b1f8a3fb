// The Video Mixing Renderer 9 of the DirectShow stand-in and the interfaces of the program's own allocator and
// presenter, under the platform's names.
//
// The renderer runs renderless only (VMR9Mode_Renderless, one stream): it draws nothing itself. Its input pin
// connects to a video pin (IFilterGraph2::RenderEx); on connection it asks the allocator that was advised
// (IVMRSurfaceAllocatorNotify9::AdviseSurfaceAllocator) for surfaces of the video's size with InitializeDevice, and
// lets them go with TerminateDevice when the pin disconnects or the filter goes. For each frame, on the streaming
// thread, it takes a surface with GetSurface, converts the frame into a system-memory surface it made on the device
// given to SetD3DDevice, queues the copy with IDirect3DDevice9::UpdateSurface (so the pixels reach the GPU only on
// the thread that draws the texture) and calls PresentImage, which may block until the frame has been shown.
// StartPresenting comes with Run, StopPresenting with Stop and before the renderer's thread is stopped, so a
// presenter that returns at once after StopPresenting can never hold Stop up.
#pragma once

#include "Platform/D3D9/D3D9.h"
#include "Platform/DShow/DShow.h"

typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE;

extern const IID IID_IVMRFilterConfig9;
extern const IID IID_IVMRSurfaceAllocatorNotify9;
extern const IID IID_IVMRSurfaceAllocator9;
extern const IID IID_IVMRImagePresenter9;
extern const IID IID_IVMRWindowlessControl9;

enum VMR9Mode { VMR9Mode_Windowed = 0x1, VMR9Mode_Windowless = 0x2, VMR9Mode_Renderless = 0x4 };

// VMR9AllocationInfo::dwFlags.
enum VMR9SurfaceAllocationFlags {
  VMR9AllocFlag_3DRenderTarget = 0x1,
  VMR9AllocFlag_DXVATarget = 0x2,
  VMR9AllocFlag_TextureSurface = 0x4,
  VMR9AllocFlag_OffscreenSurface = 0x8,
  VMR9AllocFlag_RGBDynamicSwitch = 0x10,
  VMR9AllocFlag_UsageReserved = 0xE0,
  VMR9AllocFlag_UsageMask = 0xFF
};

// What the renderer asks the allocator for.
typedef struct _VMR9AllocationInfo {
  DWORD dwFlags;
  DWORD dwWidth;   // pixels
  DWORD dwHeight;
  D3DFORMAT Format;
  D3DPOOL Pool;
  DWORD MinBuffers;
  SIZE szAspectRatio;
  SIZE szNativeSize;
} VMR9AllocationInfo;

// VMR9PresentationInfo::dwFlags.
enum VMR9PresentationFlags {
  VMR9Sample_SyncPoint = 0x1,
  VMR9Sample_Preroll = 0x2,
  VMR9Sample_Discontinuity = 0x4,
  VMR9Sample_TimeValid = 0x8,
  VMR9Sample_SrcDstRectsValid = 0x10
};

// One frame handed to the presenter: the surface (from GetSurface) holding it and its media times.
typedef struct _VMR9PresentationInfo {
  DWORD dwFlags;
  IDirect3DSurface9* lpSurf;
  REFERENCE_TIME rtStart;
  REFERENCE_TIME rtEnd;
  SIZE szAspectRatio;
  RECT rcSrc;
  RECT rcDst;
  DWORD dwReserved1;
  DWORD dwReserved2;
} VMR9PresentationInfo;

struct IVMRSurfaceAllocatorNotify9;

// Implemented by the program: the surfaces the renderer draws into.
struct IVMRSurfaceAllocator9 : public IUnknown {
  virtual HRESULT InitializeDevice(DWORD_PTR dwUserID, VMR9AllocationInfo* lpAllocInfo, DWORD* lpNumBuffers) = 0;
  virtual HRESULT TerminateDevice(DWORD_PTR dwID) = 0;
  virtual HRESULT GetSurface(DWORD_PTR dwUserID, DWORD SurfaceIndex, DWORD SurfaceFlags,
                             IDirect3DSurface9** lplpSurface) = 0;
  virtual HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* lpIVMRSurfAllocNotify) = 0;
};

// Implemented by the program: shows the frames.
struct IVMRImagePresenter9 : public IUnknown {
  virtual HRESULT StartPresenting(DWORD_PTR dwUserID) = 0;
  virtual HRESULT StopPresenting(DWORD_PTR dwUserID) = 0;
  virtual HRESULT PresentImage(DWORD_PTR dwUserID, VMR9PresentationInfo* lpPresInfo) = 0;
};

// The renderer's side of the allocator: the program advises its allocator and gives the device.
struct IVMRSurfaceAllocatorNotify9 : public IUnknown {
  // The renderer keeps a reference to the allocator (and asks it for IVMRImagePresenter9) until another is advised
  // or the filter goes. A null allocator lets it go.
  virtual HRESULT AdviseSurfaceAllocator(DWORD_PTR dwUserID, IVMRSurfaceAllocator9* lpIVRMSurfaceAllocator) = 0;
  // The device the allocator's surfaces belong to (the renderer keeps a reference).
  virtual HRESULT SetD3DDevice(IDirect3DDevice9* lpD3DDevice, HMONITOR hMonitor) = 0;
};

struct IVMRFilterConfig9 : public IUnknown {
  // Only VMR9Mode_Renderless is available here; other modes are E_NOTIMPL. Set before the pin connects.
  virtual HRESULT SetRenderingMode(DWORD Mode) = 0;
  // 1 stream only (E_INVALIDARG for any other count).
  virtual HRESULT SetNumberOfStreams(DWORD dwMaxStreams) = 0;
};

// The renderer's own window drawing, which exists in windowless mode only: the renderless renderer answers
// E_NOINTERFACE when asked for it.
struct IVMRWindowlessControl9 : public IUnknown {
  virtual HRESULT SetVideoPosition(const RECT* lpSRCRect, const RECT* lpDSTRect) = 0;
  virtual HRESULT RepaintVideo(HWND hwnd, HDC hdc) = 0;
  virtual HRESULT DisplayModeChanged() = 0;
};
