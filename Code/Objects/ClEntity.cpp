#include "Code/Objects/ClEntity.h"

#include "Code/Objects/GAMEWorldDraw.h"
#include "Code/Objects/GAMEWorldLinks.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Animation/ClFlipBook.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/System/KvDebug.h"

ClDynamicVector<ClEntity*> g_entityList;

void ClEntity::initialize(f32 fX, f32 fY, f32 fZ, f32 fW, i32 iKind, i32 iValue, i32 iLane) {
  m_vPosition[0] = fX;
  m_vPosition[1] = fY;
  m_vPosition[2] = fZ;
  m_vPosition[3] = fW;
  m_eKind = iKind;
  m_iValue = iValue;
  m_iLane = iLane;
  m_bGone = 0;
  m_bStar = 0;
  m_fHitRadiusSq = gc_fENTITY_HIT_RADIUS_SQ;
}

void ClEntity::clear() {
  m_mainAnim.mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay);
  m_effectAnim.mp_queuedPlays.removeAll(&ClTexAnimObj::deleteQueuedPlay);
}

void ClEntity::update() {
  m_mainAnim.update(1);
  m_effectAnim.update(1);
}

u32 ClEntity::bodyShaderHash() const {
  static const u32 s_uiPremult = KvStrHash("system_blend_premult");
  static const u32 s_uiStarWorld = KvStrHash("vosk_star_world");
  static const u32 s_uiStar = KvStrHash("vosk_star");
  if (m_bStar == 0) {
    return s_uiPremult;
  }
  if (m_eKind == E_ENTITY_KIND_PLAYER) {
    return s_uiStarWorld;
  }
  return (m_eKind == E_ENTITY_KIND_ENEMY || m_eKind == E_ENTITY_KIND_STAR_ENEMY) ? s_uiStar : s_uiPremult;
}

void ClEntity::draw(u32 uiOrderIndex) {
  KV_ASSERT(m_mainAnim.mp_curAnimators.mp_flipBookAnimator.getFlipBook());
  const SFlipBookFrame* pFrame = m_mainAnim.getCurFrame();
  SWorldQuad quad;
  quad.mp_pEntry = pFrame->mp_pImage;
  quad.m_vPosition = {WorldDraw::snap(m_vPosition[0]), WorldDraw::snap(m_vPosition[1] + m_vPosition[2])};
  quad.m_vPivot = {pFrame->mp_fAnchorX, pFrame->mp_fAnchorY};
  quad.m_uiShaderHash = bodyShaderHash();
  quad.m_fDepth = (100.0f - m_vPosition[1]) + static_cast<f32>(uiOrderIndex) * 0.1f;
  WorldDraw::submit(quad);
}

void ClEntity::drawShadow(i32 iSize) const {
  // The names' hashes once: every entity draws its shadow every frame.
  static const u32 s_auiNames[4] = {KvStrHash("shad-tiny_216"), KvStrHash("shad-small_216"),
                                    KvStrHash("shad-med_216"), KvStrHash("shad-large_216")};
  static const u32 s_uiShadowShader = KvStrHash("vosk_shadow");
  const i32 iPick = (iSize >= 1 && iSize <= 3) ? iSize - 1 : 3;
  const SAtlasEntry* pEntry = ClAtlasMgr::getAtlasEntry("TexturesGameAtlas", s_auiNames[iPick]);
  if (pEntry == nullptr) {
    return;  // the atlas reports its own missing images
  }
  SWorldQuad quad;
  quad.mp_pEntry = pEntry;
  quad.m_vPosition = {WorldDraw::snap(m_vPosition[0]), WorldDraw::snap(m_vPosition[1])};
  quad.m_vPivot = {pEntry->mp_pAtlasTexInfo->mp_fWidth * 0.5f, pEntry->mp_pAtlasTexInfo->mp_fHeight * 0.5f};
  quad.m_uiShaderHash = s_uiShadowShader;
  quad.m_fDepth = 100.0f;
  WorldDraw::submit(quad);
}

namespace EntityList {

void initialize() { g_entityList.initialize(8); }

bool isInitialized() { return g_entityList.isInitialized(); }

void add(ClEntity* pEntity) {
  KV_ASSERT(pEntity != nullptr);
  g_entityList.append(pEntity);
}

void updatePass() {
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    g_entityList[i]->update();
  }
}

void destroy(ClEntity* pEntity) {
  // The run state keeps no pointer to a freed player.
  if (pEntity == g_pPlayer) {
    g_pPlayer = nullptr;
  }
  pEntity->clear();
  pEntity->~ClEntity();
  KvAlignedFree(pEntity);
}

void removalPass() {
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    while (i < g_entityList.getCount() && g_entityList[i]->m_bGone != 0) {
      destroy(g_entityList[i]);
      const i32 iLast = g_entityList.getCount() - 1;
      g_entityList[i] = g_entityList[iLast];
      g_entityList.erase(iLast);
    }
  }
}

void drawPass() {
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    g_entityList[i]->draw(static_cast<u32>(i));
  }
}

void destroyAll() {
  if (!g_entityList.isInitialized()) {
    return;
  }
  for (i32 i = 0; i < g_entityList.getCount(); ++i) {
    destroy(g_entityList[i]);
  }
  g_entityList.terminate();
}

}  // namespace EntityList
