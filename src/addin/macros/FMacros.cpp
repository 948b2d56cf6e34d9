#include "FMacros.h"

#include "core/GuideKey.h"
#include "core/Logo.h"

#include "FEditMac.h"
#include "MacrosFiler.h"
#include "Snippets.h"

#include "Dialogs.h"
#include "Paths.h"

#include "core/CommandEdge.h"
#include "core/StringTable.h"

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>

TFMacrosForm::TFMacrosForm(QWidget *owner, const TAddinServices &services)
    : QDialog(owner), FServices(services)
{
    setObjectName(QStringLiteral("FMacrosForm"));
    InstallGuideKey(this, services, GuideMacros);
    setWindowTitle(LoadStr(txt::AvailableMacros));
    setFixedSize(330, 208);

    GroupBox1 = new QGroupBox(QStringLiteral("Macros"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 233, 185);

    ListBox1 = new QListWidget(GroupBox1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 20, 217, 157);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setToolTip(QStringLiteral("Pulse el boton derecho del raton para ver el menu"));
    QPalette palette = ListBox1->palette();
    palette.setColor(QPalette::Base, QToolTip::palette().color(QPalette::ToolTipBase));
    palette.setColor(QPalette::Text, QToolTip::palette().color(QPalette::ToolTipText));
    ListBox1->setPalette(palette);
    ListBox1->viewport()->installEventFilter(this);

    Button1 = new QPushButton(LoadStr(txt::Ok), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(249, 16, 75, 25);
    Button1->setDefault(true);

    Button2 = new QPushButton(LoadStr(txt::Cancel), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(249, 48, 75, 25);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Nuevo1 = PopupMenu1->addAction(LoadStr(txt::New));
    Nuevo1->setObjectName(QStringLiteral("Nuevo1"));
    Editar1 = PopupMenu1->addAction(LoadStr(txt::Edit));
    Editar1->setObjectName(QStringLiteral("Editar1"));
    N1 = PopupMenu1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Borrar1 = PopupMenu1->addAction(LoadStr(txt::Delete));
    Borrar1->setObjectName(QStringLiteral("Borrar1"));
    N2 = PopupMenu1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    Importar1 = PopupMenu1->addAction(LoadStr(txt::ImportSnippets));
    Importar1->setObjectName(QStringLiteral("Importar1"));

    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(at));
    });

    Image1 = new TLogoImage(this);
    Image1->setGeometry(245, 160, 80, 35);
    connect(Image1, &TLogoImage::clicked, this, &TFMacrosForm::Image1Click);

    connect(Button1, &QPushButton::clicked, this, &TFMacrosForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Nuevo1, &QAction::triggered, this, &TFMacrosForm::Nuevo1Click);
    connect(Editar1, &QAction::triggered, this, &TFMacrosForm::Editar1Click);
    connect(Borrar1, &QAction::triggered, this, &TFMacrosForm::Borrar1Click);
    connect(Importar1, &QAction::triggered, this, &TFMacrosForm::Importar1Click);

    FFiler = std::make_unique<TMacrosFiler>(FServices);
    // No data file yet: say so, and open with what could be read.
    RunAtEdge(FServices.dialogs(), [this] { FFiler->Load(); });
    FillList();
}

TFMacrosForm::~TFMacrosForm() = default;

int TFMacrosForm::ItemIndex() const
{
    return ListBox1->currentRow();
}

void TFMacrosForm::FillList()
{
    ListBox1->clear();
    for (int i = 0; i < FFiler->Count(); ++i)
        ListBox1->addItem(FFiler->Macro(i).Title());
    if (ListBox1->count() > 0)
        ListBox1->setCurrentRow(0);
}

void TFMacrosForm::Button1Click()
{
    const int index = ItemIndex();
    if (index >= 0 && index < FFiler->Count())
        MacroText = FFiler->Macro(index).Body();
    accept();
}

void TFMacrosForm::ListBox1DblClick()
{
    // Closes with OK even when no macro is selected; nothing is then inserted.
    RunAtEdge(FServices.dialogs(), [this] { MacroText = FFiler->Macro(ItemIndex()).Body(); });
    accept();
}

void TFMacrosForm::Nuevo1Click()
{
    TFEditMacro editor(this);
    if (editor.exec() != QDialog::Accepted)
        return;
    FFiler->Add(editor.Edit1->text(), editor.MemoText());
    FFiler->Save();
    FillList();
}

void TFMacrosForm::Editar1Click()
{
    const int index = ItemIndex();
    bool edited = false;
    RunAtEdge(FServices.dialogs(), [&] {
        TMacroRec &macro = FFiler->Macro(index);
        TFEditMacro editor(this);
        editor.Edit1->setText(macro.Title());
        editor.SetMemoText(macro.Body());
        if (editor.exec() != QDialog::Accepted)
            return;
        // An untouched field keeps its bytes: re-encoding may choose differently.
        if (editor.Edit1->text() != macro.Title())
            macro.SetTitle(editor.Edit1->text());
        if (editor.MemoText() != macro.Body())
            macro.SetBody(editor.MemoText());
        edited = true;
    });
    if (!edited)
        return;
    FFiler->Save();
    FillList();
}

void TFMacrosForm::Borrar1Click()
{
    const int index = ItemIndex();
    if (index < 0 || index >= FFiler->Count())
        return;
    if (!FServices.dialogs().AskYesNo(LoadStr(txt::AskDeleteMacro)))
        return;
    FFiler->Delete(index);
    FFiler->Save();
    FillList();
}

namespace {

// Where VS Code keeps the user's snippets, when it is there.
QString SnippetsDir()
{
    const QString dir = UserConfigDir() + QStringLiteral("/Code/User/snippets");
    return QDir(dir).exists() ? dir : QDir::homePath();
}

} // namespace

void TFMacrosForm::Importar1Click()
{
    TDialogService &dialogs = FServices.dialogs();
    const QString fileName = dialogs.GetOpenFileName(
        LoadStr(txt::ImportSnippetsTitle),
        QStringLiteral("VS Code snippets (*.code-snippets pascal.json objectpascal.json);;"
                       "JSON files (*.json);;All files (*)"),
        SnippetsDir());
    if (fileName.isEmpty())
        return;
    RunAtEdge(dialogs, [&] {
        TSnippetFile file;
        try {
            file = ReadSnippetFile(fileName);
        } catch (const ESnippetError &e) {
            throw ESnippetError(LoadStr(txt::SnippetsCannotRead).arg(e.message()));
        }
        const int imported = ImportSnippets(*FFiler, file, dialogs);
        if (imported > 0) {
            FFiler->Save();
            FillList();
        }
        dialogs.ShowMessage(SnippetReport(file, imported));
    });
}

void TFMacrosForm::Image1Click()
{
    ShowAbout(FServices.dialogs());
}

bool TFMacrosForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListBox1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            ListBox1DblClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFMacrosForm::showEvent(QShowEvent *event)
{
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
