// The current user's registry, kept in an INI file. Key paths keep their
// backslash form ("\Software\Borland\Delphi\2.0\Experts").
#pragma once

#include <QString>
#include <QStringList>

enum class HKEY { CurrentUser };

namespace Registry {

// $QUORBEL_REGISTRY when set, else $XDG_CONFIG_HOME/quorbel/registry.ini.
QString storePath();

QString readString(HKEY root, const QString &key, const QString &name, bool *found = nullptr);
void writeString(HKEY root, const QString &key, const QString &name, const QString &value);
void deleteValue(HKEY root, const QString &key, const QString &name);
QStringList valueNames(HKEY root, const QString &key);
bool keyExists(HKEY root, const QString &key);
void createKey(HKEY root, const QString &key);

} // namespace Registry

// Splits text at its last backslash into key and value name; opens the key,
// creating it when missing; returns the value or an empty text.
QString ReadRegString(HKEY root, const QString &text);
