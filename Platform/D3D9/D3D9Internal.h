// Private to Platform/D3D9: the device's state, the back-end interface that turns it into GPU work (OpenGL, or a
// recorder for tests), and the resource objects.
#pragma once

#include <SDL.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Platform/D3D9/D3D9.h"

inline constexpr UINT gc_uiD3D9_RENDER_STATE_SLOTS = 256;

// Render states the stand-in applies, with their defaults after device creation and Reset. One list: the default
// table and the back ends' translation follow it.
#define D3D9_RENDER_STATE_DEFAULTS(X)       \
  X(D3DRS_ZENABLE, D3DZB_TRUE)              \
  X(D3DRS_FILLMODE, D3DFILL_SOLID)          \
  X(D3DRS_ZWRITEENABLE, TRUE)               \
  X(D3DRS_ALPHATESTENABLE, FALSE)           \
  X(D3DRS_SRCBLEND, D3DBLEND_ONE)           \
  X(D3DRS_DESTBLEND, D3DBLEND_ZERO)         \
  X(D3DRS_CULLMODE, D3DCULL_CCW)            \
  X(D3DRS_ZFUNC, D3DCMP_LESSEQUAL)          \
  X(D3DRS_ALPHAREF, 0)                      \
  X(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS)         \
  X(D3DRS_ALPHABLENDENABLE, FALSE)          \
  X(D3DRS_SCISSORTESTENABLE, FALSE)         \
  X(D3DRS_COLORWRITEENABLE, 0xF)            \
  X(D3DRS_BLENDOP, D3DBLENDOP_ADD)

// Where position and colour sit in a vertex of stream 0.
struct SD3D9VertexLayout {
  INT iPositionOffset = -1;
  INT iPositionComponents = 3;
  INT iColorOffset = -1;  // a D3DCOLOR, or -1 for white
  bool operator==(const SD3D9VertexLayout&) const = default;
};

// Everything a draw depends on. The device writes it and marks what changed; the back end applies the changed
// groups at the next draw or clear.
enum : UINT {
  D3D9_DIRTY_TRANSFORM = 1u << 0,
  D3D9_DIRTY_VIEWPORT = 1u << 1,
  D3D9_DIRTY_RENDER_STATE = 1u << 2,
  D3D9_DIRTY_SCISSOR = 1u << 3,
  D3D9_DIRTY_STREAM = 1u << 4,
  D3D9_DIRTY_INDICES = 1u << 5,
  D3D9_DIRTY_ALL = 0x3Fu,
};

struct SD3D9State {
  D3DMATRIX world;
  D3DMATRIX view;
  D3DMATRIX projection;
  std::array<D3DMATRIX, 8> textureTransforms;
  D3DVIEWPORT9 viewport;
  RECT scissor;
  std::array<DWORD, gc_uiD3D9_RENDER_STATE_SLOTS> renderStates;
  bool bDepthBound = true;
  UINT uiVertexBuffer = 0;  // back-end handle, 0 for none
  UINT uiStreamOffset = 0;
  UINT uiStride = 0;
  SD3D9VertexLayout layout;
  bool bHasLayout = false;
  UINT uiIndexBuffer = 0;
  bool bIndex32 = false;
};

// Turns the device's work into GPU work. Called only by the thread that holds the device's context.
class CD3D9Backend {
 public:
  virtual ~CD3D9Backend() = default;
  // Makes the context on the window and the back buffer of w x h; the context is then current on the caller.
  virtual bool createContext(SDL_Window* pWindow, UINT uiWidth, UINT uiHeight, bool bVsync, std::string* pError) = 0;
  virtual void destroyContext() = 0;
  virtual void makeCurrent() = 0;
  virtual void releaseCurrent() = 0;
  virtual void resizeBackBuffer(UINT uiWidth, UINT uiHeight) = 0;
  virtual UINT createBuffer(UINT uiSize, bool bIndex, bool bDynamic) = 0;
  virtual void uploadBuffer(UINT uiHandle, bool bIndex, UINT uiOffset, const void* pData, UINT uiSize,
                            bool bWhole) = 0;
  virtual void deleteBuffer(UINT uiHandle) = 0;
  virtual void clear(const SD3D9State& state, UINT uiDirty, DWORD dwFlags, D3DCOLOR color, float fZ,
                     DWORD dwStencil) = 0;
  virtual void draw(const SD3D9State& state, UINT uiDirty, D3DPRIMITIVETYPE eType, UINT uiFirst, UINT uiCount,
                    bool bIndexed, INT iBaseVertex) = 0;
  virtual void present(bool bCaptureWindow) = 0;
  virtual std::uintptr_t insertFence() = 0;
  virtual bool fencePassed(std::uintptr_t uiFence, bool bFlush) = 0;
  virtual void deleteFence(std::uintptr_t uiFence) = 0;
  virtual std::vector<DWORD> readBackBuffer(UINT* pWidth, UINT* pHeight) = 0;
  virtual std::vector<DWORD> capturedWindow(UINT* pWidth, UINT* pHeight) = 0;
  virtual UINT errorCount() = 0;
  virtual std::vector<std::string> log() = 0;
  virtual void clearLog() = 0;
};

CD3D9Backend* D3D9CreateGLBackend(bool bStateCache);
CD3D9Backend* D3D9CreateRecordingBackend();

// The faults in force (the environment's, or the test's).
const SD3D9Faults& D3D9CurrentFaults();
bool D3D9RecordingBackendChosen();
bool D3D9StateCacheOff();

class CD3D9Device;

// Every object the device hands out: reference counted, registered with its device until destroyed.
class CD3D9ObjectBase {
 public:
  CD3D9ObjectBase(CD3D9Device* pDevice, D3DPOOL ePool, bool bImplicit);
  virtual ~CD3D9ObjectBase();
  ULONG addRef() { return ++m_uiRefs; }
  ULONG release();
  // Frees what the back end holds for the object (the device's context held). Called once.
  virtual void freeBackend() {}
  // The device went away first: the object stays valid to release but no longer reaches the GPU.
  void orphan() { mp_pDevice = nullptr; }
  CD3D9Device* device() const { return mp_pDevice; }
  D3DPOOL pool() const { return m_ePool; }
  ULONG refs() const { return m_uiRefs; }
  bool implicit() const { return m_bImplicit; }

 protected:
  CD3D9Device* mp_pDevice;
  D3DPOOL m_ePool;
  ULONG m_uiRefs = 1;
  bool m_bImplicit;
};

class CD3D9Device final : public IDirect3DDevice9 {
 public:
  CD3D9Device(CD3D9Backend* pBackend, const D3DPRESENT_PARAMETERS& params, SDL_Window* pWindow, UINT uiRefresh);
  ~CD3D9Device();
  // Makes the context; false with the reason when it cannot be made.
  bool start(std::string* pError);

  HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG AddRef() override;
  ULONG Release() override;

  HRESULT TestCooperativeLevel() override;
  HRESULT Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) override;
  HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                  const void* pDirtyRegion) override;
  HRESULT GetDeviceCaps(D3DCAPS9* pCaps) override;
  HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool, IDirect3DVertexBuffer9** ppVertexBuffer,
                             HANDLE* pSharedHandle) override;
  HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                            IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) override;
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                  IDirect3DVertexDeclaration9** ppDecl) override;
  HRESULT CreateQuery(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery) override;
  HRESULT SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) override;
  HRESULT GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) override;
  HRESULT SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) override;
  HRESULT GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z, DWORD Stencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) override;
  HRESULT SetViewport(const D3DVIEWPORT9* pViewport) override;
  HRESULT GetViewport(D3DVIEWPORT9* pViewport) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) override;
  HRESULT SetScissorRect(const RECT* pRect) override;
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override;
  HRESULT SetFVF(DWORD FVF) override;
  HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                          UINT Stride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer9* pIndexData) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                               UINT NumVertices, UINT startIndex, UINT primCount) override;

  // Takes the context for the calling thread (waiting while another thread holds it).
  void acquire();
  // The calling thread gives back whatever device context it holds (the Win32 blocking-call hook).
  static void releaseHeldContext();

  void registerObject(CD3D9ObjectBase* pObject);
  void unregisterObject(CD3D9ObjectBase* pObject);
  CD3D9Backend* backend() { return mp_pBackend; }
  bool isLost() const { return m_eLoss != ELoss::Ok; }

  // Test interface.
  void loseNow() { m_bLoseRequested = true; }
  UINT liveDefaultPoolResources();
  UINT presentCount() const { return m_uiPresents; }
  void setCaptureWindow(bool bCapture) { m_bCaptureWindow = bCapture; }

 private:
  enum class ELoss { Ok, Lost, NotReset };
  void setDefaultState();
  void markDirty(UINT uiBits) { m_uiDirty |= uiBits; }
  UINT takeDirty();
  void paceToRefresh();

  CD3D9Backend* mp_pBackend;
  D3DPRESENT_PARAMETERS m_params;
  SDL_Window* mp_pWindow;
  UINT m_uiRefreshHz;
  ULONG m_uiRefs = 1;
  std::mutex m_contextMutex;
  std::set<CD3D9ObjectBase*> m_objects;
  std::mutex m_objectsMutex;
  SD3D9State m_state{};
  UINT m_uiDirty = D3D9_DIRTY_ALL;
  class CD3D9Surface* mp_pBackBuffer = nullptr;
  class CD3D9Surface* mp_pDepthSurface = nullptr;
  ELoss m_eLoss = ELoss::Ok;
  bool m_bLoseRequested = false;
  UINT m_uiLostPollsLeft = 0;
  UINT m_uiResetFailuresLeft = 0;
  UINT m_uiPresents = 0;
  bool m_bInScene = false;
  bool m_bCaptureWindow = false;
  std::chrono::steady_clock::time_point m_lastPresent{};
};
