// The rich-text reader: bytes in chunks of any size, groups and characters,
// and the reader's public face.
#include "RtfParser.h"

#include "CodePage.h"

using namespace Rtf;

namespace {

const std::array<QChar, 256> &AnsiTable()
{
    static const std::array<QChar, 256> table = [] {
        std::array<QChar, 256> t;
        for (int i = 0; i < 256; ++i) {
            const char byte = char(i);
            const QString s = FromAnsi(&byte, 1);
            t[i] = s.isEmpty() ? QChar(u'?') : s.at(0);
        }
        return t;
    }();
    return table;
}

int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void TRtfParser::Feed(const char *data, qsizetype size, bool last)
{
    if (!Carry.isEmpty()) {
        Carry.append(data, size);
        const QByteArray work = std::move(Carry);
        Carry.clear();
        Parse(work.constData(), work.size(), last);
    } else {
        Parse(data, size, last);
    }
}

void TRtfParser::Finish()
{
    if (!Carry.isEmpty()) {
        const QByteArray work = std::move(Carry);
        Carry.clear();
        Parse(work.constData(), work.size(), true);
    }
    EndPage();
    Balance();
}

void TRtfParser::Parse(const char *p, qsizetype n, bool last)
{
    qsizetype i = 0;
    while (i < n) {
        const char c = p[i];
        if (c == '{') {
            OpenGroup();
            ++i;
        } else if (c == '}') {
            EndGroup();
            ++i;
        } else if (c == '\\') {
            const qsizetype next = Control(p, n, i + 1, last || n - i > MaxCarry);
            if (next < 0) {
                Carry = QByteArray(p + i, n - i);
                return;
            }
            i = next;
        } else if (c == '\n') {
            ++Line;
            ++i;
        } else if (c == '\r') {
            ++i;
        } else {
            Byte(uchar(c));
            ++i;
        }
    }
}

void TRtfParser::OpenGroup()
{
    if (qsizetype(Stack.size()) >= MaxDepth) {
        ++Overflow;
        return;
    }
    Stack.push_back(Stack.back());
    Stack.back().OpenLine = Line;
}

void TRtfParser::EndGroup()
{
    if (Overflow > 0) {
        --Overflow;
        return;
    }
    if (Stack.size() <= 1) {
        // An unbalanced "}": nothing to close.
        if (ExtraCloses++ == 0)
            ExtraCloseLine = Line;
        return;
    }
    const TDest closing = S().Dest;
    Stack.pop_back();
    if (closing == TDest::Footnote && S().Dest != TDest::Footnote)
        EndFootnote();
    if (closing == TDest::Body && Capturing && S().Dest != TDest::Body)
        AbortCapture();
}

qsizetype TRtfParser::Control(const char *p, qsizetype n, qsizetype i, bool final)
{
    if (i >= n)
        return final ? i : -1;
    const char c = p[i];
    if (!IsLetter(c)) {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            Symbol(c);
            return i + 1;
        case '\'': {
            if (!final && i + 2 >= n)
                return -1;
            if (i + 2 < n && HexValue(p[i + 1]) >= 0 && HexValue(p[i + 2]) >= 0) {
                Byte(uchar(HexValue(p[i + 1]) * 16 + HexValue(p[i + 2])));
                return i + 3;
            }
            return i + 1;
        }
        case '*':
            S().Dest = TDest::Skip;
            return i + 1;
        case '~':
            Char(QChar(0xA0));
            return i + 1;
        case '_':
            Char(QChar(0x2011));
            return i + 1;
        case '-':
            return i + 1; // optional hyphen
        case '\n':
            ++Line;
            Word(QByteArrayLiteral("par"), false, 0);
            return i + 1;
        case '\r':
            Word(QByteArrayLiteral("par"), false, 0);
            return i + 1;
        default:
            return i + 1;
        }
    }
    const qsizetype start = i;
    while (i < n && IsLetter(p[i]) && i - start < 32)
        ++i;
    const QByteArray word(p + start, i - start);
    bool hasParam = false;
    bool negative = false;
    long long param = 0;
    if (i + 1 >= n && !final)
        return -1; // a "-" or digit may follow
    if (i < n && p[i] == '-' && i + 1 < n && IsDigit(p[i + 1])) {
        negative = true;
        ++i;
    }
    while (i < n && IsDigit(p[i])) {
        hasParam = true;
        if (param < 100000000)
            param = param * 10 + (p[i] - '0');
        ++i;
    }
    if (i >= n && !final)
        return -1;
    if (i < n && p[i] == ' ')
        ++i;
    Word(word, hasParam, int(negative ? -param : param));
    return i;
}

void TRtfParser::Byte(uchar b)
{
    if (SkipFallback > 0) {
        --SkipFallback;
        return;
    }
    Char(AnsiTable()[b]);
}

void TRtfParser::Char(QChar ch)
{
    switch (S().Dest) {
    case TDest::Skip:
        return;
    case TDest::FontTable:
        if (ch == QLatin1Char(';')) {
            if (FontNumber >= 0 && FontNumber < 4096) {
                if (FDoc.Fonts.size() <= FontNumber)
                    FDoc.Fonts.resize(FontNumber + 1);
                FDoc.Fonts[FontNumber] = {FontName.trimmed(), FontFamily};
            }
            FontName.clear();
        } else if (FontName.size() < 256) {
            FontName += ch;
        }
        return;
    case TDest::ColorTable:
        if (ch == QLatin1Char(';') && FDoc.Colors.size() < 4096) {
            FDoc.Colors.append(RgbSet ? QColor(qBound(0, Rgb[0], 255), qBound(0, Rgb[1], 255),
                                              qBound(0, Rgb[2], 255))
                                     : QColor());
            Rgb = {0, 0, 0};
            RgbSet = false;
        }
        return;
    case TDest::Footnote:
        Started();
        FootText += ch;
        return;
    case TDest::Body:
        if (Capturing) {
            if (Capture.size() < 260)
                Capture += ch;
            else {
                AbortCapture();
                Text(ch);
            }
            return;
        }
        Text(ch);
        return;
    }
}

void TRtfParser::Text(QChar ch)
{
    const TRtfCharStyle &style = S().Char;
    if (style.Hidden) {
        if (Hidden.isEmpty())
            HiddenLine = Line;
        Hidden += ch;
        return;
    }
    // The common case: more of the same run.
    if (Hidden.isEmpty() && !style.Underline && !style.DoubleUnderline && Pending.isEmpty() && TopicStarted
        && !Topic.Items.isEmpty() && Topic.Items.last().Type == TRtfItem::Run
        && Topic.Items.last().Style == style) {
        Topic.Items.last().Text += ch;
        return;
    }
    TRtfItem item;
    item.Type = TRtfItem::Run;
    item.Text = ch;
    item.Style = style;
    item.Line = Line;
    Visible(std::move(item));
}


TRtfStreamReader::TRtfStreamReader(TRtfSink &sink) : D(std::make_unique<TRtfParser>(sink)) {}
TRtfStreamReader::~TRtfStreamReader() = default;

void TRtfStreamReader::Feed(const char *data, qsizetype size)
{
    D->Feed(data, size, false);
}

void TRtfStreamReader::Finish()
{
    D->Finish();
}

const TRtfDocument &TRtfStreamReader::Document() const
{
    return D->Doc();
}

const QList<TRtfProblem> &TRtfStreamReader::Problems() const
{
    return D->Problems();
}

TRtfDocument ReadRtf(const QByteArray &bytes)
{
    struct TCollect final : TRtfSink {
        QList<TRtfTopic> Topics;
        void Topic(TRtfTopic &topic, const TRtfDocument &) override { Topics.append(std::move(topic)); }
    } collect;
    TRtfStreamReader reader(collect);
    reader.Feed(bytes.constData(), bytes.size());
    reader.Finish();
    TRtfDocument doc = reader.Document();
    doc.Topics = std::move(collect.Topics);
    return doc;
}

int CountRtfPages(const QByteArray &bytes)
{
    int pages = 0;
    qsizetype from = 0;
    while ((from = bytes.indexOf("\\page", from)) >= 0) {
        from += 5;
        if (from >= bytes.size() || !IsLetter(bytes.at(from)))
            ++pages;
    }
    return pages;
}
