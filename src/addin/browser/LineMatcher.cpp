#include "LineMatcher.h"

#include "ScanText.h"

#include <algorithm>
#include <cstring>

using namespace ScanText;

namespace {

bool EqualUpper(const uint8_t *s, const std::string &word)
{
    for (size_t k = 0; k < word.size(); ++k)
        if (UpAscii(s[k]) != uint8_t(word[k]))
            return false;
    return true;
}

// First occurrence of word in h[0, n).
const uint8_t *Find(const uint8_t *h, size_t n, const std::string &word)
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

// The first non-blank at or after i, eight bytes at a time: a byte is
// blank when its low seven bits plus 0x5F stay below 0x80 and its top bit
// is clear (no carry crosses bytes).
size_t SkipBlanks(const uint8_t *p, size_t i, size_t n)
{
    constexpr uint64_t Low7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr uint64_t Add = 0x5F5F5F5F5F5F5F5FULL;
    constexpr uint64_t High = 0x8080808080808080ULL;
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        std::memcpy(&x, p + i, 8);
        if ((((x & Low7) + Add) | x) & High)
            break;
    }
    while (i < n && IsBlank(p[i]))
        ++i;
    return i;
}

} // namespace

void TTrimEqual::Feed(const uint8_t *p, size_t n)
{
    for (size_t i = 0; i < n && State != Failed; ++i) {
        if (State != Matching) {
            // Runs of blanks around the word (a long line of them is no rarity
            // in a damaged file) in a tight loop.
            i = SkipBlanks(p, i, n);
            if (i == n)
                break;
        }
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

size_t TLineMatcher::LongestWord() const
{
    size_t n = 1;
    for (const TWordTest &w : Words)
        n = std::max(n, w.Word.size());
    return n;
}

void TLineMatcher::Begin(bool started)
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

void TLineMatcher::Feed(const uint8_t *w, size_t len, size_t ovl, bool first, bool last)
{
    if (FFold.size() < len + 1)
        FFold.resize(std::max(len + 1, 2 * FFold.size()));
    uint8_t *f = FFold.data();
    for (size_t i = 0; i < len; ++i)
        f[i] = uint8_t(w[i] - (uint8_t(w[i] - 'a') < 26 ? 32 : 0)); // UpAscii, vectorisable
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

void TLineMatcher::FeedAt(const uint8_t *w, size_t len, const uint32_t *at, size_t count, size_t base)
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
