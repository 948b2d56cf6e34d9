#include "FbrwFun.h"

TFbrwEnt::TFbrwEnt(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("FbrwEnt"));
}

TFbrwEnt::~TFbrwEnt() = default;
