#include "Placeholders.h"

QString TimeFormatWithoutZone(const QString &format)
{
    QString result;
    result.reserve(format.size());
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted; // '' inside or outside a literal toggles twice: a quote stays
        else if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    return result.trimmed();
}

QString ExpandPlaceholders(const QString &text, const QString &fileName, const QDateTime &now,
                           const QLocale &locale)
{
    QString result = text;
    auto replaceFirst = [&result](QLatin1StringView placeholder, const QString &value) {
        const qsizetype at = result.indexOf(placeholder, 0, Qt::CaseSensitive);
        if (at >= 0)
            result.replace(at, placeholder.size(), value);
    };
    const QString timeFormat = TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat));
    replaceFirst(QLatin1StringView("$TIME$"), locale.toString(now.time(), timeFormat));
    replaceFirst(QLatin1StringView("$DATE$"), locale.toString(now.date(), QLocale::ShortFormat));
    replaceFirst(QLatin1StringView("$FILE$"), fileName);
    return result;
}
