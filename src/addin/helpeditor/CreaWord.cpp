#include "CreaWord.h"

#include "core/CommandEdge.h"
#include "core/ConfFiler.h"
#include "core/DM.h"
#include "core/StringTable.h"
#include "helpeditor/HelpGen.h"

#include "Exception.h"
#include "Process.h"
#include "SafeFile.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

TFCWord::TFCWord(QWidget *owner, const TAddinServices &services, TSYS &data)
    : QDialog(owner), FServices(services), FData(data)
{
    setObjectName(QStringLiteral("FCWord"));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    gauge = new QProgressBar(this);
    gauge->setObjectName(QStringLiteral("gauge"));
    gauge->setRange(0, 100);
    gauge->setValue(0);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFCWord::InitProcess);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(gauge);
    resize(360, 90);
    FormCreate();
}

void TFCWord::FormCreate()
{
    Timer1->start();
    TopicCount = FData.Table2.Active() ? FData.Table2.RecordCount() : 0;
    setWindowTitle(LoadStr(txt::GenerateHelpFiles));
    Label1->setText(LoadStr(txt::InitSystem));
}

void TFCWord::Status(const QString &text)
{
    Label1->setText(text);
    Label1->repaint();
}

void TFCWord::InitProcess()
{
    Timer1->stop();
    if (TopicCount == 0)
        return;
    THelpGenerator generator(FData, FServices.writer(), ProjectFileName);
    // The dialog stays painted; closing it meanwhile does not stop the run.
    generator.OnProgress = [this](int percent) {
        gauge->setValue(percent);
        QCoreApplication::processEvents();
    };
    generator.OnStatus = [this](const QString &text) { Status(text); };
    TDialogService &dialogs = FServices.dialogs();
    Status(LoadStr(txt::GeneratingMapFile));
    if (!RunAtEdge(dialogs, [&] { generator.WriteMapFile(); }))
        return;
    gauge->setValue(0);
    Status(LoadStr(txt::GeneratingHlpFile));
    if (!RunAtEdge(dialogs, [&] { generator.WriteHelpProject(); }))
        return;
    gauge->setValue(0);
    RunAtEdge(dialogs, [&] { generator.WriteDocument(); });
    reject();
    Status(LoadStr(txt::ProcessEnd));
}

void TFCWord::FormClose()
{
    Label1->setText(LoadStr(txt::ProcessCancel));
    Timer1->stop();
}

void TFCWord::done(int result)
{
    // Close box, Esc and the end of the run all come here.
    FormClose();
    QDialog::done(result);
}

namespace {

void StartHelpCompiler(const TAddinServices &services, const QString &projectFileName, bool compile)
{
    const THelpFiles files = HelpFilesFor(projectFileName);
    TConfFiler conf(services);
    // Arguments, not a line split at blanks: project paths here may hold
    // blanks. The compiler's own messages go to its error log; only a start
    // that failed is ours to tell, naming the program as the other tools do.
    const auto start = [&](const QString &hcw) {
        QStringList arguments{hcw};
        if (compile)
            arguments << QStringLiteral("/C") << QStringLiteral("/E") << QStringLiteral("/M");
        arguments << files.ProjectFile;
        const int error = StartDetached(arguments, compile ? SW_HIDE : SW_SHOW);
        return error == 0 ? QString() : SystemErrorText(error) + QLatin1Char('\n') + hcw;
    };
    QString failed = start(conf.GetHcwPath());
    if (failed.isEmpty())
        return;
    switch (conf.AskAgainAfterFailedStart(TConfFiler::HcwKind, failed)) {
    case TConfFiler::TAskAgain::NotAsked: throw Exception(failed);
    case TConfFiler::TAskAgain::Cancelled: return; // shown: nothing ran
    case TConfFiler::TAskAgain::Chosen: break;
    }
    failed = start(conf.Path(TConfFiler::HcwKind));
    if (!failed.isEmpty())
        throw Exception(failed);
}

} // namespace

void HelpWordClick(QWidget *owner, const TAddinServices &services, const QString &projectFileName)
{
    if (services.Data) {
        TFCWord dialog(owner, services, *services.Data);
        dialog.ProjectFileName = projectFileName;
        dialog.exec();
    }
    StartHelpCompiler(services, projectFileName, true);
}

void HelpHcwClick(const TAddinServices &services, const QString &projectFileName)
{
    StartHelpCompiler(services, projectFileName, false);
}

void HelpShowClick(QObject *owner, const TAddinServices &services, const QString &projectFileName)
{
    const QString helpFile = HelpFilesFor(projectFileName).HelpFile;
    // xdg-open only tells on its standard error and by its status.
    ShellOpen(helpFile, owner, [services, helpFile](int status) {
        services.dialogs().ShowError(LoadStr(txt::NoHelpViewer).arg(helpFile).arg(status));
    });
}
