#include "ProjectRoutines.h"

#include "EntityFilter.h"
#include "FbrwFun.h"

#include "core/StringTable.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <mutex>

// ---------------------------------------------------------------------- model

TRoutineModel::TRoutineModel(QObject *parent) : QAbstractTableModel(parent) {}

void TRoutineModel::SetUnits(const QStringList &files)
{
    beginResetModel();
    FFiles = files;
    FCaptions.clear();
    for (const QString &f : files)
        FCaptions << TFbrwEnt::TabCaption(f);
    FEntries.clear();
    FShown.clear();
    FStaged.clear();
    endResetModel();
}

void TRoutineModel::Stage(int unit, const std::vector<TEntity> &found)
{
    if (unit < 0 || unit >= FFiles.size())
        return;
    for (const TEntity &e : found) {
        FEntries.push_back({e.Name, e.Line, unit});
        if (EntityMatches(e.Name, FFilter))
            FStaged.push_back(int(FEntries.size()) - 1);
    }
}

void TRoutineModel::Publish()
{
    if (FStaged.empty())
        return;
    const int first = int(FShown.size());
    beginInsertRows({}, first, first + int(FStaged.size()) - 1);
    FShown.insert(FShown.end(), FStaged.begin(), FStaged.end());
    FStaged.clear();
    endInsertRows();
}

void TRoutineModel::SetFilter(const QString &filter)
{
    if (filter == FFilter)
        return;
    beginResetModel();
    FFilter = filter;
    FShown.clear();
    FStaged.clear();
    for (size_t i = 0; i < FEntries.size(); ++i)
        if (EntityMatches(FEntries[i].Name, FFilter))
            FShown.push_back(int(i));
    endResetModel();
}

int TRoutineModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FShown.size());
}

int TRoutineModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TRoutineModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || size_t(index.row()) >= FShown.size())
        return {};
    const TEntry &e = FEntries[size_t(FShown[size_t(index.row())])];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == NameColumn ? e.Name : FCaptions.value(e.Unit);
    case LineRole:
        return e.Line;
    case FileRole:
        return FFiles.value(e.Unit);
    default:
        return {};
    }
}

QVariant TRoutineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return LoadStr(section == NameColumn ? txt::GotoRoutineColumn : txt::GotoUnitColumn);
}

// ---------------------------------------------------------------------- scans

namespace {

constexpr int PublishEvery = 50; // milliseconds

// One for all held scans, as the scan job's own hand-over: a mutex inside
// the job could not cover the job's own creation.
std::mutex HeldHandOff;

// A scan that first runs the test hook on its worker.
class THeldScan : public QRunnable {
public:
    THeldScan(TSearchThread *scan, std::function<void(int)> hook, int unit)
        : FScan(scan), FHook(std::move(hook)), FUnit(unit)
    {
        setAutoDelete(true);
        std::lock_guard<std::mutex> lock(HeldHandOff); // publishes the fields
    }
    void run() override
    {
        {
            std::lock_guard<std::mutex> lock(HeldHandOff);
        }
        FHook(FUnit);
        FScan->run();
    }

private:
    std::unique_ptr<TSearchThread> FScan;
    std::function<void(int)> FHook;
    int FUnit;
};

} // namespace

TProjectRoutines::TProjectRoutines(QObject *parent) : QObject(parent), FPool(std::make_unique<QThreadPool>())
{
    // As the browser's load all: reading overlaps scanning.
    FPool->setMaxThreadCount(std::max(2, 2 * QThread::idealThreadCount()));
    FPublishLater.setSingleShot(true);
    FPublishLater.setInterval(PublishEvery);
    connect(&FPublishLater, &QTimer::timeout, this, &TProjectRoutines::PublishNow);
}

TProjectRoutines::~TProjectRoutines()
{
    for (const auto &token : FTokens)
        token->Cancelled = true;
    FPool->clear();
    FPool->waitForDone();
    // Taken under the mailbox's lock: the workers' last posts come before
    // this thread's clean-up.
    FMailbox.Take();
}

void TProjectRoutines::SetMaxParallelScans(int count)
{
    FPool->setMaxThreadCount(std::max(1, count));
}

void TProjectRoutines::WaitForScanThreads()
{
    FPool->waitForDone();
}

void TProjectRoutines::Start(const QStringList &files)
{
    FUnits = files;
    FModel.SetUnits(files);
    FScanned = 0;
    FNext = 0;
    FTokens.reserve(size_t(files.size()));
    QueueMore();
    if (files.isEmpty())
        emit Finished();
}

void TProjectRoutines::QueueMore()
{
    const int window = 32 * FPool->maxThreadCount();
    for (; FNext < FUnits.size() && FNext - FScanned < window; ++FNext) {
        const int i = FNext;
        auto token = std::make_shared<TScanToken>();
        token->Target = this;
        FTokens.push_back(token);
        FUnitOf[token.get()] = i;
        TSearchThread *scan = NewEntityScan(FMailbox, token, FUnits[i], nullptr);
        if (BeforeScan) {
            scan->setAutoDelete(false);
            FPool->start(new THeldScan(scan, BeforeScan, i));
        } else {
            FPool->start(scan);
        }
    }
}

void TProjectRoutines::DrainMailbox()
{
    bool ended = false;
    for (TScanMailbox::TMessage &m : FMailbox.Take()) {
        if (m.Token->Cancelled.load())
            continue;
        const auto unit = FUnitOf.find(m.Token.get());
        if (unit == FUnitOf.end())
            continue;
        switch (m.Kind) {
        case TScanMailbox::TMessage::Entities:
            FModel.Stage(unit->second, m.Found);
            break;
        case TScanMailbox::TMessage::Progress:
            break;
        case TScanMailbox::TMessage::Ended:
            // A unit that cannot be read adds nothing; the others go on.
            ++FScanned;
            ended = true;
            break;
        }
    }
    if (ended)
        QueueMore();
    // The first rows at once, then in batches, and the last ones at once.
    if (FModel.rowCount() == 0 || Done() || !FSincePublished.isValid()
        || FSincePublished.elapsed() >= PublishEvery)
        PublishNow();
    else if (!FPublishLater.isActive())
        FPublishLater.start();
    if (ended && Done())
        emit Finished();
}

void TProjectRoutines::PublishNow()
{
    FPublishLater.stop();
    FSincePublished.start();
    FModel.Publish();
    emit Progressed();
}
