// The exact per-line tests of the scanner: each word's first occurrence in the
// upper-cased line with its separate-word test, and the two "trimmed line
// equals the trimmed word" comparisons. A line comes whole or in windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TVerdict : uint8_t { NotFound, Pending, Pass, Fail };

// Separate-word test of a word's first occurrence in the upper-cased line:
// a space after it, and a space before it unless it starts the line.
struct TWordTest {
    std::string Word; // upper case; empty never passes
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
    void Feed(const uint8_t *p, size_t n);
    bool Result() const
    {
        return State == Trailing || (State == Matching && Matched == Word.size());
    }
};

class TLineMatcher {
public:
    enum { EndWord = 0, StartWord = 1, FirstKeyword = 2 };
    std::vector<TWordTest> Words;
    TTrimEqual EndEqual;
    TTrimEqual StartEqual;

    size_t LongestWord() const;

    // Once the search has started the start word is no longer looked for.
    void Begin(bool started);

    // A window of the line: the line itself, or one piece of a line longer
    // than the buffer. w[0, ovl) repeats the end of the previous window, at
    // least as many bytes as the longest word, so an occurrence across the
    // seam is found and its neighbours are known. first: w[0] starts the
    // line; last: the line ends at w[len].
    void Feed(const uint8_t *w, size_t len, size_t ovl, bool first, bool last);

    // A whole line, looking for the words only at the given buffer positions
    // (ascending; base is the line's position): every place where a word can
    // start, as sifted out by the block sifter.
    void FeedAt(const uint8_t *w, size_t len, const uint32_t *at, size_t count, size_t base);

private:
    std::vector<uint8_t> FFold; // the window, upper-cased
};
