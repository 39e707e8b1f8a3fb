// The bonus stage's street: blocks of 38 rows, 8 units deep each, of flat ground tiles (street, cross streets,
// sidewalks, the pier) and standing pieces (buildings, props). The road runs at x = 0 between a sidewalk at -35
// with buildings at -30 / -20, a second row of buildings at -60 with a sidewalk at -70, and a pier at 32.
#include "Code/GameModes/ClGameModeCatFPS.h"

#include "Corvane/Math/KvRandom.h"

namespace {

constexpr f32 gc_fROW_DEPTH = 8.0f;
// A hair above 1.0 (the float with the bits 0x3F800008): the props on the pier stand just over its surface.
constexpr f32 gc_fPIER_PROP_Y = 1.0000009536743164f;

enum E_SEGMENT : i32 { E_SEGMENT_PLAIN = 1, E_SEGMENT_SPECIAL = 2 };

bool oneIn(i32 iN) { return KvMath::randomIntBelow(iN) == 0; }

}  // namespace

void ClGameModeCatFPS::layStreet(f32 fStartDepth) {
  auto standing = [this](const char* pName, f32 x, f32 y, f32 z) {
    m_daStandingPos.append({x, y, z, 0.0f});
    m_daStandingEntry.append(catFPSAtlasEntry(pName));
  };
  auto ground = [this](const char* pName, f32 x, f32 y, f32 z) {
    m_daGroundPos.append({x, y, z, 0.0f});
    m_daGroundEntry.append(catFPSAtlasEntry(pName));
  };
  static const char* const s_apBuildings[4] = {"Lv4ABldgA_216", "Lv4ABldgB_216", "Lv4ABldgC_216", "Lv4ABldgD_216"};
  static const f32 s_afBuildingX[4] = {-30.0f, -20.0f, -20.0f, -30.0f};
  i32 iSegment = E_SEGMENT_PLAIN;
  bool bAfterCrossing = false;
  i32 iPreviousBuilding = -1;
  for (i32 r = 0; r < gc_iCATFPS_STREET_ROWS; ++r) {
    const f32 z = fStartDepth - gc_fROW_DEPTH * static_cast<f32>(r);
    bool bProps = false;
    const i32 k = KvMath::randomIntBelow(3) + 1;
    // Two crossings are at least one k = 1 row apart, and the block's last row is never one.
    const bool bCrossing = k == 1 && !bAfterCrossing && r != gc_iCATFPS_STREET_ROWS - 1;
    if (k == 1 && !bCrossing) {
      bAfterCrossing = false;
    }
    if (bCrossing) {
      bAfterCrossing = true;
      const char* pMain = "Lv4AStreet1V-0006_216";
      if (iSegment == E_SEGMENT_SPECIAL) {
        iSegment = E_SEGMENT_PLAIN;
      } else if (KvMath::randomIntBelow(4) != 0) {
        bProps = true;
        pMain = KvMath::randomIntBelow(2) == 0 ? "Lv4AStreet1V-0002_216" : "Lv4AStreet1V-0003_216";
        iSegment = E_SEGMENT_PLAIN;
      } else {
        pMain = "Lv4AStreet1V-0004_216";
        iSegment = E_SEGMENT_SPECIAL;
      }
      ground(pMain, 0.0f, 0.0f, z);
      ground("Lv4AStreet1H-0001_216", -35.0f, 0.0f, z);
    } else {
      i32 b = KvMath::randomIntBelow(5);
      while (iPreviousBuilding >= 0 && b == iPreviousBuilding) {
        b = KvMath::randomIntBelow(5);
      }
      if (b < 4) {
        standing(s_apBuildings[b], s_afBuildingX[b], 0.0f, z);
        iPreviousBuilding = b;
      }
      ground(iSegment == E_SEGMENT_PLAIN ? "Lv4AStreet1V-0001_216" : "Lv4AStreet1V-0005_216", 0.0f, 0.0f, z);
      ground("Lv4ASidewalkV_216", -35.0f, 0.0f, z);
    }
    standing("Lv4ABldgD_216", -60.0f, 0.0f, z);
    ground("Lv4ASidewalkV_216", -70.0f, 0.0f, z);
    ground("Lv4APierV00_216", 32.0f, 1.0f, z);
    if (bProps) {
      const bool bBikeRack = oneIn(5);
      if (bBikeRack) {
        standing("Lv4ABikeRack_216", -20.0f, 0.0f, z - 4.0f);
      }
      if (oneIn(5) && !bBikeRack) {
        standing("Lv4ABlockade_216", -17.0f, -0.7f, z - 2.1f);
      }
    }
    if (oneIn(15)) standing("Lv4ABikeWrecked_216", 14.0f, gc_fPIER_PROP_Y, z - 4.0f);
    if (oneIn(5)) standing("Lv4ABarrel_216", 19.0f, gc_fPIER_PROP_Y, z - 1.0f);
    if (oneIn(5)) standing("Lv4ANoodleCart_216", 21.0f, gc_fPIER_PROP_Y, z);
    if (oneIn(5)) standing("Lv4AGulls_216", 40.0f, -3.5f, z);
    if (oneIn(5)) {
      standing("Lv4AStreetSignBent_216", 13.0f, 0.0f, z);
      KvRandomCountDraws(1);
      sfmtNextWord();
    }
  }
}
