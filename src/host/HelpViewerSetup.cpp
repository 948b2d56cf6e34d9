#include "HelpViewerSetup.h"

#include "Exception.h"
#include "Process.h"
#include "SafeFile.h"

#include <QDir>
#include <QFileInfo>

namespace qide {

namespace {

const QString EntryName = QStringLiteral("quorbel-help.desktop");
const QString HelpType = QStringLiteral("application/winhlp");
constexpr qint64 MaxEntryBytes = 64 * 1024;

QString ApplicationsDir()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/applications");
}

} // namespace

THelpViewerSetup InstallHelpViewerEntry(const QString &programDir)
{
    THelpViewerSetup setup;
    const QString entry = QDir(programDir).absoluteFilePath(QStringLiteral("../share/applications/") + EntryName);
    const QFileInfo viewer(QDir(programDir).absoluteFilePath(QStringLiteral("quorbel-help")));
    if (!viewer.isFile() || !viewer.isExecutable() || !QFileInfo(entry).isFile()) {
        setup.Problems << QStringLiteral("The help viewer was not installed: no quorbel-help or %1 beside %2.")
                           .arg(EntryName, QDir::cleanPath(programDir));
        return setup;
    }
    const QString apps = ApplicationsDir();
    const QString target = apps + QLatin1Char('/') + EntryName;
    try {
        const QByteArray bytes = ReadWholeFile(QDir::cleanPath(entry), MaxEntryBytes);
        bool same = false;
        if (QFileInfo(target).isFile()) {
            try {
                same = ReadWholeFile(target, MaxEntryBytes) == bytes;
            } catch (const Exception &) {
                // Unreadable or too large: replaced below.
            }
        }
        if (!same) {
            if (!QDir().mkpath(apps))
                throw Exception(QStringLiteral("cannot create %1").arg(apps));
            WriteFileAtomically(target, bytes);
            setup.Done << QStringLiteral("Installed %1").arg(target);
            // Only a cache for the desktop; the entry works without it.
            if (!FindCommand(QStringLiteral("update-desktop-database"), ToolSearchDirs()).isEmpty())
                SpawnProcess({{QStringLiteral("update-desktop-database"), apps}, {}, true});
        }
    } catch (const Exception &e) {
        setup.Problems << QStringLiteral("The help viewer was not installed in %1: %2").arg(apps, e.message());
        return setup;
    }
    setup.Installed = true;

    if (FindCommand(QStringLiteral("xdg-mime"), ToolSearchDirs()).isEmpty()) {
        setup.Problems << QStringLiteral("xdg-utils is not installed: help files are not yet opened with "
                                      "quorbel-help. Install it and run: xdg-mime default %1 %2")
                           .arg(EntryName, HelpType);
        return setup;
    }
    // Set even when it is the only program for the type today: another may come.
    const TSpawnResult mime = SpawnProcess({{QStringLiteral("xdg-mime"), QStringLiteral("default"), EntryName, HelpType}, {}, true});
    if (mime.Error != 0 || mime.ExitStatus != 0)
        setup.Problems << QStringLiteral("xdg-mime could not make quorbel-help the program for help files: %1")
                           .arg(mime.Error != 0 ? SystemErrorText(mime.Error) : mime.Output.trimmed());
    return setup;
}

} // namespace qide
