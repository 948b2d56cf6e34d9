// Lazarus project groups (.lpg): the XML file Lazarus writes for a group of
// projects, read into a group of proj.dat.
//
// <CONFIG><ProjectGroup FileVersion="2"><Targets Count="2">
//   <Target1 FileName="a/a.lpi"/> ... (older files: Item1, Item2, ...; newer
//   list style: repeated <Item>, a target's file name on it or on a child)
// Paths are relative to the .lpg's directory unless absolute.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

struct TImportedProject {
    QString Label; // the project's name
    QString Path;  // absolute path of the program source the IDE compiles
};

struct TImportedGroup {
    QString Name;
    std::vector<TImportedProject> Projects;
    // One line per target left out: its file, ":" and why.
    QStringList NotImported;
};

class TLazarusGroup {
public:
    // A group file larger than this is refused unread.
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

    // Reads the .lpg at path: a regular file, bounded. Throws Exception with
    // the NotAnLpg text when it cannot be read or holds no project group.
    static TImportedGroup Import(const QString &path);
    // The same from the file's bytes; lpgPath gives the base of relative
    // paths and the group's name.
    static TImportedGroup Read(const QByteArray &xml, const QString &lpgPath);
};
