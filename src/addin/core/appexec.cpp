#include "appexec.h"

#include "Process.h"

#include <QRegularExpression>

#include <cerrno>

namespace {

// The loader's return codes, which the runner reports for start failures.
QString LoaderText(int32_t code)
{
    switch (code) {
    case -1: return QStringLiteral("No execution");
    case 0:
        return QStringLiteral(
            "System was out of memory, executable file was corrupt, or relocations were invalid");
    case 2: return QStringLiteral("File was not found");
    case 3: return QStringLiteral("Path was not found");
    case 5:
        return QStringLiteral("Attempt was made to dynamically link to a task, or there was a "
                              "sharing or network-protection error");
    case 6: return QStringLiteral("Library required separate data segments for each task");
    case 8: return QStringLiteral("There was insufficient memory to start the application");
    case 10: return QStringLiteral("Windows version was incorrect");
    case 11:
        return QStringLiteral("Executable file was invalid. Either it was not a Windows "
                              "application or there was an error in the .EXE image");
    case 12: return QStringLiteral("Application was designed for a different operating system");
    case 13: return QStringLiteral("Application was designed for MS-DOS 4.0");
    case 14: return QStringLiteral("Type of executable file was unknown");
    case 15:
        return QStringLiteral("Attempt was made to load a real-mode application (developed for "
                              "an earlier version of Windows)");
    case 16:
        return QStringLiteral("Attempt to load second instance of an executable containing "
                              "multiple data segments not marked read-only");
    case 19:
        return QStringLiteral("Attempt was made to load a compressed executable file. The file "
                              "must be decompressed before it can be loaded");
    case 20:
        return QStringLiteral("Dynamic-link library (DLL) file was invalid. One of the DLLs "
                              "required to run this application was corrupt");
    case 21: return QStringLiteral("Application requires 32-bit extensions");
    default: return {};
    }
}

bool InLoaderTable(int32_t code)
{
    return code >= -1 && code <= 21 && (code <= 0 || !LoaderText(code).isEmpty());
}

int32_t WindowsCode(int error)
{
    switch (error) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES: return 5;
    case ENOMEM: return 8;
    case ENOEXEC: return 193;
    default: return TAppExec::UnmappedErrorBase + error;
    }
}

} // namespace

TAppExec::TAppExec(QObject *owner) : QObject(owner) {}

void TAppExec::SetExePath(const QString &value)
{
    FExePath = value;
    // "/tools/" names the same directory as "/tools"; the root stays "/".
    if (FExePath.size() > 1 && FExePath.endsWith(QLatin1Char('/')))
        FExePath.chop(1);
}

void TAppExec::SetWindowState(TMyWindowState value)
{
    if (value == FWindowState)
        return;
    FWindowState = value;
    static constexpr uint16_t showCommands[] = {1, 2, 3, 0};
    FShowCommand = showCommands[int(value)];
}

QString TAppExec::CommandLine() const
{
    QString line = FExeName;
    for (const QString &param : FExeParams)
        line += QLatin1Char(' ') + param;
    for (const QString &argument : FExeArguments)
        line += QLatin1Char(' ') + argument;
    return line;
}

void TAppExec::Execute()
{
    TSpawnRequest request;
    if (FChangeDir && !FExePath.isEmpty()) {
        if (const int error = CheckDirectory(FExePath))
            throw EAppExecChDir(QStringLiteral("Cannot change to directory %1: %2.")
                                    .arg(FExePath, SystemErrorText(error)));
        request.WorkingDir = FExePath;
    }
    FErrNo = 0;
    FSystemError = 0;
    FExitStatus = -1;
    FOutput.clear();
    // A tool's path may hold blanks ("My Apps"): only the parameter lines
    // are split, as the system splits an unquoted command line. Nothing is
    // cut, however long.
    request.Arguments = QStringList{FExeName};
    for (const QString &param : FExeParams)
        request.Arguments += param.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    request.Arguments += FExeArguments;
    request.Wait = FWait;
    const TSpawnResult result = SpawnProcess(request);
    if (result.Error != 0) {
        FSystemError = result.Error;
        FErrNo = WindowsCode(result.Error);
        // Which program: a path that is wrong for one tool is not for another.
        throw EAppExecWinExec(ErrorText() + QLatin1Char('\n') + FExeName);
    }
    if (FWait) {
        FErrNo = 0;
        FExitStatus = result.ExitStatus;
        FOutput = result.Output;
    }
}

QString TAppExec::ErrorText() const
{
    // Codes the table does not list would read "No error" or nothing at
    // all: a failed start reported as none. The system's words say why.
    if (!InLoaderTable(FErrNo) && FSystemError != 0)
        return SystemErrorText(FSystemError);
    if (FErrNo >= 32)
        return QStringLiteral("No error");
    return LoaderText(FErrNo);
}

QString TAppExec::LastOutputLines(int count) const
{
    QStringList lines = FOutput.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")),
                                      Qt::SkipEmptyParts);
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines.join(QLatin1Char('\n'));
}
