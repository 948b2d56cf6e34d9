#include "BufferGrep.h"

#include "BlockSift.h"
#include "LineMatcher.h"
#include "ScanText.h"
#include "ScanWords.h"

#include "CodePage.h"
#include "Exception.h"
#include "FileReader.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#if QUORBEL_X86_VECTORS
#include <emmintrin.h>
#endif

// Sources are single-byte ANSI text: the scanner works on the bytes, has them
// sifted 64 at a time for line ends and for the places where a word may
// start, and only turns a hit's line into a QString.

using namespace ScanText;

namespace {

std::atomic<int32_t> FirstLineCount{0};

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

// Memory a thread keeps between scans, so that scanning many small files
// neither allocates nor touches fresh pages for each.
struct TScanSpace {
    bool InUse = false;
    std::vector<uint8_t> Buffer;
    std::vector<uint32_t> Candidates; // of the line being sifted
    std::vector<uint8_t> Capture;     // a long line's first buffer
    std::array<TBlockMasks, 64> Masks;
    TScanWords Words;
};

thread_local TScanSpace ThreadSpace;

// The line counter would pass the largest 32-bit line number.
struct TLineLimit {};

} // namespace

// One scan of one file, streamed through a fixed buffer.
class TGrepEngine {
public:
    TGrepEngine(TBufferGrep &grep, TScanSpace &space, size_t capacity) : FGrep(grep), FSpace(space)
    {
        if (!space.Words.Fits(grep))
            space.Words.Compile(grep);
        FMatch = &space.Words.Matcher;
        FHasEnd = space.Words.HasEnd;
        FKeep = space.Words.Keep;
        FSlack = space.Words.Slack;
        FStarted = grep.FStartWord.isEmpty();
        FSifter = FStarted ? &space.Words.After : &space.Words.Before;
        FLine = FirstLineCount.load(std::memory_order_relaxed);

        FCap = std::max(capacity, 2 * FKeep + 2);
        if (space.Buffer.size() < FCap + FSlack)
            space.Buffer.resize(FCap + FSlack);
        FBuf = space.Buffer.data();
        // Only the bytes past the data that blocks read are cleared, after
        // each read.
        std::memset(FBuf, 0, FSlack);
        space.Candidates.clear();
    }

    void Run(TFileReader &file)
    {
        for (;;) {
            ScanLines();
            FlushPlainLines();
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
            const size_t got = ReadMore(file, FBuf + FEnd, FCap - FEnd);
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
            FEnd += got;
            std::memset(FBuf + FEnd, 0, FSlack);
        }
    }

private:
    enum class TBlockEnd { Next, Done, Resift };
    static constexpr size_t SiftBlocks = 64;

    // The file is read up to the length it had when the scan started.
    size_t ReadMore(TFileReader &file, uint8_t *to, size_t room)
    {
        const int64_t left = file.Size() - FRead;
        if (left <= 0)
            return 0;
        const int64_t got = file.Read(reinterpret_cast<char *>(to), std::min<int64_t>(int64_t(room), left));
        FRead += got;
        return size_t(got);
    }

    // Every complete line of [FLineStart, FEnd).
    void ScanLines()
    {
        std::vector<uint32_t> &pending = FSpace.Candidates;
        pending.clear();
        size_t pos = FLineStart;
        while (pos < FEnd && !FDone) {
            // Sift a stretch, then walk its lines; a stretch is small enough
            // for its masks to stay in the first-level cache.
            const size_t blocks = std::min<size_t>((FEnd - pos + 63) / 64, SiftBlocks);
            TBlockMasks *masks = FSpace.Masks.data();
            // The blocks to look into one by one: those with a CR, a Ctrl+Z or
            // a place where a word may start, and a last one cut short.
            // Between them only LF line ends lie: those lines are counted a
            // run of blocks at a time.
            uint64_t special = FSifter->Sift(FBuf + pos, blocks, masks);
            if (FEnd - pos < 64 * blocks)
                special |= uint64_t(1) << (blocks - 1);
            if (FLineStart > pos)
                special |= 1;

            const size_t start = pos;
            pos = start + 64 * blocks;
            for (size_t k = 0; k < blocks; ++k) {
                // A run starts neither inside a candidate line nor inside a
                // CR LF cut by the block before.
                if (pending.empty() && FLineStart <= start + 64 * k) {
                    const uint64_t ahead = special & ~LowBits(unsigned(k));
                    const size_t j = ahead ? size_t(__builtin_ctzll(ahead)) : blocks;
                    CountRun(start, masks, k, j);
                    k = j;
                    if (k == blocks)
                        break;
                }
                const TBlockEnd end = Block(start + 64 * k, masks[k]);
                if (end == TBlockEnd::Done) {
                    FDone = true;
                    break;
                }
                if (end == TBlockEnd::Resift) {
                    // The search has started: sift again with the keywords.
                    pos = FLineStart;
                    break;
                }
            }
        }
    }

    // Blocks [k, j) hold only LF line ends: their lines are counted.
    void CountRun(size_t start, const TBlockMasks *masks, size_t k, size_t j)
    {
        uint32_t n = 0;
        for (size_t r = k; r < j; ++r)
            n += masks[r].Lines;
        if (!n)
            return;
        FPlainLines += n;
        size_t r = j - 1;
        while (masks[r].LastLf < 0)
            --r;
        FLineStart = start + 64 * r + size_t(masks[r].LastLf) + 1;
    }

    // One block's line ends, one by one.
    TBlockEnd Block(size_t pos, const TBlockMasks &m)
    {
        std::vector<uint32_t> &pending = FSpace.Candidates; // of the unfinished line
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
            const bool wasStarted = FStarted;
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
            if (FStarted != wasStarted) {
                // Later lines need the keywords' places, which these masks
                // do not hold.
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
        for (uint64_t n = std::exchange(FPlainLines, 0); n; --n)
            CountLine();
    }

    // The line counter moves on by one, with the line's progress call.
    void CountLine()
    {
        if (FLine == INT32_MAX)
            throw TLineLimit();
        ++FLine;
        FGrep.DoProgress(&FGrep, FLine);
    }

    // The line [FLineStart, e) holds places where a word may start.
    __attribute__((noinline)) bool Candidate(size_t e)
    {
        const uint8_t *line = FBuf + FLineStart;
        const size_t n = e - FLineStart;
        FMatch->Begin(FStarted);
        // Before the start the keywords were not sifted for.
        if (FStarted)
            FMatch->FeedAt(line, n, FSpace.Candidates.data(), FSpace.Candidates.size(), FLineStart);
        else
            FMatch->Feed(line, n, 0, true, true);
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
        std::vector<uint8_t> &capture = FSpace.Capture;
        capture.assign(FBuf, FBuf + FCap);
        size_t end = FCap;
        for (;;) {
            std::memmove(FBuf, FBuf + end - FKeep, FKeep);
            const size_t got = ReadMore(file, FBuf + FKeep, FCap - FKeep);
            if (got == 0) {
                FMatch->Feed(FBuf, FKeep, FKeep, false, true);
                Finish(capture.data(), capture.size());
                FDone = true;
                return;
            }
            const size_t newEnd = FKeep + got;
            std::memset(FBuf + newEnd, 0, FSlack);
            const size_t e = LineEnd(FKeep, newEnd);
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

    // The first line end in FBuf[from, to), or to: a window of a long line
    // is mostly searched in vain, so by memchr.
    size_t LineEnd(size_t from, size_t to) const
    {
        const uint8_t *end = FBuf + to;
        for (const uint8_t c : {LF, CR, CtrlZ})
            if (const void *at = std::memchr(FBuf + from, c, size_t(end - (FBuf + from))))
                end = static_cast<const uint8_t *>(at);
        return size_t(end - FBuf);
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
            FSifter = &FSpace.Words.After;
        }
        bool made = false;
        for (size_t k = TLineMatcher::FirstKeyword; k < words.size(); ++k) {
            if (!words[k].Passed())
                continue;
            if (!made) {
                HitText(FLineText, text, n);
                made = true;
            }
            int32_t lineNo = FLine; // the handler may change its copy
            FGrep.DoFound(FGrep.FListBox, FGrep.FKeywords[qsizetype(k - TLineMatcher::FirstKeyword)],
                          lineNo, FLineText);
        }
        return true;
    }

    TBufferGrep &FGrep;
    TScanSpace &FSpace;
    TLineMatcher *FMatch = nullptr;
    const TBlockSifter *FSifter = nullptr;
    QString FLineText;
    bool FHasEnd = false;
    bool FStarted = false;
    size_t FKeep = 1;
    size_t FCap = 0;
    size_t FSlack = 0;
    uint8_t *FBuf = nullptr;
    size_t FLineStart = 0;
    size_t FEnd = 0;
    bool FEof = false;
    bool FDone = false;
    bool FPendingLF = false;
    int32_t FLine = 0;
    uint64_t FPlainLines = 0;
    int64_t FRead = 0;
};

TBufferGrep::TBufferGrep() = default;
TBufferGrep::~TBufferGrep() = default;

void TBufferGrep::SetBufferSize(int bytes)
{
    FBufferSize = std::max(bytes, 1);
}

int32_t TBufferGrep::StartProgress(int32_t lineNo)
{
    FNextProgressLine = int64_t(lineNo) + 1;
    if (FScale <= 0) {
        // Under 128 bytes the whole file is one read: it is all done.
        FProgress = {};
        return 100;
    }
    FProgress.Start(lineNo, FScale);
    return int32_t(std::clamp<int64_t>(FProgress.Value, INT32_MIN, INT32_MAX));
}

// Called for every line: the next line with the same scale only steps.
inline int32_t TBufferGrep::ProgressValue(int32_t lineNo)
{
    if (lineNo != FNextProgressLine || FScale != FProgress.Scale || FScale <= 0) [[unlikely]]
        return StartProgress(lineNo);
    ++FNextProgressLine;
    return int32_t(std::clamp<int64_t>(FProgress.Next(), INT32_MIN, INT32_MAX));
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
    FFailure.clear();
    // A handler's scan would share this thread's buffers with the running one.
    if (FKeywords.isEmpty() || ThreadSpace.InUse)
        return;
    ThreadSpace.InUse = true;
    try {
        TFileReader file;
        if (file.Open(FFileName)) {
            FScale = int32_t(std::min<int64_t>(file.Size() / 128, INT32_MAX));
            FNextProgressLine = -1;
            // A small file gets a buffer of its size (one byte more, so that
            // the end is seen without taking the last line for a long one).
            const int64_t capacity = std::min<int64_t>(FBufferSize, file.Size() + 1);
            TGrepEngine(*this, ThreadSpace, size_t(capacity)).Run(file);
        }
    } catch (const EInOutError &e) {
        FFailure = e.message();
    } catch (const TLineLimit &) {
        FFailure = QStringLiteral("%1 has more than %2 lines; the scan stopped there.")
                       .arg(FFileName)
                       .arg(INT32_MAX);
    } catch (...) {
        // A handler's error ends the scan quietly; its hits so far stay delivered.
    }
    ThreadSpace.InUse = false;
}

namespace BufferGrepTesting {

void UseVectorUnit(int unit)
{
    LimitVectorUnit(unit);
}

bool HasVectorUnit(int unit)
{
    return unit <= int(ProcessorVectorUnit());
}

void CountLinesFrom(int32_t lines)
{
    FirstLineCount.store(lines, std::memory_order_relaxed);
}

} // namespace BufferGrepTesting
