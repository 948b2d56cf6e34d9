#include "AppBuilder.h"

#include "AddinLoader.h"
#include "CodeEditor.h"
#include "EditWindow.h"
#include "HostMenu.h"
#include "Ide.h"
#include "ProjectFile.h"
#include "SourceBuffer.h"

#include "HelpViewer.h"
#include "Process.h"
#include "Registry.h"
#include "SafeFile.h"
#include "Windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace qide {

namespace {

const QString SourceFilter = QStringLiteral(
    "Pascal files (*.pas *.dpr *.dpk *.inc *.PAS *.DPR *.DPK *.INC);;All files (*)");
const QString ProjectFilter = QStringLiteral("Projects (*.dpr *.dpk *.DPR *.DPK);;All files (*)");

// Last lines of a tool's output, enough for a message box.
QString Tail(const QString &text, int lines)
{
    QStringList all = text.split(QLatin1Char('\n'));
    while (!all.isEmpty() && all.last().trimmed().isEmpty())
        all.removeLast();
    if (all.size() > lines)
        all = all.mid(all.size() - lines);
    return all.join(QLatin1Char('\n'));
}

// The add-in's guide is installed beside the registered library.
QString AddinGuideFile()
{
    const QString library =
        Registry::readString(HKEY::CurrentUser, TAddinLoader::ExpertsKey, QStringLiteral("Quorbel"));
    if (library.isEmpty())
        throw Exception(QStringLiteral("No Quorbel add-in is registered, so there is no guide to show."));
    return QFileInfo(library).absolutePath() + QStringLiteral("/quorbel.hlp");
}

} // namespace

TAppBuilder::TAppBuilder(TIde *ide) : QMainWindow(nullptr), FIde(ide), FProjectTree(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("AppBuilder"));
    setAttribute(Qt::WA_QuitOnClose, false);
    buildMenus();

    auto *speedBar = addToolBar(QStringLiteral("Speed bar"));
    speedBar->setObjectName(QStringLiteral("SpeedBar"));
    speedBar->setMovable(false);
    speedBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto speed = [&](const char *item, QStyle::StandardPixmap icon) {
        if (QAction *a = FMenus->findAction(QLatin1String(item))) {
            a->setIcon(style()->standardIcon(icon));
            speedBar->addAction(a);
        }
    };
    speed("FileopenItem", QStyle::SP_DialogOpenButton);
    speed("FileOpenProjectItem", QStyle::SP_DirOpenIcon);
    speed("FileSaveItem", QStyle::SP_DialogSaveButton);
    speed("FileSaveAllItem", QStyle::SP_DriveHDIcon);
    speed("FileCloseAllItem", QStyle::SP_DialogCloseButton);

    FProjectTree->setObjectName(QStringLiteral("ProjectTree"));
    FProjectTree->setHeaderLabels({QStringLiteral("Unit"), QStringLiteral("Path")});
    FProjectTree->setRootIsDecorated(false);
    FProjectTree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setCentralWidget(FProjectTree);
    connect(FProjectTree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const QString path = item->data(1, Qt::UserRole).toString();
        FIde->runCommand([&] { FIde->openFile(path); });
    });
    connect(FIde, &TIde::projectChanged, this, [this] {
        refreshProject();
        refreshTitle();
    });
    connect(FIde, &TIde::filesChanged, this, [this] { refreshTitle(); });

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    FProjectLabel = new QLabel(this);
    FProjectLabel->setObjectName(QStringLiteral("ProjectLabel"));
    statusBar()->addPermanentWidget(FProjectLabel, 1);
    refreshTitle();
    resize(760, 260);
    move(40, 30);
}

QMenu *TAppBuilder::addMenu(const QString &name, const QString &title)
{
    QMenu *menu = menuBar()->addMenu(title);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    return menu;
}

QAction *TAppBuilder::addItem(QMenu *menu, const QString &name, const QString &caption,
                              const QKeySequence &shortcut, std::function<void()> onClick)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(name);
    a->setShortcut(shortcut);
    connect(a, &QAction::triggered, this, [this, onClick] { FIde->runCommand(onClick); });
    return a;
}

void TAppBuilder::addSeparator(QMenu *menu)
{
    menu->addSeparator();
}

QList<QAction *> TAppBuilder::shortcutActions() const
{
    QList<QAction *> out;
    std::function<void(const QList<QAction *> &)> walk = [&](const QList<QAction *> &actions) {
        for (QAction *a : actions) {
            if (a->menu())
                walk(a->menu()->actions());
            else if (!a->shortcut().isEmpty() && a->shortcutContext() == Qt::WindowShortcut)
                out << a;
        }
    };
    walk(menuBar()->actions());
    return out;
}

void TAppBuilder::buildMenus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    auto editor = [this] { return FIde->currentEditor(); };

    QMenu *file = addMenu(QStringLiteral("FileMenu"), QStringLiteral("&File"));
    addItem(file, QStringLiteral("FileopenItem"), QStringLiteral("&Open..."), QKeySequence::Open,
            [this] { fileOpen(false); });
    addItem(file, QStringLiteral("FileOpenProjectItem"), QStringLiteral("Open Pro&ject..."),
            QKeySequence(Qt::CTRL | Qt::Key_F11), [this] { fileOpen(true); });
    QMenu *reopen = file->addMenu(QStringLiteral("&Reopen"));
    reopen->setObjectName(QStringLiteral("FileReopenItem"));
    reopen->menuAction()->setObjectName(QStringLiteral("FileReopenItem"));
    connect(reopen, &QMenu::aboutToShow, this, [this, reopen] { refreshReopen(reopen); });
    addItem(file, QStringLiteral("FileSaveItem"), QStringLiteral("&Save"), QKeySequence::Save,
            [this, editor] {
                if (TCodeEditor *e = editor())
                    FIde->saveEditor(e);
            });
    addItem(file, QStringLiteral("FileSaveAsItem"), QStringLiteral("Save &As..."), {},
            [this] { fileSaveAs(); });
    addItem(file, QStringLiteral("FileSaveAllItem"), QStringLiteral("Save A&ll"),
            QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_S), [this] { FIde->saveAll(); });
    addSeparator(file);
    addItem(file, QStringLiteral("FileCloseItem"), QStringLiteral("&Close"),
            QKeySequence(Qt::CTRL | Qt::Key_F4), [this, editor] {
                if (TCodeEditor *e = editor())
                    FIde->closeEditor(e, true);
            });
    addItem(file, QStringLiteral("FileCloseAllItem"), QStringLiteral("Clos&e All"), {},
            [this] { FIde->closeAll(true); });
    addSeparator(file);
    addItem(file, QStringLiteral("FileExitItem"), QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q),
            [this] { close(); });

    QMenu *edit = addMenu(QStringLiteral("EditMenu"), QStringLiteral("&Edit"));
    auto onEditor = [editor](void (QPlainTextEdit::*op)()) {
        return [editor, op] {
            if (TCodeEditor *e = editor())
                (e->*op)();
        };
    };
    addItem(edit, QStringLiteral("EditUndoItem"), QStringLiteral("&Undo"), QKeySequence::Undo,
            onEditor(&QPlainTextEdit::undo));
    addItem(edit, QStringLiteral("EditRedoItem"), QStringLiteral("&Redo"), QKeySequence::Redo,
            onEditor(&QPlainTextEdit::redo));
    addSeparator(edit);
    addItem(edit, QStringLiteral("EditCutItem"), QStringLiteral("Cu&t"), QKeySequence::Cut,
            onEditor(&QPlainTextEdit::cut));
    addItem(edit, QStringLiteral("EditCopyItem"), QStringLiteral("&Copy"), QKeySequence::Copy,
            onEditor(&QPlainTextEdit::copy));
    addItem(edit, QStringLiteral("EditPasteItem"), QStringLiteral("&Paste"), QKeySequence::Paste,
            onEditor(&QPlainTextEdit::paste));
    // No shortcut: a plain Delete belongs to whatever widget has the focus.
    addItem(edit, QStringLiteral("EditDeleteItem"), QStringLiteral("&Delete"), {}, [editor] {
        if (TCodeEditor *e = editor())
            e->textCursor().removeSelectedText();
    });
    addItem(edit, QStringLiteral("EditSelectAllItem"), QStringLiteral("Select &All"),
            QKeySequence::SelectAll, onEditor(&QPlainTextEdit::selectAll));
    addSeparator(edit);
    addItem(edit, QStringLiteral("EditFindItem"), QStringLiteral("&Find..."), QKeySequence::Find,
            [this] { editFind(false); });
    addItem(edit, QStringLiteral("EditFindNextItem"), QStringLiteral("Find &Next"),
            QKeySequence(Qt::Key_F3), [this] { editFind(true); });
    addItem(edit, QStringLiteral("EditGotoLineItem"), QStringLiteral("&Go to Line Number..."),
            QKeySequence(Qt::ALT | Qt::Key_G), [this] { editGotoLine(); });

    QMenu *view = addMenu(QStringLiteral("ViewMenu"), QStringLiteral("&View"));
    addItem(view, QStringLiteral("ViewPrjMgrItem"), QStringLiteral("Project &Manager"),
            QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F11), [this] {
                show();
                raise();
                activateWindow();
                FProjectTree->setFocus();
            });
    addItem(view, QStringLiteral("ViewEditorItem"), QStringLiteral("&Editor"), QKeySequence(Qt::Key_F12),
            [this, editor] {
                if (TCodeEditor *e = editor())
                    FIde->showEditor(e);
            });
    addItem(view, QStringLiteral("ViewWindowListItem"), QStringLiteral("&Window List..."),
            QKeySequence(Qt::ALT | Qt::Key_0), [this] { viewWindowList(); });

    QMenu *project = addMenu(QStringLiteral("ProjectMenu"), QStringLiteral("&Project"));
    addItem(project, QStringLiteral("ProjectCompileItem"), QStringLiteral("&Compile"),
            QKeySequence(Qt::CTRL | Qt::Key_F9), [this] { projectCompile(false); });
    addItem(project, QStringLiteral("ProjectBuildItem"), QStringLiteral("&Build All"), {},
            [this] { projectCompile(true); });
    addItem(project, QStringLiteral("ProjectInformationItem"), QStringLiteral("&Information..."), {},
            [this] { projectInformation(); });
    addSeparator(project);
    // Add-ins put their project commands between the two separators.
    addSeparator(project);
    addItem(project, QStringLiteral("ProjectSourceItem"), QStringLiteral("View Project &Source"), {},
            [this] {
                if (FIde->projectName().isEmpty())
                    FIde->message(QMessageBox::Information, QStringLiteral("No project is open."));
                else
                    FIde->openFile(FIde->projectName());
            });

    QMenu *help = addMenu(QStringLiteral("HelpMenu"), QStringLiteral("&Help"));
    addItem(help, QStringLiteral("HelpContentsItem"), QStringLiteral("&Using Quorbel IDE"),
            QKeySequence(Qt::Key_F1), [this] {
                FIde->message(QMessageBox::Information,
                              QStringLiteral(
                                  "File > Open Project opens a .dpr project; its units are listed "
                                  "in the project manager (double-click one to edit it).\n"
                                  "File > Open opens any source file in the editor window.\n"
                                  "Add-ins registered under the IDE's Experts key are loaded at "
                                  "start-up and add their commands to these menus.\n"
                                  "Help > Add-ins lists the experts that are running."));
            });
    addItem(help, QStringLiteral("HelpGuideItem"), QStringLiteral("Quorbel &Guide"), {},
            [] { WinHelp(AddinGuideFile(), HELP_CONTENTS, 0); });
    addItem(help, QStringLiteral("HelpAddinsItem"), QStringLiteral("Add-&ins..."), {},
            [this] { helpAddins(); });
    addSeparator(help);
    addItem(help, QStringLiteral("HelpAboutItem"), QStringLiteral("&About..."), {}, [this] {
        FIde->message(QMessageBox::Information,
                      QStringLiteral("Quorbel IDE 1.0\nA small Pascal IDE that hosts "
                                     "add-ins written for the classic expert interface."));
    });

    FMenus = new TMenuModel(menuBar(), FIde);
    FMenus->prepare();
}

void TAppBuilder::refreshReopen(QMenu *menu)
{
    menu->clear();
    const QStringList recent = FIde->recentFiles();
    if (recent.isEmpty()) {
        menu->addAction(QStringLiteral("(empty)"))->setEnabled(false);
        return;
    }
    int n = 0;
    for (const QString &path : recent) {
        QAction *a = menu->addAction(QStringLiteral("&%1 %2").arg(++n % 10).arg(path));
        a->setObjectName(QStringLiteral("FileReopen%1").arg(n));
        connect(a, &QAction::triggered, this, [this, path] { FIde->runCommand([&] { FIde->openPath(path); }); });
    }
}

void TAppBuilder::refreshProject()
{
    FProjectTree->clear();
    const QStringList files = FIde->projectFiles();
    for (const QString &path : files) {
        auto *item = new QTreeWidgetItem(FProjectTree);
        item->setText(0, QFileInfo(path).completeBaseName());
        item->setText(1, path);
        item->setData(1, Qt::UserRole, path);
        if (!QFileInfo::exists(path))
            item->setForeground(1, Qt::red);
    }
}

void TAppBuilder::refreshTitle()
{
    const QString project = FIde->projectName();
    setWindowTitle(project.isEmpty() ? QStringLiteral("Quorbel IDE")
                                     : QStringLiteral("Quorbel IDE - %1").arg(QFileInfo(project).fileName()));
    FProjectLabel->setText(project);
}

void TAppBuilder::closeEvent(QCloseEvent *event)
{
    if (!FIde->shutdown(true)) {
        event->ignore();
        return;
    }
    event->accept();
    QApplication::quit();
}

// --------------------------------------------------------------- commands

void TAppBuilder::fileOpen(bool projectsOnly)
{
    const QString start = FIde->projectName().isEmpty() ? QString() : QFileInfo(FIde->projectName()).absolutePath();
    const QString name = QFileDialog::getOpenFileName(
        this, projectsOnly ? QStringLiteral("Open Project") : QStringLiteral("Open"), start,
        projectsOnly ? ProjectFilter : SourceFilter);
    if (!name.isEmpty())
        FIde->openPath(name);
}

void TAppBuilder::fileSaveAs()
{
    TCodeEditor *e = FIde->currentEditor();
    if (!e)
        return;
    const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"),
                                                      e->buffer()->fileName(), SourceFilter);
    if (name.isEmpty())
        return;
    if (FIde->editorFor(name) && FIde->editorFor(name) != e) {
        FIde->showError(QStringLiteral("%1 is open in another tab.").arg(name));
        return;
    }
    const QString old = e->buffer()->fileName();
    e->buffer()->setFileName(TIde::normalisePath(name));
    if (!FIde->saveEditor(e)) {
        e->buffer()->setFileName(old);
        return;
    }
    if (TEditWindow *w = FIde->editWindow()) {
        const int index = w->tabs()->indexOf(e);
        w->tabs()->setTabText(index, QFileInfo(name).fileName());
        w->tabs()->setTabToolTip(index, e->buffer()->fileName());
    }
}

void TAppBuilder::editFind(bool again)
{
    TCodeEditor *e = FIde->currentEditor();
    if (!e)
        return;
    if (!again || FLastFind.isEmpty()) {
        bool ok = false;
        const QString text = QInputDialog::getText(e->window(), QStringLiteral("Find"),
                                                   QStringLiteral("Text to find:"), QLineEdit::Normal,
                                                   FLastFind, &ok);
        if (!ok || text.isEmpty())
            return;
        FLastFind = text;
    }
    if (e->find(FLastFind))
        return;
    QTextCursor from = e->textCursor();
    e->moveCursor(QTextCursor::Start);
    if (!e->find(FLastFind)) {
        e->setTextCursor(from);
        FIde->message(QMessageBox::Information, QStringLiteral("Search string '%1' not found.").arg(FLastFind));
    }
}

void TAppBuilder::editGotoLine()
{
    TCodeEditor *e = FIde->currentEditor();
    if (!e)
        return;
    bool ok = false;
    const int line = QInputDialog::getInt(e->window(), QStringLiteral("Go to Line Number"),
                                          QStringLiteral("Line number:"), e->cursorPos().Line, 1,
                                          e->document()->blockCount(), 1, &ok);
    if (ok) {
        e->setCursorPos({1, line});
        e->centerCursor();
    }
}

void TAppBuilder::viewWindowList()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("WindowListDlg"));
    dialog.setWindowTitle(QStringLiteral("Window List"));
    auto *list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("WindowList"));
    QList<QWidget *> windows;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w == &dialog || w->windowTitle().isEmpty())
            continue;
        windows << w;
        list->addItem(QStringLiteral("%1  (%2)").arg(w->windowTitle(), WindowClassName(w)));
    }
    if (!windows.isEmpty())
        list->setCurrentRow(0);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const int row = list->currentRow();
    if (row >= 0 && row < windows.size() && windows.at(row)) {
        windows.at(row)->show();
        windows.at(row)->raise();
        windows.at(row)->activateWindow();
    }
}

void TAppBuilder::projectCompile(bool build)
{
    const QString project = FIde->projectName();
    if (project.isEmpty()) {
        FIde->message(QMessageBox::Information, QStringLiteral("No project is open."));
        return;
    }
    FIde->saveAll();
    QStringList args = PascalCompileCommand(project, build);
    if (args.isEmpty()) {
        FIde->message(QMessageBox::Warning,
                      QStringLiteral("No Pascal compiler was found: install Free Pascal (fpc) "
                                     "or put a dcc32 command on the PATH."));
        return;
    }
    const QString program = args.takeFirst();

    QProcess process;
    process.setWorkingDirectory(QFileInfo(project).absolutePath());
    process.setProcessChannelMode(QProcess::MergedChannels);
    statusBar()->showMessage(QStringLiteral("Compiling %1...").arg(QFileInfo(project).fileName()));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    process.start(program, args);
    const bool finished = process.waitForStarted() && process.waitForFinished(5 * 60 * 1000);
    QApplication::restoreOverrideCursor();
    const QString output = QString::fromLocal8Bit(process.readAll());
    const bool ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    refreshTitle();
    FIde->log(QStringLiteral("compiled %1 %2").arg(ok ? 1 : 0).arg(project));
    FIde->message(ok ? QMessageBox::Information : QMessageBox::Warning,
                  (ok ? QStringLiteral("Compiled %1.").arg(QFileInfo(project).fileName())
                      : QStringLiteral("Compiling %1 failed.").arg(QFileInfo(project).fileName()))
                      + QStringLiteral("\n\n") + Tail(output, 25));
}

void TAppBuilder::projectInformation()
{
    const QString project = FIde->projectName();
    if (project.isEmpty()) {
        FIde->message(QMessageBox::Information, QStringLiteral("No project is open."));
        return;
    }
    const QStringList files = FIde->projectFiles();
    QString text = QStringLiteral("Project: %1\nUnits: %2\n").arg(project).arg(files.size() - 1);
    for (const QString &f : files.mid(1))
        text += QStringLiteral("\n  %1%2").arg(f, QFileInfo::exists(f) ? QString() : QStringLiteral("  (missing)"));
    FIde->message(QMessageBox::Information, text);
}

void TAppBuilder::helpAddins()
{
    const auto experts = FIde->addins().experts();
    QString text;
    if (experts.empty())
        text = QStringLiteral("No add-in is loaded.\n\nAdd-ins are the values under "
                              "HKEY_CURRENT_USER%1.")
                   .arg(TAddinLoader::ExpertsKey);
    for (const auto &e : experts)
        text += QStringLiteral("%1 (%2)\n    %3\n").arg(e.name, e.id, e.library);
    FIde->message(QMessageBox::Information, text.trimmed());
}

} // namespace qide
