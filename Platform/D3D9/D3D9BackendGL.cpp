// The OpenGL 3.3 core back end: one context on the window, the back buffer the window's own framebuffer (drawn with
// y mirrored once more, so no copy is needed at Present) or, when the window's size differs from the back buffer's,
// a framebuffer object copied into the window at Present; render targets keep their top row as row 0. The
// fixed-function subset is one small program. States reach GL lazily, at the draw or clear
// that needs them, through tables indexed by the Direct3D enumerations; so do clears of a whole depth buffer, at the
// first draw that tests depth there.
#include <EGL/egl.h>
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "Platform/D3D9/D3D9GL.h"
#include "Platform/D3D9/D3D9Internal.h"
#include "Platform/Win32/Win32Window.h"

bool D3D9LoadGLFunctions(SD3D9GLFunctions* pGL, const char** ppMissing) {
#define D3D9_GL_LOAD(type, name)                                                   \
  pGL->name = reinterpret_cast<type>(SDL_GL_GetProcAddress("gl" #name));          \
  if (pGL->name == nullptr) {                                                      \
    *ppMissing = "gl" #name;                                                       \
    return false;                                                                  \
  }
  D3D9_GL_FUNCTIONS(D3D9_GL_LOAD)
#undef D3D9_GL_LOAD
  return true;
}

namespace {

// Translation tables indexed by the Direct3D enumerations (0 = not a valid value).
constexpr GLenum gc_aCompare[] = {0, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
constexpr GLenum gc_aBlend[] = {0,
                                GL_ZERO,
                                GL_ONE,
                                GL_SRC_COLOR,
                                GL_ONE_MINUS_SRC_COLOR,
                                GL_SRC_ALPHA,
                                GL_ONE_MINUS_SRC_ALPHA,
                                GL_DST_ALPHA,
                                GL_ONE_MINUS_DST_ALPHA,
                                GL_DST_COLOR,
                                GL_ONE_MINUS_DST_COLOR};
constexpr GLenum gc_aBlendOp[] = {0, GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT, GL_MIN, GL_MAX};
constexpr GLenum gc_aFill[] = {0, GL_POINT, GL_LINE, GL_FILL};
constexpr GLenum gc_aPrimitive[] = {0, GL_POINTS, GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
constexpr GLenum gc_aAddress[] = {0, GL_REPEAT, GL_MIRRORED_REPEAT, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_BORDER,
                                  GL_MIRRORED_REPEAT};
// Minification by [min filter][mip filter]; anisotropic filtering counts as linear.
constexpr GLenum gc_aMinFilter[2][3] = {{GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST_MIPMAP_LINEAR},
                                        {GL_LINEAR, GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_LINEAR}};
static_assert(sizeof(gc_aAddress) / sizeof(gc_aAddress[0]) == D3DTADDRESS_MIRRORONCE + 1);

struct SGLTextureFormat {
  D3DFORMAT eFormat;
  GLint iInternal;
  GLenum eFormatGL;
  GLenum eType;
};
constexpr SGLTextureFormat gc_aGLTextureFormats[] = {
#define D3D9_GL_FORMAT_ENTRY(format, bytes, depth, glInternal, glFormat, glType) {format, glInternal, glFormat, glType},
    D3D9_TEXTURE_FORMATS(D3D9_GL_FORMAT_ENTRY)
#undef D3D9_GL_FORMAT_ENTRY
};

const SGLTextureFormat& glFormatOf(D3DFORMAT eFormat) {
  for (const SGLTextureFormat& format : gc_aGLTextureFormats) {
    if (format.eFormat == eFormat) return format;
  }
  return gc_aGLTextureFormats[0];
}
static_assert(sizeof(gc_aCompare) / sizeof(gc_aCompare[0]) == D3DCMP_ALWAYS + 1);
static_assert(sizeof(gc_aBlend) / sizeof(gc_aBlend[0]) == D3DBLEND_INVDESTCOLOR + 1);
static_assert(sizeof(gc_aBlendOp) / sizeof(gc_aBlendOp[0]) == D3DBLENDOP_MAX + 1);
static_assert(sizeof(gc_aPrimitive) / sizeof(gc_aPrimitive[0]) == D3DPT_TRIANGLEFAN + 1);

template <size_t N>
GLenum lookUp(const GLenum (&table)[N], DWORD dwValue, GLenum eFallback) {
  return dwValue < N && table[dwValue] != 0 ? table[dwValue] : eFallback;
}

// Direct3D's clip space has y up and depth 0..1, and puts pixel centres on integer coordinates. Render targets keep
// the top row first, the window its bottom row. So y is mirrored for a render target and kept for the window
// (d3d_target.z), depth is widened to GL's -1..1 (glDepthRange then maps it back onto the viewport's MinZ..MaxZ) and
// positions move half a pixel right and down (d3d_target.xy).
constexpr const char* gc_pVERTEX_SHADER = R"(#version 330 core
layout(location = 0) in vec4 a_position;
layout(location = 1) in vec4 a_color;
uniform mat4 u_worldViewProjection;
uniform vec3 d3d_target;
out vec4 v_color;
void main() {
  vec4 p = u_worldViewProjection * a_position;
  p.z = p.z * 2.0 - p.w;
  p.y *= d3d_target.z;
  p.xy += d3d_target.xy * p.w;
  gl_Position = p;
  v_color = a_color;
}
)";

constexpr const char* gc_pFRAGMENT_SHADER = R"(#version 330 core
in vec4 v_color;
out vec4 o_color;
uniform int d3d_alphaFunc;
uniform float d3d_alphaRef;
void main() {
  float a = v_color.a;
  bool pass = true;
  if (d3d_alphaFunc == 1) pass = false;
  else if (d3d_alphaFunc == 2) pass = a < d3d_alphaRef;
  else if (d3d_alphaFunc == 3) pass = a == d3d_alphaRef;
  else if (d3d_alphaFunc == 4) pass = a <= d3d_alphaRef;
  else if (d3d_alphaFunc == 5) pass = a > d3d_alphaRef;
  else if (d3d_alphaFunc == 6) pass = a != d3d_alphaRef;
  else if (d3d_alphaFunc == 7) pass = a >= d3d_alphaRef;
  if (!pass) discard;
  o_color = v_color;
}
)";

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX out{};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + a.m[r][3] * b.m[3][c];
    }
  }
  return out;
}

// A linked program and the stand-in's own uniforms in it, with the values they hold (to skip repeated uploads).
struct SGLProgram {
  GLuint id = 0;
  GLint iWvpLocation = -1;  // the fixed-function program only
  GLint iTargetLocation = -1;
  GLint iRowFromTopLocation = -1;
  GLint iAlphaFuncLocation = -1;
  GLint iAlphaRefLocation = -1;
  float afTarget[3] = {-1.0f, -1.0f, 0.0f};
  float afRowFromTop[2] = {-1.0f, 0.0f};
  GLint iAlphaFunc = -1;
  float fAlphaRef = -1.0f;
};

struct SGLTexture {
  GLuint id = 0;
  GLenum eTarget = GL_TEXTURE_2D;
  SD3D9TextureDesc desc;
};

// A framebuffer object made for one combination of targets.
struct SFramebuffer {
  GLuint id = 0;
  SD3D9Targets targets;
  bool holds(UINT uiTexture) const {
    for (const SD3D9Attachment& colour : targets.colour) {
      if (colour.eKind == SD3D9Attachment::TEXTURE && colour.uiHandle == uiTexture) return true;
    }
    return targets.depth.eKind == SD3D9Attachment::TEXTURE && targets.depth.uiHandle == uiTexture;
  }
};

// One depth buffer: a texture's level, or the device's own (the window's or the stand-in's renderbuffer).
struct SDepthStorage {
  SD3D9Attachment::EKind eKind = SD3D9Attachment::NONE;
  UINT uiHandle = 0;
  UINT uiLevel = 0;
  bool bWindow = false;
  bool operator==(const SDepthStorage&) const = default;
};

// A clear of a whole depth buffer not carried out yet (GL's buffer bits and values).
struct SPendingDepthClear {
  SDepthStorage depth;
  GLbitfield uiMask = 0;
  float fZ = 1.0f;
  GLint iStencil = 0;
};

class CD3D9BackendGL final : public CD3D9Backend {
 public:
  explicit CD3D9BackendGL(bool bStateCache) : m_bStateCache(bStateCache) {}

  bool createContext(SDL_Window* pWindow, UINT uiWidth, UINT uiHeight, bool bVsync, std::string* pError) override {
    mp_pWindow = pWindow;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    m_context = SDL_GL_CreateContext(pWindow);
    if (m_context == nullptr) {
      *pError = std::string("no OpenGL 3.3 core context: ") + SDL_GetError();
      return false;
    }
    Win32StopPoint(WIN32_STOP_DEVICE_MADE);
    int iWidth = 0;
    int iHeight = 0;
    m_bWindowSizeAskable = Win32WindowSizeNow(pWindow, &iWidth, &iHeight);
    const char* pMissing = nullptr;
    if (!D3D9LoadGLFunctions(&m_gl, &pMissing)) {
      *pError = std::string("OpenGL entry point missing: ") + pMissing;
      destroyContext();
      return false;
    }
    if (SDL_GL_SetSwapInterval(bVsync ? 1 : 0) != 0) {
      // Not fatal: the device paces Present itself when vsync was asked for.
      std::fprintf(stderr, "D3D9 stand-in: swap interval %d refused (%s)\n", bVsync ? 1 : 0, SDL_GetError());
    }
    m_fixed.id = link(gc_pVERTEX_SHADER, gc_pFRAGMENT_SHADER, pError);
    if (m_fixed.id == 0) {
      *pError = "fixed-function program: " + *pError;
      destroyContext();
      return false;
    }
    findStandInUniforms(&m_fixed);
    m_fixed.iWvpLocation = m_gl.GetUniformLocation(m_fixed.id, "u_worldViewProjection");
    m_gl.UseProgram(m_fixed.id);
    m_currentProgram = m_fixed.id;
    m_gl.GenVertexArrays(1, &m_vao);
    m_gl.BindVertexArray(m_vao);
    m_gl.GenFramebuffers(1, &m_fbo);
    m_gl.GenRenderbuffers(1, &m_colorRb);
    m_gl.GenRenderbuffers(1, &m_depthRb);
    m_gl.GenSamplers(static_cast<GLsizei>(gc_uiD3D9_TEXTURE_UNITS), m_aSamplers);
    for (UINT i = 0; i < gc_uiD3D9_TEXTURE_UNITS; ++i) {
      m_gl.BindSampler(i, m_aSamplers[i]);
    }
    m_gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const char* pDriver = SDL_GetCurrentVideoDriver();
    m_bFixedSurface = pDriver != nullptr && std::strcmp(pDriver, "offscreen") == 0;
    if (m_bFixedSurface) findSurfaceSize();
    // The window's framebuffer can be the back buffer only with the depth and stencil bits the device's own depth
    // surface promises.
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    m_bWindowHasDepth = windowBits(GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE) >= 24 &&
                        windowBits(GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE) >= 8;
    check("window framebuffer");
    resizeBackBuffer(uiWidth, uiHeight);
    m_gl.FrontFace(GL_CCW);
    check("context set-up");
    return true;
  }

  void destroyContext() override {
    if (m_context == nullptr) return;
    if (m_gl.DeleteProgram != nullptr && m_fixed.id != 0) {
      m_gl.DeleteProgram(m_fixed.id);
      m_gl.DeleteVertexArrays(1, &m_vao);
      m_gl.DeleteFramebuffers(1, &m_fbo);
      m_gl.DeleteRenderbuffers(1, &m_colorRb);
      m_gl.DeleteRenderbuffers(1, &m_depthRb);
      m_gl.DeleteSamplers(static_cast<GLsizei>(gc_uiD3D9_TEXTURE_UNITS), m_aSamplers);
      for (SFramebuffer& framebuffer : m_framebuffers) {
        m_gl.DeleteFramebuffers(1, &framebuffer.id);
      }
      m_framebuffers.clear();
      m_pendingDepthClears.clear();
      for (auto& [handle, buffer] : m_buffers) {
        m_gl.DeleteBuffers(1, &buffer);
      }
      m_buffers.clear();
      for (auto& [handle, texture] : m_textures) {
        m_gl.DeleteTextures(1, &texture.id);
      }
      m_textures.clear();
      for (auto& [handle, program] : m_programs) {
        m_gl.DeleteProgram(program.id);
      }
      m_programs.clear();
    }
    SDL_GL_MakeCurrent(mp_pWindow, nullptr);
    SDL_GL_DeleteContext(m_context);
    m_context = nullptr;
  }

  void makeCurrent() override { SDL_GL_MakeCurrent(mp_pWindow, m_context); }
  void releaseCurrent() override { SDL_GL_MakeCurrent(mp_pWindow, nullptr); }

  void resizeBackBuffer(UINT uiWidth, UINT uiHeight) override {
    // The device's depth buffer is made again: what was pending on it goes with the old one.
    std::erase_if(m_pendingDepthClears,
                  [](const SPendingDepthClear& pending) { return pending.depth.eKind != SD3D9Attachment::TEXTURE; });
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
    m_gl.BindRenderbuffer(GL_RENDERBUFFER, m_colorRb);
    m_gl.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(uiWidth), static_cast<GLsizei>(uiHeight));
    m_gl.BindRenderbuffer(GL_RENDERBUFFER, m_depthRb);
    m_gl.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, static_cast<GLsizei>(uiWidth),
                             static_cast<GLsizei>(uiHeight));
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    m_boundFramebuffer = m_fbo;
    m_gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colorRb);
    m_gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_depthRb);
    if (m_gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      std::fprintf(stderr, "D3D9 stand-in: back buffer %ux%u incomplete\n", uiWidth, uiHeight);
      ++m_uiErrors;
    }
    m_bWindowSizeRead = false;
    m_bDrawnSincePresent = false;
    m_bCapturedLastPresent = false;
    m_bApplied = false;
    check("back buffer");
  }

  UINT createBuffer(UINT uiSize, bool bIndex, bool bDynamic) override {
    GLuint buffer = 0;
    m_gl.GenBuffers(1, &buffer);
    const GLenum eTarget = bIndex ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER;
    if (bIndex) m_gl.BindVertexArray(m_vao);
    m_gl.BindBuffer(eTarget, buffer);
    m_gl.BufferData(eTarget, uiSize, nullptr, bDynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    m_bufferUsage[buffer] = bDynamic;
    const UINT uiHandle = ++m_uiNextHandle;
    m_buffers[uiHandle] = buffer;
    m_boundStream = ~0u;
    m_boundIndices = ~0u;
    check("buffer creation");
    return uiHandle;
  }

  void uploadBuffer(UINT uiHandle, bool bIndex, UINT uiOffset, const void* pData, UINT uiSize, bool bWhole) override {
    const GLuint buffer = m_buffers.at(uiHandle);
    const GLenum eTarget = bIndex ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER;
    if (bIndex) m_gl.BindVertexArray(m_vao);
    m_gl.BindBuffer(eTarget, buffer);
    if (bWhole) {
      // A discarding lock: give the driver a fresh store instead of waiting for draws that read the old one.
      m_gl.BufferData(eTarget, uiSize, pData, m_bufferUsage[buffer] ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    } else {
      m_gl.BufferSubData(eTarget, uiOffset, uiSize, pData);
    }
    m_boundStream = ~0u;
    m_boundIndices = ~0u;
    check("buffer upload");
  }

  void deleteBuffer(UINT uiHandle) override {
    auto it = m_buffers.find(uiHandle);
    if (it == m_buffers.end()) return;
    m_gl.DeleteBuffers(1, &it->second);
    m_bufferUsage.erase(it->second);
    m_buffers.erase(it);
    m_boundStream = ~0u;
    m_boundIndices = ~0u;
    check("buffer deletion");
  }

  UINT createTexture(const SD3D9TextureDesc& desc) override {
    SGLTexture texture;
    texture.desc = desc;
    texture.eTarget = desc.bCube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    m_gl.GenTextures(1, &texture.id);
    bindForTransfer(texture);
    m_gl.TexParameteri(texture.eTarget, GL_TEXTURE_BASE_LEVEL, 0);
    m_gl.TexParameteri(texture.eTarget, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(desc.uiLevels) - 1);
    if (desc.eFormat == D3DFMT_R32F) {
      // Direct3D samples the channels a one-channel format lacks as 1.
      m_gl.TexParameteri(texture.eTarget, GL_TEXTURE_SWIZZLE_G, GL_ONE);
      m_gl.TexParameteri(texture.eTarget, GL_TEXTURE_SWIZZLE_B, GL_ONE);
    }
    const SGLTextureFormat& format = glFormatOf(desc.eFormat);
    for (UINT uiFace = 0; uiFace < (desc.bCube ? 6u : 1u); ++uiFace) {
      for (UINT uiLevel = 0; uiLevel < desc.uiLevels; ++uiLevel) {
        m_gl.TexImage2D(faceTarget(texture, uiFace), static_cast<GLint>(uiLevel), format.iInternal,
                        static_cast<GLsizei>(std::max(desc.uiWidth >> uiLevel, 1u)),
                        static_cast<GLsizei>(std::max(desc.uiHeight >> uiLevel, 1u)), 0, format.eFormatGL,
                        format.eType, nullptr);
      }
    }
    const UINT uiHandle = ++m_uiNextHandle;
    m_textures[uiHandle] = texture;
    check("texture creation");
    return uiHandle;
  }

  void uploadTexture(UINT uiHandle, UINT uiFace, UINT uiLevel, const void* pBits) override {
    const SGLTexture& texture = m_textures.at(uiHandle);
    const SGLTextureFormat& format = glFormatOf(texture.desc.eFormat);
    bindForTransfer(texture);
    m_gl.TexSubImage2D(faceTarget(texture, uiFace), static_cast<GLint>(uiLevel), 0, 0,
                       static_cast<GLsizei>(std::max(texture.desc.uiWidth >> uiLevel, 1u)),
                       static_cast<GLsizei>(std::max(texture.desc.uiHeight >> uiLevel, 1u)), format.eFormatGL,
                       format.eType, pBits);
    check("texture upload");
  }

  void readTexture(UINT uiHandle, UINT uiFace, UINT uiLevel, void* pBits) override {
    clearPendingDepth(SDepthStorage{SD3D9Attachment::TEXTURE, uiHandle, uiLevel, false});
    const SGLTexture& texture = m_textures.at(uiHandle);
    const SGLTextureFormat& format = glFormatOf(texture.desc.eFormat);
    bindForTransfer(texture);
    m_gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    m_gl.GetTexImage(faceTarget(texture, uiFace), static_cast<GLint>(uiLevel), format.eFormatGL, format.eType, pBits);
    check("texture read");
  }

  void generateMipmaps(UINT uiHandle) override {
    const SGLTexture& texture = m_textures.at(uiHandle);
    bindForTransfer(texture);
    m_gl.GenerateMipmap(texture.eTarget);
    check("mipmap generation");
  }

  void deleteTexture(UINT uiHandle) override {
    auto it = m_textures.find(uiHandle);
    if (it == m_textures.end()) return;
    m_gl.DeleteTextures(1, &it->second.id);
    m_textures.erase(it);
    std::erase_if(m_pendingDepthClears, [&](const SPendingDepthClear& pending) {
      return pending.depth.eKind == SD3D9Attachment::TEXTURE && pending.depth.uiHandle == uiHandle;
    });
    // Deleting a texture unbinds it from every unit: forget what the units held.
    for (SD3D9TextureBinding& binding : m_appliedTextures) {
      if (binding.uiHandle == uiHandle) binding = SD3D9TextureBinding{~0u, false};
    }
    // The framebuffers it was attached to go with it.
    for (size_t i = m_framebuffers.size(); i-- > 0;) {
      if (!m_framebuffers[i].holds(uiHandle)) continue;
      if (m_boundFramebuffer == m_framebuffers[i].id) m_boundFramebuffer = ~0u;
      m_gl.DeleteFramebuffers(1, &m_framebuffers[i].id);
      m_framebuffers.erase(m_framebuffers.begin() + static_cast<std::ptrdiff_t>(i));
    }
    check("texture deletion");
  }

  UINT createProgram(const std::string& vertex, const std::string& fragment, std::string* pError) override {
    SGLProgram program;
    program.id = link(vertex.c_str(), fragment.c_str(), pError);
    if (program.id == 0) return 0;
    findStandInUniforms(&program);
    const UINT uiHandle = ++m_uiNextHandle;
    m_programs[uiHandle] = program;
    m_currentProgram = 0;
    check("program creation");
    return uiHandle;
  }

  INT uniformLocation(UINT uiProgram, const char* pName) override {
    auto it = m_programs.find(uiProgram);
    return it != m_programs.end() ? m_gl.GetUniformLocation(it->second.id, pName) : -1;
  }

  void setUniforms(UINT uiProgram, const SD3D9Uniform* pUniforms, UINT uiCount) override {
    auto it = m_programs.find(uiProgram);
    if (it == m_programs.end()) return;
    useProgram(it->second.id);
    for (UINT i = 0; i < uiCount; ++i) {
      const SD3D9Uniform& u = pUniforms[i];
      if (u.iLocation < 0 || u.uiCount == 0) continue;
      const GLsizei iCount = static_cast<GLsizei>(u.uiCount);
      const float* pFloats = static_cast<const float*>(u.pData);
      switch (u.eKind) {
        case SD3D9Uniform::FLOAT1:
          m_gl.Uniform1fv(u.iLocation, iCount, pFloats);
          break;
        case SD3D9Uniform::FLOAT2:
          m_gl.Uniform2fv(u.iLocation, iCount, pFloats);
          break;
        case SD3D9Uniform::FLOAT3:
          m_gl.Uniform3fv(u.iLocation, iCount, pFloats);
          break;
        case SD3D9Uniform::FLOAT4:
          m_gl.Uniform4fv(u.iLocation, iCount, pFloats);
          break;
        case SD3D9Uniform::MATRIX4:
          // Row-major data read as a column-major GL matrix is the transpose, so M * v in GLSL is v x M.
          m_gl.UniformMatrix4fv(u.iLocation, iCount, GL_FALSE, pFloats);
          break;
        case SD3D9Uniform::INT1:
          m_gl.Uniform1iv(u.iLocation, iCount, static_cast<const GLint*>(u.pData));
          break;
      }
    }
    check("uniforms");
  }

  void deleteProgram(UINT uiProgram) override {
    auto it = m_programs.find(uiProgram);
    if (it == m_programs.end()) return;
    if (m_currentProgram == it->second.id) m_currentProgram = 0;
    m_gl.DeleteProgram(it->second.id);
    m_programs.erase(it);
    check("program deletion");
  }

  UINT framebufferCount() override { return static_cast<UINT>(m_framebuffers.size()); }
  bool backBufferIsWindow() override {
    settleWindowSize();
    return m_bDirect;
  }

  void clear(const SD3D9State& state, UINT uiDirty, DWORD dwFlags, D3DCOLOR color, float fZ, DWORD dwStencil) override {
    apply(state, uiDirty);
    // A clear covers the viewport (and the scissor rectangle while its test is on) and ignores the write masks.
    RECT area{static_cast<LONG>(state.viewport.X), static_cast<LONG>(state.viewport.Y),
              static_cast<LONG>(state.viewport.X + state.viewport.Width),
              static_cast<LONG>(state.viewport.Y + state.viewport.Height)};
    if (state.renderStates[D3DRS_SCISSORTESTENABLE]) {
      area.left = std::max(area.left, state.scissor.left);
      area.top = std::max(area.top, state.scissor.top);
      area.right = std::min(area.right, state.scissor.right);
      area.bottom = std::min(area.bottom, state.scissor.bottom);
      if (area.right <= area.left || area.bottom <= area.top) return;
    }
    // The depth and stencil of a whole depth buffer wait for the first draw that tests depth there: frames clear
    // the back buffer's depth though only the scene's own target uses it, and on a software rasteriser a
    // full-screen clear costs as much as a full-screen copy. A partial clear lands on what is pending first.
    const SDepthStorage depth = depthStorage(state.targets);
    if ((dwFlags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0 && depth.eKind != SD3D9Attachment::NONE) {
      UINT uiDepthWidth = 0;
      UINT uiDepthHeight = 0;
      depthSize(depth, &uiDepthWidth, &uiDepthHeight);
      if (area.left <= 0 && area.top <= 0 && area.right >= static_cast<LONG>(uiDepthWidth) &&
          area.bottom >= static_cast<LONG>(uiDepthHeight)) {
        SPendingDepthClear pending{depth, 0, fZ, static_cast<GLint>(dwStencil)};
        pending.uiMask = ((dwFlags & D3DCLEAR_ZBUFFER) ? GL_DEPTH_BUFFER_BIT : 0u) |
                         ((dwFlags & D3DCLEAR_STENCIL) ? GL_STENCIL_BUFFER_BIT : 0u);
        SPendingDepthClear* pEarlier = pendingDepthClear(depth);
        if (pEarlier != nullptr && pEarlier->uiMask != pending.uiMask) {
          // One part of the earlier clear stays pending beside the new one: do the earlier one now.
          clearPendingDepth(depth);
          pEarlier = nullptr;
        }
        if (pEarlier != nullptr) {
          *pEarlier = pending;
        } else {
          m_pendingDepthClears.push_back(pending);
        }
        dwFlags &= ~static_cast<DWORD>(D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL);
        if ((dwFlags & D3DCLEAR_TARGET) == 0) return;
      } else {
        clearPendingDepth(depth);
      }
    }
    m_gl.Enable(GL_SCISSOR_TEST);
    m_gl.Scissor(area.left, firstRow(area.top, area.bottom), area.right - area.left, area.bottom - area.top);
    m_gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    m_gl.DepthMask(GL_TRUE);
    GLbitfield uiMask = 0;
    if (dwFlags & D3DCLEAR_TARGET) {
      m_gl.ClearColor(((color >> 16) & 0xff) / 255.0f, ((color >> 8) & 0xff) / 255.0f, (color & 0xff) / 255.0f,
                      ((color >> 24) & 0xff) / 255.0f);
      uiMask |= GL_COLOR_BUFFER_BIT;
    }
    if (dwFlags & D3DCLEAR_ZBUFFER) {
      m_gl.ClearDepth(fZ);
      uiMask |= GL_DEPTH_BUFFER_BIT;
    }
    if (dwFlags & D3DCLEAR_STENCIL) {
      m_gl.ClearStencil(static_cast<GLint>(dwStencil));
      uiMask |= GL_STENCIL_BUFFER_BIT;
    }
    m_gl.Clear(uiMask);
    m_bDrawnSincePresent = m_bDrawnSincePresent || m_bWindowBound;
    // Put back what the draws expect.
    const DWORD dwWrite = m_applied.renderStates[D3DRS_COLORWRITEENABLE];
    m_gl.ColorMask((dwWrite & 1) != 0, (dwWrite & 2) != 0, (dwWrite & 4) != 0, (dwWrite & 8) != 0);
    m_gl.DepthMask(m_applied.renderStates[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    applyScissor(m_applied);
    check("Clear");
  }

  void draw(const SD3D9State& state, UINT uiDirty, D3DPRIMITIVETYPE eType, UINT uiFirst, UINT uiCount, bool bIndexed,
            INT iBaseVertex) override {
    apply(state, uiDirty);
    clearPendingDepthForDraw(state);
    const GLenum eMode = lookUp(gc_aPrimitive, eType, GL_TRIANGLES);
    if (bIndexed) {
      const size_t uiIndexSize = state.bIndex32 ? 4 : 2;
      m_gl.DrawElementsBaseVertex(eMode, static_cast<GLsizei>(uiCount), state.bIndex32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                  reinterpret_cast<const void*>(uiFirst * uiIndexSize), iBaseVertex);
    } else {
      m_gl.DrawArrays(eMode, static_cast<GLint>(uiFirst), static_cast<GLsizei>(uiCount));
    }
    m_bDrawnSincePresent = m_bDrawnSincePresent || m_bWindowBound;
    check("draw");
  }

  void present(bool bCaptureWindow, const RECT* pDest, const std::vector<POINT>& probes,
               std::vector<DWORD>* pProbed) override {
    settleWindowSize();
    const int iWindowWidth = m_iFrameWindowWidth;
    const int iWindowHeight = m_iFrameWindowHeight;
    m_bWindowSizeRead = false;
    if (!probes.empty()) {
      // The back buffer keeps its top row first unless it is the window's.
      m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_bDirect ? 0 : m_fbo);
      m_boundFramebuffer = ~0u;
      m_gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
      for (const POINT& point : probes) {
        DWORD uiPixel = 0;
        if (point.x >= 0 && point.y >= 0 && point.x < static_cast<LONG>(m_uiWidth) &&
            point.y < static_cast<LONG>(m_uiHeight)) {
          const GLint iRow = m_bDirect ? static_cast<GLint>(m_uiHeight) - 1 - point.y : point.y;
          m_gl.ReadPixels(point.x, iRow, 1, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, &uiPixel);
        }
        pProbed->push_back(uiPixel);
      }
    }
    if (!m_bDirect) {
      m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
      m_gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
      m_gl.Disable(GL_SCISSOR_TEST);
      // The back buffer keeps its top row first; the window's first row is its bottom one.
      GLint aiTo[4] = {0, iWindowHeight, iWindowWidth, 0};
      if (pDest != nullptr) {
        // The window's framebuffer holds nothing defined after a swap: what the rectangle leaves is made black.
        clearWindowToBlack();
        aiTo[0] = pDest->left;
        aiTo[1] = iWindowHeight - pDest->top;
        aiTo[2] = pDest->right;
        aiTo[3] = iWindowHeight - pDest->bottom;
      }
      const bool bSameSize =
          aiTo[2] - aiTo[0] == static_cast<GLint>(m_uiWidth) && aiTo[1] - aiTo[3] == static_cast<GLint>(m_uiHeight);
      m_gl.BlitFramebuffer(0, 0, static_cast<GLint>(m_uiWidth), static_cast<GLint>(m_uiHeight), aiTo[0], aiTo[1],
                           aiTo[2], aiTo[3], GL_COLOR_BUFFER_BIT, bSameSize ? GL_NEAREST : GL_LINEAR);
      m_boundFramebuffer = ~0u;
    }
    // A window resized since the frame was placed for it would show the frame cropped or out of place: it shows
    // black instead. The swap still runs, as only a swap makes the driver take the window's new size; the next
    // frame is placed for that size, which the event pump reads before it. Never two frames in a row, so a size
    // the window system and SDL disagree on cannot keep the window black.
    m_bBlankedLastFrame = !m_bBlankedLastFrame && resizedSincePlaced(iWindowWidth, iWindowHeight);
    if (m_bBlankedLastFrame) {
      m_gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
      m_gl.Disable(GL_SCISSOR_TEST);
      clearWindowToBlack();
      m_boundFramebuffer = ~0u;
    }
    m_bCapturedLastPresent = bCaptureWindow;
    if (bCaptureWindow) {
      m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
      m_boundFramebuffer = ~0u;
      m_captured = readRows(iWindowWidth, iWindowHeight, true);
      m_uiCapturedWidth = static_cast<UINT>(iWindowWidth);
      m_uiCapturedHeight = static_cast<UINT>(iWindowHeight);
    }
    check("Present copy");
    SDL_GL_SwapWindow(mp_pWindow);
    Win32StopPoint(WIN32_STOP_FRAME_PRESENTED);
    m_bDrawnSincePresent = false;
    applyScissor(m_applied);
    check("Present");
  }

  std::uintptr_t insertFence() override {
    GLsync sync = m_gl.FenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    check("fence");
    return reinterpret_cast<std::uintptr_t>(sync);
  }
  bool fencePassed(std::uintptr_t uiFence, bool bFlush) override {
    const GLenum eResult = m_gl.ClientWaitSync(reinterpret_cast<GLsync>(uiFence),
                                               bFlush ? GL_SYNC_FLUSH_COMMANDS_BIT : 0, 0);
    check("fence wait");
    return eResult == GL_ALREADY_SIGNALED || eResult == GL_CONDITION_SATISFIED;
  }
  void deleteFence(std::uintptr_t uiFence) override {
    m_gl.DeleteSync(reinterpret_cast<GLsync>(uiFence));
    check("fence deletion");
  }

  std::vector<DWORD> readBackBuffer(UINT* pWidth, UINT* pHeight) override {
    *pWidth = m_uiWidth;
    *pHeight = m_uiHeight;
    // The window's back buffer is undefined after a swap: between a Present and the next drawing it answers the
    // picture captured at that Present, when one was.
    if (m_bDirect && !m_bDrawnSincePresent && m_bCapturedLastPresent && m_uiCapturedWidth == m_uiWidth &&
        m_uiCapturedHeight == m_uiHeight) {
      return m_captured;
    }
    m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_bDirect ? 0 : m_fbo);
    m_boundFramebuffer = ~0u;
    std::vector<DWORD> pixels = readRows(static_cast<int>(m_uiWidth), static_cast<int>(m_uiHeight), m_bDirect);
    check("back buffer read");
    return pixels;
  }

  std::vector<DWORD> capturedWindow(UINT* pWidth, UINT* pHeight) override {
    *pWidth = m_uiCapturedWidth;
    *pHeight = m_uiCapturedHeight;
    return m_captured;
  }

  UINT errorCount() override { return m_uiErrors; }
  std::vector<std::string> log() override { return {}; }
  void clearLog() override {}

 private:
  GLuint compile(GLenum eKind, const char* pSource, std::string* pError) {
    GLuint shader = m_gl.CreateShader(eKind);
    m_gl.ShaderSource(shader, 1, &pSource, nullptr);
    m_gl.CompileShader(shader);
    GLint iOk = 0;
    m_gl.GetShaderiv(shader, GL_COMPILE_STATUS, &iOk);
    if (!iOk) {
      char szLog[2048] = {};
      m_gl.GetShaderInfoLog(shader, sizeof(szLog), nullptr, szLog);
      *pError = std::string(eKind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " code does not compile: " + szLog;
      m_gl.DeleteShader(shader);
      return 0;
    }
    return shader;
  }

  // The linked program, or 0 with the reason.
  GLuint link(const char* pVertex, const char* pFragment, std::string* pError) {
    const GLuint vertex = compile(GL_VERTEX_SHADER, pVertex, pError);
    if (vertex == 0) return 0;
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, pFragment, pError);
    if (fragment == 0) {
      m_gl.DeleteShader(vertex);
      return 0;
    }
    GLuint program = m_gl.CreateProgram();
    m_gl.AttachShader(program, vertex);
    m_gl.AttachShader(program, fragment);
    m_gl.LinkProgram(program);
    m_gl.DeleteShader(vertex);
    m_gl.DeleteShader(fragment);
    GLint iOk = 0;
    m_gl.GetProgramiv(program, GL_LINK_STATUS, &iOk);
    if (!iOk) {
      char szLog[2048] = {};
      m_gl.GetProgramInfoLog(program, sizeof(szLog), nullptr, szLog);
      *pError = std::string("the program does not link: ") + szLog;
      m_gl.DeleteProgram(program);
      return 0;
    }
    check("program link");
    return program;
  }

  void findStandInUniforms(SGLProgram* pProgram) {
    pProgram->iTargetLocation = m_gl.GetUniformLocation(pProgram->id, "d3d_target");
    pProgram->iRowFromTopLocation = m_gl.GetUniformLocation(pProgram->id, "d3d_rowFromTop");
    pProgram->iAlphaFuncLocation = m_gl.GetUniformLocation(pProgram->id, "d3d_alphaFunc");
    pProgram->iAlphaRefLocation = m_gl.GetUniformLocation(pProgram->id, "d3d_alphaRef");
  }

  void useProgram(GLuint program) {
    if (!m_bStateCache || m_currentProgram != program) {
      m_gl.UseProgram(program);
      m_currentProgram = program;
    }
  }

  static GLenum faceTarget(const SGLTexture& texture, UINT uiFace) {
    return texture.desc.bCube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + uiFace : GL_TEXTURE_2D;
  }

  // Transfers go through unit 0, whose binding the next draw then sets again.
  void bindForTransfer(const SGLTexture& texture) {
    m_gl.ActiveTexture(GL_TEXTURE0);
    m_gl.BindTexture(texture.eTarget, texture.id);
    m_appliedTextures[0] = SD3D9TextureBinding{~0u, texture.desc.bCube};
  }

  // Rows of the bound read framebuffer as 0xAARRGGBB words, top row first.
  std::vector<DWORD> readRows(int iWidth, int iHeight, bool bBottomUp) {
    std::vector<DWORD> pixels(static_cast<size_t>(iWidth) * static_cast<size_t>(iHeight));
    m_gl.PixelStorei(GL_PACK_ALIGNMENT, 4);
    m_gl.ReadPixels(0, 0, iWidth, iHeight, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    if (bBottomUp) {
      for (int y = 0; y < iHeight / 2; ++y) {
        std::swap_ranges(pixels.begin() + y * iWidth, pixels.begin() + (y + 1) * iWidth,
                         pixels.begin() + (iHeight - 1 - y) * iWidth);
      }
    }
    return pixels;
  }

  // The offscreen driver's EGL surface keeps the size the window had when it was made, which a window resized
  // since no longer reports: ask EGL (through SDL's loader, so no link to it). 0 x 0 when it cannot be asked.
  void findSurfaceSize() {
    m_iSurfaceWidth = 0;
    m_iSurfaceHeight = 0;
    const auto pfnDisplay = reinterpret_cast<EGLDisplay (*)()>(SDL_GL_GetProcAddress("eglGetCurrentDisplay"));
    const auto pfnSurface = reinterpret_cast<EGLSurface (*)(EGLint)>(SDL_GL_GetProcAddress("eglGetCurrentSurface"));
    const auto pfnQuery =
        reinterpret_cast<EGLBoolean (*)(EGLDisplay, EGLSurface, EGLint, EGLint*)>(SDL_GL_GetProcAddress("eglQuerySurface"));
    if (pfnDisplay == nullptr || pfnSurface == nullptr || pfnQuery == nullptr) return;
    EGLint iWidth = 0;
    EGLint iHeight = 0;
    if (pfnQuery(pfnDisplay(), pfnSurface(EGL_DRAW), EGL_WIDTH, &iWidth) &&
        pfnQuery(pfnDisplay(), pfnSurface(EGL_DRAW), EGL_HEIGHT, &iHeight)) {
      m_iSurfaceWidth = iWidth;
      m_iSurfaceHeight = iHeight;
    }
  }

  // The bits of one buffer of the window's framebuffer (bound), 0 when it has none.
  GLint windowBits(GLenum eBuffer, GLenum eSize) {
    GLint iType = GL_NONE;
    m_gl.GetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, eBuffer, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &iType);
    GLint iBits = 0;
    if (iType != GL_NONE) m_gl.GetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, eBuffer, eSize, &iBits);
    return iBits;
  }

  // The window's size for the frame being made, read at the frame's first draw, clear or Present (after a Present or
  // a Reset): the event pump runs between frames, so a resize it has read reaches the whole frame. A window of
  // another size than the back buffer gets the back buffer copied into it at Present (stretched, or into the
  // rectangle Present names); one of the back buffer's size is drawn into directly.
  void settleWindowSize() {
    if (m_bWindowSizeRead) return;
    m_bWindowSizeRead = true;
    SDL_GL_GetDrawableSize(mp_pWindow, &m_iFrameWindowWidth, &m_iFrameWindowHeight);
    const bool bDirect = windowIsBackBuffer(m_iFrameWindowWidth, m_iFrameWindowHeight);
    if (bDirect != m_bDirect) moveBackBufferDepthClear(bDirect);
    m_bDirect = bDirect;
  }

  // Clears the window's framebuffer, bound for drawing with the scissor test off, to black whatever the colour write
  // mask; the mask the draws expect is put back.
  void clearWindowToBlack() {
    m_gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    m_gl.ClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    m_gl.Clear(GL_COLOR_BUFFER_BIT);
    const DWORD dwWrite = m_applied.renderStates[D3DRS_COLORWRITEENABLE];
    m_gl.ColorMask((dwWrite & 1) != 0, (dwWrite & 2) != 0, (dwWrite & 4) != 0, (dwWrite & 8) != 0);
  }

  // Whether the window system has the window at another size now than the frame was placed for. The frame is
  // finished drawing first (a software rasteriser draws at the swap), so that little time is left between the
  // answer and the swap that shows it.
  bool resizedSincePlaced(int iWidth, int iHeight) {
    if (!m_bWindowSizeAskable) return false;
    m_gl.Finish();
    int iNowWidth = 0;
    int iNowHeight = 0;
    return Win32WindowSizeNow(mp_pWindow, &iNowWidth, &iNowHeight) && (iNowWidth != iWidth || iNowHeight != iHeight);
  }

  // Whether a window of that drawable size can be the back buffer itself.
  bool windowIsBackBuffer(int iWindowWidth, int iWindowHeight) const {
    const bool bSameSize = iWindowWidth == static_cast<int>(m_uiWidth) && iWindowHeight == static_cast<int>(m_uiHeight);
    const bool bSurfaceFits = !m_bFixedSurface || (iWindowWidth == m_iSurfaceWidth && iWindowHeight == m_iSurfaceHeight);
    return bSameSize && bSurfaceFits && m_bWindowHasDepth;
  }

  // The GL row of the first row of a band of rows counted from the top (top inclusive, bottom exclusive).
  GLint firstRow(LONG lTop, LONG lBottom) const {
    return m_bWindowBound ? static_cast<GLint>(m_uiHeight) - static_cast<GLint>(lBottom) : static_cast<GLint>(lTop);
  }

  void applyScissor(const SD3D9State& state) {
    if (state.renderStates[D3DRS_SCISSORTESTENABLE]) {
      m_gl.Enable(GL_SCISSOR_TEST);
      m_gl.Scissor(state.scissor.left, firstRow(state.scissor.top, state.scissor.bottom),
                   state.scissor.right - state.scissor.left, state.scissor.bottom - state.scissor.top);
    } else {
      m_gl.Disable(GL_SCISSOR_TEST);
    }
  }

  bool changed(const SD3D9State& state, D3DRENDERSTATETYPE eState) {
    return !m_bStateCache || !m_bApplied || m_applied.renderStates[eState] != state.renderStates[eState];
  }

  void applyRenderStates(const SD3D9State& state) {
    const DWORD* rs = state.renderStates.data();
    const bool bDepth = rs[D3DRS_ZENABLE] != D3DZB_FALSE && state.bDepthBound;
    if (!m_bStateCache || !m_bApplied || bDepth != m_bDepthTestOn) {
      bDepth ? m_gl.Enable(GL_DEPTH_TEST) : m_gl.Disable(GL_DEPTH_TEST);
      m_bDepthTestOn = bDepth;
    }
    if (changed(state, D3DRS_ZFUNC)) m_gl.DepthFunc(lookUp(gc_aCompare, rs[D3DRS_ZFUNC], GL_LEQUAL));
    if (changed(state, D3DRS_ZWRITEENABLE)) m_gl.DepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    if (changed(state, D3DRS_CULLMODE)) {
      // Mirroring y turns Direct3D's clockwise front faces into GL's counter-clockwise ones.
      if (rs[D3DRS_CULLMODE] == D3DCULL_NONE) {
        m_gl.Disable(GL_CULL_FACE);
      } else {
        m_gl.Enable(GL_CULL_FACE);
        m_gl.CullFace(rs[D3DRS_CULLMODE] == D3DCULL_CW ? GL_FRONT : GL_BACK);
      }
    }
    if (changed(state, D3DRS_FILLMODE)) {
      m_gl.PolygonMode(GL_FRONT_AND_BACK, lookUp(gc_aFill, rs[D3DRS_FILLMODE], GL_FILL));
    }
    if (changed(state, D3DRS_ALPHABLENDENABLE)) {
      rs[D3DRS_ALPHABLENDENABLE] ? m_gl.Enable(GL_BLEND) : m_gl.Disable(GL_BLEND);
    }
    if (changed(state, D3DRS_SRCBLEND) || changed(state, D3DRS_DESTBLEND)) {
      m_gl.BlendFunc(lookUp(gc_aBlend, rs[D3DRS_SRCBLEND], GL_ONE), lookUp(gc_aBlend, rs[D3DRS_DESTBLEND], GL_ZERO));
    }
    if (changed(state, D3DRS_BLENDOP)) m_gl.BlendEquation(lookUp(gc_aBlendOp, rs[D3DRS_BLENDOP], GL_FUNC_ADD));
    if (changed(state, D3DRS_COLORWRITEENABLE)) {
      const DWORD dwWrite = rs[D3DRS_COLORWRITEENABLE];
      m_gl.ColorMask((dwWrite & 1) != 0, (dwWrite & 2) != 0, (dwWrite & 4) != 0, (dwWrite & 8) != 0);
    }
    if (changed(state, D3DRS_SCISSORTESTENABLE)) applyScissor(state);
  }

  // The stand-in's own uniforms of the program in use: the half-pixel offset and the alpha test.
  void applyProgramUniforms(SGLProgram& program, const SD3D9State& state) {
    const DWORD* rs = state.renderStates.data();
    const GLint iAlphaFunc = rs[D3DRS_ALPHATESTENABLE] ? static_cast<GLint>(rs[D3DRS_ALPHAFUNC]) : static_cast<GLint>(D3DCMP_ALWAYS);
    const float fAlphaRef = static_cast<float>(rs[D3DRS_ALPHAREF] & 0xff) / 255.0f;
    const bool bForce = !m_bStateCache;
    if (bForce || !std::equal(std::begin(m_afTarget), std::end(m_afTarget), program.afTarget)) {
      m_gl.Uniform3fv(program.iTargetLocation, 1, m_afTarget);
      std::copy(std::begin(m_afTarget), std::end(m_afTarget), program.afTarget);
    }
    if (bForce || !std::equal(std::begin(m_afRowFromTop), std::end(m_afRowFromTop), program.afRowFromTop)) {
      m_gl.Uniform2fv(program.iRowFromTopLocation, 1, m_afRowFromTop);
      std::copy(std::begin(m_afRowFromTop), std::end(m_afRowFromTop), program.afRowFromTop);
    }
    if (bForce || program.iAlphaFunc != iAlphaFunc || program.fAlphaRef != fAlphaRef) {
      m_gl.Uniform1i(program.iAlphaFuncLocation, iAlphaFunc);
      m_gl.Uniform1f(program.iAlphaRefLocation, fAlphaRef);
      program.iAlphaFunc = iAlphaFunc;
      program.fAlphaRef = fAlphaRef;
    }
  }

  void applyTextures(const SD3D9State& state) {
    for (UINT u = 0; u < gc_uiD3D9_TEXTURE_UNITS; ++u) {
      const SD3D9TextureBinding& wanted = state.textures[u];
      SD3D9TextureBinding& applied = m_appliedTextures[u];
      if (m_bStateCache && wanted == applied) continue;
      m_gl.ActiveTexture(GL_TEXTURE0 + u);
      auto it = m_textures.find(wanted.uiHandle);
      const GLenum eTarget = wanted.bCube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
      if (applied.bCube != wanted.bCube || applied.uiHandle == ~0u) {
        // A unit holds one texture per target: empty the other one so a sampler never sees a stale texture.
        m_gl.BindTexture(wanted.bCube ? GL_TEXTURE_2D : GL_TEXTURE_CUBE_MAP, 0);
      }
      m_gl.BindTexture(eTarget, it != m_textures.end() ? it->second.id : 0);
      applied = wanted;
    }
  }

  void applySamplers(const SD3D9State& state) {
    for (UINT u = 0; u < gc_uiD3D9_TEXTURE_UNITS; ++u) {
      const auto& wanted = state.samplerStates[u];
      auto& applied = m_appliedSamplers[u];
      const bool bAll = !m_bStateCache || !m_bSamplersApplied;
      if (!bAll && wanted == applied) continue;
      const GLuint sampler = m_aSamplers[u];
      auto differs = [&](D3DSAMPLERSTATETYPE eType) { return bAll || wanted[eType] != applied[eType]; };
      if (differs(D3DSAMP_ADDRESSU)) {
        m_gl.SamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(lookUp(gc_aAddress, wanted[D3DSAMP_ADDRESSU], GL_REPEAT)));
      }
      if (differs(D3DSAMP_ADDRESSV)) {
        m_gl.SamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(lookUp(gc_aAddress, wanted[D3DSAMP_ADDRESSV], GL_REPEAT)));
      }
      if (differs(D3DSAMP_ADDRESSW)) {
        m_gl.SamplerParameteri(sampler, GL_TEXTURE_WRAP_R, static_cast<GLint>(lookUp(gc_aAddress, wanted[D3DSAMP_ADDRESSW], GL_REPEAT)));
      }
      if (differs(D3DSAMP_BORDERCOLOR)) {
        const DWORD c = wanted[D3DSAMP_BORDERCOLOR];
        const float afColor[4] = {((c >> 16) & 0xff) / 255.0f, ((c >> 8) & 0xff) / 255.0f, (c & 0xff) / 255.0f,
                                  ((c >> 24) & 0xff) / 255.0f};
        m_gl.SamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, afColor);
      }
      if (differs(D3DSAMP_MAGFILTER)) {
        m_gl.SamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, wanted[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
      }
      if (differs(D3DSAMP_MINFILTER) || differs(D3DSAMP_MIPFILTER)) {
        const int iMin = wanted[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR ? 1 : 0;
        const int iMip = wanted[D3DSAMP_MIPFILTER] >= D3DTEXF_LINEAR ? 2 : (wanted[D3DSAMP_MIPFILTER] == D3DTEXF_POINT ? 1 : 0);
        m_gl.SamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(gc_aMinFilter[iMin][iMip]));
      }
      if (differs(D3DSAMP_MAXMIPLEVEL)) {
        // The most detailed level used, as a level of detail.
        m_gl.SamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, static_cast<float>(wanted[D3DSAMP_MAXMIPLEVEL]));
      }
      applied = wanted;
    }
    m_bSamplersApplied = true;
  }

  // The framebuffer object of a combination of targets: the back buffer's own, or one made at the first draw that
  // writes that combination and kept until a texture of it goes.
  GLuint framebufferFor(const SD3D9Targets& targets) {
    if (targets.isBackBuffer()) return m_bDirect ? 0 : m_fbo;
    for (const SFramebuffer& framebuffer : m_framebuffers) {
      if (framebuffer.targets == targets) return framebuffer.id;
    }
    SFramebuffer framebuffer;
    framebuffer.targets = targets;
    m_gl.GenFramebuffers(1, &framebuffer.id);
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer.id);
    GLenum aeDrawBuffers[gc_uiD3D9_RENDER_TARGETS];
    for (UINT i = 0; i < gc_uiD3D9_RENDER_TARGETS; ++i) {
      const SD3D9Attachment& colour = targets.colour[i];
      aeDrawBuffers[i] = colour.eKind == SD3D9Attachment::NONE ? GL_NONE : GL_COLOR_ATTACHMENT0 + i;
      attach(GL_COLOR_ATTACHMENT0 + i, colour, m_colorRb);
    }
    const SD3D9Attachment& depth = targets.depth;
    GLenum eDepthPoint = GL_DEPTH_STENCIL_ATTACHMENT;
    if (depth.eKind == SD3D9Attachment::TEXTURE) {
      const D3DFORMAT eFormat = m_textures.at(depth.uiHandle).desc.eFormat;
      eDepthPoint = eFormat == D3DFMT_D16 || eFormat == D3DFMT_D32 ? GL_DEPTH_ATTACHMENT : GL_DEPTH_STENCIL_ATTACHMENT;
    }
    attach(eDepthPoint, depth, m_depthRb);
    m_gl.DrawBuffers(static_cast<GLsizei>(gc_uiD3D9_RENDER_TARGETS), aeDrawBuffers);
    m_gl.ReadBuffer(aeDrawBuffers[0]);
    const GLenum eStatus = m_gl.CheckFramebufferStatus(GL_FRAMEBUFFER);
    if (eStatus != GL_FRAMEBUFFER_COMPLETE) {
      std::fprintf(stderr, "D3D9 stand-in: render-target combination incomplete (0x%04x)\n", eStatus);
      ++m_uiErrors;
    }
    m_boundFramebuffer = framebuffer.id;
    m_framebuffers.push_back(framebuffer);
    check("framebuffer creation");
    return framebuffer.id;
  }

  void attach(GLenum ePoint, const SD3D9Attachment& attachment, GLuint backBufferStorage) {
    switch (attachment.eKind) {
      case SD3D9Attachment::NONE:
        break;
      case SD3D9Attachment::BACK_BUFFER:
        m_gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, ePoint, GL_RENDERBUFFER, backBufferStorage);
        break;
      case SD3D9Attachment::TEXTURE: {
        auto it = m_textures.find(attachment.uiHandle);
        if (it != m_textures.end()) {
          m_gl.FramebufferTexture2D(GL_FRAMEBUFFER, ePoint, GL_TEXTURE_2D, it->second.id,
                                    static_cast<GLint>(attachment.uiLevel));
        }
        break;
      }
    }
  }

  void apply(const SD3D9State& state, UINT uiDirty) {
    settleWindowSize();
    if (!m_bApplied) uiDirty = D3D9_DIRTY_ALL;
    const GLuint framebuffer = framebufferFor(state.targets);
    if (!m_bStateCache || framebuffer != m_boundFramebuffer) {
      m_gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
      m_boundFramebuffer = framebuffer;
    }
    const bool bWindow = framebuffer == 0;
    if (bWindow != m_bWindowBound || !m_bApplied) {
      // Rows count the other way: the mirror, the winding of front faces, the viewport and the scissor change.
      m_bWindowBound = bWindow;
      m_gl.FrontFace(bWindow ? GL_CW : GL_CCW);
      uiDirty |= D3D9_DIRTY_VIEWPORT | D3D9_DIRTY_SCISSOR;
    }
    auto itProgram = state.uiProgram != 0 ? m_programs.find(state.uiProgram) : m_programs.end();
    SGLProgram& program = itProgram != m_programs.end() ? itProgram->second : m_fixed;
    useProgram(program.id);
    if (uiDirty & D3D9_DIRTY_TRANSFORM) m_bFixedTransformStale = true;
    if (&program == &m_fixed && (m_bFixedTransformStale || !m_bStateCache)) {
      const D3DMATRIX wvp = multiply(multiply(state.world, state.view), state.projection);
      // Row-major data read as a column-major GL matrix is the transpose, so M * v in GLSL is v x M.
      m_gl.UniformMatrix4fv(m_fixed.iWvpLocation, 1, GL_FALSE, &wvp.m[0][0]);
      m_bFixedTransformStale = false;
    }
    if (uiDirty & D3D9_DIRTY_VIEWPORT) {
      const D3DVIEWPORT9& vp = state.viewport;
      m_gl.Viewport(static_cast<GLint>(vp.X),
                    firstRow(static_cast<LONG>(vp.Y), static_cast<LONG>(vp.Y + vp.Height)),
                    static_cast<GLsizei>(vp.Width), static_cast<GLsizei>(vp.Height));
      m_gl.DepthRange(vp.MinZ, vp.MaxZ);
      const float fMirror = m_bWindowBound ? 1.0f : -1.0f;
      m_afTarget[0] = 1.0f / static_cast<float>(vp.Width);
      // Half a pixel down puts horizontal edges on pixel centres, where GL's rule keeps the centre under an edge
      // on its lower side. Mirrored, that is Direct3D's rule (top edges in, bottom edges out); unmirrored (the
      // window) it is the opposite, so on the window they stop a 128th of a pixel above the centres instead.
      m_afTarget[1] = (m_bWindowBound ? -(1.0f - 1.0f / 64.0f) : 1.0f) / static_cast<float>(vp.Height);
      m_afTarget[2] = fMirror;
      m_afRowFromTop[0] = m_bWindowBound ? static_cast<float>(m_uiHeight) : 0.0f;
      m_afRowFromTop[1] = -fMirror;
    }
    applyProgramUniforms(program, state);
    if (uiDirty & D3D9_DIRTY_RENDER_STATE) {
      applyRenderStates(state);
    }
    if ((uiDirty & D3D9_DIRTY_SCISSOR) && state.renderStates[D3DRS_SCISSORTESTENABLE]) {
      applyScissor(state);
    }
    if ((uiDirty & D3D9_DIRTY_TEXTURES) || !m_bStateCache || m_appliedTextures[0].uiHandle == ~0u) {
      applyTextures(state);
    }
    if ((uiDirty & D3D9_DIRTY_SAMPLERS) || !m_bStateCache) {
      applySamplers(state);
    }
    if ((uiDirty & D3D9_DIRTY_STREAM) || m_boundStream != state.uiVertexBuffer) {
      bindStream(state);
    }
    if ((uiDirty & D3D9_DIRTY_INDICES) || m_boundIndices != state.uiIndexBuffer) {
      auto it = m_buffers.find(state.uiIndexBuffer);
      m_gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, it != m_buffers.end() ? it->second : 0);
      m_boundIndices = state.uiIndexBuffer;
    }
    if (uiDirty & (D3D9_DIRTY_RENDER_STATE | D3D9_DIRTY_SCISSOR)) {
      m_applied.renderStates = state.renderStates;
      m_applied.scissor = state.scissor;
    }
    m_bApplied = true;
    check("state");
  }

  // Before a draw: the clears pending on the depth buffer it tests and on the depth textures it reads.
  void clearPendingDepthForDraw(const SD3D9State& state) {
    if (m_pendingDepthClears.empty()) return;
    if (m_bDepthTestOn) clearPendingDepth(depthStorage(state.targets));
    for (const SD3D9TextureBinding& binding : state.textures) {
      clearPendingDepth(SDepthStorage{SD3D9Attachment::TEXTURE, binding.uiHandle, 0, false});
    }
  }

  // Which depth buffer a combination of targets writes: the device's own (the window's when the back buffer is
  // the window, else the stand-in's renderbuffer) or a texture's level.
  SDepthStorage depthStorage(const SD3D9Targets& targets) const {
    const SD3D9Attachment& depth = targets.depth;
    if (depth.eKind == SD3D9Attachment::TEXTURE) return SDepthStorage{depth.eKind, depth.uiHandle, depth.uiLevel, false};
    return SDepthStorage{depth.eKind, 0, 0, depth.eKind == SD3D9Attachment::BACK_BUFFER && targets.isBackBuffer() && m_bDirect};
  }

  void depthSize(const SDepthStorage& depth, UINT* pWidth, UINT* pHeight) const {
    *pWidth = m_uiWidth;
    *pHeight = m_uiHeight;
    if (depth.eKind != SD3D9Attachment::TEXTURE) return;
    auto it = m_textures.find(depth.uiHandle);
    *pWidth = it != m_textures.end() ? std::max(it->second.desc.uiWidth >> depth.uiLevel, 1u) : 0u;
    *pHeight = it != m_textures.end() ? std::max(it->second.desc.uiHeight >> depth.uiLevel, 1u) : 0u;
  }

  // The back buffer's depth moves between the window's depth buffer and the stand-in's renderbuffer: a whole clear
  // pending on the one it leaves is pending on the one it comes to, so what was cleared stays cleared for the next
  // draw that tests depth. The renderbuffer stays the depth of render targets drawn with the device's depth.
  void moveBackBufferDepthClear(bool bToWindow) {
    const SDepthStorage window{SD3D9Attachment::BACK_BUFFER, 0, 0, true};
    const SDepthStorage renderbuffer{SD3D9Attachment::BACK_BUFFER, 0, 0, false};
    const SPendingDepthClear* pFrom = pendingDepthClear(bToWindow ? renderbuffer : window);
    if (pFrom == nullptr) return;
    SPendingDepthClear moved = *pFrom;
    moved.depth = bToWindow ? window : renderbuffer;
    std::erase_if(m_pendingDepthClears, [&](const SPendingDepthClear& pending) {
      return pending.depth == window || pending.depth == renderbuffer;
    });
    m_pendingDepthClears.push_back(moved);
    if (bToWindow) {
      moved.depth = renderbuffer;
      m_pendingDepthClears.push_back(moved);
    }
  }

  SPendingDepthClear* pendingDepthClear(const SDepthStorage& depth) {
    for (SPendingDepthClear& pending : m_pendingDepthClears) {
      if (pending.depth == depth) return &pending;
    }
    return nullptr;
  }

  // Carries out the clear pending on that depth buffer, if any, through the bound framebuffer when it holds that
  // buffer, else through one made for it alone; the bindings and masks the draws expect are put back.
  void clearPendingDepth(const SDepthStorage& depth) {
    SPendingDepthClear* pPending = pendingDepthClear(depth);
    if (pPending == nullptr) return;
    const SPendingDepthClear pending = *pPending;
    m_pendingDepthClears.erase(m_pendingDepthClears.begin() + (pPending - m_pendingDepthClears.data()));
    const GLuint bound = m_boundFramebuffer;
    // The window's depth buffer is reached only through the window's framebuffer; any other alone.
    SD3D9Targets targets;
    targets.colour[0].eKind = depth.bWindow ? SD3D9Attachment::BACK_BUFFER : SD3D9Attachment::NONE;
    targets.depth = SD3D9Attachment{depth.eKind, depth.uiHandle, depth.uiLevel};
    const GLuint framebuffer = framebufferFor(targets);
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    m_gl.Disable(GL_SCISSOR_TEST);
    m_gl.DepthMask(GL_TRUE);
    m_gl.ClearDepth(pending.fZ);
    m_gl.ClearStencil(pending.iStencil);
    m_gl.Clear(pending.uiMask);
    m_gl.DepthMask(m_applied.renderStates[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    applyScissor(m_applied);
    // With no framebuffer known to be bound (after a Present or a deletion) the one just used stays bound.
    if (bound != ~0u) {
      m_gl.BindFramebuffer(GL_FRAMEBUFFER, bound);
      m_boundFramebuffer = bound;
    }
    check("pending depth clear");
  }

  void bindAttribute(GLuint uiLocation, INT iOffset, GLint iComponents, GLenum eType, GLboolean bNormalized,
                     GLsizei iStride, size_t uiBase) {
    if (iOffset >= 0) {
      m_gl.EnableVertexAttribArray(uiLocation);
      m_gl.VertexAttribPointer(uiLocation, iComponents, eType, bNormalized, iStride,
                               reinterpret_cast<const void*>(uiBase + static_cast<size_t>(iOffset)));
    } else {
      m_gl.DisableVertexAttribArray(uiLocation);
    }
  }

  void bindStream(const SD3D9State& state) {
    auto it = m_buffers.find(state.uiVertexBuffer);
    if (it == m_buffers.end() || !state.bHasLayout) return;
    m_gl.BindBuffer(GL_ARRAY_BUFFER, it->second);
    const GLsizei iStride = static_cast<GLsizei>(state.uiStride);
    const size_t uiBase = state.uiStreamOffset;
    const SD3D9VertexLayout& layout = state.layout;
    bindAttribute(D3D9_ATTRIBUTE_POSITION, layout.iPositionOffset, layout.iPositionComponents, GL_FLOAT, GL_FALSE,
                  iStride, uiBase);
    // D3DCOLOR words are BGRA in memory.
    bindAttribute(D3D9_ATTRIBUTE_COLOR, layout.iColorOffset, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, iStride, uiBase);
    bindAttribute(D3D9_ATTRIBUTE_NORMAL, layout.iNormalOffset, 3, GL_FLOAT, GL_FALSE, iStride, uiBase);
    bindAttribute(D3D9_ATTRIBUTE_TEXCOORD0, layout.iTexCoordOffset, layout.iTexCoordComponents, GL_FLOAT, GL_FALSE,
                  iStride, uiBase);
    if (layout.iColorOffset < 0) m_gl.VertexAttrib4f(D3D9_ATTRIBUTE_COLOR, 1.0f, 1.0f, 1.0f, 1.0f);
    if (layout.iNormalOffset < 0) m_gl.VertexAttrib4f(D3D9_ATTRIBUTE_NORMAL, 0.0f, 0.0f, 0.0f, 1.0f);
    if (layout.iTexCoordOffset < 0) m_gl.VertexAttrib4f(D3D9_ATTRIBUTE_TEXCOORD0, 0.0f, 0.0f, 0.0f, 1.0f);
    m_boundStream = state.uiVertexBuffer;
  }

  void check(const char* pWhat) {
    for (GLenum eError = m_gl.GetError(); eError != GL_NO_ERROR; eError = m_gl.GetError()) {
      ++m_uiErrors;
      std::fprintf(stderr, "D3D9 stand-in: OpenGL error 0x%04x after %s\n", eError, pWhat);
    }
  }

  bool m_bStateCache;
  SDL_Window* mp_pWindow = nullptr;
  SDL_GLContext m_context = nullptr;
  SD3D9GLFunctions m_gl;
  SGLProgram m_fixed;
  GLuint m_currentProgram = 0;
  bool m_bFixedTransformStale = true;
  // The vertex programs' d3d_target (half a pixel in clip units, the y mirror) and the fragment programs'
  // d3d_rowFromTop (a + b * gl_FragCoord.y counts rows from the top) for the bound target.
  float m_afTarget[3] = {0.0f, 0.0f, -1.0f};
  float m_afRowFromTop[2] = {0.0f, 1.0f};
  // The bound framebuffer is the window's: rows count from the bottom.
  bool m_bWindowBound = false;
  // The back buffer is the window's framebuffer (else m_fbo, copied at Present).
  bool m_bDirect = false;
  // The window's drawable size the frame is made for (settleWindowSize), once read; whether the window system can be
  // asked the window's size at the moment of Present (Win32WindowSizeNow); the last Present showed black.
  bool m_bWindowSizeRead = false;
  bool m_bWindowSizeAskable = false;
  int m_iFrameWindowWidth = 0;
  int m_iFrameWindowHeight = 0;
  bool m_bBlankedLastFrame = false;
  // The offscreen driver's surface keeps the size it was made with, whatever the window's size becomes.
  bool m_bFixedSurface = false;
  bool m_bWindowHasDepth = false;
  int m_iSurfaceWidth = 0;
  int m_iSurfaceHeight = 0;
  // Something was drawn into the back buffer since the last Present; the picture captured at that Present.
  bool m_bDrawnSincePresent = false;
  bool m_bCapturedLastPresent = false;
  GLuint m_vao = 0;
  GLuint m_fbo = 0;
  GLuint m_colorRb = 0;
  GLuint m_depthRb = 0;
  GLuint m_aSamplers[gc_uiD3D9_TEXTURE_UNITS] = {};
  UINT m_uiWidth = 0;
  UINT m_uiHeight = 0;
  std::map<UINT, GLuint> m_buffers;
  std::map<GLuint, bool> m_bufferUsage;
  std::map<UINT, SGLTexture> m_textures;
  std::map<UINT, SGLProgram> m_programs;
  std::vector<SFramebuffer> m_framebuffers;
  std::vector<SPendingDepthClear> m_pendingDepthClears;
  GLuint m_boundFramebuffer = ~0u;
  UINT m_uiNextHandle = 0;
  UINT m_boundStream = ~0u;
  UINT m_boundIndices = ~0u;
  SD3D9State m_applied{};
  std::array<SD3D9TextureBinding, gc_uiD3D9_TEXTURE_UNITS> m_appliedTextures{};
  std::array<std::array<DWORD, gc_uiD3D9_SAMPLER_STATE_SLOTS>, gc_uiD3D9_TEXTURE_UNITS> m_appliedSamplers{};
  bool m_bSamplersApplied = false;
  bool m_bApplied = false;
  bool m_bDepthTestOn = false;
  UINT m_uiErrors = 0;
  std::vector<DWORD> m_captured;
  UINT m_uiCapturedWidth = 0;
  UINT m_uiCapturedHeight = 0;
};

}  // namespace

CD3D9Backend* D3D9CreateGLBackend(bool bStateCache) { return new CD3D9BackendGL(bStateCache); }
