// The browser window: building the form, the commands, and taking in what
// the scans post (the tab pages are in BrowserTabs.cpp). Longer than most
// files here because the form is built component by component in code, as
// its design names them.
#include "FbrwFun.h"

#include "core/AddinServices.h"
#include "core/CommandEdge.h"
#include "core/Logo.h"

#include "Dialogs.h"
#include "Exception.h"
#include "Paths.h"
#include "core/StringTable.h"
#include "Windows.h"
#include "core/FormKit.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QHash>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QSet>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

const QString PascalExt = QStringLiteral(".PAS");

bool Inside(const QWidget *w, const QWidget *ancestor)
{
    for (; w; w = w->parentWidget())
        if (w == ancestor)
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------------- window

TFbrwEnt::TFbrwEnt(QWidget *owner, const TAddinServices &services)
    : QWidget(owner, Qt::Window), FServices(services.Ide), FDialogs(services.dialogs())
{
    setObjectName(QStringLiteral("FbrwEnt"));
    setWindowTitle(LoadStr(txt::Entities));
    move(0, 0);
    resize(205, 364);
    setMinimumSize(205, 272);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(25);
    Panel1->setFrameShape(QFrame::StyledPanel);
    auto *bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(1, 1, 1, 1);
    bar->setSpacing(1);
    auto button = [&](const char *name, int hint, QStyle::StandardPixmap icon, const char *glyph) {
        QToolButton *b = NewSpeedButton(Panel1, name, style()->standardIcon(icon), LoadStr(hint),
                                        QString::fromUtf8(glyph));
        b->setFixedSize(23, 23);
        bar->addWidget(b);
        return b;
    };
    btnFijo = button("btnFijo", txt::LookWindow, QStyle::SP_TitleBarShadeButton, "^");
    btnFijo->setCheckable(true);
    btnRefresh = button("btnRefresh", txt::Refresh, QStyle::SP_BrowserReload, "R");
    btnAbrir = button("btnAbrir", txt::AddActualSource, QStyle::SP_FileIcon, "+");
    btnBorra = button("btnBorra", txt::DeleteHint, QStyle::SP_TrashIcon, "-");
    btnTodos = button("btnTodos", txt::LoadAll, QStyle::SP_DirOpenIcon, "*");
    bar->addStretch(1);
    Image1 = new TLogoImage(Panel1);
    Image1->setFixedSize(46, 21);
    connect(Image1, &TLogoImage::clicked, this, &TFbrwEnt::Image1Click);
    bar->addWidget(Image1);

    edFilter = new QLineEdit(this);
    edFilter->setObjectName(QStringLiteral("edFilter"));
    edFilter->setPlaceholderText(LoadStr(txt::FilterHint));
    edFilter->setClearButtonEnabled(true);

    PageControl1 = NewPageControl(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setFocusPolicy(Qt::NoFocus);
    PageControl1->tabBar()->setFocusPolicy(Qt::NoFocus);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedHeight(12);
    ProgressBar1->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(edFilter);
    layout->addWidget(PageControl1, 1);
    layout->addWidget(ProgressBar1);

    PopM = new QMenu(this);
    PopM->setObjectName(QStringLiteral("PopM"));
    auto item = [&](const char *name, int caption) {
        QAction *a = PopM->addAction(LoadStr(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    Refrescar1 = item("Refrescar1", txt::Refresh);
    Aadir1 = item("Aadir1", txt::Add);
    Borrar1 = item("Borrar1", txt::Delete);
    N1 = PopM->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Cerrar1 = item("Cerrar1", txt::Close);

    connect(btnRefresh, &QToolButton::clicked, this, [this] { btnRefreshClick(); });
    connect(Refrescar1, &QAction::triggered, this, [this] { btnRefreshClick(); });
    connect(btnAbrir, &QToolButton::clicked, this, [this] { btnAbrirClick(); });
    connect(Aadir1, &QAction::triggered, this, [this] { btnAbrirClick(); });
    connect(btnBorra, &QToolButton::clicked, this, [this] { btnBorraClick(); });
    connect(Borrar1, &QAction::triggered, this, [this] { btnBorraClick(); });
    connect(btnTodos, &QToolButton::clicked, this, [this] { btnTodosClick(); });
    connect(btnFijo, &QToolButton::clicked, this, [this] { btnFijoClick(); });
    connect(Cerrar1, &QAction::triggered, this, [this] { Cerrar1Click(); });
    connect(edFilter, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        ApplyFilter();
        if (!FChangingTabs)
            PageControl1Change();
    });
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget *old, QWidget *now) { FocusChanged(old, now); });

    // The window sees key presses before its controls.
    InstallKeyPreview(this, {edFilter, PageControl1, PageControl1->tabBar()}, [this](QKeyEvent *event) {
        const int key = event->key();
        if (key != Qt::Key_Insert && key != Qt::Key_Return && key != Qt::Key_Enter
            && key != Qt::Key_Escape)
            return false;
        FormKeyDown(key);
        return true;
    });

    // Scans queue here; a few run at once, however many units a project has.
    FPool = std::make_unique<QThreadPool>();
    FPool->setMaxThreadCount(std::max(2, 2 * QThread::idealThreadCount()));

    // Units changed on disk, by the IDE or anyone else, are scanned again.
    FWatch = new TFileWatch(this);
    connect(FWatch, &TFileWatch::Changed, this, &TFbrwEnt::FileChangedOnDisk);
    FRescanTimer = new QTimer(this);
    FRescanTimer->setSingleShot(true);
    FRescanTimer->setInterval(150);
    connect(FRescanTimer, &QTimer::timeout, this, &TFbrwEnt::RescanChanged);
}

TFbrwEnt::~TFbrwEnt()
{
    // Scans still running or queued drop their results and stop at their next
    // line; waiting for them keeps any worker from outliving the window.
    for (TMiTabSheet *tab : Tabs())
        if (tab->FToken)
            tab->FToken->Cancelled = true;
    FPool->clear();
    FPool->waitForDone();
    // What the workers left in the mailbox goes with it; taking it under its
    // lock orders their last posts before this thread's clean-up.
    FMailbox.Take();
}

int TFbrwEnt::MaxParallelScans() const
{
    return FPool->maxThreadCount();
}

void TFbrwEnt::WaitForScanThreads()
{
    FPool->waitForDone();
}

QString TFbrwEnt::TabCaption(const QString &fileName)
{
    QString caption = ExtractFileName(fileName);
    const qsizetype dot = caption.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        caption.remove(dot, 4);
    return caption;
}

TMiTabSheet *TFbrwEnt::ActiveTab() const
{
    return qobject_cast<TMiTabSheet *>(PageControl1->currentWidget());
}

QList<TMiTabSheet *> TFbrwEnt::Tabs() const
{
    QList<TMiTabSheet *> tabs;
    for (int i = 0; i < PageControl1->count(); ++i)
        if (auto *tab = qobject_cast<TMiTabSheet *>(PageControl1->widget(i)))
            tabs << tab;
    return tabs;
}

// --------------------------------------------------------------- event edges

// The window's boxes at its edges go through Notify, so that a box shown
// while the window activates does not start the activation again.
class TFbrwEnt::TEdgeDialogs final : public TDialogService {
public:
    explicit TEdgeDialogs(TFbrwEnt &window) : FWindow(window) {}
    void ShowMessage(const QString &text) override { FWindow.Notify(text, false); }
    bool AskYesNo(const QString &text) override { return FWindow.FDialogs.AskYesNo(text); }
    void ShowError(const QString &text) override { FWindow.Notify(text, true); }
    QString GetOpenFileName(const QString &title, const QString &filter,
                            const QString &initialDir) override
    {
        return FWindow.FDialogs.GetOpenFileName(title, filter, initialDir);
    }

private:
    TFbrwEnt &FWindow;
};

template <typename F>
void TFbrwEnt::RunEdge(F &&command)
{
    TEdgeDialogs edge(*this);
    RunAtEdge(edge, std::forward<F>(command));
}

void TFbrwEnt::Notify(const QString &text, bool error)
{
    if (FActivating)
        FSkipActivation = true;
    if (error)
        FDialogs.ShowError(text);
    else
        FDialogs.ShowMessage(text);
}

void TFbrwEnt::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

bool TFbrwEnt::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(event);
}

void TFbrwEnt::keyPressEvent(QKeyEvent *event)
{
    FormKeyDown(event->key());
    QWidget::keyPressEvent(event);
}

void TFbrwEnt::FocusChanged(QWidget *old, QWidget *now)
{
    // Focus entering the page control from another control of this window.
    if (now && Inside(now, PageControl1) && old && !Inside(old, PageControl1) && Inside(old, this))
        PageControl1Enter();
}

void TFbrwEnt::FormShow()
{
    RunEdge([this] { AddCurrentSource(); });
}

void TFbrwEnt::FormActivate()
{
    if (FSkipActivation) {
        FSkipActivation = false;
        return;
    }
    FActivating = true;
    RunEdge([this] { Synchronise(); });
    FActivating = false;
}

void TFbrwEnt::FormKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Insert:
        btnAbrirClick();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ListBoxDblClick();
        break;
    case Qt::Key_Escape:
        // A filter first goes, then the window.
        if (!edFilter->text().isEmpty())
            edFilter->clear();
        else
            Cerrar1Click();
        break;
    default:
        break;
    }
}

void TFbrwEnt::btnRefreshClick()
{
    RunEdge([this] { Refresh(); });
}

void TFbrwEnt::btnAbrirClick()
{
    RunEdge([this] { AddCurrentSource(); });
}

void TFbrwEnt::btnBorraClick()
{
    RunEdge([this] { DeleteTab(); });
}

void TFbrwEnt::btnTodosClick()
{
    RunEdge([this] { LoadAll(); });
}

void TFbrwEnt::btnFijoClick()
{
    // The button flips itself between down and up.
    btnFijo->update();
}

void TFbrwEnt::Image1Click()
{
    ShowAbout(FDialogs);
}

void TFbrwEnt::Cerrar1Click()
{
    hide();
}

void TFbrwEnt::PageControl1Change()
{
    RunEdge([this] { Synchronise(); });
}

void TFbrwEnt::PageControl1Enter()
{
    RunEdge([this] { Synchronise(); });
}

void TFbrwEnt::ListBoxDblClick()
{
    RunEdge([this] { Jump(); });
}

// -------------------------------------------------------------------- commands

TMiTabSheet *TFbrwEnt::NewTab()
{
    TMiTabSheet *tab = AddTab(QStringLiteral("Tab 1"));
    SetActiveTab(tab);
    return tab;
}

TMiTabSheet *TFbrwEnt::AddTab(const QString &caption)
{
    auto *tab = new TMiTabSheet(PageControl1);
    tab->SetEvent([this] { ListBoxDblClick(); });
    tab->SetPopup(PopM);
    tab->SetListMade([this](QListWidget *list) { AddToKeyPreview(this, list); });
    const QScopedValueRollback guard(FChangingTabs, true);
    PageControl1->addTab(tab, caption);
    return tab;
}

void TFbrwEnt::SetActiveTab(TMiTabSheet *tab)
{
    const QScopedValueRollback guard(FChangingTabs, true);
    PageControl1->setCurrentWidget(tab);
}

void TFbrwEnt::AddCurrentSource()
{
    if (!FServices)
        return;
    const QString current = FServices->GetCurrentFile();
    if (TMiTabSheet *tab = TabOf(current)) {
        SetActiveTab(tab);
        return;
    }
    if (!FindWindow(QStringLiteral("TEditWindow")))
        return;
    // No tab without a unit: an empty one could never be brought forward,
    // and each activation would report that again.
    if (ExtractFileExt(current).toUpper() != PascalExt) {
        Notify(LoadStr(txt::NeedPasFile), false);
        return;
    }
    ScanCurrentFile(NewTab());
}

TMiTabSheet *TFbrwEnt::TabOf(const QString &fileName) const
{
    for (TMiTabSheet *tab : Tabs())
        if (tab->FFileName == fileName)
            return tab;
    return nullptr;
}

void TFbrwEnt::ScanCurrentFile(TMiTabSheet *tab)
{
    SetRefreshEnabled(false);
    const QString current = FServices->GetCurrentFile();
    if (ExtractFileExt(current).toUpper() != PascalExt) {
        Notify(LoadStr(txt::NeedPasFile), false);
        SetRefreshEnabled(true);
        return;
    }
    tab->SetCaption(TabCaption(current));
    tab->FFileName = current;
    StartScan(tab, current);
}

void TFbrwEnt::StartScan(TMiTabSheet *tab, const QString &fileName)
{
    ProgressBar1->show();
    tab->Clear();
    // Whatever an older scan of this tab still sends is dropped.
    if (tab->FToken)
        tab->FToken->Cancelled = true;
    auto token = std::make_shared<TScanToken>();
    token->Target = tab;
    tab->FToken = token;

    Watch(tab, fileName);
    tab->FStamp = StampOf(fileName);

    TSearchThread *thread = NewEntityScan(FMailbox, token, fileName, tab);
    ++FRunning;
    FPool->start(thread);
}

bool TFbrwEnt::BringForward(TMiTabSheet *tab)
{
    THostRef<TIModuleInterface> module(FServices->GetModuleInterface(tab->FFileName));
    if (tab->FFileName == FServices->GetCurrentFile())
        return false;
    if (FServices->IsFileOpen(tab->FFileName)) {
        if (module)
            module->ShowSource();
        return false;
    }
    if (!FServices->OpenFile(tab->FFileName))
        throw Exception(LoadStr(txt::NeedPasFile));
    return true;
}

void TFbrwEnt::Refresh()
{
    TMiTabSheet *tab = ActiveTab();
    if (!tab || !FServices)
        return;
    BringForward(tab);
    ScanCurrentFile(tab);
}

void TFbrwEnt::Synchronise()
{
    TMiTabSheet *tab = ActiveTab();
    if (!tab || !FServices)
        return;
    const bool opened = BringForward(tab);
    bool saved = false;
    {
        THostRef<TIModuleInterface> module(
            FServices->GetModuleInterface(FServices->GetCurrentFile()));
        if (module) {
            THostRef<TIEditorInterface> editor(module->GetEditorInterface());
            if (editor && editor->BufferModified()) {
                const QScopedValueRollback quiet(FSavingHere, true);
                module->Save(true);
                saved = true;
            }
        }
    }
    // The scanner reads the file on disk: saving keeps the lines in step.
    if (opened || saved)
        Refresh();
}

void TFbrwEnt::LoadAll()
{
    if (!FServices)
        return;
    QSet<QString> listed;
    for (const TMiTabSheet *tab : Tabs())
        listed.insert(tab->FFileName);
    const int32_t count = FServices->GetUnitCount();
    TMiTabSheet *last = nullptr;
    for (int32_t i = 0; i < count; ++i) {
        const QString unit = FServices->GetUnitName(i);
        // One tab per unit: one that has a tab keeps it as it is.
        if (ExtractFileExt(unit).toUpper() != PascalExt || listed.contains(unit))
            continue;
        listed.insert(unit);
        // Only the last one is made active: a page made current is shown,
        // and showing makes its list.
        // Captioned as it is added: each caption change lays out the tab
        // bar again.
        TMiTabSheet *tab = AddTab(TabCaption(unit));
        tab->FFileName = unit;
        StartScan(tab, unit);
        last = tab;
    }
    if (last)
        SetActiveTab(last);
}

void TFbrwEnt::DeleteTab()
{
    TMiTabSheet *tab = ActiveTab();
    if (!tab)
        return;
    const QScopedValueRollback guard(FChangingTabs, true);
    Watch(tab, QString());
    delete tab; // cancels its scan
    if (PageControl1->count() > 0)
        PageControl1->setCurrentIndex(PageControl1->count() - 1);
}

void TFbrwEnt::Jump()
{
    TMiTabSheet *tab = ActiveTab();
    if (!tab)
        return;
    QListWidgetItem *chosen = nullptr;
    const QList<QListWidgetItem *> selected = tab->List()->selectedItems();
    if (!selected.isEmpty() && !selected.first()->isHidden())
        chosen = selected.first();
    else if (!tab->Filter().isEmpty())
        chosen = tab->FirstMatch(); // typed, not picked: the first match
    if (!chosen)
        return;
    const int32_t line = chosen->data(Qt::UserRole).toInt();
    BringForward(tab);
    if (!btnFijo->isChecked())
        hide();
    FSelLine = line - 1;
    emit EntityChosen(FSelLine);
}

void TFbrwEnt::SetRefreshEnabled(bool enabled)
{
    btnRefresh->setEnabled(enabled);
    Refrescar1->setEnabled(enabled);
}

void TFbrwEnt::ApplyFilter()
{
    TMiTabSheet *tab = ActiveTab();
    if (!tab)
        return;
    const QString filter = edFilter->text();
    tab->SetFilter(filter);
    if (filter.isEmpty())
        return;
    // What Enter would open is the line shown selected.
    QListWidget *list = tab->List();
    QListWidgetItem *current = list->currentItem();
    if (!current || current->isHidden() || !current->isSelected()) {
        if (QListWidgetItem *first = tab->FirstMatch())
            list->setCurrentItem(first);
        else
            list->clearSelection();
    }
}

QList<TMiTabSheet *> TFbrwEnt::TabsOf(const QString &fileName) const
{
    QList<TMiTabSheet *> found;
    if (fileName.isEmpty())
        return found;
    const QString wanted = QDir::cleanPath(fileName);
    for (TMiTabSheet *tab : Tabs())
        if (!tab->FFileName.isEmpty() && QDir::cleanPath(tab->FFileName) == wanted)
            found << tab;
    return found;
}

void TFbrwEnt::Watch(TMiTabSheet *tab, const QString &fileName)
{
    if (tab->FWatched == fileName)
        return;
    if (!tab->FWatched.isEmpty())
        FWatch->Unwatch(tab->FWatched);
    tab->FWatched = fileName;
    if (!fileName.isEmpty())
        FWatch->Watch(fileName);
}

void TFbrwEnt::SetRescanDelay(int ms)
{
    FRescanTimer->setInterval(ms);
}

void TFbrwEnt::FileSaved(const QString &fileName)
{
    if (FSavingHere)
        return;
    for (TMiTabSheet *tab : TabsOf(fileName))
        StartScan(tab, tab->FFileName);
}

void TFbrwEnt::FileChangedOnDisk(const QString &fileName)
{
    FChanged.insert(fileName);
    FRescanTimer->start();
}

void TFbrwEnt::RescanChanged()
{
    const QSet<QString> changed = std::exchange(FChanged, {});
    for (const QString &file : changed) {
        const TFileStamp now = StampOf(file);
        for (TMiTabSheet *tab : TabsOf(file))
            // Already scanned as it is now (after the IDE's own save, say).
            if (!(now == tab->FStamp))
                StartScan(tab, tab->FFileName);
    }
}

void TFbrwEnt::DrainMailbox()
{
    // Of the progress a take holds only the last value shows: the bar is
    // set once, not for each message (setting it repaints it).
    int32_t progress = -1;
    const auto showProgress = [&] {
        if (progress >= 0)
            ProgressBar1->setValue(std::exchange(progress, -1));
    };
    for (TScanMailbox::TMessage &m : FMailbox.Take()) {
        // Results of a scan superseded or deleted since they were posted go.
        const bool live = !m.Token->Cancelled.load();
        switch (m.Kind) {
        case TScanMailbox::TMessage::Entities:
            if (live)
                static_cast<TMiTabSheet *>(m.Token->Target)->AddEntities(std::move(m.Found));
            break;
        case TScanMailbox::TMessage::Progress:
            if (live)
                progress = m.Value;
            break;
        case TScanMailbox::TMessage::Ended:
            showProgress();
            ScanEnded();
            if (live && !m.Failure.isEmpty())
                Notify(m.Failure, true);
            break;
        }
    }
    showProgress();
}

void TFbrwEnt::ScanEnded()
{
    if (FRunning > 0)
        --FRunning;
    // The bar stays while queued scans remain.
    if (FRunning == 0)
        ProgressBar1->hide();
    SetRefreshEnabled(true);
}
