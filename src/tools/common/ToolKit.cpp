#include "ToolKit.h"

#include "Process.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *ProgramName = "quorbel";

} // namespace

void SetProgramName(const char *name)
{
    ProgramName = name;
}

void PrintError(const QString &text)
{
    std::fprintf(stderr, "%s: %s\n", ProgramName, text.toLocal8Bit().constData());
}

QString ToolCommand(const char *variable, const char *fallback)
{
    const QString set = QFile::decodeName(qgetenv(variable));
    QString command = set.isEmpty() ? QString::fromLatin1(fallback) : set;
    if (command.contains(QLatin1Char('/')) && !command.startsWith(QLatin1Char('/')))
        command = QDir::current().absoluteFilePath(command);
    return command;
}

TToolRun RunTool(const QStringList &arguments, const QString &dir, const TToolHint &hint)
{
    TSpawnRequest request;
    request.Arguments = arguments;
    request.WorkingDir = dir;
    request.Wait = true;
    const TSpawnResult result = SpawnProcess(request);
    // The tool's own words first, then ours.
    std::fputs(result.Output.toLocal8Bit().constData(), stderr);
    const QString &tool = arguments.first();
    if (result.Error == ENOENT) {
        PrintError(QStringLiteral("%1 not found; install the Debian package %2 (or point %3)")
                       .arg(tool, QLatin1String(hint.Package), QLatin1String(hint.Instead)));
        return {ExitNotFound, 0};
    }
    if (result.Error != 0) {
        PrintError(QStringLiteral("cannot run %1: %2").arg(tool, SystemErrorText(result.Error)));
        return {ExitCannotRun, 0};
    }
    if (result.ExitStatus != 0)
        return {ExitFailed, result.ExitStatus};
    return {};
}

TTempBeside::~TTempBeside()
{
    if (!FPath.isEmpty())
        ::unlink(QFile::encodeName(FPath).constData());
}

bool TTempBeside::Create(const QString &dir, const char *suffix)
{
    const QString start = dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
    QByteArray pattern = QFile::encodeName(start + QLatin1Char('.') + QLatin1String(ProgramName)
                                           + QLatin1String("-XXXXXX"))
                         + suffix;
    const int fd = ::mkstemps(pattern.data(), int(std::strlen(suffix)));
    if (fd < 0) {
        const int error = errno;
        PrintError(QStringLiteral("cannot create a temporary file in %1: %2").arg(dir, SystemErrorText(error)));
        return false;
    }
    // mkstemps makes the file private; the output gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    FPath = QFile::decodeName(pattern);
    return true;
}

QString TTempBeside::FileName() const
{
    return FPath.mid(FPath.lastIndexOf(QLatin1Char('/')) + 1);
}

bool TTempBeside::MoveInto(const QString &target, qint64 minBytes, const QString &tool, const char *what)
{
    const QByteArray from = QFile::encodeName(FPath);
    struct stat written {};
    if (::stat(from.constData(), &written) != 0 || written.st_size < minBytes) {
        PrintError(tool + QStringLiteral(" reported success but wrote no ") + QLatin1String(what));
        return false;
    }
    if (::rename(from.constData(), QFile::encodeName(target).constData()) != 0) {
        const int error = errno;
        PrintError(QStringLiteral("cannot write %1: %2").arg(target, SystemErrorText(error)));
        return false;
    }
    FPath.clear();
    return true;
}

void RemoveOldOutput(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT) {
        const int error = errno;
        PrintError(QStringLiteral("cannot remove the old %1: %2").arg(path, SystemErrorText(error)));
    }
}
