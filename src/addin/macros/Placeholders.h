// The placeholders of a macro's text, expanded before insertion.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <functional>

// Replaces the first "$TIME$" with the time of now in the locale's long time
// format without its time zone, the first "$DATE$" with the date in the
// short date format and the first "$FILE$" with fileName. Later copies stay
// as typed.
QString ExpandPlaceholders(const QString &text, const QString &fileName, const QDateTime &now,
                           const QLocale &locale);

// A time format without its time-zone field: every unquoted 't' goes, quoted
// literals stay, and the blanks left at either end are trimmed.
QString TimeFormatWithoutZone(const QString &format);

// What the placeholders stand for at one insertion. Selection and clipboard
// are asked for only when the text holds their placeholder: reading the
// selection costs host calls.
struct TPlaceholderValues {
    QString fileName;                 // $FILE$: the current file's full path
    QDateTime now;                    // $TIME$, $DATE$ and the formatted ones
    QLocale locale;                   // formats and month and day names
    QString user;                     // $USER$: the login name
    QString projectFile;              // $PROJECT$: its base name
    std::function<QString()> selection; // $SELECTION$
    std::function<QString()> clipboard; // $CLIPBOARD$
};

struct TExpandedMacro {
    QString text;
    // Where "$CURSOR$" stood in text, once removed; -1 when there was none.
    qsizetype cursor = -1;
    // "$SELECTION$" was expanded: the insertion replaces the selection.
    bool replacesSelection = false;
};

// Every placeholder is matched with case and replaced at its first
// occurrence only, in the text as typed: a value put in is never searched
// again, so a selection or a clipboard holding "$DATE$" goes in as it is.
// The three old placeholders come first, in their old order, so old macros
// expand as they always did. Then "$CURSOR$" (removed, its place kept),
// "$SELECTION$", "$CLIPBOARD$", "$USER$", "$PROJECT$" (the project file's
// base name), "$UNIT$" (the current file's base name), and
// "$DATE:format$" / "$TIME:format$" with Qt's date-time letters (each
// distinct format is a placeholder of its own; a format is 1 to 64
// characters without "$" or a line break).
TExpandedMacro ExpandMacro(const QString &text, const TPlaceholderValues &values);
