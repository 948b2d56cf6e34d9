#include "ScriptRunner.h"

#include "AppBuilder.h"
#include "CodeEditor.h"
#include "EditWindow.h"
#include "HostMenu.h"
#include "Ide.h"
#include "SourceBuffer.h"
#include "UserInput.h"

#include "Exception.h"
#include "SafeFile.h"
#include "Windows.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <utility>

namespace {

// A visible top-level window by its object name.
QWidget *VisibleWindow(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->objectName() == name)
            return w;
    return nullptr;
}

// The visible top-level windows, the active one first.
QList<QWidget *> VisibleWindows()
{
    QWidget *active = QApplication::activeWindow();
    QList<QWidget *> windows;
    if (active && active->isVisible())
        windows << active;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && w != active)
            windows << w;
    return windows;
}

// Clicks the button, or triggers the action, of that name in a visible
// window (the active one first), as a mouse click would.
QString Press(const QString &name)
{
    for (QWidget *w : VisibleWindows()) {
        if (auto *button = w->findChild<QAbstractButton *>(name))
            return qide::ClickButton(button);
        if (auto *action = w->findChild<QAction *>(name)) {
            action->trigger();
            return {};
        }
    }
    return QStringLiteral("no button or action %1 in a visible window").arg(name);
}

// Sets the text of the edit box of that name in a visible window (the
// active one first), after giving it the focus, as typing would.
QString Fill(const QString &name, const QString &text, QPointer<QWidget> &filled)
{
    for (QWidget *w : VisibleWindows()) {
        if (auto *edit = w->findChild<QLineEdit *>(name)) {
            w->raise();
            w->activateWindow();
            // The platform's activation comes later, or not at all
            // offscreen, and may move the focus again: the keys that follow
            // must reach the box.
            for (int turn = 0; turn < 20; ++turn) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                if (QApplication::activeWindow() != w)
                    QApplication::setActiveWindow(w);
                edit->setFocus(Qt::OtherFocusReason);
                if (turn >= 2 && QApplication::focusWidget() == edit)
                    break;
            }
            edit->setText(text);
            filled = edit;
            return {};
        }
    }
    return QStringLiteral("no edit box %1 in a visible window").arg(name);
}

} // namespace

namespace qide {

namespace {

// The rest of the line after the first n words.
QString RestAfter(const QString &line, int n)
{
    QString rest = line.trimmed();
    for (int i = 0; i < n; ++i) {
        const qsizetype blank = rest.indexOf(QLatin1Char(' '));
        if (blank < 0)
            return {};
        rest = rest.mid(blank + 1).trimmed();
    }
    return rest;
}

} // namespace

TScriptRunner::TScriptRunner(TIde *ide, QStringList lines, TOutput out, QObject *parent)
    : QObject(parent), FIde(ide), FLines(std::move(lines)), FOut(std::move(out)), FModal(FOut)
{
}

bool TScriptRunner::ReadScript(const QString &path, QStringList &lines, QString &error)
{
    try {
        lines = QString::fromUtf8(ReadWholeFile(path, MaxScriptBytes)).split(QLatin1Char('\n'));
        for (QString &l : lines)
            if (l.endsWith(QLatin1Char('\r')))
                l.chop(1);
        return true;
    } catch (const Exception &e) {
        error = e.message();
        return false;
    }
}

void TScriptRunner::start()
{
    QTimer::singleShot(0, this, &TScriptRunner::step);
}

void TScriptRunner::error(const QString &text)
{
    ++FErrors;
    FOut(QStringLiteral("script-error %1: %2").arg(FNext).arg(text));
}

void TScriptRunner::step()
{
    while (FNext < FLines.size()) {
        const QString line = FLines.at(FNext++).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.first() == QLatin1String("wait")) {
            QTimer::singleShot(words.value(1).toInt(), this, &TScriptRunner::step);
            return;
        }
        if (!execute(line)) {
            finish();
            return;
        }
        // One command per pass of the event loop, so that windows settle.
        QTimer::singleShot(0, this, &TScriptRunner::step);
        return;
    }
    finish();
}

void TScriptRunner::finish()
{
    if (FDone)
        return;
    FDone = true;
    if (FModal.pending() > 0)
        FOut(QStringLiteral("modal-unused %1").arg(FModal.pending()));
    FModal.clear();
    for (TCodeEditor *e : FIde->editors())
        if (e->buffer()->isModified())
            FOut(QStringLiteral("discarded ") + e->buffer()->fileName());
    FOut(QStringLiteral("script-end"));
    emit finished(FErrors ? 1 : 0);
}

bool TScriptRunner::execute(const QString &line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString cmd = words.first();
    TCodeEditor *editor = FIde->currentEditor();
    auto needEditor = [&] {
        if (!editor)
            error(QStringLiteral("%1: no file is open").arg(cmd));
        return editor != nullptr;
    };
    auto number = [&](int i, int &out) {
        bool ok = false;
        out = words.value(i).toInt(&ok);
        if (!ok)
            error(QStringLiteral("%1: bad number '%2'").arg(cmd, words.value(i)));
        return ok;
    };

    if (cmd == QLatin1String("quit"))
        return false;
    if (cmd == QLatin1String("echo")) {
        FOut(RestAfter(line, 1));
    } else if (cmd == QLatin1String("open")) {
        const QString path = RestAfter(line, 1);
        if (FIde->openPath(path))
            FOut(QStringLiteral("opened ") + TIde::normalisePath(path));
        else
            error(QStringLiteral("cannot open %1").arg(path));
    } else if (cmd == QLatin1String("close")) {
        if (needEditor())
            FIde->closeEditor(editor, true);
    } else if (cmd == QLatin1String("close-all")) {
        if (!FIde->closeAll(true))
            FOut(QStringLiteral("close-all cancelled"));
    } else if (cmd == QLatin1String("save")) {
        if (needEditor())
            FIde->saveEditor(editor);
    } else if (cmd == QLatin1String("save-all")) {
        FIde->saveAll();
    } else if (cmd == QLatin1String("cursor")) {
        int l = 0, c = 0;
        if (needEditor() && number(1, l) && number(2, c))
            editor->setCursorPos({int16_t(c), l});
    } else if (cmd == QLatin1String("select")) {
        // select LINE COL LINE COL: from the first position to the second.
        int l1 = 0, c1 = 0, l2 = 0, c2 = 0;
        if (needEditor() && number(1, l1) && number(2, c1) && number(3, l2) && number(4, c2))
            editor->setBlock({int16_t(c1), l1}, {int16_t(c2), l2});
    } else if (cmd == QLatin1String("top")) {
        int l = 0;
        if (needEditor() && number(1, l))
            editor->setTopLine(l);
    } else if (cmd == QLatin1String("type")) {
        if (needEditor()) {
            FIde->showEditor(editor);
            TypeText(editor, RestAfter(line, 1));
        }
    } else if (cmd == QLatin1String("click")) {
        QAction *action = FIde->menus()->findAction(words.value(1));
        if (!action || action->menu())
            error(QStringLiteral("no menu item %1").arg(words.value(1)));
        else if (!action->isEnabled())
            FOut(QStringLiteral("disabled ") + words.value(1));
        else
            action->trigger();
    } else if (cmd == QLatin1String("press")) {
        const QString problem = Press(words.value(1));
        if (!problem.isEmpty())
            error(problem);
    } else if (cmd == QLatin1String("fill")) {
        const QString problem = Fill(words.value(1), RestAfter(line, 2), FFilled);
        if (!problem.isEmpty())
            error(problem);
    } else if (cmd == QLatin1String("grab")) {
        QWidget *window = VisibleWindow(words.value(1));
        const QString file = RestAfter(line, 2);
        if (!window)
            error(QStringLiteral("no visible window %1").arg(words.value(1)));
        else if (file.isEmpty() || !window->grab().save(file))
            error(QStringLiteral("cannot save %1").arg(file));
    } else if (cmd == QLatin1String("key")) {
        const QKeySequence seq(RestAfter(line, 1), QKeySequence::PortableText);
        QWidget *target = QApplication::focusWidget();
        // Offscreen, a window's activation may take the focus from the box
        // just filled.
        if (QWidget *filled = std::exchange(FFilled, nullptr); filled && filled->isVisible())
            target = filled;
        if (!target)
            target = editor ? static_cast<QWidget *>(editor) : FIde->mainWindow();
        if (seq.isEmpty())
            error(QStringLiteral("bad key sequence"));
        PressKeys(target, seq);
    } else if (cmd == QLatin1String("modal")) {
        QStringList action = words.mid(1);
        if (action.value(0) == QLatin1String("text"))
            action = QStringList{action.value(0), action.value(1), RestAfter(line, 3)};
        const QString problem = FModal.queue(action);
        if (!problem.isEmpty())
            error(problem);
    } else if (cmd == QLatin1String("modal-timeout")) {
        int ms = 0;
        if (number(1, ms))
            FModal.setTimeout(ms);
    } else if (cmd == QLatin1String("dump-menus")) {
        dumpMenus();
    } else if (cmd == QLatin1String("dump-editor")) {
        dumpEditor();
    } else if (cmd == QLatin1String("dump-text")) {
        dumpText();
    } else if (cmd == QLatin1String("dump-project")) {
        dumpProject();
    } else if (cmd == QLatin1String("dump-windows")) {
        dumpWindows();
    } else {
        error(QStringLiteral("unknown command %1").arg(cmd));
    }
    return true;
}

void TScriptRunner::dumpMenus()
{
    const QChar tab = QLatin1Char('\t');
    std::function<void(QMenu *)> items = [&](QMenu *menu) {
        const QList<QAction *> actions = menu->actions();
        for (int i = 0; i < actions.size(); ++i) {
            QAction *a = actions.at(i);
            FOut(QStringLiteral("item") + tab + menu->objectName() + tab + QString::number(i) + tab
                 + a->objectName() + tab + (a->isSeparator() ? QStringLiteral("-") : a->text()) + tab
                 + a->shortcut().toString(QKeySequence::PortableText));
            if (a->menu())
                items(a->menu());
        }
    };
    const QList<QAction *> bar = FIde->menus()->bar()->actions();
    for (int i = 0; i < bar.size(); ++i)
        FOut(QStringLiteral("menu") + tab + QString::number(i) + tab + bar.at(i)->objectName() + tab
             + bar.at(i)->text());
    for (QAction *a : bar)
        if (a->menu())
            items(a->menu());
}

void TScriptRunner::dumpEditor()
{
    TCodeEditor *e = FIde->currentEditor();
    if (!e) {
        FOut(QStringLiteral("editor none"));
        return;
    }
    const TEditPos pos = e->cursorPos();
    const TTextFormat &f = e->buffer()->format();
    FOut(QStringLiteral("editor cursor=%1:%2 top=%3 modified=%4 lines=%5 encoding=%6 eol=%7 file=%8")
             .arg(pos.Line)
             .arg(pos.Col)
             .arg(e->topLine())
             .arg(e->buffer()->isModified() ? 1 : 0)
             .arg(e->document()->blockCount())
             .arg(EncodingName(f).replace(QLatin1Char(' '), QLatin1Char('-')),
                  LineEndName(f.lineEnd).remove(QLatin1Char(' ')), e->buffer()->fileName()));
}

void TScriptRunner::dumpText()
{
    TCodeEditor *e = FIde->currentEditor();
    if (!e)
        return;
    const QStringList lines = e->buffer()->crlfText().split(QLatin1String("\r\n"));
    for (const QString &l : lines)
        FOut(QStringLiteral("text: ") + l);
}

void TScriptRunner::dumpProject()
{
    FOut(QStringLiteral("project ") + FIde->projectName());
    const QStringList files = FIde->projectFiles();
    for (int i = 0; i < files.size(); ++i)
        FOut(QStringLiteral("unit %1 %2").arg(i).arg(files.at(i)));
}

void TScriptRunner::dumpWindows()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMenu *>(w) || w->windowType() == Qt::ToolTip || w->windowType() == Qt::Desktop)
            continue;
        FOut(QStringLiteral("window %1 %2 visible=%3 title=%4")
                 .arg(WindowClassName(w),
                      w->objectName().isEmpty() ? QStringLiteral("-") : w->objectName())
                 .arg(w->isVisible() ? 1 : 0)
                 .arg(w->windowTitle()));
    }
}

} // namespace qide
