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

QString DataHome()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data;
}

// Copies file into dir unless the copy there has the same bytes; true when
// it wrote. Throws when it cannot.
bool InstallIfChanged(const QString &file, const QString &dir, THelpViewerSetup &setup)
{
    const QByteArray bytes = ReadWholeFile(file, MaxEntryBytes);
    const QString target = dir + QLatin1Char('/') + QFileInfo(file).fileName();
    if (QFileInfo(target).isFile()) {
        try {
            if (ReadWholeFile(target, MaxEntryBytes) == bytes)
                return false;
        } catch (const Exception &) {
            // Unreadable or too large: replaced below.
        }
    }
    if (!QDir().mkpath(dir))
        throw Exception(QStringLiteral("cannot create %1").arg(dir));
    WriteFileAtomically(target, bytes);
    setup.Done << QStringLiteral("Installed %1").arg(target);
    return true;
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
    const QString data = DataHome();
    const QString apps = data + QStringLiteral("/applications");
    const QString icons = data + QStringLiteral("/icons/hicolor/32x32/apps");
    const QDir share(QDir(programDir).absoluteFilePath(QStringLiteral("../share")));
    try {
        // The icons first: an entry that comes up names them. A build
        // without them still gets its entry.
        for (const QString &icon : {QStringLiteral("quorbel-help.png"), QStringLiteral("quorbel-ide.png")}) {
            const QString built = share.filePath(QStringLiteral("icons/hicolor/32x32/apps/") + icon);
            if (QFileInfo(built).isFile())
                InstallIfChanged(built, icons, setup);
        }
        if (InstallIfChanged(QDir::cleanPath(entry), apps, setup)) {
            // Only a cache for the desktop; the entry works without it.
            if (!FindCommand(QStringLiteral("update-desktop-database"), ToolSearchDirs()).isEmpty())
                SpawnProcess({{QStringLiteral("update-desktop-database"), apps}, {}, true});
        }
    } catch (const Exception &e) {
        setup.Problems << QStringLiteral("The help viewer was not installed in %1: %2").arg(data, e.message());
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
