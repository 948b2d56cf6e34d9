// Lazarus project groups from arbitrary bytes. A group file is refused with
// the system's own exception or read into a group whose every project the
// list can hold: an absolute, clean path of at most 255 characters to a
// file that exists, a label that reads back from proj.dat the same; and
// nothing is made up: each target element gives at most one entry.
#include "projects/LazarusGroup.h"
#include "projects/ProjectGroups.h"

#include "Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

// A group file's directory with a few projects the inputs may name
// (the seeds do: a/a.lpi, b.dpr, c.lpr, m.lpi).
const QString &GroupDir()
{
    static QTemporaryDir dir;
    static const bool made = [] {
        QDir(dir.path()).mkpath(QStringLiteral("a"));
        QDir(dir.path()).mkpath(QStringLiteral("m"));
        for (const char *name : {"a/a.lpi", "a/a.lpr", "b.dpr", "c.lpr", "p.lpk", "m.lpi", "m/main.lpr"}) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            if (!file.open(QIODevice::WriteOnly))
                return false;
        }
        // A project whose main source has a name of its own.
        QFile lpi(dir.filePath(QStringLiteral("m.lpi")));
        if (!lpi.open(QIODevice::WriteOnly)
            || lpi.write("<CONFIG><ProjectOptions><Units><Unit><Filename Value=\"m/main.lpr\"/></Unit>"
                         "</Units></ProjectOptions></CONFIG>") < 0)
            return false;
        return true;
    }();
    if (!made)
        Violated("cannot make the group's directory");
    static const QString path = dir.path();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    TImportedGroup group;
    try {
        group = TLazarusGroup::Read(input, GroupDir() + QStringLiteral("/fuzz.lpg"));
    } catch (const Exception &) {
        return 0;
    }
    if (group.Name.isEmpty() || TProjectGroups::CleanText(group.Name, 0) != group.Name)
        Violated("the group's name would not read back from proj.dat");
    if (qsizetype(group.Projects.size()) + group.NotImported.size() > input.count('<'))
        Violated("more entries than elements");
    for (const TImportedProject &p : group.Projects) {
        if (TProjectGroups::CleanText(p.Label, 1) != p.Label)
            Violated("a label would not read back from proj.dat");
        if (!QDir::isAbsolutePath(p.Path) || QDir::cleanPath(p.Path) != p.Path)
            Violated("a path is not absolute and clean");
        if (p.Path.size() > TData::MaxPath)
            Violated("a path longer than proj.dat holds");
        if (!QFileInfo(p.Path).isFile())
            Violated("a project that does not exist was imported");
    }
    return 0;
}
