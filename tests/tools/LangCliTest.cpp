// quorbel-lang run as a process on a project's string table: export, import
// and the untranslated report, their exit codes and their refusals.
#include "core/DM.h"

#include "Registry.h"
#include "TableStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString Key = QStringLiteral("Software\\Borland\\Delphi\\2.0\\ExpLang");

struct TResult {
    int Status = -1;
    QString Out, Err;
};

class LangCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(LangDir());
        QFile dpr(Project() + QStringLiteral("/Demo.dpr"));
        ASSERT_TRUE(dpr.open(QIODevice::WriteOnly));
        dpr.write("program Demo;\nbegin\nend.\n");
        dpr.close();
        CreateLanguageTable(LangDir());
        TTable table;
        Open(table);
        Add(table, QStringLiteral("greet"), QStringLiteral("Hello"), QStringLiteral("Hola"));
        Add(table, QStringLiteral("bye"), QStringLiteral("Goodbye"), QString());
        Add(table, QStringLiteral("quit"), QStringLiteral("Quit \"now\"\n"), QString());
        Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("L1"), QStringLiteral("English"));
        Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("L2"), QStringLiteral("Español"));
    }
    QString Project() const { return Dir.path() + QStringLiteral("/demo"); }
    QString LangDir() const { return Project() + QStringLiteral("/LANG"); }
    QString Path(const char *name) const { return Dir.path() + QLatin1Char('/') + QLatin1String(name); }

    void Open(TTable &table) const
    {
        table.DatabaseName = LangDir();
        table.TableName = QStringLiteral("language.db");
        table.Open();
    }
    static void Add(TTable &table, const QString &id, const QString &l1, const QString &l2)
    {
        table.Append();
        table.FieldByName(QStringLiteral("idst"))->SetAsString(id);
        table.FieldByName(QStringLiteral("L1"))->SetAsString(l1);
        table.FieldByName(QStringLiteral("L2"))->SetAsString(l2);
        table.Post();
    }
    QString Spanish(const QString &id) const
    {
        TTable table;
        Open(table);
        return table.Locate(QStringLiteral("idst"), id) ? table.FieldByName(QStringLiteral("L2"))->AsString()
                                                         : QStringLiteral("<none>");
    }
    QByteArray TableHash() const
    {
        QFile file(LangDir() + QStringLiteral("/language.db"));
        return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                              : QByteArray();
    }
    static TResult Lang(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(QUORBEL_LANG), arguments);
        TResult result;
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.Out = QString::fromUtf8(process.readAllStandardOutput());
        result.Err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }
    static void Write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir Dir;
};

TEST_F(LangCli, ExportsImportsAndReportsOnTheProjectsTable)
{
    const QString po = Path("es.po");
    TResult run = Lang({QStringLiteral("export"), Project(), QStringLiteral("--language"), QStringLiteral("Español"),
                        QStringLiteral("-o"), po});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("Exported 3 strings of Español"))) << run.Out.toStdString();
    QFile file(po);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_TRUE(written.contains("Project-Id-Version: Demo\\n")) << written.constData();
    EXPECT_TRUE(written.contains("Language: es\\n"));
    QProcess msgfmt;
    msgfmt.start(QStringLiteral("msgfmt"), {QStringLiteral("--check-format"), QStringLiteral("--check-header"),
                                            QStringLiteral("-o"), QStringLiteral("/dev/null"), po});
    ASSERT_TRUE(msgfmt.waitForFinished(30000));
    EXPECT_EQ(msgfmt.exitCode(), 0) << msgfmt.readAllStandardError().constData();

    // The template, for msginit and msgmerge: no translations in it.
    const QString pot = Path("demo.pot");
    run = Lang({QStringLiteral("export"), Project(), QStringLiteral("--template"), QStringLiteral("-o"), pot});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    QFile templ(pot);
    ASSERT_TRUE(templ.open(QIODevice::ReadOnly));
    const QByteArray potText = templ.readAll();
    EXPECT_TRUE(potText.contains("msgctxt \"greet\"\nmsgid \"Hello\"\nmsgstr \"\"\n")) << potText.constData();
    EXPECT_FALSE(potText.contains("Hola"));

    run = Lang({QStringLiteral("report"), Project(), QStringLiteral("--fail-on-untranslated")});
    EXPECT_EQ(run.Status, 3);
    EXPECT_TRUE(run.Out.contains(QStringLiteral("English: 0 of 3 strings untranslated\n"))) << run.Out.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("Español: 2 of 3 strings untranslated: bye, quit")));
    EXPECT_EQ(Lang({QStringLiteral("report"), Project()}).Status, 0) << "without the switch gaps are no error";

    // A translator's file: one new text, one fuzzy, one unknown.
    Write(Path("done.po"), "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                           "msgctxt \"bye\"\nmsgid \"Goodbye\"\nmsgstr \"Adi\xc3\xb3s\"\n\n"
                           "#, fuzzy\nmsgctxt \"quit\"\nmsgid \"Quit \\\"now\\\"\\n\"\nmsgstr \"Salir \\\"ya\\\"\\n\"\n\n"
                           "msgctxt \"extra\"\nmsgid \"Extra\"\nmsgstr \"Otro\"\n");
    run = Lang({QStringLiteral("import"), LangDir(), QStringLiteral("--language"), QStringLiteral("2"), Path("done.po")});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("Imported into Español: 1 of 3 entries."))) << run.Out.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("Fuzzy, not imported (1): quit")));
    EXPECT_TRUE(run.Out.contains(QStringLiteral("Not in the table, not added (1): extra")));
    EXPECT_EQ(Spanish(QStringLiteral("bye")), QString::fromUtf8("Adiós"));
    EXPECT_EQ(Spanish(QStringLiteral("quit")), QString());

    run = Lang({QStringLiteral("import"), Project(), QStringLiteral("--language"), QStringLiteral("es"),
                QStringLiteral("--fuzzy"), Path("done.po")});
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_EQ(Spanish(QStringLiteral("quit")), QStringLiteral("Salir \"ya\"\n"));
    run = Lang({QStringLiteral("report"), Project(), QStringLiteral("--language"), QStringLiteral("2"),
                QStringLiteral("--fail-on-untranslated")});
    EXPECT_EQ(run.Status, 0) << run.Out.toStdString();
    EXPECT_EQ(run.Out, QString::fromUtf8("Español: 0 of 3 strings untranslated\n"));
}

TEST_F(LangCli, ErrorsExitNonZeroWithTheReasonAndChangeNothing)
{
    const QByteArray before = TableHash();
    Write(Path("cut.po"), "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                          "msgctxt \"bye\"\nmsgid \"Goodbye\"\nmsgstr \"Adi\xc3\xb3s\"\n\nmsgctxt \"quit\"\nmsgid \"Qu");
    TResult run = Lang({QStringLiteral("import"), Project(), QStringLiteral("--language"), QStringLiteral("2"),
                        Path("cut.po")});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("the entry that begins on line 8 has no end"))) << run.Err.toStdString();
    EXPECT_EQ(Spanish(QStringLiteral("bye")), QString());

    // Nobody writes the pipe: the command must not wait for a writer.
    ASSERT_EQ(mkfifo(Path("pipe.po").toLocal8Bit().constData(), 0600), 0);
    run = Lang({QStringLiteral("import"), Project(), QStringLiteral("--language"), QStringLiteral("2"), Path("pipe.po")});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("not a regular file"))) << run.Err.toStdString();
    EXPECT_EQ(TableHash(), before);

    EXPECT_EQ(Lang({QStringLiteral("export"), Project(), QStringLiteral("--language"), QStringLiteral("Klingon"),
                    QStringLiteral("-o"), Path("x.po")})
                  .Status,
              2);
    EXPECT_EQ(Lang({QStringLiteral("export"), Project(), QStringLiteral("--language"), QStringLiteral("8"),
                    QStringLiteral("-o"), Path("x.po")})
                  .Status,
              2);
    EXPECT_EQ(Lang({QStringLiteral("import"), Project(), QStringLiteral("--language"), QStringLiteral("2")}).Status, 2);
    EXPECT_EQ(Lang({QStringLiteral("frobnicate"), Project()}).Status, 2);
    EXPECT_FALSE(QFile::exists(Path("x.po")));

    // A project without a table: refused, and none is made.
    const QString empty = Dir.path() + QStringLiteral("/bare");
    QDir().mkpath(empty);
    run = Lang({QStringLiteral("report"), empty});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("no string table"))) << run.Err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(empty + QStringLiteral("/LANG")));

    // A damaged table: the add-in's message, and the file stays as it was.
    const QString damaged = Dir.path() + QStringLiteral("/damaged/LANG");
    QDir().mkpath(damaged);
    Write(damaged + QStringLiteral("/language.db"), "this is no table at all, but somebody's notes\n");
    run = Lang({QStringLiteral("report"), damaged});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("LANGEXP ERROR: A error ocurred at language Table acces.")))
        << run.Err.toStdString();
    QFile notes(damaged + QStringLiteral("/language.db"));
    ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll(), QByteArray("this is no table at all, but somebody's notes\n"));
}

} // namespace
