// Trace window.
#pragma once

#include <QWidget>

class TFTrace : public QWidget {
    Q_OBJECT
public:
    explicit TFTrace(QWidget *owner = nullptr);
};
