// Help project editor window: the help topics of the project as a tree,
// their editing, and the topic picker other programs reach by the message
// WM_USER+100 sent to the window of class TFAyudaW.
#pragma once

#include "core/AddinServices.h"

#include "TableStore.h"
#include "WindowMessages.h"

#include <QIcon>
#include <QTreeWidget>
#include <QWidget>

#include <memory>
#include <vector>

class QAction;
class QEventLoop;
class QMenu;
class QStatusBar;
class QToolButton;
class TLogoImage;

// Ties a tree node to its record in the help table.
class TRecordRef {
public:
    // On the table's current record.
    explicit TRecordRef(TTable *table);
    // Makes the bookmarked record the current one.
    void GotoRecord();

    TBookmark Bookmark;
    int Map = 0;
    TTable *Table;
};

// A tree node; it owns its record reference, which goes with the node,
// also when the whole tree is cleared.
class TTopicNode : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    ~TTopicNode() override;
    // Siblings in title order without regard to case, as the platform's
    // tree sorts them.
    bool operator<(const QTreeWidgetItem &other) const override;
    std::unique_ptr<TRecordRef> Data;
};

class TFAyudaW : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("WindowClass", "TFAyudaW")
public:
    static constexpr quint32 WM_PICKTOPIC = 0x400 + 100;
    // The picker's result for a request while a choice is already open; 0
    // for every other request.
    static constexpr qint64 PickBusy = 1;
    // Image indexes of ImageList1.
    enum { ImgCollapsed = 0, ImgExpanded = 1, ImgNew = 2 };

    explicit TFAyudaW(QWidget *owner = nullptr, const TAddinServices &services = {});
    ~TFAyudaW() override;

    QString ProjectFileName;
    bool PickMode = false;
    // A process-wide number, so titles of new topics stay apart between
    // projects too.
    static int NewTopicCounter;

    // Forgets the topics shown, so the next showing loads the newly opened
    // help table afresh.
    void ClearTree();

    QWidget *Panel1 = nullptr;
    QToolButton *btnNuevo, *btnBorrar, *btnEdit, *btnWord, *btnHcw, *btnHelp, *btnShowHelp;
    TLogoImage *Image1 = nullptr;
    QTreeWidget *TreeView1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *Nuevo1, *Insertar1, *Editar1, *Borrar1;
    std::vector<QIcon> ImageList1;

    void Nuevo1Click();
    void Editar1Click();
    void Borrar1Click();
    void TreeView1DblClick();
    void TreeView1Expanding(QTreeWidgetItem *node);
    void TreeView1Collapsing(QTreeWidgetItem *node);
    bool TreeView1Editing(QTreeWidgetItem *node) const;
    void TreeView1Edited(QTreeWidgetItem *node, const QString &text);
    static void TreeView1Deletion(QTreeWidgetItem *node);
    void btnWordClick();
    void btnHcwClick();
    void btnHelpClick();
    void btnShowHelpClick();
    void Image1Click();

    // The node's image index (also its selected image).
    static int ImageIndex(const QTreeWidgetItem *node);
    QTreeWidgetItem *Root() const;
    static TRecordRef *RecordRef(QTreeWidgetItem *node);

    // WM_USER+100, the topic picker; public for senders in this process.
    qint64 PickTopicMessage(const WindowMessages::TMessage &message);
    // WM_HELP for the control under the help request.
    void WMHelp(QWidget *control);
    // Shows the window modally: 1 when it closed with OK, else 0.
    int ShowModal();
    bool Listening() const { return FListener.IsListening(); }
    // Whether a topic's title is open for in-place renaming.
    bool Renaming() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    bool FormKeyDown(QKeyEvent *event);
    void SetImage(QTreeWidgetItem *node, int index);
    TTopicNode *AddNode(QTreeWidgetItem *parent, const QString &text, int image, TTable *table);
    TTable *HelpTable() const;
    TDialogService &Dialogs() const { return FServices.dialogs(); }
    // Whether the help table holds subtopics of map.
    bool HasSubtopics(int map);
    void ContextHelp(unsigned command, quint32 context);

    TAddinServices FServices;
    WindowMessages::TMessageListener FListener;
    QEventLoop *FModalLoop = nullptr;
    int FModalResult = 0;
};
