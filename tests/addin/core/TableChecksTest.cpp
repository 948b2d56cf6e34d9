// The two commands that need a project table open it first, creating the
// directory and the table when the user agrees.
#include "AddinSession.h"
#include "TestDirs.h"
#include "InMemoryHost.h"
#include "ModalDriver.h"
#include "ScriptedDialogs.h"

#include "core/DM.h"
#include "expert/QuorbelExpert.h"
#include "core/StringTable.h"
#include "helpeditor/FAyuda.h"

#include "Windows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

const QString StringsItem = QStringLiteral("IdeExpt3");
const QString HelpItem = QStringLiteral("EditAyudaItem");

class TableChecks : public ::testing::Test {
protected:
    void SetUp() override { Project = Dir.path() + QStringLiteral("/work/App.dpr"); }
    void TearDown() override
    {
        if (QWidget *help = FindWindow(QStringLiteral("TFAyudaW")))
            help->hide();
    }
    // "String &Table": the window it opens is closed at once.
    void Strings()
    {
        RejectNextModal();
        Host.click(StringsItem);
    }
    QString ProjectDir() const { return Dir.path() + QStringLiteral("/work"); }

    QTemporaryDir Dir;
    QString Project;
    InMemoryHost Host;
};

TEST_F(TableChecks, DefaultProjectNameGetsItsNoticeInAnyCase)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(ProjectDir() + QStringLiteral("/project1.DPR"));
    QDir().mkpath(ProjectDir());
    dialogs.answerNo();
    dialogs.answerNo();
    Strings();
    Host.click(HelpItem);
    EXPECT_EQ(dialogs.log, QStringList({QStringLiteral("message: ") + LoadStr(txt::AskCreateLanguage),
                                        QStringLiteral("question: ") + LoadStr(txt::AskCreateLanguage),
                                        QStringLiteral("message: ") + LoadStr(txt::MoveLangDirectory),
                                        QStringLiteral("question: ") + LoadStr(txt::AskInitHelp)}));
    // No keeps both closed and creates nothing.
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_FALSE(SYS->Table2.Active());
    EXPECT_EQ(QDir(ProjectDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_FALSE(FindWindow(QStringLiteral("TFAyudaW"))->isVisible());
}

TEST_F(TableChecks, YesCreatesTheLanguageTableAndTheNextCommandDoesNotAsk)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    dialogs.answerYes();
    Strings();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("question: ") + LoadStr(txt::AskCreateLanguage)});
    ASSERT_TRUE(SYS->Table1.Active());
    EXPECT_TRUE(QFile::exists(ProjectDir() + QStringLiteral("/LANG/language.db")));
    EXPECT_EQ(SYS->Table1.RecordCount(), 0);
    EXPECT_EQ(SYS->Table1.IndexName(), QStringLiteral("L1"));
    // Field i is language i + 1; the identifier comes last.
    ASSERT_EQ(SYS->Table1.FieldCount(), 8);
    EXPECT_EQ(SYS->Table1.Fields(0), SYS->CampoF1);
    EXPECT_EQ(SYS->Table1.Fields(6)->FieldName(), QStringLiteral("L7"));
    EXPECT_EQ(SYS->Table1.Fields(7), SYS->Campoidst);
    EXPECT_EQ(SYS->Campoidst->Size(), 40);
    EXPECT_EQ(SYS->CampoF7->Size(), 255);
    QStringList indexes;
    for (const TIndexDef &index : SYS->Table1.IndexDefs)
        indexes << index.Name + QLatin1Char(':') + index.Fields + (index.Primary ? QStringLiteral("!") : QString());
    EXPECT_EQ(indexes, QStringList({QStringLiteral("prymary:idst!"), QStringLiteral("L1:L1"), QStringLiteral("L2:L2"),
                                    QStringLiteral("L3:L3"), QStringLiteral("L4:L4"), QStringLiteral("L5:L5"),
                                    QStringLiteral("L6:L6"), QStringLiteral("L7:L7")}));

    QSignalSpy reopened(&SYS->Table1, &TDataSet::StateChanged);
    Strings();
    EXPECT_EQ(dialogs.log.size(), 1);
    EXPECT_EQ(reopened.count(), 0);
}

TEST_F(TableChecks, YesCreatesTheHelpTableWithItsPicturesAndPointsTheQueryThere)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    dialogs.answerYes();
    Host.click(HelpItem);
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("question: ") + LoadStr(txt::AskInitHelp)});
    const QString hlp = ProjectDir() + QStringLiteral("/HLP");
    ASSERT_TRUE(SYS->Table2.Active());
    EXPECT_TRUE(FindWindow(QStringLiteral("TFAyudaW"))->isVisible());
    EXPECT_EQ(SYS->Query1.DatabaseName, hlp);
    EXPECT_EQ(SYS->Table2Map->DataType(), TFieldType::AutoInc);
    EXPECT_EQ(SYS->Table2TExto->DataType(), TFieldType::Memo);
    EXPECT_EQ(SYS->Table2Titulo->Size(), 40);

    for (const auto &[name, width, height] : {std::tuple{"bola.bmp", 20, 19}, std::tuple{"boton.bmp", 15, 15}}) {
        QImage image(hlp + QLatin1Char('/') + QString::fromLatin1(name));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), QSize(width, height)) << name;
        EXPECT_EQ(image.format(), QImage::Format_Indexed8) << name;
        EXPECT_EQ(image.colorCount(), 256) << name;
        // A picture, not a blank.
        EXPECT_NE(image.pixelIndex(width / 2, height / 2), image.pixelIndex(0, height - 1)) << name;
    }

    // The subtopic selection runs on the new table.
    SYS->Table2.Append();
    SYS->Table2Titulo->SetAsString(QStringLiteral("Child"));
    SYS->Table2parent->SetAsInteger(7);
    SYS->Table2.Post();
    SYS->Query1.ParamByName(QStringLiteral("Numero")).SetAsInteger(7);
    SYS->Query1.Open();
    ASSERT_FALSE(SYS->Query1.Eof());
    EXPECT_EQ(SYS->Query1Titulo->AsString(), QStringLiteral("Child"));
    SYS->Query1.Close();
}

TEST_F(TableChecks, ExistingTablesAreFoundWhateverTheCaseOfTheirNames)
{
    QDir().mkpath(ProjectDir() + QStringLiteral("/lang"));
    QDir().mkpath(ProjectDir() + QStringLiteral("/Hlp"));
    CreateLanguageTable(ProjectDir() + QStringLiteral("/lang"));
    QFile::rename(ProjectDir() + QStringLiteral("/lang/language.db"), ProjectDir() + QStringLiteral("/lang/LANGUAGE.DB"));
    // A help table from before the subtopic index.
    {
        TTable old;
        old.DatabaseName = ProjectDir() + QStringLiteral("/Hlp");
        old.TableName = QStringLiteral("ayuda.DB");
        old.FieldDefs = HelpTableFields();
        old.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("Titulo;parent"), true}};
        old.CreateTable();
    }
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    Strings();
    Host.click(HelpItem);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(SYS->Table1.Active());
    ASSERT_TRUE(SYS->Table2.Active());
    EXPECT_EQ(QDir(ProjectDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({QStringLiteral("Hlp"), QStringLiteral("lang")}));
    const auto &indexes = SYS->Table2.IndexDefs;
    EXPECT_TRUE(std::any_of(indexes.begin(), indexes.end(),
                            [](const TIndexDef &i) { return i.Fields == QLatin1String("parent"); }));
}

TEST_F(TableChecks, DirectoryThatCannotBeMadeGivesTheOneTableError)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    QDir().mkpath(ProjectDir());
    // Files stand where the directories would go.
    for (const char *name : {"/LANG", "/HLP"}) {
        QFile blocker(ProjectDir() + QString::fromLatin1(name));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    dialogs.answerYes();
    dialogs.answerYes();
    Host.click(StringsItem);
    Host.click(HelpItem);
    const auto error = [&](const char *sub, const char *table) {
        const QString dir = ProjectDir() + QString::fromLatin1(sub);
        return QStringLiteral("error: ") + LoadStr(txt::TableAccessError) + QLatin1Char('\n') + dir + QLatin1Char('/')
            + QString::fromLatin1(table) + QStringLiteral("\nCannot create the directory ") + dir;
    };
    EXPECT_EQ(dialogs.log, QStringList({QStringLiteral("question: ") + LoadStr(txt::AskCreateLanguage),
                                        error("/LANG", "language.db"),
                                        QStringLiteral("question: ") + LoadStr(txt::AskInitHelp), error("/HLP", "Ayuda.db")}));
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_FALSE(SYS->Table2.Active());
    EXPECT_FALSE(FindWindow(QStringLiteral("TFAyudaW"))->isVisible());
}

QByteArray Bytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void Write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A table file of the store that SQLite keeps in its rollback journal, as
// another program would leave it: opening it for use would rewrite its header.
void RollbackModeTable(const QString &path, const QString &create)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(create));
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO t VALUES ('a', 'b')")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

// Every file that is no table of the store is refused where it stands,
// without a question: the one table error, then the file, then why. Its
// bytes stay as they were, and nothing waits on a pipe.
TEST_F(TableChecks, FilesThatAreNoTablesAreRefusedWithTheFileAndTheReason)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    const QString lang = ProjectDir() + QStringLiteral("/LANG");
    const QString file = lang + QStringLiteral("/language.db");

    QByteArray table; // a whole language table of a few pages, for the cut
    {
        QTemporaryDir other;
        CreateLanguageTable(other.path());
        TTable t;
        t.DatabaseName = other.path();
        t.TableName = QStringLiteral("language.db");
        t.Open();
        for (int i = 0; i < 40; ++i) {
            t.Append();
            t.FieldByName(QStringLiteral("idst"))->SetAsString(QStringLiteral("ID%1").arg(i));
            t.FieldByName(QStringLiteral("L1"))->SetAsString(QString(200, QLatin1Char('a' + i % 26)));
            t.Post();
        }
        t.Close();
        table = Bytes(other.path() + QStringLiteral("/language.db"));
        ASSERT_GT(table.size(), 8 * 4096);
    }
    QByteArray random(4096, '\0');
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);

    struct Case {
        const char *name;
        std::function<void()> make;
        QString reason; // the start of the last line
    };
    const std::vector<Case> cases = {
        {"text of another format", [&] { Write(file, "idst;L1\r\nHELLO;Hello\r\n"); },
         QStringLiteral("It is not a table file (another format).")},
        {"random bytes", [&] { Write(file, random); }, QStringLiteral("It is not a table file (another format).")},
        {"a cut table", [&] { Write(file, table.left(table.size() / 2 + 100)); }, QStringLiteral("It is damaged or cut short")},
        {"a directory", [&] { QDir().mkpath(file); }, QStringLiteral("It is a directory, not a table file.")},
        {"a pipe", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0); },
         QStringLiteral("It is not a regular file (a pipe, a device or a socket).")},
        {"a table of another kind",
         [&] { RollbackModeTable(file, QStringLiteral("CREATE TABLE t (idst VARCHAR(40), L1 VARCHAR(255))")); },
         QStringLiteral("It holds a table of another kind, without the field L2.")},
        {"two tables", [&] {
             RollbackModeTable(file, QStringLiteral("CREATE TABLE t (a, b)"));
             RollbackModeTable(file, QStringLiteral("CREATE TABLE u (a, b)"));
         },
         QStringLiteral("It holds 2 tables, not one: t, u.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RemoveInside(Dir, lang);
        QDir().mkpath(lang);
        c.make();
        const QByteArray before = QFileInfo(file).isFile() ? Bytes(file) : QByteArray();
        dialogs.log.clear();

        // A reader that blocked on the pipe is let go after a while, so a
        // fault fails the test instead of hanging it.
        std::atomic<bool> done = false;
        std::thread unblock([&] {
            for (int i = 0; i < 50 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (done)
                return;
            const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                (void)!::write(fd, "garbage", 7);
                ::close(fd);
            }
        });
        QElapsedTimer timer;
        timer.start();
        Host.click(StringsItem);
        const qint64 took = timer.elapsed();
        done = true;
        unblock.join();
        EXPECT_LT(took, 4000);

        ASSERT_EQ(dialogs.log.size(), 1) << dialogs.log.join(QLatin1Char('|')).toStdString();
        const QStringList lines = dialogs.log[0].split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 3) << dialogs.log[0].toStdString();
        EXPECT_EQ(lines[0], QStringLiteral("error: ") + LoadStr(txt::TableAccessError));
        EXPECT_EQ(lines[1], file);
        EXPECT_TRUE(lines[2].startsWith(c.reason)) << lines[2].toStdString();
        EXPECT_FALSE(SYS->Table1.Active());
        if (QFileInfo(file).isFile()) {
            EXPECT_TRUE(Bytes(file) == before) << "the refused file was changed";
        }
    }
    // The removal of the last one's directory leaves nothing behind either.
    RemoveInside(Dir, lang);
}

// The help table says the same of its own file.
TEST_F(TableChecks, AHelpFileThatIsNoHelpTableIsNamedInItsError)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    const QString hlp = ProjectDir() + QStringLiteral("/HLP");
    QDir().mkpath(hlp);
    CreateLanguageTable(hlp);
    const QString file = hlp + QStringLiteral("/Ayuda.db");
    ASSERT_TRUE(QFile::rename(hlp + QStringLiteral("/language.db"), file));
    const QByteArray before = Bytes(file);
    Host.click(HelpItem);
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("error: ") + LoadStr(txt::TableAccessError) + QLatin1Char('\n') + file
                                       + QStringLiteral("\nIt holds a table of another kind, without the field Titulo.")});
    EXPECT_FALSE(SYS->Table2.Active());
    EXPECT_FALSE(FindWindow(QStringLiteral("TFAyudaW"))->isVisible());
    EXPECT_EQ(Bytes(file), before);
}

// An empty file holds no table yet: it is offered for creation like a
// missing one, and kept as it is when the user says No.
TEST_F(TableChecks, AnEmptyFileIsReplacedOnlyAfterTheQuestion)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    const QString lang = ProjectDir() + QStringLiteral("/LANG");
    QDir().mkpath(lang);
    const QString file = lang + QStringLiteral("/language.db");
    Write(file, {});
    dialogs.answerNo();
    Strings();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("question: ") + LoadStr(txt::AskCreateLanguage)});
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_TRUE(QFileInfo(file).isFile());
    EXPECT_EQ(QFileInfo(file).size(), 0);

    dialogs.answerYes();
    Strings();
    EXPECT_EQ(dialogs.log.size(), 2);
    ASSERT_TRUE(SYS->Table1.Active());
    EXPECT_EQ(SYS->Table1.FieldCount(), 8);
}

TEST_F(TableChecks, NoProjectDoesNothing)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.click(StringsItem);
    Host.click(HelpItem);
    EXPECT_TRUE(dialogs.log.isEmpty());
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_FALSE(SYS->Table2.Active());
}

TEST_F(TableChecks, ProjectCloseClosesBothAndTheNextProjectGetsItsOwn)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    dialogs.answerYes();
    dialogs.answerYes();
    Strings();
    Host.click(HelpItem);
    ASSERT_TRUE(SYS->Table1.Active() && SYS->Table2.Active());
    QStringList closes;
    QObject::connect(&SYS->Table1, &TDataSet::StateChanged, [&] { closes << QStringLiteral("Table1"); });
    QObject::connect(&SYS->Table2, &TDataSet::StateChanged, [&] { closes << QStringLiteral("Table2"); });
    Host.notify(fnProjectClosing, Project);
    EXPECT_EQ(closes, QStringList({QStringLiteral("Table1"), QStringLiteral("Table2")}));
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_FALSE(SYS->Table2.Active());

    const QString other = Dir.path() + QStringLiteral("/other/Other.dpr");
    Host.setProject(other);
    dialogs.answerYes();
    Strings();
    ASSERT_TRUE(SYS->Table1.Active());
    EXPECT_EQ(SYS->Table1.DatabaseName, Dir.path() + QStringLiteral("/other/LANG"));
    EXPECT_EQ(dialogs.log.size(), 3);
}

// Help Proyect shows the editor on the project's topics; the next project's
// table empties the tree, so its own topics are shown, not the old ones.
TEST_F(TableChecks, HelpProyectShowsTheTopicsOfTheProjectOpenNow)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    dialogs.answerYes();
    Host.click(HelpItem);
    auto *editor = qobject_cast<TFAyudaW *>(FindWindow(QStringLiteral("TFAyudaW")));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->ProjectFileName, Project);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(editor->isModal());
    EXPECT_EQ(editor->Root()->childCount(), 0);
    editor->TreeView1->setCurrentItem(editor->Root());
    editor->Nuevo1Click();
    editor->TreeView1Edited(editor->TreeView1->currentItem(), QStringLiteral("First"));
    EXPECT_EQ(editor->Root()->child(0)->text(0), QStringLiteral("First"));

    Host.notify(fnProjectClosing, Project);
    EXPECT_FALSE(editor->isVisible());
    ASSERT_EQ(editor->TreeView1->topLevelItemCount(), 1); // kept while hidden

    const QString other = Dir.path() + QStringLiteral("/other/Other.dpr");
    Host.setProject(other);
    dialogs.answerYes();
    Host.click(HelpItem);
    EXPECT_EQ(editor->ProjectFileName, other);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->Root()->childCount(), 0);
}

} // namespace
