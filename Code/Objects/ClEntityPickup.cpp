#include "Code/Objects/ClEntityPickup.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Code/Objects/GAMEWorldDraw.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Animation/ClFlipBookMgr.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvDebug.h"

namespace {

struct SPickupKind {
  const char* mp_pName;
  const char* mp_pFlipBook;  // null: the magic pickup's image
  const char* mp_pMessage;   // null: no message or voice-over
  i32 m_iVoiceOver;
  E_PLAYER_WEAPON m_eWeapon;
};

constexpr SPickupKind gc_aPickupKinds[] = {
    {"PickupHealth", "PickupHealth", "bonus_health", 14, E_PLAYER_WEAPON_NONE},
    {"PickupMagic", nullptr, "bonus_magic", 15, E_PLAYER_WEAPON_NONE},
    {"PickupPoints", "PickupPoints", "bonus_points", 16, E_PLAYER_WEAPON_NONE},
    {"PickupMachete", "PickupMachete", nullptr, 0, E_PLAYER_WEAPON_MACHETE},
    {"PickupFireAxe", "PickupAxe", nullptr, 0, E_PLAYER_WEAPON_AXE},
    {"PickupSledgehammer", "PickupSledgehammer", nullptr, 0, E_PLAYER_WEAPON_SLEDGEHAMMER},
};
static_assert(sizeof(gc_aPickupKinds) / sizeof(gc_aPickupKinds[0]) == NUM_E_PICKUP_KIND);

// The magic pickup's image by magic kind (0 bolt, 1 ninja, 2 dragon).
constexpr const char* gc_apMagicImages[3] = {"IM-HUD-Bomb-2_216", "IM-HUD-Bomb-1_216", "IM-HUD-Bomb-3_216"};

}  // namespace

i32 ClEntityPickup::kindOf(const char* pName) {
  for (i32 i = 0; i < NUM_E_PICKUP_KIND; ++i) {
    if (std::strcmp(pName, gc_aPickupKinds[i].mp_pName) == 0) return i;
  }
  return -1;
}

bool ClEntityPickup::initialize(f32 fX, f32 fY, f32 fZ, f32 fW, i32 iLane, const char* pName) {
  ClEntity::initialize(fX, fY, fZ, fW, E_ENTITY_KIND_PICKUP, 0, iLane);
  const i32 iKind = kindOf(pName);
  if (iKind < 0) {
    std::fprintf(stderr, "Pickup: [%s] is no pickup\n", pName);
    return false;
  }
  m_ePickupKind = iKind;
  const SPickupKind& kind = gc_aPickupKinds[iKind];
  if (kind.mp_pFlipBook == nullptr) {
    m_iMagicKind = KvMath::randomIntBelow(3);
    mp_pImage = ClAtlasMgr::getAtlasEntry("TexturesUIAtlas", KvStrHash(gc_apMagicImages[m_iMagicKind]));
    if (mp_pImage == nullptr) {
      std::fprintf(stderr, "Pickup: the image [%s] is not in TexturesUIAtlas\n", gc_apMagicImages[m_iMagicKind]);
      return false;
    }
    m_vPosition[0] += mp_pImage->mp_pAtlasTexInfo->mp_fWidth * 0.5f;
  } else {
    m_mainAnim.playFlipBook(ClFlipBookMgr::getFlipBook(kind.mp_pFlipBook), E_FLIPBOOK_MODE_LOOP, 0, 0.0f);
    m_vPosition[0] += m_mainAnim.getCurFrame()->mp_fAnchorX;
  }
  m_vPosition[1] = KvLaneLine(iLane);
  return true;
}

void ClEntityPickup::collect() {
  const SPickupKind& kind = gc_aPickupKinds[m_ePickupKind];
  switch (m_ePickupKind) {
    case E_PICKUP_KIND_HEALTH:
      g_pPlayer->m_iHitPoints = 3;
      g_iPlayerHealth = 3;
      break;
    case E_PICKUP_KIND_MAGIC:
      g_iMagicCharges = 1;
      g_iMagicKind = m_iMagicKind;
      break;
    case E_PICKUP_KIND_POINTS:
      g_iScore += gc_iPICKUP_POINTS;
      break;
    default:
      g_pPlayer->takeMeleeWeapon(kind.m_eWeapon, 0);
      break;
  }
  if (kind.mp_pMessage != nullptr) {
    g_uiMessageId = KvStrHash(kind.mp_pMessage);
    g_fMessageTime = 3.0f;
    WorldServices::get().playVoiceOver(kind.m_iVoiceOver);
  }
}

void ClEntityPickup::update() {
  if (g_pPlayer != nullptr && g_pPlayer->m_iLane == m_iLane) {
    const f32 dx = m_vPosition[0] - g_pPlayer->m_vPosition[0];
    if (dx * dx <= m_fHitRadiusSq) {
      collect();
      m_bGone = 1;
    }
  }
  if (m_vPosition[0] + 32.0f < g_fWorldCameraX) {
    m_bGone = 1;
  }
  if (mp_pImage == nullptr) {
    m_mainAnim.update(1);
  }
}

void ClEntityPickup::draw(u32 uiOrderIndex) {
  static const u32 s_uiShader = KvStrHash("vosk_star");
  SWorldQuad quad;
  if (mp_pImage != nullptr) {
    quad.mp_pEntry = mp_pImage;
    quad.m_vPivot = {mp_pImage->mp_pAtlasTexInfo->mp_fWidth * 0.5f, mp_pImage->mp_pAtlasTexInfo->mp_fHeight};
  } else {
    KV_ASSERT(m_mainAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook());
    const SFlipBookFrame* pFrame = m_mainAnim.getCurFrame();
    quad.mp_pEntry = pFrame->mp_pImage;
    quad.m_vPivot = {pFrame->mp_fAnchorX, pFrame->mp_fAnchorY};
  }
  quad.m_vPosition = {WorldDraw::snap(m_vPosition[0]), WorldDraw::snap(m_vPosition[1] + m_vPosition[2])};
  quad.m_uiShaderHash = s_uiShader;
  quad.m_fDepth = 100.0f - m_vPosition[1] + static_cast<f32>(uiOrderIndex) * 0.1f;
  WorldDraw::submit(quad);
}
