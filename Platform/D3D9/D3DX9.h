// The D3DX 9 part of the Direct3D 9 stand-in: effects, textures from image files in memory, texture saving and
// creation, and the matrix product the engine takes from D3DX. Declared under the platform's names, written for
// this project from what the engine calls.
//
// Effects. D3DXCreateEffect reads the project's own compiled effect format (D3DXEffectFile.h, made by the effect
// tool from text sources): named parameters with semantics and string annotations, one technique whose passes
// carry render states, sampler states and GLSL vertex and fragment code. ID3DXEffect keeps the D3DX behaviour
// the engine relies on:
// - Handles come from GetParameter, GetParameterByName, GetParameterBySemantic (top level, semantics compared
//   without case) and GetAnnotation; a parameter's name is accepted wherever a handle is.
// - Set* write a parameter's value; it reaches the pass in progress at CommitChanges (or the next BeginPass).
//   SetFloatArray writes up to the parameter's size in floats (fewer leave the rest as they were); SetVector
//   writes the columns of a scalar or vector (the first element of an array); SetVectorArray the columns of up to
//   Elements vectors; SetMatrix / SetMatrixArray 4 x 4 matrices as Direct3D keeps them (row vectors): in the GLSL
//   code `M * v` is the row-vector product v x M. SetTexture binds at commit to the texture unit of the parameter
//   (texture parameters in declaration order take units 0, 1, ...), with the pass's sampler states; the effect holds
//   a reference to each texture set.
// - Begin reports the pass count and, unless D3DXFX_DONOTSAVESTATE, saves the device state the passes change;
//   End restores it. BeginPass sets the pass's render states, sampler states and programs and commits every value.
// - While an effect is in the device's default pool (from creation until OnLostDevice, and again after
//   OnResetDevice) a Reset of the device fails, as it does on Direct3D 9. OnLostDevice also gives back the
//   default-pool textures (render targets) its parameters hold.
// In the GLSL code, parameters are uniforms of the same names (float -> float, float2..4 -> vec2..4, float4x4 ->
// mat4, texture -> sampler2D, textureCUBE -> samplerCube, arrays as arrays); vertex inputs are in_Position (vec4),
// in_Color (vec4, the D3DCOLOR as 0..1), in_Normal (vec3) and in_TexCoord0 (vec2); the fragment output is
// out_Color. Positions are written to gl_Position in Direct3D's clip space (depth 0..1); the stand-in adds the
// conversion to OpenGL's, the half-pixel offset and the alpha test.
//
// Textures. D3DXCreateTextureFromFileInMemoryEx decodes BMP, PNG and TGA files with SDL2_image; the file's format
// is A8R8G8B8 when it has alpha, else X8R8G8B8. D3DXCreateCubeTextureFromFileInMemoryEx takes an image of six
// square faces side by side (+X, -X, +Y, -Y, +Z, -Z). D3DXSaveTextureToFile writes level 0 of a 2D texture as PNG
// (or BMP).
//
// Threads: as the device (D3D9.h): every call takes the device's context on the calling thread.
#pragma once

#include "Platform/D3D9/D3D9.h"

typedef const char* D3DXHANDLE;

typedef struct D3DXVECTOR4 {
  float x;
  float y;
  float z;
  float w;
} D3DXVECTOR4;

struct D3DXMATRIX : public D3DMATRIX {};

enum D3DXPARAMETER_CLASS : DWORD {
  D3DXPC_SCALAR = 0,
  D3DXPC_VECTOR = 1,
  D3DXPC_MATRIX_ROWS = 2,
  D3DXPC_MATRIX_COLUMNS = 3,
  D3DXPC_OBJECT = 4,
  D3DXPC_STRUCT = 5,
};

enum D3DXPARAMETER_TYPE : DWORD {
  D3DXPT_VOID = 0,
  D3DXPT_BOOL = 1,
  D3DXPT_INT = 2,
  D3DXPT_FLOAT = 3,
  D3DXPT_STRING = 4,
  D3DXPT_TEXTURE = 5,
  D3DXPT_TEXTURE1D = 6,
  D3DXPT_TEXTURE2D = 7,
  D3DXPT_TEXTURE3D = 8,
  D3DXPT_TEXTURECUBE = 9,
};

typedef struct _D3DXPARAMETER_DESC {
  LPCSTR Name;
  LPCSTR Semantic;  // null when the parameter has none
  D3DXPARAMETER_CLASS Class;
  D3DXPARAMETER_TYPE Type;
  UINT Rows;
  UINT Columns;
  UINT Elements;  // 0 for a parameter that is not an array
  UINT Annotations;
  UINT StructMembers;
  DWORD Flags;
  UINT Bytes;
} D3DXPARAMETER_DESC;

typedef struct _D3DXEFFECT_DESC {
  LPCSTR Creator;
  UINT Parameters;
  UINT Techniques;
  UINT Functions;
} D3DXEFFECT_DESC;

typedef struct _D3DXTECHNIQUE_DESC {
  LPCSTR Name;
  UINT Passes;
  UINT Annotations;
} D3DXTECHNIQUE_DESC;

typedef struct _D3DXMACRO {
  LPCSTR Name;
  LPCSTR Definition;
} D3DXMACRO;

// Include handlers and effect pools are not offered: the arguments must be null.
struct ID3DXInclude;
struct ID3DXEffectPool;
typedef ID3DXInclude* LPD3DXINCLUDE;
typedef ID3DXEffectPool* LPD3DXEFFECTPOOL;

struct ID3DXBuffer : public IUnknown {
  virtual LPVOID GetBufferPointer() = 0;
  virtual DWORD GetBufferSize() = 0;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

// Flags of D3DXCreateEffect and of ID3DXEffect::Begin.
#define D3DXFX_DONOTSAVESTATE (1u << 0)
#define D3DXFX_DONOTSAVESHADERSTATE (1u << 1)
#define D3DXFX_DONOTSAVESAMPLERSTATE (1u << 2)
#define D3DXFX_LARGEADDRESSAWARE (1u << 17)

#define MAKE_DDHRESULT(code) (static_cast<HRESULT>(0x88760000u | static_cast<DWORD>(code)))
#define D3DXERR_INVALIDDATA MAKE_DDHRESULT(2905)

struct ID3DXEffect : public IUnknown {
  virtual HRESULT GetDevice(LPDIRECT3DDEVICE9* ppDevice) = 0;
  virtual HRESULT GetDesc(D3DXEFFECT_DESC* pDesc) = 0;
  virtual HRESULT GetParameterDesc(D3DXHANDLE hParameter, D3DXPARAMETER_DESC* pDesc) = 0;
  virtual HRESULT GetTechniqueDesc(D3DXHANDLE hTechnique, D3DXTECHNIQUE_DESC* pDesc) = 0;
  // Top-level parameters only (hParameter null).
  virtual D3DXHANDLE GetParameter(D3DXHANDLE hParameter, UINT Index) = 0;
  virtual D3DXHANDLE GetParameterByName(D3DXHANDLE hParameter, LPCSTR pName) = 0;
  virtual D3DXHANDLE GetParameterBySemantic(D3DXHANDLE hParameter, LPCSTR pSemantic) = 0;
  virtual D3DXHANDLE GetAnnotation(D3DXHANDLE hObject, UINT Index) = 0;
  virtual D3DXHANDLE GetTechnique(UINT Index) = 0;
  virtual D3DXHANDLE GetCurrentTechnique() = 0;

  virtual HRESULT GetString(D3DXHANDLE hParameter, LPCSTR* ppString) = 0;
  virtual HRESULT SetFloatArray(D3DXHANDLE hParameter, const float* pf, UINT Count) = 0;
  virtual HRESULT GetFloatArray(D3DXHANDLE hParameter, float* pf, UINT Count) = 0;
  virtual HRESULT SetVector(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector) = 0;
  virtual HRESULT GetVector(D3DXHANDLE hParameter, D3DXVECTOR4* pVector) = 0;
  virtual HRESULT SetVectorArray(D3DXHANDLE hParameter, const D3DXVECTOR4* pVector, UINT Count) = 0;
  virtual HRESULT SetMatrix(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix) = 0;
  virtual HRESULT GetMatrix(D3DXHANDLE hParameter, D3DXMATRIX* pMatrix) = 0;
  virtual HRESULT SetMatrixArray(D3DXHANDLE hParameter, const D3DXMATRIX* pMatrix, UINT Count) = 0;
  virtual HRESULT SetTexture(D3DXHANDLE hParameter, LPDIRECT3DBASETEXTURE9 pTexture) = 0;
  // A new reference, or null when none is set.
  virtual HRESULT GetTexture(D3DXHANDLE hParameter, LPDIRECT3DBASETEXTURE9* ppTexture) = 0;

  virtual HRESULT Begin(UINT* pPasses, DWORD Flags) = 0;
  virtual HRESULT BeginPass(UINT Pass) = 0;
  virtual HRESULT CommitChanges() = 0;
  virtual HRESULT EndPass() = 0;
  virtual HRESULT End() = 0;

  virtual HRESULT OnLostDevice() = 0;
  virtual HRESULT OnResetDevice() = 0;
};
typedef ID3DXEffect* LPD3DXEFFECT;

// pDefines, pInclude and pPool must be null; ppCompilationErrors, when given, receives the reason of a failure as
// text (D3DXERR_INVALIDDATA for a file that is not a valid effect, E_FAIL for code that does not build); without
// it the reason goes to the standard error.
HRESULT D3DXCreateEffect(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines,
                         LPD3DXINCLUDE pInclude, DWORD Flags, LPD3DXEFFECTPOOL pPool, LPD3DXEFFECT* ppEffect,
                         LPD3DXBUFFER* ppCompilationErrors);

// pOut = pM1 x pM2 (pOut may be either input).
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* pOut, const D3DXMATRIX* pM1, const D3DXMATRIX* pM2);

// --- Textures ---

#define D3DX_DEFAULT (static_cast<UINT>(-1))
#define D3DX_DEFAULT_NONPOW2 (static_cast<UINT>(-2))
#define D3DX_FROM_FILE (static_cast<UINT>(-3))
#define D3DFMT_FROM_FILE (static_cast<D3DFORMAT>(-3))

// Filters: a size that differs from the file's is reached by scaling (point for D3DX_FILTER_POINT, else linear);
// further levels are made by the device's box filter.
#define D3DX_FILTER_NONE (1u << 0)
#define D3DX_FILTER_POINT (2u << 0)
#define D3DX_FILTER_LINEAR (3u << 0)
#define D3DX_FILTER_TRIANGLE (4u << 0)
#define D3DX_FILTER_BOX (5u << 0)

enum D3DXIMAGE_FILEFORMAT : DWORD {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
};

typedef struct _D3DXIMAGE_INFO {
  UINT Width;
  UINT Height;
  UINT Depth;
  UINT MipLevels;
  D3DFORMAT Format;
  D3DRESOURCETYPE ResourceType;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
} D3DXIMAGE_INFO;

typedef struct tagPALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
} PALETTEENTRY;

// Width and Height: D3DX_DEFAULT_NONPOW2 (or D3DX_FROM_FILE) keeps the file's size, 0 or D3DX_DEFAULT rounds it
// up to powers of two, any other value is the size. MipLevels: 0 or D3DX_DEFAULT for the full chain, D3DX_FROM_FILE
// for the file's (1), else the count. Format D3DFMT_UNKNOWN or D3DFMT_FROM_FILE takes the file's. A non-zero
// ColorKey (0xAARRGGBB) turns texels of exactly that colour into transparent black. Palettes are not offered.
// D3DXERR_INVALIDDATA for bytes that are not a BMP, PNG or TGA image.
HRESULT D3DXCreateTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataSize, UINT Width,
                                            UINT Height, UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                            DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                            D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                            LPDIRECT3DTEXTURE9* ppTexture);
// Size: 0, D3DX_DEFAULT or D3DX_FROM_FILE for the file's face size, else a size the faces are scaled to.
HRESULT D3DXCreateCubeTextureFromFileInMemoryEx(LPDIRECT3DDEVICE9 pDevice, LPCVOID pSrcData, UINT SrcDataSize,
                                                UINT Size, UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                                D3DPOOL Pool, DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                                D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                                LPDIRECT3DCUBETEXTURE9* ppCubeTexture);
// Why the calling thread's last D3DXCreate(Cube)TextureFromFileInMemoryEx answered D3DXERR_INVALIDDATA, in the
// decoder's words ("libpng error: IDAT: incorrect data check", "its BMP header does not fit its 80 bytes"); "" when
// it succeeded or failed for another reason. This stand-in's own addition: the platform's D3DX gives only the code.
const char* D3DXGetLastImageProblem();
// Level 0 of a 2D texture in A8R8G8B8 or X8R8G8B8 as PNG (D3DXIFF_PNG) or BMP (D3DXIFF_BMP); D3DERR_INVALIDCALL for
// other formats, file types or a cube texture, E_FAIL (with a line naming the file and why) when the file cannot be
// written: only a regular file (or a new one) is written, never waited on, so a pipe in its place is refused.
HRESULT D3DXSaveTextureToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat, LPDIRECT3DBASETEXTURE9 pSrcTexture,
                               const PALETTEENTRY* pSrcPalette);
HRESULT D3DXSaveTextureToFileW(LPCWSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat, LPDIRECT3DBASETEXTURE9 pSrcTexture,
                               const PALETTEENTRY* pSrcPalette);
// IDirect3DDevice9::CreateTexture with D3DX's corrections: a size of 0 or D3DX_DEFAULT becomes 256, MipLevels
// D3DX_DEFAULT the full chain, Format D3DFMT_UNKNOWN A8R8G8B8.
HRESULT D3DXCreateTexture(LPDIRECT3DDEVICE9 pDevice, UINT Width, UINT Height, UINT MipLevels, DWORD Usage,
                          D3DFORMAT Format, D3DPOOL Pool, LPDIRECT3DTEXTURE9* ppTexture);
