// The version editor's dialog: what it shows for a file without version
// information, and what "Ok" writes, backs up and compiles, with a stand-in
// resource compiler that records how it was run.
#include "version/verdlg.h"

#include "core/StringTable.h"
#include "core/appexec.h"

#include "Registry.h"
#include "ScriptedDialogs.h"
#include "PeBuilder.h"
#include "TestServices.h"
#include "version/ResVersionInfo.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");

class VerDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"),
                              FData.path() + QStringLiteral("/libquorbel.so"));
        // A built file the reader finds nothing in.
        Write(QStringLiteral("Demo.dll"), "not a program");
        Compiler("cp version.rc version.res\n");
    }
    void TearDown() override
    {
        Registry::deleteValue(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"));
    }
    QString Path(const QString &name) const { return FDir.path() + QLatin1Char('/') + name; }
    void Write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray Read(const QString &name) const
    {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // The resource compiler the dialog will find: logs its directory and
    // arguments, then runs body.
    void Compiler(const QByteArray &body, const QString &relative = QStringLiteral("brcc32"))
    {
        FCompiler = FData.path() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(FCompiler).absolutePath());
        QFile f(FCompiler);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("#!/bin/sh\necho \"$PWD|$*\" >> '" + QFile::encodeName(FData.path())
                + "/calls.log'\n" + body);
        f.close();
        ::chmod(QFile::encodeName(FCompiler).constData(), 0755);
    }
    QStringList Calls() const
    {
        QFile f(FData.path() + QStringLiteral("/calls.log"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    TAddinServices Services() const
    {
        TAddinServices services = TestServices();
        const QString compiler = FCompiler;
        services.FindTool = [compiler](const QString &command) {
            return command == QLatin1String("brcc32") ? compiler : QString();
        };
        return services;
    }
    // A dialog on Demo.dll, shown (read), with a language and a code page chosen.
    std::unique_ptr<TFverDlg> Opened(ScriptedDialogs &dialogs)
    {
        auto dialog = std::make_unique<TFverDlg>(nullptr, Services());
        dialog->ProjectDir = FDir.path() + QLatin1Char('/');
        dialog->OutputFileName = Path(QStringLiteral("Demo.dll"));
        dialog->FormShow();
        dialogs.log.clear();
        dialogs.texts.clear();
        dialog->ELenguaje->setCurrentText(QStringLiteral("U.S. English"));
        dialog->TCodigos->setCurrentText(QStringLiteral("Multilingual"));
        return dialog;
    }
    QTemporaryDir FDir;  // the project's directory
    QTemporaryDir FData; // the add-in's data directory and the compiler
    QString FCompiler;
};

TEST_F(VerDlgTest, ComponentsCarryTheirNamesAndCaptions)
{
    TFverDlg dialog(nullptr, TestServices());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Version Resource Editor"));
    const std::pair<const char *, int> labels[] = {
        {"Label1", txt::FileVersion},     {"Label2", txt::ProductVersion},  {"Label3", txt::OperatingSystem},
        {"Label4", txt::Type},            {"Label5", txt::ProductName},     {"Label6", txt::Description},
        {"Label7", txt::InternalName},    {"Label8", txt::CompanyName},     {"Label10", txt::Trademarks},
        {"Label11", txt::Comments},       {"Label12", txt::GenericVersion}, {"Label13", txt::SpecialVersion},
        {"Label14", txt::Private},        {"Label15", txt::Language},       {"Label16", txt::Code}};
    for (const auto &[name, id] : labels) {
        auto *label = dialog.findChild<QLabel *>(QLatin1String(name));
        ASSERT_TRUE(label) << name;
        EXPECT_EQ(label->text(), LoadStr(id)) << name;
    }
    EXPECT_EQ(dialog.findChild<QLabel *>(QStringLiteral("Label9"))->text(), QStringLiteral("CopyRight:"));
    EXPECT_EQ(dialog.findChild<QPushButton *>(QStringLiteral("Button1"))->text(), QStringLiteral("Ok"));
    EXPECT_EQ(dialog.findChild<QPushButton *>(QStringLiteral("Button2"))->text(), QStringLiteral("Cancel"));
    for (const char *name : {"FVersion", "PVersion", "NomProducto", "Descrip", "Ninterno",
                             "NOriginal", "CIA", "Coopyrag", "Mreg", "Comen", "GenVer",
                             "Special", "Privada"})
        EXPECT_TRUE(dialog.findChild<QLineEdit *>(QLatin1String(name))) << name;
    EXPECT_EQ(dialog.findChild<QLineEdit *>(QStringLiteral("FVersion"))->text(), QStringLiteral("1,0,0,0"));
    EXPECT_EQ(dialog.findChild<QComboBox *>(QStringLiteral("TipoOS"))->itemText(0), QStringLiteral("MS-Dos"));
    EXPECT_EQ(dialog.findChild<QComboBox *>(QStringLiteral("STipo"))->count(), 6);
    auto *languages = dialog.findChild<QComboBox *>(QStringLiteral("ELenguaje"));
    ASSERT_EQ(languages->count(), 46);
    EXPECT_EQ(languages->itemText(0), QStringLiteral("Albanian")); // sorted
    EXPECT_EQ(dialog.findChild<QComboBox *>(QStringLiteral("TCodigos"))->itemText(0),
              QStringLiteral("Arabic"));
    auto *exec = dialog.findChild<TAppExec *>(QStringLiteral("AppExec1"));
    ASSERT_TRUE(exec);
    EXPECT_TRUE(exec->Wait());
    EXPECT_EQ(exec->ShowCommand(), 0);
}

TEST_F(VerDlgTest, FileWithoutVersionInformationOpensEmptyAndUnselected)
{
    ScriptedDialogs dialogs;
    TFverDlg dialog(nullptr, Services());
    dialog.OutputFileName = Path(QStringLiteral("Demo.dll"));
    dialog.FormShow();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("error: No hay información de version en")
                                       + Path(QStringLiteral("Demo.dll"))});
    EXPECT_EQ(dialog.FVersion->text(), QString());
    EXPECT_EQ(dialog.Privada->text(), QString());
    for (QComboBox *list : {dialog.TipoOS, dialog.STipo, dialog.ELenguaje, dialog.TCodigos})
        EXPECT_EQ(list->currentIndex(), -1) << list->objectName().toStdString();
}

TEST_F(VerDlgTest, OkWritesTheScriptAndCompilesItInTheTargetDirectory)
{
    ScriptedDialogs dialogs;
    auto dialog = Opened(dialogs);
    dialog->FVersion->setText(QStringLiteral("3,0,0,1"));
    dialog->Coopyrag->setText(QStringLiteral("\u00A9 Demo"));
    dialog->TipoOS->setCurrentText(QStringLiteral("WinNT"));
    EXPECT_EQ(dialog->BlockName(), QStringLiteral("040904E4"));
    ASSERT_TRUE(dialog->Button1Click());
    const QByteArray script = Read(QStringLiteral("version.rc"));
    EXPECT_EQ(script, VersionScript(dialog->Fields()));
    EXPECT_TRUE(script.contains(" FILEVERSION 3,0,0,1\r\n"));
    EXPECT_TRUE(script.contains(" FILEOS 0x40004L\r\n"));
    EXPECT_TRUE(script.contains("\"\xA9 Demo\\0\""));
    EXPECT_EQ(Calls(), QStringList{FDir.path() + QStringLiteral("|version.rc -r")});
    EXPECT_EQ(Read(QStringLiteral("version.res")), script);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("version.bak"))));

    // A second run backs up the last compiled resource, not the script.
    Write(QStringLiteral("version.res"), "first result");
    Write(QStringLiteral("version.bak"), "older backup");
    ASSERT_TRUE(dialog->Button1Click());
    EXPECT_EQ(Read(QStringLiteral("version.bak")), QByteArray("first result"));
    EXPECT_EQ(Read(QStringLiteral("version.res")), script);
}

TEST_F(VerDlgTest, NothingBuiltWritesIntoTheProjectDirectory)
{
    ScriptedDialogs dialogs;
    QTemporaryDir project;
    TFverDlg dialog(nullptr, Services());
    dialog.ProjectDir = project.path() + QLatin1Char('/');
    EXPECT_EQ(dialog.TargetDir(), project.path());
    dialog.ELenguaje->setCurrentText(QStringLiteral("German"));
    dialog.TCodigos->setCurrentText(QStringLiteral("Multilingual"));
    ASSERT_TRUE(dialog.Button1Click());
    EXPECT_TRUE(QFile::exists(project.path() + QStringLiteral("/version.res")));
    EXPECT_EQ(Calls(), QStringList{project.path() + QStringLiteral("|version.rc -r")});
}

TEST_F(VerDlgTest, FailedCompileSaysWhatTheCompilerPrintedAndKeepsTheBackup)
{
    Compiler("echo 'version.rc:23: syntax error' >&2\nexit 1\n");
    Write(QStringLiteral("version.res"), "last good");
    ScriptedDialogs dialogs;
    auto dialog = Opened(dialogs);
    EXPECT_TRUE(dialog->Button1Click()); // the dialog closes, as after any compile
    EXPECT_EQ(dialogs.texts, QStringList{LoadStr(txt::ResourceNotCompiled) + QStringLiteral("\n\nversion.rc:23: syntax error")});
    EXPECT_EQ(Read(QStringLiteral("version.bak")), QByteArray("last good"));
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("version.res"))));
}

TEST_F(VerDlgTest, OkWithoutLanguageOrCodePageOrWithAFailedWriteKeepsTheDialogOpen)
{
    ScriptedDialogs dialogs;
    auto dialog = Opened(dialogs);
    dialog->TCodigos->setCurrentIndex(-1);
    EXPECT_FALSE(dialog->Button1Click());
    ASSERT_EQ(dialogs.texts.size(), 1);
    EXPECT_TRUE(dialogs.texts.first().contains(QStringLiteral("code page")));

    dialog->TCodigos->setCurrentText(QStringLiteral("Unicode"));
    dialog->ELenguaje->setCurrentIndex(-1);
    EXPECT_FALSE(dialog->Button1Click());

    dialog->ELenguaje->setCurrentText(QStringLiteral("Castilian Moderm"));
    Write(QStringLiteral("version.res"), "last good");
    {
        FailWrites failing;
        EXPECT_FALSE(dialog->Button1Click());
    }
    EXPECT_TRUE(dialogs.log.last().startsWith(QStringLiteral("error: ")));
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("version.rc"))));
    EXPECT_EQ(Read(QStringLiteral("version.res")), QByteArray("last good")); // no backup, no run
    EXPECT_TRUE(Calls().isEmpty());
}

TEST_F(VerDlgTest, CompilerUnderADirectoryWithABlankIsRunByOk)
{
    Compiler("cp version.rc version.res\n", QStringLiteral("My Apps/bin/brcc32"));
    ScriptedDialogs dialogs;
    auto dialog = Opened(dialogs);
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("Button1")), Qt::LeftButton);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
    EXPECT_EQ(Calls(), QStringList{FDir.path() + QStringLiteral("|version.rc -r")});
    EXPECT_EQ(Read(QStringLiteral("version.res")), Read(QStringLiteral("version.rc")));
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(VerDlgTest, StoredCompilerThatCannotRunIsShownThenAskedForAgain)
{
    // Stored on the first run, then no longer executable: even root cannot
    // run a file without any execute bit.
    const QString stored = FCompiler;
    ::chmod(QFile::encodeName(stored).constData(), 0644);
    Compiler("cp version.rc version.res\n", QStringLiteral("other/brcc32"));
    const QString good = FCompiler;
    FCompiler = stored;
    const QStringList offered = {
        QStringLiteral("error: Attempt was made to dynamically link to a task, or there was a "
                       "sharing or network-protection error\n")
            + stored,
        QStringLiteral("message: ") + LoadStr(txt::ProgramNotFound),
        QStringLiteral("open: Select the directory where is BRCC32.EXE")};
    {
        // Cancelled: nothing ran, nothing more is said, and the next run asks again.
        ScriptedDialogs dialogs;
        auto dialog = Opened(dialogs);
        EXPECT_TRUE(dialog->Button1Click());
        EXPECT_EQ(dialogs.log, offered);
        EXPECT_TRUE(Calls().isEmpty());
    }
    ScriptedDialogs dialogs;
    dialogs.answerFile(good);
    auto dialog = Opened(dialogs);
    EXPECT_TRUE(dialog->Button1Click());
    EXPECT_EQ(dialogs.log, offered);
    // The chosen compiler runs at once, and is the one stored.
    EXPECT_EQ(Calls(), QStringList{FDir.path() + QStringLiteral("|version.rc -r")});
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("version.res"))));
    ScriptedDialogs later;
    Opened(later)->Button1Click();
    EXPECT_TRUE(later.log.isEmpty()) << later.log.join('\n').toStdString();
    EXPECT_EQ(Calls().size(), 2);
}

TEST_F(VerDlgTest, CompilerThatCannotStartIsShownAndTheDialogCloses)
{
    QFile::remove(FCompiler);
    ScriptedDialogs dialogs;
    dialogs.answerFile(QString()); // asked for the compiler: cancelled
    auto dialog = Opened(dialogs);
    EXPECT_TRUE(dialog->Button1Click());
    // Not configured, then asked, then the runner's failure.
    ASSERT_GE(dialogs.log.size(), 3);
    EXPECT_EQ(dialogs.log.last(), QStringLiteral("error: File was not found\n") + FCompiler);
    EXPECT_EQ(dialogs.log.size(), 3); // asked once only: the file is not there
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("version.rc"))));
}

} // namespace

namespace {

// Read a built DLL, let the dialog write and compile its script with the
// real brcc32, link the result into a new DLL and read that back.
TEST_F(VerDlgTest, RoundTripThroughTheRealResourceCompilerGivesBackTheValues)
{
    const QByteArray rc = "1 VERSIONINFO\r\n"
                          " FILEVERSION 2,1,0,37\r\n PRODUCTVERSION 2,1,0,0\r\n"
                          " FILEFLAGSMASK 0x3fL\r\n FILEFLAGS 0x0L\r\n"
                          " FILEOS 0x40004L\r\n FILETYPE 0x2L\r\n FILESUBTYPE 0x0L\r\n"
                          "{\r\n BLOCK \"StringFileInfo\"\r\n {\r\n  BLOCK \"0C0A04E4\"\r\n  {\r\n"
                          "   VALUE \"CompanyName\", \"Compa\xF1\xED" "a Demo\\0\"\r\n"
                          "   VALUE \"FileDescription\", \"Biblioteca\\0\"\r\n"
                          "   VALUE \"FileVersion\", \"2.1\\0\"\r\n"
                          "   VALUE \"InternalName\", \"Demo\\0\"\r\n"
                          "   VALUE \"LegalCopyright\", \"\xA9 2026\\0\"\r\n"
                          "   VALUE \"OriginalFilename\", \"Demo.dll\\0\"\r\n"
                          "   VALUE \"PrivateBuild\", \"41\\0\"\r\n"
                          "   VALUE \"ProductName\", \"Demo\\0\"\r\n"
                          "   VALUE \"ProductVersion\", \"2.1\\0\"\r\n"
                          "   VALUE \"SpecialBuild\", \"beta\\0\"\r\n"
                          "  }\r\n }\r\n BLOCK \"VarFileInfo\"\r\n {\r\n"
                          "  VALUE \"Translation\", 0x0C0A, 1252\r\n }\r\n}\r\n";
    const QString built = BuildDll(FDir.path(), QStringLiteral("Demo.dll"), rc);
    ASSERT_FALSE(built.isEmpty());
    FCompiler = QStringLiteral(QUORBEL_BRCC32);

    ScriptedDialogs dialogs;
    TFverDlg dialog(nullptr, Services());
    dialog.OutputFileName = built;
    dialog.FormShow();
    EXPECT_EQ(dialog.FVersion->text(), QStringLiteral("2,1,0,37"));
    EXPECT_EQ(dialog.TipoOS->currentText(), QStringLiteral("WinNT"));
    EXPECT_EQ(dialog.STipo->currentText(), QStringLiteral("Dynamic-Link Library"));
    EXPECT_EQ(dialog.ELenguaje->currentText(), QStringLiteral("Castilian Moderm"));
    EXPECT_EQ(dialog.TCodigos->currentText(), QStringLiteral("Multilingual"));
    EXPECT_EQ(dialog.Privada->text(), QStringLiteral("42"));
    ASSERT_TRUE(dialog.Button1Click());
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();

    const QString relinked =
        LinkDllFromRes(FDir.path(), QStringLiteral("Again.dll"), QStringLiteral("version.res"));
    ASSERT_FALSE(relinked.isEmpty());
    const TResouceVersionInfo before(built, dialogs);
    const TResouceVersionInfo after(relinked, dialogs);
    EXPECT_TRUE(dialogs.log.isEmpty());
    EXPECT_EQ(after.NumFileVersion, before.NumFileVersion);
    EXPECT_EQ(after.NumProductVersion, before.NumProductVersion);
    EXPECT_EQ(after.OSName, before.OSName);
    EXPECT_EQ(after.FileTypeName, before.FileTypeName);
    EXPECT_EQ(after.CompanyName, QStringLiteral("Compañía Demo"));
    for (const auto &[was, is] :
         {std::pair{before.CompanyName, after.CompanyName},
          {before.FileDescription, after.FileDescription}, {before.FileVersion, after.FileVersion},
          {before.InternalName, after.InternalName}, {before.LegalCopyright, after.LegalCopyright},
          {before.OriginalFileName, after.OriginalFileName}, {before.ProductName, after.ProductName},
          {before.ProductVersion, after.ProductVersion}, {before.SpecialBuild, after.SpecialBuild}})
        EXPECT_EQ(is, was);
    EXPECT_EQ(after.PrivateBuild, QStringLiteral("42"));
    EXPECT_EQ(after.LanguageId, 0x0C0A);
    EXPECT_EQ(after.CodePage, 1252);
}

} // namespace

namespace {

// Quotes, backslashes and characters beyond Windows-1252 survive the whole
// trip: read from a DLL, shown, typed into, written, compiled by the real
// brcc32, linked again and read back.
TEST_F(VerDlgTest, ValuesWithQuotesBackslashesAndAnyCharacterMakeTheRoundTrip)
{
    const QByteArray rc = QStringLiteral(
        "1 VERSIONINFO\r\n FILEVERSION 1,0,0,3\r\n PRODUCTVERSION 1,0,0,0\r\n"
        " FILEOS 0x40004L\r\n FILETYPE 0x2L\r\n"
        "{\r\n BLOCK \"StringFileInfo\"\r\n {\r\n  BLOCK \"040904E4\"\r\n  {\r\n"
        "   VALUE \"CompanyName\", \"Quorbel \"\"Demo\"\"\\0\"\r\n"
        "   VALUE \"FileDescription\", \"C:\\\\temp\\\\x\\0\"\r\n"
        "   VALUE \"LegalCopyright\", \"\u00A9 2026 \u0416\u2713\\0\"\r\n"
        "   VALUE \"ProductName\", \"\\\\\\\\server\\\\\"\"share\"\"\\0\"\r\n"
        "  }\r\n }\r\n BLOCK \"VarFileInfo\"\r\n {\r\n"
        "  VALUE \"Translation\", 0x0409, 1252\r\n }\r\n}\r\n").toUtf8();
    const QString built = BuildDll(FDir.path(), QStringLiteral("Demo.dll"), rc, TPeKind::Pe32Plus, 65001);
    ASSERT_FALSE(built.isEmpty());
    FCompiler = QStringLiteral(QUORBEL_BRCC32);

    ScriptedDialogs dialogs;
    TFverDlg dialog(nullptr, Services());
    dialog.ProjectDir = FDir.path() + QLatin1Char('/');
    dialog.OutputFileName = built;
    dialog.show(); // reads the file
    const auto edit = [&](const char *name) {
        auto *line = dialog.findChild<QLineEdit *>(QLatin1String(name));
        EXPECT_TRUE(line) << name;
        return line ? line->text() : QString();
    };
    const QString company = QStringLiteral("Quorbel \"Demo\"");
    const QString description = QStringLiteral("C:\\temp\\x");
    const QString copyright = QStringLiteral("\u00A9 2026 \u0416\u2713");
    const QString product = QStringLiteral("\\\\server\\\"share\"");
    EXPECT_EQ(edit("CIA"), company);
    EXPECT_EQ(edit("Descrip"), description);
    EXPECT_EQ(edit("Coopyrag"), copyright);
    EXPECT_EQ(edit("NomProducto"), product);
    // What the user types goes the same way.
    auto *comments = dialog.findChild<QLineEdit *>(QStringLiteral("Comen"));
    ASSERT_TRUE(comments);
    QTest::keyClicks(comments, QStringLiteral("say \"hi\" \\n\\"));
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("Button1"));
    ASSERT_TRUE(ok);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();

    const QString relinked =
        LinkDllFromRes(FDir.path(), QStringLiteral("Again.dll"), QStringLiteral("version.res"));
    ASSERT_FALSE(relinked.isEmpty());
    const TResouceVersionInfo after(relinked, dialogs);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
    EXPECT_EQ(after.CompanyName, company);
    EXPECT_EQ(after.FileDescription, description);
    EXPECT_EQ(after.LegalCopyright, copyright);
    EXPECT_EQ(after.ProductName, product);
    EXPECT_EQ(after.Comments, QStringLiteral("say \"hi\" \\n\\"));
    EXPECT_EQ(after.NumFileVersion, QStringLiteral("1,0,0,3"));
}

} // namespace
