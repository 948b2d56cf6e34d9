// Generation of the help sources from the help table, byte for byte, and the
// progress dialog and toolbar actions around it.
#include "HelpTableTest.h"
#include "ModalDriver.h"
#include "ScriptedDialogs.h"
#include "TestServices.h"

#include "core/DM.h"
#include "core/StringTable.h"
#include "helpeditor/CreaWord.h"
#include "helpeditor/HelpGen.h"

#include "Process.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class HelpGen : public THelpTableTest {
protected:
    // Contents, two top-level topics (one a pop-up), and two levels below.
    void Tree()
    {
        const int alpha = Topic(QStringLiteral("Alpha"), QStringLiteral("Alpha text"), -1, false, QStringLiteral("first"));
        Topic(QStringLiteral("Beta"), QStringLiteral("Beta pops"), -1, true);
        const int child = Topic(QStringLiteral("Child"), QStringLiteral("A\r\nB"), alpha);
        Topic(QStringLiteral("Note"), {}, alpha, true);
        Topic(QStringLiteral("Grand"), {}, child);
        Contents(QStringLiteral("Welcome {\\b bold}"));
    }
    QString H(const QString &name) const { return Hlp + QLatin1Char('/') + name; }
    void Generate() { THelpTableTest::Generate(Writer); }

    TestWriter &Writer = SharedTestWriter();
};

const QByteArray Head = "{\\rtf1\\ansi\\deff0\\deflang1024\r\n"
                        "{\\fonttbl\r\n"
                        "{\\f0\\froman Times New Roman;}\r\n"
                        "{\\f1\\froman Symbol;}\r\n"
                        "{\\f2\\fswiss Arial;}\r\n"
                        "{\\f3\\froman MS Serif;}\r\n"
                        "{\\f4\\fswiss MS Sans Serif;}\r\n"
                        "}\r\n"
                        "{\\colortbl;\r\n"
                        "\\red0\\green0\\blue0;\r\n"
                        "\\red0\\green0\\blue255;\r\n"
                        "\\red0\\green255\\blue0;\r\n"
                        "\\red255\\green0\\blue0;\r\n"
                        "\\red255\\green255\\blue255; }\r\n";
const QByteArray ContentsHead = "\\super #{\\footnote \\super # Contens}\r\n"
                                "\\super ${\\footnote \\super $ Contens}\r\n"
                                "\\super K{\\footnote \\super K Contens;Index}\r\n"
                                "\\plain \\li120\\sb340\\sa120\\sl-320 \\f2\\fs45 \\cf2 \\keepn Contens \\par \\pard "
                                "\\plain \\li120 \\f4\\fs20\r\n";

QByteArray Page(const char *title, const char *keyword, const QByteArray &text, const QByteArray &links = {})
{
    return QByteArray("\\super #{\\footnote \\super # ") + title + "}\r\n\\super ${\\footnote \\super $ " + title
           + "}\r\n\\super K{\\footnote \\super K " + keyword
           + "}\r\n\\pard\\plain \\li120\\sb340\\sa120\\sl-320 \\f2\\fs45 \\cf2 \\keepn " + title
           + "\r\n\\par \\pard\\plain \\li120 \\f4\\fs20 " + text + " \\par\r\n" + links + "\\par\\page\r\n";
}

QByteArray PopupPage(const char *title, const QByteArray &text)
{
    return QByteArray("\\super #{\\footnote \\super # ") + title + "}\r\n\\par \\pard\\plain \\li120 \\f4\\fs20 "
           + text + " \\par\r\n\\par\\page\r\n";
}

TEST_F(HelpGen, DocumentOfContentsAndTwoLevelsByteForByte)
{
    Tree();
    Generate();
    const QByteArray expected =
        Head + ContentsHead + "\\par \\pard\\plain \\li120 \\f4\\fs20 Welcome {\\b bold} \\par\r\n"
        + "\\par{\\uldb \\{bmc bola.bmp\\}Alpha}\r\n{\\v Alpha}\r\n\\par\\page\r\n"
        + Page("Alpha", "first", "Alpha text",
               "\\par{\\uldb \\{bmc boton.bmp\\} Child}\r\n{\\v Child}\r\n\\par{\\ul Note}\r\n{\\v Note}\r\n")
        + PopupPage("Beta", "Beta pops")
        + Page("Child", "", "A\\par \nB", "\\par{\\uldb \\{bmc boton.bmp\\} Grand}\r\n{\\v Grand}\r\n")
        + Page("Contens", "", "Welcome {\\b bold}") + Page("Grand", "", "") + PopupPage("Note", "") + "}\r\n";
    EXPECT_EQ(ReadAll(H(QStringLiteral("App.rtf"))), expected);
    EXPECT_EQ(ReadAll(H(QStringLiteral("map.def"))),
              "Alpha = 1\r\nBeta = 2\r\nChild = 3\r\nContens = 0\r\nGrand = 5\r\nNote = 4\r\n");
    // The passes leave the table unfiltered.
    EXPECT_FALSE(Data.Table2.Filtered());
    EXPECT_EQ(Data.Table2.RecordCount(), 6);
}

TEST_F(HelpGen, WithoutContentsRecordTheContentsPageHasNoText)
{
    Topic(QStringLiteral(" My topic "));
    Generate();
    EXPECT_EQ(ReadAll(H(QStringLiteral("map.def"))), "My_topic = 1\r\n");
    EXPECT_EQ(ReadAll(H(QStringLiteral("App.rtf"))),
              Head + ContentsHead + "\\par{\\uldb \\{bmc bola.bmp\\} My topic }\r\n{\\v My_topic}\r\n\\par\\page\r\n"
                  + "\\super #{\\footnote \\super # My_topic}\r\n\\super ${\\footnote \\super $  My topic }\r\n"
                  + "\\super K{\\footnote \\super K }\r\n\\pard\\plain \\li120\\sb340\\sa120\\sl-320 \\f2\\fs45 "
                  + "\\cf2 \\keepn  My topic \r\n\\par \\pard\\plain \\li120 \\f4\\fs20  \\par\r\n\\par\\page\r\n}\r\n");
}

TEST(HelpTexts, ContextStringAndTopicBody)
{
    EXPECT_EQ(ContextString(QStringLiteral(" My topic ")), QStringLiteral("My_topic"));
    EXPECT_EQ(ContextString(QStringLiteral("\t\x01Two  words\r\n")), QStringLiteral("Two__words"));
    EXPECT_EQ(ContextString(QStringLiteral("a\\b{c}")), QStringLiteral("a\\b{c}"));
    EXPECT_EQ(TopicBody(QStringLiteral("A\r\nB")), QStringLiteral("A\\par \nB"));
    EXPECT_EQ(TopicBody(QStringLiteral("A\rB")), QStringLiteral("A\\par B"));
    // A line feed alone (texts typed on Linux) still breaks the line.
    EXPECT_EQ(TopicBody(QStringLiteral("A\nB")), QStringLiteral("A\\par \nB"));
    EXPECT_EQ(TopicBody(QStringLiteral("\r\n {\\b bold} \r\n\r\n")), QStringLiteral("{\\b bold}"));
    // Non-breaking spaces are no blanks to trim.
    EXPECT_EQ(ContextString(QString(QChar(0xA0)) + QStringLiteral("x")), QString(QChar(0xA0)) + QStringLiteral("x"));
}

TEST(HelpTexts, CharactersOutsideTheCodePageBecomeUnicodeEscapes)
{
    EXPECT_EQ(RtfAnsi(QStringLiteral("caf\u00e9 \u20ac")), QByteArray("caf\xe9 \x80"));
    EXPECT_EQ(RtfAnsi(QStringLiteral("\u03a9mega")), QByteArray("\\u937?mega"));
    // Above 32767 the number is negative; a pair is two escapes.
    EXPECT_EQ(RtfAnsi(QStringLiteral("\uffe5")), QByteArray("\\u-27?"));
    EXPECT_EQ(RtfAnsi(QString::fromUtf8("\xf0\x9f\x98\x80")), QByteArray("\\u-10179?\\u-8704?"));
}

TEST_F(HelpGen, NonAnsiTitleStaysAnAnsiDocument)
{
    Topic(QStringLiteral("\u03a9 caf\u00e9"), QStringLiteral("\u4e2d"));
    Generate();
    const QByteArray rtf = ReadAll(H(QStringLiteral("App.rtf")));
    EXPECT_TRUE(rtf.contains("\\super $ \\u937? caf\xe9}")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("\\f4\\fs20 \\u20013? \\par"));
    for (const char c : rtf)
        EXPECT_TRUE(c == '\r' || c == '\n' || uchar(c) >= 0x20) << int(c);
    // The map file follows the text rule: UTF-8 when the code page cannot hold it.
    EXPECT_EQ(ReadAll(H(QStringLiteral("map.def"))), QStringLiteral("\u03a9_caf\u00e9 = 1\r\n").toUtf8());
}

TEST_F(HelpGen, HelpProjectIsWrittenOnceThenLeftToTheUser)
{
    Topic(QStringLiteral("One"));
    Generate();
    const QByteArray hpj = "[OPTIONS] \r\nHCW=0 \r\nCOMPRESS=12 Hall Zeck \r\nERRORLOG=..\\App.ERR \r\n"
                           "IGNORE=HC3048\r\nNOTES=0\r\nREPORT=Yes \r\nCONTENTS=Contens\r\nTITLE=App.hlp \r\n"
                           "COPYRIGHT=Insert you CopyRight Notice \r\nROOT=. \r\nHLP=..\\App.hlp \r\n[MAP]\r\n"
                           "#INCLUDE .\\MAP.DEF\r\n \r\n[FILES] \r\nApp.RTF \r\n \r\n[WINDOWS] \r\n"
                           "main=\"\",,0,(r15138815),(r12632256) \r\n";
    EXPECT_EQ(ReadAll(H(QStringLiteral("App.hpj"))), hpj);
    EXPECT_EQ(hpj.count("\r\n"), 20);

    QFile user(H(QStringLiteral("App.hpj")));
    ASSERT_TRUE(user.open(QIODevice::Append));
    user.write("; mine\r\n");
    user.close();
    Topic(QStringLiteral("Two"));
    THelpGenerator again(Data, Writer, Project);
    std::vector<int> bar;
    again.OnProgress = [&](int percent) { bar.push_back(percent); };
    again.WriteMapFile();
    EXPECT_FALSE(again.WriteHelpProject());
    again.WriteDocument();
    EXPECT_EQ(ReadAll(H(QStringLiteral("App.hpj"))), hpj + "; mine\r\n");
    EXPECT_EQ(ReadAll(H(QStringLiteral("map.def"))), "One = 1\r\nTwo = 2\r\n");
    EXPECT_TRUE(ReadAll(H(QStringLiteral("App.rtf"))).contains("\\super # Two}"));
    // Per cent of each pass: map, then (after its reset to 0) the pages.
    EXPECT_EQ(bar, std::vector<int>({50, 100, 0, 50, 100}));
    // The project's own steps.
    THelpGenerator fresh(Data, Writer, Project);
    bar.clear();
    fresh.OnProgress = [&](int percent) { bar.push_back(percent); };
    fresh.HelpProjectBytes();
    EXPECT_EQ(bar, std::vector<int>({20, 40, 50, 70, 100}));
}

TEST(HelpFiles, NamesComeFromTheProjectFile)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + QStringLiteral("/p/hlp"));
    const THelpFiles files = HelpFilesFor(dir.path() + QStringLiteral("/p/My.App.dpr"));
    EXPECT_EQ(files.BaseName, QStringLiteral("My."));
    EXPECT_EQ(files.HelpDir, dir.path() + QStringLiteral("/p/hlp")); // found in its own case
    EXPECT_EQ(files.ProjectFile, dir.path() + QStringLiteral("/p/hlp/My.hpj"));
    EXPECT_EQ(files.HelpFile, dir.path() + QStringLiteral("/p/My.hlp"));
    EXPECT_EQ(files.ErrorLog, dir.path() + QStringLiteral("/p/My.ERR"));
    EXPECT_EQ(HelpFilesFor(QStringLiteral("/q/App.dpr")).HelpDir, QStringLiteral("/q/HLP"));
}

TEST_F(HelpGen, SubtopicQueryRunsOnTheParentIndex)
{
    // One query per topic: without the index each is a scan of the whole
    // table, and generation grows with the square of the topics.
    QString sql = Data.Query1.SQL.join(QLatin1Char('\n'));
    sql.replace(QStringLiteral("\"Ayuda.db\""), QStringLiteral("\"Ayuda\""));
    QString plan;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plan"));
        db.setDatabaseName(Data.Table2.FilePath());
        ASSERT_TRUE(db.open());
        QSqlQuery explain(db);
        ASSERT_TRUE(explain.prepare(QStringLiteral("EXPLAIN QUERY PLAN ") + sql));
        explain.bindValue(QStringLiteral(":Numero"), 1);
        ASSERT_TRUE(explain.exec());
        while (explain.next())
            plan += explain.value(3).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("plan"));
    EXPECT_TRUE(plan.contains(QStringLiteral("USING INDEX parent"))) << plan.toStdString();
}

// A reader's view of the document: groups balance, and every page carries
// the footnotes its kind of topic needs. Runs everywhere; the LibreOffice
// check below needs soffice.
void CheckWellFormed(const QByteArray &rtf, const QStringList &popups)
{
    int depth = 0;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '\\') {
            ++i; // \{ \} \\ are text
            continue;
        }
        if (c == '{') {
            ASSERT_TRUE(depth > 0 || i == 0) << "text outside the document at " << i;
            ++depth;
        } else if (c == '}') {
            ASSERT_GE(--depth, 0) << "at " << i;
            if (depth == 0) {
                ASSERT_EQ(rtf.mid(i + 1).trimmed(), QByteArray()) << "document ends early at " << i;
            }
        }
    }
    ASSERT_EQ(depth, 0);
    QList<QByteArray> pages;
    qsizetype from = 0, at;
    while ((at = rtf.indexOf("\\par\\page\r\n", from)) >= 0) {
        pages << rtf.mid(from, at - from);
        from = at + 11;
    }
    ASSERT_GE(pages.size(), 1);
    for (const QByteArray &page : pages) {
        const qsizetype hash = page.indexOf("\\super #{\\footnote \\super # ");
        ASSERT_GE(hash, 0) << page.constData();
        const QByteArray context = page.mid(hash + 28, page.indexOf('}', hash) - hash - 28);
        const bool popup = popups.contains(QString::fromLatin1(context));
        EXPECT_EQ(page.contains("\\super ${\\footnote \\super $ "), !popup) << context.constData();
        EXPECT_EQ(page.contains("\\super K{\\footnote \\super K "), !popup) << context.constData();
        EXPECT_EQ(page.contains("\\keepn "), !popup) << context.constData();
    }
}

TEST_F(HelpGen, DocumentIsWellFormedRichText)
{
    Tree();
    Generate();
    CheckWellFormed(ReadAll(H(QStringLiteral("App.rtf"))), {QStringLiteral("Beta"), QStringLiteral("Note")});
}

TEST_F(HelpGen, LibreOfficeReadsTheDocument)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice (soffice) is not installed; DocumentIsWellFormedRichText checks the "
                        "document's structure everywhere";
    Tree();
    Topic(QStringLiteral("\u03a9mega"), QStringLiteral("\u4e2d text"));
    Generate();
    const QString out = Dir.path() + QStringLiteral("/txt");
    QProcess office;
    office.start(soffice, {QStringLiteral("--headless"), QStringLiteral("-env:UserInstallation=file://") + Dir.path()
                           + QStringLiteral("/lo"), QStringLiteral("--convert-to"), QStringLiteral("txt:Text (encoded):UTF8"),
                           QStringLiteral("--outdir"), out, H(QStringLiteral("App.rtf"))});
    ASSERT_TRUE(office.waitForFinished(120000));
    const QString text = QString::fromUtf8(ReadAll(out + QStringLiteral("/App.txt")));
    EXPECT_TRUE(text.contains(QStringLiteral("Welcome bold"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("\\b"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Alpha text")));
    EXPECT_TRUE(text.contains(QStringLiteral("\u03a9mega")));
    EXPECT_TRUE(text.contains(QStringLiteral("\u4e2d text")));
}

// The dialog and the toolbar actions.
class HelpDialog : public HelpGen {
protected:
    void SetUp() override
    {
        HelpGen::SetUp();
        Services = TestServices();
        Services.DataDir = Dir.path();
        Services.Data = &Data;
        Hcw = Dir.path() + QStringLiteral("/hcw");
        QFile f(Hcw);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nout=\"" + QFile::encodeName(Dir.path()) + "/hcw-args\"\n"
                "echo \"$*\" > \"$out.tmp\"; /bin/mv \"$out.tmp\" \"$out\"\n");
        f.close();
        ::chmod(QFile::encodeName(Hcw).constData(), 0755);
        Services.FindTool = [this](const QString &command) {
            return command == QStringLiteral("hcw") ? Hcw : QString();
        };
    }
    QString CompilerArgs()
    {
        const QString path = Dir.path() + QStringLiteral("/hcw-args");
        QDeadlineTimer deadline(10000);
        while (!QFile::exists(path) && !deadline.hasExpired())
            QThread::msleep(10);
        return QString::fromUtf8(ReadAll(path)).trimmed();
    }
    TAddinServices Services;
    QString Hcw;
    ScriptedDialogs Dialogs;
};

TEST_F(HelpDialog, GenerateThenCompileHidden)
{
    Tree();
    QString seen;
    OnNextModal([&](QDialog *d) {
        seen = d->findChild<QLabel *>(QStringLiteral("Label1"))->text() + QLatin1Char('|') + d->windowTitle()
               + QLatin1Char('|') + QString::number(d->findChild<QTimer *>(QStringLiteral("Timer1"))->interval());
    });
    HelpWordClick(nullptr, Services, Project);
    EXPECT_EQ(seen, QStringLiteral("Init system|Generete HLP,RTF files|1000"));
    EXPECT_TRUE(QFile::exists(H(QStringLiteral("App.rtf"))));
    EXPECT_TRUE(QFile::exists(H(QStringLiteral("App.hpj"))));
    EXPECT_EQ(CompilerArgs(), QStringLiteral("/C /E /M ") + H(QStringLiteral("App.hpj")));
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join(QLatin1Char('\n')).toStdString();
}

TEST_F(HelpDialog, EmptyTableGeneratesNothingButTheCompilerStillStarts)
{
    TFCWord dialog(nullptr, Services, Data);
    dialog.ProjectFileName = Project;
    EXPECT_EQ(dialog.TopicCount, 0);
    EXPECT_TRUE(dialog.Timer1->isActive());
    dialog.InitProcess();
    EXPECT_FALSE(dialog.Timer1->isActive());
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("Init system"));
    EXPECT_EQ(QDir(Hlp).entryList({QStringLiteral("App.*"), QStringLiteral("map.def")}, QDir::Files), QStringList());

    RejectNextModal(); // closed before the timer: nothing is generated
    HelpWordClick(nullptr, Services, Project);
    EXPECT_EQ(CompilerArgs(), QStringLiteral("/C /E /M ") + H(QStringLiteral("App.hpj")));
}

TEST_F(HelpDialog, MapFileErrorStopsBeforeTheOtherFiles)
{
    Tree();
    TFCWord dialog(nullptr, Services, Data);
    dialog.ProjectFileName = Project;
    {
        FailWrites failing;
        dialog.InitProcess();
    }
    ASSERT_EQ(Dialogs.log.size(), 1);
    EXPECT_TRUE(Dialogs.log[0].startsWith(QStringLiteral("error: "))) << Dialogs.log[0].toStdString();
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("Generating MAP file"));
    EXPECT_FALSE(QFile::exists(H(QStringLiteral("App.hpj"))));
    EXPECT_FALSE(QFile::exists(H(QStringLiteral("App.rtf"))));
}

TEST_F(HelpDialog, DocumentErrorKeepsWhatWasMadeClosed)
{
    Tree();
    Data.Query1.DatabaseName = Dir.path() + QStringLiteral("/nowhere");
    TFCWord dialog(nullptr, Services, Data);
    dialog.ProjectFileName = Project;
    dialog.InitProcess();
    ASSERT_EQ(Dialogs.log.size(), 1);
    EXPECT_TRUE(Dialogs.log[0].startsWith(QStringLiteral("error: ")));
    const QByteArray rtf = ReadAll(H(QStringLiteral("App.rtf")));
    EXPECT_TRUE(rtf.endsWith("\\keepn Alpha\r\n\\par \\pard\\plain \\li120 \\f4\\fs20 Alpha text \\par\r\n}\r\n"))
        << rtf.right(200).constData();
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("Process end"));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(HelpDialog, CompilerForTheUserAndTheBuiltHelpFile)
{
    HelpHcwClick(Services, Project);
    EXPECT_EQ(CompilerArgs(), H(QStringLiteral("App.hpj")));

    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(Dir.path()));
    QString error;
    try {
        HelpShowClick(nullptr, Services, Project);
    } catch (const Exception &e) {
        error = e.message();
    }
    qputenv("PATH", savedPath);
    EXPECT_TRUE(error.contains(QStringLiteral("xdg-open"))) << error.toStdString();
    EXPECT_TRUE(error.contains(Dir.path() + QStringLiteral("/work/App.hlp"))) << error.toStdString();
}

// A stored compiler that is there but cannot start (no execute bit: not
// even root runs it) is shown with its name, then asked for again; the one
// chosen instead runs at once, and cancelling runs nothing more.
TEST_F(HelpDialog, CompilerThatCannotStartIsShownThenAskedForAgain)
{
    const QString script = QString::fromUtf8(ReadAll(Hcw));
    ::chmod(QFile::encodeName(Hcw).constData(), 0644);
    {
        ScriptedDialogs dialogs;
        HelpHcwClick(Services, Project);
        ASSERT_EQ(dialogs.log.size(), 3) << dialogs.log.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(dialogs.log[0].startsWith(QStringLiteral("error: "))) << dialogs.log[0].toStdString();
        EXPECT_TRUE(dialogs.log[0].endsWith(QLatin1Char('\n') + Hcw)) << dialogs.log[0].toStdString();
        EXPECT_EQ(dialogs.log[1], QStringLiteral("message: ") + LoadStr(txt::ProgramNotFound));
        EXPECT_TRUE(dialogs.log[2].startsWith(QStringLiteral("open: "))) << dialogs.log[2].toStdString();
    }
    EXPECT_FALSE(QFile::exists(Dir.path() + QStringLiteral("/hcw-args")));

    const QString good = Dir.path() + QStringLiteral("/good hcw");
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(script.toUtf8());
    f.close();
    ::chmod(QFile::encodeName(good).constData(), 0755);
    ScriptedDialogs dialogs;
    dialogs.answerFile(good);
    HelpHcwClick(Services, Project);
    EXPECT_EQ(CompilerArgs(), H(QStringLiteral("App.hpj")));
    ASSERT_EQ(dialogs.log.size(), 3) << dialogs.log.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(dialogs.log[0].endsWith(QLatin1Char('\n') + Hcw)) << dialogs.log[0].toStdString();
}

// "Show actual file Help" when the desktop has no program for .hlp files:
// xdg-open says so only on its standard error and by its status, so the
// user is told in a message that names the file, once it has ended.
class ShowHelpFile : public HelpDialog {
protected:
    void SetUp() override
    {
        HelpDialog::SetUp();
        SavedPath = qgetenv("PATH");
        HelpFile = Dir.path() + QStringLiteral("/work/App.hlp");
    }
    void TearDown() override
    {
        qputenv("PATH", SavedPath);
        HelpDialog::TearDown();
    }
    // An xdg-open of its own, alone on the PATH.
    void FakeXdgOpen(const QByteArray &body)
    {
        QDir().mkpath(Dir.path() + QStringLiteral("/bin"));
        const QString path = Dir.path() + QStringLiteral("/bin/xdg-open");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body);
        f.close();
        ::chmod(QFile::encodeName(path).constData(), 0755);
        qputenv("PATH", QFile::encodeName(Dir.path() + QStringLiteral("/bin")) + ":/usr/bin:/bin");
    }
    // Lets the end of xdg-open reach the UI thread.
    void Settle(int ms, bool untilMessage = true)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired() && !(untilMessage && !Dialogs.log.isEmpty())) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
        }
    }
    QString NoProgram(int status) const
    {
        return QStringLiteral("error: ") + LoadStr(txt::NoHelpViewer).arg(HelpFile).arg(status);
    }
    QByteArray SavedPath;
    QString HelpFile;
};

TEST_F(ShowHelpFile, NoProgramForTheFileIsToldWithItsName)
{
    FakeXdgOpen("echo \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
    QObject owner;
    ASSERT_NO_THROW(HelpShowClick(&owner, Services, Project));
    Settle(10000);
    ASSERT_EQ(Dialogs.log, QStringList{NoProgram(3)});
    EXPECT_TRUE(Dialogs.log.first().contains(QStringLiteral("\n") + HelpFile + QStringLiteral("\n")));
}

TEST_F(ShowHelpFile, AFileThatOpensIsNotReportedNorIsOneWhoseWindowWentAway)
{
    const QString ran = Dir.path() + QStringLiteral("/ran");
    FakeXdgOpen("touch '" + QFile::encodeName(ran) + "'\nexit 0\n");
    {
        QObject owner;
        HelpShowClick(&owner, Services, Project);
        QDeadlineTimer deadline(10000);
        while (!QFile::exists(ran) && !deadline.hasExpired())
            QThread::msleep(10);
        ASSERT_TRUE(QFile::exists(ran));
        Settle(500, false);
    }
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join('|').toStdString();

    // The help editor gone before xdg-open ends: nothing is shown, nothing
    // is called on the destroyed window.
    FakeXdgOpen("sleep 0.3\nexit 3\n");
    {
        QObject owner;
        HelpShowClick(&owner, Services, Project);
    }
    Settle(1500, false);
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join('|').toStdString();
}

// The real xdg-open outside a desktop, with no program set for any type and
// no browser: skipped where xdg-utils is not installed (the fake above runs
// everywhere).
TEST_F(ShowHelpFile, RealXdgOpenWithNoProgramSetUp)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        GTEST_SKIP() << "xdg-open is not installed";
    QDir().mkpath(Dir.path() + QStringLiteral("/work"));
    QFile help(HelpFile);
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("<html></html>");
    help.close();
    const QString empty = Dir.path() + QStringLiteral("/xdg");
    QDir().mkpath(empty);
    std::vector<std::pair<const char *, QByteArray>> saved;
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "BROWSER", "XDG_CURRENT_DESKTOP", "XDG_DATA_HOME",
                             "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "KDE_FULL_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "DESKTOP_SESSION"}) {
        saved.emplace_back(name, qgetenv(name));
        qunsetenv(name);
    }
    for (const char *name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
        qputenv(name, QFile::encodeName(empty));
    QObject owner;
    HelpShowClick(&owner, Services, Project);
    Settle(30000);
    for (const auto &[name, value] : saved)
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    ASSERT_EQ(Dialogs.log.size(), 1);
    EXPECT_TRUE(Dialogs.log.first().startsWith(QStringLiteral("error: No program could show the help file\n")
                                               + HelpFile + QStringLiteral("\n")))
        << Dialogs.log.first().toStdString();
}

} // namespace
