#include "GroupBuild.h"

#include "core/StringTable.h"

#include "Paths.h"

#include <QRegularExpression>

TGroupBuild::TGroupBuild(QStringList projects, TCommand command)
    : FProjects(std::move(projects)), FCommand(std::move(command)), FResults(size_t(FProjects.size()))
{
}

void TGroupBuild::Start()
{
    if (FRunning)
        return;
    FRunning = true;
    Next();
}

void TGroupBuild::Set(int index, TBuildState state)
{
    FResults.at(size_t(index)).State = state;
    if (Changed)
        Changed(index);
}

void TGroupBuild::Next()
{
    // A loop, not a chain of calls: a group of missing projects ends here.
    while (FRunning && FNext < Count()) {
        const int index = FNext++;
        const QString &project = Project(index);
        if (!FileExists(project)) {
            Set(index, TBuildState::NotFound);
            continue;
        }
        const QStringList command = FCommand ? FCommand(project) : QStringList();
        if (command.isEmpty()) {
            FResults.at(size_t(index)).FirstError = LoadStr(txt::NoCompiler);
            Set(index, TBuildState::Failed);
            continue;
        }
        Set(index, TBuildState::Building);
        FRun.Start(command, ExtractFileDir(project),
                   [this, index](int status, const QString &output) { Ended(index, status, output); });
        return;
    }
    if (!FRunning)
        return;
    FRunning = false;
    if (Finished)
        Finished();
}

void TGroupBuild::Ended(int index, int exitStatus, const QString &output)
{
    TBuildResult &result = FResults.at(size_t(index));
    result.Output = output;
    if (exitStatus == 0) {
        Set(index, TBuildState::Ok);
    } else {
        result.FirstError = FirstErrorLine(output, exitStatus);
        Set(index, TBuildState::Failed);
    }
    Next();
}

void TGroupBuild::Stop()
{
    if (!FRunning)
        return;
    FRunning = false;
    FRun.Kill();
    for (int i = 0; i < Count(); ++i)
        if (Result(i).State == TBuildState::Building)
            Set(i, TBuildState::Stopped);
    if (Finished)
        Finished();
}

QString TGroupBuild::FirstErrorLine(const QString &output, int exitStatus)
{
    const QStringList lines = output.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")), Qt::SkipEmptyParts);
    // Free Pascal and Delphi both write "file(line) Error: ..." and "Fatal: ...".
    static const QRegularExpression marked(QStringLiteral("\\b(Error|Fatal):"));
    static const QRegularExpression word(QStringLiteral("\\berror\\b"), QRegularExpression::CaseInsensitiveOption);
    for (const QRegularExpression *pattern : {&marked, &word})
        for (const QString &line : lines)
            if (line.contains(*pattern))
                return line.trimmed();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (!it->trimmed().isEmpty())
            return it->trimmed();
    return exitStatus < 0 ? LoadStr(txt::BuildNotStarted) : LoadStr(txt::BuildExitStatus).arg(exitStatus);
}
