// Real processes on one table file: one killed at random moments while it
// posts, and two posting at once; the file stays whole and nothing posted is lost.
#include "TableStore.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// Keys the child finished printing: a line cut by the kill does not count.
QStringList PostedKeys(const QByteArray &out)
{
    QStringList keys;
    const QList<QByteArray> lines = out.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        keys << QString::fromLatin1(lines[i]);
    return keys;
}

QString IntegrityCheck(const QString &path)
{
    QString result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next())
                result = q.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return result;
}

// The shape of the posters' table: an identifier and two languages.
void CreateStringTable(const QString &dir)
{
    TTable t;
    t.DatabaseName = dir;
    t.TableName = QStringLiteral("language.db");
    t.FieldDefs = {{QStringLiteral("idst"), TFieldType::String, 40, false},
                   {QStringLiteral("L1"), TFieldType::String, 255, false},
                   {QStringLiteral("L2"), TFieldType::String, 255, false}};
    t.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("idst"), true},
                   {QStringLiteral("L1"), QStringLiteral("L1"), false}};
    t.CreateTable();
}

TEST(TableCrash, KilledWhilePostingLosesNothingPostedAndLeavesNoHalfRecord)
{
    QTemporaryDir dir;
    CreateStringTable(dir.path());
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    SCOPED_TRACE(::testing::Message() << "seed " << seed);

    QSet<QString> posted;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(::testing::Message() << "round " << round);
        QProcess child;
        child.start(QStringLiteral(QUORBEL_TABLE_POSTER),
                    {dir.path(), QString::number(round * 1000000)});
        ASSERT_TRUE(child.waitForStarted());
        // The first round may die before its first post; the others die
        // somewhere inside a run of posts.
        if (round > 0) {
            QElapsedTimer waited;
            waited.start();
            while (!child.canReadLine() && waited.elapsed() < 20000)
                child.waitForReadyRead(100);
        }
        QThread::msleep(random.bounded(round == 0 ? 40 : 120));
        child.kill();
        ASSERT_TRUE(child.waitForFinished());
        ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << child.readAllStandardError().toStdString();
        const QStringList keys = PostedKeys(child.readAllStandardOutput());
        for (const QString &key : keys)
            posted.insert(key);

        EXPECT_EQ(IntegrityCheck(dir.path() + QStringLiteral("/language.db")), QStringLiteral("ok"));
        TTable table;
        table.DatabaseName = dir.path();
        table.TableName = QStringLiteral("language.db");
        ASSERT_NO_THROW(table.Open());
        QSet<QString> found;
        for (table.First(); !table.Eof(); table.Next()) {
            const QString key = table.FieldByName(QStringLiteral("idst"))->AsString();
            found.insert(key);
            // Every record is whole: its text belongs to its key.
            EXPECT_EQ(table.FieldByName(QStringLiteral("L1"))->AsString(), key.repeated(28));
            const QString l2 = table.FieldByName(QStringLiteral("L2"))->AsString();
            EXPECT_TRUE(l2 == QLatin1String("new") || l2 == QLatin1String("edited")) << qPrintable(l2);
        }
        for (const QString &key : std::as_const(posted))
            EXPECT_TRUE(found.contains(key)) << qPrintable(key);
        if (round > 0) {
            EXPECT_FALSE(keys.isEmpty());
        }
    }
    EXPECT_GT(posted.size(), 5);
}

// Two programs on one project's strings, one posting as fast as it can, the
// other reading the whole table before each of its posts: every post lands,
// or is refused with the store's message and is then absent; the file stays
// whole.
TEST(TableSharing, TwoProgramsPostingAndReadingLoseNothing)
{
    QTemporaryDir dir;
    CreateStringTable(dir.path());
    constexpr int Count = 400;
    QProcess writer, reader;
    writer.start(QStringLiteral(QUORBEL_TABLE_POSTER), {dir.path(), QStringLiteral("0"), QString::number(Count)});
    reader.start(QStringLiteral(QUORBEL_TABLE_POSTER),
                 {dir.path(), QStringLiteral("1000000"), QString::number(Count), QStringLiteral("read")});
    QSet<QString> posted, refused;
    for (QProcess *child : {&writer, &reader}) {
        ASSERT_TRUE(child->waitForFinished(120000));
        const QString errors = QString::fromUtf8(child->readAllStandardError());
        EXPECT_EQ(child->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child->exitCode(), 0) << errors.toStdString();
        const QStringList keys = PostedKeys(child->readAllStandardOutput());
        for (const QString &key : keys)
            posted.insert(key);
        // A post waits its turn: posts take milliseconds, the wait is up to
        // 2 s, so a refusal is rare. Starting the write where the other's
        // commit has made the snapshot old would refuse nearly every one.
        EXPECT_GE(keys.size(), Count / 2) << errors.left(300).toStdString();
        for (const QString &line : errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            // "busy KEY: MESSAGE"
            const QString key = line.section(QLatin1Char(' '), 1, 1).chopped(1);
            EXPECT_EQ(line.section(QStringLiteral(": "), 1),
                      QStringLiteral("The table language.db is in use by another program. Try again."))
                << line.toStdString();
            if (!keys.contains(key))
                refused.insert(key);
        }
        EXPECT_EQ(keys.size() + std::count_if(refused.begin(), refused.end(), [&](const QString &key) {
                      return key.startsWith(child == &writer ? QLatin1String("K00") : QLatin1String("K01"));
                  }),
                  Count);
    }

    EXPECT_EQ(IntegrityCheck(dir.path() + QStringLiteral("/language.db")), QStringLiteral("ok"));
    TTable table;
    table.DatabaseName = dir.path();
    table.TableName = QStringLiteral("language.db");
    ASSERT_NO_THROW(table.Open());
    QSet<QString> found;
    for (table.First(); !table.Eof(); table.Next())
        found.insert(table.FieldByName(QStringLiteral("idst"))->AsString());
    EXPECT_EQ(found, posted);
    for (const QString &key : std::as_const(refused))
        EXPECT_FALSE(found.contains(key)) << qPrintable(key);
}

} // namespace
