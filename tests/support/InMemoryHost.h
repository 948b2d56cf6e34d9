// An IDE host in memory: every host operation, on buffers with CR LF line
// ends, a menu tree with named items, notifiers, and a ledger of the
// references it hands out and the releases it receives, per object.
#pragma once

#include "ToolsApi.h"

#include <QHash>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

// Stands in for the IDE's editor window, which the add-in looks for by its
// window class name.
class FakeEditWindow : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("WindowClass", "TEditWindow")
public:
    FakeEditWindow() : QWidget(nullptr, Qt::Window) {}
};

class InMemoryHost;

// References taken from and released back to the host, for one object.
struct RefLedger {
    int taken = 0;
    int released = 0;
    int outstanding() const { return taken - released; }
};

// Mixes reference accounting into a host object type.
template <typename Base>
class Tracked : public Base {
public:
    Tracked(InMemoryHost *host, QString tag) : FHost(host), FTag(std::move(tag)) {}
    int32_t AddRef() override;
    int32_t Release() override;
    const QString &tag() const { return FTag; }

protected:
    InMemoryHost *FHost;
    QString FTag;
};

class FakeMenuItem final : public Tracked<TIMenuItemIntf> {
public:
    FakeMenuItem(InMemoryHost *host, FakeMenuItem *parent, QString name, QString caption);
    ~FakeMenuItem() override;

    int32_t GetIndex() override;
    int32_t GetItemCount() override;
    TIMenuItemIntf *GetItem(int32_t index) override;
    TIMenuItemIntf *GetParent() override;
    QString GetName() override { return FName; }
    QString GetCaption() override { return FCaption; }
    TShortCut GetShortCut() override { return FShortCut; }
    TIMenuFlags GetFlags() override { return FFlags; }
    TIMenuItemIntf *InsertItem(int32_t index, const QString &caption, const QString &name,
                               const QString &hint, TShortCut shortCut, int32_t context,
                               int32_t groupIndex, TIMenuFlags flags,
                               TIMenuClickEvent onClick) override;

    // Test side, no references involved.
    FakeMenuItem *add(const QString &name, const QString &caption = {});
    FakeMenuItem *find(const QString &name);
    FakeMenuItem *parentItem() const { return FParent; }
    int indexInParent() const;
    const std::vector<FakeMenuItem *> &children() const { return FChildren; }
    void remove(FakeMenuItem *child);
    // Runs the click handler as the host's menu dispatch does.
    void click();

private:
    FakeMenuItem *FParent;
    QString FName;
    QString FCaption;
    TShortCut FShortCut = 0;
    TIMenuFlags FFlags = mfEnabled | mfVisible;
    TIMenuClickEvent FOnClick;
    std::vector<FakeMenuItem *> FChildren; // each holds the host's own reference
};

class FakeMainMenu final : public Tracked<TIMainMenuIntf> {
public:
    explicit FakeMainMenu(InMemoryHost *host, FakeMenuItem *bar);
    TIMenuItemIntf *GetMenuItems() override;
    TIMenuItemIntf *FindMenuItem(const QString &name) override;

private:
    FakeMenuItem *FBar;
};

// One open file: its buffer (CR LF), views and on-disk state.
struct FakeBuffer {
    QString fileName;
    QString text;
    bool modified = false;
    TEditPos cursor{1, 1};
    TEditPos top{1, 1};
    // The selected block, when hasBlock; else the view answers the cursor.
    bool hasBlock = false;
    TEditPos blockBegin{1, 1};
    TEditPos blockEnd{1, 1};
    int saves = 0;
    int showSource = 0;
};

class InMemoryHost final : public Tracked<TIToolServices> {
public:
    InMemoryHost();
    ~InMemoryHost() override;

    // --- host operations
    QWidget *GetParentHandle() override;
    QString GetProjectName() override { return FProjectName; }
    QString GetCurrentFile() override { return FCurrentFile; }
    bool IsFileOpen(const QString &fileName) override;
    bool OpenFile(const QString &fileName) override;
    bool OpenProject(const QString &projName) override;
    int32_t GetUnitCount() override { return int32_t(FUnits.size()); }
    QString GetUnitName(int32_t index) override { return FUnits.value(index); }
    TIModuleInterface *GetModuleInterface(const QString &fileName) override;
    TIMainMenuIntf *GetMainMenu() override;
    bool AddNotifier(TIAddInNotifier *notifier) override;
    bool RemoveNotifier(TIAddInNotifier *notifier) override;
    [[noreturn]] void RaiseException(const QString &message) override;

    // --- test side
    FakeMenuItem *menuBar() { return FBar; }
    FakeMenuItem *item(const QString &name) { return FBar->find(name); }
    void removeItem(const QString &name);
    // Clicks an item as a user would; a host abort ends the click.
    void click(const QString &name);
    void setProject(const QString &projectName, const QStringList &units = {});
    // Opens a buffer (with its text turned to CR LF) and makes it current;
    // without text the file is read from disk.
    FakeBuffer &openBuffer(const QString &fileName, const QString &text);
    FakeBuffer &openFromDisk(const QString &fileName);
    FakeBuffer *buffer(const QString &fileName);
    void setCurrentFile(const QString &fileName) { FCurrentFile = fileName; }
    void closeAll();
    void notify(TFileNotification code, const QString &fileName = {});
    void setMainMenuAvailable(bool available) { FMainMenuAvailable = available; }
    // Whether OpenFile succeeds for files not already open.
    void setOpenFileSucceeds(bool succeeds) { FOpenFileSucceeds = succeeds; }

    RefLedger ledger(const QString &tag) const { return FLedger.value(tag); }
    int outstandingReferences() const;
    QStringList leakedTags() const;
    // Host calls and releases in the order they happened ("Release IdeExpt1").
    QStringList events;
    // Messages raised through RaiseException and shown by the host.
    QStringList raised;
    QStringList shown;
    int readerCalls = 0;
    int notifierCount() const { return int(FNotifiers.size()); }
    // References the add-in still holds on the notifiers it ever added:
    // 0 once it has let go of all of them.
    int addinReferencesLeft() const;

    // Used by the tracked objects.
    void recordTake(const QString &tag) { ++FLedger[tag].taken; }
    void recordRelease(const QString &tag)
    {
        ++FLedger[tag].released;
        events << QStringLiteral("Release ") + tag;
    }

    QString projectText;

private:
    friend class FakeModule;
    friend class FakeEditor;
    friend class FakeView;
    void ensureEditWindow();

    FakeMenuItem *FBar;
    std::unique_ptr<QWidget> FMainWindow;
    std::unique_ptr<FakeEditWindow> FEditWindow;
    QString FProjectName;
    QStringList FUnits;
    QString FCurrentFile;
    std::map<QString, std::unique_ptr<FakeBuffer>> FBuffers;
    std::vector<TIAddInNotifier *> FNotifiers;
    std::vector<TIAddInNotifier *> FWatched;
    QHash<QString, RefLedger> FLedger;
    bool FMainMenuAvailable = true;
    bool FOpenFileSucceeds = true;
};

template <typename Base>
int32_t Tracked<Base>::AddRef()
{
    FHost->recordTake(FTag);
    return Base::AddRef();
}

template <typename Base>
int32_t Tracked<Base>::Release()
{
    FHost->recordRelease(FTag);
    return Base::Release();
}

// Text with any line ends turned into CR LF.
QString ToCrLf(const QString &text);
