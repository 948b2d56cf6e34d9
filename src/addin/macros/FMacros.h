// Macro list dialog.
#pragma once

#include <QDialog>

class TFMacrosForm : public QDialog {
    Q_OBJECT
public:
    explicit TFMacrosForm(QWidget *owner = nullptr);
    ~TFMacrosForm() override;

    // Body of the macro chosen for insertion; empty until a choice is confirmed.
    QString MacroText;
};
