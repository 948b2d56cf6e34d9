// Runs a command script against the IDE (quorbel-ide --script FILE).
//
// One command per line; blank lines and lines starting with # are skipped.
// Words are separated by blanks; the last argument of open, type, echo, fill and
// modal text takes the rest of the line. The log goes to standard output,
// one event per line.
//
//   open PATH              open a project (.dpr, .dpk) or a source file
//   close                  close the front file (asks about unsaved changes)
//   close-all              File > Close All: the project and every file
//   save | save-all        save the front file | every modified file
//   cursor LINE COL        move the front editor's cursor (from 1)
//   select L1 C1 L2 C2     select from one line and column to the other
//   top LINE               scroll the front editor so LINE is the top line
//   type TEXT              type TEXT into the front editor, key by key
//   click ITEMNAME         pick the menu item with that name
//   press NAME             click the button (or trigger the action) NAME of a
//                          visible window that is not modal, e.g. a toolbar's
//   fill NAME TEXT         set the text of the edit box NAME of a visible
//                          window that is not modal, after giving it the focus;
//                          the next key command presses its keys there
//   grab WINDOW FILE       save a picture of a visible window (PNG)
//   key SEQUENCE           press a key sequence ("Ctrl+Alt+T") in the
//                          window that has the focus (shortcuts included)
//   modal accept | reject  for the next modal dialog (a message box too):
//   modal invoke NAME      click the button (or message box button: Yes,
//                          No, Ok, Cancel...) or trigger the action NAME;
//                          a button takes the focus first, as under a mouse
//   modal select NAME ROW  make ROW (from 0) current in list/tree/combo NAME
//                          (a combo box also reports it activated, as a pick)
//   modal dblclick NAME ROW  double-click ROW of list or tree NAME
//   modal text NAME TEXT   set the text of an edit box (\n: a line break)
//                          after giving it the focus, as typing would
//   modal key SEQUENCE     press keys in the dialog
//   modal show NAME        log "modal-value NAME TEXT" of an edit or combo box
//                          (a combo box without selection: "<none>")
//   modal grab FILE        save a picture of the dialog (PNG)
//   modal wait NAME        hold the next actions while control NAME is
//                          enabled (a background job's Stop button), 120 s at most
//   modal rows NAME        log "modal-row N" and the cells of each shown row
//                          of list or tree NAME (tab-separated)
//   modal-timeout MS       how long a dialog with nothing queued stays up
//                          before it is closed (default 1000)
//   wait MS                let the IDE run for MS milliseconds
//   dump-menus             every menu item: "menu INDEX NAME CAPTION" for the
//                          bar, "item MENU INDEX NAME CAPTION SHORTCUT" below
//                          (fields separated by tabs)
//   dump-editor            front file, cursor, top line, modified flag
//   dump-text              the front file's lines ("text: ...")
//   dump-project           project name and unit files
//   dump-windows           top-level windows: class, name, visible, title
//   echo TEXT              write TEXT to the log
//   quit                   stop here
//
// Modal actions are consumed in order by whatever modal dialog is up when
// they come due, so queue them before the command that opens the dialog. A
// dialog with nothing queued is closed (as with Esc) after the timeout.
//
// Events: "message: TEXT" for every message box, "modal-open CLASS NAME",
// "modal-timeout CLASS NAME", "notify CODE FILE", "expert-registered NAME",
// "expert-released NAME", "addin-loaded NAME PATH", "addin-error TEXT",
// "saved FILE", "discarded FILE", "script-error LINE: TEXT",
// "file-warning FILE: TEXT" for a file opened that the editor cannot show or
// keep as it is (also in the editor window's status bar).
// At the end the IDE quits as at a normal exit, without asking about
// unsaved files (they are logged as discarded). Exit code 1 after any
// script-error.
#pragma once

#include "ScriptModal.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

namespace qide {

class TIde;

class TScriptRunner : public QObject {
    Q_OBJECT
public:
    using TOutput = std::function<void(const QString &)>;
    TScriptRunner(TIde *ide, QStringList lines, TOutput out, QObject *parent = nullptr);

    // Reads a script file of at most MaxScriptBytes; false, with the
    // reason in error, when it cannot be read.
    static constexpr qint64 MaxScriptBytes = qint64(16) << 20;
    static bool ReadScript(const QString &path, QStringList &lines, QString &error);

    void start();
    int errors() const { return FErrors; }
    TModalDriver &modal() { return FModal; }

signals:
    void finished(int exitCode);

private:
    void step();
    // Runs one line; false stops the script.
    bool execute(const QString &line);
    void error(const QString &text);
    void finish();

    void dumpMenus();
    void dumpEditor();
    void dumpText();
    void dumpProject();
    void dumpWindows();

    TIde *FIde;
    QStringList FLines;
    TOutput FOut;
    TModalDriver FModal;
    // The box fill set last: the next key command presses there.
    QPointer<QWidget> FFilled;
    int FNext = 0;
    int FErrors = 0;
    bool FDone = false;
};

} // namespace qide
