#include "verdlg.h"

#include "core/StringTable.h"

TFverDlg::TFverDlg(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FverDlg"));
    setWindowTitle(LoadStr(1091));
}
