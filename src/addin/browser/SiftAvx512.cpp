// The block sifter in 64-byte vectors: a block is one vector, and compares
// give bit masks directly.
#include "BlockSift.h"
#include "ScanText.h"

#if QUORBEL_X86_VECTORS
#include <immintrin.h>

// Only what follows may use AVX-512: it runs on processors that have it.
#ifdef __clang__
#pragma clang attribute push(__attribute__((target("avx512bw,popcnt"))), apply_to = function)
#else
#pragma GCC target("avx512bw,popcnt")
#endif

#include "SiftKernel.h"

namespace {

struct TAvx512 {
    using Vec = __m512i;
    using Cmp = __mmask64;
    static constexpr unsigned Width = 64;
    static Vec Load(const uint8_t *p) { return _mm512_loadu_si512(p); }
    static Vec Splat(uint8_t c) { return _mm512_set1_epi8(char(c)); }
    static Vec Or(Vec a, Vec b) { return _mm512_or_si512(a, b); }
    static Cmp Eq(Vec a, Vec b) { return _mm512_cmpeq_epi8_mask(a, b); }
    static Cmp All(Cmp a, Cmp b) { return a & b; }
    static Cmp Any(Cmp a, Cmp b) { return a | b; }
    static Cmp None() { return 0; }
    static uint64_t Bits(Cmp m) { return m; }
    static unsigned Count(uint64_t x) { return unsigned(_mm_popcnt_u64(x)); }
};

} // namespace

void SiftAvx512(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks, TBlockMasks *out)
{
    SiftBlocks<TAvx512>(keys, count, p, blocks, out);
}

#ifdef __clang__
#pragma clang attribute pop
#endif
#endif
