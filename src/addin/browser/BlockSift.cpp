#include "BlockSift.h"

#include "ScanText.h"

#include <algorithm>
#include <atomic>

#if QUORBEL_X86_VECTORS
#include <emmintrin.h>
// SSE2 is the x86-64 baseline: no target switch.
#include "SiftKernel.h"
#endif

using namespace ScanText;

namespace {

std::atomic<int> UnitCap{-1};

#if QUORBEL_X86_VECTORS
struct TSse2 {
    using Vec = __m128i;
    using Cmp = __m128i;
    static constexpr unsigned Width = 16;
    static Vec Load(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
    static Vec Splat(uint8_t c) { return _mm_set1_epi8(char(c)); }
    static Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
    static Cmp Eq(Vec a, Vec b) { return _mm_cmpeq_epi8(a, b); }
    static Cmp All(Cmp a, Cmp b) { return _mm_and_si128(a, b); }
    static Cmp Any(Cmp a, Cmp b) { return _mm_or_si128(a, b); }
    static Cmp None() { return _mm_setzero_si128(); }
    static uint64_t Bits(Cmp m) { return uint32_t(_mm_movemask_epi8(m)); }
    static unsigned Count(uint64_t x) { return BitCount(x); }
};
#endif

} // namespace

#if QUORBEL_X86_VECTORS
void SiftSse2(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks, TBlockMasks *out)
{
    SiftBlocks<TSse2>(keys, count, p, blocks, out);
}
#endif

void SiftPlain(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks, TBlockMasks *out)
{
    for (size_t b = 0; b < blocks; ++b, p += 64) {
        uint64_t l = 0;
        uint64_t o = 0;
        uint64_t c = 0;
        for (unsigned i = 0; i < 64; ++i) {
            const uint8_t ch = p[i];
            const uint64_t bit = uint64_t(1) << i;
            if (ch == LF)
                l |= bit;
            else if (ch == CR || ch == CtrlZ)
                o |= bit;
            for (size_t j = 0; j < count; ++j) {
                const TSiftKey &k = keys[j];
                if ((ch | 0x20) == k.First && (p[i + (k.LastOffset ? 1 : 0)] | 0x20) == k.Second
                    && (p[i + k.LastOffset] | 0x20) == k.Last)
                    c |= bit;
            }
        }
        out[b] = {l, o, c, BitCount(l), l ? 63 - __builtin_clzll(l) : -1};
    }
}

TVectorUnit ProcessorVectorUnit()
{
#if QUORBEL_X86_VECTORS
    static const TVectorUnit best = __builtin_cpu_supports("avx512bw") ? vuAvx512
        : __builtin_cpu_supports("avx2")                                ? vuAvx2
                                                                        : vuSse2;
    return best;
#else
    return vuPlain;
#endif
}

TVectorUnit SiftVectorUnit()
{
    const int cap = UnitCap.load(std::memory_order_relaxed);
    const TVectorUnit best = ProcessorVectorUnit();
    return cap < 0 ? best : TVectorUnit(std::min(cap, int(best)));
}

void LimitVectorUnit(int unit)
{
    UnitCap.store(unit, std::memory_order_relaxed);
}

size_t TBlockSifter::Reach(const std::vector<const std::string *> &needles)
{
    size_t far = 1;
    for (const std::string *n : needles)
        if (!n->empty())
            far = std::max(far, n->size() - 1);
    return 64 + far;
}

void TBlockSifter::Set(const std::vector<const std::string *> &needles)
{
    FKeys.clear();
    for (const std::string *needle : needles) {
        const std::string &n = *needle;
        if (n.empty())
            continue;
        const TSiftKey key{uint8_t(uint8_t(n.front()) | 0x20), uint8_t(uint8_t(n[n.size() > 1 ? 1 : 0]) | 0x20),
                           uint8_t(uint8_t(n.back()) | 0x20), uint32_t(n.size() - 1)};
        if (std::find(FKeys.begin(), FKeys.end(), key) == FKeys.end())
            FKeys.push_back(key);
    }
    FKernel = SiftPlain;
#if QUORBEL_X86_VECTORS
    if (FKeys.size() <= VectorKeys) {
        switch (SiftVectorUnit()) {
        case vuAvx512: FKernel = SiftAvx512; break;
        case vuAvx2: FKernel = SiftAvx2; break;
        case vuSse2: FKernel = SiftSse2; break;
        case vuPlain: break;
        }
    }
#endif
}

uint64_t TBlockSifter::Sift(const uint8_t *p, size_t blocks, TBlockMasks *out) const
{
    FKernel(FKeys.data(), FKeys.size(), p, blocks, out);
    uint64_t special = 0;
    for (size_t b = 0; b < blocks; ++b)
        special |= uint64_t((out[b].Other | out[b].Cand) != 0) << b;
    return special;
}
