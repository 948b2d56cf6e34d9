// Data grid over a dataset: one row per record, one column per visible
// field, the current row following the dataset's current record both ways.
// The model is separate so other windows can show a dataset the same way.
#pragma once

#include "TableStore.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>
#include <vector>

class QMenu;

// Rows and visible fields of a dataset. A table is read in place (ValueAt),
// so a change costs a reset, never a copy; other datasets are read through
// once per change, as they offer nothing but First/Next.
class TDataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataSetModel(QObject *parent = nullptr);

    TDataSource *DataSource() const { return FSource; }
    void SetDataSource(TDataSource *source);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    TField *FieldAt(int column) const;
    // The dataset's current record as a row; -1 when it has none.
    int CurrentRow() const;
    // Makes row the dataset's current record (tables only).
    void SetCurrentRow(int row);

signals:
    // The dataset moved to another record (or its records changed).
    void CurrentRowChanged(int row);

private:
    TDataSet *DataSet() const;
    TTable *Table() const;
    void Rebuild();
    void FieldValueChanged(TField *field);

    TDataSource *FSource = nullptr;
    QPointer<TDataSet> FDataSet;
    std::vector<TField *> FColumns;
    // Only for datasets that are not tables: the values, row by row.
    std::vector<std::vector<QVariant>> FCopy;
    bool FMoving = false;
};

// Draws each cell as usual, then, for the raised look, a line in the
// highlight-text colour up the cell's left edge and along its top.
class TDB3DGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};

enum TDBGridOption {
    dgColumnResize = 0x01,
    dgColLines = 0x02,
    dgRowLines = 0x04,
    dgTabs = 0x08,
    dgAlwaysShowSelection = 0x10,
    dgConfirmDelete = 0x20,
    dgCancelOnExit = 0x40,
};
using TDBGridOptions = int;

class TDB3DGrid : public QTableView {
    Q_OBJECT
    Q_PROPERTY(bool Grid3D READ Grid3D WRITE SetGrid3D)
public:
    explicit TDB3DGrid(QWidget *parent = nullptr);

    TDataSource *DataSource() const { return FModel.DataSource(); }
    void SetDataSource(TDataSource *source) { FModel.SetDataSource(source); }
    TDataSetModel &Model() { return FModel; }

    bool Grid3D() const { return FGrid3D; }
    void SetGrid3D(bool value);
    TDBGridOptions Options() const { return FOptions; }
    void SetOptions(TDBGridOptions options);

    QMenu *PopupMenu = nullptr;
    // The owner's key handler, before the grid's own; true when it took the key.
    std::function<bool(QKeyEvent *)> OnKeyDown;
    std::function<void()> OnDblClick;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void FollowDataSet(int row);
    void SizeColumns();

    TDataSetModel FModel;
    bool FGrid3D = false;
    TDBGridOptions FOptions = 0;
    bool FFollowing = false;
};
