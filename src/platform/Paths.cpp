#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

#include <vector>

QString ExtractFileDir(const QString &path)
{
    const qsizetype cut = path.lastIndexOf(PathDelim);
    if (cut < 0)
        return {};
    if (cut == 0 || path.at(cut - 1) == PathDelim)
        return path.left(cut + 1);
    return path.left(cut);
}

QString ExtractFileName(const QString &path)
{
    return path.mid(path.lastIndexOf(PathDelim) + 1);
}

QString ExtractFileExt(const QString &path)
{
    const QString name = ExtractFileName(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString ChangeFileExt(const QString &path, const QString &ext)
{
    const QString old = ExtractFileExt(path);
    return path.left(path.size() - old.size()) + ext;
}

bool FileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QString FindEntryNoCase(const QString &dir, const QString &name)
{
    const QString exact = dir.endsWith(PathDelim) ? dir + name : dir + PathDelim + name;
    if (QFileInfo::exists(exact))
        return exact;
    // Sorted, so the same entry answers every time when several differ only in case.
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                        | QDir::NoDotAndDotDot,
                                                    QDir::Name);
    for (const QString &entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return exact.left(exact.size() - name.size()) + entry;
    return exact;
}

QString RunningProgramPath()
{
    // The link's target can be longer than any fixed buffer: grow until it fits.
    QByteArray target(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::readlink("/proc/self/exe", target.data(), size_t(target.size()));
        if (got < 0)
            return {};
        if (got < target.size())
            return QFile::decodeName(target.left(got));
        target.resize(target.size() * 2);
    }
}

QString LoginName()
{
    passwd entry{};
    passwd *found = nullptr;
    const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(hint > 0 ? hint : 16384));
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found
        && found->pw_name && *found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    for (const char *name : {"USER", "LOGNAME"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

QString UserConfigDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}
