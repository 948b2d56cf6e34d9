#include "browser/BufferGrep.h"
#include "browser/EntitySearch.h"

#include "OddUnits.h"
#include "ScanReference.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

// Readable failure output.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace ScanReference {
void PrintTo(const Hit &h, std::ostream *os)
{
    *os << h.word.toStdString() << "@" << h.line << " «" << h.text.toStdString() << "»";
}
} // namespace ScanReference

namespace {

using ScanReference::Hit;
using ScanReference::Reference;
using ScanReference::RefResult;

// Runs a scanner and records what it reports.
struct Recorder {
    std::vector<Hit> hits;
    std::vector<int32_t> progress;
    void *target = reinterpret_cast<void *>(0x1234);
    void *seenTarget = nullptr;

    void attach(TBufferGrep &grep)
    {
        grep.FListBox = target;
        grep.FOnFound = [this](void *list, const QString &word, int32_t &line, const QString &text) {
            seenTarget = list;
            hits.push_back({word, line, text});
        };
        grep.FOnProgress = [this](TBufferGrep *, int32_t value) { progress.push_back(value); };
    }
};

class ScanFile : public ::testing::Test {
protected:
    QString write(const QByteArray &bytes, const QString &name = QStringLiteral("u.pas"))
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    // Browser settings unless the test changes them.
    Recorder scan(const QByteArray &bytes, int bufferSize = 0,
                  const std::function<void(TBufferGrep &)> &setup = {})
    {
        TBufferGrep grep;
        ConfigureEntitySearch(grep);
        if (setup)
            setup(grep);
        if (bufferSize)
            grep.SetBufferSize(bufferSize);
        grep.FFileName = write(bytes);
        Recorder r;
        r.attach(grep);
        grep.Search();
        return r;
    }
    static std::vector<int32_t> lines(const Recorder &r)
    {
        std::vector<int32_t> out;
        for (const Hit &h : r.hits)
            out.push_back(h.line);
        return out;
    }
    QTemporaryDir dir;
};

TEST_F(ScanFile, InterfaceHeadingIsSkippedImplementationHeadingFound)
{
    const Recorder r = scan("unit U;\r\ninterface\r\nprocedure A;\r\nimplementation\r\n"
                            "procedure A;\r\nbegin\r\nend;\r\nend.\r\n");
    ASSERT_EQ(r.hits.size(), 1u);
    EXPECT_EQ(r.hits[0], (Hit{QStringLiteral("PROCEDURE"), 5, QStringLiteral("procedure A;")}));
    EXPECT_EQ(r.seenTarget, r.target);
}

TEST_F(ScanFile, SeparateWordNeedsSpacesOnBothSides)
{
    const Recorder r = scan("implementation\n"
                            "function  Max(A, B: Integer): Integer;\n" // 2: hit
                            "procedure\tX;\n"                          // tab: no hit
                            "begin Proc; end;\n"                       // no hit
                            "// procedure Old;\n"                      // 5: hit
                            "{\n  procedure Hidden;\n}\n"              // 7: hit
                            "procedure SetFunction(Value: Integer);\n" // 9: PROCEDURE only
                            "procedure A; function B;\n"               // 10: two hits
                            "x := procedure\n"                         // word ends line: no hit
                            "(procedure Y);\n");                       // no space before: no hit
    EXPECT_EQ(lines(r), (std::vector<int32_t>{2, 5, 7, 9, 10, 10}));
    EXPECT_EQ(r.hits[3].word, QStringLiteral("PROCEDURE"));
    EXPECT_EQ(r.hits[4].word, QStringLiteral("PROCEDURE"));
    EXPECT_EQ(r.hits[5].word, QStringLiteral("FUNCTION"));
    EXPECT_EQ(r.hits[2].text, QStringLiteral("  procedure Hidden;"));
}

TEST_F(ScanFile, OnlyTheFirstOccurrenceOfAWordIsTested)
{
    // FUNCTION first occurs inside SetFunction: the later separate one is
    // never looked at.
    const Recorder r = scan("implementation\nprocedure SetFunction; function F;\n");
    ASSERT_EQ(r.hits.size(), 1u);
    EXPECT_EQ(r.hits[0].word, QStringLiteral("PROCEDURE"));
}

TEST_F(ScanFile, StartWordRules)
{
    // Capitals alone do not start the search (whole-line test is exact, the
    // word test needs a following space).
    EXPECT_TRUE(scan("IMPLEMENTATION\nprocedure A;\n").hits.empty());
    // Exactly the word, or followed by a space (any case), starts it.
    EXPECT_EQ(lines(scan("  implementation  \nprocedure A;\n")), std::vector<int32_t>{2});
    EXPECT_EQ(lines(scan("IMPLEMENTATION { x }\nprocedure A;\n")), std::vector<int32_t>{2});
    // The start line itself is searched.
    EXPECT_EQ(lines(scan("implementation procedure A;\n")), std::vector<int32_t>{1});
    // Started stays started.
    EXPECT_EQ(lines(scan("implementation\nuses X;\n\nfunction F: Integer;\n")),
              std::vector<int32_t>{4});
    // No start line at all: nothing.
    EXPECT_TRUE(scan("unit U;\nprocedure A;\n").hits.empty());
}

TEST_F(ScanFile, EmptyStartWordSearchesFromTheFirstLine)
{
    const Recorder r = scan("procedure A;\nprocedure B;\n", 0,
                            [](TBufferGrep &g) { g.FStartWord.clear(); });
    EXPECT_EQ(lines(r), (std::vector<int32_t>{1, 2}));
}

TEST_F(ScanFile, EndWordStopsTheScan)
{
    auto endAt = [](const char *word) {
        return [word](TBufferGrep &g) {
            g.FStartWord.clear();
            g.FEndWord = QString::fromLatin1(word);
        };
    };
    // As a separate word (case-insensitive), on a line that is not searched.
    Recorder r = scan("procedure A;\nprocedure B; END X\nprocedure C;\n", 0, endAt("end"));
    EXPECT_EQ(lines(r), std::vector<int32_t>{1});
    EXPECT_EQ(r.progress.size(), 2u);
    // As the whole trimmed line, exact case.
    r = scan("procedure A;\n  end.\t\nprocedure C;\n", 0, endAt("end."));
    EXPECT_EQ(lines(r), std::vector<int32_t>{1});
    r = scan("procedure A;\n  END.\nprocedure C;\n", 0, endAt("end."));
    EXPECT_EQ(lines(r), (std::vector<int32_t>{1, 3}));
}

TEST_F(ScanFile, MissingFileAndEmptyKeywordListReportNothing)
{
    TBufferGrep grep;
    ConfigureEntitySearch(grep);
    Recorder r;
    r.attach(grep);
    grep.FFileName = dir.path() + QStringLiteral("/missing.pas");
    grep.Search();
    EXPECT_TRUE(r.hits.empty());
    EXPECT_TRUE(r.progress.empty());

    const Recorder none = scan("implementation\nprocedure A;\n", 0,
                               [](TBufferGrep &g) { g.FKeywords.clear(); });
    EXPECT_TRUE(none.hits.empty());
    EXPECT_TRUE(none.progress.empty());
}

TEST_F(ScanFile, ProgressIsLineTimes100OverScale)
{
    // 12,800 bytes: scale 100, so line 50 reports 50.
    QByteArray text;
    while (text.size() < 12800 - 10)
        text += "x;       \r\n"; // 11 bytes a line
    text += QByteArray(12800 - text.size(), ' ');
    ASSERT_EQ(text.size(), 12800);
    TBufferGrep grep;
    ConfigureEntitySearch(grep);
    Recorder r;
    r.attach(grep);
    grep.FFileName = write(text);
    grep.Search();
    EXPECT_EQ(grep.FScale, 100);
    ASSERT_GE(r.progress.size(), 50u);
    EXPECT_EQ(r.progress[49], 50);
    EXPECT_EQ(r.progress[0], 1);
    EXPECT_EQ(r.progress.size(), size_t(text.count('\n') + 1)); // the last line has no break
}

TEST_F(ScanFile, ProgressOfATinyFileIsFull)
{
    const Recorder r = scan("a\nb\n");
    EXPECT_EQ(r.progress, (std::vector<int32_t>{100, 100}));
}

TEST(ScanProgress, BigLineNumbersDoNotWrap)
{
    TBufferGrep grep;
    std::vector<int32_t> seen;
    grep.FOnProgress = [&](TBufferGrep *, int32_t v) { seen.push_back(v); };
    grep.FScale = 8'000'000; // a 1 GiB file
    grep.DoProgress(&grep, 30'000'000);
    grep.DoProgress(&grep, 30'000'001);
    grep.FScale = 3;
    grep.DoProgress(&grep, 7);
    EXPECT_EQ(seen, (std::vector<int32_t>{375, 375, 233}));
}

TEST(ScanProgress, EveryLineGetsTheTruncatedQuotient)
{
    TBufferGrep grep;
    int32_t last = -1;
    grep.FOnProgress = [&](TBufferGrep *, int32_t v) { last = v; };
    for (int32_t scale : {1, 3, 7, 99, 100, 101, 127, 4096, 8'000'000}) {
        grep.FScale = scale;
        for (int32_t line = 1; line <= 3000; ++line) {
            grep.DoProgress(&grep, line);
            ASSERT_EQ(last, int32_t(int64_t(line) * 100 / scale)) << scale << " " << line;
        }
        // Out of order, backwards and negative line numbers too.
        for (int32_t line : {17, 5, -9, 0, 1, 2'000'000'000}) {
            grep.DoProgress(&grep, line);
            EXPECT_EQ(last, int32_t(std::clamp<int64_t>(int64_t(line) * 100 / scale, INT32_MIN,
                                                        INT32_MAX)));
        }
    }
}

TEST_F(ScanFile, LineEndsCrLfLfAndCrNumberLinesAlike)
{
    const QByteArray body = "unit U;|interface|procedure I;|implementation||procedure A;|"
                            "begin|end;||function B: Integer;|begin|end;|constructor T.Create;|";
    std::vector<int32_t> expected{6, 10, 13};
    for (const char *eol : {"\r\n", "\n", "\r"}) {
        QByteArray text = body;
        text.replace('|', eol);
        EXPECT_EQ(lines(scan(text)), expected) << "line end " << QByteArray(eol).toHex().data();
    }
    // Mixed in one file, and LF CR counts as two breaks.
    EXPECT_EQ(lines(scan("implementation\r\n\rprocedure A;\n\n\rprocedure B;\r\n")),
              (std::vector<int32_t>{3, 6}));
}

TEST_F(ScanFile, CtrlZEndsTheFile)
{
    const Recorder r = scan("implementation\nprocedure A;\x1aprocedure B;\nprocedure C;\n");
    EXPECT_EQ(lines(r), std::vector<int32_t>{2});
    EXPECT_EQ(r.hits[0].text, QStringLiteral("procedure A;"));
    EXPECT_EQ(r.progress.size(), 2u);
}

TEST_F(ScanFile, LastLineWithoutBreakIsRead)
{
    EXPECT_EQ(lines(scan("implementation\nprocedure A;")), std::vector<int32_t>{2});
    EXPECT_TRUE(scan("").progress.empty());
}

TEST_F(ScanFile, HitTextIsTheLineAsReadInTheAnsiCodePage)
{
    const Recorder r = scan("implementation\n  Procedure Año(x: \x80);  \n"
                            "procedure TVeryLongClassName.Method(\x93quoted\x94, \xe9);\n");
    ASSERT_EQ(r.hits.size(), 2u);
    EXPECT_EQ(r.hits[0].text, QString::fromUtf8("  Procedure A\u00c3\u00b1o(x: \u20ac);  "));
    EXPECT_EQ(r.hits[1].text,
              QString::fromUtf8("procedure TVeryLongClassName.Method(\u201cquoted\u201d, \u00e9);"));
}

TEST_F(ScanFile, LineLongerThanTheBuffer)
{
    const int buffer = 4096;
    QByteArray longLine = "procedure Long(";
    while (longLine.size() < 3 * buffer + 7)
        longLine += "a, ";
    longLine += "z: Integer); function Later;";
    const QByteArray text = "implementation\n" + longLine + "\nprocedure After;\n";
    const Recorder r = scan(text, buffer);
    ASSERT_EQ(r.hits.size(), 3u);
    EXPECT_EQ(r.hits[0].line, 2);
    EXPECT_EQ(r.hits[1].line, 2);
    EXPECT_EQ(r.hits[1].word, QStringLiteral("FUNCTION"));
    EXPECT_EQ(r.hits[2], (Hit{QStringLiteral("PROCEDURE"), 3, QStringLiteral("procedure After;")}));
    // The text of a line longer than the buffer is its first buffer's worth.
    EXPECT_EQ(r.hits[0].text, QString::fromLatin1(longLine.left(buffer)));
    QString name;
    EXPECT_TRUE(ExtractEntityName(r.hits[0].text, name));
    EXPECT_EQ(name, QStringLiteral("Long"));
}

TEST_F(ScanFile, HandlerErrorEndsTheScanQuietlyKeepingEarlierHits)
{
    TBufferGrep grep;
    ConfigureEntitySearch(grep);
    grep.FFileName = write("implementation\nprocedure A;\nprocedure B;\nprocedure C;\n");
    std::vector<int32_t> got;
    grep.FOnFound = [&](void *, const QString &, int32_t &line, const QString &) {
        got.push_back(line);
        if (line == 3)
            throw std::runtime_error("stop");
    };
    EXPECT_NO_THROW(grep.Search());
    EXPECT_EQ(got, (std::vector<int32_t>{2, 3}));
}

TEST(ScanEntityName, HeadingsAndNames)
{
    struct Case {
        const char *text;
        bool heading;
        const char *name;
    } cases[] = {
        {"procedure TForm1.Button1Click(Sender: TObject);", true, "TForm1.Button1Click"},
        {"function Count: Integer;", true, "Count"},
        {"destructor Destroy; override;", true, "Destroy"},
        {"procedure Later", true, ""},
        {"function  Max(A, B: Integer): Integer;", true, "Max"},
        {"procedure SetFunction(Value: Integer);", true, "SetFunction"},
        {"procedure A; function B;", true, "A"},
        {"   CONSTRUCTOR Create (AOwner: TComponent);  ", true, "Create "},
        {"function F (x) : Integer;", true, "F "},
        {"procedure (x);", true, "(x)"}, // "(" first: cut at ";"
        {"procedure X (", true, "X "},
        {"// procedure Old;", false, ""},
        {"begin Proc; end;", false, ""},
        {"procedures;", true, ""},
        {"Procedure\tTab;", true, ""},
        {"", false, ""},
    };
    for (const Case &c : cases) {
        QString name = QStringLiteral("stale");
        EXPECT_EQ(ExtractEntityName(QString::fromLatin1(c.text), name), c.heading) << c.text;
        EXPECT_EQ(name, QString::fromLatin1(c.name)) << c.text;
    }
}

TEST(ScanEntityName, NameComesFromAtMost1024CharactersAfterTheSpace)
{
    const QString longName(1030, QLatin1Char('n'));
    QString name;
    ASSERT_TRUE(ExtractEntityName(QStringLiteral("procedure ") + longName + QStringLiteral(";"), name));
    EXPECT_EQ(name, QString()); // the ";" lies beyond the kept text
    ASSERT_TRUE(ExtractEntityName(QStringLiteral("procedure ") + QString(1000, QLatin1Char('n'))
                                      + QStringLiteral("(a, b);"),
                                  name));
    EXPECT_EQ(name.size(), 1000);
}

// ------------------------------------------------------------------------
// The streamed scanner against a plain whole-file reading of the same rules,
// on random sources and with buffers small enough to cut lines and words.

QByteArray RandomSource(QRandomGenerator &rng, int pieces)
{
    static const char *const vocabulary[] = {
        "procedure", "PROCEDURE", "Procedure", "function", "FUNCTION", "constructor", "destructor",
        "implementation", "IMPLEMENTATION", "Implementation ", "end", "END.", "end.", " ", " ", " ",
        "  ", "\t", "(", ";", ":", "x", "SetFunction", "procedur", "\r\n", "\n", "\r", "\r\n",
        "\n", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "{", "}", "//",
        "proceduree", "pe", "fn", "e"};
    QByteArray out;
    const int n = int(std::size(vocabulary));
    for (int i = 0; i < pieces; ++i) {
        if (rng.bounded(2000) == 0)
            out += '\x1a';
        out += vocabulary[rng.bounded(n)];
    }
    return out;
}

const QStringList HeadingWords = {QStringLiteral("PROCEDURE"), QStringLiteral("FUNCTION"),
                                  QStringLiteral("CONSTRUCTOR"), QStringLiteral("DESTRUCTOR")};

// The streamed scanner against the reference on random sources, each with
// buffers small enough to cut lines and words; returns the scans compared.
int CompareWithReference(QRandomGenerator &rng, const QStringList &keywords, int rounds,
                         const std::function<QString(const QByteArray &)> &write)
{
    const int buffers[] = {1, 5, 16, 31, 64, 65, 100, 257, 4096, 0};
    struct Setup {
        const char *start;
        const char *end;
    } setups[] = {{"implementation", ""}, {"", "end."}, {" implementation", " END "}, {"", ""}};
    int compared = 0;
    for (int round = 0; round < rounds; ++round) {
        const QByteArray text = RandomSource(rng, 50 + int(rng.bounded(1500)));
        const Setup &s = setups[round % std::size(setups)];
        const RefResult want = Reference(text, keywords, s.start, s.end);
        const QString file = write(text);
        for (int buffer : buffers) {
            TBufferGrep grep;
            grep.FKeywords = keywords;
            grep.FStartWord = QString::fromLatin1(s.start);
            grep.FEndWord = QString::fromLatin1(s.end);
            if (buffer)
                grep.SetBufferSize(buffer);
            grep.FFileName = file;
            Recorder got;
            got.attach(grep);
            grep.Search();
            EXPECT_EQ(got.hits.size(), want.hits.size()) << "round " << round << " buffer " << buffer;
            if (got.hits.size() != want.hits.size())
                return compared;
            for (size_t h = 0; h < want.hits.size(); ++h) {
                EXPECT_EQ(got.hits[h].word, want.hits[h].word);
                EXPECT_EQ(got.hits[h].line, want.hits[h].line);
                // A line longer than the buffer is handed over cut to its first bytes.
                const QString &full = want.hits[h].text;
                if (full.size() <= grep.BufferSize())
                    EXPECT_EQ(got.hits[h].text, full);
                else
                    EXPECT_TRUE(full.startsWith(got.hits[h].text)
                                && got.hits[h].text.size() >= grep.BufferSize());
            }
            EXPECT_EQ(int(got.progress.size()), want.lines) << "round " << round;
            ++compared;
        }
    }
    return compared;
}

// Each vector kernel sifts as the reference reads; a kernel this processor
// lacks is not run (the scanner would stand a lesser one in).
class ScanVectorUnits : public ScanFile, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        static const char *const names[] = {"plain", "SSE2", "AVX2", "AVX-512"};
        if (!BufferGrepTesting::HasVectorUnit(GetParam()))
            GTEST_SKIP() << "this processor has no " << names[GetParam()] << " kernel to test";
        BufferGrepTesting::UseVectorUnit(GetParam());
    }
    void TearDown() override { BufferGrepTesting::UseVectorUnit(-1); }
};

INSTANTIATE_TEST_SUITE_P(Units, ScanVectorUnits, ::testing::Values(0, 1, 2, 3));

TEST_P(ScanVectorUnits, StreamedScanAgreesWithWholeFileReading)
{
    QRandomGenerator rng(20240611 + GetParam());
    EXPECT_EQ(CompareWithReference(rng, HeadingWords, 32, [this](const QByteArray &b) { return write(b); }),
              320);
}

TEST_F(ScanFile, MoreWordsThanTheVectorKernelsHoldAgreeWithWholeFileReading)
{
    // Ten words with distinct sifter keys: the plain kernel takes them.
    const QStringList words = HeadingWords
        + QStringList{QStringLiteral("SETFUNCTION"), QStringLiteral("PE"), QStringLiteral("FN"),
                      QStringLiteral("E"), QStringLiteral("END"), QStringLiteral("PROCEDUR")};
    QRandomGenerator rng(77);
    EXPECT_EQ(CompareWithReference(rng, words, 8, [this](const QByteArray &b) { return write(b); }), 80);
}

// ------------------------------------------------------------------------
// Files that are no regular files, and the end of the line numbers.

TEST_F(ScanFile, ScanRefusesWhatIsNoRegularFileAndSaysWhy)
{
    OddUnits odd;
    ASSERT_TRUE(odd.Make(dir.path()));
    const QString &folder = odd.Folder;
    const std::pair<QString, const char *> cases[] = {
        {odd.Pipe, "a named pipe"}, {odd.DevZero, "a device"}, {odd.Folder, "a folder"}};
    for (const auto &[path, kind] : cases) {
        TBufferGrep grep;
        ConfigureEntitySearch(grep);
        Recorder r;
        r.attach(grep);
        grep.FFileName = path;
        grep.Search(); // a pipe without a writer must not hold it
        EXPECT_TRUE(r.hits.empty()) << kind;
        EXPECT_TRUE(r.progress.empty()) << kind;
        EXPECT_TRUE(grep.FailureText().contains(path)) << grep.FailureText().toStdString();
        EXPECT_TRUE(grep.FailureText().contains(QLatin1String(kind))) << grep.FailureText().toStdString();
    }
    // A missing file is no failure; a later good scan clears the last one.
    TBufferGrep grep;
    ConfigureEntitySearch(grep);
    grep.FFileName = folder;
    grep.Search();
    grep.FFileName = dir.path() + QStringLiteral("/missing.pas");
    grep.Search();
    EXPECT_TRUE(grep.FailureText().isEmpty());
}

// The counter starts just short of the last 32-bit line number.
class ScanLineLimit : public ScanFile {
protected:
    void TearDown() override { BufferGrepTesting::CountLinesFrom(0); }
};

TEST_F(ScanLineLimit, ScanStopsAtTheLastLineNumberNeverGoingNegative)
{
    BufferGrepTesting::CountLinesFrom(INT32_MAX - 3);
    QByteArray text;
    for (int i = 0; i < 8; ++i)
        text += "procedure P;\n";
    TBufferGrep grep;
    grep.FKeywords = HeadingWords;
    grep.FFileName = write(text);
    Recorder r;
    r.attach(grep);
    grep.Search();
    EXPECT_EQ(lines(r), (std::vector<int32_t>{INT32_MAX - 2, INT32_MAX - 1, INT32_MAX}));
    EXPECT_EQ(r.progress.size(), 3u);
    EXPECT_TRUE(grep.FailureText().contains(QStringLiteral("2147483647"))) << grep.FailureText().toStdString();

    // Through the batched count of plain lines too.
    QByteArray plain(4096, '\n');
    plain += "procedure P;\n";
    Recorder p;
    grep.FFileName = write(plain, QStringLiteral("plain.pas"));
    p.attach(grep);
    grep.Search();
    EXPECT_TRUE(p.hits.empty());
    EXPECT_EQ(p.progress.size(), 3u);
    EXPECT_FALSE(grep.FailureText().isEmpty());
}

TEST_F(ScanFile, ScanStartedFromAHandlerIsRefusedAndTheOuterOneGoesOn)
{
    const QString inner = write("implementation\nprocedure Inner;\n", QStringLiteral("inner.pas"));
    TBufferGrep outer;
    ConfigureEntitySearch(outer);
    outer.FFileName = write("implementation\nprocedure A;\nprocedure B;\n");
    std::vector<int32_t> outerLines;
    size_t innerHits = 0;
    outer.FOnFound = [&](void *, const QString &, int32_t &line, const QString &) {
        outerLines.push_back(line);
        TBufferGrep nested;
        ConfigureEntitySearch(nested);
        nested.FFileName = inner;
        nested.FOnFound = [&](void *, const QString &, int32_t &, const QString &) { ++innerHits; };
        nested.Search();
    };
    outer.Search();
    EXPECT_EQ(outerLines, (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(innerHits, 0u);
    // Once the outer scan has ended the thread scans again.
    const Recorder again = scan("implementation\nprocedure C;\n");
    EXPECT_EQ(lines(again), std::vector<int32_t>{2});
}

} // namespace
