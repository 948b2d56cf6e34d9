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
