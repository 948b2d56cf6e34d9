// The tool-services object: every host operation an add-in calls.
#include "AppBuilder.h"
#include "CodeEditor.h"
#include "EditorIntf.h"
#include "HostMenu.h"
#include "Ide.h"
#include "SourceBuffer.h"


namespace qide {

namespace {

class THostToolServices final : public TIToolServices {
public:
    explicit THostToolServices(TIde *ide) : FIde(ide) {}

    QWidget *GetParentHandle() override { return FIde ? FIde->mainWindow() : nullptr; }
    QString GetProjectName() override { return FIde ? FIde->projectName() : QString(); }
    QString GetCurrentFile() override { return FIde ? FIde->currentFile() : QString(); }
    bool IsFileOpen(const QString &fileName) override
    {
        return FIde && FIde->editorFor(fileName) != nullptr;
    }
    bool OpenFile(const QString &fileName) override
    {
        if (!FIde || fileName.isEmpty())
            return false;
        try {
            return FIde->openFile(fileName) != nullptr;
        } catch (const Exception &) {
            return false; // the add-in decides what to tell the user
        }
    }
    bool OpenProject(const QString &projName) override
    {
        return FIde && FIde->openProject(projName);
    }
    int32_t GetUnitCount() override { return FIde ? int32_t(FIde->projectFiles().size()) : 0; }
    QString GetUnitName(int32_t index) override
    {
        return FIde ? FIde->projectFiles().value(index) : QString();
    }
    TIModuleInterface *GetModuleInterface(const QString &fileName) override
    {
        return FIde ? NewModuleInterface(FIde, FIde->editorFor(fileName)) : nullptr;
    }
    TIMainMenuIntf *GetMainMenu() override
    {
        return FIde && FIde->menus() ? FIde->menus()->mainMenu() : nullptr;
    }
    bool AddNotifier(TIAddInNotifier *notifier) override
    {
        return FIde && FIde->addNotifier(notifier);
    }
    bool RemoveNotifier(TIAddInNotifier *notifier) override
    {
        return FIde && FIde->removeNotifier(notifier);
    }
    // Shows the message, then abandons the running command.
    [[noreturn]] void RaiseException(const QString &message) override
    {
        if (FIde)
            FIde->showError(message);
        throw EHostAbort(message);
    }

private:
    QPointer<TIde> FIde;
};

} // namespace

TIToolServices *NewToolServices(TIde *ide)
{
    return new THostToolServices(ide);
}

} // namespace qide
