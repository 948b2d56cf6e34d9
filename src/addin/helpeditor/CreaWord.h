// The progress dialog that generates the help sources, and the help editor's
// three toolbar actions around it: generate and compile, open the help
// compiler, show the built help file.
#pragma once

#include "core/AddinServices.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QTimer;
class TSYS;

class TFCWord : public QDialog {
    Q_OBJECT
public:
    // data: the data module whose help table is open.
    TFCWord(QWidget *owner, const TAddinServices &services, TSYS &data);

    QString ProjectFileName;
    int TopicCount = 0;

    QLabel *Label1;
    QProgressBar *gauge;
    QTimer *Timer1;

public slots:
    // The timer's event: the map file, the help project, the document.
    void InitProcess();

protected:
    void done(int result) override;

private:
    void FormCreate();
    void FormClose();
    void Status(const QString &text);

    TAddinServices FServices;
    TSYS &FData;
};

// btnWordClick: generates in a TFCWord shown modally (owner may be nullptr,
// the application), then starts the help compiler on the help project with
// " /C /E /M ", hidden and not waited for; the start runs also when nothing
// was generated, and its failure is not reported.
void HelpWordClick(QWidget *owner, const TAddinServices &services, const QString &projectFileName);
// btnHcwClick: the help compiler on the help project, shown, not waited for.
void HelpHcwClick(const TAddinServices &services, const QString &projectFileName);
// btnHelpClick: the desktop opens D/N.hlp. Throws when nothing can open
// files (no xdg-open); when the desktop finds no program for it, says so
// later in a message, while owner lives.
void HelpShowClick(QObject *owner, const TAddinServices &services, const QString &projectFileName);
