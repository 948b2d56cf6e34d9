#include "projects/ProjectGroups.h"

#include "SafeFile.h"
#include "TestServices.h"
#include "UnreadableEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QByteArray TwoGroups = "Tools\r\n"
                             "\tEditor;/src/edit.dpr\r\n"
                             "\tViewer;/src/view.dpr\r\n"
                             "Games\r\n"
                             "\tChess;/games/chess.dpr\r\n";

// "Group[label=path,...]" per root, for compact comparisons.
QString Shape(const TProjectGroups &groups)
{
    QStringList roots;
    for (const auto &root : groups.Roots()) {
        QStringList children;
        for (const auto &child : root->Children()) {
            QString entry = child->Text;
            if (child->Data)
                entry += QLatin1Char('=') + child->Data->GetData();
            children << entry;
        }
        roots << root->Text + QLatin1Char('[') + children.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    return roots.join(QLatin1Char(' '));
}

TProjectGroups Read(const QByteArray &bytes)
{
    TProjectGroups groups;
    groups.ReadText(bytes);
    return groups;
}

TEST(ProjGroupsFormat, TwoGroupsThreeProjectsRoundTripByteForByte)
{
    const TProjectGroups groups = Read(TwoGroups);
    EXPECT_EQ(Shape(groups),
              QStringLiteral("Tools[Editor=/src/edit.dpr,Viewer=/src/view.dpr] "
                             "Games[Chess=/games/chess.dpr]"));
    EXPECT_EQ(groups.NodeCount(), 5);
    EXPECT_EQ(groups.Roots()[0]->Data, nullptr);
    EXPECT_EQ(groups.WriteText(), TwoGroups);
}

TEST(ProjGroupsFormat, PathsAreKeptUpTo255Characters)
{
    const QString path240 = QLatin1Char('/') + QString(239, QLatin1Char('a'));
    const QString path300 = QLatin1Char('/') + QString(299, QLatin1Char('b'));
    const QByteArray bytes = "G\r\n\tLong;" + path240.toLatin1() + "\r\n\tLonger;"
        + path300.toLatin1() + "\r\n";
    const TProjectGroups groups = Read(bytes);
    const auto &projects = groups.Roots()[0]->Children();
    ASSERT_EQ(projects.size(), 2u);
    EXPECT_EQ(projects[0]->Data->GetData(), path240);
    EXPECT_EQ(projects[1]->Data->GetData(), path300.left(255));
    EXPECT_EQ(groups.WriteText(), "G\r\n\tLong;" + path240.toLatin1() + "\r\n\tLonger;"
                                      + path300.left(255).toLatin1() + "\r\n");
    EXPECT_EQ(TData(path300).GetData().size(), 255);
}

TEST(ProjGroupsFormat, IndentIsCountedInTabsAndBlanks)
{
    // One blank instead of a tab still makes a project; written back with a tab.
    const TProjectGroups groups = Read("G\r\n X;/p/x.dpr\r\n \tDeep\r\n");
    EXPECT_EQ(Shape(groups), QStringLiteral("G[X=/p/x.dpr]"));
    ASSERT_EQ(groups.Roots()[0]->Children()[0]->Children().size(), 1u);
    EXPECT_EQ(groups.Roots()[0]->Children()[0]->Children()[0]->Text, QStringLiteral("Deep"));
    EXPECT_EQ(groups.WriteText(), "G\r\n\tX;/p/x.dpr\r\n\t\tDeep\r\n");
}

TEST(ProjGroupsFormat, LinesEndAtCrAtLfOrCrLf)
{
    const QString expected = QStringLiteral("A[P=/a.dpr] B[Q=/b.dpr]");
    EXPECT_EQ(Shape(Read("A\r\tP;/a.dpr\rB\r\tQ;/b.dpr\r")), expected);
    EXPECT_EQ(Shape(Read("A\n\tP;/a.dpr\nB\n\tQ;/b.dpr")), expected);
    EXPECT_EQ(Shape(Read("A\r\n\tP;/a.dpr\nB\r\tQ;/b.dpr\r\n")), expected);
    // LF then CR is two line ends: an empty group between.
    EXPECT_EQ(Shape(Read("A\n\rB\r\n")), QStringLiteral("A[] [] B[]"));
    EXPECT_EQ(Read("A\r\n\tP;/a.dpr\rB\n").WriteText(), "A\r\n\tP;/a.dpr\r\nB\r\n");
}

TEST(ProjGroupsFormat, NulEndsTheTextAndEndOfFileMarkIsSkipped)
{
    EXPECT_EQ(Shape(Read(QByteArray("A\r\n\tP;/a.dpr\r\n\0B\r\n", 18))),
              QStringLiteral("A[P=/a.dpr]"));
    EXPECT_EQ(Shape(Read("A\r\n\x1a\r\n\tP;/a.dpr\r\n\x1a")), QStringLiteral("A[P=/a.dpr]"));
    // Only a line that is the mark alone.
    EXPECT_EQ(Shape(Read("A\r\n\x1a\x1a\r\n")), QStringLiteral("A[] \x1a\x1a[]"));
    EXPECT_EQ(Read(QByteArray()).NodeCount(), 0);
    EXPECT_EQ(Read(QByteArray()).WriteText(), QByteArray());
}

TEST(ProjGroupsFormat, FirstLineMayStartOneLevelDown)
{
    // It becomes a group; the next one-tab line is its project.
    const TProjectGroups groups = Read("\tLoose\r\n\tP;/p.dpr\r\n");
    EXPECT_EQ(Shape(groups), QStringLiteral("Loose[P=/p.dpr]"));
    EXPECT_EQ(groups.WriteText(), "Loose\r\n\tP;/p.dpr\r\n");
    TProjectGroups tooDeep;
    EXPECT_THROW(tooDeep.ReadText("\t\tX\r\n"), EInvalidLevel);
    EXPECT_EQ(tooDeep.NodeCount(), 0);
}

TEST(ProjGroupsFormat, TwoTabJumpStopsLoadingAndKeepsTheRestForWriting)
{
    const QByteArray bytes = "Tools\r\n\tEditor;/src/edit.dpr\r\nGames\r\n\t\tBad;/x.dpr\r\n"
                             "Other\n\tKept;/k.dpr";
    TProjectGroups groups;
    try {
        groups.ReadText(bytes);
        FAIL() << "no level error";
    } catch (const EInvalidLevel &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid item level assignment"));
    }
    // Nodes before the bad line stay, already split into label and path.
    EXPECT_EQ(Shape(groups), QStringLiteral("Tools[Editor=/src/edit.dpr] Games[]"));
    EXPECT_EQ(groups.Unread(), "\t\tBad;/x.dpr\r\nOther\n\tKept;/k.dpr");
    EXPECT_EQ(groups.WriteText(), bytes);

    // A later clean load forgets the old rest.
    groups.ReadText(TwoGroups);
    EXPECT_TRUE(groups.Unread().isEmpty());
    EXPECT_EQ(groups.WriteText(), TwoGroups);
}

TEST(ProjGroupsFormat, LabelAndPathSplitAtTheFirstSemicolon)
{
    const TProjectGroups groups = Read("G;x\r\n\tA;/p;q.dpr\r\n\tNoPath\r\n\t;/only/path\r\n");
    // Groups are never split.
    EXPECT_EQ(Shape(groups), QStringLiteral("G;x[A=/p;q.dpr,NoPath=NoPath,=/only/path]"));
    EXPECT_EQ(groups.WriteText(), "G;x\r\n\tA;/p;q.dpr\r\n\tNoPath;NoPath\r\n\t;/only/path\r\n");
}

TEST(ProjGroupsFormat, EmptyLabelIsWrittenAsTabSemicolonAndPath)
{
    TProjectGroups groups = Read(TwoGroups);
    groups.Roots()[1]->Children()[0]->Text.clear();
    EXPECT_EQ(groups.WriteText(), "Tools\r\n"
                                  "\tEditor;/src/edit.dpr\r\n"
                                  "\tViewer;/src/view.dpr\r\n"
                                  "Games\r\n"
                                  "\t;/games/chess.dpr\r\n");
}

TEST(ProjGroupsFormat, TextsAreWrittenSoTheyReadBackTheSame)
{
    TProjectGroups groups;
    TProjectNode *group = groups.AddRoot(QStringLiteral("  \tIndented;group"));
    TProjectNode *project = group->AddChild(QStringLiteral(" a;b\r\nc"));
    project->Data = std::make_unique<TData>(QStringLiteral("/p\n.dpr"));
    TProjectNode *bare = group->AddChild(QStringLiteral("bare"));
    const QByteArray text = groups.WriteText();
    EXPECT_EQ(text, "Indented;group\r\n\tabc;/p.dpr\r\n\tbare;\r\n");
    EXPECT_EQ(Shape(Read(text)), QStringLiteral("Indented;group[abc=/p.dpr,bare=]"));
    (void)bare;

    EXPECT_EQ(TProjectGroups::CleanText(QStringLiteral(" x;y "), true), QStringLiteral("xy "));
    EXPECT_EQ(TProjectGroups::CleanText(QStringLiteral(" x;y "), false), QStringLiteral("x;y "));
}

TEST(ProjGroupsFormat, TextIsInTheAnsiCodePage)
{
    const QByteArray bytes = "Caf\xe9\r\n\tPrice \x80;/s/\xe0.dpr\r\n";
    const TProjectGroups groups = Read(bytes);
    EXPECT_EQ(Shape(groups), QString::fromUtf8("Café[Price €=/s/à.dpr]"));
    EXPECT_EQ(groups.WriteText(), bytes);
}

// Paths under a Linux home are often outside Windows-1252: the whole file
// is then UTF-8, and reads back the same.
TEST(ProjGroupsFormat, TextOutsideTheCodePageMakesTheFileUtf8)
{
    TProjectGroups groups;
    TProjectNode *group = groups.AddRoot(QString::fromUtf8("Проекты"));
    group->AddChild(QString::fromUtf8("Café"))->Data =
        std::make_unique<TData>(QString::fromUtf8("/home/u/Проекты/p.dpr"));
    const QByteArray bytes = groups.WriteText();
    EXPECT_EQ(bytes, QString::fromUtf8("Проекты\r\n\tCafé;/home/u/Проекты/p.dpr\r\n").toUtf8());
    const TProjectGroups again = Read(bytes);
    EXPECT_EQ(Shape(again), QString::fromUtf8("Проекты[Café=/home/u/Проекты/p.dpr]"));
    EXPECT_EQ(again.WriteText(), bytes);
}

TEST(ProjGroupsFormat, EveryHighByteComesBackAsItself)
{
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high += char(b);
    const QByteArray bytes = "G" + high + "\r\n\tP" + high + ";/p/" + high + "\r\n";
    EXPECT_EQ(Read(bytes).WriteText(), bytes);
}

TEST(ProjGroupsFormat, RestAfterANulIsKeptForTheNextSave)
{
    const QByteArray bytes("A\r\n\tP;/a.dpr\r\n\0B\r\n\tQ;/q.dpr\r\n", 29);
    TProjectGroups groups = Read(bytes);
    EXPECT_EQ(Shape(groups), QStringLiteral("A[P=/a.dpr]"));
    EXPECT_EQ(groups.Unread(), QString::fromLatin1(bytes.mid(14)));
    EXPECT_EQ(groups.WriteText(), bytes);

    // A NUL inside a line ends it; the line is written with its line end.
    const QByteArray inLine("A\r\nBB\0CC\xE9", 9);
    const QByteArray once = Read(inLine).WriteText();
    EXPECT_EQ(once, QByteArray("A\r\nBB\r\n\0CC\xE9", 11));
    EXPECT_EQ(Read(once).WriteText(), once);

    // A level error before the NUL keeps everything after it as well.
    const QByteArray both("A\r\n\t\tX\r\n\0tail", 13);
    TProjectGroups broken;
    EXPECT_THROW(broken.ReadText(both), EInvalidLevel);
    EXPECT_EQ(broken.WriteText(), both);
}

// Texts that would read back as another tree: the end-of-file mark as a
// whole group line, and halves of surrogate pairs that no encoding holds.
TEST(ProjGroupsFormat, EndOfFileMarkAndSurrogateHalvesAreCleaned)
{
    const QString mark(QChar(26));
    EXPECT_EQ(TProjectGroups::CleanText(mark, 0), QString());
    EXPECT_EQ(TProjectGroups::CleanText(QStringLiteral("\t") + mark, 0), QString());
    // Only alone on a group line is it the mark.
    EXPECT_EQ(TProjectGroups::CleanText(mark + mark, 0), mark + mark);
    EXPECT_EQ(TProjectGroups::CleanText(mark, 1), mark);
    EXPECT_EQ(TProjectGroups::CleanText(mark, 2), mark);

    // Typed as a group name.
    TProjectGroups typed;
    typed.AddRoot(mark)->AddChild(QStringLiteral("P"))->Data = std::make_unique<TData>(QStringLiteral("/p"));
    EXPECT_EQ(Shape(Read(typed.WriteText())), QStringLiteral("[P=/p]"));
    // Read from a file whose first line starts one level down.
    const TProjectGroups fromFile = Read("\t\x1a\r\n\tP;/p\r\n");
    EXPECT_EQ(Shape(fromFile), QStringLiteral("\x1a[P=/p]"));
    EXPECT_EQ(Shape(Read(fromFile.WriteText())), QStringLiteral("[P=/p]"));

    const QString smile = QString::fromUtf8("😀");
    const QString halves = QStringLiteral("a") + smile.at(0) + QStringLiteral("b") + smile.at(1);
    EXPECT_EQ(TProjectGroups::CleanText(halves + smile, 0), QStringLiteral("ab") + smile);
    // A path cut at 255 does not split a pair.
    const QString path = QString(254, QLatin1Char('p')) + smile;
    EXPECT_EQ(TData(path).GetData(), QString(254, QLatin1Char('p')));
}

class ProjGroupsFile : public ::testing::Test {
protected:
    QString path(const char *name = "proj.dat") const
    {
        return FDir.path() + QLatin1Char('/') + QLatin1String(name);
    }
    void write(const QByteArray &bytes) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray read() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QTemporaryDir FDir;
};

TEST_F(ProjGroupsFile, MissingFileCannotBeOpened)
{
    TProjectGroups groups;
    groups.ReadText(TwoGroups);
    try {
        groups.LoadFromFile(path());
        FAIL() << "loaded a missing file";
    } catch (const EInOutError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot open file ") + path());
    }
    EXPECT_EQ(groups.NodeCount(), 0);
}

TEST_F(ProjGroupsFile, FailedSaveKeepsTheOldFileWhole)
{
    write(TwoGroups);
    TProjectGroups groups;
    groups.LoadFromFile(path());
    groups.ClearNodes();
    groups.AddRoot(QStringLiteral("Only"));
    {
        FailWrites failing;
        EXPECT_THROW(groups.SaveToFile(path(), SharedTestWriter()), EInOutError);
    }
    EXPECT_EQ(read(), TwoGroups);
    groups.SaveToFile(path(), SharedTestWriter());
    EXPECT_EQ(read(), "Only\r\n");
}

// What a user can put where proj.dat is expected. Root cannot read these
// as data either, so they run everywhere; a write would replace the pipe
// and the large file if nothing stopped it.
TEST_F(ProjGroupsFile, UnreadableFileIsNotReplaced)
{
    for (const TUnreadableEntry &entry : UnreadableEntries()) {
        SCOPED_TRACE(entry.name);
        ASSERT_TRUE(entry.make(path()));
        const QString before = EntryState(path());
        TProjectGroups groups;
        EXPECT_THROW(groups.LoadFromFile(path()), EInOutError);
        groups.AddRoot(QStringLiteral("New"));
        const int writes = SharedTestWriter().writes;
        try {
            groups.SaveToFile(path(), SharedTestWriter());
            ADD_FAILURE() << "saved";
        } catch (const EInOutError &e) {
            EXPECT_TRUE(e.message().startsWith(
                QStringLiteral("Cannot write %1: it could not be read").arg(path())))
                << e.message().toStdString();
        }
        EXPECT_EQ(SharedTestWriter().writes, writes);
        EXPECT_EQ(EntryState(path()), before);
        RemoveEntry(path());
    }
}

// The same with no read permission; root reads it anyway, so this variant
// skips as root (the cases above run there).
TEST_F(ProjGroupsFile, FileWithoutReadPermissionIsNotReplaced)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    write(TwoGroups);
    QFile::setPermissions(path(), QFileDevice::WriteOwner);
    TProjectGroups groups;
    EXPECT_THROW(groups.LoadFromFile(path()), EInOutError);
    EXPECT_THROW(groups.SaveToFile(path(), SharedTestWriter()), EInOutError);
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(read(), TwoGroups);
}

// Only a file this object read in full may be replaced.
TEST_F(ProjGroupsFile, OnlyAFileReadInFullIsReplaced)
{
    TProjectGroups groups;
    EXPECT_THROW(groups.LoadFromFile(path()), EInOutError);
    // Missing when loaded: the first save creates it.
    groups.AddRoot(QStringLiteral("Mine"));
    groups.SaveToFile(path(), SharedTestWriter());
    EXPECT_EQ(read(), "Mine\r\n");

    // A file that appeared after a missing load was never read.
    TProjectGroups late;
    EXPECT_THROW(late.LoadFromFile(path("other.dat")), EInOutError);
    QFile::copy(path(), path("other.dat"));
    EXPECT_THROW(late.SaveToFile(path("other.dat"), SharedTestWriter()), EInOutError);
    // Nor is a file the object never loaded.
    EXPECT_THROW(TProjectGroups().SaveToFile(path(), SharedTestWriter()), EInOutError);
    EXPECT_EQ(read(), "Mine\r\n");

    // A level error still reads the file in full: it may be saved.
    write("A\r\n\t\tB\r\n");
    TProjectGroups faulty;
    EXPECT_THROW(faulty.LoadFromFile(path()), EInvalidLevel);
    faulty.SaveToFile(path(), SharedTestWriter());
    EXPECT_EQ(read(), "A\r\n\t\tB\r\n");
}

} // namespace
