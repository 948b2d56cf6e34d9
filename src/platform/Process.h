// Starting the IDE's outside tools: no shell, no quoting, the child's own
// working directory, and for a waited run the tool's output kept for the
// error message.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QObject;

struct TSpawnRequest {
    QStringList Arguments; // the first is the program, found on the PATH unless it holds a '/'
    QString WorkingDir;    // the child's; empty: the host's own
    bool Wait = false;     // block until the program ends, collecting its output
};

struct TSpawnResult {
    int Error = 0;       // errno of a failed start; 0 when the program ran
    int ExitStatus = -1; // waited runs: the exit code, or 128 + signal
    QString Output;      // waited runs: the end of what it printed on stdout and stderr
};

// A program that is not waited for writes to the host's standard error, and
// is reaped by a later call, so it never stays a zombie for long.
TSpawnResult SpawnProcess(const TSpawnRequest &request);

// errno text of the system, e.g. "No such file or directory".
QString SystemErrorText(int error);

// 0 when path is a directory the process may enter, else the errno why not.
int CheckDirectory(const QString &path);

// Directories where the IDE's tools are looked for: the running program's
// own, then the PATH.
QStringList ToolSearchDirs();
// The first executable regular file named name in dirs; empty if none.
QString FindCommand(const QString &name, const QStringList &dirs);

// Show commands of a started program, as the system numbers them.
enum TShowCommand : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOW = 5 };

// Starts a program and forgets it: it runs on after the host ends, and it is
// never the host's child once the call returns, so it can leave no zombie.
// Linux windows take no show command, so SW_HIDE only means that nothing of
// the program is shown: its output goes to /dev/null. Any other command lets
// it write to the host's standard error. Returns 0, or the errno of a failed
// start (ENOENT when the program is not found).
int StartDetached(const QStringList &arguments, int showCommand, const QString &workingDir = {});
// The same for a command line, split at blanks (nothing is quoted).
int WinExec(const QString &commandLine, int showCommand);

// StartDetached without a working directory; once the program has ended,
// ended gets its exit code (128 + signal) on the thread of context (the
// application when null), unless context has gone by then.
int StartWatched(const QStringList &arguments, int showCommand, QObject *context,
                 std::function<void(int exitStatus)> ended);

// The desktop's "open" of a file (xdg-open), not waited for. Throws
// Exception when xdg-open is not installed or cannot be started. xdg-open
// fails later when the desktop has no program for the file (status 3) or the
// program fails: failed, when given, hears of any status but 0, as StartWatched
// tells it. Outside a desktop xdg-open waits for the program it started, so
// its end may come long after the file was shown.
void ShellOpen(const QString &path, QObject *context = nullptr,
               std::function<void(int exitStatus)> failed = {});

// The IDE's compile command for a project file: a dcc32 on the PATH (not the
// resource-library linker built beside the running program), else Free
// Pascal in Delphi mode. Program, options, then the project's file name,
// to be run in the project's directory; empty when neither is installed.
QStringList PascalCompileCommand(const QString &projectFile, bool build);

// A tool run in the background on the caller's thread: no thread of its
// own, its end heard from the event loop. Standard output and error are
// merged and kept, bounded: the head holds a compiler's first error, the
// tail its summary. Killing it, or destroying it, reaps the child at once
// and the end is never told afterwards.
class TBackgroundRun {
public:
    static constexpr qsizetype KeptHeadBytes = 64 * 1024;
    static constexpr qsizetype KeptTailBytes = 64 * 1024;

    // exitStatus: the exit code, 128 + signal, or -1 when it did not start;
    // output: what it printed (the system's reason when it did not start).
    using TEnded = std::function<void(int exitStatus, const QString &output)>;

    TBackgroundRun();
    ~TBackgroundRun();
    TBackgroundRun(const TBackgroundRun &) = delete;
    TBackgroundRun &operator=(const TBackgroundRun &) = delete;

    // arguments: the program (found on the PATH unless it holds a '/'), then
    // its arguments. ended runs once, from the event loop, never from Start.
    void Start(const QStringList &arguments, const QString &workingDir, TEnded ended);
    bool Running() const;
    // Kills the child and waits for it; ended is not called.
    void Kill();

private:
    struct TState;
    std::unique_ptr<TState> FState;
};
