#include "WindowMessages.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QThread>
#include <QtEndian>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace WindowMessages {

namespace {

constexpr int HeaderBytes = 4 + 8 + 4;

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

bool ReadAll(int fd, char *buffer, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::recv(fd, buffer, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer += n;
        size -= size_t(n);
    }
    return true;
}

bool WriteAll(int fd, const char *buffer, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, buffer, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer += n;
        size -= size_t(n);
    }
    return true;
}

// Reads and drops count bytes, so an oversize request never sits in memory.
bool Discard(int fd, quint64 count)
{
    char sink[64 * 1024];
    while (count > 0) {
        const size_t chunk = size_t(std::min<quint64>(count, sizeof sink));
        if (!ReadAll(fd, sink, chunk))
            return false;
        count -= chunk;
    }
    return true;
}

QString LockPath(const QString &socketPath) { return socketPath + QStringLiteral(".lock"); }

// The lock a listener holds for as long as it listens; whoever gets it
// knows that no live process answers on the socket.
int TakeLock(const QString &socketPath)
{
    const int fd = ::open(Native(LockPath(socketPath)).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void RemoveIfStale(const QString &socketPath)
{
    const int lock = TakeLock(socketPath);
    if (lock < 0)
        return;
    ::unlink(Native(socketPath).constData());
    ::close(lock);
}

void SetTimeouts(int fd, int timeoutMs)
{
    timeval tv{};
    if (timeoutMs > 0) {
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
    }
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

QMutex RegistryMutex;
QHash<QString, TMessageListener *> &LocalListeners()
{
    static QHash<QString, TMessageListener *> listeners;
    return listeners;
}

} // namespace

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

// ---------------------------------------------------------------- listener

struct TMessageListener::TImpl {
    // One sender's connection. Its reader queues messages; the owner's
    // thread answers each after handling it, so the reader never waits for
    // the UI unless a sender runs too far ahead.
    struct TConnection {
        int Fd = -1;
        int Unanswered = 0;
        bool Broken = false;
    };
    struct TPending {
        std::shared_ptr<TConnection> From;
        TMessage Message;
    };
    // Frames a sender may have queued before its reader stops reading.
    static constexpr int MaxUnanswered = 64;

    TMessageListener *Owner = nullptr;
    QString ClassName;
    THandler Handler;
    QString Path;
    int ListenFd = -1;
    int LockFd = -1;
    int WakeFd = -1;
    std::thread Acceptor;

    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<TPending> Queue;
    std::set<std::shared_ptr<TConnection>> Connections;
    int Running = 0; // connection threads not yet finished
    bool Posted = false;
    bool Stopping = false;

    void AcceptLoop();
    void Serve(std::shared_ptr<TConnection> connection);
    // On the owner's thread: handles everything queued, answering each.
    void Drain();
};

void TMessageListener::TImpl::AcceptLoop()
{
    pollfd fds[2] = {{ListenFd, POLLIN, 0}, {WakeFd, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        const int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::geteuid()) {
            ::close(fd);
            continue;
        }
        std::lock_guard lock(Mutex);
        if (Stopping) {
            ::close(fd);
            return;
        }
        auto connection = std::make_shared<TConnection>();
        connection->Fd = fd;
        Connections.insert(connection);
        ++Running;
        std::thread([this, connection] { Serve(connection); }).detach();
    }
}

void TMessageListener::TImpl::Serve(std::shared_ptr<TConnection> connection)
{
    const int fd = connection->Fd;
    for (;;) {
        char header[HeaderBytes];
        if (!ReadAll(fd, header, sizeof header))
            break;
        TMessage message;
        message.Message = qFromLittleEndian<quint32>(header);
        message.WParam = qFromLittleEndian<quint64>(header + 4);
        const quint32 length = qFromLittleEndian<quint32>(header + 12);
        const quint32 kept = std::min(length, MaxRequestBytes);
        message.Data.resize(kept);
        if (!ReadAll(fd, message.Data.data(), kept) || !Discard(fd, length - kept))
            break;
        message.Cut = length > kept;

        std::unique_lock lock(Mutex);
        Changed.wait(lock, [&] {
            return connection->Unanswered < MaxUnanswered || Stopping || connection->Broken;
        });
        if (Stopping || connection->Broken)
            break;
        ++connection->Unanswered;
        Queue.push_back({connection, std::move(message)});
        const bool post = !Posted;
        Posted = true;
        lock.unlock();
        if (post)
            QMetaObject::invokeMethod(Owner, [this] { Drain(); }, Qt::QueuedConnection);
    }
    // The descriptor stays open until the owner's thread is done with the
    // messages it has queued, so no answer goes to a reused descriptor.
    std::unique_lock lock(Mutex);
    connection->Broken = true;
    Changed.wait(lock, [&] { return connection->Unanswered == 0; });
    Connections.erase(connection);
    ::close(fd);
    --Running;
    Changed.notify_all();
}

void TMessageListener::TImpl::Drain()
{
    for (;;) {
        TPending pending;
        {
            std::lock_guard lock(Mutex);
            if (Queue.empty()) {
                Posted = false;
                return;
            }
            pending = std::move(Queue.front());
            Queue.pop_front();
        }
        const qint64 result = Handler ? Handler(pending.Message) : 0;
        // Answered as soon as it is handled, not at the end of the batch.
        // A sender that does not read its answers is cut off rather than
        // let it block this thread.
        char reply[8];
        qToLittleEndian<qint64>(result, reply);
        std::lock_guard lock(Mutex);
        TConnection &from = *pending.From;
        if (!from.Broken
            && ::send(from.Fd, reply, sizeof reply, MSG_NOSIGNAL | MSG_DONTWAIT) != sizeof reply) {
            from.Broken = true;
            ::shutdown(from.Fd, SHUT_RDWR);
        }
        --from.Unanswered;
        Changed.notify_all();
    }
}

TMessageListener::TMessageListener(const QString &className, THandler handler, QObject *parent)
    : QObject(parent), d(std::make_unique<TImpl>())
{
    d->Owner = this;
    d->ClassName = className;
    d->Handler = std::move(handler);
}

TMessageListener::~TMessageListener() { Close(); }

bool TMessageListener::Listen(QString *error)
{
    if (IsListening())
        return true;
    const QString dir = SocketDirectory(error);
    if (dir.isEmpty())
        return false;
    const QString path = dir + QLatin1Char('/') + d->ClassName;
    sockaddr_un addr{};
    if (!FillAddress(path, addr)) {
        if (error)
            *error = QStringLiteral("Socket path too long: %1").arg(path);
        return false;
    }
    const int lock = TakeLock(path);
    if (lock < 0) {
        if (error)
            *error = QStringLiteral("Another process already receives messages for %1").arg(d->ClassName);
        return false;
    }
    // Holding the lock, a socket file left here is stale.
    ::unlink(Native(path).constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || ::chmod(addr.sun_path, 0600) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        if (error)
            *error = QStringLiteral("Cannot listen on %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        ::close(lock);
        return false;
    }
    d->Path = path;
    d->ListenFd = fd;
    d->LockFd = lock;
    d->WakeFd = ::eventfd(0, EFD_CLOEXEC);
    d->Stopping = false;
    d->Acceptor = std::thread([impl = d.get()] { impl->AcceptLoop(); });
    QMutexLocker registry(&RegistryMutex);
    LocalListeners().insert(d->ClassName.toLower(), this);
    return true;
}

void TMessageListener::Close()
{
    if (!IsListening())
        return;
    {
        QMutexLocker registry(&RegistryMutex);
        LocalListeners().remove(d->ClassName.toLower());
    }
    const quint64 one = 1;
    [[maybe_unused]] auto written = ::write(d->WakeFd, &one, sizeof one);
    d->Acceptor.join();
    {
        std::unique_lock lock(d->Mutex);
        d->Stopping = true;
        for (const auto &connection : d->Connections)
            ::shutdown(connection->Fd, SHUT_RDWR);
        // Messages not handled yet are dropped; their senders see the
        // connection end instead of an answer.
        for (TImpl::TPending &pending : d->Queue)
            --pending.From->Unanswered;
        d->Queue.clear();
        d->Posted = false;
        d->Changed.notify_all();
        d->Changed.wait(lock, [this] { return d->Running == 0; });
    }
    ::unlink(Native(d->Path).constData());
    ::close(d->ListenFd);
    ::close(d->WakeFd);
    ::close(d->LockFd);
    d->ListenFd = d->WakeFd = d->LockFd = -1;
}

bool TMessageListener::IsListening() const { return d->ListenFd >= 0; }

QString TMessageListener::SocketPath() const { return d->Path; }

qint64 TMessageListener::Handle(const TMessage &message)
{
    return d->Handler ? d->Handler(message) : 0;
}

// -------------------------------------------------------------- connection

TWindowConnection::~TWindowConnection() { Close(); }

void TWindowConnection::Close()
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
}

TSendError TWindowConnection::Open(const QString &className)
{
    const QString dir = SocketDirectory();
    if (dir.isEmpty())
        return TSendError::NoWindow;
    return Open(className, dir);
}

TSendError TWindowConnection::Open(const QString &className, const QString &directory)
{
    Close();
    const QString path = directory + QLatin1Char('/') + className;
    sockaddr_un addr{};
    if (!FillAddress(path, addr))
        return TSendError::NoWindow;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return TSendError::Failed;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == ECONNREFUSED)
            RemoveIfStale(path);
        return err == ECONNREFUSED || err == ENOENT ? TSendError::NoWindow : TSendError::Failed;
    }
    FFd = fd;
    return TSendError::None;
}

TSendError TWindowConnection::Send(quint32 message, quint64 wParam, const QByteArray &data,
                                   int timeoutMs, qint64 *result)
{
    if (FFd < 0)
        return TSendError::Failed;
    SetTimeouts(FFd, timeoutMs);
    char header[HeaderBytes];
    qToLittleEndian<quint32>(message, header);
    qToLittleEndian<quint64>(wParam, header + 4);
    qToLittleEndian<quint32>(quint32(data.size()), header + 12);
    char reply[8];
    if (!WriteAll(FFd, header, sizeof header) || !WriteAll(FFd, data.constData(), size_t(data.size()))
        || !ReadAll(FFd, reply, sizeof reply)) {
        const bool timedOut = errno == EAGAIN || errno == EWOULDBLOCK;
        Close();
        return timedOut ? TSendError::TimedOut : TSendError::Failed;
    }
    if (result)
        *result = qFromLittleEndian<qint64>(reply);
    return TSendError::None;
}

// ------------------------------------------------------------------- calls

bool WindowListening(const QString &className)
{
    TWindowConnection connection;
    return connection.Open(className) == TSendError::None;
}

std::optional<qint64> SendMessageTo(const QString &className, quint32 message, quint64 wParam,
                                    const QByteArray &data, int timeoutMs, TSendError *error)
{
    if (error)
        *error = TSendError::None;
    TMessageListener *local = nullptr;
    {
        QMutexLocker registry(&RegistryMutex);
        local = LocalListeners().value(className.toLower());
    }
    if (local && local->thread() == QThread::currentThread()) {
        return local->Handle({message, wParam, data.left(MaxRequestBytes), data.size() > MaxRequestBytes});
    }
    TWindowConnection connection;
    TSendError failure = connection.Open(className);
    qint64 result = 0;
    if (failure == TSendError::None)
        failure = connection.Send(message, wParam, data, timeoutMs, &result);
    if (error)
        *error = failure;
    if (failure != TSendError::None)
        return std::nullopt;
    return result;
}

QString SendErrorText(TSendError error)
{
    switch (error) {
    case TSendError::None:
        return {};
    case TSendError::NoWindow:
        return QStringLiteral("no window is receiving");
    case TSendError::TimedOut:
        return QStringLiteral("the receiving window did not answer in time");
    case TSendError::Failed:
        break;
    }
    return QStringLiteral("the message could not be delivered");
}

} // namespace WindowMessages
