// Host interface: the reference-counted objects an IDE hands to an add-in.
// Every object a host returns carries one reference owned by the caller;
// hold it in a THostRef so it is released on every path.
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

class QWidget;

// Base of every host object. Count is 1 after construction; the last Release
// destroys the object. Virtual so a host can observe references.
class TInterface {
public:
    TInterface() = default;
    TInterface(const TInterface &) = delete;
    TInterface &operator=(const TInterface &) = delete;

    virtual int32_t AddRef() { return ++FRefCount; }
    virtual int32_t Release()
    {
        const int32_t left = --FRefCount;
        if (left == 0)
            delete this;
        return left;
    }
    virtual int32_t GetVersion() { return 3; }

protected:
    virtual ~TInterface() = default;

private:
    std::atomic<int32_t> FRefCount{1};
};

// Intrusive smart pointer. Constructing from a raw pointer adopts the
// reference the host handed out; copies add references.
template <typename T>
class THostRef {
public:
    THostRef() = default;
    explicit THostRef(T *adopted) : FPtr(adopted) {}
    THostRef(const THostRef &other) : FPtr(other.FPtr)
    {
        if (FPtr)
            FPtr->AddRef();
    }
    THostRef(THostRef &&other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
    THostRef &operator=(THostRef other) noexcept
    {
        std::swap(FPtr, other.FPtr);
        return *this;
    }
    ~THostRef() { reset(); }

    // Adds a reference to a pointer the caller does not own.
    static THostRef share(T *p)
    {
        if (p)
            p->AddRef();
        return THostRef(p);
    }

    void reset()
    {
        if (T *p = std::exchange(FPtr, nullptr))
            p->Release();
    }
    // Hands the reference over to the caller.
    [[nodiscard]] T *take() { return std::exchange(FPtr, nullptr); }

    T *get() const { return FPtr; }
    T *operator->() const { return FPtr; }
    T &operator*() const { return *FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }

private:
    T *FPtr = nullptr;
};

// Thrown by a host's RaiseException after the host has shown the message.
// Deliberately not a std::exception: the add-in's own error handling never
// shows it again; it only unwinds the command, whose edge drops it.
class EHostAbort {
public:
    explicit EHostAbort(QString message) : FMessage(std::move(message)) {}
    const QString &message() const { return FMessage; }

private:
    QString FMessage;
};

// Shortcut: virtual-key code plus 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt.
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

// Menu item flags, as bits of a set.
enum TIMenuFlag : uint32_t {
    mfInvisible = 1u << 0,
    mfEnabled = 1u << 1,
    mfVisible = 1u << 2,
    mfChecked = 1u << 3,
    mfBreak = 1u << 4,
    mfBarBreak = 1u << 5,
    mfRadioItem = 1u << 6,
};
using TIMenuFlags = uint32_t;

// Cursor or top line of an edit view; both count from 1.
struct TEditPos {
    int16_t Col = 0;
    int32_t Line = 0;
    friend bool operator==(const TEditPos &, const TEditPos &) = default;
};

enum TFileNotification : int32_t {
    fnFileOpening = 0,
    fnFileOpened = 1,
    fnFileClosing = 2,
    fnProjectOpening = 3,
    fnProjectOpened = 4,
    fnProjectClosing = 5,
    fnAddedToProject = 6,
    fnRemovedFromProject = 7,
    fnDefaultDesktopLoad = 8,
    fnDefaultDesktopSave = 9,
    fnProjectDesktopLoad = 10,
    fnProjectDesktopSave = 11,
    // A file was written from its editor (the name is the file's).
    fnFileSaved = 12,
};

enum TExpertStyle : int32_t { esStandard = 0, esForm = 1, esProject = 2, esAddIn = 3 };
enum TExpertStateBit : uint32_t { esEnabled = 1u << 0, esChecked = 1u << 1 };
using TExpertState = uint32_t;

class TIMenuItemIntf;
using TIMenuClickEvent = std::function<void(TIMenuItemIntf *sender)>;

class TIMenuItemIntf : public TInterface {
public:
    virtual int32_t GetIndex() = 0;
    virtual int32_t GetItemCount() = 0;
    virtual TIMenuItemIntf *GetItem(int32_t index) = 0;
    virtual TIMenuItemIntf *GetParent() = 0;
    virtual QString GetName() = 0;
    virtual QString GetCaption() = 0;
    virtual TShortCut GetShortCut() = 0;
    virtual TIMenuFlags GetFlags() = 0;
    virtual TIMenuItemIntf *InsertItem(int32_t index, const QString &caption, const QString &name,
                                       const QString &hint, TShortCut shortCut, int32_t context,
                                       int32_t groupIndex, TIMenuFlags flags,
                                       TIMenuClickEvent onClick) = 0;
};

class TIMainMenuIntf : public TInterface {
public:
    // The menu bar itself, as a menu item whose children are the menus.
    virtual TIMenuItemIntf *GetMenuItems() = 0;
    virtual TIMenuItemIntf *FindMenuItem(const QString &name) = 0;
};

class TIEditReader : public TInterface {
public:
    // Copies up to count characters from position (from 0); line ends are
    // CR LF. Returns the number copied (0 at the end of the buffer).
    virtual int32_t GetText(int32_t position, QChar *buffer, int32_t count) = 0;
};

class TIEditWriter : public TInterface {
public:
    // Copies the original buffer up to position into the result.
    virtual bool CopyTo(int32_t position) = 0;
    // Skips the original buffer up to position.
    virtual bool DeleteTo(int32_t position) = 0;
    virtual bool Insert(const QString &text) = 0;
    virtual int32_t Position() = 0;
    // The rest of the original buffer follows when the writer is released.
};

// Positions of an edit view, by GetPos index.
enum TEditPosIndex : int32_t {
    epCursor = 0,
    epTopLine = 1,
    // The selected block: its first character and the position just after
    // its last; the two are equal when nothing is selected. Read only. A
    // host that knows no block answers the cursor for both: no selection.
    epBlockBegin = 2,
    epBlockEnd = 3,
};

class TIEditView : public TInterface {
public:
    // index: a TEditPosIndex (0: cursor, 1: top line, 2 and 3: the block).
    virtual TEditPos GetPos(int32_t index) = 0;
    virtual void SetPos(int32_t index, TEditPos value) = 0;
};

class TIEditorInterface : public TInterface {
public:
    virtual QString FileName() = 0;
    virtual int32_t GetViewCount() = 0;
    virtual TIEditView *GetView(int32_t index) = 0;
    virtual bool BufferModified() = 0;
    virtual TIEditReader *CreateReader() = 0;
    virtual TIEditWriter *CreateWriter() = 0;
};

class TIModuleInterface : public TInterface {
public:
    virtual TIEditorInterface *GetEditorInterface() = 0;
    virtual bool ShowSource() = 0;
    virtual bool Save(bool forceSave) = 0;
};

class TIAddInNotifier : public TInterface {
public:
    virtual void FileNotification(TFileNotification notifyCode, const QString &fileName,
                                  bool &cancel) = 0;
};

class TIToolServices : public TInterface {
public:
    // The IDE main window: owner of the add-in's windows.
    virtual QWidget *GetParentHandle() = 0;
    virtual QString GetProjectName() = 0;
    virtual QString GetCurrentFile() = 0;
    virtual bool IsFileOpen(const QString &fileName) = 0;
    virtual bool OpenFile(const QString &fileName) = 0;
    virtual bool OpenProject(const QString &projName) = 0;
    virtual int32_t GetUnitCount() = 0;
    virtual QString GetUnitName(int32_t index) = 0;
    virtual TIModuleInterface *GetModuleInterface(const QString &fileName) = 0;
    virtual TIMainMenuIntf *GetMainMenu() = 0;
    virtual bool AddNotifier(TIAddInNotifier *notifier) = 0;
    virtual bool RemoveNotifier(TIAddInNotifier *notifier) = 0;
    // Shows the message, then throws EHostAbort: the running command is
    // abandoned.
    [[noreturn]] virtual void RaiseException(const QString &message) = 0;
};

class TIExpert : public TInterface {
public:
    virtual QString GetName() = 0;
    virtual QString GetAuthor() { return {}; }
    virtual QString GetComment() { return {}; }
    virtual QString GetPage() { return {}; }
    virtual QString GetMenuText() { return {}; }
    virtual TExpertStyle GetStyle() = 0;
    virtual TExpertState GetState() = 0;
    virtual QString GetIDString() = 0;
    virtual void Execute() = 0;
};

// Entry point every add-in library exports, unmangled.
using TExpertRegisterProc = bool (*)(TIExpert *expert);
using TExpertTerminateProc = void (*)();
using TExpertInitProc = bool (*)(TIToolServices *toolServices, TExpertRegisterProc registerProc,
                                 TExpertTerminateProc *terminate);
inline constexpr const char *ExpertEntryPoint = "INITEXPERT0016";
