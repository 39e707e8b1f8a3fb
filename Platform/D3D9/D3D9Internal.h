// Private to Platform/D3D9: the device's state, the back-end interface that turns it into GPU work (OpenGL, or a
// recorder for tests), and the resource objects.
#pragma once

#include <SDL.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Platform/D3D9/D3D9.h"

inline constexpr UINT gc_uiD3D9_RENDER_STATE_SLOTS = 256;
inline constexpr UINT gc_uiD3D9_TEXTURE_UNITS = 16;
inline constexpr UINT gc_uiD3D9_SAMPLER_STATE_SLOTS = D3DSAMP_MAXANISOTROPY + 1;

// Sampler states with their defaults after device creation and Reset.
#define D3D9_SAMPLER_STATE_DEFAULTS(X)    \
  X(D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP)   \
  X(D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP)   \
  X(D3DSAMP_ADDRESSW, D3DTADDRESS_WRAP)   \
  X(D3DSAMP_BORDERCOLOR, 0)               \
  X(D3DSAMP_MAGFILTER, D3DTEXF_POINT)     \
  X(D3DSAMP_MINFILTER, D3DTEXF_POINT)     \
  X(D3DSAMP_MIPFILTER, D3DTEXF_NONE)      \
  X(D3DSAMP_MIPMAPLODBIAS, 0)             \
  X(D3DSAMP_MAXMIPLEVEL, 0)               \
  X(D3DSAMP_MAXANISOTROPY, 1)

// Texture formats: bytes per texel, depth or not, and (read only by the OpenGL back end) the internal format,
// pixel format and type whose memory layout is the Direct3D format's. One list: the device's checks and the back
// end's translation follow it.
#define D3D9_TEXTURE_FORMATS(X)                                                                        \
  X(D3DFMT_A8R8G8B8, 4, false, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV)                          \
  X(D3DFMT_X8R8G8B8, 4, false, GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV)                           \
  X(D3DFMT_R5G6B5, 2, false, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5)                                 \
  X(D3DFMT_A2R10G10B10, 4, false, GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV)                \
  X(D3DFMT_R32F, 4, false, GL_R32F, GL_RED, GL_FLOAT)                                                    \
  X(D3DFMT_D16, 2, true, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT)                    \
  X(D3DFMT_D24X8, 4, true, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8)                  \
  X(D3DFMT_D24S8, 4, true, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8)                  \
  X(D3DFMT_D32, 4, true, GL_DEPTH_COMPONENT32, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT)

struct SD3D9TextureFormat {
  D3DFORMAT eFormat;
  UINT uiBytesPerTexel;
  bool bDepth;
};
// The format's entry, or null for a format textures cannot have.
const SD3D9TextureFormat* D3D9FindTextureFormat(D3DFORMAT eFormat);
// Levels of a full chain down to 1 x 1.
UINT D3D9FullMipChain(UINT uiWidth, UINT uiHeight);

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

// Where position, colour, normal and texture coordinates sit in a vertex of stream 0 (-1: absent).
struct SD3D9VertexLayout {
  INT iPositionOffset = -1;
  INT iPositionComponents = 3;
  INT iColorOffset = -1;  // a D3DCOLOR, or -1 for white
  INT iNormalOffset = -1;  // three floats, or -1 for (0, 0, 0)
  INT iTexCoordOffset = -1;
  INT iTexCoordComponents = 2;
  bool operator==(const SD3D9VertexLayout&) const = default;
};

// Vertex inputs of every program, by location (the effect programs declare them under these names).
enum : UINT {
  D3D9_ATTRIBUTE_POSITION = 0,
  D3D9_ATTRIBUTE_COLOR = 1,
  D3D9_ATTRIBUTE_NORMAL = 2,
  D3D9_ATTRIBUTE_TEXCOORD0 = 3,
};

// What is bound to one texture unit: the back end's texture handle (0 for none).
struct SD3D9TextureBinding {
  UINT uiHandle = 0;
  bool bCube = false;
  bool operator==(const SD3D9TextureBinding&) const = default;
};

// What one render-target slot or the depth slot holds: nothing, the back buffer's own colour or depth storage, or a
// level of a texture (render-target surfaces of their own are one-level textures of the back end).
struct SD3D9Attachment {
  enum EKind : UINT { NONE, BACK_BUFFER, TEXTURE };
  EKind eKind = NONE;
  UINT uiHandle = 0;  // the texture's back-end handle
  UINT uiLevel = 0;
  bool operator==(const SD3D9Attachment&) const = default;
};

inline constexpr UINT gc_uiD3D9_RENDER_TARGETS = 4;

// The targets draws and clears write: colour slots 0-3 and the depth slot. One framebuffer object per distinct
// combination.
struct SD3D9Targets {
  std::array<SD3D9Attachment, gc_uiD3D9_RENDER_TARGETS> colour{};
  SD3D9Attachment depth;
  bool operator==(const SD3D9Targets&) const = default;
  // The back buffer with its own depth storage (or none): the back end's own framebuffer.
  bool isBackBuffer() const {
    return colour[0].eKind == SD3D9Attachment::BACK_BUFFER && colour[1].eKind == SD3D9Attachment::NONE &&
           colour[2].eKind == SD3D9Attachment::NONE && colour[3].eKind == SD3D9Attachment::NONE &&
           depth.eKind != SD3D9Attachment::TEXTURE;
  }
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
  D3D9_DIRTY_TEXTURES = 1u << 6,
  D3D9_DIRTY_SAMPLERS = 1u << 7,
  D3D9_DIRTY_PROGRAM = 1u << 8,
  D3D9_DIRTY_TARGETS = 1u << 9,
  D3D9_DIRTY_ALL = 0x3FFu,
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
  std::array<SD3D9TextureBinding, gc_uiD3D9_TEXTURE_UNITS> textures{};
  std::array<std::array<DWORD, gc_uiD3D9_SAMPLER_STATE_SLOTS>, gc_uiD3D9_TEXTURE_UNITS> samplerStates{};
  UINT uiProgram = 0;  // back-end handle of an effect pass's program; 0 for the fixed-function subset
  SD3D9Targets targets;
};

struct SD3D9TextureDesc {
  UINT uiWidth = 0;
  UINT uiHeight = 0;
  UINT uiLevels = 1;
  D3DFORMAT eFormat = D3DFMT_A8R8G8B8;
  bool bCube = false;
};

// One uniform value for a program: iLocation from uniformLocation (-1 is skipped), uiCount array elements.
struct SD3D9Uniform {
  enum EKind : UINT { FLOAT1, FLOAT2, FLOAT3, FLOAT4, MATRIX4, INT1 };
  INT iLocation = -1;
  EKind eKind = FLOAT1;
  UINT uiCount = 1;
  const void* pData = nullptr;  // floats (matrices row-major as Direct3D keeps them) or ints
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
  // Shows the back buffer in the window: over the whole client area, or into pDest (client pixels) with the rest
  // of the client area black. The back buffer's pixels at the probe points (row 0 the top) are appended to
  // pProbed first.
  virtual void present(bool bCaptureWindow, const RECT* pDest, const std::vector<POINT>& probes,
                       std::vector<DWORD>* pProbed) = 0;
  // Textures: level images are whole levels with tight rows in the format's layout, top row first.
  virtual UINT createTexture(const SD3D9TextureDesc& desc) = 0;
  virtual void uploadTexture(UINT uiHandle, UINT uiFace, UINT uiLevel, const void* pBits) = 0;
  virtual void readTexture(UINT uiHandle, UINT uiFace, UINT uiLevel, void* pBits) = 0;
  // Remakes every level below 0 from level 0.
  virtual void generateMipmaps(UINT uiHandle) = 0;
  virtual void deleteTexture(UINT uiHandle) = 0;
  // Programs of effect passes (complete GLSL texts); 0 with the reason when they do not compile or link.
  virtual UINT createProgram(const std::string& vertex, const std::string& fragment, std::string* pError) = 0;
  virtual INT uniformLocation(UINT uiProgram, const char* pName) = 0;
  virtual void setUniforms(UINT uiProgram, const SD3D9Uniform* pUniforms, UINT uiCount) = 0;
  virtual void deleteProgram(UINT uiProgram) = 0;
  virtual std::uintptr_t insertFence() = 0;
  virtual bool fencePassed(std::uintptr_t uiFence, bool bFlush) = 0;
  virtual void deleteFence(std::uintptr_t uiFence) = 0;
  virtual std::vector<DWORD> readBackBuffer(UINT* pWidth, UINT* pHeight) = 0;
  // Framebuffer objects held for render-target combinations other than the back buffer's.
  virtual UINT framebufferCount() = 0;
  // The back buffer is the window's own framebuffer (no copy at Present).
  virtual bool backBufferIsWindow() = 0;
  virtual std::vector<DWORD> capturedWindow(UINT* pWidth, UINT* pHeight) = 0;
  virtual UINT errorCount() = 0;
  virtual std::vector<std::string> log() = 0;
  virtual void clearLog() = 0;
};

// How long a device call waits for the context before it reports the holder, unless a test sets another bound.
inline constexpr DWORD gc_dwD3D9_CONTEXT_WAIT_REPORT_MS = 5000;

// The line a device call reports after waiting dwWaitedMs for the context held by another thread: both threads'
// ids, and the holder's host id and name (or that it has ended).
std::string D3D9ContextWaitText(DWORD dwWaiter, DWORD dwWaitedMs, DWORD dwHolder, long lHolderHostId);

CD3D9Backend* D3D9CreateGLBackend(bool bStateCache);
CD3D9Backend* D3D9CreateRecordingBackend();

// The faults in force (the environment's, or the test's).
const SD3D9Faults& D3D9CurrentFaults();
bool D3D9RecordingBackendChosen();
bool D3D9StateCacheOff();

class CD3D9Device;

// What every surface tells the device when it is bound as a render target or as the depth surface.
class CD3D9SurfaceBase {
 public:
  virtual ~CD3D9SurfaceBase() = default;
  virtual SD3D9Attachment attachment() const = 0;
  virtual D3DSURFACE_DESC surfaceDesc() const = 0;
  virtual CD3D9Device* owner() const = 0;
  // The device's own back buffer and automatic depth surface: bound without a reference of the device's.
  virtual bool isDeviceSurface() const { return false; }
};

// The surface behind an interface pointer, or null for none or another object.
CD3D9SurfaceBase* D3D9SurfaceOf(IDirect3DSurface9* pSurface);

// Every object the device hands out: reference counted (from any thread), registered with its device until
// destroyed.
class CD3D9ObjectBase {
 public:
  CD3D9ObjectBase(CD3D9Device* pDevice, D3DPOOL ePool, bool bImplicit);
  virtual ~CD3D9ObjectBase();
  ULONG addRef() { return ++m_uiRefs; }
  ULONG release();
  // Frees what the back end holds for the object (the device's context held). Called once.
  virtual void freeBackend() {}
  // Objects without anything in the back end (surfaces of texture levels, system-memory surfaces) are freed
  // without taking the device, so threads that do not draw may release them.
  virtual bool holdsBackendObject() const { return true; }
  // The device went away first: the object stays valid to release but no longer reaches the GPU.
  void orphan() { mp_pDevice = nullptr; }
  CD3D9Device* device() const { return mp_pDevice; }
  D3DPOOL pool() const { return m_ePool; }
  // Effects move between the default pool (holding device state) and out of it (after OnLostDevice).
  void setPool(D3DPOOL ePool) { m_ePool = ePool; }
  ULONG refs() const { return m_uiRefs.load(); }
  bool implicit() const { return m_bImplicit; }

 protected:
  CD3D9Device* mp_pDevice;
  D3DPOOL m_ePool;
  std::atomic<ULONG> m_uiRefs{1};
  bool m_bImplicit;
};

// The IUnknown and IDirect3DResource9 part every object type shares.
#define D3D9_OBJECT_COMMON(Interface)                                                  \
  HRESULT QueryInterface(REFIID, void** ppvObject) override {                          \
    if (ppvObject != nullptr) *ppvObject = nullptr;                                    \
    return E_NOINTERFACE;                                                              \
  }                                                                                    \
  ULONG AddRef() override { return addRef(); }                                         \
  ULONG Release() override { return release(); }                                       \
  HRESULT GetDevice(IDirect3DDevice9** ppDevice) override {                            \
    if (ppDevice == nullptr || mp_pDevice == nullptr) return D3DERR_INVALIDCALL;       \
    mp_pDevice->AddRef();                                                              \
    *ppDevice = mp_pDevice;                                                            \
    return D3D_OK;                                                                     \
  }

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
  HRESULT CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                             DWORD MultisampleQuality, BOOL Lockable, IDirect3DSurface9** ppSurface,
                             HANDLE* pSharedHandle) override;
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
  HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                        IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) override;
  HRESULT CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                            IDirect3DCubeTexture9** ppCubeTexture, HANDLE* pSharedHandle) override;
  HRESULT CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                      IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) override;
  HRESULT UpdateSurface(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                        IDirect3DSurface9* pDestinationSurface, const POINT* pDestPoint) override;
  HRESULT GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) override;
  HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) override;
  HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) override;
  HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) override;
  HRESULT GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) override;
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) override;
  HRESULT SetFVF(DWORD FVF) override;
  HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                          UINT Stride) override;
  HRESULT SetIndices(IDirect3DIndexBuffer9* pIndexData) override;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) override;
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                               UINT NumVertices, UINT startIndex, UINT primCount) override;

  // Takes the context for the calling thread (waiting while another thread holds it; a wait past the report
  // bound names the holder once and goes on waiting).
  void acquire();
  // The calling thread gives back whatever device context it holds (the Win32 blocking-call hook; also run when
  // a thread ends holding one).
  static void releaseHeldContext();

  // The program draws use from now on (an effect pass's; 0 for the fixed-function subset).
  void setProgram(UINT uiProgram);
  UINT program() const { return m_state.uiProgram; }

  // A texture has a queued UpdateSurface copy, or has carried one out (the count of textures waiting).
  void notePendingCopy() { ++m_uiPendingCopies; }
  void noteCopyDone() { --m_uiPendingCopies; }

  void registerObject(CD3D9ObjectBase* pObject);
  void unregisterObject(CD3D9ObjectBase* pObject);
  CD3D9Backend* backend() { return mp_pBackend; }
  bool isLost() const { return m_eLoss != ELoss::Ok; }

  // Test interface.
  void loseNow() { m_bLoseRequested = true; }
  UINT liveDefaultPoolResources();
  UINT presentCount() const { return m_uiPresents; }
  void setCaptureWindow(bool bCapture) { m_bCaptureWindow = bCapture; }
  void probeAtPresent(const std::vector<POINT>& points);
  std::vector<DWORD> takeProbes();

 private:
  enum class ELoss { Ok, Lost, NotReset };
  void setDefaultState();
  void markDirty(UINT uiBits) { m_uiDirty |= uiBits; }
  UINT takeDirty();
  void paceToRefresh();
  void unbindTextures();
  // Binds the back buffer and the automatic depth surface again, giving back every reference to other surfaces.
  void bindDeviceTargets();
  // Puts a surface into a render-target slot (0-3) or, with slot gc_uiD3D9_RENDER_TARGETS, the depth slot.
  void holdTarget(UINT uiSlot, IDirect3DSurface9* pSurface);
  // Carries out the queued copies into the textures bound to the stages (the context held).
  void applyPendingCopies();
  // The context's ownership, without making it current or not: lockContext waits while another thread holds it.
  void lockContext();
  void unlockContext();

  CD3D9Backend* mp_pBackend;
  D3DPRESENT_PARAMETERS m_params;
  SDL_Window* mp_pWindow;
  UINT m_uiRefreshHz;
  std::atomic<ULONG> m_uiRefs{1};
  // Who holds the context, guarded by m_contextMutex; m_contextFree is notified when it is given back.
  std::mutex m_contextMutex;
  std::condition_variable m_contextFree;
  bool m_bContextHeld = false;
  DWORD m_dwHolderId = 0;    // the Win32 stand-in's id of the holding thread
  long m_lHolderHostId = 0;  // the host's id of it, for finding it in a debugger
  std::set<CD3D9ObjectBase*> m_objects;
  std::mutex m_objectsMutex;
  SD3D9State m_state{};
  // The textures bound to the stages, each holding a reference.
  std::array<IDirect3DBaseTexture9*, gc_uiD3D9_TEXTURE_UNITS> m_apTextures{};
  UINT m_uiDirty = D3D9_DIRTY_ALL;
  std::atomic<UINT> m_uiPendingCopies{0};
  class CD3D9Surface* mp_pBackBuffer = nullptr;
  class CD3D9Surface* mp_pDepthSurface = nullptr;
  // Bound render targets 0-3, then the depth surface (a reference held unless it is one of the device's own).
  std::array<IDirect3DSurface9*, gc_uiD3D9_RENDER_TARGETS + 1> m_apTargets{};
  UINT m_uiTargetWidth = 0;  // size of render target 0
  UINT m_uiTargetHeight = 0;
  ELoss m_eLoss = ELoss::Ok;
  bool m_bLoseRequested = false;
  UINT m_uiLostPollsLeft = 0;
  UINT m_uiResetFailuresLeft = 0;
  UINT m_uiPresents = 0;
  bool m_bInScene = false;
  bool m_bCaptureWindow = false;
  // The points every Present reads and the pixels read so far (Present's thread appends, a test takes them).
  std::mutex m_probeMutex;
  std::vector<POINT> m_probes;
  std::vector<DWORD> m_probed;
  // The refresh the last presented frame is shown at (steady clock, nanoseconds); see D3D9PresentPace.h.
  std::int64_t m_iLastShownAt = 0;
};

// The textures' shared part: the back end's handle and what a stage binding needs.
class CD3D9TextureBase : public CD3D9ObjectBase {
 public:
  CD3D9TextureBase(CD3D9Device* pDevice, D3DPOOL ePool, const SD3D9TextureDesc& desc, DWORD dwUsage);
  ~CD3D9TextureBase() override;
  void freeBackend() override;
  UINT handle() const { return m_uiHandle; }
  bool isCube() const { return m_desc.bCube; }
  const SD3D9TextureDesc& desc() const { return m_desc; }
  DWORD usage() const { return m_dwUsage; }
  // The description of a level (D3DERR_INVALIDCALL past the last level).
  HRESULT levelDesc(UINT uiLevel, D3DSURFACE_DESC* pDesc) const;
  UINT levelWidth(UINT uiLevel) const { return m_desc.uiWidth >> uiLevel > 0 ? m_desc.uiWidth >> uiLevel : 1; }
  UINT levelHeight(UINT uiLevel) const { return m_desc.uiHeight >> uiLevel > 0 ? m_desc.uiHeight >> uiLevel : 1; }
  UINT levelBytes(UINT uiLevel) const;
  // Writes a whole level of one face (the D3DX loaders fill textures this way, whatever their pool).
  void upload(UINT uiFace, UINT uiLevel, const void* pBits);
  // Reads a whole level of one face; false for a depth format or a level past the last.
  bool read(UINT uiFace, UINT uiLevel, void* pBits);
  void generateMipmaps();
  // UpdateSurface's copy from a system-memory surface into a level, queued (any thread) and carried out by a thread
  // that holds the context. The queue holds one copy: a newer one replaces it.
  void queueCopy(class CD3D9PlainSurface* pSource, UINT uiLevel);
  void applyPendingCopy();
  bool hasPendingCopy() const { return m_bCopyPending.load(std::memory_order_acquire); }

 protected:
  void dropPendingCopy();

  SD3D9TextureDesc m_desc;
  DWORD m_dwUsage;
  UINT m_uiHandle = 0;
  std::mutex m_copyMutex;
  class CD3D9PlainSurface* mp_pCopySource = nullptr;  // holds a reference while queued
  UINT m_uiCopyLevel = 0;
  std::atomic<bool> m_bCopyPending{false};
};

// A plain surface in system memory: its bits, which LockRect hands out whole while holding the surface's lock, so
// a copy into a texture never reads a half-written image.
class CD3D9PlainSurface final : public IDirect3DSurface9, public CD3D9ObjectBase {
 public:
  CD3D9PlainSurface(CD3D9Device* pDevice, UINT uiWidth, UINT uiHeight, D3DFORMAT eFormat);
  D3D9_OBJECT_COMMON(IDirect3DSurface9)
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
  HRESULT GetDesc(D3DSURFACE_DESC* pDesc) override;
  HRESULT LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) override;
  HRESULT UnlockRect() override;
  bool holdsBackendObject() const override { return false; }
  UINT width() const { return m_uiWidth; }
  UINT height() const { return m_uiHeight; }
  D3DFORMAT format() const { return m_eFormat; }
  // Calls fn with the bits while no lock of the surface is open (waiting for an open one to close).
  template <typename Fn>
  void readBits(Fn fn) {
    std::lock_guard<std::mutex> lock(m_bitsMutex);
    fn(m_bits.data());
  }

 private:
  UINT m_uiWidth;
  UINT m_uiHeight;
  D3DFORMAT m_eFormat;
  std::vector<BYTE> m_bits;
  std::mutex m_bitsMutex;  // held from LockRect to UnlockRect
  std::atomic<bool> m_bLocked{false};
};

// The interface's texture behind an IDirect3DBaseTexture9 pointer, or null for none or another object.
CD3D9TextureBase* D3D9TextureOf(IDirect3DBaseTexture9* pTexture);
