// What a frame wrote into dynamic geometry, read back for a benchmark's check: every element of the frame so far as
// the rectangle of its vertices, their colour (the first vertex's), texture coordinates, depth and signature, in
// writing order. Read between the frame's reservations and unlockBuffers (the vertices are in the locked buffer).
#pragma once

#include <algorithm>
#include <vector>

#include "Corvane/Graphics/ClDynamicGeometry.h"

struct SWrittenQuad {
  f32 fLeft, fTop, fRight, fBottom;
  u32 uiColor;
  f32 fU0, fV0, fU1, fV1;
  f32 fDepth;
  const SRenderSignature* pSignature;
};

inline std::vector<SWrittenQuad> writtenQuads() {
  std::vector<SWrittenQuad> quads;
  const SDynamicGeometryVertex* pVerts = ClDynamicGeometry::m_pLockedVerts;
  for (i32 e = 0; pVerts != nullptr && e < ClDynamicGeometry::getNumElements(); ++e) {
    const SDynamicGeometryRange& range = ClDynamicGeometry::mp_aRanges[e];
    SWrittenQuad quad{1e30f, 1e30f, -1e30f, -1e30f, 0, 1e30f, 1e30f, -1e30f, -1e30f,
                      ClDynamicGeometry::mp_afDepths[e], ClDynamicGeometry::mp_apSignatures[e]};
    for (u32 i = 0; i < range.mp_uiNumIndices; ++i) {
      const SDynamicGeometryVertex& v = pVerts[ClDynamicGeometry::mp_auiStagingIndexes[range.mp_uiFirstIndex + i]];
      if (i == 0) quad.uiColor = v.color;
      quad.fLeft = std::min(quad.fLeft, v.x);
      quad.fTop = std::min(quad.fTop, v.y);
      quad.fRight = std::max(quad.fRight, v.x);
      quad.fBottom = std::max(quad.fBottom, v.y);
      quad.fU0 = std::min(quad.fU0, v.u);
      quad.fV0 = std::min(quad.fV0, v.v);
      quad.fU1 = std::max(quad.fU1, v.u);
      quad.fV1 = std::max(quad.fV1, v.v);
    }
    quads.push_back(quad);
  }
  return quads;
}
