// Project groups window: a tree of named groups of project files, kept in
// proj.dat, from which a project is opened in the IDE.
#pragma once

#include "GroupBuild.h"
#include "ProjectGroups.h"
#include "ToolsApi.h"
#include "core/AddinServices.h"

#include <QDialog>
#include <QIcon>
#include <QList>

#include <memory>

class QAction;
class QLabel;
class QProgressBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class TLogoImage;

class TFProyexp : public QDialog {
    Q_OBJECT
public:
    // Item data: the project path of a project node, and the image index
    // (0 group, 1 project) the node's icon was taken from.
    static constexpr int PathRole = Qt::UserRole;
    static constexpr int ImageIndexRole = Qt::UserRole + 1;
    // A project whose file is gone: shown greyed, kept in the file.
    static constexpr int MissingRole = Qt::UserRole + 2;
    // Place of a project in the running or last build; its compiler output.
    static constexpr int BuildIndexRole = Qt::UserRole + 3;
    static constexpr int OutputRole = Qt::UserRole + 4;
    // The column that shows a project's build result.
    static constexpr int ResultColumn = 1;

    // The tree's two images, index 0 for a group and 1 for a project.
    class TImageList : public QObject {
    public:
        using QObject::QObject;
        QList<QIcon> Images;
        QIcon Image(int index) const { return Images.value(index); }
    };

    TFProyexp(QWidget *owner, const TAddinServices &services);
    ~TFProyexp() override;

    QWidget *Panel1;
    QToolButton *btnAdd;
    QToolButton *btnNuevoGrupo;
    QTreeWidget *Proyectos;
    TImageList *ImageList1;
    QToolButton *btnEliminar;
    TLogoImage *Image1;
    // Building a group and importing a Lazarus group.
    QToolButton *btnBuild;
    QToolButton *btnImport;
    QWidget *Panel2; // bottom bar, shown from the first build on
    QProgressBar *ProgressBar1;
    QToolButton *btnStop;
    QAction *mnuBuild;
    QAction *mnuOutput;

    QString FDataFile;
    TAddinServices FServices;

    void FormCreate();
    void btnNuevoGrupoClick();
    void FormDestroy();
    void btnEliminarClick();
    void btnAddClick();
    // Esc closes, Enter opens; a handled key is set to 0.
    void FormKeyDown(int &key, Qt::KeyboardModifiers shift);
    void ProyectosDblClick();
    void Image1Click();
    // Builds every project of the selected groups and the selected projects,
    // in tree order, one at a time.
    void btnBuildClick();
    void btnStopClick();
    void btnImportClick();
    // The compiler output of the current project's last build, in a window
    // of its own.
    void ShowOutput();
    bool Building() const { return FBuild && FBuild->Running(); }

    // The selected node, or nullptr.
    QTreeWidgetItem *Selected() const;
    static int Level(const QTreeWidgetItem *item);

    void done(int result) override; // a closing window stops its build

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void SetImage(QTreeWidgetItem *item, int index);
    QTreeWidgetItem *AddItem(QTreeWidgetItem *parent, const TProjectNode &node);
    void AddNodes(QTreeWidgetItem *parent, const TProjectNode &node);
    void StoreNodes(const QTreeWidgetItem *item, TProjectNode &node) const;
    void LabelEdited(QTreeWidgetItem *item);
    void MarkMissing(QTreeWidgetItem *item);
    void ShowResultColumn();
    QTreeWidgetItem *BuildItem(int index) const;
    void BuildChanged(int index);
    void BuildFinished();

    // The file's tree as loaded; rebuilt from the widgets on close. Keeps
    // what a faulty file left unread.
    TProjectGroups FGroups;
    std::unique_ptr<TGroupBuild> FBuild;
};
