// Path helpers with the platform's separator.
#pragma once

#include <QString>

// Everything before the last separator; a trailing separator is kept only
// when it is the root ("/x.so" gives "/", "/opt/q/x.so" gives "/opt/q").
QString ExtractFileDir(const QString &path);
QString ExtractFileName(const QString &path);
QString ExtractFileExt(const QString &path);
QString ChangeFileExt(const QString &path, const QString &ext);
bool FileExists(const QString &path);

// Full path of the add-in library as registered with the IDE.
QString RegisteredAddinPath();
// Directory of the registered add-in library: home of the add-in's data files.
QString AddinDataDir();
// AddinDataDir() + separator + name; a missing registration gives "/name".
QString AddinDataFile(const QString &name);

inline constexpr QChar PathDelim = QLatin1Char('/');
