// An enemy marked with a star (entity kind 2): a wrapper around an ordinary data-script enemy, the inner enemy,
// which does all the work. The outer object only mirrors the inner one's position, lane, gone flag, hit letter,
// shield and body animation after each update, so the list's passes see where it is; clear, draw and hit tests
// go to the inner enemy.
//
// Star enemies come in groups (g_aiStarGroupCounts, the spawn manager's): each is counted once, when its inner
// enemy's hit points reach 0 or it goes without having left the screen, and the last one counted refuels the
// super meter by one use and plays "Refueled". A star enemy that runs off screen alive is never counted, so its
// group gives nothing. Main thread only.
#pragma once

#include "Code/Objects/ClEntityEnemy.h"
#include "Corvane/System/KvTypes.h"

class ClEntityStarEnemy : public ClEntityEnemy {
 public:
  ClEntityStarEnemy();
  ~ClEntityStarEnemy() override = default;

  // The inner enemy set up as the type, the outer taking its state; both wear the star look.
  void setup(f32 fX, f32 fY, f32 fZ, f32 fW, i32 iLane, const char* pTypeName, i32 iStarGroup);

  void clear() override;
  void update() override;
  void draw(u32 uiOrderIndex) override;
  bool tryHit(char cLetter, f32 fDistance, i32 bFromDisarmedWeapon) override;

  ClEntityEnemy m_inner;
  i32 m_iStarGroup = -1;
  i32 m_bCounted = 0;

 private:
  void mirrorInner();
};
