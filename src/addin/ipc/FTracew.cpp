#include "FTracew.h"

#include "core/StringTable.h"

TFTrace::TFTrace(QWidget *owner) : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("FTrace"));
    setWindowTitle(LoadStr(1090));
}
