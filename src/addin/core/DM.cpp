#include "DM.h"

TSYS *SYS = nullptr;

TSYS::TSYS(QObject *owner) : QObject(owner)
{
    setObjectName(QStringLiteral("SYS"));
    Table1.TableName = QStringLiteral("language.db");
    Table2.TableName = QStringLiteral("Ayuda.db");
}

TSYS::~TSYS()
{
    if (SYS == this)
        SYS = nullptr;
}
