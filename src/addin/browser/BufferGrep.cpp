#include "BufferGrep.h"

#include "CodePage.h"
#include "FileReader.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && defined(__SSE2__)
#define QUORBEL_X86_VECTORS 1
#include <immintrin.h>
#else
#define QUORBEL_X86_VECTORS 0
#endif

// Sources are single-byte ANSI text: the scanner works on the bytes, sifts
// them 64 at a time for line ends and for the places where a word may
// start, and only turns a hit's line into a QString.

namespace {

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;
constexpr uint8_t CtrlZ = 26;

inline uint8_t UpAscii(uint8_t c)
{
    return (c >= 'a' && c <= 'z') ? uint8_t(c - 32) : c;
}

inline bool IsBlank(uint8_t c)
{
    return c <= 32;
}

inline uint64_t LowBits(unsigned n) // n < 64
{
    return (uint64_t(1) << n) - 1;
}

std::string Bytes(const QString &text)
{
    std::string out;
    out.reserve(size_t(text.size()));
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            const QByteArray ansi = ToAnsi(text);
            return std::string(ansi.constData(), size_t(ansi.size()));
        }
        out.push_back(char(c.unicode()));
    }
    return out;
}

std::string UpperBytes(std::string s)
{
    for (char &c : s)
        c = char(UpAscii(uint8_t(c)));
    return s;
}

std::string TrimBytes(const std::string &s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsBlank(uint8_t(s[b])))
        ++b;
    while (e > b && IsBlank(uint8_t(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// A hit's line as a QString: the ANSI code page's characters, by table.
// The string is refilled for each hit line; a handler that keeps a copy
// makes the next fill take fresh memory.
void HitText(QString &text, const uint8_t *p, size_t n)
{
    static const auto table = [] {
        std::array<char16_t, 256> t{};
        char bytes[256];
        for (int i = 0; i < 256; ++i)
            bytes[i] = char(i);
        const QString all = FromAnsi(bytes, 256);
        for (int i = 0; i < 256; ++i)
            t[size_t(i)] = all[i].unicode();
        return t;
    }();
    text.resize(qsizetype(n));
    char16_t *d = reinterpret_cast<char16_t *>(text.data());
    size_t i = 0;
#if QUORBEL_X86_VECTORS
    // Plain ASCII sixteen at a time.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        if (_mm_movemask_epi8(v) != 0)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d + i + 8), _mm_unpackhi_epi8(v, zero));
    }
#endif
    for (; i < n; ++i)
        d[i] = table[p[i]];
}

// Masks of one 64-byte block: bit i stands for byte i.
struct TBlockMasks {
    uint64_t Lf;    // LF line ends
    uint64_t Other; // the other line-end bytes: CR and Ctrl+Z
    uint64_t Cand;  // places where some word may start
    uint32_t Lines; // LF count
    int32_t LastLf; // the last LF's bit, -1 for none
};

inline unsigned BitCount(uint64_t x)
{
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return unsigned((x * 0x0101010101010101ULL) >> 56);
}

inline void SetLfCount(TBlockMasks &m)
{
    m.Lines = BitCount(m.Lf);
    m.LastLf = m.Lf ? 63 - __builtin_clzll(m.Lf) : -1;
}

// Buffers a thread keeps between scans, so that scanning many small files
// neither allocates nor touches fresh pages for each.
struct TScanSpace {
    std::unique_ptr<uint8_t[]> Buffer;
    size_t BufferSize = 0;
    std::unique_ptr<uint8_t[]> Fold;
    size_t FoldSize = 0;
    std::vector<uint32_t> Candidates;
    std::vector<uint8_t> Capture;
    std::unique_ptr<TBlockMasks[]> Masks;
    size_t MaskCount = 0;
    bool InUse = false;

    uint8_t *BufferOf(size_t bytes)
    {
        if (BufferSize < bytes) {
            Buffer.reset(new uint8_t[bytes]);
            BufferSize = bytes;
        }
        return Buffer.get();
    }
    TBlockMasks *MasksOf(size_t blocks);
    uint8_t *FoldOf(size_t bytes)
    {
        if (FoldSize < bytes) {
            FoldSize = std::max(bytes, 2 * FoldSize);
            Fold.reset(new uint8_t[FoldSize]);
        }
        return Fold.get();
    }
};

TBlockMasks *TScanSpace::MasksOf(size_t blocks)
{
    if (MaskCount < blocks) {
        Masks.reset(new TBlockMasks[blocks]);
        MaskCount = blocks;
    }
    return Masks.get();
}

thread_local TScanSpace ThreadSpace;

enum class TVerdict : uint8_t { NotFound, Pending, Pass, Fail };

// Separate-word test of a word's first occurrence in the upper-cased line:
// a space after it, and a space before it unless it starts the line.
struct TWordTest {
    std::string Word;
    TVerdict Verdict = TVerdict::NotFound;
    bool Passed() const { return Verdict == TVerdict::Pass; }
};

// "The trimmed line equals the trimmed word" (exact case), fed in pieces.
struct TTrimEqual {
    std::string Word; // trimmed; empty never matches
    enum : uint8_t { Leading, Matching, Trailing, Failed } State = Failed;
    size_t Matched = 0;

    void Begin()
    {
        State = Word.empty() ? Failed : Leading;
        Matched = 0;
    }
    void Feed(const uint8_t *p, size_t n)
    {
        for (size_t i = 0; i < n && State != Failed; ++i) {
            const uint8_t c = p[i];
            switch (State) {
            case Leading:
                if (!IsBlank(c))
                    State = uint8_t(Word[0]) == c ? (Matched = 1, Matching) : Failed;
                break;
            case Matching:
                if (Matched < Word.size())
                    State = uint8_t(Word[Matched++]) == c ? Matching : Failed;
                else
                    State = IsBlank(c) ? Trailing : Failed;
                break;
            case Trailing:
                if (!IsBlank(c))
                    State = Failed;
                break;
            case Failed:
                break;
            }
        }
    }
    bool Result() const
    {
        return State == Trailing || (State == Matching && Matched == Word.size());
    }
};

// The exact tests for one line: the words' separate-word tests and the two
// whole-line comparisons.
class TLineMatcher {
public:
    enum { EndWord = 0, StartWord = 1, FirstKeyword = 2 };
    std::vector<TWordTest> Words;
    TTrimEqual EndEqual;
    TTrimEqual StartEqual;
    TScanSpace *Space = nullptr;

    size_t LongestWord() const
    {
        size_t n = 1;
        for (const TWordTest &w : Words)
            n = std::max(n, w.Word.size());
        return n;
    }

    // Once the search has started the start word is no longer looked for.
    void Begin(bool started)
    {
        for (TWordTest &w : Words)
            w.Verdict = TVerdict::NotFound;
        EndEqual.Begin();
        StartEqual.Begin();
        if (started) {
            Words[StartWord].Verdict = TVerdict::Fail;
            StartEqual.State = TTrimEqual::Failed;
        }
    }

    // A window of the line: the line itself, or one piece of a line longer
    // than the buffer. w[0, ovl) repeats the end of the previous window, at
    // least as many bytes as the longest word, so an occurrence across the
    // seam is found and its neighbours are known. first: w[0] starts the
    // line; last: the line ends at w[len].
    void Feed(const uint8_t *w, size_t len, size_t ovl, bool first, bool last)
    {
        uint8_t *f = Space->FoldOf(len + 1);
        for (size_t i = 0; i < len; ++i)
            f[i] = UpAscii(w[i]);
        for (TWordTest &t : Words) {
            if (t.Verdict == TVerdict::Pending) {
                // The word ended the previous window; w[ovl] follows it.
                if (len > ovl)
                    t.Verdict = w[ovl] == ' ' ? TVerdict::Pass : TVerdict::Fail;
                else if (last)
                    t.Verdict = TVerdict::Fail;
                continue;
            }
            if (t.Verdict != TVerdict::NotFound)
                continue;
            const size_t L = t.Word.size();
            if (L == 0)
                continue;
            // Occurrences wholly inside the repeated bytes were looked for.
            const size_t from = first ? 0 : ovl + 1 - L;
            if (from + L > len)
                continue;
            const uint8_t *hit = Find(f + from, len - from, t.Word);
            if (!hit)
                continue;
            const size_t at = size_t(hit - f);
            if (!(first && at == 0) && w[at - 1] != ' ')
                t.Verdict = TVerdict::Fail;
            else if (at + L < len)
                t.Verdict = w[at + L] == ' ' ? TVerdict::Pass : TVerdict::Fail;
            else
                t.Verdict = last ? TVerdict::Fail : TVerdict::Pending;
        }
        const size_t fresh = first ? 0 : ovl;
        EndEqual.Feed(w + fresh, len - fresh);
        StartEqual.Feed(w + fresh, len - fresh);
    }

    // A whole line, looking for the words only at the given buffer positions
    // (ascending; base is the line's position): every place where a word can
    // start, as sifted out by the prefilter.
    void FeedAt(const uint8_t *w, size_t len, const uint32_t *at, size_t count, size_t base)
    {
        for (TWordTest &t : Words) {
            if (t.Verdict != TVerdict::NotFound)
                continue;
            const size_t L = t.Word.size();
            if (L == 0)
                continue;
            for (size_t k = 0; k < count; ++k) {
                if (at[k] < base)
                    continue;
                const size_t i = at[k] - base;
                if (i + L > len)
                    break;
                // Most places belong to another word: its ends tell at once.
                if (UpAscii(w[i]) != uint8_t(t.Word[0]) || UpAscii(w[i + L - 1]) != uint8_t(t.Word[L - 1])
                    || !EqualUpper(w + i, t.Word))
                    continue;
                if (i > 0 && w[i - 1] != ' ')
                    t.Verdict = TVerdict::Fail;
                else
                    t.Verdict = (i + L < len && w[i + L] == ' ') ? TVerdict::Pass : TVerdict::Fail;
                break;
            }
        }
        EndEqual.Feed(w, len);
        StartEqual.Feed(w, len);
    }

private:
    static bool EqualUpper(const uint8_t *s, const std::string &word)
    {
        for (size_t k = 0; k < word.size(); ++k)
            if (UpAscii(s[k]) != uint8_t(word[k]))
                return false;
        return true;
    }

    static const uint8_t *Find(const uint8_t *h, size_t n, const std::string &word)
    {
        const size_t L = word.size();
        const uint8_t first = uint8_t(word[0]);
        const uint8_t *last = h + n - L;
        for (const uint8_t *p = h; p <= last; ++p) {
            p = static_cast<const uint8_t *>(std::memchr(p, first, size_t(last - p) + 1));
            if (!p)
                return nullptr;
            if (std::memcmp(p + 1, word.data() + 1, L - 1) == 0)
                return p;
        }
        return nullptr;
    }
};

// Vector unit used by the prefilter; tests may ask for a lesser one.
enum TVectorUnit : int { vuPlain = 0, vuSse2 = 1, vuAvx2 = 2, vuAvx512 = 3 };
std::atomic<int> RequestedUnit{-1};

TVectorUnit BestUnit()
{
#if QUORBEL_X86_VECTORS
    static const TVectorUnit best = __builtin_cpu_supports("avx512bw") ? vuAvx512
        : __builtin_cpu_supports("avx2")                                ? vuAvx2
                                                                        : vuSse2;
#else
    static const TVectorUnit best = vuPlain;
#endif
    const int asked = RequestedUnit.load(std::memory_order_relaxed);
    return asked < 0 ? best : TVectorUnit(std::min(asked, int(best)));
}

// Sifts the bytes 64 at a time for line ends and for the places where some
// word may start: its first two letters and its last one, case folded, at
// the right distances. A line without such a place can hold no word and no
// whole-line match, and is only counted.
class TPrefilter {
public:
    static constexpr size_t MaxKeys = 8;

    TPrefilter() : FUnit(BestUnit()) {}

    // Bytes a block reads past its start for these needles.
    static size_t Reach(const std::vector<const std::string *> &needles)
    {
        size_t far = 1;
        for (const std::string *n : needles)
            if (!n->empty())
                far = std::max(far, n->size() - 1);
        return 64 + far;
    }

    void Set(const std::vector<const std::string *> &needles)
    {
        FCount = 0;
        FEverything = false;
        for (const std::string *needle : needles) {
            const std::string &n = *needle;
            if (n.empty())
                continue;
            const TKey key{uint8_t(uint8_t(n.front()) | 0x20),
                           uint8_t(uint8_t(n[n.size() > 1 ? 1 : 0]) | 0x20),
                           uint8_t(uint8_t(n.back()) | 0x20), uint32_t(n.size() - 1)};
            if (std::find(FKeys, FKeys + FCount, key) != FKeys + FCount)
                continue;
            if (FCount == MaxKeys) {
                FEverything = true; // too many words to sift: look at every line
                FCount = 0;
                break;
            }
            FKeys[FCount++] = key;
        }
    }
    bool Everything() const { return FEverything; }

    // Masks of the blocks starting at p, p + 64, ... (at most 64 of them);
    // returns which blocks hold a CR, a Ctrl+Z or a candidate.
    uint64_t Sift(const uint8_t *p, size_t blocks, TBlockMasks *out) const
    {
        switch (FUnit) {
#if QUORBEL_X86_VECTORS
        case vuAvx512:
            Dispatch<Avx512Unit>(p, blocks, out);
            break;
        case vuAvx2:
            Dispatch<Avx2Unit>(p, blocks, out);
            break;
        case vuSse2:
            Dispatch<Sse2Unit>(p, blocks, out);
            break;
#endif
        default:
            SiftPlain(p, blocks, out);
            break;
        }
        if (FEverything)
            for (size_t b = 0; b < blocks; ++b)
                out[b].Cand = ~uint64_t(0);
        uint64_t special = 0;
        for (size_t b = 0; b < blocks; ++b)
            special |= uint64_t((out[b].Other | out[b].Cand) != 0) << b;
        return special;
    }

private:
    struct TKey {
        uint8_t First;
        uint8_t Second;
        uint8_t Last;
        uint32_t LastOffset;
        bool operator==(const TKey &) const = default;
    };

    void SiftPlain(const uint8_t *p, size_t blocks, TBlockMasks *out) const
    {
        for (size_t b = 0; b < blocks; ++b, p += 64) {
            uint64_t l = 0;
            uint64_t o = 0;
            uint64_t c = 0;
            for (int i = 0; i < 64; ++i) {
                const uint8_t ch = p[i];
                const uint64_t bit = uint64_t(1) << i;
                if (ch == LF)
                    l |= bit;
                else if (ch == CR || ch == CtrlZ)
                    o |= bit;
                for (size_t j = 0; j < FCount; ++j) {
                    const TKey &k = FKeys[j];
                    if ((ch | 0x20) == k.First && (p[i + (k.LastOffset ? 1 : 0)] | 0x20) == k.Second
                        && (p[i + k.LastOffset] | 0x20) == k.Last)
                        c |= bit;
                }
            }
            out[b] = {l, o, c, 0, 0};
            SetLfCount(out[b]);
        }
    }

#if QUORBEL_X86_VECTORS
    // The number of keys is a template argument, so that their vectors
    // stay in registers across the whole range.
    template <template <size_t> class Unit>
    void Dispatch(const uint8_t *p, size_t blocks, TBlockMasks *out) const
    {
        switch (FCount) {
        case 0: Unit<0>::Run(FKeys, p, blocks, out); break;
        case 1: Unit<1>::Run(FKeys, p, blocks, out); break;
        case 2: Unit<2>::Run(FKeys, p, blocks, out); break;
        case 3: Unit<3>::Run(FKeys, p, blocks, out); break;
        case 4: Unit<4>::Run(FKeys, p, blocks, out); break;
        case 5: Unit<5>::Run(FKeys, p, blocks, out); break;
        case 6: Unit<6>::Run(FKeys, p, blocks, out); break;
        case 7: Unit<7>::Run(FKeys, p, blocks, out); break;
        default: Unit<8>::Run(FKeys, p, blocks, out); break;
        }
    }

    template <size_t N>
    struct Avx512Unit {
        __attribute__((target("avx512bw,popcnt"))) static void Run(const TKey *keys, const uint8_t *p,
                                                            size_t blocks, TBlockMasks *out)
        {
            const __m512i fold = _mm512_set1_epi8(0x20);
            const __m512i lf = _mm512_set1_epi8(char(LF));
            const __m512i cr = _mm512_set1_epi8(char(CR));
            const __m512i sub = _mm512_set1_epi8(char(CtrlZ));
            __m512i first[N ? N : 1];
            __m512i second[N ? N : 1];
            __m512i last[N ? N : 1];
            uint32_t off[N ? N : 1];
            for (size_t j = 0; j < N; ++j) {
                first[j] = _mm512_set1_epi8(char(keys[j].First));
                second[j] = _mm512_set1_epi8(char(keys[j].Second));
                last[j] = _mm512_set1_epi8(char(keys[j].Last));
                off[j] = keys[j].LastOffset;
            }
            for (size_t b = 0; b < blocks; ++b, p += 64) {
                const __m512i v = _mm512_loadu_si512(p);
                const __m512i v0 = _mm512_or_si512(v, fold);
                const __m512i v1 = _mm512_or_si512(_mm512_loadu_si512(p + 1), fold);
                __mmask64 c = 0;
#pragma GCC unroll 8
                for (size_t j = 0; j < N; ++j) {
                    const __m512i tail = _mm512_or_si512(_mm512_loadu_si512(p + off[j]), fold);
                    __mmask64 m = _mm512_cmpeq_epi8_mask(v0, first[j]);
                    m = _mm512_mask_cmpeq_epi8_mask(m, off[j] ? v1 : v0, second[j]);
                    c |= _mm512_mask_cmpeq_epi8_mask(m, tail, last[j]);
                }
                const uint64_t l = _mm512_cmpeq_epi8_mask(v, lf);
                out[b].Lf = l;
                out[b].Other = _mm512_cmpeq_epi8_mask(v, cr) | _mm512_cmpeq_epi8_mask(v, sub);
                out[b].Cand = c;
                out[b].Lines = unsigned(_mm_popcnt_u64(l));
                out[b].LastLf = l ? 63 - __builtin_clzll(l) : -1;
            }
        }
    };

    template <size_t N>
    struct Avx2Unit {
        __attribute__((target("avx2,popcnt"))) static void Run(const TKey *keys, const uint8_t *p,
                                                        size_t blocks, TBlockMasks *out)
        {
            const __m256i fold = _mm256_set1_epi8(0x20);
            const __m256i lf = _mm256_set1_epi8(char(LF));
            const __m256i cr = _mm256_set1_epi8(char(CR));
            const __m256i sub = _mm256_set1_epi8(char(CtrlZ));
            __m256i first[N ? N : 1];
            __m256i second[N ? N : 1];
            __m256i last[N ? N : 1];
            uint32_t off[N ? N : 1];
            for (size_t j = 0; j < N; ++j) {
                first[j] = _mm256_set1_epi8(char(keys[j].First));
                second[j] = _mm256_set1_epi8(char(keys[j].Second));
                last[j] = _mm256_set1_epi8(char(keys[j].Last));
                off[j] = keys[j].LastOffset;
            }
            for (size_t b = 0; b < blocks; ++b, p += 64) {
                uint64_t l = 0;
                uint64_t o = 0;
                uint64_t c = 0;
                for (int h = 0; h < 2; ++h) {
                    const uint8_t *q = p + 32 * h;
                    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q));
                    const __m256i v0 = _mm256_or_si256(v, fold);
                    const __m256i v1 = _mm256_or_si256(
                        _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + 1)), fold);
                    __m256i any = _mm256_setzero_si256();
#pragma GCC unroll 8
                    for (size_t j = 0; j < N; ++j) {
                        const __m256i tail = _mm256_or_si256(
                            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + off[j])), fold);
                        const __m256i m = _mm256_and_si256(
                            _mm256_and_si256(_mm256_cmpeq_epi8(v0, first[j]),
                                             _mm256_cmpeq_epi8(off[j] ? v1 : v0, second[j])),
                            _mm256_cmpeq_epi8(tail, last[j]));
                        any = _mm256_or_si256(any, m);
                    }
                    const unsigned shift = 32 * unsigned(h);
                    l |= uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, lf)))) << shift;
                    o |= uint64_t(uint32_t(_mm256_movemask_epi8(
                             _mm256_or_si256(_mm256_cmpeq_epi8(v, cr), _mm256_cmpeq_epi8(v, sub)))))
                        << shift;
                    c |= uint64_t(uint32_t(_mm256_movemask_epi8(any))) << shift;
                }
                out[b] = {l, o, c, unsigned(_mm_popcnt_u64(l)), l ? 63 - __builtin_clzll(l) : -1};
            }
        }
    };

    template <size_t N>
    struct Sse2Unit {
        static void Run(const TKey *keys, const uint8_t *p, size_t blocks, TBlockMasks *out)
        {
            const __m128i fold = _mm_set1_epi8(0x20);
            const __m128i lf = _mm_set1_epi8(char(LF));
            const __m128i cr = _mm_set1_epi8(char(CR));
            const __m128i sub = _mm_set1_epi8(char(CtrlZ));
            __m128i first[N ? N : 1];
            __m128i second[N ? N : 1];
            __m128i last[N ? N : 1];
            uint32_t off[N ? N : 1];
            for (size_t j = 0; j < N; ++j) {
                first[j] = _mm_set1_epi8(char(keys[j].First));
                second[j] = _mm_set1_epi8(char(keys[j].Second));
                last[j] = _mm_set1_epi8(char(keys[j].Last));
                off[j] = keys[j].LastOffset;
            }
            for (size_t b = 0; b < blocks; ++b, p += 64) {
                uint64_t l = 0;
                uint64_t o = 0;
                uint64_t c = 0;
                for (int h = 0; h < 4; ++h) {
                    const uint8_t *q = p + 16 * h;
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
                    const __m128i v0 = _mm_or_si128(v, fold);
                    const __m128i v1 =
                        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 1)), fold);
                    __m128i any = _mm_setzero_si128();
#pragma GCC unroll 8
                    for (size_t j = 0; j < N; ++j) {
                        const __m128i tail = _mm_or_si128(
                            _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + off[j])), fold);
                        const __m128i m = _mm_and_si128(
                            _mm_and_si128(_mm_cmpeq_epi8(v0, first[j]),
                                          _mm_cmpeq_epi8(off[j] ? v1 : v0, second[j])),
                            _mm_cmpeq_epi8(tail, last[j]));
                        any = _mm_or_si128(any, m);
                    }
                    const unsigned shift = 16 * unsigned(h);
                    l |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))) << shift;
                    o |= uint64_t(uint32_t(_mm_movemask_epi8(
                             _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, sub)))))
                        << shift;
                    c |= uint64_t(uint32_t(_mm_movemask_epi8(any))) << shift;
                }
                out[b] = {l, o, c, 0, 0};
                SetLfCount(out[b]);
            }
        }
    };
#endif

    TVectorUnit FUnit;
    TKey FKeys[MaxKeys];
    size_t FCount = 0;
    bool FEverything = false;
};

// The words of a scan as bytes and prefilter keys. A thread keeps the last
// ones it compiled, since the browser scans file after file with the same.
struct TCompiled {
    bool Valid = false;
    int Unit = -1;
    QStringList Keywords;
    QString StartWord;
    QString EndWord;
    TLineMatcher Matcher;
    TPrefilter Before; // before the start: the start and end words
    TPrefilter After;  // from the start line on: the end word and the keywords
    bool HasEnd = false;
    size_t Keep = 1;
    size_t Slack = 0;

    bool Fits(const TBufferGrep &g) const
    {
        return Valid && Unit == int(BestUnit()) && Keywords == g.FKeywords
            && StartWord == g.FStartWord && EndWord == g.FEndWord;
    }

    void Compile(const TBufferGrep &g)
    {
        Valid = false;
        Unit = int(BestUnit());
        Keywords = g.FKeywords;
        StartWord = g.FStartWord;
        EndWord = g.FEndWord;
        Matcher = TLineMatcher();
        auto &words = Matcher.Words;
        words.resize(TLineMatcher::FirstKeyword + size_t(g.FKeywords.size()));
        HasEnd = !g.FEndWord.isEmpty();
        if (HasEnd) {
            words[TLineMatcher::EndWord].Word = UpperBytes(Bytes(g.FEndWord));
            Matcher.EndEqual.Word = TrimBytes(Bytes(g.FEndWord));
        }
        words[TLineMatcher::StartWord].Word = UpperBytes(Bytes(g.FStartWord));
        Matcher.StartEqual.Word = TrimBytes(Bytes(g.FStartWord));
        for (qsizetype k = 0; k < g.FKeywords.size(); ++k)
            words[TLineMatcher::FirstKeyword + size_t(k)].Word = Bytes(g.FKeywords[k]);
        Keep = Matcher.LongestWord();
        Before = TPrefilter();
        After = TPrefilter();
        Before.Set(Needles(false));
        After.Set(Needles(true));
        Slack = std::max(TPrefilter::Reach(Needles(false)), TPrefilter::Reach(Needles(true)));
        Valid = true;
    }

    std::vector<const std::string *> Needles(bool started) const
    {
        const auto &words = Matcher.Words;
        std::vector<const std::string *> out;
        out.push_back(&words[TLineMatcher::EndWord].Word);
        out.push_back(&Matcher.EndEqual.Word);
        if (started) {
            for (size_t k = TLineMatcher::FirstKeyword; k < words.size(); ++k)
                out.push_back(&words[k].Word);
        } else {
            // Only a start line is searched before the start.
            out.push_back(&words[TLineMatcher::StartWord].Word);
            out.push_back(&Matcher.StartEqual.Word);
        }
        return out;
    }
};

thread_local TCompiled ThreadCompiled;

} // namespace

// One scan of one file, streamed through a fixed buffer.
class TGrepEngine {
public:
    TGrepEngine(TBufferGrep &grep, size_t capacity) : FGrep(grep)
    {
        // A handler may scan too: a scan inside a scan has its own space.
        const bool nested = ThreadSpace.InUse;
        FSpace = nested ? &FOwnSpace : &ThreadSpace;
        FCompiled = nested ? &FOwnCompiled : &ThreadCompiled;
        FSpace->InUse = true;
        if (!FCompiled->Fits(grep))
            FCompiled->Compile(grep);
        FMatch = &FCompiled->Matcher;
        FMatch->Space = FSpace;
        FHasEnd = FCompiled->HasEnd;
        FKeep = FCompiled->Keep;
        FSlack = FCompiled->Slack;
        FStarted = grep.FStartWord.isEmpty();
        UsePrefilter();

        FOwnProgress = typeid(grep) == typeid(TBufferGrep);
        FFastProgress = FOwnProgress && grep.FScale > 0;
        if (FFastProgress)
            FStep.Start(0, grep.FScale);

        FCap = std::max(capacity, 2 * FKeep + 2);
        // Only the bytes past the data that blocks read are cleared, after
        // each read.
        FBuf = FSpace->BufferOf(FCap + FSlack);
        std::memset(FBuf, 0, FSlack);
        FSpace->Candidates.clear();
    }

    ~TGrepEngine() { FSpace->InUse = false; }

    void Run(TFileReader &file)
    {
        for (;;) {
            Scan();
            if (FDone)
                return;
            if (FEof) {
                if (FEnd > FLineStart)
                    WholeLine(FBuf + FLineStart, FEnd - FLineStart);
                return;
            }
            if (FLineStart > 0) {
                std::memmove(FBuf, FBuf + FLineStart, FEnd - FLineStart);
                FEnd -= FLineStart;
                FLineStart = 0;
            }
            if (FEnd == FCap) {
                LongLine(file);
                if (FDone)
                    return;
                continue;
            }
            const int64_t got = ReadMore(file, FBuf + FEnd, FCap - FEnd);
            if (got < 0)
                return;
            if (got == 0) {
                FEof = true;
                continue;
            }
            if (FPendingLF) {
                // The CR that ended the last buffer was the first half of CR LF.
                FPendingLF = false;
                if (FBuf[FEnd] == LF)
                    ++FLineStart;
            }
            FEnd += size_t(got);
            std::memset(FBuf + FEnd, 0, FSlack);
        }
    }

private:
    // The file is read up to the length it had when the scan started; a
    // device or pipe up to its end.
    int64_t ReadMore(TFileReader &file, uint8_t *to, size_t room)
    {
        if (file.IsRegular() && FRead >= file.Size())
            return 0;
        const int64_t got = file.Read(reinterpret_cast<char *>(to), int64_t(room));
        if (got > 0)
            FRead += got;
        return got;
    }

    void UsePrefilter()
    {
        FFilter = FStarted ? &FCompiled->After : &FCompiled->Before;
        FFilterChanged = true;
    }

    // Every complete line of [FLineStart, FEnd).
    void Scan()
    {
        ScanLines();
        FlushPlainLines();
    }

    void ScanLines()
    {
        FSpace->Candidates.clear();
        size_t pos = FLineStart;
        FFilterChanged = false;
        while (pos < FEnd) {
            // Sift a stretch, then walk its lines; a stretch is small enough
            // for its masks to stay in the first-level cache.
            const size_t blocks = std::min<size_t>((FEnd - pos + 63) / 64, SiftBlocks);
            TBlockMasks *masks = FSpace->MasksOf(SiftBlocks);
            // The blocks to look into one by one: those with a CR, a Ctrl+Z or
            // a place where a word may start, and a last one cut short.
            // Between them only LF line ends lie: those lines are counted a
            // run of blocks at a time.
            uint64_t special = FFilter->Sift(FBuf + pos, blocks, masks);
            if (FEnd - pos < 64 * blocks)
                special |= uint64_t(1) << (blocks - 1);
            if (FLineStart > pos)
                special |= 1;

            const size_t start = pos;
            size_t k = 0;
            while (k < blocks) {
                // A run starts neither inside a candidate line nor inside a
                // CR LF cut by the block before.
                if (FSpace->Candidates.empty() && FLineStart <= start + 64 * k) {
                    const uint64_t ahead = special & ~LowBits(unsigned(k));
                    const size_t j = ahead ? size_t(__builtin_ctzll(ahead)) : blocks;
                    if (j > k) {
                        uint32_t n = 0;
                        for (size_t r = k; r < j; ++r)
                            n += masks[r].Lines;
                        if (n) {
                            FPlainLines += n;
                            size_t r = j - 1;
                            while (masks[r].LastLf < 0)
                                --r;
                            FLineStart = start + 64 * r + size_t(masks[r].LastLf) + 1;
                        }
                        k = j;
                        if (k == blocks)
                            break;
                    }
                }
                switch (Block(start + 64 * k, masks[k])) {
                case TBlockEnd::Next:
                    ++k;
                    continue;
                case TBlockEnd::Done:
                    FDone = true;
                    return;
                case TBlockEnd::Resift:
                    break;
                }
                break;
            }
            if (k == blocks)
                pos = start + 64 * blocks;
            else
                pos = FLineStart; // the search has started: sift again with the keywords
        }
    }

    enum class TBlockEnd { Next, Done, Resift };

    // One block's line ends, one by one.
    TBlockEnd Block(size_t pos, const TBlockMasks &m)
    {
        std::vector<uint32_t> &pending = FSpace->Candidates; // of the unfinished line
        uint64_t valid = ~uint64_t(0);
        if (FEnd - pos < 64)
            valid = LowBits(unsigned(FEnd - pos));
        if (FLineStart > pos)
            valid &= ~LowBits(unsigned(FLineStart - pos)); // the LF of a CR LF
        const uint64_t lf = m.Lf & valid;
        const uint64_t other = m.Other & valid;
        uint64_t cand = m.Cand & valid;

        if (!other && !cand && pending.empty()) {
            if (lf) {
                FLineStart = pos + (63 - unsigned(__builtin_clzll(lf))) + 1;
                FPlainLines += BitCount(lf);
            }
            return TBlockEnd::Next;
        }
        FlushPlainLines();

        uint64_t eol = lf | other;
        while (eol) {
            const unsigned i = unsigned(__builtin_ctzll(eol));
            eol &= eol - 1;
            const size_t e = pos + i;
            if (e < FLineStart)
                continue; // the LF of a CR LF
            const uint64_t below = LowBits(i);
            uint64_t mine = cand & below;
            cand &= ~(below | (uint64_t(1) << i));
            const bool last = FBuf[e] == CtrlZ;
            bool go = true;
            if (!mine && pending.empty()) {
                if (!last || e > FLineStart)
                    CountLine();
            } else {
                for (; mine; mine &= mine - 1)
                    pending.push_back(uint32_t(pos + unsigned(__builtin_ctzll(mine))));
                if (!last || e > FLineStart)
                    go = Candidate(e);
                pending.clear();
            }
            if (!go || last)
                return TBlockEnd::Done;
            AfterLineEnd(e);
            if (FFilterChanged) {
                // The search has started: later lines need the keywords'
                // places, which these masks do not hold.
                FFilterChanged = false;
                pending.clear();
                return TBlockEnd::Resift;
            }
        }
        for (; cand; cand &= cand - 1)
            pending.push_back(uint32_t(pos + unsigned(__builtin_ctzll(cand))));
        return TBlockEnd::Next;
    }

    void AfterLineEnd(size_t e)
    {
        if (FBuf[e] == CR) {
            if (e + 1 < FEnd) {
                FLineStart = e + 1 + (FBuf[e + 1] == LF ? 1 : 0);
            } else {
                FLineStart = e + 1;
                FPendingLF = true;
            }
        } else {
            FLineStart = e + 1;
        }
    }

    // Lines without words wait here to be counted, so that the counting
    // loop runs long.
    void FlushPlainLines()
    {
        if (FPlainLines) {
            const uint64_t n = FPlainLines;
            FPlainLines = 0;
            CountLines(n);
        }
    }

    // n lines, each with its progress call: the common case, with the
    // stepping on locals.
    void CountLines(uint64_t n)
    {
        TBufferGrep &g = FGrep;
        if (!FFastProgress || g.FScale != FStep.Scale || !g.FOnProgress) {
            for (; n; --n)
                CountLine();
            return;
        }
        const TGrepProgressEvent &handler = g.FOnProgress;
        TProgressStep step = FStep;
        int64_t line = FLine;
        for (; n; --n) {
            ++line;
            const int64_t value = step.Next();
            FLine = line; // the handler may throw
            handler(&g, int32_t(std::min<int64_t>(value, INT32_MAX)));
            if (g.FScale != step.Scale) {
                // A handler changed the scale: no stepping after that.
                FFastProgress = false;
                while (--n)
                    CountLine();
                return;
            }
        }
        FStep = step;
    }

    // The line counter moves on by one, with the line's progress call.
    // Called for every line, so the scanner's own DoProgress is done here,
    // stepping the quotient instead of dividing.
    void CountLine()
    {
        ++FLine;
        if (FFastProgress && FGrep.FScale == FStep.Scale && FGrep.FOnProgress) {
            FGrep.FOnProgress(&FGrep, int32_t(std::min<int64_t>(FStep.Next(), INT32_MAX)));
            return;
        }
        FFastProgress = false; // a handler changed the scale: no stepping after that
        if (FOwnProgress)
            FGrep.TBufferGrep::DoProgress(&FGrep, int32_t(FLine));
        else
            FGrep.DoProgress(&FGrep, int32_t(FLine));
    }

    // The line [FLineStart, e) holds places where a word may start.
    __attribute__((noinline)) bool Candidate(size_t e)
    {
        const uint8_t *line = FBuf + FLineStart;
        const size_t n = e - FLineStart;
        FMatch->Begin(FStarted);
        // Before the start the keywords were not sifted for.
        if (FFilter->Everything() || !FStarted)
            FMatch->Feed(line, n, 0, true, true);
        else
            FMatch->FeedAt(line, n, FSpace->Candidates.data(), FSpace->Candidates.size(), FLineStart);
        return Finish(line, n);
    }

    // A line read without the sifting (the last one, without a break).
    bool WholeLine(const uint8_t *line, size_t n)
    {
        FMatch->Begin(FStarted);
        FMatch->Feed(line, n, 0, true, true);
        return Finish(line, n);
    }

    // The buffer is full with the start of one line: scan it in windows.
    void LongLine(TFileReader &file)
    {
        FMatch->Begin(FStarted);
        FMatch->Feed(FBuf, FCap, 0, true, false);
        std::vector<uint8_t> &capture = FSpace->Capture;
        capture.assign(FBuf, FBuf + FCap);
        size_t end = FCap;
        for (;;) {
            std::memmove(FBuf, FBuf + end - FKeep, FKeep);
            const int64_t got = ReadMore(file, FBuf + FKeep, FCap - FKeep);
            if (got < 0) {
                FDone = true;
                return;
            }
            if (got == 0) {
                FMatch->Feed(FBuf, FKeep, FKeep, false, true);
                Finish(capture.data(), capture.size());
                FDone = true;
                return;
            }
            const size_t newEnd = FKeep + size_t(got);
            std::memset(FBuf + newEnd, 0, FSlack);
            size_t e = FKeep;
            while (e < newEnd && FBuf[e] != LF && FBuf[e] != CR && FBuf[e] != CtrlZ)
                ++e;
            if (e < newEnd) {
                FMatch->Feed(FBuf, e, FKeep, false, true);
                FEnd = newEnd;
                if (!Finish(capture.data(), capture.size()) || FBuf[e] == CtrlZ) {
                    FDone = true;
                    return;
                }
                AfterLineEnd(e);
                return;
            }
            FMatch->Feed(FBuf, newEnd, FKeep, false, false);
            end = newEnd;
        }
    }

    // The line's words are tested: count it, then the end, start and
    // keyword tests. False stops the scan.
    bool Finish(const uint8_t *text, size_t n)
    {
        CountLine();
        const auto &words = FMatch->Words;
        if (FHasEnd && (words[TLineMatcher::EndWord].Passed() || FMatch->EndEqual.Result()))
            return false;
        if (!FStarted) {
            if (!words[TLineMatcher::StartWord].Passed() && !FMatch->StartEqual.Result())
                return true;
            FStarted = true;
            UsePrefilter();
        }
        bool made = false;
        for (size_t k = TLineMatcher::FirstKeyword; k < words.size(); ++k) {
            if (!words[k].Passed())
                continue;
            if (!made) {
                HitText(FLineText, text, n);
                made = true;
            }
            int32_t lineNo = int32_t(FLine);
            FGrep.DoFound(FGrep.FListBox, FGrep.FKeywords[qsizetype(k - TLineMatcher::FirstKeyword)],
                          lineNo, FLineText);
        }
        return true;
    }

    static constexpr size_t SiftBlocks = 64;

    QString FLineText;

    TBufferGrep &FGrep;
    TScanSpace FOwnSpace;
    TScanSpace *FSpace = nullptr;
    TCompiled FOwnCompiled;
    TCompiled *FCompiled = nullptr;
    TLineMatcher *FMatch = nullptr;
    const TPrefilter *FFilter = nullptr;
    bool FHasEnd = false;
    bool FStarted = false;
    bool FOwnProgress = false;
    // Progress of the current line, FLine * 100 / scale, stepped.
    bool FFastProgress = false;
    TProgressStep FStep;
    size_t FKeep = 1;
    size_t FCap = 0;
    size_t FSlack = 0;
    uint8_t *FBuf = nullptr;
    size_t FLineStart = 0;
    size_t FEnd = 0;
    bool FEof = false;
    bool FDone = false;
    bool FPendingLF = false;
    bool FFilterChanged = false;
    int64_t FLine = 0;
    uint64_t FPlainLines = 0;
    int64_t FRead = 0;
};

TBufferGrep::TBufferGrep() = default;
TBufferGrep::~TBufferGrep() = default;

void TBufferGrep::SetBufferSize(int bytes)
{
    FBufferSize = std::max(bytes, 1);
}

int32_t TBufferGrep::ProgressValue(int32_t lineNo)
{
    int64_t value;
    if (FScale <= 0) {
        // Under 128 bytes the whole file is one read: it is all done.
        value = 100;
    } else if (FScale == FProgress.Scale && FProgressLine >= 0
               && int64_t(lineNo) == int64_t(FProgressLine) + 1) {
        value = FProgress.Next();
    } else {
        FProgress.Start(lineNo, FScale);
        value = FProgress.Value;
    }
    FProgressLine = lineNo;
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void TBufferGrep::DoProgress(TBufferGrep *sender, int32_t lineNo)
{
    if (FOnProgress)
        FOnProgress(sender, ProgressValue(lineNo));
}

void TBufferGrep::DoFound(void *listBox, const QString &word, int32_t &lineNo, const QString &text)
{
    if (FOnFound)
        FOnFound(listBox, word, lineNo, text);
}

void TBufferGrep::Search()
{
    if (FKeywords.isEmpty())
        return;
    try {
        TFileReader file;
        if (!file.Open(FFileName))
            return;
        FScale = int32_t(std::min<int64_t>(file.Size() / 128, INT32_MAX));
        FProgress = {};
        // A small file gets a buffer of its size (one byte more, so that
        // the end is seen without taking the last line for a long one).
        const int64_t capacity = std::min<int64_t>(FBufferSize, file.Size() + 1);
        TGrepEngine engine(*this, size_t(capacity));
        engine.Run(file);
    } catch (...) {
        // A scan ends quietly; the hits delivered so far stay delivered.
    }
}

void ConfigureEntitySearch(TBufferGrep &grep)
{
    grep.FStartWord = QStringLiteral("implementation");
    grep.FKeywords = {QStringLiteral("PROCEDURE"), QStringLiteral("FUNCTION"),
                      QStringLiteral("CONSTRUCTOR"), QStringLiteral("DESTRUCTOR")};
    grep.FEndWord.clear();
}

namespace BufferGrepTesting {

void UseVectorUnit(int unit)
{
    RequestedUnit.store(unit, std::memory_order_relaxed);
}

} // namespace BufferGrepTesting

bool ExtractEntityName(const QString &text, QString &name)
{
    name.clear();
    const char16_t *b = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *e = b + text.size();
    while (b < e && *b <= 32)
        ++b;
    while (e > b && e[-1] <= 32)
        --e;

    auto startsWith = [b, e](const char *word, size_t n) {
        if (size_t(e - b) < n)
            return false;
        for (size_t i = 0; i < n; ++i) {
            const char16_t c = b[i];
            if (((c >= u'a' && c <= u'z') ? char16_t(c - 32) : c) != char16_t(word[i]))
                return false;
        }
        return true;
    };
    if (!startsWith("FUNCTION", 8) && !startsWith("PROCEDURE", 9) && !startsWith("CONSTRUCTOR", 11)
        && !startsWith("DESTRUCTOR", 10))
        return false;

    // The text after the first space, at most 1024 characters of it, without
    // the blanks at its start.
    const char16_t *p = b;
    while (p < e && *p != u' ')
        ++p;
    if (p == e)
        return true; // no space: nothing after it
    const char16_t *rest = p + 1;
    const char16_t *restEnd = e - rest > 1024 ? rest + 1024 : e;
    while (rest < restEnd && *rest <= 32)
        ++rest;

    // Up to the first "(" when it is not the first character, else up to
    // the first ";"; then up to the first ":".
    const char16_t *cut = rest;
    while (cut < restEnd && *cut != u'(')
        ++cut;
    if (cut == restEnd || cut == rest) {
        cut = rest;
        while (cut < restEnd && *cut != u';')
            ++cut;
        if (cut == restEnd)
            return true; // neither: no name
    }
    const char16_t *colon = rest;
    while (colon < cut && *colon != u':')
        ++colon;
    name = QString(reinterpret_cast<const QChar *>(rest), colon - rest);
    return true;
}
