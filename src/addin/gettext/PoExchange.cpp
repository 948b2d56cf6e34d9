#include "PoExchange.h"

#include "core/StringTable.h"

#include "Registry.h"
#include "SafeFile.h"
#include "TableStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace {

QString LanguageField(int column)
{
    return QStringLiteral("L%1").arg(column + 1);
}

void CheckColumn(int column)
{
    if (column < 0 || column >= PoLanguageCount)
        throw Exception(LoadStr(txt::ChooseLanguageFirst));
}

// The table on its primary index (the identifiers) while it lives, so rows
// keep their places while language columns are posted; then back on the
// index and the record it had.
class TPrimaryOrder {
public:
    explicit TPrimaryOrder(TTable &table) : FTable(table), FIndex(table.IndexName())
    {
        if (FTable.RecordCount() > 0)
            FMark = FTable.GetBookmark();
        FTable.SetIndexName(QString());
    }
    ~TPrimaryOrder()
    {
        try {
            FTable.SetIndexName(FIndex);
            if (FTable.BookmarkValid(FMark))
                FTable.GotoBookmark(FMark);
        } catch (...) {
            // The table's records are what matter; its order is the window's.
        }
    }
    TPrimaryOrder(const TPrimaryOrder &) = delete;
    TPrimaryOrder &operator=(const TPrimaryOrder &) = delete;

private:
    TTable &FTable;
    QString FIndex;
    TBookmark FMark;
};

struct TRowTexts {
    QString Id, Source, Text;
};

std::vector<TRowTexts> ReadRows(TTable &table, int source, int language)
{
    const TField *id = table.FieldByName(QStringLiteral("idst"));
    const TField *src = table.FieldByName(LanguageField(source));
    const TField *lang = table.FieldByName(LanguageField(language));
    std::vector<TRowTexts> rows;
    const int count = table.RecordCount();
    rows.reserve(size_t(count));
    for (int r = 1; r <= count; ++r)
        rows.push_back({table.ValueAt(r, id).toString(), table.ValueAt(r, src).toString(),
                        table.ValueAt(r, lang).toString()});
    return rows;
}

bool BreaksDiffer(const QString &a, const QString &b)
{
    const auto starts = [](const QString &s) { return s.startsWith(QLatin1Char('\n')); };
    const auto ends = [](const QString &s) { return s.endsWith(QLatin1Char('\n')); };
    return starts(a) != starts(b) || ends(a) != ends(b);
}


// Now, as gettext's tools write it: "2026-03-01 14:05+0100".
QString RevisionDate()
{
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    return now.toString(QStringLiteral("yyyy-MM-dd HH:mm")) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        + QStringLiteral("%1%2").arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0')).arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString LanguageCode(const QString &languageName)
{
    static const QHash<QString, QString> codes = [] {
        QHash<QString, QString> c;
        const auto add = [&](const char *code, std::initializer_list<const char *> names) {
            for (const char *name : names)
                c.insert(QString::fromUtf8(name).toCaseFolded(), QString::fromLatin1(code));
        };
        add("en", {"English", "Inglés", "Ingles"});
        add("en_US", {"US English", "English (US)", "American English", "English (United States)"});
        add("en_GB", {"UK English", "British English", "English (UK)", "English (United Kingdom)"});
        add("es", {"Spanish", "Español", "Espanol", "Castellano", "Castilian"});
        add("es_MX", {"Mexican Spanish", "Español (México)"});
        add("de", {"German", "Deutsch", "Alemán", "Aleman"});
        add("fr", {"French", "Français", "Francais", "Francés", "Frances"});
        add("it", {"Italian", "Italiano"});
        add("pt", {"Portuguese", "Português", "Portugues"});
        add("pt_BR", {"Brazilian Portuguese", "Português do Brasil", "Portuguese (Brazil)"});
        add("ru", {"Russian", "Русский", "Ruso"});
        add("nl", {"Dutch", "Nederlands"});
        add("ca", {"Catalan", "Català", "Catalán"});
        add("eu", {"Basque", "Euskara", "Vasco"});
        add("gl", {"Galician", "Galego", "Gallego"});
        add("pl", {"Polish", "Polski"});
        add("cs", {"Czech", "Čeština"});
        add("sk", {"Slovak", "Slovenčina"});
        add("hu", {"Hungarian", "Magyar"});
        add("ro", {"Romanian", "Română"});
        add("sv", {"Swedish", "Svenska"});
        add("da", {"Danish", "Dansk"});
        add("nb", {"Norwegian", "Norsk", "Norsk bokmål"});
        add("fi", {"Finnish", "Suomi"});
        add("el", {"Greek", "Ελληνικά"});
        add("tr", {"Turkish", "Türkçe"});
        add("uk", {"Ukrainian", "Українська"});
        add("ja", {"Japanese", "日本語"});
        add("zh_CN", {"Chinese", "Simplified Chinese", "中文"});
        add("zh_TW", {"Traditional Chinese"});
        add("ko", {"Korean", "한국어"});
        add("ar", {"Arabic", "العربية"});
        add("he", {"Hebrew", "עברית"});
        return c;
    }();
    const QString name = languageName.trimmed();
    if (const auto found = codes.constFind(name.toCaseFolded()); found != codes.cend())
        return *found;
    static const QRegularExpression code(QStringLiteral("^[a-z]{2,3}(_[A-Z]{2})?$"));
    return code.match(name).hasMatch() ? name : QString();
}

QStringList StoredLanguageNames()
{
    // Where the string table window keeps its settings.
    const QString key = QStringLiteral("Software\\Borland\\Delphi\\2.0\\ExpLang");
    QStringList names;
    for (int i = 1; i <= PoLanguageCount; ++i)
        names << Registry::readString(HKEY::CurrentUser, key, QStringLiteral("L%1").arg(i));
    return names;
}

QString ProjectNameOf(const QString &projectDir)
{
    const QStringList projects = QDir(projectDir).entryList({QStringLiteral("*.dpr")}, QDir::Files, QDir::Name);
    if (!projects.isEmpty())
        return QFileInfo(projects.first()).completeBaseName();
    return QFileInfo(QDir::cleanPath(projectDir)).fileName();
}

// ------------------------------------------------------------------ export

TPoCatalog ExportCatalog(TTable &table, const TPoExport &what)
{
    CheckColumn(what.Language);
    CheckColumn(what.Source);
    TPoCatalog catalog;
    catalog.Header = {{QStringLiteral("Project-Id-Version"), what.ProjectName.isEmpty() ? QStringLiteral("PACKAGE") : what.ProjectName},
                      {QStringLiteral("Report-Msgid-Bugs-To"), QString()},
                      {QStringLiteral("PO-Revision-Date"), RevisionDate()},
                      // Whoever translated, the texts come from the table.
                      {QStringLiteral("Last-Translator"), QStringLiteral("Quorbel string table")},
                      {QStringLiteral("Language-Team"), what.LanguageName.isEmpty() ? QStringLiteral("LANGUAGE") : what.LanguageName}};
    if (const QString code = LanguageCode(what.LanguageName); !code.isEmpty() && !what.Template)
        catalog.Header.emplace_back(QStringLiteral("Language"), code);
    catalog.Header.emplace_back(QStringLiteral("MIME-Version"), QStringLiteral("1.0"));
    catalog.Header.emplace_back(QStringLiteral("Content-Type"), QStringLiteral("text/plain; charset=UTF-8"));
    catalog.Header.emplace_back(QStringLiteral("Content-Transfer-Encoding"), QStringLiteral("8bit"));
    catalog.Header.emplace_back(QStringLiteral("X-Generator"), QStringLiteral("Quorbel string table"));

    TPrimaryOrder order(table);
    std::vector<TRowTexts> rows = ReadRows(table, what.Source, what.Language);
    catalog.Entries.reserve(rows.size());
    for (TRowTexts &row : rows) {
        TPoEntry entry;
        entry.HasContext = true;
        entry.Context = std::move(row.Id);
        entry.Id = std::move(row.Source);
        entry.Strings << (what.Template ? QString() : std::move(row.Text));
        if (!entry.Strings.first().isEmpty() && BreaksDiffer(entry.Id, entry.Strings.first()))
            entry.Flags << QStringLiteral("fuzzy");
        catalog.Entries.push_back(std::move(entry));
    }
    return catalog;
}

int ExportLanguage(TTable &table, const TPoExport &what, const QString &path, TFileWriter &writer)
{
    const TPoCatalog catalog = ExportCatalog(table, what);
    writer.Write(path, WritePo(catalog));
    return int(catalog.Entries.size());
}

// ------------------------------------------------------------------ import

QString TPoImportReport::Text() const
{
    const auto list = [](const QStringList &ids) { return ids.join(QStringLiteral(", ")); };
    QStringList lines;
    lines << LoadStr(txt::PoImported).arg(LanguageName).arg(Imported.size()).arg(Entries);
    if (!Fuzzy.isEmpty())
        lines << LoadStr(txt::PoFuzzySkipped).arg(Fuzzy.size()).arg(list(Fuzzy));
    if (!Unknown.isEmpty())
        lines << LoadStr(txt::PoUnknownIds).arg(Unknown.size()).arg(list(Unknown));
    if (!SourceChanged.isEmpty())
        lines << LoadStr(txt::PoSourceChanged).arg(SourceChanged.size()).arg(list(SourceChanged));
    if (!TooLong.isEmpty())
        lines << LoadStr(txt::PoTooLong).arg(FieldSize).arg(TooLong.size()).arg(list(TooLong));
    if (Obsolete > 0)
        lines << LoadStr(txt::PoObsoleteIgnored).arg(Obsolete);
    return lines.join(QLatin1Char('\n'));
}

TPoImportReport ImportCatalog(TTable &table, const TPoCatalog &catalog, const TPoImport &how)
{
    CheckColumn(how.Language);
    CheckColumn(how.Source);
    TPoImportReport report;
    report.LanguageName = how.LanguageName.isEmpty() ? LanguageField(how.Language) : how.LanguageName;
    TField *field = table.FieldByName(LanguageField(how.Language));
    report.FieldSize = field->Size();

    TPrimaryOrder order(table);
    const std::vector<TRowTexts> rows = ReadRows(table, how.Source, how.Language);
    QHash<QString, int> byId;
    QMultiHash<QString, int> bySource;
    byId.reserve(qsizetype(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        byId.insert(rows[size_t(r)].Id, r);
        bySource.insert(rows[size_t(r)].Source, r);
    }

    // What the file changes, row by row (a later entry for a row wins).
    QHash<int, QString> changes;
    for (const TPoEntry &entry : catalog.Entries) {
        if (entry.Obsolete) {
            ++report.Obsolete;
            continue;
        }
        ++report.Entries;
        const QString label = entry.HasContext ? entry.Context : entry.Id;
        QList<int> targets;
        if (entry.HasContext) {
            if (const auto found = byId.constFind(entry.Context); found != byId.cend())
                targets << *found;
        } else {
            targets = bySource.values(entry.Id);
        }
        if (targets.isEmpty()) {
            report.Unknown << label;
            continue;
        }
        if (entry.Fuzzy() && !how.Fuzzy) {
            report.Fuzzy << label;
            continue;
        }
        if (entry.HasContext && rows[size_t(targets.first())].Source != entry.Id) {
            report.SourceChanged << label;
            continue;
        }
        const QString text = entry.Translation();
        if (text.isEmpty()) {
            ++report.Untranslated;
            continue;
        }
        if (report.FieldSize > 0 && text.size() > report.FieldSize) {
            report.TooLong << label;
            continue;
        }
        for (int r : targets)
            changes.insert(r, text);
        report.Imported << label;
    }

    // One transaction for the whole import: a failure anywhere leaves the
    // table as it began, also on disk after a crash.
    std::vector<int> ordered(changes.keyBegin(), changes.keyEnd());
    std::sort(ordered.begin(), ordered.end());
    table.StartTransaction();
    try {
        for (int r : ordered) {
            const QString &text = changes[r];
            if (rows[size_t(r)].Text == text)
                continue;
            table.SetRecNo(r + 1);
            table.Edit();
            field->SetAsString(text);
            table.Post();
        }
        table.Commit();
    } catch (...) {
        table.Rollback();
        throw;
    }
    return report;
}

TPoImportReport ImportLanguage(TTable &table, const QString &path, const TPoImport &how)
{
    const TPoCatalog catalog = ReadPoFile(path);
    return ImportCatalog(table, catalog, how);
}

// ------------------------------------------------------------ untranslated

std::vector<TUntranslated> FindUntranslated(TTable &table, const QStringList &names)
{
    TPrimaryOrder order(table);
    const TField *id = table.FieldByName(QStringLiteral("idst"));
    std::vector<TUntranslated> report;
    const int count = table.RecordCount();
    for (int language = 0; language < PoLanguageCount; ++language) {
        const TField *field = table.FieldByName(LanguageField(language));
        TUntranslated item;
        item.Language = language;
        item.Name = language < names.size() ? names[language].trimmed() : QString();
        item.Total = count;
        for (int r = 1; r <= count; ++r)
            if (table.ValueAt(r, field).toString().isEmpty())
                item.Identifiers << table.ValueAt(r, id).toString();
        if (!item.Name.isEmpty() || item.Identifiers.size() < count)
            report.push_back(std::move(item));
    }
    return report;
}

QString UntranslatedText(const std::vector<TUntranslated> &report, int maxIds)
{
    QStringList lines;
    for (const TUntranslated &item : report) {
        const QString name = item.Name.isEmpty() ? LanguageField(item.Language) : item.Name;
        QString line = LoadStr(txt::UntranslatedLine).arg(name).arg(item.Identifiers.size()).arg(item.Total);
        if (!item.Identifiers.isEmpty()) {
            QStringList ids = item.Identifiers;
            const bool cut = maxIds >= 0 && ids.size() > maxIds;
            if (cut)
                ids = ids.mid(0, maxIds);
            line += QStringLiteral(": ") + ids.join(QStringLiteral(", ")) + (cut ? QStringLiteral(", ...") : QString());
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}
