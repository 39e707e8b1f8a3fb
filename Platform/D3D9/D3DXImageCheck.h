// The check every image file from outside data passes before a decoder trusts its header (the D3DX texture
// loaders and the atlas tool): the kind of file by its signature, and whether the header's promises fit the file.
#pragma once

#include <cstddef>

#include "Platform/D3D9/D3DX9.h"

// BMP ("BM") and PNG are known by their signatures; anything else is taken for TGA, which has none.
D3DXIMAGE_FILEFORMAT D3DXImageFileFormatOf(const void* pData, size_t uiSize);

// Whether the header can be trusted: sides of 1 to 8192 texels, a known depth and coding, the pixel data and
// palette inside the file, and no more texels than the file's bytes can hold (raw rows, or run-length and deflate
// data at their largest ratios). A decoder given a header that fails could allocate what it claims, whatever the
// file's size.
bool D3DXImageHeaderPlausible(const void* pData, size_t uiSize, D3DXIMAGE_FILEFORMAT eFormat);
