#include "TableStoreSql.h"

#include "Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TableStoreSql;

// Only regular files are opened: SQLite would wait forever reading a pipe.
void TableStoreSql::CheckTableFile(const QString &path)
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

namespace {

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


void SyncDirectory(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// --------------------------------------------------------- TTable: its file

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
    EndHeldReads();
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
    EndHeldReads();
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
        const TStatement info = FDb->Sql.PrepareOnce(QStringLiteral("PRAGMA table_info(%1)").arg(table));
        sqlite3_stmt *s = info.get();
        TResetScope reset(s);
        // cid, name, type, notnull, dflt_value, pk
        while (FDb->Sql.Step(s)) {
            TColumn column;
            column.Name = ColumnText(s, 1);
            column.DataType = TFieldType::String;
            const QString declared = ColumnText(s, 2);
            ParseDeclaration(declared, false, column.DataType, column.Size);
            if (sqlite3_column_int(s, 5) != 0) {
                keyColumns.push_back(columns.size());
                integerKey = declared.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
            }
            column.Required = sqlite3_column_int(s, 3) != 0;
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
        const TStatement list = FDb->Sql.PrepareOnce(QStringLiteral(
            "SELECT name, sql LIKE 'CREATE UNIQUE%' FROM sqlite_master WHERE type = 'index' AND tbl_name = ? "
            "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"));
        TBinder binder(FDb->Sql, list.get());
        binder.Bind(1, FDb->Table);
        TResetScope reset(list.get());
        while (FDb->Sql.Step(list.get()))
            IndexDefs.push_back({ColumnText(list.get(), 0), QString(), sqlite3_column_int(list.get(), 1) != 0});
    }
    FPrimary.clear();
    for (auto index = IndexDefs.begin(); index != IndexDefs.end();) {
        QStringList fields;
        bool plain = true;
        {
            const TStatement info = FDb->Sql.PrepareOnce(QStringLiteral("PRAGMA index_info(%1)").arg(Quote(index->Name)));
            TResetScope reset(info.get());
            while (FDb->Sql.Step(info.get())) {
                fields << ColumnText(info.get(), 2);
                plain = plain && ColumnOf(fields.last()) >= 0;
            }
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
    FPackBlocks.clear();
    FBuffer = TRecord();
    FDecodedSerial = 0;
    FCur = -1;
    FPendingAt = -1;
    FModified = false;
    // Closing the connection undoes an open transaction.
    FInTransaction = false;
    FDb.reset();
}
