#include "Fprojects.h"

#include "StringTable.h"

TFProyexp::TFProyexp(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FProyexp"));
    setWindowTitle(LoadStr(1076));
}
