// The string table's export, import and untranslated report, on real
// tables and on files gettext's own tools made.
#include "GettextTesting.h"

#include "gettext/PoExchange.h"

#include "SafeFile.h"

#include <QFile>

#include <sqlite3.h>

namespace {

using namespace GettextTesting;

const QString Long255 = QString(254, QLatin1Char('w')) + QStringLiteral("!");

class Exchange : public TableTest {
protected:
    QString Export(int language, int source, const QString &name = QStringLiteral("Español"))
    {
        const QString path = Path(QStringLiteral("L%1.po").arg(language + 1));
        ExportLanguage(Table, {language, source, name, QStringLiteral("Demo")}, path, AtomicFileWriter());
        return path;
    }
    void Write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray ReadAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(Exchange, ExportThenImportOfEveryLanguageGivesTheTableBackByteForByte)
{
    // Every language differs from every other, so a text put in the wrong
    // column or row shows.
    const QStringList kinds = {QStringLiteral("\"Quoted\" and 'single'"),
                               QStringLiteral("C:\\dir\\file and \\n not a break\\"),
                               QStringLiteral("one\r\ntwo\nthree\tfour"),
                               QString::fromUtf8("Ωμέγα 日本語 😀 €"),
                               QStringLiteral("ends with a break\n"),
                               QStringLiteral("\nstarts with one"),
                               Long255};
    for (int row = 0; row < 9; ++row) {
        QStringList texts;
        for (int language = 0; language < 7; ++language) {
            // Some texts empty, here and there, the source's too.
            if ((row + language) % 5 == 4)
                texts << QString();
            else if (row == 8)
                texts << kinds[size_t(language) % kinds.size()];
            else
                texts << QStringLiteral("%1 L%2 ").arg(row).arg(language + 1)
                             + kinds[size_t(row + language) % kinds.size()].left(200);
        }
        Add(Table, row == 0 ? QString() : QStringLiteral("id_%1").arg(row), {texts[0], texts[1], texts[2], texts[3],
                                                                             texts[4], texts[5], texts[6]});
    }
    const std::vector<QStringList> before = Rows(Table);

    for (int language = 0; language < 7; ++language) {
        SCOPED_TRACE(language);
        const int source = language == 0 ? 1 : 0;
        const QString path = Export(language, source);
        const TRun check = MsgfmtCheck(path);
        EXPECT_EQ(check.Status, 0) << check.Err.toStdString();
        EXPECT_TRUE(check.Err.isEmpty()) << check.Err.toStdString();

        // Into the same table: nothing changes.
        ImportLanguage(Table, path, {language, source, QString(), true});
        EXPECT_EQ(Rows(Table), before);

        // Into a table whose column is empty: it comes back whole.
        QTemporaryDir other;
        CreateLanguageTable(other.path());
        TTable copy;
        copy.DatabaseName = other.path();
        copy.TableName = QStringLiteral("language.db");
        copy.Open();
        for (QStringList row : before) {
            row[language + 1].clear();
            Add(copy, row[0], {row[1], row[2], row[3], row[4], row[5], row[6], row[7]});
        }
        const TPoImportReport report = ImportLanguage(copy, path, {language, source, QString(), true});
        EXPECT_EQ(Rows(copy), before);
        EXPECT_EQ(report.Entries, 9);
        EXPECT_TRUE(report.Unknown.isEmpty() && report.SourceChanged.isEmpty() && report.TooLong.isEmpty());
    }
}

TEST_F(Exchange, TheHeaderNamesProjectLanguageAndCharset)
{
    Add(Table, QStringLiteral("a"), {QStringLiteral("Yes"), QStringLiteral("Sí")});
    const QByteArray spanish = ReadAll(Export(1, 0, QStringLiteral("Español")));
    EXPECT_TRUE(spanish.contains("\"Project-Id-Version: Demo\\n\"")) << spanish.constData();
    EXPECT_TRUE(spanish.contains("\"Language: es\\n\""));
    EXPECT_TRUE(spanish.contains("\"Content-Type: text/plain; charset=UTF-8\\n\""));
    EXPECT_TRUE(spanish.contains("\"X-Generator: "));
    EXPECT_TRUE(spanish.contains("msgctxt \"a\"\nmsgid \"Yes\"\nmsgstr \"S\xc3\xad\"\n"));

    // A name without a code leaves the field out, and msgfmt only warns.
    const QString path = Export(1, 0, QStringLiteral("Klingon"));
    EXPECT_FALSE(ReadAll(path).contains("Language:"));
    EXPECT_EQ(MsgfmtCheck(path).Status, 0);

    EXPECT_EQ(LanguageCode(QStringLiteral("US English")), QStringLiteral("en_US"));
    EXPECT_EQ(LanguageCode(QStringLiteral("english")), QStringLiteral("en"));
    EXPECT_EQ(LanguageCode(QStringLiteral("Deutsch")), QStringLiteral("de"));
    EXPECT_EQ(LanguageCode(QStringLiteral("Русский")), QStringLiteral("ru"));
    EXPECT_EQ(LanguageCode(QStringLiteral("pt_BR")), QStringLiteral("pt_BR"));
    EXPECT_TRUE(LanguageCode(QStringLiteral("Language 3")).isEmpty());
}

TEST_F(Exchange, ImportReportsWhatItSkippedAndWhy)
{
    Add(Table, QStringLiteral("a"), {QStringLiteral("Open")});
    Add(Table, QStringLiteral("b"), {QStringLiteral("Close")});
    Add(Table, QStringLiteral("c"), {QStringLiteral("Save"), QStringLiteral("Guardar")});
    Add(Table, QStringLiteral("d"), {QStringLiteral("Same")});
    Add(Table, QStringLiteral("e"), {QStringLiteral("Same")});
    Add(Table, QStringLiteral("f"), {QStringLiteral("Long")});
    Add(Table, QStringLiteral("g"), {QStringLiteral("Kept"), QStringLiteral("Guardado")});
    const QString path = Path(QStringLiteral("in.po"));
    Write(path, "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                "msgctxt \"a\"\nmsgid \"Open\"\nmsgstr \"Abrir\"\n\n"
                "#, fuzzy\nmsgctxt \"b\"\nmsgid \"Close\"\nmsgstr \"Cerrar\"\n\n"
                "msgctxt \"c\"\nmsgid \"Save as\"\nmsgstr \"Guardar como\"\n\n"
                "msgctxt \"zz\"\nmsgid \"Gone\"\nmsgstr \"Ido\"\n\n"
                "msgid \"Same\"\nmsgstr \"Igual\"\n\n"
                "msgctxt \"f\"\nmsgid \"Long\"\nmsgstr \"" + QByteArray(256, 'x') + "\"\n\n"
                "msgctxt \"g\"\nmsgid \"Kept\"\nmsgstr \"\"\n\n"
                "#~ msgctxt \"old\"\n#~ msgid \"Old\"\n#~ msgstr \"Viejo\"\n");

    TPoImportReport report = ImportLanguage(Table, path, {1, 0, QStringLiteral("Spanish"), false});
    EXPECT_EQ(report.Entries, 7);
    EXPECT_EQ(report.Imported, QStringList({QStringLiteral("a"), QStringLiteral("Same")}));
    EXPECT_EQ(report.Fuzzy, QStringList({QStringLiteral("b")}));
    EXPECT_EQ(report.SourceChanged, QStringList({QStringLiteral("c")}));
    EXPECT_EQ(report.Unknown, QStringList({QStringLiteral("zz")}));
    EXPECT_EQ(report.TooLong, QStringList({QStringLiteral("f")}));
    EXPECT_EQ(report.Untranslated, 1);
    EXPECT_EQ(report.Obsolete, 1);
    EXPECT_EQ(Text(Table, QStringLiteral("a"), 2), QStringLiteral("Abrir"));
    EXPECT_EQ(Text(Table, QStringLiteral("b"), 2), QString());
    EXPECT_EQ(Text(Table, QStringLiteral("c"), 2), QStringLiteral("Guardar"));
    EXPECT_EQ(Text(Table, QStringLiteral("d"), 2), QStringLiteral("Igual"));
    EXPECT_EQ(Text(Table, QStringLiteral("e"), 2), QStringLiteral("Igual"));
    EXPECT_EQ(Text(Table, QStringLiteral("f"), 2), QString());
    EXPECT_EQ(Text(Table, QStringLiteral("g"), 2), QStringLiteral("Guardado")) << "an empty msgstr clears nothing";
    EXPECT_FALSE(Table.Locate(QStringLiteral("idst"), QStringLiteral("zz"))) << "never added";

    const QString text = report.Text();
    EXPECT_TRUE(text.contains(QStringLiteral("Imported into Spanish: 2 of 7 entries."))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Fuzzy, not imported (1): b")));
    EXPECT_TRUE(text.contains(QStringLiteral("Not in the table, not added (1): zz")));
    EXPECT_TRUE(text.contains(QStringLiteral("Source text changed since the export, not imported (1): c")));
    EXPECT_TRUE(text.contains(QStringLiteral("Longer than the table's 255 characters, not imported (1): f")));
    EXPECT_TRUE(text.contains(QStringLiteral("Obsolete entries, ignored: 1")));

    // Asked to, fuzzy entries come in.
    report = ImportLanguage(Table, path, {1, 0, QStringLiteral("Spanish"), true});
    EXPECT_TRUE(report.Fuzzy.isEmpty());
    EXPECT_EQ(Text(Table, QStringLiteral("b"), 2), QStringLiteral("Cerrar"));
}

// The store's file refuses updates of one record, as a full disk or another
// program's lock would refuse the post halfway through an import.
void RefuseUpdatesOf(const QString &file, const char *idst)
{
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt *tables = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND sql LIKE '%idst%'", -1,
                                 &tables, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(tables), SQLITE_ROW);
    const std::string name = reinterpret_cast<const char *>(sqlite3_column_text(tables, 0));
    sqlite3_finalize(tables);
    const std::string sql = "CREATE TRIGGER refuse BEFORE UPDATE ON \"" + name + "\" WHEN NEW.idst = '" + idst
        + "' BEGIN SELECT RAISE(ABORT, 'refused'); END";
    char *error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

TEST_F(Exchange, AFailureAnywhereLeavesTheTableAsItWas)
{
    for (const char *id : {"a", "b", "m", "y", "z"})
        Add(Table, QString::fromLatin1(id), {QStringLiteral("src ") + QLatin1String(id), QStringLiteral("old")});
    const std::vector<QStringList> before = Rows(Table);
    QByteArray po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n";
    for (const char *id : {"a", "b", "m", "y", "z"})
        po += QByteArray("\nmsgctxt \"") + id + "\"\nmsgid \"src " + id + "\"\nmsgstr \"new " + id + "\"\n";
    const QString good = Path(QStringLiteral("good.po"));
    Write(good, po);

    // The last line is wrong: nothing is written.
    const QString late = Path(QStringLiteral("late.po"));
    Write(late, po + "\nmsgctxt \"q\"\nmsgid \"x\"\nmsgstr \"y\" junk\n");
    EXPECT_THROW(ImportLanguage(Table, late, {1, 0, QString(), false}), EPoFileError);
    EXPECT_EQ(Rows(Table), before);

    // The third post fails: the two before it are put back.
    RefuseUpdatesOf(Table.FilePath(), "m");
    TTable reopened;
    reopened.DatabaseName = LangDir();
    reopened.TableName = QStringLiteral("language.db");
    reopened.Open();
    EXPECT_ANY_THROW(ImportLanguage(reopened, good, {1, 0, QString(), false}));
    EXPECT_EQ(reopened.State(), TDataSetState::Browse);
    EXPECT_EQ(Rows(reopened), before);
    reopened.Close();
    TTable fresh;
    fresh.DatabaseName = LangDir();
    fresh.TableName = QStringLiteral("language.db");
    fresh.Open();
    EXPECT_EQ(Rows(fresh), before) << "the file holds the old texts too";
}

TEST_F(Exchange, ImportsWhatMsginitMsgmergeAndMsgcatWrite)
{
    const QString wordy = QStringLiteral("A long text that gettext's tools wrap at seventy-nine columns, "
                                         "so the reader must join its pieces back without a space lost.");
    Add(Table, QStringLiteral("a"), {wordy, wordy.toUpper()});
    Add(Table, QStringLiteral("b"), {QStringLiteral("Close the file"), QStringLiteral("CLOSE")});
    Add(Table, QStringLiteral("c"), {QStringLiteral("Removed later"), QStringLiteral("REMOVED")});
    Add(Table, QStringLiteral("d"), {QStringLiteral("Line one\nline two\n"), QString::fromUtf8("Línea uno\nlínea dos\n")});
    const QString old = Export(1, 0, QStringLiteral("Spanish"));

    // A new template: c is gone, b's source changed a little, e is new
    // (and must not come back with its source as its translation).
    Add(Table, QStringLiteral("e"), {QStringLiteral("Brand new"), QStringLiteral("BRAND NEW")});
    TPoCatalog pot = ExportCatalog(Table, {1, 0, QString(), QStringLiteral("Demo"), true});
    pot.Entries.erase(pot.Entries.begin() + 2);
    pot.Entries[1].Id = QStringLiteral("Close the files");
    const QString potPath = Path(QStringLiteral("demo.pot"));
    Write(potPath, WritePo(pot));

    const QString merged = Path(QStringLiteral("merged.po"));
    TRun run = RunTool(QStringLiteral("msgmerge"), {QStringLiteral("--quiet"), QStringLiteral("--width=79"),
                                                QStringLiteral("-o"), merged, old, potPath});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    const QByteArray mergedText = ReadAll(merged);
    ASSERT_TRUE(mergedText.contains("#, fuzzy")) << mergedText.constData();
    ASSERT_TRUE(mergedText.contains("#~ msgctxt \"c\""));
    ASSERT_TRUE(mergedText.contains("msgid \"\"\n\"A long text")) << "wrapped";

    // Into an emptied column of a copy of the table.
    for (const char *id : {"a", "b", "c", "d", "e"}) {
        ASSERT_TRUE(Table.Locate(QStringLiteral("idst"), QLatin1String(id)));
        Table.Edit();
        Table.FieldByName(QStringLiteral("L2"))->Clear();
        Table.Post();
    }
    TPoImportReport report = ImportLanguage(Table, merged, {1, 0, QString(), false});
    EXPECT_EQ(report.Imported, QStringList({QStringLiteral("a"), QStringLiteral("d")}));
    EXPECT_EQ(report.Fuzzy, QStringList({QStringLiteral("b")}));
    EXPECT_EQ(report.Obsolete, 1);
    EXPECT_EQ(Text(Table, QStringLiteral("e"), 2), QString());
    EXPECT_EQ(Text(Table, QStringLiteral("a"), 2), wordy.toUpper());
    EXPECT_EQ(Text(Table, QStringLiteral("d"), 2), QString::fromUtf8("Línea uno\nlínea dos\n"));

    // msgcat to Latin-1: the header's charset is honoured.
    const QString latin1 = Path(QStringLiteral("latin1.po"));
    run = RunTool(QStringLiteral("msgcat"), {QStringLiteral("--to-code=ISO-8859-1"), QStringLiteral("-o"), latin1, old});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    ASSERT_TRUE(ReadAll(latin1).contains("L\xednea"));
    Table.Locate(QStringLiteral("idst"), QStringLiteral("d"));
    Table.Edit();
    Table.FieldByName(QStringLiteral("L2"))->Clear();
    Table.Post();
    report = ImportLanguage(Table, latin1, {1, 0, QString(), false});
    EXPECT_EQ(report.Imported.size(), 4);
    EXPECT_EQ(Text(Table, QStringLiteral("d"), 2), QString::fromUtf8("Línea uno\nlínea dos\n"));

    // msginit's new catalog: all entries untranslated, nothing changes.
    const std::vector<QStringList> before = Rows(Table);
    const QString fresh = Path(QStringLiteral("de.po"));
    run = RunTool(QStringLiteral("msginit"), {QStringLiteral("--no-translator"), QStringLiteral("--locale=de_DE.UTF-8"),
                                          QStringLiteral("-i"), potPath, QStringLiteral("-o"), fresh});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    report = ImportLanguage(Table, fresh, {1, 0, QString(), false});
    EXPECT_TRUE(report.Imported.isEmpty());
    EXPECT_EQ(report.Untranslated + int(report.SourceChanged.size()), 4);
    EXPECT_EQ(Rows(Table), before);
}

TEST_F(Exchange, UntranslatedReportCountsAndNamesEachLanguagesGaps)
{
    Add(Table, QStringLiteral("a"), {QStringLiteral("One"), QStringLiteral("Uno"), QString()});
    Add(Table, QStringLiteral("b"), {QStringLiteral("Two"), QString(), QString()});
    Add(Table, QStringLiteral("c"), {QStringLiteral("Three"), QString(), QStringLiteral("Drei")});
    const QStringList names = {QStringLiteral("English"), QStringLiteral("Spanish"), QString(), QString(),
                               QStringLiteral("French")};
    const std::vector<TUntranslated> report = FindUntranslated(Table, names);
    // English, Spanish, L3 (no name, but texts), French (a name, no texts).
    ASSERT_EQ(report.size(), 4u);
    EXPECT_TRUE(report[0].Identifiers.isEmpty());
    EXPECT_EQ(report[1].Identifiers, QStringList({QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_EQ(report[2].Language, 2);
    EXPECT_EQ(report[2].Identifiers, QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(report[3].Name, QStringLiteral("French"));
    EXPECT_EQ(report[3].Identifiers.size(), 3);
    EXPECT_EQ(report[3].Total, 3);

    const QString text = UntranslatedText(report, 2);
    EXPECT_TRUE(text.contains(QStringLiteral("English: 0 of 3 strings untranslated\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Spanish: 2 of 3 strings untranslated: b, c\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("L3: 2 of 3 strings untranslated: a, b\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("French: 3 of 3 strings untranslated: a, b, ...")));
}

} // namespace
