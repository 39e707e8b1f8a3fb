// A pickup lying in a lane (entity kind 3): health, a magic charge, points or a melee weapon. The player
// collects it by running over it (same lane, x within the 16-unit collect radius, inclusive); it goes when
// collected or once it is 32 units behind the camera's left edge.
//
// Kinds by spawn name, in table order: "PickupHealth" (hit points and carried health back to 3),
// "PickupMagic" (one charge of a magic kind drawn at random; drawn as the HUD's bomb image from
// "TexturesUIAtlas"), "PickupPoints" (2000 points, not multiplied), "PickupMachete", "PickupFireAxe" and
// "PickupSledgehammer" (the weapon with its full charge). The others animate their flip book on the gameplay
// clock. Health, magic and points show a 3 s message and call a voice-over. Main thread only.
#pragma once

#include "Code/Objects/ClEntity.h"
#include "Corvane/System/KvTypes.h"

struct SAtlasEntry;

enum E_PICKUP_KIND : i32 {
  E_PICKUP_KIND_HEALTH = 0,
  E_PICKUP_KIND_MAGIC = 1,
  E_PICKUP_KIND_POINTS = 2,
  E_PICKUP_KIND_MACHETE = 3,
  E_PICKUP_KIND_AXE = 4,
  E_PICKUP_KIND_SLEDGEHAMMER = 5,
  NUM_E_PICKUP_KIND
};

inline constexpr i32 gc_iPICKUP_POINTS = 2000;

class ClEntityPickup : public ClEntity {
 public:
  // The kind of a spawn name, -1 for a name that is no pickup.
  static i32 kindOf(const char* pName);

  // Set-up at the position in the lane; the magic kind draws one random word. False, with a line printed, when
  // the name is no pickup or its image is missing (the pickup must then be destroyed, not listed).
  bool initialize(f32 fX, f32 fY, f32 fZ, f32 fW, i32 iLane, const char* pName);
  void update() override;
  void draw(u32 uiOrderIndex) override;

  i32 m_ePickupKind = E_PICKUP_KIND_HEALTH;
  i32 m_iMagicKind = 0;
  const SAtlasEntry* mp_pImage = nullptr;  // the magic pickup's image; null for flip-book pickups

 private:
  using ClEntity::initialize;
  void collect();
};
