// Syntax colours for Pascal: reserved words, comments in their three forms,
// compiler directives, strings and numbers.
#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace qide {

class TPascalHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit TPascalHighlighter(QTextDocument *document);

    static bool IsReservedWord(const QString &word);

protected:
    void highlightBlock(const QString &text) override;

private:
    // Block states: a comment left open at the end of a line.
    enum State { Normal = 0, InBrace = 1, InParenStar = 2 };

    QTextCharFormat FKeyword;
    QTextCharFormat FComment;
    QTextCharFormat FDirective;
    QTextCharFormat FString;
    QTextCharFormat FNumber;
};

} // namespace qide
