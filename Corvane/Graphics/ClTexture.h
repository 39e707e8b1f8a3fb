// A texture: one Direct3D 9 texture (2D or cube) made from an image file's bytes (BMP, PNG or TGA) in the managed
// pool, or a texture made elsewhere that it wraps (render targets, video frames). It can lock its top level for the
// CPU and save itself as PNG.
//
// Textures of the game data are made and owned by ClTextureMgr on the main thread; the render worker only reads
// the Direct3D texture while it draws. A texture owns its Direct3D texture (also a wrapped one: destroying the
// texture releases it) and the archive reference whose buffer holds the file's bytes.
#pragma once

#include "Corvane/System/KvTypes.h"

struct IDirect3DBaseTexture9;
struct IDirect3DTexture9;
struct IDirect3DSurface9;
struct SMagRef;

// load's answer when the read buffers cannot be allocated (other failures answer the archive reader's code).
inline constexpr i32 gc_iTEXTURE_ALLOCATION_FAILED = -1;
// load's and createFromMemory's answer when the bytes do not make a texture.
inline constexpr i32 gc_iTEXTURE_NOT_CREATED = -2;

class ClTextureBase {
 public:
  virtual ~ClTextureBase() = default;
  // 0, or why the file gave no texture.
  virtual i32 load(const char* pPath, u32 bCubeTexture, u32 bNoMipmaps) = 0;
  virtual i32 createFromMemory(const void* pRawMemory, i32 iSizeOfRawMemory, const char* pName, u32 bCubeTexture,
                               u32 bNoMipmaps) = 0;
  virtual i32 reload(const char* pPath) = 0;
  // 1 when written, 0 without a Direct3D texture.
  virtual i32 save(const wchar16* pFilename) = 0;
  virtual i32 save(const char* pFilename) = 0;
  // Level 0's texels (A8R8G8B8 or X8R8G8B8 words, top row first) with the row pitch in bytes; null (pitch 0)
  // without a Direct3D texture.
  virtual void* lock(i32* piPitch) = 0;
  virtual i32 unlock() = 0;
};

class ClTexture : public ClTextureBase {
 public:
  ClTexture();
  ~ClTexture() override;

  // Fatal "Texture [%s] not found!" for a path the archive reader does not find. The open code, or
  // gc_iTEXTURE_ALLOCATION_FAILED, or the read code when the bytes cannot be read (everything closed again), else
  // what createFromMemory answers.
  i32 load(const char* pPath, u32 bCubeTexture, u32 bNoMipmaps) override;
  // 2D: the file's size (not rounded), a full mip chain unless bNoMipmaps, the file's format, the managed pool.
  // Cube: a strip of six faces, its own mip levels with bNoMipmaps. Bytes that are no image give
  // gc_iTEXTURE_NOT_CREATED with the problem reported ("Could not loosely init texture from memory [%s]! (<the
  // decoder's reason>)"; from load, the reason follows where the file lives on disk).
  i32 createFromMemory(const void* pRawMemory, i32 iSizeOfRawMemory, const char* pName, u32 bCubeTexture,
                       u32 bNoMipmaps) override;
  // Releases the Direct3D texture (asserts "m_pD3DTex") and loads the path again as a 2D texture with mipmaps.
  i32 reload(const char* pPath) override;
  i32 save(const wchar16* pFilename) override;
  i32 save(const char* pFilename) override;
  // Asserts "m_pLockedSurface == KVNULL" and "!mp_bIsCubeTexture".
  void* lock(i32* piPitch) override;
  // Asserts "m_pLockedSurface"; 1.
  i32 unlock() override;

  // Wraps a texture made elsewhere (owned from now on): width and height from level 0, not a cube; null gives 0 x 0.
  void setD3DTexture(IDirect3DTexture9* pTexture);
  IDirect3DBaseTexture9* getD3DTexture() const { return m_pD3DTex; }
  f32 getWidth() const { return mp_fWidth; }
  f32 getHeight() const { return mp_fHeight; }

  char mp_szName[KV_MAX_PATH_LEN];  // render targets name their textures; empty for textures of the data
  f32 mp_fWidth;                    // texels (0 for a cube texture)
  f32 mp_fHeight;
  u32 mp_bIsCubeTexture;
  IDirect3DBaseTexture9* m_pD3DTex;
  SMagRef* mp_pFileRef;
  IDirect3DSurface9* m_pLockedSurface;

 private:
  void releaseFile();
  // createFromMemory; when bNameIsFile, pName is the file's path and a refusal names where it lives on disk.
  i32 create(const void* pRawMemory, i32 iSizeOfRawMemory, const char* pName, u32 bCubeTexture, u32 bNoMipmaps,
             bool bNameIsFile);
};
