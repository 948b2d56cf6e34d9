// The browser's tab pages: the list of a unit's routines, made when the page
// is first looked at, and the page control whose tab bar measures each
// caption once instead of all of them on every new tab.
#include "FbrwFun.h"

#include "EntityFilter.h"

#include <QEvent>
#include <QHash>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

// A list line: the routine's name, ordered alphabetically without regard to
// case.
class TEntityItem : public QListWidgetItem {
public:
    TEntityItem(const QString &name, int32_t line) : QListWidgetItem(name)
    {
        setData(Qt::UserRole, line);
    }
    bool operator<(const QListWidgetItem &other) const override
    {
        return text().compare(other.text(), Qt::CaseInsensitive) < 0;
    }
};

// A tab bar that measures each caption once. QTabBar lays out every tab
// again on each insertion and caption change, and measuring a tab is the
// costly part: a project's worth of tabs would cost the square of their
// number in measurements. A tab's size follows from its caption, the font
// and the style.
class TCaptionSizeTabBar : public QTabBar {
public:
    using QTabBar::QTabBar;

protected:
    QSize tabSizeHint(int index) const override
    {
        // While QTabBar measures a tab's smallest size it puts the shortened
        // caption in place: the caption asked now is the one measured.
        const QString caption = tabText(index);
        if (index < 0 || size_t(index) >= FSlots.size())
            return Measure(index, caption);
        TSlot &slot = FSlots[size_t(index)];
        if (!slot.Size.isValid() || slot.Caption != caption) {
            slot.Caption = caption;
            slot.Size = Measure(index, caption);
        }
        return slot.Size;
    }
    QSize minimumTabSizeHint(int index) const override
    {
        // Nothing is shortened: the smallest size is the size.
        if (elideMode() == Qt::ElideNone)
            return tabSizeHint(index);
        return QTabBar::minimumTabSizeHint(index);
    }
    void tabInserted(int index) override
    {
        FSlots.insert(FSlots.begin() + std::clamp<ptrdiff_t>(index, 0, ptrdiff_t(FSlots.size())), TSlot{});
        QTabBar::tabInserted(index);
    }
    void tabRemoved(int index) override
    {
        if (index >= 0 && size_t(index) < FSlots.size())
            FSlots.erase(FSlots.begin() + index);
        QTabBar::tabRemoved(index);
    }
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
            FSizes.clear();
            FSlots.assign(FSlots.size(), TSlot{});
        }
        QTabBar::changeEvent(event);
    }

private:
    // The tab at each index as last measured; a slot whose caption differs
    // (a tab renamed, or moved) is measured again.
    struct TSlot {
        QString Caption;
        QSize Size;
    };

    QSize Measure(int index, const QString &caption) const
    {
        const auto found = FSizes.constFind(caption);
        if (found != FSizes.cend())
            return *found;
        const QSize size = QTabBar::tabSizeHint(index);
        FSizes.insert(caption, size);
        return size;
    }

    mutable std::vector<TSlot> FSlots;
    mutable QHash<QString, QSize> FSizes;
};

// The page control, with that tab bar, named and drawn as QTabWidget's own.
class TPageControl : public QTabWidget {
public:
    explicit TPageControl(QWidget *parent) : QTabWidget(parent)
    {
        auto *bar = new TCaptionSizeTabBar(this);
        bar->setObjectName(QStringLiteral("qt_tabwidget_tabbar"));
        bar->setDrawBase(false);
        setTabBar(bar);
    }
};

} // namespace

QTabWidget *NewPageControl(QWidget *parent)
{
    return new TPageControl(parent);
}

// ------------------------------------------------------------------- tab sheet

TMiTabSheet::TMiTabSheet(QTabWidget *pageControl) : QWidget(pageControl), FPageControl(pageControl)
{
    setFocusPolicy(Qt::NoFocus);
}

TMiTabSheet::~TMiTabSheet()
{
    if (FToken)
        FToken->Cancelled = true;
}

QListWidget *TMiTabSheet::List()
{
    if (FList)
        return FList;
    auto *list = new QListWidget(this);
    list->setObjectName(QStringLiteral("ListBox"));
    list->setSortingEnabled(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
    palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
    list->setPalette(palette);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->viewport()->installEventFilter(this);
    connect(list, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        if (FPopup)
            FPopup->popup(FList->viewport()->mapToGlobal(at));
    });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list);
    FList = list;
    // Added one by one in the order they came, the routines take the places
    // the sorted list would have given them had it existed all along.
    AddEntities(std::exchange(FPending, {}));
    // Made while the page shows (its first showing): shown with it now,
    // not on a later turn of the event loop.
    if (isVisible())
        list->show();
    if (FOnListMade)
        FOnListMade(list);
    return list;
}

void TMiTabSheet::showEvent(QShowEvent *event)
{
    List();
    QWidget::showEvent(event);
}

bool TMiTabSheet::eventFilter(QObject *watched, QEvent *event)
{
    if (FList && watched == FList->viewport()) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            if (FOnDblClick)
                FOnDblClick();
            return true;
        }
        // A click below the last line leaves the selection as it is.
        if (event->type() == QEvent::MouseButtonPress
            && !FList->itemAt(static_cast<QMouseEvent *>(event)->position().toPoint()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TMiTabSheet::SetEvent(std::function<void()> handler)
{
    FOnDblClick = std::move(handler);
}

void TMiTabSheet::SetPopup(QMenu *menu)
{
    FPopup = menu;
}

void TMiTabSheet::SetListMade(std::function<void(QListWidget *)> handler)
{
    FOnListMade = std::move(handler);
}

void TMiTabSheet::SetCaption(const QString &caption)
{
    const int index = FPageControl->indexOf(this);
    if (index >= 0)
        FPageControl->setTabText(index, caption);
}

QString TMiTabSheet::Caption() const
{
    const int index = FPageControl->indexOf(const_cast<TMiTabSheet *>(this));
    return index >= 0 ? FPageControl->tabText(index) : QString();
}

void TMiTabSheet::AddEntities(std::vector<TEntity> &&entities)
{
    if (!FList && FPending.empty()) {
        FPending = std::move(entities);
        return;
    }
    AddEntities(std::as_const(entities));
}

void TMiTabSheet::AddEntities(const std::vector<TEntity> &entities)
{
    if (!FList) {
        FPending.insert(FPending.end(), entities.begin(), entities.end());
        return;
    }
    for (const TEntity &e : entities) {
        auto *item = new TEntityItem(e.Name, e.Line);
        FList->addItem(item);
        if (!FFilter.isEmpty() && !EntityMatches(e.Name, FFilter))
            item->setHidden(true);
    }
}

void TMiTabSheet::SetFilter(const QString &filter)
{
    if (filter == FFilter)
        return;
    FFilter = filter;
    if (!FList)
        return; // applied as the list is made
    for (int i = 0; i < FList->count(); ++i) {
        QListWidgetItem *item = FList->item(i);
        item->setHidden(!EntityMatches(item->text(), FFilter));
    }
}

QListWidgetItem *TMiTabSheet::FirstMatch()
{
    QListWidget *list = List();
    for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->isHidden())
            return list->item(i);
    return nullptr;
}

void TMiTabSheet::Clear()
{
    FPending.clear();
    if (FList)
        FList->clear();
}

int TMiTabSheet::Count() const
{
    return FList ? FList->count() : int(FPending.size());
}
