// Entity browser window.
#pragma once

#include <QWidget>

class TFbrwEnt : public QWidget {
    Q_OBJECT
public:
    explicit TFbrwEnt(QWidget *owner = nullptr);
    ~TFbrwEnt() override;

    // Line chosen by the last jump, counted from 0; read by GotoEntityLine.
    int32_t FSelLine = 0;
};
