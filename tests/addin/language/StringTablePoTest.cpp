// The string table window's pop-up commands for translators' .po files:
// export and import of the actual language, and the untranslated report.
#include "LanguageTesting.h"

#include "language/lbrowse.h"

#include "Registry.h"
#include "TestWriter.h"

#include <QAction>
#include <QFile>
#include <QMenu>

namespace {

using namespace LanguageTesting;

const QString Key = QStringLiteral("Software\\Borland\\Delphi\\2.0\\ExpLang");

class StringTablePo : public LanguageTableTest {
protected:
    void SetUp() override
    {
        LanguageTableTest::SetUp();
        Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("L1"), QStringLiteral("English"));
        Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("L2"), QStringLiteral("Español"));
        Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("curlang"), QStringLiteral("1"));
        OpenOwnTable();
        Add(Data->Table1, QStringLiteral("a"), {QStringLiteral("Open"), QStringLiteral("Abrir")});
        Add(Data->Table1, QStringLiteral("b"), {QStringLiteral("Close")});
    }
    static void Trigger(TLDBrowse &window, const char *name)
    {
        auto *action = window.findChild<QAction *>(QLatin1String(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }
    QString Path(const char *name) const { return Dir.path() + QLatin1Char('/') + QLatin1String(name); }
    QString Spanish(const QString &id)
    {
        return Data->Table1.Locate(QStringLiteral("idst"), id) ? Current(Data->Table1, QStringLiteral("L2"))
                                                                : QStringLiteral("<none>");
    }
};

TEST_F(StringTablePo, ExportAndImportTheActualLanguageThroughThePopUpMenu)
{
    TLDBrowse window(nullptr, Services());
    window.ProjectDir = ProjectDir();
    EXPECT_EQ(window.ExportPo1->text(), QStringLiteral("Export to .po File..."));
    EXPECT_EQ(window.PopupMenu1->actions().indexOf(window.Delete1), 2) << "the window's own commands come first";

    const QString po = Path("es.po");
    Dialogs.answerFile(po);
    Trigger(window, "ExportPo1");
    ASSERT_EQ(Dialogs.log.size(), 2) << Dialogs.log.join(" | ").toStdString();
    EXPECT_EQ(Dialogs.log[0], QStringLiteral("save: Export Español to a .po File"));
    EXPECT_EQ(Dialogs.lastFilter, QStringLiteral("gettext translations (*.po);;All files (*)"));
    EXPECT_EQ(Dialogs.lastInitialDir, ProjectDir());
    EXPECT_EQ(Dialogs.texts[1], QStringLiteral("Exported 2 strings of Español to\n") + po);
    QFile file(po);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    EXPECT_TRUE(text.contains("msgctxt \"a\"\nmsgid \"Open\"\nmsgstr \"Abrir\"\n")) << text.constData();
    EXPECT_TRUE(text.contains("Language: es\\n"));

    // The translator fills in b.
    text.replace("msgid \"Close\"\nmsgstr \"\"", "msgid \"Close\"\nmsgstr \"Cerrar\"");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    Dialogs.log.clear();
    Dialogs.texts.clear();
    Dialogs.answerFile(po);
    Trigger(window, "ImportPo1");
    ASSERT_EQ(Dialogs.log.size(), 2) << Dialogs.log.join(" | ").toStdString();
    EXPECT_EQ(Dialogs.log[0], QStringLiteral("open: Import a .po File into Español"));
    EXPECT_EQ(Dialogs.log[1], QStringLiteral("message: Imported into Español: 2 of 2 entries."));
    EXPECT_EQ(Spanish(QStringLiteral("b")), QStringLiteral("Cerrar"));

    // Cancelled dialogs do nothing.
    Dialogs.log.clear();
    Trigger(window, "ImportPo1");
    Trigger(window, "ExportPo1");
    EXPECT_EQ(Dialogs.log, QStringList({QStringLiteral("open: Import a .po File into Español"),
                                        QStringLiteral("save: Export Español to a .po File")}));
}

TEST_F(StringTablePo, BadFilesAndFailedWritesShowTheirErrorAndChangeNothing)
{
    TAddinServices services = Services();
    services.Writer = &SharedTestWriter();
    TLDBrowse window(nullptr, services);
    window.ProjectDir = ProjectDir();

    const QString bad = Path("bad.po");
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("msgid \"\"\nmsgstr \"\"\n\nmsgctxt \"b\"\nmsgid \"Close\"\nmsgstr \"Cerrar\"\n\nmsgctxt \"a\"\nmsgid \"Open");
    file.close();
    Dialogs.answerFile(bad);
    Trigger(window, "ImportPo1");
    ASSERT_EQ(Dialogs.log.size(), 2);
    EXPECT_EQ(Dialogs.log[1], QStringLiteral("error: ") + bad
                                  + QStringLiteral(" is cut short: the entry that begins on line 8 has no end. "
                                                   "Nothing was imported."));
    EXPECT_EQ(Spanish(QStringLiteral("b")), QString());

    Dialogs.log.clear();
    const QString po = Path("out.po");
    {
        FailWrites failing;
        Dialogs.answerFile(po);
        Trigger(window, "ExportPo1");
    }
    ASSERT_EQ(Dialogs.log.size(), 2);
    EXPECT_TRUE(Dialogs.log[1].startsWith(QStringLiteral("error: "))) << Dialogs.log[1].toStdString();
    EXPECT_FALSE(QFile::exists(po));
}

// Fuzzy translations go in only when the user says so; a file without any
// asks nothing (see the test above).
TEST_F(StringTablePo, FuzzyTranslationsAreImportedOnlyWhenTheUserSaysSo)
{
    TLDBrowse window(nullptr, Services());
    window.ProjectDir = ProjectDir();
    const QString po = Path("fuzzy.po");
    QFile file(po);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // The header is fuzzy as msginit leaves it, and b's empty fuzzy entry has
    // nothing to import: one translation to ask about.
    file.write("#, fuzzy\nmsgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
               "#, fuzzy\nmsgctxt \"a\"\nmsgid \"Open\"\nmsgstr \"Abrir archivo\"\n\n"
               "#, fuzzy, c-format\nmsgctxt \"b\"\nmsgid \"Close\"\nmsgstr \"\"\n");
    file.close();

    Dialogs.answerFile(po);
    Dialogs.answerNo();
    Trigger(window, "ImportPo1");
    ASSERT_EQ(Dialogs.log.size(), 3) << Dialogs.log.join(" | ").toStdString();
    EXPECT_EQ(Dialogs.log[1], QStringLiteral("question: Translations marked fuzzy in the file (not yet checked "
                                             "by the translator): 1.\nImport them too?"));
    EXPECT_TRUE(Dialogs.log[2].contains(QStringLiteral("Fuzzy, not imported (2): a, b"))) << Dialogs.log[2].toStdString();
    EXPECT_EQ(Spanish(QStringLiteral("a")), QStringLiteral("Abrir"));

    Dialogs.log.clear();
    Dialogs.answerFile(po);
    Dialogs.answerYes();
    Trigger(window, "ImportPo1");
    ASSERT_EQ(Dialogs.log.size(), 3) << Dialogs.log.join(" | ").toStdString();
    EXPECT_EQ(Dialogs.log[2].split(QLatin1Char('\n')).first(), QStringLiteral("message: Imported into Español: 1 of 2 entries."));
    EXPECT_EQ(Spanish(QStringLiteral("a")), QStringLiteral("Abrir archivo"));
    EXPECT_EQ(Spanish(QStringLiteral("b")), QString());
    EXPECT_EQ(Dialogs.unansweredQuestions, 0);
}

TEST_F(StringTablePo, UntranslatedReportShowsEachNamedLanguage)
{
    TLDBrowse window(nullptr, Services());
    Trigger(window, "Untranslated1");
    EXPECT_EQ(Dialogs.log, QStringList({QStringLiteral("message: English: 0 of 2 strings untranslated\n"
                                                       "Español: 1 of 2 strings untranslated: b")}));
}

} // namespace
