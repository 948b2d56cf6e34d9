#include "FMacros.h"

#include "StringTable.h"

TFMacrosForm::TFMacrosForm(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FMacrosForm"));
    setWindowTitle(LoadStr(1110));
}

TFMacrosForm::~TFMacrosForm() = default;
