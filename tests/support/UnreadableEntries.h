// What a user can put where a data file is expected that nobody, root
// included, can read as data: a pipe, a directory, and a sparse file just
// past the 64 MiB the data-file readers take. A write through the atomic
// writer would replace the pipe and the large file.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/stat.h>
#include <vector>

struct TUnreadableEntry {
    const char *name;
    bool (*make)(const QString &path);
};

inline const std::vector<TUnreadableEntry> &UnreadableEntries()
{
    static const std::vector<TUnreadableEntry> entries = {
        {"pipe", [](const QString &p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }},
        {"directory", [](const QString &p) { return QDir().mkdir(p); }},
        {"too large", [](const QString &p) {
             QFile file(p);
             return file.open(QIODevice::WriteOnly) && file.resize((qint64(64) << 20) + 1);
         }},
    };
    return entries;
}

// The entry's kind and size, to tell that nothing replaced it.
inline QString EntryState(const QString &path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    const char *kind = S_ISFIFO(st.st_mode) ? "pipe" : S_ISDIR(st.st_mode) ? "directory"
        : S_ISREG(st.st_mode)                ? "file"
                                             : "other";
    return QString::fromLatin1(kind) + QLatin1Char(' ') + QString::number(qint64(st.st_size));
}

// Removes what UnreadableEntries() made, whichever it was.
inline void RemoveEntry(const QString &path)
{
    if (!QFile::remove(path))
        QDir().rmdir(path);
}
