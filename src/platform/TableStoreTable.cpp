#include "TableStoreSql.h"

#include <algorithm>
#include <cstring>

using namespace TableStoreSql;

// ------------------------------------------------------------------- TTable

TTable::TTable(QObject *parent) : TDataSet(parent) {}

TTable::~TTable()
{
    blockSignals(true);
    Close();
}

std::vector<int> TTable::IndexColumns(const QString &name) const
{
    if (name.isEmpty())
        return FPrimary;
    for (const TIndexDef &index : IndexDefs) {
        if (index.Name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        std::vector<int> columns;
        for (const QString &field : SplitFields(index.Fields))
            columns.push_back(ColumnOf(field));
        return columns;
    }
    throw EDatabaseError(QStringLiteral("%1: index '%2' not found").arg(TableName, name));
}

bool TTable::Matches(const TRow &row) const
{
    return FFilter.Column < 0 || ComparePacked(PackedAt(row.Packed, FFilter.Column), PackedAt(FFilter.Packed, 0)) == 0;
}

TTable::TRow TTable::Pack(const TRecord &record)
{
    TPacker packer;
    for (const QVariant &value : record.Values)
        packer.AddValue(value);
    return {record.RowId, ++FSerials, packer.Take()};
}

namespace {

QVariant ValueForColumn(TFieldType type, const QString &text, const QString &table, const QString &field)
{
    if (text.isEmpty())
        return {};
    switch (type) {
    case TFieldType::Integer:
    case TFieldType::AutoInc: {
        bool ok = false;
        const qlonglong value = text.toLongLong(&ok);
        if (!ok)
            throw EDatabaseError(QStringLiteral("%1: '%2' is not a valid value for field '%3'").arg(table, text, field));
        return value;
    }
    case TFieldType::Boolean:
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1"))
            return qlonglong(1);
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || text == QLatin1String("0"))
            return qlonglong(0);
        throw EDatabaseError(QStringLiteral("%1: '%2' is not a valid value for field '%3'").arg(table, text, field));
    default:
        return text;
    }
}

QVariant KeyForColumn(TFieldType type, const QVariant &key, const QString &table, const QString &field)
{
    if (key.isNull())
        return {};
    if (IsNumber(key) && type != TFieldType::String && type != TFieldType::Memo)
        return key.toLongLong();
    return ValueForColumn(type, key.toString(), table, field);
}

} // namespace

TTable::TFilterTerm TTable::ParseFilter(const QString &expression) const
{
    const QString text = expression.trimmed();
    if (text.isEmpty())
        return {};
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0)
        throw EDatabaseError(QStringLiteral("%1: filter '%2' is not of the form field=value").arg(TableName, expression));
    const QString name = text.left(eq).trimmed();
    QString value = text.mid(eq + 1).trimmed();
    if (value.size() >= 2 && (value.front() == QLatin1Char('\'') || value.front() == QLatin1Char('"'))
        && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    TFilterTerm term;
    term.Column = ColumnOf(name);
    if (term.Column < 0)
        throw EDatabaseError(QStringLiteral("%1: field '%2' not found").arg(TableName, name));
    term.Value = ValueForColumn(Columns()[size_t(term.Column)].DataType, value, TableName, name);
    term.Packed = PackOne(term.Value);
    return term;
}

void TTable::Reload(qint64 keepRowId, bool keep)
{
    FDb->NoteVersion(); // the version the view is read at
    FDb->Stale = false;
    const std::vector<TColumn> &columns = Columns();
    QStringList names{QStringLiteral("rowid")};
    for (const TColumn &column : columns)
        names << Quote(column.Name);
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(names.join(QStringLiteral(", ")), Quote(FDb->Table));
    if (FFilter.Column >= 0)
        sql += QStringLiteral(" WHERE %1 IS ?").arg(Quote(columns[size_t(FFilter.Column)].Name));
    // Read in the file's order and sorted here: the index order would look
    // up every record on its own page, reading each page many times.
    sql += QStringLiteral(" ORDER BY rowid");

    sqlite3_stmt *query = FDb->Select(sql);
    TResetScope reset(query);
    TBinder binder(FDb->Sql, query);
    if (FFilter.Column >= 0)
        binder.Bind(1, FFilter.Value);
    // The view stays as it was when a step fails.
    std::vector<TRow> read;
    TPackArena arena;
    const int width = int(columns.size());
    while (FDb->Sql.Step(query))
        read.push_back({sqlite3_column_int64(query, 0), ++FSerials, TPacker::PackColumns(query, 1, width, arena)});
    TBlockList<TRow> rows;
    if (FOrder.empty()) {
        for (TRow &row : read)
            rows.push_back(std::move(row));
    } else {
        // Each record's keys found once, not at every comparison.
        const size_t keys = FOrder.size();
        std::vector<TPackedValue> key(read.size() * keys);
        for (size_t r = 0; r < read.size(); ++r)
            for (size_t k = 0; k < keys; ++k)
                key[r * keys + k] = PackedAt(read[r].Packed, FOrder[k]);
        struct TSortKey {
            quint64 High, Low;
            quint32 Row;
        };
        std::vector<TSortKey> order(read.size());
        for (size_t r = 0; r < order.size(); ++r) {
            SortPrefix(key[r * keys], order[r].High, order[r].Low);
            order[r].Row = quint32(r);
        }
        std::sort(order.begin(), order.end(), [&](const TSortKey &a, const TSortKey &b) {
            if (a.High != b.High)
                return a.High < b.High;
            if (a.Low != b.Low)
                return a.Low < b.Low;
            const quint32 x = a.Row, y = b.Row;
            for (size_t k = 0; k < keys; ++k) {
                const int c = ComparePacked(key[x * keys + k], key[y * keys + k]);
                if (c != 0)
                    return c < 0;
            }
            return read[x].RowId < read[y].RowId;
        });
        for (const TSortKey &r : order)
            rows.push_back(std::move(read[r.Row]));
    }
    FRows.swap(rows);
    rows.clear(); // the old records, before the bytes they point into
    FPackBlocks.swap(arena.Blocks);
    FPendingAt = -1;
    int at = keep ? IndexOfRowId(keepRowId) : 0;
    if (at < 0)
        at = std::min(std::max(FCur, 0), int(FRows.size()) - 1);
    FCur = FRows.empty() ? -1 : std::min(at, int(FRows.size()) - 1);
    FBof = FEof = FRows.empty();
}

void TTable::SyncWithOthers()
{
    FDb->NoteVersion();
    if (FDb->Stale)
        Reload(FCur >= 0 ? FRows[size_t(FCur)].RowId : 0, FCur >= 0);
}

int TTable::IndexOfRowId(qint64 rowId) const
{
    for (size_t i = 0; i < FRows.size(); ++i)
        if (FRows[i].RowId == rowId && int(i) != FPendingAt)
            return int(i);
    return -1;
}

void TTable::CheckBrowseMode()
{
    if (State() == TDataSetState::Edit || State() == TDataSetState::Insert) {
        if (FModified)
            Post();
        else
            Cancel();
    }
}

void TTable::MoveTo(int index)
{
    if (index == FCur)
        return;
    FCur = index;
    emit Scrolled();
}

void TTable::SetIndexName(const QString &name)
{
    if (!Active()) {
        FIndexName = name;
        return;
    }
    if (name.compare(FIndexName, Qt::CaseInsensitive) == 0)
        return;
    CheckBrowseMode();
    FOrder = IndexColumns(name);
    FIndexName = name;
    Reload(FCur >= 0 ? FRows[size_t(FCur)].RowId : 0, FCur >= 0);
    emit DataSetChanged();
}

void TTable::SetFilter(const QString &expression)
{
    if (Active() && FFiltered) {
        CheckBrowseMode();
        FFilter = ParseFilter(expression);
        FFilterText = expression;
        Reload(FCur >= 0 ? FRows[size_t(FCur)].RowId : 0, FCur >= 0);
        emit DataSetChanged();
    } else {
        FFilterText = expression;
    }
}

void TTable::SetFiltered(bool filtered)
{
    if (filtered == FFiltered)
        return;
    if (Active()) {
        CheckBrowseMode();
        FFilter = filtered ? ParseFilter(FFilterText) : TFilterTerm();
        FFiltered = filtered;
        Reload(FCur >= 0 ? FRows[size_t(FCur)].RowId : 0, FCur >= 0);
        emit DataSetChanged();
    } else {
        FFiltered = filtered;
    }
}

int TTable::RecordCount() const
{
    CheckActive();
    return int(FRows.size());
}

int TTable::RecNo() const
{
    CheckActive();
    return FCur + 1;
}

void TTable::SetRecNo(int recNo)
{
    CheckActive();
    CheckBrowseMode();
    if (FRows.empty())
        return;
    MoveTo(std::clamp(recNo - 1, 0, int(FRows.size()) - 1));
    FBof = FEof = false;
}

void TTable::First()
{
    CheckActive();
    CheckBrowseMode();
    SyncWithOthers();
    MoveTo(FRows.empty() ? -1 : 0);
    FBof = true;
    FEof = FRows.empty();
}

void TTable::Last()
{
    CheckActive();
    CheckBrowseMode();
    MoveTo(int(FRows.size()) - 1);
    FEof = true;
    FBof = FRows.empty();
}

void TTable::Next()
{
    MoveBy(1);
}

void TTable::Prior()
{
    MoveBy(-1);
}

int TTable::MoveBy(int distance)
{
    CheckActive();
    CheckBrowseMode();
    if (FRows.empty()) {
        FBof = FEof = true;
        return 0;
    }
    const int target = int(std::clamp<qint64>(qint64(FCur) + distance, 0, qint64(FRows.size()) - 1));
    const int moved = target - FCur;
    MoveTo(target);
    FEof = distance > 0 && moved < distance;
    FBof = distance < 0 && moved > distance;
    return moved;
}

void TTable::FindNearest(const QVariantList &keys)
{
    CheckActive();
    CheckBrowseMode();
    if (FOrder.empty())
        throw EDatabaseError(QStringLiteral("%1: no index to search").arg(TableName));
    const size_t count = std::min(size_t(keys.size()), FOrder.size());
    std::vector<QByteArray> probe;
    for (size_t i = 0; i < count; ++i) {
        const TColumn &column = Columns()[size_t(FOrder[i])];
        probe.push_back(PackOne(KeyForColumn(column.DataType, keys[qsizetype(i)], TableName, column.Name)));
    }
    auto below = [&](const TRow &row) {
        for (size_t i = 0; i < count; ++i) {
            const int c = ComparePacked(PackedAt(row.Packed, FOrder[i]), PackedAt(probe[i], 0));
            if (c != 0)
                return c < 0;
        }
        return false;
    };
    const size_t at = FRows.partition_point(below);
    if (at == FRows.size()) {
        Last();
        return;
    }
    MoveTo(int(at));
    FBof = FEof = false;
}

bool TTable::Locate(const QString &fieldName, const QVariant &value)
{
    CheckActive();
    CheckBrowseMode();
    const int column = ColumnOf(fieldName);
    if (column < 0)
        throw EDatabaseError(QStringLiteral("%1: field '%2' not found").arg(TableName, fieldName));
    const QByteArray packed = PackOne(KeyForColumn(Columns()[size_t(column)].DataType, value, TableName, fieldName));
    const TPackedValue wanted = PackedAt(packed, 0);
    for (size_t i = 0; i < FRows.size(); ++i) {
        if (ComparePacked(PackedAt(FRows[i].Packed, column), wanted) == 0) {
            MoveTo(int(i));
            FBof = FEof = false;
            return true;
        }
    }
    return false;
}

TBookmark TTable::GetBookmark() const
{
    CheckActive();
    if (FCur < 0 || FCur == FPendingAt)
        return {};
    return {FRows[size_t(FCur)].RowId, true};
}

bool TTable::BookmarkValid(const TBookmark &bookmark) const
{
    return Active() && bookmark.Valid && IndexOfRowId(bookmark.RowId) >= 0;
}

void TTable::GotoBookmark(const TBookmark &bookmark)
{
    CheckActive();
    CheckBrowseMode();
    const int at = bookmark.Valid ? IndexOfRowId(bookmark.RowId) : -1;
    if (at < 0)
        throw EDatabaseError(QStringLiteral("%1: record not found").arg(TableName));
    MoveTo(at);
    FBof = FEof = false;
}

QVariant TTable::ValueAt(int recNo, const TField *field) const
{
    CheckActive();
    const int at = recNo - 1;
    if (at < 0 || at >= int(FRows.size()) || !field || field->DataSet() != this)
        return {};
    const int column = ColumnOf(field);
    if (column < 0)
        return {};
    if (at == FCur && State() != TDataSetState::Browse)
        return FBuffer.Values[size_t(column)];
    return Unpack(PackedAt(FRows[size_t(at)].Packed, column));
}

const QVariant &TTable::ColumnValue(int column) const
{
    static const QVariant none;
    if (column < 0)
        return none;
    if (State() == TDataSetState::Edit || State() == TDataSetState::Insert)
        return FBuffer.Values[size_t(column)];
    if (FCur < 0)
        return none;
    const TRow &row = FRows[size_t(FCur)];
    if (row.Serial != FDecodedSerial) {
        // Only the marks are cleared: a value is replaced when decoded anew.
        FDecoded.resize(Columns().size());
        FHaveDecoded.assign(Columns().size(), 0);
        FDecodedSerial = row.Serial;
    }
    if (!FHaveDecoded[size_t(column)]) {
        // The row id is the numbered key's value: a walk reading keys only
        // need not reach each record's bytes.
        FDecoded[size_t(column)] =
            column == FAutoIncColumn ? QVariant(qlonglong(row.RowId)) : Unpack(PackedAt(row.Packed, column));
        FHaveDecoded[size_t(column)] = 1;
    }
    return FDecoded[size_t(column)];
}

bool TTable::ColumnAscii(int column, QLatin1StringView &text) const
{
    if (column < 0 || FCur < 0 || State() == TDataSetState::Edit || State() == TDataSetState::Insert)
        return false;
    const TPackedValue value = PackedAt(FRows[size_t(FCur)].Packed, column);
    if (value.Tag == PackedNull) {
        text = {};
        return true;
    }
    if (value.Tag != PackedText)
        return false;
    // Eight bytes at a time: a text is mostly ASCII or not at all.
    const char *p = value.Bytes;
    const char *const end = p + value.Size;
    for (; end - p >= 8; p += 8) {
        quint64 eight;
        std::memcpy(&eight, p, sizeof eight);
        if (eight & 0x8080808080808080ULL)
            return false;
    }
    for (; p < end; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    text = QLatin1StringView(value.Bytes, value.Size);
    return true;
}
