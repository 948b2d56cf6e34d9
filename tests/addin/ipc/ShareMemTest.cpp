// The reply block of the topic picker: what a requester reads after each
// reply, and the blocks it refuses to use.
#include "ipc/ShareMem.h"

#include "SharedMemory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The requester's own view of "ShareMem Unique", kept open around a reply.
QByteArray Start(const TSharedMemory &view, int bytes)
{
    return QByteArray(static_cast<const char *>(view.Memory), bytes);
}

TEST(ShareMem, TwoBlocksOfOneNameSeeEachOthersBytes)
{
    const QString name = QStringLiteral("quorbel-test-pair-%1").arg(::getpid());
    {
        TSharedMemory first(name, 64), second(name, 64);
        EXPECT_NE(first.Memory, second.Memory);
        std::memcpy(first.Memory, "seen", 5);
        EXPECT_EQ(Start(second, 5), QByteArray("seen", 5));
        second.Close();
        EXPECT_EQ(second.Memory, nullptr);
        EXPECT_EQ(second.Handle, 0);
    }
    // Not unlinked: the next opener finds the bytes.
    TSharedMemory again(name, 64);
    EXPECT_EQ(Start(again, 5), QByteArray("seen", 5));
    UnlinkSharedMemory(name);
}

TEST(ShareMem, RepliesOverwriteOnlyTheirTextAndZero)
{
    TSharedMemory requester(TSHmemcom::BlockName(), TSHmemcom::BlockSize);
    std::memset(requester.Memory, 'z', 8);
    {
        TSHmemcom reply;
        reply.Write(QStringLiteral("123"));
    }
    EXPECT_EQ(Start(requester, 5), QByteArray("123\0z", 5));
    {
        TSHmemcom reply;
        reply.Write(QStringLiteral("7"));
        reply.Close();
        EXPECT_EQ(reply.FMemFile, nullptr);
    }
    EXPECT_EQ(Start(requester, 4), QByteArray("7\0" "3\0", 4));
    TSHmemcom cancel;
    cancel.Write(QStringLiteral("$$"));
    EXPECT_EQ(Start(requester, 3), QByteArray("$$\0", 3));
}

TEST(ShareMem, LongRepliesAreCutToTheBlock)
{
    TSharedMemory requester(TSHmemcom::BlockName(), TSHmemcom::BlockSize);
    char *block = static_cast<char *>(requester.Memory);
    TSHmemcom reply;
    reply.Write(QString(40000, QLatin1Char('x')));
    EXPECT_EQ(*reply.FPosBueno, QString(40000, QLatin1Char('x'))); // the holder takes it all
    EXPECT_EQ(QByteArray(block, 31999), QByteArray(31999, 'x'));
    EXPECT_EQ(block[31999], '\0');
    // Greek needs UTF-8: two bytes each, never cut inside a character.
    reply.Write(QString(20000, QChar(0x03A9)));
    EXPECT_EQ(QString::fromUtf8(block), QString(15999, QChar(0x03A9)));
    EXPECT_EQ(block[31998], '\0');
}

TEST(ShareMem, BlockOpenToOthersIsReportedNotUsed)
{
    // Made by hand, as a careless or hostile program might; any bit for
    // group or others is refused, a lone write bit for others too.
    // AnotherUsersBlockIsRefused (platform tests) covers a foreign owner,
    // which needs root to set up.
    const QString name = QStringLiteral("quorbel-test-open-%1").arg(::getpid());
    for (const mode_t mode : {0602, 0620, 0604, 0640, 0666}) {
        const int fd = ::shm_open(SharedMemoryName(name).constData(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::fchmod(fd, mode), 0);
        try {
            TSharedMemory block(name, 32000);
            ADD_FAILURE() << "a block of mode 0" << std::oct << mode << " was used";
        } catch (const ESharedMemoryError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Error de comparticion de memoria"));
            EXPECT_TRUE(e.Reason().contains(QStringLiteral("open to other users"))) << e.Reason().toStdString();
        }
        ::close(fd);
        UnlinkSharedMemory(name);
    }
    // Its own private block is used.
    TSharedMemory block(name, 32000);
    EXPECT_NE(block.Memory, nullptr);
    block.Close();
    UnlinkSharedMemory(name);
}

} // namespace
