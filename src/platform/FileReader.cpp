#include "FileReader.h"

#include "Exception.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What a file that is no regular file is, as the user would name it.
QString Kind(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a special file");
}

} // namespace

TOpenedFile OpenForReading(const QString &fileName)
{
    TOpenedFile opened;
    const QByteArray path = QFile::encodeName(fileName);
    int handle;
    // Non-blocking, so that a named pipe without a writer does not hold the
    // open; it is refused below anyway.
    do
        handle = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (handle < 0 && errno == EINTR);
    if (handle < 0) {
        opened.error = errno;
        return opened;
    }
    struct stat info;
    if (::fstat(handle, &info) != 0) {
        opened.error = errno;
        ::close(handle);
        return opened;
    }
    opened.mode = info.st_mode;
    if (!S_ISREG(info.st_mode)) {
        ::close(handle);
        return opened;
    }
    // Reads of a regular file never wait anyway; the flag goes for clarity.
    ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    opened.handle = handle;
    opened.size = int64_t(info.st_size);
    return opened;
}

TFileReader::~TFileReader()
{
    Close();
}

bool TFileReader::Open(const QString &fileName)
{
    Close();
    if (fileName.isEmpty())
        return false;
    const TOpenedFile opened = OpenForReading(fileName);
    if (opened.handle < 0) {
        if (opened.error == ENOENT || opened.error == ENOTDIR)
            return false;
        if (opened.error != 0)
            throw EInOutError(
                QStringLiteral("Cannot open %1: %2.").arg(fileName, Reason(opened.error)));
        throw EInOutError(QStringLiteral("Cannot read %1: it is %2, not a regular file.")
                              .arg(fileName, Kind(opened.mode)));
    }
    FHandle = opened.handle;
    FSize = opened.size;
    FFileName = fileName;
    return true;
}

int64_t TFileReader::Read(char *buffer, int64_t count)
{
    if (FHandle < 0)
        throw EInOutError(QStringLiteral("Cannot read: no file is open."));
    for (;;) {
        const ssize_t got = ::read(FHandle, buffer, size_t(count));
        if (got >= 0)
            return got;
        if (errno != EINTR)
            throw EInOutError(QStringLiteral("Cannot read %1: %2.").arg(FFileName, Reason(errno)));
    }
}

void TFileReader::Close()
{
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
    FSize = 0;
    FFileName.clear();
}
