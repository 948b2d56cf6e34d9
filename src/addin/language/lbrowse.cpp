#include "lbrowse.h"

#include "FSEdit.h"
#include "FSLang.h"
#include "Grid3d.h"
#include "LangGen.h"

#include "core/GuideKey.h"
#include "core/CommandEdge.h"
#include "core/DM.h"
#include "core/Logo.h"
#include "core/StringTable.h"
#include "core/appexec.h"
#include "core/FormKit.h"

#include "gettext/PoExchange.h"

#include "Dialogs.h"
#include "Registry.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>

#include <climits>

QString TLDBrowse::RegistryKey()
{
    return QStringLiteral("Software\\Borland\\Delphi\\2.0\\ExpLang");
}

QString &LanguageSearchText()
{
    static QString text;
    return text;
}

namespace {

constexpr int LanguageCount = 7;

// The Windows virtual-key code of a key, for the keys whose code the grid's
// search takes (49 to 121): letters, digits, the keypad's digits and
// operators and F1 to F10. 0 for any other key.
int VirtualKey(const QKeyEvent *event)
{
    const int key = event->key();
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return keypad ? 96 + (key - Qt::Key_0) : key;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F10)
        return 112 + (key - Qt::Key_F1);
    if (keypad) {
        switch (key) {
        case Qt::Key_Asterisk: return 106;
        case Qt::Key_Plus: return 107;
        case Qt::Key_Minus: return 109;
        case Qt::Key_Period: return 110;
        case Qt::Key_Slash: return 111;
        default: break;
        }
    }
    return 0;
}

// A stored number; a missing or mangled value gives the default.
int32_t StoredNumber(const QString &name, int32_t fallback, int32_t low, int32_t high)
{
    bool ok = false;
    const int value = Registry::readString(HKEY::CurrentUser, TLDBrowse::RegistryKey(), name).trimmed().toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

bool LeftByUser(const QEvent *event)
{
    const auto reason = static_cast<const QFocusEvent *>(event)->reason();
    return reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason;
}

} // namespace

TLDBrowse::TLDBrowse(QWidget *owner, const TAddinServices &services)
    : QDialog(owner), FServices(services), FData(services.Data)
{
    setObjectName(QStringLiteral("LDBrowse"));
    InstallGuideKey(this, services, GuideStringTable);
    setFixedSize(460, 336);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(8, 8, 444, 280);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet1, QString());
    PageControl1->addTab(TabSheet2, QString());

    DB3DGrid1 = new TDB3DGrid(TabSheet1);
    DB3DGrid1->setObjectName(QStringLiteral("DB3DGrid1"));
    DB3DGrid1->setGeometry(4, 4, 430, 242);
    DB3DGrid1->SetOptions(dgColumnResize | dgColLines | dgRowLines | dgTabs | dgAlwaysShowSelection
                          | dgConfirmDelete | dgCancelOnExit);
    DB3DGrid1->SetGrid3D(true);
    if (FData)
        DB3DGrid1->SetDataSource(&FData->DataSource1);

    Label1 = new QLabel(TabSheet2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 200, 18);
    ComboBox1 = new QComboBox(TabSheet2);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(8, 28, 200, 22);
    Label1->setBuddy(ComboBox1);
    Label2 = new QLabel(TabSheet2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 58, 200, 18);
    Edit2 = new QLineEdit(TabSheet2);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(8, 78, 100, 22);
    // Typing is filtered in Edit2KeyPress; this keeps pasted text to digits too.
    Edit2->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Edit2));
    Label2->setBuddy(Edit2);
    btnSetLang = new QPushButton(TabSheet2);
    btnSetLang->setObjectName(QStringLiteral("btnSetLang"));
    btnSetLang->setGeometry(280, 26, 140, 25);
    Label3 = new QLabel(TabSheet2);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(8, 110, 420, 60);
    Label3->setWordWrap(true);
    CheckBox1 = new QCheckBox(TabSheet2);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(8, 180, 250, 22);
    btnCompile = new QPushButton(TabSheet2);
    btnCompile->setObjectName(QStringLiteral("btnCompile"));
    btnCompile->setGeometry(280, 178, 140, 25);
    for (QPushButton *button : {btnSetLang, btnCompile})
        button->setAutoDefault(false);

    Image1 = new TLogoImage(this);
    Image1->setGeometry(8, 294, 80, 35);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Edit1 = PopupMenu1->addAction(QString());
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Insert1 = PopupMenu1->addAction(QString());
    Insert1->setObjectName(QStringLiteral("Insert1"));
    Delete1 = PopupMenu1->addAction(QString());
    Delete1->setObjectName(QStringLiteral("Delete1"));
    PopupMenu1->addSeparator();
    ExportPo1 = PopupMenu1->addAction(QString());
    ExportPo1->setObjectName(QStringLiteral("ExportPo1"));
    ImportPo1 = PopupMenu1->addAction(QString());
    ImportPo1->setObjectName(QStringLiteral("ImportPo1"));
    Untranslated1 = PopupMenu1->addAction(QString());
    Untranslated1->setObjectName(QStringLiteral("Untranslated1"));
    DB3DGrid1->PopupMenu = PopupMenu1;

    AppExec1 = new TAppExec(this);
    AppExec1->setObjectName(QStringLiteral("AppExec1"));
    AppExec1->SetWait(true);
    AppExec1->SetWindowState(TMyWindowState::wsHide);

    DB3DGrid1->OnDblClick = [this] { DB3DGrid1DblClick(); };
    DB3DGrid1->OnKeyDown = [this](QKeyEvent *event) { return DB3DGrid1KeyDown(event); };
    connect(Edit1, &QAction::triggered, this, &TLDBrowse::Edit1Click);
    connect(Insert1, &QAction::triggered, this, &TLDBrowse::Insert1Click);
    connect(Delete1, &QAction::triggered, this, &TLDBrowse::Delete1Click);
    connect(ExportPo1, &QAction::triggered, this, &TLDBrowse::ExportPo1Click);
    connect(ImportPo1, &QAction::triggered, this, &TLDBrowse::ImportPo1Click);
    connect(Untranslated1, &QAction::triggered, this, &TLDBrowse::Untranslated1Click);
    connect(btnSetLang, &QPushButton::clicked, this, &TLDBrowse::btnSetLangClick);
    connect(btnCompile, &QPushButton::clicked, this, &TLDBrowse::btnCompileClick);
    connect(Image1, &TLogoImage::clicked, this, &TLDBrowse::Image1Click);

    // The controls' own key and leave events, and key preview.
    const QList<QWidget *> controls = findChildren<QWidget *>();
    for (QWidget *control : controls)
        control->installEventFilter(this);
    InstallKeyPreview(this, controls, [this](QKeyEvent *event) { return FormKeyDown(event); });

    FormCreate();
}

TLDBrowse::~TLDBrowse()
{
    // FormDestroy
    SaveSettings();
}

void TLDBrowse::FormCreate()
{
    setWindowTitle(LoadStr(txt::StringTablesTitle));
    PageControl1->setTabText(0, LoadStr(txt::Strings));
    PageControl1->setTabText(1, LoadStr(txt::Options));
    Label1->setText(LoadStr(txt::ActualLanguage));
    Label2->setText(LoadStr(txt::InitialId));
    btnSetLang->setText(LoadStr(txt::SetLanguages));
    Label3->setText(LoadStr(txt::CompileStringsFirst));
    CheckBox1->setText(LoadStr(txt::DllProject));
    btnCompile->setText(LoadStr(txt::CompileResource));
    Edit1->setText(LoadStr(txt::Edit));
    Insert1->setText(LoadStr(txt::Insert));
    Delete1->setText(LoadStr(txt::Delete));
    ExportPo1->setText(LoadStr(txt::ExportPo));
    ImportPo1->setText(LoadStr(txt::ImportPo));
    Untranslated1->setText(LoadStr(txt::UntranslatedStrings));
    PageControl1->setCurrentIndex(0);
    LoadSettings();
}

TTable *TLDBrowse::Table() const
{
    return FData && FData->Table1.Active() ? &FData->Table1 : nullptr;
}

QStringList TLDBrowse::LanguageNames() const
{
    QStringList names;
    for (int i = 0; i < LanguageCount; ++i)
        names << ComboBox1->itemText(i);
    return names;
}

// ---------------------------------------------------------------- settings

void TLDBrowse::LoadSettings()
{
    // On a machine without settings every value falls back to its default
    // and nothing is written until the settings are saved.
    Registry::createKey(HKEY::CurrentUser, RegistryKey());
    ComboBox1->clear();
    for (int i = 1; i <= LanguageCount; ++i)
        ComboBox1->addItem(Registry::readString(HKEY::CurrentUser, RegistryKey(), QStringLiteral("L%1").arg(i)));
    InitId = StoredNumber(QStringLiteral("InitId"), DefaultInitId, INT_MIN, INT_MAX);
    Edit2->setText(QString::number(InitId));
    CurLang = StoredNumber(QStringLiteral("curlang"), 0, -1, LanguageCount - 1);
    ComboBox1->setCurrentIndex(CurLang);
    CheckBox1->setChecked(Registry::readString(HKEY::CurrentUser, RegistryKey(), QStringLiteral("CreateMode"))
                          == QLatin1String("ON"));
}

void TLDBrowse::SaveSettings()
{
    const QStringList names = LanguageNames();
    for (int i = 0; i < LanguageCount; ++i)
        Registry::writeString(HKEY::CurrentUser, RegistryKey(), QStringLiteral("L%1").arg(i + 1), names[i]);
    Registry::writeString(HKEY::CurrentUser, RegistryKey(), QStringLiteral("InitId"), QString::number(InitId));
    Registry::writeString(HKEY::CurrentUser, RegistryKey(), QStringLiteral("curlang"), QString::number(CurLang));
    Registry::writeString(HKEY::CurrentUser, RegistryKey(), QStringLiteral("CreateMode"),
                          CheckBox1->isChecked() ? QStringLiteral("ON") : QStringLiteral("OFF"));
    ShowCurrentLanguage();
}

void TLDBrowse::ShowCurrentLanguage()
{
    if (!FData)
        return;
    for (int i = 0; i < LanguageCount; ++i)
        FData->Table1.Fields(i)->SetVisible(i == CurLang);
}

// ---------------------------------------------------------------- showing

void TLDBrowse::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TLDBrowse::FormShow()
{
    const bool open = Table() != nullptr;
    PageControl1->setTabVisible(0, open);
    btnCompile->setEnabled(open);
    PageControl1->setCurrentIndex(open ? 0 : 1);
    // The grid shows the current language from the first showing on, not
    // only after the settings were first saved, and is ordered and searched
    // by it too.
    ShowCurrentLanguage();
    if (open) {
        UseCurrentLanguageIndex();
        DB3DGrid1->setFocus();
    }
}

void TLDBrowse::UseCurrentLanguageIndex()
{
    if (CurLang < 0 || CurLang >= LanguageCount || !FData)
        return;
    RunAtEdge(FServices.dialogs(),
              [&] { FData->Table1.SetIndexName(QStringLiteral("L%1").arg(CurLang + 1)); });
}

bool TLDBrowse::FormKeyDown(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape)
        return false;
    reject();
    return true;
}

void TLDBrowse::keyPressEvent(QKeyEvent *event)
{
    if (!FormKeyDown(event))
        QDialog::keyPressEvent(event);
}

bool TLDBrowse::eventFilter(QObject *watched, QEvent *event)
{
    auto *control = qobject_cast<QWidget *>(watched);
    if (!control || control->window() != this)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        if (watched == Edit2 && Edit2KeyPress(static_cast<QKeyEvent *>(event)))
            return true;
    } else if (event->type() == QEvent::MouseButtonPress && watched == DB3DGrid1->viewport()) {
        // A click picks a row by hand: the next typed key starts a new search.
        LanguageSearchText().clear();
    } else if (event->type() == QEvent::FocusOut && LeftByUser(event)) {
        if (watched == ComboBox1)
            ComboBox1Exit();
        else if (watched == Edit2)
            Edit2Exit();
        else if (watched == CheckBox1)
            CheckBox1Exit();
    }
    return QDialog::eventFilter(watched, event);
}

// ------------------------------------------------------------------- grid

void TLDBrowse::DB3DGrid1DblClick()
{
    accept();
}

void TLDBrowse::Search()
{
    TTable *table = Table();
    if (!table)
        return;
    RunAtEdge(FServices.dialogs(), [&] { table->FindNearest({LanguageSearchText()}); });
}

bool TLDBrowse::DB3DGrid1KeyDown(QKeyEvent *event)
{
    TTable *table = Table();
    const auto move = [&](auto &&step) {
        LanguageSearchText().clear();
        if (table)
            RunAtEdge(FServices.dialogs(), step);
        return true;
    };
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            EditCurrent();
        } else {
            LanguageSearchText().clear();
            accept();
        }
        return true;
    case Qt::Key_PageUp:
        return move([&] { table->MoveBy(-16); });
    case Qt::Key_PageDown:
        return move([&] { table->MoveBy(16); });
    case Qt::Key_End:
        return move([&] { table->Last(); });
    case Qt::Key_Home:
        return move([&] { table->First(); });
    case Qt::Key_Insert:
        Insert1Click();
        return true;
    case Qt::Key_Delete:
        Delete1Click();
        return true;
    default:
        break;
    }
    // Codes 49 to 121: the digit 0 (48) never extends the search.
    const int code = VirtualKey(event);
    if (code <= 48 || code > 121)
        return false;
    // After a pause the user is looking for something else.
    const qint64 now = KeyTime();
    if (now - FLastSearchKey >= SearchPauseMs)
        LanguageSearchText().clear();
    FLastSearchKey = now;
    LanguageSearchText() += QChar(code);
    Search();
    return true;
}

qint64 TLDBrowse::KeyTime() const
{
    if (KeyClock)
        return KeyClock();
    static QElapsedTimer steady;
    if (!steady.isValid())
        steady.start();
    // Never 0, so the first key after the start is no "pause" of 0 ms.
    return steady.elapsed() + SearchPauseMs;
}

void TLDBrowse::Edit1Click()
{
    EditCurrent();
}

void TLDBrowse::Insert1Click()
{
    TTable *table = Table();
    if (!table)
        return;
    // A second empty identifier breaks the primary index: the error is shown
    // and the empty record is dropped again, with no dialog.
    const bool posted = RunAtEdge(FServices.dialogs(), [&] {
        table->Insert();
        try {
            table->Post();
        } catch (...) {
            table->Cancel();
            throw;
        }
    });
    if (!posted)
        return;
    // A new string that is not confirmed leaves no record behind; else the
    // empty identifier blocks every later Insert.
    const TBookmark fresh = table->GetBookmark();
    if (EditCurrent())
        return;
    RunAtEdge(FServices.dialogs(), [&] {
        if (table->State() != TDataSetState::Browse)
            table->Cancel();
        if (table->BookmarkValid(fresh)) {
            table->GotoBookmark(fresh);
            table->Delete();
        }
    });
}

void TLDBrowse::Delete1Click()
{
    TTable *table = Table();
    if (!table || table->RecordCount() == 0)
        return;
    if (!FServices.dialogs().AskYesNo(LoadStr(txt::AskDeleteString)))
        return;
    RunAtEdge(FServices.dialogs(), [&] { table->Delete(); });
}

// ------------------------------------------------------------- .po files

QString TLDBrowse::PoLanguage() const
{
    if (CurLang < 0 || CurLang >= LanguageCount)
        throw Exception(LoadStr(txt::ChooseLanguageFirst));
    return ComboBox1->itemText(CurLang);
}

QString TLDBrowse::AskPoFile(int title, const QString &language, bool save) const
{
    TDialogService &dialogs = FServices.dialogs();
    const QString caption = LoadStr(title).arg(language);
    const QString filter = LoadStr(txt::PoFileFilter);
    return save ? dialogs.GetSaveFileName(caption, filter, ProjectDir)
                : dialogs.GetOpenFileName(caption, filter, ProjectDir);
}

void TLDBrowse::ExportPo1Click()
{
    TTable *table = Table();
    if (!table)
        return;
    TDialogService &dialogs = FServices.dialogs();
    RunAtEdge(dialogs, [&] {
        const QString name = PoLanguage();
        const QString path = AskPoFile(txt::ExportPoTitle, name, true);
        if (path.isEmpty())
            return;
        const int count = ExportLanguage(*table, {CurLang, 0, name, ProjectNameOf(ProjectDir)}, path,
                                         FServices.writer());
        dialogs.ShowMessage(LoadStr(txt::PoExported).arg(count).arg(name, path));
    });
}

void TLDBrowse::ImportPo1Click()
{
    TTable *table = Table();
    if (!table)
        return;
    TDialogService &dialogs = FServices.dialogs();
    RunAtEdge(dialogs, [&] {
        const QString name = PoLanguage();
        const QString path = AskPoFile(txt::ImportPoTitle, name, false);
        if (path.isEmpty())
            return;
        const TPoCatalog catalog = ReadPoFile(path);
        // Asked only of a file that has them, so other imports go as before.
        const int fuzzy = catalog.FuzzyTranslations();
        const bool withFuzzy = fuzzy > 0 && dialogs.AskYesNo(LoadStr(txt::PoImportFuzzy).arg(fuzzy));
        dialogs.ShowMessage(ImportCatalog(*table, catalog, {CurLang, 0, name, withFuzzy}).Text());
    });
}

void TLDBrowse::Untranslated1Click()
{
    TTable *table = Table();
    if (!table)
        return;
    // A message box holds a few identifiers per language; quorbel-lang lists all.
    RunAtEdge(FServices.dialogs(), [&] {
        FServices.dialogs().ShowMessage(UntranslatedText(FindUntranslated(*table, LanguageNames()), 20));
    });
}

bool TLDBrowse::EditCurrent()
{
    TTable *table = Table();
    if (!table)
        return false;
    TDialogService &dialogs = FServices.dialogs();
    TDlgEdit dialog(this, &FData->DataSource1, dialogs);
    dialog.ComboBox1->addItems(LanguageNames());
    dialog.ComboBox1->setCurrentIndex(CurLang);
    dialog.BindLanguage(dialog.ComboBox1->currentIndex());
    if (!RunAtEdge(dialogs, [&] { table->Edit(); }))
        return false;
    // A refused post (a duplicate identifier) shows the store's error and
    // keeps the dialog open on the record, still in edit mode, so the user
    // can correct it or cancel.
    dialog.OnOk = [&] {
        return RunAtEdge(dialogs, [&] {
            dialog.UpdateRecord();
            table->Post();
        });
    };
    if (dialog.exec() == QDialog::Accepted)
        return true;
    table->Cancel();
    return false;
}

// ---------------------------------------------------------------- options

void TLDBrowse::ComboBox1Exit()
{
    CurLang = ComboBox1->currentIndex();
    if (CurLang >= 0 && FData)
        RunAtEdge(FServices.dialogs(),
                  [&] { FData->Table1.SetIndexName(QStringLiteral("L%1").arg(CurLang + 1)); });
    SaveSettings();
}

bool TLDBrowse::Edit2KeyPress(QKeyEvent *event)
{
    // Tab and Shift+Tab move on to the next control, as from any other box.
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        return false;
    const QString typed = event->text();
    if (typed.isEmpty())
        return false; // no character: arrows, Delete and the like
    for (QChar c : typed)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return true;
    return false;
}

void TLDBrowse::Edit2Exit()
{
    bool ok = false;
    const int value = Edit2->text().toInt(&ok, 10);
    if (!ok) {
        // Empty or too large: the old number stays, and the box shows it again.
        FServices.dialogs().ShowMessage(LoadStr(txt::BadInitialId).arg(InitId));
        Edit2->setText(QString::number(InitId));
        return;
    }
    InitId = value;
    SaveSettings();
}

void TLDBrowse::CheckBox1Exit()
{
    SaveSettings();
}

void TLDBrowse::btnSetLangClick()
{
    TSetLang dialog(this);
    const QStringList names = LanguageNames();
    for (int i = 0; i < LanguageCount; ++i)
        dialog.Edits[i]->setText(names[i]);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ComboBox1->clear();
    for (int i = 0; i < LanguageCount; ++i)
        ComboBox1->addItem(dialog.Edits[i]->text());
    // CurLang stays; the list shows no selection until one is picked.
    ComboBox1->setCurrentIndex(-1);
    SaveSettings();
}

// -------------------------------------------------------------- generators

TLanguageGenSettings TLDBrowse::GenSettings() const
{
    if (CurLang < 0 || CurLang >= LanguageCount)
        throw Exception(LoadStr(txt::ChooseLanguageFirst));
    TLanguageGenSettings settings;
    settings.ProjectDir = ProjectDir;
    settings.LanguageName = ComboBox1->itemText(CurLang);
    settings.CurLang = CurLang;
    settings.InitId = InitId;
    return settings;
}

void TLDBrowse::BuildLanguageUnit()
{
    TTable *table = Table();
    if (!table)
        return;
    const TLanguageGenSettings settings = GenSettings();
    TLanguageGenerator(FServices, *AppExec1, Clock).BuildLanguageUnit(*table, settings);
}

void TLDBrowse::BuildLanguageLibrary()
{
    TTable *table = Table();
    if (!table)
        return;
    const TLanguageGenSettings settings = GenSettings();
    TLanguageGenerator(FServices, *AppExec1, Clock).BuildLanguageLibrary(*table, settings);
}

void TLDBrowse::btnCompileClick()
{
    RunAtEdge(FServices.dialogs(), [&] {
        if (CheckBox1->isChecked())
            BuildLanguageLibrary();
        else
            BuildLanguageUnit();
    });
}

void TLDBrowse::Image1Click()
{
    ShowAbout(FServices.dialogs());
}

QString TLDBrowse::ChosenCall() const
{
    if (!FData || !FData->Table1.Active() || FData->Table1.RecordCount() == 0)
        return QString();
    return LangExCall(FData->Campoidst->AsString(), FData->CampoF1->AsString());
}

QString LangExCall(const QString &identifier, const QString &text)
{
    QString reminder = text.size() > 15 ? text.left(14) + QStringLiteral("...") : text;
    // The reminder sits in a brace comment: a "}" in it would end the
    // comment early and break the inserted line, so every one is dropped
    // (after the cut, so the cut is the one the text always had).
    reminder.remove(QLatin1Char('}'));
    return QStringLiteral("LangEx(") + identifier + QLatin1Char('{') + reminder + QStringLiteral("})");
}
