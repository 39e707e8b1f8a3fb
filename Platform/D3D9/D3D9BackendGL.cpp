// The OpenGL 3.3 core back end: one context on the window, the back buffer as a framebuffer object whose row 0 is
// the top row, and the fixed-function subset as one small program. States reach GL lazily, at the draw or clear
// that needs them, through tables indexed by the Direct3D enumerations.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "Platform/D3D9/D3D9GL.h"
#include "Platform/D3D9/D3D9Internal.h"

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
static_assert(sizeof(gc_aCompare) / sizeof(gc_aCompare[0]) == D3DCMP_ALWAYS + 1);
static_assert(sizeof(gc_aBlend) / sizeof(gc_aBlend[0]) == D3DBLEND_INVDESTCOLOR + 1);
static_assert(sizeof(gc_aBlendOp) / sizeof(gc_aBlendOp[0]) == D3DBLENDOP_MAX + 1);
static_assert(sizeof(gc_aPrimitive) / sizeof(gc_aPrimitive[0]) == D3DPT_TRIANGLEFAN + 1);

template <size_t N>
GLenum lookUp(const GLenum (&table)[N], DWORD dwValue, GLenum eFallback) {
  return dwValue < N && table[dwValue] != 0 ? table[dwValue] : eFallback;
}

// Direct3D's clip space has y up and depth 0..1, and puts pixel centres on integer coordinates; the framebuffer
// keeps the top row first. So y is mirrored, depth is widened to GL's -1..1 (glDepthRange then maps it back onto
// the viewport's MinZ..MaxZ) and positions move half a pixel right and down.
constexpr const char* gc_pVERTEX_SHADER = R"(#version 330 core
layout(location = 0) in vec4 a_position;
layout(location = 1) in vec4 a_color;
uniform mat4 u_worldViewProjection;
uniform vec2 u_halfPixel;
out vec4 v_color;
void main() {
  vec4 p = u_worldViewProjection * a_position;
  p.z = p.z * 2.0 - p.w;
  p.y = -p.y;
  p.xy += u_halfPixel * p.w;
  gl_Position = p;
  v_color = a_color;
}
)";

constexpr const char* gc_pFRAGMENT_SHADER = R"(#version 330 core
in vec4 v_color;
out vec4 o_color;
uniform int u_alphaFunc;
uniform float u_alphaRef;
void main() {
  float a = v_color.a;
  bool pass = true;
  if (u_alphaFunc == 1) pass = false;
  else if (u_alphaFunc == 2) pass = a < u_alphaRef;
  else if (u_alphaFunc == 3) pass = a == u_alphaRef;
  else if (u_alphaFunc == 4) pass = a <= u_alphaRef;
  else if (u_alphaFunc == 5) pass = a > u_alphaRef;
  else if (u_alphaFunc == 6) pass = a != u_alphaRef;
  else if (u_alphaFunc == 7) pass = a >= u_alphaRef;
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
    if (!buildProgram(pError)) {
      destroyContext();
      return false;
    }
    m_gl.GenVertexArrays(1, &m_vao);
    m_gl.BindVertexArray(m_vao);
    m_gl.GenFramebuffers(1, &m_fbo);
    m_gl.GenRenderbuffers(1, &m_colorRb);
    m_gl.GenRenderbuffers(1, &m_depthRb);
    resizeBackBuffer(uiWidth, uiHeight);
    m_gl.FrontFace(GL_CCW);
    check("context set-up");
    return true;
  }

  void destroyContext() override {
    if (m_context == nullptr) return;
    if (m_gl.DeleteProgram != nullptr && m_program != 0) {
      m_gl.DeleteProgram(m_program);
      m_gl.DeleteVertexArrays(1, &m_vao);
      m_gl.DeleteFramebuffers(1, &m_fbo);
      m_gl.DeleteRenderbuffers(1, &m_colorRb);
      m_gl.DeleteRenderbuffers(1, &m_depthRb);
      for (auto& [handle, buffer] : m_buffers) {
        m_gl.DeleteBuffers(1, &buffer);
      }
      m_buffers.clear();
    }
    SDL_GL_MakeCurrent(mp_pWindow, nullptr);
    SDL_GL_DeleteContext(m_context);
    m_context = nullptr;
  }

  void makeCurrent() override { SDL_GL_MakeCurrent(mp_pWindow, m_context); }
  void releaseCurrent() override { SDL_GL_MakeCurrent(mp_pWindow, nullptr); }

  void resizeBackBuffer(UINT uiWidth, UINT uiHeight) override {
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
    m_gl.BindRenderbuffer(GL_RENDERBUFFER, m_colorRb);
    m_gl.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(uiWidth), static_cast<GLsizei>(uiHeight));
    m_gl.BindRenderbuffer(GL_RENDERBUFFER, m_depthRb);
    m_gl.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, static_cast<GLsizei>(uiWidth),
                             static_cast<GLsizei>(uiHeight));
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    m_gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colorRb);
    m_gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, m_depthRb);
    if (m_gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      std::fprintf(stderr, "D3D9 stand-in: back buffer %ux%u incomplete\n", uiWidth, uiHeight);
      ++m_uiErrors;
    }
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
    m_gl.Enable(GL_SCISSOR_TEST);
    m_gl.Scissor(area.left, area.top, area.right - area.left, area.bottom - area.top);
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
    // Put back what the draws expect.
    const DWORD dwWrite = m_applied.renderStates[D3DRS_COLORWRITEENABLE];
    m_gl.ColorMask((dwWrite & 1) != 0, (dwWrite & 2) != 0, (dwWrite & 4) != 0, (dwWrite & 8) != 0);
    m_gl.DepthMask(m_applied.renderStates[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    applyScissor(m_applied, true);
    check("Clear");
  }

  void draw(const SD3D9State& state, UINT uiDirty, D3DPRIMITIVETYPE eType, UINT uiFirst, UINT uiCount, bool bIndexed,
            INT iBaseVertex) override {
    apply(state, uiDirty);
    const GLenum eMode = lookUp(gc_aPrimitive, eType, GL_TRIANGLES);
    if (bIndexed) {
      const size_t uiIndexSize = state.bIndex32 ? 4 : 2;
      m_gl.DrawElementsBaseVertex(eMode, static_cast<GLsizei>(uiCount), state.bIndex32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                  reinterpret_cast<const void*>(uiFirst * uiIndexSize), iBaseVertex);
    } else {
      m_gl.DrawArrays(eMode, static_cast<GLint>(uiFirst), static_cast<GLsizei>(uiCount));
    }
    check("draw");
  }

  void present(bool bCaptureWindow) override {
    int iWindowWidth = 0;
    int iWindowHeight = 0;
    SDL_GL_GetDrawableSize(mp_pWindow, &iWindowWidth, &iWindowHeight);
    m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
    m_gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    m_gl.Disable(GL_SCISSOR_TEST);
    const bool bSameSize = iWindowWidth == static_cast<int>(m_uiWidth) && iWindowHeight == static_cast<int>(m_uiHeight);
    // The back buffer keeps its top row first; the window's first row is its bottom one.
    m_gl.BlitFramebuffer(0, 0, static_cast<GLint>(m_uiWidth), static_cast<GLint>(m_uiHeight), 0, iWindowHeight,
                         iWindowWidth, 0, GL_COLOR_BUFFER_BIT, bSameSize ? GL_NEAREST : GL_LINEAR);
    if (bCaptureWindow) {
      m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
      m_captured = readRows(iWindowWidth, iWindowHeight, true);
      m_uiCapturedWidth = static_cast<UINT>(iWindowWidth);
      m_uiCapturedHeight = static_cast<UINT>(iWindowHeight);
    }
    check("Present blit");
    SDL_GL_SwapWindow(mp_pWindow);
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    applyScissor(m_applied, true);
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
    m_gl.BindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
    *pWidth = m_uiWidth;
    *pHeight = m_uiHeight;
    std::vector<DWORD> pixels = readRows(static_cast<int>(m_uiWidth), static_cast<int>(m_uiHeight), false);
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
  bool compile(GLenum eKind, const char* pSource, GLuint* pShader, std::string* pError) {
    *pShader = m_gl.CreateShader(eKind);
    m_gl.ShaderSource(*pShader, 1, &pSource, nullptr);
    m_gl.CompileShader(*pShader);
    GLint iOk = 0;
    m_gl.GetShaderiv(*pShader, GL_COMPILE_STATUS, &iOk);
    if (!iOk) {
      char szLog[1024] = {};
      m_gl.GetShaderInfoLog(*pShader, sizeof(szLog), nullptr, szLog);
      *pError = std::string("fixed-function shader does not compile: ") + szLog;
      return false;
    }
    return true;
  }

  bool buildProgram(std::string* pError) {
    GLuint vertex = 0;
    GLuint fragment = 0;
    if (!compile(GL_VERTEX_SHADER, gc_pVERTEX_SHADER, &vertex, pError) ||
        !compile(GL_FRAGMENT_SHADER, gc_pFRAGMENT_SHADER, &fragment, pError)) {
      return false;
    }
    m_program = m_gl.CreateProgram();
    m_gl.AttachShader(m_program, vertex);
    m_gl.AttachShader(m_program, fragment);
    m_gl.LinkProgram(m_program);
    m_gl.DeleteShader(vertex);
    m_gl.DeleteShader(fragment);
    GLint iOk = 0;
    m_gl.GetProgramiv(m_program, GL_LINK_STATUS, &iOk);
    if (!iOk) {
      *pError = "fixed-function program does not link";
      return false;
    }
    m_gl.UseProgram(m_program);
    m_iWvpLocation = m_gl.GetUniformLocation(m_program, "u_worldViewProjection");
    m_iHalfPixelLocation = m_gl.GetUniformLocation(m_program, "u_halfPixel");
    m_iAlphaFuncLocation = m_gl.GetUniformLocation(m_program, "u_alphaFunc");
    m_iAlphaRefLocation = m_gl.GetUniformLocation(m_program, "u_alphaRef");
    return true;
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

  void applyScissor(const SD3D9State& state, bool bForce) {
    (void)bForce;
    if (state.renderStates[D3DRS_SCISSORTESTENABLE]) {
      m_gl.Enable(GL_SCISSOR_TEST);
      m_gl.Scissor(state.scissor.left, state.scissor.top, state.scissor.right - state.scissor.left,
                   state.scissor.bottom - state.scissor.top);
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
    if (changed(state, D3DRS_ALPHATESTENABLE) || changed(state, D3DRS_ALPHAFUNC) || changed(state, D3DRS_ALPHAREF)) {
      m_gl.Uniform1i(m_iAlphaFuncLocation,
                     rs[D3DRS_ALPHATESTENABLE] ? static_cast<GLint>(rs[D3DRS_ALPHAFUNC]) : static_cast<GLint>(D3DCMP_ALWAYS));
      m_gl.Uniform1f(m_iAlphaRefLocation, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xff) / 255.0f);
    }
    if (changed(state, D3DRS_SCISSORTESTENABLE)) applyScissor(state, true);
  }

  void apply(const SD3D9State& state, UINT uiDirty) {
    if (!m_bApplied) uiDirty = D3D9_DIRTY_ALL;
    m_gl.BindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    if (uiDirty & D3D9_DIRTY_TRANSFORM) {
      const D3DMATRIX wvp = multiply(multiply(state.world, state.view), state.projection);
      // Row-major data read as a column-major GL matrix is the transpose, so M * v in GLSL is v x M.
      m_gl.UniformMatrix4fv(m_iWvpLocation, 1, GL_FALSE, &wvp.m[0][0]);
    }
    if (uiDirty & D3D9_DIRTY_VIEWPORT) {
      const D3DVIEWPORT9& vp = state.viewport;
      m_gl.Viewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
                    static_cast<GLsizei>(vp.Height));
      m_gl.DepthRange(vp.MinZ, vp.MaxZ);
      m_gl.Uniform2f(m_iHalfPixelLocation, 1.0f / static_cast<float>(vp.Width), 1.0f / static_cast<float>(vp.Height));
    }
    if (uiDirty & D3D9_DIRTY_RENDER_STATE) {
      applyRenderStates(state);
    }
    if ((uiDirty & D3D9_DIRTY_SCISSOR) && state.renderStates[D3DRS_SCISSORTESTENABLE]) {
      applyScissor(state, true);
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

  void bindStream(const SD3D9State& state) {
    auto it = m_buffers.find(state.uiVertexBuffer);
    if (it == m_buffers.end() || !state.bHasLayout) return;
    m_gl.BindBuffer(GL_ARRAY_BUFFER, it->second);
    const GLsizei iStride = static_cast<GLsizei>(state.uiStride);
    const size_t uiBase = state.uiStreamOffset;
    m_gl.EnableVertexAttribArray(0);
    m_gl.VertexAttribPointer(0, state.layout.iPositionComponents, GL_FLOAT, GL_FALSE, iStride,
                             reinterpret_cast<const void*>(uiBase + static_cast<size_t>(state.layout.iPositionOffset)));
    if (state.layout.iColorOffset >= 0) {
      m_gl.EnableVertexAttribArray(1);
      m_gl.VertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, iStride,
                               reinterpret_cast<const void*>(uiBase + static_cast<size_t>(state.layout.iColorOffset)));
    } else {
      m_gl.DisableVertexAttribArray(1);
      m_gl.VertexAttrib4f(1, 1.0f, 1.0f, 1.0f, 1.0f);
    }
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
  GLuint m_program = 0;
  GLuint m_vao = 0;
  GLuint m_fbo = 0;
  GLuint m_colorRb = 0;
  GLuint m_depthRb = 0;
  GLint m_iWvpLocation = -1;
  GLint m_iHalfPixelLocation = -1;
  GLint m_iAlphaFuncLocation = -1;
  GLint m_iAlphaRefLocation = -1;
  UINT m_uiWidth = 0;
  UINT m_uiHeight = 0;
  std::map<UINT, GLuint> m_buffers;
  std::map<GLuint, bool> m_bufferUsage;
  UINT m_uiNextHandle = 0;
  UINT m_boundStream = ~0u;
  UINT m_boundIndices = ~0u;
  SD3D9State m_applied{};
  bool m_bApplied = false;
  bool m_bDepthTestOn = false;
  UINT m_uiErrors = 0;
  std::vector<DWORD> m_captured;
  UINT m_uiCapturedWidth = 0;
  UINT m_uiCapturedHeight = 0;
};

}  // namespace

CD3D9Backend* D3D9CreateGLBackend(bool bStateCache) { return new CD3D9BackendGL(bStateCache); }
