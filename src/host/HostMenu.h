// The main menu as the add-in sees it: the menu bar is the root item, its
// children are the menus, a menu's children are its actions (separators
// included), and an item's index is its position among its parent's actions.
#pragma once

#include "ToolsApi.h"

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QMenuBar;

namespace qide {

class TIde;

class TMenuModel : public QObject {
    Q_OBJECT
public:
    TMenuModel(QMenuBar *bar, TIde *ide);

    QMenuBar *bar() const { return FBar; }

    // A new host item for the bar or an action; the caller owns its reference.
    TIMenuItemIntf *wrap(QObject *target);
    TIMainMenuIntf *mainMenu();

    // The bar (by its own name) or an action (a menu's action answers to the
    // menu's name); nullptr when no item has that name.
    QObject *find(const QString &name) const;
    QAction *findAction(const QString &name) const;
    // The bar, or the action of the menu that holds the action.
    QObject *parentOf(QAction *action) const;
    QList<QAction *> childrenOf(QObject *target) const;
    int indexOf(QAction *action) const;

    QAction *insertItem(QObject *parent, int index, const QString &caption, const QString &name,
                        const QString &hint, TShortCut shortCut, int context,
                        TIMenuFlags flags, TIMenuClickEvent onClick);
    // Takes out every item that came through InsertItem; their click handlers
    // belong to add-in code and must go before the add-in is unloaded.
    void removeInsertedItems();
    int insertedCount() const;

    // Gives every separator an item name ("N1", "N2", ...) and every menu's
    // action its menu's name; run after building the menus. Items inserted
    // later get an application-wide shortcut, so that an add-in's command
    // also answers from the add-in's own windows.
    void prepare();

private:
    QObject *findIn(const QList<QAction *> &actions, const QString &name) const;
    QObject *parentIn(QObject *container, const QList<QAction *> &actions, QAction *action) const;
    void dispatch(QAction *action);

    QMenuBar *FBar;
    TIde *FIde;
    int FSeparators = 0;
};

// Flags of an action as the host interface reports them.
TIMenuFlags FlagsOf(const QAction *action);

} // namespace qide
