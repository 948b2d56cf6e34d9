// Files come back as they were: a save without an edit writes the bytes that
// were read, an edit changes only what was edited, and a file the editor
// cannot show as it is opens with a warning.
#include "HostFixture.h"

#include <QLabel>

namespace {
const QByteArray Lossy[] = {
    "\xef\xbb\xbf" "unit U; { \xff\xfe }\r\nend.\r\n", // BOM, then bytes that are not UTF-8
    "unit U; { \x81\x8d \xe9 }\r\nend.\r\n",         // neither UTF-8 nor Windows-1252
    "unit U;\r\ninterface\nend.\r",                   // three kinds of line end
};
} // namespace

TEST_F(HostTest, SavingAnUneditedFileWritesTheBytesThatWereRead)
{
    for (int i = 0; i < int(std::size(Lossy)); ++i) {
        const QString file = write(QStringLiteral("L%1.pas").arg(i), Lossy[i]);
        ASSERT_TRUE(services->OpenFile(file));
        ASSERT_TRUE(save(file));
        EXPECT_EQ(read(file), Lossy[i]) << i;
    }
    // An edit taken back by undo leaves nothing edited either.
    const QString file = path(QStringLiteral("L0.pas"));
    qide::TCodeEditor *editor = ide->editorFor(file);
    insertAt(file, 0, QStringLiteral("{ x }"));
    editor->undo();
    ASSERT_TRUE(ide->saveEditor(editor));
    EXPECT_EQ(read(file), Lossy[0]);
}

TEST_F(HostTest, AnEditKeepsReservedCharactersOnOtherLines)
{
    // U+2029 and U+FDD0 inside a comment, a BOM as the first character of
    // the text, and an edit on another line.
    const QByteArray bytes = "\xef\xbb\xbf\xef\xbb\xbfunit U;\n{ a\xe2\x80\xa9" "b \xef\xb7\x90 }\nend.\n";
    const QString file = write("U.pas", bytes);
    ASSERT_TRUE(services->OpenFile(file));
    EXPECT_EQ(ide->editorFor(file)->document()->blockCount(), 4);
    // The add-in reads the file's own characters.
    EXPECT_TRUE(readBuffer(file).contains(QStringLiteral("{ a\u2029b \uFDD0 }\r\n")));
    insertAt(file, int(readBuffer(file).indexOf(QStringLiteral("end."))), QStringLiteral("// x\r\n"));
    ASSERT_TRUE(save(file));
    EXPECT_EQ(read(file), QByteArray("\xef\xbb\xbf\xef\xbb\xbfunit U;\n{ a\xe2\x80\xa9" "b \xef\xb7\x90 }\n// x\nend.\n"));
    EXPECT_TRUE(ide->editWindow()->warningText().isEmpty());
}

TEST_F(HostTest, AFileTheEditorCannotKeepOpensWithAWarning)
{
    auto label = [&] { return ide->editWindow()->findChild<QLabel *>(QStringLiteral("WarningLabel")); };
    const QString clean = write("Clean.pas", "unit Clean;\r\n");
    const QString lossy = write("Lossy.pas", Lossy[0]);
    ASSERT_TRUE(services->OpenFile(clean));
    ASSERT_TRUE(label());
    EXPECT_TRUE(ide->editWindow()->warningText().isEmpty());

    ASSERT_TRUE(services->OpenFile(lossy));
    const QString warning = ide->editWindow()->warningText();
    EXPECT_TRUE(warning.contains(QStringLiteral("Lossy.pas"))) << warning.toStdString();
    EXPECT_TRUE(warning.contains(QStringLiteral("not UTF-8"))) << warning.toStdString();
    EXPECT_FALSE(label()->isHidden());
    // It belongs to the file, not to the window.
    ide->showEditor(ide->editorFor(clean));
    EXPECT_TRUE(ide->editWindow()->warningText().isEmpty());
    EXPECT_TRUE(label()->isHidden());

    // Saved after an edit, the file holds the text as shown: no more warning.
    ide->showEditor(ide->editorFor(lossy));
    insertAt(lossy, 0, QStringLiteral("{ edited }"));
    ASSERT_TRUE(save(lossy));
    EXPECT_TRUE(ide->editWindow()->warningText().isEmpty());
    EXPECT_EQ(read(lossy), QByteArray("\xef\xbb\xbf{ edited }unit U; { \xef\xbf\xbd\xef\xbf\xbd }\r\nend.\r\n"));
}
