// Drives modal dialogs for scripted runs. A command that shows a dialog with
// exec() blocks the script until the dialog closes, so actions for dialogs
// are queued beforehand and carried out from a timer once a dialog is up.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

class QWidget;

namespace qide {

class TModalDriver : public QObject {
    Q_OBJECT
public:
    using TLog = std::function<void(const QString &)>;
    explicit TModalDriver(TLog log, QObject *parent = nullptr);

    // words: accept | reject | invoke NAME | dblclick NAME ROW |
    //        select NAME ROW | text NAME TEXT | key SEQUENCE |
    //        wait NAME (until the control is disabled) |
    //        rows NAME (logs "modal-row N" and the row's cells, tab-separated)
    // Returns an error text, empty when the action is well formed.
    QString queue(const QStringList &words);
    int pending() const { return int(FQueue.size()); }
    void clear() { FQueue.clear(); }
    // How long a dialog with nothing queued for it stays up.
    void setTimeout(int ms) { FTimeoutMs = ms; }

    // Carries out one action on a dialog; an error text, empty on success.
    QString perform(QWidget *dialog, const QStringList &words);
    // Closes a dialog the way Esc would.
    static void dismiss(QWidget *dialog);
    static QString describe(QWidget *dialog);

private:
    void poll();
    void wait(QWidget *dialog);
    static constexpr int MaxWaitMs = 120000;

    TLog FLog;
    QTimer FTimer;
    std::deque<QStringList> FQueue;
    QPointer<QWidget> FCurrent;
    QElapsedTimer FSince;
    bool FScheduled = false;
    bool FWaiting = false;
    QElapsedTimer FWaitSince;
    int FTimeoutMs = 1000;
};

// A text on one line: line breaks written as \n.
QString OneLine(const QString &text);

} // namespace qide
