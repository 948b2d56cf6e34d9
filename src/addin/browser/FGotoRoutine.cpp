#include "FGotoRoutine.h"

#include "core/StringTable.h"

#include "Paths.h"

#include "ToolsApi.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QVBoxLayout>

TFGotoRoutine::TFGotoRoutine(QWidget *owner, const QStringList &files) : QDialog(owner)
{
    setObjectName(QStringLiteral("FGotoRoutine"));
    setWindowTitle(LoadStr(txt::GotoRoutineTitle));
    resize(480, 420);

    edFilter = new QLineEdit(this);
    edFilter->setObjectName(QStringLiteral("edFilter"));
    edFilter->setPlaceholderText(LoadStr(txt::FilterHint));
    edFilter->setClearButtonEnabled(true);

    lvRoutines = new QTreeView(this);
    lvRoutines->setObjectName(QStringLiteral("lvRoutines"));
    lvRoutines->setRootIsDecorated(false);
    lvRoutines->setUniformRowHeights(true); // a project's worth of rows
    lvRoutines->setItemsExpandable(false);
    lvRoutines->setSelectionMode(QAbstractItemView::SingleSelection);
    lvRoutines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvRoutines->setModel(&FRoutines.Model());
    lvRoutines->header()->setStretchLastSection(true);
    lvRoutines->setColumnWidth(TRoutineModel::NameColumn, 300);

    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(edFilter);
    layout->addWidget(lvRoutines, 1);
    layout->addWidget(lblCount);

    connect(edFilter, &QLineEdit::textChanged, this, &TFGotoRoutine::FilterChanged);
    connect(lvRoutines, &QTreeView::doubleClicked, this, [this](const QModelIndex &index) { ChooseRow(index.row()); });
    connect(&FRoutines, &TProjectRoutines::Progressed, this, &TFGotoRoutine::Progressed);
    edFilter->installEventFilter(this);
    lvRoutines->installEventFilter(this);
    edFilter->setFocus();

    FRoutines.Start(files);
    Progressed();
}

TFGotoRoutine::~TFGotoRoutine() = default;

QStringList TFGotoRoutine::ProjectUnits(TIToolServices &ide)
{
    QStringList units;
    const int32_t count = ide.GetUnitCount();
    for (int32_t i = 0; i < count; ++i) {
        const QString unit = ide.GetUnitName(i);
        if (ExtractFileExt(unit).toUpper() == QLatin1String(".PAS") && !units.contains(unit))
            units << unit;
    }
    return units;
}

bool TFGotoRoutine::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Choose();
        return true;
    case Qt::Key_Escape:
        // The box first, then the dialog.
        if (!edFilter->text().isEmpty()) {
            edFilter->clear();
            edFilter->setFocus();
        } else {
            reject();
        }
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // The box keeps the focus; the keys move through the list.
        if (watched == edFilter) {
            QKeyEvent copy(key->type(), key->key(), key->modifiers());
            QCoreApplication::sendEvent(lvRoutines, &copy);
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TFGotoRoutine::Choose()
{
    const QModelIndex current = lvRoutines->currentIndex();
    if (current.isValid()) {
        ChooseRow(current.row());
        return;
    }
    if (FRoutines.Model().rowCount() > 0) {
        ChooseRow(0);
        return;
    }
    // Typed ahead of the scans: the first match to come is the one.
    if (!FRoutines.Done() && !edFilter->text().isEmpty())
        FChooseFirst = true;
}

void TFGotoRoutine::ChooseRow(int row)
{
    const QModelIndex index = FRoutines.Model().index(row, 0);
    if (!index.isValid())
        return;
    ChosenFile = index.data(TRoutineModel::FileRole).toString();
    ChosenLine = index.data(TRoutineModel::LineRole).toInt();
    accept();
}

void TFGotoRoutine::FilterChanged(const QString &text)
{
    FChooseFirst = false;
    FRoutines.Model().SetFilter(text);
    Progressed();
}

void TFGotoRoutine::Progressed()
{
    const TRoutineModel &model = FRoutines.Model();
    lblCount->setText(LoadStr(txt::GotoRoutineCount)
                          .arg(model.rowCount())
                          .arg(FRoutines.UnitsScanned())
                          .arg(FRoutines.UnitCount()));
    if (FChooseFirst && model.rowCount() > 0) {
        FChooseFirst = false;
        ChooseRow(0);
    }
    if (FRoutines.Done())
        FChooseFirst = false;
}
