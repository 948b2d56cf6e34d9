#include "WindowMessages.h"

#include "WindowSockets.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <QSocketNotifier>

#include <algorithm>
#include <utility>
#include <vector>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

namespace WindowMessages {

namespace {

constexpr int HeaderBytes = FrameHeaderBytes;

QMutex RegistryMutex;
QHash<QString, TMessageListener *> &LocalListeners()
{
    static QHash<QString, TMessageListener *> listeners;
    return listeners;
}

} // namespace

using namespace Sockets;

// ---------------------------------------------------------------- listener

// Everything runs on the owner's thread: the sockets are watched by its
// event loop, so a message is handled the moment its bytes are read.
struct TMessageListener::TImpl {
    struct TConnection {
        int Fd = -1;
        QSocketNotifier *Reader = nullptr;
        QSocketNotifier *Writer = nullptr;
        TFrameReader Frames;
        // Replies not yet taken by the socket, from OutAt on.
        QByteArray Out;
        qsizetype OutAt = 0;
        bool Ended = false; // the sender sends no more
        bool Busy = false;  // its frames are being handled
        qint64 Pid = 0;     // the sender, read once when accepted
        QString Name;
    };
    using TConnectionPtr = std::shared_ptr<TConnection>;

    // Read from one connection per wake-up before the others get their turn.
    static constexpr qsizetype ReadBudget = 256 * 1024;
    static constexpr qsizetype ReadChunk = 64 * 1024;
    // Replies a sender leaves unread before its requests are no longer read.
    static constexpr qsizetype MaxUnsent = 64 * 1024;
    // A sweep serves connections for at most this long, and keeps looking
    // for frames this long after the last one before it lets go.
    static constexpr qint64 SweepBudgetNs = 2'000'000;
    static constexpr qint64 SweepSpinNs = 50'000;

    TMessageListener *Owner = nullptr;
    QString ClassName;
    THandler Handler;
    QString Path;
    int ListenFd = -1;
    int LockFd = -1;
    QSocketNotifier *Acceptor = nullptr;
    std::vector<TConnectionPtr> Connections;

    // While another process holds the lock: the lock file, open, and what
    // tells when it is closed (inotify, else a timer).
    int WaitLockFd = -1;
    int WatchFd = -1;
    QSocketNotifier *Watcher = nullptr;
    QTimer *Poller = nullptr;
    std::function<void()> OnListen;

    bool Start(QString *error, bool wait);
    void Watch(const QString &lockPath);
    void StopWatching();
    void StopWaiting();
    void LockChanged();

    void Accept();
    void ReadReady(const TConnectionPtr &connection);
    // reply false: the replies wait for Answer, so that a sweep answers
    // every connection it served in one burst.
    void Serve(const TConnectionPtr &connection, bool reply = true);
    void Answer(const TConnectionPtr &connection);
    // After a wake-up, serves the other connections whose frames came
    // meanwhile, without a trip through the event loop for each.
    void Sweep();
    bool Sweeping = false;
    std::vector<pollfd> SweepFds;
    std::vector<TConnectionPtr> SweepReady;
    void WriteReady(const TConnectionPtr &connection);
    // Takes apart and handles every complete frame buffered; false when the
    // connection was dropped meanwhile.
    bool HandleFrames(const TConnectionPtr &connection);
    // Writes what the socket takes now; false when the connection is gone.
    bool Flush(const TConnectionPtr &connection);
    void Resume(const TConnectionPtr &connection);
    void Drop(const TConnectionPtr &connection);
};

namespace {

// A notifier may be the one whose signal is being delivered: it goes once
// control is back in the event loop.
void Retire(QSocketNotifier *&notifier)
{
    if (!notifier)
        return;
    notifier->setEnabled(false);
    notifier->deleteLater();
    notifier = nullptr;
}

} // namespace

void TMessageListener::TImpl::Accept()
{
    for (;;) {
        const int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return; // EAGAIN, or out of descriptors: the notifier fires again
        }
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::geteuid()) {
            ::close(fd);
            continue;
        }
        auto connection = std::make_shared<TConnection>();
        connection->Fd = fd;
        connection->Pid = cred.pid;
        connection->Name = ProcessName(cred.pid);
        connection->Reader = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, Owner);
        QObject::connect(connection->Reader, &QSocketNotifier::activated, Owner,
                         [this, weak = std::weak_ptr(connection)] {
                             if (auto c = weak.lock())
                                 ReadReady(c);
                         });
        connection->Writer = new QSocketNotifier(qintptr(fd), QSocketNotifier::Write, Owner);
        connection->Writer->setEnabled(false);
        QObject::connect(connection->Writer, &QSocketNotifier::activated, Owner,
                         [this, weak = std::weak_ptr(connection)] {
                             if (auto c = weak.lock())
                                 WriteReady(c);
                         });
        Connections.push_back(std::move(connection));
    }
}

void TMessageListener::TImpl::ReadReady(const TConnectionPtr &connection)
{
    Serve(connection);
    if (!Sweeping)
        Sweep();
}

void TMessageListener::TImpl::Sweep()
{
    Sweeping = true;
    QElapsedTimer clock;
    clock.start();
    qint64 served = 0; // when a frame was last served
    bool yielded = false;
    // Bounded, so that paints and timers still get their turn under load.
    while (clock.nsecsElapsed() < SweepBudgetNs) {
        SweepFds.clear();
        SweepReady.clear();
        for (const TConnectionPtr &c : Connections)
            if (c->Fd >= 0 && !c->Busy && c->Reader && c->Reader->isEnabled()) {
                SweepFds.push_back({c->Fd, POLLIN, 0});
                SweepReady.push_back(c);
            }
        if (SweepFds.empty())
            break;
        if (::poll(SweepFds.data(), nfds_t(SweepFds.size()), 0) <= 0) {
            // A sender answered a moment ago writes its next frame within
            // microseconds when it has a processor: catching it awake
            // spares this thread a sleep and the sender the wake-up.
            if (clock.nsecsElapsed() - served < SweepSpinNs)
                continue;
            // The senders just answered are likely about to write again:
            // give them the processor once before sleeping.
            if (yielded)
                break;
            yielded = true;
            sched_yield();
            continue;
        }
        // Every frame at hand is handled before the first reply goes: a
        // sender woken by its reply would take the processor from this
        // thread in the middle of the round.
        for (size_t i = 0; i < SweepFds.size(); ++i)
            if (SweepFds[i].revents & (POLLIN | POLLHUP | POLLERR))
                Serve(SweepReady[i], false);
        for (size_t i = 0; i < SweepFds.size(); ++i)
            if (SweepFds[i].revents & (POLLIN | POLLHUP | POLLERR))
                Answer(SweepReady[i]);
        served = clock.nsecsElapsed();
        yielded = false;
    }
    SweepReady.clear();
    Sweeping = false;
}

void TMessageListener::TImpl::Serve(const TConnectionPtr &connection, bool reply)
{
    TConnection &c = *connection;
    if (c.Fd < 0)
        return;
    if (c.Busy) {
        // A handler turned the event loop: this connection's next frames
        // wait until it has returned. Not switched off up front, as each
        // switch costs the event loop a wake-up.
        c.Reader->setEnabled(false);
        return;
    }
    c.Busy = true;
    qsizetype budget = ReadBudget;
    bool more = true;
    while (more && budget > 0 && c.Out.size() - c.OutAt < MaxUnsent) {
        const ssize_t n = ::recv(c.Fd, c.Frames.Room(ReadChunk), size_t(ReadChunk), MSG_DONTWAIT);
        c.Frames.Received(std::max<qsizetype>(n, 0));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            c.Busy = false;
            Drop(connection);
            return;
        }
        if (n == 0) {
            c.Ended = true;
            break;
        }
        budget -= n;
        // A short read leaves the socket empty: no need to ask again.
        more = n == ReadChunk;
        if (!HandleFrames(connection))
            return;
    }
    c.Busy = false;
    if (reply)
        Answer(connection);
}

void TMessageListener::TImpl::Answer(const TConnectionPtr &connection)
{
    if (connection->Fd < 0 || connection->Busy || !Flush(connection))
        return;
    Resume(connection);
}

bool TMessageListener::TImpl::HandleFrames(const TConnectionPtr &connection)
{
    TConnection &c = *connection;
    TMessage message;
    message.SenderPid = c.Pid;
    message.SenderName = c.Name;
    while (c.Frames.Next(message)) {
        const qint64 result = Handler ? Handler(message) : 0;
        if (c.Fd < 0)
            return false; // closed by the handler
        char reply[8];
        qToLittleEndian<qint64>(result, reply);
        c.Out.append(reply, sizeof reply);
    }
    return true;
}

bool TMessageListener::TImpl::Flush(const TConnectionPtr &connection)
{
    TConnection &c = *connection;
    while (c.OutAt < c.Out.size()) {
        const ssize_t n = ::send(c.Fd, c.Out.constData() + c.OutAt, size_t(c.Out.size() - c.OutAt),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            c.OutAt += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The sender is not reading: the rest goes when it does.
            c.Writer->setEnabled(true);
            return true;
        }
        Drop(connection);
        return false;
    }
    c.Out.resize(0);
    c.OutAt = 0;
    c.Writer->setEnabled(false);
    return true;
}

void TMessageListener::TImpl::WriteReady(const TConnectionPtr &connection)
{
    if (connection->Fd < 0 || !Flush(connection))
        return;
    if (!connection->Busy)
        Resume(connection);
}

// Reads on when the replies have gone; ends a finished sender.
void TMessageListener::TImpl::Resume(const TConnectionPtr &connection)
{
    TConnection &c = *connection;
    const qsizetype unsent = c.Out.size() - c.OutAt;
    if (c.Ended) {
        if (unsent == 0)
            Drop(connection);
        return;
    }
    c.Reader->setEnabled(unsent < MaxUnsent);
}

void TMessageListener::TImpl::Drop(const TConnectionPtr &connection)
{
    TConnection &c = *connection;
    if (c.Fd < 0)
        return;
    Retire(c.Reader);
    Retire(c.Writer);
    ::close(c.Fd);
    c.Fd = -1;
    std::erase(Connections, connection);
}

TMessageListener::TMessageListener(const QString &className, THandler handler, QObject *parent)
    : QObject(parent), d(std::make_unique<TImpl>())
{
    d->Owner = this;
    d->ClassName = className;
    d->Handler = std::move(handler);
}

TMessageListener::~TMessageListener() { Close(); }

bool TMessageListener::Listen(QString *error) { return d->Start(error, false); }

bool TMessageListener::ListenOrWait(QString *error) { return d->Start(error, true) || IsWaiting(); }

bool TMessageListener::IsWaiting() const { return d->WaitLockFd >= 0; }

void TMessageListener::SetOnListen(std::function<void()> onListen) { d->OnListen = std::move(onListen); }

bool TMessageListener::TImpl::Start(QString *error, bool wait)
{
    if (ListenFd >= 0)
        return true;
    const QString dir = SocketDirectory(error);
    if (dir.isEmpty()) {
        StopWaiting();
        return false;
    }
    const QString path = dir + QLatin1Char('/') + ClassName;
    sockaddr_un addr{};
    if (!FillAddress(path, addr)) {
        if (error)
            *error = QStringLiteral("Socket path too long: %1").arg(path);
        StopWaiting();
        return false;
    }
    int lock = std::exchange(WaitLockFd, -1);
    if (lock >= 0 && !IsFileAt(lock, LockPath(path))) {
        ::close(lock);
        lock = -1;
    }
    if (lock < 0)
        lock = OpenLock(path);
    bool locked = lock >= 0 && Lock(lock);
    if (!locked && lock >= 0 && wait) {
        Watch(LockPath(path));
        // A release before the watch began is not missed.
        locked = Lock(lock);
    }
    if (!locked) {
        if (error)
            *error = QStringLiteral("Another process already receives messages for %1").arg(ClassName);
        if (lock >= 0 && wait)
            WaitLockFd = lock;
        else if (lock >= 0)
            ::close(lock);
        if (!wait)
            StopWaiting();
        return false;
    }
    StopWatching();
    // Holding the lock, a socket file left here is stale.
    ::unlink(Native(path).constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || ::chmod(addr.sun_path, 0600) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        if (error)
            *error = QStringLiteral("Cannot listen on %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        ::close(lock);
        return false;
    }
    Path = path;
    ListenFd = fd;
    LockFd = lock;
    Acceptor = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, Owner);
    QObject::connect(Acceptor, &QSocketNotifier::activated, Owner, [this] { Accept(); });
    QMutexLocker registry(&RegistryMutex);
    LocalListeners().insert(ClassName.toLower(), Owner);
    return true;
}

// Closing the lock file is what its holder does last, by exit or by kill.
void TMessageListener::TImpl::Watch(const QString &lockPath)
{
    if (Watcher || Poller)
        return;
    WatchFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (WatchFd >= 0
        && ::inotify_add_watch(WatchFd, Native(lockPath).constData(),
                               IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_DELETE_SELF | IN_MOVE_SELF) >= 0) {
        Watcher = new QSocketNotifier(qintptr(WatchFd), QSocketNotifier::Read, Owner);
        QObject::connect(Watcher, &QSocketNotifier::activated, Owner, [this] { LockChanged(); });
        return;
    }
    if (WatchFd >= 0)
        ::close(WatchFd);
    WatchFd = -1;
    Poller = new QTimer(Owner);
    QObject::connect(Poller, &QTimer::timeout, Owner, [this] { LockChanged(); });
    Poller->start(500);
}

void TMessageListener::TImpl::StopWatching()
{
    Retire(Watcher);
    if (WatchFd >= 0)
        ::close(WatchFd);
    WatchFd = -1;
    if (Poller)
        Poller->deleteLater();
    Poller = nullptr;
}

void TMessageListener::TImpl::StopWaiting()
{
    StopWatching();
    if (WaitLockFd >= 0)
        ::close(WaitLockFd);
    WaitLockFd = -1;
}

void TMessageListener::TImpl::LockChanged()
{
    if (WaitLockFd < 0)
        return;
    // Watched anew each time: the file may have been replaced.
    StopWatching();
    if (Start(nullptr, true) && OnListen)
        OnListen();
}

void TMessageListener::Close()
{
    d->StopWaiting();
    if (!IsListening())
        return;
    {
        QMutexLocker registry(&RegistryMutex);
        LocalListeners().remove(d->ClassName.toLower());
    }
    Retire(d->Acceptor);
    // Requests not handled yet are dropped; their senders see the
    // connection end instead of an answer.
    while (!d->Connections.empty())
        d->Drop(TImpl::TConnectionPtr(d->Connections.back()));
    ::unlink(Native(d->Path).constData());
    ::close(d->ListenFd);
    ::close(d->LockFd);
    d->ListenFd = d->LockFd = -1;
}

bool TMessageListener::IsListening() const { return d->ListenFd >= 0; }

QString TMessageListener::SocketPath() const { return d->Path; }

qint64 TMessageListener::Handle(const TMessage &message)
{
    return d->Handler ? d->Handler(message) : 0;
}

QString ProcessName(qint64 pid)
{
    if (pid <= 0)
        return {};
    // comm holds at most 16 bytes with its line end; a regular file of /proc.
    const QByteArray path = "/proc/" + QByteArray::number(pid) + "/comm";
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    char name[64];
    ssize_t n;
    do
        n = ::read(fd, name, sizeof name);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0)
        return {};
    while (n > 0 && (name[n - 1] == '\n' || name[n - 1] == '\0'))
        --n;
    return QString::fromUtf8(name, n);
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
    FTimeoutMs = NoTimeout; // a new socket waits for good
    return TSendError::None;
}

TSendError TWindowConnection::Send(quint32 message, quint64 wParam, const QByteArray &data,
                                   int timeoutMs, qint64 *result)
{
    if (FFd < 0)
        return TSendError::Failed;
    // A system call spared per message when the time-out stays the same.
    if (timeoutMs != FTimeoutMs) {
        SetSendTimeout(FFd, timeoutMs);
        FTimeoutMs = timeoutMs;
    }
    char header[HeaderBytes];
    qToLittleEndian<quint32>(message, header);
    qToLittleEndian<quint64>(wParam, header + 4);
    qToLittleEndian<quint32>(quint32(data.size()), header + 12);
    char reply[8];
    iovec pieces[2] = {{header, sizeof header},
                       {const_cast<char *>(data.constData()), size_t(data.size())}};
    if (!WriteAll(FFd, pieces, data.isEmpty() ? 1 : 2) || !ReadReply(FFd, reply, sizeof reply, timeoutMs)) {
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
        static const QString self = ProcessName(::getpid());
        return local->Handle({message, wParam, data.left(MaxRequestBytes), data.size() > MaxRequestBytes,
                              ::getpid(), self});
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
