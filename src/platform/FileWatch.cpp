#include "FileWatch.h"

#include <QFileInfo>
#include <QSet>

TFileStamp StampOf(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists())
        return {};
    return {true, info.size(), info.lastModified()};
}

TFileWatch::TFileWatch(QObject *parent) : QObject(parent)
{
    connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, &TFileWatch::FileChanged);
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, &TFileWatch::FolderChanged);
}

QString TFileWatch::FolderOf(const QString &fileName)
{
    return QFileInfo(fileName).absolutePath();
}

void TFileWatch::Watch(const QString &fileName)
{
    if (fileName.isEmpty())
        return;
    if (FFiles[fileName]++ > 0)
        return;
    FWatcher.addPath(fileName);
    // The folder too: a file replaced by a rename, or removed and written
    // again, drops out of the watcher's own list.
    const QString folder = FolderOf(fileName);
    if (FFolders[folder]++ == 0)
        FWatcher.addPath(folder);
}

void TFileWatch::Unwatch(const QString &fileName)
{
    auto it = FFiles.find(fileName);
    if (it == FFiles.end() || --*it > 0)
        return;
    FFiles.erase(it);
    FWatcher.removePath(fileName);
    const QString folder = FolderOf(fileName);
    auto f = FFolders.find(folder);
    if (f != FFolders.end() && --*f <= 0) {
        FFolders.erase(f);
        FWatcher.removePath(folder);
    }
}

void TFileWatch::FileChanged(const QString &path)
{
    if (!FFiles.contains(path))
        return;
    // Replaced: the watch went with the old file.
    if (!FWatcher.files().contains(path) && QFileInfo::exists(path))
        FWatcher.addPath(path);
    emit Changed(path);
}

void TFileWatch::FolderChanged(const QString &folder)
{
    const QStringList list = FWatcher.files();
    const QSet<QString> watched(list.cbegin(), list.cend());
    QStringList back;
    for (auto it = FFiles.cbegin(); it != FFiles.cend(); ++it) {
        const QString &file = it.key();
        if (!watched.contains(file) && FolderOf(file) == folder && QFileInfo::exists(file))
            back << file;
    }
    // Told after the loop: a receiver may watch or unwatch files.
    for (const QString &file : back) {
        FWatcher.addPath(file);
        emit Changed(file);
    }
}
