// dcc32 is run as the language library generator runs it: as a process, in
// the project's directory, judged by the .dll it leaves. Resources come from
// the real brcc32.
#include "PeBuilder.h"
#include "VersionInfo.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct TRun {
    int exitCode = -1;
    QString errors;
};

TRun runTool(const char *tool, const QString &dir, const QStringList &args,
             const QString &variable = {}, const QString &value = {})
{
    QProcess p;
    p.setProgram(QString::fromUtf8(tool));
    p.setArguments(args);
    p.setWorkingDirectory(dir);
    if (!variable.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(variable, value);
        p.setProcessEnvironment(env);
    }
    p.start();
    EXPECT_TRUE(p.waitForFinished(60000)) << tool << " did not finish";
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardError())};
}

class Dcc32 : public ::testing::Test {
protected:
    QString path(const QString &name) const { return FDir.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    // A .res compiled by brcc32 from a string table script.
    void resource(const QString &stem, const QByteArray &table) const
    {
        write(stem + ".rc", "STRINGTABLE\r\n{\r\n" + table + "}\r\n");
        const TRun run = runTool(QUORBEL_BRCC32, FDir.path(), {stem + ".rc"});
        ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    }
    TRun dcc(const QStringList &args, const QString &variable = {}, const QString &value = {}) const
    {
        return runTool(QUORBEL_DCC32, FDir.path(), args, variable, value);
    }
    // Everything in the directory apart from what the test put there.
    QStringList outputs(const QStringList &inputs) const
    {
        QStringList names = QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        for (const QString &input : inputs)
            names.removeAll(input);
        return names;
    }
    QTemporaryDir FDir;
};

TEST_F(Dcc32, GeneratedLibraryProjectLinksItsResourcesIntoTheDll)
{
    resource("Englisty", "1,\t\t\"Hola \"\"amigo\"\"\"\r\n17,\t\t\"C:\\\\dir\"\r\n");
    resource("extra", "40,\t\t\"\xd0\x9f\xd1\x80\xd0\xbe\"\r\n");
    write("Englisty.dpr", "{*****\r\n  Englisty.dpr\r\n*****}\r\nLibrary Englisty;\r\n\r\n"
                          "uses WinProcs;\r\n{$R Englisty}\r\n(* more *) {$R EXTRA.RES} // last\r\n"
                          "\r\nbegin\r\nend.\r\n\r\n");

    const TRun run = dcc({"Englisty.dpr"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QString dll = path("Englisty.dll");
    EXPECT_EQ(LoadStringResource(dll, 1), QString("Hola \"amigo\""));
    EXPECT_EQ(LoadStringResource(dll, 17), QString("C:\\dir"));
    EXPECT_EQ(LoadStringResource(dll, 40), QString("\u041f\u0440\u043e"));
    EXPECT_EQ(LoadStringResource(dll, 2), QString());
    EXPECT_EQ(LoadStringResource(dll, 100), std::nullopt);
    EXPECT_EQ(outputs({"Englisty.rc", "Englisty.res", "extra.rc", "extra.res", "Englisty.dpr"}),
              QStringList{"Englisty.dll"});
}

// The generated unit loads the library with LoadLibrary from a 32-bit
// program: PE32 for i386 by default, PE32+ only when asked. Either way it is
// what a loader maps without running anything: no entry routine, no imports.
TEST_F(Dcc32, LinksA32BitLibraryByDefaultAndA64BitOneWhenAsked)
{
    resource("L", "7,\t\t\"siete\"\r\n");
    write("L.dpr", "Library L;\r\nuses WinProcs;\r\n{$R L}\r\nbegin\r\nend.\r\n");
    const struct {
        QStringList args;
        QString variable, value; // an override of the tools
        uint16_t machine, magic;
    } cases[] = {
        {{"L.dpr"}, {}, {}, 0x14C, 0x10B},
        {{"--pe32plus", "L.dpr"}, {}, {}, 0x8664, 0x20B},
        // Another windres named still makes objects of the library's kind.
        {{"L.dpr"}, "QUORBEL_WINDRES", "x86_64-w64-mingw32-windres", 0x14C, 0x10B},
    };
    for (const auto &c : cases) {
        const TRun run = dcc(c.args, c.variable, c.value);
        ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
        const TPeHeaders pe = ReadPeHeaders(path("L.dll"));
        ASSERT_TRUE(pe.Valid) << c.args.join(' ').toStdString();
        EXPECT_EQ(pe.Machine, c.machine) << c.args.join(' ').toStdString();
        EXPECT_EQ(pe.Magic, c.magic) << c.args.join(' ').toStdString();
        EXPECT_TRUE(pe.Characteristics & 0x2000) << "not marked a DLL";
        EXPECT_EQ(pe.EntryPoint, 0u);
        EXPECT_EQ(pe.Imports, 0);
        EXPECT_TRUE(pe.HasResources);
        EXPECT_EQ(LoadStringResource(path("L.dll"), 7), QString("siete"));
    }
    // What file(1) says, where it is installed.
    QProcess file;
    file.start("file", {"-b", path("L.dll")});
    if (file.waitForFinished(10000) && file.exitCode() == 0) {
        EXPECT_TRUE(file.readAll().startsWith("PE32 executable (DLL)"));
    }
}

TEST_F(Dcc32, AnythingButAResourceOnlyLibraryIsRefusedAtItsLineAndTouchesNothing)
{
    resource("Demo", "1, \"x\"\r\n");
    write("Demo.dll", "built earlier");
    const struct {
        QByteArray project;
        QString message;
    } cases[] = {
        {"{ a program }\r\nprogram Demo;\r\nbegin\r\nend.\r\n",
         "Demo.dpr(2): \"library\" expected but \"program\" found"},
        {"library Demo;\r\n{$R Demo}\r\nbegin\r\n  Beep;\r\nend.\r\n",
         "Demo.dpr(4): a resource-only library has no statements"},
        {"library Demo;\r\n{$IFDEF X}\r\n{$R Demo}\r\nbegin\r\nend.\r\n",
         "Demo.dpr(2): unsupported directive {$IFDEF X}"},
        {"library Demo;\r\nuses WinProcs\r\n{$R Demo}\r\nbegin\r\nend.\r\n",
         "Demo.dpr(4): \";\" expected but \"begin\" found"},
        // A name of several words still ends at ";".
        {"library US Demo\r\n{$R Demo}\r\nbegin\r\nend.\r\n",
         "Demo.dpr(3): \";\" expected but \"begin\" found"},
        {"library Demo;\r\nbegin\r\nend.\r\n", "Demo.dpr(3): no resource to link"},
        {"library Demo;\r\n{ never closed\r\n", "Demo.dpr(2): unterminated comment"},
    };
    for (const auto &c : cases) {
        write("Demo.dpr", c.project);
        const TRun run = dcc({"Demo.dpr"});
        EXPECT_EQ(run.exitCode, 1) << c.project.constData();
        EXPECT_TRUE(run.errors.startsWith(c.message)) << run.errors.toStdString();
        QFile old(path("Demo.dll"));
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), "built earlier");
    }
    EXPECT_EQ(outputs({"Demo.rc", "Demo.res", "Demo.dpr"}), QStringList{"Demo.dll"});
}

TEST_F(Dcc32, FailedLinkLeavesNoDllNotEvenAnOldOne)
{
    write("B.dpr", "Library B;\r\nuses WinProcs;\r\n{$R B}\r\nbegin\r\nend.\r\n");
    write("B.dll", "built earlier");

    TRun run = dcc({"B.dpr"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.startsWith("B.dpr(3): resource file")) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("B.res not found")) << run.errors.toStdString();
    EXPECT_TRUE(outputs({"B.dpr"}).isEmpty()) << outputs({"B.dpr"}).join(' ').toStdString();

    // A resource file that is none: windres refuses it.
    write("B.res", "not a resource file");
    run = dcc({"B.dpr"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(outputs({"B.dpr", "B.res"}).isEmpty());

    resource("B", "1, \"x\"\r\n");
    run = dcc({"B"}, "QUORBEL_LD", "/nonexistent/ld");
    EXPECT_EQ(run.exitCode, 127);
    EXPECT_TRUE(run.errors.contains("binutils-mingw-w64-i686")) << run.errors.toStdString();
    EXPECT_TRUE(outputs({"B.dpr", "B.rc", "B.res"}).isEmpty());
    run = dcc({"--pe32plus", "B"}, "QUORBEL_LD", "/nonexistent/ld");
    EXPECT_EQ(run.exitCode, 127);
    EXPECT_TRUE(run.errors.contains("binutils-mingw-w64-x86-64")) << run.errors.toStdString();

    run = dcc({});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains("usage")) << run.errors.toStdString();
}

TEST(Brcc32StringTable, TextsArriveWholeFromWindows1252AndFromUtf8Scripts)
{
    QTemporaryDir dir;
    const auto compile = [&](const QString &stem, const QByteArray &script) {
        QFile f(dir.filePath(stem + ".rc"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(script);
        f.close();
        const TRun run = runTool(QUORBEL_BRCC32, dir.path(), {stem + ".rc"});
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
        return dir.filePath(stem + ".res");
    };
    const QString ansi = compile("ansi", "STRINGTABLE\r\n{\r\n1,\t\t\"Ca\xf1" "a \x80 \x93x\x94\"\r\n}\r\n");
    EXPECT_EQ(LoadStringResource(ansi, 1), QString("Ca\u00f1a \u20ac \u201cx\u201d"));
    const QString utf8 = compile("utf8", QString("STRINGTABLE\r\n{\r\n1,\t\t\"Ca\u00f1a \u0416\"\r\n"
                                                 "2,\t\t\"\"\"\\\\\"\r\n}\r\n").toUtf8());
    EXPECT_EQ(LoadStringResource(utf8, 1), QString("Ca\u00f1a \u0416"));
    EXPECT_EQ(LoadStringResource(utf8, 2), QString("\"\\"));
}

} // namespace
