#include "EditData.h"

#include "core/CommandEdge.h"
#include "core/StringTable.h"

#include "Dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>

TFEditData::TFEditData(QWidget *owner, TDataSource *source, TDialogService &dialogs)
    : QDialog(owner), FSource(source), FDialogs(dialogs)
{
    setObjectName(QStringLiteral("FEditData"));
    resize(460, 360);
    auto *grid = new QGridLayout(this);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    DBEdit1 = new TDBEdit(this);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setMaxLength(40);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(DBEdit1, 0, 1);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    DBEdit2 = new TDBEdit(this);
    DBEdit2->setObjectName(QStringLiteral("DBEdit2"));
    DBEdit2->setMaxLength(255);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(DBEdit2, 1, 1);

    DBCheckBox1 = new TDBCheckBox(this);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    DBCheckBox1->setText(QStringLiteral("Popup"));
    Label4 = new QLabel(QStringLiteral("Topic ID:"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    DBText1 = new TDBText(this);
    DBText1->setObjectName(QStringLiteral("DBText1"));
    auto *row = new QHBoxLayout;
    row->addWidget(DBCheckBox1);
    row->addStretch();
    row->addWidget(Label4);
    row->addWidget(DBText1);
    grid->addLayout(row, 2, 1);

    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    DBMemo1 = new TDBRichMemo(this);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->addWidget(Label3, 3, 0, Qt::AlignTop);
    grid->addWidget(DBMemo1, 3, 1);
    grid->setRowStretch(3, 1);

    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(this);
    Button2->setObjectName(QStringLiteral("Button2"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    grid->addLayout(buttons, 4, 0, 1, 2);

    DBEdit1->Link.SetDataField(QStringLiteral("Titulo"));
    DBEdit2->Link.SetDataField(QStringLiteral("Keyword"));
    DBCheckBox1->Link.SetDataField(QStringLiteral("Popup"));
    DBMemo1->Link.SetDataField(QStringLiteral("TExto"));
    DBText1->Link.SetDataField(QStringLiteral("Map"));
    for (TFieldLink *link : {&DBEdit1->Link, &DBEdit2->Link, &DBCheckBox1->Link, &DBMemo1->Link, &DBText1->Link})
        link->SetDataSource(FSource);

    connect(DBEdit1, &QLineEdit::textEdited, this, [this](const QString &t) { Typed(DBEdit1->Link, t); });
    connect(DBEdit2, &QLineEdit::textEdited, this, [this](const QString &t) { Typed(DBEdit2->Link, t); });
    connect(DBCheckBox1, &QCheckBox::clicked, this,
            [this](bool checked) { Typed(DBCheckBox1->Link, TDBCheckBox::FieldText(checked)); });
    // Only the user's changes: loading the field sets the text too.
    connect(DBMemo1->document(), &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if ((removed || added) && !DBMemo1->Loading)
            Typed(DBMemo1->Link, DBMemo1->toPlainText());
    });
    connect(Button1, &QPushButton::clicked, this, &TFEditData::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFEditData::Button2Click);

    FormCreate();
}

void TFEditData::FormCreate()
{
    setWindowTitle(LoadStr(txt::TopicEditTitle));
    Label1->setText(LoadStr(txt::Title));
    Label2->setText(LoadStr(txt::TextSearch));
    Label3->setText(LoadStr(txt::TextHelp));
    Button1->setText(LoadStr(txt::Ok));
    Button2->setText(LoadStr(txt::Cancel));
    // The contents topic has only its text.
    const TField *title = DBEdit1->Link.Field();
    if (title && title->AsString() == LoadStr(txt::ContentsTopic)) {
        DBEdit1->setEnabled(false);
        DBEdit2->setEnabled(false);
        DBCheckBox1->setEnabled(false);
    }
}

TTable *TFEditData::Table() const
{
    return FSource ? qobject_cast<TTable *>(FSource->DataSet) : nullptr;
}

void TFEditData::Typed(TFieldLink &link, const QString &value)
{
    TTable *table = Table();
    TField *field = link.Field();
    if (!table || !field)
        return;
    RunAtEdge(FDialogs, [&] {
        if (!Editing(table)) {
            // Unannounced, so that the other controls do not reload the
            // record over what is being typed; announced once the value is in.
            const bool blocked = table->blockSignals(true);
            try {
                table->Edit();
            } catch (...) {
                table->blockSignals(blocked);
                throw;
            }
            table->blockSignals(blocked);
            field->SetAsString(value);
            emit table->StateChanged();
            return;
        }
        field->SetAsString(value);
    });
}

void TFEditData::Button1Click()
{
    TTable *table = Table();
    // A refused post keeps the dialog open, so the title can be corrected
    // or the edit cancelled.
    const bool posted = RunAtEdge(FDialogs, [&] {
        if (Editing(table))
            table->Post();
    });
    if (posted)
        QDialog::done(QDialog::Accepted);
}

void TFEditData::Button2Click()
{
    TTable *table = Table();
    RunAtEdge(FDialogs, [&] {
        if (Editing(table))
            table->Cancel();
    });
    QDialog::done(QDialog::Accepted);
}

// The close box and Esc: nothing started is left pending.
void TFEditData::done(int result)
{
    if (result != QDialog::Accepted) {
        Button2Click();
        return;
    }
    QDialog::done(result);
}
