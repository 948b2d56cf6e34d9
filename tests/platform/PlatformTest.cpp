#include "CodePage.h"
#include "Exception.h"
#include "Paths.h"
#include "Registry.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <vector>

#include <sys/stat.h>

namespace {

const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");

TEST(DirectoryPart, DropsFileNameAndKeepsRoot)
{
    EXPECT_EQ(ExtractFileDir(QStringLiteral("/opt/tools/x.so")), QStringLiteral("/opt/tools"));
    EXPECT_EQ(ExtractFileDir(QStringLiteral("/x.so")), QStringLiteral("/"));
    EXPECT_EQ(ExtractFileDir(QStringLiteral("/opt/tools/")), QStringLiteral("/opt/tools"));
    EXPECT_EQ(ExtractFileDir(QStringLiteral("//x")), QStringLiteral("//"));
    EXPECT_EQ(ExtractFileDir(QStringLiteral("x.so")), QString());
    // A colon is no separator here.
    EXPECT_EQ(ExtractFileDir(QStringLiteral("/a:b/c")), QStringLiteral("/a:b"));
}

TEST(FileNameParts, ExtensionAndChange)
{
    EXPECT_EQ(ExtractFileExt(QStringLiteral("/p/Unit1.pas")), QStringLiteral(".pas"));
    EXPECT_EQ(ExtractFileExt(QStringLiteral("/p.d/Unit1")), QString());
    EXPECT_EQ(ChangeFileExt(QStringLiteral("/p/Project1.dpr"), QStringLiteral(".exe")),
              QStringLiteral("/p/Project1.exe"));
    EXPECT_EQ(ChangeFileExt(QStringLiteral("/p/Project1.dpr"), QString()),
              QStringLiteral("/p/Project1"));
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOld = qgetenv("QUORBEL_REGISTRY");
        qputenv("QUORBEL_REGISTRY", (FDir.path() + QStringLiteral("/reg.ini")).toUtf8());
    }
    void TearDown() override { qputenv("QUORBEL_REGISTRY", FOld); }
    QTemporaryDir FDir;
    QByteArray FOld;
};

TEST_F(RegistryTest, ReadRegStringSplitsAtLastBackslash)
{
    Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"),
                          QStringLiteral("/opt/quorbel/libquorbel.so"));
    EXPECT_EQ(ReadRegString(HKEY::CurrentUser, ExpertsKey + QStringLiteral("\\Quorbel")),
              QStringLiteral("/opt/quorbel/libquorbel.so"));
}

TEST_F(RegistryTest, MissingValueIsEmptyAndKeyIsCreated)
{
    const QString key = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Nowhere");
    EXPECT_FALSE(Registry::keyExists(HKEY::CurrentUser, key));
    EXPECT_EQ(ReadRegString(HKEY::CurrentUser, key + QStringLiteral("\\Missing")), QString());
    EXPECT_TRUE(Registry::keyExists(HKEY::CurrentUser, key));
    EXPECT_TRUE(Registry::valueNames(HKEY::CurrentUser, key).isEmpty());
}

TEST_F(RegistryTest, ValueNamesListsEveryValueOfAKey)
{
    Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"), QStringLiteral("a"));
    Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Other"), QStringLiteral("b"));
    QStringList names = Registry::valueNames(HKEY::CurrentUser, ExpertsKey);
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Other"), QStringLiteral("Quorbel")}));
}

TEST(CodePage, Windows1252RoundTrip)
{
    const QByteArray bytes("\x80\x93Ma\xF1" "ana\x94\xE9", 10);
    const QString text = FromAnsi(bytes);
    EXPECT_EQ(text, QString::fromUtf8("€“Mañana”é"));
    EXPECT_EQ(ToAnsi(text), bytes);
    EXPECT_EQ(ToAnsi(QString::fromUtf8("日")), QByteArray("?"));
    EXPECT_EQ(DecodeText(bytes), text);
    EXPECT_EQ(EncodeText(text), bytes);
}

// Each high byte alone is no UTF-8, so the data-file rule must give back
// the same byte for it; the five bytes the code page leaves undefined too.
TEST(CodePage, EveryHighByteComesBackAsItself)
{
    QSet<QChar> seen;
    for (int b = 0x80; b <= 0xFF; ++b) {
        const QByteArray one(1, char(b));
        const QString text = DecodeText(one);
        ASSERT_EQ(text.size(), 1) << std::hex << b;
        EXPECT_NE(text, QStringLiteral("?")) << std::hex << b;
        EXPECT_TRUE(FitsAnsi(text)) << std::hex << b;
        EXPECT_EQ(EncodeText(text), one) << std::hex << b;
        EXPECT_EQ(ToAnsi(text), one) << std::hex << b;
        seen.insert(text.at(0));
    }
    EXPECT_EQ(seen.size(), 128);
    EXPECT_EQ(DecodeText("\xA0"), QString(QChar(0x00A0)));
    EXPECT_EQ(DecodeText("\x80"), QString(QChar(0x20AC)));
    EXPECT_EQ(DecodeText("\x9F"), QString(QChar(0x0178)));
    EXPECT_EQ(DecodeText("\xFF"), QString(QChar(0x00FF)));
    for (const int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(DecodeText(QByteArray(1, char(undefined))), QString(QChar(undefined)));
    // A defined position's C1 control has no byte of its own.
    EXPECT_FALSE(FitsAnsi(QString(QChar(0x0080))));

    QByteArray all;
    for (int b = 0; b <= 0xFF; ++b)
        all += char(b);
    EXPECT_EQ(EncodeText(DecodeText(all)), all);
}

TEST(CodePage, TextOutsideTheCodePageIsWrittenAsUtf8)
{
    const QString path = QString::fromUtf8("/home/u/Проекты/日本.dpr");
    EXPECT_FALSE(FitsAnsi(path));
    EXPECT_EQ(EncodeText(path), path.toUtf8());
    EXPECT_EQ(DecodeText(path.toUtf8()), path);
    // One character outside takes the whole text along.
    const QString mixed = QString::fromUtf8("Café 😀");
    EXPECT_EQ(EncodeText(mixed), mixed.toUtf8());
    EXPECT_EQ(DecodeText(EncodeText(mixed)), mixed);
    // Plain ASCII is the same either way.
    EXPECT_EQ(EncodeText(QStringLiteral("plain")), QByteArray("plain"));
}

TEST(CodePage, OnlyStrictUtf8WithAWideCharacterReadsAsUtf8)
{
    EXPECT_EQ(DecodeText("\xC3\xA9t\xC3\xA9"), QString::fromUtf8("été"));
    EXPECT_FALSE(IsUtf8Text("ascii", 5));
    // Overlong, surrogate, past U+10FFFF, cut short, stray continuation.
    for (const QByteArray &bad : {QByteArray("\xC0\xAF"), QByteArray("\xED\xA0\x80"),
                                 QByteArray("\xF4\x90\x80\x80"), QByteArray("a\xE6\x97"),
                                 QByteArray("\xA9\xC3\xA9")}) {
        EXPECT_FALSE(IsUtf8Text(bad.constData(), bad.size())) << bad.toHex().toStdString();
        EXPECT_EQ(DecodeText(bad), FromAnsi(bad)) << bad.toHex().toStdString();
        EXPECT_EQ(EncodeText(DecodeText(bad)), bad) << bad.toHex().toStdString();
    }
    // A text that fits but whose code-page bytes would pass as UTF-8 is
    // written as UTF-8, or it would read back as something else.
    const QString lookalike = QString::fromUtf8("Ã©");
    EXPECT_EQ(ToAnsi(lookalike), QByteArray("\xC3\xA9"));
    EXPECT_EQ(EncodeText(lookalike), lookalike.toUtf8());
    EXPECT_EQ(DecodeText(EncodeText(lookalike)), lookalike);
}

TEST(CodePage, CutsFallBetweenCharacters)
{
    EXPECT_EQ(EncodeText(QString::fromUtf8("日本語"), 7), QString::fromUtf8("日本").toUtf8());
    EXPECT_EQ(EncodeText(QString::fromUtf8("ab😀"), 5), QByteArray("ab"));
    EXPECT_EQ(EncodeText(QString::fromUtf8("ab😀"), 6), QString::fromUtf8("ab😀").toUtf8());
    // What is left may fit the code page again: then it is written in it.
    const QString text = QString(99, QLatin1Char('a')) + QString::fromUtf8("é日");
    const QByteArray cut = EncodeText(text, 100);
    EXPECT_EQ(cut, QByteArray(99, 'a') + "\xE9");
    EXPECT_EQ(EncodeText(QStringLiteral("abcdef"), 3), QByteArray("abc"));
    // Every cut of a mixed text decodes to a prefix of it.
    const QString mixed = QString::fromUtf8("Ñandú 日本 Ã© 😀 end");
    for (int limit = 0; limit <= 40; ++limit) {
        const QByteArray bytes = EncodeText(mixed, limit);
        EXPECT_LE(bytes.size(), limit);
        EXPECT_TRUE(mixed.startsWith(DecodeText(bytes))) << limit;
    }
}

// A text built piece by piece must come out as the joined text would: the
// rule looks at the whole, never at one piece.
TEST(CodePage, TextBuiltInPiecesIsEncodedAsTheWhole)
{
    const QString lone = QString(QChar(0xD800));
    const std::vector<QStringList> cases = {
        {"plain ", "ascii", ""},
        {"Ma\u00f1ana ", "\u20ac 5\u2122", "\u0152uvre"},
        // Neither piece looks like UTF-8 alone; joined they do.
        {"\u00c3", "\u00a9"},
        {"caf\u00c3\u00a9 ok"},
        // A C1 control has no Windows-1252 byte, wherever it stands.
        {"abc\u0080def", "\u00e9"},
        // Windows-1252 first, then a piece it cannot hold: the first too in UTF-8.
        {"Ca\u00f1a ", "x \u0417\u0430\u043a\u0440\u044b\u0442\u044c", " \u00e9 again"},
        {"\u0417", "\u00f1", "tail"},
        {"smile \U0001F600 ", "\u00e9"},
        {"a", lone, "b" + lone + "c\u00e9"},
        {"ends high " + lone},
        {"\u00e9", "\U0001F600\u00e9" + lone + "\u4e2d"},
        // Long ASCII runs, read eight bytes at a time, broken by a high
        // character at every place of the run.
        {"12345678\u00e9", "abcdefgh", "abcdefghijklmnopq\u00f1xyz"},
        {"\u00e9abcdefghijk", "abc\u0080defghij", "abcdefghijklmnop\u00ff"},
    };
    for (const QStringList &pieces : cases) {
        TEncodedText built;
        for (const QString &piece : pieces)
            built.Append(piece);
        EXPECT_EQ(built.Take(), EncodeText(pieces.join(QString()))) << pieces.join('|').toStdString();
        // The same pieces as Latin-1, where they are.
        if (std::all_of(pieces.begin(), pieces.end(), [](const QString &piece) {
                return std::all_of(piece.begin(), piece.end(), [](QChar c) { return c.unicode() <= 0xFF; });
            })) {
            for (const QString &piece : pieces) {
                const QByteArray latin1 = piece.toLatin1();
                built.Append(QLatin1StringView(latin1));
            }
            EXPECT_EQ(built.Take(), EncodeText(pieces.join(QString()))) << "as Latin-1: " << pieces.join('|').toStdString();
        }
    }

    // Latin-1 pieces and numbers belong to the whole too; one builder serves
    // again after Take, from nothing.
    TEncodedText built;
    built.Append(QLatin1StringView("caf\xe9 "));
    built.Append(qint64(-42));
    built.Append(QLatin1StringView(" "));
    built.Append(qint64(9223372036854775807LL));
    built.Append(QStringView(u"\u0436"));
    EXPECT_EQ(built.Take(), QString::fromUtf8("café -42 9223372036854775807ж").toUtf8());
    built.Append(QStringView(u"\u00e9"));
    EXPECT_EQ(built.Take(), QByteArray("\xe9"));

    // Many pieces, past every growth of the buffer.
    QString whole;
    for (int i = 0; i < 20000; ++i) {
        const QString piece = QString::number(i) + (i % 7 == 0 ? "\u00f1" : "-");
        built.Append(piece);
        whole += piece;
    }
    built.Append(QStringView(u"\u0436"));
    whole += QChar(0x0436);
    EXPECT_EQ(built.Take(), EncodeText(whole));
}

TEST(SafeFile, FailedWriteKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/data.dat");
    WriteFileAtomically(path, "old contents");
    // A directory where the new file is to go: the rename fails, as root too.
    const QString blocked = dir.path() + QStringLiteral("/blocked.dat");
    ASSERT_TRUE(QDir().mkdir(blocked));
    EXPECT_THROW(WriteFileAtomically(blocked, "new"), EInOutError);
    EXPECT_TRUE(QFileInfo(blocked).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("data.dat")});
    EXPECT_EQ(ReadWholeFile(path, 100), QByteArray("old contents"));
    WriteFileAtomically(path, "new");
    EXPECT_EQ(ReadWholeFile(path, 100), QByteArray("new"));
}

TEST(SafeFile, MissingDirectoryIsAnInOutError)
{
    EXPECT_THROW(WriteFileAtomically(QStringLiteral("/nonexistent-dir/x.dat"), "x"), EInOutError);
    EXPECT_THROW(ReadWholeFile(QStringLiteral("/nonexistent-dir/x.dat"), 100), EInOutError);
}

// What a user can put where a data file is expected: each is refused with a
// reason, at once, without reading it.
TEST(SafeFile, ReaderTakesRegularFilesOfBoundedSizeOnly)
{
    QTemporaryDir dir;
    auto refusal = [](const QString &path, qint64 limit) {
        try {
            ReadWholeFile(path, limit);
        } catch (const EInOutError &e) {
            return e.message();
        }
        return QStringLiteral("<read>");
    };
    const QString fifo = dir.path() + QStringLiteral("/fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(refusal(fifo, 100), QStringLiteral("Cannot open file %1: it is not a regular file (a device, pipe or socket)").arg(fifo));
    const QString zero = dir.path() + QStringLiteral("/zero");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    EXPECT_EQ(refusal(zero, 100), QStringLiteral("Cannot open file %1: it is not a regular file (a device, pipe or socket)").arg(zero));
    EXPECT_EQ(refusal(dir.path(), 100), QStringLiteral("Cannot open file %1: it is a directory").arg(dir.path()));

    const QString sparse = dir.path() + QStringLiteral("/sparse");
    {
        QFile file(sparse);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(3) << 30));
    }
    EXPECT_EQ(refusal(sparse, 1000),
              QStringLiteral("Cannot read %1: the file is too large (3221225472 bytes; the limit is "
                             "1000 bytes)")
                  .arg(sparse));
    const QString exact = dir.path() + QStringLiteral("/exact");
    WriteFileAtomically(exact, QByteArray(1000, 'x'));
    EXPECT_EQ(ReadWholeFile(exact, 1000).size(), 1000);
}

// A name starting with ':' is a file like any other, not a Qt resource.
TEST(SafeFile, ColonNamesAreFilesNotResources)
{
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    WriteFileAtomically(QStringLiteral(":a.dat"), "colon");
    EXPECT_EQ(ReadWholeFile(QStringLiteral(":a.dat"), 100), QByteArray("colon"));
    EXPECT_TRUE(QFileInfo::exists(dir.path() + QStringLiteral("/:a.dat")));
    QDir::setCurrent(old);
}

} // namespace
