#include "ScriptedDialogs.h"

ScriptedDialogs::ScriptedDialogs() : FPrevious(SetDialogService(this)) {}

ScriptedDialogs::~ScriptedDialogs()
{
    SetDialogService(FPrevious);
}

void ScriptedDialogs::record(const char *kind, const QString &text)
{
    log << QString::fromLatin1(kind) + QStringLiteral(": ") + text;
    texts << text;
}

void ScriptedDialogs::ShowMessage(const QString &text)
{
    record("message", text);
}

bool ScriptedDialogs::AskYesNo(const QString &text)
{
    record("question", text);
    if (FAnswers.empty()) {
        ++unansweredQuestions;
        return false;
    }
    const bool answer = FAnswers.front();
    FAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::ShowError(const QString &text)
{
    record("error", text);
}

QString ScriptedDialogs::GetOpenFileName(const QString &title, const QString &filter,
                                         const QString &initialDir)
{
    return nextFile("open", title, filter, initialDir);
}

QString ScriptedDialogs::GetSaveFileName(const QString &title, const QString &filter,
                                         const QString &initialDir)
{
    return nextFile("save", title, filter, initialDir);
}

QString ScriptedDialogs::nextFile(const char *kind, const QString &title, const QString &filter,
                                  const QString &initialDir)
{
    record(kind, title);
    lastFilter = filter;
    lastInitialDir = initialDir;
    if (FFiles.empty())
        return {};
    QString path = FFiles.front();
    FFiles.pop_front();
    return path;
}
