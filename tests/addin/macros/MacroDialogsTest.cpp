// The macro list and edit dialogs, driven through their named components
// with scripted message boxes, on a real data file.
#include "MacrosTesting.h"

#include "macros/FEditMac.h"
#include "macros/FMacros.h"
#include "core/Logo.h"
#include "macros/MacrosFiler.h"

#include "SafeFile.h"
#include "TestServices.h"
#include "ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <sys/stat.h>

namespace {

using namespace MacrosTesting;

template <typename T>
T *Child(QObject *form, const char *name)
{
    T *child = form->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QStringList Titles(QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

ino_t Inode(const QString &path)
{
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_ino : 0;
}

// Fills the next edit dialog and confirms (or cancels) it.
void FillNextEditor(const QString &title, const QString &body, bool ok = true)
{
    Drive([=](QDialog *d) {
        Child<QLineEdit>(d, "Edit1")->setText(title);
        Child<QPlainTextEdit>(d, "Memo1")->setPlainText(body);
        QTest::mouseClick(Child<QPushButton>(d, ok ? "Button1" : "Button2"), Qt::LeftButton);
    });
}

class MacroDialogsTest : public DataDirTest {
protected:
    void SetUp() override
    {
        DataDirTest::SetUp();
        Three = Record("Header", "{ header }") + Record("Loop", "for i := 0 to 9 do\r\nbegin\r\nend;")
            + Record("Author", "{ Author: me }");
    }
    QByteArray Three;
    ScriptedDialogs dialogs;
};

TEST_F(MacroDialogsTest, ListShowsTheTitlesInStoreOrderWithTheFirstSelected)
{
    WriteDat(Three);
    TFMacrosForm form(nullptr, TestServices());
    auto *list = Child<QListWidget>(&form, "ListBox1");
    EXPECT_EQ(Titles(list), (QStringList{"Header", "Loop", "Author"}));
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(list->currentItem()->isSelected());
    EXPECT_TRUE(form.MacroText.isEmpty());
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(MacroDialogsTest, RunTimeCaptionsNamesAndSizes)
{
    TFMacrosForm form(nullptr, TestServices());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Avaible Macros"));
    EXPECT_EQ(form.size(), QSize(330, 208));
    EXPECT_EQ(Child<QGroupBox>(&form, "GroupBox1")->title(), QStringLiteral("Macros"));
    EXPECT_EQ(Child<QGroupBox>(&form, "GroupBox1")->size(), QSize(233, 185));
    EXPECT_EQ(Child<QPushButton>(&form, "Button1")->text(), QStringLiteral("Ok"));
    EXPECT_TRUE(Child<QPushButton>(&form, "Button1")->isDefault());
    EXPECT_EQ(Child<QPushButton>(&form, "Button2")->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(Child<QListWidget>(&form, "ListBox1")->toolTip(),
              QStringLiteral("Pulse el boton derecho del raton para ver el menu"));
    EXPECT_EQ(Child<QLabel>(&form, "Image1")->toolTip(), QStringLiteral("Click Here"));
    auto *menu = Child<QMenu>(&form, "PopupMenu1");
    QStringList items;
    for (QAction *a : menu->actions())
        items << a->objectName() + QLatin1Char('=') + (a->isSeparator() ? QStringLiteral("-") : a->text());
    // The described items first, unchanged; the import after a separator.
    EXPECT_EQ(items, (QStringList{"Nuevo1=New", "Editar1=Edit", "N1=-", "Borrar1=Delete", "N2=-",
                                  "Importar1=Import VS Code Snippets..."}));

    TFEditMacro editor;
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Macro Editor"));
    EXPECT_EQ(editor.size(), QSize(486, 318));
    EXPECT_EQ(Child<QLabel>(&editor, "Label1")->text(), QStringLiteral("Title:"));
    EXPECT_EQ(Child<QLineEdit>(&editor, "Edit1")->width(), 169);
    EXPECT_EQ(Child<QPlainTextEdit>(&editor, "Memo1")->size(), QSize(457, 209));
    EXPECT_EQ(Child<QPushButton>(&editor, "Button1")->text(), QStringLiteral("Ok"));
    EXPECT_EQ(Child<QPushButton>(&editor, "Button2")->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(Child<QGroupBox>(&editor, "GroupBox1")->title(), QString());
}

TEST_F(MacroDialogsTest, OkAndEnterTakeTheSelectedBody)
{
    WriteDat(Three);
    {
        TFMacrosForm form(nullptr, TestServices());
        Drive([](QDialog *d) {
            Child<QListWidget>(d, "ListBox1")->setCurrentRow(1);
            QTest::mouseClick(Child<QPushButton>(d, "Button1"), Qt::LeftButton);
        });
        EXPECT_EQ(form.exec(), QDialog::Accepted);
        EXPECT_EQ(form.MacroText, QStringLiteral("for i := 0 to 9 do\r\nbegin\r\nend;"));
    }
    {
        TFMacrosForm form(nullptr, TestServices());
        Drive([](QDialog *d) { QTest::keyClick(d, Qt::Key_Return); });
        EXPECT_EQ(form.exec(), QDialog::Accepted);
        EXPECT_EQ(form.MacroText, QStringLiteral("{ header }"));
    }
}

// Enter presses the focused button; in the title box it closes nothing.
TEST_F(MacroDialogsTest, EnterOnTheEditorsFocusedButtonPressesIt)
{
    for (const auto &[steps, expected] : {std::pair{1, QDialog::Accepted}, std::pair{2, QDialog::Rejected}}) {
        TFEditMacro editor;
        bool openAfterTitleEnter = false;
        QString focused;
        Drive([&, steps = steps](QDialog *d) {
            d->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(d));
            auto *title = Child<QLineEdit>(d, "Edit1");
            title->setFocus(Qt::TabFocusReason);
            QTest::keyClick(title, Qt::Key_Return);
            openAfterTitleEnter = d->isVisible();
            Child<QPlainTextEdit>(d, "Memo1")->setFocus(Qt::TabFocusReason);
            for (int i = 0; i < steps; ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            focused = QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        EXPECT_EQ(editor.exec(), expected) << steps;
        EXPECT_TRUE(openAfterTitleEnter);
        EXPECT_EQ(focused, steps == 1 ? QStringLiteral("Button1") : QStringLiteral("Button2"));
    }
}

TEST_F(MacroDialogsTest, DoubleClickChoosesTheMacroAndCloses)
{
    WriteDat(Three);
    TFMacrosForm form(nullptr, TestServices());
    Drive([](QDialog *d) {
        auto *list = Child<QListWidget>(d, "ListBox1");
        const QPoint at = list->visualItemRect(list->item(2)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_EQ(form.MacroText, QStringLiteral("{ Author: me }"));
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(MacroDialogsTest, CancelEscapeAndCloseChooseNothing)
{
    WriteDat(Three);
    const std::vector<std::function<void(QDialog *)>> ways = {
        [](QDialog *d) { QTest::mouseClick(Child<QPushButton>(d, "Button2"), Qt::LeftButton); },
        [](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); },
        [](QDialog *d) { d->close(); },
    };
    for (const auto &way : ways) {
        TFMacrosForm form(nullptr, TestServices());
        Drive(way);
        EXPECT_EQ(form.exec(), QDialog::Rejected);
        EXPECT_TRUE(form.MacroText.isEmpty());
    }
    EXPECT_EQ(ReadDat(), Three);
}

TEST_F(MacroDialogsTest, MissingFileIsReportedAndTheDialogStillOpens)
{
    TFMacrosForm form(nullptr, TestServices());
    EXPECT_EQ(dialogs.texts, QStringList{QStringLiteral("No exist datafile, you must create one")});
    EXPECT_EQ(Child<QListWidget>(&form, "ListBox1")->count(), 0);
    // The first New creates the file.
    FillNextEditor(QStringLiteral("First"), QStringLiteral("one"));
    form.Nuevo1->trigger();
    EXPECT_EQ(ReadDat(), Record("First", "one"));
    EXPECT_EQ(Titles(form.ListBox1), QStringList{"First"});
}

TEST_F(MacroDialogsTest, NewAppendsSavesAndRelists)
{
    WriteDat(Three);
    TFMacrosForm form(nullptr, TestServices());
    form.ListBox1->setCurrentRow(2);
    const QString longTitle = QString(120, QLatin1Char('n'));
    FillNextEditor(longTitle, QStringLiteral("line 1\nline 2"));
    form.Nuevo1->trigger();
    EXPECT_EQ(ReadDat(), Three + Record(QByteArray(100, 'n'), "line 1\r\nline 2"));
    EXPECT_EQ(Titles(form.ListBox1),
              (QStringList{"Header", "Loop", "Author", longTitle.left(100)}));
    EXPECT_EQ(form.ListBox1->currentRow(), 0);

    // Cancel in the editor adds nothing.
    FillNextEditor(QStringLiteral("dropped"), QStringLiteral("x"), false);
    form.Nuevo1->trigger();
    EXPECT_EQ(form.ListBox1->count(), 4);
}

TEST_F(MacroDialogsTest, EditShowsTheMacroAndOkOverwritesIt)
{
    WriteDat(Three);
    TFMacrosForm form(nullptr, TestServices());
    form.ListBox1->setCurrentRow(1);
    QString seenTitle, seenBody;
    Drive([&](QDialog *d) {
        seenTitle = Child<QLineEdit>(d, "Edit1")->text();
        seenBody = Child<QPlainTextEdit>(d, "Memo1")->toPlainText();
        Child<QLineEdit>(d, "Edit1")->setText(QStringLiteral("While"));
        Child<QPlainTextEdit>(d, "Memo1")->setPlainText(QStringLiteral("while $DATE$ do\n  ;"));
        QTest::mouseClick(Child<QPushButton>(d, "Button1"), Qt::LeftButton);
    });
    form.Editar1->trigger();
    EXPECT_EQ(seenTitle, QStringLiteral("Loop"));
    EXPECT_EQ(seenBody, QStringLiteral("for i := 0 to 9 do\nbegin\nend;"));
    EXPECT_EQ(ReadDat(), Record("Header", "{ header }") + Record("While", "while $DATE$ do\r\n  ;")
                  + Record("Author", "{ Author: me }"));
    EXPECT_EQ(Titles(form.ListBox1), (QStringList{"Header", "While", "Author"}));
}

TEST_F(MacroDialogsTest, EditThenCancelLeavesTheFileUntouched)
{
    WriteDat(Three);
    const ino_t before = Inode(DatPath());
    TFMacrosForm form(nullptr, TestServices());
    form.ListBox1->setCurrentRow(2);
    FillNextEditor(QStringLiteral("changed"), QStringLiteral("changed"), false);
    form.Editar1->trigger();
    EXPECT_EQ(ReadDat(), Three);
    EXPECT_EQ(Inode(DatPath()), before); // not even rewritten with the same bytes
    EXPECT_EQ(form.Filer().Macro(2).Title(), QStringLiteral("Author"));
}

TEST_F(MacroDialogsTest, DeleteAsksAndOnlyYesDeletes)
{
    WriteDat(Three);
    TFMacrosForm form(nullptr, TestServices());
    form.ListBox1->setCurrentRow(1);
    dialogs.answerNo();
    form.Borrar1->trigger();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("question: Delete selected Macro?")});
    EXPECT_EQ(ReadDat(), Three);

    form.ListBox1->setCurrentRow(1);
    dialogs.answerYes();
    form.Borrar1->trigger();
    EXPECT_EQ(ReadDat(), Record("Header", "{ header }") + Record("Author", "{ Author: me }"));
    EXPECT_EQ(Titles(form.ListBox1), (QStringList{"Header", "Author"}));
}

TEST_F(MacroDialogsTest, DeletingTheLastMacroLeavesAnEmptyFile)
{
    WriteDat(Record("only", "one"));
    TFMacrosForm form(nullptr, TestServices());
    dialogs.answerYes();
    form.Borrar1->trigger();
    EXPECT_EQ(ReadDat(), QByteArray());
    EXPECT_EQ(form.ListBox1->count(), 0);
    // With nothing selected Delete asks nothing.
    form.Borrar1->trigger();
    EXPECT_EQ(dialogs.log.size(), 1);
}

TEST_F(MacroDialogsTest, NothingSelectedEditAndDoubleClickReportTheIndex)
{
    WriteDat(QByteArray());
    TFMacrosForm form(nullptr, TestServices());
    form.Editar1->trigger(); // no editor opens
    EXPECT_EQ(dialogs.texts, QStringList{QStringLiteral("Indice fuera de rango")});
    Drive([](QDialog *d) {
        auto *list = Child<QListWidget>(d, "ListBox1");
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    });
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_TRUE(form.MacroText.isEmpty());
    EXPECT_EQ(dialogs.texts, (QStringList{"Indice fuera de rango", "Indice fuera de rango"}));
    EXPECT_EQ(ReadDat(), QByteArray());
}

TEST_F(MacroDialogsTest, FailedSaveIsShownAndTheListComesFromMemory)
{
    WriteDat(Three);
    TFMacrosForm form(nullptr, TestServices());
    FailWrites failing;
    FillNextEditor(QStringLiteral("Fourth"), QStringLiteral("4"));
    form.Nuevo1->trigger();
    ASSERT_EQ(dialogs.log.size(), 1);
    EXPECT_TRUE(dialogs.log.at(0).startsWith(QStringLiteral("error: ")));
    EXPECT_EQ(ReadDat(), Three);
    EXPECT_EQ(Titles(form.ListBox1), (QStringList{"Header", "Loop", "Author", "Fourth"}));
}

// A pipe where the data file is expected (unreadable as root too): the
// dialog says why, and adding a macro writes nothing over it.
TEST_F(MacroDialogsTest, UnreadableDataFileIsReportedAndKept)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(DatPath()).constData(), 0600), 0);
    TFMacrosForm form(nullptr, TestServices());
    ASSERT_EQ(dialogs.log.size(), 1);
    EXPECT_TRUE(dialogs.log[0].startsWith(
        QStringLiteral("error: No exist datafile, you must create one\n\nCannot open file ")))
        << dialogs.log[0].toStdString();
    FillNextEditor(QStringLiteral("new"), QStringLiteral("body"));
    form.Nuevo1->trigger();
    ASSERT_EQ(dialogs.log.size(), 2);
    EXPECT_TRUE(dialogs.log[1].startsWith(QStringLiteral("error: Cannot write ") + DatPath()))
        << dialogs.log[1].toStdString();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(DatPath()).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// The editor shows every line end alike and toPlainText turns no-break
// spaces into spaces; what the user did not touch must keep its characters.
TEST_F(MacroDialogsTest, EditKeepsEveryCharacterTheUserDidNotTouch)
{
    const QByteArray body = "a\xA0" "b\nc\rd\r\ne\xA0";
    const QByteArray title = "\xC3\xA9t\xC3\xA9"; // UTF-8, though it fits the code page
    const QByteArray file = Record(title, body) + Three;
    WriteDat(file);
    TFMacrosForm form(nullptr, TestServices());
    form.ListBox1->setCurrentRow(0);
    Drive([](QDialog *d) {
        QTest::mouseClick(Child<QPushButton>(d, "Button1"), Qt::LeftButton);
    });
    form.Editar1->trigger();
    EXPECT_EQ(ReadDat(), file);

    // Typing at the end of the second line changes only that stretch.
    Drive([](QDialog *d) {
        auto *memo = Child<QPlainTextEdit>(d, "Memo1");
        QTextCursor cursor(memo->document()->findBlockByNumber(1));
        cursor.movePosition(QTextCursor::EndOfBlock);
        memo->setTextCursor(cursor);
        QTest::keyClicks(memo, QStringLiteral("X"));
        QTest::keyClick(memo, Qt::Key_Return);
        QTest::keyClicks(memo, QStringLiteral("Y"));
        QTest::mouseClick(Child<QPushButton>(d, "Button1"), Qt::LeftButton);
    });
    form.Editar1->trigger();
    EXPECT_EQ(ReadDat(), Record(title, "a\xA0" "b\ncX\r\nY\rd\r\ne\xA0") + Three);
}

TEST_F(MacroDialogsTest, LogoShowsTheAboutMessage)
{
    WriteDat(QByteArray());
    TFMacrosForm form(nullptr, TestServices());
    form.show();
    QTest::mouseClick(Child<QLabel>(&form, "Image1"), Qt::LeftButton);
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("message: ") + AboutMessage()});
}

TEST_F(MacroDialogsTest, EditorCountsTheBodyAgainstWhatAMacroHolds)
{
    TFEditMacro editor;
    auto *count = Child<QLabel>(&editor, "Label2");
    editor.Memo1->setPlainText(QStringLiteral("ab\ncd"));
    EXPECT_EQ(editor.MemoText(), QStringLiteral("ab\r\ncd"));
    EXPECT_TRUE(count->text().startsWith(QStringLiteral("6/2048"))) << count->text().toStdString();
    EXPECT_FALSE(count->text().contains(QStringLiteral("kept")));
    editor.Memo1->setPlainText(QString(2049, QLatin1Char('z')));
    EXPECT_TRUE(count->text().contains(QStringLiteral("only the first 2048 are kept")))
        << count->text().toStdString();
    editor.SetMemoText(QStringLiteral("x\r\ny\r\n"));
    EXPECT_EQ(editor.Memo1->toPlainText(), QStringLiteral("x\ny\n"));
    EXPECT_EQ(editor.MemoText(), QStringLiteral("x\r\ny\r\n"));
}

} // namespace
