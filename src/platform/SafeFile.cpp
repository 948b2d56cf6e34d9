#include "SafeFile.h"

#include "Exception.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString reason(const QString &path, const QString &what)
{
    return QStringLiteral("Cannot write %1: %2").arg(path, what);
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

class TAtomicWriter final : public TFileWriter {
public:
    void Write(const QString &path, const QByteArray &bytes) override
    {
        WriteFileAtomically(path, bytes);
    }
};

} // namespace

TFileWriter &AtomicFileWriter()
{
    static TAtomicWriter writer;
    return writer;
}

void WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    // "./" keeps a name starting with ':' away from Qt's resource files.
    const QString name = path.startsWith(QLatin1Char(':')) ? QStringLiteral("./") + path : path;
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        throw EInOutError(reason(path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        throw EInOutError(reason(path, why));
    }
    if (!file.commit())
        throw EInOutError(reason(path, file.errorString()));
}

int OpenRegularFile(const QString &path, qint64 &size)
{
    const QByteArray local = QFile::encodeName(path);
    int handle;
    // O_NONBLOCK: opening a FIFO nobody writes to would wait forever.
    do
        handle = ::open(local.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (handle < 0 && errno == EINTR);
    if (handle < 0)
        throw EInOutError(QStringLiteral("Cannot open file %1").arg(path));
    struct stat info;
    if (::fstat(handle, &info) != 0) {
        ::close(handle);
        throw EInOutError(QStringLiteral("Cannot open file %1").arg(path));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(handle);
        const QString why = S_ISDIR(info.st_mode)
            ? QStringLiteral("it is a directory")
            : QStringLiteral("it is not a regular file (a device, pipe or socket)");
        throw EInOutError(QStringLiteral("Cannot open file %1: %2").arg(path, why));
    }
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags >= 0)
        ::fcntl(handle, F_SETFL, flags & ~O_NONBLOCK);
    size = info.st_size;
    return handle;
}

QByteArray ReadWholeFile(const QString &path, qint64 maxBytes)
{
    qint64 size = 0;
    const int handle = OpenRegularFile(path, size);
    if (size > maxBytes) {
        ::close(handle);
        throw EInOutError(QStringLiteral("Cannot read %1: the file is too large (%2 bytes; "
                                         "the limit is %3 bytes)")
                              .arg(path)
                              .arg(size)
                              .arg(maxBytes));
    }
    QByteArray data;
    data.resize(size);
    qint64 done = 0;
    // One byte more than the limit tells a file that grew while read.
    char extra;
    for (;;) {
        const bool intoData = done < size;
        char *at = intoData ? data.data() + done : &extra;
        const size_t want = intoData ? size_t(size - done) : 1;
        const ssize_t got = ::read(handle, at, want);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(handle);
            throw EInOutError(QStringLiteral("Cannot read %1: %2").arg(path, errnoText(error)));
        }
        if (got == 0)
            break;
        if (!intoData) {
            ::close(handle);
            throw EInOutError(
                QStringLiteral("Cannot read %1: the file changed while it was read").arg(path));
        }
        done += got;
    }
    ::close(handle);
    data.truncate(done);
    return data;
}

bool EntryExists(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}
