// The plain side of the PlayerStreetWave pair (Bench/PlayerBench.cpp): the game's street as it takes it
// (SStreetStart: the street as the wave arrives and what the hits of each frame did) and the same street written
// plainly (CPlainStreet), one frame at a time into quad, ring and text records of the engine's kind. Only that
// benchmark program includes it.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "Code/Objects/ClEntity.h"
#include "Code/Objects/GAMEGoreFx.h"
#include "Code/Objects/GAMEWorldDraw.h"
#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Graphics/ClAtlasMgr.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/System/KvTypes.h"

inline constexpr f32 gc_fDT = 1.0f / 60.0f;  // a frame of both worlds, seconds
inline constexpr int gc_iWAVE_FRAMES = 30;   // the half second after the wave arrives

// What a street drew per frame; for the game's, also what it drew to the bit (a hash a frame), the live enemies at
// its start and end, the gibs at its end and the last frame's shadows.
struct SStreetCounts {
  i32 iLiveAtStart = 0;
  i32 iLiveAtEnd = 0;
  i32 iGibsAtEnd = 0;
  size_t auiQuads[gc_iWAVE_FRAMES] = {};
  size_t auiRings[gc_iWAVE_FRAMES] = {};
  size_t auiTexts[gc_iWAVE_FRAMES] = {};
  u64 auiDrawnHashes[gc_iWAVE_FRAMES] = {};  // of every quad, ring and text drawn, for the game's street
  size_t uiLastShadows = 0;
};

// The game's street as the plain side takes it: the street when the wave has arrived (its bodies with their lanes,
// hit points and speeds, its gibs with their trails, blood drops, sparks, rings and texts, the player's place), and
// per frame what its hits did: the bodies beaten (or gone), the bodies that came in, and the blood drops, sparks,
// rings and texts they made. The knock-downs chain through the crowd by the game's own reactions, which no plain
// rule reproduces: the plain side beats the same bodies in the same frames and does all that follows by its own
// rules.
struct SStreetStart {
  struct SBody {
    f32 x, z, vx, vz, hp;
    i32 iLane;
    bool bProjectile;
  };
  struct SPiece {
    f32 x, y, z, vx, vy, vz, spin;
    i32 iBounces;  // -1: at rest
    i32 iTrail;    // 0 none, 1 a trail while it flies, 2 its landing burst
    f32 fBurst;    // seconds its landing burst plays, or has left while it plays
  };
  struct SDrop {
    f32 x, y, z, vx, vy, vz, fLife, fAge;
    i32 bLanded;
  };
  // A spark or a ring: where, its age and the age at which it ends (seconds).
  struct SFlash {
    f32 x, y, fAge, fEnd;
  };
  struct SText {
    std::string text;
    f32 fAge, fLifetime;
    bool bStacked;
  };
  struct SHits {
    std::vector<i32> arrived;  // indices into bodies
    std::vector<i32> beaten;   // indices into bodies
    i32 iDrops = 0;
    std::vector<f32> sparks;  // the seconds each plays
    std::vector<f32> rings;   // the seconds each lasts
    std::vector<std::pair<std::string, bool>> texts;  // the text asked for and whether it stacks
  };
  std::vector<SBody> bodies;  // the street's at the start, then those that came in
  std::vector<SPiece> gibs;
  std::vector<SDrop> blood;
  std::vector<SFlash> sparks;
  std::vector<SFlash> rings;
  std::vector<SText> texts;
  f32 fPlayerX = 0.0f;
  i32 iPlayerLane = 1;
  SHits hits[gc_iWAVE_FRAMES];
  SStreetCounts game;  // what the game's street drew
};

// The same street written plainly, from the game's street as the wave arrives and the hits of its frames
// (SStreetStart): plain records and rules of its own. An enemy walks to the player along its lane, attacks him when
// it reaches him (a hit after 0.4 s if he is still there), and, walking, draws one random number a frame: one in
// 100 throws something at him, which flies for two seconds. The bodies the game's frame beat are beaten in the same
// frame (the score with its multiplier, gibs while they are not over the cap), fall and lie; the frame's blood
// drops, sparks and rings come at the bodies beaten in it, else along the crowd, and its texts are asked for, a
// stacked text asked for again while it shows starting over. Gibs and drops fly under gravity; a landing gib comes
// to rest or bounces leaving a splat (the game's odds) and ends its trail with a landing burst, a drop stays where
// it lands for its lifetime and ten seconds more. The draw pass: every enemy's body (its state's flip-book frame
// from its clock), shadow and, standing near the player, target marker, every thrown thing with its shadow, every
// gib with its trail, drop and spark as quad records of the engine's kind, a ring record per ring and a text
// record per text (two for a stacked text asked for more than once: its count below). Its checks: the game's
// beaten bodies beaten and as many left standing, every frame's gib, trail, drop and spark quads as
// many as its own records made and have not ended, the last frame's shadow for every body and thrown thing, and
// every frame's quads, rings and texts within their margins of the game's frame; ".baseline.fights" (no hits),
// ".baseline.draw" (no bodies drawn), ".baseline.gibs" or ".baseline.blood" (none of them drawn) fails them.
class CPlainStreet {
 public:
  explicit CPlainStreet(const SStreetStart& start)
      : m_start(start), m_fPlayerX(start.fPlayerX), m_iPlayerLane(start.iPlayerLane) {
    m_bodySlots.assign(start.bodies.size(), -1);
    std::vector<bool> arrives(start.bodies.size(), false);
    for (const SStreetStart::SHits& frameHits : start.hits) {
      for (i32 iBody : frameHits.arrived) arrives[static_cast<size_t>(iBody)] = true;
    }
    for (size_t i = 0; i < start.bodies.size(); ++i) {
      const SStreetStart::SBody& body = start.bodies[i];
      if (arrives[i]) continue;
      if (body.bProjectile) {
        m_shots.push_back({body.x, body.vx != 0.0f ? body.vx : (body.x < m_fPlayerX ? 200.0f : -200.0f), 2.0f,
                           body.iLane});
      } else {
        enter(static_cast<i32>(i));
      }
    }
    for (const SStreetStart::SPiece& gib : start.gibs) {
      m_gibs.push_back({gib.x, gib.y, gib.z, gib.vx, gib.vy, gib.vz, gib.spin, 0.0f, gib.iBounces, gib.iTrail,
                        gib.fBurst});
      m_iTrailsMade += gib.iTrail != 0 ? 1 : 0;
    }
    for (const SStreetStart::SDrop& drop : start.blood) {
      m_blood.push_back({drop.x, drop.y, drop.z, drop.vx, drop.vy, drop.vz, drop.fLife, drop.fAge, drop.bLanded,
                         0, 0.0f});
    }
    for (const SStreetStart::SFlash& spark : start.sparks) m_sparks.push_back({spark.x, spark.y, spark.fAge, spark.fEnd});
    for (const SStreetStart::SFlash& ring : start.rings) m_rings.push_back({ring.x, ring.y, ring.fAge, ring.fEnd});
    for (const SStreetStart::SText& text : start.texts) {
      m_texts.push_back({text.text, 200.0f, 80.0f, text.fAge, text.fLifetime, text.bStacked});
    }
    m_iGibsMade = static_cast<i64>(m_gibs.size());
    m_iDropsMade = static_cast<i64>(m_blood.size());
    m_iSparksMade = static_cast<i64>(m_sparks.size());
    m_quads.reserve(16384);
  }

  void frame(bool bFights, bool bDraw, bool bGibs, bool bBlood) {
    for (SEnemy& e : m_enemies) {
      e.fClock += gc_fDT;
      e.fStateTime += gc_fDT;
      const f32 dx = m_fPlayerX - e.x;
      const bool bAtPlayer = std::fabs(dx) <= 24.0f && e.iLane == m_iPlayerLane;
      const f32 fStep = 400.0f * gc_fDT;
      const f32 fLine = KvLaneLine(e.iLane);
      e.y = e.y < fLine ? std::fmin(e.y + fStep, fLine) : std::fmax(e.y - fStep, fLine);
      if (e.eState == WALK) {
        const f32 r = KvMath::randomUnitFloat();
        if (bAtPlayer) {
          setState(e, ATTACK);
        } else {
          e.x += (dx > 0.0f ? 40.0f : -40.0f) * gc_fDT;
          if (r < 0.01f) m_shots.push_back({e.x, dx > 0.0f ? 200.0f : -200.0f, 2.0f, e.iLane});
        }
      } else if (e.eState == ATTACK && e.fStateTime > 0.4f) {
        m_iPlayerHits += bAtPlayer ? 1 : 0;
        setState(e, WALK);
      } else if (e.eState == DOWN) {
        e.z += e.vz * gc_fDT;
        e.vz += gc_fGORE_GRAVITY * gc_fDT;
        if (e.z > 0.0f) {
          e.z = 0.0f;
          e.vz = 0.0f;
        }
      }
    }
    for (size_t s = 0; s < m_shots.size();) {
      SShot& shot = m_shots[s];
      shot.x += shot.vx * gc_fDT;
      shot.fLife -= gc_fDT;
      if (shot.fLife <= 0.0f) {
        shot = m_shots.back();
        m_shots.pop_back();
      } else {
        ++s;
      }
    }
    if (bFights && m_iFrame < gc_iWAVE_FRAMES) hits(m_start.hits[m_iFrame]);
    // A gib that lands comes to rest (more likely with every bounce) or bounces at three tenths of its speed,
    // leaving a splat; its first landing turns its trail into the landing burst.
    for (SPiece& g : m_gibs) {
      // A burst whose time left is 0 still shows (to a tenth of a millisecond: the game counts its time down frame
      // by frame of its flip book, in other roundings).
      if (g.iTrail == 2) {
        g.fBurst -= gc_fDT;
        if (g.fBurst < -1e-4f) {
          g.iTrail = 0;
          ++m_iTrailsEnded;
        }
      }
      if (g.iBounces < 0) continue;
      fly(g);
      g.fAge += g.spin * gc_fDT;
      if (g.z <= 0.0f) continue;
      g.z = 0.0f;
      ++m_iLandings;
      if (g.iTrail == 1) g.iTrail = 2;
      if (KvMath::randomUnitFloat() <= static_cast<f32>(g.iBounces) * 0.1f + 0.2f) {
        g.vx = g.vy = g.vz = g.spin = 0.0f;
        g.iBounces = -1;
      } else {
        g.vx *= 0.3f;
        g.vy *= 0.3f;
        g.vz *= -0.3f;
        ++g.iBounces;
        m_blood.push_back({g.x, g.y, 0.0f, 0.0f, 0.0f, 0.0f, gc_fSPLAT_SECONDS, 0.0f, 1, 0, 0.0f});
        ++m_iDropsMade;
      }
    }
    for (size_t d = 0; d < m_blood.size();) {
      SPiece& drop = m_blood[d];
      drop.fAge += gc_fDT;
      if (drop.iBounces == 0) fly(drop);
      if (drop.iBounces == 0 && drop.z > 0.0f) {
        drop.z = 0.0f;
        drop.iBounces = 1;
        drop.spin += gc_fSPLAT_SECONDS;
      }
      if (drop.fAge > drop.spin) {
        drop = m_blood.back();
        m_blood.pop_back();
        ++m_iDropsEnded;
      } else {
        ++d;
      }
    }
    // A spark ends when its flip book has played, a ring once it is older than its lifetime.
    m_iSparksEnded += age(m_sparks, [](const SFlash& spark) { return spark.fAge >= spark.fEnd; });
    age(m_rings, [](const SFlash& ring) { return ring.fAge > ring.fEnd; });
    for (size_t t = 0; t < m_texts.size();) {
      m_texts[t].fAge += gc_fDT;
      if (!m_texts[t].bStacked) m_texts[t].y -= 50.0f * gc_fDT;
      if (m_texts[t].fAge > m_texts[t].fLifetime) {
        m_texts[t] = m_texts.back();
        m_texts.pop_back();
      } else {
        ++t;
      }
    }
    draw(bDraw, bGibs, bBlood);
    ++m_iFrame;
  }

  const std::vector<SWorldQuad>& quads() const { return m_quads; }
  size_t rings() const { return m_ringRecords.size(); }
  size_t texts() const { return m_textRecords.size(); }
  size_t bodies() const { return m_enemies.size() + m_shots.size(); }
  i64 beaten() const { return m_iBeaten; }
  // The enemies standing now (the game's street's live enemies).
  i64 standing() const {
    return static_cast<i64>(std::count_if(m_enemies.begin(), m_enemies.end(), [](const SEnemy& e) { return e.eState != DOWN; }));
  }
  i64 score() const { return m_iScore; }
  // The quads of one kind the last frame drew, and as many as the street's records say it should have.
  size_t drawn(const SAtlasEntry* pImage) const {
    return static_cast<size_t>(std::count_if(m_quads.begin(), m_quads.end(),
                                             [pImage](const SWorldQuad& q) { return q.mp_pEntry == pImage; }));
  }
  const SAtlasEntry* gibImage() const { return &m_gibImage; }
  const SAtlasEntry* trailImage() const { return &m_trailImage; }
  const SAtlasEntry* dropImage() const { return &m_dropImage; }
  const SAtlasEntry* sparkImage() const { return &m_sparkImage; }
  i64 gibsMade() const { return m_iGibsMade; }
  i64 trailsLeft() const { return m_iTrailsMade - m_iTrailsEnded; }
  i64 dropsLeft() const { return m_iDropsMade - m_iDropsEnded; }
  i64 sparksLeft() const { return m_iSparksMade - m_iSparksEnded; }

 private:
  enum E_STATE { WALK, ATTACK, DOWN };
  static constexpr f32 gc_fSPLAT_SECONDS = 10.0f;
  struct SEnemy {
    f32 x, y, z, vz, hp, fClock, fStateTime;
    i32 iLane;
    E_STATE eState;
  };
  struct SShot {
    f32 x, vx, fLife;
    i32 iLane;
  };
  // A gib (spin: radians a second, fAge its angle, iBounces -1 at rest, iTrail and fBurst as SStreetStart's) or a
  // blood drop
  // (spin: its lifetime, iBounces: landed).
  struct SPiece {
    f32 x, y, z, vx, vy, vz, spin, fAge;
    i32 iBounces;
    i32 iTrail;
    f32 fBurst;
  };
  using SFlash = SStreetStart::SFlash;
  struct SText {
    std::string text;
    f32 x, y, fAge, fLifetime;
    bool bStacked;
    i32 iRepeats = 1;
  };

  static void setState(SEnemy& e, E_STATE eState) {
    e.eState = eState;
    e.fStateTime = 0.0f;
  }
  static void fly(SPiece& p) {
    p.x += p.vx * gc_fDT;
    p.y += p.vy * gc_fDT;
    p.z += p.vz * gc_fDT;
    p.vz += gc_fGORE_GRAVITY * gc_fDT;
  }
  // Ages the flashes a frame and takes out those that ended; how many.
  template <typename FEnded>
  static i64 age(std::vector<SFlash>& flashes, FEnded ended) {
    i64 iEnded = 0;
    for (size_t i = 0; i < flashes.size();) {
      flashes[i].fAge += gc_fDT;
      if (ended(flashes[i])) {
        flashes[i] = flashes.back();
        flashes.pop_back();
        ++iEnded;
      } else {
        ++i;
      }
    }
    return iEnded;
  }
  SPiece piece(f32 x, f32 y, f32 fSpeed) {
    const f32 a = KvMath::randomUnitFloat() * 6.283f;
    return {x, y, -20.0f, fSpeed * std::cos(a), fSpeed * 0.3f * std::sin(a), -fSpeed, 6.0f, 0.0f, 0, 0, 0.0f};
  }
  // A drop of a hit's blood, thrown as the game throws one: a little above the ground, forward and up at up to 290
  // units a second, for 0.1 to 5.6 seconds.
  SPiece hitDrop(f32 x, f32 y) {
    const f32 a = KvMath::randomUnitFloat() * 6.283f;
    const f32 b = KvMath::randomUnitFloat() * 6.283f;
    const f32 fSpeed = 10.0f + 280.0f * KvMath::randomUnitFloat();
    const f32 fLife = 0.1f + 5.5f * KvMath::randomUnitFloat();
    return {x + 12.0f * KvMath::randomUnitFloat() - 6.0f, y, -12.0f * KvMath::randomUnitFloat(),
            std::cos(a) * fSpeed + 100.0f, std::sin(a) * std::cos(b) * fSpeed, std::sin(a) * std::sin(b) * fSpeed - 100.0f,
            fLife, 0.0f, 0, 0, 0.0f};
  }
  // The frame's hits: its beaten bodies, then its blood, sparks and rings at them (else along the crowd) and its
  // texts.
  void hits(const SStreetStart::SHits& frameHits) {
    for (i32 iBody : frameHits.arrived) enter(iBody);
    std::vector<const SEnemy*> at;
    for (i32 iBody : frameHits.beaten) {
      const i32 iSlot = m_bodySlots[static_cast<size_t>(iBody)];
      if (iSlot < 0 || m_enemies[static_cast<size_t>(iSlot)].eState == DOWN) continue;
      beat(m_enemies[static_cast<size_t>(iSlot)]);
      at.push_back(&m_enemies[static_cast<size_t>(iSlot)]);
    }
    if (at.empty()) {
      for (const SEnemy& e : m_enemies) at.push_back(&e);
    }
    if (at.empty()) return;
    for (i32 i = 0; i < frameHits.iDrops; ++i) {
      const SEnemy& e = *at[static_cast<size_t>(i) % at.size()];
      m_blood.push_back(hitDrop(e.x, e.y));
      ++m_iDropsMade;
    }
    for (size_t i = 0; i < frameHits.sparks.size(); ++i) {
      const SEnemy& e = *at[i % at.size()];
      m_sparks.push_back({e.x, e.y - 30.0f, 0.0f, frameHits.sparks[i]});
      ++m_iSparksMade;
    }
    for (size_t i = 0; i < frameHits.rings.size(); ++i) {
      const SEnemy& e = *at[i % at.size()];
      m_rings.push_back({e.x, e.y, 0.0f, frameHits.rings[i]});
    }
    for (size_t i = 0; i < frameHits.texts.size(); ++i) {
      const std::pair<std::string, bool>& request = frameHits.texts[i];
      const SEnemy& e = *at[i % at.size()];
      const auto same = std::find_if(m_texts.begin(), m_texts.end(), [&request](const SText& text) {
        return text.bStacked && text.text == request.first;
      });
      if (request.second && same != m_texts.end()) {
        same->fAge = 0.0f;
        ++same->iRepeats;
      } else {
        m_texts.push_back({request.first, e.x, e.y - 40.0f, 0.0f, request.second ? 1.25f : 1.0f, request.second});
      }
    }
  }
  void enter(i32 iBody) {
    const SStreetStart::SBody& body = m_start.bodies[static_cast<size_t>(iBody)];
    m_bodySlots[static_cast<size_t>(iBody)] = static_cast<i32>(m_enemies.size());
    m_enemies.push_back({body.x, KvLaneLine(body.iLane), body.z, body.vz, body.hp, 0.0f, 0.0f, body.iLane, WALK});
  }
  void beat(SEnemy& e) {
    e.hp = 0.0f;
    e.vz = -150.0f;
    setState(e, DOWN);
    ++m_iBeaten;
    m_iScore += static_cast<i32>(100.0f * m_fMultiplier);
    m_fMultiplier = std::min(m_fMultiplier + 0.1f, 4.0f);
    for (i32 k = 0; k < 6 && static_cast<i32>(m_gibs.size()) <= gc_iGIB_CAP; ++k) {
      SPiece gib = piece(e.x, e.y, 100.0f + 300.0f * KvMath::randomUnitFloat());
      m_gibs.push_back(gib);
      ++m_iGibsMade;
    }
  }
  void quad(const SAtlasEntry* pEntry, f32 x, f32 y, f32 fDepth, u32 uiColor, u32 uiShader) {
    const auto snap = [](f32 v) { return static_cast<f32>(std::floor(static_cast<f64>(v) * 1.25 + 0.5)); };
    SWorldQuad q;
    q.mp_pEntry = pEntry;
    q.m_vPosition = {snap(x), snap(y)};
    q.m_vPivot = {8.0f, 16.0f};
    q.m_uiColor = uiColor;
    q.m_uiShaderHash = uiShader;
    q.m_fDepth = fDepth;
    m_quads.push_back(q);
  }
  void draw(bool bBodies, bool bGibs, bool bBlood) {
    static const u32 s_uiBody = KvStrHash("system_blend_premult");
    static const u32 s_uiShadow = KvStrHash("vosk_shadow");
    static const u32 s_uiBlood = KvStrHash("vosk_blood");
    static const u32 s_uiRing = KvStrHash("system_blend_color");
    m_quads.clear();
    m_ringRecords.clear();
    for (size_t i = 0; i < m_enemies.size() && bBodies; ++i) {
      const SEnemy& e = m_enemies[i];
      const i32 iFrame = static_cast<i32>(e.eState) * 8 + static_cast<i32>(e.fClock * 10.0f) % 8;
      const f32 fDepth = (100.0f - e.y) + static_cast<f32>(i) * 0.1f;
      quad(&m_aImages[iFrame], e.x, e.y + e.z, fDepth, 0xFFFFFFFFu, s_uiBody);
      quad(&m_shadowImage, e.x, e.y, 100.0f, 0xFFFFFFFFu, s_uiShadow);
      if (e.eState != DOWN && std::fabs(e.x - m_fPlayerX) < 100.0f) {
        quad(&m_markerImage, e.x, e.y - 27.0f, fDepth - 1.0f, 0x80FFFFFFu, s_uiBody);
      }
    }
    for (size_t i = 0; i < m_shots.size() && bBodies; ++i) {
      const SShot& shot = m_shots[i];
      quad(&m_shotImage, shot.x, KvLaneLine(shot.iLane) - 20.0f, 50.0f, 0xFFFFFFFFu, s_uiBody);
      quad(&m_shadowImage, shot.x, KvLaneLine(shot.iLane), 100.0f, 0xFFFFFFFFu, s_uiShadow);
    }
    for (size_t i = 0; i < m_gibs.size() && bGibs; ++i) {
      const SPiece& g = m_gibs[i];
      const f32 fDepth = (100.0f - g.y) + static_cast<f32>(i) * 0.1f;
      quad(&m_gibImage, g.x, g.y + g.z, fDepth + std::cos(g.fAge), 0xFFFFFFFFu, s_uiBody);
      if (g.iTrail != 0) quad(&m_trailImage, g.x, g.y + g.z, fDepth, 0xFFFFFFFFu, s_uiBody);
    }
    for (size_t i = 0; i < m_blood.size() && bBlood; ++i) {
      const SPiece& d = m_blood[i];
      quad(&m_dropImage, d.x, d.y + d.z, 10.0f, d.iBounces != 0 ? 0xFFFFFFFFu : 0xFFB2B2B2u, s_uiBlood);
    }
    for (const SFlash& spark : m_sparks) quad(&m_sparkImage, spark.x, spark.y, -100.0f, 0xFFFFFFFFu, s_uiBody);
    m_textRecords.clear();
    for (const SText& text : m_texts) {
      m_textRecords.push_back({&text.text, text.x, text.y});
      // A stacked text asked for more than once shows its count on a line below.
      if (text.iRepeats > 1) m_textRecords.push_back({&text.text, text.x, text.y + 16.0f});
    }
    for (const SFlash& ring : m_rings) {
      SWorldRing record;
      record.m_vCentre = {ring.x * gc_fWORLD_TO_SCREEN, ring.y * gc_fWORLD_TO_SCREEN};
      record.m_fInnerRadius = 28.0f;
      record.m_fOuterRadius = 48.0f;
      record.m_uiInnerColor = 0x80FFFFFFu;
      record.m_uiShaderHash = s_uiRing;
      record.m_fDepth = (100.0f - ring.y) + 5.0f;
      m_ringRecords.push_back(record);
    }
  }

  const SStreetStart& m_start;
  f32 m_fPlayerX;
  i32 m_iPlayerLane;
  i32 m_iFrame = 0;
  std::vector<i32> m_bodySlots;  // per start body, its enemy's index (-1 for a thrown thing)
  std::vector<SEnemy> m_enemies;
  std::vector<SShot> m_shots;
  std::vector<SPiece> m_gibs;
  std::vector<SPiece> m_blood;
  std::vector<SFlash> m_sparks;
  std::vector<SFlash> m_rings;
  std::vector<SText> m_texts;
  std::vector<SWorldQuad> m_quads;
  std::vector<SWorldRing> m_ringRecords;
  struct STextRecord {
    const std::string* pText;
    f32 x, y;
  };
  std::vector<STextRecord> m_textRecords;
  f32 m_fMultiplier = 1.0f;
  i64 m_iScore = 0;
  i64 m_iBeaten = 0;
  i64 m_iLandings = 0;
  i64 m_iPlayerHits = 0;
  i64 m_iGibsMade = 0;
  i64 m_iTrailsMade = 0;
  i64 m_iTrailsEnded = 0;
  i64 m_iDropsMade = 0;
  i64 m_iDropsEnded = 0;
  i64 m_iSparksMade = 0;
  i64 m_iSparksEnded = 0;
  SAtlasEntry m_aImages[24] = {};
  SAtlasEntry m_shadowImage{};
  SAtlasEntry m_markerImage{};
  SAtlasEntry m_shotImage{};
  SAtlasEntry m_gibImage{};
  SAtlasEntry m_trailImage{};
  SAtlasEntry m_dropImage{};
  SAtlasEntry m_sparkImage{};
};
