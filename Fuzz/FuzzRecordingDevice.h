// A Direct3D 9 device of the stand-in's recording back end (no window, no OpenGL) for fuzz targets that make
// effects and textures: made once, kept for the process.
#pragma once

#include "Platform/D3D9/D3D9.h"

inline IDirect3DDevice9* KvFuzzRecordingDevice() {
  static IDirect3DDevice9* s_pDevice = [] {
    D3D9TestUseRecordingBackend(true);
    static IDirect3D9* s_pD3D = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params{64, 64, D3DFMT_X8R8G8B8, 1, D3DMULTISAMPLE_NONE, 0, D3DSWAPEFFECT_DISCARD, nullptr,
                                 TRUE, FALSE, D3DFMT_UNKNOWN, 0, 0, D3DPRESENT_INTERVAL_IMMEDIATE};
    IDirect3DDevice9* pDevice = nullptr;
    if (s_pD3D != nullptr) s_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, 0, &params, &pDevice);
    return pDevice;
  }();
  return s_pDevice;
}
