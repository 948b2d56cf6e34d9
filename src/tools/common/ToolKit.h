// What brcc32 and dcc32 share: their messages and exit codes, the outside
// tools they run, and outputs that appear in place only when whole.
#pragma once

#include <QString>
#include <QStringList>

enum TExitCode : int { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitCannotRun = 126, ExitNotFound = 127 };

// The program's name, before each of its messages and in its temporary
// files' names; set once at the start of main.
void SetProgramName(const char *name);
// "NAME: text" on standard error.
void PrintError(const QString &text);

// The outside tool an environment variable names, else fallback. Tools start
// in the output's directory, so a relative path given here is made absolute
// from the current one, where it was meant.
QString ToolCommand(const char *variable, const char *fallback);

// What a user is told when a tool is not found.
struct TToolHint {
    const char *Package; // the Debian package that installs it
    const char *Instead; // "QUORBEL_WINDRES at a windres"
};

struct TToolRun {
    int Code = ExitOk; // ExitOk, ExitFailed, ExitCannotRun or ExitNotFound
    int Status = 0;    // ExitFailed: the tool's exit status
};

// Runs arguments (the tool first) in dir and waits; what the tool printed
// goes to standard error first. A tool that could not start is reported
// here; for one that ran and failed, the caller words the message.
TToolRun RunTool(const QStringList &arguments, const QString &dir, const TToolHint &hint);

// A temporary file beside an output, so the rename into place cannot cross
// file systems. Removed when dropped, unless it was moved into place.
class TTempBeside {
public:
    TTempBeside() = default;
    TTempBeside(const TTempBeside &) = delete;
    TTempBeside &operator=(const TTempBeside &) = delete;
    ~TTempBeside();

    // DIR/.NAME-XXXXXX<suffix> with the permissions of a new file; false,
    // the reason printed, when it cannot be made.
    bool Create(const QString &dir, const char *suffix);
    const QString &Path() const { return FPath; }
    QString FileName() const;
    // Renames it to target once the tool wrote at least minBytes; else (or
    // when the rename fails) says why, naming what the tool should have
    // written ("resource file"), and keeps it for the destructor to remove.
    bool MoveInto(const QString &target, qint64 minBytes, const QString &tool, const char *what);

private:
    QString FPath;
};

// Removes an output left by an earlier run, so that after a failure none is
// there; says why when it cannot.
void RemoveOldOutput(const QString &path);
