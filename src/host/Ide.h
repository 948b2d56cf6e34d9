// The IDE: its windows, the open project and files, the notifiers and the
// add-ins, and the tool-services object through which add-ins reach it.
#pragma once

#include "ToolsApi.h"

#include "Exception.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TEditWindow;

namespace qide {

class TAppBuilder;
class TCodeEditor;
class TMenuModel;
class TAddinLoader;

class TIde : public QObject {
    Q_OBJECT
public:
    explicit TIde(QObject *parent = nullptr);
    ~TIde() override;

    // ---- windows and host objects
    TAppBuilder *mainWindow() const { return FMainWindow; }
    TEditWindow *editWindow() const;
    TEditWindow *ensureEditWindow();
    TMenuModel *menus() const;
    // Not reference-counted for the IDE: it lives as long as the IDE.
    TIToolServices *toolServices() const { return FToolServices; }
    TAddinLoader &addins() { return *FAddins; }

    // ---- project
    QString projectName() const { return FProjectName; }
    // The project file, then its units with "in" paths, resolved.
    QStringList projectFiles() const { return FProjectFiles; }
    // Closes what is open (asking about unsaved files) and opens the
    // project; false when it cannot be read or the user cancels.
    bool openProject(const QString &fileName);
    // A project file (.dpr, .dpk) opens as project, anything else as file.
    bool openPath(const QString &fileName);
    // Closes the project and every file. prompt: ask about unsaved files
    // (false when the user cancels); without it changes are discarded.
    bool closeAll(bool prompt = true);

    // ---- files
    // Opens the file (or finds it open) and brings it to the front.
    // Throws EInOutError when it cannot be read.
    TCodeEditor *openFile(const QString &fileName);
    TCodeEditor *editorFor(const QString &fileName) const;
    TCodeEditor *currentEditor() const;
    QString currentFile() const;
    QList<TCodeEditor *> editors() const;
    void showEditor(TCodeEditor *editor);
    // Saves, showing a failure; true when written.
    bool saveEditor(TCodeEditor *editor);
    bool saveAll();
    bool closeEditor(TCodeEditor *editor, bool prompt = true);

    // ---- notifiers
    bool addNotifier(TIAddInNotifier *notifier);
    bool removeNotifier(TIAddInNotifier *notifier);
    int notifierCount() const { return int(FNotifiers.size()); }
    // Sends a file notification to every notifier; true when one cancelled.
    bool notify(TFileNotification code, const QString &fileName);

    // ---- add-ins
    // Loads every library registered under the IDE's Experts key.
    void loadAddins();
    // Shows, once, what could not be loaded.
    void reportAddinErrors();

    // ---- commands and messages
    // Runs a command; an exception that leaves it is shown and the IDE runs on.
    template <typename F>
    bool runCommand(F &&command);
    void showError(const QString &text);
    QMessageBox::StandardButton message(QMessageBox::Icon icon, const QString &text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    // Replaces the message boxes (tests answer them).
    using TMessageHook = std::function<QMessageBox::StandardButton(
        QMessageBox::Icon, const QString &, QMessageBox::StandardButtons)>;
    void setMessageHook(TMessageHook hook) { FMessageHook = std::move(hook); }

    // ---- quitting
    // Closes the project (asking about unsaved files when prompt), releases
    // every expert, takes the add-ins' menu items out. False when cancelled.
    bool shutdown(bool prompt);
    bool isShutDown() const { return FShutDown; }

    // Log of what happens, for scripts and tests ("notify 5 FILE").
    void log(const QString &line) { emit event(line); }

    static QString normalisePath(const QString &fileName);
    static bool isProjectFile(const QString &fileName);

    QStringList recentFiles() const;

signals:
    void event(const QString &line);
    void projectChanged();
    void filesChanged();

private:
    // Asks about every unsaved file; false when the user cancels.
    bool confirmSaveAll();
    bool confirmSave(TCodeEditor *editor);
    void closeEditorsNow();
    void addRecent(const QString &fileName);

    TAppBuilder *FMainWindow = nullptr;
    QPointer<TEditWindow> FEditWindow;
    TIToolServices *FToolServices = nullptr;
    std::unique_ptr<TAddinLoader> FAddins;
    QString FProjectName;
    QStringList FProjectFiles;
    std::vector<TIAddInNotifier *> FNotifiers;
    TMessageHook FMessageHook;
    bool FShutDown = false;
};

template <typename F>
bool TIde::runCommand(F &&command)
{
    try {
        command();
        return true;
    } catch (const EHostAbort &) {
        // Shown when it was raised; it only ends the command.
    } catch (const Exception &e) {
        showError(e.message());
    } catch (const std::exception &e) {
        showError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showError(QStringLiteral("An unknown error ended the command."));
    }
    return false;
}

// The tool-services object handed to add-ins.
TIToolServices *NewToolServices(TIde *ide);

} // namespace qide
