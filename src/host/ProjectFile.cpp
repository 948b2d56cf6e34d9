#include "ProjectFile.h"

#include "TextFile.h"

#include "SafeFile.h"

#include <QDir>
#include <QFileInfo>

namespace qide {

namespace {

// Pascal tokens, enough for a uses clause: identifiers, strings and single
// symbols; comments and directives are skipped.
class TTokenizer {
public:
    enum Kind { End, Ident, String, Symbol };
    struct Token {
        Kind kind = End;
        QString text;
    };

    explicit TTokenizer(const QString &source) : FSrc(source) {}

    Token next()
    {
        skipBlanksAndComments();
        if (FPos >= FSrc.size())
            return {};
        const QChar c = FSrc.at(FPos);
        if (c.isLetter() || c == QLatin1Char('_')) {
            const qsizetype start = FPos;
            while (FPos < FSrc.size()
                   && (FSrc.at(FPos).isLetterOrNumber() || FSrc.at(FPos) == QLatin1Char('_')))
                ++FPos;
            return {Ident, FSrc.mid(start, FPos - start)};
        }
        if (c == QLatin1Char('\'')) {
            QString text;
            ++FPos;
            while (FPos < FSrc.size()) {
                const QChar s = FSrc.at(FPos++);
                if (s == QLatin1Char('\'')) {
                    if (FPos < FSrc.size() && FSrc.at(FPos) == QLatin1Char('\'')) {
                        text += s;
                        ++FPos;
                        continue;
                    }
                    break;
                }
                if (s == QLatin1Char('\n') || s == QLatin1Char('\r'))
                    break; // unterminated string
                text += s;
            }
            return {String, text};
        }
        ++FPos;
        return {Symbol, QString(c)};
    }

private:
    void skipBlanksAndComments()
    {
        while (FPos < FSrc.size()) {
            const QChar c = FSrc.at(FPos);
            if (c.isSpace()) {
                ++FPos;
            } else if (c == QLatin1Char('{')) {
                const qsizetype end = FSrc.indexOf(QLatin1Char('}'), FPos + 1);
                FPos = end < 0 ? FSrc.size() : end + 1;
            } else if (c == QLatin1Char('(') && peek(1) == QLatin1Char('*')) {
                const qsizetype end = FSrc.indexOf(QLatin1String("*)"), FPos + 2);
                FPos = end < 0 ? FSrc.size() : end + 2;
            } else if (c == QLatin1Char('/') && peek(1) == QLatin1Char('/')) {
                const qsizetype end = FSrc.indexOf(QLatin1Char('\n'), FPos + 2);
                FPos = end < 0 ? FSrc.size() : end + 1;
            } else {
                return;
            }
        }
    }
    QChar peek(int ahead) const
    {
        return FPos + ahead < FSrc.size() ? FSrc.at(FPos + ahead) : QChar();
    }

    const QString &FSrc;
    qsizetype FPos = 0;
};

bool IsWord(const TTokenizer::Token &t, const char *word)
{
    return t.kind == TTokenizer::Ident && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool IsSymbol(const TTokenizer::Token &t, char symbol)
{
    return t.kind == TTokenizer::Symbol && t.text == QLatin1Char(symbol);
}

} // namespace

QString AbsoluteUserPath(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QString full = path.startsWith(QLatin1Char('/')) ? path : QDir::currentPath() + QLatin1Char('/') + path;
    return QDir::cleanPath(full);
}

QList<TProjectUnit> ParseUsesClause(const QString &source)
{
    QList<TProjectUnit> units;
    TTokenizer tokens(source);
    TTokenizer::Token t;
    do {
        t = tokens.next();
        if (t.kind == TTokenizer::End || IsWord(t, "begin"))
            return units;
    } while (!IsWord(t, "uses") && !IsWord(t, "contains"));

    for (;;) {
        t = tokens.next();
        if (t.kind != TTokenizer::Ident)
            return units;
        TProjectUnit unit{t.text, {}};
        t = tokens.next();
        while (IsSymbol(t, '.')) { // dotted unit names
            t = tokens.next();
            if (t.kind != TTokenizer::Ident)
                return units;
            unit.name += QLatin1Char('.') + t.text;
            t = tokens.next();
        }
        if (IsWord(t, "in")) {
            t = tokens.next();
            if (t.kind != TTokenizer::String)
                return units;
            unit.fileName = t.text;
            t = tokens.next();
        }
        units << unit;
        if (IsSymbol(t, ','))
            continue;
        return units; // ';' ends the clause; anything else is a broken clause
    }
}

QString ResolveUnitPath(const QString &projectDir, const QString &written)
{
    QString path = written;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // Only '/' starts an absolute path: ":a.pas" is a file beside the project.
    if (!path.startsWith(QLatin1Char('/')))
        path = projectDir + QLatin1Char('/') + path;
    path = QDir::cleanPath(path);
    if (QFileInfo::exists(path))
        return path;

    // Walk the path, matching each missing part without regard to case.
    const QStringList parts = path.split(QLatin1Char('/'));
    QString built = path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        if (part.isEmpty())
            continue;
        const QString exact = built.isEmpty() || built.endsWith(QLatin1Char('/'))
            ? built + part
            : built + QLatin1Char('/') + part;
        if (QFileInfo::exists(exact)) {
            built = exact;
            continue;
        }
        const QDir dir(built.isEmpty() ? QStringLiteral(".") : built);
        QString match;
        for (const QString &entry : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                match = entry;
                break;
            }
        }
        if (match.isEmpty())
            return path; // not found: the name as written
        built = built.isEmpty() || built.endsWith(QLatin1Char('/')) ? built + match
                                                                    : built + QLatin1Char('/') + match;
    }
    return built;
}

QStringList ProjectFiles(const QString &projectFile)
{
    const QString full = AbsoluteUserPath(projectFile);
    const TDecodedText source = DecodeTextFile(ReadWholeFile(full, MaxSourceFileBytes));
    const QString dir = full.left(full.lastIndexOf(QLatin1Char('/')));
    QStringList files{full};
    for (const TProjectUnit &unit : ParseUsesClause(FromStandIns(source.text, source.format)))
        if (!unit.fileName.isEmpty())
            files << ResolveUnitPath(dir, unit.fileName);
    return files;
}

} // namespace qide
