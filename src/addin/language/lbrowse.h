// String table window.
#pragma once

#include <QDialog>

class TLDBrowse : public QDialog {
    Q_OBJECT
public:
    explicit TLDBrowse(QWidget *owner = nullptr);

    QString ProjectDir;
};
