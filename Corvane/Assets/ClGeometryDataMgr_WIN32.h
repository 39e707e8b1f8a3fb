// Storage for loaded geometry: records of geometry data read from the archives, and containers of the
// Direct3D buffers built from them, each in a pool of 1024. The pools are laid out before the program body
// runs and again by the game's second start-up stage; releaseAll, at the game's shutdown, releases every
// buffer and data block still held and empties both pools. Main thread only.
#pragma once

#include "Corvane/ADT/ClPool.h"
#include "Corvane/System/KvTypes.h"

struct SMagRef;

// The part of a Direct3D buffer object's COM interface that the pools use: dropping the reference.
struct IKvUnknown {
  virtual u32 Release() = 0;

 protected:
  ~IKvUnknown() = default;
};

inline constexpr i32 gc_iMAX_GEOMETRY_DATA = 1024;
inline constexpr i32 gc_iMAX_GEOMETRY_CONTAINERS = 1024;

// Geometry data read from an archive.
struct SGeometryData {
  SMagRef* mp_pFileRef = nullptr;  // the archive file reference that holds the data
  u32 m_uiWord = 0;
  u32 m_bLoaded = 0;
};

// One vertex stream: its buffer object and the data block it was built from. Allocated one by one.
struct SGeometryVertexStream {
  IKvUnknown* mp_pBuffer = nullptr;
  void* mp_pData = nullptr;
};

// An array of buffer objects sharing one data block.
struct SGeometryBufferArray {
  IKvUnknown** mp_ppObjects = nullptr;
  void* mp_pData = nullptr;
  i32 m_iCount = 0;
};

// The Direct3D buffers of one piece of geometry. Every array and block is a 16-byte-aligned engine block.
struct SGeometryContainer {
  u32 m_uiWord = 0;
  SGeometryVertexStream** mp_ppVertexStreams = nullptr;
  i32 m_iNumVertexStreams = 0;
  SGeometryBufferArray m_secondBuffers;
  SGeometryBufferArray m_thirdBuffers;
};

class ClGeometryDataMgr_WIN32 {
 public:
  // Lays both pools out again (every record free).
  static void initializePools();
  // Releases every container (blocks freed, buffer objects released), then every data record (a loaded one
  // closes its file reference: buffer freed, disk file closed, reference given back), and gives all of them
  // back to their pools.
  static void releaseAll();

  static ClPool<SGeometryData, gc_iMAX_GEOMETRY_DATA> m_geometryDataPool;
  static ClPool<SGeometryContainer, gc_iMAX_GEOMETRY_CONTAINERS> m_geometryContainerPool;
};
