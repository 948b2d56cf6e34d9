// The add-in's expert: installs the seven menu commands, owns the long-lived
// windows, the editor wrapper and the data module, and takes them down again.
#pragma once

#include "ToolsApi.h"

#include "core/AddinServices.h"
#include "core/DM.h"
#include "macros/Placeholders.h"

#include <QPointer>
#include <QString>

#include <memory>

#include "browser/FbrwFun.h"
#include "helpeditor/FAyuda.h"
#include "ipc/FTracew.h"
#include "language/lbrowse.h"

class TTiApi;

class TMiNotifer : public TIAddInNotifier {
public:
    TMiNotifer(TSYS *data, TFbrwEnt *browser) : FData(data), FBrowser(browser) {}
    void FileNotification(TFileNotification notifyCode, const QString &fileName,
                          bool &cancel) override;
    void ProjectClose();

private:
    QPointer<TSYS> FData;
    QPointer<TFbrwEnt> FBrowser;
};

class TQuorbelExpert : public TIExpert {
public:
    explicit TQuorbelExpert(const TAddinServices &services);

    QString GetName() override;
    TExpertStyle GetStyle() override;
    TExpertState GetState() override;
    QString GetIDString() override;
    void Execute() override;

    // Menu click handlers; the clicked item is ignored.
    void menuMacros(TIMenuItemIntf *sender);
    void menuBrowse(TIMenuItemIntf *sender);
    void menuClick(TIMenuItemIntf *sender);
    void menuTrace(TIMenuItemIntf *sender);
    void menuVersion(TIMenuItemIntf *sender);
    void menuAyuda(TIMenuItemIntf *sender);
    void Actualiza(QString &text);
    // Every placeholder expanded, with where the caret goes.
    TExpandedMacro Expand(const QString &text);
    void menuProjects(TIMenuItemIntf *sender);
    // Every routine of the project in one filtered list; opens the one picked.
    void menuGotoRoutine(TIMenuItemIntf *sender);
    void ChekCreate();
    void CheckAyudaCreate();

    // Moves the editor cursor to the start of the line the browser chose.
    void GotoEntityLine();

    THostRef<TIMenuItemIntf> menEditExp;
    THostRef<TIMenuItemIntf> menLangExp;
    THostRef<TIMenuItemIntf> menFuncExp;
    THostRef<TIMenuItemIntf> menVersion;
    THostRef<TIMenuItemIntf> menProjects;
    THostRef<TIMenuItemIntf> menTrace;
    THostRef<TIMenuItemIntf> menAyuda;
    THostRef<TIMenuItemIntf> menGotoRoutine;
    TAddinServices FServices;
    TMiNotifer *FNotifer = nullptr;
    std::unique_ptr<TTiApi> FToolApi;
    QPointer<TFbrwEnt> Fdlg;
    QPointer<TLDBrowse> Ldlg;
    QPointer<TFTrace> Tdlg;
    QPointer<TFAyudaW> Adlg;

protected:
    ~TQuorbelExpert() override;

private:
    void InstallMenus();
    template <typename F>
    void RunCommand(F &&command);
    QString ProjectName() const;
};

// Set by the entry point only; tools are handed what they use instead.
extern TIToolServices *ToolServices;
extern TQuorbelExpert *TheExpert;

// The entry point's body; exported unmangled by libquorbel.so.
bool InitExpert(TIToolServices *toolServices, TExpertRegisterProc registerProc,
                TExpertTerminateProc *terminate);
