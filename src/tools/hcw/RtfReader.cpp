#include "RtfReader.h"

#include "CodePage.h"

#include <QRegularExpression>

#include <array>
#include <vector>

namespace {

enum class TDest { Body, Footnote, FontTable, ColorTable, Skip };

struct TState {
    TRtfCharStyle Char;
    TRtfParaStyle Para;
    TDest Dest = TDest::Body;
    int Uc = 1; // fallback characters after \uN
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

class TReader {
public:
    explicit TReader(const QByteArray &bytes) : B(bytes) {}

    TRtfDocument Run()
    {
        Stack.push_back(TState{});
        const char *p = B.constData();
        const qsizetype n = B.size();
        qsizetype i = 0;
        while (i < n) {
            const char c = p[i];
            if (c == '{') {
                Stack.push_back(Stack.back());
                ++i;
            } else if (c == '}') {
                EndGroup();
                ++i;
            } else if (c == '\\') {
                i = Control(p, n, i + 1);
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
        EndPage();
        return std::move(Doc);
    }

private:
    TState &S() { return Stack.back(); }

    void EndGroup()
    {
        if (Stack.size() <= 1)
            return; // an unbalanced "}": nothing to close
        const TDest closing = S().Dest;
        Stack.pop_back();
        if (closing == TDest::Footnote && S().Dest != TDest::Footnote)
            EndFootnote();
        if (closing == TDest::Body && Capturing && S().Dest != TDest::Body)
            AbortCapture();
    }

    // Returns the index after the control word or symbol starting at i.
    qsizetype Control(const char *p, qsizetype n, qsizetype i)
    {
        if (i >= n)
            return i;
        const char c = p[i];
        if (!IsLetter(c)) {
            switch (c) {
            case '\\':
            case '{':
            case '}':
                Symbol(c);
                return i + 1;
            case '\'': {
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
                    if (Doc.Fonts.size() <= FontNumber)
                        Doc.Fonts.resize(FontNumber + 1);
                    Doc.Fonts[FontNumber] = {FontName.trimmed(), FontFamily};
                }
                FontName.clear();
            } else if (FontName.size() < 256) {
                FontName += ch;
            }
            return;
        case TDest::ColorTable:
            if (ch == QLatin1Char(';') && Doc.Colors.size() < 4096) {
                Doc.Colors.append(RgbSet ? QColor(qBound(0, Rgb[0], 255), qBound(0, Rgb[1], 255),
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
            Doc.Topics.append(std::move(Topic));
        Topic = TRtfTopic{};
        TopicStarted = false;
    }

    const QByteArray &B;
    TRtfDocument Doc;
    std::vector<TState> Stack;
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

} // namespace

TRtfDocument ReadRtf(const QByteArray &bytes)
{
    return TReader(bytes).Run();
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
