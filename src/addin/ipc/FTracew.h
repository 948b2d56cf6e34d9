// Trace window: lists the text lines that other programs send to the
// window of class TFTrace, with an icon in the notification area.
#pragma once

#include "core/AddinServices.h"

#include "DebugServerPipe.h"
#include "WindowMessages.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <vector>

class QTableView;
class QMenu;
class QAction;
class QStatusBar;
class QLineEdit;
class QLabel;
class QToolButton;
class TLogoImage;
class TTaskIcon;

// What the window shows of its lines besides their text, and how.
struct TTraceHighlight {
    QString Text; // marks every line holding it, in any case
    QColor Colour;
};

// The received lines, oldest first. A line is stored when it arrives, with
// its time and sender; the view learns of new rows in batches, at most
// every PublishMs, because a view lays out its rows again after each
// insertion. Filtering, highlighting and columns are the view's side: they
// cost nothing while lines are stored.
class TTraceLines : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int PublishMs = 100;
    enum TColumn { ColumnTime, ColumnSender, ColumnText };

    explicit TTraceLines(QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    // Asked for each shown row at every paint; answered without the base
    // class's round of virtual checks.
    QModelIndex index(int row, int column = 0, const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void Append(const QString &line, qint64 senderPid = 0, const QString &senderName = {});
    void Clear();
    // Every stored line, also those the view has not been told of yet or
    // that the filter hides.
    const std::deque<QString> &Lines() const { return FLines; }
    // Tells the view of the rows stored since the last batch, and of the
    // oldest ones dropped by the cap.
    void Publish();

    // Time and sender columns before the text; off, the text is column 0.
    void SetColumns(bool time, bool sender);
    bool TimeShown() const { return FTimeShown; }
    bool SenderShown() const { return FSenderShown; }
    // Hides the lines that do not hold text (or match it as a regular
    // expression); they stay stored. False when the expression is not valid,
    // which hides nothing.
    bool SetFilter(const QString &text, bool regex);
    void SetHighlights(std::vector<TTraceHighlight> rules);
    const std::vector<TTraceHighlight> &Highlights() const { return FHighlights; }
    // While paused new lines are stored but not shown.
    void SetPaused(bool paused);
    bool Paused() const { return FPaused; }
    // At most cap lines are kept, the oldest dropped first; 0 keeps all.
    void SetCap(qsizetype cap);
    qsizetype Cap() const { return FCap; }
    qint64 Dropped() const { return FDropped; }

    // A stored line's text as the window shows it, columns included
    // (separated by tabs); row is a row of the view.
    QString RowText(int row) const;
    // Every stored line in the same form, shown by the filter or not.
    QString StoredText(size_t line) const;

signals:
    // After a batch: rows were added to or removed from the view.
    void Published();

private:
    struct TInfo {
        qint64 Time; // ms since the epoch
        int Sender;  // in FSenders
    };
    struct TSender {
        qint64 Pid;
        QString Name;
    };
    bool Matches(const QString &line) const;
    int SenderOf(qint64 pid, const QString &name);
    qint64 LineOfRow(int row) const; // stored line number, or -1 when dropped
    QString Columns(size_t line) const;
    void Refilter();
    void Trim();

    std::deque<QString> FLines;
    std::deque<TInfo> FInfo;
    std::vector<TSender> FSenders{TSender{0, {}}};
    QHash<qint64, int> FSenderOfPid;
    qint64 FFirst = 0;        // number of FLines.front() since the last clear
    qint64 FPublishedTo = 0;  // lines below this number were looked at for the view
    std::vector<qint64> FShown; // line numbers of the view's rows, from FShownAt on
    size_t FShownAt = 0;
    std::vector<qint64> FNew; // a batch's new rows
    qint64 FDropped = 0;
    qsizetype FCap = 0;
    bool FPaused = false;
    bool FTimeShown = false;
    bool FSenderShown = false;
    QString FFilter;
    bool FFilterRegex = false;
    QRegularExpression FFilterExpression;
    std::vector<TTraceHighlight> FHighlights;
    QTimer FPublisher;
};

class TFTrace : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("WindowClass", "TFTrace")
public:
    explicit TFTrace(const TAddinServices &services, QWidget *owner = nullptr);
    ~TFTrace() override;

    TTraceLines &Lines() { return FLines; }
    TTaskIcon *TaskIcon() const { return TaskIcon1; }
    // Whether this window receives the lines other programs send: from its
    // first showing on, once no other process's trace window does.
    bool Receiving() const;
    // Whether it also serves Free Pascal's dbugintf endpoint.
    bool ServingPascal() const { return FDebugPipe.Serving(); }

    // The trace message: text up to its first zero byte, appended as the
    // last line. Public for senders in this process.
    qint64 TraceMessage(const WindowMessages::TMessage &message);

    void btnBorraClick();
    void Image1Click();
    void TaskIcon1Click();
    void TaskIcon1RightClick(int x, int y);
    void MostrarVentana1Click();
    void OcultarVentana1Click();
    void CerrarVentana1Click();

    // The options, remembered under RegistryKey().
    static QString RegistryKey();
    void FindNext(bool backwards = false);
    void CopySelection();
    // Writes every stored line, or only those the filter shows.
    void SaveLines(bool shownOnly);
    void EditCap();
    void EditHighlights();
    // Rules as the highlight dialog and the registry hold them: one a line,
    // a colour (a name or #rrggbb), a blank, the text.
    static std::vector<TTraceHighlight> ParseHighlights(const QString &text);
    static QString HighlightsText(const std::vector<TTraceHighlight> &rules);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormCreate();
    void ShowNow();
    void DebugMessage(qint32 type, const QByteArray &text);
    bool FormKeyDown(QKeyEvent *event);
    void LoadOptions();
    void SaveOption(const QString &name, const QString &value);
    void ApplyColumns();
    void ApplyFilter();
    void LinesPublished();
    void ShowStatus();

    TAddinServices FServices;
    TTraceLines FLines;
    WindowMessages::TMessageListener FListener;
    TDebugServerPipe FDebugPipe;

    QWidget *Panel1 = nullptr;
    QToolButton *btnBorra = nullptr;
    TLogoImage *Image1 = nullptr;
    TTaskIcon *TaskIcon1 = nullptr;
    QTableView *ListBox1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *MostrarVentana1 = nullptr;
    QAction *OcultarVentana1 = nullptr;
    QAction *CerrarVentana1 = nullptr;

    QToolButton *btnOptions = nullptr;
    QMenu *OptionsMenu = nullptr;
    QAction *acTimeStamps = nullptr;
    QAction *acSender = nullptr;
    QAction *acAutoScroll = nullptr;
    QAction *acPause = nullptr;
    QAction *acRegex = nullptr;
    QAction *acHighlight = nullptr;
    QAction *acCap = nullptr;
    QAction *acFind = nullptr;
    QAction *acCopy = nullptr;
    QAction *acSaveAll = nullptr;
    QAction *acSaveShown = nullptr;
    QLineEdit *FilterEdit = nullptr;
    QLineEdit *FindEdit = nullptr;
    QLabel *DroppedLabel = nullptr;
    bool FLoading = false;
};
