// The scan hand-off without a window: a plain QObject receives what the
// workers post.
#include "browser/ScanHandoff.h"

#include "OddUnits.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

namespace {

using TMessage = TScanMailbox::TMessage;

class ScanHandoff : public ::testing::Test {
protected:
    void TearDown() override
    {
        pool.waitForDone();
        QCoreApplication::processEvents();
    }

    // A unit whose implementation holds routines R0 .. R<count-1>, one every
    // three lines from line 3 on.
    QString Unit(const QString &name, int count)
    {
        QByteArray text = "unit U;\nimplementation\n";
        for (int i = 0; i < count; ++i)
            text += "procedure R" + QByteArray::number(i) + "(A: Integer);\nbegin\nend;\n";
        const QString path = dir.path() + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return path;
    }

    std::shared_ptr<TScanToken> Start(const QString &file)
    {
        auto token = std::make_shared<TScanToken>();
        pool.start(NewEntityScan(mailbox, token, file, nullptr));
        return token;
    }

    // Handles mail until `ended` scans have ended.
    bool RunUntilEnded(size_t ended)
    {
        QElapsedTimer timer;
        timer.start();
        while (Count(TMessage::Ended) < ended) {
            if (timer.elapsed() > 30000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    size_t Count(TMessage::TKind kind) const
    {
        return size_t(std::count_if(received.begin(), received.end(),
                                    [kind](const TMessage &m) { return m.Kind == kind; }));
    }

    QTemporaryDir dir;
    QObject receiver;
    std::vector<TMessage> received;
    int wakes = 0;
    bool offThread = false;
    TScanMailbox mailbox{&receiver, [this] {
                             ++wakes;
                             offThread |= QThread::currentThread() != receiver.thread();
                             for (TMessage &m : mailbox.Take())
                                 received.push_back(std::move(m));
                         }};
    QThreadPool pool;
};

TEST_F(ScanHandoff, RoutinesReachTheReceiversThreadInBatchesAndTheEndComesLast)
{
    const auto token = Start(Unit(QStringLiteral("u.pas"), 600));
    ASSERT_TRUE(RunUntilEnded(1));
    EXPECT_FALSE(offThread);
    std::vector<TEntity> found;
    int32_t lastProgress = -1;
    for (const TMessage &m : received) {
        EXPECT_EQ(m.Token, token);
        if (m.Kind == TMessage::Entities)
            found.insert(found.end(), m.Found.begin(), m.Found.end());
        if (m.Kind == TMessage::Progress) {
            EXPECT_GT(m.Value, lastProgress); // sent when it changes, held to 0..100
            EXPECT_LE(m.Value, 100);
            lastProgress = m.Value;
        }
    }
    EXPECT_EQ(received.back().Kind, TMessage::Ended);
    EXPECT_TRUE(received.back().Failure.isEmpty());
    EXPECT_GE(Count(TMessage::Entities), 3u); // 600 routines do not go in one message
    ASSERT_EQ(found.size(), 600u);
    for (int i = 0; i < 600; ++i) {
        EXPECT_EQ(found[size_t(i)].Name, QStringLiteral("R%1").arg(i));
        EXPECT_EQ(found[size_t(i)].Line, 3 + 3 * i);
    }
}

TEST_F(ScanHandoff, CancelledScanSendsNothingButItsEnd)
{
    auto token = std::make_shared<TScanToken>();
    token->Cancelled = true;
    pool.start(NewEntityScan(mailbox, token, Unit(QStringLiteral("u.pas"), 600), nullptr));
    ASSERT_TRUE(RunUntilEnded(1));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].Kind, TMessage::Ended);
}

TEST_F(ScanHandoff, MailboxWakesTheReceiverOncePerBurst)
{
    auto token = std::make_shared<TScanToken>();
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            mailbox.Post({TMessage::Progress, token, {}, i, {}});
    });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(received.size(), 50u);
    // Taken: the next post wakes it again.
    mailbox.Post({TMessage::Ended, token, {}, 0, {}});
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(received.size(), 51u);
}

// A scan's progress right after its own progress replaces it; anything in
// between, or another scan's, keeps both.
TEST_F(ScanHandoff, ProgressReplacesOnlyTheSameScansLastWaitingProgress)
{
    auto a = std::make_shared<TScanToken>();
    auto b = std::make_shared<TScanToken>();
    mailbox.PostProgress(a, 1);
    mailbox.PostProgress(a, 2);
    mailbox.Post({TMessage::Entities, a, {{QStringLiteral("R"), 3}}, 0, {}});
    mailbox.PostProgress(a, 3);
    mailbox.PostProgress(b, 4);
    mailbox.PostProgress(a, 5);
    mailbox.PostProgress(a, 6);
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 1);
    std::vector<std::pair<TScanToken *, int32_t>> progress;
    for (const TMessage &m : received)
        if (m.Kind == TMessage::Progress)
            progress.emplace_back(m.Token.get(), m.Value);
    EXPECT_EQ(progress, (std::vector<std::pair<TScanToken *, int32_t>>{{a.get(), 2}, {a.get(), 3}, {b.get(), 4}, {a.get(), 6}}));
    ASSERT_EQ(received.size(), 5u);
    EXPECT_EQ(received[1].Kind, TMessage::Entities);
    // Taken: the next progress is a message of its own and wakes again.
    mailbox.PostProgress(a, 7);
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 2);
    ASSERT_EQ(received.size(), 6u);
    EXPECT_EQ(received.back().Value, 7);
}

TEST_F(ScanHandoff, RefusedUnitEndsWithTheReasonForTheUser)
{
    OddUnits odd;
    ASSERT_TRUE(odd.Make(dir.path()));
    const QString &fifo = odd.Pipe;
    Start(fifo);
    ASSERT_TRUE(RunUntilEnded(1));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_TRUE(received[0].Failure.contains(fifo));
    EXPECT_TRUE(received[0].Failure.contains(QStringLiteral("named pipe")));
}

// Many workers post at once, each under its own token.
TEST_F(ScanHandoff, ThreadsManyScansAtOnceEachDeliverTheirOwnRoutines)
{
    pool.setMaxThreadCount(4);
    std::map<TScanToken *, int> routines;
    std::vector<std::shared_ptr<TScanToken>> tokens;
    for (int i = 0; i < 16; ++i) {
        const int count = 50 + 40 * i;
        tokens.push_back(Start(Unit(QStringLiteral("u%1.pas").arg(i), count)));
        routines[tokens.back().get()] = count;
    }
    ASSERT_TRUE(RunUntilEnded(16));
    std::map<TScanToken *, int> got;
    std::map<TScanToken *, int> ends;
    for (const TMessage &m : received) {
        EXPECT_EQ(ends[m.Token.get()], 0) << "nothing after a scan's end";
        if (m.Kind == TMessage::Entities)
            got[m.Token.get()] += int(m.Found.size());
        if (m.Kind == TMessage::Ended)
            ++ends[m.Token.get()];
    }
    EXPECT_EQ(got, routines);
}

} // namespace
