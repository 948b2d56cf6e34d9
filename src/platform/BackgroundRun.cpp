#include "Process.h"

#include "Paths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace {

// A UTF-8 sequence's continuation bytes: a cut is moved off them.
bool Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

QStringList PascalCompileCommand(const QString &projectFile, bool build)
{
    QString program = QStandardPaths::findExecutable(QStringLiteral("dcc32"));
    // The dcc32 built beside the IDE links resource libraries only; it
    // compiles no program.
    if (!program.isEmpty()
        && QFileInfo(program).canonicalPath()
               == QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath())
        program.clear();
    QStringList command;
    if (!program.isEmpty()) {
        command << program;
    } else {
        program = QStandardPaths::findExecutable(QStringLiteral("fpc"));
        if (program.isEmpty())
            return {};
        command << program << QStringLiteral("-Mdelphi");
    }
    if (build)
        command << QStringLiteral("-B");
    command << ExtractFileName(projectFile);
    return command;
}

struct TBackgroundRun::TState {
    QProcess *Process = nullptr;
    TEnded Ended;
    QByteArray Head;
    QByteArray Tail;
    bool HeadFull = false;
    bool Dropped = false;

    void Keep(const QByteArray &bytes)
    {
        qsizetype from = 0;
        if (!HeadFull) {
            qsizetype take = std::min(bytes.size(), KeptHeadBytes - Head.size());
            if (take < bytes.size())
                while (take > 0 && Continuation(bytes.at(take)))
                    --take;
            Head.append(bytes.constData(), take);
            from = take;
            HeadFull = from < bytes.size(); // the rest goes to the tail
        }
        if (from >= bytes.size())
            return;
        Tail.append(bytes.constData() + from, bytes.size() - from);
        if (Tail.size() > 2 * KeptTailBytes) {
            qsizetype cut = Tail.size() - KeptTailBytes;
            while (cut < Tail.size() && Continuation(Tail.at(cut)))
                ++cut;
            Tail.remove(0, cut);
            Dropped = true;
        }
    }
    QString Output() const
    {
        QByteArray all = Head;
        if (Dropped)
            all += "\n...\n";
        all += Tail;
        return QString::fromUtf8(all);
    }
    // Takes the process out of the state, to be deleted once its signal has
    // returned.
    void Release()
    {
        if (Process) {
            Process->disconnect();
            Process->deleteLater();
            Process = nullptr;
        }
    }
};

TBackgroundRun::TBackgroundRun() : FState(std::make_unique<TState>()) {}

TBackgroundRun::~TBackgroundRun()
{
    Kill();
}

bool TBackgroundRun::Running() const
{
    return FState->Process != nullptr;
}

void TBackgroundRun::Start(const QStringList &arguments, const QString &workingDir, TEnded ended)
{
    Kill();
    TState &state = *FState;
    state.Head.clear();
    state.Tail.clear();
    state.HeadFull = false;
    state.Dropped = false;
    state.Ended = std::move(ended);
    auto *process = new QProcess;
    state.Process = process;
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    if (!workingDir.isEmpty())
        process->setWorkingDirectory(workingDir);

    // Hands the end over: the callback may start the next run on this object
    // or destroy it, so nothing of the state is touched after it.
    const auto finish = [this, process](int status, const QString &output) {
        if (FState->Process != process)
            return;
        TEnded callback = std::move(FState->Ended);
        FState->Release();
        if (callback)
            callback(status, output);
    };
    QObject::connect(process, &QProcess::readyReadStandardOutput, process,
                     [this, process] { FState->Keep(process->readAllStandardOutput()); });
    QObject::connect(process, &QProcess::finished, process,
                     [this, process, finish](int code, QProcess::ExitStatus exit) {
                         FState->Keep(process->readAllStandardOutput());
                         finish(exit == QProcess::NormalExit ? code : 128 + code, FState->Output());
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, finish](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         // Told from the event loop, as a start that worked would be.
                         const QString reason = process->errorString();
                         QTimer::singleShot(0, process, [finish, reason] { finish(-1, reason); });
                     });
    if (arguments.isEmpty()) {
        QTimer::singleShot(0, process, [finish] { finish(-1, QStringLiteral("No program")); });
        return;
    }
    process->start(arguments.first(), arguments.mid(1));
}

void TBackgroundRun::Kill()
{
    QProcess *process = FState->Process;
    if (!process)
        return;
    FState->Process = nullptr;
    FState->Ended = nullptr;
    process->disconnect();
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(10000);
    }
    delete process;
}
