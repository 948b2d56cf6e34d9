#include "RtfReader.h"

#include "CodePage.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <vector>

namespace {

enum class TDest { Body, Footnote, FontTable, ColorTable, Skip };

struct TState {
    TRtfCharStyle Char;
    TRtfParaStyle Para;
    TDest Dest = TDest::Body;
    int Uc = 1; // fallback characters after \uN
    int OpenLine = 1; // of the group's "{"
};

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

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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

// Bitmap references inside \{ \}: bmc, bml, bmr, optionally with "t" or "wd".
const QRegularExpression &BitmapPattern()
{
    static const QRegularExpression re(QStringLiteral("^\\s*bm[clr][a-z]*\\s+(\\S.*?)\\s*$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

// WinHelp targets may carry "@file" or ">window" after the context string,
// and "%" or "*" before it to change the look of the jump.
QString CleanTarget(QString target)
{
    target = target.trimmed();
    while (target.startsWith(QLatin1Char('%')) || target.startsWith(QLatin1Char('*')))
        target.remove(0, 1);
    static const QRegularExpression suffix(QStringLiteral("[@>]"));
    const qsizetype cut = target.indexOf(suffix);
    if (cut >= 0)
        target.truncate(cut);
    return target.trimmed();
}

} // namespace

class TRtfParser {
public:
    explicit TRtfParser(TRtfSink &sink) : Sink(sink) { Stack.push_back(TState{}); }

    // Reads bytes; a control word cut at the end waits in Carry for the next
    // chunk, so any split of the bytes reads the same.
    void Feed(const char *data, qsizetype size, bool last)
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

    void Finish()
    {
        if (!Carry.isEmpty()) {
            const QByteArray work = std::move(Carry);
            Carry.clear();
            Parse(work.constData(), work.size(), true);
        }
        EndPage();
        Balance();
    }

    const TRtfDocument &Doc() const { return FDoc; }
    const QList<TRtfProblem> &Problems() const { return FProblems; }

private:
    // A control word longer than this is read as it stands, cut or not.
    static constexpr qsizetype MaxCarry = 64 * 1024;
    // Groups deeper than this are counted, not kept: a file of braces
    // would otherwise hold a state per byte.
    static constexpr qsizetype MaxDepth = 4096;

    void Parse(const char *p, qsizetype n, bool last)
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

private:
    TState &S() { return Stack.back(); }

    void OpenGroup()
    {
        if (qsizetype(Stack.size()) >= MaxDepth) {
            ++Overflow;
            return;
        }
        Stack.push_back(Stack.back());
        Stack.back().OpenLine = Line;
    }

    void EndGroup()
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

    // Pages break at one depth; the first break deeper than that shows
    // where a "{" was left open, which the end of the file cannot: there
    // the document's own "}" has closed it.
    void PageDepth()
    {
        const qsizetype depth = qsizetype(Stack.size()) + Overflow;
        if (PageBreakDepth < 0)
            PageBreakDepth = depth;
        else if (depth > PageBreakDepth && StrayOpenLine == 0)
            StrayOpenLine = Stack[std::min<qsizetype>(PageBreakDepth, qsizetype(Stack.size()) - 1)].OpenLine;
    }

    void Balance()
    {
        const qsizetype open = qsizetype(Stack.size()) - 1 + Overflow;
        if (open > 0) {
            const int line = StrayOpenLine ? StrayOpenLine : Stack.back().OpenLine;
            FProblems.append({line, open == 1 ? QStringLiteral("Unbalanced braces: this \"{\" is not closed")
                                              : QStringLiteral("Unbalanced braces: %1 groups are not closed, "
                                                               "the first of them here")
                                                    .arg(open)});
        }
        if (ExtraCloses > 0)
            FProblems.append({ExtraCloseLine, ExtraCloses == 1
                                                  ? QStringLiteral("Unbalanced braces: \"}\" without \"{\"")
                                                  : QStringLiteral("Unbalanced braces: %1 \"}\" without \"{\", "
                                                                   "the first of them here")
                                                        .arg(ExtraCloses)});
    }

    // Returns the index after the control word or symbol starting at i, or
    // -1 when the bytes end inside it and more may follow (not final).
    qsizetype Control(const char *p, qsizetype n, qsizetype i, bool final)
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

    void Word(const QByteArray &w, bool hasParam, int param)
    {
        TState &s = S();
        const bool on = !hasParam || param != 0;
        if (s.Dest == TDest::Skip)
            return;
        if (s.Dest == TDest::FontTable) {
            if (w == "f" && hasParam) {
                FontNumber = param;
                FontName.clear();
            } else if (w.startsWith('f') && w.size() > 1 && !hasParam && w != "fcharset" && w != "fprq") {
                FontFamily = QString::fromLatin1(w.mid(1));
            }
            return;
        }
        if (s.Dest == TDest::ColorTable) {
            if (w == "red")
                Rgb[0] = param, RgbSet = true;
            else if (w == "green")
                Rgb[1] = param, RgbSet = true;
            else if (w == "blue")
                Rgb[2] = param, RgbSet = true;
            return;
        }
        // Body and footnotes.
        if (w == "u" && hasParam) {
            Char(QChar(char16_t(param < 0 ? param + 65536 : param)));
            SkipFallback = s.Uc;
            return;
        }
        if (w == "uc") {
            s.Uc = qBound(0, param, 8);
            return;
        }
        if (w == "footnote") {
            if (s.Dest == TDest::Body) {
                DropFootnoteMark();
                FootText.clear();
                FootLine = Line;
            }
            s.Dest = TDest::Footnote;
            return;
        }
        if (w == "fonttbl") {
            s.Dest = TDest::FontTable;
            FontNumber = -1;
            return;
        }
        if (w == "colortbl") {
            s.Dest = TDest::ColorTable;
            Rgb = {0, 0, 0};
            RgbSet = false;
            return;
        }
        if (w == "stylesheet" || w == "info" || w == "pict" || w == "object" || w == "header" || w == "footer"
            || w == "headerl" || w == "headerr" || w == "footerl" || w == "footerr" || w == "filetbl"
            || w == "listtable" || w == "listoverridetable" || w == "revtbl" || w == "xe" || w == "tc"
            || w == "field" || w == "fldinst") {
            s.Dest = TDest::Skip;
            return;
        }
        if (w == "deff") {
            DefaultFont = param;
            s.Char.Font = param;
            return;
        }
        if (s.Dest == TDest::Footnote) {
            if (w == "tab")
                Char(QChar(u' '));
            return;
        }
        if (w == "par") {
            Paragraph(TRtfItem::Paragraph);
        } else if (w == "line") {
            Paragraph(TRtfItem::LineBreak);
        } else if (w == "page") {
            PageDepth();
            Paragraph(TRtfItem::Paragraph);
            EndPage();
        } else if (w == "tab") {
            Char(QChar(u'\t'));
        } else if (w == "plain") {
            s.Char = TRtfCharStyle{};
            s.Char.Font = DefaultFont;
        } else if (w == "pard") {
            s.Para = TRtfParaStyle{};
        } else if (w == "b") {
            s.Char.Bold = on;
        } else if (w == "i") {
            s.Char.Italic = on;
        } else if (w == "ul") {
            s.Char.Underline = on;
        } else if (w == "uldb" || w == "strike") {
            s.Char.DoubleUnderline = on;
        } else if (w == "ulnone") {
            s.Char.Underline = s.Char.DoubleUnderline = false;
        } else if (w == "v") {
            s.Char.Hidden = on;
        } else if (w == "super" || w == "up") {
            s.Char.Super = on;
        } else if (w == "nosupersub" || w == "sub") {
            s.Char.Super = false;
        } else if (w == "f") {
            s.Char.Font = param;
        } else if (w == "fs") {
            s.Char.HalfPoints = hasParam && param > 0 ? qMin(param, 1638) : 24;
        } else if (w == "cf") {
            s.Char.Color = qMax(0, param);
        } else if (w == "li") {
            s.Para.LeftIndent = param;
        } else if (w == "sb") {
            s.Para.SpaceBefore = param;
        } else if (w == "sa") {
            s.Para.SpaceAfter = param;
        } else if (w == "keepn") {
            s.Para.KeepNext = true;
        } else if (w == "emdash") {
            Char(QChar(0x2014));
        } else if (w == "endash") {
            Char(QChar(0x2013));
        } else if (w == "bullet") {
            Char(QChar(0x2022));
        } else if (w == "lquote") {
            Char(QChar(0x2018));
        } else if (w == "rquote") {
            Char(QChar(0x2019));
        } else if (w == "ldblquote") {
            Char(QChar(0x201C));
        } else if (w == "rdblquote") {
            Char(QChar(0x201D));
        }
    }

    void Byte(uchar b)
    {
        if (SkipFallback > 0) {
            --SkipFallback;
            return;
        }
        Char(AnsiTable()[b]);
    }

    // \\ \{ \}: literal characters; in the body, \{ \} also delimit pictures.
    void Symbol(char c)
    {
        if (SkipFallback > 0) {
            --SkipFallback;
            return;
        }
        if (S().Dest == TDest::Body && c == '{' && !S().Char.Hidden) {
            if (Capturing)
                AbortCapture();
            Capturing = true;
            Capture.clear();
            CaptureLine = Line;
            return;
        }
        if (S().Dest == TDest::Body && c == '}' && Capturing) {
            Capturing = false;
            const QRegularExpressionMatch m = BitmapPattern().match(Capture);
            if (m.hasMatch()) {
                TRtfItem item;
                item.Type = TRtfItem::Bitmap;
                item.Text = m.captured(1);
                item.Style = S().Char;
                item.Line = CaptureLine;
                Visible(std::move(item));
            } else {
                Literal(QLatin1Char('{') + Capture + QLatin1Char('}'));
            }
            return;
        }
        Char(QChar(QLatin1Char(c)));
    }

    void AbortCapture()
    {
        Capturing = false;
        Literal(QLatin1Char('{') + Capture);
    }

    void Literal(const QString &text)
    {
        for (QChar ch : text)
            Text(ch);
    }

    void Char(QChar ch)
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

    void Text(QChar ch)
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

    // A visible text or picture: part of a link while underlined.
    void Visible(TRtfItem &&item)
    {
        Started();
        FlushHidden();
        const bool underlined = item.Style.Underline || item.Style.DoubleUnderline;
        if (underlined) {
            if (Pending.isEmpty())
                PendingPopup = !item.Style.DoubleUnderline;
            Add(Pending, std::move(item));
        } else {
            FlushPending();
            Add(Topic.Items, std::move(item));
        }
    }

    static void Add(QList<TRtfItem> &items, TRtfItem &&item)
    {
        if (item.Type == TRtfItem::Run && !items.isEmpty() && items.last().Type == TRtfItem::Run
            && items.last().Style == item.Style) {
            items.last().Text += item.Text;
            return;
        }
        items.append(std::move(item));
    }

    // Hidden text after underlined text names the link's target.
    void FlushHidden()
    {
        if (Hidden.isEmpty())
            return;
        if (!Pending.isEmpty()) {
            TRtfItem link;
            link.Type = TRtfItem::Link;
            link.Target = CleanTarget(Hidden);
            link.Popup = PendingPopup;
            link.Content = std::move(Pending);
            link.Line = HiddenLine;
            link.Style = link.Content.first().Style;
            Pending.clear();
            Topic.Items.append(std::move(link));
        }
        Hidden.clear();
    }

    // Underlined text with no target after it stays plain underlined text.
    void FlushPending()
    {
        for (TRtfItem &item : Pending)
            Add(Topic.Items, std::move(item));
        Pending.clear();
    }

    void Paragraph(TRtfItem::Kind kind)
    {
        if (Capturing)
            AbortCapture();
        FlushHidden();
        FlushPending();
        TRtfItem item;
        item.Type = kind;
        item.Para = S().Para;
        item.Line = Line;
        Topic.Items.append(std::move(item));
    }

    void Started()
    {
        if (!TopicStarted) {
            TopicStarted = true;
            Topic.Line = Line;
        }
    }

    // The mark in the text that stands for a footnote: superscript, or one of
    // the signs help footnotes use (a letter such as K only when raised).
    void DropFootnoteMark()
    {
        QList<TRtfItem> &items = Pending.isEmpty() ? Topic.Items : Pending;
        if (!items.isEmpty() && items.last().Type == TRtfItem::Run && !items.last().Text.isEmpty()
            && (items.last().Style.Super || QStringLiteral("#$+!*@>").contains(items.last().Text.back()))) {
            items.last().Text.chop(1);
            if (items.last().Text.isEmpty())
                items.removeLast();
        }
    }

    void EndFootnote()
    {
        const QString text = FootText.trimmed();
        FootText.clear();
        if (text.isEmpty())
            return;
        const QChar kind = text.at(0);
        const QString value = text.mid(1).trimmed();
        if (kind == QLatin1Char('#')) {
            if (Topic.Context.isEmpty() && !value.isEmpty()) {
                Topic.Context = value;
                Topic.ContextLine = FootLine;
            }
        } else if (kind == QLatin1Char('$')) {
            Topic.Title = value;
            Topic.HasTitle = true;
        } else if (kind == QLatin1Char('K')) {
            for (const QString &k : value.split(QLatin1Char(';'))) {
                const QString keyword = k.trimmed();
                if (!keyword.isEmpty() && !Topic.Keywords.contains(keyword))
                    Topic.Keywords.append(keyword);
            }
        }
    }

    void EndPage()
    {
        if (Capturing)
            AbortCapture();
        FlushHidden();
        FlushPending();
        bool content = !Topic.Context.isEmpty() || Topic.HasTitle || !Topic.Keywords.isEmpty();
        for (const TRtfItem &item : Topic.Items)
            content = content || (item.Type != TRtfItem::Paragraph && item.Type != TRtfItem::LineBreak);
        if (content)
            Sink.Topic(Topic, FDoc);
        Topic = TRtfTopic{};
        TopicStarted = false;
    }

    TRtfSink &Sink;
    TRtfDocument FDoc;
    QList<TRtfProblem> FProblems;
    QByteArray Carry;
    std::vector<TState> Stack;
    qsizetype Overflow = 0;
    int ExtraCloses = 0;
    int ExtraCloseLine = 0;
    qsizetype PageBreakDepth = -1;
    int StrayOpenLine = 0;
    int Line = 1;
    int DefaultFont = 0;
    int SkipFallback = 0;

    TRtfTopic Topic;
    bool TopicStarted = false;
    QList<TRtfItem> Pending;
    bool PendingPopup = false;
    QString Hidden;
    int HiddenLine = 0;

    bool Capturing = false;
    QString Capture;
    int CaptureLine = 0;

    QString FootText;
    int FootLine = 0;

    int FontNumber = -1;
    QString FontName;
    QString FontFamily;
    std::array<int, 3> Rgb{0, 0, 0};
    bool RgbSet = false;
};

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
