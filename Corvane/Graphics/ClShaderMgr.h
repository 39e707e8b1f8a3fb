// The shader manager: every loaded effect by the name hash of its name, and the global shader variables that any
// effect may declare (semantic "GLOBAL"): one record per name whatever the number of effects declaring it, whose
// value every shader hands to its effect at begin.
//
// Tables: shaders (128 slots) and global variables (128 slots) over a pool of 128 variable records, made at
// graphics start-up (initialize). Shaders are created and registered on the main thread (createShader, at start-up,
// before the worker draws with them); the global setters run on the render worker (bloom sets its own values).
// Failures are the engine's stops with the texts below; a 129th distinct global is an assertion naming the pool.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/ADT/ClSimpleHashTable.h"
#include "Corvane/Graphics/ClShader.h"
#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iSHADER_TABLE_SLOTS = 128;
inline constexpr i32 gc_iGLOBAL_VAR_TABLE_SLOTS = 128;
inline constexpr i32 gc_iMAX_GLOBAL_SHADER_VARS = 128;

// One global variable: its type code (E_SHADER_VAR_TYPE), element count and value (32 four-float vectors read as
// floats, vectors or matrices by the type), and whether a value was ever set.
struct SShaderGlobalVar {
  i32 mp_eType;
  i32 mp_iArraySize;
  f32 mp_afValues[MAX_SHADERVAR_ARRAYSIZE][4];
  i32 mp_bInitialized;
};
static_assert(sizeof(SShaderGlobalVar) == 524, "type, size, 512 bytes of value, flag");

class ClShaderMgr {
 public:
  // Graphics start-up: both tables (128 slots), the variable pool, no last-requested entry, not loaded.
  static void initialize();
  // Every record of the pool free again.
  static void initGlobalVarPool();
  // Flag 0; the variables back to the pool and their table freed; every shader released, destroyed and freed; the
  // shader table freed.
  static void terminate();

  // Reads "Shaders/<name>.fxo" synchronously, creates its effect and registers the shader under the name's hash.
  // Fatal: "Could not open shader data file [%s]!", "Could not allocate memory for shader data file [%s]!", "Could
  // not read from shader data file [%s]!"; an effect that D3DX refuses: "Could not create the effect of shader
  // [%s]!". Registering a name twice is an assertion.
  static ClShader* createShader(const char* pShaderName);
  // The registered shader; fatal "ClShaderMgr::getShader() -> Could not find shader [%s]!" (by name) or
  // "... [0x%8X]!" (by hash) when absent.
  static ClShader* getShader(const char* pShaderName);
  static ClShader* getShaderByHash(u32 uiNameHash);
  // The registered shader, or null.
  static ClShader* findShader(u32 uiNameHash);
  // Inserts a shader made elsewhere (the asynchronous path) under the name's hash; the manager owns it from now on.
  static void registerShader(const char* pShaderName, ClShader* pShader);

  // Called by the parameter scan. A name already registered keeps its record; another type code is fatal
  // "Global shader variable '%s' is used with mismatching types!".
  static void registerGlobalVar(const char* pName, i32 eType, i32 iArraySize);
  // Fatal "Cannot find global shader variable '%s' in shaders?!" or "Global shader variable '%s' was never
  // initialized!".
  static SShaderGlobalVar* getGlobalVar(const char* pName);
  // The record, or null (nothing is reported).
  static SShaderGlobalVar* findGlobalVar(const char* pName);

  // Setters (fatal "Set: cannot find global shader variable '%s' in shaders?!" for a name no effect declares,
  // "Global shader variable '%s' type mismatch!" for a type or size that does not fit). Fewer values than the array
  // size leave the rest as they were.
  static void setGlobalFloatArray(const char* pName, const f32* pValues, i32 iCount);
  // Four-float vectors in; x, y, z stored and w = 0; the variable is float3 or float4.
  static void setGlobalVector3Array(const char* pName, const f32* pVectors4, i32 iCount);
  // A D3DCOLOR (0xAARRGGBB) as (r, g, b, a) / 255 into a float4.
  static void setGlobalColor(const char* pName, u32 uiColor);

  // Device loss: OnLostDevice / OnResetDevice of every registered effect.
  static void onLostDevice();
  static void onResetDevice();

  // Changes whenever the table's name-to-shader mapping may have: a shader created or registered, the table made
  // or freed. A caller that kept a shader found by hash may keep it while this stays the same.
  static u32 getGeneration() { return mp_uiGeneration; }
  static u32 mp_uiGeneration;

  static ClSimpleHashTable mp_shaderTable;
  static ClSimpleHashTable mp_globalVarTable;
  static ClPool<SShaderGlobalVar, gc_iMAX_GLOBAL_SHADER_VARS> mp_globalVarPool;
  // Marks every shader loaded: the game, once it has registered its shaders.
  static void markAllShadersLoaded() { mp_bAllShadersLoaded = 1; }
  // Set when the game has registered its shaders, or when the last requested asynchronous load has made its effect.
  static u32 mp_bAllShadersLoaded;
  // The asynchronous request whose completion sets the flag above (the latest one made).
  static SAsyncAssetEntry* mp_pLastRequestedShaderEntry;
};
