// brcc32 is run as the version and language tools run it: as a process, in
// the script's directory, judged by the .res it leaves.
#include "VersionInfo.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct TRun {
    int exitCode = -1;
    QString errors;
};

TRun runBrcc(const QString &dir, const QStringList &args, const QString &windres = QString())
{
    QProcess p;
    p.setProgram(QStringLiteral(QUORBEL_BRCC32));
    p.setArguments(args);
    p.setWorkingDirectory(dir);
    if (!windres.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUORBEL_WINDRES"), windres);
        p.setProcessEnvironment(env);
    }
    p.start();
    EXPECT_TRUE(p.waitForFinished(60000)) << "brcc32 did not finish";
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardError())};
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// A script the way the version editor writes one: CR LF, and Windows-1252
// unless a value needs UTF-8, which then holds the whole script.
QString versionScript(const QString &copyright, const QString &comments = "Quorbel")
{
    return "// Resource Version (Don\u00b4t modify)\r\n"
           "1 VERSIONINFO\r\n FILEVERSION 1,2,0,7\r\n PRODUCTVERSION 1,2,0,7\r\n"
           " FILEOS 0x40004L\r\n FILETYPE 0x2L\r\n{\r\n"
           "    BLOCK \"StringFileInfo\"\r\n    {\r\n        BLOCK \"040904E4\"\r\n        {\r\n"
           "            VALUE \"Comments\", \"" + comments + "\\0\"\r\n"
           "            VALUE \"CompanyName\", \"Quorbel Demo\\0\"\r\n"
           "            VALUE \"LegalCopyright\", \"" + copyright + "\\0\"\r\n"
           "        }\r\n    }\r\n"
           "    BLOCK \"VarFileInfo\"\r\n    {\r\n        VALUE \"Translation\", 0x0409,1252\r\n    }\r\n"
           "}\r\n";
}

// Windows-1252 and Latin-1 agree on every character these tests use.
QByteArray ansi(const QString &text)
{
    return text.toLatin1();
}

class Brcc32 : public ::testing::Test {
protected:
    QString path(const QString &name) const { return FDir.filePath(name); }
    // Anything besides the scripts and the expected output, such as a
    // temporary file left behind.
    QStringList entries() const { return QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden); }
    QTemporaryDir FDir;
};

TEST_F(Brcc32, VersionScriptCompilesInPlaceAndStaysUnchanged)
{
    const QByteArray script = ansi(versionScript(QStringLiteral("\u00a9 2024 Quorbel Demo")));
    ASSERT_TRUE(script.contains("\xa9 2024") && script.contains("Don\xb4t"));
    writeBytes(path("version.rc"), script);

    const TRun run = runBrcc(FDir.path(), {"version.rc", "-r"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QByteArray res = readBytes(path("version.res"));
    EXPECT_TRUE(res.contains(utf16("Quorbel Demo")));
    // Byte 0xA9 read as Windows-1252, not as broken UTF-8.
    EXPECT_TRUE(res.contains(utf16(QStringLiteral("\u00a9 2024 Quorbel Demo"))));
    EXPECT_EQ(readBytes(path("version.rc")), script);
    EXPECT_EQ(entries(), QStringList({"version.rc", "version.res"}));
}

TEST_F(Brcc32, Utf8ScriptIsReadAsUtf8)
{
    const QString russian = QStringLiteral("Проекты");
    writeBytes(path("version.rc"), versionScript("(c)", russian).toUtf8());

    const TRun run = runBrcc(FDir.path(), {"-r", "version.rc"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(readBytes(path("version.res")).contains(utf16(russian)));
}

// The code page is chosen from the whole script: text whose first non-ASCII
// character comes after kilobytes of ASCII is read as what it is.
TEST_F(Brcc32, CodePageIsChosenFromTheWholeScriptNotItsStart)
{
    QByteArray ascii;
    while (ascii.size() < 6 * 1024)
        ascii += "// a comment line of plain ASCII text, long enough to fill kilobytes\r\n";
    const QString text = QStringLiteral("Ca\u00f1a \u20ac");
    const struct {
        const char *name;
        QByteArray script;
        QString read;
    } cases[] = {
        {"utf8", ascii + "STRINGTABLE\r\n{\r\n 1, \"" + (text + QStringLiteral(" \u0416")).toUtf8()
                     + "\"\r\n}\r\n",
         text + QStringLiteral(" \u0416")},
        {"ansi", ascii + "STRINGTABLE\r\n{\r\n 1, \"Ca\xf1" "a \x80\"\r\n}\r\n", text},
    };
    for (const auto &c : cases) {
        const auto high = std::find_if(c.script.begin(), c.script.end(),
                                       [](char b) { return static_cast<unsigned char>(b) >= 0x80; });
        ASSERT_GT(high - c.script.begin(), 5 * 1024) << c.name;
        writeBytes(path(QString::fromLatin1(c.name) + ".rc"), c.script);
        const TRun run = runBrcc(FDir.path(), {QString::fromLatin1(c.name) + ".rc"});
        ASSERT_EQ(run.exitCode, 0) << c.name << ": " << run.errors.toStdString();
        EXPECT_EQ(LoadStringResource(path(QString::fromLatin1(c.name) + ".res"), 1), c.read) << c.name;
    }
}

TEST_F(Brcc32, StringTableWithoutOptions)
{
    writeBytes(path("B.rc"), "STRINGTABLE\r\n{\r\n 1, \"Abrir proyecto\"\r\n 2, \"Cerrar\"\r\n}\r\n");

    const TRun run = runBrcc(FDir.path(), {"B.rc"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(readBytes(path("B.res")).contains(utf16("Abrir proyecto")));
}

TEST_F(Brcc32, IncludesResolveAgainstTheScriptsDirectory)
{
    ASSERT_TRUE(QDir(FDir.path()).mkpath("sub/inc"));
    writeBytes(path("sub/inc/names.h"), "#define GREETING \"Hola\"\n");
    writeBytes(path("sub/data.bin"), "payload");
    writeBytes(path("sub/x.rc"), "#include \"inc/names.h\"\nSTRINGTABLE\n{\n 1, GREETING\n}\n"
                                 "2 RCDATA \"data.bin\"\n");

    // Started elsewhere, as a user would from a shell.
    const TRun run = runBrcc(FDir.path(), {"sub/x.rc"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QByteArray res = readBytes(path("sub/x.res"));
    EXPECT_TRUE(res.contains(utf16("Hola")));
    EXPECT_TRUE(res.contains("payload"));
}

TEST_F(Brcc32, FailedCompileLeavesNoResEvenAnOldOne)
{
    const QByteArray script = "1 VERSIONINFO\r\n{\r\n BLOCK\r\n";
    writeBytes(path("version.rc"), script);
    writeBytes(path("version.res"), "compiled by an earlier run");

    const TRun run = runBrcc(FDir.path(), {"version.rc", "-r"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains("syntax error")) << run.errors.toStdString();
    EXPECT_EQ(entries(), QStringList({"version.rc"}));
    EXPECT_EQ(readBytes(path("version.rc")), script);
}

TEST_F(Brcc32, ClearErrorsWithoutScriptOrCompiler)
{
    TRun run = runBrcc(FDir.path(), {});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains("usage")) << run.errors.toStdString();

    run = runBrcc(FDir.path(), {"missing.rc", "-r"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains("missing.rc")) << run.errors.toStdString();

    writeBytes(path("version.rc"), ansi(versionScript("(c)")));
    writeBytes(path("version.res"), "old");
    run = runBrcc(FDir.path(), {"version.rc", "-r"}, "/nonexistent");
    EXPECT_EQ(run.exitCode, 127);
    EXPECT_TRUE(run.errors.contains("binutils-mingw-w64-x86-64")) << run.errors.toStdString();
    EXPECT_EQ(entries(), QStringList({"version.rc"}));
}

TEST_F(Brcc32, DemoScriptCompiles)
{
    const QString demo = QStringLiteral(QUORBEL_SOURCE_DIR "/examples/demo/Demo.rc");
    ASSERT_TRUE(QFile::copy(demo, path("Demo.rc")));

    const TRun run = runBrcc(FDir.path(), {"Demo.rc", "-r"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QByteArray res = readBytes(path("Demo.res"));
    EXPECT_TRUE(res.contains(utf16("PrivateBuild")));
    EXPECT_TRUE(res.contains(utf16(QStringLiteral("\u00a9"))));
}

} // namespace
