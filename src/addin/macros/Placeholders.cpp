#include "Placeholders.h"

#include <QFileInfo>
#include <QStringList>

#include <vector>

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

namespace {

constexpr qsizetype MaxFormat = 64;

QString OldTime(const QDateTime &now, const QLocale &locale)
{
    return locale.toString(now.time(), TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

QString OldDate(const QDateTime &now, const QLocale &locale)
{
    return locale.toString(now.date(), QLocale::ShortFormat);
}

// The text cut into what was typed and what was put in: a search for a
// placeholder looks only at typed pieces, so a value is never expanded.
class TPieces {
public:
    enum Kind { Typed, Value, Cursor };

    explicit TPieces(const QString &text) { FPieces.push_back({text, Typed}); }

    // Replaces the first typed occurrence of name by what value() gives
    // (asked only then); false when there is none.
    template <typename Get>
    bool ReplaceFirst(const QString &name, Get &&value, Kind kind = Value)
    {
        for (size_t i = 0; i < FPieces.size(); ++i) {
            if (FPieces[i].kind != Typed)
                continue;
            const qsizetype at = FPieces[i].text.indexOf(name, 0, Qt::CaseSensitive);
            if (at < 0)
                continue;
            const QString typed = FPieces[i].text;
            const QString put = value();
            FPieces[i].text = typed.left(at);
            FPieces.insert(FPieces.begin() + qsizetype(i) + 1,
                           {Piece{put, kind}, Piece{typed.mid(at + name.size()), Typed}});
            return true;
        }
        return false;
    }

    // Each distinct "$DATE:...$" or "$TIME:...$" still typed, in order.
    QStringList Formatted() const
    {
        QStringList names;
        for (const Piece &p : FPieces)
            if (p.kind == Typed)
                FormattedIn(p.text, names);
        return names;
    }

    static void FormattedIn(const QString &text, QStringList &names)
    {
        for (qsizetype at = text.indexOf(QLatin1Char('$')); at >= 0;
             at = text.indexOf(QLatin1Char('$'), at + 1)) {
            const QStringView rest = QStringView(text).mid(at + 1);
            if (!rest.startsWith(QLatin1String("DATE:")) && !rest.startsWith(QLatin1String("TIME:")))
                continue;
            const qsizetype end = text.indexOf(QLatin1Char('$'), at + 6);
            if (end < 0)
                break;
            const QString format = text.mid(at + 6, end - at - 6);
            if (format.isEmpty() || format.size() > MaxFormat || format.contains(QLatin1Char('\r'))
                || format.contains(QLatin1Char('\n')))
                continue;
            const QString name = text.mid(at, end - at + 1);
            if (!names.contains(name))
                names << name;
            at = end; // the closing "$" opens nothing more, as in the expansion
        }
    }

    TExpandedMacro Joined() const
    {
        TExpandedMacro out;
        for (const Piece &p : FPieces) {
            if (p.kind == Cursor && out.cursor < 0)
                out.cursor = out.text.size();
            out.text += p.text;
        }
        return out;
    }

private:
    struct Piece {
        QString text;
        Kind kind;
    };
    std::vector<Piece> FPieces;
};

QString BaseName(const QString &path)
{
    return QFileInfo(path).completeBaseName();
}

} // namespace

QString ExpandPlaceholders(const QString &text, const QString &fileName, const QDateTime &now,
                           const QLocale &locale)
{
    QString result = text;
    auto replaceFirst = [&result](QLatin1StringView placeholder, const QString &value) {
        const qsizetype at = result.indexOf(placeholder, 0, Qt::CaseSensitive);
        if (at >= 0)
            result.replace(at, placeholder.size(), value);
    };
    replaceFirst(QLatin1StringView("$TIME$"), OldTime(now, locale));
    replaceFirst(QLatin1StringView("$DATE$"), OldDate(now, locale));
    replaceFirst(QLatin1StringView("$FILE$"), fileName);
    return result;
}

TExpandedMacro ExpandMacro(const QString &text, const TPlaceholderValues &values)
{
    TPieces pieces(text);
    const auto value = [](const QString &v) { return [v] { return v; }; };
    // The old three, in their old order and with their old values.
    pieces.ReplaceFirst(QStringLiteral("$TIME$"), [&] { return OldTime(values.now, values.locale); });
    pieces.ReplaceFirst(QStringLiteral("$DATE$"), [&] { return OldDate(values.now, values.locale); });
    pieces.ReplaceFirst(QStringLiteral("$FILE$"), value(values.fileName));

    pieces.ReplaceFirst(QStringLiteral("$CURSOR$"), [] { return QString(); }, TPieces::Cursor);
    const bool selection = pieces.ReplaceFirst(QStringLiteral("$SELECTION$"), [&] {
        return values.selection ? values.selection() : QString();
    });
    pieces.ReplaceFirst(QStringLiteral("$CLIPBOARD$"), [&] {
        return values.clipboard ? values.clipboard() : QString();
    });
    pieces.ReplaceFirst(QStringLiteral("$USER$"), value(values.user));
    pieces.ReplaceFirst(QStringLiteral("$PROJECT$"), value(BaseName(values.projectFile)));
    pieces.ReplaceFirst(QStringLiteral("$UNIT$"), value(BaseName(values.fileName)));
    for (const QString &name : pieces.Formatted()) {
        const QString format = name.mid(6, name.size() - 7);
        pieces.ReplaceFirst(name, [&] { return values.locale.toString(values.now, format); });
    }
    TExpandedMacro out = pieces.Joined();
    out.replacesSelection = selection;
    return out;
}
