// What the IDE reads from disk is a regular file of bounded size, named by
// a path taken as the user wrote it: anything else is refused with a reason
// before a byte is read.
#include "HostFixture.h"

#include "ProjectFile.h"
#include "ScriptRunner.h"

#include <QDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Restores the working directory when it goes.
class TWorkingDir {
public:
    explicit TWorkingDir(const QString &dir) : FOld(QDir::currentPath()) { QDir::setCurrent(dir); }
    ~TWorkingDir() { QDir::setCurrent(FOld); }

private:
    QString FOld;
};

} // namespace

TEST_F(HostTest, ProjectsThatAreNoRegularFilesAreRefusedWithTheReason)
{
    const QString fifo = path(QStringLiteral("Pipe.dpr"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = path(QStringLiteral("Zero.dpr"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    const QString folder = path(QStringLiteral("Folder.dpr"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Folder.dpr")));
    const QString huge = path(QStringLiteral("Huge.dpr"));
    {
        QFile f(huge); // sparse: no disk space taken
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(3) << 30));
    }

    const std::pair<QString, QString> cases[] = {
        {fifo, QStringLiteral("not a regular file")},
        {zero, QStringLiteral("not a regular file")},
        {folder, QStringLiteral("is a directory")},
        {huge, QStringLiteral("too large")},
    };
    for (const auto &[file, reason] : cases) {
        messages.clear();
        EXPECT_FALSE(ide->openPath(file)) << file.toStdString();
        ASSERT_EQ(messages.size(), 1) << file.toStdString();
        EXPECT_TRUE(messages.first().contains(file)) << messages.first().toStdString();
        EXPECT_TRUE(messages.first().contains(reason)) << messages.first().toStdString();
        EXPECT_TRUE(ide->projectName().isEmpty());
        EXPECT_THROW(qide::ProjectFiles(file), EInOutError);
    }
    // The same for source files, and for a script.
    const QString unit = path(QStringLiteral("Unit.pas"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), unit));
    messages.clear();
    EXPECT_FALSE(ide->openPath(unit));
    EXPECT_FALSE(messages.value(0).isEmpty());
    EXPECT_TRUE(ide->editors().isEmpty());
    QStringList lines;
    QString error;
    EXPECT_FALSE(qide::TScriptRunner::ReadScript(fifo, lines, error));
    EXPECT_TRUE(error.contains(QStringLiteral("not a regular file"))) << error.toStdString();
}

TEST_F(HostTest, AColonStartsAFileNameNotAResource)
{
    const QString unit = write(":a.pas", "unit a;\n");
    const QString project = write("P.dpr", "program P;\nuses A in ':a.pas', B in ':sub\\b.pas';\nbegin\nend.\n");
    EXPECT_EQ(qide::ResolveUnitPath(dir.path(), QStringLiteral(":a.pas")), unit);
    EXPECT_EQ(qide::ProjectFiles(project), (QStringList{project, unit, path(QStringLiteral(":sub/b.pas"))}));

    // Relative to the working directory, as typed on the command line.
    TWorkingDir here(dir.path());
    EXPECT_EQ(qide::AbsoluteUserPath(QStringLiteral(":a.pas")), unit);
    EXPECT_TRUE(qide::TIde::isProjectFile(QStringLiteral(":P.DPR")));
    ASSERT_TRUE(ide->openPath(QStringLiteral(":a.pas"))) << messages.join('\n').toStdString();
    EXPECT_EQ(services->GetCurrentFile(), unit);
    EXPECT_EQ(readBuffer(unit), QStringLiteral("unit a;\r\n"));
}
