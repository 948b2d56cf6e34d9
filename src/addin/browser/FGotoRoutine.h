// The project-wide jump: one filter box over every routine of every unit of
// the project, filled while the units are scanned in the background. Enter
// (or a double click) picks a routine; the caller opens its unit there.
#pragma once

#include "ProjectRoutines.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QTreeView;
class TIToolServices;

class TFGotoRoutine : public QDialog {
    Q_OBJECT
public:
    // files: the units to scan; the scans start at once.
    TFGotoRoutine(QWidget *owner, const QStringList &files);
    ~TFGotoRoutine() override;

    // The project's Pascal units, in the project's order.
    static QStringList ProjectUnits(TIToolServices &ide);

    QLineEdit *edFilter;
    QTreeView *lvRoutines;
    QLabel *lblCount;

    TProjectRoutines &Routines() { return FRoutines; }
    // After an accepted run: the routine picked.
    QString ChosenFile;
    int32_t ChosenLine = 0;

    // Enter: the selected routine, else the first match; while the scans run
    // and nothing matches yet, the first match to come.
    void Choose();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ChooseRow(int row);
    void Progressed();
    void FilterChanged(const QString &text);

    TProjectRoutines FRoutines;
    bool FChooseFirst = false;
};
