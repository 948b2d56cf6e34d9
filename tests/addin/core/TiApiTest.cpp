// The editor wrapper against the in-memory host: insertion offsets, cursor
// moves, the host's refusal of unusable files, and the release of every host
// reference the wrapper takes.
#include "InMemoryHost.h"
#include "ScriptedDialogs.h"

#include "expert/QuorbelExpert.h"
#include "core/TiApi.h"

#include "Exception.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Unit = QStringLiteral("/src/Unit1.pas");
const QString MustOpen = QStringLiteral("Es necesario que tener abierto un proyecto o fichero .pas");

// Reference result: text inserted before character col of line, in a CR LF buffer.
QString InsertedAt(QString buffer, int line, int col, const QString &text)
{
    qsizetype start = 0;
    for (int l = 1; l < line; ++l)
        start = buffer.indexOf(QLatin1String("\r\n"), start) + 2;
    return buffer.insert(start + col - 1, text);
}

QString Lines(int count, int width = 0)
{
    QString text;
    for (int i = 1; i <= count; ++i) {
        text += QStringLiteral("line %1").arg(i);
        text += QString(width > 0 ? (i * 7) % width : 0, QLatin1Char('x'));
        if (i < count)
            text += QLatin1String("\r\n");
    }
    return text;
}

class TiApiTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(host.outstandingReferences(), 0) << host.leakedTags().join(", ").toStdString();
    }

    FakeBuffer &Open(const QString &text, int line, int col, const QString &name = Unit)
    {
        FakeBuffer &b = host.openBuffer(name, text);
        b.cursor = TEditPos{int16_t(col), line};
        return b;
    }

    QString InsertVia(const QString &text, int line, int col, const QString &what)
    {
        FakeBuffer &b = Open(text, line, col);
        api.Refresh();
        api.InsertText(what);
        return b.text;
    }

    InMemoryHost host;
    ScriptedDialogs dialogs;
    TTiApi api{&host, dialogs};
};

TEST_F(TiApiTest, RefreshTakesCurrentFileAndCursor)
{
    Open(Lines(5), 4, 3);
    api.Refresh();
    EXPECT_EQ(api.FileName(), Unit);
    EXPECT_EQ(api.Line(), 4);
    EXPECT_EQ(api.Col(), 3);
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(TiApiTest, InsertsAtTheCursorOfTheLastRefresh)
{
    // Line 1, column 1: before the first character of the buffer.
    EXPECT_EQ(InsertVia(QStringLiteral("unit A;\r\nuses B;"), 1, 1, QStringLiteral(">>")),
              QStringLiteral(">>unit A;\r\nuses B;"));
    // Line 3, column 5: before the fifth character of the third line.
    EXPECT_EQ(InsertVia(QStringLiteral("aaaa\r\nbbbb\r\n12345678\r\nend."), 3, 5,
                        QStringLiteral("[x]")),
              QStringLiteral("aaaa\r\nbbbb\r\n1234[x]5678\r\nend."));
    // A text of several lines goes in unchanged; its later lines start their own lines.
    EXPECT_EQ(InsertVia(QStringLiteral("begin\r\n    end;"), 2, 5,
                        QStringLiteral("a := 1;\r\nb := 2;\r\n")),
              QStringLiteral("begin\r\n    a := 1;\r\nb := 2;\r\nend;"));
    // The empty last line after a final line end.
    EXPECT_EQ(InsertVia(QStringLiteral("a\r\n"), 2, 1, QStringLiteral("z")),
              QStringLiteral("a\r\nz"));
}

TEST_F(TiApiTest, CursorMovedAfterRefreshIsNotReadAgain)
{
    FakeBuffer &b = Open(QStringLiteral("abc\r\ndef"), 2, 2);
    api.Refresh();
    b.cursor = TEditPos{1, 1};
    api.InsertText(QStringLiteral("!"));
    EXPECT_EQ(b.text, QStringLiteral("abc\r\nd!ef"));
    EXPECT_EQ(b.showSource, 1);
}

TEST_F(TiApiTest, LineBeyondTheBufferInsertsNothing)
{
    FakeBuffer &b = Open(Lines(3), 9, 1);
    api.Refresh();
    api.InsertText(QStringLiteral("lost"));
    EXPECT_EQ(b.text, Lines(3));
    EXPECT_FALSE(b.modified);
    EXPECT_EQ(host.ledger(QStringLiteral("writer:") + Unit).taken, 0);
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(TiApiTest, CursorBeyondTheLineEndInsertsAtTheLineEnd)
{
    // The editor lets the cursor stand past a line's end; the text must not
    // land inside the CR LF or on the next line.
    EXPECT_EQ(InsertVia(QStringLiteral("ab\r\ncd\r\nef"), 2, 9, QStringLiteral("!")),
              QStringLiteral("ab\r\ncd!\r\nef"));
    EXPECT_EQ(InsertVia(QStringLiteral("ab\r\ncd"), 2, 40, QStringLiteral("!")),
              QStringLiteral("ab\r\ncd!"));
    EXPECT_EQ(InsertVia(QStringLiteral("ab\r\ncd"), 1, 3, QStringLiteral("!")),
              QStringLiteral("ab!\r\ncd"));
    EXPECT_EQ(InsertVia(QStringLiteral("ab\r\ncd"), 1, 4, QStringLiteral("!")),
              QStringLiteral("ab!\r\ncd"));
}

TEST_F(TiApiTest, BlockReadsFindTheSameOffsetsAsCharacterReads)
{
    const QString text = Lines(40, 23);
    const QList<std::pair<int, int>> cursors = {{1, 1}, {1, 4}, {2, 1}, {2, 6}, {7, 3},
                                                {17, 1}, {29, 9}, {40, 1}, {40, 7}};
    for (const int32_t block : {1, 2, 3, 7, 64, TTiApi::DefaultReadBlock}) {
        api.SetReadBlock(block);
        for (const auto &[line, col] : cursors) {
            EXPECT_EQ(InsertVia(text, line, col, QStringLiteral("#")),
                      InsertedAt(text, line, col, QStringLiteral("#")))
                << "block " << block << " line " << line << " col " << col;
        }
    }
}

TEST_F(TiApiTest, FindingALineFarDownTakesFewHostReads)
{
    const QString text = Lines(200000);
    FakeBuffer &b = Open(text, 200000, 3);
    api.Refresh();
    host.readerCalls = 0;
    api.InsertText(QStringLiteral("@"));
    EXPECT_LE(host.readerCalls, text.size() / TTiApi::DefaultReadBlock + 2);
    EXPECT_TRUE(b.text.endsWith(QStringLiteral("\r\nli@ne 200000")));
}

TEST_F(TiApiTest, GotoLineMakesItTheTopLineWithTheCursorOnIt)
{
    FakeBuffer &b = Open(Lines(80), 3, 7);
    api.Refresh();
    api.GotoLine(40);
    EXPECT_EQ(b.top.Line, 40);
    EXPECT_EQ(b.cursor, (TEditPos{7, 40}));
    EXPECT_EQ(api.Line(), 40);
    EXPECT_EQ(api.Col(), 7);
    EXPECT_EQ(b.showSource, 1);
}

TEST_F(TiApiTest, SetColumnKeepsTheLine)
{
    FakeBuffer &b = Open(Lines(10), 6, 9);
    api.Refresh();
    api.SetColumn(1);
    EXPECT_EQ(b.cursor, (TEditPos{1, 6}));
    EXPECT_EQ(b.top.Line, 1);
    EXPECT_EQ(api.Col(), 1);
    EXPECT_EQ(api.Line(), 6);
}

TEST_F(TiApiTest, EveryOperationReleasesWhatItTook)
{
    Open(Lines(10), 2, 2);
    api.Refresh();
    api.SetColumn(1);
    api.GotoLine(5);
    api.InsertText(QStringLiteral("x"));
    for (const QString &kind : {QStringLiteral("module:"), QStringLiteral("editor:"),
                               QStringLiteral("view:")}) {
        const RefLedger l = host.ledger(kind + Unit);
        EXPECT_EQ(l.taken, 4) << kind.toStdString();
        EXPECT_EQ(l.outstanding(), 0) << kind.toStdString();
    }
    EXPECT_EQ(host.ledger(QStringLiteral("reader:") + Unit).outstanding(), 0);
    EXPECT_EQ(host.ledger(QStringLiteral("writer:") + Unit).taken, 1);
}

TEST_F(TiApiTest, FilesThatCannotBeEditedEndWithTheHostsError)
{
    Open(Lines(3), 1, 1);
    auto expectRefused = [&](const QString &current) {
        host.setCurrentFile(current);
        host.raised.clear();
        EXPECT_THROW(api.Refresh(), EHostAbort) << current.toStdString();
        EXPECT_EQ(host.raised, QStringList{MustOpen}) << current.toStdString();
    };
    host.openBuffer(QStringLiteral("/src/Unit1.dfm"), QStringLiteral("object Form1"));
    host.openBuffer(QStringLiteral("/src/Unit2.DfM"), QStringLiteral("object Form2"));
    expectRefused(QStringLiteral("/src/Unit1.dfm"));
    expectRefused(QStringLiteral("/src/Unit2.DfM"));
    expectRefused(QString());
    expectRefused(QStringLiteral("/nowhere/Missing.pas")); // neither open nor openable
    host.closeAll(); // no editor window left
    host.setCurrentFile(Unit);
    host.raised.clear();
    EXPECT_THROW(api.Refresh(), EHostAbort);
    EXPECT_EQ(host.raised, QStringList{MustOpen});
    // The host shows its own error; the wrapper adds no box of its own.
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(TiApiTest, AFileOnDiskNotYetOpenIsOpenedByTheCheck)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Disk.pas"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("unit Disk;\nend.\n");
    f.close();
    Open(Lines(2), 1, 1); // the editor window is up
    host.setCurrentFile(path);
    ASSERT_FALSE(host.IsFileOpen(path));
    api.Refresh();
    EXPECT_TRUE(host.IsFileOpen(path));
    EXPECT_EQ(api.FileName(), path);
}

TEST_F(TiApiTest, NoToolServicesIsShownAndRaised)
{
    TTiApi api(nullptr, dialogs);
    try {
        api.Refresh();
        FAIL() << "Refresh passed without tool services";
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("TiApi ERROR: No hay entorno  ToolsApi"));
    }
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("error: TiApi ERROR: No hay entorno  ToolsApi")});
}

TEST_F(TiApiTest, ASecondViewIsRefusedWithoutClosingTheFirst)
{
    FakeBuffer &b = Open(Lines(4), 2, 1);
    api.Refresh();
    api.OpenView();
    try {
        api.OpenView();
        FAIL() << "a second view was opened";
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("TiApi ERROR:Ya hay una vista activa "));
    }
    EXPECT_EQ(dialogs.texts, QStringList{QStringLiteral("TiApi ERROR:Ya hay una vista activa ")});
    EXPECT_EQ(host.ledger(QStringLiteral("view:") + Unit).outstanding(), 1);
    api.CloseView();
    EXPECT_EQ(host.outstandingReferences(), 0);
    api.InsertText(QStringLiteral("ok"));
    EXPECT_TRUE(b.text.startsWith(QStringLiteral("line 1\r\nokline 2")));
}

// --------------------------------------------------------------------------
// A host whose module, editor or view may be missing, counting live objects.

int Live = 0;

template <typename Base>
class Counted : public Base {
public:
    Counted() { ++Live; }
    ~Counted() override { --Live; }
};

struct Gaps {
    bool module = true, editor = true, view = true;
};

class GapView : public Counted<TIEditView> {
public:
    TEditPos GetPos(int32_t) override { return {1, 1}; }
    void SetPos(int32_t, TEditPos) override {}
};

class GapEditor : public Counted<TIEditorInterface> {
public:
    explicit GapEditor(Gaps g) : FGaps(g) {}
    QString FileName() override { return Unit; }
    int32_t GetViewCount() override { return FGaps.view ? 1 : 0; }
    TIEditView *GetView(int32_t) override { return FGaps.view ? new GapView : nullptr; }
    bool BufferModified() override { return false; }
    TIEditReader *CreateReader() override { return nullptr; }
    TIEditWriter *CreateWriter() override { return nullptr; }
    Gaps FGaps;
};

class GapModule : public Counted<TIModuleInterface> {
public:
    explicit GapModule(Gaps g) : FGaps(g) {}
    TIEditorInterface *GetEditorInterface() override
    {
        return FGaps.editor ? new GapEditor(FGaps) : nullptr;
    }
    bool ShowSource() override { return true; }
    bool Save(bool) override { return true; }
    Gaps FGaps;
};

class GapHost : public TIToolServices {
public:
    Gaps gaps;
    QWidget *GetParentHandle() override { return nullptr; }
    QString GetProjectName() override { return {}; }
    QString GetCurrentFile() override { return Unit; }
    bool IsFileOpen(const QString &) override { return true; }
    bool OpenFile(const QString &) override { return true; }
    bool OpenProject(const QString &) override { return false; }
    int32_t GetUnitCount() override { return 0; }
    QString GetUnitName(int32_t) override { return {}; }
    TIModuleInterface *GetModuleInterface(const QString &) override
    {
        return gaps.module ? new GapModule(gaps) : nullptr;
    }
    TIMainMenuIntf *GetMainMenu() override { return nullptr; }
    bool AddNotifier(TIAddInNotifier *) override { return false; }
    bool RemoveNotifier(TIAddInNotifier *) override { return false; }
    [[noreturn]] void RaiseException(const QString &message) override { throw EHostAbort(message); }
    ~GapHost() override = default;
};

TEST(TiApiGaps, MissingHostObjectsAreShownByEachLayerAndReleased)
{
    FakeEditWindow editWindow; // the editor window the check looks for
    struct Case {
        Gaps gaps;
        const char *message;
    };
    const Case cases[] = {
        {{false, true, true}, "TiApi ERROR: Imposible acceder al interface del Modulo"},
        {{true, false, true}, "TiApi ERROR: Imposible acceder al interface del Editor"},
        {{true, true, false}, "TiApi ERROR: Imposible acceder al interface del Vista"},
    };
    auto *host = new GapHost;
    for (const Case &c : cases) {
        host->gaps = c.gaps;
        const QString message = QString::fromLatin1(c.message);
        {
            // Through Refresh: shown by OpenView, then by Refresh, then raised.
            ScriptedDialogs dialogs;
            TTiApi api(host, dialogs);
            try {
                api.Refresh();
                ADD_FAILURE() << "Refresh passed";
            } catch (const Exception &e) {
                EXPECT_EQ(e.message(), message);
            }
            EXPECT_EQ(dialogs.texts, (QStringList{message, message}));
            EXPECT_EQ(Live, 0) << c.message;
        }
        {
            // Directly: shown once by OpenView; a later OpenView is not refused.
            ScriptedDialogs dialogs;
            TTiApi api(host, dialogs);
            EXPECT_THROW(api.InsertText(QStringLiteral("x")), Exception);
            EXPECT_EQ(dialogs.texts, QStringList{message});
            EXPECT_EQ(Live, 0) << c.message;
            host->gaps = Gaps{};
            api.OpenView();
            EXPECT_EQ(Live, 3);
            api.CloseView();
            EXPECT_EQ(Live, 0);
            host->gaps = c.gaps;
        }
    }
    host->Release();
}

} // namespace
