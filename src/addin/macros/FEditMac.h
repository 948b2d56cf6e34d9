// Macro edit dialog: a title and a body of several lines.
#pragma once

#include <QDialog>

#include <vector>

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

    // The body as stored: what SetMemoText was given, with the stretch the
    // user changed in Memo1 replaced by the new text (line breaks as CR LF).
    // What the user did not touch stays character for character, although
    // the editor shows every line end alike.
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
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString MemoRawText() const;
    void UpdateCount();

    QString FBody;                  // as given to SetMemoText
    QString FShown;                 // Memo1's raw text right after that
    std::vector<qsizetype> FStarts{0}; // where each shown character starts in FBody, and its end
};
