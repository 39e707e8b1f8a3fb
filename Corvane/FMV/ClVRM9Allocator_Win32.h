// The full-screen video player's own allocator and presenter for the Video Mixing Renderer 9: it makes the video
// texture the renderer draws each frame into, and hands each frame to the render worker through the player's frame
// state, waiting until the worker has drawn it.
//
// Threads: made and freed by the player on the main thread. The renderer calls InitializeDevice and TerminateDevice
// on the main thread (while the graph is built and released), GetSurface and PresentImage on its streaming thread,
// StartPresenting and StopPresenting on the main thread. The render worker draws the texture between lockTexture and
// unlockTexture and releases a waiting frame with ClFullScreenFMVPlayer_Win32::releaseVideoFrame.
//
// The two locks, taken from the lock pool for the object's life:
// - the texture lock guards the video texture object (made by InitializeDevice, destroyed by TerminateDevice and
//   the player's close) against the streaming thread taking its surface and the render worker drawing it;
// - the frame lock guards the changes of the frame state that depend on its value (PresentImage's "waiting unless
//   stopped", GetSurface's "none unless stopped", the render worker's "drawn" release), so that StopPresenting can
//   never be overwritten between another thread's test and its store. Plain reads of the state take no lock.
//
// Reference counting as the renderer expects, but the object is never freed by Release: the player owns it.
#pragma once

#include <atomic>

#include "Corvane/System/ClMutexLock.h"
#include "Corvane/System/KvTypes.h"
#include "Platform/DShow/VMR9.h"

class ClTexture;

// The renderer's identifier of the allocator.
inline constexpr DWORD_PTR gc_uiFMV_ALLOCATOR_ID = 0xACDCACDCu;

class ClVRM9Allocator : public IVMRSurfaceAllocator9, public IVMRImagePresenter9 {
 public:
  // Frame state 0; the two locks from the pool (a pool without a free lock is the assertion "lock pool").
  ClVRM9Allocator();
  // Destroys the video texture and gives both locks back to the pool.
  virtual ~ClVRM9Allocator();
  ClVRM9Allocator(const ClVRM9Allocator&) = delete;
  ClVRM9Allocator& operator=(const ClVRM9Allocator&) = delete;

  HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // Makes the video texture of the movie's size. A size above the largest texture the device makes is refused
  // (E_FAIL, remembered for refusedSize); so is a texture the device cannot make.
  HRESULT InitializeDevice(DWORD_PTR dwUserID, VMR9AllocationInfo* lpAllocInfo, DWORD* lpNumBuffers) override;
  HRESULT TerminateDevice(DWORD_PTR dwID) override;
  HRESULT GetSurface(DWORD_PTR dwUserID, DWORD SurfaceIndex, DWORD SurfaceFlags,
                     IDirect3DSurface9** lplpSurface) override;
  HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* lpIVMRSurfAllocNotify) override;

  HRESULT StartPresenting(DWORD_PTR dwUserID) override;
  HRESULT StopPresenting(DWORD_PTR dwUserID) override;
  // Waits, sleeping 1 ms at a time, until the render worker has drawn the frame or presenting stopped.
  HRESULT PresentImage(DWORD_PTR dwUserID, VMR9PresentationInfo* lpPresInfo) override;

  // The render worker's side: the video texture (null when there is none) held against its destruction until
  // unlockTexture.
  ClTexture* lockTexture();
  void unlockTexture();
  // A frame that was waiting has been drawn: its presenter may return. A stopped state stays stopped.
  void releaseFrame();
  // Destroys the video texture (the player's close).
  void destroyTexture();

  // The size the last InitializeDevice refused and the largest texture the device makes; false when it refused
  // none.
  bool refusedSize(u32* puiWidth, u32* puiHeight, u32* puiMaxWidth, u32* puiMaxHeight) const;

  u32 getUserID() const { return m_uiUserID; }
  i32 getRefCount() const { return m_iRefCount.load(); }

 private:
  // Sets the frame state to the value unless it is "stopped" (under the frame lock); returns the state it found.
  i32 setFrameStateUnlessStopped(i32 iState);
  // Puts the texture (or none) in place under the texture lock and destroys the one it replaces.
  void replaceTexture(ClTexture* pTexture);

  std::atomic<i32> m_iRefCount{1};
  u32 m_uiUserID = 0;
  bool m_bRefused = false;
  u32 m_auiRefused[4] = {};  // width, height, largest width, largest height
  ClTexture* mp_pTexture = nullptr;
  ClMutexLock m_textureLock;
  ClMutexLock m_frameLock;
};
