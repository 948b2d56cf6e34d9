#include "HostMenu.h"

#include "HostObject.h"
#include "Ide.h"
#include "ShortCut.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>

namespace qide {

namespace {

const char *const HandlerName = "qide_onclick";

// The click handler an add-in gave an item it inserted.
class TClickHandler : public QObject {
public:
    TClickHandler(QAction *action, TIMenuClickEvent onClick)
        : QObject(action), FOnClick(std::move(onClick))
    {
        setObjectName(QLatin1String(HandlerName));
    }
    TIMenuClickEvent FOnClick;
};

TClickHandler *HandlerOf(QAction *action)
{
    return action ? action->findChild<TClickHandler *>(QLatin1String(HandlerName),
                                                       Qt::FindDirectChildrenOnly)
                  : nullptr;
}

class THostMenuItem final : public THostObject<TIMenuItemIntf> {
public:
    THostMenuItem(TMenuModel *model, QObject *target) : FModel(model), FTarget(target) {}

    int32_t GetIndex() override
    {
        auto *action = qobject_cast<QAction *>(FTarget.data());
        return action && FModel ? FModel->indexOf(action) : -1;
    }
    int32_t GetItemCount() override
    {
        return FTarget && FModel ? int32_t(FModel->childrenOf(FTarget).size()) : 0;
    }
    TIMenuItemIntf *GetItem(int32_t index) override
    {
        if (!FTarget || !FModel)
            return nullptr;
        const QList<QAction *> children = FModel->childrenOf(FTarget);
        if (index < 0 || index >= children.size())
            return nullptr;
        return FModel->wrap(children.at(index));
    }
    TIMenuItemIntf *GetParent() override
    {
        auto *action = qobject_cast<QAction *>(FTarget.data());
        if (!action || !FModel)
            return nullptr;
        QObject *parent = FModel->parentOf(action);
        return parent ? FModel->wrap(parent) : nullptr;
    }
    QString GetName() override { return FTarget ? FTarget->objectName() : QString(); }
    QString GetCaption() override
    {
        auto *action = qobject_cast<QAction *>(FTarget.data());
        return action ? action->text() : QString();
    }
    TShortCut GetShortCut() override
    {
        auto *action = qobject_cast<QAction *>(FTarget.data());
        return action ? KeySequenceToShortCut(action->shortcut()) : 0;
    }
    TIMenuFlags GetFlags() override
    {
        auto *action = qobject_cast<QAction *>(FTarget.data());
        return action ? FlagsOf(action) : TIMenuFlags(mfEnabled | mfVisible);
    }
    TIMenuItemIntf *InsertItem(int32_t index, const QString &caption, const QString &name,
                               const QString &hint, TShortCut shortCut, int32_t context,
                               int32_t groupIndex, TIMenuFlags flags,
                               TIMenuClickEvent onClick) override
    {
        if (!FTarget || !FModel)
            return nullptr;
        QAction *item = FModel->insertItem(FTarget, index, caption, name, hint, shortCut, context,
                                           flags, std::move(onClick));
        return item ? FModel->wrap(item) : nullptr;
    }

private:
    QPointer<TMenuModel> FModel;
    QPointer<QObject> FTarget;
};

class THostMainMenu final : public THostObject<TIMainMenuIntf> {
public:
    explicit THostMainMenu(TMenuModel *model) : FModel(model) {}
    TIMenuItemIntf *GetMenuItems() override { return FModel ? FModel->wrap(FModel->bar()) : nullptr; }
    TIMenuItemIntf *FindMenuItem(const QString &name) override
    {
        QObject *hit = FModel ? FModel->find(name) : nullptr;
        return hit ? FModel->wrap(hit) : nullptr;
    }

private:
    QPointer<TMenuModel> FModel;
};

} // namespace

TIMenuFlags FlagsOf(const QAction *action)
{
    TIMenuFlags flags = 0;
    if (action->isEnabled())
        flags |= mfEnabled;
    flags |= action->isVisible() ? mfVisible : mfInvisible;
    if (action->isChecked())
        flags |= mfChecked;
    return flags;
}

TMenuModel::TMenuModel(QMenuBar *bar, TIde *ide) : QObject(bar), FBar(bar), FIde(ide) {}

TIMenuItemIntf *TMenuModel::wrap(QObject *target)
{
    return target ? new THostMenuItem(this, target) : nullptr;
}

TIMainMenuIntf *TMenuModel::mainMenu()
{
    return new THostMainMenu(this);
}

QObject *TMenuModel::find(const QString &name) const
{
    if (name.isEmpty())
        return nullptr;
    if (FBar->objectName() == name)
        return FBar;
    return findIn(FBar->actions(), name);
}

QAction *TMenuModel::findAction(const QString &name) const
{
    return qobject_cast<QAction *>(find(name));
}

QObject *TMenuModel::findIn(const QList<QAction *> &actions, const QString &name) const
{
    for (QAction *a : actions) {
        if (a->objectName() == name || (a->menu() && a->menu()->objectName() == name))
            return a;
        if (a->menu())
            if (QObject *hit = findIn(a->menu()->actions(), name))
                return hit;
    }
    return nullptr;
}

QObject *TMenuModel::parentOf(QAction *action) const
{
    return parentIn(FBar, FBar->actions(), action);
}

QObject *TMenuModel::parentIn(QObject *container, const QList<QAction *> &actions,
                              QAction *action) const
{
    if (actions.contains(action))
        return container;
    for (QAction *a : actions)
        if (a->menu())
            if (QObject *hit = parentIn(a, a->menu()->actions(), action))
                return hit;
    return nullptr;
}

QList<QAction *> TMenuModel::childrenOf(QObject *target) const
{
    if (target == FBar)
        return FBar->actions();
    if (auto *action = qobject_cast<QAction *>(target); action && action->menu())
        return action->menu()->actions();
    return {};
}

int TMenuModel::indexOf(QAction *action) const
{
    QObject *parent = parentOf(action);
    return parent ? int(childrenOf(parent).indexOf(action)) : -1;
}

QAction *TMenuModel::insertItem(QObject *parent, int index, const QString &caption,
                                const QString &name, const QString &hint, TShortCut shortCut,
                                int context, TIMenuFlags flags, TIMenuClickEvent onClick)
{
    QWidget *container = nullptr;
    if (parent == FBar) {
        container = FBar;
    } else if (auto *owner = qobject_cast<QAction *>(parent)) {
        if (!owner->menu()) {
            // Children of a plain item turn it into a submenu.
            auto *sub = new QMenu(FBar);
            sub->setObjectName(owner->objectName() + QStringLiteral("Menu"));
            owner->setMenu(sub);
        }
        container = owner->menu();
    }
    if (!container)
        return nullptr;

    const QList<QAction *> siblings = container->actions();
    index = std::clamp(index, 0, int(siblings.size()));
    QAction *before = index < siblings.size() ? siblings.at(index) : nullptr;

    QAction *action = nullptr;
    if (container == FBar) {
        auto *menu = new QMenu(caption, FBar);
        menu->setObjectName(name);
        action = menu->menuAction();
        FBar->insertAction(before, action);
    } else if (caption == QLatin1String("-")) {
        action = new QAction(container);
        action->setSeparator(true);
        container->insertAction(before, action);
    } else {
        action = new QAction(caption, container);
        container->insertAction(before, action);
    }
    action->setObjectName(name);
    action->setStatusTip(hint);
    action->setToolTip(hint);
    action->setProperty("helpContext", context);
    action->setShortcut(ShortCutToKeySequence(shortCut));
    action->setShortcutContext(Qt::ApplicationShortcut);
    action->setEnabled((flags & mfEnabled) != 0);
    action->setVisible((flags & mfInvisible) == 0);
    if (flags & mfChecked) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    new TClickHandler(action, std::move(onClick));
    connect(action, &QAction::triggered, this, [this, action] { dispatch(action); });
    return action;
}

void TMenuModel::dispatch(QAction *action)
{
    TClickHandler *handler = HandlerOf(action);
    if (!handler || !handler->FOnClick)
        return;
    const TIMenuClickEvent onClick = handler->FOnClick; // survives the item's removal
    FIde->runCommand([&] {
        THostRef<TIMenuItemIntf> sender(wrap(action));
        onClick(sender.get());
    });
}

namespace {
void CollectInserted(const QList<QAction *> &actions, QList<QAction *> &out)
{
    for (QAction *a : actions) {
        if (HandlerOf(a))
            out << a;
        else if (a->menu())
            CollectInserted(a->menu()->actions(), out);
    }
}
} // namespace

int TMenuModel::insertedCount() const
{
    QList<QAction *> inserted;
    CollectInserted(FBar->actions(), inserted);
    return int(inserted.size());
}

void TMenuModel::removeInsertedItems()
{
    QList<QAction *> inserted;
    CollectInserted(FBar->actions(), inserted);
    for (QAction *a : inserted) {
        if (QObject *parent = parentOf(a)) {
            if (parent == FBar)
                FBar->removeAction(a);
            else if (auto *owner = qobject_cast<QAction *>(parent); owner && owner->menu())
                owner->menu()->removeAction(a);
        }
        if (QMenu *menu = a->menu(); menu && menu->menuAction() == a)
            delete menu; // a menu inserted into the bar owns its action
        else
            delete a;
    }
}

void TMenuModel::prepare()
{
    std::function<void(const QList<QAction *> &)> walk = [&](const QList<QAction *> &actions) {
        for (QAction *a : actions) {
            if (a->isSeparator() && a->objectName().isEmpty())
                a->setObjectName(QStringLiteral("N%1").arg(++FSeparators));
            if (a->menu()) {
                if (a->objectName().isEmpty())
                    a->setObjectName(a->menu()->objectName());
                walk(a->menu()->actions());
            }
        }
    };
    walk(FBar->actions());
}

} // namespace qide
