// A project is a .dpr file: the program's source, whose uses clause names
// the project's own units with "Name in 'file.pas'".
#pragma once

#include <QList>
#include <QString>

namespace qide {

struct TProjectUnit {
    QString name;     // the unit's identifier as written
    QString fileName; // the quoted path as written, empty without "in"
};

// The entries of the first uses (or contains) clause, in order. Comments
// ({ }, (* *), //), compiler directives and line breaks may appear anywhere.
QList<TProjectUnit> ParseUsesClause(const QString &source);

// A path as the user wrote it, made absolute against the working directory
// by string alone: a leading ':' is part of a file name here, never Qt's
// resource prefix, and the result always starts with '/'.
QString AbsoluteUserPath(const QString &path);

// Full path of a unit file named in a project: resolved against the
// project's directory, backslashes taken as separators, and matched without
// regard to case when the exact name does not exist.
QString ResolveUnitPath(const QString &projectDir, const QString &written);

// The project's files: the project file itself, then every unit named with
// "in", resolved. Throws EInOutError when the project file cannot be read
// (not a regular file, or larger than MaxSourceFileBytes).
QStringList ProjectFiles(const QString &projectFile);

} // namespace qide
