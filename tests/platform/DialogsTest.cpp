// The Qt message boxes behind the dialog service, answered by keys.
#include "Dialogs.h"

#include "ModalDriver.h"

#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Sends key to the next box the service shows; records the box's text.
void KeyOnNextBox(Qt::Key key, QString *shown)
{
    OnNextModal([key, shown](QDialog *box) {
        if (auto *message = qobject_cast<QMessageBox *>(box))
            *shown = message->text();
        QTest::keyClick(box, key);
    });
}

TEST(QtDialogs, QuestionAnswersYesOnEnterAndNoOnEscape)
{
    SetDialogService(nullptr); // the Qt boxes
    QString shown;
    KeyOnNextBox(Qt::Key_Return, &shown);
    EXPECT_TRUE(Dialogs().AskYesNo(QStringLiteral("Delete actual String?")));
    EXPECT_EQ(shown, QStringLiteral("Delete actual String?"));

    KeyOnNextBox(Qt::Key_Enter, &shown);
    EXPECT_TRUE(Dialogs().AskYesNo(QStringLiteral("Keypad Enter")));

    KeyOnNextBox(Qt::Key_Escape, &shown);
    EXPECT_FALSE(Dialogs().AskYesNo(QStringLiteral("Escape")));
    EXPECT_EQ(shown, QStringLiteral("Escape"));
}

} // namespace
