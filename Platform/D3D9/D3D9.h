// The Direct3D 9 stand-in: the Direct3D object (display modes, format checks, capabilities, device creation) and
// the device with the resources the engine makes (surfaces, vertex and index buffers, vertex declarations,
// event queries), over OpenGL 3.3 core through SDL2.
//
// Conventions kept from Direct3D 9 so that engine code stays as designed:
// - Row vectors: a vertex is transformed as v x WORLD x VIEW x PROJECTION with the matrices as given to
//   SetTransform. Clip-space depth runs 0 (near) to 1 (far).
// - The back buffer is an off-screen image of the presentation size whose row 0 is the top row; Present blits it
//   to the window, scaled to the client area, or to the destination rectangle it is given (client pixels), the
//   rest of the client area then black; a window of the back buffer's own size shows it whole. The window's size
//   is taken at the frame's first draw, clear or Present after a Present; a frame whose window the window system
//   has resized since (X11, asked at Present) shows black, and the next frame is made for the new size. Pixel
//   centres lie on integer coordinates (a pixel covers x - 0.5 to x + 0.5), as Direct3D 9 rasterises.
// - Vertex colours (D3DCOLOR, D3DDECLTYPE_D3DCOLOR) are 0xAARRGGBB words, BGRA in memory.
// - SetRenderTarget(0, s) sets the viewport to the whole of s; Reset returns every state to its default.
// - Draws without an effect use the fixed-function subset: position and an optional diffuse colour (white without
//   one), the three transforms, the render states of D3DRENDERSTATETYPE. Draws inside an effect's pass use the
//   pass's programs, the bound textures and the sampler states (D3DX9.h).
//
// Threads: the device is one OpenGL context that moves between threads. A thread takes it on its first call into
// the device and gives it back when it signals, waits or sleeps through the Win32 stand-in (SetEvent,
// WaitForSingleObject, Sleep, SleepEx), when it has to wait in EnterCriticalSection, and when it ends, so two
// threads in lockstep share the device without further calls. Another thread calling in while one holds the
// context waits until it is given back, as a device created D3DCREATE_MULTITHREADED serialises its callers; a
// wait of more than 5 s writes one line to standard error naming the holding thread, and goes on waiting.
// AddRef and Release may be called from any thread.
//
// Device loss never happens on OpenGL by itself. The loss injector (D3D9TestSetFaults or the environment)
// makes Present report D3DERR_DEVICELOST; TestCooperativeLevel then reports D3DERR_DEVICELOST for a set number of
// calls and D3DERR_DEVICENOTRESET after them; Reset fails with D3DERR_INVALIDCALL while a default-pool resource or
// a reference to the back buffer or depth surface is held, and otherwise restores the device. While lost, draws
// and clears do nothing and succeed.
#pragma once

#include <SDL.h>

#include <functional>
#include <string>
#include <vector>

#include "Platform/D3D9/D3D9Types.h"

struct IDirect3DDevice9;

struct IDirect3DResource9 : public IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice9** ppDevice) = 0;
  virtual D3DRESOURCETYPE GetType() = 0;
};

struct IDirect3DSurface9 : public IDirect3DResource9 {
  virtual HRESULT GetDesc(D3DSURFACE_DESC* pDesc) = 0;
  // Only the levels of lockable textures (see IDirect3DTexture9::LockRect) and system-memory surfaces
  // (CreateOffscreenPlainSurface) can be locked; the device's own surfaces answer D3DERR_INVALIDCALL. A
  // system-memory surface locks whole (pRect null) and may be locked and unlocked on any thread.
  virtual HRESULT LockRect(D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) = 0;
  virtual HRESULT UnlockRect() = 0;
};

struct IDirect3DBaseTexture9 : public IDirect3DResource9 {
  virtual DWORD GetLevelCount() = 0;
};

// A 2D texture: level 0 is the full size, each further level half the one before (at least 1 texel). Texel rows
// run top row first, and texture coordinate (0, 0) is the top-left corner of the image.
struct IDirect3DTexture9 : public IDirect3DBaseTexture9 {
  virtual HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) = 0;
  // The level as a surface (a new reference; the surface keeps the texture alive).
  virtual HRESULT GetSurfaceLevel(UINT Level, IDirect3DSurface9** ppSurfaceLevel) = 0;
  // Lockable: textures outside the default pool, and dynamic ones in it; never render targets or depth formats.
  // Only the whole level (pRect null). Flags: 0, D3DLOCK_READONLY (not written back at UnlockRect) or
  // D3DLOCK_DISCARD (the contents handed out are undefined). The bits are written to the GPU at UnlockRect, on the
  // thread that unlocks.
  virtual HRESULT LockRect(UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) = 0;
  virtual HRESULT UnlockRect(UINT Level) = 0;
};

// A cube texture: six square faces of one edge length.
struct IDirect3DCubeTexture9 : public IDirect3DBaseTexture9 {
  virtual HRESULT GetLevelDesc(UINT Level, D3DSURFACE_DESC* pDesc) = 0;
};

struct IDirect3DVertexBuffer9 : public IDirect3DResource9 {
  // Flags 0 or D3DLOCK_DISCARD (the contents before the lock are then undefined) or D3DLOCK_NOOVERWRITE. Size 0
  // locks the whole buffer from the offset. The data is written to the GPU at Unlock, on the thread that unlocks.
  virtual HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* pDesc) = 0;
};

struct IDirect3DIndexBuffer9 : public IDirect3DResource9 {
  virtual HRESULT Lock(UINT OffsetToLock, UINT SizeToLock, void** ppbData, DWORD Flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* pDesc) = 0;
};

struct IDirect3DVertexDeclaration9 : public IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice9** ppDevice) = 0;
  // With pElement null, *pNumElements receives the count including the end marker.
  virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9* pElement, UINT* pNumElements) = 0;
};

struct IDirect3DQuery9 : public IUnknown {
  virtual HRESULT GetDevice(IDirect3DDevice9** ppDevice) = 0;
  virtual D3DQUERYTYPE GetType() = 0;
  virtual HRESULT Issue(DWORD dwIssueFlags) = 0;
  // S_OK once the GPU has passed the issued point, S_FALSE before.
  virtual HRESULT GetData(void* pData, DWORD dwSize, DWORD dwGetDataFlags) = 0;
};

struct IDirect3DDevice9 : public IUnknown {
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* pPresentationParameters) = 0;
  virtual HRESULT Present(const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
                          const void* pDirtyRegion) = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS9* pCaps) = 0;

  virtual HRESULT CreateVertexBuffer(UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
                                     IDirect3DVertexBuffer9** ppVertexBuffer, HANDLE* pSharedHandle) = 0;
  virtual HRESULT CreateIndexBuffer(UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                    IDirect3DIndexBuffer9** ppIndexBuffer, HANDLE* pSharedHandle) = 0;
  virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* pVertexElements,
                                          IDirect3DVertexDeclaration9** ppDecl) = 0;
  virtual HRESULT CreateQuery(D3DQUERYTYPE Type, IDirect3DQuery9** ppQuery) = 0;
  // Formats: A8R8G8B8, X8R8G8B8, R5G6B5, A2R10G10B10, R32F (sampled as (r, 1, 1, 1)), and the depth formats D16,
  // D24X8, D24S8, D32 (with D3DUSAGE_DEPTHSTENCIL). Levels 0 makes the full chain down to 1 x 1. Render targets,
  // depth-stencil textures and dynamic textures live in the default pool.
  virtual HRESULT CreateTexture(UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                IDirect3DTexture9** ppTexture, HANDLE* pSharedHandle) = 0;
  virtual HRESULT CreateCubeTexture(UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                    IDirect3DCubeTexture9** ppCubeTexture, HANDLE* pSharedHandle) = 0;
  // A plain surface in system memory (D3DPOOL_SYSTEMMEM only; formats as textures, no depth formats): the source of
  // UpdateSurface. It holds no GPU object, so it may be made, locked and released on any thread.
  virtual HRESULT CreateOffscreenPlainSurface(UINT Width, UINT Height, D3DFORMAT Format, D3DPOOL Pool,
                                              IDirect3DSurface9** ppSurface, HANDLE* pSharedHandle) = 0;
  // Copies a whole system-memory surface into a level of a default-pool texture of the same size and format (rects
  // null). The copy joins the device's queued work: it reaches the GPU on the thread that next draws with the
  // texture bound to a stage (or reads the texture back), not on the calling thread, which therefore need not hold
  // the device (a streaming thread hands frames over this way). Until then the source surface is read, not
  // copied: its contents at the time the copy is carried out are what arrive; a later UpdateSurface to the same
  // level replaces a copy not yet carried out.
  virtual HRESULT UpdateSurface(IDirect3DSurface9* pSourceSurface, const RECT* pSourceRect,
                                IDirect3DSurface9* pDestinationSurface, const POINT* pDestPoint) = 0;
  // The adapter's current display mode: the desktop's size and refresh rate, format D3DFMT_X8R8G8B8. Swap chain 0.
  virtual HRESULT GetDisplayMode(UINT iSwapChain, D3DDISPLAYMODE* pMode) = 0;

  // A render-target surface of its own: a colour format of CreateTexture's list, or MAKEFOURCC('N', 'U', 'L', 'L')
  // for a target without colour storage (draws then reach only the depth surface). No multisampling; never
  // lockable. Default pool.
  virtual HRESULT CreateRenderTarget(UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
                                     DWORD MultisampleQuality, BOOL Lockable, IDirect3DSurface9** ppSurface,
                                     HANDLE* pSharedHandle) = 0;

  // Render targets 0-3 (multiple render targets draw every fragment output k into slot k): the back buffer, a level
  // of a texture made with D3DUSAGE_RENDERTARGET or a surface of CreateRenderTarget; slot 0 is never empty. Setting
  // slot 0 sets the viewport and the scissor rectangle to the whole surface. The depth-stencil surface is the
  // automatic one, a level of a texture made with D3DUSAGE_DEPTHSTENCIL, or none. The device holds a reference to
  // what is bound until it is replaced, the device is Reset (which binds the back buffer and the automatic depth
  // surface again) or the device goes. Each Get adds a reference; an empty slot answers D3DERR_NOTFOUND.
  // Each distinct combination of targets is one framebuffer object of the back end, made at its first draw.
  virtual HRESULT SetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9* pRenderTarget) = 0;
  virtual HRESULT GetRenderTarget(DWORD RenderTargetIndex, IDirect3DSurface9** ppRenderTarget) = 0;
  virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* pNewZStencil) = 0;
  virtual HRESULT GetDepthStencilSurface(IDirect3DSurface9** ppZStencilSurface) = 0;

  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  virtual HRESULT Clear(DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
                        DWORD Stencil) = 0;

  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) = 0;
  virtual HRESULT SetViewport(const D3DVIEWPORT9* pViewport) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT9* pViewport) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE State, DWORD Value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE State, DWORD* pValue) = 0;
  virtual HRESULT SetScissorRect(const RECT* pRect) = 0;

  // Texture stages 0-15. The device holds a reference to each bound texture until it is replaced, the device is
  // Reset (which unbinds every stage) or the device goes. Textures and sampler states are read by effects; the
  // fixed-function subset draws untextured.
  virtual HRESULT SetTexture(DWORD Stage, IDirect3DBaseTexture9* pTexture) = 0;
  // A new reference, or null for an empty stage.
  virtual HRESULT GetTexture(DWORD Stage, IDirect3DBaseTexture9** ppTexture) = 0;
  // Addressing, border colour, filters and the maximum mip level (the level bias and anisotropy are kept but have
  // no effect here). Defaults: wrap, point filtering, no mip filtering.
  virtual HRESULT SetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD Value) = 0;
  virtual HRESULT GetSamplerState(DWORD Sampler, D3DSAMPLERSTATETYPE Type, DWORD* pValue) = 0;

  virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* pDecl) = 0;
  // D3DFVF_XYZ with any of D3DFVF_NORMAL, D3DFVF_DIFFUSE and D3DFVF_TEX1 (one pair of texture coordinates).
  virtual HRESULT SetFVF(DWORD FVF) = 0;
  virtual HRESULT SetStreamSource(UINT StreamNumber, IDirect3DVertexBuffer9* pStreamData, UINT OffsetInBytes,
                                  UINT Stride) = 0;
  virtual HRESULT SetIndices(IDirect3DIndexBuffer9* pIndexData) = 0;
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE PrimitiveType, INT BaseVertexIndex, UINT MinVertexIndex,
                                       UINT NumVertices, UINT startIndex, UINT primCount) = 0;
};

struct IDirect3D9 : public IUnknown {
  virtual UINT GetAdapterCount() = 0;
  // Display modes of the adapter per format: SDL's modes of the first display, 24- and 32-bit RGB modes under
  // D3DFMT_X8R8G8B8, 16-bit ones under D3DFMT_R5G6B5; other formats have none. A refresh rate SDL does not
  // know is reported as 60 Hz.
  virtual UINT GetAdapterModeCount(UINT Adapter, D3DFORMAT Format) = 0;
  virtual HRESULT EnumAdapterModes(UINT Adapter, D3DFORMAT Format, UINT Mode, D3DDISPLAYMODE* pMode) = 0;
  // Depth formats D16, D24X8, D24S8 and D32 are accepted as depth-stencil surfaces and textures; X8R8G8B8,
  // A8R8G8B8, R5G6B5, A2R10G10B10 and R32F as render targets, and MAKEFOURCC('N', 'U', 'L', 'L') as a render-target
  // surface.
  virtual HRESULT CheckDeviceFormat(UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
                                    D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) = 0;
  virtual HRESULT GetDeviceCaps(UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS9* pCaps) = 0;
  // The monitor of the adapter (one handle for the default adapter; null for any other).
  virtual HMONITOR GetAdapterMonitor(UINT Adapter) = 0;
  // Makes the OpenGL 3.3 core context on the window's SDL window (the window must have been made after this
  // object, which asks the Win32 stand-in for OpenGL windows) and the back buffer of the presentation size.
  virtual HRESULT CreateDevice(UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
                               D3DPRESENT_PARAMETERS* pPresentationParameters,
                               IDirect3DDevice9** ppReturnedDeviceInterface) = 0;
};

typedef IDirect3D9* LPDIRECT3D9;
typedef IDirect3DDevice9* LPDIRECT3DDEVICE9;
typedef IDirect3DSurface9* LPDIRECT3DSURFACE9;
typedef IDirect3DVertexBuffer9* LPDIRECT3DVERTEXBUFFER9;
typedef IDirect3DIndexBuffer9* LPDIRECT3DINDEXBUFFER9;
typedef IDirect3DVertexDeclaration9* LPDIRECT3DVERTEXDECLARATION9;
typedef IDirect3DQuery9* LPDIRECT3DQUERY9;
typedef IDirect3DBaseTexture9* LPDIRECT3DBASETEXTURE9;
typedef IDirect3DTexture9* LPDIRECT3DTEXTURE9;
typedef IDirect3DCubeTexture9* LPDIRECT3DCUBETEXTURE9;

// Null for a version other than D3D_SDK_VERSION or an injected failure. Asks the Win32 stand-in to make OpenGL
// windows from now on.
IDirect3D9* Direct3DCreate9(UINT SDKVersion);

// --- Test and fault-injection interface (not platform calls) ---
//
// The environment variable GRINDLOW_D3D9_FAULTS holds comma-separated faults read by Direct3DCreate9:
//   "create"            Direct3DCreate9 answers null
//   "createdevice"      CreateDevice fails with D3DERR_NOTAVAILABLE
//   "nodepth"           CheckDeviceFormat refuses every depth format
//   "noshader3"         capabilities report shader model 2
//   "norendertarget"    GetRenderTarget fails; "nodepthsurface": GetDepthStencilSurface fails
//   "lose=N"            every Nth Present reports D3DERR_DEVICELOST
//   "lostpolls=K"       TestCooperativeLevel reports D3DERR_DEVICELOST K times before D3DERR_DEVICENOTRESET
//   "resetfail=K"       the first K Resets after each loss fail (D3DERR_DEVICELOST)
//   "rtfail"            creating render-target and depth-stencil textures and surfaces fails
//                       (D3DERR_OUTOFVIDEOMEMORY)
//   "nofloatrt"         CheckDeviceFormat refuses R32F and A2R10G10B10 render targets
// GRINDLOW_D3D9_BACKEND=record selects the recording back end: no OpenGL at all, every device call that would
// reach the GPU appended to a log (D3D9TestLog), pixels read back as zero. GRINDLOW_D3D9_NOCACHE=1 applies every
// state at every draw (the state cache off, for debugging).
struct SD3D9Faults {
  bool bCreate = false;
  bool bCreateDevice = false;
  bool bNoDepth = false;
  bool bNoShader3 = false;
  bool bNoRenderTarget = false;
  bool bNoDepthSurface = false;
  UINT uiLoseEveryNthPresent = 0;
  UINT uiLostPolls = 0;
  UINT uiResetFailures = 0;
  bool bRenderTargetFails = false;
  bool bNoFloatTargets = false;
};
// Replaces the faults (the environment is not read again until D3D9TestReset).
void D3D9TestSetFaults(const SD3D9Faults& faults);
// Makes the device lost at once: the next Present reports D3DERR_DEVICELOST.
void D3D9TestLoseDevice(IDirect3DDevice9* pDevice);
// Chooses the back end of devices made from now on: true for the recording one.
void D3D9TestUseRecordingBackend(bool bRecording);
// Replaces the adapter's display modes (per format, in order); an empty call restores SDL's.
void D3D9TestSetAdapterModes(const std::vector<std::pair<D3DFORMAT, D3DDISPLAYMODE>>& modes);
// Forgets every injection and reads the environment again at the next Direct3DCreate9.
void D3D9TestReset();
// Device calls that wait more than dwMilliseconds for the context (INFINITE: never) report the holder through
// report, on the waiting thread and without stopping the wait, instead of to standard error after 5 s. Reset by
// D3D9TestReset.
void D3D9TestSetContextWaitReport(DWORD dwMilliseconds, std::function<void(const std::string&)> report);
// The calls the recording back end logged (empty for the OpenGL back end), and clearing it.
std::vector<std::string> D3D9TestLog(IDirect3DDevice9* pDevice);
void D3D9TestClearLog(IDirect3DDevice9* pDevice);
// The back buffer as 0xAARRGGBB words, row 0 the top row (what the next Present would show; after a Present and
// before the next drawing, what that Present showed). The first call makes every later Present keep its picture,
// since the window's own framebuffer, which is the back buffer when the sizes agree, is undefined after a swap.
std::vector<DWORD> D3D9TestReadBackBuffer(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight);
// Level uiLevel of a colour texture (a render target's too) as 0xAARRGGBB words, row 0 the top row, converted from
// its format (R32F: red = the value clamped to 0..1, green and blue 0); empty for a depth format or a bad level.
std::vector<DWORD> D3D9TestReadTexture(IDirect3DTexture9* pTexture, UINT uiLevel, UINT* pWidth, UINT* pHeight);
// Framebuffer objects the back end holds for render-target combinations (0 for the recording back end).
UINT D3D9TestFramebufferCount(IDirect3DDevice9* pDevice);
// Whether the back buffer is the window's own framebuffer (its size agrees with the window's), drawn without a
// copy at Present; otherwise it is copied into the window at every Present, stretched over the client area or into
// the rectangle Present names.
bool D3D9TestBackBufferIsWindow(IDirect3DDevice9* pDevice);
// The window as presented by the last Present after the first call (the client area, row 0 the top row): the
// first call starts the capture and answers what was captured so far.
std::vector<DWORD> D3D9TestReadWindow(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight);
// OpenGL errors seen since the device was made (each checked after every group of calls); 0 for none.
UINT D3D9TestGLErrorCount(IDirect3DDevice9* pDevice);
// Live resources of the default pool, references held to the device's own surfaces counted.
UINT D3D9TestLiveDefaultPoolResources(IDirect3DDevice9* pDevice);
// Presents that reached the window so far (a lost device's do not).
UINT D3D9TestPresentCount(IDirect3DDevice9* pDevice);
// From now on every Present that reaches the window reads the back buffer's pixels at the points (row 0 the top)
// before it shows them: a witness of every frame that reads a few pixels rather than the picture. An empty list
// stops it. A point off the back buffer reads 0, as every point does on the recording back end. D3D9TestTakeProbes
// answers the pixels read so far (0xAARRGGBB, Present after Present, each in the points' order) and forgets them.
void D3D9TestProbeAtPresent(IDirect3DDevice9* pDevice, const std::vector<POINT>& points);
std::vector<DWORD> D3D9TestTakeProbes(IDirect3DDevice9* pDevice);
