#include "Fprojects.h"

#include "core/GuideKey.h"
#include "core/Logo.h"

#include "core/CommandEdge.h"
#include "core/StringTable.h"
#include "core/FormKit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int ClientWidth = 220;
constexpr int ClientHeight = 273;
constexpr int PanelHeight = 31;

constexpr Qt::ItemFlags NodeFlags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;

// A plus sign: "add this project".
QIcon AddGlyph()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(7, 2, 3, 12, QColor(0x10, 0x80, 0x20));
    painter.fillRect(2, 7, 12, 3, QColor(0x10, 0x80, 0x20));
    return QIcon(pixmap);
}

// A speed button at left on the bar.
QToolButton *BarButton(QWidget *parent, const char *name, int left, const QIcon &glyph)
{
    QToolButton *button = NewSpeedButton(parent, name, glyph);
    button->setGeometry(left, 3, 25, 25);
    button->setIconSize(QSize(16, 16));
    return button;
}

// The tree, telling whether a label is being edited.
class ProjectTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;
    bool Editing() const { return state() == EditingState; }
};

} // namespace

TFProyexp::TFProyexp(QWidget *owner, const TAddinServices &services)
    : QDialog(owner), FServices(services)
{
    setObjectName(QStringLiteral("FProyexp"));
    InstallGuideKey(this, services, GuideProjectGroups);
    setFixedSize(ClientWidth, ClientHeight);

    QStyle *look = style();

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(PanelHeight);

    btnAdd = BarButton(Panel1, "btnAdd", 3, AddGlyph());
    btnNuevoGrupo = BarButton(Panel1, "btnNuevoGrupo", 30,
                              look->standardIcon(QStyle::SP_FileDialogNewFolder));

    Proyectos = new ProjectTree(this);
    Proyectos->setObjectName(QStringLiteral("Proyectos"));
    Proyectos->setColumnCount(1);
    Proyectos->setHeaderHidden(true);
    Proyectos->setIndentation(19);
    Proyectos->setIconSize(QSize(16, 16));
    Proyectos->setSelectionMode(QAbstractItemView::SingleSelection);
    Proyectos->setEditTriggers(QAbstractItemView::SelectedClicked
                               | QAbstractItemView::EditKeyPressed);

    ImageList1 = new TImageList(this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    ImageList1->Images = {look->standardIcon(QStyle::SP_DirIcon),
                          look->standardIcon(QStyle::SP_FileIcon)};

    btnEliminar = BarButton(Panel1, "btnEliminar", 63, look->standardIcon(QStyle::SP_TrashIcon));

    Image1 = new TLogoImage(Panel1);
    Image1->setGeometry(ClientWidth - 66 - 1, 1, 66, 29);
    connect(Image1, &TLogoImage::clicked, this, [this] { Image1Click(); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Proyectos);

    connect(btnAdd, &QToolButton::clicked, this, [this] { btnAddClick(); });
    connect(btnNuevoGrupo, &QToolButton::clicked, this, [this] { btnNuevoGrupoClick(); });
    connect(btnEliminar, &QToolButton::clicked, this, [this] { btnEliminarClick(); });
    connect(Proyectos, &QTreeWidget::itemDoubleClicked, this, [this] { ProyectosDblClick(); });
    connect(Proyectos, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem *item) { LabelEdited(item); });
    // Key preview: the window sees the tree's keys first.
    InstallKeyPreview(this, {Proyectos}, [this](QKeyEvent *event) {
        int key = event->key();
        FormKeyDown(key, event->modifiers());
        return key == 0;
    });

    FormCreate();
    Proyectos->setFocus();
}

TFProyexp::~TFProyexp()
{
    Proyectos->removeEventFilter(this);
    Proyectos->disconnect(this);
    FormDestroy();
}

// ------------------------------------------------------------------ loading

void TFProyexp::FormCreate()
{
    setWindowTitle(LoadStr(txt::Projects));
    btnAdd->setToolTip(LoadStr(txt::AddActual));
    btnNuevoGrupo->setToolTip(LoadStr(txt::NewGroup));
    btnEliminar->setToolTip(LoadStr(txt::DeleteHint));

    FDataFile = FServices.DataFile(QStringLiteral("proj.dat"));
    QString failure;
    try {
        FGroups.LoadFromFile(FDataFile);
    } catch (const Exception &e) {
        // What was read before a bad line stays in the tree.
        failure = e.message();
    }

    QList<QTreeWidgetItem *> roots;
    roots.reserve(qsizetype(FGroups.Roots().size()));
    for (const auto &root : FGroups.Roots()) {
        QTreeWidgetItem *item = AddItem(nullptr, *root);
        AddNodes(item, *root);
        roots << item;
    }
    {
        const QSignalBlocker quiet(Proyectos);
        Proyectos->addTopLevelItems(roots);
    }
    Proyectos->expandAll();

    if (!failure.isEmpty())
        FServices.dialogs().ShowError(failure);
}

QTreeWidgetItem *TFProyexp::AddItem(QTreeWidgetItem *parent, const TProjectNode &node)
{
    auto *item = new QTreeWidgetItem;
    item->setFlags(NodeFlags);
    item->setText(0, node.Text);
    const int level = parent ? Level(parent) + 1 : 0;
    SetImage(item, level);
    if (node.Data)
        item->setData(0, PathRole, node.Data->GetData());
    if (parent)
        parent->addChild(item);
    return item;
}

void TFProyexp::AddNodes(QTreeWidgetItem *parent, const TProjectNode &node)
{
    for (const auto &child : node.Children())
        AddNodes(AddItem(parent, *child), *child);
}

void TFProyexp::SetImage(QTreeWidgetItem *item, int index)
{
    item->setData(0, ImageIndexRole, index);
    item->setIcon(0, ImageList1->Image(index));
}

// ------------------------------------------------------------------- saving

void TFProyexp::FormDestroy()
{
    FGroups.ClearNodes();
    for (int i = 0; i < Proyectos->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = Proyectos->topLevelItem(i);
        StoreNodes(item, *FGroups.AddRoot(item->text(0)));
    }
    RunAtEdge(FServices.dialogs(), [this] { FGroups.SaveToFile(FDataFile, FServices.writer()); });
}

void TFProyexp::StoreNodes(const QTreeWidgetItem *item, TProjectNode &node) const
{
    const QVariant path = item->data(0, PathRole);
    if (path.isValid())
        node.Data = std::make_unique<TData>(path.toString());
    for (int i = 0; i < item->childCount(); ++i) {
        const QTreeWidgetItem *child = item->child(i);
        StoreNodes(child, *node.AddChild(child->text(0)));
    }
}

// ----------------------------------------------------------------- commands

QTreeWidgetItem *TFProyexp::Selected() const
{
    QTreeWidgetItem *item = Proyectos->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

int TFProyexp::Level(const QTreeWidgetItem *item)
{
    int level = 0;
    for (const QTreeWidgetItem *p = item->parent(); p; p = p->parent())
        ++level;
    return level;
}

void TFProyexp::btnNuevoGrupoClick()
{
    auto *item = new QTreeWidgetItem;
    item->setFlags(NodeFlags);
    item->setText(0, LoadStr(txt::NewGroup));
    SetImage(item, 0);
    Proyectos->addTopLevelItem(item);
    Proyectos->setCurrentItem(item);
    Proyectos->editItem(item);
}

void TFProyexp::btnAddClick()
{
    QTreeWidgetItem *group = Selected();
    if (!group || Level(group) > 0) {
        FServices.dialogs().ShowMessage(LoadStr(txt::SelectGroup));
        return;
    }
    auto *item = new QTreeWidgetItem;
    item->setFlags(NodeFlags);
    item->setText(0, LoadStr(txt::NewProject));
    SetImage(item, 1);
    const QString project = FServices.Ide ? FServices.Ide->GetProjectName() : QString();
    item->setData(0, PathRole, TData(project).GetData());
    group->addChild(item);
    group->setExpanded(true);
    Proyectos->editItem(item);
}

void TFProyexp::btnEliminarClick()
{
    if (!FServices.dialogs().AskYesNo(LoadStr(txt::AskDeleteItem)))
        return;
    // Children go with their node.
    delete Selected();
}

void TFProyexp::ProyectosDblClick()
{
    QTreeWidgetItem *item = Selected();
    if (!item || Level(item) == 0)
        return;
    // Only project nodes carry a path; deeper nodes of a hand-made file do not.
    const QVariant path = item->data(0, PathRole);
    if (!path.isValid())
        return;
    // On failure the host or the edge has shown why; the window stays open.
    const bool opened = RunAtEdge(FServices.dialogs(), [&] {
        if (FServices.Ide)
            FServices.Ide->OpenProject(path.toString());
    });
    if (!opened)
        return;
    close();
}

void TFProyexp::FormKeyDown(int &key, Qt::KeyboardModifiers)
{
    // While a label is edited, Enter and Esc end the edit and nothing else;
    // the editor hands them on after it has used them.
    const bool editing = static_cast<ProjectTree *>(Proyectos)->Editing();
    switch (key) {
    case Qt::Key_Escape:
        key = 0;
        if (!editing)
            close();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        key = 0;
        if (!editing)
            ProyectosDblClick();
        break;
    default:
        break;
    }
}

void TFProyexp::Image1Click()
{
    ShowAbout(FServices.dialogs());
}

// What the file can hold: a label typed with ";" or leading blanks would
// read back as something else.
void TFProyexp::LabelEdited(QTreeWidgetItem *item)
{
    const QString clean = TProjectGroups::CleanText(item->text(0), Level(item));
    if (clean != item->text(0))
        item->setText(0, clean);
}

// --------------------------------------------------------------------- keys

void TFProyexp::keyPressEvent(QKeyEvent *event)
{
    int key = event->key();
    FormKeyDown(key, event->modifiers());
    if (key == 0)
        event->accept();
    else
        QDialog::keyPressEvent(event);
}
