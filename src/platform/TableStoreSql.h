// Inside the table store: the SQLite connection and what the store's
// sources share. Only the store's own sources include this.
#pragma once

#include "TableStore.h"

#include <QByteArray>
#include <QStringList>

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// The store's exception for a failed call that returned code on db.
[[noreturn]] void Fail(sqlite3 *db, int code, const QString &table);

// Only regular files are opened: SQLite would wait forever reading a pipe.
void CheckTableFile(const QString &path);

// A prepared statement, finalized when it goes.
class TStatement {
public:
    TStatement() = default;
    explicit TStatement(sqlite3_stmt *statement) : FStatement(statement) {}
    ~TStatement() { sqlite3_finalize(FStatement); }
    TStatement(TStatement &&other) noexcept : FStatement(std::exchange(other.FStatement, nullptr)) {}
    TStatement &operator=(TStatement &&other) noexcept
    {
        std::swap(FStatement, other.FStatement);
        return *this;
    }
    TStatement(const TStatement &) = delete;
    TStatement &operator=(const TStatement &) = delete;

    sqlite3_stmt *get() const { return FStatement; }
    explicit operator bool() const { return FStatement != nullptr; }

private:
    sqlite3_stmt *FStatement = nullptr;
};

// Resets a statement when the scope is left, so that it never holds the
// file's read lock after its use, whatever was thrown.
class TResetScope {
public:
    explicit TResetScope(sqlite3_stmt *statement) : FStatement(statement) {}
    ~TResetScope() { sqlite3_reset(FStatement); }
    TResetScope(const TResetScope &) = delete;
    TResetScope &operator=(const TResetScope &) = delete;

private:
    sqlite3_stmt *FStatement;
};

class TSqlConnection;

// Binds values to a statement's parameters. The texts live here until the
// statement has run, so SQLite need not copy them.
class TBinder {
public:
    TBinder(const TSqlConnection &sql, sqlite3_stmt *statement) : FSql(sql), FStatement(statement)
    {
        FBytes.reserve(size_t(sqlite3_bind_parameter_count(statement)));
    }
    // The 1-based parameter at: null, a number, a text or a blob.
    void Bind(int at, const QVariant &value);

private:
    const TSqlConnection &FSql;
    sqlite3_stmt *FStatement;
    std::vector<QByteArray> FBytes;
};

// Bytes of a text as SQLite holds them, decoded: valid UTF-8 as such, other
// bytes (written by another program) as Windows-1252, so none is lost.
QString TextOf(const char *bytes, int size);

// A record's values packed in one block of bytes: per value a tag, then the
// 8 bytes of an integer or a real, or the 4-byte length and the bytes of a
// text (UTF-8, as SQLite holds it) or of a blob. Loading a view so makes no
// object per value, and texts are decoded only when asked for.
enum TPackedTag : char { PackedNull, PackedInteger, PackedReal, PackedText, PackedBlob };

struct TPackedValue {
    char Tag = PackedNull;
    qint64 Integer = 0;
    double Real = 0;
    const char *Bytes = nullptr;
    int Size = 0;
};

// Packed records of one reading laid one after another in large blocks:
// one allocation per block, not one per record. Rows packed into it point
// into its blocks, so the blocks must stay as long as those rows.
class TPackArena {
public:
    char *Take(size_t size);
    std::vector<std::unique_ptr<char[]>> Blocks;

private:
    char *FAt = nullptr;
    size_t FLeft = 0;
};

class TPacker {
public:
    void Clear() { FBytes.clear(); }
    void AddValue(const QVariant &value);
    QByteArray Take() const { return QByteArray(FBytes.data(), qsizetype(FBytes.size())); }
    // Columns first..last of the statement's current row, packed as AddValue
    // packs their values, within arena, which the result points into.
    static QByteArray PackColumns(sqlite3_stmt *statement, int first, int last, TPackArena &arena);

private:
    void Add(char tag, const void *bytes, size_t size);
    std::string FBytes;
};

// The first 16 bytes of a value's place in ComparePacked's order, as two
// words compared high first: where they differ they order the values, where
// they are equal the values themselves must be compared. Sorting by them
// reads each record's bytes only for close calls.
void SortPrefix(const TPackedValue &value, quint64 &high, quint64 &low);

// Value column of packed; null past its end.
TPackedValue PackedAt(const QByteArray &packed, int column);
QVariant Unpack(const TPackedValue &value);
QByteArray PackOne(const QVariant &value);
// In SQLite's order of values: nulls, numbers, texts, blobs; texts and blobs
// by their bytes (BINARY).
int ComparePacked(const TPackedValue &a, const TPackedValue &b);

// Column column of the statement's current row as the store holds values:
// null, a number (qlonglong or double), a text or a blob. A text of valid
// UTF-8 is decoded as such; other bytes, written by another program, as
// Windows-1252, so no byte is lost.
QVariant ColumnValue(sqlite3_stmt *statement, int column);
QString ColumnText(sqlite3_stmt *statement, int column);

// One SQLite connection, closed when it goes. Statements made on it must be
// gone before it is.
class TSqlConnection {
public:
    TSqlConnection(const QString &path, const QString &table);
    ~TSqlConnection();
    TSqlConnection(const TSqlConnection &) = delete;
    TSqlConnection &operator=(const TSqlConnection &) = delete;

    // The settings above, once the file is known to be a table.
    void UseLog() const;

    sqlite3 *Db() const { return FDb; }
    const QString &Path() const { return FPath; }
    const QString &Table() const { return FTable; }

    // Kept for the connection's life, so it is prepared once.
    TStatement Prepare(const QString &sql) const { return Prepare(sql, SQLITE_PREPARE_PERSISTENT); }
    // Used once.
    TStatement PrepareOnce(const QString &sql) const { return Prepare(sql, 0); }
    // Steps once: true on a row, false when done; throws on anything else.
    bool Step(sqlite3_stmt *statement) const;
    // Runs to its end and resets.
    void Run(sqlite3_stmt *statement) const;
    void Exec(const QString &sql) const;
    [[noreturn]] void Fail(int code) const { TableStoreSql::Fail(FDb, code, FTable); }

    // The one data table in the file.
    QString DataTable() const;

private:
    TStatement Prepare(const QString &sql, unsigned flags) const;

    sqlite3 *FDb = nullptr;
    QString FPath;
    QString FTable;
};

bool IsNumber(const QVariant &v);

// "Titulo;parent" -> its field names.
QStringList SplitFields(const QString &fields);

// A read transaction a query keeps between its runs.
class THeldRead {
public:
    virtual void EndRead() = 0;

protected:
    ~THeldRead() = default;
};
// Held reads, each noted with its thread while it lasts.
void NoteHeld(THeldRead *read);
void NoteEnded(THeldRead *read);
// Ends every held read of this thread, so that what this thread writes next
// is seen by the next run of its queries.
void EndHeldReads();

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
        TableStoreSql::TResetScope reset(DataVersion.get());
        const qlonglong version = Sql.Step(DataVersion.get()) ? sqlite3_column_int64(DataVersion.get(), 0) : 0;
        Stale = Stale || version != Version;
        Version = version;
    }

    // The selection of the view, per its text (filter and order).
    sqlite3_stmt *Select(const QString &sql)
    {
        auto it = Selects.find(sql);
        if (it == Selects.end())
            it = Selects.emplace(sql, Sql.Prepare(sql)).first;
        return it->second.get();
    }

    TableStoreSql::TSqlConnection Sql; // first in, last out: the statements below go before it
    QString Table;      // the SQLite table inside the file
    TableStoreSql::TStatement Begin, Commit, Rollback, DataVersion;
    TableStoreSql::TStatement Insert, InsertWithId, Delete, KeyCheck;
    std::map<std::vector<int>, TableStoreSql::TStatement> Updates; // per set of fields written
    std::map<QString, TableStoreSql::TStatement> Selects;
    qlonglong Version = -1;
    bool Stale = true;
};
