// The help project file (.hpj) as the help editor writes it, and as people
// edit it: sections [OPTIONS], [FILES], [MAP] (with #INCLUDE), [WINDOWS] and
// [CONFIG]; lines may end in blanks, paths use "\" and their letter case need
// not match the files on disk.
#pragma once

#include "HelpFileFormat.h"

#include <QColor>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

struct THelpWindow {
    QString Name;
    QString Caption;
    QColor Topic;      // the scrolling region
    QColor NonScroll;  // the region of \keepn paragraphs
};

struct THelpMapEntry {
    QString Context;
    int Number = 0;
    QString File;
    int Line = 0;
};

struct TSourceFile {
    QString Path; // on disk, empty when not found
    QString Name; // as the project names it
    int Line = 0; // of the project
};

struct THelpProject {
    QString Path;                 // the project file
    QString Dir;                  // its directory
    QMap<QString, QString> Options; // [OPTIONS], keys in upper case
    QList<TSourceFile> Files;     // [FILES]
    QList<THelpMapEntry> Map;     // [MAP] and its #INCLUDEs
    QList<THelpWindow> Windows;   // [WINDOWS]
    QStringList Config;           // [CONFIG] macros, as written
    QList<THelpMessage> Messages;
    bool Read = false; // false: the file itself could not be read

    QString HelpFile() const; // HLP=, else the project's name with .hlp
    QString ErrorLog() const; // ERRORLOG=, empty when not given
    QString Title() const;
    QString Contents() const; // CONTENTS=
    QStringList RootDirs() const; // ROOT= (";" or "," separated), else Dir
    QStringList BitmapDirs() const; // BMROOT=, then ROOT
};

// Reads path; a file that cannot be read leaves a message and no content.
THelpProject ReadHelpProject(const QString &path);
// The same from bytes already read (the fuzz target and tests).
void ParseHelpProject(THelpProject &project, const QByteArray &bytes);

// A name written in the project (Windows separators, any letter case),
// relative to dir unless absolute, looked up on disk without regard to case
// one component at a time. Empty when nothing matches.
QString FindNoCase(const QString &dir, const QString &name);
// For a file to be written: its directory found without regard to case, the
// last component kept as written.
QString OutputPath(const QString &dir, const QString &name);
// The colour of a [WINDOWS] field: "(r15138815)" (red in the lowest byte)
// or "(255,255,230)". Invalid when neither.
QColor ParseWindowColor(const QString &field);
