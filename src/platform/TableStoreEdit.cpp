#include "TableStoreSql.h"

#include <algorithm>

using namespace TableStoreSql;

// ---------------------------------------------------------- TTable: editing

namespace {

// BEGIN IMMEDIATE ... COMMIT, rolled back when left by an exception.
class TWriteTransaction {
public:
    explicit TWriteTransaction(TSqlConnection &sql, QSqlQuery &begin, QSqlQuery &commit,
                               QSqlQuery &rollback)
        : FSql(sql), FCommit(commit), FRollback(rollback)
    {
        FSql.Run(begin);
        begin.finish();
    }
    ~TWriteTransaction()
    {
        if (!FDone) {
            FRollback.exec();
            FRollback.finish();
        }
    }
    void Commit()
    {
        FSql.Run(FCommit);
        FCommit.finish();
        FDone = true;
    }

private:
    TSqlConnection &FSql;
    QSqlQuery &FCommit;
    QSqlQuery &FRollback;
    bool FDone = false;
};

} // namespace

void TTable::BeginNewRecord(int at)
{
    FBuffer = TRow();
    FBuffer.Values.resize(Columns().size());
    FRows.insert(FRows.begin() + at, FBuffer);
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
    FBuffer = FRows[size_t(FCur)];
    FModified = false;
    SetState(TDataSetState::Edit);
}

void TTable::CheckKey(const TRow &row, bool isNew)
{
    if (FPrimary.empty())
        return;
    if (FDb->KeyCheck.lastQuery().isEmpty()) {
        QStringList terms;
        for (int column : FPrimary)
            terms << Quote(Columns()[size_t(column)].Name) + QStringLiteral(" IS ?");
        FDb->KeyCheck = FDb->Sql.Prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 AND rowid IS NOT ? LIMIT 1")
                                             .arg(Quote(FDb->Table), terms.join(QStringLiteral(" AND "))));
    }
    QSqlQuery &query = FDb->KeyCheck;
    int i = 0;
    for (int column : FPrimary)
        query.bindValue(i++, row.Values[size_t(column)]);
    query.bindValue(i, isNew ? QVariant() : QVariant(row.RowId));
    FDb->Sql.Run(query);
    const bool taken = query.next();
    query.finish();
    if (taken)
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
        TWriteTransaction transaction(FDb->Sql, FDb->Begin, FDb->Commit, FDb->Rollback);
        FDb->NoteVersion();
        CheckKey(FBuffer, isNew);
        const bool withId = isNew && FAutoIncColumn >= 0 && FExplicitAutoInc;
        QSqlQuery &query = isNew ? (withId ? FDb->InsertWithId : FDb->Insert) : FDb->Update;
        if (query.lastQuery().isEmpty()) {
            QStringList names, marks;
            for (size_t c = 0; c < columns.size(); ++c) {
                if (int(c) == FAutoIncColumn && !withId)
                    continue;
                names << Quote(columns[c].Name) + (isNew ? QString() : QStringLiteral(" = ?"));
                marks << QStringLiteral("?");
            }
            query = isNew ? FDb->Sql.Prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                 .arg(Quote(FDb->Table), names.join(QStringLiteral(", ")),
                                                      marks.join(QStringLiteral(", "))))
                          : FDb->Sql.Prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                                 .arg(Quote(FDb->Table), names.join(QStringLiteral(", "))));
        }
        int i = 0;
        for (size_t c = 0; c < columns.size(); ++c)
            if (int(c) != FAutoIncColumn || withId)
                query.bindValue(i++, FBuffer.Values[c]);
        if (!isNew)
            query.bindValue(i, FBuffer.RowId);
        FDb->Sql.Run(query);
        if (!isNew && query.numRowsAffected() == 0)
            throw EDatabaseError(QStringLiteral("%1: the record was deleted by another program").arg(TableName));
        if (isNew)
            FBuffer.RowId = query.lastInsertId().toLongLong();
        query.finish();
        transaction.Commit();
    }

    int from = FCur;
    if (isNew) {
        from = FPendingAt;
        FPendingAt = -1;
    }
    FRows.erase(FRows.begin() + from);
    if (FAutoIncColumn >= 0)
        FBuffer.Values[size_t(FAutoIncColumn)] = FBuffer.RowId;
    FModified = false;
    FBof = FEof = false;
    TRow row = std::move(FBuffer);
    FBuffer = TRow();
    if (FDb->Stale) {
        FCur = -1;
        Reload(row.RowId, true);
    } else if (Matches(row)) {
        const auto at = std::lower_bound(FRows.begin(), FRows.end(), row,
                                         [this](const TRow &a, const TRow &b) { return Less(a, b); });
        FCur = int(at - FRows.begin());
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
        FRows.erase(FRows.begin() + FPendingAt);
        FCur = FRows.empty() ? -1 : std::min(FPendingAt, int(FRows.size()) - 1);
        FPendingAt = -1;
    } else if (State() != TDataSetState::Edit) {
        return;
    }
    FBuffer = TRow();
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
    if (FDb->Delete.lastQuery().isEmpty())
        FDb->Delete = FDb->Sql.Prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(Quote(FDb->Table)));
    // One statement outside BEGIN is one transaction of its own.
    FDb->Delete.bindValue(0, FRows[size_t(FCur)].RowId);
    FDb->Sql.Run(FDb->Delete);
    FDb->Delete.finish();
    FRows.erase(FRows.begin() + FCur);
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
