#include "FAyuda.h"

#include "CreaWord.h"
#include "EditData.h"

#include "core/CommandEdge.h"
#include "core/DM.h"
#include "core/Logo.h"
#include "core/StringTable.h"
#include "ipc/ShareMem.h"
#include "core/FormKit.h"

#include "Dialogs.h"
#include "HelpViewer.h"

#include <QApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScopeGuard>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWhatsThis>

int TFAyudaW::NewTopicCounter = 1;

namespace {

const QString HelpFile = QStringLiteral("quorbel.hlp");
constexpr quint32 WindowHelpContext = 42;
constexpr quint32 TreeHelpContext = 60;
const char *const HelpContextProperty = "HelpContext";
constexpr int ImageRole = Qt::UserRole + 1;

bool IsEnter(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

// A bullet of one colour per image: collapsed, expanded, new or subtopic.
QIcon Bullet(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(color);
    painter.setPen(color.darker());
    painter.drawEllipse(3, 3, 10, 10);
    return QIcon(pixmap);
}

// In-place renaming goes through the window: refused for the root, and the
// title is stored before the node shows it.
class TRenameDelegate : public QStyledItemDelegate {
public:
    TRenameDelegate(TFAyudaW *form, QTreeWidget *tree) : QStyledItemDelegate(tree), FForm(form), FTree(tree) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        if (!FForm->TreeView1Editing(FTree->itemFromIndex(index)))
            return nullptr;
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setMaxLength(40);
        return editor;
    }
    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        QTreeWidgetItem *node = FTree->itemFromIndex(index);
        if (line && node && line->text() != node->text(0))
            FForm->TreeView1Edited(node, line->text());
    }

private:
    TFAyudaW *FForm;
    QTreeWidget *FTree;
};

} // namespace

// --------------------------------------------------------------- TRecordRef

TRecordRef::TRecordRef(TTable *table)
    : Bookmark(table->GetBookmark()), Map(table->FieldByName(QStringLiteral("map"))->AsInteger()), Table(table)
{
}

void TRecordRef::GotoRecord()
{
    Table->GotoBookmark(Bookmark);
}

TTopicNode::~TTopicNode()
{
    TFAyudaW::TreeView1Deletion(this);
}

bool TTopicNode::operator<(const QTreeWidgetItem &other) const
{
    const int c = text(0).compare(other.text(0), Qt::CaseInsensitive);
    // Titles differing in case only keep one order.
    return c != 0 ? c < 0 : text(0) < other.text(0);
}

// ------------------------------------------------------------------ window

TFAyudaW::TFAyudaW(QWidget *owner, const TAddinServices &services)
    : QWidget(owner, Qt::Window), FServices(services),
      FListener(QStringLiteral("TFAyudaW"),
                [this](const WindowMessages::TMessage &m) { return PickTopicMessage(m); })
{
    setObjectName(QStringLiteral("FAyudaW"));
    resize(320, 420);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto *bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(2, 0, 2, 0);
    bar->setSpacing(1);
    btnNuevo = NewSpeedButton(Panel1, "btnNuevo", style()->standardIcon(QStyle::SP_FileIcon));
    btnBorrar = NewSpeedButton(Panel1, "btnBorrar", style()->standardIcon(QStyle::SP_TrashIcon));
    btnEdit = NewSpeedButton(Panel1, "btnEdit",
                             style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    btnWord = NewSpeedButton(Panel1, "btnWord", style()->standardIcon(QStyle::SP_DialogSaveButton));
    btnHcw = NewSpeedButton(Panel1, "btnHcw", style()->standardIcon(QStyle::SP_ComputerIcon));
    btnHelp = NewSpeedButton(Panel1, "btnHelp", style()->standardIcon(QStyle::SP_DialogOpenButton));
    btnShowHelp = NewSpeedButton(Panel1, "btnShowHelp",
                                 style()->standardIcon(QStyle::SP_TitleBarContextHelpButton));
    for (QToolButton *b : {btnNuevo, btnBorrar, btnEdit, btnWord, btnHcw, btnHelp, btnShowHelp}) {
        b->setFocusPolicy(Qt::TabFocus); // unlike other speed buttons, Tab has always reached these
        bar->addWidget(b);
    }
    bar->addStretch();
    Image1 = new TLogoImage(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setMaximumHeight(22);
    Image1->setScaledContents(true);
    bar->addWidget(Image1);
    layout->addWidget(Panel1);

    ImageList1 = {Bullet(QColor(0x30, 0x60, 0xC0)), Bullet(QColor(0x30, 0xA0, 0x40)),
                  Bullet(QColor(0xE0, 0xA0, 0x20))};

    TreeView1 = new QTreeWidget(this);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setColumnCount(1);
    TreeView1->setSortingEnabled(true);
    TreeView1->sortByColumn(0, Qt::AscendingOrder);
    TreeView1->setExpandsOnDoubleClick(false);
    TreeView1->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    TreeView1->setItemDelegate(new TRenameDelegate(this, TreeView1));
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    TreeView1->setProperty(HelpContextProperty, TreeHelpContext);
    layout->addWidget(TreeView1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    layout->addWidget(StatusBar1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Nuevo1 = PopupMenu1->addAction(QString());
    Nuevo1->setObjectName(QStringLiteral("Nuevo1"));
    Insertar1 = PopupMenu1->addAction(QString());
    Insertar1->setObjectName(QStringLiteral("Insertar1"));
    Editar1 = PopupMenu1->addAction(QString());
    Editar1->setObjectName(QStringLiteral("Editar1"));
    Borrar1 = PopupMenu1->addAction(QStringLiteral("Borrar"));
    Borrar1->setObjectName(QStringLiteral("Borrar1"));

    connect(btnNuevo, &QToolButton::clicked, this, &TFAyudaW::Nuevo1Click);
    connect(Nuevo1, &QAction::triggered, this, &TFAyudaW::Nuevo1Click);
    connect(btnEdit, &QToolButton::clicked, this, &TFAyudaW::Editar1Click);
    connect(Editar1, &QAction::triggered, this, &TFAyudaW::Editar1Click);
    connect(btnBorrar, &QToolButton::clicked, this, &TFAyudaW::Borrar1Click);
    connect(Borrar1, &QAction::triggered, this, &TFAyudaW::Borrar1Click);
    connect(btnWord, &QToolButton::clicked, this, &TFAyudaW::btnWordClick);
    connect(btnHcw, &QToolButton::clicked, this, &TFAyudaW::btnHcwClick);
    connect(btnHelp, &QToolButton::clicked, this, &TFAyudaW::btnHelpClick);
    connect(btnShowHelp, &QToolButton::clicked, this, &TFAyudaW::btnShowHelpClick);
    connect(Image1, &TLogoImage::clicked, this, &TFAyudaW::Image1Click);
    connect(TreeView1, &QTreeWidget::doubleClicked, this, &TFAyudaW::TreeView1DblClick);
    connect(TreeView1, &QTreeWidget::itemExpanded, this, &TFAyudaW::TreeView1Expanding);
    connect(TreeView1, &QTreeWidget::itemCollapsed, this, &TFAyudaW::TreeView1Collapsing);
    connect(TreeView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(TreeView1->viewport()->mapToGlobal(at)); });

    // The help requests of context-help mode, which reach the control clicked
    // first, and key preview.
    QList<QWidget *> controls;
    for (QWidget *control : findChildren<QWidget *>())
        if (!qobject_cast<QMenu *>(control)) // the menu takes its own Enter and Esc
            controls.append(control);
    for (QWidget *control : controls)
        control->installEventFilter(this);
    InstallKeyPreview(this, controls, [this](QKeyEvent *event) { return FormKeyDown(event); });

    FormCreate();
    // Reachable by other programs from the add-in's start; while another
    // process's help editor answers, this one takes over once it goes.
    FListener.ListenOrWait();
}

TFAyudaW::~TFAyudaW()
{
    FListener.Close();
    if (FModalLoop)
        FModalLoop->quit();
}

void TFAyudaW::FormCreate()
{
    setWindowTitle(LoadStr(txt::HelpEditorTitle));
    btnNuevo->setToolTip(LoadStr(txt::New));
    btnBorrar->setToolTip(LoadStr(txt::Delete));
    btnEdit->setToolTip(LoadStr(txt::Edit));
    btnHcw->setToolTip(LoadStr(txt::ExecHelpCompiler));
    btnWord->setToolTip(LoadStr(txt::GenerateHelpFiles));
    btnHelp->setToolTip(LoadStr(txt::ShowFileHelp));
    btnShowHelp->setToolTip(LoadStr(txt::Help));
    Nuevo1->setText(LoadStr(txt::NewTopic));
    Insertar1->setText(LoadStr(txt::Insert));
    Editar1->setText(LoadStr(txt::Edit));
    PickMode = false;
}

TTable *TFAyudaW::HelpTable() const
{
    return FServices.Data ? &FServices.Data->Table2 : nullptr;
}

void TFAyudaW::ClearTree()
{
    TreeView1->clear();
}

QTreeWidgetItem *TFAyudaW::Root() const
{
    return TreeView1->topLevelItem(0);
}

TRecordRef *TFAyudaW::RecordRef(QTreeWidgetItem *node)
{
    auto *topic = dynamic_cast<TTopicNode *>(node);
    return topic ? topic->Data.get() : nullptr;
}

int TFAyudaW::ImageIndex(const QTreeWidgetItem *node)
{
    return node ? node->data(0, ImageRole).toInt() : -1;
}

void TFAyudaW::SetImage(QTreeWidgetItem *node, int index)
{
    node->setData(0, ImageRole, index);
    node->setIcon(0, ImageList1.at(size_t(index)));
}

TTopicNode *TFAyudaW::AddNode(QTreeWidgetItem *parent, const QString &text, int image, TTable *table)
{
    auto *node = new TTopicNode;
    node->setText(0, text);
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    SetImage(node, image);
    if (table)
        node->Data = std::make_unique<TRecordRef>(table);
    if (parent)
        parent->addChild(node);
    else
        TreeView1->addTopLevelItem(node);
    return node;
}

// ------------------------------------------------------------ showing

void TFAyudaW::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FListener.ListenOrWait(); // what could not be had before
    FormShow();
}

void TFAyudaW::FormShow()
{
    TreeView1->setFocus();
    if (TreeView1->topLevelItemCount() > 0)
        return;
    QTreeWidgetItem *root = AddNode(nullptr, LoadStr(txt::HelpFile), ImgCollapsed, nullptr);
    root->setFlags(root->flags() & ~Qt::ItemIsEditable);
    TreeView1->setCurrentItem(root);
    TTable *table = HelpTable();
    if (!table || !table->Active())
        return;
    RunAtEdge(Dialogs(), [&] {
        TFilterScope topLevel(*table, QStringLiteral("level=1"), true);
        for (table->First(); !table->Eof(); table->Next())
            AddNode(root, table->FieldByName(QStringLiteral("Titulo"))->AsString(), ImgCollapsed, table);
    });
}

void TFAyudaW::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (FModalLoop)
        FModalLoop->quit();
}

void TFAyudaW::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

// Closing only hides the window; the tree and its topics stay.
void TFAyudaW::FormClose() {}

int TFAyudaW::ShowModal()
{
    FModalResult = 0;
    hide();
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    FModalLoop = &loop;
    show();
    raise();
    activateWindow();
    if (isVisible())
        loop.exec(QEventLoop::DialogExec);
    FModalLoop = nullptr;
    hide();
    setWindowModality(Qt::NonModal);
    return FModalResult;
}

// ------------------------------------------------------------ the tree

void TFAyudaW::TreeView1Expanding(QTreeWidgetItem *node)
{
    // Expanding all descendants reaches leaves too, which show nothing more.
    if (node->childCount() == 0)
        return;
    SetImage(node, ImgExpanded);
}

void TFAyudaW::TreeView1Collapsing(QTreeWidgetItem *node)
{
    SetImage(node, ImgCollapsed);
    // Unloaded: the next double click reads them again.
    if (node != Root())
        qDeleteAll(node->takeChildren());
}

void TFAyudaW::TreeView1DblClick()
{
    QTreeWidgetItem *node = TreeView1->currentItem();
    if (!node || node == Root())
        return;
    if (node->childCount() > 0) {
        if (node->isExpanded())
            TreeView1->expandRecursively(TreeView1->currentIndex());
        else
            node->setExpanded(true);
        return;
    }
    TRecordRef *ref = RecordRef(node);
    TTable *table = HelpTable();
    if (!ref || !table || !table->Active())
        return;
    RunAtEdge(Dialogs(), [&] {
        {
            TFilterScope children(*table, QStringLiteral("parent=") + QString::number(ref->Map), true);
            table->First();
            if (table->RecordCount() > 0)
                SetImage(node, ImgExpanded);
            qDeleteAll(node->takeChildren());
            for (; !table->Eof(); table->Next())
                AddNode(node, table->FieldByName(QStringLiteral("Titulo"))->AsString(), ImgNew, table);
        }
        TreeView1->expandRecursively(TreeView1->indexFromItem(node));
    });
}

void TFAyudaW::TreeView1Deletion(QTreeWidgetItem *node)
{
    if (auto *topic = dynamic_cast<TTopicNode *>(node))
        topic->Data.reset();
}

bool TFAyudaW::Renaming() const
{
    // The rename box is the current node's index widget while it is open;
    // after Enter it is hidden at once and deleted later.
    const QWidget *box = TreeView1->indexWidget(TreeView1->currentIndex());
    return box && box->isVisible();
}

bool TFAyudaW::TreeView1Editing(QTreeWidgetItem *node) const
{
    return node && node != Root();
}

void TFAyudaW::TreeView1Edited(QTreeWidgetItem *node, const QString &text)
{
    TRecordRef *ref = RecordRef(node);
    TTable *table = HelpTable();
    if (!ref || !table)
        return;
    RunAtEdge(Dialogs(), [&] {
        try {
            ref->GotoRecord();
            table->Edit();
            table->FieldByName(QStringLiteral("Titulo"))->SetAsString(text);
            table->Post();
        } catch (...) {
            if (table->State() == TDataSetState::Edit)
                table->Cancel();
            throw;
        }
        static_cast<TTopicNode *>(node)->Data = std::make_unique<TRecordRef>(table);
        node->setText(0, table->FieldByName(QStringLiteral("Titulo"))->AsString());
    });
}

// ------------------------------------------------------------ commands

void TFAyudaW::Nuevo1Click()
{
    QTreeWidgetItem *parent = TreeView1->currentItem();
    TTable *table = HelpTable();
    if (!parent || !table || !table->Active())
        return;
    ++NewTopicCounter;
    const QString title = LoadStr(txt::NewTopic) + QString::number(NewTopicCounter);
    const bool underRoot = parent == Root();
    TTopicNode *node = nullptr;
    try {
        node = AddNode(parent, title, ImgNew, nullptr);
        TreeView1->setCurrentItem(node);
        table->Append();
        table->FieldByName(QStringLiteral("Titulo"))->SetAsString(title);
        if (underRoot) {
            table->FieldByName(QStringLiteral("Level"))->SetAsString(QStringLiteral("1"));
        } else {
            TRecordRef *parentRef = RecordRef(parent);
            if (!parentRef)
                throw EDatabaseError(QStringLiteral("The parent topic has no record."));
            table->FieldByName(QStringLiteral("parent"))->SetAsInteger(parentRef->Map);
        }
        table->Post();
        SetImage(node, ImgNew);
        node->Data = std::make_unique<TRecordRef>(table);
        parent->setExpanded(true);
        TreeView1->scrollToItem(node);
        TreeView1->editItem(node);
        if (!underRoot)
            SetImage(parent, ImgCollapsed);
    } catch (...) {
        // Not reported; the appended record does not stay pending.
        if (table->State() == TDataSetState::Insert)
            table->Cancel();
        delete node;
    }
}

void TFAyudaW::Editar1Click()
{
    QTreeWidgetItem *node = TreeView1->currentItem();
    TTable *table = HelpTable();
    if (!node || !table || !table->Active())
        return;
    RunAtEdge(Dialogs(), [&] {
        if (node == Root()) {
            const QString contents = LoadStr(txt::ContentsTopic);
            if (!table->Locate(QStringLiteral("Titulo"), contents)) {
                table->Append();
                table->FieldByName(QStringLiteral("Titulo"))->SetAsString(contents);
                table->FieldByName(QStringLiteral("Map"))->SetAsInteger(0);
                try {
                    table->Post();
                } catch (...) {
                    table->Cancel();
                    throw;
                }
            }
            TFEditData dialog(this, &FServices.Data->DataSource2, Dialogs());
            dialog.exec();
            return;
        }
        TRecordRef *ref = RecordRef(node);
        if (!ref)
            return;
        ref->GotoRecord();
        {
            TFEditData dialog(this, &FServices.Data->DataSource2, Dialogs());
            dialog.exec();
        }
        static_cast<TTopicNode *>(node)->Data = std::make_unique<TRecordRef>(table);
        node->setText(0, table->FieldByName(QStringLiteral("Titulo"))->AsString());
    });
}

bool TFAyudaW::HasSubtopics(int map)
{
    TTable *table = HelpTable();
    TFilterScope children(*table, QStringLiteral("parent=") + QString::number(map));
    return table->RecordCount() > 0;
}

void TFAyudaW::Borrar1Click()
{
    QTreeWidgetItem *node = TreeView1->currentItem();
    TTable *table = HelpTable();
    TRecordRef *ref = RecordRef(node);
    if (!node || node == Root() || node->childCount() > 0 || !ref || !table || !table->Active())
        return;
    RunAtEdge(Dialogs(), [&] {
        // Its subtopics would stay in the table under a parent that no
        // longer exists, never shown again.
        if (HasSubtopics(ref->Map)) {
            Dialogs().ShowMessage(LoadStr(txt::TopicHasSubtopics).arg(node->text(0)));
            return;
        }
        if (!Dialogs().AskYesNo(LoadStr(txt::AskDeleteItem)))
            return;
        ref->GotoRecord();
        table->Delete();
        delete node;
    });
}

void TFAyudaW::btnWordClick()
{
    RunAtEdge(Dialogs(), [&] { HelpWordClick(this, FServices, ProjectFileName); });
}

void TFAyudaW::btnHcwClick()
{
    RunAtEdge(Dialogs(), [&] { HelpHcwClick(FServices, ProjectFileName); });
}

void TFAyudaW::btnHelpClick()
{
    RunAtEdge(Dialogs(), [&] { HelpShowClick(this, FServices, ProjectFileName); });
}

// SC_CONTEXTHELP: the next click on a control asks for its help.
void TFAyudaW::btnShowHelpClick()
{
    QWhatsThis::enterWhatsThisMode();
}

void TFAyudaW::Image1Click()
{
    ShowAbout(Dialogs());
}

void TFAyudaW::ContextHelp(unsigned command, quint32 context)
{
    // The add-in's help lies beside the registered library.
    RunAtEdge(Dialogs(), [&] { WinHelp(FServices.DataFile(HelpFile), command, context, FServices.FindTool); });
}

void TFAyudaW::WMHelp(QWidget *control)
{
    for (QWidget *w = control; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        const quint32 context = w->property(HelpContextProperty).toUInt();
        if (context != 0) {
            ContextHelp(HELP_CONTEXTPOPUP, context);
            return;
        }
    }
}

// ------------------------------------------------------------ keys

bool TFAyudaW::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::WhatsThis && watched->isWidgetType()) {
        WMHelp(static_cast<QWidget *>(watched));
        event->accept();
        return true;
    }
    if (event->type() == QEvent::QueryWhatsThis) {
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFAyudaW::keyPressEvent(QKeyEvent *event)
{
    if (!FormKeyDown(event))
        QWidget::keyPressEvent(event);
}

bool TFAyudaW::FormKeyDown(QKeyEvent *event)
{
    const int key = event->key();
    // The window's keys during a rename are the rename box's: Enter only
    // ends the rename, and Insert or F1 that the box leaves go no further.
    // Other keys keep Qt's way (an arrow ends the rename and moves on).
    if (Renaming())
        return key == Qt::Key_Escape || key == Qt::Key_Insert || key == Qt::Key_Delete
            || key == Qt::Key_F1 || IsEnter(event);
    if (key == Qt::Key_Escape) {
        close();
        return true;
    }
    if (key == Qt::Key_Insert) {
        Nuevo1Click();
        return true;
    }
    if (key == Qt::Key_Delete) {
        Borrar1Click();
        return true;
    }
    if (IsEnter(event) && !PickMode) {
        Editar1Click();
        return true;
    }
    if (key == Qt::Key_F1) {
        ContextHelp(HELP_CONTEXT, WindowHelpContext);
        return true;
    }
    if (IsEnter(event) && PickMode) {
        QTreeWidgetItem *node = TreeView1->currentItem();
        if (node && node != Root()) {
            FModalResult = 1;
            close();
        }
        return true;
    }
    return false;
}

// ------------------------------------------------------------ the picker

qint64 TFAyudaW::PickTopicMessage(const WindowMessages::TMessage &message)
{
    if (message.Message != WM_PICKTOPIC)
        return 0;
    // One choice at a time: a request meanwhile is told so, and its block
    // is not written.
    if (PickMode)
        return PickBusy;
    TTable *table = HelpTable();
    if (!table || !table->Active()) {
        Dialogs().ShowMessage(LoadStr(txt::HelpNotActive));
        return 0;
    }
    RunAtEdge(Dialogs(), [&] {
        const QString caption = windowTitle();
        setWindowTitle(LoadStr(txt::SelectTopic));
        PickMode = true;
        StatusBar1->showMessage(LoadStr(txt::ReturnInsertsTopic));
        hide();
        auto restore = qScopeGuard([&] {
            StatusBar1->clearMessage();
            PickMode = false;
            setWindowTitle(caption);
        });
        TSHmemcom channel;
        if (ShowModal() == 1) {
            TRecordRef *ref = RecordRef(TreeView1->currentItem());
            if (!ref)
                throw EDatabaseError(QStringLiteral("The chosen topic has no record."));
            ref->GotoRecord();
            channel.Write(QString::number(table->FieldByName(QStringLiteral("Map"))->AsInteger()));
        } else {
            channel.Write(QStringLiteral("$$"));
        }
        channel.Close();
    });
    return 0;
}
