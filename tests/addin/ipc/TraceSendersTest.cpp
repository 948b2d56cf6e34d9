// The senders a traced program uses, run as processes against the window.
#include "TestServices.h"

#include "ipc/FTracew.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class TraceSendersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOld = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", FRuntime.path().toUtf8());
        FOldTemp = qgetenv("TEMP");
        qputenv("TEMP", FRuntime.path().toUtf8()); // where dbugintf looks
        TAddinServices services = TestServices();
        services.NotifyIcon = [](quint32, const TNotifyIconData &) { return true; };
        FTrace = std::make_unique<TFTrace>(services);
    }
    void TearDown() override
    {
        FTrace.reset();
        qputenv("XDG_RUNTIME_DIR", FOld);
        qputenv("TEMP", FOldTemp);
    }

    // Starts the commands and keeps the UI thread turning until all end.
    std::vector<int> Run(const QList<QStringList> &commands, const QByteArray &input = {})
    {
        std::vector<std::unique_ptr<QProcess>> processes;
        for (const QStringList &command : commands) {
            auto p = std::make_unique<QProcess>();
            p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p->start(command.first(), command.mid(1));
            p->waitForStarted();
            if (!input.isEmpty())
                p->write(input);
            p->closeWriteChannel();
            processes.push_back(std::move(p));
        }
        std::vector<int> codes;
        for (auto &p : processes) {
            while (p->state() != QProcess::NotRunning)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            codes.push_back(p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1);
        }
        return codes;
    }
    const std::deque<QString> &Lines() { return FTrace->Lines().Lines(); }

    QTemporaryDir FRuntime;
    QByteArray FOld;
    QByteArray FOldTemp;
    std::unique_ptr<TFTrace> FTrace;
};

TEST_F(TraceSendersTest, CommandArgumentsStdinAndNoWindow)
{
    EXPECT_EQ(Run({{QUORBEL_TRACE, "nobody", "listens"}}), std::vector<int>{2});

    FTrace->show();
    EXPECT_EQ(Run({{QUORBEL_TRACE, "hello", "world"}}), std::vector<int>{0});
    EXPECT_EQ(Run({{QUORBEL_TRACE, "-"}}, "one\r\n\ntwo\nlast without end"), std::vector<int>{0});
    EXPECT_EQ(Run({{QUORBEL_TRACE_HELLO}}), std::vector<int>{0});
    const std::vector<QString> expected{"hello world", "one", "", "two", "last without end",
                                        "trace_hello: started"};
    ASSERT_GE(Lines().size(), expected.size() + 3);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), Lines().begin()));
    EXPECT_TRUE(Lines()[6].startsWith(QStringLiteral("step 1 of ")));

    // The window's close box does not stop it receiving.
    FTrace->close();
    EXPECT_EQ(Run({{QUORBEL_TRACE, "while closed"}}), std::vector<int>{0});
    EXPECT_EQ(Lines().back(), QStringLiteral("while closed"));
}

// Options are the command's own; "--" sends any text, options included.
TEST_F(TraceSendersTest, HelpOptionShowsUsageAndDoubleDashSendsText)
{
    FTrace->show();
    for (const char *option : {"--help", "-h"}) {
        QProcess p;
        p.start(QUORBEL_TRACE, {QLatin1String(option)});
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 0) << option;
        EXPECT_TRUE(p.readAllStandardOutput().startsWith("usage: quorbel-trace")) << option;
    }
    EXPECT_EQ(Run({{QUORBEL_TRACE}}), std::vector<int>{1});
    EXPECT_EQ(Run({{QUORBEL_TRACE, "--"}}), std::vector<int>{1});
    EXPECT_TRUE(Lines().empty()) << Lines().front().toStdString();

    EXPECT_EQ(Run({{QUORBEL_TRACE, "--", "--help"}}), std::vector<int>{0});
    EXPECT_EQ(Run({{QUORBEL_TRACE, "--", "-"}}), std::vector<int>{0});
    EXPECT_EQ(Run({{QUORBEL_TRACE, "-x", "--help"}}), std::vector<int>{0});
    EXPECT_EQ(QStringList(Lines().begin(), Lines().end()),
              (QStringList{"--help", "-", "-x --help"}));
}

// The 1 MiB cut of a long line ends on a whole character: UTF-8 stays
// UTF-8, and Windows-1252 bytes that look like a cut sequence stay text.
TEST_F(TraceSendersTest, CutOfLongLineKeepsWholeCharacters)
{
    FTrace->show();
    const QString euro(400000, QChar(0x20AC));
    EXPECT_EQ(Run({{QUORBEL_TRACE, "-"}}, euro.toUtf8() + '\n'), std::vector<int>{0});
    ASSERT_EQ(Lines().size(), 1u);
    // 1 MiB holds 349,525 whole three-byte characters.
    EXPECT_EQ(Lines()[0], QString(349525, QChar(0x20AC)) + QStringLiteral(" [cut]"))
        << Lines()[0].left(8).toStdString() << "... " << Lines()[0].size();

    EXPECT_EQ(Run({{QUORBEL_TRACE, "-"}}, QByteArray(1200000, '\xE9') + '\n'), std::vector<int>{0});
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[1], QString(1 << 20, QChar(0xE9)) + QStringLiteral(" [cut]"));
}

// Another IDE's trace window receives first, in a process of its own; this
// one takes over the moment that IDE exits, even while closed.
TEST_F(TraceSendersTest, SecondIdeTakesOverWhenTheFirstExits)
{
    QProcess other;
    other.start(QStringLiteral(QUORBEL_WINDOW_HOLDER), {QStringLiteral("TFTrace")});
    ASSERT_TRUE(other.waitForReadyRead(10000));
    ASSERT_EQ(other.readLine().trimmed(), "listening");
    FTrace->show();
    EXPECT_FALSE(FTrace->Receiving());
    EXPECT_EQ(Run({{QUORBEL_TRACE, "to the first"}}), std::vector<int>{0});
    FTrace->close();
    other.closeWriteChannel();
    ASSERT_TRUE(other.waitForFinished(10000));
    for (int i = 0; i < 500 && !FTrace->Receiving(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(FTrace->Receiving());
    EXPECT_EQ(Run({{QUORBEL_TRACE, "to the second"}}), std::vector<int>{0});
    EXPECT_EQ(QStringList(Lines().begin(), Lines().end()), QStringList{"to the second"});
}

// What was refused at one showing is tried again at the next.
TEST_F(TraceSendersTest, EachShowingTriesAgain)
{
    const QByteArray dir = QFile::encodeName(WindowMessages::SocketDirectory());
    ASSERT_FALSE(dir.isEmpty());
    ::chmod(dir.constData(), 0750); // refused, so nothing to wait for
    FTrace->show();
    EXPECT_FALSE(FTrace->Receiving());
    ::chmod(dir.constData(), 0700);
    FTrace->hide();
    FTrace->show();
    EXPECT_TRUE(FTrace->Receiving());
    EXPECT_EQ(Run({{QUORBEL_TRACE, "now"}}), std::vector<int>{0});
    EXPECT_EQ(QStringList(Lines().begin(), Lines().end()), QStringList{"now"});
}

// A window that takes the connection and never answers: the command gives
// up after its time-out instead of hanging the traced program.
TEST_F(TraceSendersTest, HungWindowTimesOutTheCommand)
{
    const QString dir = WindowMessages::SocketDirectory();
    ASSERT_FALSE(dir.isEmpty());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(dir + QStringLiteral("/TFTrace")).constData(),
                 sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    EXPECT_EQ(Run({{QUORBEL_TRACE, "nobody", "answers"}}), std::vector<int>{3});
    ::close(fd);
}

// 8 programs at once, 100,000 lines each: every line arrives, and each
// sender's lines in the order it sent them.
TEST_F(TraceSendersTest, EightSendersLoseAndReorderNothing)
{
    FTrace->show();
    constexpr int Senders = 8;
    constexpr int PerSender = 100000;
    QList<QStringList> commands;
    for (int s = 0; s < Senders; ++s)
        commands << QStringList{"/bin/sh", "-c",
                                QStringLiteral("seq -f '%1:%.0f' 1 %2 | '%3' -")
                                    .arg(s).arg(PerSender).arg(QUORBEL_TRACE)};
    const std::vector<int> codes = Run(commands);
    EXPECT_EQ(codes, std::vector<int>(Senders, 0));
    ASSERT_EQ(Lines().size(), size_t(Senders) * PerSender);
    std::vector<int> next(Senders, 1);
    for (const QString &line : Lines()) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        const int sender = line.left(colon).toInt();
        ASSERT_EQ(line.mid(colon + 1).toInt(), next[size_t(sender)]) << line.toStdString();
        ++next[size_t(sender)];
    }
}

// A Free Pascal program that uses dbugintf, unchanged, compiled by fpc.
TEST_F(TraceSendersTest, PascalProgramUsingDbugintf)
{
    const QString fpc = QStandardPaths::findExecutable(QStringLiteral("fpc"));
    if (fpc.isEmpty())
        GTEST_SKIP() << "fpc is not installed (Debian: fpc)";
    const QString out = FRuntime.path() + QStringLiteral("/tracedemo");
    EXPECT_EQ(Run({{fpc, "-FE" + FRuntime.path(), "-o" + out,
                    QStringLiteral(QUORBEL_SOURCE_DIR "/examples/trace/tracedemo.pas")}}),
              std::vector<int>{0});
    ASSERT_TRUE(QFileInfo::exists(out));

    FTrace->show();
    ASSERT_TRUE(FTrace->ServingPascal());
    const QString fifo = FRuntime.path() + QStringLiteral("/fpcdebugserver");
    EXPECT_EQ(QFileInfo(fifo).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::WriteGroup),
              QFile::Permissions());
    EXPECT_EQ(Run({{out}}), std::vector<int>{0});
    // The FIFO's bytes arrive on the UI thread's next turns.
    for (int i = 0; i < 200 && Lines().size() < 6; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QStringList got(Lines().begin(), Lines().end());
    ASSERT_EQ(got.size(), 6) << got.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(got[0].startsWith(QStringLiteral("Start: ")));
    EXPECT_EQ(got.mid(1, 4), (QStringList{"hello from pascal", "> Entering Main", "  3 items",
                                          "< Exiting Main"}));
    EXPECT_TRUE(got[5].startsWith(QStringLiteral("End: ")));

    // A second trace window does not take the endpoint the first one serves.
    TAddinServices services = TestServices();
    services.NotifyIcon = [](quint32, const TNotifyIconData &) { return true; };
    TFTrace second(services);
    second.show();
    EXPECT_FALSE(second.ServingPascal());
    EXPECT_FALSE(second.Receiving());
    FTrace.reset();
    EXPECT_FALSE(QFileInfo::exists(fifo));
    // Once the first one has gone, the second takes both over.
    for (int i = 0; i < 500 && !second.Receiving(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(second.Receiving());
    EXPECT_TRUE(second.ServingPascal());
}

} // namespace
