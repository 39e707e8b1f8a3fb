// Where the 2D picture shows on the back buffer (ClGraphics::set2DPicture), and where the back buffer shows in the
// window.
#include "Corvane/Graphics/ClGraphics.h"

#include "Platform/D3D9/D3D9.h"

f32 ClGraphics::mp_af2DPicture[6] = {};
std::atomic<i32> ClGraphics::mp_iClientWidth{0};
std::atomic<i32> ClGraphics::mp_iClientHeight{0};

namespace {

// The picture's size and the rectangle it shows in: the back buffer itself while no game set them.
void pictureOf(f32* pWidth, f32* pHeight, f32 afShownAt[4]) {
  const f32* p = ClGraphics::mp_af2DPicture;
  const bool bSet = p[0] > KV_ZERO && p[1] > KV_ZERO && p[4] > KV_ZERO && p[5] > KV_ZERO;
  *pWidth = bSet ? p[0] : ClGraphics::mp_fScreenWidth;
  *pHeight = bSet ? p[1] : ClGraphics::mp_fScreenHeight;
  afShownAt[0] = bSet ? p[2] : KV_ZERO;
  afShownAt[1] = bSet ? p[3] : KV_ZERO;
  afShownAt[2] = bSet ? p[4] : *pWidth;
  afShownAt[3] = bSet ? p[5] : *pHeight;
}

}  // namespace

void ClGraphics::set2DPicture(f32 fWidth, f32 fHeight, const f32 afShownAt[4]) {
  const f32 afPicture[6] = {fWidth, fHeight, afShownAt[0], afShownAt[1], afShownAt[2], afShownAt[3]};
  for (i32 i = 0; i < 6; ++i) {
    mp_af2DPicture[i] = afPicture[i];
  }
}

kv_vector2 ClGraphics::get2DPictureSize() {
  f32 fWidth = KV_ZERO;
  f32 fHeight = KV_ZERO;
  f32 afShownAt[4];
  pictureOf(&fWidth, &fHeight, afShownAt);
  return {fWidth, fHeight};
}

kv_vector2 ClGraphics::displayTo2DPicture(const kv_vector2& vDisplay) {
  f32 fWidth = KV_ZERO;
  f32 fHeight = KV_ZERO;
  f32 afShownAt[4];
  pictureOf(&fWidth, &fHeight, afShownAt);
  if (afShownAt[2] <= KV_ZERO || afShownAt[3] <= KV_ZERO) {
    return vDisplay;
  }
  return {(vDisplay.x - afShownAt[0]) * fWidth / afShownAt[2], (vDisplay.y - afShownAt[1]) * fHeight / afShownAt[3]};
}

kv_vector2 ClGraphics::displayFrom2DPicture(const kv_vector2& vPicture) {
  f32 fWidth = KV_ZERO;
  f32 fHeight = KV_ZERO;
  f32 afShownAt[4];
  pictureOf(&fWidth, &fHeight, afShownAt);
  if (fWidth <= KV_ZERO || fHeight <= KV_ZERO) {
    return vPicture;
  }
  return {afShownAt[0] + vPicture.x * afShownAt[2] / fWidth, afShownAt[1] + vPicture.y * afShownAt[3] / fHeight};
}

bool ClGraphics::backBufferInWindow(i32 iClientWidth, i32 iClientHeight, i32 aiShownAt[4]) {
  const i64 iWidth = static_cast<i64>(mp_fScreenWidth);
  const i64 iHeight = static_cast<i64>(mp_fScreenHeight);
  if (mp_presentParams.Windowed == FALSE || iClientWidth <= 0 || iClientHeight <= 0 || iWidth <= 0 || iHeight <= 0) {
    return false;
  }
  i64 iShownWidth = iClientWidth;
  i64 iShownHeight = iClientHeight;
  // Rounded to the nearest whole pixel; the margins share what is left, the odd pixel going after the picture.
  if (iClientWidth * iHeight > iClientHeight * iWidth) {
    iShownWidth = (2 * iClientHeight * iWidth + iHeight) / (2 * iHeight);
  } else {
    iShownHeight = (2 * iClientWidth * iHeight + iWidth) / (2 * iWidth);
  }
  if (iShownWidth == iClientWidth && iShownHeight == iClientHeight) {
    return false;
  }
  aiShownAt[0] = static_cast<i32>((iClientWidth - iShownWidth) / 2);
  aiShownAt[1] = static_cast<i32>((iClientHeight - iShownHeight) / 2);
  aiShownAt[2] = static_cast<i32>(iShownWidth);
  aiShownAt[3] = static_cast<i32>(iShownHeight);
  return true;
}

kv_vector2 ClGraphics::windowToDisplay(const kv_vector2& vClient, i32 iClientWidth, i32 iClientHeight) {
  i32 aiShownAt[4] = {0, 0, iClientWidth, iClientHeight};
  backBufferInWindow(iClientWidth, iClientHeight, aiShownAt);
  if (aiShownAt[2] <= 0 || aiShownAt[3] <= 0) {
    return vClient;
  }
  return {(vClient.x - static_cast<f32>(aiShownAt[0])) * mp_fScreenWidth / static_cast<f32>(aiShownAt[2]),
          (vClient.y - static_cast<f32>(aiShownAt[1])) * mp_fScreenHeight / static_cast<f32>(aiShownAt[3])};
}
