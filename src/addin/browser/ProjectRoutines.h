// Every routine of every unit of a project, for the project-wide jump: the
// units scanned on worker threads with the browser's own scan and hand-over,
// the results in a model that grows in batches while the scans run. Nothing
// here touches a widget.
#pragma once

#include "ScanHandoff.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <QStringList>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QThreadPool;

// The routines found so far, with the rows the filter lets through. Rows
// are added at the end only, so that a view keeps its place while it grows.
class TRoutineModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum { NameColumn, UnitColumn, ColumnCount };
    // Of a row: the heading line (from 1) and the unit's file.
    static constexpr int LineRole = Qt::UserRole;
    static constexpr int FileRole = Qt::UserRole + 1;

    explicit TRoutineModel(QObject *parent = nullptr);

    // The project's units; clears the routines.
    void SetUnits(const QStringList &files);
    // Takes in routines of a unit; the rows they add come with Publish, so
    // that a view hears of many batches at once.
    void Stage(int unit, const std::vector<TEntity> &found);
    void Publish();
    void Append(int unit, const std::vector<TEntity> &found)
    {
        Stage(unit, found);
        Publish();
    }
    void SetFilter(const QString &filter);
    QString Filter() const { return FFilter; }
    // Routines found, whether the filter shows them or not.
    int Total() const { return int(FEntries.size()); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct TEntry {
        QString Name;
        int32_t Line;
        int32_t Unit;
    };
    QStringList FFiles;
    QStringList FCaptions;
    std::vector<TEntry> FEntries;
    std::vector<int> FShown; // entries the filter lets through, in order
    std::vector<int> FStaged; // of those, the ones not yet published
    QString FFilter;
};

class TProjectRoutines : public QObject {
    Q_OBJECT
public:
    explicit TProjectRoutines(QObject *parent = nullptr);
    // Cancels what still runs and waits for the workers.
    ~TProjectRoutines() override;

    // Scans the files (all of them are taken as Pascal units), a few at once.
    void Start(const QStringList &files);
    TRoutineModel &Model() { return FModel; }
    int UnitCount() const { return int(FUnits.size()); }
    int UnitsScanned() const { return FScanned; }
    bool Done() const { return FScanned == UnitCount(); }
    // Scans run at once; set before Start.
    void SetMaxParallelScans(int count);
    // Waits until every scan started has returned; what they sent may still
    // wait for the event loop.
    void WaitForScanThreads();

    // Called on the worker before a unit's scan, with the unit's index:
    // lets a test hold scans back.
    std::function<void(int unit)> BeforeScan;

signals:
    // Results or ends of scans were taken in.
    void Progressed();
    void Finished();

private:
    void DrainMailbox();
    // Hands the pool the next units, keeping a few queued per worker: the
    // first results do not wait for thousands of jobs to be made.
    void QueueMore();
    void PublishNow();

    TRoutineModel FModel;
    TScanMailbox FMailbox{this, [this] { DrainMailbox(); }};
    std::unique_ptr<QThreadPool> FPool;
    QStringList FUnits;
    std::vector<std::shared_ptr<TScanToken>> FTokens;
    std::unordered_map<const TScanToken *, int> FUnitOf;
    int FScanned = 0;
    int FNext = 0; // the next unit to hand the pool
    // Rows reach the view a few times a second, not once per unit.
    QElapsedTimer FSincePublished;
    QTimer FPublishLater;
};
