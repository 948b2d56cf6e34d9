// Help project editor window.
#pragma once

#include <QWidget>

class TFAyudaW : public QWidget {
    Q_OBJECT
public:
    explicit TFAyudaW(QWidget *owner = nullptr);

    QString ProjectFileName;

    // Forgets the topics shown, so the next showing loads the newly opened
    // help table afresh. The window has no topic tree yet.
    void ClearTree() {}
};
