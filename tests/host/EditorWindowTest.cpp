// The editor window as the user sees it: tabs, status bar, colours.
#include "HostFixture.h"

#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

namespace {

// The colour given to the first character of a word on a line.
QColor ColourAt(qide::TCodeEditor *editor, int line, const QString &word)
{
    const QTextBlock block = editor->document()->findBlockByNumber(line - 1);
    const int at = int(block.text().indexOf(word));
    for (const QTextLayout::FormatRange &r : block.layout()->formats())
        if (at >= r.start && at < r.start + r.length)
            return r.format.foreground().color();
    return {};
}

} // namespace

TEST_F(HostTest, TabsStatusBarAndModifiedMark)
{
    const QString a = write("A.pas", "unit A;\r\ninterface\r\n");
    const QString b = write("B.pas", "unit B;\n");
    ASSERT_TRUE(services->OpenFile(a));
    ASSERT_TRUE(services->OpenFile(b));
    QTabWidget *tabs = ide->editWindow()->findChild<QTabWidget *>(QStringLiteral("TabControl"));
    ASSERT_TRUE(tabs);
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("A.pas"));
    EXPECT_EQ(tabs->currentIndex(), 1);

    qide::TCodeEditor *editor = ide->editorFor(a);
    ide->showEditor(editor);
    editor->setCursorPos({4, 2});
    auto *position = ide->editWindow()->findChild<QLabel *>(QStringLiteral("PositionLabel"));
    auto *format = ide->editWindow()->findChild<QLabel *>(QStringLiteral("FormatLabel"));
    EXPECT_EQ(position->text(), QStringLiteral("2:4"));
    EXPECT_EQ(format->text(), QStringLiteral("Windows-1252, CR LF"));

    QTest::keyClicks(editor, QStringLiteral("xy"));
    EXPECT_EQ(position->text(), QStringLiteral("2:6"));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("A.pas*"));
    ASSERT_TRUE(ide->saveEditor(editor));
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("A.pas"));

    // Closing the last tab hides the window; the IDE has no front file then.
    ide->closeAll(false);
    EXPECT_FALSE(ide->editWindow()->isVisible());
    EXPECT_TRUE(services->GetCurrentFile().isEmpty());
}

TEST_F(HostTest, PascalColoursFollowCommentsAcrossLines)
{
    const QString file = write("C.pas", "{ begin of a\n  comment end }\nbegin\n  s := 'end'; (* x\n end *) x := $FF;\n"
                                        "  {$R *.res} // begin\n");
    ASSERT_TRUE(services->OpenFile(file));
    qide::TCodeEditor *editor = ide->editorFor(file);
    QCoreApplication::processEvents(); // colouring starts from the event loop
    const QColor comment = ColourAt(editor, 1, QStringLiteral("begin"));
    const QColor keyword = ColourAt(editor, 3, QStringLiteral("begin"));
    EXPECT_TRUE(comment.isValid());
    EXPECT_TRUE(keyword.isValid());
    EXPECT_NE(comment, keyword);
    EXPECT_EQ(ColourAt(editor, 2, QStringLiteral("end")), comment);
    EXPECT_NE(ColourAt(editor, 4, QStringLiteral("end")), keyword); // in a string
    EXPECT_EQ(ColourAt(editor, 5, QStringLiteral("end")), comment);
    EXPECT_FALSE(ColourAt(editor, 5, QStringLiteral("x :=")).isValid());
    EXPECT_NE(ColourAt(editor, 6, QStringLiteral("$R")), comment); // a directive
    EXPECT_EQ(ColourAt(editor, 6, QStringLiteral("begin")), comment);
}
