// The tool windows' shared scaffolding: key preview and speed buttons.
#include "core/FormKit.h"

#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

TEST(KeyPreview, TheFormSeesItsControlsKeysFirstAndSwallowsWhatItHandles)
{
    QWidget form;
    auto *edit = new QLineEdit(&form);
    QList<int> seen;
    InstallKeyPreview(&form, {edit}, [&](QKeyEvent *event) {
        seen.append(event->key());
        return event->key() == Qt::Key_A;
    });

    QTest::keyClick(edit, Qt::Key_A);
    QTest::keyClick(edit, Qt::Key_B);
    EXPECT_EQ(seen, QList<int>({Qt::Key_A, Qt::Key_B}));
    EXPECT_EQ(edit->text(), QStringLiteral("b")) << "the handled key still reached the control";

    // A control made later joins once added.
    auto *later = new QLineEdit(&form);
    AddToKeyPreview(&form, later);
    QTest::keyClick(later, Qt::Key_A);
    EXPECT_EQ(later->text(), QString());

    // A control that is a window of its own, like a popup menu, keeps its keys.
    auto *own = new QLineEdit(&form);
    AddToKeyPreview(&form, own);
    own->setWindowFlags(Qt::Popup);
    seen.clear();
    QTest::keyClick(own, Qt::Key_A);
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(own->text(), QStringLiteral("a"));
}

TEST(SpeedButton, TabPassesItByAndItShowsItsHintAndGlyph)
{
    QWidget form;
    auto *layout = new QVBoxLayout(&form);
    auto *first = new QLineEdit(&form);
    QToolButton *button = NewSpeedButton(&form, "btnAdd", QIcon(), QStringLiteral("Add"),
                                         QStringLiteral("+"));
    auto *second = new QLineEdit(&form);
    for (QWidget *w : {static_cast<QWidget *>(first), static_cast<QWidget *>(button),
                       static_cast<QWidget *>(second)})
        layout->addWidget(w);
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), second);

    EXPECT_EQ(form.findChild<QToolButton *>(QStringLiteral("btnAdd")), button);
    EXPECT_EQ(button->toolTip(), QStringLiteral("Add"));
    EXPECT_EQ(button->text(), QStringLiteral("+")) << "no icon: the glyph shows";
}
