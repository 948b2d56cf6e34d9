// Inside the table store: the SQLite connection and what the store's
// sources share. Only the store's own sources include this.
#pragma once

#include "TableStore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <atomic>

// SQLite settings of every connection, and why:
// - journal_mode=WAL: a commit appends to the log and is whole or absent
//   after a kill at any moment; readers never wait for a writer, so a second
//   IDE on the same project reads while the first posts.
// - synchronous=FULL: each post is typed by hand and must survive a power
//   cut, not only a killed process; it costs one fsync of the log per post.
// - busy timeout 2 s: posts hold the write lock for milliseconds, so a
//   second IDE waits at most briefly and then gets a clear error, never hangs.
// Every post starts with BEGIN IMMEDIATE, so the wait happens while taking
// the lock, where the busy timeout applies, and never half way through.
// A file is read and checked before the journal mode is set: switching it
// writes the file's header, and a file the store refuses keeps its bytes.

namespace TableStoreSql {

inline constexpr int BusyTimeoutMs = 2000;

QString Quote(QString identifier);

// Any other failure of SQLite, with its code, so that opening can say what
// is wrong with the file.
class ESqlFailure : public EDatabaseError {
public:
    ESqlFailure(const QString &table, int code, const QString &reason)
        : EDatabaseError(QStringLiteral("Table %1: %2").arg(table, reason)), Code(code), Reason(reason)
    {
    }
    int Code;
    QString Reason;
};


[[noreturn]] void Fail(const QSqlError &error, const QString &table);

// Only regular files are opened: SQLite would wait forever reading a pipe.
void CheckTableFile(const QString &path);

// One named QtSql connection, removed when it goes. Queries made on it must
// be gone before it is.
class TSqlConnection {
public:
    TSqlConnection(const QString &path, const QString &table) : FTable(table)
    {
        static std::atomic<int> counter = 0;
        FName = QStringLiteral("quorbel-table-%1").arg(++counter);
        FDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FName);
        FDb.setDatabaseName(path);
        FDb.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
        if (!FDb.open()) {
            const QSqlError error = FDb.lastError();
            Drop();
            Fail(error, table);
        }
    }
    // The settings above, once the file is known to be a table.
    void UseLog() const
    {
        Exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        Exec(QStringLiteral("PRAGMA synchronous=FULL"));
    }
    ~TSqlConnection() { Drop(); }
    TSqlConnection(const TSqlConnection &) = delete;
    TSqlConnection &operator=(const TSqlConnection &) = delete;

    const QSqlDatabase &Db() const { return FDb; }
    const QString &Table() const { return FTable; }

    QSqlQuery Prepare(const QString &sql) const
    {
        QSqlQuery query(FDb);
        query.setForwardOnly(true);
        if (!query.prepare(sql))
            Fail(query.lastError(), FTable);
        return query;
    }
    void Run(QSqlQuery &query) const
    {
        if (!query.exec())
            Fail(query.lastError(), FTable);
    }
    void Exec(const QString &sql) const
    {
        QSqlQuery query(FDb);
        query.setForwardOnly(true);
        if (!query.exec(sql))
            Fail(query.lastError(), FTable);
    }

    // The one data table in the file.
    QString DataTable() const
    {
        QSqlQuery query = Prepare(QStringLiteral(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"));
        Run(query);
        QStringList names;
        while (query.next())
            names << query.value(0).toString();
        if (names.isEmpty())
            throw ETableFileError(FDb.databaseName(), QStringLiteral("It holds no table."));
        if (names.size() > 1)
            throw ETableFileError(FDb.databaseName(),
                                  QStringLiteral("It holds %1 tables, not one: %2.").arg(names.size()).arg(names.join(QStringLiteral(", "))));
        return names.first();
    }

private:
    void Drop()
    {
        if (FName.isEmpty())
            return;
        FDb.close();
        FDb = QSqlDatabase();
        QSqlDatabase::removeDatabase(FName);
        FName.clear();
    }

    QString FName;
    QString FTable;
    QSqlDatabase FDb;
};

bool IsNumber(const QVariant &v);
// Nulls first, numbers before texts, as SQLite orders them.
int CompareValues(const QVariant &a, const QVariant &b);

// "Titulo;parent" -> its field names.
QStringList SplitFields(const QString &fields);

} // namespace TableStoreSql

class TTable::TConnection {
public:
    TConnection(const QString &path, const QString &tableName) : Sql(path, tableName)
    {
        Begin = Sql.Prepare(QStringLiteral("BEGIN IMMEDIATE"));
        Commit = Sql.Prepare(QStringLiteral("COMMIT"));
        Rollback = Sql.Prepare(QStringLiteral("ROLLBACK"));
        DataVersion = Sql.Prepare(QStringLiteral("PRAGMA data_version"));
    }

    // Notes whether another connection committed since the view was read.
    void NoteVersion()
    {
        Sql.Run(DataVersion);
        const qlonglong version = DataVersion.next() ? DataVersion.value(0).toLongLong() : 0;
        DataVersion.finish();
        Stale = Stale || version != Version;
        Version = version;
    }

    TableStoreSql::TSqlConnection Sql; // first in, last out: the queries below go before it
    QString Table;      // the SQLite table inside the file
    QSqlQuery Begin, Commit, Rollback, DataVersion;
    QSqlQuery Insert, InsertWithId, Update, Delete, KeyCheck;
    qlonglong Version = -1;
    bool Stale = true;
};
