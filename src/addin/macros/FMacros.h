// Macro list dialog: pick a macro to insert; New, Edit and Delete through
// the list's pop-up menu. Every change is saved at once.
#pragma once

#include <QDialog>

#include "core/AddinServices.h"

#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class TMacrosFiler;

class TLogoImage;

class TFMacrosForm : public QDialog {
    Q_OBJECT
public:
    // Loads the store; a load error is shown and the dialog opens empty.
    TFMacrosForm(QWidget *owner, const TAddinServices &services);
    ~TFMacrosForm() override;

    // Body of the macro chosen for insertion; empty until a choice is confirmed.
    QString MacroText;

    TMacrosFiler &Filer() { return *FFiler; }

    QGroupBox *GroupBox1;
    QListWidget *ListBox1;
    QPushButton *Button1;
    QPushButton *Button2;
    QMenu *PopupMenu1;
    QAction *Nuevo1;
    QAction *Editar1;
    QAction *N1;
    QAction *Borrar1;
    QAction *N2;
    QAction *Importar1; // VS Code snippets into macros
    TLogoImage *Image1;

public slots:
    void Button1Click();
    void ListBox1DblClick();
    void Nuevo1Click();
    void Editar1Click();
    void Borrar1Click();
    void Image1Click();
    void Importar1Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void FillList();
    int ItemIndex() const;

    TAddinServices FServices;
    std::unique_ptr<TMacrosFiler> FFiler;
};
