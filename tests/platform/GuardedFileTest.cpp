#include "Exception.h"
#include "GuardedFile.h"
#include "TestWriter.h"
#include "UnreadableEntries.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <thread>
#include <unistd.h>

namespace {

const QString Refusal = QStringLiteral("Cannot write %1: kept.");
constexpr qint64 Limit = qint64(64) << 20;

// Runs a load, but never waits on a pipe for good: should it block, a writer
// comes and goes, which ends the open or read, and the test fails.
bool LoadWithin(const std::function<bool()> &load, const QString &path)
{
    std::packaged_task<bool()> task(load);
    std::future<bool> result = task.get_future();
    std::thread loader(std::move(task));
    const bool blocked = result.wait_for(std::chrono::seconds(5)) != std::future_status::ready;
    if (blocked) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    loader.join();
    EXPECT_FALSE(blocked) << "the load waited on " << path.toStdString();
    return result.get();
}

QString SaveRefusal(TGuardedFile &file, const QString &path)
{
    const int before = SharedTestWriter().writes;
    try {
        file.Save(path, "new", SharedTestWriter());
    } catch (const EInOutError &e) {
        EXPECT_EQ(SharedTestWriter().writes, before) << "written although refused";
        return e.message();
    }
    return QStringLiteral("<saved>");
}

QByteArray Contents(const QString &path)
{
    return ReadWholeFile(path, Limit);
}

// Pipe, directory and over-size file are the same for root: this runs in CI.
TEST(GuardedFile, WhatCannotBeReadIsRefusedWithItsReasonAndKept)
{
    QTemporaryDir dir;
    for (const TUnreadableEntry &entry : UnreadableEntries()) {
        SCOPED_TRACE(entry.name);
        const QString path = dir.filePath(QString::fromLatin1(entry.name));
        ASSERT_TRUE(entry.make(path));
        const QString before = EntryState(path);
        TGuardedFile file(Refusal);
        EXPECT_FALSE(LoadWithin([&] { return file.Load(path, Limit); }, path));
        EXPECT_FALSE(file.Missing());
        EXPECT_TRUE(file.ErrorString().contains(path)) << file.ErrorString().toStdString();
        EXPECT_EQ(SaveRefusal(file, path), Refusal.arg(path) + QStringLiteral("\n") + file.ErrorString());
        EXPECT_EQ(EntryState(path), before);
    }
}

TEST(GuardedFile, FileReadInFullIsReplacedAndAFailedWriteKeepsItReplaceable)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.dat"));
    WriteFileAtomically(path, "old");
    TGuardedFile file(Refusal);
    ASSERT_TRUE(file.Load(path, Limit));
    EXPECT_EQ(file.TakeData(), QByteArray("old"));
    {
        FailWrites failing;
        try {
            file.Save(path, "new", SharedTestWriter());
            ADD_FAILURE() << "the failing write passed";
        } catch (const EInOutError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Cannot write %1: No space left on device").arg(path));
        }
    }
    EXPECT_EQ(Contents(path), QByteArray("old"));
    file.Save(path, "new", SharedTestWriter());
    file.Save(path, "newer", SharedTestWriter());
    EXPECT_EQ(Contents(path), QByteArray("newer"));
}

TEST(GuardedFile, OnlyAMissingFileOrOneReadInFullIsWritten)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.dat"));
    const QString other = dir.filePath(QStringLiteral("other.dat"));
    WriteFileAtomically(other, "other");

    TGuardedFile fresh(Refusal);
    EXPECT_EQ(SaveRefusal(fresh, other), Refusal.arg(other));

    TGuardedFile file(Refusal);
    EXPECT_FALSE(file.Load(missing, Limit));
    EXPECT_TRUE(file.Missing());
    EXPECT_EQ(file.ErrorString(), QStringLiteral("Cannot open file ") + missing);
    file.Save(missing, "first", SharedTestWriter());
    EXPECT_EQ(Contents(missing), QByteArray("first"));
    // What was read or written is this file, not another one beside it.
    EXPECT_EQ(SaveRefusal(file, other), Refusal.arg(other));

    // The reason of a failed load belongs to its own file only.
    TGuardedFile failed(Refusal);
    EXPECT_FALSE(failed.Load(dir.path(), Limit));
    EXPECT_EQ(SaveRefusal(failed, other), Refusal.arg(other));
    EXPECT_EQ(Contents(other), QByteArray("other"));
}

// The head read takes a longer file, but still no folder or pipe.
TEST(GuardedFile, HeadReadTakesTheHeadOfAnyRegularFileOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("head.dat"));
    WriteFileAtomically(path, QByteArray(1000, 'x'));
    TGuardedFile file(Refusal);
    ASSERT_TRUE(file.LoadHead(path, 768));
    EXPECT_EQ(file.TakeData(), QByteArray(768, 'x'));
    file.Save(path, "short", SharedTestWriter());
    ASSERT_TRUE(file.LoadHead(path, 768));
    EXPECT_EQ(file.TakeData(), QByteArray("short"));

    EXPECT_FALSE(file.LoadHead(dir.filePath(QStringLiteral("none")), 768));
    EXPECT_TRUE(file.Missing());
    EXPECT_EQ(file.ErrorString(), QString());

    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(LoadWithin([&] { return file.LoadHead(fifo, 768); }, fifo));
    EXPECT_EQ(file.ErrorString(),
              QStringLiteral("Cannot read %1: it is a named pipe, not a regular file.").arg(fifo));
    EXPECT_EQ(SaveRefusal(file, fifo), Refusal.arg(fifo) + QStringLiteral("\n") + file.ErrorString());
    EXPECT_EQ(EntryState(fifo), QStringLiteral("pipe 0"));
}

} // namespace
