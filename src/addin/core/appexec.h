// Runs one of the IDE's outside tools (resource compiler, command-line
// compiler) with a command line made of a program name and parameter lines.
#pragma once

#include "Exception.h"

#include <QObject>
#include <QStringList>

#include <cstdint>

class EAppExec : public Exception {
public:
    using Exception::Exception;
};
// The working directory does not exist or cannot be entered.
class EAppExecChDir : public EAppExec {
public:
    using EAppExec::EAppExec;
};
// The program could not be started.
class EAppExecWinExec : public EAppExec {
public:
    using EAppExec::EAppExec;
};

enum class TMyWindowState { wsNormal, wsMinimized, wsMaximized, wsHide };

class TAppExec : public QObject {
    Q_OBJECT
public:
    explicit TAppExec(QObject *owner = nullptr);

    bool ChangeDir() const { return FChangeDir; }
    void SetChangeDir(bool value) { FChangeDir = value; }
    int32_t ErrNo() const { return FErrNo; }
    const QString &ExeName() const { return FExeName; }
    void SetExeName(const QString &value) { FExeName = value; }
    // Lines split at blanks: one line may hold several arguments.
    QStringList &ExeParams() { return FExeParams; }
    void SetExeParams(const QStringList &lines) { FExeParams = lines; }
    // Passed after the lines, each as one argument whatever blanks it
    // holds: the names of generated files.
    QStringList &ExeArguments() { return FExeArguments; }
    void SetExeArguments(const QStringList &arguments) { FExeArguments = arguments; }
    const QString &ExePath() const { return FExePath; }
    void SetExePath(const QString &value);
    bool Wait() const { return FWait; }
    void SetWait(bool value) { FWait = value; }
    TMyWindowState WindowState() const { return FWindowState; }
    void SetWindowState(TMyWindowState value);
    // The initial show state a windowed program would get (SW_HIDE is 0).
    uint16_t ShowCommand() const { return FShowCommand; }

    // ExeName, every ExeParams line and every ExeArguments entry, joined by
    // single blanks.
    QString CommandLine() const;
    // Starts ExeName, taken whole, in ExePath (the host keeps its own
    // directory) and, with Wait, blocks until it ends. Throws EAppExecChDir,
    // or EAppExecWinExec with ErrorText and, on a second line, the program.
    void Execute();
    QString ErrorText() const;

    // After a waited run: its exit code and the end of what it printed.
    int ExitStatus() const { return FExitStatus; }
    const QString &Output() const { return FOutput; }
    // The last count non-empty lines the tool printed, for error messages.
    QString LastOutputLines(int count = 8) const;

    // Codes outside the loader's table (0..32, 193) for start errors that
    // have no Windows number: this base plus the errno.
    static constexpr int32_t UnmappedErrorBase = 0x20000000;

private:
    bool FChangeDir = true;
    int32_t FErrNo = -1;
    int FSystemError = 0; // errno behind FErrNo
    QString FExeName;
    QStringList FExeParams;
    QStringList FExeArguments;
    QString FExePath;
    bool FWait = false;
    TMyWindowState FWindowState = TMyWindowState::wsNormal;
    uint16_t FShowCommand = 1;
    int FExitStatus = -1;
    QString FOutput;
};
