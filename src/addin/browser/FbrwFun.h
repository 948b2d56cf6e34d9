// Entity browser: one tab per Pascal unit listing the routines implemented
// in it, filled by scans on worker threads; a double click (or Enter) brings
// the unit forward in the editor at the routine's heading line.
#pragma once

#include "BufferGrep.h"

#include <QListWidget>
#include <QRunnable>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;
class QThreadPool;
class QToolButton;

class TMiTabSheet;

// A scan's ticket. It is cancelled when its tab goes, when a newer scan of
// the same tab starts, or when the window goes; what a cancelled scan still
// sends is dropped, and its scanner stops at the next line.
struct TScanToken {
    std::atomic<bool> Cancelled{false};
    TMiTabSheet *Tab = nullptr; // UI thread only, and only while not cancelled
};

// A routine found by a scan: its name and heading line (from 1).
struct TEntity {
    QString Name;
    int32_t Line = 0;
};

// What workers send to the window. Behind a mutex; the first message after
// the window last looked makes it look again through a queued call, so the
// window's widgets are only ever touched on its own thread.
class TScanMailbox {
public:
    struct TMessage {
        enum TKind { Entities, Progress, Ended } Kind;
        std::shared_ptr<TScanToken> Token;
        std::vector<TEntity> Found;
        int32_t Value = 0;
    };

    explicit TScanMailbox(QObject *receiver) : FReceiver(receiver) {}
    void Post(TMessage message);
    std::vector<TMessage> Take();

private:
    QObject *const FReceiver; // outlives every worker: its owner waits for them
    std::mutex FLock;
    std::vector<TMessage> FMessages;
};

// A tab page: a sorted list of a unit's routines, each line carrying its
// heading line number (Qt::UserRole).
class TMiTabSheet : public QWidget {
    Q_OBJECT
public:
    explicit TMiTabSheet(QTabWidget *pageControl);
    ~TMiTabSheet() override;

    // The list's double-click handler.
    void SetEvent(std::function<void()> handler);
    // The list's pop-up menu.
    void SetPopup(QMenu *menu);
    void SetCaption(const QString &caption);
    QString Caption() const;
    // Adds routines; the list keeps them in alphabetical order, ignoring case.
    void AddEntities(const std::vector<TEntity> &entities);

    QListWidget *ListBox;
    // The tab's source file as the host named it; empty until the tab's first
    // scan starts.
    QString FFileName;
    // The scan whose results the list takes.
    std::shared_ptr<TScanToken> FToken;

private:
    QTabWidget *FPageControl;
    std::function<void()> FOnDblClick;
    QMenu *FPopup = nullptr;
};

// One scan of one file, run by the window's pool (created waiting, deleted by
// the pool when it has run).
class TSearchThread : public QRunnable {
public:
    TSearchThread();
    ~TSearchThread() override;

    // Makes the fields set on the creating thread visible to the worker; call
    // before handing the scan to the pool.
    void Publish();
    void run() override;

    std::unique_ptr<TBufferGrep> FGrep;
    TGrepProgressEvent FOnProgress;
    TGrepFoundEvent FOnFound;
    // The target list, only handed on: a worker never touches a widget.
    QListWidget *FListBox = nullptr;
    QString FFileName;
    // End-of-thread handler, called on the worker when the scan has returned;
    // the window's one passes the end on to the window's thread.
    std::function<void()> FOnTerminate;
};

class TLogoImage;

class TFbrwEnt : public QWidget {
    Q_OBJECT
public:
    explicit TFbrwEnt(QWidget *owner = nullptr);
    ~TFbrwEnt() override;

    // Line chosen by the last jump, counted from 0; read by GotoEntityLine.
    int32_t FSelLine = 0;

    QFrame *Panel1;
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

    // The tab caption for a file: its name without the folder, and without
    // the first "." and the three characters after it.
    static QString TabCaption(const QString &fileName);

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void DrainMailbox();

private:
    template <typename F>
    void RunEdge(F &&command);
    // A message box (error: the error display) for a command's failure.
    void Notify(const QString &text, bool error);

    TMiTabSheet *NewTab();
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

    TScanMailbox FMailbox{this};
    std::unique_ptr<QThreadPool> FPool;
    int FRunning = 0;
    // Tab changes made by the window itself are no user's tab switch.
    bool FChangingTabs = false;
    // An error shown while synchronising on activation would come back with
    // the activation that follows its message box: that one is skipped.
    bool FActivating = false;
    bool FSkipActivation = false;
};
