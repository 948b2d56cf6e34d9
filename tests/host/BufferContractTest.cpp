// What add-ins rely on from the editor buffer: CR LF whatever the file
// uses, insertions where they are aimed, files saved in their own format.
#include "HostFixture.h"

#include "ScriptedDialogs.h"
#include "SafeFile.h"
#include "TestWriter.h"
#include "core/TiApi.h"

#include <QTextBlock>

namespace {
const QByteArray Unit = "unit U;\ninterface\nuses Classes;\nimplementation\nend.\n";
const QString UnitCrLf = QStringLiteral("unit U;\r\ninterface\r\nuses Classes;\r\nimplementation\r\nend.\r\n");
// Offset of line 3, column 5 in UnitCrLf: past two CR LF lines, plus 4.
constexpr int Line3Col5 = 9 + 11 + 4;
} // namespace

TEST_F(HostTest, LineFeedFileReadsBackWithCrLf)
{
    const QString file = write("U.pas", Unit);
    ASSERT_TRUE(services->OpenFile(file));
    EXPECT_EQ(readBuffer(file), UnitCrLf);
    // Small blocks at every offset give the same text.
    EXPECT_EQ(readBuffer(file, 7), UnitCrLf);
    EXPECT_EQ(readBuffer(file, 1), UnitCrLf);
}

TEST_F(HostTest, InsertionAtLine3Column5LandsThereAndSavesWithLineFeeds)
{
    const QString file = write("U.pas", Unit);
    ASSERT_TRUE(services->OpenFile(file));
    // Column 5 is the blank after "uses": the text goes in before it.
    insertAt(file, Line3Col5, QStringLiteral(" SysUtils,\r\n    "));
    EXPECT_EQ(readBuffer(file), QStringLiteral("unit U;\r\ninterface\r\nuses SysUtils,\r\n     Classes;\r\n"
                                               "implementation\r\nend.\r\n"));
    THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
    THostRef<TIEditorInterface> editor(module->GetEditorInterface());
    EXPECT_TRUE(editor->BufferModified());
    ASSERT_TRUE(module->Save(true));
    EXPECT_FALSE(editor->BufferModified());
    EXPECT_EQ(read(file), QByteArray("unit U;\ninterface\nuses SysUtils,\n     Classes;\nimplementation\nend.\n"));
}

TEST_F(HostTest, CrOnlyAndCrLfFilesKeepTheirLineEnds)
{
    const QString cr = write("Cr.pas", QByteArray(Unit).replace('\n', '\r'));
    const QString crlf = write("CrLf.pas", QByteArray(Unit).replace("\n", "\r\n"));
    for (const QString &file : {cr, crlf}) {
        ASSERT_TRUE(services->OpenFile(file));
        EXPECT_EQ(readBuffer(file), UnitCrLf) << file.toStdString();
        insertAt(file, Line3Col5, QStringLiteral(" A,\r\nB,"));
        ASSERT_TRUE(save(file));
    }
    EXPECT_EQ(read(cr), QByteArray("unit U;\rinterface\ruses A,\rB, Classes;\rimplementation\rend.\r"));
    EXPECT_EQ(read(crlf),
              QByteArray("unit U;\r\ninterface\r\nuses A,\r\nB, Classes;\r\nimplementation\r\nend.\r\n"));
}

TEST_F(HostTest, SavingKeepsTheFileEncoding)
{
    const QString ansi = write("Ansi.pas", "{ Espa\xf1" "a }\r\n");
    const QString utf8 = write("Utf8.pas", "{ Espa\xc3\xb1" "a }\n");
    for (const QString &file : {ansi, utf8}) {
        ASSERT_TRUE(services->OpenFile(file));
        insertAt(file, 0, QStringLiteral("// \u00e9\r\n"));
        ASSERT_TRUE(save(file));
    }
    EXPECT_EQ(read(ansi), QByteArray("// \xe9\r\n{ Espa\xf1" "a }\r\n"));
    EXPECT_EQ(read(utf8), QByteArray("// \xc3\xa9\n{ Espa\xc3\xb1" "a }\n"));
}

TEST_F(HostTest, WriterRewritesWithDeleteAndKeepsTheRest)
{
    const QString file = write("U.pas", Unit);
    ASSERT_TRUE(services->OpenFile(file));
    {
        THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
        THostRef<TIEditorInterface> editor(module->GetEditorInterface());
        THostRef<TIEditWriter> writer(editor->CreateWriter());
        EXPECT_TRUE(writer->CopyTo(5));        // "unit "
        EXPECT_TRUE(writer->DeleteTo(6));      // drop "U"
        EXPECT_TRUE(writer->Insert(QStringLiteral("Shapes")));
        EXPECT_EQ(writer->Position(), 6);
        EXPECT_FALSE(writer->CopyTo(3));       // no going back
        EXPECT_FALSE(writer->CopyTo(10000));   // nor past the end
    }
    EXPECT_TRUE(readBuffer(file).startsWith(QStringLiteral("unit Shapes;\r\ninterface\r\n")));
    EXPECT_TRUE(readBuffer(file).endsWith(QStringLiteral("implementation\r\nend.\r\n")));
}

TEST_F(HostTest, OneInsertionIsOneUndoStep)
{
    const QString file = write("U.pas", Unit);
    ASSERT_TRUE(services->OpenFile(file));
    qide::TCodeEditor *editor = ide->editorFor(file);
    ASSERT_TRUE(editor);
    editor->setCursorPos({1, 1});
    editor->insertPlainText(QStringLiteral("typed "));
    insertAt(file, Line3Col5 + 6, QStringLiteral("X,\r\nY,\r\nZ,"));
    EXPECT_EQ(editor->document()->blockCount(), 8);
    editor->undo();
    EXPECT_EQ(editor->document()->toPlainText(),
              QStringLiteral("typed unit U;\ninterface\nuses Classes;\nimplementation\nend.\n"));
    editor->undo();
    EXPECT_EQ(editor->document()->toPlainText(), QString::fromLatin1(Unit));
}

TEST_F(HostTest, ReaderBuildsItsCrLfTextOncePerReader)
{
    QByteArray big;
    for (int i = 0; i < 5000; ++i)
        big += "  Line := Line + 1; { " + QByteArray::number(i) + " }\n";
    const QString file = write("Big.pas", big);
    ASSERT_TRUE(services->OpenFile(file));
    qide::TSourceBuffer *buffer = ide->editorFor(file)->buffer();
    const int before = buffer->snapshotsBuilt();
    const QString text = readBuffer(file, 512);
    EXPECT_EQ(buffer->snapshotsBuilt(), before + 1);
    EXPECT_EQ(text.size(), big.size() + 5000);

    // A reader that outlives a change sees the new text.
    THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
    THostRef<TIEditorInterface> editor(module->GetEditorInterface());
    THostRef<TIEditReader> reader(editor->CreateReader());
    QChar c[4];
    ASSERT_EQ(reader->GetText(0, c, 4), 4);
    EXPECT_EQ(QString(c, 4), QStringLiteral("  Li"));
    ide->editorFor(file)->textCursor().insertText(QStringLiteral("XY"));
    ASSERT_EQ(reader->GetText(0, c, 4), 4);
    EXPECT_EQ(QString(c, 4), QStringLiteral("XY  "));
    EXPECT_EQ(reader->GetText(int(text.size()) + 2, c, 4), 0);
}

TEST_F(HostTest, ViewPositionsCountFromOne)
{
    QByteArray lines;
    for (int i = 1; i <= 200; ++i)
        lines += "line " + QByteArray::number(i) + "\n";
    const QString file = write("Lines.pas", lines);
    ASSERT_TRUE(services->OpenFile(file));
    THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
    THostRef<TIEditorInterface> editor(module->GetEditorInterface());
    EXPECT_EQ(editor->GetViewCount(), 1);
    EXPECT_FALSE(THostRef<TIEditView>(editor->GetView(1)));
    THostRef<TIEditView> view(editor->GetView(0));
    EXPECT_EQ(view->GetPos(0), (TEditPos{1, 1}));
    view->SetPos(0, {4, 40});
    EXPECT_EQ(view->GetPos(0), (TEditPos{4, 40}));
    view->SetPos(1, {1, 40});
    EXPECT_EQ(view->GetPos(1).Line, 40);
    // Past the end of a line or of the file: the nearest real place.
    view->SetPos(0, {99, 3});
    EXPECT_EQ(view->GetPos(0), (TEditPos{7, 3}));
    view->SetPos(0, {1, 5000});
    EXPECT_EQ(view->GetPos(0).Line, 201);
}

TEST_F(HostTest, TheSelectedBlockIsAnsweredInOrderAndOnlyRead)
{
    const QString file = write("Block.pas", "unit Block;\ninterface\nend.\n");
    ASSERT_TRUE(services->OpenFile(file));
    THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
    THostRef<TIEditorInterface> editor(module->GetEditorInterface());
    THostRef<TIEditView> view(editor->GetView(0));
    view->SetPos(epCursor, {3, 2});
    // Nothing selected: both ends are the cursor.
    EXPECT_EQ(view->GetPos(epBlockBegin), (TEditPos{3, 2}));
    EXPECT_EQ(view->GetPos(epBlockEnd), (TEditPos{3, 2}));
    // Selected backwards, from the end of "interface" to inside "unit".
    ide->editorFor(file)->setBlock({10, 2}, {3, 1});
    EXPECT_EQ(view->GetPos(epBlockBegin), (TEditPos{3, 1}));
    EXPECT_EQ(view->GetPos(epBlockEnd), (TEditPos{10, 2}));
    view->SetPos(epBlockBegin, {1, 3});
    EXPECT_EQ(view->GetPos(epBlockBegin), (TEditPos{3, 1}));
    EXPECT_EQ(view->GetPos(epCursor), (TEditPos{3, 1}));
}

TEST_F(HostTest, TopLineOfAFileJustOpenedOrBehindAnother)
{
    QByteArray lines;
    for (int i = 1; i <= 300; ++i)
        lines += "x := " + QByteArray::number(i) + ";\n";
    const QString a = write("A.pas", lines);
    const QString b = write("B.pas", lines);
    ASSERT_TRUE(services->OpenFile(a));
    for (const QString &file : {b, a}) {
        // b is opened and moved at once; a is moved while b is in front.
        if (file == b) {
            ASSERT_TRUE(services->OpenFile(b));
        }
        THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
        THostRef<TIEditorInterface> editor(module->GetEditorInterface());
        THostRef<TIEditView> view(editor->GetView(0));
        view->SetPos(1, {1, 120});
        view->SetPos(0, {3, 120});
        EXPECT_EQ(view->GetPos(1).Line, 120) << file.toStdString();
        EXPECT_EQ(view->GetPos(0), (TEditPos{3, 120}));
        module->ShowSource();
        EXPECT_EQ(view->GetPos(1).Line, 120) << file.toStdString();
    }
}

TEST_F(HostTest, ModulesExistOnlyForOpenFiles)
{
    const QString a = write("A.pas", "unit A;\n");
    const QString b = write("B.pas", "unit B;\n");
    EXPECT_FALSE(services->IsFileOpen(a));
    EXPECT_FALSE(THostRef<TIModuleInterface>(services->GetModuleInterface(a)));
    EXPECT_FALSE(services->OpenFile(path("missing.pas")));
    EXPECT_TRUE(services->GetCurrentFile().isEmpty());

    ASSERT_TRUE(services->OpenFile(a));
    ASSERT_TRUE(services->OpenFile(b));
    EXPECT_TRUE(services->IsFileOpen(a));
    EXPECT_TRUE(services->IsFileOpen(dir.path() + QStringLiteral("/./A.pas")));
    EXPECT_EQ(services->GetCurrentFile(), b);

    THostRef<TIModuleInterface> module(services->GetModuleInterface(a));
    ASSERT_TRUE(module);
    EXPECT_TRUE(module->ShowSource());
    EXPECT_EQ(services->GetCurrentFile(), a);

    // A module whose file was closed answers, but does nothing.
    ide->closeAll(false);
    THostRef<TIEditorInterface> editor(module->GetEditorInterface());
    EXPECT_FALSE(editor);
    EXPECT_FALSE(module->Save(true));
    EXPECT_TRUE(services->GetCurrentFile().isEmpty());
}

TEST_F(HostTest, FailedSaveIsShownAndKeepsTheBufferModified)
{
    const QString file = write("U.pas", Unit);
    ASSERT_TRUE(services->OpenFile(file));
    insertAt(file, 0, QStringLiteral("{ new }"));
    TestWriter writer;
    ide->editorFor(file)->buffer()->setWriter(writer);
    {
        writer.failing = 1;
        EXPECT_FALSE(save(file));
    }
    EXPECT_EQ(messages.size(), 1);
    EXPECT_TRUE(ide->editorFor(file)->buffer()->isModified());
    EXPECT_EQ(read(file), Unit);
}

// The add-in's own editor wrapper against the real editor.
TEST_F(HostTest, AddinWrapperInsertsAtTheCursor)
{
    const QString file = write("U.pas", Unit);
    ASSERT_TRUE(services->OpenFile(file));
    ide->editorFor(file)->setCursorPos({6, 3});
    ScriptedDialogs dialogs;
    {
        TTiApi api(services, dialogs);
        api.Refresh();
        EXPECT_EQ(api.FileName(), file);
        EXPECT_EQ(api.Line(), 3);
        EXPECT_EQ(api.Col(), 6);
        api.InsertText(QStringLiteral("SysUtils, "));
        api.GotoLine(5);
    }
    EXPECT_EQ(readBuffer(file),
              QStringLiteral("unit U;\r\ninterface\r\nuses SysUtils, Classes;\r\nimplementation\r\nend.\r\n"));
    EXPECT_EQ(ide->editorFor(file)->cursorPos().Line, 5);
    EXPECT_TRUE(dialogs.texts.isEmpty());
}

TEST_F(HostTest, AddinWrapperWithoutAFileEndsTheCommandThroughTheHost)
{
    ScriptedDialogs dialogs;
    TTiApi api(services, dialogs);
    const bool completed = ide->runCommand([&] { api.Refresh(); });
    EXPECT_FALSE(completed);
    EXPECT_EQ(messages, QStringList{QStringLiteral("Es necesario que tener abierto un proyecto o fichero .pas")});
}

// A file without a final line end, the cursor after its last character: the
// insertion point is the end of the buffer, which a writer must reach.
TEST_F(HostTest, InsertionAfterTheLastCharacterOfAFileWithoutAFinalLineEnd)
{
    const QString file = write("U.pas", "unit U;\nend.");
    ASSERT_TRUE(services->OpenFile(file));
    {
        THostRef<TIModuleInterface> module(services->GetModuleInterface(file));
        THostRef<TIEditorInterface> editor(module->GetEditorInterface());
        THostRef<TIEditWriter> writer(editor->CreateWriter());
        EXPECT_TRUE(writer->CopyTo(13)); // "unit U;\r\nend." ends at 13
        EXPECT_FALSE(writer->CopyTo(14));
        EXPECT_TRUE(writer->Insert(QStringLiteral(" { one }")));
    }
    EXPECT_EQ(readBuffer(file), QStringLiteral("unit U;\r\nend. { one }"));

    // The same through the add-in's wrapper, from the cursor.
    ide->editorFor(file)->setCursorPos({13, 2});
    ScriptedDialogs dialogs;
    {
        TTiApi api(services, dialogs);
        api.Refresh();
        EXPECT_EQ(api.Col(), 13);
        api.InsertText(QStringLiteral(" { two }"));
    }
    EXPECT_TRUE(dialogs.texts.isEmpty()) << dialogs.texts.join('\n').toStdString();
    ASSERT_TRUE(save(file));
    EXPECT_EQ(read(file), QByteArray("unit U;\nend. { one } { two }"));
}
