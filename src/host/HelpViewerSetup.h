// Makes this build's quorbel-help the user's program for help files
// (application/winhlp, *.hlp), so the desktop's open of an .hlp starts it.
#pragma once

#include <QString>
#include <QStringList>

namespace qide {

struct THelpViewerSetup {
    bool Installed = false; // the entry is in place (it may have been already)
    QStringList Done;       // what was changed
    QStringList Problems;   // what could not be done, and why
};

// Installs the desktop entry built beside programDir (BUILD/bin ->
// BUILD/share/applications/quorbel-help.desktop) into
// $XDG_DATA_HOME/applications (else ~/.local/share/applications), and names
// it the default for the type. Safe to run again: an entry that is already
// the same is left alone. Throws nothing.
THelpViewerSetup InstallHelpViewerEntry(const QString &programDir);

} // namespace qide
