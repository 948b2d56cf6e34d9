// Macro edit dialog: a title and a body of several lines.
#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TFEditMacro : public QDialog {
    Q_OBJECT
public:
    explicit TFEditMacro(QWidget *owner = nullptr);
    ~TFEditMacro() override;

    // Memo1's text with CR LF line ends, the form in which bodies are stored.
    QString MemoText() const;
    void SetMemoText(const QString &text);

    QGroupBox *GroupBox1;
    QLabel *Label1;
    QLineEdit *Edit1;
    QPlainTextEdit *Memo1;
    QPushButton *Button1;
    QPushButton *Button2;
    // Live count of the body's characters against what a macro can hold.
    QLabel *Label2;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void UpdateCount();
};
