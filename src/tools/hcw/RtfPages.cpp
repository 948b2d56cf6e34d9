// The rich-text reader's pages: \{bmc\} pictures, links (underlined text
// then its hidden target), footnotes, and the end of each page.
#include "RtfParser.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Rtf;

namespace {

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

void TRtfParser::Symbol(char c)
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

void TRtfParser::AbortCapture()
{
    Capturing = false;
    Literal(QLatin1Char('{') + Capture);
}

void TRtfParser::Literal(const QString &text)
{
    for (QChar ch : text)
        Text(ch);
}

void TRtfParser::Visible(TRtfItem &&item)
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

void TRtfParser::Add(QList<TRtfItem> &items, TRtfItem &&item)
{
    if (item.Type == TRtfItem::Run && !items.isEmpty() && items.last().Type == TRtfItem::Run
        && items.last().Style == item.Style) {
        items.last().Text += item.Text;
        return;
    }
    items.append(std::move(item));
}

void TRtfParser::FlushHidden()
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

void TRtfParser::FlushPending()
{
    for (TRtfItem &item : Pending)
        Add(Topic.Items, std::move(item));
    Pending.clear();
}

void TRtfParser::Paragraph(TRtfItem::Kind kind)
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

void TRtfParser::Started()
{
    if (!TopicStarted) {
        TopicStarted = true;
        Topic.Line = Line;
    }
}

void TRtfParser::DropFootnoteMark()
{
    QList<TRtfItem> &items = Pending.isEmpty() ? Topic.Items : Pending;
    if (!items.isEmpty() && items.last().Type == TRtfItem::Run && !items.last().Text.isEmpty()
        && (items.last().Style.Super || QStringLiteral("#$+!*@>").contains(items.last().Text.back()))) {
        items.last().Text.chop(1);
        if (items.last().Text.isEmpty())
            items.removeLast();
    }
}

void TRtfParser::EndFootnote()
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

void TRtfParser::EndPage()
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

void TRtfParser::PageDepth()
{
    const qsizetype depth = qsizetype(Stack.size()) + Overflow;
    if (PageBreakDepth < 0)
        PageBreakDepth = depth;
    else if (depth > PageBreakDepth && StrayOpenLine == 0)
        StrayOpenLine = Stack[std::min<qsizetype>(PageBreakDepth, qsizetype(Stack.size()) - 1)].OpenLine;
}

void TRtfParser::Balance()
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
