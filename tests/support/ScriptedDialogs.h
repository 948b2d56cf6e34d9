// Message boxes answered from a script; every text shown is recorded, in order.
#pragma once

#include "Dialogs.h"

#include <QStringList>

#include <deque>

class ScriptedDialogs final : public TDialogService {
public:
    ScriptedDialogs();  // installs itself
    ~ScriptedDialogs() override; // restores the previous service

    void answerYes() { FAnswers.push_back(true); }
    void answerNo() { FAnswers.push_back(false); }
    void answerFile(const QString &path) { FFiles.push_back(path); }

    void ShowMessage(const QString &text) override;
    bool AskYesNo(const QString &text) override;
    void ShowError(const QString &text) override;
    QString GetOpenFileName(const QString &title, const QString &filter,
                            const QString &initialDir) override;
    // Answered from the same files as the open-file dialog.
    QString GetSaveFileName(const QString &title, const QString &filter,
                            const QString &initialDir) override;

    // "message: ...", "question: ...", "error: ...", "open: ...", "save: ..."
    QStringList log;
    // Just the texts, in order.
    QStringList texts;
    int unansweredQuestions = 0;
    // What the last open-file dialog was given.
    QString lastFilter;
    QString lastInitialDir;

private:
    void record(const char *kind, const QString &text);
    // A file dialog: recorded, answered with the next scripted file or cancelled.
    QString nextFile(const char *kind, const QString &title, const QString &filter, const QString &initialDir);
    TDialogService *FPrevious;
    std::deque<bool> FAnswers;
    std::deque<QString> FFiles;
};
