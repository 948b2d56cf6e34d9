#include "TableStore.h"

#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

constexpr int BusyTimeoutMs = 2000;

QString Quote(QString identifier)
{
    return QLatin1Char('"') + identifier.replace(QLatin1Char('"'), QLatin1String("\"\""))
        + QLatin1Char('"');
}

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

[[noreturn]] void Fail(const QSqlError &error, const QString &table)
{
    const int code = error.nativeErrorCode().toInt();
    switch (code & 0xff) {
    case 19: // SQLITE_CONSTRAINT
        throw EKeyViolation();
    case 5:  // SQLITE_BUSY
    case 6:  // SQLITE_LOCKED
        throw EDatabaseError(QStringLiteral("The table %1 is in use by another program. Try again.")
                                 .arg(table));
    default:
        break;
    }
    const QString reason = error.driverText().isEmpty() ? error.databaseText()
                                                        : error.databaseText().isEmpty()
            ? error.driverText()
            : error.driverText() + QStringLiteral(": ") + error.databaseText();
    throw ESqlFailure(table, code & 0xff, reason);
}

// Why a file that SQLite failed on is no table, in a sentence.
QString FileReason(const ESqlFailure &failure)
{
    switch (failure.Code) {
    case 26: // SQLITE_NOTADB
        return QStringLiteral("It is not a table file (another format).");
    case 11: // SQLITE_CORRUPT
        return QStringLiteral("It is damaged or cut short (%1).").arg(failure.Reason);
    case 14: // SQLITE_CANTOPEN
        return QStringLiteral("It cannot be opened (%1).").arg(failure.Reason);
    default:
        return QStringLiteral("It cannot be read (%1).").arg(failure.Reason);
    }
}

// Only regular files are opened: SQLite would wait forever reading a pipe.
void CheckTableFile(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw ETableFileError(path, QStringLiteral("It does not exist."));
        throw ETableFileError(path, QStringLiteral("It cannot be opened (%1).")
                                        .arg(QString::fromLocal8Bit(strerror(errno))));
    }
    if (S_ISDIR(st.st_mode))
        throw ETableFileError(path, QStringLiteral("It is a directory, not a table file."));
    if (!S_ISREG(st.st_mode))
        throw ETableFileError(path, QStringLiteral("It is not a regular file (a pipe, a device or a socket)."));
    if (st.st_size == 0)
        throw ETableFileError(path, QStringLiteral("It is empty."));
}

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

// Code point order, which is the byte order of UTF-8 and so SQLite's own.
int CompareText(QStringView a, QStringView b)
{
    const auto [pa, pb] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (pa == a.end())
        return pb == b.end() ? 0 : -1;
    if (pb == b.end())
        return 1;
    auto fix = [](char16_t c) -> int {
        if (c >= 0xE000)
            return c - 0x800;
        if (c >= 0xD800)
            return c + 0x2000;
        return c;
    };
    return fix(pa->unicode()) < fix(pb->unicode()) ? -1 : 1;
}

bool IsNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Bool:
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        return true;
    default:
        return false;
    }
}

// Nulls first, numbers before texts, as SQLite orders them.
int CompareValues(const QVariant &a, const QVariant &b)
{
    const bool an = a.isNull(), bn = b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    const bool ai = IsNumber(a), bi = IsNumber(b);
    if (ai && bi) {
        const qlonglong x = a.toLongLong(), y = b.toLongLong();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (ai != bi)
        return ai ? -1 : 1;
    if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString)
        return CompareText(*static_cast<const QString *>(a.constData()),
                           *static_cast<const QString *>(b.constData()));
    return CompareText(a.toString(), b.toString());
}

QString CutToCharacters(const QString &text, int count)
{
    qsizetype i = 0;
    for (int n = 0; i < text.size() && n < count; ++n)
        i += (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ? 2
            : 1;
    return text.left(i);
}

QString TypeDeclaration(const TFieldDef &def)
{
    const QString size = def.Size > 0 ? QStringLiteral("(%1)").arg(def.Size) : QString();
    switch (def.DataType) {
    case TFieldType::String:
        return QStringLiteral("VARCHAR") + size;
    case TFieldType::Integer:
        return QStringLiteral("INTEGER");
    case TFieldType::AutoInc:
        // The row id itself: numbered by SQLite, never reused after a delete.
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case TFieldType::Boolean:
        return QStringLiteral("BOOLEAN");
    case TFieldType::Memo:
        return QStringLiteral("CLOB") + size;
    }
    return {};
}

void ParseDeclaration(const QString &declared, bool rowId, TFieldType &type, int &size)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*([A-Za-z]+)\\s*(?:\\(\\s*(\\d+)\\s*\\))?"));
    const QRegularExpressionMatch m = shape.match(declared);
    const QString name = m.captured(1).toUpper();
    size = m.captured(2).toInt();
    if (name == QLatin1String("INTEGER"))
        type = rowId ? TFieldType::AutoInc : TFieldType::Integer;
    else if (name == QLatin1String("BOOLEAN"))
        type = TFieldType::Boolean;
    else if (name == QLatin1String("CLOB"))
        type = TFieldType::Memo;
    else
        type = TFieldType::String;
}

QStringList SplitFields(const QString &fields)
{
    QStringList names;
    for (const QString &part : fields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (!part.trimmed().isEmpty())
            names << part.trimmed();
    return names;
}

void SyncDirectory(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// ------------------------------------------------------------------- TField

TField::TField(TDataSet *dataSet, QString fieldName, QString name, bool persistent)
    : FDataSet(dataSet), FFieldName(std::move(fieldName)), FName(std::move(name)),
      FPersistent(persistent)
{
}

int TField::Index() const
{
    for (int i = 0; i < FDataSet->FieldCount(); ++i)
        if (FDataSet->Fields(i) == this)
            return i;
    return -1;
}

void TField::SetVisible(bool visible)
{
    if (FVisible == visible)
        return;
    FVisible = visible;
    emit FDataSet->LayoutChanged();
}

QVariant TField::Value() const
{
    FDataSet->CheckActive();
    return FDataSet->ColumnValue(FColumn);
}

bool TField::IsNull() const
{
    return Value().isNull();
}

QString TField::AsString() const
{
    const QVariant v = Value();
    if (v.isNull())
        return {};
    if (FDataType == TFieldType::Boolean)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return v.toString();
}

int TField::AsInteger() const
{
    return Value().toInt();
}

bool TField::AsBoolean() const
{
    return Value().toBool();
}

void TField::SetAsString(const QString &text)
{
    if (text.isEmpty()) {
        Set(QVariant());
        return;
    }
    switch (FDataType) {
    case TFieldType::String:
        Set(FSize > 0 ? CutToCharacters(text, FSize) : text);
        return;
    case TFieldType::Memo:
        Set(text);
        return;
    case TFieldType::Integer:
    case TFieldType::AutoInc: {
        bool ok = false;
        const int value = text.trimmed().toInt(&ok);
        if (!ok)
            throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                                     .arg(text, FFieldName));
        Set(qlonglong(value));
        return;
    }
    case TFieldType::Boolean:
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            Set(qlonglong(1));
        else if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            Set(qlonglong(0));
        else
            throw EDatabaseError(QStringLiteral("'%1' is not a valid boolean value for field '%2'")
                                     .arg(text, FFieldName));
        return;
    }
}

void TField::SetAsInteger(int value)
{
    if (FDataType == TFieldType::String || FDataType == TFieldType::Memo)
        SetAsString(QString::number(value));
    else if (FDataType == TFieldType::Boolean)
        Set(qlonglong(value != 0));
    else
        Set(qlonglong(value));
}

void TField::SetAsBoolean(bool value)
{
    if (FDataType == TFieldType::String || FDataType == TFieldType::Memo)
        SetAsString(value ? QStringLiteral("True") : QStringLiteral("False"));
    else
        Set(qlonglong(value ? 1 : 0));
}

void TField::Clear()
{
    Set(QVariant());
}

void TField::Set(const QVariant &value)
{
    FDataSet->CheckActive();
    FDataSet->SetColumnValue(this, value);
}

// ----------------------------------------------------------------- TDataSet

TDataSet::TDataSet(QObject *parent) : QObject(parent) {}

TDataSet::~TDataSet() = default;

void TDataSet::Open()
{
    if (Active())
        return;
    try {
        OpenCursor();
    } catch (...) {
        CloseCursor();
        throw;
    }
    SetState(TDataSetState::Browse);
    emit DataSetChanged();
}

void TDataSet::Close()
{
    if (!Active())
        return;
    CloseCursor();
    FBof = FEof = true;
    SetState(TDataSetState::Inactive);
    emit DataSetChanged();
}

TField *TDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw EDatabaseError(QStringLiteral("%1: field index %2 out of range").arg(DataSetName()).arg(index));
    return FFields[size_t(index)].get();
}

TField *TDataSet::FieldByName(const QString &fieldName) const
{
    for (const auto &field : FFields)
        if (field->FFieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return field.get();
    throw EDatabaseError(QStringLiteral("%1: field '%2' not found").arg(DataSetName(), fieldName));
}

TField *TDataSet::AddField(const QString &fieldName, const QString &name)
{
    if (Active())
        throw EDatabaseError(QStringLiteral("%1: fields are added while it is closed").arg(DataSetName()));
    std::erase_if(FFields, [](const auto &field) { return !field->FPersistent; });
    FFields.push_back(std::unique_ptr<TField>(new TField(this, fieldName, name, true)));
    return FFields.back().get();
}

void TDataSet::SetColumnValue(TField *field, const QVariant &)
{
    throw EDatabaseError(QStringLiteral("%1: field '%2' cannot be modified").arg(DataSetName(), field->FieldName()));
}

void TDataSet::SetState(TDataSetState state)
{
    if (FState == state)
        return;
    FState = state;
    emit StateChanged();
}

void TDataSet::CheckActive() const
{
    if (!Active())
        throw EDatabaseError(QStringLiteral("%1: cannot perform this operation on a closed dataset")
                                 .arg(DataSetName()));
}

int TDataSet::ColumnOf(const QString &name) const
{
    for (size_t i = 0; i < FColumns.size(); ++i)
        if (FColumns[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

QString TDataSet::MissingField(const std::vector<TColumn> &columns) const
{
    for (const auto &field : FFields) {
        if (!field->FPersistent)
            continue;
        const bool found = std::any_of(columns.begin(), columns.end(), [&](const TColumn &column) {
            return column.Name.compare(field->FFieldName, Qt::CaseInsensitive) == 0;
        });
        if (!found)
            return field->FFieldName;
    }
    return {};
}

void TDataSet::BindFields(std::vector<TColumn> columns)
{
    FColumns = std::move(columns);
    const bool persistent = std::any_of(FFields.begin(), FFields.end(),
                                        [](const auto &field) { return field->FPersistent; });
    if (persistent) {
        for (const auto &field : FFields) {
            const int column = ColumnOf(field->FFieldName);
            if (column < 0)
                throw EDatabaseError(QStringLiteral("%1: field '%2' not found")
                                         .arg(DataSetName(), field->FFieldName));
            field->FColumn = column;
            field->FDataType = FColumns[size_t(column)].DataType;
            field->FSize = FColumns[size_t(column)].Size;
        }
        return;
    }
    FFields.clear();
    for (size_t i = 0; i < FColumns.size(); ++i) {
        auto field = std::unique_ptr<TField>(new TField(this, FColumns[i].Name, QString(), false));
        field->FColumn = int(i);
        field->FDataType = FColumns[i].DataType;
        field->FSize = FColumns[i].Size;
        FFields.push_back(std::move(field));
    }
}

// ------------------------------------------------------------------- TTable

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

    TSqlConnection Sql; // first in, last out: the queries below go before it
    QString Table;      // the SQLite table inside the file
    QSqlQuery Begin, Commit, Rollback, DataVersion;
    QSqlQuery Insert, InsertWithId, Update, Delete, KeyCheck;
    qlonglong Version = -1;
    bool Stale = true;
};

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

TTable::TTable(QObject *parent) : TDataSet(parent) {}

TTable::~TTable()
{
    blockSignals(true);
    Close();
}

QString TTable::FilePath() const
{
    return FindEntryNoCase(DatabaseName, TableName);
}

bool TTable::Exists() const
{
    return FileExists(FilePath());
}

TTable::TFileState TTable::FileState() const
{
    struct stat st {};
    if (::lstat(QFile::encodeName(FilePath()).constData(), &st) != 0)
        return TFileState::Missing;
    // A link is followed; one that leads nowhere is replaced like a missing file.
    if (S_ISLNK(st.st_mode) && ::stat(QFile::encodeName(FilePath()).constData(), &st) != 0)
        return TFileState::Missing;
    return S_ISREG(st.st_mode) && st.st_size == 0 ? TFileState::Empty : TFileState::Present;
}

void TTable::CreateTable()
{
    if (Active())
        throw EDatabaseError(QStringLiteral("%1: cannot create an open table").arg(TableName));
    if (FieldDefs.empty())
        throw EDatabaseError(QStringLiteral("%1: a table needs fields").arg(TableName));
    const QString path = FilePath();
    const QString dir = QFileInfo(path).absolutePath();
    QString inner = QFileInfo(TableName).completeBaseName();
    if (inner.isEmpty())
        inner = QStringLiteral("data");

    QStringList columns;
    for (const TFieldDef &def : FieldDefs) {
        const auto same = std::count_if(FieldDefs.begin(), FieldDefs.end(), [&](const TFieldDef &d) {
            return d.Name.compare(def.Name, Qt::CaseInsensitive) == 0;
        });
        if (def.Name.isEmpty() || same > 1)
            throw EDatabaseError(QStringLiteral("%1: field name '%2' is empty or used twice")
                                     .arg(TableName, def.Name));
        columns << Quote(def.Name) + QLatin1Char(' ') + TypeDeclaration(def)
                + (def.Required ? QStringLiteral(" NOT NULL") : QString());
    }
    QStringList statements{QStringLiteral("CREATE TABLE %1 (%2)").arg(Quote(inner), columns.join(QStringLiteral(", ")))};
    if (std::count_if(IndexDefs.begin(), IndexDefs.end(), [](const TIndexDef &d) { return d.Primary; }) > 1)
        throw EDatabaseError(QStringLiteral("%1: only one primary index").arg(TableName));
    for (const TIndexDef &index : IndexDefs) {
        QStringList fields;
        for (const QString &name : SplitFields(index.Fields)) {
            auto def = std::find_if(FieldDefs.begin(), FieldDefs.end(), [&](const TFieldDef &d) {
                return d.Name.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (def == FieldDefs.end())
                throw EDatabaseError(QStringLiteral("%1: index '%2' names no field '%3'")
                                         .arg(TableName, index.Name, name));
            fields << Quote(def->Name);
        }
        if (fields.isEmpty())
            throw EDatabaseError(QStringLiteral("%1: index '%2' has no fields").arg(TableName, index.Name));
        // A unique index refuses equal keys; two empty keys are refused on
        // posting, since SQLite lets nulls repeat.
        statements << QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                          .arg(index.Primary ? QStringLiteral("UNIQUE ") : QString(), Quote(index.Name),
                               Quote(inner), fields.join(QStringLiteral(", ")));
    }

    // Built under a temporary name and renamed into place: a table file
    // that exists is always whole.
    QString temp;
    {
        QTemporaryFile file(dir + QStringLiteral("/.") + QFileInfo(path).fileName() + QStringLiteral(".XXXXXX"));
        file.setAutoRemove(false);
        if (!file.open())
            throw EDatabaseError(QStringLiteral("%1: cannot create a file in %2: %3")
                                     .arg(TableName, dir, file.errorString()));
        temp = file.fileName();
    }
    try {
        TSqlConnection sql(temp, TableName);
        sql.UseLog();
        sql.Exec(QStringLiteral("BEGIN"));
        for (const QString &statement : statements)
            sql.Exec(statement);
        sql.Exec(QStringLiteral("COMMIT"));
    } catch (...) {
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-wal"));
        QFile::remove(temp + QStringLiteral("-shm"));
        throw;
    }
    // A log left by the table this one replaces must not be replayed into it.
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(strerror(errno));
        QFile::remove(temp);
        throw EDatabaseError(QStringLiteral("%1: cannot create %2: %3").arg(TableName, path, reason));
    }
    SyncDirectory(dir);
}

void TTable::AddIndex(const QString &name, const QString &fields)
{
    CheckActive();
    CheckBrowseMode();
    QStringList columns;
    for (const QString &field : SplitFields(fields)) {
        const int column = ColumnOf(field);
        if (column < 0)
            throw EDatabaseError(QStringLiteral("%1: index '%2' names no field '%3'").arg(TableName, name, field));
        columns << Quote(Columns()[size_t(column)].Name);
    }
    if (columns.isEmpty())
        throw EDatabaseError(QStringLiteral("%1: index '%2' has no fields").arg(TableName, name));
    FDb->Sql.Exec(QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
                      .arg(Quote(name), Quote(FDb->Table), columns.join(QStringLiteral(", "))));
    IndexDefs.push_back({name, fields, false});
}

void TTable::OpenCursor()
{
    const QString path = FilePath();
    CheckTableFile(path);
    try {
        FDb = std::make_unique<TConnection>(path, TableName);
        ReadShape(path);
        FFilter = FFiltered ? ParseFilter(FFilterText) : TFilterTerm();
        Reload(0, false);
        FDb->Sql.UseLog();
    } catch (const ESqlFailure &failure) {
        throw ETableFileError(path, FileReason(failure));
    }
    MoveTo(FRows.empty() ? -1 : 0);
    FBof = true;
    FEof = FRows.empty();
}

void TTable::ReadShape(const QString &path)
{
    FDb->Table = FDb->Sql.DataTable();
    const QString table = Quote(FDb->Table);

    std::vector<TColumn> columns;
    std::vector<size_t> keyColumns;
    bool integerKey = false;
    FieldDefs.clear();
    FAutoIncColumn = -1;
    {
        QSqlQuery info = FDb->Sql.Prepare(QStringLiteral("PRAGMA table_info(%1)").arg(table));
        FDb->Sql.Run(info);
        // cid, name, type, notnull, dflt_value, pk
        while (info.next()) {
            TColumn column;
            column.Name = info.value(1).toString();
            column.DataType = TFieldType::String;
            const QString declared = info.value(2).toString();
            ParseDeclaration(declared, false, column.DataType, column.Size);
            if (info.value(5).toInt() != 0) {
                keyColumns.push_back(columns.size());
                integerKey = declared.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
            }
            column.Required = info.value(3).toInt() != 0;
            columns.push_back(column);
        }
    }
    // Only a lone INTEGER primary key is the row id, numbered by SQLite.
    if (keyColumns.size() == 1 && integerKey) {
        FAutoIncColumn = int(keyColumns[0]);
        columns[keyColumns[0]].DataType = TFieldType::AutoInc;
    }
    for (const TColumn &column : columns)
        FieldDefs.push_back({column.Name, column.DataType, column.Size, column.Required});
    const QString missing = MissingField(columns);
    if (!missing.isEmpty())
        throw ETableFileError(path, QStringLiteral("It holds a table of another kind, without the field %1.").arg(missing));
    BindFields(std::move(columns));

    IndexDefs.clear();
    {
        QSqlQuery list = FDb->Sql.Prepare(QStringLiteral(
            "SELECT name, sql LIKE 'CREATE UNIQUE%' FROM sqlite_master WHERE type = 'index' AND tbl_name = ? "
            "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"));
        list.addBindValue(FDb->Table);
        FDb->Sql.Run(list);
        while (list.next())
            IndexDefs.push_back({list.value(0).toString(), QString(), list.value(1).toBool()});
    }
    FPrimary.clear();
    for (auto index = IndexDefs.begin(); index != IndexDefs.end();) {
        QSqlQuery info = FDb->Sql.Prepare(QStringLiteral("PRAGMA index_info(%1)").arg(Quote(index->Name)));
        FDb->Sql.Run(info);
        QStringList fields;
        bool plain = true;
        while (info.next()) {
            fields << info.value(2).toString();
            plain = plain && ColumnOf(fields.last()) >= 0;
        }
        // An index on an expression orders by nothing a field holds.
        if (!plain || fields.isEmpty()) {
            index = IndexDefs.erase(index);
            continue;
        }
        index->Fields = fields.join(QLatin1Char(';'));
        if (index->Primary && FPrimary.empty())
            for (const QString &field : fields)
                FPrimary.push_back(ColumnOf(field));
        ++index;
    }
    if (!FIndexName.isEmpty()
        && std::none_of(IndexDefs.begin(), IndexDefs.end(), [&](const TIndexDef &index) {
               return index.Name.compare(FIndexName, Qt::CaseInsensitive) == 0;
           }))
        throw ETableFileError(path, QStringLiteral("It holds a table of another kind, without the index %1.").arg(FIndexName));
    FOrder = IndexColumns(FIndexName);
}

void TTable::CloseCursor()
{
    FRows.clear();
    FBuffer = TRow();
    FCur = -1;
    FPendingAt = -1;
    FModified = false;
    FDb.reset();
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

bool TTable::Less(const TRow &a, const TRow &b) const
{
    for (int column : FOrder) {
        const int c = CompareValues(a.Values[size_t(column)], b.Values[size_t(column)]);
        if (c != 0)
            return c < 0;
    }
    return a.RowId < b.RowId;
}

bool TTable::Matches(const TRow &row) const
{
    return FFilter.Column < 0 || CompareValues(row.Values[size_t(FFilter.Column)], FFilter.Value) == 0;
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
    QStringList order;
    for (int column : FOrder)
        order << Quote(columns[size_t(column)].Name);
    order << QStringLiteral("rowid");
    sql += QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", "));

    QSqlQuery query = FDb->Sql.Prepare(sql);
    if (FFilter.Column >= 0)
        query.addBindValue(FFilter.Value);
    FDb->Sql.Run(query);
    std::vector<TRow> rows;
    const int width = int(columns.size());
    while (query.next()) {
        TRow row;
        row.RowId = query.value(0).toLongLong();
        row.Values.reserve(size_t(width));
        for (int i = 1; i <= width; ++i)
            row.Values.push_back(query.value(i));
        rows.push_back(std::move(row));
    }
    if (query.lastError().isValid())
        Fail(query.lastError(), TableName);
    FRows = std::move(rows);
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
    std::vector<QVariant> probe;
    for (size_t i = 0; i < count; ++i) {
        const TColumn &column = Columns()[size_t(FOrder[i])];
        probe.push_back(KeyForColumn(column.DataType, keys[qsizetype(i)], TableName, column.Name));
    }
    auto below = [&](const TRow &row) {
        for (size_t i = 0; i < count; ++i) {
            const int c = CompareValues(row.Values[size_t(FOrder[i])], probe[i]);
            if (c != 0)
                return c < 0;
        }
        return false;
    };
    const auto it = std::partition_point(FRows.begin(), FRows.end(), below);
    if (it == FRows.end()) {
        Last();
        return;
    }
    MoveTo(int(it - FRows.begin()));
    FBof = FEof = false;
}

bool TTable::Locate(const QString &fieldName, const QVariant &value)
{
    CheckActive();
    CheckBrowseMode();
    const int column = ColumnOf(fieldName);
    if (column < 0)
        throw EDatabaseError(QStringLiteral("%1: field '%2' not found").arg(TableName, fieldName));
    const QVariant wanted = KeyForColumn(Columns()[size_t(column)].DataType, value, TableName, fieldName);
    for (size_t i = 0; i < FRows.size(); ++i) {
        if (CompareValues(FRows[i].Values[size_t(column)], wanted) == 0) {
            MoveTo(int(i));
            FBof = FEof = false;
            return true;
        }
    }
    return false;
}

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
    return FRows[size_t(at)].Values[size_t(column)];
}

QVariant TTable::ColumnValue(int column) const
{
    if (column < 0)
        return {};
    if (State() == TDataSetState::Edit || State() == TDataSetState::Insert)
        return FBuffer.Values[size_t(column)];
    if (FCur < 0)
        return {};
    return FRows[size_t(FCur)].Values[size_t(column)];
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

// ------------------------------------------------------------------- TQuery

class TQuery::TStatement {
public:
    TStatement(const QString &path, const QString &file) : Sql(path, file) {}
    TSqlConnection Sql; // first in, last out
    QSqlQuery Query;
    QString Directory;
    QString Text;
    bool Bound = false;
};

TQuery::TQuery(QObject *parent) : TDataSet(parent) {}

TQuery::~TQuery()
{
    blockSignals(true);
    Close();
}

void TQuery::SyncParams()
{
    if (SQL == FParsedLines) // cheap while the list is shared
        return;
    FParsedLines = SQL;
    const QString text = SQL.join(QLatin1Char('\n'));
    if (text == FParsedSql)
        return;
    std::vector<TParam> params;
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            continue;
        }
        if (c != QLatin1Char(':') || i + 1 >= text.size()
            || !(text.at(i + 1).isLetter() || text.at(i + 1) == QLatin1Char('_')))
            continue;
        qsizetype end = i + 1;
        while (end < text.size() && (text.at(end).isLetterOrNumber() || text.at(end) == QLatin1Char('_')))
            ++end;
        const QString name = text.mid(i + 1, end - i - 1);
        i = end - 1;
        if (std::any_of(params.begin(), params.end(), [&](const TParam &p) { return p.Name() == name; }))
            continue;
        TParam param(name);
        for (const TParam &old : FParams)
            if (old.Name().compare(name, Qt::CaseInsensitive) == 0)
                param.Value = old.Value;
        params.push_back(std::move(param));
    }
    FParams = std::move(params);
    FParsedSql = text;
}

TParam &TQuery::ParamByName(const QString &name)
{
    SyncParams();
    for (TParam &param : FParams)
        if (param.Name().compare(name, Qt::CaseInsensitive) == 0)
            return param;
    throw EDatabaseError(QStringLiteral("query: parameter '%1' not found").arg(name));
}

void TQuery::OpenCursor()
{
    SyncParams();
    if (!FStatement || FStatement->Directory != DatabaseName || FStatement->Text != FParsedSql) {
        FStatement.reset();
        // Table files are named in double quotes; each becomes the table
        // inside the file.
        static const QRegularExpression quoted(QStringLiteral("\"([^\"]+)\""));
        QString file;
        for (const QRegularExpressionMatch &m : quoted.globalMatch(FParsedSql)) {
            const QString name = m.captured(1);
            if (!name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
                continue;
            if (!file.isEmpty() && file.compare(name, Qt::CaseInsensitive) != 0)
                throw EDatabaseError(QStringLiteral("query: one table file per query"));
            file = name;
        }
        if (file.isEmpty())
            throw EDatabaseError(QStringLiteral("query: no table file named"));
        const QString path = FindEntryNoCase(DatabaseName, file);
        CheckTableFile(path);
        auto statement = std::make_unique<TStatement>(path, file);
        const QString inner = Quote(statement->Sql.DataTable());
        QString sql = FParsedSql;
        for (const QRegularExpressionMatch &m : quoted.globalMatch(FParsedSql))
            if (m.captured(1).compare(file, Qt::CaseInsensitive) == 0)
                sql.replace(m.captured(0), inner);
        statement->Query = statement->Sql.Prepare(sql);
        statement->Directory = DatabaseName;
        statement->Text = FParsedSql;
        FStatement = std::move(statement);
    }
    for (const TParam &param : FParams)
        FStatement->Query.bindValue(QLatin1Char(':') + param.Name(), param.Value);
    FStatement->Sql.Run(FStatement->Query);
    if (!FStatement->Bound) {
        std::vector<TColumn> columns;
        const QSqlRecord record = FStatement->Query.record();
        for (int i = 0; i < record.count(); ++i) {
            TColumn column;
            column.Name = record.fieldName(i);
            switch (record.field(i).metaType().id()) {
            case QMetaType::Int:
            case QMetaType::LongLong:
                column.DataType = TFieldType::Integer;
                break;
            case QMetaType::Bool:
                column.DataType = TFieldType::Boolean;
                break;
            default:
                column.DataType = TFieldType::String;
            }
            columns.push_back(column);
        }
        BindFields(std::move(columns));
        FStatement->Bound = true;
    }
    Fetch();
}

void TQuery::Fetch()
{
    FEof = !FStatement->Query.next();
    if (FEof && FStatement->Query.lastError().isValid())
        Fail(FStatement->Query.lastError(), QStringLiteral("query"));
    FBof = true;
    FOnFirstRow = true;
}

void TQuery::CloseCursor()
{
    if (FStatement)
        FStatement->Query.finish();
    FOnFirstRow = false;
}

void TQuery::First()
{
    CheckActive();
    if (FOnFirstRow)
        return;
    FStatement->Sql.Run(FStatement->Query);
    Fetch();
    emit Scrolled();
}

void TQuery::Next()
{
    CheckActive();
    if (FEof)
        return;
    FOnFirstRow = false;
    FBof = false;
    if (!FStatement->Query.next()) {
        FEof = true;
        if (FStatement->Query.lastError().isValid())
            Fail(FStatement->Query.lastError(), QStringLiteral("query"));
        return;
    }
    emit Scrolled();
}

QVariant TQuery::ColumnValue(int column) const
{
    if (FEof || column < 0)
        return {};
    return FStatement->Query.value(column);
}
