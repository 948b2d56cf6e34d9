#include "BufferGrep.h"

#include "CodePage.h"
#include "FileReader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Sources are single-byte ANSI text: the scanner works on the bytes and only
// turns a hit's line into a QString.

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

std::string Bytes(const QString &text)
{
    const QByteArray ansi = ToAnsi(text);
    return std::string(ansi.constData(), size_t(ansi.size()));
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

// The exact tests for one line, fed as one window (a line in the buffer) or
// as a run of windows (a line longer than the buffer). A later window starts
// with the last bytes of the one before, at least as many as the longest
// word, so an occurrence across the seam is found and its neighbours known.
class TLineMatcher {
public:
    enum { EndWord = 0, StartWord = 1, FirstKeyword = 2 };
    std::vector<TWordTest> Words;
    TTrimEqual EndEqual;
    TTrimEqual StartEqual;

    void Reserve(size_t bytes) { FFold.resize(bytes); }
    size_t LongestWord() const
    {
        size_t n = 1;
        for (const TWordTest &w : Words)
            n = std::max(n, w.Word.size());
        return n;
    }

    void Begin()
    {
        for (TWordTest &w : Words)
            w.Verdict = TVerdict::NotFound;
        EndEqual.Begin();
        StartEqual.Begin();
    }

    // w[0, ovl) repeats the previous window; first: w[0] starts the line;
    // last: the line ends at w[len].
    void Feed(const uint8_t *w, size_t len, size_t ovl, bool first, bool last)
    {
        uint8_t *f = FFold.data();
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
            // Occurrences wholly inside the repeated bytes were looked for.
            const size_t from = first ? 0 : ovl + 1 - L;
            if (L == 0 || from + L > len)
                continue;
            const void *hit = memmem(f + from, len - from, t.Word.data(), L);
            if (!hit)
                continue;
            const size_t at = size_t(static_cast<const uint8_t *>(hit) - f);
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

private:
    std::vector<uint8_t> FFold;
};

// Which lines can hold one of the words at all: a line is looked at exactly
// only when some word's first and last letters, folded, stand at the right
// distance in it. Line ends (LF, CR, Ctrl+Z) are found in the same pass.
class TPrefilter {
public:
    static constexpr size_t MaxKeys = 16;

    void Set(const std::vector<std::string> &needles)
    {
        FKeys.clear();
        FEverything = false;
        for (const std::string &n : needles) {
            if (n.empty())
                continue;
            const TKey key{uint8_t(uint8_t(n.front()) | 0x20), uint8_t(uint8_t(n.back()) | 0x20),
                           uint32_t(n.size() - 1)};
            if (std::find(FKeys.begin(), FKeys.end(), key) == FKeys.end())
                FKeys.push_back(key);
        }
        if (FKeys.size() > MaxKeys) {
            FKeys.clear();
            FEverything = true;
        }
#if defined(__SSE2__)
        for (size_t j = 0; j < FKeys.size(); ++j) {
            FFirst[j] = _mm_set1_epi8(char(FKeys[j].First));
            FLast[j] = _mm_set1_epi8(char(FKeys[j].Last));
        }
#endif
    }
    // Bytes readable past a block's start.
    size_t Reach() const
    {
        uint32_t far = 0;
        for (const TKey &k : FKeys)
            far = std::max(far, k.LastOffset);
        return 64 + far;
    }

    // Line ends and candidate word starts of the 64 bytes at p.
    void Block(const uint8_t *p, uint64_t &eol, uint64_t &cand) const
    {
#if defined(__SSE2__)
        const __m128i lf = _mm_set1_epi8(char(LF));
        const __m128i cr = _mm_set1_epi8(char(CR));
        const __m128i sub = _mm_set1_epi8(char(CtrlZ));
        const __m128i fold = _mm_set1_epi8(0x20);
        const size_t keys = FKeys.size();
        uint64_t e = 0;
        uint64_t c = 0;
        for (int k = 0; k < 4; ++k) {
            const uint8_t *q = p + 16 * k;
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(q));
            const __m128i ends = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)), _mm_cmpeq_epi8(v, sub));
            e |= uint64_t(uint32_t(_mm_movemask_epi8(ends))) << (16 * k);
            const __m128i vf = _mm_or_si128(v, fold);
            __m128i any = _mm_setzero_si128();
            for (size_t j = 0; j < keys; ++j) {
                const __m128i tail = _mm_or_si128(
                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + FKeys[j].LastOffset)),
                    fold);
                any = _mm_or_si128(any, _mm_and_si128(_mm_cmpeq_epi8(vf, FFirst[j]),
                                                      _mm_cmpeq_epi8(tail, FLast[j])));
            }
            c |= uint64_t(uint32_t(_mm_movemask_epi8(any))) << (16 * k);
        }
        eol = e;
        cand = FEverything ? ~uint64_t(0) : c;
#else
        uint64_t e = 0;
        uint64_t c = 0;
        for (int i = 0; i < 64; ++i) {
            const uint8_t b = p[i];
            if (b == LF || b == CR || b == CtrlZ)
                e |= uint64_t(1) << i;
            for (const TKey &k : FKeys)
                if ((b | 0x20) == k.First && (p[i + k.LastOffset] | 0x20) == k.Last)
                    c |= uint64_t(1) << i;
        }
        eol = e;
        cand = FEverything ? ~uint64_t(0) : c;
#endif
    }

private:
    struct TKey {
        uint8_t First;
        uint8_t Last;
        uint32_t LastOffset;
        bool operator==(const TKey &) const = default;
    };
    std::vector<TKey> FKeys;
    bool FEverything = false;
#if defined(__SSE2__)
    __m128i FFirst[MaxKeys];
    __m128i FLast[MaxKeys];
#endif
};

// One scan of one file, streamed through a fixed buffer.
class TGrepEngine {
public:
    TGrepEngine(TBufferGrep &grep, size_t capacity) : FGrep(grep)
    {
        FMatch.Words.resize(TLineMatcher::FirstKeyword + size_t(grep.FKeywords.size()));
        FMatch.Words[TLineMatcher::EndWord].Word = UpperBytes(Bytes(grep.FEndWord));
        FMatch.Words[TLineMatcher::StartWord].Word = UpperBytes(Bytes(grep.FStartWord));
        for (qsizetype k = 0; k < grep.FKeywords.size(); ++k)
            FMatch.Words[TLineMatcher::FirstKeyword + size_t(k)].Word = Bytes(grep.FKeywords[k]);
        FHasEnd = !grep.FEndWord.isEmpty();
        if (FHasEnd)
            FMatch.EndEqual.Word = TrimBytes(Bytes(grep.FEndWord));
        else
            FMatch.Words[TLineMatcher::EndWord].Word.clear();
        FStarted = grep.FStartWord.isEmpty();
        FMatch.StartEqual.Word = TrimBytes(Bytes(grep.FStartWord));

        FKeep = FMatch.LongestWord();
        FCap = std::max(capacity, 2 * FKeep + 2);
        UsePrefilter();
        size_t reach = 0;
        for (bool started : {false, true}) {
            TPrefilter probe;
            probe.Set(Needles(started));
            reach = std::max(reach, probe.Reach());
        }
        // Zeroed slack past the data: blocks read a little beyond it.
        FBuffer.assign(FCap + reach + 64, 0);
        FBuf = FBuffer.data();
        FMatch.Reserve(FCap);
    }

    void Run(TFileReader &file)
    {
        for (;;) {
            Scan();
            if (FDone)
                return;
            if (FEof) {
                if (FEnd > FLineStart)
                    WholeLine(FBuf + FLineStart, FEnd - FLineStart, true);
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
            const int64_t got = file.Read(reinterpret_cast<char *>(FBuf + FEnd), int64_t(FCap - FEnd));
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
        }
    }

private:
    std::vector<std::string> Needles(bool started) const
    {
        std::vector<std::string> out;
        out.push_back(FMatch.Words[TLineMatcher::EndWord].Word);
        out.push_back(FMatch.EndEqual.Word);
        if (started) {
            for (size_t k = TLineMatcher::FirstKeyword; k < FMatch.Words.size(); ++k)
                out.push_back(FMatch.Words[k].Word);
        } else {
            // Only a start line is searched before the start.
            out.push_back(FMatch.Words[TLineMatcher::StartWord].Word);
            out.push_back(FMatch.StartEqual.Word);
        }
        return out;
    }

    void UsePrefilter()
    {
        FFilter.Set(Needles(FStarted));
        FFilterChanged = true;
    }

    // Every complete line of [FLineStart, FEnd).
    void Scan()
    {
        size_t pos = FLineStart;
        bool carry = false; // a candidate in this line before the block
        while (pos < FEnd) {
            uint64_t eol;
            uint64_t cand;
            FFilter.Block(FBuf + pos, eol, cand);
            const size_t avail = FEnd - pos;
            if (avail < 64) {
                const uint64_t valid = (uint64_t(1) << avail) - 1;
                eol &= valid;
                cand &= valid;
            }
            while (eol) {
                const unsigned i = unsigned(__builtin_ctzll(eol));
                eol &= eol - 1;
                const size_t e = pos + i;
                if (e < FLineStart)
                    continue; // the LF of a CR LF
                const uint64_t below = (uint64_t(1) << i) - 1;
                const bool hasCand = carry || (cand & below) != 0;
                cand &= ~(below | (uint64_t(1) << i));
                carry = false;
                const uint8_t c = FBuf[e];
                if (c == CtrlZ) {
                    if (e > FLineStart)
                        WholeLine(FBuf + FLineStart, e - FLineStart, hasCand);
                    FDone = true;
                    return;
                }
                if (!WholeLine(FBuf + FLineStart, e - FLineStart, hasCand)) {
                    FDone = true;
                    return;
                }
                AfterLineEnd(e);
                if (FFilterChanged)
                    break;
            }
            if (FFilterChanged) {
                // The search has started: later lines need the keywords'
                // candidates, which this block's masks do not hold.
                FFilterChanged = false;
                pos = FLineStart;
                carry = false;
                continue;
            }
            carry = carry || cand != 0;
            pos += 64;
        }
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

    bool WholeLine(const uint8_t *line, size_t n, bool candidate)
    {
        if (candidate) {
            FMatch.Begin();
            FMatch.Feed(line, n, 0, true, true);
        }
        return Finish(candidate, line, n);
    }

    // The buffer is full with the start of one line: scan it in windows.
    void LongLine(TFileReader &file)
    {
        FMatch.Begin();
        FMatch.Feed(FBuf, FCap, 0, true, false);
        FCapture.assign(FBuf, FBuf + FCap);
        size_t end = FCap;
        for (;;) {
            std::memmove(FBuf, FBuf + end - FKeep, FKeep);
            const int64_t got = file.Read(reinterpret_cast<char *>(FBuf + FKeep), int64_t(FCap - FKeep));
            if (got < 0) {
                FDone = true;
                return;
            }
            if (got == 0) {
                FMatch.Feed(FBuf, FKeep, FKeep, false, true);
                Finish(true, FCapture.data(), FCapture.size());
                FDone = true;
                return;
            }
            const size_t newEnd = FKeep + size_t(got);
            size_t e = FKeep;
            while (e < newEnd && FBuf[e] != LF && FBuf[e] != CR && FBuf[e] != CtrlZ)
                ++e;
            if (e < newEnd) {
                FMatch.Feed(FBuf, e, FKeep, false, true);
                FEnd = newEnd;
                if (!Finish(true, FCapture.data(), FCapture.size()) || FBuf[e] == CtrlZ) {
                    FDone = true;
                    return;
                }
                AfterLineEnd(e);
                return;
            }
            FMatch.Feed(FBuf, newEnd, FKeep, false, false);
            end = newEnd;
        }
    }

    // The line is read: count it, then the end, start and keyword tests.
    // False stops the scan.
    bool Finish(bool matched, const uint8_t *text, size_t n)
    {
        ++FLine;
        FGrep.DoProgress(&FGrep, int32_t(FLine));
        if (!matched)
            return true; // no word and no whole-line match can be on it
        const auto &words = FMatch.Words;
        if (FHasEnd && (words[TLineMatcher::EndWord].Passed() || FMatch.EndEqual.Result()))
            return false;
        if (!FStarted) {
            if (!words[TLineMatcher::StartWord].Passed() && !FMatch.StartEqual.Result())
                return true;
            FStarted = true;
            UsePrefilter();
        }
        QString lineText;
        bool made = false;
        for (size_t k = TLineMatcher::FirstKeyword; k < words.size(); ++k) {
            if (!words[k].Passed())
                continue;
            if (!made) {
                lineText = FromAnsi(reinterpret_cast<const char *>(text), qsizetype(n));
                made = true;
            }
            int32_t lineNo = int32_t(FLine);
            FGrep.DoFound(FGrep.FListBox, FGrep.FKeywords[qsizetype(k - TLineMatcher::FirstKeyword)],
                          lineNo, lineText);
        }
        return true;
    }

    TBufferGrep &FGrep;
    TLineMatcher FMatch;
    TPrefilter FFilter;
    bool FHasEnd = false;
    bool FStarted = false;
    size_t FKeep = 1;
    size_t FCap = 0;
    std::vector<uint8_t> FBuffer;
    uint8_t *FBuf = nullptr;
    std::vector<uint8_t> FCapture;
    size_t FLineStart = 0;
    size_t FEnd = 0;
    bool FEof = false;
    bool FDone = false;
    bool FPendingLF = false;
    bool FFilterChanged = false;
    int64_t FLine = 0;
};

} // namespace

TBufferGrep::TBufferGrep() = default;
TBufferGrep::~TBufferGrep() = default;

void TBufferGrep::SetBufferSize(int bytes)
{
    FBufferSize = std::max(bytes, 1);
}

void TBufferGrep::DoProgress(TBufferGrep *sender, int32_t lineNo)
{
    if (!FOnProgress)
        return;
    int32_t value;
    if (FScale <= 0) {
        // Under 128 bytes the whole file is one read: it is all done.
        value = 100;
    } else if (FScale == FProgressScale && lineNo >= FProgressFrom && lineNo < FProgressTo) {
        value = FProgressValue;
    } else {
        // Wide arithmetic: line * 100 overflows 32 bits in big files.
        const int64_t v = int64_t(lineNo) * 100 / FScale;
        value = int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
        if (lineNo >= 0 && v < INT32_MAX) {
            FProgressValue = value;
            FProgressScale = FScale;
            FProgressFrom = lineNo;
            FProgressTo = ((v + 1) * FScale + 99) / 100;
        } else {
            FProgressTo = 0;
        }
    }
    FOnProgress(sender, value);
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
        FProgressFrom = 1;
        FProgressTo = 0;
        TGrepEngine engine(*this, size_t(FBufferSize));
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

namespace {

bool StartsWithUpper(QStringView text, const char *word)
{
    const qsizetype n = qsizetype(std::strlen(word));
    if (text.size() < n)
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const char16_t up = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
        if (up != char16_t(word[i]))
            return false;
    }
    return true;
}

} // namespace

bool ExtractEntityName(const QString &text, QString &name)
{
    name.clear();
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text[b].unicode() <= 32)
        ++b;
    while (e > b && text[e - 1].unicode() <= 32)
        --e;
    const QStringView trimmed = QStringView(text).mid(b, e - b);

    static const char *const Headings[] = {"FUNCTION", "PROCEDURE", "CONSTRUCTOR", "DESTRUCTOR"};
    if (std::none_of(std::begin(Headings), std::end(Headings),
                     [&](const char *h) { return StartsWithUpper(trimmed, h); }))
        return false;

    const qsizetype space = trimmed.indexOf(u' ');
    QStringView rest = space < 0 ? QStringView() : trimmed.mid(space + 1).left(1024);
    while (!rest.isEmpty() && rest.front().unicode() <= 32)
        rest = rest.mid(1);

    qsizetype keep = rest.indexOf(u'('); // the 1-based position of "(" minus 1
    if (keep < 1)
        keep = rest.indexOf(u';');
    QStringView kept = keep > 0 ? rest.left(keep) : QStringView();
    const qsizetype colon = kept.indexOf(u':');
    if (colon >= 0)
        kept = kept.left(colon);
    name = kept.toString();
    return true;
}
