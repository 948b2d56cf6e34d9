// What a tool is given by the expert that opens it: the IDE, the message
// boxes, the project's tables, the add-in's data directory and the writer of
// its data files.
// Tools never reach for globals; tests build one of these from doubles.
#pragma once

#include "NotifyIcon.h"
#include "ToolsApi.h"

#include <QString>
#include <QStringList>

#include <functional>

class TDialogService;
class TFileWriter;
class TSYS;

struct TAddinServices {
    TIToolServices *Ide = nullptr;          // the IDE; nullptr: none (tests, start-up)
    TDialogService *Dialogs = nullptr;      // nullptr: the platform's dialogs
    TFileWriter *Writer = nullptr;          // nullptr: the atomic writer
    TSYS *Data = nullptr;                   // the data module; nullptr: no tables
    QString DataDir;                        // directory of the registered library
    // Where an outside tool's command is installed, empty if nowhere; empty
    // function: beside the running program, then on the PATH.
    std::function<QString(const QString &command)> FindTool;
    // Program and arguments that compile a project file, empty when no
    // compiler is installed; empty function: the IDE's own compile command.
    std::function<QStringList(const QString &projectFile)> CompileCommand;
    // The notification-area icon calls; empty: the platform's tray.
    TNotifyIconFunction NotifyIcon;

    TDialogService &dialogs() const;
    TFileWriter &writer() const;
    // DataDir + separator + name; with no data directory, "/name".
    QString DataFile(const QString &name) const;
    QString findTool(const QString &command) const;
    QStringList compileCommand(const QString &projectFile) const;
};

// Full path of the add-in library as registered with the IDE.
QString RegisteredAddinPath();
// Directory of the registered add-in library: home of the add-in's data files.
QString AddinDataDir();

// The services of a running add-in: the IDE given, the platform's dialogs,
// the atomic writer and the registered data directory.
TAddinServices DefaultServices(TIToolServices *toolServices);
