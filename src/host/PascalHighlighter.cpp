#include "PascalHighlighter.h"

#include <QSet>

namespace qide {

namespace {

const QSet<QString> &ReservedWords()
{
    static const QSet<QString> words = [] {
        QSet<QString> s;
        for (const char *w :
             {"and", "array", "as", "asm", "begin", "case", "class", "const", "constructor",
              "destructor", "dispinterface", "div", "do", "downto", "else", "end", "except",
              "exports", "file", "finalization", "finally", "for", "function", "goto", "if",
              "implementation", "in", "inherited", "initialization", "inline", "interface", "is",
              "label", "library", "mod", "nil", "not", "object", "of", "on", "or", "out",
              "packed", "procedure", "program", "property", "raise", "record", "repeat",
              "resourcestring", "set", "shl", "shr", "string", "then", "threadvar", "to", "try",
              "type", "unit", "until", "uses", "var", "while", "with", "xor", "private",
              "protected", "public", "published", "virtual", "override", "abstract", "overload",
              "dynamic", "message", "stdcall", "cdecl", "register", "forward", "external"})
            s.insert(QString::fromLatin1(w));
        return s;
    }();
    return words;
}

} // namespace

TPascalHighlighter::TPascalHighlighter(QTextDocument *document) : QSyntaxHighlighter(document)
{
    FKeyword.setFontWeight(QFont::Bold);
    FKeyword.setForeground(QColor(0x00, 0x00, 0x80));
    FComment.setFontItalic(true);
    FComment.setForeground(QColor(0x00, 0x80, 0x00));
    FDirective.setForeground(QColor(0x80, 0x00, 0x80));
    FString.setForeground(QColor(0x00, 0x00, 0xFF));
    FNumber.setForeground(QColor(0x80, 0x40, 0x00));
}

bool TPascalHighlighter::IsReservedWord(const QString &word)
{
    return ReservedWords().contains(word.toLower());
}

void TPascalHighlighter::highlightBlock(const QString &text)
{
    const int n = int(text.size());
    int i = 0;
    int state = previousBlockState() < 0 ? Normal : previousBlockState();

    // Formats from i to the comment's end; returns the state after it.
    auto closeComment = [&](int from, State open, bool opening) {
        const QString closer = open == InBrace ? QStringLiteral("}") : QStringLiteral("*)");
        const int end = int(text.indexOf(closer, from));
        const bool directive = opening && open == InBrace && from < n && text.at(from) == QLatin1Char('$');
        const QTextCharFormat &format = directive ? FDirective : FComment;
        if (end < 0) {
            setFormat(i, n - i, format);
            i = n;
            return open;
        }
        setFormat(i, end + int(closer.size()) - i, format);
        i = end + int(closer.size());
        return Normal;
    };

    if (state == InBrace || state == InParenStar)
        state = closeComment(0, State(state), false);

    while (i < n) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < n ? text.at(i + 1) : QChar();
        if (c == QLatin1Char('{')) {
            state = closeComment(i + 1, InBrace, true);
        } else if (c == QLatin1Char('(') && next == QLatin1Char('*')) {
            state = closeComment(i + 2, InParenStar, true);
        } else if (c == QLatin1Char('/') && next == QLatin1Char('/')) {
            setFormat(i, n - i, FComment);
            i = n;
        } else if (c == QLatin1Char('\'')) {
            int j = i + 1;
            while (j < n) {
                if (text.at(j) == QLatin1Char('\'')) {
                    if (j + 1 < n && text.at(j + 1) == QLatin1Char('\'')) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            setFormat(i, std::min(j + 1, n) - i, FString);
            i = j + 1;
        } else if (c == QLatin1Char('#') || c == QLatin1Char('$') || c.isDigit()) {
            int j = i + 1;
            while (j < n && (text.at(j).isLetterOrNumber() || text.at(j) == QLatin1Char('$')
                             || (text.at(j) == QLatin1Char('.') && j + 1 < n && text.at(j + 1).isDigit())))
                ++j;
            setFormat(i, j - i, c == QLatin1Char('#') ? FString : FNumber);
            i = j;
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            int j = i + 1;
            while (j < n && (text.at(j).isLetterOrNumber() || text.at(j) == QLatin1Char('_')))
                ++j;
            if (IsReservedWord(text.mid(i, j - i)))
                setFormat(i, j - i, FKeyword);
            i = j;
        } else {
            ++i;
        }
    }
    setCurrentBlockState(state);
}

} // namespace qide
