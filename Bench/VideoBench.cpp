// Full-screen video on a 1280 x 720 movie (4 s at 25 frames a second, Windows Media Video 8 with its sound; a test
// picture whose top-left 128 x 128 pixels carry the frame number in their colour, as the counter movies do), made by
// the ffmpeg program the first time the benchmark runs (kept in the temporary folder; never part of the build).
// Headless (SDL offscreen, Mesa llvmpipe).
//   DecodeConvertUpload720p: every frame through the DirectShow stand-in, as fast as it goes (free running): read,
//     decoded and converted on the streaming thread, copied into a 1280 x 720 render-target texture through
//     UpdateSurface and uploaded by the thread that draws with it (here the benchmark's own), one frame handed over
//     at a time; against FFmpeg decoding the same frames and converting each into a 32-bit image, uploaded with
//     glTexSubImage2D into a 1280 x 720 texture of a plain OpenGL context and drawn with by one small triangle, as
//     the engine's side draws. Both sides check that every iteration handed over all of the movie's 100 frames, that
//     the triangle drawn with each showed its number (one pixel inside the counter's corner, read back after the
//     draw: only a copy carried out by that frame's draw puts it there), and after the run that their texture holds
//     the movie's last frame as FFmpeg decodes and converts it (within 3 levels a channel on average: the stand-in
//     converts the pictures itself). GRINDLOW_BENCH_SKIP "DecodeConvertUpload720p.engine.connect" leaves out
//     connecting the source's streams to the renderer, ".baseline.upload" the upload, ".engine.everysecond" the draw
//     of every second frame, ".baseline.everysecond" its upload, ".<side>.repeat" those of every third frame (its
//     picture is the previous one's), and fails that. Both sides draw their triangle once untimed first. The draw
//     samples about 32 x 24 texels of each 1280 x 720 frame: a frame's upload that leaves out part of the picture
//     (its last row) shows only in the last frame, which is compared whole.
//   PlayRealTime720p: the movie played in real time by the engine's player, its frames drawn by the render worker
//     through the game's video path (one iteration = the whole movie); the counters give the frames shown and
//     dropped (late frames the streaming thread skipped). Run pinned to two cores: scripts/bench.sh -c 2.
//   PicturesAgainstSoundRealTime: how far each picture is from the sound heard as it reaches the screen, in real
//     time over ten seconds (the tests check the same timing exactly on a clock they drive).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Bench/BenchCheck.h"
#include "Bench/BenchConditionEnding.h"
#include "Bench/BenchSkip.h"
#include "Code/Graphics/GAMEGraphicsHooks_Win32.h"
#include "Code/Graphics/GAMEVideoFrame_Win32.h"
#include "Corvane/FMV/ClFullScreenFMVPlayer_Win32.h"
#include "Corvane/Files/ClAsyncAssetLoaderMgr.h"
#include "Corvane/Graphics/ClShaderMgr.h"
#include "Corvane/Stats/ClDiffMgr.h"
#include "Corvane/System/ClMutexLock.h"
#include "Platform/DShow/DShow.h"
#include "Platform/DShow/DShowTest.h"
#include "Platform/DShow/VMR9.h"
#include "Platform/D3D9/D3D9GL.h"
#include "Platform/D3D9/D3DX9.h"
#include "Tests/Support/GameVideoTestSupport.h"
#include "Tests/Support/GraphicsTestSupport.h"
#include "Tests/Support/KvTestSupport.h"
#include "Tests/Support/MovieTestSupport.h"

namespace {

constexpr int gc_iWIDTH = 1280;
constexpr int gc_iHEIGHT = 720;
// The benchmark movie's frames: 4 s at 25 a second.
constexpr int64_t gc_iMOVIE_FRAMES = 100;
// What both sides draw into: a 64 x 48 target, where one triangle, from its middle to the right edge and the top
// edge, samples the whole texture (its top-left corner at the middle, its top edge up the middle column); the pixel
// (33, 22) from the top samples texel (60, 45) or so, inside the counter's 128 x 128 corner.
constexpr int gc_iTARGET_WIDTH = 64;
constexpr int gc_iTARGET_HEIGHT = 48;
constexpr int gc_iCOUNTER_X = 33;
constexpr int gc_iCOUNTER_Y = 22;

// An empty answer when the pixel drawn in frame iFrame of a run (gc_iMOVIE_FRAMES a movie) shows its number.
std::string checkCounter(i64 iFrame, const u32* puiPixel) {
  const int iShown = counterFrameNumber(*puiPixel);
  if (iShown == iFrame % gc_iMOVIE_FRAMES) return std::string();
  return "the triangle showed frame " + std::to_string(iShown) + " of the movie, not " +
         std::to_string(iFrame % gc_iMOVIE_FRAMES);
}

// The drawing thread's waits for a frame, and how many in a row without one make a stalled graph (30 s).
constexpr int gc_iSTALL_WAIT_MS = 2;
constexpr int gc_iSTALL_WAITS = 15000;

// The benchmark movie, made once.
const std::string& benchMovie() {
  static const std::string s_path = [] {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "grindlow_bench_video";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "Bench_Counter_720p.wmv").string();
    if (!std::filesystem::exists(path)) {
      const std::string command =
          "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -t 4 -i testsrc2=s=1280x720:r=25 -f lavfi -t 4 "
          "-i sine=frequency=440:sample_rate=44100 -filter_complex \"color=c=black:s=128x128:r=25:d=4,"
          "geq=r='16+32*mod(N,8)':g='16+32*mod(floor(N/8),8)':b='16+32*floor(N/64)'[counter];"
          "[0:v][counter]overlay=0:0:shortest=1[video]\" -map '[video]' -map 1:a -c:v wmv2 -b:v 4M -c:a wmav2 "
          "-b:a 128k -f asf '" + path + ".part' && mv '" + path + ".part' '" + path + "'";
      if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg could not make the benchmark movie");
    }
    return path;
  }();
  return s_path;
}

// --- FFmpeg alone ---

// A small hidden window with an OpenGL 3.3 core context, a 1280 x 720 texture and a program that samples it over
// one triangle; ok is false when any of it failed.
class CPlainUpload {
 public:
  CPlainUpload() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    m_bVideo = true;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    m_pWindow = SDL_CreateWindow("upload", 0, 0, gc_iTARGET_WIDTH, gc_iTARGET_HEIGHT,
                                 SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    m_context = m_pWindow != nullptr ? SDL_GL_CreateContext(m_pWindow) : nullptr;
    const char* pMissing = nullptr;
    if (m_context == nullptr || !D3D9LoadGLFunctions(&gl, &pMissing)) return;
    const char* const apSources[2] = {
        "#version 330 core\nout vec2 v_uv;\n"
        "void main() { v_uv = vec2(gl_VertexID & 1, gl_VertexID >> 1); gl_Position = vec4(v_uv, 0.0, 1.0); }\n",
        "#version 330 core\nin vec2 v_uv; uniform sampler2D u_texture; out vec4 o_color;\n"
        "void main() { o_color = texture(u_texture, v_uv); }\n"};
    m_program = gl.CreateProgram();
    for (int i = 0; i < 2; ++i) {
      const GLuint shader = gl.CreateShader(i == 0 ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
      gl.ShaderSource(shader, 1, &apSources[i], nullptr);
      gl.CompileShader(shader);
      gl.AttachShader(m_program, shader);
      gl.DeleteShader(shader);
    }
    gl.LinkProgram(m_program);
    GLint iLinked = 0;
    gl.GetProgramiv(m_program, GL_LINK_STATUS, &iLinked);
    gl.UseProgram(m_program);
    gl.GenVertexArrays(1, &m_vao);
    gl.BindVertexArray(m_vao);
    gl.GenTextures(1, &m_texture);
    gl.BindTexture(GL_TEXTURE_2D, m_texture);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, gc_iWIDTH, gc_iHEIGHT, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    gl.Viewport(0, 0, gc_iTARGET_WIDTH, gc_iTARGET_HEIGHT);
    m_bOk = iLinked != 0 && gl.GetError() == GL_NO_ERROR;
  }
  ~CPlainUpload() {
    if (m_context != nullptr) {
      if (m_texture != 0) gl.DeleteTextures(1, &m_texture);
      if (m_vao != 0) gl.DeleteVertexArrays(1, &m_vao);
      if (m_program != 0) gl.DeleteProgram(m_program);
      SDL_GL_DeleteContext(m_context);
    }
    if (m_pWindow != nullptr) SDL_DestroyWindow(m_pWindow);
    if (m_bVideo) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  bool ok() const { return m_bOk; }
  // The image (32-bit BGRX rows, tightly packed) into the texture unless bUpload is false, then the triangle that
  // samples it; the drawn pixel inside the counter's corner, read back with the rest of the window as the engine's
  // side reads its back buffer.
  u32 uploadAndDraw(const uint8_t* pImage, bool bUpload) {
    if (bUpload) gl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, gc_iWIDTH, gc_iHEIGHT, GL_BGRA, GL_UNSIGNED_BYTE, pImage);
    gl.DrawArrays(GL_TRIANGLES, 0, 3);
    gl.ReadPixels(0, 0, gc_iTARGET_WIDTH, gc_iTARGET_HEIGHT, GL_BGRA, GL_UNSIGNED_BYTE, m_window.data());
    return m_window[static_cast<size_t>(gc_iTARGET_HEIGHT - 1 - gc_iCOUNTER_Y) * gc_iTARGET_WIDTH + gc_iCOUNTER_X];
  }

  SD3D9GLFunctions gl;

 private:
  bool m_bVideo = false;
  bool m_bOk = false;
  SDL_Window* m_pWindow = nullptr;
  SDL_GLContext m_context = nullptr;
  GLuint m_program = 0;
  GLuint m_vao = 0;
  GLuint m_texture = 0;
  std::vector<u32> m_window = std::vector<u32>(static_cast<size_t>(gc_iTARGET_WIDTH) * gc_iTARGET_HEIGHT);
};

// Decodes every frame of the movie with FFmpeg (one thread) and converts each into *pImage (32-bit BGRX rows, tightly
// packed), calling onFrame after each; the frames decoded, or -1 when the movie could not be opened.
int64_t decodeAndConvert(const std::string& path, std::vector<uint8_t>* pImage, const std::function<void()>& onFrame) {
  AVFormatContext* pFormat = nullptr;
  if (avformat_open_input(&pFormat, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(pFormat, nullptr) < 0) {
    return -1;
  }
  const int iStream = av_find_best_stream(pFormat, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* pCodec = avcodec_find_decoder(pFormat->streams[iStream]->codecpar->codec_id);
  AVCodecContext* pContext = avcodec_alloc_context3(pCodec);
  avcodec_parameters_to_context(pContext, pFormat->streams[iStream]->codecpar);
  pContext->thread_count = 1;
  avcodec_open2(pContext, pCodec, nullptr);
  SwsContext* pScale = nullptr;
  AVPacket* pPacket = av_packet_alloc();
  AVFrame* pFrame = av_frame_alloc();
  pImage->resize(static_cast<size_t>(gc_iWIDTH) * gc_iHEIGHT * 4);
  int64_t iFrames = 0;
  const auto drain = [&] {
    while (avcodec_receive_frame(pContext, pFrame) == 0) {
      pScale = sws_getCachedContext(pScale, pFrame->width, pFrame->height, static_cast<AVPixelFormat>(pFrame->format),
                                    gc_iWIDTH, gc_iHEIGHT, AV_PIX_FMT_BGR0, SWS_BILINEAR, nullptr, nullptr, nullptr);
      uint8_t* apOut[4] = {pImage->data(), nullptr, nullptr, nullptr};
      int aiPitch[4] = {gc_iWIDTH * 4, 0, 0, 0};
      sws_scale(pScale, pFrame->data, pFrame->linesize, 0, pFrame->height, apOut, aiPitch);
      onFrame();
      ++iFrames;
    }
  };
  while (av_read_frame(pFormat, pPacket) >= 0) {
    if (pPacket->stream_index == iStream) {
      avcodec_send_packet(pContext, pPacket);
      drain();
    }
    av_packet_unref(pPacket);
  }
  avcodec_send_packet(pContext, nullptr);
  drain();
  av_frame_free(&pFrame);
  av_packet_free(&pPacket);
  sws_freeContext(pScale);
  avcodec_free_context(&pContext);
  avformat_close_input(&pFormat);
  return iFrames;
}

// The movie's last frame as FFmpeg decodes and converts it (32-bit BGRX rows); empty when it could not be decoded.
const std::vector<uint8_t>& lastFrame() {
  static const std::vector<uint8_t> s_image = [] {
    std::vector<uint8_t> image;
    return decodeAndConvert(benchMovie(), &image, [] {}) == gc_iMOVIE_FRAMES ? image : std::vector<uint8_t>();
  }();
  return s_image;
}

// An empty answer when the picture (0xAARRGGBB words, row 0 the top) is the movie's last frame as FFmpeg decodes and
// converts it, within 3 levels a channel on average; else how far it is.
std::string checkLastFrame(const std::vector<uint32_t>& picture) {
  const std::vector<uint8_t>& s_reference = lastFrame();
  if (s_reference.empty()) return "the movie's last frame could not be decoded for the check";
  if (picture.size() != static_cast<size_t>(gc_iWIDTH) * gc_iHEIGHT) {
    return "the texture could not be read (" + std::to_string(picture.size()) + " pixels)";
  }
  double dOff = 0.0;
  for (size_t i = 0; i < picture.size(); ++i) {
    for (int c = 0; c < 3; ++c) {
      dOff += std::abs(static_cast<int>((picture[i] >> (8 * c)) & 0xFFu) - static_cast<int>(s_reference[4 * i + c]));
    }
  }
  dOff /= 3.0 * static_cast<double>(picture.size());
  if (dOff <= 3.0) return std::string();
  return "the texture differs from the movie's last frame by " + std::to_string(dOff) + " levels a channel on average";
}

void BM_Baseline_DecodeConvertUpload720p(benchmark::State& state) {
  const std::string path = benchMovie();
  CPlainUpload upload;
  if (!upload.ok()) {
    state.SkipWithError((std::string("no OpenGL 3.3 context for the upload: ") + SDL_GetError()).c_str());
    return;
  }
  const bool bUpload = !benchSkips("DecodeConvertUpload720p.baseline.upload");
  const CBenchEverySecond everySecond("DecodeConvertUpload720p.baseline");
  const CBenchCheat cheat("DecodeConvertUpload720p.baseline");
  CBenchFrameRecord<u32> counters(state, 1, gc_iMOVIE_FRAMES);
  std::vector<uint8_t> image(static_cast<size_t>(gc_iWIDTH) * gc_iHEIGHT * 4);
  // One untimed draw, as on the engine's side: the driver compiles the triangle's program.
  upload.uploadAndDraw(image.data(), false);
  int64_t iFrames = 0;
  for (auto _ : state) {
    int64_t iFrame = 0;
    const int64_t iDecoded = decodeAndConvert(path, &image, [&] {
      const bool bThisUpload = bUpload && !everySecond.leavesOut(iFrame) && !cheat.repeats(iFrame);
      ++iFrame;
      counters.add(upload.uploadAndDraw(image.data(), bThisUpload));
    });
    if (iDecoded < 0) {
      state.SkipWithError("cannot open the movie");
      return;
    }
    iFrames += iDecoded;
    if (iDecoded != gc_iMOVIE_FRAMES) {
      state.SkipWithError(("frames decoded and uploaded: " + std::to_string(iDecoded) + " of " +
                           std::to_string(gc_iMOVIE_FRAMES)).c_str());
      return;
    }
  }
  std::vector<uint32_t> texture(static_cast<size_t>(gc_iWIDTH) * gc_iHEIGHT);
  upload.gl.GetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texture.data());
  if (upload.gl.GetError() != GL_NO_ERROR) {
    state.SkipWithError("OpenGL errors while uploading");
  } else if (!state.error_occurred()) {
    std::string error = counters.check(iFrames, &checkCounter);
    if (error.empty()) error = checkLastFrame(texture);
    if (!error.empty()) state.SkipWithError(error.c_str());
  }
  state.counters["frames"] = benchmark::Counter(static_cast<double>(iFrames), benchmark::Counter::kIsRate);
}

// --- Through the stand-in ---

LRESULT CALLBACK plainProc(HWND hWnd, UINT uiMsg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hWnd, uiMsg, wParam, lParam);
}

// The program's side for the free-running graph: a render-target texture of the movie's size, and a hand-over of
// one frame at a time to the thread that draws.
class CBenchPresenter final : public IVMRSurfaceAllocator9, public IVMRImagePresenter9 {
 public:
  explicit CBenchPresenter(IDirect3DDevice9* pDevice) : mp_pDevice(pDevice) {}
  HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
    if (riid == IID_IVMRImagePresenter9) {
      *ppvObject = static_cast<IVMRImagePresenter9*>(this);
    } else if (riid == IID_IVMRSurfaceAllocator9 || riid == IID_IUnknown) {
      *ppvObject = static_cast<IVMRSurfaceAllocator9*>(this);
    } else {
      *ppvObject = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT InitializeDevice(DWORD_PTR, VMR9AllocationInfo* pInfo, DWORD*) override {
    if (mp_pTexture != nullptr) mp_pTexture->Release();
    return mp_pDevice->CreateTexture(pInfo->dwWidth, pInfo->dwHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                     D3DPOOL_DEFAULT, &mp_pTexture, nullptr);
  }
  HRESULT TerminateDevice(DWORD_PTR) override { return S_OK; }
  HRESULT GetSurface(DWORD_PTR, DWORD, DWORD, IDirect3DSurface9** ppSurface) override {
    return mp_pTexture->GetSurfaceLevel(0, ppSurface);
  }
  HRESULT AdviseNotify(IVMRSurfaceAllocatorNotify9* pNotify) override { return pNotify->SetD3DDevice(mp_pDevice, nullptr); }
  HRESULT StartPresenting(DWORD_PTR) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStopped = false;
    return S_OK;
  }
  HRESULT StopPresenting(DWORD_PTR) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bStopped = true;
    m_handOver.notify_all();
    return S_OK;
  }
  HRESULT PresentImage(DWORD_PTR, VMR9PresentationInfo*) override {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_bWaiting = true;
    m_handOver.notify_all();
    m_handOver.wait(lock, [this] { return !m_bWaiting || m_bStopped; });
    return S_OK;
  }
  // The drawing thread: waits a little (gc_iSTALL_WAIT_MS) for a frame; true when one waits (drawn, then released
  // with release()).
  bool frameWaiting() {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_handOver.wait_for(lock, std::chrono::milliseconds(gc_iSTALL_WAIT_MS), [this] { return m_bWaiting; });
  }
  void release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bWaiting = false;
    m_handOver.notify_all();
  }

  IDirect3DDevice9* mp_pDevice;
  IDirect3DTexture9* mp_pTexture = nullptr;
  std::mutex m_mutex;
  std::condition_variable m_handOver;
  bool m_bWaiting = false;
  bool m_bStopped = false;
};

struct SVertex {
  float x, y, z;
  DWORD color;
  float u, v;
};

void BM_Engine_DecodeConvertUpload720p(benchmark::State& state) {
  const std::string path = benchMovie();
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  IDirect3D9* pD3D = Direct3DCreate9(D3D_SDK_VERSION);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &plainProc;
  windowClass.lpszClassName = "Video Bench";
  RegisterClassExA(&windowClass);
  HWND hWnd = CreateWindowExA(0, "Video Bench", "Video Bench", WS_POPUP | WS_VISIBLE, 0, 0, gc_iTARGET_WIDTH,
                              gc_iTARGET_HEIGHT, nullptr, nullptr, nullptr, nullptr);
  D3DPRESENT_PARAMETERS params{gc_iTARGET_WIDTH, gc_iTARGET_HEIGHT, D3DFMT_X8R8G8B8, 1, D3DMULTISAMPLE_NONE, 0, D3DSWAPEFFECT_DISCARD,
                               hWnd, TRUE, FALSE, D3DFMT_UNKNOWN, 0, 0, D3DPRESENT_INTERVAL_IMMEDIATE};
  IDirect3DDevice9* pDevice = nullptr;
  if (pD3D == nullptr || pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd, 0, &params, &pDevice) != D3D_OK) {
    state.SkipWithError("no device");
    return;
  }
  // One small triangle drawn with the video texture bound: the draw carries the queued copy out (the upload).
  const SVertex triangle[3] = {{0, 0, 0, 0xFFFFFFFFu, 0, 0}, {1, 0, 0, 0xFFFFFFFFu, 1, 0}, {0, 1, 0, 0xFFFFFFFFu, 0, 1}};
  IDirect3DVertexBuffer9* pBuffer = nullptr;
  const DWORD dwFVF = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
  pDevice->CreateVertexBuffer(sizeof(triangle), D3DUSAGE_WRITEONLY, dwFVF, D3DPOOL_MANAGED, &pBuffer, nullptr);
  void* pData = nullptr;
  pBuffer->Lock(0, 0, &pData, 0);
  std::memcpy(pData, triangle, sizeof(triangle));
  pBuffer->Unlock();
  pDevice->SetFVF(dwFVF);
  pDevice->SetStreamSource(0, pBuffer, 0, sizeof(SVertex));
  // The triangle samples the frame through the engine's premultiplied-image effect (whose pass draws both windings),
  // in clip coordinates.
  std::ifstream effectFile(std::string(KV_CONTENT_EFFECTS_DIR) + "/" + gc_pGAME_VIDEO_SHADER + ".fxo", std::ios::binary);
  const std::vector<char> effectBytes((std::istreambuf_iterator<char>(effectFile)), std::istreambuf_iterator<char>());
  ID3DXEffect* pEffect = nullptr;
  if (D3DXCreateEffect(pDevice, effectBytes.data(), static_cast<UINT>(effectBytes.size()), nullptr, nullptr, 0, nullptr,
                       &pEffect, nullptr) != D3D_OK) {
    state.SkipWithError("the video effect did not load");
    return;
  }
  D3DXMATRIX identity{};
  for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
  pEffect->SetMatrix(pEffect->GetParameterBySemantic(nullptr, "WORLDVIEWPROJ"), &identity);
  UINT uiPasses = 0;
  pEffect->Begin(&uiPasses, 0);
  pEffect->BeginPass(0);

  DShowTestReset();
  DShowTestSetFreeRunning(true);
  CBenchPresenter presenter(pDevice);
  std::u16string widePath(path.begin(), path.end());
  const bool bConnect = !benchSkips("DecodeConvertUpload720p.engine.connect");
  const CBenchEverySecond everySecond("DecodeConvertUpload720p.engine");
  const CBenchCheat cheat("DecodeConvertUpload720p.engine");
  CBenchFrameRecord<u32> counters(state, 1, gc_iMOVIE_FRAMES);
  // One untimed draw, as on the plain side: the rasteriser compiles the effect's shaders.
  pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
  int64_t iFrames = 0;
  for (auto _ : state) {
    const int64_t iFramesBefore = iFrames;
    IFilterGraph2* pGraph = nullptr;
    IBaseFilter* pVMR = nullptr;
    IBaseFilter* pSource = nullptr;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterGraph2,
                     reinterpret_cast<void**>(&pGraph));
    CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_ALL, IID_IBaseFilter, reinterpret_cast<void**>(&pVMR));
    pGraph->AddFilter(pVMR, u"Video Mixing Renderer 9");
    IVMRFilterConfig9* pConfig = nullptr;
    pVMR->QueryInterface(IID_IVMRFilterConfig9, reinterpret_cast<void**>(&pConfig));
    pConfig->SetRenderingMode(VMR9Mode_Renderless);
    IVMRSurfaceAllocatorNotify9* pNotify = nullptr;
    pVMR->QueryInterface(IID_IVMRSurfaceAllocatorNotify9, reinterpret_cast<void**>(&pNotify));
    pNotify->AdviseSurfaceAllocator(1, &presenter);
    presenter.AdviseNotify(pNotify);
    if (pGraph->AddSourceFilter(widePath.c_str(), u"SOURCE", &pSource) != S_OK) {
      state.SkipWithError("cannot open the movie");
      return;
    }
    IEnumPins* pPins = nullptr;
    pSource->EnumPins(&pPins);
    IPin* pPin = nullptr;
    while (pPins->Next(1, &pPin, nullptr) == S_OK) {
      if (bConnect) pGraph->RenderEx(pPin, AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr);
      pPin->Release();
    }
    pPins->Release();
    IMediaControl* pControl = nullptr;
    IMediaEvent* pEvent = nullptr;
    pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&pControl));
    pGraph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&pEvent));
    pControl->Run();
    // A graph that stops handing frames over without completing is given up after 30 s of waits for a frame.
    for (int iIdleWaits = 0; iIdleWaits < gc_iSTALL_WAITS;) {
      if (presenter.frameWaiting()) {
        pEffect->SetTexture("g_tDiffuse", presenter.mp_pTexture);
        pEffect->CommitChanges();
        const int64_t iFrame = iFrames - iFramesBefore;
        if (!everySecond.leavesOut(iFrame) && !cheat.repeats(iFrame)) {
          pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
        }
        pEffect->SetTexture("g_tDiffuse", nullptr);
        pEffect->CommitChanges();
        UINT uiW = 0;
        UINT uiH = 0;
        const std::vector<DWORD> target = D3D9TestReadBackBuffer(pDevice, &uiW, &uiH);
        counters.add(target.size() == static_cast<size_t>(gc_iTARGET_WIDTH) * gc_iTARGET_HEIGHT
                         ? target[static_cast<size_t>(gc_iCOUNTER_Y) * gc_iTARGET_WIDTH + gc_iCOUNTER_X]
                         : 0u);
        presenter.release();
        ++iFrames;
        iIdleWaits = 0;
        continue;
      }
      ++iIdleWaits;
      LONG lCode = 0;
      LONG_PTR p1 = 0;
      LONG_PTR p2 = 0;
      if (pEvent->GetEvent(&lCode, &p1, &p2, 0) == S_OK && lCode == EC_COMPLETE) break;
    }
    pControl->Stop();
    pEvent->Release();
    pControl->Release();
    pNotify->Release();
    pConfig->Release();
    pSource->Release();
    pVMR->Release();
    pGraph->Release();
    if (iFrames - iFramesBefore != gc_iMOVIE_FRAMES) {
      state.SkipWithError(("frames handed over and uploaded: " + std::to_string(iFrames - iFramesBefore) + " of " +
                           std::to_string(gc_iMOVIE_FRAMES)).c_str());
      break;
    }
  }
  state.counters["frames"] = benchmark::Counter(static_cast<double>(iFrames), benchmark::Counter::kIsRate);
  if (!state.error_occurred() && presenter.mp_pTexture != nullptr) {
    UINT uiW = 0;
    UINT uiH = 0;
    const std::vector<DWORD> texture = D3D9TestReadTexture(presenter.mp_pTexture, 0, &uiW, &uiH);
    std::string error = counters.check(iFrames, &checkCounter);
    if (error.empty()) error = checkLastFrame(std::vector<uint32_t>(texture.begin(), texture.end()));
    if (!error.empty()) state.SkipWithError(error.c_str());
  }
  DShowTestReset();
  pEffect->EndPass();
  pEffect->End();
  pEffect->Release();
  pDevice->SetStreamSource(0, nullptr, 0, 0);
  pBuffer->Release();
  if (presenter.mp_pTexture != nullptr) presenter.mp_pTexture->Release();
  pDevice->Release();
  pD3D->Release();
  DestroyWindow(hWnd);
  UnregisterClassA("Video Bench", nullptr);
  Win32TestReset();
}

// --- Real time through the engine ---

// The game's hooks for the 720p case: frames without a movie are let go (the benchmark has no scene render targets
// for the game's own picture).
class CMovieOnlyHooks : public ClGAMEGraphicsHooks {
 public:
  void renderFrame() override {
    if (ClFullScreenFMVPlayer_Win32::isVideoShowing()) {
      ClGAMEGraphicsHooks::renderFrame();
    } else {
      discardFrame();
    }
  }
};

// The engine's player with graphics (640 x 480) and the render worker on a data root of its own in the temporary
// folder, whose FMV/ holds the movie under its own name.
class CPlayerRig {
 public:
  template <typename THooks>
  CPlayerRig(THooks* pHooks, const std::string& moviePath) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    m_root = std::filesystem::temp_directory_path() / ("grindlow_bench_video_root_" + std::to_string(getpid()));
    std::filesystem::create_directories(m_root / "FMV");
    std::filesystem::create_directories(m_root / "Shaders");
    std::filesystem::copy_file(moviePath, m_root / "FMV" / std::filesystem::path(moviePath).filename(),
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(std::string(KV_CONTENT_EFFECTS_DIR) + "/" + gc_pGAME_VIDEO_SHADER + ".fxo",
                               m_root / "Shaders" / (std::string(gc_pGAME_VIDEO_SHADER) + ".fxo"),
                               std::filesystem::copy_options::overwrite_existing);
    m_savedCwd = std::filesystem::current_path();
    std::filesystem::current_path(m_root);
    ClMutexLock::initializePool();
    KvTestStartFileIO();
    ClAsyncAssetLoaderMgr::initialize();
    KvTestPrepareGraphics(pHooks, "", true, 640, 480);
    ClGraphics::initialize();
    KvTestStartShadersAndSignatures();
    ClShaderMgr::createShader(gc_pGAME_VIDEO_SHADER);
    ClDiffMgr::mp_bInitialized = true;
    ClFullScreenFMVPlayer_Win32::initialize();
  }
  ~CPlayerRig() {
    ClFullScreenFMVPlayer_Win32::close();
    GAMEReleaseVideoFrameObjects();
    ClDiffMgr::mp_bInitialized = false;
    KvTestStopShadersAndSignatures();
    ClAsyncAssetLoaderMgr::terminate();
    KvTestStopGraphics();
    KvTestStopFileIO();
    std::filesystem::current_path(m_savedCwd);
    std::filesystem::remove_all(m_root);
  }

  // Plays the movie in real time to its end, the main loop handing each frame to the render worker; the graph's
  // figures from before it closed. False (with the reason) when the movie did not start or did not end within a
  // minute.
  static bool play(const char* pName, SDShowStats* pStats, const char** ppError) {
    if (ClFullScreenFMVPlayer_Win32::play(pName, 1.0f) != 1) {
      *ppError = "the movie did not start";
      return false;
    }
    const auto start = std::chrono::steady_clock::now();
    while (ClFullScreenFMVPlayer_Win32::getState() == E_FMV_STATE_RUNNING &&
           std::chrono::steady_clock::now() - start < std::chrono::minutes(1)) {
      MSG msg{};
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      ClGraphics::endFrame();
    }
    const bool bEnded = ClFullScreenFMVPlayer_Win32::getState() == E_FMV_STATE_STOPPED;
    DShowTestGetStats(ClFullScreenFMVPlayer_Win32::mp_pGraph, pStats);
    ClFullScreenFMVPlayer_Win32::close();
    if (!bEnded) *ppError = "the movie did not end";
    return bEnded;
  }

 private:
  std::filesystem::path m_root;
  std::filesystem::path m_savedCwd;
};

void BM_Engine_PlayRealTime720p(benchmark::State& state) {
  const std::string path = benchMovie();
  CMovieOnlyHooks hooks;
  CPlayerRig rig(&hooks, path);
  double dDropped = 0.0;
  double dShown = 0.0;
  for (auto _ : state) {
    SDShowStats stats;
    const char* pError = nullptr;
    if (!CPlayerRig::play("Bench_Counter_720p", &stats, &pError)) {
      state.SkipWithError(pError);
      break;
    }
    if (stats.uiFramesPresented == 0) {
      state.SkipWithError("no frame was shown");
      break;
    }
    dDropped += stats.uiFramesDropped;
    dShown += stats.uiFramesPresented;
  }
  state.counters["dropped"] = benchmark::Counter(dDropped, benchmark::Counter::kAvgIterations);
  state.counters["shown"] = benchmark::Counter(dShown, benchmark::Counter::kAvgIterations);
}

// The pictures against the sound in real time: the build's ten-second counter movie (Test_Sync, 25 frames a second
// with a tone) played by the engine's player through the game's video path, each drawn frame read back. For each
// movie frame as it first reaches the screen, its time in the file against the media time of the sound heard at
// that moment (from the blocks handed to the audio output, each heard from one output latency after its
// hand-over). Counters: the worst and mean difference in milliseconds, the frames more than 45 ms (about one frame)
// off, and the frames measured and dropped. Run pinned to two cores: scripts/bench.sh -c 2.
void BM_Engine_PicturesAgainstSoundRealTime(benchmark::State& state) {
  const std::string path = std::string(KV_FMV_DIR) + "/Test_Sync.wmv";
  AVFormatContext* pFormat = nullptr;
  if (avformat_open_input(&pFormat, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(pFormat, nullptr) < 0) {
    state.SkipWithError("cannot read Test_Sync.wmv");
    return;
  }
  const AVStream* pStream = pFormat->streams[av_find_best_stream(pFormat, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)];
  const double dFirstPts = static_cast<double>(pStream->start_time) * av_q2d(pStream->time_base);
  const double dFrameTime = av_q2d(av_inv_q(pStream->avg_frame_rate));
  avformat_close_input(&pFormat);

  CRecordingGameHooks hooks;
  CPlayerRig rig(&hooks, path);
  double dWorst = 0.0;
  double dSum = 0.0;
  int iMeasured = 0;
  int iOff = 0;
  double dDropped = 0.0;
  for (auto _ : state) {
    SObservedSound observed;
    DShowTestSetAudioObserver(&observeSound, &observed);
    {
      std::lock_guard<std::mutex> lock(hooks.m_mutex);
      hooks.m_frames.clear();
    }
    SDShowStats stats;
    const char* pError = nullptr;
    const bool bPlayed = CPlayerRig::play("Test_Sync", &stats, &pError);
    DShowTestSetAudioObserver(nullptr, nullptr);
    if (!bPlayed) {
      state.SkipWithError(pError);
      break;
    }
    dDropped += stats.uiFramesDropped;
    int iLast = -1;
    for (const SDrawnFrame& frame : hooks.frames()) {
      const int iNumber = counterFrameNumber(hooks.pixel(frame, 320, 240));
      if (iNumber <= iLast) continue;  // drawn again, or a colour the codec blurred
      iLast = iNumber;
      double dHeard = 0.0;
      if (!heardAt(observed, stats.dAudioLatency, frame.dTime, &dHeard)) continue;
      const double dOffset = std::fabs(dFirstPts + iNumber * dFrameTime - dHeard);
      dWorst = std::max(dWorst, dOffset);
      dSum += dOffset;
      iOff += dOffset > 0.045 ? 1 : 0;
      ++iMeasured;
    }
  }
  if (iMeasured == 0) {
    state.SkipWithError("no frame was measured against the sound");
    return;
  }
  state.counters["worst_ms"] = dWorst * 1000.0;
  state.counters["mean_ms"] = dSum / iMeasured * 1000.0;
  state.counters["over45ms"] = benchmark::Counter(iOff, benchmark::Counter::kAvgIterations);
  state.counters["measured"] = benchmark::Counter(iMeasured, benchmark::Counter::kAvgIterations);
  state.counters["dropped"] = benchmark::Counter(dDropped, benchmark::Counter::kAvgIterations);
}

}  // namespace

BENCHMARK(BM_Engine_DecodeConvertUpload720p)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_DecodeConvertUpload720p)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Engine_PlayRealTime720p)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Engine_PicturesAgainstSoundRealTime)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
