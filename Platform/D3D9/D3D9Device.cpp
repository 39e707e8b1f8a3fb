#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "Platform/D3D9/D3D9Internal.h"
#include "Platform/D3D9/D3D9PresentPace.h"
#include "Platform/Win32/Win32Threads.h"
#include "Platform/Win32/Win32Window.h"

namespace {

// The device whose context the calling thread holds. A thread that ends holding one gives it back here, whoever
// made the thread; threads made by _beginthreadex have already given it back through the blocking-call hook.
struct SHeldContext {
  CD3D9Device* pDevice = nullptr;
  ~SHeldContext() {
    if (pDevice == nullptr) return;
    CD3D9Device::releaseHeldContext();
    // Giving the context back recorded the thread's current window in SDL's per-thread data again.
    SDL_TLSCleanup();
  }
};

thread_local SHeldContext t_held;

long hostThreadId() {
  static thread_local const long s_lId = syscall(SYS_gettid);
  return s_lId;
}

// When a device call reports the thread that holds the context, and how.
struct SContextWaitReport {
  DWORD dwAfterMs = gc_dwD3D9_CONTEXT_WAIT_REPORT_MS;
  std::function<void(const std::string&)> report;  // null: standard error
};

std::mutex g_waitReportMutex;
SContextWaitReport g_waitReport;

SContextWaitReport contextWaitReport() {
  std::lock_guard<std::mutex> lock(g_waitReportMutex);
  return g_waitReport;
}

D3DMATRIX identityMatrix() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) {
    m.m[i][i] = 1.0f;
  }
  return m;
}

// Vertices a draw of n primitives reads, by primitive type.
UINT vertexCountOf(D3DPRIMITIVETYPE eType, UINT uiPrimitives) {
  switch (eType) {
    case D3DPT_POINTLIST:
      return uiPrimitives;
    case D3DPT_LINELIST:
      return uiPrimitives * 2;
    case D3DPT_LINESTRIP:
      return uiPrimitives + 1;
    case D3DPT_TRIANGLELIST:
      return uiPrimitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return uiPrimitives + 2;
  }
  return 0;
}

}  // namespace

// --- Objects ---

CD3D9ObjectBase::CD3D9ObjectBase(CD3D9Device* pDevice, D3DPOOL ePool, bool bImplicit)
    : mp_pDevice(pDevice), m_ePool(ePool), m_bImplicit(bImplicit) {
  mp_pDevice->registerObject(this);
}

CD3D9ObjectBase::~CD3D9ObjectBase() = default;

ULONG CD3D9ObjectBase::release() {
  const ULONG uiLeft = --m_uiRefs;
  if (uiLeft == 0) {
    if (mp_pDevice != nullptr) {
      if (holdsBackendObject()) {
        mp_pDevice->acquire();
        freeBackend();
      }
      mp_pDevice->unregisterObject(this);
    }
    delete this;
  }
  return uiLeft;
}

// The device's own back buffer and automatic depth surface.
class CD3D9Surface final : public IDirect3DSurface9, public CD3D9ObjectBase, public CD3D9SurfaceBase {
 public:
  CD3D9Surface(CD3D9Device* pDevice, D3DFORMAT eFormat, DWORD dwUsage, UINT uiWidth, UINT uiHeight)
      : CD3D9ObjectBase(pDevice, D3DPOOL_DEFAULT, true), m_eFormat(eFormat), m_dwUsage(dwUsage),
        m_uiWidth(uiWidth), m_uiHeight(uiHeight) {}
  D3D9_OBJECT_COMMON(IDirect3DSurface9)
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override {
    if (pDesc == nullptr) return D3DERR_INVALIDCALL;
    *pDesc = surfaceDesc();
    return D3D_OK;
  }
  SD3D9Attachment attachment() const override { return SD3D9Attachment{SD3D9Attachment::BACK_BUFFER, 0, 0}; }
  D3DSURFACE_DESC surfaceDesc() const override {
    return D3DSURFACE_DESC{m_eFormat, D3DRTYPE_SURFACE, m_dwUsage, D3DPOOL_DEFAULT, D3DMULTISAMPLE_NONE, 0,
                           m_uiWidth, m_uiHeight};
  }
  CD3D9Device* owner() const override { return mp_pDevice; }
  bool isDeviceSurface() const override { return true; }
  HRESULT LockRect(D3DLOCKED_RECT*, const RECT*, DWORD) override { return D3DERR_INVALIDCALL; }
  HRESULT UnlockRect() override { return D3DERR_INVALIDCALL; }
  void resize(UINT uiWidth, UINT uiHeight) {
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
  }
  UINT width() const { return m_uiWidth; }
  UINT height() const { return m_uiHeight; }

 private:
  D3DFORMAT m_eFormat;
  DWORD m_dwUsage;
  UINT m_uiWidth;
  UINT m_uiHeight;
};

// A vertex or index buffer: a CPU copy that Lock hands out, written to the GPU at Unlock.
template <typename Interface, typename Desc, bool bIndex>
class TD3D9Buffer final : public Interface, public CD3D9ObjectBase {
 public:
  TD3D9Buffer(CD3D9Device* pDevice, UINT uiLength, DWORD dwUsage, D3DPOOL ePool, D3DFORMAT eFormat, DWORD dwFVF)
      : CD3D9ObjectBase(pDevice, ePool, false), m_shadow(uiLength), m_dwUsage(dwUsage), m_eFormat(eFormat),
        m_dwFVF(dwFVF) {
    m_uiHandle = pDevice->backend()->createBuffer(uiLength, bIndex, (dwUsage & D3DUSAGE_DYNAMIC) != 0);
  }
  D3D9_OBJECT_COMMON(Interface)
  D3DRESOURCETYPE GetType() override { return bIndex ? D3DRTYPE_INDEXBUFFER : D3DRTYPE_VERTEXBUFFER; }
  HRESULT Lock(UINT uiOffset, UINT uiSize, void** ppData, DWORD dwFlags) override {
    if (ppData == nullptr || m_bLocked || uiOffset > m_shadow.size()) return D3DERR_INVALIDCALL;
    if (uiSize == 0) uiSize = static_cast<UINT>(m_shadow.size()) - uiOffset;
    if (uiSize > m_shadow.size() - uiOffset) return D3DERR_INVALIDCALL;
    m_bLocked = true;
    m_uiLockOffset = uiOffset;
    m_uiLockSize = uiSize;
    m_bDiscard = (dwFlags & D3DLOCK_DISCARD) != 0;
    m_bReadOnly = (dwFlags & D3DLOCK_READONLY) != 0;
    *ppData = m_shadow.data() + uiOffset;
    return D3D_OK;
  }
  HRESULT Unlock() override {
    if (!m_bLocked) return D3DERR_INVALIDCALL;
    m_bLocked = false;
    if (mp_pDevice != nullptr && !m_bReadOnly && m_uiLockSize > 0) {
      mp_pDevice->acquire();
      if (m_bDiscard) {
        mp_pDevice->backend()->uploadBuffer(m_uiHandle, bIndex, 0, m_shadow.data(),
                                            static_cast<UINT>(m_shadow.size()), true);
      } else {
        mp_pDevice->backend()->uploadBuffer(m_uiHandle, bIndex, m_uiLockOffset, m_shadow.data() + m_uiLockOffset,
                                            m_uiLockSize, false);
      }
    }
    return D3D_OK;
  }
  HRESULT GetDesc(Desc* pDesc) override {
    if (pDesc == nullptr) return D3DERR_INVALIDCALL;
    pDesc->Format = m_eFormat;
    pDesc->Type = GetType();
    pDesc->Usage = m_dwUsage;
    pDesc->Pool = pool();
    pDesc->Size = static_cast<UINT>(m_shadow.size());
    if constexpr (!bIndex) {
      pDesc->FVF = m_dwFVF;
    }
    return D3D_OK;
  }
  void freeBackend() override { mp_pDevice->backend()->deleteBuffer(m_uiHandle); }
  UINT handle() const { return m_uiHandle; }
  bool index32() const { return m_eFormat == D3DFMT_INDEX32; }

 private:
  std::vector<BYTE> m_shadow;
  DWORD m_dwUsage;
  D3DFORMAT m_eFormat;
  DWORD m_dwFVF;
  UINT m_uiHandle = 0;
  bool m_bLocked = false;
  bool m_bDiscard = false;
  bool m_bReadOnly = false;
  UINT m_uiLockOffset = 0;
  UINT m_uiLockSize = 0;
};
using CD3D9VertexBuffer = TD3D9Buffer<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC, false>;
using CD3D9IndexBuffer = TD3D9Buffer<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC, true>;

class CD3D9VertexDeclaration final : public IDirect3DVertexDeclaration9, public CD3D9ObjectBase {
 public:
  CD3D9VertexDeclaration(CD3D9Device* pDevice, std::vector<D3DVERTEXELEMENT9> elements)
      : CD3D9ObjectBase(pDevice, D3DPOOL_MANAGED, false), m_elements(std::move(elements)) {
    for (const D3DVERTEXELEMENT9& element : m_elements) {
      if (element.Stream != 0 || element.UsageIndex != 0) continue;
      if (element.Usage == D3DDECLUSAGE_POSITION && element.Type <= D3DDECLTYPE_FLOAT4) {
        m_layout.iPositionOffset = element.Offset;
        m_layout.iPositionComponents = element.Type + 1;
      } else if (element.Usage == D3DDECLUSAGE_COLOR && element.Type == D3DDECLTYPE_D3DCOLOR) {
        m_layout.iColorOffset = element.Offset;
      } else if (element.Usage == D3DDECLUSAGE_NORMAL && element.Type == D3DDECLTYPE_FLOAT3) {
        m_layout.iNormalOffset = element.Offset;
      } else if (element.Usage == D3DDECLUSAGE_TEXCOORD && element.Type <= D3DDECLTYPE_FLOAT4) {
        m_layout.iTexCoordOffset = element.Offset;
        m_layout.iTexCoordComponents = element.Type + 1;
      }
    }
  }
  HRESULT QueryInterface(REFIID, void** ppvObject) override {
    if (ppvObject != nullptr) *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return addRef(); }
  ULONG Release() override { return release(); }
  HRESULT GetDevice(IDirect3DDevice9** ppDevice) override {
    if (ppDevice == nullptr || mp_pDevice == nullptr) return D3DERR_INVALIDCALL;
    mp_pDevice->AddRef();
    *ppDevice = mp_pDevice;
    return D3D_OK;
  }
  HRESULT GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) override {
    if (pNumElements == nullptr) return D3DERR_INVALIDCALL;
    const UINT uiCount = static_cast<UINT>(m_elements.size()) + 1;
    if (pElement != nullptr) {
      if (*pNumElements < uiCount) return D3DERR_INVALIDCALL;
      std::copy(m_elements.begin(), m_elements.end(), pElement);
      pElement[uiCount - 1] = D3DVERTEXELEMENT9 D3DDECL_END();
    }
    *pNumElements = uiCount;
    return D3D_OK;
  }
  const SD3D9VertexLayout& layout() const { return m_layout; }

 private:
  std::vector<D3DVERTEXELEMENT9> m_elements;
  SD3D9VertexLayout m_layout;
};

class CD3D9Query final : public IDirect3DQuery9, public CD3D9ObjectBase {
 public:
  explicit CD3D9Query(CD3D9Device* pDevice) : CD3D9ObjectBase(pDevice, D3DPOOL_MANAGED, false) {}
  HRESULT QueryInterface(REFIID, void** ppvObject) override {
    if (ppvObject != nullptr) *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return addRef(); }
  ULONG Release() override { return release(); }
  HRESULT GetDevice(IDirect3DDevice9** ppDevice) override {
    if (ppDevice == nullptr || mp_pDevice == nullptr) return D3DERR_INVALIDCALL;
    mp_pDevice->AddRef();
    *ppDevice = mp_pDevice;
    return D3D_OK;
  }
  D3DQUERYTYPE GetType() override { return D3DQUERYTYPE_EVENT; }
  HRESULT Issue(DWORD dwFlags) override {
    if ((dwFlags & D3DISSUE_END) == 0 || mp_pDevice == nullptr) return D3DERR_INVALIDCALL;
    mp_pDevice->acquire();
    freeBackend();
    m_uiFence = mp_pDevice->backend()->insertFence();
    return D3D_OK;
  }
  HRESULT GetData(void* pData, DWORD dwSize, DWORD dwFlags) override {
    if (mp_pDevice == nullptr) return D3DERR_INVALIDCALL;
    mp_pDevice->acquire();
    if (mp_pDevice->isLost()) return D3DERR_DEVICELOST;
    const bool bDone = m_uiFence == 0 || mp_pDevice->backend()->fencePassed(m_uiFence, (dwFlags & D3DGETDATA_FLUSH) != 0);
    if (pData != nullptr && dwSize >= sizeof(BOOL)) {
      *static_cast<BOOL*>(pData) = bDone ? TRUE : FALSE;
    }
    return bDone ? S_OK : S_FALSE;
  }
  void freeBackend() override {
    if (m_uiFence != 0) {
      mp_pDevice->backend()->deleteFence(m_uiFence);
      m_uiFence = 0;
    }
  }

 private:
  std::uintptr_t m_uiFence = 0;
};

// --- Device ---

CD3D9Device::CD3D9Device(CD3D9Backend* pBackend, const D3DPRESENT_PARAMETERS& params, SDL_Window* pWindow,
                         UINT uiRefresh)
    : mp_pBackend(pBackend), m_params(params), mp_pWindow(pWindow), m_uiRefreshHz(uiRefresh > 0 ? uiRefresh : 60) {}

bool CD3D9Device::start(std::string* pError) {
  releaseHeldContext();
  lockContext();
  const bool bVsync = m_params.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE;
  if (!mp_pBackend->createContext(mp_pWindow, m_params.BackBufferWidth, m_params.BackBufferHeight, bVsync, pError)) {
    unlockContext();
    return false;
  }
  // createContext leaves the context current on this thread: it holds it from now on.
  t_held.pDevice = this;
  mp_pBackBuffer = new CD3D9Surface(this, m_params.BackBufferFormat, D3DUSAGE_RENDERTARGET, m_params.BackBufferWidth,
                                    m_params.BackBufferHeight);
  if (m_params.EnableAutoDepthStencil) {
    mp_pDepthSurface = new CD3D9Surface(this, m_params.AutoDepthStencilFormat, D3DUSAGE_DEPTHSTENCIL,
                                        m_params.BackBufferWidth, m_params.BackBufferHeight);
  }
  setDefaultState();
  return true;
}

CD3D9Device::~CD3D9Device() {
  acquire();
  unbindTextures();
  for (UINT uiSlot = 0; uiSlot < m_apTargets.size(); ++uiSlot) {
    holdTarget(uiSlot, nullptr);
  }
  std::set<CD3D9ObjectBase*> objects;
  {
    std::lock_guard<std::mutex> lock(m_objectsMutex);
    objects.swap(m_objects);
  }
  for (CD3D9ObjectBase* pObject : objects) {
    pObject->freeBackend();
    pObject->orphan();
    if (pObject->implicit() && pObject->refs() == 1) {
      pObject->release();
    }
  }
  mp_pBackend->destroyContext();
  t_held.pDevice = nullptr;
  unlockContext();
  delete mp_pBackend;
}

void CD3D9Device::acquire() {
  if (t_held.pDevice == this) {
    return;
  }
  releaseHeldContext();
  lockContext();
  mp_pBackend->makeCurrent();
  t_held.pDevice = this;
}

void CD3D9Device::releaseHeldContext() {
  CD3D9Device* pDevice = t_held.pDevice;
  if (pDevice == nullptr) {
    return;
  }
  pDevice->mp_pBackend->releaseCurrent();
  t_held.pDevice = nullptr;
  pDevice->unlockContext();
}

void CD3D9Device::lockContext() {
  const DWORD dwSelf = GetCurrentThreadId();
  const auto contextFree = [this] { return !m_bContextHeld; };
  std::unique_lock<std::mutex> lock(m_contextMutex);
  if (!contextFree()) {
    // Failing the call instead would leave the caller's frame half made; a slow holder (a long load) still gives
    // the context back, so the report only names the holder for whoever reads the log of a hang.
    const SContextWaitReport report = contextWaitReport();
    if (report.dwAfterMs == INFINITE) {
      m_contextFree.wait(lock, contextFree);
    } else if (!m_contextFree.wait_for(lock, std::chrono::milliseconds(report.dwAfterMs), contextFree)) {
      const std::string text = D3D9ContextWaitText(dwSelf, report.dwAfterMs, m_dwHolderId, m_lHolderHostId);
      lock.unlock();
      if (report.report) {
        report.report(text);
      } else {
        std::fprintf(stderr, "%s\n", text.c_str());
      }
      lock.lock();
      m_contextFree.wait(lock, contextFree);
    }
  }
  m_bContextHeld = true;
  m_dwHolderId = dwSelf;
  m_lHolderHostId = hostThreadId();
}

void CD3D9Device::unlockContext() {
  {
    std::lock_guard<std::mutex> lock(m_contextMutex);
    m_bContextHeld = false;
    m_dwHolderId = 0;
    m_lHolderHostId = 0;
  }
  m_contextFree.notify_one();
}

std::string D3D9ContextWaitText(DWORD dwWaiter, DWORD dwWaitedMs, DWORD dwHolder, long lHolderHostId) {
  // The host keeps a thread's name while it runs; the entry is gone once the thread has ended.
  std::ifstream comm("/proc/self/task/" + std::to_string(lHolderHostId) + "/comm");
  std::string name;
  const bool bRunning = lHolderHostId > 0 && std::getline(comm, name);
  return "D3D9 stand-in: thread " + std::to_string(dwWaiter) + " has waited " + std::to_string(dwWaitedMs) +
         " ms for the device, which thread " + std::to_string(dwHolder) + " (host thread " +
         std::to_string(lHolderHostId) + (bRunning ? ", \"" + name + "\")" : ", ended)") + " holds";
}

void D3D9TestSetContextWaitReport(DWORD dwMilliseconds, std::function<void(const std::string&)> report) {
  std::lock_guard<std::mutex> lock(g_waitReportMutex);
  g_waitReport.dwAfterMs = dwMilliseconds;
  g_waitReport.report = std::move(report);
}

void CD3D9Device::registerObject(CD3D9ObjectBase* pObject) {
  std::lock_guard<std::mutex> lock(m_objectsMutex);
  m_objects.insert(pObject);
}

void CD3D9Device::unregisterObject(CD3D9ObjectBase* pObject) {
  std::lock_guard<std::mutex> lock(m_objectsMutex);
  m_objects.erase(pObject);
}

UINT CD3D9Device::liveDefaultPoolResources() {
  std::lock_guard<std::mutex> lock(m_objectsMutex);
  UINT uiCount = 0;
  for (CD3D9ObjectBase* pObject : m_objects) {
    // The device's own surfaces count only while somebody else holds a reference to them.
    if (pObject->pool() == D3DPOOL_DEFAULT && (!pObject->implicit() || pObject->refs() > 1)) {
      ++uiCount;
    }
  }
  return uiCount;
}

void CD3D9Device::holdTarget(UINT uiSlot, IDirect3DSurface9* pSurface) {
  IDirect3DSurface9* pOld = m_apTargets[uiSlot];
  if (pOld == pSurface) return;
  if (pSurface != nullptr && !D3D9SurfaceOf(pSurface)->isDeviceSurface()) pSurface->AddRef();
  m_apTargets[uiSlot] = pSurface;
  const SD3D9Attachment attachment = pSurface != nullptr ? D3D9SurfaceOf(pSurface)->attachment() : SD3D9Attachment{};
  if (uiSlot < gc_uiD3D9_RENDER_TARGETS) {
    m_state.targets.colour[uiSlot] = attachment;
  } else {
    m_state.targets.depth = attachment;
    m_state.bDepthBound = pSurface != nullptr;
    markDirty(D3D9_DIRTY_RENDER_STATE);
  }
  markDirty(D3D9_DIRTY_TARGETS);
  // Released last: the surface may be the last holder of a texture whose framebuffers then go.
  if (pOld != nullptr && !D3D9SurfaceOf(pOld)->isDeviceSurface()) pOld->Release();
}

void CD3D9Device::bindDeviceTargets() {
  holdTarget(0, mp_pBackBuffer);
  for (UINT uiSlot = 1; uiSlot < gc_uiD3D9_RENDER_TARGETS; ++uiSlot) {
    holdTarget(uiSlot, nullptr);
  }
  holdTarget(gc_uiD3D9_RENDER_TARGETS, mp_pDepthSurface);
  m_uiTargetWidth = mp_pBackBuffer->width();
  m_uiTargetHeight = mp_pBackBuffer->height();
}

void CD3D9Device::setDefaultState() {
  m_state.world = identityMatrix();
  m_state.view = identityMatrix();
  m_state.projection = identityMatrix();
  m_state.textureTransforms.fill(identityMatrix());
  m_state.viewport = D3DVIEWPORT9{0, 0, m_params.BackBufferWidth, m_params.BackBufferHeight, 0.0f, 1.0f};
  m_state.scissor = RECT{0, 0, static_cast<LONG>(m_params.BackBufferWidth), static_cast<LONG>(m_params.BackBufferHeight)};
  m_state.renderStates.fill(0);
#define D3D9_SET_DEFAULT(state, value) m_state.renderStates[state] = static_cast<DWORD>(value);
  D3D9_RENDER_STATE_DEFAULTS(D3D9_SET_DEFAULT)
#undef D3D9_SET_DEFAULT
  if (!m_params.EnableAutoDepthStencil) {
    m_state.renderStates[D3DRS_ZENABLE] = D3DZB_FALSE;
  }
  bindDeviceTargets();
  m_state.uiVertexBuffer = 0;
  m_state.uiStreamOffset = 0;
  m_state.uiStride = 0;
  m_state.bHasLayout = false;
  m_state.uiIndexBuffer = 0;
  for (auto& sampler : m_state.samplerStates) {
    sampler.fill(0);
#define D3D9_SET_SAMPLER_DEFAULT(state, value) sampler[state] = static_cast<DWORD>(value);
    D3D9_SAMPLER_STATE_DEFAULTS(D3D9_SET_SAMPLER_DEFAULT)
#undef D3D9_SET_SAMPLER_DEFAULT
  }
  unbindTextures();
  m_state.uiProgram = 0;
  m_uiDirty = D3D9_DIRTY_ALL;
}

void CD3D9Device::unbindTextures() {
  for (UINT i = 0; i < gc_uiD3D9_TEXTURE_UNITS; ++i) {
    m_state.textures[i] = SD3D9TextureBinding{};
    if (m_apTextures[i] != nullptr) {
      IDirect3DBaseTexture9* pTexture = m_apTextures[i];
      m_apTextures[i] = nullptr;
      pTexture->Release();
    }
  }
}

void CD3D9Device::setProgram(UINT uiProgram) {
  acquire();
  if (m_state.uiProgram != uiProgram) {
    m_state.uiProgram = uiProgram;
    markDirty(D3D9_DIRTY_PROGRAM);
  }
}

UINT CD3D9Device::takeDirty() {
  const UINT uiDirty = D3D9StateCacheOff() ? D3D9_DIRTY_ALL : m_uiDirty;
  m_uiDirty = 0;
  return uiDirty;
}

HRESULT CD3D9Device::QueryInterface(REFIID, void** ppvObject) {
  if (ppvObject != nullptr) *ppvObject = nullptr;
  return E_NOINTERFACE;
}

ULONG CD3D9Device::AddRef() { return ++m_uiRefs; }

ULONG CD3D9Device::Release() {
  const ULONG uiLeft = --m_uiRefs;
  if (uiLeft == 0) {
    delete this;
  }
  return uiLeft;
}

HRESULT CD3D9Device::TestCooperativeLevel() {
  acquire();
  switch (m_eLoss) {
    case ELoss::Ok:
      return D3D_OK;
    case ELoss::Lost:
      if (m_uiLostPollsLeft > 0) {
        --m_uiLostPollsLeft;
        return D3DERR_DEVICELOST;
      }
      m_eLoss = ELoss::NotReset;
      return D3DERR_DEVICENOTRESET;
    case ELoss::NotReset:
      return D3DERR_DEVICENOTRESET;
  }
  return D3D_OK;
}

HRESULT CD3D9Device::Reset(D3DPRESENT_PARAMETERS* pParams) {
  acquire();
  if (pParams == nullptr) return D3DERR_INVALIDCALL;
  if (m_eLoss == ELoss::Lost) return D3DERR_DEVICELOST;
  // A Reset unbinds every stage and binds the device's own targets again: what is still bound afterwards would
  // hold default-pool textures and surfaces alive.
  unbindTextures();
  bindDeviceTargets();
  if (liveDefaultPoolResources() > 0) {
    // As on Direct3D 9: every default-pool resource (and every reference to the device's own surfaces) must be
    // released before a Reset.
    return D3DERR_INVALIDCALL;
  }
  if (m_uiResetFailuresLeft > 0) {
    --m_uiResetFailuresLeft;
    return D3DERR_DEVICELOST;
  }
  m_params = *pParams;
  mp_pBackend->resizeBackBuffer(m_params.BackBufferWidth, m_params.BackBufferHeight);
  mp_pBackBuffer->resize(m_params.BackBufferWidth, m_params.BackBufferHeight);
  if (mp_pDepthSurface != nullptr) {
    mp_pDepthSurface->resize(m_params.BackBufferWidth, m_params.BackBufferHeight);
  }
  setDefaultState();
  m_eLoss = ELoss::Ok;
  m_bInScene = false;
  return D3D_OK;
}

SD3D9PresentPace D3D9PacePresent(std::int64_t iLastShownAt, std::int64_t iNow, std::int64_t iPeriod,
                                 std::int64_t iFramesAhead) {
  std::int64_t iShownAt = iLastShownAt + iPeriod;
  if (iShownAt < iNow || iLastShownAt > iNow + iFramesAhead * iPeriod) {
    iShownAt = iNow;
  }
  const std::int64_t iReturnAt = iShownAt - (iFramesAhead - 1) * iPeriod;
  return {iShownAt, iReturnAt > iNow ? iReturnAt : iNow};
}

void CD3D9Device::paceToRefresh() {
  // Drivers that do not block on the swap interval (offscreen, Xvfb) would let a vsync'd loop spin: wait here as a
  // driver's render-ahead queue would. A driver that blocked has already used the time up.
  const std::int64_t iPeriod = 1000000000LL / m_uiRefreshHz;
  const std::int64_t iNow = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
  const SD3D9PresentPace pace = D3D9PacePresent(m_iLastShownAt, iNow, iPeriod, gc_iD3D9_FRAMES_AHEAD);
  m_iLastShownAt = pace.iShownAt;
  if (pace.iReturnAt > iNow) {
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(pace.iReturnAt)));
  }
}

HRESULT CD3D9Device::Present(const RECT*, const RECT* pDestRect, HWND, const void*) {
  acquire();
  if (m_eLoss != ELoss::Ok) return D3DERR_DEVICELOST;
  ++m_uiPresents;
  const SD3D9Faults& faults = D3D9CurrentFaults();
  if (m_bLoseRequested || (faults.uiLoseEveryNthPresent > 0 && m_uiPresents % faults.uiLoseEveryNthPresent == 0)) {
    m_bLoseRequested = false;
    m_eLoss = ELoss::Lost;
    m_uiLostPollsLeft = faults.uiLostPolls;
    m_uiResetFailuresLeft = faults.uiResetFailures;
    return D3DERR_DEVICELOST;
  }
  std::vector<POINT> probes;
  {
    std::lock_guard<std::mutex> lock(m_probeMutex);
    probes = m_probes;
  }
  std::vector<DWORD> probed;
  mp_pBackend->present(m_bCaptureWindow, pDestRect, probes, &probed);
  if (!probed.empty()) {
    std::lock_guard<std::mutex> lock(m_probeMutex);
    m_probed.insert(m_probed.end(), probed.begin(), probed.end());
  }
  if (m_params.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE) {
    paceToRefresh();
  }
  return D3D_OK;
}

void CD3D9Device::probeAtPresent(const std::vector<POINT>& points) {
  std::lock_guard<std::mutex> lock(m_probeMutex);
  m_probes = points;
}

std::vector<DWORD> CD3D9Device::takeProbes() {
  std::lock_guard<std::mutex> lock(m_probeMutex);
  std::vector<DWORD> probed;
  probed.swap(m_probed);
  return probed;
}

HRESULT CD3D9Device::GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) {
  if (pMode == nullptr || iSwapChain != 0) return D3DERR_INVALIDCALL;
  *pMode = D3DDISPLAYMODE{m_params.BackBufferWidth, m_params.BackBufferHeight, m_uiRefreshHz, D3DFMT_X8R8G8B8};
  SDL_DisplayMode desktop{};
  if (Win32GetDesktopMode(&desktop)) {
    pMode->Width = static_cast<UINT>(desktop.w);
    pMode->Height = static_cast<UINT>(desktop.h);
  }
  return D3D_OK;
}

HRESULT CD3D9Device::GetDeviceCaps(D3DCAPS9* pCaps) {
  if (pCaps == nullptr) return D3DERR_INVALIDCALL;
  const bool bShader3 = !D3D9CurrentFaults().bNoShader3;
  *pCaps = D3DCAPS9{D3DDEVTYPE_HAL, 0, 8192, 8192, 0xFFFFF, 0xFFFFFF, 16, 4,
                    bShader3 ? D3DVS_VERSION(3, 0) : D3DVS_VERSION(2, 0),
                    bShader3 ? D3DPS_VERSION(3, 0) : D3DPS_VERSION(2, 0)};
  return D3D_OK;
}

HRESULT CD3D9Device::CreateVertexBuffer(UINT uiLength, DWORD dwUsage, DWORD dwFVF, D3DPOOL ePool,
                                        IDirect3DVertexBuffer9** ppBuffer, HANDLE*) {
  if (ppBuffer == nullptr || uiLength == 0) return D3DERR_INVALIDCALL;
  acquire();
  *ppBuffer = new CD3D9VertexBuffer(this, uiLength, dwUsage, ePool, D3DFMT_UNKNOWN, dwFVF);
  return D3D_OK;
}

HRESULT CD3D9Device::CreateIndexBuffer(UINT uiLength, DWORD dwUsage, D3DFORMAT eFormat, D3DPOOL ePool,
                                       IDirect3DIndexBuffer9** ppBuffer, HANDLE*) {
  if (ppBuffer == nullptr || uiLength == 0 || (eFormat != D3DFMT_INDEX16 && eFormat != D3DFMT_INDEX32)) {
    return D3DERR_INVALIDCALL;
  }
  acquire();
  *ppBuffer = new CD3D9IndexBuffer(this, uiLength, dwUsage, ePool, eFormat, 0);
  return D3D_OK;
}

HRESULT CD3D9Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* pElements, IDirect3DVertexDeclaration9** ppDecl) {
  if (pElements == nullptr || ppDecl == nullptr) return D3DERR_INVALIDCALL;
  std::vector<D3DVERTEXELEMENT9> elements;
  for (const D3DVERTEXELEMENT9* p = pElements; p->Stream != 0xFF; ++p) {
    if (elements.size() >= 64) return D3DERR_INVALIDCALL;
    elements.push_back(*p);
  }
  acquire();
  *ppDecl = new CD3D9VertexDeclaration(this, std::move(elements));
  return D3D_OK;
}

HRESULT CD3D9Device::CreateQuery(D3DQUERYTYPE eType, IDirect3DQuery9** ppQuery) {
  if (eType != D3DQUERYTYPE_EVENT) return D3DERR_NOTAVAILABLE;
  if (ppQuery == nullptr) return D3D_OK;  // a support check
  acquire();
  *ppQuery = new CD3D9Query(this);
  return D3D_OK;
}

HRESULT CD3D9Device::SetRenderTarget(DWORD dwIndex, IDirect3DSurface9* pSurface) {
  if (dwIndex >= gc_uiD3D9_RENDER_TARGETS) return D3DERR_INVALIDCALL;
  CD3D9SurfaceBase* pBase = D3D9SurfaceOf(pSurface);
  if (pSurface == nullptr) {
    if (dwIndex == 0) return D3DERR_INVALIDCALL;
  } else if (pBase == nullptr || pBase->owner() != this ||
             (pBase->surfaceDesc().Usage & D3DUSAGE_RENDERTARGET) == 0) {
    return D3DERR_INVALIDCALL;
  }
  acquire();
  holdTarget(dwIndex, pSurface);
  if (dwIndex == 0) {
    const D3DSURFACE_DESC desc = pBase->surfaceDesc();
    m_uiTargetWidth = desc.Width;
    m_uiTargetHeight = desc.Height;
    m_state.viewport = D3DVIEWPORT9{0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
    m_state.scissor = RECT{0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    markDirty(D3D9_DIRTY_VIEWPORT | D3D9_DIRTY_SCISSOR);
  }
  return D3D_OK;
}

HRESULT CD3D9Device::GetRenderTarget(DWORD dwIndex, IDirect3DSurface9** ppSurface) {
  if (ppSurface == nullptr || dwIndex >= gc_uiD3D9_RENDER_TARGETS) return D3DERR_INVALIDCALL;
  *ppSurface = nullptr;
  if (D3D9CurrentFaults().bNoRenderTarget) return D3DERR_NOTAVAILABLE;
  acquire();
  if (m_apTargets[dwIndex] == nullptr) return D3DERR_NOTFOUND;
  m_apTargets[dwIndex]->AddRef();
  *ppSurface = m_apTargets[dwIndex];
  return D3D_OK;
}

HRESULT CD3D9Device::SetDepthStencilSurface(IDirect3DSurface9* pSurface) {
  CD3D9SurfaceBase* pBase = D3D9SurfaceOf(pSurface);
  if (pSurface != nullptr && (pBase == nullptr || pBase->owner() != this ||
                              (pBase->surfaceDesc().Usage & D3DUSAGE_DEPTHSTENCIL) == 0)) {
    return D3DERR_INVALIDCALL;
  }
  acquire();
  holdTarget(gc_uiD3D9_RENDER_TARGETS, pSurface);
  return D3D_OK;
}

HRESULT CD3D9Device::GetDepthStencilSurface(IDirect3DSurface9** ppSurface) {
  if (ppSurface == nullptr) return D3DERR_INVALIDCALL;
  *ppSurface = nullptr;
  if (D3D9CurrentFaults().bNoDepthSurface) return D3DERR_NOTFOUND;
  acquire();
  IDirect3DSurface9* pDepth = m_apTargets[gc_uiD3D9_RENDER_TARGETS];
  if (pDepth == nullptr) return D3DERR_NOTFOUND;
  pDepth->AddRef();
  *ppSurface = pDepth;
  return D3D_OK;
}

HRESULT CD3D9Device::BeginScene() {
  acquire();
  if (m_bInScene) return D3DERR_INVALIDCALL;
  m_bInScene = true;
  return D3D_OK;
}

HRESULT CD3D9Device::EndScene() {
  acquire();
  if (!m_bInScene) return D3DERR_INVALIDCALL;
  m_bInScene = false;
  return D3D_OK;
}

HRESULT CD3D9Device::Clear(DWORD dwCount, const D3DRECT* pRects, DWORD dwFlags, D3DCOLOR color, float fZ,
                           DWORD dwStencil) {
  acquire();
  if ((dwCount != 0 && pRects == nullptr) || (dwFlags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0) {
    return D3DERR_INVALIDCALL;
  }
  if (m_eLoss != ELoss::Ok) return D3D_OK;
  if (!m_state.bDepthBound && (dwFlags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0) return D3DERR_INVALIDCALL;
  if (dwCount == 0) {
    mp_pBackend->clear(m_state, takeDirty(), dwFlags, color, fZ, dwStencil);
    return D3D_OK;
  }
  // Each rectangle clears its part of the viewport.
  const SD3D9State saved = m_state;
  for (DWORD i = 0; i < dwCount; ++i) {
    m_state.renderStates[D3DRS_SCISSORTESTENABLE] = TRUE;
    m_state.scissor = RECT{pRects[i].x1, pRects[i].y1, pRects[i].x2, pRects[i].y2};
    mp_pBackend->clear(m_state, D3D9_DIRTY_SCISSOR | D3D9_DIRTY_RENDER_STATE | takeDirty(), dwFlags, color, fZ,
                       dwStencil);
  }
  m_state = saved;
  markDirty(D3D9_DIRTY_SCISSOR | D3D9_DIRTY_RENDER_STATE);
  return D3D_OK;
}

HRESULT CD3D9Device::SetTransform(D3DTRANSFORMSTATETYPE eState, const D3DMATRIX* pMatrix) {
  if (pMatrix == nullptr) return D3DERR_INVALIDCALL;
  acquire();
  switch (eState) {
    case D3DTS_WORLD:
      m_state.world = *pMatrix;
      break;
    case D3DTS_VIEW:
      m_state.view = *pMatrix;
      break;
    case D3DTS_PROJECTION:
      m_state.projection = *pMatrix;
      break;
    default:
      if (eState >= D3DTS_TEXTURE0 && eState <= D3DTS_TEXTURE7) {
        m_state.textureTransforms[eState - D3DTS_TEXTURE0] = *pMatrix;
        return D3D_OK;
      }
      return D3DERR_INVALIDCALL;
  }
  markDirty(D3D9_DIRTY_TRANSFORM);
  return D3D_OK;
}

HRESULT CD3D9Device::GetTransform(D3DTRANSFORMSTATETYPE eState, D3DMATRIX* pMatrix) {
  if (pMatrix == nullptr) return D3DERR_INVALIDCALL;
  acquire();
  switch (eState) {
    case D3DTS_WORLD:
      *pMatrix = m_state.world;
      return D3D_OK;
    case D3DTS_VIEW:
      *pMatrix = m_state.view;
      return D3D_OK;
    case D3DTS_PROJECTION:
      *pMatrix = m_state.projection;
      return D3D_OK;
    default:
      if (eState >= D3DTS_TEXTURE0 && eState <= D3DTS_TEXTURE7) {
        *pMatrix = m_state.textureTransforms[eState - D3DTS_TEXTURE0];
        return D3D_OK;
      }
      return D3DERR_INVALIDCALL;
  }
}

HRESULT CD3D9Device::SetViewport(const D3DVIEWPORT9* pViewport) {
  if (pViewport == nullptr) return D3DERR_INVALIDCALL;
  acquire();
  const UINT uiW = m_uiTargetWidth;
  const UINT uiH = m_uiTargetHeight;
  if (pViewport->X >= uiW || pViewport->Y >= uiH || pViewport->Width == 0 || pViewport->Height == 0 ||
      pViewport->Width > uiW - pViewport->X || pViewport->Height > uiH - pViewport->Y) {
    return D3DERR_INVALIDCALL;
  }
  m_state.viewport = *pViewport;
  markDirty(D3D9_DIRTY_VIEWPORT);
  return D3D_OK;
}

HRESULT CD3D9Device::GetViewport(D3DVIEWPORT9* pViewport) {
  if (pViewport == nullptr) return D3DERR_INVALIDCALL;
  acquire();
  *pViewport = m_state.viewport;
  return D3D_OK;
}

HRESULT CD3D9Device::SetRenderState(D3DRENDERSTATETYPE eState, DWORD dwValue) {
  if (eState >= gc_uiD3D9_RENDER_STATE_SLOTS) return D3DERR_INVALIDCALL;
  acquire();
  if (m_state.renderStates[eState] != dwValue) {
    m_state.renderStates[eState] = dwValue;
    markDirty(D3D9_DIRTY_RENDER_STATE);
  }
  return D3D_OK;
}

HRESULT CD3D9Device::GetRenderState(D3DRENDERSTATETYPE eState, DWORD* pValue) {
  if (pValue == nullptr || eState >= gc_uiD3D9_RENDER_STATE_SLOTS) return D3DERR_INVALIDCALL;
  acquire();
  *pValue = m_state.renderStates[eState];
  return D3D_OK;
}

HRESULT CD3D9Device::SetScissorRect(const RECT* pRect) {
  if (pRect == nullptr || pRect->right < pRect->left || pRect->bottom < pRect->top) return D3DERR_INVALIDCALL;
  acquire();
  m_state.scissor = *pRect;
  markDirty(D3D9_DIRTY_SCISSOR);
  return D3D_OK;
}

HRESULT CD3D9Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) {
  acquire();
  if (pDecl == nullptr) {
    m_state.bHasLayout = false;
  } else {
    m_state.layout = static_cast<CD3D9VertexDeclaration*>(pDecl)->layout();
    m_state.bHasLayout = m_state.layout.iPositionOffset >= 0;
  }
  markDirty(D3D9_DIRTY_STREAM);
  return D3D_OK;
}

HRESULT CD3D9Device::SetFVF(DWORD dwFVF) {
  if ((dwFVF & ~(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1)) != 0 || (dwFVF & D3DFVF_XYZ) == 0) {
    return D3DERR_INVALIDCALL;
  }
  acquire();
  // Flexible vertex formats keep their fields in this order: position, normal, diffuse, texture coordinates.
  SD3D9VertexLayout layout;
  INT iOffset = 0;
  layout.iPositionOffset = iOffset;
  iOffset += 12;
  if (dwFVF & D3DFVF_NORMAL) {
    layout.iNormalOffset = iOffset;
    iOffset += 12;
  }
  if (dwFVF & D3DFVF_DIFFUSE) {
    layout.iColorOffset = iOffset;
    iOffset += 4;
  }
  if (dwFVF & D3DFVF_TEX1) {
    layout.iTexCoordOffset = iOffset;
  }
  m_state.layout = layout;
  m_state.bHasLayout = true;
  markDirty(D3D9_DIRTY_STREAM);
  return D3D_OK;
}

HRESULT CD3D9Device::SetStreamSource(UINT uiStream, IDirect3DVertexBuffer9* pBuffer, UINT uiOffset, UINT uiStride) {
  if (uiStream != 0) return pBuffer == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
  acquire();
  m_state.uiVertexBuffer = pBuffer != nullptr ? static_cast<CD3D9VertexBuffer*>(pBuffer)->handle() : 0;
  m_state.uiStreamOffset = uiOffset;
  m_state.uiStride = uiStride;
  markDirty(D3D9_DIRTY_STREAM);
  return D3D_OK;
}

HRESULT CD3D9Device::SetIndices(IDirect3DIndexBuffer9* pBuffer) {
  acquire();
  auto* pIndices = static_cast<CD3D9IndexBuffer*>(pBuffer);
  m_state.uiIndexBuffer = pIndices != nullptr ? pIndices->handle() : 0;
  m_state.bIndex32 = pIndices != nullptr && pIndices->index32();
  markDirty(D3D9_DIRTY_INDICES);
  return D3D_OK;
}

void CD3D9Device::applyPendingCopies() {
  if (m_uiPendingCopies.load(std::memory_order_acquire) == 0) return;
  for (IDirect3DBaseTexture9* pTexture : m_apTextures) {
    if (CD3D9TextureBase* pBase = D3D9TextureOf(pTexture)) {
      pBase->applyPendingCopy();
    }
  }
}

HRESULT CD3D9Device::DrawPrimitive(D3DPRIMITIVETYPE eType, UINT uiStartVertex, UINT uiPrimitives) {
  acquire();
  if (!m_state.bHasLayout || m_state.uiVertexBuffer == 0 || m_state.uiStride == 0) return D3DERR_INVALIDCALL;
  const UINT uiCount = vertexCountOf(eType, uiPrimitives);
  if (uiCount == 0) return D3DERR_INVALIDCALL;
  if (m_eLoss != ELoss::Ok) return D3D_OK;
  applyPendingCopies();
  mp_pBackend->draw(m_state, takeDirty(), eType, uiStartVertex, uiCount, false, 0);
  return D3D_OK;
}

HRESULT CD3D9Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE eType, INT iBaseVertex, UINT, UINT, UINT uiStartIndex,
                                          UINT uiPrimitives) {
  acquire();
  if (!m_state.bHasLayout || m_state.uiVertexBuffer == 0 || m_state.uiStride == 0 || m_state.uiIndexBuffer == 0) {
    return D3DERR_INVALIDCALL;
  }
  const UINT uiCount = vertexCountOf(eType, uiPrimitives);
  if (uiCount == 0) return D3DERR_INVALIDCALL;
  if (m_eLoss != ELoss::Ok) return D3D_OK;
  applyPendingCopies();
  mp_pBackend->draw(m_state, takeDirty(), eType, uiStartIndex, uiCount, true, iBaseVertex);
  return D3D_OK;
}
