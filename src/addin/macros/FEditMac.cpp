#include "FEditMac.h"

#include "MacrosFiler.h"

#include "core/StringTable.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

TFEditMacro::TFEditMacro(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("FEditMacro"));
    setWindowTitle(LoadStr(1015));
    setFixedSize(486, 318);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 4, 471, 270);

    Label1 = new QLabel(LoadStr(1108), GroupBox1);
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

    Button1 = new QPushButton(LoadStr(1000), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(318, 284, 75, 25);
    Button1->setAutoDefault(false);

    Button2 = new QPushButton(LoadStr(1012), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(402, 284, 75, 25);
    Button2->setAutoDefault(false);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Memo1, &QPlainTextEdit::textChanged, this, &TFEditMacro::UpdateCount);
    UpdateCount();
}

TFEditMacro::~TFEditMacro() = default;

QString TFEditMacro::MemoText() const
{
    QString text = Memo1->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

void TFEditMacro::SetMemoText(const QString &text)
{
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Memo1->setPlainText(plain);
}

void TFEditMacro::UpdateCount()
{
    // Line ends count twice: the stored body separates lines with CR LF.
    const qsizetype used = MemoText().size();
    const int room = TMacroRec::BodyCapacity;
    if (used > room) {
        Label2->setText(QStringLiteral("%1/%2 characters: only the first %2 are kept")
                            .arg(used)
                            .arg(room));
        Label2->setStyleSheet(QStringLiteral("color: #b00000;"));
    } else {
        Label2->setText(QStringLiteral("%1/%2 characters").arg(used).arg(room));
        Label2->setStyleSheet(QString());
    }
}

void TFEditMacro::showEvent(QShowEvent *event)
{
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
