#include "lbrowse.h"

#include "core/StringTable.h"

TLDBrowse::TLDBrowse(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("LDBrowse"));
    setWindowTitle(LoadStr(1014));
}
