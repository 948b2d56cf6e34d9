// The block sifting kernel, written once for every vector width. A kernel's
// translation unit includes this after switching its target on, so that the
// kernel is compiled for that unit; everything included here must already
// have been included above the switch (no other code may take the target).
//
// V, the vector traits: Vec and Cmp types, Width (bytes per Vec), Load,
// Splat, Or, Eq (Vec, Vec -> Cmp), All / Any (Cmp, Cmp -> Cmp), None,
// Bits (Cmp -> low Width bits) and Count (popcount).
#pragma once

#include "BlockSift.h"
#include "ScanText.h"

#if defined(__GNUC__) && !defined(__clang__)
#define QUORBEL_UNROLL_KEYS _Pragma("GCC unroll 8")
#else
#define QUORBEL_UNROLL_KEYS
#endif

// N keys as a template argument, so that their vectors stay in registers
// across the whole range.
template <class V, size_t N>
void SiftKeys(const TSiftKey *keys, const uint8_t *p, size_t blocks, TBlockMasks *out)
{
    using Vec = typename V::Vec;
    using Cmp = typename V::Cmp;
    const Vec fold = V::Splat(0x20);
    const Vec lf = V::Splat(ScanText::LF);
    const Vec cr = V::Splat(ScanText::CR);
    const Vec sub = V::Splat(ScanText::CtrlZ);
    Vec first[N ? N : 1];
    Vec second[N ? N : 1];
    Vec last[N ? N : 1];
    uint32_t off[N ? N : 1];
    for (size_t j = 0; j < N; ++j) {
        first[j] = V::Splat(keys[j].First);
        second[j] = V::Splat(keys[j].Second);
        last[j] = V::Splat(keys[j].Last);
        off[j] = keys[j].LastOffset;
    }
    for (size_t b = 0; b < blocks; ++b, p += 64) {
        uint64_t l = 0;
        uint64_t o = 0;
        uint64_t c = 0;
        for (unsigned h = 0; h < 64; h += V::Width) {
            const uint8_t *q = p + h;
            const Vec v = V::Load(q);
            const Vec v0 = V::Or(v, fold);
            const Vec v1 = V::Or(V::Load(q + 1), fold);
            Cmp any = V::None();
            QUORBEL_UNROLL_KEYS
            for (size_t j = 0; j < N; ++j) {
                const Vec tail = V::Or(V::Load(q + off[j]), fold);
                any = V::Any(any, V::All(V::All(V::Eq(v0, first[j]), V::Eq(off[j] ? v1 : v0, second[j])),
                                         V::Eq(tail, last[j])));
            }
            l |= V::Bits(V::Eq(v, lf)) << h;
            o |= V::Bits(V::Any(V::Eq(v, cr), V::Eq(v, sub))) << h;
            c |= V::Bits(any) << h;
        }
        out[b] = {l, o, c, V::Count(l), l ? 63 - __builtin_clzll(l) : -1};
    }
}

template <class V>
void SiftBlocks(const TSiftKey *keys, size_t count, const uint8_t *p, size_t blocks, TBlockMasks *out)
{
    switch (count) {
    case 0: SiftKeys<V, 0>(keys, p, blocks, out); break;
    case 1: SiftKeys<V, 1>(keys, p, blocks, out); break;
    case 2: SiftKeys<V, 2>(keys, p, blocks, out); break;
    case 3: SiftKeys<V, 3>(keys, p, blocks, out); break;
    case 4: SiftKeys<V, 4>(keys, p, blocks, out); break;
    case 5: SiftKeys<V, 5>(keys, p, blocks, out); break;
    case 6: SiftKeys<V, 6>(keys, p, blocks, out); break;
    case 7: SiftKeys<V, 7>(keys, p, blocks, out); break;
    default: SiftKeys<V, 8>(keys, p, blocks, out); break;
    }
}
