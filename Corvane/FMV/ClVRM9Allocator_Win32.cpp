#include "Corvane/FMV/ClVRM9Allocator_Win32.h"

#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/Graphics/ClSignatureMgr.h"
#include "Corvane/Graphics/ClTexture.h"
#include "Corvane/System/KvDebug.h"
#include "Platform/D3D9/D3D9.h"
#include "Platform/Win32/Win32.h"

namespace {

// What InitializeDevice leaves in the renderer's allocation flags: everything but the off-screen surface bit.
constexpr DWORD gc_uiALLOCATION_FLAGS = 0xFFFFFFF7u;

}  // namespace

ClVRM9Allocator::ClVRM9Allocator() {
  ClFullScreenFMVPlayer_Win32::mp_iFrameState.store(E_FMV_FRAME_NONE);
  KV_ASSERT_MSG(ClMutexLock::create(&m_textureLock), "ClMutexLock::create(&m_textureLock)");
  KV_ASSERT_MSG(ClMutexLock::create(&m_frameLock), "ClMutexLock::create(&m_frameLock)");
}

ClVRM9Allocator::~ClVRM9Allocator() {
  destroyTexture();
  ClMutexLock::destroy(&m_textureLock);
  ClMutexLock::destroy(&m_frameLock);
}

HRESULT ClVRM9Allocator::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  if (riid == IID_IVMRSurfaceAllocator9 || riid == IID_IUnknown) {
    *ppvObject = static_cast<IVMRSurfaceAllocator9*>(this);
  } else if (riid == IID_IVMRImagePresenter9) {
    *ppvObject = static_cast<IVMRImagePresenter9*>(this);
  } else {
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG ClVRM9Allocator::AddRef() { return static_cast<ULONG>(++m_iRefCount); }

// The player owns the object: the count only reports.
ULONG ClVRM9Allocator::Release() { return static_cast<ULONG>(--m_iRefCount); }

HRESULT ClVRM9Allocator::InitializeDevice(DWORD_PTR dwUserID, VMR9AllocationInfo* lpAllocInfo, DWORD* lpNumBuffers) {
  m_uiUserID = static_cast<u32>(dwUserID);
  if (lpNumBuffers == nullptr || lpAllocInfo == nullptr) return E_FAIL;
  lpAllocInfo->dwFlags = gc_uiALLOCATION_FLAGS;
  D3DCAPS9 caps{};
  ClGraphics::mp_pDevice->GetDeviceCaps(&caps);
  const DWORD dwWidth = lpAllocInfo->dwWidth;
  const DWORD dwHeight = lpAllocInfo->dwHeight;
  m_bRefused = false;
  IDirect3DTexture9* pD3DTexture = nullptr;
  if (dwWidth > 0 && dwHeight > 0 && dwWidth <= caps.MaxTextureWidth && dwHeight <= caps.MaxTextureHeight) {
    D3DDISPLAYMODE mode{};
    ClGraphics::mp_pDevice->GetDisplayMode(0, &mode);
    ClGraphics::mp_pDevice->CreateTexture(dwWidth, dwHeight, 1, D3DUSAGE_RENDERTARGET, mode.Format, D3DPOOL_DEFAULT,
                                          &pD3DTexture, nullptr);
  }
  if (pD3DTexture == nullptr) {
    // No texture, no frames: the renderer is refused rather than left to play nothing.
    m_bRefused = true;
    m_auiRefused[0] = dwWidth;
    m_auiRefused[1] = dwHeight;
    m_auiRefused[2] = caps.MaxTextureWidth;
    m_auiRefused[3] = caps.MaxTextureHeight;
    return E_FAIL;
  }
  ClTexture* pTexture = new ClTexture();
  pTexture->setD3DTexture(pD3DTexture);
  replaceTexture(pTexture);
  return S_OK;
}

bool ClVRM9Allocator::refusedSize(u32* puiWidth, u32* puiHeight, u32* puiMaxWidth, u32* puiMaxHeight) const {
  *puiWidth = m_auiRefused[0];
  *puiHeight = m_auiRefused[1];
  *puiMaxWidth = m_auiRefused[2];
  *puiMaxHeight = m_auiRefused[3];
  return m_bRefused;
}

HRESULT ClVRM9Allocator::TerminateDevice(DWORD_PTR) {
  destroyTexture();
  return S_OK;
}

void ClVRM9Allocator::destroyTexture() { replaceTexture(nullptr); }

void ClVRM9Allocator::replaceTexture(ClTexture* pTexture) {
  ClTexture* pOld = nullptr;
  {
    ClScopedMutexLock lock(m_textureLock);
    pOld = mp_pTexture;
    mp_pTexture = pTexture;
  }
  if (pOld != nullptr) {
    // Signatures made for drawing the frames must not outlive the texture they name.
    if (ClSignatureMgr::isInitialized()) ClSignatureMgr::releaseTexture(pOld);
    delete pOld;
  }
}

HRESULT ClVRM9Allocator::GetSurface(DWORD_PTR, DWORD, DWORD, IDirect3DSurface9** lplpSurface) {
  if (lplpSurface == nullptr) return E_POINTER;
  {
    ClScopedMutexLock lock(m_textureLock);
    if (mp_pTexture == nullptr || mp_pTexture->getD3DTexture() == nullptr) return E_POINTER;
    static_cast<IDirect3DTexture9*>(mp_pTexture->getD3DTexture())->GetSurfaceLevel(0, lplpSurface);
  }
  setFrameStateUnlessStopped(E_FMV_FRAME_NONE);
  return S_OK;
}

HRESULT ClVRM9Allocator::AdviseNotify(IVMRSurfaceAllocatorNotify9* lpIVMRSurfAllocNotify) {
  if (lpIVMRSurfAllocNotify == nullptr) return E_POINTER;
  return lpIVMRSurfAllocNotify->SetD3DDevice(ClGraphics::mp_pDevice,
                                             ClGraphics::mp_pD3D->GetAdapterMonitor(D3DADAPTER_DEFAULT));
}

HRESULT ClVRM9Allocator::StartPresenting(DWORD_PTR) {
  ClScopedMutexLock lock(m_frameLock);
  ClFullScreenFMVPlayer_Win32::mp_iFrameState.store(E_FMV_FRAME_NONE);
  return S_OK;
}

HRESULT ClVRM9Allocator::StopPresenting(DWORD_PTR) {
  ClScopedMutexLock lock(m_frameLock);
  ClFullScreenFMVPlayer_Win32::mp_iFrameState.store(E_FMV_FRAME_STOPPED);
  return S_OK;
}

i32 ClVRM9Allocator::setFrameStateUnlessStopped(i32 iState) {
  ClScopedMutexLock lock(m_frameLock);
  const i32 iFound = ClFullScreenFMVPlayer_Win32::mp_iFrameState.load();
  if (iFound != E_FMV_FRAME_STOPPED) ClFullScreenFMVPlayer_Win32::mp_iFrameState.store(iState);
  return iFound;
}

HRESULT ClVRM9Allocator::PresentImage(DWORD_PTR, VMR9PresentationInfo* lpPresInfo) {
  if (lpPresInfo == nullptr || lpPresInfo->lpSurf == nullptr) return E_POINTER;
  if (setFrameStateUnlessStopped(E_FMV_FRAME_WAITING) == E_FMV_FRAME_STOPPED) return S_OK;
  for (;;) {
    const i32 iState = ClFullScreenFMVPlayer_Win32::mp_iFrameState.load();
    if (iState == E_FMV_FRAME_NONE || iState == E_FMV_FRAME_STOPPED) break;
    Sleep(1);
  }
  return S_OK;
}

ClTexture* ClVRM9Allocator::lockTexture() {
  m_textureLock.enter();
  return mp_pTexture;
}

void ClVRM9Allocator::unlockTexture() { m_textureLock.leave(); }

void ClVRM9Allocator::releaseFrame() {
  ClScopedMutexLock lock(m_frameLock);
  if (ClFullScreenFMVPlayer_Win32::mp_iFrameState.load() == E_FMV_FRAME_WAITING) {
    ClFullScreenFMVPlayer_Win32::mp_iFrameState.store(E_FMV_FRAME_NONE);
  }
}
