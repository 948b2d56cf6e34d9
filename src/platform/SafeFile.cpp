#include "SafeFile.h"

#include "Exception.h"
#include "FileReader.h"

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

QByteArray ReadWholeFile(const QString &path, qint64 maxBytes, qsizetype spare)
{
    const TOpenedFile opened = OpenForReading(path);
    if (opened.handle < 0) {
        if (opened.error != 0 || opened.mode == 0)
            throw EInOutError(QStringLiteral("Cannot open file %1").arg(path));
        const QString why = S_ISDIR(opened.mode)
            ? QStringLiteral("it is a directory")
            : QStringLiteral("it is not a regular file (a device, pipe or socket)");
        throw EInOutError(QStringLiteral("Cannot open file %1: %2").arg(path, why));
    }
    const int handle = opened.handle;
    const qint64 size = opened.size;
    if (size > maxBytes) {
        ::close(handle);
        throw EInOutError(QStringLiteral("Cannot read %1: the file is too large (%2 bytes; "
                                         "the limit is %3 bytes)")
                              .arg(path)
                              .arg(size)
                              .arg(maxBytes));
    }
    QByteArray data;
    if (spare > 0)
        data.reserve(size + spare);
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
