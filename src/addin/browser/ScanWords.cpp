#include "ScanWords.h"

#include "BufferGrep.h"
#include "ScanText.h"

#include "CodePage.h"

#include <algorithm>

using namespace ScanText;

namespace {

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

} // namespace

bool TScanWords::Fits(const TBufferGrep &g) const
{
    return Valid && Unit == int(SiftVectorUnit()) && Keywords == g.FKeywords
        && StartWord == g.FStartWord && EndWord == g.FEndWord;
}

void TScanWords::Compile(const TBufferGrep &g)
{
    Valid = false;
    Unit = int(SiftVectorUnit());
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
    Before.Set(Needles(false));
    After.Set(Needles(true));
    Slack = std::max(TBlockSifter::Reach(Needles(false)), TBlockSifter::Reach(Needles(true)));
    Valid = true;
}

std::vector<const std::string *> TScanWords::Needles(bool started) const
{
    const auto &words = Matcher.Words;
    std::vector<const std::string *> out{&words[TLineMatcher::EndWord].Word, &Matcher.EndEqual.Word};
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
