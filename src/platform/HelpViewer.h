// The help viewer: a help file opened at a topic, or one topic shown as a
// pop-up. The viewer is the quorbel-help command ($QUORBEL_HELP_VIEWER names
// another), looked for beside the running program and then on the PATH, and
// started without waiting; a running viewer takes the request over.
#pragma once

#include "Exception.h"

#include <QString>
#include <QStringList>

#include <functional>

// The commands the help call takes (their system numbers).
enum THelpCommand : unsigned { HELP_CONTEXT = 1, HELP_CONTENTS = 3, HELP_CONTEXTPOPUP = 8 };

// No viewer installed, or it could not be started.
class EHelpViewer : public Exception {
public:
    using Exception::Exception;
};

// The viewer's arguments: FILE -context N, FILE -popup N, or FILE alone for
// its contents page.
QStringList HelpViewerArguments(const QString &helpFile, unsigned command, quint32 context);

// Opens helpFile at context (HELP_CONTEXT) or at its contents page
// (HELP_CONTENTS), or shows that topic as a pop-up (HELP_CONTEXTPOPUP). findTool finds a command (empty function: beside the
// running program, then the PATH). Throws EHelpViewer when no viewer is
// installed, it cannot be started or the help file does not exist.
void WinHelp(const QString &helpFile, unsigned command, quint32 context,
             const std::function<QString(const QString &)> &findTool = {});
