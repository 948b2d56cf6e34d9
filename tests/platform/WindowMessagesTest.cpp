#include "WindowMessages.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace WindowMessages;

namespace {

// Each test gets its own runtime directory, so the socket directory is new.
class WindowMessagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOld = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", FRuntime.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", FOld); }

    // Keeps the UI thread turning until the sender's work is done.
    template <typename T> T Pump(std::future<T> &&work)
    {
        while (work.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            QCoreApplication::processEvents();
        return work.get();
    }

    QString Dir() const { return FRuntime.path() + QStringLiteral("/quorbel"); }

    QTemporaryDir FRuntime;
    QByteArray FOld;
};

// A socket file nobody listens on, as a crashed receiver leaves it.
void MakeStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(path).constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ::close(fd);
}

TEST_F(WindowMessagesTest, DirectoryIsPrivateAndRefusedWhenOpen)
{
    QString error;
    ASSERT_EQ(SocketDirectory(&error), Dir()) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Dir()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ::chmod(QFile::encodeName(Dir()).constData(), 0750);
    EXPECT_TRUE(SocketDirectory(&error).isEmpty());
    EXPECT_TRUE(error.contains(QStringLiteral("open to other users")));
    TMessageListener listener(QStringLiteral("TFTrace"), {});
    EXPECT_FALSE(listener.Listen());
}

TEST_F(WindowMessagesTest, RepliesAfterHandlerInOrderPerConnection)
{
    QList<QByteArray> seen;
    TMessageListener listener(QStringLiteral("TFTrace"), [&](const TMessage &m) {
        seen << m.Data;
        return qint64(m.Message) * 1000 + qint64(m.WParam);
    });
    ASSERT_TRUE(listener.Listen());
    EXPECT_TRUE(WindowListening(QStringLiteral("TFTrace")));

    const auto results = Pump(std::async(std::launch::async, [] {
        TWindowConnection c;
        std::vector<qint64> out;
        if (c.Open(QStringLiteral("TFTrace")) != TSendError::None)
            return out;
        for (int i = 0; i < 50; ++i) {
            qint64 r = -1;
            c.Send(WM_COPYDATA, quint64(i), QByteArray::number(i), 1000, &r);
            out.push_back(r);
        }
        return out;
    }));
    ASSERT_EQ(results.size(), 50u);
    EXPECT_EQ(results[7], qint64(WM_COPYDATA) * 1000 + 7);
    ASSERT_EQ(seen.size(), 50);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(seen[i], QByteArray::number(i));

    // A sender on the listener's own thread is answered without the socket.
    EXPECT_EQ(SendMessageTo(QStringLiteral("TFTrace"), 5, 2, "x", TraceTimeoutMs), 5002);
}

TEST_F(WindowMessagesTest, OversizeFrameIsCutAndNextArrivesWhole)
{
    QList<TMessage> seen;
    TMessageListener listener(QStringLiteral("TFTrace"), [&](const TMessage &m) {
        seen << m;
        return 0;
    });
    ASSERT_TRUE(listener.Listen());
    const QByteArray big(MaxRequestBytes + 300000, 'x');
    const bool sent = Pump(std::async(std::launch::async, [&] {
        TWindowConnection c;
        return c.Open(QStringLiteral("TFTrace")) == TSendError::None
               && c.Send(WM_COPYDATA, 0, big, 5000) == TSendError::None
               && c.Send(WM_COPYDATA, 0, "after", 5000) == TSendError::None;
    }));
    ASSERT_TRUE(sent);
    ASSERT_EQ(seen.size(), 2);
    EXPECT_TRUE(seen[0].Cut);
    EXPECT_EQ(seen[0].Data.size(), qsizetype(MaxRequestBytes));
    EXPECT_FALSE(seen[1].Cut);
    EXPECT_EQ(seen[1].Data, QByteArray("after"));
}

// A raw connection to the listener, as a sender in another language would
// open it.
int ConnectRaw(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(path).constData(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

QByteArray Frame(quint32 message, quint64 wParam, const QByteArray &data, quint32 length)
{
    QByteArray frame(16, '\0');
    qToLittleEndian<quint32>(message, frame.data());
    qToLittleEndian<quint64>(wParam, frame.data() + 4);
    qToLittleEndian<quint32>(length, frame.data() + 12);
    return frame + data;
}

bool WriteRaw(int fd, const QByteArray &bytes)
{
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        at += n;
    }
    return true;
}

// Reads count replies; each is expected to be the wParam of its request.
bool RepliesInOrder(int fd, quint64 first, int count)
{
    std::vector<char> replies(size_t(count) * 8);
    if (::recv(fd, replies.data(), replies.size(), MSG_WAITALL) != ssize_t(replies.size()))
        return false;
    for (int i = 0; i < count; ++i)
        if (qFromLittleEndian<qint64>(replies.data() + 8 * i) != qint64(first) + i)
            return false;
    return true;
}

// Frames a sender writes back to back reach the listener in one read; each
// is answered, in order, also when one of them is oversize and when a
// handler turns the event loop while the others wait.
TEST_F(WindowMessagesTest, FramesWrittenTogetherAnsweredInOrder)
{
    QList<TMessage> seen;
    bool inHandler = false;
    bool nested = false;
    TMessageListener listener(QStringLiteral("TFTrace"), [&](const TMessage &m) {
        nested = nested || inHandler;
        inHandler = true;
        seen << m;
        if (m.Data == "dialog") // as a handler that shows a message box would
            for (int i = 0; i < 20; ++i)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        inHandler = false;
        return qint64(m.WParam);
    });
    ASSERT_TRUE(listener.Listen());

    constexpr int Count = 300;
    QByteArray burst;
    for (int i = 0; i < Count; ++i) {
        if (i == 100) {
            const QByteArray big(MaxRequestBytes + 70000, 'b');
            burst += Frame(WM_COPYDATA, quint64(i), big, quint32(big.size()));
        } else {
            const QByteArray data = i == 10 ? QByteArray("dialog") : QByteArray::number(i);
            burst += Frame(WM_COPYDATA, quint64(i), data, quint32(data.size()));
        }
    }
    const QString path = listener.SocketPath();
    const bool answered = Pump(std::async(std::launch::async, [&] {
        const int fd = ConnectRaw(path);
        const bool ok = fd >= 0 && WriteRaw(fd, burst) && RepliesInOrder(fd, 0, Count);
        ::close(fd);
        return ok;
    }));
    EXPECT_TRUE(answered);
    EXPECT_FALSE(nested) << "a frame was handled inside the handler of the one before";
    ASSERT_EQ(seen.size(), Count);
    for (int i = 0; i < Count; ++i)
        ASSERT_EQ(seen[i].WParam, quint64(i));
    EXPECT_EQ(seen[11].Data, QByteArray("11"));
    EXPECT_TRUE(seen[100].Cut);
    EXPECT_EQ(seen[100].Data, QByteArray(MaxRequestBytes, 'b'));
    EXPECT_FALSE(seen[101].Cut);
    EXPECT_EQ(seen[101].Data, QByteArray("101"));
}

// A sender that writes many requests and reads none of the replies for a
// while: the listener keeps serving other senders meanwhile, and the
// waiting one still gets every reply, in order, once it reads.
TEST_F(WindowMessagesTest, SenderNotReadingRepliesDoesNotHoldUpOthers)
{
    TMessageListener listener(QStringLiteral("TFTrace"),
                              [](const TMessage &m) { return qint64(m.WParam); });
    ASSERT_TRUE(listener.Listen());
    const QString path = listener.SocketPath();

    // 800 KB of replies: more than the socket and the listener hold.
    constexpr int Count = 100000;
    QByteArray requests;
    for (int i = 0; i < Count; ++i)
        requests += Frame(WM_COPYDATA, quint64(i), {}, 0);
    const int slow = ConnectRaw(path);
    ASSERT_GE(slow, 0);
    std::promise<void> othersDone;
    auto slowSender = std::async(std::launch::async, [&, done = othersDone.get_future()] {
        // Writing blocks once the listener stops reading; a second thread
        // reads the replies only after the other sender is through.
        auto writer = std::async(std::launch::async, [&] { return WriteRaw(slow, requests); });
        done.wait();
        const bool replies = RepliesInOrder(slow, 0, Count);
        return writer.get() && replies;
    });
    // Gives the slow sender time to fill its socket with unread replies.
    for (int i = 0; i < 30; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    const bool othersServed = Pump(std::async(std::launch::async, [] {
        TWindowConnection c;
        if (c.Open(QStringLiteral("TFTrace")) != TSendError::None)
            return false;
        for (int i = 0; i < 50; ++i) {
            qint64 r = -1;
            if (c.Send(WM_COPYDATA, quint64(7000 + i), "x", 2000, &r) != TSendError::None || r != 7000 + i)
                return false;
        }
        return true;
    }));
    othersDone.set_value();
    EXPECT_TRUE(othersServed);
    EXPECT_TRUE(Pump(std::move(slowSender)));
    ::close(slow);
}

TEST_F(WindowMessagesTest, StaleSocketReplacedLiveOneKept)
{
    ASSERT_FALSE(SocketDirectory().isEmpty());
    const QString path = Dir() + QStringLiteral("/TFTrace");
    MakeStaleSocket(path);
    EXPECT_FALSE(WindowListening(QStringLiteral("TFTrace")));
    EXPECT_FALSE(QFile::exists(path)) << "a sender removes a socket nobody answers on";

    MakeStaleSocket(path);
    TMessageListener first(QStringLiteral("TFTrace"), [](const TMessage &) { return 1; });
    ASSERT_TRUE(first.Listen());
    // A second receiver (another IDE) must not take the live window's socket.
    TMessageListener second(QStringLiteral("TFTrace"), [](const TMessage &) { return 2; });
    QString error;
    EXPECT_FALSE(second.Listen(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("Another process")));
    const auto result = Pump(std::async(std::launch::async, [] {
        TWindowConnection c;
        qint64 r = 0;
        c.Open(QStringLiteral("TFTrace"));
        c.Send(1, 0, {}, 1000, &r);
        return r;
    }));
    EXPECT_EQ(result, 1);
    first.Close();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(second.Listen());
}

// Another IDE's window answers first, in a process of its own: a waiting
// listener takes over the moment that process lets go, by exit or by kill.
TEST_F(WindowMessagesTest, WaitingListenerTakesOverWhenTheOtherProcessGoes)
{
    ASSERT_FALSE(SocketDirectory().isEmpty());
    const auto send = [this] {
        return Pump(std::async(std::launch::async, [] {
            return SendMessageTo(QStringLiteral("TFTrace"), 1, 0, {}, 2000).value_or(-1);
        }));
    };
    for (const bool kill : {false, true}) {
        QProcess other;
        other.start(QStringLiteral(QUORBEL_WINDOW_HOLDER), {QStringLiteral("TFTrace")});
        ASSERT_TRUE(other.waitForReadyRead(10000));
        ASSERT_EQ(other.readLine().trimmed(), "listening");

        TMessageListener mine(QStringLiteral("TFTrace"), [](const TMessage &) { return 7; });
        int took = 0;
        mine.SetOnListen([&] { ++took; });
        EXPECT_TRUE(mine.ListenOrWait());
        EXPECT_FALSE(mine.IsListening());
        EXPECT_TRUE(mine.IsWaiting());
        EXPECT_EQ(send(), 42) << "the first one keeps its socket";
        // A sender's look at the lock file (a staleness check) is no release.
        QFile lock(Dir() + QStringLiteral("/TFTrace.lock"));
        ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
        lock.close();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_FALSE(mine.IsListening());
        EXPECT_TRUE(mine.IsWaiting());
        EXPECT_EQ(send(), 42);

        if (kill)
            other.kill();
        else
            other.closeWriteChannel();
        ASSERT_TRUE(other.waitForFinished(10000));
        for (int i = 0; i < 500 && !mine.IsListening(); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_TRUE(mine.IsListening()) << (kill ? "after a kill" : "after an exit");
        EXPECT_FALSE(mine.IsWaiting());
        EXPECT_EQ(took, 1);
        EXPECT_EQ(send(), 7);
    }

    // Close ends a wait: the lock is no longer watched nor taken.
    TMessageListener first(QStringLiteral("TFTrace"), [](const TMessage &) { return 1; });
    ASSERT_TRUE(first.Listen());
    TMessageListener waiting(QStringLiteral("TFTrace"), [](const TMessage &) { return 2; });
    ASSERT_TRUE(waiting.ListenOrWait());
    waiting.Close();
    EXPECT_FALSE(waiting.IsWaiting());
    first.Close();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(waiting.IsListening());
}

TEST_F(WindowMessagesTest, HungReceiverTimesOutTheSender)
{
    ASSERT_FALSE(SocketDirectory().isEmpty());
    // Listens but never accepts nor answers.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(Dir() + QStringLiteral("/TFTrace")).constData(),
                 sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    TSendError error = TSendError::None;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SendMessageTo(QStringLiteral("TFTrace"), WM_COPYDATA, 0, "line", 300, &error));
    EXPECT_EQ(error, TSendError::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ::close(fd);
}

TEST_F(WindowMessagesTest, NoReceiverIsReported)
{
    TSendError error = TSendError::None;
    EXPECT_FALSE(SendMessageTo(QStringLiteral("TNobody"), 1, 0, {}, 100, &error));
    EXPECT_EQ(error, TSendError::NoWindow);
}

// Needs to switch user id, which only root can; the CI runs as root.
TEST_F(WindowMessagesTest, SenderOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to send as another user id";
    int handled = 0;
    TMessageListener listener(QStringLiteral("TFTrace"), [&](const TMessage &) { return ++handled; });
    ASSERT_TRUE(listener.Listen());
    // Opened for this test only, so the other user reaches the socket and
    // the listener's own check is what turns it away.
    ::chmod(QFile::encodeName(FRuntime.path()).constData(), 0711);
    ::chmod(QFile::encodeName(Dir()).constData(), 0711);
    ::chmod(QFile::encodeName(listener.SocketPath()).constData(), 0666);
    const QByteArray path = QFile::encodeName(listener.SocketPath());
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(3);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
            ::_exit(4);
        const char frame[16 + 1] = {0x4A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'x'};
        [[maybe_unused]] auto w = ::send(fd, frame, sizeof frame, MSG_NOSIGNAL);
        char reply[8];
        ::_exit(::recv(fd, reply, sizeof reply, MSG_WAITALL) == 8 ? 1 : 0);
    }
    const int status = Pump(std::async(std::launch::async, [child] {
        int s = 0;
        ::waitpid(child, &s, 0);
        return s;
    }));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: answered; 3: setresuid; 4: connect";
    EXPECT_EQ(handled, 0);
}

} // namespace
