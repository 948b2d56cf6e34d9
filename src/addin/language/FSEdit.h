// The string edit dialog: the identifier and the text of one language of
// the language table's current record, through controls bound to fields.
#pragma once

#include "dbcontrols/DBControls.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class TDialogService;

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
