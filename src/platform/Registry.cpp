#include "Registry.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {

// A key with no values still exists: this marker keeps its group in the file.
const QString KeyMarker = QStringLiteral(".key");

QString rootName(HKEY)
{
    return QStringLiteral("HKEY_CURRENT_USER");
}

QString groupOf(HKEY root, const QString &key)
{
    QStringList parts;
    parts << rootName(root);
    for (const QString &p : key.split(QLatin1Char('\\'), Qt::SkipEmptyParts))
        parts << p;
    return parts.join(QLatin1Char('/'));
}

QSettings open()
{
    const QString path = Registry::storePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    return QSettings(path, QSettings::IniFormat);
}

} // namespace

namespace Registry {

QString storePath()
{
    const QString env = qEnvironmentVariable("QUORBEL_REGISTRY");
    if (!env.isEmpty())
        return env;
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/quorbel/registry.ini");
}

QString readString(HKEY root, const QString &key, const QString &name, bool *found)
{
    QSettings s = open();
    s.beginGroup(groupOf(root, key));
    const QVariant v = s.value(name);
    if (found)
        *found = v.isValid();
    return v.isValid() ? v.toString() : QString();
}

void writeString(HKEY root, const QString &key, const QString &name, const QString &value)
{
    QSettings s = open();
    s.beginGroup(groupOf(root, key));
    s.setValue(name, value);
    s.remove(KeyMarker);
}

void deleteValue(HKEY root, const QString &key, const QString &name)
{
    QSettings s = open();
    s.beginGroup(groupOf(root, key));
    s.remove(name);
}

QStringList valueNames(HKEY root, const QString &key)
{
    QSettings s = open();
    s.beginGroup(groupOf(root, key));
    QStringList names = s.childKeys();
    names.removeAll(KeyMarker);
    return names;
}

bool keyExists(HKEY root, const QString &key)
{
    QSettings s = open();
    s.beginGroup(groupOf(root, key));
    return !s.allKeys().isEmpty();
}

void createKey(HKEY root, const QString &key)
{
    if (keyExists(root, key))
        return;
    QSettings s = open();
    s.beginGroup(groupOf(root, key));
    s.setValue(KeyMarker, QString());
}

} // namespace Registry

QString ReadRegString(HKEY root, const QString &text)
{
    const qsizetype cut = text.lastIndexOf(QLatin1Char('\\'));
    const QString key = cut < 0 ? QString() : text.left(cut);
    const QString name = cut < 0 ? text : text.mid(cut + 1);
    Registry::createKey(root, key);
    return Registry::readString(root, key, name);
}
