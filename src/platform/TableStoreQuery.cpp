#include "TableStoreSql.h"

#include "Paths.h"

#include <QRegularExpression>
#include <QSqlField>
#include <QSqlRecord>

#include <algorithm>

using namespace TableStoreSql;

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
