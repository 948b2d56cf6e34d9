#include "Ide.h"

#include "AddinLoader.h"
#include "AppBuilder.h"
#include "CodeEditor.h"
#include "EditWindow.h"
#include "HostMenu.h"
#include "ProjectFile.h"
#include "SourceBuffer.h"

#include "Registry.h"

#include <QApplication>
#include <QFileInfo>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>

#include <algorithm>

namespace qide {

namespace {
const QString IdeKey = QStringLiteral("\\Software\\Quorbel\\IDE");
const QString RecentValue = QStringLiteral("Recent");
constexpr int MaxRecent = 10;
} // namespace

TIde::TIde(QObject *parent) : QObject(parent)
{
    FToolServices = NewToolServices(this);
    FAddins = std::make_unique<TAddinLoader>(FToolServices, [this](const QString &line) { log(line); });
    FMainWindow = new TAppBuilder(this);
}

TIde::~TIde()
{
    shutdown(false);
    delete FEditWindow.data();
    delete FMainWindow;
    FMainWindow = nullptr;
    // Deferred deletions of add-in objects must run while their code is loaded.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FAddins->closeLibraries();
    FAddins.reset();
    FToolServices->Release();
}

TEditWindow *TIde::editWindow() const
{
    return FEditWindow.data();
}

TMenuModel *TIde::menus() const
{
    return FMainWindow ? FMainWindow->menus() : nullptr;
}

TEditWindow *TIde::ensureEditWindow()
{
    if (!FEditWindow) {
        FEditWindow = new TEditWindow();
        FEditWindow->setAttribute(Qt::WA_QuitOnClose, false);
        if (FMainWindow) {
            const QRect main = FMainWindow->geometry();
            FEditWindow->move(main.left(), main.bottom() + 30);
        }
        // The IDE's shortcuts work in the editor window as in the main window,
        // and Alt with a menu's letter opens that menu instead of typing.
        if (FMainWindow) {
            FEditWindow->addActions(FMainWindow->shortcutActions());
            for (QAction *menu : FMainWindow->menuBar()->actions()) {
                const QKeySequence mnemonic = QKeySequence::mnemonic(menu->text());
                if (mnemonic.isEmpty())
                    continue;
                auto *key = new QShortcut(mnemonic, FEditWindow);
                connect(key, &QShortcut::activated, FMainWindow, [this, menu] {
                    FMainWindow->activateWindow();
                    FMainWindow->raise();
                    FMainWindow->menuBar()->setActiveAction(menu);
                });
            }
        }
        connect(FEditWindow, &TEditWindow::closeRequested, this,
                [this](TCodeEditor *editor) { runCommand([&] { closeEditor(editor, true); }); });
        connect(FEditWindow, &TEditWindow::closeAllRequested, this, [this] {
            runCommand([&] {
                for (TCodeEditor *e : editors())
                    if (!closeEditor(e, true))
                        return;
            });
        });
        connect(FEditWindow, &TEditWindow::currentEditorChanged, this, [this] { emit filesChanged(); });
    }
    return FEditWindow;
}

QString TIde::normalisePath(const QString &fileName)
{
    return AbsoluteUserPath(fileName);
}

bool TIde::isProjectFile(const QString &fileName)
{
    const QString name = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot < 0 ? QString() : name.mid(dot + 1);
    return suffix.compare(QLatin1String("dpr"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("dpk"), Qt::CaseInsensitive) == 0;
}

// ------------------------------------------------------------------ files

QList<TCodeEditor *> TIde::editors() const
{
    return FEditWindow ? FEditWindow->editors() : QList<TCodeEditor *>();
}

TCodeEditor *TIde::editorFor(const QString &fileName) const
{
    if (fileName.isEmpty())
        return nullptr;
    const QString path = normalisePath(fileName);
    const QList<TCodeEditor *> open = editors();
    for (TCodeEditor *e : open)
        if (e->buffer()->fileName() == path)
            return e;
    // The same file reached through a link.
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty())
        for (TCodeEditor *e : open)
            if (QFileInfo(e->buffer()->fileName()).canonicalFilePath() == canonical)
                return e;
    return nullptr;
}

TCodeEditor *TIde::currentEditor() const
{
    return FEditWindow ? FEditWindow->currentEditor() : nullptr;
}

QString TIde::currentFile() const
{
    TCodeEditor *e = currentEditor();
    return e ? e->buffer()->fileName() : QString();
}

void TIde::showEditor(TCodeEditor *editor)
{
    if (editor && FEditWindow)
        FEditWindow->showEditor(editor);
}

TCodeEditor *TIde::openFile(const QString &fileName)
{
    const QString path = normalisePath(fileName);
    if (TCodeEditor *open = editorFor(path)) {
        showEditor(open);
        return open;
    }
    // Read first: a missing file, a pipe or a huge file is refused at once.
    auto buffer = std::make_unique<TSourceBuffer>(path);
    buffer->load();
    if (notify(fnFileOpening, path))
        return nullptr;
    if (!buffer->problem().isEmpty())
        log(QStringLiteral("file-warning %1: %2").arg(path, buffer->problem()));
    auto *editor = new TCodeEditor(buffer.release());
    ensureEditWindow()->addEditor(editor);
    showEditor(editor);
    notify(fnFileOpened, path);
    emit filesChanged();
    return editor;
}

bool TIde::saveEditor(TCodeEditor *editor)
{
    if (!editor)
        return false;
    TSourceBuffer *buffer = editor->buffer();
    const TTextEncoding before = buffer->format().encoding;
    try {
        buffer->save();
    } catch (const Exception &e) {
        showError(e.message());
        return false;
    }
    log(QStringLiteral("saved ") + buffer->fileName());
    notify(fnFileSaved, buffer->fileName());
    if (before != buffer->format().encoding && FMainWindow)
        FMainWindow->statusBar()->showMessage(
            QStringLiteral("%1 holds characters Windows-1252 cannot store: saved as UTF-8.")
                .arg(QFileInfo(buffer->fileName()).fileName()),
            10000);
    return true;
}

bool TIde::saveAll()
{
    bool all = true;
    for (TCodeEditor *e : editors())
        if (e->buffer()->isModified())
            all = saveEditor(e) && all;
    return all;
}

bool TIde::confirmSave(TCodeEditor *editor)
{
    if (!editor->buffer()->isModified())
        return true;
    showEditor(editor);
    switch (message(QMessageBox::Question,
                    QStringLiteral("Save changes to %1?").arg(editor->buffer()->fileName()),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
    case QMessageBox::Yes:
        return saveEditor(editor);
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

bool TIde::confirmSaveAll()
{
    for (TCodeEditor *e : editors())
        if (!confirmSave(e))
            return false;
    return true;
}

bool TIde::closeEditor(TCodeEditor *editor, bool prompt)
{
    if (!editor)
        return false;
    if (prompt && !confirmSave(editor))
        return false;
    const QString path = editor->buffer()->fileName();
    notify(fnFileClosing, path);
    if (FEditWindow) {
        FEditWindow->removeEditor(editor);
        if (FEditWindow->editors().isEmpty())
            FEditWindow->hide();
    }
    emit filesChanged();
    return true;
}

void TIde::closeEditorsNow()
{
    for (TCodeEditor *e : editors())
        closeEditor(e, false);
}

// ---------------------------------------------------------------- project

bool TIde::openPath(const QString &fileName)
{
    if (isProjectFile(fileName))
        return openProject(fileName);
    try {
        if (!openFile(fileName))
            return false;
        addRecent(normalisePath(fileName));
        return true;
    } catch (const Exception &e) {
        showError(e.message());
        return false;
    }
}

bool TIde::openProject(const QString &fileName)
{
    const QString path = normalisePath(fileName);
    QStringList files;
    try {
        files = ProjectFiles(path);
    } catch (const Exception &e) {
        showError(e.message());
        return false;
    }
    if (!closeAll(true))
        return false;
    if (notify(fnProjectOpening, path))
        return false;
    FProjectName = path;
    FProjectFiles = files;
    emit projectChanged();
    notify(fnProjectOpened, path);
    addRecent(path);
    try {
        openFile(path);
    } catch (const Exception &e) {
        showError(e.message());
    }
    return true;
}

bool TIde::closeAll(bool prompt)
{
    if (prompt && !confirmSaveAll())
        return false;
    if (!FProjectName.isEmpty())
        notify(fnProjectClosing, FProjectName);
    closeEditorsNow();
    if (!FProjectName.isEmpty()) {
        FProjectName.clear();
        FProjectFiles.clear();
        emit projectChanged();
    }
    return true;
}

QStringList TIde::recentFiles() const
{
    return Registry::readString(HKEY::CurrentUser, IdeKey, RecentValue)
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TIde::addRecent(const QString &fileName)
{
    QStringList list = recentFiles();
    list.removeAll(fileName);
    list.prepend(fileName);
    while (list.size() > MaxRecent)
        list.removeLast();
    Registry::writeString(HKEY::CurrentUser, IdeKey, RecentValue, list.join(QLatin1Char('\n')));
}

// -------------------------------------------------------------- notifiers

bool TIde::addNotifier(TIAddInNotifier *notifier)
{
    if (!notifier || std::find(FNotifiers.begin(), FNotifiers.end(), notifier) != FNotifiers.end())
        return false;
    notifier->AddRef();
    FNotifiers.push_back(notifier);
    return true;
}

bool TIde::removeNotifier(TIAddInNotifier *notifier)
{
    auto it = std::find(FNotifiers.begin(), FNotifiers.end(), notifier);
    if (it == FNotifiers.end())
        return false;
    FNotifiers.erase(it);
    notifier->Release();
    return true;
}

bool TIde::notify(TFileNotification code, const QString &fileName)
{
    log(QStringLiteral("notify %1 %2").arg(int(code)).arg(fileName));
    bool cancel = false;
    const std::vector<TIAddInNotifier *> targets = FNotifiers;
    for (TIAddInNotifier *n : targets) {
        // A notifier may unregister another (or itself) while we go.
        if (std::find(FNotifiers.begin(), FNotifiers.end(), n) == FNotifiers.end())
            continue;
        n->AddRef();
        runCommand([&] { n->FileNotification(code, fileName, cancel); });
        n->Release();
    }
    // Only the opening notifications can be refused.
    return cancel && (code == fnFileOpening || code == fnProjectOpening);
}

// ---------------------------------------------------------------- add-ins

void TIde::loadAddins()
{
    FAddins->loadRegistered();
}

void TIde::reportAddinErrors()
{
    const QStringList errors = FAddins->takeErrors();
    if (errors.isEmpty())
        return;
    message(QMessageBox::Warning,
            QStringLiteral("Some add-ins could not be loaded and were skipped:\n\n")
                + errors.join(QLatin1Char('\n')));
}

// --------------------------------------------------------------- messages

void TIde::showError(const QString &text)
{
    message(QMessageBox::Critical, text);
}

QMessageBox::StandardButton TIde::message(QMessageBox::Icon icon, const QString &text,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton)
{
    if (FMessageHook)
        return FMessageHook(icon, text, buttons);
    QWidget *owner = QApplication::activeWindow();
    if (!owner)
        owner = FMainWindow;
    QMessageBox box(icon, QStringLiteral("Quorbel IDE"), text, buttons, owner);
    box.setObjectName(QStringLiteral("IdeMessage"));
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}

// ---------------------------------------------------------------- quitting

bool TIde::shutdown(bool prompt)
{
    if (FShutDown)
        return true;
    if (!closeAll(prompt))
        return false;
    FShutDown = true;
    FAddins->releaseExperts();
    if (TMenuModel *m = menus())
        m->removeInsertedItems();
    // Notifiers an add-in left registered go back before its code is unloaded.
    for (TIAddInNotifier *n : std::exchange(FNotifiers, {}))
        n->Release();
    return true;
}

} // namespace qide
