// Entity browser: one tab per Pascal unit listing the routines implemented
// in it, filled by scans on worker threads; a double click (or Enter) brings
// the unit forward in the editor at the routine's heading line.
#pragma once

#include "ScanHandoff.h"

#include "FileWatch.h"

#include "ToolsApi.h"

#include <QListWidget>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidgetItem;
class QTimer;
class QMenu;
class QProgressBar;
class QTabWidget;
class QThreadPool;
class QToolButton;
class TDialogService;
struct TAddinServices;

class TMiTabSheet;

// A tab page: a sorted list of a unit's routines, each line carrying its
// heading line number (Qt::UserRole). The list widget is made when the page
// is first shown or its list first asked for: until then the routines wait
// in a plain vector, so that a project's worth of tabs costs little.
class TMiTabSheet : public QWidget {
    Q_OBJECT
public:
    explicit TMiTabSheet(QTabWidget *pageControl);
    ~TMiTabSheet() override;

    // The list's double-click handler.
    void SetEvent(std::function<void()> handler);
    // The list's pop-up menu.
    void SetPopup(QMenu *menu);
    // Called once with the list when it is made.
    void SetListMade(std::function<void(QListWidget *)> handler);
    void SetCaption(const QString &caption);
    QString Caption() const;
    // Adds routines; the list keeps them in alphabetical order, ignoring case.
    void AddEntities(const std::vector<TEntity> &entities);
    void AddEntities(std::vector<TEntity> &&entities);
    // Empties the list.
    void Clear();
    // Routines listed, whether the list widget exists yet or not.
    int Count() const;
    // Shows only the routines the filter lets through (EntityMatches); the
    // others stay in the list, hidden.
    void SetFilter(const QString &filter);
    QString Filter() const { return FFilter; }
    // The first line shown, in the list's order; nullptr when none.
    QListWidgetItem *FirstMatch();
    // The list widget, made now if it was not yet.
    QListWidget *List();
    // Whether the list widget exists.
    bool ListMade() const { return FList != nullptr; }

    // The list as a component: using it makes it.
    class TListHandle {
    public:
        explicit TListHandle(TMiTabSheet &tab) : FTab(tab) {}
        TListHandle(const TListHandle &) = delete;
        TListHandle &operator=(const TListHandle &) = delete;
        QListWidget *operator->() const { return FTab.List(); }
        operator QListWidget *() const { return FTab.List(); }
        operator QPointer<QListWidget>() const { return FTab.List(); }

    private:
        TMiTabSheet &FTab;
    };
    const TListHandle ListBox{*this};
    // The tab's source file as the host named it; empty until the tab's first
    // scan starts.
    QString FFileName;
    // The scan whose results the list takes.
    std::shared_ptr<TScanToken> FToken;
    // The file as it was on disk when the last scan started.
    TFileStamp FStamp;
    // The file the window watches for this tab.
    QString FWatched;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // A double click anywhere on the list, items or not, is the list's.
    bool eventFilter(QObject *watched, QEvent *event) override;

    QTabWidget *FPageControl;
    QListWidget *FList = nullptr;
    // Routines in the order they came, while there is no list widget.
    std::vector<TEntity> FPending;
    std::function<void()> FOnDblClick;
    std::function<void(QListWidget *)> FOnListMade;
    QMenu *FPopup = nullptr;
    QString FFilter;
};

class TLogoImage;

// The page control the window's tabs sit in, named and drawn as
// QTabWidget's own; its tab bar measures each caption once.
QTabWidget *NewPageControl(QWidget *parent);

class TFbrwEnt : public QWidget {
    Q_OBJECT
public:
    // services: the host the browser asks for files and editors (may be
    // null: no host, no command does anything); dialogs shows its messages.
    TFbrwEnt(QWidget *owner, const TAddinServices &services);
    ~TFbrwEnt() override;

    // Line chosen by the last jump, counted from 0, as EntityChosen sent it.
    int32_t FSelLine = 0;

    QFrame *Panel1;
    // Narrows the active tab's list; Enter jumps to the first match, Escape
    // empties it (and, empty, hides the window).
    QLineEdit *edFilter;
    QToolButton *btnFijo;
    QToolButton *btnRefresh;
    QToolButton *btnAbrir;
    QToolButton *btnBorra;
    QToolButton *btnTodos;
    TLogoImage *Image1;
    QTabWidget *PageControl1;
    QProgressBar *ProgressBar1;
    QMenu *PopM;
    QAction *Refrescar1;
    QAction *Aadir1;
    QAction *Borrar1;
    QAction *N1;
    QAction *Cerrar1;

    // Commands, as the controls run them; errors are shown here.
    void FormShow();
    void FormActivate();
    void FormKeyDown(int key);
    void btnRefreshClick();
    void btnAbrirClick();
    void btnBorraClick();
    void btnTodosClick();
    void btnFijoClick();
    void Image1Click();
    void Cerrar1Click();
    void PageControl1Change();
    void PageControl1Enter();
    void ListBoxDblClick();

    TMiTabSheet *ActiveTab() const;
    QList<TMiTabSheet *> Tabs() const;
    // Scans started and not yet ended.
    int RunningScans() const { return FRunning; }
    // Scans run at once; the others wait in the pool's queue.
    int MaxParallelScans() const;
    // Waits until every scan started has returned; what they sent may still
    // wait in the mailbox until the event loop runs.
    void WaitForScanThreads();

    // The host saved the file: its tabs scan it again.
    void FileSaved(const QString &fileName);
    // Waits this long after a change on disk before rescanning, so that a
    // burst of writes costs one scan (milliseconds).
    void SetRescanDelay(int ms);

    // The tab caption for a file: its name without the folder, and without
    // the first "." and the three characters after it.
    static QString TabCaption(const QString &fileName);

signals:
    // A jump has brought the entity's file forward: move the editor to the
    // entity's line, counted from 0.
    void EntityChosen(int32_t line);

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void DrainMailbox();
    template <typename F>
    void RunEdge(F &&command);
    // A message box (error: the error display) for a command's failure.
    void Notify(const QString &text, bool error);
    class TEdgeDialogs;

    // A new tab, made active.
    TMiTabSheet *NewTab();
    // A new tab, left as it is until shown.
    TMiTabSheet *AddTab(const QString &caption);
    // The tab of the file, exactly as the host names it; nullptr when none.
    TMiTabSheet *TabOf(const QString &fileName) const;
    void SetActiveTab(TMiTabSheet *tab);
    void AddCurrentSource();
    void ScanCurrentFile(TMiTabSheet *tab);
    void StartScan(TMiTabSheet *tab, const QString &fileName);
    bool BringForward(TMiTabSheet *tab);
    void Refresh();
    void Synchronise();
    void LoadAll();
    void DeleteTab();
    void Jump();
    void SetRefreshEnabled(bool enabled);
    void ScanEnded();
    void FocusChanged(QWidget *old, QWidget *now);
    void ApplyFilter();
    void Watch(TMiTabSheet *tab, const QString &fileName);
    void FileChangedOnDisk(const QString &fileName);
    void RescanChanged();
    QList<TMiTabSheet *> TabsOf(const QString &fileName) const;

    TIToolServices *const FServices;
    TDialogService &FDialogs;
    TScanMailbox FMailbox{this, [this] { DrainMailbox(); }};
    std::unique_ptr<QThreadPool> FPool;
    int FRunning = 0;
    // Tab changes made by the window itself are no user's tab switch.
    bool FChangingTabs = false;
    // An error shown while synchronising on activation would come back with
    // the activation that follows its message box: that one is skipped.
    bool FActivating = false;
    bool FSkipActivation = false;
    // Synchronising saves and rescans itself: its save's notice is no news.
    bool FSavingHere = false;
    TFileWatch *FWatch;
    QTimer *FRescanTimer;
    QSet<QString> FChanged;
};
