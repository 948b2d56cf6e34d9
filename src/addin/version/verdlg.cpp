#include "verdlg.h"

#include "version/BuiltVersion.h"
#include "version/ResVersionInfo.h"

#include "core/GuideKey.h"
#include "core/CommandEdge.h"
#include "core/ConfFiler.h"
#include "core/Hourglass.h"
#include "core/Logo.h"
#include "core/StringTable.h"
#include "core/appexec.h"

#include "Dialogs.h"
#include "Exception.h"
#include "Paths.h"
#include "SafeFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QComboBox *List(QWidget *parent, const char *name, const QStringList &items, bool sorted)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    QStringList entries = items;
    if (sorted)
        entries.sort(Qt::CaseInsensitive);
    box->addItems(entries);
    box->setCurrentIndex(-1);
    return box;
}

void Select(QComboBox *box, const QString &name)
{
    box->setCurrentIndex(box->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void RemoveIfThere(const QString &path)
{
    QFile file(path);
    if (file.exists() && !file.remove())
        throw EInOutError(QStringLiteral("Cannot delete %1: %2").arg(path, file.errorString()));
}

} // namespace

TFverDlg::TFverDlg(QWidget *owner, const TAddinServices &services)
    : QDialog(owner), FServices(services)
{
    setObjectName(QStringLiteral("FverDlg"));
    InstallGuideKey(this, services, GuideVersionResource);
    setFixedSize(572, 430);

    const auto edit = [this](const char *name, int x, int y, int width) {
        auto *line = new QLineEdit(this);
        line->setObjectName(QLatin1String(name));
        line->setGeometry(x, y, width, 21);
        return line;
    };
    FVersion = edit("FVersion", 152, 12, 140);
    FVersion->setText(QStringLiteral("1,0,0,0"));
    PVersion = edit("PVersion", 420, 12, 140);
    PVersion->setText(QStringLiteral("1,0,0,0"));
    TipoOS = List(this, "TipoOS", VersionTables::OsNames(), false);
    TipoOS->setGeometry(152, 40, 140, 21);
    STipo = List(this, "STipo", VersionTables::FileTypeNames(), false);
    STipo->setGeometry(396, 40, 164, 21);
    NomProducto = edit("NomProducto", 152, 76, 408);
    Descrip = edit("Descrip", 152, 104, 408);
    Ninterno = edit("Ninterno", 152, 132, 200);
    NOriginal = edit("NOriginal", 360, 132, 200);
    CIA = edit("CIA", 152, 160, 408);
    Coopyrag = edit("Coopyrag", 152, 188, 408);
    Mreg = edit("Mreg", 152, 216, 408);
    Comen = edit("Comen", 152, 244, 408);
    GenVer = edit("GenVer", 152, 280, 140);
    Special = edit("Special", 420, 280, 140);
    Privada = edit("Privada", 152, 308, 140);
    ELenguaje = List(this, "ELenguaje", VersionTables::LanguageNames(), true);
    ELenguaje->setGeometry(152, 344, 200, 21);
    TCodigos = List(this, "TCodigos", VersionTables::CodePageNames(), true);
    TCodigos->setGeometry(420, 344, 140, 21);

    const struct {
        QWidget *buddy;
        int x;
    } labelled[16] = {{FVersion, 8},   {PVersion, 304},  {TipoOS, 8},      {STipo, 280},
                      {NomProducto, 8}, {Descrip, 8},   {Ninterno, 8},    {CIA, 8},
                      {Coopyrag, 8},   {Mreg, 8},        {Comen, 8},       {GenVer, 8},
                      {Special, 304},  {Privada, 8},     {ELenguaje, 8},   {TCodigos, 304}};
    for (int i = 0; i < 16; ++i) {
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setGeometry(labelled[i].x, labelled[i].buddy->y(), labelled[i].x == 8 ? 140 : 110, 21);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setBuddy(labelled[i].buddy);
        Labels[i] = label;
    }
    Labels[8]->setText(QStringLiteral("CopyRight:"));

    Image1 = new TLogoImage(this);
    Image1->setGeometry(8, 384, 80, 35);
    connect(Image1, &TLogoImage::clicked, this, &TFverDlg::Image1DblClick);

    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(400, 392, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] {
        if (Button1Click())
            accept();
    });
    cbWriteBuilt = new QCheckBox(this);
    cbWriteBuilt->setObjectName(QStringLiteral("cbWriteBuilt"));
    cbWriteBuilt->setGeometry(100, 392, 290, 25);
    cbWriteBuilt->setEnabled(false);
    Button2 = new QPushButton(this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(485, 392, 75, 25);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    AppExec1 = new TAppExec(this);
    AppExec1->setObjectName(QStringLiteral("AppExec1"));
    AppExec1->SetExeName(QStringLiteral("brcc32.exe"));
    AppExec1->SetWait(true);
    AppExec1->SetWindowState(TMyWindowState::wsHide);

    FormCreate();
}

TFverDlg::~TFverDlg() = default;

void TFverDlg::FormCreate()
{
    setWindowTitle(LoadStr(txt::VersionEditorTitle));
    Button1->setText(LoadStr(txt::Ok));
    Button2->setText(LoadStr(txt::Cancel));
    cbWriteBuilt->setText(LoadStr(txt::WriteBuiltOption));
    // Label9 shows no caption.
    static constexpr int captions[16] = {
        txt::FileVersion,    txt::ProductVersion, txt::OperatingSystem, txt::Type,
        txt::ProductName,    txt::Description,    txt::InternalName,    txt::CompanyName,
        0,                   txt::Trademarks,     txt::Comments,        txt::GenericVersion,
        txt::SpecialVersion, txt::Private,        txt::Language,        txt::Code};
    for (int i = 0; i < 16; ++i)
        if (captions[i] != 0)
            Labels[i]->setText(LoadStr(captions[i]));
}

void TFverDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TFverDlg::FormShow()
{
    VersionInfo = std::make_unique<TResouceVersionInfo>(OutputFileName, FServices.dialogs());
    const TResouceVersionInfo &info = *VersionInfo;
    FVersion->setText(info.NumFileVersion);
    PVersion->setText(info.NumProductVersion);
    Select(TipoOS, info.OSName);
    Select(STipo, info.FileTypeName);
    NomProducto->setText(info.ProductName);
    Descrip->setText(info.FileDescription);
    Ninterno->setText(info.InternalName);
    NOriginal->setText(info.OriginalFileName);
    CIA->setText(info.CompanyName);
    Coopyrag->setText(info.LegalCopyright);
    Mreg->setText(info.LegalTrademarks);
    Comen->setText(info.Comments);
    GenVer->setText(info.FileVersion);
    Special->setText(info.SpecialBuild);
    Privada->setText(NextPrivateBuild());
    Select(ELenguaje,
           VersionTables::LanguageName(QString::number(info.LanguageId, 16).toUpper()));
    Select(TCodigos, VersionTables::CodePageName(QString::number(info.CodePage)));
    // Only a file that was read can be written into.
    cbWriteBuilt->setEnabled(!OutputFileName.isEmpty());
}

void TFverDlg::SetProject(const QString &project)
{
    ProjectDir = ExtractFileDir(project) + PathDelim;
    OutputFileName.clear();
    // The built file's name and extension may differ in case from the
    // project's (Demo.DLL, DEMO.EXE); a library wins over a program.
    const QString dir = ExtractFileDir(project);
    const QString stem = ExtractFileName(ChangeFileExt(project, QString()));
    for (const char *ext : {".dll", ".exe"}) {
        const QString built = FindEntryNoCase(dir, stem + QLatin1String(ext));
        if (FileExists(built)) {
            OutputFileName = built;
            break;
        }
    }
    if (OutputFileName.isEmpty())
        FServices.dialogs().ShowMessage(LoadStr(txt::RecompileAfterVersion));
}

QString TFverDlg::TargetDir() const
{
    QString dir = OutputFileName.isEmpty() ? ProjectDir : ExtractFileDir(OutputFileName);
    if (dir.size() > 1 && dir.endsWith(PathDelim))
        dir.chop(1);
    return dir;
}

QString TFverDlg::BlockName() const
{
    return VersionTables::BlockName(ELenguaje->currentText(), TCodigos->currentText());
}

QString TFverDlg::NextPrivateBuild() const
{
    return VersionInfo ? VersionTables::NextPrivateBuild(VersionInfo->PrivateBuild) : QString();
}

TVersionFields TFverDlg::Fields() const
{
    TVersionFields f;
    f.FileVersion = FVersion->text();
    f.ProductVersion = PVersion->text();
    f.OsName = TipoOS->currentText();
    f.FileTypeName = STipo->currentText();
    f.ProductName = NomProducto->text();
    f.Description = Descrip->text();
    f.InternalName = Ninterno->text();
    f.OriginalName = NOriginal->text();
    f.CompanyName = CIA->text();
    f.Copyright = Coopyrag->text();
    f.Trademarks = Mreg->text();
    f.Comments = Comen->text();
    f.GenericVersion = GenVer->text();
    f.SpecialBuild = Special->text();
    f.PrivateBuild = Privada->text();
    f.Language = ELenguaje->currentText();
    f.CodePage = TCodigos->currentText();
    return f;
}

bool TFverDlg::Button1Click()
{
    // Without both, the block has no usable name: nothing is written.
    if (ELenguaje->currentIndex() < 0 || TCodigos->currentIndex() < 0) {
        FServices.dialogs().ShowMessage(
            QStringLiteral("Choose a language and a code page: the version block is named "
                           "after them."));
        return false;
    }
    const QString dir = TargetDir();
    const QString script = dir + PathDelim + QStringLiteral("version.rc");
    THourglass hourglass;
    const auto fail = [&](auto &&step) {
        return !RunAtEdge(FServices.dialogs(), [&] {
            try {
                step();
            } catch (...) {
                hourglass.Done();
                throw;
            }
        });
    };
    // A script that cannot be written keeps the dialog open with the
    // user's values, and nothing is backed up or compiled.
    if (fail([&] { FServices.writer().Write(script, VersionScript(Fields())); }))
        return false;
    const QString res = dir + PathDelim + QStringLiteral("version.res");
    bool ran = false;
    fail([&] {
        const QString bak = dir + PathDelim + QStringLiteral("version.bak");
        RemoveIfThere(bak);
        if (QFile::exists(res) && !QFile::rename(res, bak))
            throw EInOutError(QStringLiteral("Cannot move %1 to %2.").arg(res, bak));
        // The tool's path may need a file dialog: no hourglass over it.
        hourglass.Done();
        TConfFiler conf(FServices);
        const QString brcc = conf.GetBrccPath();
        hourglass.Start();
        try {
            Compile(dir, brcc);
        } catch (const EAppExecWinExec &e) {
            hourglass.Done();
            switch (conf.AskAgainAfterFailedStart(TConfFiler::BrccKind, e.message())) {
            case TConfFiler::TAskAgain::NotAsked: throw;
            case TConfFiler::TAskAgain::Cancelled: return; // shown: nothing ran
            case TConfFiler::TAskAgain::Chosen: break;
            }
            hourglass.Start();
            Compile(dir, conf.Path(TConfFiler::BrccKind));
        }
        ran = true;
    });
    // Whatever the compiler did, version.rc holds the values; the built
    // file gets them too when asked.
    if (cbWriteBuilt->isEnabled() && cbWriteBuilt->isChecked())
        fail([&] { WriteIntoBuiltFile(OutputFileName, Fields()); });
    hourglass.Done();
    if (ran && !FileExists(res)) {
        const QString printed = AppExec1->LastOutputLines();
        FServices.dialogs().ShowMessage(
            printed.isEmpty() ? LoadStr(txt::ResourceNotCompiled)
                              : LoadStr(txt::ResourceNotCompiled) + QStringLiteral("\n\n") + printed);
    }
    return true;
}

void TFverDlg::Compile(const QString &dir, const QString &brcc)
{
    AppExec1->SetExeName(brcc);
    AppExec1->ExeParams().clear();
    AppExec1->SetExePath(dir);
    AppExec1->ExeParams() << QStringLiteral("version.rc -r");
    AppExec1->Execute();
}

void TFverDlg::Image1DblClick()
{
    ShowAbout(FServices.dialogs());
}
