// The seven language names, edited side by side.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TSetLang : public QDialog {
    Q_OBJECT
public:
    explicit TSetLang(QWidget *owner = nullptr);

    QLabel *Labels[7];
    QLineEdit *Edits[7]; // Edit1 ... Edit7
    QPushButton *Button1, *Button2;
};
