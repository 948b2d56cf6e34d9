// quorbel-ide with the real add-in: a project group built from the project
// groups window, each project's result shown beside it.
#include "Registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString BuildDir()
{
    const QString fromEnv = qEnvironmentVariable("QUORBEL_BUILD_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absolutePath();
}

class GroupBuildEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ide = BuildDir() + QStringLiteral("/bin/quorbel-ide");
        const QString built = BuildDir() + QStringLiteral("/lib/libquorbel.so");
        ASSERT_TRUE(QFile::exists(ide)) << ide.toStdString();
        ASSERT_TRUE(home.isValid());
        QDir(home.path()).mkpath(QStringLiteral("lib"));
        QDir(home.path()).mkpath(QStringLiteral("src"));
        QDir(home.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        addin = home.filePath(QStringLiteral("lib/libquorbel.so"));
        ASSERT_TRUE(QFile::copy(built, addin));
    }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QUORBEL_REGISTRY"), home.filePath(QStringLiteral("registry.ini")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("share")));
        env.insert(QStringLiteral("TEMP"), home.path());
        return env;
    }
    // The IDE's log lines.
    QStringList run(const QStringList &args) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(ide, args);
        if (!p.waitForStarted() || !p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            return {QStringLiteral("did not finish")};
        }
        QStringList log = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        log << QStringLiteral("exit %1").arg(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2);
        return log;
    }
    QString write(const QString &name, const QByteArray &bytes) const
    {
        const QString path = home.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    QStringList script(const QStringList &lines) const
    {
        return run({QStringLiteral("--script"), write(QStringLiteral("script.txt"), lines.join('\n').toUtf8())});
    }

    QTemporaryDir home;
    QString ide;
    QString addin;
};

TEST_F(GroupBuildEndToEnd, AGroupWithAFailingAndAMissingProjectShowsTheThreeResults)
{
    if (QStandardPaths::findExecutable(QStringLiteral("fpc")).isEmpty())
        GTEST_SKIP() << "Free Pascal (fpc) is not installed";
    ASSERT_TRUE(run({QStringLiteral("--register-addin"), addin}).contains(QStringLiteral("exit 0")));
    const QString good = write(QStringLiteral("src/good.dpr"), "program Good;\nbegin\nend.\n");
    const QString bad = write(QStringLiteral("src/bad.dpr"), "program Bad;\nbegin\n  Nowhere;\nend.\n");
    const QByteArray groups = "Suite\r\n\tGood;" + good.toUtf8() + "\r\n\tBad;" + bad.toUtf8() + "\r\n\tGone;"
        + home.filePath(QStringLiteral("src/gone.dpr")).toUtf8() + "\r\n";
    write(QStringLiteral("lib/proj.dat"), groups);

    const QStringList log = script({QStringLiteral("modal select Proyectos 0"), QStringLiteral("modal invoke btnBuild"),
                                    QStringLiteral("modal wait btnStop"), QStringLiteral("modal rows Proyectos"),
                                    QStringLiteral("modal key Escape"), QStringLiteral("click EditProjectsNewItem")});
    ASSERT_TRUE(log.contains(QStringLiteral("exit 0"))) << log.join('\n').toStdString();
    QStringList rows;
    for (const QString &line : log) {
        EXPECT_FALSE(line.startsWith(QStringLiteral("modal-error"))) << line.toStdString();
        EXPECT_FALSE(line.startsWith(QStringLiteral("modal-timeout"))) << line.toStdString();
        if (line.startsWith(QStringLiteral("modal-row ")))
            rows << line;
    }
    EXPECT_EQ(rows, (QStringList{QStringLiteral("modal-row 0\tSuite\t"), QStringLiteral("modal-row 1\tGood\tok"),
                                 QStringLiteral("modal-row 2\tBad\tfailed: bad.dpr(3,3) Error: Identifier not found "
                                                "\"Nowhere\""),
                                 QStringLiteral("modal-row 3\tGone\tnot found")}));
    QFile file(home.filePath(QStringLiteral("lib/proj.dat")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), groups);
}

TEST_F(GroupBuildEndToEnd, ALazarusGroupIsImportedIntoProjDat)
{
    ASSERT_TRUE(run({QStringLiteral("--register-addin"), addin}).contains(QStringLiteral("exit 0")));
    QDir(home.path()).mkpath(QStringLiteral("laz/one"));
    write(QStringLiteral("laz/one/one.lpi"), "<CONFIG/>");
    const QString one = write(QStringLiteral("laz/one/one.lpr"), "program One;\nbegin\nend.\n");
    write(QStringLiteral("laz/pair.lpg"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIG>\n"
                                          "  <ProjectGroup FileVersion=\"2\">\n    <Targets Count=\"2\">\n"
                                          "      <Target1 FileName=\"one/one.lpi\"/>\n"
                                          "      <Target2 FileName=\"two/two.lpi\"/>\n"
                                          "    </Targets>\n  </ProjectGroup>\n</CONFIG>\n");
    write(QStringLiteral("lib/proj.dat"), "");
    const QStringList log = script({QStringLiteral("modal invoke btnImport"),
                                    QStringLiteral("modal text fileNameEdit ") + home.filePath(QStringLiteral("laz/pair.lpg")),
                                    QStringLiteral("modal accept"), QStringLiteral("modal accept"),
                                    QStringLiteral("modal key Escape"), QStringLiteral("click EditProjectsNewItem")});
    ASSERT_TRUE(log.contains(QStringLiteral("exit 0"))) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("message: Not imported from ") + home.filePath(QStringLiteral("laz/pair.lpg"))
                             + QStringLiteral(":\\ntwo/two.lpi: not found")))
        << log.join('\n').toStdString();
    QFile file(home.filePath(QStringLiteral("lib/proj.dat")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "pair\r\n\tone;" + one.toUtf8() + "\r\n");
}

} // namespace
