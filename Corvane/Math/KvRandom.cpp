#include "Corvane/Math/KvRandom.h"

#include "Corvane/System/KvDebug.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// SFMT-19937 parameters of the reference implementation.
constexpr i32 gc_iN = 156;
constexpr i32 gc_iPOS1 = 122;
constexpr i32 gc_iSL1 = 18;
constexpr i32 gc_iSL2 = 1;  // bytes
constexpr i32 gc_iSR1 = 11;
constexpr i32 gc_iSR2 = 1;  // bytes
constexpr u32 gc_MSK[4] = {0xdfffffefu, 0xddfecb7fu, 0xbffaffffu, 0xbffffff6u};
constexpr u32 gc_PARITY[4] = {0x00000001u, 0x00000000u, 0x00000000u, 0x13c9e684u};

struct alignas(16) SSfmtBlock {
  u32 u[4];
};

struct SSfmtState {
  SSfmtBlock blocks[gc_iN];
  i32 iIndex = gc_iSFMT_N32;
  u32 uiSeed = 0;
  bool bSeeded = false;
  u32 uiDrawCount = 0;
};

SSfmtState g_sfmt;

u32* words() { return &g_sfmt.blocks[0].u[0]; }

#if !defined(__SSE2__)

// 128-bit shifts by whole bytes; word 0 is the least significant.
inline void rshift128(SSfmtBlock& out, const SSfmtBlock& in, i32 iBytes) {
  const u64 th = (u64(in.u[3]) << 32) | in.u[2];
  const u64 tl = (u64(in.u[1]) << 32) | in.u[0];
  const u64 oh = th >> (iBytes * 8);
  const u64 ol = (tl >> (iBytes * 8)) | (th << (64 - iBytes * 8));
  out.u[0] = u32(ol);
  out.u[1] = u32(ol >> 32);
  out.u[2] = u32(oh);
  out.u[3] = u32(oh >> 32);
}

inline void lshift128(SSfmtBlock& out, const SSfmtBlock& in, i32 iBytes) {
  const u64 th = (u64(in.u[3]) << 32) | in.u[2];
  const u64 tl = (u64(in.u[1]) << 32) | in.u[0];
  const u64 oh = (th << (iBytes * 8)) | (tl >> (64 - iBytes * 8));
  const u64 ol = tl << (iBytes * 8);
  out.u[0] = u32(ol);
  out.u[1] = u32(ol >> 32);
  out.u[2] = u32(oh);
  out.u[3] = u32(oh >> 32);
}

inline void doRecursion(SSfmtBlock& r, const SSfmtBlock& a, const SSfmtBlock& b, const SSfmtBlock& c,
                        const SSfmtBlock& d) {
  SSfmtBlock x;
  SSfmtBlock y;
  lshift128(x, a, gc_iSL2);
  rshift128(y, c, gc_iSR2);
  for (i32 i = 0; i < 4; ++i) {
    r.u[i] = a.u[i] ^ x.u[i] ^ ((b.u[i] >> gc_iSR1) & gc_MSK[i]) ^ y.u[i] ^ (d.u[i] << gc_iSL1);
  }
}

#endif

void periodCertification() {
  u32* pWords = words();
  u32 uiInner = 0;
  for (i32 i = 0; i < 4; ++i) {
    uiInner ^= pWords[i] & gc_PARITY[i];
  }
  for (i32 i = 16; i > 0; i >>= 1) {
    uiInner ^= uiInner >> i;
  }
  if (uiInner & 1u) {
    return;
  }
  // Flip the lowest set bit of the parity vector.
  for (i32 i = 0; i < 4; ++i) {
    for (u32 uiWork = 1; uiWork != 0; uiWork <<= 1) {
      if (uiWork & gc_PARITY[i]) {
        pWords[i] ^= uiWork;
        return;
      }
    }
  }
}

}  // namespace

void sfmtInitGenRand(u32 uiSeed) {
  u32* pWords = words();
  pWords[0] = uiSeed;
  for (i32 i = 1; i < gc_iSFMT_N32; ++i) {
    pWords[i] = 1812433253u * (pWords[i - 1] ^ (pWords[i - 1] >> 30)) + u32(i);
  }
  g_sfmt.iIndex = gc_iSFMT_N32;
  periodCertification();
  g_sfmt.uiSeed = uiSeed;
  g_sfmt.bSeeded = true;
  g_sfmt.uiDrawCount = 0;
}

#if defined(__SSE2__)

namespace {

// One step of the recursion on 128-bit registers; the same operations as doRecursion, lane by lane.
inline __m128i recursionSse2(__m128i a, __m128i b, __m128i c, __m128i d, __m128i mask) {
  const __m128i x = _mm_slli_si128(a, gc_iSL2);
  const __m128i y = _mm_and_si128(_mm_srli_epi32(b, gc_iSR1), mask);
  const __m128i z = _mm_srli_si128(c, gc_iSR2);
  const __m128i v = _mm_slli_epi32(d, gc_iSL1);
  return _mm_xor_si128(_mm_xor_si128(_mm_xor_si128(a, x), _mm_xor_si128(y, z)), v);
}

}  // namespace

void sfmtGenRandAll() {
  __m128i* pB = reinterpret_cast<__m128i*>(g_sfmt.blocks);
  const __m128i mask = _mm_set_epi32(i32(gc_MSK[3]), i32(gc_MSK[2]), i32(gc_MSK[1]), i32(gc_MSK[0]));
  __m128i r1 = _mm_load_si128(&pB[gc_iN - 2]);
  __m128i r2 = _mm_load_si128(&pB[gc_iN - 1]);
  i32 i = 0;
  for (; i < gc_iN - gc_iPOS1; ++i) {
    const __m128i r = recursionSse2(_mm_load_si128(&pB[i]), _mm_load_si128(&pB[i + gc_iPOS1]), r1, r2, mask);
    _mm_store_si128(&pB[i], r);
    r1 = r2;
    r2 = r;
  }
  for (; i < gc_iN; ++i) {
    const __m128i r =
        recursionSse2(_mm_load_si128(&pB[i]), _mm_load_si128(&pB[i + gc_iPOS1 - gc_iN]), r1, r2, mask);
    _mm_store_si128(&pB[i], r);
    r1 = r2;
    r2 = r;
  }
}

#else

void sfmtGenRandAll() {
  SSfmtBlock* pB = g_sfmt.blocks;
  const SSfmtBlock* pR1 = &pB[gc_iN - 2];
  const SSfmtBlock* pR2 = &pB[gc_iN - 1];
  i32 i = 0;
  for (; i < gc_iN - gc_iPOS1; ++i) {
    doRecursion(pB[i], pB[i], pB[i + gc_iPOS1], *pR1, *pR2);
    pR1 = pR2;
    pR2 = &pB[i];
  }
  for (; i < gc_iN; ++i) {
    doRecursion(pB[i], pB[i], pB[i + gc_iPOS1 - gc_iN], *pR1, *pR2);
    pR1 = pR2;
    pR2 = &pB[i];
  }
}

#endif

u32 sfmtNextWord() {
  if (g_sfmt.iIndex >= gc_iSFMT_N32) {
    sfmtGenRandAll();
    g_sfmt.iIndex = 0;
  }
  return words()[g_sfmt.iIndex++];
}

u32 KvRandomGetSeed() { return g_sfmt.uiSeed; }
bool KvRandomIsSeeded() { return g_sfmt.bSeeded; }
u32 KvRandomGetDrawCount() { return g_sfmt.uiDrawCount; }
void KvRandomCountDraws(u32 uiWords) { g_sfmt.uiDrawCount += uiWords; }

namespace KvMath {

i32 randomIntRange(i32 iMin, i32 iMax) {
  KV_ASSERT(iMax >= iMin);
  KV_ASSERT(iMin >= 0);
  KV_ASSERT(iMax >= 0);
  ++g_sfmt.uiDrawCount;
  const u32 uiWord = sfmtNextWord();
  // The span is computed in 64 bits so that the full range 0..INT_MAX does not overflow.
  const i64 iSpan = i64(iMax) - i64(iMin) + 1;
  return iMin + i32(i64(uiWord % 0x7FFFFFFFu) % iSpan);
}

i32 randomIntBelow(i32 iMax) {
  KV_ASSERT(iMax >= 0);
  if (iMax == 0) {
    return 0;
  }
  ++g_sfmt.uiDrawCount;
  const u32 uiWord = sfmtNextWord();
  return i32(uiWord % 0x7FFFFFFFu) % iMax;
}

f32 randomUnitFloat() {
  ++g_sfmt.uiDrawCount;
  return wordToUnitFloat(sfmtNextWord());
}

}  // namespace KvMath
