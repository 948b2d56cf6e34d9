// How a scan on a worker reaches the browser's thread: a token per scan, the
// worker side that turns hits into routines and batches them (TScanFeed),
// the mailbox the workers post to, and the pool job that runs one scan
// (TSearchThread). Nothing here touches a widget.
#pragma once

#include "BufferGrep.h"

#include <QObject>
#include <QRunnable>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// A scan's ticket. It is cancelled when its target goes or a newer scan of
// the same target starts; what a cancelled scan still sends is dropped, and
// its scanner stops at the next line.
struct TScanToken {
    std::atomic<bool> Cancelled{false};
    QObject *Target = nullptr; // receiver's thread only, and only while not cancelled
};

// A routine found by a scan: its name and heading line (from 1).
struct TEntity {
    QString Name;
    int32_t Line = 0;
};

// What workers send to the receiver. Behind a mutex; the first message after
// the receiver last took them wakes it through a queued call, so that the
// receiver handles them on its own thread only.
class TScanMailbox : public QObject {
    Q_OBJECT
public:
    struct TMessage {
        enum TKind { Entities, Progress, Ended } Kind;
        std::shared_ptr<TScanToken> Token;
        std::vector<TEntity> Found;
        int32_t Value = 0;
        QString Failure; // Ended: why the scan stopped short, for the user
    };

    // onMail runs on the receiver's thread; the receiver outlives every
    // worker that posts here (its owner waits for them).
    TScanMailbox(QObject *receiver, std::function<void()> onMail);
    void Post(TMessage message);
    // A scan's progress. When the last message waiting is that scan's
    // progress too, its value is replaced instead: a receiver that shows
    // the last progress of what it takes sees the same, from a shorter box.
    void PostProgress(const std::shared_ptr<TScanToken> &token, int32_t value);
    std::vector<TMessage> Take();

signals:
    // Queued to the receiver; emitted by the worker whose post found the box
    // empty. A signal, so that the queued call is made inside Qt and nothing
    // of it is allocated by the worker's own code.
    void Mail();

private:
    std::mutex FLock;
    std::vector<TMessage> FMessages;
};

// One scan of one file, run by a pool (created waiting, deleted by the pool
// when it has run).
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
    void *FListBox = nullptr;
    QString FFileName;
    // End-of-thread handler, called on the worker when the scan has returned,
    // with the scanner's failure text.
    std::function<void(const QString &failure)> FOnTerminate;
};

// The browser's scan of fileName for listBox: routine headings, posted to
// mail in batches with the progress and the end, under token. Published,
// ready for a pool.
TSearchThread *NewEntityScan(TScanMailbox &mail, std::shared_ptr<TScanToken> token,
                             const QString &fileName, void *listBox);
