#include "Grid3d.h"

#include "core/CommandEdge.h"

#include <QContextMenuEvent>
#include <QHeaderView>

#include <algorithm>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

// ------------------------------------------------------------- the model

TDataSetModel::TDataSetModel(QObject *parent) : QAbstractTableModel(parent) {}

void TDataSetModel::SetDataSource(TDataSource *source)
{
    if (FDataSet)
        disconnect(FDataSet, nullptr, this, nullptr);
    FSource = source;
    FDataSet = source ? source->DataSet : nullptr;
    if (FDataSet) {
        const auto changed = [this] {
            Rebuild();
            emit CurrentRowChanged(CurrentRow());
        };
        connect(FDataSet, &TDataSet::DataSetChanged, this, changed);
        connect(FDataSet, &TDataSet::LayoutChanged, this, changed);
        connect(FDataSet, &TDataSet::FieldChanged, this, &TDataSetModel::FieldValueChanged);
        connect(FDataSet, &TDataSet::Scrolled, this, [this] {
            if (!FMoving)
                emit CurrentRowChanged(CurrentRow());
        });
    }
    Rebuild();
}

TDataSet *TDataSetModel::DataSet() const
{
    return FDataSet.data();
}

TTable *TDataSetModel::Table() const
{
    return qobject_cast<TTable *>(FDataSet.data());
}

void TDataSetModel::Rebuild()
{
    beginResetModel();
    FColumns.clear();
    FCopy.clear();
    if (TDataSet *data = DataSet(); data && data->Active()) {
        for (int i = 0; i < data->FieldCount(); ++i)
            if (data->Fields(i)->Visible())
                FColumns.push_back(data->Fields(i));
        if (!Table()) {
            for (data->First(); !data->Eof(); data->Next()) {
                std::vector<QVariant> row;
                for (TField *field : FColumns)
                    row.push_back(field->Value());
                FCopy.push_back(std::move(row));
            }
        }
    }
    endResetModel();
}

void TDataSetModel::FieldValueChanged(TField *)
{
    const int row = CurrentRow();
    if (row >= 0 && !FColumns.empty())
        emit dataChanged(index(row, 0), index(row, int(FColumns.size()) - 1));
}

int TDataSetModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || FColumns.empty())
        return 0;
    if (TTable *table = Table())
        return table->Active() ? table->RecordCount() : 0;
    return int(FCopy.size());
}

int TDataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FColumns.size());
}

QVariant TDataSetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const int column = index.column();
    if (column >= int(FColumns.size()))
        return {};
    QVariant value;
    if (TTable *table = Table()) {
        if (!table->Active())
            return {};
        value = table->ValueAt(index.row() + 1, FColumns[size_t(column)]);
    } else if (index.row() < int(FCopy.size())) {
        value = FCopy[size_t(index.row())][size_t(column)];
    }
    return value.isNull() ? QVariant(QString()) : QVariant(value.toString());
}

QVariant TDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section < int(FColumns.size()))
        return FColumns[size_t(section)]->FieldName();
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TDataSetModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

TField *TDataSetModel::FieldAt(int column) const
{
    return column >= 0 && column < int(FColumns.size()) ? FColumns[size_t(column)] : nullptr;
}

int TDataSetModel::CurrentRow() const
{
    TTable *table = Table();
    if (!table || !table->Active())
        return -1;
    return table->RecNo() - 1;
}

void TDataSetModel::SetCurrentRow(int row)
{
    TTable *table = Table();
    if (!table || !table->Active() || row < 0 || row == CurrentRow())
        return;
    FMoving = true;
    try {
        table->SetRecNo(row + 1);
    } catch (...) {
        FMoving = false;
        throw;
    }
    FMoving = false;
}

// ----------------------------------------------------------- the drawing

void TDB3DGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const auto *grid = qobject_cast<const TDB3DGrid *>(parent());
    if (!grid || !grid->Grid3D())
        return;
    const TDBGridOptions lines = dgColLines | dgRowLines;
    if ((grid->Options() & lines) != lines)
        return;
    const QRect r = option.rect;
    painter->save();
    painter->setPen(grid->palette().color(QPalette::HighlightedText));
    // From the left-bottom corner up, then along the top to the right.
    painter->drawLine(r.left(), r.bottom() - 1, r.left(), r.top());
    painter->drawLine(r.left(), r.top(), r.right(), r.top());
    painter->restore();
}

// -------------------------------------------------------------- the grid

TDB3DGrid::TDB3DGrid(QWidget *parent) : QTableView(parent)
{
    QPalette silver = palette();
    silver.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    setPalette(silver);
    setItemDelegate(new TDB3DGridDelegate(this));
    setModel(&FModel);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    // A fixed row height: the view never measures rows it does not show.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(true);
    connect(&FModel, &TDataSetModel::CurrentRowChanged, this, &TDB3DGrid::FollowDataSet);
    connect(&FModel, &QAbstractItemModel::modelReset, this, [this] {
        SizeColumns();
        FollowDataSet(FModel.CurrentRow());
    });
}

void TDB3DGrid::SizeColumns()
{
    // As wide as the field's text, within reason; the last column takes the rest.
    const int charWidth = fontMetrics().averageCharWidth();
    for (int column = 0; column + 1 < FModel.columnCount(); ++column) {
        const TField *field = FModel.FieldAt(column);
        const int chars = field ? std::clamp(field->Size(), 8, 30) : 20;
        setColumnWidth(column, chars * charWidth + 8);
    }
}

void TDB3DGrid::SetGrid3D(bool value)
{
    if (value == FGrid3D)
        return;
    FGrid3D = value;
    viewport()->update();
}

void TDB3DGrid::SetOptions(TDBGridOptions options)
{
    FOptions = options;
    // No title row and no row indicator: the headers stay hidden.
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setShowGrid(options & (dgColLines | dgRowLines));
    setTabKeyNavigation(options & dgTabs);
    horizontalHeader()->setSectionResizeMode((options & dgColumnResize) ? QHeaderView::Interactive
                                                                       : QHeaderView::Fixed);
    QPalette p = palette();
    if (options & dgAlwaysShowSelection) {
        p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   p.color(QPalette::Active, QPalette::HighlightedText));
    }
    setPalette(p);
    viewport()->update();
}

void TDB3DGrid::FollowDataSet(int row)
{
    FFollowing = true;
    if (row < 0 || row >= FModel.rowCount()) {
        clearSelection();
        setCurrentIndex(QModelIndex());
    } else {
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex index = FModel.index(row, std::min(column, FModel.columnCount() - 1));
        setCurrentIndex(index);
        scrollTo(index);
    }
    FFollowing = false;
}

void TDB3DGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    // Moving may post a pending edit; its error is shown here, inside Qt's
    // event handling, where nothing may be thrown.
    if (!FFollowing && current.isValid() && current.row() != previous.row())
        RunAtEdge(CurrentDialogs(), [&] { FModel.SetCurrentRow(current.row()); });
}

void TDB3DGrid::keyPressEvent(QKeyEvent *event)
{
    if (OnKeyDown && OnKeyDown(event))
        return;
    QTableView::keyPressEvent(event);
}

void TDB3DGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (OnDblClick)
        OnDblClick();
}

void TDB3DGrid::contextMenuEvent(QContextMenuEvent *event)
{
    if (!PopupMenu) {
        QTableView::contextMenuEvent(event);
        return;
    }
    const QModelIndex at = indexAt(event->pos());
    if (at.isValid())
        setCurrentIndex(at);
    PopupMenu->popup(event->globalPos());
}

void TDB3DGrid::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    // Cancel on exit: a new record left untouched does not stay behind.
    TDataSet *data = DataSource() ? DataSource()->DataSet : nullptr;
    auto *table = qobject_cast<TTable *>(data);
    if ((FOptions & dgCancelOnExit) && table && table->State() == TDataSetState::Insert && !table->Modified()
        && event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        table->Cancel();
}
