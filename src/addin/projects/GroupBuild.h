// Building the projects of a group one after the other, in the background
// on the user-interface thread: each project compiled with the IDE's compile
// command in its own directory, its result and output kept.
#pragma once

#include "Process.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

enum class TBuildState { Waiting, Building, Ok, Failed, NotFound, Stopped };

struct TBuildResult {
    TBuildState State = TBuildState::Waiting;
    QString FirstError; // Failed: the compiler's first error line
    QString Output;     // what the compiler printed
};

class TGroupBuild {
public:
    // Program and arguments that compile a project file; empty when no
    // compiler is installed.
    using TCommand = std::function<QStringList(const QString &projectFile)>;

    TGroupBuild(QStringList projects, TCommand command);
    // Kills a running compile; no callback is called from here on.
    ~TGroupBuild() = default;

    // Called from the event loop (and from Start and Stop).
    std::function<void(int index)> Changed;
    std::function<void()> Finished;

    void Start();
    // The running compile is killed and counts as stopped; projects not
    // reached stay waiting. Finished is called.
    void Stop();
    bool Running() const { return FRunning; }

    int Count() const { return int(FProjects.size()); }
    // Projects whose build has ended, whatever the result.
    int DoneCount() const { return FNext - (FRunning && FNext > 0 ? 1 : 0); }
    const QString &Project(int index) const { return FProjects.at(size_t(index)); }
    const TBuildResult &Result(int index) const { return FResults.at(size_t(index)); }

    // The line of output that says why a compile failed: the first error or
    // fatal message, else the last line printed, else the exit status.
    static QString FirstErrorLine(const QString &output, int exitStatus);

private:
    void Next();
    void Ended(int index, int exitStatus, const QString &output);
    void Set(int index, TBuildState state);

    QStringList FProjects;
    TCommand FCommand;
    std::vector<TBuildResult> FResults;
    int FNext = 0;
    bool FRunning = false;
    TBackgroundRun FRun; // last: killed before the rest goes
};
