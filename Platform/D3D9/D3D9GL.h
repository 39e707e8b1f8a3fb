// Private to Platform/D3D9: the OpenGL 3.3 core entry points the stand-in calls, loaded once per context through
// SDL_GL_GetProcAddress into one table (no loader library).
#pragma once

#include <GL/glcorearb.h>

#define D3D9_GL_FUNCTIONS(X)                                                   \
  X(PFNGLGETERRORPROC, GetError)                                               \
  X(PFNGLGETSTRINGPROC, GetString)                                             \
  X(PFNGLGETINTEGERVPROC, GetIntegerv)                                         \
  X(PFNGLENABLEPROC, Enable)                                                   \
  X(PFNGLDISABLEPROC, Disable)                                                 \
  X(PFNGLVIEWPORTPROC, Viewport)                                               \
  X(PFNGLDEPTHRANGEPROC, DepthRange)                                           \
  X(PFNGLSCISSORPROC, Scissor)                                                 \
  X(PFNGLCLEARCOLORPROC, ClearColor)                                           \
  X(PFNGLCLEARDEPTHPROC, ClearDepth)                                           \
  X(PFNGLCLEARSTENCILPROC, ClearStencil)                                       \
  X(PFNGLCLEARPROC, Clear)                                                     \
  X(PFNGLCOLORMASKPROC, ColorMask)                                             \
  X(PFNGLDEPTHMASKPROC, DepthMask)                                             \
  X(PFNGLDEPTHFUNCPROC, DepthFunc)                                             \
  X(PFNGLCULLFACEPROC, CullFace)                                               \
  X(PFNGLFRONTFACEPROC, FrontFace)                                             \
  X(PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC, GetFramebufferAttachmentParameteriv) \
  X(PFNGLPOLYGONMODEPROC, PolygonMode)                                         \
  X(PFNGLBLENDFUNCPROC, BlendFunc)                                             \
  X(PFNGLBLENDEQUATIONPROC, BlendEquation)                                     \
  X(PFNGLFINISHPROC, Finish)                                                   \
  X(PFNGLFLUSHPROC, Flush)                                                     \
  X(PFNGLREADPIXELSPROC, ReadPixels)                                           \
  X(PFNGLREADBUFFERPROC, ReadBuffer)                                           \
  X(PFNGLDRAWBUFFERPROC, DrawBuffer)                                           \
  X(PFNGLPIXELSTOREIPROC, PixelStorei)                                         \
  X(PFNGLGENBUFFERSPROC, GenBuffers)                                           \
  X(PFNGLBINDBUFFERPROC, BindBuffer)                                           \
  X(PFNGLBUFFERDATAPROC, BufferData)                                           \
  X(PFNGLBUFFERSUBDATAPROC, BufferSubData)                                     \
  X(PFNGLDELETEBUFFERSPROC, DeleteBuffers)                                     \
  X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                                 \
  X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                                 \
  X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                           \
  X(PFNGLENABLEVERTEXATTRIBARRAYPROC, EnableVertexAttribArray)                 \
  X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, DisableVertexAttribArray)               \
  X(PFNGLVERTEXATTRIBPOINTERPROC, VertexAttribPointer)                         \
  X(PFNGLVERTEXATTRIB4FPROC, VertexAttrib4f)                                   \
  X(PFNGLDRAWARRAYSPROC, DrawArrays)                                           \
  X(PFNGLDRAWELEMENTSBASEVERTEXPROC, DrawElementsBaseVertex)                   \
  X(PFNGLCREATESHADERPROC, CreateShader)                                       \
  X(PFNGLSHADERSOURCEPROC, ShaderSource)                                       \
  X(PFNGLCOMPILESHADERPROC, CompileShader)                                     \
  X(PFNGLGETSHADERIVPROC, GetShaderiv)                                         \
  X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                               \
  X(PFNGLDELETESHADERPROC, DeleteShader)                                       \
  X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                     \
  X(PFNGLATTACHSHADERPROC, AttachShader)                                       \
  X(PFNGLBINDATTRIBLOCATIONPROC, BindAttribLocation)                           \
  X(PFNGLLINKPROGRAMPROC, LinkProgram)                                         \
  X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                       \
  X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                             \
  X(PFNGLUSEPROGRAMPROC, UseProgram)                                           \
  X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                     \
  X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                           \
  X(PFNGLUNIFORMMATRIX4FVPROC, UniformMatrix4fv)                               \
  X(PFNGLUNIFORM2FPROC, Uniform2f)                                             \
  X(PFNGLUNIFORM1IPROC, Uniform1i)                                             \
  X(PFNGLUNIFORM1FPROC, Uniform1f)                                             \
  X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                 \
  X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                 \
  X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                           \
  X(PFNGLFRAMEBUFFERRENDERBUFFERPROC, FramebufferRenderbuffer)                 \
  X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                       \
  X(PFNGLDRAWBUFFERSPROC, DrawBuffers)                                         \
  X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                   \
  X(PFNGLGENRENDERBUFFERSPROC, GenRenderbuffers)                               \
  X(PFNGLBINDRENDERBUFFERPROC, BindRenderbuffer)                               \
  X(PFNGLRENDERBUFFERSTORAGEPROC, RenderbufferStorage)                         \
  X(PFNGLDELETERENDERBUFFERSPROC, DeleteRenderbuffers)                         \
  X(PFNGLBLITFRAMEBUFFERPROC, BlitFramebuffer)                                 \
  X(PFNGLFENCESYNCPROC, FenceSync)                                             \
  X(PFNGLCLIENTWAITSYNCPROC, ClientWaitSync)                                   \
  X(PFNGLDELETESYNCPROC, DeleteSync)                                           \
  X(PFNGLUNIFORM1FVPROC, Uniform1fv)                                           \
  X(PFNGLUNIFORM2FVPROC, Uniform2fv)                                           \
  X(PFNGLUNIFORM3FVPROC, Uniform3fv)                                           \
  X(PFNGLUNIFORM4FVPROC, Uniform4fv)                                           \
  X(PFNGLUNIFORM1IVPROC, Uniform1iv)                                           \
  X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                     \
  X(PFNGLGENTEXTURESPROC, GenTextures)                                         \
  X(PFNGLBINDTEXTUREPROC, BindTexture)                                         \
  X(PFNGLDELETETEXTURESPROC, DeleteTextures)                                   \
  X(PFNGLTEXIMAGE2DPROC, TexImage2D)                                           \
  X(PFNGLTEXSUBIMAGE2DPROC, TexSubImage2D)                                     \
  X(PFNGLTEXPARAMETERIPROC, TexParameteri)                                     \
  X(PFNGLGETTEXIMAGEPROC, GetTexImage)                                         \
  X(PFNGLGENERATEMIPMAPPROC, GenerateMipmap)                                   \
  X(PFNGLGENSAMPLERSPROC, GenSamplers)                                         \
  X(PFNGLDELETESAMPLERSPROC, DeleteSamplers)                                   \
  X(PFNGLBINDSAMPLERPROC, BindSampler)                                         \
  X(PFNGLSAMPLERPARAMETERIPROC, SamplerParameteri)                             \
  X(PFNGLSAMPLERPARAMETERFPROC, SamplerParameterf)                             \
  X(PFNGLSAMPLERPARAMETERFVPROC, SamplerParameterfv)

struct SD3D9GLFunctions {
#define D3D9_GL_MEMBER(type, name) type name = nullptr;
  D3D9_GL_FUNCTIONS(D3D9_GL_MEMBER)
#undef D3D9_GL_MEMBER
};

// Loads every entry point of the current context; false (with the missing name) when one is absent.
bool D3D9LoadGLFunctions(SD3D9GLFunctions* pGL, const char** ppMissing);
