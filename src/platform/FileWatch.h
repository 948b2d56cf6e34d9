// Tells when files on disk change: written in place, or replaced by a
// rename (as safe saves do), or removed and written again.
#pragma once

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QString>

// What a file on disk looked like at one moment: two equal stamps mean
// nothing was written in between, as far as the file system can tell.
struct TFileStamp {
    bool Exists = false;
    qint64 Size = -1;
    QDateTime Modified;
    friend bool operator==(const TFileStamp &, const TFileStamp &) = default;
};

TFileStamp StampOf(const QString &fileName);

class TFileWatch : public QObject {
    Q_OBJECT
public:
    explicit TFileWatch(QObject *parent = nullptr);

    // Watching is counted: a file watched twice needs two Unwatch calls.
    void Watch(const QString &fileName);
    void Unwatch(const QString &fileName);
    bool Watching(const QString &fileName) const { return FFiles.contains(fileName); }

signals:
    // The file (as it was handed to Watch) changed, was replaced or came back.
    void Changed(const QString &fileName);

private:
    void FileChanged(const QString &path);
    void FolderChanged(const QString &folder);
    static QString FolderOf(const QString &fileName);

    QFileSystemWatcher FWatcher;
    QHash<QString, int> FFiles;   // watch counts
    QHash<QString, int> FFolders; // files watched in each folder
};
