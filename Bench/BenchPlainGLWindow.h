// The plain side of the game's frame benchmarks: a window of the game's size with an OpenGL 3.3 core context, made
// with SDL alone.
#pragma once

#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdint>
#include <string>
#include <utility>

#include "Bench/BenchGameRun.h"
#include "Platform/D3D9/D3D9GL.h"

// A 1920 x 1080 window with an OpenGL 3.3 core context, no vsync, and its functions; open says why it failed. The
// context is current on the calling thread after open; release and acquire move it to another thread (one thread
// at a time, as EGL wants for a window surface).
class CPlainGLWindow {
 public:
  bool open(std::string* pError) {
    useDisplayOrOffscreen();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      *pError = SDL_GetError();
      return false;
    }
    m_bVideo = true;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    m_pWindow = SDL_CreateWindow("plain", 0, 0, gc_iGAME_WIDTH, gc_iGAME_HEIGHT, SDL_WINDOW_OPENGL);
    m_context = m_pWindow != nullptr ? SDL_GL_CreateContext(m_pWindow) : nullptr;
    const char* pMissing = nullptr;
    if (m_context == nullptr || !D3D9LoadGLFunctions(&gl, &pMissing)) {
      *pError = m_context == nullptr ? SDL_GetError() : pMissing;
      return false;
    }
    SDL_GL_SetSwapInterval(0);
    return true;
  }
  // open, or the benchmark stopped with the reason.
  bool openFor(benchmark::State& state) {
    std::string error;
    if (open(&error)) return true;
    state.SkipWithError(error.c_str());
    return false;
  }
  ~CPlainGLWindow() {
    if (m_context != nullptr) {
      SDL_GL_MakeCurrent(m_pWindow, m_context);
      SDL_GL_DeleteContext(m_context);
    }
    if (m_pWindow != nullptr) SDL_DestroyWindow(m_pWindow);
    if (m_bVideo) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  void release() { SDL_GL_MakeCurrent(m_pWindow, nullptr); }
  bool acquire() { return SDL_GL_MakeCurrent(m_pWindow, m_context) == 0; }
  void swap() { SDL_GL_SwapWindow(m_pWindow); }
  // A program from the two sources, in use; 0 when one does not compile or they do not link.
  GLuint useProgram(const char* pVertex, const char* pFragment) {
    const GLuint program = gl.CreateProgram();
    for (const auto& [eKind, pSource] :
         {std::pair{GL_VERTEX_SHADER, pVertex}, std::pair{GL_FRAGMENT_SHADER, pFragment}}) {
      const GLuint shader = gl.CreateShader(eKind);
      gl.ShaderSource(shader, 1, &pSource, nullptr);
      gl.CompileShader(shader);
      gl.AttachShader(program, shader);
      gl.DeleteShader(shader);
    }
    gl.LinkProgram(program);
    GLint iLinked = 0;
    gl.GetProgramiv(program, GL_LINK_STATUS, &iLinked);
    if (iLinked == 0) {
      gl.DeleteProgram(program);
      return 0;
    }
    gl.UseProgram(program);
    return program;
  }

  // A w x h texture of 32-bit BGRA texels (nullptr: contents undefined, for a render target), bound to the active
  // unit, with one filter and one wrap mode for both axes.
  GLuint makeTexture(GLsizei iWidth, GLsizei iHeight, const uint32_t* pTexels, GLint iFilter, GLint iWrap) {
    GLuint texture = 0;
    gl.GenTextures(1, &texture);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, iFilter);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, iFilter);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, iWrap);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, iWrap);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, iWidth, iHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, pTexels);
    return texture;
  }

  SD3D9GLFunctions gl;

 private:
  bool m_bVideo = false;
  SDL_Window* m_pWindow = nullptr;
  SDL_GLContext m_context = nullptr;
};
