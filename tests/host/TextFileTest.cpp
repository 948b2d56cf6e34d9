// Source files keep their encoding and line ends through load and save.
#include "TextFile.h"

#include <gtest/gtest.h>

using namespace qide;

TEST(TextFile, LineEndsAreDetectedFromTheFirstLineEnd)
{
    EXPECT_EQ(DecodeTextFile("a\r\nb\r\n").format.lineEnd, TLineEnd::CrLf);
    EXPECT_EQ(DecodeTextFile("a\nb\n").format.lineEnd, TLineEnd::Lf);
    EXPECT_EQ(DecodeTextFile("a\rb\r").format.lineEnd, TLineEnd::Cr);
    EXPECT_EQ(DecodeTextFile("a\rb\r\n").format.lineEnd, TLineEnd::Cr);
    // A file without any line end gets the system's CR LF.
    EXPECT_EQ(DecodeTextFile("one line").format.lineEnd, TLineEnd::CrLf);
}

TEST(TextFile, EveryLineEndBecomesLineFeedInTheBuffer)
{
    EXPECT_EQ(DecodeTextFile("a\r\nb\rc\nd").text, QStringLiteral("a\nb\nc\nd"));
    EXPECT_EQ(NormaliseLineEnds(QStringLiteral("\r\r\n\n")), QStringLiteral("\n\n\n"));
    EXPECT_EQ(ToCrLfText(QStringLiteral("a\nb") + QChar::ParagraphSeparator + QStringLiteral("c")),
              QStringLiteral("a\r\nb\r\nc"));
}

TEST(TextFile, BytesSurviveARoundTripInEachFormat)
{
    const QByteArray samples[] = {
        "unit A;\r\ninterface\r\nend.\r\n",
        "unit A;\ninterface\nend.",
        "unit A;\rinterface\rend.\r",
        "x := 'Ca\xf1" "a';\r\n{ \x80 \x93quoted\x94 }\r\n", // Windows-1252
        "x := 'Ca\xc3\xb1" "a';\n{ \xe2\x82\xac }\n",        // UTF-8
        "\xef\xbb\xbf" "x := '\xc3\xa9';\r\n",               // UTF-8 with BOM
        "",
    };
    for (const QByteArray &bytes : samples) {
        TDecodedText decoded = DecodeTextFile(bytes);
        EXPECT_EQ(EncodeTextFile(decoded.text, decoded.format), bytes) << bytes.toStdString();
    }
}

TEST(TextFile, EncodingIsUtf8OnlyWhenTheBytesAreValidUtf8)
{
    const TDecodedText utf8 = DecodeTextFile("Espa\xc3\xb1" "a");
    EXPECT_EQ(utf8.format.encoding, TTextEncoding::Utf8);
    EXPECT_EQ(utf8.text, QStringLiteral("España"));

    const TDecodedText ansi = DecodeTextFile("Espa\xf1" "a \x80");
    EXPECT_EQ(ansi.format.encoding, TTextEncoding::Ansi);
    EXPECT_EQ(ansi.text, QStringLiteral("España €"));

    const TDecodedText bom = DecodeTextFile("\xef\xbb\xbfx");
    EXPECT_TRUE(bom.format.bom);
    EXPECT_EQ(bom.text, QStringLiteral("x"));

    EXPECT_EQ(DecodeTextFile("plain ascii").format.encoding, TTextEncoding::Ansi);
}

TEST(TextFile, TextTheCodePageCannotHoldIsSavedAsUtf8)
{
    TTextFormat format; // ANSI, CR LF
    const QByteArray bytes = EncodeTextFile(QStringLiteral("π := 3.14;\n"), format);
    EXPECT_EQ(format.encoding, TTextEncoding::Utf8);
    EXPECT_EQ(bytes, QByteArray("\xcf\x80 := 3.14;\r\n"));

    TTextFormat ansi;
    EXPECT_EQ(EncodeTextFile(QStringLiteral("€ñ"), ansi), QByteArray("\x80\xf1"));
    EXPECT_EQ(ansi.encoding, TTextEncoding::Ansi);
}

TEST(TextFile, ASecondBomAndTheEditorsReservedCharactersAreText)
{
    // A BOM after the file's own one is a character of the text.
    const QByteArray twoBoms = "\xef\xbb\xbf\xef\xbb\xbfx\r\n";
    TDecodedText decoded = DecodeTextFile(twoBoms);
    EXPECT_TRUE(decoded.format.bom);
    EXPECT_EQ(decoded.text, QString(QChar(0xFEFF)) + QStringLiteral("x\n"));
    EXPECT_EQ(EncodeTextFile(decoded.text, decoded.format), twoBoms);

    // U+2029, U+FDD0 and U+FDD1 are no line breaks: the text holds stand-ins
    // that the editor keeps as characters, and saving turns them back.
    const QByteArray reserved = "a\xe2\x80\xa9" "b\xef\xb7\x90" "c\xef\xb7\x91" "d\n";
    decoded = DecodeTextFile(reserved);
    EXPECT_EQ(decoded.text.count(QLatin1Char('\n')), 1);
    for (char16_t c : DocumentReserved)
        EXPECT_FALSE(decoded.text.contains(QChar(c)));
    EXPECT_EQ(FromStandIns(decoded.text, decoded.format), QString::fromUtf8(reserved));
    EXPECT_TRUE(decoded.problem.isEmpty());
    EXPECT_EQ(EncodeTextFile(decoded.text + QStringLiteral("e"), decoded.format), reserved + "e");

    // Stand-ins never collide with private-use characters the file has.
    const QString own = QString(QChar(0xE000)) + QChar(0xE001) + QChar(0x2029);
    decoded = DecodeTextFile(own.toUtf8());
    EXPECT_EQ(FromStandIns(decoded.text, decoded.format), own);
}

TEST(TextFile, FilesTheEditorCannotKeepAsTheyAreSayWhy)
{
    const QByteArray lossy[] = {
        "\xef\xbb\xbf" "a \xff b\r\n", // BOM, then a byte that is not UTF-8
        "\xef\xbb\xbf" "\xc3",         // cut inside a sequence
        "x \x81 \xe9\r\n",             // not UTF-8, and 0x81 is no Windows-1252 character
        "a\r\nb\nc\r\n",               // mixed line ends
        "a\rb\r\n",
    };
    for (const QByteArray &bytes : lossy)
        EXPECT_FALSE(DecodeTextFile(bytes).problem.isEmpty()) << bytes.toHex().toStdString();

    const TDecodedText invalid = DecodeTextFile("\xef\xbb\xbf" "a \xff b");
    EXPECT_EQ(invalid.text, QStringLiteral("a \uFFFD b"));
    EXPECT_TRUE(invalid.problem.contains(QStringLiteral("not UTF-8")));
    EXPECT_TRUE(DecodeTextFile("a\r\nb\nc").problem.contains(QStringLiteral("CR LF")));

    // Whatever has no problem comes back byte for byte.
    const QByteArray faithful[] = {
        "Espa\xf1" "a \x80\r\n", QByteArray("\0\x01 \xa0\n", 5), "\xef\xbb\xbf", "\xef\xbb\xbf\xef\xbf\xbe\r",
        "\xf0\x9f\x98\x80\n\n", "a\xe2\x80\xa8" "b",
    };
    for (const QByteArray &bytes : faithful) {
        TDecodedText d = DecodeTextFile(bytes);
        EXPECT_TRUE(d.problem.isEmpty()) << bytes.toHex().toStdString();
        EXPECT_EQ(EncodeTextFile(d.text, d.format), bytes) << bytes.toHex().toStdString();
    }
}
