// The DirectX error-text functions: the name and a one-line description of a Direct3D result code. Unknown codes
// answer "Unknown" and "Unknown error." (never null).
#pragma once

#include "Platform/D3D9/D3D9Types.h"

const char* DXGetErrorStringA(HRESULT hr);
const char* DXGetErrorDescriptionA(HRESULT hr);
#define DXGetErrorString DXGetErrorStringA
#define DXGetErrorDescription DXGetErrorDescriptionA
