#include "SafeFile.h"

#include "Exception.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::atomic<int> failWrites{0};

QString reason(const QString &path, const QString &what)
{
    return QStringLiteral("Cannot write %1: %2").arg(path, what);
}
QString SizeText(qint64 bytes)
{
    if (bytes >= (qint64(1) << 20))
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    return QStringLiteral("%1 bytes").arg(bytes);
}
} // namespace

void WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInOutError(reason(path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        throw EInOutError(reason(path, why));
    }
    if (failWrites.load() > 0) {
        file.cancelWriting();
        throw EInOutError(reason(path, QStringLiteral("No space left on device")));
    }
    if (!file.commit())
        throw EInOutError(reason(path, file.errorString()));
}

QByteArray ReadWholeFile(const QString &path, qint64 maxBytes)
{
    auto refuse = [&](const QString &why) {
        return EInOutError(QStringLiteral("Cannot open file %1: %2").arg(path, why));
    };
    // O_NONBLOCK: opening a pipe nobody writes to must not hang.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError(QStringLiteral("Cannot open file %1").arg(path));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw refuse(QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(info.st_mode))
        throw refuse(QStringLiteral("it is a directory"));
    if (!S_ISREG(info.st_mode))
        throw refuse(QStringLiteral("it is not a regular file (a device, pipe or socket)"));
    auto tooLarge = [&](qint64 size) {
        return refuse(QStringLiteral("it is too large (%1; the limit is %2)").arg(SizeText(size), SizeText(maxBytes)));
    };
    if (info.st_size > maxBytes)
        throw tooLarge(info.st_size);

    auto readSome = [&](char *to, qint64 room) -> qint64 {
        for (;;) {
            const ssize_t n = ::read(fd, to, size_t(room));
            if (n >= 0)
                return n;
            if (errno != EINTR)
                throw EInOutError(QStringLiteral("Cannot read %1: %2")
                                      .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        }
    };
    QByteArray data(qsizetype(info.st_size), Qt::Uninitialized);
    qint64 got = 0;
    while (got < data.size()) {
        const qint64 n = readSome(data.data() + got, data.size() - got);
        if (n == 0)
            break;
        got += n;
    }
    if (got == data.size()) {
        // It may have grown since fstat: read on, never past the limit.
        char chunk[65536];
        while (const qint64 n = readSome(chunk, sizeof chunk)) {
            if (got + n > maxBytes)
                throw tooLarge(got + n);
            data.append(chunk, qsizetype(n));
            got += n;
        }
    }
    data.truncate(qsizetype(got));
    return data;
}

namespace SafeFileTesting {
FailWrites::FailWrites() { ++failWrites; }
FailWrites::~FailWrites() { --failWrites; }
} // namespace SafeFileTesting
