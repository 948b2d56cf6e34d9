#include "TableStoreSql.h"

#include <algorithm>
#include <iterator>
#include <optional>

using namespace TableStoreSql;

// ---------------------------------------------------------- TTable: editing

namespace {

// BEGIN IMMEDIATE ... COMMIT, rolled back when left by an exception, so a
// failed step never leaves the connection inside a transaction.
class TWriteTransaction {
public:
    explicit TWriteTransaction(TSqlConnection &sql, sqlite3_stmt *begin, sqlite3_stmt *commit,
                               sqlite3_stmt *rollback)
        : FSql(sql), FCommit(commit), FRollback(rollback)
    {
        FSql.Run(begin);
    }
    ~TWriteTransaction()
    {
        // A failed COMMIT may have ended the transaction itself.
        if (!FDone && !sqlite3_get_autocommit(FSql.Db())) {
            sqlite3_step(FRollback);
            sqlite3_reset(FRollback);
        }
    }
    void Commit()
    {
        FSql.Run(FCommit);
        FDone = true;
    }

private:
    TSqlConnection &FSql;
    sqlite3_stmt *FCommit;
    sqlite3_stmt *FRollback;
    bool FDone = false;
};

// Equal in type and value: 5 and "5" differ, as they are stored apart.
bool SameValue(const QVariant &a, const QVariant &b)
{
    return a.isNull() == b.isNull() && a.metaType() == b.metaType() && (a.isNull() || a == b);
}

} // namespace

void TTable::BeginNewRecord(int at)
{
    FBuffer = TRecord();
    FBuffer.Values.resize(Columns().size());
    FRows.insert(size_t(at), TRow{0, ++FSerials, {}}); // in place of the record to come
    FPendingAt = at;
    FCur = at;
    FModified = false;
    FExplicitAutoInc = false;
    FBof = FEof = false;
    SetState(TDataSetState::Insert);
    emit DataSetChanged();
}

void TTable::Insert()
{
    CheckActive();
    CheckBrowseMode();
    BeginNewRecord(std::max(FCur, 0));
}

void TTable::Append()
{
    CheckActive();
    CheckBrowseMode();
    BeginNewRecord(int(FRows.size()));
}

void TTable::Edit()
{
    CheckActive();
    if (State() != TDataSetState::Browse)
        return;
    if (FRows.empty()) {
        Insert();
        return;
    }
    const TRow &row = FRows[size_t(FCur)];
    FBuffer = TRecord();
    FBuffer.RowId = row.RowId;
    for (int c = 0; c < int(Columns().size()); ++c)
        FBuffer.Values.push_back(Unpack(PackedAt(row.Packed, c)));
    FModified = false;
    SetState(TDataSetState::Edit);
}

void TTable::CheckKey(const TRecord &row, bool isNew)
{
    if (FPrimary.empty())
        return;
    if (!FDb->KeyCheck) {
        QStringList terms;
        for (int column : FPrimary)
            terms << Quote(Columns()[size_t(column)].Name) + QStringLiteral(" IS ?");
        FDb->KeyCheck = FDb->Sql.Prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 AND rowid IS NOT ? LIMIT 1")
                                             .arg(Quote(FDb->Table), terms.join(QStringLiteral(" AND "))));
    }
    sqlite3_stmt *query = FDb->KeyCheck.get();
    TResetScope reset(query);
    TBinder binder(FDb->Sql, query);
    int i = 1;
    for (int column : FPrimary)
        binder.Bind(i++, row.Values[size_t(column)]);
    binder.Bind(i, isNew ? QVariant() : QVariant(row.RowId));
    if (FDb->Sql.Step(query))
        throw EKeyViolation();
}

void TTable::Post()
{
    CheckActive();
    const bool isNew = State() == TDataSetState::Insert;
    if (!isNew && State() != TDataSetState::Edit)
        return;
    const std::vector<TColumn> &columns = Columns();
    for (size_t c = 0; c < columns.size(); ++c)
        if (columns[c].Required && FBuffer.Values[c].isNull() && int(c) != FAutoIncColumn)
            throw EDatabaseError(QStringLiteral("%1: field '%2' must have a value").arg(TableName, columns[c].Name));

    {
        EndHeldReads();
        // Inside StartTransaction the post is part of that one; a failed
        // statement undoes only itself there.
        std::optional<TWriteTransaction> transaction;
        if (!FInTransaction)
            transaction.emplace(FDb->Sql, FDb->Begin.get(), FDb->Commit.get(), FDb->Rollback.get());
        FDb->NoteVersion();
        // An edit writes only the fields it changed: SQLite rewrites every
        // index on a column it sets, and another program's change to the
        // other fields of the record is kept.
        std::vector<int> written;
        if (!isNew) {
            const TRow &before = FRows[size_t(FCur)];
            for (int c = 0; c < int(columns.size()); ++c)
                if (!SameValue(FBuffer.Values[size_t(c)], Unpack(PackedAt(before.Packed, c))))
                    written.push_back(c);
            if (written.empty()) // still written, so that a deleted record is noticed
                written.push_back(0);
        }
        const bool keyTouched = isNew || std::any_of(FPrimary.begin(), FPrimary.end(), [&](int column) {
                                    return std::find(written.begin(), written.end(), column) != written.end();
                                });
        if (keyTouched)
            CheckKey(FBuffer, isNew);
        const bool withId = isNew && FAutoIncColumn >= 0 && FExplicitAutoInc;
        TStatement &statement = isNew ? (withId ? FDb->InsertWithId : FDb->Insert) : FDb->Updates[written];
        if (!statement) {
            QStringList names, marks;
            if (isNew) {
                for (size_t c = 0; c < columns.size(); ++c) {
                    if (int(c) == FAutoIncColumn && !withId)
                        continue;
                    names << Quote(columns[c].Name);
                    marks << QStringLiteral("?");
                }
            } else {
                for (int c : written)
                    names << Quote(columns[size_t(c)].Name) + QStringLiteral(" = ?");
            }
            statement = isNew ? FDb->Sql.Prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                     .arg(Quote(FDb->Table), names.join(QStringLiteral(", ")),
                                                          marks.join(QStringLiteral(", "))))
                              : FDb->Sql.Prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                                     .arg(Quote(FDb->Table), names.join(QStringLiteral(", "))));
        }
        sqlite3_stmt *query = statement.get();
        {
            TBinder binder(FDb->Sql, query);
            int i = 1;
            if (isNew) {
                for (size_t c = 0; c < columns.size(); ++c)
                    if (int(c) != FAutoIncColumn || withId)
                        binder.Bind(i++, FBuffer.Values[c]);
            } else {
                for (int c : written)
                    binder.Bind(i++, FBuffer.Values[size_t(c)]);
                binder.Bind(i, FBuffer.RowId);
            }
            FDb->Sql.Run(query);
        }
        if (!isNew && sqlite3_changes(FDb->Sql.Db()) == 0)
            throw EDatabaseError(QStringLiteral("%1: the record was deleted by another program").arg(TableName));
        if (isNew)
            FBuffer.RowId = sqlite3_last_insert_rowid(FDb->Sql.Db());
        if (transaction)
            transaction->Commit();
    }

    int from = FCur;
    if (isNew) {
        from = FPendingAt;
        FPendingAt = -1;
    }
    FRows.erase(size_t(from));
    if (FAutoIncColumn >= 0)
        FBuffer.Values[size_t(FAutoIncColumn)] = FBuffer.RowId;
    FModified = false;
    FBof = FEof = false;
    TRow row = Pack(FBuffer);
    FBuffer = TRecord();
    if (FDb->Stale) {
        FCur = -1;
        Reload(row.RowId, true);
    } else if (Matches(row)) {
        // The record's keys found once, not at each comparison.
        TPackedValue key[8];
        std::vector<TPackedValue> moreKeys;
        TPackedValue *keys = key;
        if (FOrder.size() > std::size(key)) {
            moreKeys.resize(FOrder.size());
            keys = moreKeys.data();
        }
        for (size_t k = 0; k < FOrder.size(); ++k)
            keys[k] = PackedAt(row.Packed, FOrder[k]);
        const size_t at = FRows.partition_point([&](const TRow &a) {
            for (size_t k = 0; k < FOrder.size(); ++k) {
                const int c = ComparePacked(PackedAt(a.Packed, FOrder[k]), keys[k]);
                if (c != 0)
                    return c < 0;
            }
            return a.RowId < row.RowId;
        });
        FCur = int(at);
        FRows.insert(at, std::move(row));
    } else {
        FCur = FRows.empty() ? -1 : std::min(from, int(FRows.size()) - 1);
    }
    SetState(TDataSetState::Browse);
    emit DataSetChanged();
}

void TTable::Cancel()
{
    if (State() == TDataSetState::Insert) {
        FRows.erase(size_t(FPendingAt));
        FCur = FRows.empty() ? -1 : std::min(FPendingAt, int(FRows.size()) - 1);
        FPendingAt = -1;
    } else if (State() != TDataSetState::Edit) {
        return;
    }
    FBuffer = TRecord();
    FModified = false;
    FBof = FEof = FRows.empty();
    SetState(TDataSetState::Browse);
    emit DataSetChanged();
}

void TTable::Delete()
{
    CheckActive();
    if (State() == TDataSetState::Insert) {
        Cancel();
        return;
    }
    Cancel();
    if (FRows.empty())
        throw EDatabaseError(QStringLiteral("%1: cannot delete from an empty table").arg(TableName));
    if (!FDb->Delete)
        FDb->Delete = FDb->Sql.Prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(Quote(FDb->Table)));
    EndHeldReads();
    // One statement outside BEGIN is one transaction of its own.
    {
        TBinder binder(FDb->Sql, FDb->Delete.get());
        binder.Bind(1, FRows[size_t(FCur)].RowId);
        FDb->Sql.Run(FDb->Delete.get());
    }
    FRows.erase(size_t(FCur));
    FCur = FRows.empty() ? -1 : std::min(FCur, int(FRows.size()) - 1);
    FBof = FEof = FRows.empty();
    emit DataSetChanged();
}

void TTable::SetColumnValue(TField *field, const QVariant &value)
{
    if (State() != TDataSetState::Edit && State() != TDataSetState::Insert)
        throw EDatabaseError(QStringLiteral("%1: not in edit or insert mode").arg(TableName));
    const int column = ColumnOf(field);
    if (column == FAutoIncColumn) {
        // The store numbers new records; a number may be given to a new
        // record, never changed afterwards.
        if (State() == TDataSetState::Edit)
            throw EDatabaseError(QStringLiteral("%1: field '%2' cannot be modified").arg(TableName, field->FieldName()));
        FExplicitAutoInc = !value.isNull();
    }
    FBuffer.Values[size_t(column)] = value;
    FModified = true;
    emit FieldChanged(field);
}

// ---------------------------------------------------- TTable: transactions

void TTable::StartTransaction()
{
    CheckActive();
    CheckBrowseMode();
    if (FInTransaction)
        throw EDatabaseError(QStringLiteral("%1: a transaction is running already").arg(TableName));
    EndHeldReads();
    FDb->Sql.Run(FDb->Begin.get());
    FInTransaction = true;
}

void TTable::Commit()
{
    if (!FInTransaction)
        return;
    if (State() != TDataSetState::Browse)
        Cancel();
    try {
        FDb->Sql.Run(FDb->Commit.get());
    } catch (...) {
        Rollback();
        throw;
    }
    FInTransaction = false;
}

void TTable::Rollback()
{
    if (!FInTransaction)
        return;
    FInTransaction = false;
    if (State() != TDataSetState::Browse)
        Cancel();
    if (!sqlite3_get_autocommit(FDb->Sql.Db())) {
        sqlite3_step(FDb->Rollback.get());
        sqlite3_reset(FDb->Rollback.get());
    }
    // The view holds what was posted: it is read again from the file.
    Reload(FCur >= 0 ? FRows[size_t(FCur)].RowId : 0, FCur >= 0);
    emit DataSetChanged();
}
