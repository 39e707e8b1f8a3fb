#include "Platform/D3D9/DxErr.h"

#include "Platform/D3D9/D3DX9.h"

namespace {

struct SErrorText {
  HRESULT hr;
  const char* pName;
  const char* pDescription;
};

const SErrorText g_aErrorTexts[] = {
    {D3D_OK, "S_OK", "The call succeeded."},
    {S_FALSE, "S_FALSE", "The call succeeded with a false answer."},
    {E_FAIL, "E_FAIL", "An undetermined error occurred."},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "Out of memory."},
    {E_INVALIDARG, "E_INVALIDARG", "An argument is not valid."},
    {E_NOTIMPL, "E_NOTIMPL", "Not implemented."},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST", "The device has been lost but cannot be reset at this time."},
    {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET", "The device has been lost but can be reset at this time."},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE", "This device does not support the queried technique."},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL", "Invalid call."},
    {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE", "The requested device type is not valid."},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY", "Out of video memory."},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR", "Internal driver error."},
    {D3DERR_NOTFOUND, "D3DERR_NOTFOUND", "The requested item was not found."},
    {D3DERR_MOREDATA, "D3DERR_MOREDATA", "There is more data available than the specified buffer can hold."},
    {D3DERR_WASSTILLDRAWING, "D3DERR_WASSTILLDRAWING", "The previous blit operation is still incomplete."},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT", "The pixel format of the texture is not supported."},
    {D3DXERR_INVALIDDATA, "D3DXERR_INVALIDDATA", "The data is invalid."},
};

const SErrorText* find(HRESULT hr) {
  for (const SErrorText& text : g_aErrorTexts) {
    if (text.hr == hr) {
      return &text;
    }
  }
  return nullptr;
}

}  // namespace

const char* DXGetErrorStringA(HRESULT hr) {
  const SErrorText* pText = find(hr);
  return pText != nullptr ? pText->pName : "Unknown";
}

const char* DXGetErrorDescriptionA(HRESULT hr) {
  const SErrorText* pText = find(hr);
  return pText != nullptr ? pText->pDescription : "Unknown error.";
}
