#include "HelpViewer.h"

#include "Process.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString ViewerCommand = QStringLiteral("quorbel-help");
}

QStringList HelpViewerArguments(const QString &helpFile, unsigned command, quint32 context)
{
    if (command == HELP_CONTENTS)
        return {helpFile};
    const QString mode = command == HELP_CONTEXTPOPUP ? QStringLiteral("-popup") : QStringLiteral("-context");
    return {helpFile, mode, QString::number(context)};
}

void WinHelp(const QString &helpFile, unsigned command, quint32 context,
             const std::function<QString(const QString &)> &findTool)
{
    // Told here rather than by a viewer window that could only say the same.
    if (!QFileInfo(helpFile).isFile())
        throw EHelpViewer(QStringLiteral("The help file %1 does not exist.").arg(QDir::toNativeSeparators(helpFile)));
    QString viewer = qEnvironmentVariable("QUORBEL_HELP_VIEWER");
    if (viewer.isEmpty())
        viewer = findTool ? findTool(ViewerCommand) : FindCommand(ViewerCommand, ToolSearchDirs());
    if (viewer.isEmpty())
        throw EHelpViewer(QStringLiteral("No help viewer is installed: %1 was found neither beside the IDE "
                                         "nor on the PATH, so %2 cannot be shown.")
                              .arg(ViewerCommand, helpFile));
    const int error = StartDetached(QStringList{viewer} + HelpViewerArguments(helpFile, command, context), SW_SHOW);
    if (error != 0)
        throw EHelpViewer(QStringLiteral("The help viewer %1 could not be started: %2.")
                              .arg(viewer, SystemErrorText(error)));
}
