#include "TableStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <csignal>
#include <map>

#include <sys/resource.h>

#include <gtest/gtest.h>

namespace {

// The shapes of the two project tables, written out here so the store is
// tested on its own.
void MakeStrings(const QString &dir, const QString &name = QStringLiteral("language.db"))
{
    TTable t;
    t.DatabaseName = dir;
    t.TableName = name;
    t.FieldDefs = {{QStringLiteral("idst"), TFieldType::String, 40, false},
                   {QStringLiteral("L1"), TFieldType::String, 255, false},
                   {QStringLiteral("L2"), TFieldType::String, 255, false}};
    t.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("idst"), true},
                   {QStringLiteral("L1"), QStringLiteral("L1"), false},
                   {QStringLiteral("L2"), QStringLiteral("L2"), false}};
    t.CreateTable();
}

void MakeTopics(const QString &dir)
{
    TTable t;
    t.DatabaseName = dir;
    t.TableName = QStringLiteral("Ayuda.db");
    t.FieldDefs = {{QStringLiteral("Titulo"), TFieldType::String, 40, false},
                   {QStringLiteral("parent"), TFieldType::Integer, 0, false},
                   {QStringLiteral("Level"), TFieldType::String, 1, false},
                   {QStringLiteral("Map"), TFieldType::AutoInc, 0, false},
                   {QStringLiteral("Popup"), TFieldType::Boolean, 0, false},
                   {QStringLiteral("Keyword"), TFieldType::String, 255, false},
                   {QStringLiteral("TExto"), TFieldType::Memo, 255, false}};
    t.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("Titulo;parent"), true},
                   {QStringLiteral("parent"), QStringLiteral("parent"), false}};
    t.CreateTable();
}

class Tables : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeStrings(FDir.path());
        MakeTopics(FDir.path());
        Strings.DatabaseName = Topics.DatabaseName = FDir.path();
        Strings.TableName = QStringLiteral("language.db");
        Topics.TableName = QStringLiteral("Ayuda.db");
        Strings.Open();
        Topics.Open();
    }

    void AddString(const QString &id, const QString &l1, const QString &l2 = {})
    {
        Strings.Append();
        Strings.FieldByName(QStringLiteral("idst"))->SetAsString(id);
        Strings.FieldByName(QStringLiteral("L1"))->SetAsString(l1);
        Strings.FieldByName(QStringLiteral("L2"))->SetAsString(l2);
        Strings.Post();
    }
    // Returns the new topic's Map.
    int AddTopic(const QString &title, int parent = -1)
    {
        Topics.Append();
        Topics.FieldByName(QStringLiteral("Titulo"))->SetAsString(title);
        if (parent < 0)
            Topics.FieldByName(QStringLiteral("Level"))->SetAsString(QStringLiteral("1"));
        else
            Topics.FieldByName(QStringLiteral("parent"))->SetAsInteger(parent);
        Topics.Post();
        return Topics.FieldByName(QStringLiteral("map"))->AsInteger();
    }
    static QStringList Column(TTable &t, const QString &field)
    {
        QStringList values;
        for (t.First(); !t.Eof(); t.Next())
            values << t.FieldByName(field)->AsString();
        return values;
    }

    QTemporaryDir FDir;
    TTable Strings;
    TTable Topics;
};

TEST_F(Tables, DuplicatePrimaryKeysAreRefusedEmptyOnesIncluded)
{
    AddString(QStringLiteral("IDS_A"), QStringLiteral("a"));
    EXPECT_THROW(AddString(QStringLiteral("IDS_A"), QStringLiteral("again")), EKeyViolation);
    // The refused record stays in the buffer until cancelled.
    EXPECT_EQ(Strings.State(), TDataSetState::Insert);
    Strings.Cancel();

    AddString(QString(), QStringLiteral("blank"));
    EXPECT_THROW(AddString(QString(), QStringLiteral("blank too")), EKeyViolation);
    Strings.Cancel();
    EXPECT_EQ(Strings.RecordCount(), 2);

    // Changing a key into another record's key is refused as well.
    AddString(QStringLiteral("IDS_B"), QStringLiteral("b"));
    Strings.Edit();
    Strings.FieldByName(QStringLiteral("idst"))->SetAsString(QStringLiteral("IDS_A"));
    EXPECT_THROW(Strings.Post(), EKeyViolation);
    EXPECT_EQ(Strings.State(), TDataSetState::Edit);
    Strings.Cancel();
    EXPECT_EQ(Column(Strings, QStringLiteral("idst")),
              QStringList({QString(), QStringLiteral("IDS_A"), QStringLiteral("IDS_B")}));
    // Emptied, a key meets the other empty one, which SQLite's own unique
    // index lets by.
    ASSERT_TRUE(Strings.Locate(QStringLiteral("idst"), QStringLiteral("IDS_B")));
    Strings.Edit();
    Strings.FieldByName(QStringLiteral("idst"))->SetAsString(QString());
    EXPECT_THROW(Strings.Post(), EKeyViolation);
    Strings.Cancel();

    // Two top-level topics have no parent; equal titles still collide there,
    // not under different parents.
    const int top = AddTopic(QStringLiteral("Intro"));
    EXPECT_THROW(AddTopic(QStringLiteral("Intro")), EKeyViolation);
    Topics.Cancel();
    AddTopic(QStringLiteral("Intro"), top);
    EXPECT_THROW(AddTopic(QStringLiteral("Intro"), top), EKeyViolation);
    Topics.Cancel();
    EXPECT_EQ(Topics.RecordCount(), 2);
}

TEST_F(Tables, IndexChoosesTheOrderAndKeepsTheCurrentRecord)
{
    AddString(QStringLiteral("IDS_1"), QStringLiteral("zeta"), QStringLiteral("b"));
    AddString(QStringLiteral("IDS_2"), QStringLiteral("alfa"), QStringLiteral("c"));
    AddString(QStringLiteral("IDS_3"), QStringLiteral("mu"), QStringLiteral("a"));
    const QStringList byId{QStringLiteral("IDS_1"), QStringLiteral("IDS_2"), QStringLiteral("IDS_3")};
    EXPECT_EQ(Column(Strings, QStringLiteral("idst")), byId);

    Strings.SetIndexName(QStringLiteral("L1"));
    EXPECT_EQ(Column(Strings, QStringLiteral("idst")),
              QStringList({QStringLiteral("IDS_2"), QStringLiteral("IDS_3"), QStringLiteral("IDS_1")}));
    Strings.SetIndexName(QStringLiteral("l2"));
    Strings.Last();
    EXPECT_EQ(Strings.FieldByName(QStringLiteral("idst"))->AsString(), QStringLiteral("IDS_2"));
    // Same record, new place.
    Strings.SetIndexName(QString());
    EXPECT_EQ(Strings.FieldByName(QStringLiteral("idst"))->AsString(), QStringLiteral("IDS_2"));
    EXPECT_EQ(Strings.RecNo(), 2);
    EXPECT_EQ(Column(Strings, QStringLiteral("idst")), byId);
    EXPECT_THROW(Strings.SetIndexName(QStringLiteral("L7")), EDatabaseError);

    // The order survives closing and opening.
    Strings.SetIndexName(QStringLiteral("L1"));
    Strings.Close();
    Strings.Open();
    EXPECT_EQ(Column(Strings, QStringLiteral("L1")),
              QStringList({QStringLiteral("alfa"), QStringLiteral("mu"), QStringLiteral("zeta")}));
}

TEST_F(Tables, NavigationFlagsAndMoves)
{
    EXPECT_TRUE(Strings.Bof() && Strings.Eof());
    EXPECT_EQ(Strings.RecNo(), 0);
    for (const char *id : {"A", "B", "C", "D", "E"})
        AddString(QString::fromLatin1(id), {});
    Strings.First();
    EXPECT_TRUE(Strings.Bof());
    EXPECT_FALSE(Strings.Eof());
    EXPECT_EQ(Strings.MoveBy(16), 4);
    EXPECT_TRUE(Strings.Eof());
    EXPECT_EQ(Strings.FieldByName(QStringLiteral("idst"))->AsString(), QStringLiteral("E"));
    EXPECT_EQ(Strings.MoveBy(-2), -2);
    EXPECT_FALSE(Strings.Bof() || Strings.Eof());
    Strings.Prior();
    Strings.Prior();
    EXPECT_FALSE(Strings.Bof());
    Strings.Prior();
    EXPECT_TRUE(Strings.Bof());
    EXPECT_EQ(Strings.RecNo(), 1);
    Strings.Last();
    EXPECT_TRUE(Strings.Eof());
    EXPECT_EQ(Strings.RecNo(), 5);

    QSignalSpy scrolled(&Strings, &TDataSet::Scrolled);
    Strings.First();
    Strings.Next();
    EXPECT_EQ(scrolled.count(), 2);
    Strings.First();
    Strings.Prior(); // nowhere to go: no notice
    EXPECT_EQ(scrolled.count(), 3);
}

TEST_F(Tables, FindNearestOnPrimaryAndSecondaryIndexes)
{
    AddString(QStringLiteral("IDS_ALPHA"), QStringLiteral("Hola"));
    AddString(QStringLiteral("IDS_BETA"), QStringLiteral("Adios"));
    AddString(QStringLiteral("IDS_BETB"), QStringLiteral("Gracias"));
    auto id = [&] { return Strings.FieldByName(QStringLiteral("idst"))->AsString(); };

    Strings.FindNearest({QStringLiteral("IDS_B")});
    EXPECT_EQ(id(), QStringLiteral("IDS_BETA"));
    Strings.FindNearest({QStringLiteral("IDS_BETAA")});
    EXPECT_EQ(id(), QStringLiteral("IDS_BETB"));
    Strings.FindNearest({QStringLiteral("ZZZ")});
    EXPECT_EQ(id(), QStringLiteral("IDS_BETB"));
    EXPECT_EQ(Strings.RecNo(), 3);

    // Case counts, as in the index: "G" lands on "Gracias", "g" past the end.
    Strings.SetIndexName(QStringLiteral("L1"));
    Strings.FindNearest({QStringLiteral("G")});
    EXPECT_EQ(id(), QStringLiteral("IDS_BETB"));
    Strings.FindNearest({QStringLiteral("H")});
    EXPECT_EQ(id(), QStringLiteral("IDS_ALPHA"));
    Strings.FindNearest({QStringLiteral("A")});
    EXPECT_EQ(id(), QStringLiteral("IDS_BETA"));

    // Two-field key: title, then parent.
    const int top = AddTopic(QStringLiteral("Menu"));
    AddTopic(QStringLiteral("Menu"), top);
    AddTopic(QStringLiteral("Zoom"));
    Topics.FindNearest({QStringLiteral("Menu"), 1});
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("parent"))->AsInteger(), top);
    Topics.FindNearest({QStringLiteral("N")});
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("Titulo"))->AsString(), QStringLiteral("Zoom"));
}

TEST_F(Tables, InsertPostAndCancel)
{
    AddString(QStringLiteral("B"), QStringLiteral("b"));
    AddString(QStringLiteral("D"), QStringLiteral("d"));
    Strings.Last();
    QSignalSpy changed(&Strings, &TDataSet::DataSetChanged);

    // The new record shows before the current one until it is posted.
    Strings.Insert();
    EXPECT_EQ(Strings.RecordCount(), 3);
    EXPECT_EQ(Strings.RecNo(), 2);
    EXPECT_TRUE(Strings.FieldByName(QStringLiteral("idst"))->IsNull());
    Strings.Cancel();
    EXPECT_EQ(Strings.RecordCount(), 2);
    EXPECT_EQ(Strings.FieldByName(QStringLiteral("idst"))->AsString(), QStringLiteral("D"));

    Strings.First();
    Strings.Insert();
    Strings.FieldByName(QStringLiteral("idst"))->SetAsString(QStringLiteral("C"));
    Strings.Post();
    EXPECT_EQ(Strings.State(), TDataSetState::Browse);
    EXPECT_EQ(Strings.RecNo(), 2); // placed by its key
    EXPECT_EQ(Strings.FieldByName(QStringLiteral("idst"))->AsString(), QStringLiteral("C"));
    EXPECT_GE(changed.count(), 3);

    // Moving away posts a changed record and drops an untouched one.
    Strings.Append();
    Strings.FieldByName(QStringLiteral("idst"))->SetAsString(QStringLiteral("A"));
    Strings.First();
    Strings.Append();
    Strings.Prior();
    EXPECT_EQ(Strings.RecordCount(), 4);

    // An edit cancelled leaves the record as it was; one posted is stored.
    Strings.First();
    Strings.Edit();
    Strings.FieldByName(QStringLiteral("L1"))->SetAsString(QStringLiteral("changed"));
    EXPECT_EQ(Strings.FieldByName(QStringLiteral("L1"))->AsString(), QStringLiteral("changed"));
    Strings.Cancel();
    EXPECT_TRUE(Strings.FieldByName(QStringLiteral("L1"))->IsNull());
    Strings.Edit();
    Strings.FieldByName(QStringLiteral("L1"))->SetAsString(QStringLiteral("a"));
    Strings.Post();
    Strings.Close();
    Strings.Open();
    EXPECT_EQ(Column(Strings, QStringLiteral("L1")),
              QStringList({QStringLiteral("a"), QStringLiteral("b"), QString(), QStringLiteral("d")}));

    // Fields are written only in edit or insert mode.
    EXPECT_THROW(Strings.FieldByName(QStringLiteral("L1"))->SetAsString(QStringLiteral("x")), EDatabaseError);
    Strings.First();
    Strings.Delete();
    EXPECT_EQ(Column(Strings, QStringLiteral("idst")),
              QStringList({QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")}));
}

// Posts and deletes between StartTransaction and Commit reach the file
// together or not at all: a rollback, a failed post inside or closing the
// table leaves file and view as they were.
TEST_F(Tables, ATransactionStoresAllItsChangesOrNone)
{
    AddString(QStringLiteral("A"), QStringLiteral("a"));
    AddString(QStringLiteral("C"), QStringLiteral("c"));
    TTable other;
    other.DatabaseName = FDir.path();
    other.TableName = QStringLiteral("language.db");
    const auto stored = [&] {
        other.Open();
        const QStringList ids = Column(other, QStringLiteral("idst"));
        other.Close();
        return ids;
    };
    const QStringList before{QStringLiteral("A"), QStringLiteral("C")};

    Strings.StartTransaction();
    EXPECT_TRUE(Strings.InTransaction());
    AddString(QStringLiteral("B"), QStringLiteral("b"));
    Strings.First();
    Strings.Delete();
    EXPECT_EQ(Column(Strings, QStringLiteral("idst")), (QStringList{QStringLiteral("B"), QStringLiteral("C")}));
    Strings.Rollback();
    EXPECT_FALSE(Strings.InTransaction());
    EXPECT_EQ(Column(Strings, QStringLiteral("idst")), before);
    EXPECT_EQ(stored(), before);

    // A refused post inside undoes only itself; the rest waits for Commit.
    Strings.StartTransaction();
    AddString(QStringLiteral("B"), QStringLiteral("b"));
    EXPECT_THROW(AddString(QStringLiteral("A"), QStringLiteral("again")), EKeyViolation);
    Strings.Cancel();
    Strings.Commit();
    EXPECT_EQ(stored(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));

    Strings.StartTransaction();
    AddString(QStringLiteral("D"), QStringLiteral("d"));
    Strings.Close();
    EXPECT_FALSE(Strings.InTransaction());
    EXPECT_EQ(stored(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    Strings.Open();
    EXPECT_EQ(Strings.RecordCount(), 3);
}

TEST_F(Tables, FilterOfFieldEqualsValue)
{
    const int menu = AddTopic(QStringLiteral("Menu"));
    AddTopic(QStringLiteral("Open"), menu);
    AddTopic(QStringLiteral("Close"), menu);
    AddTopic(QStringLiteral("About"));

    // Field names in any case; values bare or quoted.
    Topics.SetFilter(QStringLiteral("level=1"));
    Topics.SetFiltered(true);
    EXPECT_EQ(Column(Topics, QStringLiteral("Titulo")), QStringList({QStringLiteral("About"), QStringLiteral("Menu")}));
    Topics.SetFilter(QStringLiteral("PARENT = '%1'").arg(menu));
    EXPECT_EQ(Column(Topics, QStringLiteral("Titulo")), QStringList({QStringLiteral("Close"), QStringLiteral("Open")}));

    // A record posted outside the filter leaves the view.
    Topics.First();
    Topics.Edit();
    Topics.FieldByName(QStringLiteral("parent"))->Clear();
    Topics.Post();
    EXPECT_EQ(Topics.RecordCount(), 1);
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("Titulo"))->AsString(), QStringLiteral("Open"));

    Topics.SetFilter(QString());
    EXPECT_EQ(Topics.RecordCount(), 4);
    EXPECT_THROW(Topics.SetFilter(QStringLiteral("nosuch=1")), EDatabaseError);
    EXPECT_THROW(Topics.SetFilter(QStringLiteral("parent=x")), EDatabaseError);
    EXPECT_THROW(Topics.SetFilter(QStringLiteral("level")), EDatabaseError);
    EXPECT_EQ(Topics.RecordCount(), 4);
}

TEST_F(Tables, BookmarkFollowsItsRecord)
{
    AddString(QStringLiteral("M"), QStringLiteral("m"));
    const TBookmark mark = Strings.GetBookmark();
    AddString(QStringLiteral("A"), QStringLiteral("a"));
    AddString(QStringLiteral("Z"), QStringLiteral("z"));
    // Another record moves past it.
    Strings.First();
    Strings.Edit();
    Strings.FieldByName(QStringLiteral("idst"))->SetAsString(QStringLiteral("Y"));
    Strings.Post();
    Strings.SetIndexName(QStringLiteral("L1"));
    ASSERT_TRUE(Strings.BookmarkValid(mark));
    Strings.GotoBookmark(mark);
    EXPECT_EQ(Strings.FieldByName(QStringLiteral("idst"))->AsString(), QStringLiteral("M"));
    EXPECT_EQ(Strings.RecNo(), 2);

    // Its own key changes: still the same record.
    Strings.Edit();
    Strings.FieldByName(QStringLiteral("L1"))->SetAsString(QStringLiteral("zz"));
    Strings.Post();
    Strings.First();
    Strings.GotoBookmark(mark);
    EXPECT_EQ(Strings.FieldByName(QStringLiteral("idst"))->AsString(), QStringLiteral("M"));

    Strings.Delete();
    EXPECT_FALSE(Strings.BookmarkValid(mark));
    EXPECT_THROW(Strings.GotoBookmark(mark), EDatabaseError);
}

TEST_F(Tables, AutoIncrementNumbersAreNeverReused)
{
    const int first = AddTopic(QStringLiteral("One"));
    const int second = AddTopic(QStringLiteral("Two"));
    EXPECT_GT(second, first);
    Topics.Delete(); // the newest
    Topics.Close();
    Topics.Open();
    const int third = AddTopic(QStringLiteral("Three"));
    EXPECT_GT(third, second);

    // A number given to a new record is kept (the contents topic is 0).
    Topics.Append();
    Topics.FieldByName(QStringLiteral("Titulo"))->SetAsString(QStringLiteral("Contens"));
    Topics.FieldByName(QStringLiteral("Map"))->SetAsInteger(0);
    Topics.Post();
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("Map"))->AsInteger(), 0);
    EXPECT_TRUE(Topics.FieldByName(QStringLiteral("Map"))->DataType() == TFieldType::AutoInc);
    Topics.Edit();
    EXPECT_THROW(Topics.FieldByName(QStringLiteral("Map"))->SetAsInteger(7), EDatabaseError);
    Topics.Cancel();
    EXPECT_GT(AddTopic(QStringLiteral("Four")), third);
}

TEST_F(Tables, TextLimitsMemoAndBoolean)
{
    Topics.Append();
    const QString title = QString(45, QLatin1Char('t'));
    Topics.FieldByName(QStringLiteral("Titulo"))->SetAsString(title);
    Topics.FieldByName(QStringLiteral("Level"))->SetAsString(QStringLiteral("12"));
    // A character beyond 16 bits counts once and is never split.
    const QString wide = QString(254, QLatin1Char('k')) + QString::fromUcs4(U"\U0001F600\U0001F600");
    Topics.FieldByName(QStringLiteral("Keyword"))->SetAsString(wide);
    QString memo;
    for (int i = 0; memo.size() < 10000; ++i)
        memo += QStringLiteral("line %1 ñ\r\n").arg(i);
    memo.truncate(10000);
    Topics.FieldByName(QStringLiteral("TExto"))->SetAsString(memo);
    Topics.FieldByName(QStringLiteral("Popup"))->SetAsBoolean(true);
    Topics.Post();
    Topics.Close();
    Topics.Open();
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("Titulo"))->AsString(), title.left(40));
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("Level"))->AsString(), QStringLiteral("1"));
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("Keyword"))->AsString(),
              QString(254, QLatin1Char('k')) + QString::fromUcs4(U"\U0001F600"));
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("TExto"))->AsString(), memo);
    EXPECT_TRUE(Topics.FieldByName(QStringLiteral("Popup"))->AsBoolean());
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("Popup"))->AsString(), QStringLiteral("True"));
}

TEST_F(Tables, ParametrisedSelectionOfSubtopics)
{
    const int a = AddTopic(QStringLiteral("A"));
    const int b = AddTopic(QStringLiteral("B"));
    AddTopic(QStringLiteral("A1"), a);
    AddTopic(QStringLiteral("A2"), a);
    AddTopic(QStringLiteral("B1"), b);

    TQuery query;
    query.SQL = {QStringLiteral("SELECT*"), QStringLiteral("FROM \"Ayuda.db\" "), QStringLiteral("WHERE"),
                 QStringLiteral("(parent = :Numero)")};
    query.DatabaseName = FDir.path();
    TField *title = query.AddField(QStringLiteral("titulo"), QStringLiteral("Query1Titulo"));
    auto titles = [&](int parent) {
        query.Close();
        query.ParamByName(QStringLiteral("numero")).SetAsInteger(parent);
        query.Open();
        QStringList seen;
        for (; !query.Eof(); query.Next())
            seen << title->AsString();
        seen.sort();
        return seen;
    };
    EXPECT_EQ(titles(a), QStringList({QStringLiteral("A1"), QStringLiteral("A2")}));
    EXPECT_EQ(titles(b), QStringList{QStringLiteral("B1")});
    EXPECT_EQ(titles(999), QStringList());
    // Rows posted since are seen by the next opening.
    AddTopic(QStringLiteral("B2"), b);
    EXPECT_EQ(titles(b), QStringList({QStringLiteral("B1"), QStringLiteral("B2")}));
    EXPECT_THROW(query.ParamByName(QStringLiteral("Other")), EDatabaseError);

    // Pointed at a directory without the table: a clear error.
    QTemporaryDir empty;
    query.Close();
    query.DatabaseName = empty.path();
    EXPECT_THROW(query.Open(), EDatabaseError);
    EXPECT_FALSE(query.Active());
}

// Hidden columns stay hidden across the close at every project change.
TEST_F(Tables, PersistentFieldsKeepTheirOrderAndVisibility)
{
    TTable t;
    t.DatabaseName = FDir.path();
    t.TableName = QStringLiteral("language.db");
    TField *l2 = t.AddField(QStringLiteral("L2"), QStringLiteral("CampoF2"));
    TField *id = t.AddField(QStringLiteral("idst"), QStringLiteral("Campoidst"));
    t.Open();
    EXPECT_EQ(t.FieldCount(), 2);
    EXPECT_EQ(t.FieldByName(QStringLiteral("IDST")), id);
    QSignalSpy layout(&t, &TDataSet::LayoutChanged);
    l2->SetVisible(false);
    l2->SetVisible(false);
    EXPECT_EQ(layout.count(), 1);
    t.Close();
    t.Open();
    EXPECT_EQ(t.Fields(0), l2);
    EXPECT_FALSE(l2->Visible());
}

TEST(TableFiles, FoundWithoutRegardToCaseAndCreatedWithTheGivenName)
{
    QTemporaryDir dir;
    MakeStrings(dir.path(), QStringLiteral("language.DB"));
    TTable t;
    t.DatabaseName = dir.path();
    t.TableName = QStringLiteral("language.db");
    EXPECT_TRUE(t.Exists());
    t.Open();
    EXPECT_EQ(t.FieldCount(), 3);
    ASSERT_EQ(t.IndexDefs.size(), 3u);
    EXPECT_EQ(t.IndexDefs[0].Name, QStringLiteral("prymary"));
    EXPECT_TRUE(t.IndexDefs[0].Primary);
    EXPECT_EQ(t.IndexDefs[1].Fields, QStringLiteral("L1"));
    EXPECT_FALSE(t.IndexDefs[1].Primary);
    t.Close();

    QTemporaryDir other;
    MakeTopics(other.path());
    EXPECT_TRUE(QFile::exists(other.path() + QStringLiteral("/Ayuda.db")));
    // Nothing but the table is left behind once it is closed.
    EXPECT_EQ(QDir(other.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Ayuda.db")});

    t.TableName = QStringLiteral("missing.db");
    EXPECT_FALSE(t.Exists());
    EXPECT_THROW(t.Open(), EDatabaseError);
    EXPECT_FALSE(t.Active());

    QFile junk(dir.path() + QStringLiteral("/junk.db"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    t.TableName = QStringLiteral("junk.db");
    EXPECT_THROW(t.Open(), EDatabaseError);
}

// Two IDEs on one project: each sees the other's posts, and a writer that
// holds the table makes the other wait briefly and then fail clearly.
TEST_F(Tables, ASecondUserOfTheFileNeitherCorruptsNorHangs)
{
    TTable other;
    other.DatabaseName = FDir.path();
    other.TableName = QStringLiteral("language.db");
    other.Open();
    AddString(QStringLiteral("FIRST"), QStringLiteral("1"));
    other.First();
    EXPECT_EQ(other.RecordCount(), 1);
    // A key the other one posted is refused here, though not yet seen here.
    other.Append();
    other.FieldByName(QStringLiteral("idst"))->SetAsString(QStringLiteral("SECOND"));
    other.Post();
    EXPECT_THROW(AddString(QStringLiteral("SECOND"), {}), EKeyViolation);
    Strings.Cancel();
    // After a post that found the other's work, both records are in view.
    AddString(QStringLiteral("THIRD"), {});
    EXPECT_EQ(Strings.RecordCount(), 3);

    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(FDir.path() + QStringLiteral("/language.db"));
        ASSERT_TRUE(holder.open());
        QSqlQuery lock(holder);
        ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QElapsedTimer timer;
        timer.start();
        try {
            AddString(QStringLiteral("BLOCKED"), {});
            ADD_FAILURE() << "posted while another connection held the table";
        } catch (const EDatabaseError &e) {
            EXPECT_TRUE(e.message().contains(QLatin1String("in use by another program"))) << e.what();
        }
        EXPECT_LT(timer.elapsed(), 10000);
        EXPECT_EQ(Strings.State(), TDataSetState::Insert);
        ASSERT_TRUE(lock.exec(QStringLiteral("ROLLBACK")));
        lock = QSqlQuery();
        holder.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    Strings.Post();
    EXPECT_EQ(Strings.RecordCount(), 4);
}

// A view's records are read into shared blocks: records of every size,
// across block edges and larger than a block, read back as posted, in
// another order, after an edit and after another program's post made the
// view read again. The numbered key reads as stored in every order.
TEST_F(Tables, RecordsOfEverySizeReadBackThroughReloads)
{
    std::map<int, QString> texts; // Map -> TExto
    const auto text = [](int size, int seed) {
        QString t;
        t.reserve(size);
        for (int i = 0; i < size; ++i)
            t += QChar(u'a' + (i * 7 + seed) % 26);
        return t;
    };
    const std::vector<int> sizes{0, 1, 300, 16340, 16384, 16420, 65536, 70000, 200000};
    int n = 0;
    for (int size : sizes)
        for (int copy = 0; copy < 3; ++copy, ++n) {
            const int map = AddTopic(QStringLiteral("T%1").arg(n, 5, 10, QLatin1Char('0')));
            Topics.Edit();
            Topics.FieldByName(QStringLiteral("TExto"))->SetAsString(text(size, n));
            Topics.Post();
            texts[map] = Topics.FieldByName(QStringLiteral("TExto"))->AsString();
        }
    for (int i = 0; i < 3000; ++i, ++n) // small ones filling several blocks
        texts[AddTopic(QStringLiteral("S%1").arg(n, 5, 10, QLatin1Char('0')))] = QString();
    const auto check = [&](const char *when) {
        int seen = 0;
        for (Topics.First(); !Topics.Eof(); Topics.Next(), ++seen) {
            const int map = Topics.FieldByName(QStringLiteral("Map"))->AsInteger();
            ASSERT_TRUE(texts.count(map)) << when << ": no topic " << map;
            ASSERT_EQ(Topics.FieldByName(QStringLiteral("TExto"))->AsString(), texts[map]) << when << ", topic " << map;
        }
        EXPECT_EQ(seen, int(texts.size())) << when;
    };
    Topics.Close();
    Topics.Open();
    check("reopened");
    Topics.SetIndexName(QStringLiteral("parent"));
    check("in parent order");
    Topics.SetIndexName(QString());

    Topics.First();
    const int edited = Topics.FieldByName(QStringLiteral("Map"))->AsInteger();
    Topics.Edit();
    Topics.FieldByName(QStringLiteral("TExto"))->SetAsString(QStringLiteral("edited"));
    Topics.Post();
    texts[edited] = QStringLiteral("edited");
    check("after an edit");

    TTable other;
    other.DatabaseName = FDir.path();
    other.TableName = QStringLiteral("Ayuda.db");
    other.Open();
    other.Append();
    other.FieldByName(QStringLiteral("Titulo"))->SetAsString(QStringLiteral("Other's"));
    other.FieldByName(QStringLiteral("TExto"))->SetAsString(text(20000, 1));
    other.Post();
    texts[other.FieldByName(QStringLiteral("Map"))->AsInteger()] = text(20000, 1);
    check("after another program's post");
}

// A text read as ASCII is the same text AsString gives, of the record the
// view is on; anything else is left to AsString.
TEST_F(Tables, AsciiViewsAreTheCurrentRecordsPlainTexts)
{
    AddString(QStringLiteral("IDS_A"), QStringLiteral("Open the \"file\"\r\n"));
    AddString(QStringLiteral("IDS_B"), QStringLiteral("Abrir el men\u00fa"));
    AddString(QStringLiteral("IDS_C"), {});
    AddString(QStringLiteral("IDS_D"), QStringLiteral("0123456789abcdefX"));
    Strings.Close();
    Strings.Open();
    TField *l1 = Strings.FieldByName(QStringLiteral("L1"));
    QStringList ascii, other;
    for (Strings.First(); !Strings.Eof(); Strings.Next()) {
        QLatin1StringView text;
        if (l1->AsAscii(text)) {
            EXPECT_EQ(QString(text), l1->AsString());
            ascii << Strings.FieldByName(QStringLiteral("idst"))->AsString();
        } else {
            other << Strings.FieldByName(QStringLiteral("idst"))->AsString();
        }
    }
    EXPECT_EQ(ascii, (QStringList{"IDS_A", "IDS_C", "IDS_D"}));
    EXPECT_EQ(other, QStringList{"IDS_B"});

    // A number is not a text; an edit under way is read through AsString.
    const int map = AddTopic(QStringLiteral("Topic"));
    QLatin1StringView text;
    EXPECT_FALSE(Topics.FieldByName(QStringLiteral("Map"))->AsAscii(text));
    EXPECT_EQ(Topics.FieldByName(QStringLiteral("Map"))->AsInteger(), map);
    Strings.First();
    Strings.Edit();
    l1->SetAsString(QStringLiteral("edited"));
    EXPECT_FALSE(l1->AsAscii(text));
    EXPECT_EQ(l1->AsString(), QStringLiteral("edited"));
    Strings.Post();
    ASSERT_TRUE(l1->AsAscii(text));
    EXPECT_EQ(QString(text), QStringLiteral("edited"));
}

// Two programs edit different fields of one record, each from a view read
// before the other's post: both changes are kept. An edit that changes
// nothing still notices that the record is gone.
TEST_F(Tables, AnEditWritesOnlyTheFieldsItChanged)
{
    AddString(QStringLiteral("IDS_OPEN"), QStringLiteral("Open"), QStringLiteral("Abrir"));
    TTable other;
    other.DatabaseName = FDir.path();
    other.TableName = QStringLiteral("language.db");
    other.Open();
    ASSERT_TRUE(other.Locate(QStringLiteral("idst"), QStringLiteral("IDS_OPEN")));

    Strings.Edit();
    Strings.FieldByName(QStringLiteral("L1"))->SetAsString(QStringLiteral("Open..."));
    other.Edit();
    other.FieldByName(QStringLiteral("L2"))->SetAsString(QStringLiteral("Abrir..."));
    other.Post();
    Strings.Post();

    TTable check;
    check.DatabaseName = FDir.path();
    check.TableName = QStringLiteral("language.db");
    check.Open();
    ASSERT_TRUE(check.Locate(QStringLiteral("idst"), QStringLiteral("IDS_OPEN")));
    EXPECT_EQ(check.FieldByName(QStringLiteral("L1"))->AsString(), QStringLiteral("Open..."));
    EXPECT_EQ(check.FieldByName(QStringLiteral("L2"))->AsString(), QStringLiteral("Abrir..."));
    // The view that posted last shows the record as the file has it.
    EXPECT_EQ(Strings.FieldByName(QStringLiteral("L2"))->AsString(), QStringLiteral("Abrir..."));

    check.Delete();
    Strings.Edit();
    EXPECT_THROW(Strings.Post(), EDatabaseError);
}

// Writes that would make any file of this process longer fail (EFBIG, as
// on a full disk) while it lives.
class TNoFileGrowth {
public:
    TNoFileGrowth()
    {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = FOld;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~TNoFileGrowth()
    {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldSignal);
    }

private:
    rlimit FOld{};
    void (*FOldSignal)(int) = nullptr;
};

// The log only grows until it is checkpointed, so a post's COMMIT is where
// its pages are written and where a full disk stops it. The post raises,
// stays in insert state, and the record is in the file neither now nor after
// the disk has room again.
TEST_F(Tables, APostWhoseCommitFailsRaisesAndLeavesNoRecord)
{
    AddString(QStringLiteral("BEFORE"), QStringLiteral("1"));
    Strings.Append();
    Strings.FieldByName(QStringLiteral("idst"))->SetAsString(QStringLiteral("LOST"));
    {
        TNoFileGrowth full;
        EXPECT_THROW(Strings.Post(), EDatabaseError);
    }
    EXPECT_EQ(Strings.State(), TDataSetState::Insert);
    Strings.Cancel();
    EXPECT_EQ(Column(Strings, QStringLiteral("idst")), QStringList{QStringLiteral("BEFORE")});

    TTable reader;
    reader.DatabaseName = FDir.path();
    reader.TableName = QStringLiteral("language.db");
    reader.Open();
    EXPECT_EQ(Column(reader, QStringLiteral("idst")), QStringList{QStringLiteral("BEFORE")});
    // The connection is sound afterwards: the same key posts now.
    AddString(QStringLiteral("LOST"), QStringLiteral("2"));
    EXPECT_EQ(Column(reader, QStringLiteral("idst")), QStringList({QStringLiteral("BEFORE"), QStringLiteral("LOST")}));
}

} // namespace
