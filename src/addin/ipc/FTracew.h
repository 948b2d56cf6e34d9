// Trace window: lists the text lines that other programs send to the
// window of class TFTrace, with an icon in the notification area.
#pragma once

#include "core/AddinServices.h"

#include "DebugServerPipe.h"
#include "WindowMessages.h"

#include <QAbstractListModel>
#include <QTimer>
#include <QWidget>

#include <vector>

class QTableView;
class QMenu;
class QAction;
class QStatusBar;
class QToolButton;
class TLogoImage;
class TTaskIcon;

// The received lines, oldest first. A line is stored when it arrives; the
// view learns of new rows in batches, at most every PublishMs, because a
// list view lays out all its rows again after each insertion.
class TTraceLines : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int PublishMs = 100;

    explicit TTraceLines(QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    // Asked for each shown row at every paint; answered without the base
    // class's round of virtual checks.
    QModelIndex index(int row, int column = 0, const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    void Append(const QString &line);
    void Clear();
    // Every stored line, also those the view has not been told of yet.
    const std::vector<QString> &Lines() const { return FLines; }
    // Tells the view of the rows stored since the last batch.
    void Publish();

private:
    std::vector<QString> FLines;
    size_t FPublished = 0;
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

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormCreate();
    void ShowNow();
    void DebugMessage(qint32 type, const QByteArray &text);
    bool FormKeyDown(QKeyEvent *event);

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
};
