// Version resource editor dialog.
#pragma once

#include <QDialog>

class TFverDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFverDlg(QWidget *owner = nullptr);

    QString ProjectDir;     // with its trailing separator
    QString OutputFileName; // the built file, or empty
};
