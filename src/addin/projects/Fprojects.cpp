#include "Fprojects.h"

#include "core/GuideKey.h"
#include "core/Logo.h"

#include "core/CommandEdge.h"
#include "core/StringTable.h"
#include "core/FormKit.h"

#include "LazarusGroup.h"

#include "Paths.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <vector>

namespace {

constexpr int ClientWidth = 220;
constexpr int ClientHeight = 273;
constexpr int PanelHeight = 31;
// With build results beside the projects the window is wider.
constexpr int ResultsWidth = 460;

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
    // Several projects may be picked for a build; a plain click still
    // selects one.
    Proyectos->setSelectionMode(QAbstractItemView::ExtendedSelection);
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

    btnBuild = BarButton(Panel1, "btnBuild", 90, look->standardIcon(QStyle::SP_MediaPlay));
    btnImport = BarButton(Panel1, "btnImport", 117, look->standardIcon(QStyle::SP_DialogOpenButton));

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    ProgressBar1 = new QProgressBar(Panel2);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setFormat(QStringLiteral("%v / %m"));
    btnStop = NewSpeedButton(Panel2, "btnStop", look->standardIcon(QStyle::SP_MediaStop));
    btnStop->setFixedSize(25, 25);
    btnStop->setEnabled(false);
    auto *bar = new QHBoxLayout(Panel2);
    bar->setContentsMargins(3, 3, 3, 3);
    bar->addWidget(ProgressBar1);
    bar->addWidget(btnStop);
    Panel2->hide();

    mnuBuild = new QAction(Proyectos);
    mnuBuild->setObjectName(QStringLiteral("mnuBuild"));
    mnuOutput = new QAction(Proyectos);
    mnuOutput->setObjectName(QStringLiteral("mnuOutput"));
    Proyectos->addActions({mnuBuild, mnuOutput});
    Proyectos->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Proyectos);
    layout->addWidget(Panel2);

    connect(btnBuild, &QToolButton::clicked, this, [this] { btnBuildClick(); });
    connect(btnImport, &QToolButton::clicked, this, [this] { btnImportClick(); });
    connect(btnStop, &QToolButton::clicked, this, [this] { btnStopClick(); });
    connect(mnuBuild, &QAction::triggered, this, [this] { btnBuildClick(); });
    connect(mnuOutput, &QAction::triggered, this, [this] { ShowOutput(); });

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
    // The compiler is killed and reaped; nothing it does later reaches here.
    FBuild.reset();
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
    btnBuild->setToolTip(LoadStr(txt::BuildGroupHint));
    btnImport->setToolTip(LoadStr(txt::ImportLpgHint));
    btnStop->setToolTip(LoadStr(txt::StopBuildHint));
    mnuBuild->setText(LoadStr(txt::BuildGroupHint));
    mnuOutput->setText(LoadStr(txt::CompilerOutput));

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
    MarkMissing(item);
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
    MarkMissing(item);
    group->setExpanded(true);
    Proyectos->editItem(item);
}

void TFProyexp::btnEliminarClick()
{
    if (!FServices.dialogs().AskYesNo(LoadStr(txt::AskDeleteItem)))
        return;
    // Every node selected goes, as the build takes every one; children go
    // with their node, so a node below another selected one is left to it.
    std::vector<QTreeWidgetItem *> doomed;
    for (QTreeWidgetItem *item : Proyectos->selectedItems()) {
        bool below = false;
        for (const QTreeWidgetItem *p = item->parent(); p && !below; p = p->parent())
            below = p->isSelected();
        if (!below)
            doomed.push_back(item);
    }
    for (QTreeWidgetItem *item : doomed)
        delete item;
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

void TFProyexp::done(int result)
{
    if (FBuild)
        FBuild->Stop();
    QDialog::done(result);
}

// ------------------------------------------------------------ missing files

// Greyed with a hint, never dropped: the file may be on a drive that is not
// mounted now.
void TFProyexp::MarkMissing(QTreeWidgetItem *item)
{
    const QVariant path = item->data(0, PathRole);
    const bool missing = path.isValid() && !FileExists(path.toString());
    const bool was = item->data(0, MissingRole).toBool();
    if (missing == was && item->data(0, MissingRole).isValid())
        return;
    item->setData(0, MissingRole, missing);
    if (missing) {
        item->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
        item->setToolTip(0, LoadStr(txt::ProjectFileMissing).arg(path.toString()));
    } else {
        item->setData(0, Qt::ForegroundRole, QVariant());
        item->setToolTip(0, path.isValid() ? path.toString() : QString());
    }
}

// -------------------------------------------------------------------- build

void TFProyexp::btnBuildClick()
{
    if (Building())
        return;
    // Tree order: a selected group brings all its projects, a selected
    // project itself, each once.
    QStringList projects;
    QList<QTreeWidgetItem *> items;
    for (int g = 0; g < Proyectos->topLevelItemCount(); ++g) {
        QTreeWidgetItem *group = Proyectos->topLevelItem(g);
        for (int p = 0; p < group->childCount(); ++p) {
            QTreeWidgetItem *project = group->child(p);
            const QVariant path = project->data(0, PathRole);
            if (path.isValid() && (group->isSelected() || project->isSelected())) {
                projects << path.toString();
                items << project;
            }
        }
    }
    if (projects.isEmpty()) {
        FServices.dialogs().ShowMessage(LoadStr(txt::SelectToBuild));
        return;
    }
    if (FServices.compileCommand(projects.first()).isEmpty()) {
        FServices.dialogs().ShowMessage(LoadStr(txt::NoCompiler));
        return;
    }

    ShowResultColumn();
    for (QTreeWidgetItemIterator it(Proyectos); *it; ++it) {
        (*it)->setData(0, BuildIndexRole, QVariant());
        (*it)->setText(ResultColumn, QString());
        (*it)->setToolTip(ResultColumn, QString());
    }
    for (int i = 0; i < items.size(); ++i)
        items.at(i)->setData(0, BuildIndexRole, i);

    FBuild = std::make_unique<TGroupBuild>(projects, [services = FServices](const QString &project) {
        return services.compileCommand(project);
    });
    FBuild->Changed = [this](int index) { BuildChanged(index); };
    FBuild->Finished = [this] { BuildFinished(); };
    ProgressBar1->setRange(0, int(projects.size()));
    ProgressBar1->setValue(0);
    btnStop->setEnabled(true);
    btnBuild->setEnabled(false);
    mnuBuild->setEnabled(false);
    FBuild->Start();
}

void TFProyexp::btnStopClick()
{
    if (FBuild)
        FBuild->Stop();
}

void TFProyexp::ShowResultColumn()
{
    if (Proyectos->columnCount() > ResultColumn)
        return;
    setFixedSize(ResultsWidth, ClientHeight);
    Image1->move(ResultsWidth - 66 - 1, 1);
    Proyectos->setColumnCount(ResultColumn + 1);
    Proyectos->header()->setStretchLastSection(true);
    Proyectos->setColumnWidth(0, ClientWidth);
    Panel2->show();
}

// The project of a build's place; nullptr when it was deleted meanwhile.
QTreeWidgetItem *TFProyexp::BuildItem(int index) const
{
    for (QTreeWidgetItemIterator it(Proyectos); *it; ++it) {
        const QVariant place = (*it)->data(0, BuildIndexRole);
        if (place.isValid() && place.toInt() == index)
            return *it;
    }
    return nullptr;
}

void TFProyexp::BuildChanged(int index)
{
    ProgressBar1->setValue(FBuild->DoneCount());
    QTreeWidgetItem *item = BuildItem(index);
    if (!item)
        return;
    const TBuildResult &result = FBuild->Result(index);
    QString text;
    switch (result.State) {
    case TBuildState::Waiting:
        break;
    case TBuildState::Building:
        text = QStringLiteral("...");
        break;
    case TBuildState::Ok:
        text = LoadStr(txt::BuildOk);
        break;
    case TBuildState::Failed:
        text = LoadStr(txt::BuildFailed).arg(result.FirstError);
        break;
    case TBuildState::NotFound:
        text = LoadStr(txt::BuildNotFound);
        break;
    case TBuildState::Stopped:
        text = LoadStr(txt::BuildStopped);
        break;
    }
    {
        // Results are no label edits.
        const QSignalBlocker quiet(Proyectos);
        item->setText(ResultColumn, text);
        item->setToolTip(ResultColumn, text);
        if (!result.Output.isEmpty())
            item->setData(0, OutputRole, result.Output);
    }
    MarkMissing(item);
}

void TFProyexp::BuildFinished()
{
    ProgressBar1->setValue(FBuild->DoneCount());
    btnStop->setEnabled(false);
    btnBuild->setEnabled(true);
    mnuBuild->setEnabled(true);
}

void TFProyexp::ShowOutput()
{
    QTreeWidgetItem *item = Selected();
    if (!item)
        return;
    const QVariant output = item->data(0, OutputRole);
    if (!output.isValid())
        return;
    auto *window = new QDialog(this);
    window->setObjectName(QStringLiteral("BuildOutput"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(LoadStr(txt::CompilerOutput) + QStringLiteral(" - ") + item->text(0));
    auto *text = new QPlainTextEdit(window);
    text->setObjectName(QStringLiteral("OutputText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setPlainText(output.toString());
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(text);
    window->resize(560, 320);
    window->show();
}

// ------------------------------------------------------------------- import

void TFProyexp::btnImportClick()
{
    const QString project = FServices.Ide ? FServices.Ide->GetProjectName() : QString();
    const QString path = FServices.dialogs().GetOpenFileName(LoadStr(txt::ImportLpgHint), LoadStr(txt::LpgFileFilter),
                                                             ExtractFileDir(project));
    if (path.isEmpty())
        return;
    RunAtEdge(FServices.dialogs(), [&] {
        const TImportedGroup imported = TLazarusGroup::Import(path);
        auto *group = new QTreeWidgetItem;
        group->setFlags(NodeFlags);
        group->setText(0, imported.Name);
        SetImage(group, 0);
        Proyectos->addTopLevelItem(group);
        for (const TImportedProject &p : imported.Projects) {
            auto *item = new QTreeWidgetItem;
            item->setFlags(NodeFlags);
            item->setText(0, p.Label);
            SetImage(item, 1);
            item->setData(0, PathRole, TData(p.Path).GetData());
            group->addChild(item);
            MarkMissing(item);
        }
        group->setExpanded(true);
        Proyectos->setCurrentItem(group);
        if (!imported.NotImported.isEmpty())
            FServices.dialogs().ShowMessage(LoadStr(txt::NotImported).arg(path) + QLatin1Char('\n')
                                            + imported.NotImported.join(QLatin1Char('\n')));
    });
}
