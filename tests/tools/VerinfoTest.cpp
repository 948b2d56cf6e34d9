// quorbel-verinfo run as a process on Windows files the test builds with the
// MinGW compilers: set, then read back by our reader and by python3-pefile;
// the other resources keep their bytes; the programs still run under Wine;
// damaged and unreadable files are refused and left as they were.
#include "PeBuilder.h"
#include "PeResources.h"
#include "VersionInfo.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TRun {
    int Status = -1;
    QString Out, Err;
};

TRun RunProgram(const QString &program, const QStringList &arguments, const QString &dir = {},
         const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(), int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.start(program, arguments);
    TRun r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.Err = QStringLiteral("timed out");
        return r;
    }
    r.Status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromUtf8(p.readAllStandardOutput());
    r.Err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

TRun VerinfoCli(const QStringList &arguments)
{
    return RunProgram(QStringLiteral(QUORBEL_VERINFO), arguments);
}

QByteArray Bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// pefile's view: the fixed versions, the strings, a hash of every resource
// leaf by type/name/language, the checksum's check and its warnings.
const char PefileScript[] = R"(
import hashlib, json, sys, pefile
p = pefile.PE(sys.argv[1])
out = {'warnings': p.get_warnings(), 'strings': {}, 'resources': {}, 'sections': len(p.sections)}
out['checksum_ok'] = p.verify_checksum() if p.OPTIONAL_HEADER.CheckSum else True
if hasattr(p, 'VS_FIXEDFILEINFO'):
    f = p.VS_FIXEDFILEINFO[0]
    out['fixed'] = [f.FileVersionMS, f.FileVersionLS, f.ProductVersionMS, f.ProductVersionLS]
for info in getattr(p, 'FileInfo', [[]])[0]:
    if info.Key == b'StringFileInfo':
        for t in info.StringTable:
            out['strings'][t.LangID.decode()] = {k.decode(): v.decode() for k, v in t.entries.items()}
def key(e):
    return str(e.name) if e.name is not None else str(e.id)
for t in getattr(p, 'DIRECTORY_ENTRY_RESOURCE', None).entries if hasattr(p, 'DIRECTORY_ENTRY_RESOURCE') else []:
    for n in t.directory.entries:
        for l in n.directory.entries:
            d = l.data.struct
            out['resources']['%s/%s/%s' % (key(t), key(n), key(l))] = hashlib.sha256(
                p.get_data(d.OffsetToData, d.Size)).hexdigest()
print(json.dumps(out))
)";

class VerinfoTest : public ::testing::Test {
protected:
    static inline QTemporaryDir *Built = nullptr;
    static inline QString Python;

    static QString In(const char *name) { return Built->path() + QLatin1Char('/') + QLatin1String(name); }

    // The test's programs: two of each kind, compiled once for all tests.
    static void SetUpTestSuite()
    {
        Built = new QTemporaryDir;
        for (const char *python : {"/usr/bin/python3", "python3"}) {
            if (RunProgram(QLatin1String(python), {QStringLiteral("-c"), QStringLiteral("import pefile")}).Status == 0) {
                Python = QLatin1String(python);
                break;
            }
        }
        Write(In("pecheck.py"), PefileScript);
        Write(In("app.c"), "#include <windows.h>\n#include <stdio.h>\n"
                           "int main(void) { char b[64]; LoadStringA(GetModuleHandle(0), 101, b, sizeof b);\n"
                           "  printf(\"hello %s\\n\", b); return 0; }\n");
        // Asks Wine's version.dll, as a Windows program would.
        Write(In("verget.c"), "#include <windows.h>\n#include <stdio.h>\n#include <stdlib.h>\n"
                              "int main(int argc, char **argv) { DWORD h, n = GetFileVersionInfoSizeA(argv[1], &h);\n"
                              "  char *b = malloc(n); VS_FIXEDFILEINFO *f; UINT l; char *s;\n"
                              "  if (!n || !GetFileVersionInfoA(argv[1], 0, n, b) || !VerQueryValueA(b, \"\\\\\", (void **)&f, &l)) return 1;\n"
                              "  printf(\"%u.%u.%u.%u\\n\", HIWORD(f->dwFileVersionMS), LOWORD(f->dwFileVersionMS),\n"
                              "         HIWORD(f->dwFileVersionLS), LOWORD(f->dwFileVersionLS));\n"
                              "  if (VerQueryValueA(b, argv[2], (void **)&s, &l)) printf(\"%s\\n\", s);\n"
                              "  return 0; }\n");
        Write(In("lib.c"), "__declspec(dllexport) int answer(void) { return 42; }\n");
        Write(In("app.manifest"), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                  "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
                                  "<assemblyIdentity version=\"1.0.0.0\" name=\"Test.App\" type=\"win32\"/></assembly>\n");
        // A 16x16 icon of 32 bits.
        QByteArray bmp;
        const auto put = [](QByteArray &b, uint32_t v, int n) {
            for (int i = 0; i < n; ++i)
                b.append(char((v >> (8 * i)) & 0xFF));
        };
        put(bmp, 40, 4), put(bmp, 16, 4), put(bmp, 32, 4), put(bmp, 1, 2), put(bmp, 32, 2);
        put(bmp, 0, 4), put(bmp, 16 * 16 * 4, 4), put(bmp, 0, 16);
        for (int i = 0; i < 256; ++i)
            put(bmp, 0xFFFF8000u, 4);
        bmp.append(QByteArray(64, '\0'));
        QByteArray ico;
        put(ico, 0, 2), put(ico, 1, 2), put(ico, 1, 2);
        ico.append(char(16)), ico.append(char(16)), ico.append(char(0)), ico.append(char(0));
        put(ico, 1, 2), put(ico, 32, 2), put(ico, uint32_t(bmp.size()), 4), put(ico, 22, 4);
        Write(In("icon.ico"), ico + bmp);
        Write(In("app.rc"), "1 ICON \"icon.ico\"\n1 24 \"app.manifest\"\nSTRINGTABLE { 101 \"Greetings\" }\n");
        Write(In("old.rc"), "1 ICON \"icon.ico\"\nSTRINGTABLE { 101 \"Greetings\" }\n"
                            "1 VERSIONINFO FILEVERSION 9,8,7,6 PRODUCTVERSION 9,8,0,0\n"
                            "BEGIN BLOCK \"StringFileInfo\" BEGIN BLOCK \"040704E4\" BEGIN\n"
                            "VALUE \"CompanyName\", \"Alt\"\nVALUE \"FileVersion\", \"9.8.7.6\"\nEND END\n"
                            "BLOCK \"VarFileInfo\" BEGIN VALUE \"Translation\", 0x0407, 1252 END END\n");
        for (const char *arch : {"x86_64", "i686"}) {
            for (const char *rc : {"app", "old"}) {
                const QString windres = QStringLiteral("%1-w64-mingw32-windres").arg(QLatin1String(arch));
                RunProgram(windres, {QStringLiteral("%1.rc").arg(QLatin1String(rc)), QStringLiteral("-O"), QStringLiteral("coff"),
                              QStringLiteral("-o"), QStringLiteral("%1-%2.o").arg(QLatin1String(rc), QLatin1String(arch))},
                    Built->path());
            }
        }
        const auto gcc = [](const char *arch, QStringList arguments) {
            RunProgram(QStringLiteral("%1-w64-mingw32-gcc").arg(QLatin1String(arch)), arguments, Built->path());
        };
        // The resource section last (no relocations after it) in a PE32+ program.
        gcc("x86_64", {"-s", "-Wl,--disable-reloc-section", "-o", "last64.exe", "app.c", "app-x86_64.o"});
        // Not last: debug sections and COFF symbols after it.
        gcc("x86_64", {"-g", "-o", "debug64.exe", "app.c", "app-x86_64.o"});
        // A PE32 program, relocations after the resources.
        gcc("i686", {"-s", "-o", "app32.exe", "app.c", "app-i686.o"});
        gcc("x86_64", {"-shared", "-s", "-o", "lib64.dll", "lib.c", "app-x86_64.o"});
        gcc("x86_64", {"-o", "verget.exe", "verget.c", "-lversion"});
        // Version information of its own, in German.
        gcc("i686", {"-s", "-o", "old32.exe", "app.c", "old-i686.o"});
    }

    static void TearDownTestSuite()
    {
        delete Built;
        Built = nullptr;
    }

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("x86_64-w64-mingw32-gcc")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("i686-w64-mingw32-gcc")).isEmpty())
            GTEST_SKIP() << "no MinGW compilers (Debian: gcc-mingw-w64-x86-64, gcc-mingw-w64-i686)";
        ASSERT_TRUE(QFile::exists(In("app32.exe"))) << "the MinGW build failed";
    }

    // A fresh copy of a built file in the test's own directory.
    QString Copy(const char *name)
    {
        const QString target = Dir.path() + QLatin1Char('/') + QLatin1String(name);
        QFile::remove(target);
        EXPECT_TRUE(QFile::copy(In(name), target));
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }

    QJsonObject Pefile(const QString &file)
    {
        const TRun r = RunProgram(Python, {In("pecheck.py"), file});
        EXPECT_EQ(r.Status, 0) << r.Err.toStdString();
        return QJsonDocument::fromJson(r.Out.toUtf8()).object();
    }

    static QString Text(const QString &file, const QString &path)
    {
        QByteArray data;
        uint32_t handle = 0;
        const uint32_t size = GetFileVersionInfoSize(file, handle);
        TVerValue value;
        if (size == 0 || !GetFileVersionInfo(file, handle, size, data) || !VerQueryValue(data, path, value))
            return QStringLiteral("<none>");
        if (value.Fixed)
            return FileVersionText(value.Fixed->FileVersionMS, value.Fixed->FileVersionLS) + QLatin1Char(' ')
                + FileVersionText(value.Fixed->ProductVersionMS, value.Fixed->ProductVersionLS);
        return value.Text;
    }

    static int Sections(const QByteArray &image)
    {
        const uint32_t pe = qFromLittleEndian<uint32_t>(image.constData() + 0x3C);
        return qFromLittleEndian<uint16_t>(image.constData() + pe + 6);
    }

    QTemporaryDir Dir;
};

// Every kind of file: set writes the values where both readers find them,
// keeps every other resource, and leaves a file pefile reads without a
// warning and with a valid checksum.
TEST_F(VerinfoTest, SetThenBothReadersSeeTheValuesAndOtherResourcesKeepTheirBytes)
{
    if (Python.isEmpty())
        GTEST_SKIP() << "python3-pefile is not installed";
    const struct {
        const char *Name;
        bool Last;
    } files[] = {{"last64.exe", true}, {"debug64.exe", false}, {"app32.exe", false}, {"lib64.dll", false},
                 {"old32.exe", false}};
    for (const auto &f : files) {
        SCOPED_TRACE(f.Name);
        const QString file = Copy(f.Name);
        const QByteArray before = Bytes(file);
        const QJsonObject old = Pefile(file);
        const QString out = file + QStringLiteral(".new");
        const TRun r = VerinfoCli({QStringLiteral("set"), file, QStringLiteral("-o"), out,
                                QStringLiteral("--file-version"), QStringLiteral("1.2.3.4"),
                                QStringLiteral("--product-version"), QStringLiteral("5,6"),
                                QStringLiteral("--string"), QStringLiteral("CompanyName=Ácme & Söhne"),
                                QStringLiteral("--string"), QStringLiteral("Empty=")});
        ASSERT_EQ(r.Status, 0) << r.Err.toStdString();
        EXPECT_EQ(Bytes(file), before) << "-o must leave the input alone";
        const QByteArray after = Bytes(out);
        EXPECT_EQ(Sections(after), Sections(before) + (f.Last ? 0 : 1));

        // A file with a block of its own keeps writing into it.
        const QString block = QLatin1String(f.Name) == QLatin1String("old32.exe") ? QStringLiteral("040704E4")
                                                                                    : QStringLiteral("040904B0");
        EXPECT_EQ(Text(out, QStringLiteral("\\")), QStringLiteral("1.2.3.4 5.6.0.0"));
        EXPECT_EQ(Text(out, QStringLiteral("\\StringFileInfo\\%1\\CompanyName").arg(block)), QStringLiteral("Ácme & Söhne"));
        EXPECT_EQ(Text(out, QStringLiteral("\\StringFileInfo\\%1\\FileVersion").arg(block)), QStringLiteral("1.2.3.4"));
        EXPECT_EQ(LoadStringResource(out, 101), QStringLiteral("Greetings"));

        const QJsonObject now = Pefile(out);
        EXPECT_TRUE(now[QStringLiteral("warnings")].toArray().isEmpty())
            << QJsonDocument(now[QStringLiteral("warnings")].toArray()).toJson().toStdString();
        EXPECT_TRUE(now[QStringLiteral("checksum_ok")].toBool());
        EXPECT_EQ(now[QStringLiteral("fixed")].toArray(), (QJsonArray{0x10002, 0x30004, 0x50006, 0}));
        const QJsonObject strings = now[QStringLiteral("strings")].toObject()[block].toObject();
        EXPECT_EQ(strings[QStringLiteral("CompanyName")].toString(), QStringLiteral("Ácme & Söhne"));
        EXPECT_EQ(strings[QStringLiteral("Empty")].toString(), QString());
        if (block == QStringLiteral("040704E4")) // the file's own string stays
            EXPECT_EQ(strings[QStringLiteral("FileVersion")].toString(), QStringLiteral("1.2.3.4"));

        QJsonObject kept = old[QStringLiteral("resources")].toObject(), got = now[QStringLiteral("resources")].toObject();
        for (const QString &key : kept.keys())
            if (key.startsWith(QStringLiteral("16/")))
                kept.remove(key);
        for (const QString &key : got.keys())
            if (key.startsWith(QStringLiteral("16/")))
                got.remove(key);
        EXPECT_EQ(got, kept);
        EXPECT_GE(kept.size(), 3); // icon, icon group, string table (and the manifest)
        // Every other section keeps its bytes where it was.
        const uint32_t pe = qFromLittleEndian<uint32_t>(before.constData() + 0x3C);
        const uint32_t table = pe + 24 + qFromLittleEndian<uint16_t>(before.constData() + pe + 20);
        for (int i = 0; i < Sections(before); ++i) {
            const char *header = before.constData() + table + 40 * i;
            const QByteArray name(header, int(qstrnlen(header, 8)));
            const uint32_t size = qFromLittleEndian<uint32_t>(header + 16), at = qFromLittleEndian<uint32_t>(header + 20);
            if (name != ".rsrc" && size > 0)
                EXPECT_TRUE(after.mid(at, size) == before.mid(at, size)) << name.constData();
        }
        // The COFF symbols after the sections are still found where the header says.
        const QString nm = QStringLiteral("x86_64-w64-mingw32-nm");
        const TRun symbols = RunProgram(nm, {file}), moved = RunProgram(nm, {out});
        EXPECT_EQ(moved.Out, symbols.Out);
        EXPECT_EQ(moved.Status, symbols.Status) << moved.Err.toStdString();

        // Written again, the resources are last and stay where they are.
        const TRun again = VerinfoCli({QStringLiteral("set"), out, QStringLiteral("--file-version"), QStringLiteral("7")});
        ASSERT_EQ(again.Status, 0) << again.Err.toStdString();
        EXPECT_EQ(Sections(Bytes(out)), Sections(after));
        EXPECT_EQ(Text(out, QStringLiteral("\\")), QStringLiteral("7.0.0.0 5.6.0.0"));
    }
}

// What a loader reads stays as it was; this runs everywhere, Wine or not.
TEST_F(VerinfoTest, ChangedProgramsKeepTheirEntryImportsAndKind)
{
    for (const char *name : {"last64.exe", "debug64.exe", "app32.exe", "lib64.dll"}) {
        SCOPED_TRACE(name);
        const QString file = Copy(name);
        const TPeHeaders before = ReadPeHeaders(file);
        ASSERT_EQ(VerinfoCli({QStringLiteral("set"), file, QStringLiteral("--string"), QStringLiteral("A=b")}).Status, 0);
        const TPeHeaders after = ReadPeHeaders(file);
        ASSERT_TRUE(after.Valid);
        EXPECT_EQ(after.Machine, before.Machine);
        EXPECT_EQ(after.Magic, before.Magic);
        EXPECT_EQ(after.EntryPoint, before.EntryPoint);
        EXPECT_EQ(after.Imports, before.Imports);
        EXPECT_EQ(after.Characteristics, before.Characteristics);
        EXPECT_TRUE(after.HasResources);
    }
}

// Skipped where Wine cannot start a program (no wine64, or a home it cannot
// use); the test above checks the structure there.
TEST_F(VerinfoTest, ChangedProgramsStillRunUnderWine)
{
    if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty())
        GTEST_SKIP() << "no wine (Debian: wine64)";
    QTemporaryDir prefix;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix.path());
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    env.remove(QStringLiteral("DISPLAY"));
    const QString plain = Copy("last64.exe");
    const TRun original = RunProgram(QStringLiteral("wine"), {plain}, Dir.path(), env, 180000);
    if (original.Status != 0 || !original.Out.contains(QStringLiteral("hello Greetings")))
        GTEST_SKIP() << "wine cannot start a program here: " << original.Err.left(300).toStdString();
    for (const char *name : {"last64.exe", "debug64.exe", "app32.exe"}) {
        SCOPED_TRACE(name);
        const QString file = Copy(name);
        // A Wine of 64 bits alone (no wine32) starts no 32-bit program.
        if (!RunProgram(QStringLiteral("wine"), {file}, Dir.path(), env, 180000).Out.contains(QStringLiteral("hello"))) {
            std::printf("wine cannot start %s here, not even unchanged: skipped\n", name);
            continue;
        }
        ASSERT_EQ(VerinfoCli({QStringLiteral("set"), file, QStringLiteral("--file-version"), QStringLiteral("3.1")}).Status, 0);
        const TRun r = RunProgram(QStringLiteral("wine"), {file}, Dir.path(), env, 180000);
        EXPECT_EQ(r.Status, 0) << r.Err.left(500).toStdString();
        EXPECT_TRUE(r.Out.contains(QStringLiteral("hello Greetings"))) << r.Out.toStdString();
    }
    // Wine's own version.dll reads what was written, into a program and a library.
    for (const char *name : {"debug64.exe", "lib64.dll"}) {
        SCOPED_TRACE(name);
        const QString file = Copy(name);
        ASSERT_EQ(VerinfoCli({QStringLiteral("set"), file, QStringLiteral("--file-version"), QStringLiteral("4.3.2.1"),
                              QStringLiteral("--string"), QStringLiteral("CompanyName=Wine reads it")})
                      .Status,
                  0);
        const TRun r = RunProgram(QStringLiteral("wine"),
                                  {In("verget.exe"), file, QStringLiteral("\\StringFileInfo\\040904B0\\CompanyName")},
                                  Dir.path(), env, 180000);
        EXPECT_EQ(r.Status, 0) << r.Err.left(500).toStdString();
        EXPECT_EQ(QString(r.Out).remove(QLatin1Char('\r')), QStringLiteral("4.3.2.1\nWine reads it\n"));
    }
}

TEST_F(VerinfoTest, ShowPrintsTheRecordAsTextAndJsonAndRefusesFilesWithout)
{
    const QString file = Copy("old32.exe");
    const TRun text = VerinfoCli({QStringLiteral("show"), file});
    ASSERT_EQ(text.Status, 0) << text.Err.toStdString();
    EXPECT_TRUE(text.Out.contains(QStringLiteral("File version:    9.8.7.6"))) << text.Out.toStdString();
    EXPECT_TRUE(text.Out.contains(QStringLiteral("Translation:     0x0407 1252")));
    EXPECT_TRUE(text.Out.contains(QStringLiteral("  CompanyName = Alt")));

    const TRun json = VerinfoCli({QStringLiteral("show"), file, QStringLiteral("--json")});
    ASSERT_EQ(json.Status, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.Out.toUtf8()).object();
    EXPECT_EQ(o[QStringLiteral("fixed")][QStringLiteral("productVersion")].toString(), QStringLiteral("9.8.0.0"));
    EXPECT_EQ(o[QStringLiteral("translations")][0][QStringLiteral("language")].toInt(), 0x0407);
    EXPECT_EQ(o[QStringLiteral("stringTables")][0][QStringLiteral("block")].toString(), QStringLiteral("040704E4"));
    EXPECT_EQ(o[QStringLiteral("stringTables")][0][QStringLiteral("strings")][QStringLiteral("CompanyName")].toString(),
              QStringLiteral("Alt"));

    const TRun none = VerinfoCli({QStringLiteral("show"), Copy("app32.exe")});
    EXPECT_EQ(none.Status, 1);
    EXPECT_TRUE(none.Err.contains(QStringLiteral("no version information"))) << none.Err.toStdString();
    const TRun notPe = VerinfoCli({QStringLiteral("show"), In("app.c")});
    EXPECT_EQ(notPe.Status, 1);
    EXPECT_TRUE(notPe.Err.contains(QStringLiteral("not a Windows program file"))) << notPe.Err.toStdString();
    EXPECT_EQ(VerinfoCli({QStringLiteral("set"), file, QStringLiteral("--file-version"), QStringLiteral("1.x")}).Status, 2);
}

// Each refusal: exit 1, the reason, the file as it was and nothing beside it.
class VerinfoRefusal : public VerinfoTest {
protected:
    void ExpectRefused(const QString &file, const char *reason, const QStringList &extra = {})
    {
        // A FIFO is not opened here either: that would wait for a writer.
        const QFileInfo info(file);
        const QByteArray before = info.isFile() && info.size() < (1 << 30) ? Bytes(file) : QByteArray();
        const QStringList entries = QDir(Dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        const TRun r = VerinfoCli(QStringList{QStringLiteral("set"), file, QStringLiteral("--file-version"), QStringLiteral("2.0")} + extra);
        EXPECT_EQ(r.Status, 1) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(QLatin1String(reason))) << r.Err.toStdString();
        if (!before.isEmpty())
            EXPECT_EQ(Bytes(file), before);
        EXPECT_EQ(QDir(Dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entries);
    }
};

TEST_F(VerinfoRefusal, FilesCutAtEverySectionBoundary)
{
    const QByteArray whole = Bytes(In("debug64.exe"));
    const uint32_t pe = qFromLittleEndian<uint32_t>(whole.constData() + 0x3C);
    const int count = Sections(whole);
    const uint32_t table = pe + 24 + qFromLittleEndian<uint16_t>(whole.constData() + pe + 20);
    int tried = 0;
    for (int i = 0; i < count; ++i) {
        const uint32_t raw = qFromLittleEndian<uint32_t>(whole.constData() + table + 40 * i + 20);
        const uint32_t size = qFromLittleEndian<uint32_t>(whole.constData() + table + 40 * i + 16);
        if (size == 0)
            continue;
        SCOPED_TRACE(i);
        const QString file = Dir.path() + QStringLiteral("/cut.exe");
        Write(file, whole.left(raw));
        ExpectRefused(file, "the file is cut");
        ++tried;
    }
    EXPECT_GE(tried, 10);
    const QString headers = Dir.path() + QStringLiteral("/headers.exe");
    Write(headers, whole.left(int(table) + 20));
    ExpectRefused(headers, "cut inside its section table");
}

TEST_F(VerinfoRefusal, OverlappingSectionsALoopingTreeAndSignedFiles)
{
    QByteArray image = Bytes(In("app32.exe"));
    const uint32_t pe = qFromLittleEndian<uint32_t>(image.constData() + 0x3C);
    const uint32_t optional = pe + 24;
    const uint32_t table = optional + qFromLittleEndian<uint16_t>(image.constData() + pe + 20);
    const QString file = Dir.path() + QStringLiteral("/bad.exe");

    // The second section's file data starts inside the first's.
    QByteArray overlap = image;
    qToLittleEndian<uint32_t>(qFromLittleEndian<uint32_t>(image.constData() + table + 20) + 0x10,
                              overlap.data() + table + 40 + 20);
    Write(file, overlap);
    ExpectRefused(file, "overlap in the file");

    // The root's first type points back at the root.
    const uint32_t rootRva = qFromLittleEndian<uint32_t>(image.constData() + optional + 96 + 16);
    uint32_t rootAt = 0;
    for (int i = 0; i < Sections(image); ++i) {
        const char *s = image.constData() + table + 40 * i;
        if (qFromLittleEndian<uint32_t>(s + 12) == rootRva)
            rootAt = qFromLittleEndian<uint32_t>(s + 20);
    }
    ASSERT_NE(rootAt, 0u);
    QByteArray loop = image;
    qToLittleEndian<uint32_t>(0x80000000u, loop.data() + rootAt + 16 + 4);
    Write(file, loop);
    ExpectRefused(file, "the resource directory loops");

    // A certificate table at the end: refused, then dropped when asked.
    QByteArray signedImage = image + QByteArray(16, 'S');
    qToLittleEndian<uint32_t>(uint32_t(image.size()), signedImage.data() + optional + 96 + 32);
    qToLittleEndian<uint32_t>(16, signedImage.data() + optional + 96 + 36);
    Write(file, signedImage);
    ExpectRefused(file, "breaks the signature");
    const TRun r = VerinfoCli({QStringLiteral("set"), file, QStringLiteral("--file-version"), QStringLiteral("2"),
                            QStringLiteral("--remove-signature")});
    EXPECT_EQ(r.Status, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(QStringLiteral("signature was removed")));
    const QByteArray unsignedImage = Bytes(file);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(unsignedImage.constData() + optional + 96 + 36), 0u);
    EXPECT_FALSE(unsignedImage.endsWith(QByteArray(16, 'S')));
    EXPECT_EQ(Text(file, QStringLiteral("\\")), QStringLiteral("2.0.0.0 0.0.0.0"));
}

TEST_F(VerinfoRefusal, AFifoAndAHugeSparseFileAreNotRead)
{
    const QString fifo = Dir.path() + QStringLiteral("/pipe.exe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ExpectRefused(fifo, "not a regular file");

    const QString huge = Dir.path() + QStringLiteral("/huge.exe");
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Bytes(In("app32.exe")));
        ASSERT_TRUE(f.resize(qint64(3) << 30));
    }
    ExpectRefused(huge, "too large");
    EXPECT_EQ(QFileInfo(huge).size(), qint64(3) << 30);
}

} // namespace
