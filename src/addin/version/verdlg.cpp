#include "verdlg.h"

#include "StringTable.h"

TFverDlg::TFverDlg(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FverDlg"));
    setWindowTitle(LoadStr(1091));
}
