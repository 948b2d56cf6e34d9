// The desktop entries of quorbel-ide and quorbel-help as the install script
// puts them in the user's data directory: each names its built program and
// an icon the icon theme finds there.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Field(const QString &entry, const QString &key)
{
    const auto match = QRegularExpression(QStringLiteral("\n%1=\"?([^\"\n]*?)\"?( %[fF])?\n").arg(key)).match(entry);
    return match.hasMatch() ? match.captured(1) : QString();
}

TEST(DesktopEntries, InstalledWithTheIconsTheyName)
{
    QTemporaryDir home;
    const QString data = home.path() + QStringLiteral("/data");
    const QString bin = QFileInfo(QStringLiteral(QUORBEL_HELP)).absolutePath();
    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), data);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    install.setProcessEnvironment(env);
    install.start(QStringLiteral(QUORBEL_SOURCE_DIR "/scripts/install-help-viewer.sh"), {bin + QStringLiteral("/..")});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    for (const QString &program : {QStringLiteral("quorbel-ide"), QStringLiteral("quorbel-help")}) {
        QFile file(data + QStringLiteral("/applications/") + program + QStringLiteral(".desktop"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << program.toStdString();
        const QString entry = QString::fromUtf8(file.readAll());
        EXPECT_EQ(QFileInfo(Field(entry, QStringLiteral("Exec"))).canonicalFilePath(),
                  QFileInfo(bin + QLatin1Char('/') + program).canonicalFilePath());
        const QString icon = Field(entry, QStringLiteral("Icon"));
        ASSERT_FALSE(icon.isEmpty()) << entry.toStdString();
        const QImage picture(data + QStringLiteral("/icons/hicolor/32x32/apps/") + icon + QStringLiteral(".png"), "PNG");
        EXPECT_EQ(picture.size(), QSize(32, 32)) << icon.toStdString();
    }
}

} // namespace
