// The 2D sprite queue of Cl2d (declared in Cl2d.h).
#include "Corvane/UI/Cl2d.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "Corvane/Graphics/ClDynamicGeometry.h"
#include "Corvane/Graphics/ClGraphics.h"
#include "Corvane/System/KvDebug.h"

S2dSpriteQueue Cl2d::mp_spriteQueue = {};
S2dView Cl2d::mp_view = {};

namespace {

// Partitions below this size are finished by insertion sort.
constexpr i32 gc_iSORT_INSERTION_LIMIT = 12;

// The sort key of one sprite: layer first, then the signature's address.
struct SSpriteKey {
  u16 uLayer;
  std::uintptr_t uiSignature;
  bool operator<(const SSpriteKey& o) const {
    return uLayer != o.uLayer ? uLayer < o.uLayer : uiSignature < o.uiSignature;
  }
};

SSpriteKey keyOf(const S2dSpriteQueue& queue, u16 uIndex) {
  return {queue.mp_auLayer[uIndex], reinterpret_cast<std::uintptr_t>(queue.mp_apSignature[uIndex])};
}

void insertionSort(const S2dSpriteQueue& queue, u16* pFirst, u16* pLast) {
  for (u16* p = pFirst + 1; p < pLast; ++p) {
    const u16 uIndex = *p;
    const SSpriteKey key = keyOf(queue, uIndex);
    u16* q = p;
    for (; q > pFirst && key < keyOf(queue, q[-1]); --q) {
      *q = q[-1];
    }
    *q = uIndex;
  }
}

// Quicksort of the indices [pFirst, pLast) with a median-of-three pivot; recursion only into the smaller side, so
// the depth stays below log2(3072).
void quickSort(const S2dSpriteQueue& queue, u16* pFirst, u16* pLast) {
  while (pLast - pFirst > gc_iSORT_INSERTION_LIMIT) {
    u16* pMiddle = pFirst + (pLast - pFirst) / 2;
    u16* pBack = pLast - 1;
    if (keyOf(queue, *pMiddle) < keyOf(queue, *pFirst)) std::swap(*pMiddle, *pFirst);
    if (keyOf(queue, *pBack) < keyOf(queue, *pFirst)) std::swap(*pBack, *pFirst);
    if (keyOf(queue, *pBack) < keyOf(queue, *pMiddle)) std::swap(*pBack, *pMiddle);
    const SSpriteKey pivot = keyOf(queue, *pMiddle);
    u16* pLeft = pFirst;
    u16* pRight = pBack;
    while (pLeft <= pRight) {
      while (keyOf(queue, *pLeft) < pivot) ++pLeft;
      while (pivot < keyOf(queue, *pRight)) --pRight;
      if (pLeft <= pRight) {
        std::swap(*pLeft, *pRight);
        ++pLeft;
        --pRight;
      }
    }
    if (pRight + 1 - pFirst < pLast - pLeft) {
      quickSort(queue, pFirst, pRight + 1);
      pFirst = pLeft;
    } else {
      quickSort(queue, pLeft, pLast);
      pLast = pRight + 1;
    }
  }
  insertionSort(queue, pFirst, pLast);
}

// The keys of the last sort and the order it gave: the sort is a function of the key sequence alone, so a frame that
// queues the same layers and signatures in the same sequence (a screen that did not change) takes that order
// without sorting.
struct SLastSort {
  u16 uCount;
  bool bValid;
  u16 auLayer[gc_i2D_MAX_SPRITES];
  const SRenderSignature* apSignature[gc_i2D_MAX_SPRITES];
  u16 auOrder[gc_i2D_MAX_SPRITES];
};
SLastSort g_lastSort = {};

bool sameKeysAsLastSort(const S2dSpriteQueue& queue) {
  const u16 uCount = queue.mp_uCount;
  return g_lastSort.bValid && g_lastSort.uCount == uCount &&
         std::memcmp(g_lastSort.auLayer, queue.mp_auLayer, uCount * sizeof(u16)) == 0 &&
         std::memcmp(g_lastSort.apSignature, queue.mp_apSignature, uCount * sizeof(queue.mp_apSignature[0])) == 0;
}

}  // namespace

void Cl2d::addSprite(u16 uLayer, const SRenderSignature* pSig, u32 uiColor, f32 fX, f32 fY, f32 fWidth, f32 fHeight,
                     const kv_vector2& uvTopLeft, const kv_vector2& uvBottomRight) {
  KV_ASSERT(pSig);
  KV_ASSERT_MSG(uLayer <= gc_u2D_MAX_LAYER, "Layer ID out of range!");
  S2dSpriteQueue& queue = mp_spriteQueue;
  if (queue.mp_uCount >= gc_i2D_MAX_SPRITES) {
    return;
  }
  kv_vector2 uv0 = uvTopLeft;
  kv_vector2 uv1 = uvBottomRight;
  // A drag-scrolled area's children are clipped to its rectangle (g_kvClipRect, screen fractions) while they
  // queue: the part outside is cut off, the texture coordinates follow the cut.
  const kv_rect& clip = g_kvClipRect;
  if (clip.mp_fX2 - clip.mp_fX1 != 0.0f && fWidth > 0.0f && fHeight > 0.0f) {
    const f32 fClipLeft = clip.mp_fX1 * ClGraphics::mp_fScreenWidth;
    const f32 fClipRight = clip.mp_fX2 * ClGraphics::mp_fScreenWidth;
    const f32 fClipTop = clip.mp_fY1 * ClGraphics::mp_fScreenHeight;
    const f32 fClipBottom = clip.mp_fY2 * ClGraphics::mp_fScreenHeight;
    const f32 fLeft = std::max(fX, fClipLeft);
    const f32 fRight = std::min(fX + fWidth, fClipRight);
    const f32 fTop = std::max(fY, fClipTop);
    const f32 fBottom = std::min(fY + fHeight, fClipBottom);
    if (fLeft >= fRight || fTop >= fBottom) {
      return;
    }
    const kv_vector2 uvPerPixel = {(uv1.x - uv0.x) / fWidth, (uv1.y - uv0.y) / fHeight};
    uv1 = {uv0.x + (fRight - fX) * uvPerPixel.x, uv0.y + (fBottom - fY) * uvPerPixel.y};
    uv0 = {uv0.x + (fLeft - fX) * uvPerPixel.x, uv0.y + (fTop - fY) * uvPerPixel.y};
    fX = fLeft;
    fY = fTop;
    fWidth = fRight - fLeft;
    fHeight = fBottom - fTop;
  }
  const u16 i = queue.mp_uCount;
  queue.mp_afX[i] = fX;
  queue.mp_afY[i] = fY;
  queue.mp_afWidth[i] = fWidth;
  queue.mp_afHeight[i] = fHeight;
  queue.mp_afLeftU[i] = uv0.x;
  queue.mp_afTopV[i] = uv0.y;
  queue.mp_afRightU[i] = uv1.x;
  queue.mp_afBottomV[i] = uv1.y;
  queue.mp_apSignature[i] = pSig;
  queue.mp_auiColor[i] = uiColor;
  queue.mp_auLayer[i] = uLayer;
  queue.mp_auiTag[i] = mp_view.mp_uiTag;
  queue.mp_uCount = static_cast<u16>(i + 1);
  queue.mp_bSorted = 0;
}

void Cl2d::sortSprites() {
  S2dSpriteQueue& queue = mp_spriteQueue;
  if (!queue.mp_bActive) {
    return;
  }
  const u16 uCount = queue.mp_uCount;
  if (sameKeysAsLastSort(queue)) {
    std::memcpy(queue.mp_auSortedIndex, g_lastSort.auOrder, uCount * sizeof(u16));
    queue.mp_bSorted = 1;
    return;
  }
  for (u16 i = 0; i < uCount; ++i) {
    queue.mp_auSortedIndex[i] = i;
  }
  quickSort(queue, queue.mp_auSortedIndex, queue.mp_auSortedIndex + uCount);
  queue.mp_bSorted = 1;
  g_lastSort.uCount = uCount;
  g_lastSort.bValid = true;
  std::memcpy(g_lastSort.auLayer, queue.mp_auLayer, uCount * sizeof(u16));
  std::memcpy(g_lastSort.apSignature, queue.mp_apSignature, uCount * sizeof(queue.mp_apSignature[0]));
  std::memcpy(g_lastSort.auOrder, queue.mp_auSortedIndex, uCount * sizeof(u16));
}

void Cl2d::renderSprites(u32 uiBatchMask, u16 uMinLayer, u16 uMaxLayer, f32 fDepthFactor) {
  if (!ClDynamicGeometry::isReady()) {
    return;
  }
  const S2dSpriteQueue& queue = mp_spriteQueue;
  for (u16 uOrder = 0; uOrder < queue.mp_uCount; ++uOrder) {
    const u16 i = queue.mp_bSorted ? queue.mp_auSortedIndex[uOrder] : uOrder;
    const u16 uLayer = queue.mp_auLayer[i];
    if (uLayer < uMinLayer || uLayer > uMaxLayer) {
      continue;
    }
    SDynamicGeometryAlloc alloc;
    ClDynamicGeometry::reserve(1, 4, 6, &alloc);
    if (alloc.mp_pVerts == nullptr) {
      continue;
    }
    const f32 fZ = static_cast<f32>(uLayer) * fDepthFactor;
    const f32 fLeft = queue.mp_afX[i] - 0.5f;
    const f32 fTop = queue.mp_afY[i] - 0.5f;
    const f32 fRight = fLeft + queue.mp_afWidth[i];
    const f32 fBottom = fTop + queue.mp_afHeight[i];
    const u32 uiColor = queue.mp_auiColor[i];
    const f32 fU0 = queue.mp_afLeftU[i];
    const f32 fV0 = queue.mp_afTopV[i];
    const f32 fU1 = queue.mp_afRightU[i];
    const f32 fV1 = queue.mp_afBottomV[i];
    alloc.mp_pVerts[0] = SDynamicGeometryVertex{fLeft, fTop, fZ, uiColor, 0.0f, 0.0f, 0.0f, fU0, fV0};
    alloc.mp_pVerts[1] = SDynamicGeometryVertex{fRight, fTop, fZ, uiColor, 0.0f, 0.0f, 0.0f, fU1, fV0};
    alloc.mp_pVerts[2] = SDynamicGeometryVertex{fLeft, fBottom, fZ, uiColor, 0.0f, 0.0f, 0.0f, fU0, fV1};
    alloc.mp_pVerts[3] = SDynamicGeometryVertex{fRight, fBottom, fZ, uiColor, 0.0f, 0.0f, 0.0f, fU1, fV1};
    // (0, 1, 2) and (1, 3, 2): the corners are laid out top-left, top-right, bottom-left, bottom-right.
    ClDynamicGeometry::setQuadIndexes(alloc.mp_pIndexes, alloc.mp_uiFirstVertex, true);
    ClDynamicGeometry::setElement(alloc, 0, alloc.mp_uiFirstIndex, 6, uiBatchMask, queue.mp_apSignature[i],
                                  -static_cast<f32>(uLayer), queue.mp_auiTag[i]);
  }
}

void Cl2d::refreshView() {
  mp_view.mp_fScreenWidth = ClGraphics::mp_fScreenWidth;
  mp_view.mp_fScreenHeight = ClGraphics::mp_fScreenHeight;
  mp_view.mp_uiTag = 0;
}

void Cl2d::clearSprites() {
  if (!mp_bInitialized) {
    return;
  }
  mp_spriteQueue.mp_uCount = 0;
  mp_spriteQueue.mp_bSorted = 0;
}
