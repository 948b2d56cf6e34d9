// The version reader on real DLLs made by the cross tools, whole, cut short
// and damaged: a damaged file has no version information, and nothing
// crashes, blocks or reads more than the headers and the resource.
#include "Paths.h"
#include "PeBuilder.h"
#include "VersionInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Windows-1252, as scripts are written: 0xA9 is the copyright sign.
const QByteArray VersionScript = "1 VERSIONINFO\n"
                                 "FILEVERSION 2,1,0,37\n"
                                 "PRODUCTVERSION 3,0,1,2\n"
                                 "FILEOS 0x40004\n"
                                 "FILETYPE 2\n"
                                 "BEGIN\n"
                                 "  BLOCK \"StringFileInfo\"\n"
                                 "  BEGIN\n"
                                 "    BLOCK \"040904E4\"\n"
                                 "    BEGIN\n"
                                 "      VALUE \"CompanyName\", \"Acme \xA9 1999\"\n"
                                 "      VALUE \"OriginalFilename\", \"acme.dll\"\n"
                                 "    END\n"
                                 "  END\n"
                                 "  BLOCK \"VarFileInfo\"\n"
                                 "  BEGIN\n"
                                 "    VALUE \"Translation\", 0x409, 1252\n"
                                 "  END\n"
                                 "END\n";

const QString Company = QStringLiteral("\\StringFileInfo\\040904E4\\CompanyName");
const QString Original = QStringLiteral("\\StringFileInfo\\040904E4\\OriginalFileName");
const QString Translation = QStringLiteral("\\VarFileInfo\\Translation");

uint32_t Get32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<uint32_t>(b.constData() + at);
}

void Put16(QByteArray &b, qsizetype at, uint16_t v)
{
    qToLittleEndian(v, b.data() + at);
}

void Put32(QByteArray &b, qsizetype at, uint32_t v)
{
    qToLittleEndian(v, b.data() + at);
}

// File offsets of the parts of a DLL the tools made: one type, one name,
// one language, all in one resource section.
struct TLayout {
    qsizetype Pe, Optional, SectionTable, ResourceEntry, Root, TypeEntry, NameDir, LangDir,
        DataEntry, Tree, TreeEnd;
};

TLayout LayoutOf(const QByteArray &b)
{
    TLayout l;
    l.Pe = Get32(b, 0x3C);
    l.Optional = l.Pe + 24;
    l.SectionTable = l.Optional + qFromLittleEndian<uint16_t>(b.constData() + l.Pe + 20);
    const bool pe32 = qFromLittleEndian<uint16_t>(b.constData() + l.Optional) == 0x10B;
    l.ResourceEntry = l.Optional + (pe32 ? 96 : 112) + 16;
    const uint32_t rootRva = Get32(b, l.ResourceEntry);
    const auto fileOffset = [&](uint32_t rva) {
        for (qsizetype s = l.SectionTable;; s += 40)
            if (rva >= Get32(b, s + 12) && rva < Get32(b, s + 12) + Get32(b, s + 16))
                return qsizetype(Get32(b, s + 20) + (rva - Get32(b, s + 12)));
    };
    l.Root = fileOffset(rootRva);
    l.TypeEntry = l.Root + 16;
    l.NameDir = l.Root + (Get32(b, l.TypeEntry + 4) & 0x7FFFFFFF);
    l.LangDir = l.Root + (Get32(b, l.NameDir + 16 + 4) & 0x7FFFFFFF);
    l.DataEntry = l.Root + Get32(b, l.LangDir + 16 + 4);
    l.Tree = fileOffset(Get32(b, l.DataEntry));
    l.TreeEnd = l.Tree + Get32(b, l.DataEntry + 4);
    return l;
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

uint32_t SizeOf(const QString &path)
{
    uint32_t handle = 7;
    const uint32_t size = GetFileVersionInfoSize(path, handle);
    EXPECT_EQ(handle, 0u);
    return size;
}

// Bytes this process has read through read and pread so far.
qint64 BytesReadSoFar()
{
    const QByteArray io = ReadAll(QStringLiteral("/proc/self/io"));
    const qsizetype at = io.indexOf("rchar: ");
    return at < 0 ? -1 : io.mid(at + 7, io.indexOf('\n', at) - at - 7).toLongLong();
}

class VersionFile : public ::testing::TestWithParam<TPeKind> {
protected:
    void SetUp() override
    {
        FPath = BuildDll(FDir.path(), QStringLiteral("acme.dll"), VersionScript, GetParam());
        ASSERT_FALSE(FPath.isEmpty());
        FImage = ReadAll(FPath);
    }
    QString Scratch(const char *name) const { return FDir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir FDir;
    QString FPath;
    QByteArray FImage;
};

TEST_P(VersionFile, FixedRecordTranslationAndTextsByAnySpellingOfThePath)
{
    const uint32_t size = SizeOf(FPath);
    ASSERT_GT(size, 0u);
    QByteArray data;
    ASSERT_TRUE(GetFileVersionInfo(FPath, 0, size, data));
    EXPECT_EQ(data.size(), qsizetype(size));
    QByteArray fromMemory;
    ASSERT_TRUE(ReadVersionResource(FImage, fromMemory));
    EXPECT_EQ(fromMemory, data);

    TVerValue value;
    ASSERT_TRUE(VerQueryValue(data, QStringLiteral("\\"), value));
    ASSERT_TRUE(value.Fixed.has_value());
    EXPECT_EQ(value.Fixed->FileVersionMS, 0x00020001u);
    EXPECT_EQ(value.Fixed->FileVersionLS, 0x00000025u);
    EXPECT_EQ(value.Fixed->ProductVersionMS, 0x00030000u);
    EXPECT_EQ(value.Fixed->ProductVersionLS, 0x00010002u);
    EXPECT_EQ(value.Fixed->FileOS, 0x40004u);
    EXPECT_EQ(value.Fixed->FileType, 2u);

    ASSERT_TRUE(VerQueryValue(data, QStringLiteral("\\\\VarFileInfo\\\\Translation"), value));
    EXPECT_EQ(value.Bytes, QByteArray("\x09\x04\xE4\x04", 4));
    EXPECT_FALSE(value.Fixed.has_value());

    // The code-page byte comes back as its character, and the NUL stays out.
    ASSERT_TRUE(VerQueryValue(data, QStringLiteral("\\\\StringFileInfo\\\\040904E4\\CompanyName"),
                              value));
    EXPECT_TRUE(value.IsText);
    EXPECT_EQ(value.Text, QStringLiteral("Acme \u00A9 1999"));
    // Stored as OriginalFilename; block names ignore case as well.
    ASSERT_TRUE(VerQueryValue(data, QStringLiteral("StringFileInfo/040904e4").replace('/', '\\')
                                  + QStringLiteral("\\ORIGINALFILENAME\\"),
                              value));
    EXPECT_EQ(value.Text, QStringLiteral("acme.dll"));
    EXPECT_TRUE(VerQueryValue(data, Original, value));

    EXPECT_FALSE(VerQueryValue(data, QStringLiteral("\\StringFileInfo\\040904E4\\Comments"), value));
    EXPECT_FALSE(VerQueryValue(data, QStringLiteral("\\StringFileInfo\\0C0A04B0\\CompanyName"), value));
    EXPECT_FALSE(VerQueryValue(data, Company + QStringLiteral("\\Deeper"), value));
    EXPECT_FALSE(VerQueryValue(data, QStringLiteral("\\StringFileInfo\\040904E"), value));
}

TEST_P(VersionFile, ACutFileHasNoVersionUntilTheResourceIsWhole)
{
    const TLayout layout = LayoutOf(FImage);
    QByteArray whole;
    ASSERT_TRUE(ReadVersionResource(FImage, whole));
    for (qsizetype length = 0; length <= FImage.size(); ++length) {
        QByteArray data;
        const bool found = ReadVersionResource(FImage.left(length), data);
        ASSERT_EQ(found, length >= layout.TreeEnd) << length;
        if (found) {
            ASSERT_EQ(data, whole) << length;
        }
    }
    // The file path agrees, a sample of lengths around the edges.
    for (const qsizetype length : {qsizetype(0), qsizetype(63), layout.Pe + 23, layout.SectionTable,
                                   layout.Tree + 1, layout.TreeEnd - 1, layout.TreeEnd}) {
        WriteAll(Scratch("cut.dll"), FImage.left(length));
        EXPECT_EQ(SizeOf(Scratch("cut.dll")) > 0, length >= layout.TreeEnd) << length;
    }
}

TEST_P(VersionFile, DamagedHeadersAndDirectoriesGiveNoVersion)
{
    const TLayout l = LayoutOf(FImage);
    const uint32_t dir = 0x80000000;
    const std::vector<std::pair<const char *, std::function<void(QByteArray &)>>> damages = {
        {"no MZ", [&](QByteArray &b) { b[0] = 'X'; }},
        {"PE header past the end", [&](QByteArray &b) { Put32(b, 0x3C, 0xFFFFFFF0); }},
        {"PE header on the DOS header", [&](QByteArray &b) { Put32(b, 0x3C, 0); }},
        {"no PE signature", [&](QByteArray &b) { b[l.Pe + 1] = 'F'; }},
        {"ROM magic", [&](QByteArray &b) { Put16(b, l.Optional, 0x107); }},
        {"optional header too short", [&](QByteArray &b) { Put16(b, l.Pe + 20, 100); }},
        {"two directories only", [&](QByteArray &b) { Put32(b, l.ResourceEntry - 20, 2); }},
        {"no resource directory", [&](QByteArray &b) { Put32(b, l.ResourceEntry, 0); }},
        {"resources in no section", [&](QByteArray &b) { Put32(b, l.ResourceEntry, 0x7FFF0000); }},
        {"no sections", [&](QByteArray &b) { Put16(b, l.Pe + 6, 0); }},
        {"65535 sections", [&](QByteArray &b) { Put16(b, l.Pe + 6, 0xFFFF); }},
        {"section data past the end",
         [&](QByteArray &b) {
             const int count = qFromLittleEndian<uint16_t>(b.constData() + l.Pe + 6);
             for (int i = 0; i < count; ++i)
                 Put32(b, l.SectionTable + 40 * i + 20, 0x7FFFFF00);
         }},
        {"65535 types beyond the section", [&](QByteArray &b) { Put16(b, l.Root + 14, 0xFFFF); }},
        {"no version type", [&](QByteArray &b) { Put32(b, l.TypeEntry, 6); }},
        {"type entry points at the root", [&](QByteArray &b) { Put32(b, l.TypeEntry + 4, dir); }},
        {"name entry points at itself",
         [&](QByteArray &b) { Put32(b, l.NameDir + 20, dir | uint32_t(l.NameDir - l.Root)); }},
        {"language entry points at the name directory",
         [&](QByteArray &b) { Put32(b, l.LangDir + 20, dir | uint32_t(l.NameDir - l.Root)); }},
        {"type entry is data", [&](QByteArray &b) { Put32(b, l.TypeEntry + 4, uint32_t(l.DataEntry - l.Root)); }},
        {"no languages", [&](QByteArray &b) { Put16(b, l.LangDir + 14, 0); }},
        {"data entry past the section", [&](QByteArray &b) { Put32(b, l.LangDir + 20, 0x7FFFFFF0); }},
        {"data in no section", [&](QByteArray &b) { Put32(b, l.DataEntry, 0x7FFF0000); }},
        {"data size past the file", [&](QByteArray &b) { Put32(b, l.DataEntry + 4, 0x000FFFFF); }},
        {"data size beyond reason", [&](QByteArray &b) { Put32(b, l.DataEntry + 4, 0xFFFFFFFF); }},
        {"tree longer than the data", [&](QByteArray &b) { Put32(b, l.DataEntry + 4, 40); }},
        {"tree length 5", [&](QByteArray &b) { Put16(b, l.Tree, 5); }},
    };
    for (const auto &[what, damage] : damages) {
        QByteArray image = FImage;
        damage(image);
        QByteArray data;
        EXPECT_FALSE(ReadVersionResource(image, data)) << what;
        WriteAll(Scratch("damaged.dll"), image);
        EXPECT_EQ(SizeOf(Scratch("damaged.dll")), 0u) << what;
    }
}

TEST_P(VersionFile, ADamagedTreeFailsOnlyTheQueriesThatReachTheDamage)
{
    QByteArray whole;
    ASSERT_TRUE(ReadVersionResource(FImage, whole));
    const QByteArray companyKey = QByteArray::fromRawData(
        reinterpret_cast<const char *>(u"CompanyName"), 22);
    const qsizetype company = whole.indexOf(companyKey) - 6;
    ASSERT_GT(company, 0);
    TVerValue value;
    for (const uint16_t length : {0, 3, 0xFFFF}) {
        QByteArray data = whole;
        Put16(data, company, length);
        EXPECT_FALSE(VerQueryValue(data, Company, value)) << length;
        // The walk cannot step over it to the next value either.
        EXPECT_FALSE(VerQueryValue(data, Original, value)) << length;
        EXPECT_TRUE(VerQueryValue(data, QStringLiteral("\\"), value)) << length;
        EXPECT_TRUE(VerQueryValue(data, Translation, value)) << length;
    }
    // A text whose length runs past its node ends with the node.
    QByteArray data = whole;
    Put16(data, company + 2, 0x7FFF);
    ASSERT_TRUE(VerQueryValue(data, Company, value));
    EXPECT_EQ(value.Text, QStringLiteral("Acme \u00A9 1999"));

    data = whole;
    data[data.indexOf(QByteArray("\xBD\x04\xEF\xFE", 4))] = 0;
    EXPECT_FALSE(VerQueryValue(data, QStringLiteral("\\"), value));
    EXPECT_FALSE(value.Fixed.has_value());
    EXPECT_TRUE(VerQueryValue(data, Company, value));

    // Less than the whole tree: the root's length overruns and nothing is found.
    ASSERT_TRUE(GetFileVersionInfo(FPath, 0, uint32_t(whole.size() - 1), data));
    EXPECT_EQ(data, whole.left(whole.size() - 1));
    EXPECT_FALSE(VerQueryValue(data, QStringLiteral("\\"), value));
    EXPECT_FALSE(VerQueryValue(QByteArray(), QStringLiteral("\\"), value));
}

TEST_P(VersionFile, TwoGigabyteSparseFilesAreNotRead)
{
    const qint64 twoGb = qint64(2) << 30;
    const QString big = Scratch("big.dll");
    WriteAll(big, FImage);
    ASSERT_TRUE(QFile::resize(big, twoGb));
    const QString zeros = Scratch("zeros.dll");
    WriteAll(zeros, QByteArray());
    ASSERT_TRUE(QFile::resize(zeros, twoGb));
    // A PE header far into the zeros.
    const QString far = Scratch("far.dll");
    QByteArray head = FImage.left(64);
    Put32(head, 0x3C, uint32_t(twoGb - 4096));
    WriteAll(far, head);
    ASSERT_TRUE(QFile::resize(far, twoGb));

    const qint64 before = BytesReadSoFar();
    const uint32_t size = SizeOf(big);
    QByteArray data;
    EXPECT_TRUE(GetFileVersionInfo(big, 0, size, data));
    EXPECT_EQ(SizeOf(zeros), 0u);
    EXPECT_EQ(SizeOf(far), 0u);
    EXPECT_GT(size, 0u);
    if (before >= 0) {
        EXPECT_LT(BytesReadSoFar() - before, 1 << 20);
    }
}

INSTANTIATE_TEST_SUITE_P(Pe, VersionFile, ::testing::Values(TPeKind::Pe32, TPeKind::Pe32Plus),
                         [](const auto &info) {
                             return info.param == TPeKind::Pe32 ? "Pe32" : "Pe32Plus";
                         });

TEST(VersionInfo, FilesThatAreNoProgramsOrHaveNoVersionHaveNone)
{
    QTemporaryDir dir;
    const QString rcdata = BuildDll(dir.path(), QStringLiteral("data.dll"),
                                    "7 RCDATA\nBEGIN\n  \"not a version\\0\"\nEND\n");
    ASSERT_FALSE(rcdata.isEmpty());
    const QString empty = dir.filePath(QStringLiteral("empty.dll"));
    WriteAll(empty, QByteArray());
    const QString self = RunningProgramPath();
    EXPECT_EQ(self, QCoreApplication::applicationFilePath());
    for (const QString &path : {rcdata, empty, self, dir.path(), dir.filePath(QStringLiteral("none.dll")),
                                QString()}) {
        EXPECT_EQ(SizeOf(path), 0u) << path.toStdString();
        QByteArray data;
        EXPECT_FALSE(GetFileVersionInfo(path, 0, 4096, data)) << path.toStdString();
    }
}

TEST(VersionInfo, ANamedPipeWithoutWriterDoesNotBlock)
{
    QTemporaryDir dir;
    const QByteArray pipe = QFile::encodeName(dir.filePath(QStringLiteral("pipe.dll")));
    ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
    auto size = std::async(std::launch::async, [&] { return SizeOf(QFile::decodeName(pipe)); });
    if (size.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        // Let the blocked open go before failing.
        ::close(::open(pipe.constData(), O_WRONLY | O_NONBLOCK));
        FAIL() << "opening a named pipe waited for a writer";
    }
    EXPECT_EQ(size.get(), 0u);
}

} // namespace

namespace {

// A string table beside the version: the first block holds 1 and 15, the
// second 16; ids 2 to 14 are empty places in the first block.
const QByteArray StringScript = "STRINGTABLE\n{\n 1, \"Uno \xA9\"\n 15, \"Quince\"\n"
                                " 16, \"Diecis\xE9is\"\n}\n";

class StringFile : public ::testing::TestWithParam<TPeKind> {
protected:
    QTemporaryDir FDir;
};

TEST_P(StringFile, StringsAreFoundByBlockAndPlaceBesideTheVersion)
{
    const QString dll = BuildDll(FDir.path(), QStringLiteral("s.dll"), VersionScript + StringScript,
                                 GetParam());
    ASSERT_FALSE(dll.isEmpty());
    EXPECT_EQ(LoadStringResource(dll, 1), QStringLiteral("Uno \u00a9"));
    EXPECT_EQ(LoadStringResource(dll, 15), QStringLiteral("Quince"));
    EXPECT_EQ(LoadStringResource(dll, 16), QStringLiteral("Diecis\u00e9is"));
    EXPECT_EQ(LoadStringResource(dll, 2), QString());
    EXPECT_EQ(LoadStringResource(dll, 32), std::nullopt);
    EXPECT_EQ(LoadStringResource(dll, 0xFFFFFFFF), std::nullopt);
    uint32_t handle;
    EXPECT_GT(GetFileVersionInfoSize(dll, handle), 0u);

    const QString versionOnly = BuildDll(FDir.path(), QStringLiteral("v.dll"), VersionScript, GetParam());
    EXPECT_EQ(LoadStringResource(versionOnly, 1), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Kinds, StringFile, ::testing::Values(TPeKind::Pe32, TPeKind::Pe32Plus));

TEST(StringResource, ACutResourceFileHasTheStringOnlyWhenItsBlockIsWhole)
{
    QTemporaryDir dir;
    const QString rc = dir.filePath(QStringLiteral("s.rc"));
    WriteAll(rc, StringScript);
    QProcess windres;
    windres.start(QStringLiteral("x86_64-w64-mingw32-windres"),
                  {QStringLiteral("--codepage=1252"), QStringLiteral("-i"), rc, QStringLiteral("-O"),
                   QStringLiteral("res"), QStringLiteral("-o"), dir.filePath(QStringLiteral("s.res"))});
    ASSERT_TRUE(windres.waitForFinished(60000));
    ASSERT_EQ(windres.exitCode(), 0) << windres.readAllStandardError().constData();
    const QByteArray whole = ReadAll(dir.filePath(QStringLiteral("s.res")));
    // The entry after the empty one: data size, header size, type 6, block 1.
    ASSERT_EQ(whole.mid(40, 8), QByteArray("\xff\xff\x06\x00\xff\xff\x01\x00", 8));
    const qsizetype firstEnd = 32 + Get32(whole, 36) + Get32(whole, 32);
    const QString cut = dir.filePath(QStringLiteral("cut.res"));
    for (qsizetype length = 0; length <= whole.size(); ++length) {
        WriteAll(cut, whole.left(length));
        const bool firstWhole = length >= firstEnd;
        ASSERT_EQ(LoadStringResource(cut, 15).has_value(), firstWhole) << length;
        if (firstWhole) {
            ASSERT_EQ(LoadStringResource(cut, 15), QStringLiteral("Quince")) << length;
        }
    }
    EXPECT_EQ(LoadStringResource(cut, 16), QStringLiteral("Diecis\u00e9is"));
    // A huge header size or a loop back to the start ends the walk.
    QByteArray damaged = whole;
    Put32(damaged, 32 + 4, 0x7FFFFFFF);
    WriteAll(cut, damaged);
    EXPECT_EQ(LoadStringResource(cut, 1), std::nullopt);
    damaged = whole;
    Put32(damaged, 32, 0xFFFFFFF0);
    WriteAll(cut, damaged);
    EXPECT_EQ(LoadStringResource(cut, 16), std::nullopt);
}

} // namespace
