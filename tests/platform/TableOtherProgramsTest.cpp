// The table store beside other programs on the same files: texts they
// stored, tables they changed or made anew, their writes while a walk runs
// its selections, and what a failure leaves behind for them.
#include "TableStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <limits>

#include <gtest/gtest.h>

namespace {

// Another program's connection: no busy wait, so a lock held by the store
// shows at once as SQLITE_BUSY.
class TOther {
public:
    explicit TOther(const QString &path)
    {
        EXPECT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &FDb, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    }
    ~TOther() { sqlite3_close(FDb); }
    int Exec(const char *sql) { return sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr); }
    // Binds texts as raw bytes, so the bytes may be anything.
    int Insert(const char *sql, const std::vector<QByteArray> &texts)
    {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(FDb, sql, -1, &s, nullptr) != SQLITE_OK)
            return -1;
        for (size_t i = 0; i < texts.size(); ++i)
            sqlite3_bind_text(s, int(i) + 1, texts[i].constData(), int(texts[i].size()), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(s);
        sqlite3_finalize(s);
        return rc;
    }
    // A checkpoint that empties the log: refused while any reader keeps a
    // snapshot of the file.
    int Truncate() { return sqlite3_wal_checkpoint_v2(FDb, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr); }

private:
    sqlite3 *FDb = nullptr;
};

void MakeStrings(const QString &dir, std::vector<TFieldDef> fields)
{
    TTable t;
    t.DatabaseName = dir;
    t.TableName = QStringLiteral("language.db");
    t.FieldDefs = std::move(fields);
    t.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("idst"), true}};
    t.CreateTable();
}

const TFieldDef Idst{QStringLiteral("idst"), TFieldType::String, 40, false};
const TFieldDef L1{QStringLiteral("L1"), TFieldType::String, 255, false};
const TFieldDef L2{QStringLiteral("L2"), TFieldType::String, 255, false};

void Post(TTable &t, const QString &id, const QString &l1)
{
    t.Append();
    t.FieldByName(QStringLiteral("idst"))->SetAsString(id);
    t.FieldByName(QStringLiteral("L1"))->SetAsString(l1);
    t.Post();
}

QStringList Column(TDataSet &d, const QString &field)
{
    QStringList values;
    for (d.First(); !d.Eof(); d.Next())
        values << d.FieldByName(field)->AsString();
    return values;
}

QStringList Select(TQuery &query, const QString &field)
{
    query.Close();
    query.Open();
    QStringList values = Column(query, field);
    values.sort();
    return values;
}

// What the store prepared for one file never runs on another: a table
// reopened elsewhere, a query pointed elsewhere, a file made anew under the
// same name, a column another program added.
TEST(TableStatements, FollowTheFileTheyRunOn)
{
    QTemporaryDir a, b;
    MakeStrings(a.path(), {Idst, L1, L2});
    MakeStrings(b.path(), {L2, L1, Idst}); // the same fields in another order
    TTable table;
    table.DatabaseName = a.path();
    table.TableName = QStringLiteral("language.db");
    table.Open();
    Post(table, QStringLiteral("A1"), QStringLiteral("in a"));
    table.Close();
    table.DatabaseName = b.path();
    table.Open();
    Post(table, QStringLiteral("B1"), QStringLiteral("in b"));
    table.First();
    EXPECT_EQ(table.FieldByName(QStringLiteral("L1"))->AsString(), QStringLiteral("in b"));
    EXPECT_EQ(table.RecordCount(), 1);

    TQuery query;
    query.SQL = {QStringLiteral("SELECT * FROM \"language.db\"")};
    query.DatabaseName = a.path();
    EXPECT_EQ(Select(query, QStringLiteral("idst")), QStringList{QStringLiteral("A1")});
    query.DatabaseName = b.path();
    EXPECT_EQ(Select(query, QStringLiteral("idst")), QStringList{QStringLiteral("B1")});

    // Another program adds a column: posting and reading go on.
    {
        TOther other(b.path() + QStringLiteral("/language.db"));
        ASSERT_EQ(other.Exec("ALTER TABLE language ADD COLUMN L9 VARCHAR(10)"), SQLITE_OK);
    }
    Post(table, QStringLiteral("B2"), QStringLiteral("after"));
    EXPECT_EQ(Column(table, QStringLiteral("L1")), QStringList({QStringLiteral("in b"), QStringLiteral("after")}));
    EXPECT_EQ(Select(query, QStringLiteral("idst")), QStringList({QStringLiteral("B1"), QStringLiteral("B2")}));

    // The file made anew under the same name while the query keeps its
    // statement: the query reads the new file.
    table.Close();
    MakeStrings(b.path(), {Idst, L1, L2});
    table.Open();
    Post(table, QStringLiteral("NEW"), {});
    EXPECT_EQ(Select(query, QStringLiteral("idst")), QStringList{QStringLiteral("NEW")});
}

// Texts another program stored, read back whole: a NUL inside, characters
// past the BMP, bytes that are no UTF-8 (Windows-1252, as old tools wrote).
TEST(TableTexts, StoredByAnotherProgramReadBackWhole)
{
    QTemporaryDir dir;
    MakeStrings(dir.path(), {Idst, L1, L2});
    const QByteArray nul("a\0b", 3);
    const QString emoji = QStringLiteral("x \U0001F600 \U0001D11E y");
    {
        TOther other(dir.path() + QStringLiteral("/language.db"));
        ASSERT_EQ(other.Insert("INSERT INTO language (idst, L1) VALUES ('NUL', ?)", {nul}), SQLITE_DONE);
        ASSERT_EQ(other.Insert("INSERT INTO language (idst, L1) VALUES ('WIDE', ?)", {emoji.toUtf8()}), SQLITE_DONE);
        ASSERT_EQ(other.Insert("INSERT INTO language (idst, L1) VALUES ('ANSI', ?)", {QByteArray("caf\xe9 \x80")}),
                  SQLITE_DONE);
    }
    const QStringList expected = {QStringLiteral("caf\u00e9 \u20ac"), QString::fromLatin1(nul), emoji};
    TTable table;
    table.DatabaseName = dir.path();
    table.TableName = QStringLiteral("language.db");
    table.Open();
    EXPECT_EQ(Column(table, QStringLiteral("L1")), expected); // ANSI, NUL, WIDE in key order

    TQuery query;
    query.SQL = {QStringLiteral("SELECT idst, L1 FROM \"language.db\" ORDER BY idst")};
    query.DatabaseName = dir.path();
    query.Open();
    EXPECT_EQ(Column(query, QStringLiteral("L1")), expected);

    // Edited and posted, every text is still whole in the file.
    for (table.First(); !table.Eof(); table.Next()) {
        table.Edit();
        table.FieldByName(QStringLiteral("L2"))->SetAsString(QStringLiteral("seen"));
        table.Post();
    }
    TTable again;
    again.DatabaseName = dir.path();
    again.TableName = QStringLiteral("language.db");
    again.Open();
    EXPECT_EQ(Column(again, QStringLiteral("L1")), expected);
}

// SQLite keeps whatever another program stored in a field: bytes in a text
// field, a fraction in a number field. The store hands each back as stored,
// also after it posted the record again (its key changed, so the whole
// record is written).
TEST(TableTexts, EveryKindOfValueAnotherProgramStoredReadsBackAsStored)
{
    QTemporaryDir dir;
    MakeStrings(dir.path(), {Idst, L1, {QStringLiteral("N"), TFieldType::Integer, 0, false}});
    {
        TOther other(dir.path() + QStringLiteral("/language.db"));
        ASSERT_EQ(other.Exec("INSERT INTO language (idst, L1, N) VALUES ('A', x'00ff10', 42), ('B', NULL, 2.5), "
                             "('C', '', -9007199254740993), ('D', 'caf\xc3\xa9', NULL)"),
                  SQLITE_OK);
    }
    const QList<QVariant> expected = {QVariant(QByteArray("\x00\xff\x10", 3)), QVariant(qlonglong(42)),
                                      QVariant(), QVariant(2.5),
                                      QVariant(QStringLiteral("")), QVariant(qlonglong(-9007199254740993LL)),
                                      QVariant(QStringLiteral("caf\u00e9")), QVariant()};
    const auto values = [](TTable &t) {
        QList<QVariant> all;
        for (t.First(); !t.Eof(); t.Next())
            all << t.FieldByName(QStringLiteral("L1"))->Value() << t.FieldByName(QStringLiteral("N"))->Value();
        return all;
    };
    const auto same = [](const QList<QVariant> &got, const QList<QVariant> &want) {
        if (got.size() != want.size())
            return false;
        for (qsizetype i = 0; i < got.size(); ++i)
            if (got[i].isNull() != want[i].isNull()
                || (!want[i].isNull() && (got[i].metaType() != want[i].metaType() || got[i] != want[i])))
                return false;
        return true;
    };
    TTable table;
    table.DatabaseName = dir.path();
    table.TableName = QStringLiteral("language.db");
    table.Open();
    ASSERT_TRUE(same(values(table), expected));
    for (table.First(); !table.Eof(); table.Next()) {
        table.Edit();
        TField *id = table.FieldByName(QStringLiteral("idst"));
        id->SetAsString(id->AsString() + QStringLiteral("2")); // keeps its place in the order
        table.Post();
    }
    TTable again;
    again.DatabaseName = dir.path();
    again.TableName = QStringLiteral("language.db");
    again.Open();
    EXPECT_TRUE(same(values(again), expected));
}

class TableWalks : public ::testing::Test {
protected:
    void SetUp() override
    {
        Topics.DatabaseName = FDir.path();
        Topics.TableName = QStringLiteral("Ayuda.db");
        Topics.FieldDefs = {{QStringLiteral("Titulo"), TFieldType::String, 40, false},
                            {QStringLiteral("parent"), TFieldType::Integer, 0, false},
                            {QStringLiteral("Map"), TFieldType::AutoInc, 0, false}};
        Topics.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("Titulo;parent"), true}};
        Topics.CreateTable();
        Topics.Open();
        Top = AddTopic(QStringLiteral("Top"), 0);
        AddTopic(QStringLiteral("Child 1"), Top);
        Children.SQL = {QStringLiteral("SELECT * FROM \"Ayuda.db\" WHERE (parent = :Numero)")};
        Children.DatabaseName = FDir.path();
        Children.ParamByName(QStringLiteral("Numero")).SetAsInteger(Top);
    }
    int AddTopic(const QString &title, int parent)
    {
        Topics.Append();
        Topics.FieldByName(QStringLiteral("Titulo"))->SetAsString(title);
        Topics.FieldByName(QStringLiteral("parent"))->SetAsInteger(parent);
        Topics.Post();
        return Topics.FieldByName(QStringLiteral("Map"))->AsInteger();
    }
    QString File() const { return FDir.path() + QStringLiteral("/Ayuda.db"); }
    QStringList Titles() { return Select(Children, QStringLiteral("Titulo")); }

    QTemporaryDir FDir;
    TTable Topics;
    TQuery Children;
    int Top = 0;
};

// Selections run one after another share a read; another program writes
// meanwhile without waiting, and its rows show once the event loop has run
// or after a fifth of a second.
TEST_F(TableWalks, AnotherProgramWritesWhileSelectionsShareARead)
{
    EXPECT_EQ(Titles(), QStringList{QStringLiteral("Child 1")});
    TOther other(File());
    const QByteArray insert = QStringLiteral("INSERT INTO Ayuda (Titulo, parent) VALUES ('Child 2', %1)").arg(Top).toUtf8();
    ASSERT_EQ(other.Exec(insert.constData()), SQLITE_OK);
    Titles();
    QCoreApplication::processEvents();
    EXPECT_EQ(Titles(), QStringList({QStringLiteral("Child 1"), QStringLiteral("Child 2")}));

    // Without an event loop, a run after the limit reads anew.
    Titles();
    ASSERT_EQ(other.Exec("UPDATE Ayuda SET Titulo = 'Renamed' WHERE Titulo = 'Child 2'"), SQLITE_OK);
    QThread::msleep(300);
    EXPECT_EQ(Titles(), QStringList({QStringLiteral("Child 1"), QStringLiteral("Renamed")}));

    // Posts of this program are seen by the next run at once.
    Titles();
    AddTopic(QStringLiteral("Child 3"), Top);
    EXPECT_EQ(Titles().size(), 3);
}

// On a file without the log (as another program may keep it), a read held
// between runs would lock writers out: none is held there.
TEST_F(TableWalks, NoReadIsHeldOnAFileWithoutTheLog)
{
    Topics.Close();
    {
        TOther other(File());
        ASSERT_EQ(other.Exec("PRAGMA journal_mode=DELETE"), SQLITE_OK);
    }
    EXPECT_EQ(Titles(), QStringList{QStringLiteral("Child 1")});
    TOther other(File());
    EXPECT_EQ(other.Exec("BEGIN IMMEDIATE; INSERT INTO Ayuda (Titulo) VALUES ('x'); COMMIT"), SQLITE_OK);
}

// A failure half way leaves no transaction open: neither a post refused
// inside its transaction nor a selection whose step failed.
TEST_F(TableWalks, AFailureLeavesNoTransactionOpen)
{
    TOther other(File());
    Topics.Append();
    Topics.FieldByName(QStringLiteral("Titulo"))->SetAsString(QStringLiteral("Top"));
    Topics.FieldByName(QStringLiteral("parent"))->SetAsInteger(0);
    EXPECT_THROW(Topics.Post(), EKeyViolation);
    Topics.Cancel();
    EXPECT_EQ(other.Exec("BEGIN IMMEDIATE; COMMIT"), SQLITE_OK);

    Titles(); // a read now held
    EXPECT_EQ(other.Truncate(), SQLITE_BUSY);
    QCoreApplication::processEvents(); // which ends it
    EXPECT_EQ(other.Truncate(), SQLITE_OK);
    // Something in the log again, which a snapshot left open would keep there.
    ASSERT_EQ(other.Exec("INSERT INTO Ayuda (Titulo) VALUES ('logged')"), SQLITE_OK);
    TQuery failing;
    failing.SQL = {QStringLiteral("SELECT abs(:Least) FROM \"Ayuda.db\"")};
    failing.DatabaseName = FDir.path();
    failing.ParamByName(QStringLiteral("Least")).Value = qlonglong(std::numeric_limits<qint64>::min());
    EXPECT_THROW(failing.Open(), EDatabaseError); // integer overflow, on the first step
    EXPECT_FALSE(failing.Active());
    EXPECT_EQ(other.Truncate(), SQLITE_OK);
}

// A view of many records, posted to and deleted from in the middle of its
// order until its parts are split and emptied: it stays in key order, whole,
// and numbered, as a model of the same keys says.
TEST(TableViews, ManyPostsAndDeletesInTheMiddleKeepTheOrder)
{
    // In memory where there is some: each post is flushed to disk.
    QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/tableviews-XXXXXX")
                                                                 : QDir::tempPath() + QStringLiteral("/tableviews-XXXXXX"));
    MakeStrings(dir.path(), {Idst, L1, L2});
    std::vector<QString> model;
    {
        TOther other(dir.path() + QStringLiteral("/language.db"));
        ASSERT_EQ(other.Exec("BEGIN"), SQLITE_OK);
        for (int i = 0; i < 1200; i += 2) {
            const QString key = QStringLiteral("K%1").arg(i, 5, 10, QLatin1Char('0'));
            model.push_back(key);
            ASSERT_EQ(other.Insert("INSERT INTO language (idst) VALUES (?)", {key.toUtf8()}), SQLITE_DONE);
        }
        ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    }
    TTable table;
    table.DatabaseName = dir.path();
    table.TableName = QStringLiteral("language.db");
    table.Open();
    // Odd keys into the middle third, enough to split the part they land in.
    for (int i = 401; i < 1100; i += 2) {
        const QString key = QStringLiteral("K%1").arg(i, 5, 10, QLatin1Char('0'));
        model.push_back(key);
        Post(table, key, {});
        ASSERT_EQ(table.FieldByName(QStringLiteral("idst"))->AsString(), key);
    }
    std::sort(model.begin(), model.end());
    ASSERT_EQ(table.RecordCount(), int(model.size()));
    // Then a run of them deleted, emptying parts.
    table.SetRecNo(300);
    for (int n = 0; n < 400; ++n) {
        model.erase(model.begin() + 299);
        table.Delete();
    }
    ASSERT_EQ(table.FieldByName(QStringLiteral("idst"))->AsString(), model[299]);
    QStringList expected;
    for (const QString &key : model)
        expected << key;
    EXPECT_EQ(Column(table, QStringLiteral("idst")), expected);
    for (int recNo : {1, 256, 257, 512, int(model.size())}) {
        table.SetRecNo(recNo);
        EXPECT_EQ(table.FieldByName(QStringLiteral("idst"))->AsString(), model[size_t(recNo) - 1]) << recNo;
        EXPECT_EQ(table.ValueAt(recNo, table.FieldByName(QStringLiteral("idst"))).toString(), model[size_t(recNo) - 1]);
    }
    table.FindNearest({QStringLiteral("K00700")});
    EXPECT_EQ(table.FieldByName(QStringLiteral("idst"))->AsString(),
              *std::lower_bound(model.begin(), model.end(), QStringLiteral("K00700")));
    // What the view shows is what a fresh read of the file gives.
    TTable fresh;
    fresh.DatabaseName = dir.path();
    fresh.TableName = QStringLiteral("language.db");
    fresh.Open();
    EXPECT_EQ(Column(fresh, QStringLiteral("idst")), expected);
}

} // namespace
