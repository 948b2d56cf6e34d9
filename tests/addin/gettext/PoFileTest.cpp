// The .po reader on what translators' tools write and on files it must
// refuse, and the writer's strings read back.
#include "gettext/PoFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TPoCatalog Parse(const QByteArray &text)
{
    return ParsePo(text, QStringLiteral("t.po"));
}

// The message of the error the text gives; empty when it parses.
QString ErrorOf(const QByteArray &text)
{
    try {
        Parse(text);
    } catch (const EPoFileError &e) {
        return e.message();
    }
    return {};
}

const QByteArray Utf8Header = "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";

TEST(PoReader, ReadsEveryFormOfEntryTranslatorsToolsWrite)
{
    const QByteArray text = "# translator's comment\r\n"
                            "msgid \"\"\r\n"
                            "msgstr \"\"\r\n"
                            "\"Project-Id-Version: Demo\\n\"\r\n"
                            "\"Content-Type: text/plain; charset=UTF-8\\n\"\r\n"
                            "\r\n"
                            "#. row 1\n"
                            "#: unit.pas:12\n"
                            "#, fuzzy, c-format\n"
                            "#| msgid \"old\"\n"
                            "msgctxt \"greet\"\n"
                            "msgid \"\"\n"
                            "\"Hello, \"\n"
                            "   \"world\\n\"\n"
                            "msgstr \"Hola, \" \n"
                            "\"mundo\\n\"\n"
                            "\n"
                            "msgid \"no context\"\n"
                            "msgstr \"sin contexto\"\n"
                            "msgctxt \"\"\n"
                            "msgid \"empty context\"\n"
                            "msgstr \"\"\n"
                            "\n"
                            "msgctxt \"esc\"\n"
                            "msgid \"q\\\" b\\\\ t\\t r\\r a\\a b\\b f\\f v\\v '\\' ?\\? o\\101\\0 x\\x41\\x7e\"\n"
                            "msgstr \"\\303\\251\"\n"
                            "\n"
                            "msgid \"one file\"\n"
                            "msgid_plural \"%d files\"\n"
                            "msgstr[0] \"un fichero\"\n"
                            "msgstr[1] \"%d ficheros\"\n"
                            "\n"
                            "#~ msgctxt \"gone\"\n"
                            "#~ msgid \"Gone \"\n"
                            "#~ \"away\"\n"
                            "#~ msgstr \"Ido\"\n";
    const TPoCatalog catalog = Parse(text);
    EXPECT_EQ(catalog.HeaderValue(QStringLiteral("project-id-version")), QStringLiteral("Demo"));
    ASSERT_EQ(catalog.Entries.size(), 6u);

    const TPoEntry &greet = catalog.Entries[0];
    EXPECT_TRUE(greet.HasContext);
    EXPECT_EQ(greet.Context, QStringLiteral("greet"));
    EXPECT_EQ(greet.Id, QStringLiteral("Hello, world\n"));
    EXPECT_EQ(greet.Translation(), QStringLiteral("Hola, mundo\n"));
    EXPECT_TRUE(greet.Fuzzy());
    EXPECT_EQ(greet.Flags, QStringList({QStringLiteral("fuzzy"), QStringLiteral("c-format")}));
    EXPECT_EQ(greet.Comment, QStringLiteral("row 1"));
    EXPECT_EQ(greet.Line, 11);

    EXPECT_FALSE(catalog.Entries[1].HasContext);
    EXPECT_EQ(catalog.Entries[1].Translation(), QStringLiteral("sin contexto"));
    EXPECT_FALSE(catalog.Entries[1].Fuzzy()) << "flags belong to the entry after them only";
    EXPECT_TRUE(catalog.Entries[2].HasContext);
    EXPECT_TRUE(catalog.Entries[2].Context.isEmpty());

    EXPECT_EQ(catalog.Entries[3].Id, QString::fromUtf8("q\" b\\ t\t r\r a\a b\b f\f v\v '' ?? oA").append(QChar(0))
                                         + QStringLiteral(" xA~"));
    EXPECT_EQ(catalog.Entries[3].Translation(), QString::fromUtf8("é"));

    EXPECT_EQ(catalog.Entries[4].IdPlural, QStringLiteral("%d files"));
    EXPECT_EQ(catalog.Entries[4].Strings.size(), 2);

    const TPoEntry &gone = catalog.Entries[5];
    EXPECT_TRUE(gone.Obsolete);
    EXPECT_EQ(gone.Context, QStringLiteral("gone"));
    EXPECT_EQ(gone.Id, QStringLiteral("Gone away"));
}

TEST(PoReader, DecodesTheHeadersCharsetAndRefusesUnknownOnesAndBadBytes)
{
    const QByteArray latin1 = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n"
                              "msgctxt \"a\"\nmsgid \"caf\xe9\"\nmsgstr \"Caf\xe9 \xbf\"\n";
    const TPoCatalog catalog = Parse(latin1);
    ASSERT_EQ(catalog.Entries.size(), 1u);
    EXPECT_EQ(catalog.Entries[0].Id, QString::fromUtf8("café"));
    EXPECT_EQ(catalog.Entries[0].Translation(), QString::fromUtf8("Café ¿"));

    const QByteArray koi8 = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=KOI8-R\\n\"\n\n"
                            "msgid \"yes\"\nmsgstr \"\xe4\xc1\"\n";
    EXPECT_EQ(Parse(koi8).Entries[0].Translation(), QString::fromUtf8("Да"));

    // The charsets gettext's tools write (its own list, in its spellings).
    for (const char *name : {"ASCII", "US-ASCII", "ISO-8859-2", "ISO-8859-15", "KOI8-U", "CP1250", "CP1251", "CP1252",
                             "windows-1252", "CP850", "CP866", "GB2312", "GBK", "GB18030", "EUC-JP", "EUC-KR",
                             "BIG5", "SHIFT_JIS", "TIS-620", "UTF-8", "utf8"}) {
        const QByteArray text = QByteArray("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=") + name
            + "\\n\"\n\nmsgid \"a\"\nmsgstr \"b\"\n";
        EXPECT_EQ(ErrorOf(text), QString()) << name;
    }

    // A template's placeholder charset: the texts are ASCII.
    EXPECT_EQ(Parse("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=CHARSET\\n\"\n").Entries.size(), 0u);

    const QString unknown = ErrorOf("# c\nmsgid \"\"\nmsgstr \"Content-Type: text/plain; charset=X-NONE-9\\n\"\n");
    EXPECT_TRUE(unknown.contains(QStringLiteral("t.po, line 2"))) << unknown.toStdString();
    EXPECT_TRUE(unknown.contains(QStringLiteral("\"X-NONE-9\" is not known"))) << unknown.toStdString();

    const QString bad = ErrorOf(Utf8Header + "msgid \"a\"\nmsgstr \"b\"\n\nmsgid \"c\"\nmsgstr \"\xff\xfe\"\n");
    EXPECT_TRUE(bad.contains(QStringLiteral("t.po, line 9: the text is not valid UTF-8"))) << bad.toStdString();
}

TEST(PoReader, NamesTheLineOfWhatIsNoPoFileACutFileOrBadSyntax)
{
    // A compiled catalog, a text file.
    EXPECT_TRUE(ErrorOf(QByteArray("\xde\x12\x04\x95\0\0\0\0", 8)).contains(QStringLiteral("is not a gettext .po file (line 1)")));
    EXPECT_TRUE(ErrorOf("Dear translator,\nplease\n").contains(QStringLiteral("is not a gettext .po file (line 1)")));
    EXPECT_TRUE(ErrorOf("").contains(QStringLiteral("is not a gettext .po file")));

    // Cut inside a string, or after an entry's msgid.
    const QString inString = ErrorOf(Utf8Header + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"half");
    EXPECT_TRUE(inString.contains(QStringLiteral("entry that begins on line 5 has no end"))) << inString.toStdString();
    const QString noStr = ErrorOf(Utf8Header + "msgid \"a\"\nmsgstr \"b\"\n\nmsgid \"c\"\n");
    EXPECT_TRUE(noStr.contains(QStringLiteral("line 8 has no end"))) << noStr.toStdString();

    // Wrong in the middle of a file: the line and what it holds.
    for (const QByteArray &wrong : {QByteArray("msgstr \"orphan\""), QByteArray("msgid \"open"),
                                    QByteArray("msgid \"bad \\q escape\""), QByteArray("msgid \"a\" trailing"),
                                    QByteArray("msgfoo \"x\""), QByteArray("msgid unquoted")}) {
        const QString error = ErrorOf(Utf8Header + "msgid \"a\"\nmsgstr \"b\"\n\n" + wrong + "\nmsgstr \"\"\n\n"
                                      + "msgid \"z\"\nmsgstr \"\"\n");
        EXPECT_TRUE(error.startsWith(QStringLiteral("t.po, line 8: this is no .po syntax"))) << wrong.toStdString()
                                                                                               << " " << error.toStdString();
    }
    // A long line is cut for the message, never inside a character.
    const QString cut = ErrorOf(Utf8Header + "msgid \"a\"\nmsgstr \"b\"\n\nmsgid \"" + QByteArray(52, 'x')
                                + "\xf0\x9f\x98\x80\xf0\x9f\x98\x80\" junk\n");
    EXPECT_TRUE(cut.contains(QStringLiteral("xxx...\nNothing was imported."))) << cut.toStdString();
    EXPECT_FALSE(cut.contains(QChar(0xFFFD))) << cut.toStdString();
    EXPECT_TRUE(cut.isValidUtf16());
    // Two msgstr, msgid twice.
    EXPECT_TRUE(ErrorOf(Utf8Header + "msgid \"a\"\nmsgstr \"b\"\nmsgstr \"c\"\n").contains(QStringLiteral("line 7")));
    EXPECT_TRUE(ErrorOf(Utf8Header + "msgctxt \"a\"\nmsgctxt \"b\"\nmsgid \"\"\nmsgstr \"\"\n").contains(QStringLiteral("line 6")));
}

class PoFiles : public ::testing::Test {
protected:
    QString Path(const char *name) const { return Dir.path() + QLatin1Char('/') + QLatin1String(name); }
    QString ReadError(const QString &path, qint64 limit = PoFileLimit)
    {
        try {
            ReadPoFile(path, limit);
        } catch (const EPoFileError &e) {
            return e.message();
        }
        return {};
    }
    QTemporaryDir Dir;
};

TEST_F(PoFiles, RefusesFilesOverTheLimitFifosAndFolders)
{
    QFile file(Path("big.po"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Utf8Header + "msgid \"a\"\nmsgstr \"b\"\n");
    file.close();
    EXPECT_TRUE(ReadError(file.fileName()).isEmpty());
    const QString big = ReadError(file.fileName(), 20);
    EXPECT_TRUE(big.contains(QStringLiteral("too large"))) << big.toStdString();
    EXPECT_TRUE(big.contains(QStringLiteral("Nothing was imported."))) << big.toStdString();

    // Nobody writes the pipe: the read must not wait for a writer.
    ASSERT_EQ(mkfifo(Path("pipe.po").toLocal8Bit().constData(), 0600), 0);
    const QString fifo = ReadError(Path("pipe.po"));
    EXPECT_TRUE(fifo.contains(QStringLiteral("not a regular file"))) << fifo.toStdString();
    EXPECT_FALSE(ReadError(Dir.path()).isEmpty());
    EXPECT_FALSE(ReadError(Path("missing.po")).isEmpty());
}

TEST(PoWriter, EveryTextReadsBackAsItWas)
{
    const QStringList texts = {QString(),
                               QStringLiteral("plain"),
                               QStringLiteral("\"quoted\" and \\back\\slashes\\"),
                               QStringLiteral("line\r\nbreaks\n\tand tabs\n"),
                               QStringLiteral("\n\nleading and inner\n\n"),
                               QString::fromUtf8("€ ñ Ωμέγα 日本語 😀"),
                               QString(QChar(1)) + QStringLiteral("7 bell\a del\x7f"),
                               QString(300, QLatin1Char('x'))};
    TPoCatalog catalog;
    catalog.Header = {{QStringLiteral("Project-Id-Version"), QStringLiteral("Demo")},
                      {QStringLiteral("Content-Type"), QStringLiteral("text/plain; charset=ISO-8859-1")}};
    for (int i = 0; i < texts.size(); ++i) {
        TPoEntry entry;
        entry.HasContext = true;
        entry.Context = texts[i] + QString::number(i);
        entry.Id = texts[i];
        entry.Strings << texts[(i + 1) % texts.size()];
        catalog.Entries.push_back(entry);
    }
    const QByteArray written = WritePo(catalog);
    EXPECT_TRUE(written.contains("charset=UTF-8")) << "the file is UTF-8 whatever the header said";
    const TPoCatalog read = Parse(written);
    EXPECT_EQ(read.HeaderValue(QStringLiteral("Project-Id-Version")), QStringLiteral("Demo"));
    ASSERT_EQ(read.Entries.size(), catalog.Entries.size());
    for (size_t i = 0; i < read.Entries.size(); ++i) {
        EXPECT_EQ(read.Entries[i].Context, catalog.Entries[i].Context) << i;
        EXPECT_EQ(read.Entries[i].Id, catalog.Entries[i].Id) << i;
        EXPECT_EQ(read.Entries[i].Translation(), catalog.Entries[i].Translation()) << i;
    }
}

} // namespace
