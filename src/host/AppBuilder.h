// The IDE's main window: the menu bar add-ins extend, a speed bar, and the
// project manager listing the project's units.
#pragma once

#include <QMainWindow>

class QLabel;
class QTreeWidget;
class QMenu;

namespace qide {

class TIde;
class TMenuModel;

class TAppBuilder : public QMainWindow {
    Q_OBJECT
public:
    explicit TAppBuilder(TIde *ide);

    TMenuModel *menus() const { return FMenus; }
    // The IDE's own items with a shortcut; the editor window takes them too.
    QList<QAction *> shortcutActions() const;
    QTreeWidget *projectTree() const { return FProjectTree; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QMenu *addMenu(const QString &name, const QString &title);
    QAction *addItem(QMenu *menu, const QString &name, const QString &caption,
                     const QKeySequence &shortcut, std::function<void()> onClick);
    void addSeparator(QMenu *menu);
    void buildMenus();
    void refreshProject();
    void refreshReopen(QMenu *menu);
    void refreshTitle();

    // Commands of the IDE's own items.
    void fileOpen(bool projectsOnly);
    void fileSaveAs();
    void editFind(bool again);
    void editGotoLine();
    void viewWindowList();
    void projectCompile(bool build);
    void projectInformation();
    void helpAddins();

    TIde *FIde;
    TMenuModel *FMenus = nullptr;
    QTreeWidget *FProjectTree;
    QLabel *FProjectLabel = nullptr;
    QString FLastFind;
};

} // namespace qide
