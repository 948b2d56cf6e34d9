// The block sifter in 32-byte vectors.
#include "BlockSift.h"
#include "ScanText.h"

#if QUORBEL_X86_VECTORS
#include <immintrin.h>

// Only what follows may use AVX2: it runs on processors that have it.
#ifdef __clang__
#pragma clang attribute push(__attribute__((target("avx2,popcnt"))), apply_to = function)
#else
#pragma GCC target("avx2,popcnt")
#endif

#include "SiftKernel.h"

namespace {

struct TAvx2 {
    using Vec = __m256i;
    using Cmp = __m256i;
    static constexpr unsigned Width = 32;
    static Vec Load(const uint8_t *p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p)); }
    static Vec Splat(uint8_t c) { return _mm256_set1_epi8(char(c)); }
    static Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
    static Cmp Eq(Vec a, Vec b) { return _mm256_cmpeq_epi8(a, b); }
    static Cmp All(Cmp a, Cmp b) { return _mm256_and_si256(a, b); }
    static Cmp Any(Cmp a, Cmp b) { return _mm256_or_si256(a, b); }
    static Cmp None() { return _mm256_setzero_si256(); }
    static uint64_t Bits(Cmp m) { return uint32_t(_mm256_movemask_epi8(m)); }
    static unsigned Count(uint64_t x) { return unsigned(_mm_popcnt_u64(x)); }
};

} // namespace

void SiftAvx2(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks, TBlockMasks *out)
{
    SiftBlocks<TAvx2>(keys, count, p, blocks, out);
}

#ifdef __clang__
#pragma clang attribute pop
#endif
#endif
