// gettext .po catalogs: reading what translators' tools write (multi-line
// strings, C escapes, flags, obsolete entries, a header in any charset) and
// writing UTF-8 catalogs that msgfmt --check accepts.
#pragma once

#include "Exception.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// A file that is no .po catalog, or not a whole one, or one we will not read.
// The text names the file and, where there is one, the line.
class EPoFileError : public Exception {
public:
    using Exception::Exception;
};

struct TPoEntry {
    bool HasContext = false; // msgctxt "" is a context; no msgctxt is none
    QString Context;
    QString Id;
    QString IdPlural;
    QStringList Strings; // msgstr, or msgstr[0], msgstr[1], ...
    QStringList Flags;   // from "#," lines
    QString Comment;     // "#." lines, joined by line breaks
    bool Obsolete = false;
    int Line = 0; // where the entry's first keyword is

    bool Fuzzy() const { return Flags.contains(QStringLiteral("fuzzy")); }
    QString Translation() const { return Strings.isEmpty() ? QString() : Strings.first(); }
};

struct TPoCatalog {
    // "Name: value" lines of the header entry, in order.
    std::vector<std::pair<QString, QString>> Header;
    std::vector<TPoEntry> Entries; // the header entry not among them
    QString HeaderValue(const QString &name) const;
    // Entries in use whose translation is marked fuzzy and not empty.
    int FuzzyTranslations() const;
};

// The largest .po file read: far beyond any string table's catalog, small
// enough to hold in memory.
constexpr qint64 PoFileLimit = 64ll * 1024 * 1024;

// Parses a whole catalog; name is what errors call it. Throws EPoFileError.
TPoCatalog ParsePo(const QByteArray &bytes, const QString &name);
// Reads a regular file of at most limit bytes and parses it.
TPoCatalog ReadPoFile(const QString &path, qint64 limit = PoFileLimit);

// The catalog as UTF-8 .po text; the header says so whatever Header holds.
QByteArray WritePo(const TPoCatalog &catalog);
// A quoted .po string for text, escaped; a text with line breaks is split
// after each one on continuation lines.
void AppendPoString(QByteArray &out, const char *keyword, const QString &text);
