#include "QuorbelExpert.h"

#include "Application.h"

#include "core/CommandEdge.h"
#include "core/DM.h"
#include "core/GuideKey.h"
#include "core/StringTable.h"
#include "core/TiApi.h"

#include "browser/FbrwFun.h"
#include "browser/FGotoRoutine.h"
#include "helpeditor/FAyuda.h"
#include "ipc/FTracew.h"
#include "language/lbrowse.h"
#include "macros/FMacros.h"
#include "macros/Placeholders.h"
#include "projects/Fprojects.h"
#include "version/verdlg.h"

#include "Exception.h"
#include "Paths.h"
#include "Windows.h"

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QLocale>

TIToolServices *ToolServices = nullptr;
TQuorbelExpert *TheExpert = nullptr;
QPointer<QWidget> Application;

namespace {

constexpr TIMenuFlags ItemFlags = mfEnabled | mfVisible;

// A long-lived window brought to the front, also when it is already open
// behind others.
void ShowToFront(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

// ---------------------------------------------------------------- notifier

void TMiNotifer::FileNotification(TFileNotification notifyCode, const QString &fileName, bool &)
{
    if (notifyCode == fnProjectClosing)
        ProjectClose();
    else if (notifyCode == fnFileSaved && FBrowser)
        FBrowser->FileSaved(fileName);
}

void TMiNotifer::ProjectClose()
{
    if (FData) {
        FData->Table1.Close();
        FData->Table2.Close();
    }
    if (QWidget *help = FindWindow(QStringLiteral("TFAyudaW")))
        SendCloseMessage(help);
}

// ------------------------------------------------------------------ expert

TQuorbelExpert::TQuorbelExpert(const TAddinServices &services) : FServices(services)
{
    InstallMenus();
    FToolApi = std::make_unique<TTiApi>(FServices.Ide, FServices.dialogs());
    SYS = new TSYS(Application);
    FServices.Data = SYS;
    Ldlg = new TLDBrowse(Application, FServices);
    Tdlg = new TFTrace(FServices, nullptr);
    Adlg = new TFAyudaW(Application, FServices);
    Fdlg = new TFbrwEnt(Application, FServices);
    QObject::connect(Fdlg, &TFbrwEnt::EntityChosen, Fdlg, [this] { GotoEntityLine(); });
    InstallGuideKey(Fdlg, FServices, GuideEntityBrowser);
    FNotifer = new TMiNotifer(SYS, Fdlg);
    if (FServices.Ide)
        FServices.Ide->AddNotifier(FNotifer);
}

void TQuorbelExpert::InstallMenus()
{
    if (!FServices.Ide)
        return;
    THostRef<TIMainMenuIntf> mainMenu(FServices.Ide->GetMainMenu());
    if (!mainMenu)
        return;

    using Handler = void (TQuorbelExpert::*)(TIMenuItemIntf *);
    struct Item {
        int stringId;
        const char *name;
        TShortCut shortCut;
        Handler handler;
        THostRef<TIMenuItemIntf> TQuorbelExpert::*field;
    };
    struct Group {
        const char *anchor;
        // Position of the first item: from the anchor's index, or from the
        // index of the anchor's whole menu within the menu bar.
        bool fromParentMenu;
        int offset;
        std::initializer_list<Item> items;
    };
    const Group groups[] = {
        {"EditPasteItem", false, 1,
         {{txt::MenuMacros, "IdeExpt1", scCtrl | scAlt | 'L', &TQuorbelExpert::menuMacros,
           &TQuorbelExpert::menEditExp}}},
        {"ViewWindowListItem", false, 1,
         {{txt::TraceWindow, "ViewTraceItem", scCtrl | scAlt | 'T', &TQuorbelExpert::menuTrace,
           &TQuorbelExpert::menTrace},
          {txt::MenuBrowse, "IdeExpt2", scCtrl | scAlt | 'B', &TQuorbelExpert::menuBrowse,
           &TQuorbelExpert::menFuncExp},
          {txt::MenuStringTable, "IdeExpt3", scCtrl | scAlt | 'W', &TQuorbelExpert::menuClick,
           &TQuorbelExpert::menLangExp},
          {txt::MenuGotoRoutine, "IdeGotoRoutine", scCtrl | scAlt | 'G', &TQuorbelExpert::menuGotoRoutine,
           &TQuorbelExpert::menGotoRoutine}}},
        {"ProjectCompileItem", true, 1,
         {{txt::MenuVersion, "EditInsertarCabeceraItem", scCtrl | scAlt | 'V', &TQuorbelExpert::menuVersion,
           &TQuorbelExpert::menVersion},
          {txt::MenuHelpProject, "EditAyudaItem", scCtrl | scAlt | 'H', &TQuorbelExpert::menuAyuda,
           &TQuorbelExpert::menAyuda}}},
        {"FileopenItem", true, 6,
         {{txt::MenuProjects, "EditProjectsNewItem", 0, &TQuorbelExpert::menuProjects,
           &TQuorbelExpert::menProjects}}},
    };

    for (const Group &group : groups) {
        THostRef<TIMenuItemIntf> anchor(mainMenu->FindMenuItem(QString::fromLatin1(group.anchor)));
        if (!anchor)
            continue;
        THostRef<TIMenuItemIntf> parent(anchor->GetParent());
        if (!parent)
            continue;
        int32_t index = (group.fromParentMenu ? parent->GetIndex() : anchor->GetIndex())
            + group.offset;
        for (const Item &item : group.items) {
            const Handler handler = item.handler;
            THostRef<TIMenuItemIntf> inserted(parent->InsertItem(
                index, LoadStr(item.stringId), QString::fromLatin1(item.name), QString(),
                item.shortCut, 0, 0, ItemFlags,
                [this, handler](TIMenuItemIntf *sender) { (this->*handler)(sender); }));
            if (!inserted)
                break;
            index = inserted->GetIndex() + 1;
            this->*item.field = std::move(inserted);
        }
    }
}

TQuorbelExpert::~TQuorbelExpert()
{
    if (FServices.Ide && FNotifer)
        FServices.Ide->RemoveNotifier(FNotifer);
    FToolApi.reset();
    if (FNotifer) {
        FNotifer->Release();
        FNotifer = nullptr;
    }
    menEditExp.reset();
    menFuncExp.reset();
    menLangExp.reset();
    menProjects.reset();
    menTrace.reset();
    menAyuda.reset();
    menVersion.reset();
    menGotoRoutine.reset();
    delete Fdlg.data();
    delete Adlg.data();
    delete Ldlg.data();
    delete Tdlg.data();
    delete SYS;
    SYS = nullptr;
    if (TheExpert == this)
        TheExpert = nullptr;
}

QString TQuorbelExpert::GetName()
{
    return QStringLiteral("Quorbels Expert");
}

TExpertStyle TQuorbelExpert::GetStyle()
{
    return esAddIn;
}

TExpertState TQuorbelExpert::GetState()
{
    return esEnabled;
}

QString TQuorbelExpert::GetIDString()
{
    return QStringLiteral("Dernisk.QuorbelsExpert");
}

void TQuorbelExpert::Execute() {}

// ---------------------------------------------------------------- commands

template <typename F>
void TQuorbelExpert::RunCommand(F &&command)
{
    RunAtEdge(FServices.dialogs(), std::forward<F>(command));
}

QString TQuorbelExpert::ProjectName() const
{
    return FServices.Ide ? FServices.Ide->GetProjectName() : QString();
}

void TQuorbelExpert::menuMacros(TIMenuItemIntf *)
{
    RunCommand([&] {
        TFMacrosForm dialog(Application, FServices);
        if (dialog.exec() != QDialog::Accepted)
            return;
        FToolApi->Refresh();
        const TExpandedMacro macro = Expand(dialog.MacroText);
        // A macro without a caret stop or the selection goes in as it always did.
        if (macro.cursor < 0 && !macro.replacesSelection)
            FToolApi->InsertText(macro.text);
        else
            FToolApi->InsertMacro(macro.text, macro.cursor, macro.replacesSelection);
    });
}

void TQuorbelExpert::menuTrace(TIMenuItemIntf *)
{
    if (Tdlg)
        ShowToFront(Tdlg);
}

void TQuorbelExpert::menuBrowse(TIMenuItemIntf *)
{
    if (!ProjectName().isEmpty() && Fdlg)
        ShowToFront(Fdlg);
}

void TQuorbelExpert::menuClick(TIMenuItemIntf *)
{
    RunCommand([&] {
        ChekCreate();
        if (!SYS || !SYS->Table1.Active() || !Ldlg)
            return;
        Ldlg->ProjectDir = ExtractFileDir(ProjectName());
        if (Ldlg->exec() != QDialog::Accepted)
            return;
        const QString call = Ldlg->ChosenCall();
        if (call.isEmpty())
            return;
        FToolApi->Refresh();
        FToolApi->InsertText(call);
    });
}

void TQuorbelExpert::menuVersion(TIMenuItemIntf *)
{
    if (!FServices.Ide)
        return;
    RunCommand([&] {
        TFverDlg dialog(Application, FServices);
        const QString project = ProjectName();
        if (project.isEmpty())
            return;
        dialog.SetProject(project);
        dialog.exec();
    });
}

void TQuorbelExpert::menuAyuda(TIMenuItemIntf *)
{
    RunCommand([&] {
        CheckAyudaCreate();
        if (!SYS || !SYS->Table2.Active() || !Adlg)
            return;
        Adlg->ProjectFileName = ProjectName();
        ShowToFront(Adlg);
    });
}

void TQuorbelExpert::menuProjects(TIMenuItemIntf *)
{
    RunCommand([&] {
        TFProyexp dialog(Application, FServices);
        dialog.exec();
    });
}

void TQuorbelExpert::menuGotoRoutine(TIMenuItemIntf *)
{
    if (!FServices.Ide || ProjectName().isEmpty())
        return;
    RunCommand([&] {
        TFGotoRoutine dialog(Application, TFGotoRoutine::ProjectUnits(*FServices.Ide));
        if (dialog.exec() != QDialog::Accepted || dialog.ChosenFile.isEmpty())
            return;
        TIToolServices &ide = *FServices.Ide;
        if (ide.GetCurrentFile() != dialog.ChosenFile) {
            if (ide.IsFileOpen(dialog.ChosenFile)) {
                THostRef<TIModuleInterface> module(ide.GetModuleInterface(dialog.ChosenFile));
                if (module)
                    module->ShowSource();
            } else if (!ide.OpenFile(dialog.ChosenFile)) {
                throw Exception(LoadStr(txt::NeedPasFile));
            }
        }
        FToolApi->Refresh();
        FToolApi->SetColumn(1);
        FToolApi->GotoLine(dialog.ChosenLine);
    });
}

void TQuorbelExpert::Actualiza(QString &text)
{
    text = Expand(text).text;
}

TExpandedMacro TQuorbelExpert::Expand(const QString &text)
{
    TPlaceholderValues values;
    values.fileName = FToolApi ? FToolApi->FileName() : QString();
    values.now = QDateTime::currentDateTime();
    values.locale = QLocale::system();
    values.user = LoginName();
    values.projectFile = ProjectName();
    values.selection = [this] { return FToolApi ? FToolApi->SelectedText() : QString(); };
    values.clipboard = [] {
        const QClipboard *clipboard = QGuiApplication::clipboard();
        return clipboard ? clipboard->text() : QString();
    };
    return ExpandMacro(text, values);
}

void TQuorbelExpert::ChekCreate()
{
    if (!SYS || SYS->Table1.Active())
        return;
    const QString project = ProjectName();
    if (project.isEmpty())
        return;
    if (IsDefaultProject(project))
        FServices.dialogs().ShowMessage(LoadStr(txt::AskCreateLanguage));
    OpenProjectTable(FServices.dialogs(), project, SYS->Table1, QStringLiteral("LANG"),
                     txt::AskCreateLanguage, &CreateLanguageTable);
}

void TQuorbelExpert::CheckAyudaCreate()
{
    if (!SYS || SYS->Table2.Active())
        return;
    if (Adlg)
        Adlg->ClearTree();
    const QString project = ProjectName();
    if (project.isEmpty())
        return;
    if (IsDefaultProject(project))
        FServices.dialogs().ShowMessage(LoadStr(txt::MoveLangDirectory));
    OpenProjectTable(FServices.dialogs(), project, SYS->Table2, QStringLiteral("HLP"), txt::AskInitHelp,
                     &CreateHelpTable, [](const QString &dir) {
                         EnsureParentIndex(SYS->Table2);
                         SYS->Query1.DatabaseName = dir;
                     });
}

void TQuorbelExpert::GotoEntityLine()
{
    RunCommand([&] {
        FToolApi->Refresh();
        FToolApi->SetColumn(1);
        FToolApi->GotoLine((Fdlg ? Fdlg->FSelLine : 0) + 1);
    });
}

// ------------------------------------------------------------- entry point

bool InitExpert(TIToolServices *toolServices, TExpertRegisterProc registerProc,
                TExpertTerminateProc *terminate)
{
    if (ToolServices)
        return false;
    ToolServices = toolServices;
    if (ToolServices)
        Application = ToolServices->GetParentHandle();
    if (terminate)
        *terminate = nullptr;
    TheExpert = new TQuorbelExpert(DefaultServices(ToolServices));
    if (registerProc)
        registerProc(TheExpert);
    return true;
}
