#include "TableStore.h"

#include "Exception.h"

#include <QFileInfo>

TTable::~TTable()
{
    Close();
}

bool TTable::Exists() const
{
    return QFileInfo(DatabaseName + QLatin1Char('/') + TableName).isFile();
}

void TTable::Open()
{
    if (!Exists())
        throw EInOutError(QStringLiteral("Table does not exist: %1/%2").arg(DatabaseName, TableName));
    FActive = true;
}

void TTable::Close()
{
    FActive = false;
}
