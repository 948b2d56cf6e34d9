#include "TableStoreSql.h"

#include "Paths.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>

#include <sys/stat.h>

using namespace TableStoreSql;

namespace {

// How long runs of a query may share one read: another program's posts
// are seen this late at most.
constexpr std::chrono::milliseconds HoldLimit{BusyTimeoutMs / 10};

struct TFileId {
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const TFileId &) const = default;
};

TFileId FileIdOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino};
}

} // namespace

// ------------------------------------------------------------------- TQuery

class TQuery::TCursor final : public THeldRead {
public:
    TCursor(const QString &path, const QString &file) : Sql(path, file), File(FileIdOf(path)) {}
    ~TCursor() { TCursor::EndRead(); }
    TCursor(const TCursor &) = delete;
    TCursor &operator=(const TCursor &) = delete;

    // Starts a read that the next runs share, where the file is logged.
    void HoldRead()
    {
        if (!Logged || Holding)
            return;
        Sql.Run(Begin.get());
        Holding = true;
        HeldSince = std::chrono::steady_clock::now();
        NoteHeld(this);
    }
    bool HeldTooLong() const { return Holding && std::chrono::steady_clock::now() - HeldSince > HoldLimit; }
    // Never throws: it runs where writes begin and in destructors. A walk
    // still on its rows keeps reading its own snapshot until it is closed.
    void EndRead() override
    {
        if (!Holding)
            return;
        Holding = false;
        NoteEnded(this);
        if (sqlite3_get_autocommit(Sql.Db()))
            return;
        const int rc = sqlite3_step(Commit.get());
        sqlite3_reset(Commit.get());
        if (rc != SQLITE_DONE)
            sqlite3_exec(Sql.Db(), "ROLLBACK", nullptr, nullptr, nullptr);
    }

    TSqlConnection Sql; // first in, last out
    TableStoreSql::TStatement Query, Begin, Commit;
    QString Directory;
    QString Text;
    TFileId File;
    bool Bound = false;
    bool Logged = false; // in WAL mode, where a held read blocks no writer
    bool Holding = false;
    bool EndPosted = false;
    std::chrono::steady_clock::time_point HeldSince;
    // The current row's values, each converted when first asked for.
    std::vector<QVariant> Values;
    std::vector<char> Converted;
    std::vector<int> ParamOf; // per parameter number, its place in FParams; -1 for none
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
    if (FCursor && (FCursor->Directory != DatabaseName || FCursor->Text != FParsedSql))
        FCursor.reset();
    if (FCursor && FCursor->HeldTooLong())
        FCursor->EndRead();
    // A table made anew under the same name is another file.
    if (FCursor && !FCursor->Holding && FileIdOf(FCursor->Sql.Path()) != FCursor->File)
        FCursor.reset();
    if (!FCursor) {
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
        auto cursor = std::make_unique<TCursor>(path, file);
        const QString inner = Quote(cursor->Sql.DataTable());
        QString sql = FParsedSql;
        for (const QRegularExpressionMatch &m : quoted.globalMatch(FParsedSql))
            if (m.captured(1).compare(file, Qt::CaseInsensitive) == 0)
                sql.replace(m.captured(0), inner);
        cursor->Query = cursor->Sql.Prepare(sql);
        cursor->Begin = cursor->Sql.Prepare(QStringLiteral("BEGIN"));
        cursor->Commit = cursor->Sql.Prepare(QStringLiteral("COMMIT"));
        {
            const TableStoreSql::TStatement mode = cursor->Sql.PrepareOnce(QStringLiteral("PRAGMA journal_mode"));
            TResetScope reset(mode.get());
            cursor->Logged = cursor->Sql.Step(mode.get())
                && ColumnText(mode.get(), 0).compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
        }
        const int count = sqlite3_column_count(cursor->Query.get());
        cursor->Values.resize(size_t(count));
        cursor->Converted.resize(size_t(count));
        cursor->Directory = DatabaseName;
        cursor->Text = FParsedSql;
        FCursor = std::move(cursor);
    }
    sqlite3_stmt *query = FCursor->Query.get();
    sqlite3_reset(query);
    const int count = sqlite3_bind_parameter_count(query);
    if (FCursor->ParamOf.empty()) {
        // Which of FParams each parameter of the statement is; FParams only
        // changes with the SQL, and so with the cursor.
        FCursor->ParamOf.assign(size_t(count) + 1, -1);
        for (int i = 1; i <= count; ++i) {
            const char *name = sqlite3_bind_parameter_name(query, i);
            const QString wanted = name ? QString::fromUtf8(name + 1) : QString();
            const auto param = std::find_if(FParams.begin(), FParams.end(), [&](const TParam &p) {
                return p.Name().compare(wanted, Qt::CaseInsensitive) == 0;
            });
            if (param != FParams.end())
                FCursor->ParamOf[size_t(i)] = int(param - FParams.begin());
        }
    }
    for (int i = 1; i <= count; ++i) {
        const int of = FCursor->ParamOf[size_t(i)];
        // Bound values are kept by SQLite itself: parameters hold few and
        // short values.
        const QVariant value = of < 0 ? QVariant() : FParams[size_t(of)].Value;
        int rc = SQLITE_OK;
        if (value.isNull())
            rc = sqlite3_bind_null(query, i);
        else if (IsNumber(value))
            rc = sqlite3_bind_int64(query, i, value.toLongLong());
        else {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text64(query, i, text.constData(), sqlite3_uint64(text.size()), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
        }
        if (rc != SQLITE_OK)
            FCursor->Sql.Fail(rc);
    }
    FCursor->HoldRead();
    if (!FCursor->EndPosted && FCursor->Holding && QCoreApplication::instance()) {
        // The shared read ends when the event loop next runs.
        FCursor->EndPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (FCursor) {
                    FCursor->EndPosted = false;
                    FCursor->EndRead();
                }
            },
            Qt::QueuedConnection);
    }
    Run();
    if (!FCursor->Bound) {
        std::vector<TColumn> columns;
        for (int i = 0; i < sqlite3_column_count(query); ++i) {
            TColumn column;
            column.Name = QString::fromUtf8(sqlite3_column_name(query, i)).remove(QLatin1Char('"'));
            const char *declared = sqlite3_column_decltype(query, i);
            const QString type = QString::fromUtf8(declared).toLower();
            if (type == QLatin1String("integer") || type == QLatin1String("int")
                || (!declared && !FEof && sqlite3_column_type(query, i) == SQLITE_INTEGER))
                column.DataType = TFieldType::Integer;
            else if (type == QLatin1String("boolean") || type == QLatin1String("bool"))
                column.DataType = TFieldType::Boolean;
            else
                column.DataType = TFieldType::String;
            columns.push_back(column);
        }
        BindFields(std::move(columns));
        FCursor->Bound = true;
    }
}

// Runs the selection from its start, on its first row.
void TQuery::Run()
{
    sqlite3_stmt *query = FCursor->Query.get();
    sqlite3_reset(query);
    Fetch();
}

void TQuery::Fetch()
{
    std::fill(FCursor->Converted.begin(), FCursor->Converted.end(), 0);
    const int rc = sqlite3_step(FCursor->Query.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        // No read is left open behind a failure.
        sqlite3_reset(FCursor->Query.get());
        FCursor->EndRead();
        FEof = true;
        Fail(FCursor->Sql.Db(), rc, QStringLiteral("query"));
    }
    FEof = rc == SQLITE_DONE;
    FBof = true;
    FOnFirstRow = true;
}

void TQuery::CloseCursor()
{
    if (FCursor)
        sqlite3_reset(FCursor->Query.get());
    FOnFirstRow = false;
}

void TQuery::First()
{
    CheckActive();
    if (FOnFirstRow)
        return;
    Run();
    emit Scrolled();
}

void TQuery::Next()
{
    CheckActive();
    if (FEof)
        return;
    Fetch();
    FOnFirstRow = false;
    FBof = false;
    if (FEof)
        return;
    emit Scrolled();
}

const QVariant &TQuery::ColumnValue(int column) const
{
    static const QVariant none;
    if (FEof || column < 0 || !FCursor)
        return none;
    TCursor &cursor = *FCursor;
    if (!cursor.Converted[size_t(column)]) {
        cursor.Values[size_t(column)] = TableStoreSql::ColumnValue(cursor.Query.get(), column);
        cursor.Converted[size_t(column)] = 1;
    }
    return cursor.Values[size_t(column)];
}
