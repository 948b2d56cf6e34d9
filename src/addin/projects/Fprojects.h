// Project groups window.
#pragma once

#include "ToolsApi.h"

#include <QDialog>

class TFProyexp : public QDialog {
    Q_OBJECT
public:
    explicit TFProyexp(QWidget *owner = nullptr);

    TIToolServices *FToolServices = nullptr; // not owned
};
