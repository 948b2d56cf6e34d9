#include "FSLang.h"

#include "core/StringTable.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TSetLang::TSetLang(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("SetLang"));
    setWindowTitle(QStringLiteral("Languages"));
    setFixedSize(290, 248);
    for (int i = 0; i < 7; ++i) {
        const int y = 12 + i * 28;
        Labels[i] = new QLabel(QStringLiteral("Language %1:").arg(i + 1), this);
        Labels[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        Labels[i]->setGeometry(8, y, 80, 21);
        Edits[i] = new QLineEdit(this);
        Edits[i]->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
        Edits[i]->setGeometry(92, y, 190, 21);
        Labels[i]->setBuddy(Edits[i]);
    }
    Button1 = new QPushButton(LoadStr(txt::Ok), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(126, 212, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    Button2 = new QPushButton(LoadStr(txt::Cancel), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(207, 212, 75, 25);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}
