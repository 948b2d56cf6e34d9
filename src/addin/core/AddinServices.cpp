#include "AddinServices.h"

#include "Dialogs.h"
#include "Paths.h"
#include "Process.h"
#include "Registry.h"
#include "SafeFile.h"

TDialogService &TAddinServices::dialogs() const
{
    return Dialogs ? *Dialogs : CurrentDialogs();
}

TFileWriter &TAddinServices::writer() const
{
    return Writer ? *Writer : AtomicFileWriter();
}

QString TAddinServices::DataFile(const QString &name) const
{
    QString dir = DataDir;
    if (dir.endsWith(PathDelim))
        dir.chop(1);
    return dir + PathDelim + name;
}

QStringList TAddinServices::compileCommand(const QString &projectFile) const
{
    return CompileCommand ? CompileCommand(projectFile) : PascalCompileCommand(projectFile, false);
}

QString TAddinServices::findTool(const QString &command) const
{
    return FindTool ? FindTool(command) : FindCommand(command, ToolSearchDirs());
}

QString RegisteredAddinPath()
{
    return ReadRegString(HKEY::CurrentUser,
                         QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts\\Quorbel"));
}

QString AddinDataDir()
{
    return ExtractFileDir(RegisteredAddinPath());
}

TAddinServices DefaultServices(TIToolServices *toolServices)
{
    TAddinServices services;
    services.Ide = toolServices;
    // Dialogs stays empty: the platform's service in use when a box is shown.
    services.Writer = &AtomicFileWriter();
    services.DataDir = AddinDataDir();
    return services;
}
