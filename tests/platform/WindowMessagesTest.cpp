#include "WindowMessages.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

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
