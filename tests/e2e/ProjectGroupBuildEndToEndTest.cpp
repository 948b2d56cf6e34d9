// quorbel-ide with the real add-in: a project group built from the project
// groups window, each project's result shown beside it.
#include "Registry.h"

#include "IdeHome.h"

#include <QStandardPaths>

namespace {

class GroupBuildEndToEnd : public e2e::TIdeHome {
protected:
    void SetUp() override
    {
        TIdeHome::SetUp();
        QDir(home.path()).mkpath(QStringLiteral("src"));
    }
    // The IDE's log lines, and "exit N" last.
    QStringList runLog(const QStringList &args) const
    {
        const e2e::TIdeRun r = run(args, 120000);
        if (r.exitCode == -1)
            return {QStringLiteral("did not finish")};
        return r.log + QStringList{QStringLiteral("exit %1").arg(r.exitCode)};
    }
    QStringList scriptLog(const QStringList &lines) const
    {
        return runLog({QStringLiteral("--script"), write(QStringLiteral("script.txt"), lines.join('\n').toUtf8())});
    }
};

TEST_F(GroupBuildEndToEnd, AGroupWithAFailingAndAMissingProjectShowsTheThreeResults)
{
    if (QStandardPaths::findExecutable(QStringLiteral("fpc")).isEmpty())
        GTEST_SKIP() << "Free Pascal (fpc) is not installed";
    ASSERT_TRUE(runLog({QStringLiteral("--register-addin"), addin}).contains(QStringLiteral("exit 0")));
    const QString good = write(QStringLiteral("src/good.dpr"), "program Good;\nbegin\nend.\n");
    const QString bad = write(QStringLiteral("src/bad.dpr"), "program Bad;\nbegin\n  Nowhere;\nend.\n");
    const QByteArray groups = "Suite\r\n\tGood;" + good.toUtf8() + "\r\n\tBad;" + bad.toUtf8() + "\r\n\tGone;"
        + home.filePath(QStringLiteral("src/gone.dpr")).toUtf8() + "\r\n";
    write(QStringLiteral("lib/proj.dat"), groups);

    const QStringList log = scriptLog({QStringLiteral("modal select Proyectos 0"), QStringLiteral("modal invoke btnBuild"),
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
    ASSERT_TRUE(runLog({QStringLiteral("--register-addin"), addin}).contains(QStringLiteral("exit 0")));
    QDir(home.path()).mkpath(QStringLiteral("laz/one"));
    write(QStringLiteral("laz/one/one.lpi"), "<CONFIG/>");
    const QString one = write(QStringLiteral("laz/one/one.lpr"), "program One;\nbegin\nend.\n");
    write(QStringLiteral("laz/pair.lpg"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CONFIG>\n"
                                          "  <ProjectGroup FileVersion=\"2\">\n    <Targets Count=\"2\">\n"
                                          "      <Target1 FileName=\"one/one.lpi\"/>\n"
                                          "      <Target2 FileName=\"two/two.lpi\"/>\n"
                                          "    </Targets>\n  </ProjectGroup>\n</CONFIG>\n");
    write(QStringLiteral("lib/proj.dat"), "");
    const QStringList log = scriptLog({QStringLiteral("modal invoke btnImport"),
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
