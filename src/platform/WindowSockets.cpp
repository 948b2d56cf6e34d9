#include "WindowSockets.h"

#include "WindowMessages.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace WindowMessages {

namespace Sockets {

QByteArray Native(const QString &path) { return QFile::encodeName(path); }

bool FillAddress(const QString &path, sockaddr_un &addr)
{
    const QByteArray bytes = Native(path);
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (bytes.size() >= qsizetype(sizeof addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, bytes.constData(), bytes.size());
    return true;
}

// Waits in poll, not in recv: a thread asleep in recv is woken each time
// the listener reads from the socket, one in poll only when the reply is
// there. A time-out leaves errno EAGAIN.
bool ReadReply(int fd, char *buffer, size_t size, int timeoutMs)
{
    while (size > 0) {
        pollfd wait{fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, timeoutMs > 0 ? timeoutMs : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            errno = EAGAIN;
        if (ready <= 0)
            return false;
        const ssize_t n = ::recv(fd, buffer, size, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n == 0)
            errno = ECONNRESET;
        if (n <= 0)
            return false;
        buffer += n;
        size -= size_t(n);
    }
    return true;
}

// Writes the pieces with as few calls as the socket allows: a frame sent in
// one call reaches the listener whole, in one wake-up.
bool WriteAll(int fd, iovec *pieces, int count)
{
    while (count > 0) {
        msghdr msg{};
        msg.msg_iov = pieces;
        msg.msg_iovlen = size_t(count);
        const ssize_t n = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        size_t done = size_t(n);
        while (count > 0 && done >= pieces->iov_len) {
            done -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<char *>(pieces->iov_base) + done;
            pieces->iov_len -= done;
        }
    }
    return true;
}

QString LockPath(const QString &socketPath) { return socketPath + QStringLiteral(".lock"); }

int OpenLock(const QString &socketPath)
{
    return ::open(Native(LockPath(socketPath)).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

bool Lock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

// The lock a listener holds for as long as it listens; whoever gets it
// knows that no live process answers on the socket.
int TakeLock(const QString &socketPath)
{
    const int fd = OpenLock(socketPath);
    if (fd < 0)
        return -1;
    if (!Lock(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether fd is still the file at path (not one removed meanwhile).
bool IsFileAt(int fd, const QString &path)
{
    struct stat open {}, named {};
    return ::fstat(fd, &open) == 0 && ::stat(Native(path).constData(), &named) == 0
           && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

void RemoveIfStale(const QString &socketPath)
{
    const int lock = TakeLock(socketPath);
    if (lock < 0)
        return;
    ::unlink(Native(socketPath).constData());
    ::close(lock);
}

// For writing; the wait for a reply has its own time-out (ReadReply).
void SetSendTimeout(int fd, int timeoutMs)
{
    timeval tv{};
    if (timeoutMs > 0) {
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

} // namespace Sockets

using namespace Sockets;

QString SocketDirectory(QString *error)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString dir = runtime.isEmpty()
                            ? QStringLiteral("/tmp/quorbel-%1").arg(::geteuid())
                            : QFile::decodeName(runtime) + QStringLiteral("/quorbel");
    const QByteArray native = Native(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = QStringLiteral("Cannot create %1: %2").arg(dir, QString::fromLocal8Bit(strerror(errno)));
        return {};
    }
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error)
            *error = QStringLiteral("%1 is not a directory").arg(dir);
        return {};
    }
    if (st.st_uid != ::geteuid()) {
        if (error)
            *error = QStringLiteral("%1 belongs to another user").arg(dir);
        return {};
    }
    if (st.st_mode & 077) {
        if (error)
            *error = QStringLiteral("%1 is open to other users").arg(dir);
        return {};
    }
    return dir;
}

} // namespace WindowMessages
