// Help project editor window.
#pragma once

#include <QWidget>

class TFAyudaW : public QWidget {
    Q_OBJECT
public:
    explicit TFAyudaW(QWidget *owner = nullptr);

    QString ProjectFileName;
};
