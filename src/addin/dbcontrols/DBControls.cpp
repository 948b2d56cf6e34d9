#include "DBControls.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>

bool Editing(const TDataSet *data)
{
    return data && (data->State() == TDataSetState::Edit || data->State() == TDataSetState::Insert);
}

QString WithoutBreaks(const QString &text)
{
    QString result = text;
    result.removeIf([](QChar c) {
        return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t')
            || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    });
    return result;
}

namespace {

bool IsEnter(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

// Entering and leaving a control, as the user moves between the dialog's
// controls; opening a drop-down or switching windows is neither.
bool MovesBetweenControls(const QFocusEvent *event)
{
    return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}

// What a Boolean field reads as, whichever texts the box was given.
const QString TrueText = QStringLiteral("True");
const QString FalseText = QStringLiteral("False");

} // namespace

// -------------------------------------------------------------- TFieldLink

TFieldLink::TFieldLink(QObject *parent, std::function<QString()> read,
                       std::function<void(const QString &)> show)
    : QObject(parent), FRead(std::move(read)), FShow(std::move(show))
{
}

void TFieldLink::SetDataSource(TDataSource *source)
{
    FSource = source;
    Attach();
}

void TFieldLink::SetDataField(const QString &fieldName)
{
    FFieldName = fieldName;
    Load();
}

void TFieldLink::Attach()
{
    if (FDataSet)
        disconnect(FDataSet, nullptr, this, nullptr);
    FDataSet = FSource ? FSource->DataSet : nullptr;
    if (FDataSet) {
        connect(FDataSet, &TDataSet::DataSetChanged, this, &TFieldLink::Load);
        connect(FDataSet, &TDataSet::Scrolled, this, &TFieldLink::Load);
        connect(FDataSet, &TDataSet::StateChanged, this, &TFieldLink::Load);
        connect(FDataSet, &TDataSet::FieldChanged, this, [this](TField *field) {
            if (field == Field())
                Load();
        });
    }
    Load();
}

TField *TFieldLink::Field() const
{
    if (!FDataSet || !FDataSet->Active() || FFieldName.isEmpty())
        return nullptr;
    try {
        return FDataSet->FieldByName(FFieldName);
    } catch (const EDatabaseError &) {
        return nullptr;
    }
}

void TFieldLink::Load()
{
    const TField *field = Field();
    const QString text = field ? field->AsString() : QString();
    if (FRead() != text)
        FShow(text);
}

void TFieldLink::UpdateRecord()
{
    TField *field = Field();
    if (!field || !Editing(FDataSet))
        return;
    const QString text = FRead();
    if (text != field->AsString())
        field->SetAsString(text);
}

// ------------------------------------------------------ bound edit boxes

TDBEdit::TDBEdit(QWidget *parent)
    : QLineEdit(parent),
      Link(this, [this] { return text(); }, [this](const QString &value) { setText(value); })
{
}

void TDBEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (OnEnter && MovesBetweenControls(event))
        OnEnter();
}

void TDBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (OnExit && MovesBetweenControls(event))
        OnExit();
}

TDBMemo::TDBMemo(QWidget *parent)
    : QPlainTextEdit(parent),
      Link(this, [this] { return toPlainText(); }, [this](const QString &value) { setPlainText(value); })
{
    // Tab moves on to the next control instead of going into the text.
    setTabChangesFocus(true);
}

void TDBMemo::keyPressEvent(QKeyEvent *event)
{
    // DBMemo1KeyPress: a text is one line without tabs. Tab itself moves on
    // before it gets here; the refused keys are taken so that they do not
    // reach the dialog's default button either.
    const QString typed = event->text();
    if (IsEnter(event) || (!typed.isEmpty() && WithoutBreaks(typed) != typed)) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TDBMemo::insertFromMimeData(const QMimeData *source)
{
    if (source && source->hasText())
        insertPlainText(WithoutBreaks(source->text()));
}

// ------------------------------------------------------- help table boxes

TDBCheckBox::TDBCheckBox(QWidget *parent)
    : QCheckBox(parent),
      Link(this, [this] { return isChecked() ? TrueText : FalseText; },
           [this](const QString &value) {
               setChecked(value.compare(TrueText, Qt::CaseInsensitive) == 0 || value == ValueChecked);
           })
{
}

QString TDBCheckBox::FieldText(bool checked)
{
    return checked ? TrueText : FalseText;
}

TDBRichMemo::TDBRichMemo(QWidget *parent)
    : QPlainTextEdit(parent),
      Link(this, [this] { return toPlainText(); },
           [this](const QString &value) {
               Loading = true;
               setPlainText(value);
               Loading = false;
           })
{
}

TDBText::TDBText(QWidget *parent)
    : QLabel(parent), Link(this, [this] { return text(); }, [this](const QString &value) { setText(value); })
{
}
