#include "SharedMemory.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray SharedMemoryName(const QString &name)
{
    return '/' + QFile::encodeName(qEnvironmentVariable("QUORBEL_SHM_PREFIX") + name);
}

int OpenSharedMemory(const QString &name, qint64 size, int &fd, QString *reason)
{
    fd = -1;
    const auto fail = [&](int error, const QString &why) {
        if (reason)
            *reason = why;
        return error;
    };
    const QByteArray posixName = SharedMemoryName(name);
    if (size <= 0)
        return fail(EINVAL, QStringLiteral("%1: a block needs a size").arg(name));
    const int handle = ::shm_open(posixName.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (handle < 0) {
        const int error = errno;
        return fail(error, QStringLiteral("%1: %2").arg(QFile::decodeName(posixName),
                                                        QString::fromLocal8Bit(std::strerror(error))));
    }
    const auto refuse = [&](const QString &why) {
        ::close(handle);
        return fail(EPERM, QStringLiteral("%1 %2").arg(QFile::decodeName(posixName), why));
    };
    struct stat info {};
    if (::fstat(handle, &info) != 0)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return refuse(QStringLiteral("is no shared memory block"));
    // Another user's block, or one others may write, could feed us any reply.
    if (info.st_uid != ::geteuid())
        return refuse(QStringLiteral("belongs to another user"));
    if (info.st_mode & 077)
        return refuse(QStringLiteral("is open to other users"));
    if (info.st_size < size && ::ftruncate(handle, size) != 0) {
        const int error = errno;
        ::close(handle);
        return fail(error, QStringLiteral("%1: %2").arg(QFile::decodeName(posixName),
                                                        QString::fromLocal8Bit(std::strerror(error))));
    }
    fd = handle;
    return 0;
}

int MapSharedMemory(int fd, qint64 size, void *&address)
{
    address = nullptr;
    void *view = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED)
        return errno;
    address = view;
    return 0;
}

int UnmapSharedMemory(void *address, qint64 size)
{
    return ::munmap(address, size_t(size)) == 0 ? 0 : errno;
}

int CloseSharedMemory(int fd)
{
    return ::close(fd) == 0 ? 0 : errno;
}

int UnlinkSharedMemory(const QString &name)
{
    return ::shm_unlink(SharedMemoryName(name).constData()) == 0 ? 0 : errno;
}
