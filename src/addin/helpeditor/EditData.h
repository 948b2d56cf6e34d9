// The topic edit dialog: title, search keywords, pop-up flag and text of the
// help table's current record, through controls bound to its fields.
#pragma once

#include "dbcontrols/DBControls.h"

#include <QDialog>

class QPushButton;
class TDialogService;

class TFEditData : public QDialog {
    Q_OBJECT
public:
    // source: the help table's data source; its table's current record is
    // the one edited.
    TFEditData(QWidget *owner, TDataSource *source, TDialogService &dialogs);

    QLabel *Label1, *Label2, *Label3, *Label4;
    TDBEdit *DBEdit1;      // Titulo
    TDBEdit *DBEdit2;      // Keyword
    TDBCheckBox *DBCheckBox1; // Popup
    TDBRichMemo *DBMemo1;  // TExto
    TDBText *DBText1;      // Map
    QPushButton *Button1, *Button2;

    void Button1Click();
    void Button2Click();
    void done(int result) override;

private:
    void FormCreate();
    TTable *Table() const;
    // Typing into a control: the table goes into edit mode and takes the
    // control's value at once.
    void Typed(TFieldLink &link, const QString &value);

    TDataSource *FSource;
    TDialogService &FDialogs;
};
