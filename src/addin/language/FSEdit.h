// The string edit dialog: the identifier and the text of one language of
// the language table's current record, through controls bound to fields.
#pragma once

#include "TableStore.h"

#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class TDialogService;

// Keeps a control's text and one field of a data source's current record
// alike: the field's text is loaded whenever the record, its state or the
// field changes; the control writes back only when asked (UpdateRecord),
// as the dialog does before each post.
class TFieldLink : public QObject {
    Q_OBJECT
public:
    TFieldLink(QObject *parent, std::function<QString()> read, std::function<void(const QString &)> show);

    void SetDataSource(TDataSource *source);
    void SetDataField(const QString &fieldName);
    const QString &DataField() const { return FFieldName; }
    // The bound field; nullptr when unbound or closed.
    TField *Field() const;
    void Load();
    // Writes the control's text into the field when the record is being
    // edited and the text differs.
    void UpdateRecord();

private:
    void Attach();

    std::function<QString()> FRead;
    std::function<void(const QString &)> FShow;
    TDataSource *FSource = nullptr;
    QPointer<TDataSet> FDataSet;
    QString FFieldName;
};

class TDBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDBEdit(QWidget *parent = nullptr);
    TFieldLink Link;

    std::function<void()> OnEnter;
    std::function<void()> OnExit;

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
};

// Multi-line box whose text never takes a line break or a tab: typed ones
// are refused, pasted ones dropped.
class TDBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TDBMemo(QWidget *parent = nullptr);
    TFieldLink Link;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
};

class TDlgEdit : public QDialog {
    Q_OBJECT
public:
    TDlgEdit(QWidget *owner, TDataSource *source, TDialogService &dialogs);

    QLabel *Label1, *Label2;
    QComboBox *ComboBox1;
    TDBEdit *DBEdit1;
    TDBMemo *DBMemo1;
    QPushButton *Button1;

    // Asked before the dialog closes with OK; false keeps it open.
    std::function<bool()> OnOk;

    // Binds DBMemo1 to the text field of the language entry (0..6).
    void BindLanguage(int entry);
    // Writes both boxes into the record being edited.
    void UpdateRecord();

    void ComboBox1Change();
    void DBEdit1Enter();
    void DBEdit1Exit();
    // Whether the form took the key (key preview).
    bool FormKeyDown(QKeyEvent *event);

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    TTable *Table() const;

    TDataSource *FSource;
    TDialogService &FDialogs;
    int FBoundEntry = -1;
};

// The identifier as the table keeps it: blanks become "_", a to z upper case.
QString NormalizeIdentifier(const QString &text);
// What a text box may hold: no carriage return, line feed or tab.
QString WithoutBreaks(const QString &text);
