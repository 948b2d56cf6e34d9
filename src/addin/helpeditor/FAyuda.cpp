#include "FAyuda.h"

#include "core/StringTable.h"

TFAyudaW::TFAyudaW(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("FAyudaW"));
    setWindowTitle(LoadStr(1004));
}
