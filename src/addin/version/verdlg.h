// Version resource editor: shows the version information of the project's
// built file, writes version.rc beside it and compiles it to version.res.
#pragma once

#include "core/AddinServices.h"
#include "version/VersionScript.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TAppExec;
class TLogoImage;
class TResouceVersionInfo;

class TFverDlg : public QDialog {
    Q_OBJECT
public:
    TFverDlg(QWidget *owner, const TAddinServices &services);
    ~TFverDlg() override;

    QString ProjectDir;     // with its trailing separator
    QString OutputFileName; // the built file, or empty
    // Sets both from the project's file; says so when nothing is built yet.
    void SetProject(const QString &project);
    std::unique_ptr<TResouceVersionInfo> VersionInfo;

    // Where version.rc, version.res and version.bak go.
    QString TargetDir() const;
    // The string block of the selected language and code page ("040904E4").
    QString BlockName() const;
    // The file's private build, one higher when it is a number.
    QString NextPrivateBuild() const;
    TVersionFields Fields() const;

    QLineEdit *FVersion, *PVersion;
    QComboBox *TipoOS, *STipo;
    QLineEdit *NomProducto, *Descrip, *Ninterno, *NOriginal, *CIA, *Coopyrag, *Mreg, *Comen;
    QLineEdit *GenVer, *Special, *Privada;
    QComboBox *ELenguaje, *TCodigos;
    TLogoImage *Image1;
    QPushButton *Button1, *Button2;
    // Off by default: "Ok" also writes the values into OutputFileName.
    QCheckBox *cbWriteBuilt;
    TAppExec *AppExec1;
    QLabel *Labels[16];

public slots:
    void FormShow();
    // Writes and compiles; false when the dialog stays open.
    bool Button1Click();
    void Image1DblClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void Compile(const QString &dir, const QString &brcc);

    TAddinServices FServices;
    bool FShown = false;
};
