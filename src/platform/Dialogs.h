// Message boxes and the open-file dialog, behind one replaceable service.
#pragma once

#include <QString>

class TDialogService {
public:
    virtual ~TDialogService() = default;
    // Plain message box with one OK button.
    virtual void ShowMessage(const QString &text) = 0;
    // Information box with Yes and No; true only for Yes.
    virtual bool AskYesNo(const QString &text) = 0;
    // The application's error display.
    virtual void ShowError(const QString &text) = 0;
    // Open-file dialog; empty when cancelled.
    virtual QString GetOpenFileName(const QString &title, const QString &filter,
                                    const QString &initialDir) = 0;
    // Save-file dialog; empty when cancelled. A service without one cancels.
    virtual QString GetSaveFileName(const QString &title, const QString &filter, const QString &initialDir)
    {
        (void)title, (void)filter, (void)initialDir;
        return {};
    }
};

// The service in use; Qt dialogs unless a test installed its own.
TDialogService &Dialogs();
// Forwards every call to the service in use at the time of the call.
TDialogService &CurrentDialogs();
// Installs a service (nullptr restores the Qt one); returns the previous one.
TDialogService *SetDialogService(TDialogService *service);

