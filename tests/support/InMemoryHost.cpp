#include "InMemoryHost.h"

#include <QFile>

#include <algorithm>

QString ToCrLf(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            out += QLatin1String("\r\n");
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

// ------------------------------------------------------------------ menus

FakeMenuItem::FakeMenuItem(InMemoryHost *host, FakeMenuItem *parent, QString name, QString caption)
    : Tracked(host, std::move(name)), FParent(parent), FName(FTag), FCaption(std::move(caption))
{
}

FakeMenuItem::~FakeMenuItem()
{
    for (FakeMenuItem *child : FChildren)
        child->TInterface::Release();
}

int32_t FakeMenuItem::GetIndex()
{
    return indexInParent();
}

int FakeMenuItem::indexInParent() const
{
    if (!FParent)
        return -1;
    const auto &siblings = FParent->FChildren;
    return int(std::find(siblings.begin(), siblings.end(), this) - siblings.begin());
}

int32_t FakeMenuItem::GetItemCount()
{
    return int32_t(FChildren.size());
}

TIMenuItemIntf *FakeMenuItem::GetItem(int32_t index)
{
    if (index < 0 || index >= int32_t(FChildren.size()))
        return nullptr;
    FChildren[index]->AddRef();
    return FChildren[index];
}

TIMenuItemIntf *FakeMenuItem::GetParent()
{
    if (!FParent)
        return nullptr;
    FParent->AddRef();
    return FParent;
}

TIMenuItemIntf *FakeMenuItem::InsertItem(int32_t index, const QString &caption, const QString &name,
                                         const QString &, TShortCut shortCut, int32_t, int32_t,
                                         TIMenuFlags flags, TIMenuClickEvent onClick)
{
    auto *item = new FakeMenuItem(FHost, this, name, caption);
    item->FShortCut = shortCut;
    item->FFlags = flags;
    item->FOnClick = std::move(onClick);
    index = std::clamp<int32_t>(index, 0, int32_t(FChildren.size()));
    FChildren.insert(FChildren.begin() + index, item);
    FHost->events << QStringLiteral("InsertItem ") + name;
    item->AddRef();
    return item;
}

FakeMenuItem *FakeMenuItem::add(const QString &name, const QString &caption)
{
    auto *item = new FakeMenuItem(FHost, this, name, caption.isEmpty() ? name : caption);
    FChildren.push_back(item);
    return item;
}

FakeMenuItem *FakeMenuItem::find(const QString &name)
{
    if (FName == name)
        return this;
    for (FakeMenuItem *child : FChildren)
        if (FakeMenuItem *hit = child->find(name))
            return hit;
    return nullptr;
}

void FakeMenuItem::remove(FakeMenuItem *child)
{
    auto it = std::find(FChildren.begin(), FChildren.end(), child);
    if (it == FChildren.end())
        return;
    FChildren.erase(it);
    child->FParent = nullptr;
    child->TInterface::Release();
}

void FakeMenuItem::click()
{
    if (!FOnClick)
        return;
    try {
        FOnClick(this);
    } catch (const EHostAbort &) {
        // Shown when it was raised.
    }
}

FakeMainMenu::FakeMainMenu(InMemoryHost *host, FakeMenuItem *bar)
    : Tracked(host, QStringLiteral("MainMenu")), FBar(bar)
{
}

TIMenuItemIntf *FakeMainMenu::GetMenuItems()
{
    FBar->AddRef();
    return FBar;
}

TIMenuItemIntf *FakeMainMenu::FindMenuItem(const QString &name)
{
    FakeMenuItem *hit = FBar->find(name);
    if (hit)
        hit->AddRef();
    return hit;
}

// ------------------------------------------------------- editor objects

class FakeReader final : public Tracked<TIEditReader> {
public:
    FakeReader(InMemoryHost *host, FakeBuffer *buffer)
        : Tracked(host, QStringLiteral("reader:") + buffer->fileName), FBuffer(buffer)
    {
    }
    int32_t GetText(int32_t position, QChar *out, int32_t count) override
    {
        ++FHost->readerCalls;
        const QString &text = FBuffer->text;
        if (position < 0 || position >= text.size() || count <= 0)
            return 0;
        const int32_t n = std::min<int32_t>(count, int32_t(text.size()) - position);
        std::copy_n(text.constData() + position, n, out);
        return n;
    }

private:
    FakeBuffer *FBuffer;
};

class FakeWriter final : public Tracked<TIEditWriter> {
public:
    FakeWriter(InMemoryHost *host, FakeBuffer *buffer)
        : Tracked(host, QStringLiteral("writer:") + buffer->fileName), FBuffer(buffer)
    {
    }
    ~FakeWriter() override
    {
        FResult += FBuffer->text.mid(FPosition);
        if (FResult != FBuffer->text) {
            FBuffer->text = FResult;
            FBuffer->modified = true;
        }
    }
    bool CopyTo(int32_t position) override
    {
        if (position < FPosition || position > FBuffer->text.size())
            return false;
        FResult += FBuffer->text.mid(FPosition, position - FPosition);
        FPosition = position;
        return true;
    }
    bool DeleteTo(int32_t position) override
    {
        if (position < FPosition || position > FBuffer->text.size())
            return false;
        FPosition = position;
        return true;
    }
    bool Insert(const QString &text) override
    {
        FResult += text;
        return true;
    }
    int32_t Position() override { return FPosition; }

private:
    FakeBuffer *FBuffer;
    QString FResult;
    int32_t FPosition = 0;
};

class FakeView final : public Tracked<TIEditView> {
public:
    FakeView(InMemoryHost *host, FakeBuffer *buffer)
        : Tracked(host, QStringLiteral("view:") + buffer->fileName), FBuffer(buffer)
    {
    }
    TEditPos GetPos(int32_t index) override
    {
        if (index == epTopLine)
            return FBuffer->top;
        if ((index == epBlockBegin || index == epBlockEnd) && FBuffer->hasBlock)
            return index == epBlockBegin ? FBuffer->blockBegin : FBuffer->blockEnd;
        return FBuffer->cursor;
    }
    void SetPos(int32_t index, TEditPos value) override
    {
        if (index == epTopLine)
            FBuffer->top = value;
        else if (index == epCursor)
            FBuffer->cursor = value;
    }

private:
    FakeBuffer *FBuffer;
};

class FakeEditor final : public Tracked<TIEditorInterface> {
public:
    FakeEditor(InMemoryHost *host, FakeBuffer *buffer)
        : Tracked(host, QStringLiteral("editor:") + buffer->fileName), FBuffer(buffer)
    {
    }
    QString FileName() override { return FBuffer->fileName; }
    int32_t GetViewCount() override { return 1; }
    TIEditView *GetView(int32_t index) override
    {
        return index == 0 ? take(new FakeView(FHost, FBuffer)) : nullptr;
    }
    bool BufferModified() override { return FBuffer->modified; }
    TIEditReader *CreateReader() override { return take(new FakeReader(FHost, FBuffer)); }
    TIEditWriter *CreateWriter() override { return take(new FakeWriter(FHost, FBuffer)); }

    template <typename T>
    T *take(T *fresh)
    {
        FHost->recordTake(fresh->tag());
        return fresh;
    }

private:
    FakeBuffer *FBuffer;
};

class FakeModule final : public Tracked<TIModuleInterface> {
public:
    FakeModule(InMemoryHost *host, FakeBuffer *buffer)
        : Tracked(host, QStringLiteral("module:") + buffer->fileName), FBuffer(buffer)
    {
    }
    TIEditorInterface *GetEditorInterface() override
    {
        auto *editor = new FakeEditor(FHost, FBuffer);
        FHost->recordTake(editor->tag());
        return editor;
    }
    bool ShowSource() override
    {
        ++FBuffer->showSource;
        FHost->FCurrentFile = FBuffer->fileName;
        return true;
    }
    bool Save(bool) override
    {
        {
            QFile file(FBuffer->fileName);
            if (file.open(QIODevice::WriteOnly))
                file.write(FBuffer->text.toUtf8());
        } // written in full before anyone hears of it
        ++FBuffer->saves;
        FBuffer->modified = false;
        FHost->notify(fnFileSaved, FBuffer->fileName);
        return true;
    }

private:
    FakeBuffer *FBuffer;
};

// ------------------------------------------------------------------- host

InMemoryHost::InMemoryHost()
    : Tracked(this, QStringLiteral("ToolServices")),
      FBar(new FakeMenuItem(this, nullptr, QStringLiteral("MainMenu1"), QString()))
{
    // The IDE's menus, in the IDE's order, with the anchors the add-in uses.
    const QList<std::pair<QString, QStringList>> menus = {
        {QStringLiteral("FileMenu"),
         {QStringLiteral("FileNewItem"), QStringLiteral("FileNewApplicationItem"),
          QStringLiteral("FileNewFormItem"), QStringLiteral("FileNewDataModuleItem"),
          QStringLiteral("FileopenItem"), QStringLiteral("FileReopenItem"),
          QStringLiteral("FileSaveItem"), QStringLiteral("FileSaveAsItem"),
          QStringLiteral("FileSaveAllItem"), QStringLiteral("FileCloseItem"),
          QStringLiteral("FileCloseAllItem"), QStringLiteral("FileExitItem")}},
        {QStringLiteral("EditMenu"),
         {QStringLiteral("EditUndoItem"), QStringLiteral("EditRedoItem"),
          QStringLiteral("EditCutItem"), QStringLiteral("EditCopyItem"),
          QStringLiteral("EditPasteItem"), QStringLiteral("EditDeleteItem"),
          QStringLiteral("EditSelectAllItem")}},
        {QStringLiteral("SearchMenu"),
         {QStringLiteral("SearchFindItem"), QStringLiteral("SearchReplaceItem")}},
        {QStringLiteral("ViewMenu"),
         {QStringLiteral("ViewProjectManagerItem"), QStringLiteral("ViewObjectInspectorItem"),
          QStringLiteral("ViewWindowListItem"), QStringLiteral("ViewUnitsItem")}},
        {QStringLiteral("ProjectMenu"),
         {QStringLiteral("ProjectAddItem"), QStringLiteral("ProjectRemoveItem"),
          QStringLiteral("ProjectCompileItem"), QStringLiteral("ProjectBuildItem"),
          QStringLiteral("ProjectSyntaxItem"), QStringLiteral("ProjectOptionsItem")}},
        {QStringLiteral("RunMenu"), {QStringLiteral("RunRunItem")}},
        {QStringLiteral("HelpMenu"), {QStringLiteral("HelpAboutItem")}},
    };
    for (const auto &[menu, items] : menus) {
        FakeMenuItem *m = FBar->add(menu);
        for (const QString &name : items)
            m->add(name);
    }
}

InMemoryHost::~InMemoryHost()
{
    for (TIAddInNotifier *n : FWatched)
        n->Release();
    FBar->TInterface::Release();
}

QWidget *InMemoryHost::GetParentHandle()
{
    if (!FMainWindow)
        FMainWindow = std::make_unique<QWidget>();
    return FMainWindow.get();
}

bool InMemoryHost::IsFileOpen(const QString &fileName)
{
    return FBuffers.count(fileName) != 0;
}

bool InMemoryHost::OpenFile(const QString &fileName)
{
    if (IsFileOpen(fileName)) {
        FCurrentFile = fileName;
        return true;
    }
    if (!FOpenFileSucceeds || !QFile::exists(fileName))
        return false;
    openFromDisk(fileName);
    return true;
}

bool InMemoryHost::OpenProject(const QString &projName)
{
    events << QStringLiteral("OpenProject ") + projName;
    if (!FProjectName.isEmpty())
        notify(fnProjectClosing, FProjectName);
    FProjectName = projName;
    return true;
}

TIModuleInterface *InMemoryHost::GetModuleInterface(const QString &fileName)
{
    auto it = FBuffers.find(fileName);
    if (it == FBuffers.end())
        return nullptr;
    auto *module = new FakeModule(this, it->second.get());
    recordTake(module->tag());
    return module;
}

TIMainMenuIntf *InMemoryHost::GetMainMenu()
{
    if (!FMainMenuAvailable)
        return nullptr;
    auto *menu = new FakeMainMenu(this, FBar);
    recordTake(menu->tag());
    return menu;
}

bool InMemoryHost::AddNotifier(TIAddInNotifier *notifier)
{
    events << QStringLiteral("AddNotifier");
    FNotifiers.push_back(notifier);
    // Watched until the host goes, so a test can see whether the add-in
    // dropped its own reference.
    notifier->AddRef();
    FWatched.push_back(notifier);
    return true;
}

bool InMemoryHost::RemoveNotifier(TIAddInNotifier *notifier)
{
    events << QStringLiteral("RemoveNotifier");
    auto it = std::find(FNotifiers.begin(), FNotifiers.end(), notifier);
    if (it == FNotifiers.end())
        return false;
    FNotifiers.erase(it);
    return true;
}

void InMemoryHost::RaiseException(const QString &message)
{
    raised << message;
    shown << message;
    throw EHostAbort(message);
}

void InMemoryHost::removeItem(const QString &name)
{
    if (FakeMenuItem *victim = FBar->find(name); victim && victim->parentItem())
        victim->parentItem()->remove(victim);
}

void InMemoryHost::click(const QString &name)
{
    if (FakeMenuItem *it = FBar->find(name))
        it->click();
}

void InMemoryHost::setProject(const QString &projectName, const QStringList &units)
{
    FProjectName = projectName;
    FUnits = units;
}

void InMemoryHost::ensureEditWindow()
{
    if (!FEditWindow)
        FEditWindow = std::make_unique<FakeEditWindow>();
}

FakeBuffer &InMemoryHost::openBuffer(const QString &fileName, const QString &text)
{
    ensureEditWindow();
    auto &slot = FBuffers[fileName];
    if (!slot)
        slot = std::make_unique<FakeBuffer>();
    slot->fileName = fileName;
    slot->text = ToCrLf(text);
    FCurrentFile = fileName;
    return *slot;
}

FakeBuffer &InMemoryHost::openFromDisk(const QString &fileName)
{
    QFile file(fileName);
    QString text;
    if (file.open(QIODevice::ReadOnly))
        text = QString::fromUtf8(file.readAll());
    return openBuffer(fileName, text);
}

FakeBuffer *InMemoryHost::buffer(const QString &fileName)
{
    auto it = FBuffers.find(fileName);
    return it == FBuffers.end() ? nullptr : it->second.get();
}

void InMemoryHost::closeAll()
{
    FBuffers.clear();
    FCurrentFile.clear();
    FEditWindow.reset();
}

void InMemoryHost::notify(TFileNotification code, const QString &fileName)
{
    bool cancel = false;
    const auto notifiers = FNotifiers;
    for (TIAddInNotifier *n : notifiers)
        n->FileNotification(code, fileName, cancel);
}

int InMemoryHost::outstandingReferences() const
{
    int total = 0;
    for (const RefLedger &l : FLedger)
        total += l.outstanding();
    return total;
}

QStringList InMemoryHost::leakedTags() const
{
    QStringList out;
    for (auto it = FLedger.begin(); it != FLedger.end(); ++it)
        if (it->outstanding() != 0)
            out << QStringLiteral("%1 (%2)").arg(it.key()).arg(it->outstanding());
    return out;
}

int InMemoryHost::addinReferencesLeft() const
{
    int left = 0;
    for (TIAddInNotifier *n : FWatched) {
        // AddRef tells the count; the host's own watch is one of them.
        left += n->AddRef() - 2;
        n->Release();
    }
    return left;
}
