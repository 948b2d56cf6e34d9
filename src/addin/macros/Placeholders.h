// The three placeholders of a macro's text, expanded before insertion.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Replaces the first "$TIME$" with the time of now in the locale's long time
// format without its time zone, the first "$DATE$" with the date in the
// short date format and the first "$FILE$" with fileName. Later copies stay
// as typed.
QString ExpandPlaceholders(const QString &text, const QString &fileName, const QDateTime &now,
                           const QLocale &locale);

// A time format without its time-zone field: every unquoted 't' goes, quoted
// literals stay, and the blanks left at either end are trimmed.
QString TimeFormatWithoutZone(const QString &format);
