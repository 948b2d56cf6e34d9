#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QWidget *owner()
{
    return QApplication::activeWindow();
}

QString title()
{
    return QStringLiteral("Quorbel");
}

class QtDialogService final : public TDialogService {
public:
    void ShowMessage(const QString &text) override
    {
        QMessageBox::information(owner(), title(), text, QMessageBox::Ok);
    }
    bool AskYesNo(const QString &text) override
    {
        // Yes is the default button, as in the platform's Yes/No box: Enter answers Yes.
        return QMessageBox::information(owner(), title(), text, QMessageBox::Yes | QMessageBox::No,
                                        QMessageBox::Yes)
            == QMessageBox::Yes;
    }
    void ShowError(const QString &text) override
    {
        QMessageBox::critical(owner(), title(), text, QMessageBox::Ok);
    }
    QString GetOpenFileName(const QString &caption, const QString &filter,
                            const QString &initialDir) override
    {
        return QFileDialog::getOpenFileName(owner(), caption, initialDir, filter);
    }
    QString GetSaveFileName(const QString &caption, const QString &filter,
                            const QString &initialDir) override
    {
        return QFileDialog::getSaveFileName(owner(), caption, initialDir, filter);
    }
};

QtDialogService qtService;
TDialogService *current = &qtService;

class ForwardingService final : public TDialogService {
public:
    void ShowMessage(const QString &text) override { current->ShowMessage(text); }
    bool AskYesNo(const QString &text) override { return current->AskYesNo(text); }
    void ShowError(const QString &text) override { current->ShowError(text); }
    QString GetOpenFileName(const QString &title, const QString &filter,
                            const QString &initialDir) override
    {
        return current->GetOpenFileName(title, filter, initialDir);
    }
    QString GetSaveFileName(const QString &title, const QString &filter,
                            const QString &initialDir) override
    {
        return current->GetSaveFileName(title, filter, initialDir);
    }
};
ForwardingService forwarding;

} // namespace

TDialogService &Dialogs()
{
    return *current;
}

TDialogService &CurrentDialogs()
{
    return forwarding;
}

TDialogService *SetDialogService(TDialogService *service)
{
    TDialogService *previous = current;
    current = service ? service : &qtService;
    return previous;
}
