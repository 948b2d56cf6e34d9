#include "ScanHandoff.h"

#include "EntitySearch.h"

#include <algorithm>
#include <chrono>

namespace {

// Ends a scan whose results nobody wants any more; the scanner takes any
// handler error as the end of its scan.
struct TScanStopped {};

// The worker side of one scan: turns hits into routines and hands them to
// the receiver in batches, with the progress, through the mailbox. It
// touches nothing of the receiver's but the mailbox.
class TScanFeed {
public:
    TScanFeed(TScanMailbox *mail, std::shared_ptr<TScanToken> token)
        : FMail(mail), FToken(std::move(token)), FLastSent(Clock::now())
    {
    }

    // Hit handler.
    void Found(const QString &text, int32_t line)
    {
        if (FToken->Cancelled.load(std::memory_order_relaxed))
            throw TScanStopped();
        QString name;
        if (!ExtractEntityName(text, name))
            return;
        if (std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() > 32; }))
            return; // nothing but blanks: no routine
        FBatch.push_back({std::move(name), line});
        if (FBatch.size() >= BatchSize || Clock::now() - FLastSent > BatchAge)
            SendBatch();
    }

    // Progress handler: the value held to the bar's range, sent when it
    // changes. Also where a cancelled scan stops, at the next line.
    void Progress(int32_t value)
    {
        if (FToken->Cancelled.load(std::memory_order_relaxed))
            throw TScanStopped();
        value = std::clamp(value, 0, 100);
        if (value == FShown)
            return;
        FShown = value;
        FMail->PostProgress(FToken, value);
    }

    // The scan has returned.
    void Finish(const QString &failure)
    {
        SendBatch();
        FMail->Post({TScanMailbox::TMessage::Ended, FToken, {}, 0, failure});
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t BatchSize = 256;
    static constexpr std::chrono::milliseconds BatchAge{40};

    void SendBatch()
    {
        FLastSent = Clock::now();
        if (FBatch.empty())
            return;
        FMail->Post({TScanMailbox::TMessage::Entities, FToken, std::move(FBatch), 0, {}});
        FBatch.clear();
    }

    TScanMailbox *FMail;
    std::shared_ptr<TScanToken> FToken;
    std::vector<TEntity> FBatch;
    Clock::time_point FLastSent;
    int32_t FShown = -1;
};

// One for all scans: a mutex inside the job could not cover the job's own
// creation.
std::mutex HandOff;

} // namespace

TScanMailbox::TScanMailbox(QObject *receiver, std::function<void()> onMail)
{
    connect(this, &TScanMailbox::Mail, receiver, std::move(onMail), Qt::QueuedConnection);
}

void TScanMailbox::Post(TMessage message)
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(FLock);
        wake = FMessages.empty();
        FMessages.push_back(std::move(message));
    }
    if (wake)
        emit Mail();
}

void TScanMailbox::PostProgress(const std::shared_ptr<TScanToken> &token, int32_t value)
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (!FMessages.empty() && FMessages.back().Kind == TMessage::Progress && FMessages.back().Token == token) {
            FMessages.back().Value = value;
            return;
        }
    }
    Post({TMessage::Progress, token, {}, value, {}});
}

std::vector<TScanMailbox::TMessage> TScanMailbox::Take()
{
    std::lock_guard<std::mutex> lock(FLock);
    return std::exchange(FMessages, {});
}

TSearchThread::TSearchThread() : FGrep(std::make_unique<TBufferGrep>())
{
    setAutoDelete(true);
}

TSearchThread::~TSearchThread() = default;

void TSearchThread::Publish()
{
    // Whatever was set before this unlock is seen by the worker after its
    // lock, without relying on how the pool hands the job over.
    std::lock_guard<std::mutex> lock(HandOff);
}

void TSearchThread::run()
{
    {
        std::lock_guard<std::mutex> lock(HandOff);
    }
    ConfigureEntitySearch(*FGrep);
    FGrep->FOnProgress = FOnProgress;
    FGrep->FOnFound = FOnFound;
    FGrep->FFileName = FFileName;
    FGrep->FListBox = FListBox;
    FGrep->Search();
    if (FOnTerminate)
        FOnTerminate(FGrep->FailureText());
}

TSearchThread *NewEntityScan(TScanMailbox &mail, std::shared_ptr<TScanToken> token, const QString &fileName,
                             void *listBox)
{
    auto feed = std::make_shared<TScanFeed>(&mail, std::move(token));
    auto *thread = new TSearchThread();
    thread->FOnProgress = [feed](TBufferGrep *, int32_t value) { feed->Progress(value); };
    thread->FOnFound = [feed](void *, const QString &, int32_t &line, const QString &text) {
        feed->Found(text, line);
    };
    thread->FOnTerminate = [feed](const QString &failure) { feed->Finish(failure); };
    thread->FFileName = fileName;
    thread->FListBox = listBox;
    thread->Publish();
    return thread;
}
