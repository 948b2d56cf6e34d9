// The string table and gettext catalogs: one language column exported to a
// .po file, a .po file imported into one column, and what each language
// still lacks. The table is language.db's: idst, then L1 to L7.
#pragma once

#include "PoFile.h"

#include <QString>
#include <QStringList>

#include <vector>

class TFileWriter;
class TTable;

constexpr int PoLanguageCount = 7;

// The gettext code of a language's name ("Español" -> "es", "US English" ->
// "en_US"), or of a name that is a code already; empty when it has none.
QString LanguageCode(const QString &languageName);

// The seven language names the string table window keeps in the settings.
QStringList StoredLanguageNames();
// A project directory's name for catalogs: its .dpr's base name, else the
// directory's name.
QString ProjectNameOf(const QString &projectDir);

struct TPoExport {
    int Language = 0;   // column, 0 for L1
    int Source = 0;     // the column msgid holds
    QString LanguageName;
    QString ProjectName;
    // A template (.pot) for msginit and msgmerge: every msgstr empty, no
    // language; msgmerge would take a template's texts as translations.
    bool Template = false;
};

// One entry per string, ordered by identifier: msgctxt the identifier, msgid
// the source text, msgstr the language's (empty where untranslated). A pair
// whose line breaks at either end differ is marked fuzzy, as msgfmt refuses
// it translated.
TPoCatalog ExportCatalog(TTable &table, const TPoExport &what);
// Writes the catalog through writer; returns the number of strings.
int ExportLanguage(TTable &table, const TPoExport &what, const QString &path, TFileWriter &writer);

struct TPoImportReport {
    QString LanguageName;
    int Entries = 0; // the file's entries, obsolete ones aside
    QStringList Imported, Fuzzy, Unknown, SourceChanged, TooLong;
    int Untranslated = 0; // entries with an empty msgstr, which change nothing
    int Obsolete = 0;
    int FieldSize = 0;
    // The lines a user reads, from the string table's texts.
    QString Text() const;
};

struct TPoImport {
    int Language = 0;
    int Source = 0;
    QString LanguageName;
    bool Fuzzy = false; // fuzzy entries are imported too
};

// Matches entries by msgctxt against the identifiers, or without one by
// msgid against the source column, and writes every change, or on a failure
// none: the changes made so far are put back before the error goes on.
TPoImportReport ImportCatalog(TTable &table, const TPoCatalog &catalog, const TPoImport &how);
// Reads and parses the whole file before the table is touched.
TPoImportReport ImportLanguage(TTable &table, const QString &path, const TPoImport &how);

struct TUntranslated {
    int Language = 0;
    QString Name;
    int Total = 0;
    QStringList Identifiers; // strings of this language without text, by identifier
};

// Every language that has a name, or any text.
std::vector<TUntranslated> FindUntranslated(TTable &table, const QStringList &names);
// One line per language, then its identifiers (at most maxIds of them; -1: all).
QString UntranslatedText(const std::vector<TUntranslated> &report, int maxIds = -1);
