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
// The entry of dir called name, matched without regard to letter case when
// no entry has that exact name (an existing "language.DB" answers for
// "language.db"); dir + "/" + name when none matches, so whatever is made
// there gets the name as given.
QString FindEntryNoCase(const QString &dir, const QString &name);

inline constexpr QChar PathDelim = QLatin1Char('/');

// The file of the running program (the host's executable); empty when the
// system cannot tell.
QString RunningProgramPath();

// The login name of the user the program runs as; $USER or $LOGNAME when the
// user database does not know it; empty when nothing tells.
QString LoginName();

// The user's configuration directory ($XDG_CONFIG_HOME, else ~/.config).
QString UserConfigDir();
