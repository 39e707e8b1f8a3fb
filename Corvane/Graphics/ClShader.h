// A shader: one compiled effect (".fxo") and what a scan of its parameters found once at load, namely which
// parameters take the transforms (by semantic), which take textures (by annotation), which are global variables
// shared by every effect (semantic "GLOBAL") and which are per-object values (semantic "PEROBJ").
//
// ClShaderBase is the interface the renderer draws through; ClShader implements it over ID3DXEffect. Shaders are
// made, owned and freed by ClShaderMgr (main thread, start-up and shut-down); begin, end, commitChanges,
// setTexture, setTransforms and setPerObjectParams run on the render worker while it draws.
//
// Failures are the engine's stops: an effect with more passes than one fails "uiPasses == 1" at begin; a parameter
// of a type the engine does not set, a name too long for its record, or more globals (32), per-object parameters
// (16) or annotated textures (8) than a shader holds stop the scan before anything is written past a record.
#pragma once

#include "Corvane/System/KvTypes.h"

struct ID3DXEffect;
struct SMagRef;
class SAsyncAssetEntry;
class ClTextureBase;
class ClWorldObject;
typedef const char* D3DXHANDLE;

inline constexpr i32 MAX_CUSTOM_PARAM_PER_SHADER = 16;
inline constexpr i32 MAX_CUSTOM_PARAM_NAME_LEN = 32;
inline constexpr i32 MAX_TEXTURES_PER_SET = 8;
inline constexpr i32 MAX_PARAMGLOBAL = 32;
inline constexpr i32 MAX_GLOBAL_NAMELEN = 40;
inline constexpr i32 MAX_SHADERVAR_ARRAYSIZE = 32;
// Matrices fit the 512 bytes of a global's value eight at a time.
inline constexpr i32 MAX_SHADERVAR_MATRIX_ARRAYSIZE = 8;
// A per-object value holds up to 16 four-float vectors (or 64 floats).
inline constexpr i32 MAX_PEROBJ_VALUE_VECTORS = 16;
inline constexpr i32 MAX_PEROBJ_LIST_ITEMS = 8;

// Type codes of global variables and per-object parameters.
enum E_SHADER_VAR_TYPE : i32 {
  E_SHADER_VAR_FLOAT = 2,    // scalar float (an array of Elements, or 1)
  E_SHADER_VAR_FLOAT2 = 3,   // vector float, 2 columns
  E_SHADER_VAR_FLOAT3 = 4,   // vector float, 3 columns
  E_SHADER_VAR_FLOAT4 = 5,   // vector float, 4 columns
  E_SHADER_VAR_MATRIX = 6,   // row-major 4 x 4 matrix (globals only)
};

// The transform semantics a shader binds, in the order of the scan.
enum E_SHADER_SEMANTIC : i32 {
  E_SHADER_SEMANTIC_WORLDVIEWPROJ = 0,
  E_SHADER_SEMANTIC_VIEWPROJ = 1,
  E_SHADER_SEMANTIC_WORLD = 2,
  E_SHADER_SEMANTIC_WORLDINVERSE = 3,
  E_SHADER_SEMANTIC_BONEPALETTE = 4,
  NUM_E_SHADER_SEMANTIC
};

// One named value of a per-object list: floats for E_SHADER_VAR_FLOAT (iNumElements of them, packed), else
// iNumElements four-float vectors.
struct SShaderPerObjectParam {
  char mp_szName[MAX_CUSTOM_PARAM_NAME_LEN];
  i32 mp_eType;
  i32 mp_iNumElements;
  f32 mp_afValues[MAX_PEROBJ_VALUE_VECTORS][4];
};

struct SShaderPerObjectParamList {
  i32 mp_iNum;
  SShaderPerObjectParam mp_aParams[MAX_PEROBJ_LIST_ITEMS];
};

class ClShaderBase {
 public:
  virtual ~ClShaderBase() = default;
  // The base answers true without looking at its argument.
  virtual bool initFromEffect(ID3DXEffect* pEffect);
  virtual bool load(const char* pName);
  virtual bool release();
  virtual void begin() = 0;
  virtual void end() = 0;
  virtual void commitChanges() = 0;
  virtual void setTexture(i32 iSamplerIndex, ClTextureBase* pTexture) = 0;
  virtual void setTransforms(const ClWorldObject* pObjectTransform) = 0;
  virtual void setPerObjectParams(const SShaderPerObjectParamList* pList) = 0;
};

class ClShader : public ClShaderBase {
 public:
  struct SSemanticBinding {
    i32 mp_eKind;  // E_SHADER_SEMANTIC
    D3DXHANDLE mp_hParam;
  };
  struct SCustomPerObjParam {
    i32 mp_eType;
    i32 mp_iNumElements;
    char mp_szName[MAX_CUSTOM_PARAM_NAME_LEN];
    D3DXHANDLE mp_hParam;
  };
  struct STexParam {
    i32 mp_iSamplerIndex;  // 0-7
    D3DXHANDLE mp_hParam;
  };
  struct SGlobalParam {
    char mp_szName[MAX_GLOBAL_NAMELEN];
    D3DXHANDLE mp_hParam;
  };

  ClShader();
  // Runs release() first.
  ~ClShader() override;

  // Takes the effect (asserts "pEffect") and scans its parameters; true.
  bool initFromEffect(ID3DXEffect* pEffect) override;
  // Makes the effect of an effect file's bytes (pPath: the file, as the archive reader was asked for it): true with
  // *ppEffect, or false with "<where the file lives on disk>: <the effect's reason>" in pWhy (uiWhySize bytes).
  static bool createEffect(const void* pBytes, u32 uiSize, const char* pPath, ID3DXEffect** ppEffect, char* pWhy,
                           u32 uiWhySize);
  // Queues the asynchronous load of "Shaders/<name>.fxo"; true when the request was queued. An entry the archive
  // stores compressed or encrypted is read through the synchronous path instead, which decodes it.
  bool load(const char* pName) override;
  // Releases the effect, the file reference (and its buffer) and the asynchronous request; true.
  bool release() override;
  // Begin with state saving, pass 0 ("uiPasses == 1"), then every global parameter from its variable (and a
  // commit when there is at least one).
  void begin() override;
  void end() override;
  void commitChanges() override;
  // The texture parameter of that sampler index; none is fatal.
  void setTexture(i32 iSamplerIndex, ClTextureBase* pTexture) override;
  // With the object's transform pushed on the matrix stacks: WORLDVIEWPROJ from the device's WORLD x VIEW x
  // PROJECTION, WORLD from the device's WORLD; then the push is undone.
  void setTransforms(const ClWorldObject* pObjectTransform) override;
  // Every per-object parameter from the list item of the same name (case-sensitive); a null list does nothing.
  void setPerObjectParams(const SShaderPerObjectParamList* pList) override;

  // The shader to draw with: this one, or the registered shader its override names (cached; asserts when absent).
  ClShader* resolveOverride();
  // Names the override (empty or null for none); the cached override is forgotten.
  void setOverrideName(const char* pName);

  ID3DXEffect* getEffect() const { return mp_pEffect; }

  char mp_szOverrideName[KV_MAX_PATH_LEN];
  ClShader* mp_pOverrideShader;
  SMagRef* mp_pFileRef;                 // the synchronous load's reference, whose buffer holds the .fxo bytes
  SAsyncAssetEntry* mp_pAsyncRequest;
  ID3DXEffect* mp_pEffect;
  struct {
    i32 mp_iNum;
    SSemanticBinding mp_aBindings[NUM_E_SHADER_SEMANTIC];
  } mp_semanticBindings;
  struct {
    i32 mp_iNum;
    SCustomPerObjParam mp_aParams[MAX_CUSTOM_PARAM_PER_SHADER];
  } mp_customPerObjParams;
  struct {
    i32 mp_iNumTextures;
    STexParam mp_aParams[MAX_TEXTURES_PER_SET];
  } mp_texParams;
  struct {
    i32 mp_iNum;
    SGlobalParam mp_aParams[MAX_PARAMGLOBAL];
  } mp_globalParams;

 private:
  void scanParameters();
};
