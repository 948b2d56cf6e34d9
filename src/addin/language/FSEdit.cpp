#include "FSEdit.h"

#include "core/CommandEdge.h"
#include "core/StringTable.h"
#include "core/FormKit.h"

#include "Dialogs.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

QString NormalizeIdentifier(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c == QLatin1Char(' '))
            c = QLatin1Char('_');
        else if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return result;
}

namespace {

bool IsEnter(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

// ---------------------------------------------------------------- TDlgEdit

TDlgEdit::TDlgEdit(QWidget *owner, TDataSource *source, TDialogService &dialogs)
    : QDialog(owner), FSource(source), FDialogs(dialogs)
{
    setObjectName(QStringLiteral("DlgEdit"));
    setWindowTitle(QStringLiteral("Edit String"));
    setFixedSize(400, 206);

    Label1 = new QLabel(LoadStr(txt::Language), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 12, 70, 21);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(84, 12, 180, 21);
    Label1->setBuddy(ComboBox1);

    Label2 = new QLabel(QStringLiteral("Identifer:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 42, 70, 21);
    DBEdit1 = new TDBEdit(this);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setGeometry(84, 42, 308, 21);
    Label2->setBuddy(DBEdit1);

    DBMemo1 = new TDBMemo(this);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setGeometry(8, 72, 384, 92);

    Button1 = new QPushButton(LoadStr(txt::Close), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(317, 172, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    DBEdit1->Link.SetDataSource(FSource);
    DBEdit1->Link.SetDataField(QStringLiteral("idst"));
    if (const TField *idst = DBEdit1->Link.Field(); idst && idst->Size() > 0)
        DBEdit1->setMaxLength(idst->Size());
    DBEdit1->OnEnter = [this] { DBEdit1Enter(); };
    DBEdit1->OnExit = [this] { DBEdit1Exit(); };
    DBMemo1->Link.SetDataSource(FSource);

    connect(ComboBox1, &QComboBox::activated, this, [this](int) { ComboBox1Change(); });

    // Key preview: the dialog sees each key before the focused control.
    InstallKeyPreview(this, {ComboBox1, DBEdit1, DBMemo1, Button1},
                      [this](QKeyEvent *event) { return FormKeyDown(event); });
}

TTable *TDlgEdit::Table() const
{
    return FSource ? qobject_cast<TTable *>(FSource->DataSet) : nullptr;
}

void TDlgEdit::BindLanguage(int entry)
{
    FBoundEntry = entry;
    DBMemo1->Link.SetDataField(entry >= 0 && entry < 7 ? QStringLiteral("L%1").arg(entry + 1) : QString());
    DBMemo1->setEnabled(DBMemo1->Link.Field() != nullptr);
}

void TDlgEdit::UpdateRecord()
{
    DBEdit1->Link.UpdateRecord();
    DBMemo1->Link.UpdateRecord();
}

void TDlgEdit::ComboBox1Change()
{
    const int entry = ComboBox1->currentIndex();
    if (entry == FBoundEntry)
        return;
    TTable *table = Table();
    const bool posted = RunAtEdge(FDialogs, [&] {
        UpdateRecord();
        if (table)
            table->Post();
    });
    if (!posted) {
        // The record stays in edit mode on the language it was showing.
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->setCurrentIndex(FBoundEntry);
        return;
    }
    BindLanguage(entry);
    RunAtEdge(FDialogs, [&] {
        if (table)
            table->Edit();
    });
}

void TDlgEdit::DBEdit1Enter()
{
    TField *idst = DBEdit1->Link.Field();
    if (idst && Editing(idst->DataSet()) && idst->AsString().isEmpty())
        idst->SetAsString(QStringLiteral("IDS_"));
}

void TDlgEdit::DBEdit1Exit()
{
    RunAtEdge(FDialogs, [&] {
        DBEdit1->Link.UpdateRecord();
        TField *idst = DBEdit1->Link.Field();
        if (!idst || !Editing(idst->DataSet()))
            return;
        const QString normal = NormalizeIdentifier(idst->AsString());
        if (normal != idst->AsString())
            idst->SetAsString(normal);
    });
}

bool TDlgEdit::FormKeyDown(QKeyEvent *event)
{
    if (!IsEnter(event) && event->key() != Qt::Key_Escape)
        return false;
    reject();
    return true;
}

void TDlgEdit::done(int result)
{
    if (result == QDialog::Accepted && OnOk && !OnOk())
        return;
    QDialog::done(result);
}

void TDlgEdit::keyPressEvent(QKeyEvent *event)
{
    if (!FormKeyDown(event))
        QDialog::keyPressEvent(event);
}
