#include "FEditMac.h"

#include "MacrosFiler.h"

#include "CodePage.h"

#include "core/StringTable.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>

#include <algorithm>

TFEditMacro::TFEditMacro(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FEditMacro"));
    setWindowTitle(LoadStr(txt::MacroEditorTitle));
    setFixedSize(486, 318);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 4, 471, 270);

    Label1 = new QLabel(LoadStr(txt::Title), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setGeometry(8, 16, 48, 21);

    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(64, 16, 169, 21);
    Label1->setBuddy(Edit1);

    Memo1 = new QPlainTextEdit(GroupBox1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(7, 48, 457, 209);
    Memo1->setTabChangesFocus(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(10, 284, 296, 25);

    Button1 = new QPushButton(LoadStr(txt::Ok), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(318, 284, 75, 25);
    Button1->setAutoDefault(false);

    Button2 = new QPushButton(LoadStr(txt::Cancel), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(402, 284, 75, 25);
    Button2->setAutoDefault(false);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Memo1, &QPlainTextEdit::textChanged, this, &TFEditMacro::UpdateCount);
    UpdateCount();
}

TFEditMacro::~TFEditMacro() = default;

namespace {

// What the user typed as line breaks (Enter, Shift+Enter) in the stored form.
QString Stored(const QString &raw)
{
    QString text;
    text.reserve(raw.size() + raw.size() / 16);
    for (const QChar c : raw) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            text += QLatin1String("\r\n");
        else
            text += c;
    }
    return text;
}

} // namespace

QString TFEditMacro::MemoRawText() const
{
    // Unlike toPlainText, keeps no-break spaces.
    return Memo1->document()->toRawText();
}

QString TFEditMacro::MemoText() const
{
    const QString now = MemoRawText();
    if (now == FShown)
        return FBody;
    // Only the changed stretch comes from the editor; the rest keeps the
    // body's own characters (lone CR or LF, no-break spaces).
    const qsizetype most = std::min(now.size(), FShown.size());
    qsizetype head = 0;
    while (head < most && now.at(head) == FShown.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < most - head
           && now.at(now.size() - 1 - tail) == FShown.at(FShown.size() - 1 - tail))
        ++tail;
    const qsizetype from = FStarts[size_t(head)];
    const qsizetype to = FStarts[size_t(FShown.size() - tail)];
    return FBody.left(from) + Stored(now.mid(head, now.size() - tail - head)) + FBody.mid(to);
}

void TFEditMacro::SetMemoText(const QString &text)
{
    // The editor knows one line break; remember where each shown character
    // starts in the body.
    QString plain;
    plain.reserve(text.size());
    std::vector<qsizetype> starts;
    starts.reserve(size_t(text.size()) + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        starts.push_back(i);
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            plain += QLatin1Char('\n');
        } else {
            plain += c;
        }
    }
    starts.push_back(text.size());
    Memo1->setPlainText(plain);
    const QString shown = MemoRawText();
    if (shown.size() == plain.size()) {
        FBody = text;
        FShown = shown;
        FStarts = std::move(starts);
    } else {
        // The editor changed more than line breaks: take its text as typed.
        FBody.clear();
        FShown.clear();
        FStarts = {0};
    }
    UpdateCount();
}

void TFEditMacro::UpdateCount()
{
    // What the record holds is bytes: line ends take two, a character
    // outside Windows-1252 up to four (CodePage).
    const qsizetype used = EncodeText(MemoText()).size();
    const int room = TMacroRec::BodyCapacity;
    if (used > room) {
        Label2->setText(QStringLiteral("%1/%2 bytes: only the first %2 are kept")
                            .arg(used)
                            .arg(room));
        Label2->setStyleSheet(QStringLiteral("color: #b00000;"));
    } else {
        Label2->setText(QStringLiteral("%1/%2 bytes").arg(used).arg(room));
        Label2->setStyleSheet(QString());
    }
}

void TFEditMacro::showEvent(QShowEvent *event)
{
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TFEditMacro::keyPressEvent(QKeyEvent *event)
{
    // Neither button is the default, so Enter in the title box does not
    // close the dialog; on a focused button it presses that button.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        for (QPushButton *button : {Button1, Button2}) {
            if (button->hasFocus()) {
                button->click();
                return;
            }
        }
    }
    QDialog::keyPressEvent(event);
}
