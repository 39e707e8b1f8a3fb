// The engine's one random generator: SFMT-19937 (SIMD-oriented Fast Mersenne Twister), bit-exact with the
// reference implementation so that a fixed seed replays a run word for word.
//
// Seeded once at start-up; all draws happen on the main thread (the state is not synchronised). Every draw
// function adds the number of 32-bit words it used to the draw counter; sfmtNextWord itself does not count.
#pragma once

#include "Corvane/System/KvTypes.h"

inline constexpr i32 gc_iSFMT_N32 = 624;  // 32-bit words of state (156 blocks of 128 bits)

// Reference init_gen_rand with period certification; stores the seed, sets the seeded flag, zeroes the
// draw counter. The next read refills the state.
void sfmtInitGenRand(u32 uiSeed);
// Recomputes all 156 blocks (reference gen_rand_all).
void sfmtGenRandAll();
// The next 32-bit output; refills the state when all 624 words have been read. Does not count a draw.
u32 sfmtNextWord();

u32 KvRandomGetSeed();
bool KvRandomIsSeeded();
u32 KvRandomGetDrawCount();
// Adds uiWords to the draw counter (for callers that inline sfmtNextWord).
void KvRandomCountDraws(u32 uiWords);

namespace KvMath {

// iMin + ((w mod 0x7FFFFFFF) mod (iMax - iMin + 1)); both ends included; one word. Asserts 0 <= iMin <= iMax.
i32 randomIntRange(i32 iMin, i32 iMax);
// 0 for iMax 0 (no word drawn); otherwise (w mod 0x7FFFFFFF) mod iMax with one word.
i32 randomIntBelow(i32 iMax);
// The unit float of a word: w as unsigned, through double to float, times 2^-32; in [0, 1] (1 can occur).
inline f32 wordToUnitFloat(u32 uiWord) {
  return static_cast<f32>(static_cast<f64>(uiWord)) * 2.3283064e-10f;
}
// One word drawn and counted, as a unit float.
f32 randomUnitFloat();

}  // namespace KvMath
