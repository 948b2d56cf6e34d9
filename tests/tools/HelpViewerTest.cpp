// quorbel-help on help files hcw compiled from projects the help editor's
// generator wrote: the file on its own, the command line and hand-over, and
// the window through its named components.
#include "HelpDocument.h"
#include "HelpRequest.h"
#include "HelpTableTest.h"
#include "HelpViewerWindow.h"

#include "core/DM.h"
#include "helpeditor/HelpGen.h"

#include "SafeFile.h"
#include "WindowMessages.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class HelpViewer : public THelpTableTest {
protected:
    void SetUp() override
    {
        THelpTableTest::SetUp();
        File = Dir.path() + QStringLiteral("/work/App.hlp");
        // A socket directory of this test's own: no other viewer answers.
        OldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", Runtime.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", OldRuntime); }

    // Contents, a page with a jump and a pop-up, a title outside the code
    // page below it, and a keyword two pages share.
    void Tree()
    {
        Alpha = Topic(QStringLiteral("Alpha"), QStringLiteral("Alpha text"), -1, false, QStringLiteral("first;shared"));
        Child = Topic(QStringLiteral("Child"), QStringLiteral("A\r\nB {\\b bold}"), Alpha, false, QStringLiteral("shared"));
        Note = Topic(QStringLiteral("Note"), QStringLiteral("A note"), Alpha, true);
        Omega = Topic(QStringLiteral("\u03a9 caf\u00e9"), QStringLiteral("\u4e2d \u20ac"), Child);
    }
    // As the help editor's "Generete HLP,RTF files" and hcw /C do it.
    void Compile()
    {
        Generate(AtomicFileWriter());
        QProcess hcw;
        hcw.start(QStringLiteral(QUORBEL_HCW), {QStringLiteral("/C"), Hlp + QStringLiteral("/App.hpj")});
        ASSERT_TRUE(hcw.waitForFinished(60000));
    }
    THelpViewerWindow &Viewer()
    {
        if (!Window) {
            Window = std::make_unique<THelpViewerWindow>();
            Window->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        }
        return *Window;
    }
    template <typename T> T *Named(const char *name) const
    {
        T *w = Window ? Window->findChild<T *>(QLatin1String(name)) : nullptr;
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString Page() const { return Named<QTextBrowser>("TopicView")->toPlainText(); }
    QString Status() const { return Named<QStatusBar>("StatusLine")->currentMessage(); }
    // Clicks the middle of text on a page, as the user clicks a link.
    static void ClickText(QTextBrowser *view, const QString &text)
    {
        QTextCursor c = view->document()->find(text);
        ASSERT_FALSE(c.isNull()) << text.toStdString();
        c.setPosition((c.selectionStart() + c.selectionEnd()) / 2);
        const QPoint at = view->cursorRect(c).center();
        ASSERT_FALSE(view->anchorAt(at).isEmpty()) << text.toStdString();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    }
    THelpRequest Request(THelpMode mode = THelpMode::Contents, const QString &argument = {}) const
    {
        return {File, mode, argument};
    }

    QTemporaryDir Runtime;
    QByteArray OldRuntime;
    QString File;
    int Alpha = 0, Child = 0, Note = 0, Omega = 0;
    std::unique_ptr<THelpViewerWindow> Window;
};

// What hcw said while compiling is kept in the file: the viewer reads back
// each message as hcw printed it, errors told from notes.
TEST_F(HelpViewer, CompilersMessagesReadBackAsHcwPrintedThem)
{
    Tree();
    Topic(QStringLiteral("Broken"), QStringLiteral("Go {\\uldb there}{\\v No_such_topic} now"));
    Contents(QStringLiteral("Welcome")); // a second "Contens": a note
    Generate(AtomicFileWriter());
    ASSERT_TRUE(QFile::remove(Hlp + QStringLiteral("/bola.bmp")));
    QProcess hcw;
    hcw.start(QStringLiteral(QUORBEL_HCW), {QStringLiteral("/C"), Hlp + QStringLiteral("/App.hpj")});
    ASSERT_TRUE(hcw.waitForFinished(60000));
    const QStringList printed = QString::fromUtf8(hcw.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    const QString summary = QString::fromUtf8(hcw.readAllStandardOutput());

    const THelpDocument doc = THelpDocument::Load(File);
    QStringList read;
    int errors = 0, notes = 0;
    for (const THelpMessage &m : doc.Messages()) {
        read << m.Format();
        (m.Error ? errors : notes) += 1;
    }
    EXPECT_EQ(read, printed);
    EXPECT_EQ(doc.ErrorCount(), errors);
    EXPECT_GE(errors, 2) << summary.toStdString(); // the jump and the bitmap
    EXPECT_GE(notes, 1);
    EXPECT_TRUE(summary.contains(QStringLiteral(" %1 errors, %2 notes").arg(errors).arg(notes))) << summary.toStdString();
}

TEST_F(HelpViewer, FileReadForIndexPagesAndPictures)
{
    Tree();
    Compile();
    const THelpDocument doc = THelpDocument::Load(File);
    EXPECT_EQ(doc.ContentsId(), QStringLiteral("Contens"));
    EXPECT_EQ(doc.IdForContext(Child), QStringLiteral("Child"));
    EXPECT_TRUE(doc.IdForContext(987654).isEmpty());
    EXPECT_EQ(doc.TopicsForKeyword(QStringLiteral("SHARED")), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Child")}));
    EXPECT_EQ(doc.Background(), QColor(255, 255, 230)); // the generator's main window
    EXPECT_EQ(doc.ErrorCount(), 0);
    EXPECT_FALSE(doc.StyleSheet().contains(QStringLiteral("data:")));

    // Only the asked page, its bullet as a picture of the index, its
    // pop-up link told apart from the jump.
    const QString alpha = doc.PageHtml(QStringLiteral("Alpha"));
    EXPECT_TRUE(alpha.contains(QStringLiteral("Alpha text")));
    EXPECT_FALSE(alpha.contains(QStringLiteral("A note")));
    const auto picture = QRegularExpression(QStringLiteral("<img src=\"bm:(bm\\d+)\" title=\"boton.bmp\">")).match(alpha);
    ASSERT_TRUE(picture.hasMatch()) << alpha.toStdString();
    EXPECT_FALSE(doc.Picture(picture.captured(1)).isNull());
    const auto popup = QRegularExpression(QStringLiteral("class=\"popup\"[^>]* href=\"([^\"]*)\"")).match(alpha);
    ASSERT_TRUE(popup.hasMatch());
    const THelpLink link = THelpDocument::LinkTarget(QUrl(popup.captured(1)));
    EXPECT_TRUE(link.Popup);
    EXPECT_EQ(link.Id, QStringLiteral("Note"));
    // A jump to a page whose name is outside ASCII comes back as that name.
    const auto jump = QRegularExpression(QStringLiteral("class=\"jump\"[^>]* href=\"([^\"]*)\"")).match(doc.PageHtml(QStringLiteral("Child")));
    ASSERT_TRUE(jump.hasMatch());
    EXPECT_EQ(THelpDocument::LinkTarget(QUrl(jump.captured(1))).Id, QStringLiteral("\u03a9_caf\u00e9"));
    EXPECT_TRUE(doc.HasPage(QStringLiteral("\u03a9_caf\u00e9")));
}

TEST_F(HelpViewer, FilesThatAreNoHelpRefusedWithTheirNames)
{
    const QString html = Dir.path() + QStringLiteral("/page.hlp");
    WriteFileAtomically(html, "<!DOCTYPE html><html><body><p>Hello</p></body></html>\n");
    const QString cut = Dir.path() + QStringLiteral("/cut.hlp");
    WriteFileAtomically(cut, "<script type=\"application/json\" id=\"quorbel-help-index\">{\"topics\":[");
    const QString fifo = Dir.path() + QStringLiteral("/fifo.hlp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &path : {html, cut, fifo, Dir.path(), Dir.path() + QStringLiteral("/none.hlp")}) {
        try {
            THelpDocument::Load(path);
            ADD_FAILURE() << "read " << path.toStdString();
        } catch (const EHelpFile &e) {
            EXPECT_TRUE(e.message().contains(path)) << e.message().toStdString();
        }
    }
}

TEST(HelpRequest, CommandLinesAndTheirHandOver)
{
    QString error;
    const auto parse = [&](const QStringList &args) { return ParseHelpArguments(args, &error); };
    EXPECT_EQ(parse({QStringLiteral("A.hlp")}), (THelpRequest{QStringLiteral("A.hlp"), THelpMode::Contents, {}}));
    EXPECT_EQ(parse({QStringLiteral("A.hlp"), QStringLiteral("-context"), QStringLiteral("12")}),
              (THelpRequest{QStringLiteral("A.hlp"), THelpMode::Context, QStringLiteral("12")}));
    // The IDE's spelling puts the file first, others may put it last.
    EXPECT_EQ(parse({QStringLiteral("--popup"), QStringLiteral("7"), QStringLiteral("A.hlp")}),
              (THelpRequest{QStringLiteral("A.hlp"), THelpMode::Popup, QStringLiteral("7")}));
    EXPECT_EQ(parse({QStringLiteral("A.hlp"), QStringLiteral("--context=3")})->Argument, QStringLiteral("3"));
    EXPECT_EQ(parse({QStringLiteral("A.hlp"), QStringLiteral("--k"), QStringLiteral("two words")}),
              (THelpRequest{QStringLiteral("A.hlp"), THelpMode::Keyword, QStringLiteral("two words")}));
    EXPECT_EQ(parse({QStringLiteral("A.hlp"), QStringLiteral("-k")}), std::nullopt);
    EXPECT_FALSE(parse({QStringLiteral("-context"), QStringLiteral("1")}));
    EXPECT_FALSE(parse({QStringLiteral("A.hlp"), QStringLiteral("-x"), QStringLiteral("1")}));
    EXPECT_FALSE(parse({QStringLiteral("A.hlp"), QStringLiteral("-k"), QStringLiteral("a"), QStringLiteral("-popup"), QStringLiteral("1")}));

    // Paths and keywords outside the code page, and code-page ones that
    // would pass for UTF-8, arrive as they were sent.
    for (const THelpRequest &r : {THelpRequest{QStringLiteral("/tmp/\u041f/App.hlp"), THelpMode::Keyword, QStringLiteral("\u4e2d")},
                                  THelpRequest{QStringLiteral("/tmp/\u00c3\u00a9.hlp"), THelpMode::Popup, QStringLiteral("5")}}) {
        EXPECT_EQ(DecodeHelpRequest(quint64(r.Mode), EncodeHelpRequest(r)), r);
    }
    EXPECT_FALSE(DecodeHelpRequest(9, EncodeHelpRequest({QStringLiteral("/a.hlp"), THelpMode::Contents, {}})));
    EXPECT_FALSE(DecodeHelpRequest(0, QByteArray("/a.hlp")));
}

TEST_F(HelpViewer, ContextJumpBackAndContentsInTheFilesColours)
{
    Tree();
    Compile();
    THelpViewerWindow &w = Viewer();
    ASSERT_TRUE(w.Open(Request(THelpMode::Context, QString::number(Child))));
    EXPECT_TRUE(Page().contains(QStringLiteral("bold"))) << Page().toStdString();
    EXPECT_FALSE(Page().contains(QStringLiteral("Alpha text")));
    auto *view = Named<QTextBrowser>("TopicView");
    EXPECT_EQ(view->palette().color(QPalette::Base), QColor(255, 255, 230));
    EXPECT_FALSE(Named<QToolButton>("BackButton")->isEnabled());

    ClickText(view, QStringLiteral("caf\u00e9"));
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("\u03a9_caf\u00e9"));
    EXPECT_TRUE(Page().contains(QStringLiteral("\u4e2d \u20ac")));
    QTest::mouseClick(Named<QToolButton>("BackButton"), Qt::LeftButton);
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Child"));
    EXPECT_FALSE(Named<QToolButton>("BackButton")->isEnabled());

    // The contents page, its bullets shown as pictures.
    QTest::mouseClick(Named<QToolButton>("ContentsButton"), Qt::LeftButton);
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Contens"));
    int pictures = 0;
    for (QTextBlock b = view->document()->begin(); b.isValid(); b = b.next())
        for (auto f = b.begin(); !f.atEnd(); ++f)
            if (f.fragment().charFormat().isImageFormat()) {
                const QString name = f.fragment().charFormat().toImageFormat().name();
                EXPECT_FALSE(view->document()->resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>().isNull()) << name.toStdString();
                ++pictures;
            }
    EXPECT_EQ(pictures, 1); // Alpha's bola.bmp
    ClickText(view, QStringLiteral("Alpha"));
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Alpha"));
    QTest::mouseClick(Named<QToolButton>("BackButton"), Qt::LeftButton);
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Contens"));
}

TEST_F(HelpViewer, PopupClosesOnTheNextClickInsideOrOutside)
{
    Tree();
    Compile();
    THelpViewerWindow &w = Viewer();
    ASSERT_TRUE(w.Open(Request(THelpMode::Context, QString::number(Alpha))));
    auto *view = Named<QTextBrowser>("TopicView");
    ClickText(view, QStringLiteral("Note"));
    auto *popup = Named<QTextBrowser>("PopupView");
    ASSERT_TRUE(popup);
    ASSERT_TRUE(popup->isVisible());
    EXPECT_NE(popup->window(), &w);
    EXPECT_TRUE(popup->window()->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(popup->toPlainText().contains(QStringLiteral("A note")));
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Alpha")); // the page stays
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(popup->isVisible());

    ClickText(view, QStringLiteral("Note"));
    ASSERT_TRUE(popup->isVisible());
    // A click elsewhere goes through the window system, as the user's does.
    QWindow *window = w.windowHandle();
    QTest::mouseClick(window, Qt::LeftButton, {}, window->mapFromGlobal(w.mapToGlobal(QPoint(w.width() - 5, w.height() - 5))));
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Alpha"));

    // -popup N: the pop-up alone; its going is told, so the command can end.
    THelpViewerWindow alone;
    bool closed = false;
    QObject::connect(&alone, &THelpViewerWindow::PopupClosed, [&] { closed = true; });
    ASSERT_TRUE(alone.Open(Request(THelpMode::Popup, QString::number(Note))));
    auto *only = alone.findChild<QTextBrowser *>(QStringLiteral("PopupView"));
    ASSERT_TRUE(only && only->isVisible());
    EXPECT_FALSE(alone.isVisible());
    EXPECT_TRUE(only->toPlainText().contains(QStringLiteral("A note")));
    QTest::mouseClick(only->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(closed);
}

TEST_F(HelpViewer, KeywordSearchShowsItsTopicOrLetsTheUserChoose)
{
    Tree();
    Compile();
    THelpViewerWindow &w = Viewer();
    ASSERT_TRUE(w.Open(Request()));
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Contens"));
    QTest::mouseClick(Named<QToolButton>("IndexButton"), Qt::LeftButton);
    ASSERT_TRUE(Named<QWidget>("IndexPanel")->isVisible());
    auto *edit = Named<QLineEdit>("KeywordEdit");
    auto *list = Named<QListWidget>("KeywordList");
    QTest::keyClicks(edit, QStringLiteral("FIR"));
    ASSERT_TRUE(list->currentItem());
    EXPECT_EQ(list->currentItem()->text(), QStringLiteral("first"));
    EXPECT_TRUE(list->findItems(QStringLiteral("shared"), Qt::MatchExactly).value(0)->isHidden());
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Alpha"));

    // One keyword, two pages: both offered, the user's pick shown.
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("shared"));
    QTest::keyClick(edit, Qt::Key_Return);
    auto *choice = Named<QListWidget>("TopicChoiceList");
    ASSERT_TRUE(choice->isVisible());
    ASSERT_EQ(choice->count(), 2);
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Alpha"));
    QListWidgetItem *child = choice->findItems(QStringLiteral("Child"), Qt::MatchExactly).value(0);
    ASSERT_TRUE(child);
    QTest::mouseClick(choice->viewport(), Qt::LeftButton, {}, choice->visualItemRect(child).center());
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Child"));

    // -k from the command line.
    EXPECT_TRUE(w.Open(Request(THelpMode::Keyword, QStringLiteral("First"))));
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Alpha"));
    EXPECT_FALSE(w.Open(Request(THelpMode::Keyword, QStringLiteral("nowhere"))));
    EXPECT_TRUE(Status().contains(File) && Status().contains(QStringLiteral("\"nowhere\""))) << Status().toStdString();
}

TEST_F(HelpViewer, CompilerErrorsAndBadRequestsShownInTheWindow)
{
    Topic(QStringLiteral("Alpha"), QStringLiteral("Go {\\uldb there}{\\v No_such_topic} now"));
    Compile();
    THelpViewerWindow &w = Viewer();
    ASSERT_TRUE(w.Open(Request()));
    auto *messages = Named<QListWidget>("MessagesList");
    ASSERT_TRUE(messages->isVisible());
    QStringList lines;
    for (int i = 0; i < messages->count(); ++i)
        lines << messages->item(i)->text();
    EXPECT_TRUE(lines.join(QLatin1Char('\n')).contains(QStringLiteral("Unknown context string \"No_such_topic\" in a jump")))
        << lines.join(QLatin1Char('\n')).toStdString();

    // Unknown number: the contents stay, the file and number are named.
    EXPECT_FALSE(w.Open(Request(THelpMode::Context, QStringLiteral("4242"))));
    EXPECT_TRUE(Status().contains(File) && Status().contains(QStringLiteral("4242"))) << Status().toStdString();
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Contens"));
    EXPECT_FALSE(w.Open(Request(THelpMode::Popup, QStringLiteral("x1"))));
    EXPECT_TRUE(Status().contains(QStringLiteral("x1")));

    // Files that are no help: named, and the shown file kept.
    const QString text = Dir.path() + QStringLiteral("/notes.hlp");
    WriteFileAtomically(text, "just some text\n");
    for (const QString &bad : {text, Dir.path(), Dir.path() + QStringLiteral("/gone.hlp")}) {
        EXPECT_FALSE(w.Open({bad, THelpMode::Context, QStringLiteral("1")}));
        EXPECT_TRUE(Status().contains(bad)) << Status().toStdString();
        EXPECT_EQ(w.Document()->Path(), File);
    }
    // Rewritten by hcw without errors: read again, the list goes.
    Data.Table2.First();
    Data.Table2.Edit();
    Data.Table2TExto->SetAsString(QStringLiteral("Fixed"));
    Data.Table2.Post();
    Compile();
    ASSERT_TRUE(w.Open(Request(THelpMode::Context, QString::number(Data.Table2Map->AsInteger()))));
    EXPECT_TRUE(Page().contains(QStringLiteral("Fixed"))) << Page().toStdString();
    EXPECT_FALSE(messages->isVisible());

    // A viewer that never read a file says why on its page too.
    THelpViewerWindow fresh;
    EXPECT_FALSE(fresh.Open({text, THelpMode::Contents, {}}));
    EXPECT_TRUE(fresh.findChild<QTextBrowser *>(QStringLiteral("TopicView"))->toPlainText().contains(text));
}

// Damaged copies of a file hcw wrote: each refused with a word in the status
// line, and the page shown before stays, whether the damaged file is another
// one or the shown file rewritten.
TEST_F(HelpViewer, DamagedFilesToldAndTheShownPageStays)
{
    Tree();
    Compile();
    const QByteArray good = ReadWholeFile(File, 1 << 24);
    const qsizetype body = good.indexOf("<body>");
    const qsizetype second = good.indexOf("<section ", good.indexOf("</section>", body));
    ASSERT_GT(body, 0);
    ASSERT_GT(second, body);
    QByteArray garbled = good;
    for (qsizetype i = 0; i < 24; ++i) // a run of noise inside a page
        garbled[good.indexOf("Alpha text") + i] = char(0x80 + (i * 37) % 127);
    QByteArray broken = good; // a page's end lost
    broken.replace(broken.indexOf("</section>", second), 10, "</sectXon>");
    // Ends as a whole file does, but the index names pages past its end.
    const QByteArray shortened = good.left(second) + "</body>\n</html>\n";
    const QList<std::pair<const char *, QByteArray>> damaged = {
        {"cut in its pages", good.left((body + good.size()) / 2)},
        {"cut before its end tag", good.left(good.size() - 9)},
        {"cut in its index", good.left(body - 40)},
        {"doubled", good + good},
        {"garbled", garbled},
        {"a page unclosed", broken},
        {"index past its end", shortened},
    };

    THelpViewerWindow &w = Viewer();
    ASSERT_TRUE(w.Open(Request(THelpMode::Context, QString::number(Child))));
    const QString bad = Dir.path() + QStringLiteral("/bad.hlp");
    for (const auto &[what, bytes] : damaged) {
        SCOPED_TRACE(what);
        WriteFileAtomically(bad, bytes);
        EXPECT_FALSE(w.Open({bad, THelpMode::Context, QString::number(Alpha)}));
        EXPECT_TRUE(Status().contains(bad)) << Status().toStdString();
        EXPECT_EQ(w.Document()->Path(), File);
        EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Child"));
        EXPECT_TRUE(Page().contains(QStringLiteral("bold"))) << Page().toStdString();
    }
    // Handed over by a second quorbel-help, as the IDE's F1 does.
    ASSERT_TRUE(w.Listen());
    QProcess call;
    call.start(QStringLiteral(QUORBEL_HELP), {bad, QStringLiteral("-context"), QString::number(Alpha)});
    while (!call.waitForFinished(10))
        QCoreApplication::processEvents();
    EXPECT_EQ(call.exitCode(), 0);
    EXPECT_TRUE(Status().contains(QStringLiteral("damaged"))) << Status().toStdString();
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Child"));

    // The shown file itself damaged, then a topic of it asked for.
    const QDateTime stamp = QFileInfo(File).lastModified();
    for (const auto &[what, bytes] : damaged) {
        SCOPED_TRACE(what);
        WriteFileAtomically(File, bytes);
        QFile f(File);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(stamp.addSecs(10 + bytes.size() % 100), QFileDevice::FileModificationTime));
        f.close();
        EXPECT_FALSE(w.Open(Request(THelpMode::Context, QString::number(Alpha))));
        EXPECT_TRUE(Status().contains(File)) << Status().toStdString();
        EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Child"));
        EXPECT_TRUE(Page().contains(QStringLiteral("bold"))) << Page().toStdString();
    }

    // A viewer with nothing shown yet says why on its page.
    THelpViewerWindow fresh;
    EXPECT_FALSE(fresh.Open({File, THelpMode::Contents, {}}));
    EXPECT_TRUE(fresh.findChild<QTextBrowser *>(QStringLiteral("TopicView"))->toPlainText().contains(File));
}

// The running viewer shows what a second quorbel-help asks for; that one
// exits 0 at once. Both are real processes of the built command where the
// second one is concerned.
TEST_F(HelpViewer, SecondCallHandsOverToTheRunningViewer)
{
    Tree();
    Compile();
    THelpViewerWindow &w = Viewer();
    ASSERT_TRUE(w.Listen());
    ASSERT_TRUE(w.Open(Request()));
    w.hide();
    const auto run = [&](const QStringList &args, const QString &dir) {
        QProcess second;
        second.setWorkingDirectory(dir);
        second.start(QStringLiteral(QUORBEL_HELP), args);
        // The first viewer answers on this thread: keep it turning.
        while (!second.waitForFinished(10))
            QCoreApplication::processEvents();
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    };
    // A path relative to the second one's directory.
    EXPECT_EQ(run({QStringLiteral("App.hlp"), QStringLiteral("-context"), QString::number(Child)}, Dir.path() + QStringLiteral("/work")), 0);
    EXPECT_EQ(w.CurrentTopic(), QStringLiteral("Child"));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(run({File, QStringLiteral("--popup"), QString::number(Note)}, Dir.path()), 0);
    auto *popup = Named<QTextBrowser>("PopupView");
    ASSERT_TRUE(popup && popup->isVisible());
    EXPECT_TRUE(popup->toPlainText().contains(QStringLiteral("A note")));
    popup->close();
    // An unknown number is told in the first viewer, not by a second window.
    EXPECT_EQ(run({File, QStringLiteral("--context"), QStringLiteral("999")}, Dir.path()), 0);
    EXPECT_TRUE(Status().contains(QStringLiteral("999")));
    EXPECT_EQ(run({File, QStringLiteral("-bogus")}, Dir.path()), 2);
}

// With no viewer running, quorbel-help becomes the viewer others reach.
TEST_F(HelpViewer, FirstCallBecomesTheViewer)
{
    Tree();
    Compile();
    QProcess first;
    first.start(QStringLiteral(QUORBEL_HELP), {File, QStringLiteral("-context"), QString::number(Alpha)});
    ASSERT_TRUE(first.waitForStarted());
    for (int i = 0; i < 200 && !WindowMessages::WindowListening(HelpViewerClass); ++i)
        QTest::qWait(50);
    EXPECT_TRUE(WindowMessages::WindowListening(HelpViewerClass));
    EXPECT_TRUE(HandToRunningViewer(Request(THelpMode::Keyword, QStringLiteral("shared"))));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

// The shell's open of App.hlp reaches quorbel-help.
TEST(HelpViewerDesktopEntry, NamesTheBuiltViewerForHelpFiles)
{
    QFile entry(QStringLiteral(QUORBEL_HELP_DESKTOP));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("\nMimeType=application/winhlp;\n")));
    const auto exec = QRegularExpression(QStringLiteral("\nExec=\"?([^\"\n]*?)\"? %f\n")).match(text);
    ASSERT_TRUE(exec.hasMatch()) << text.toStdString();
    EXPECT_EQ(QFileInfo(exec.captured(1)).canonicalFilePath(), QFileInfo(QStringLiteral(QUORBEL_HELP)).canonicalFilePath());
    EXPECT_EQ(QMimeDatabase().mimeTypeForFile(QStringLiteral("App.hlp"), QMimeDatabase::MatchExtension).name(),
              QStringLiteral("application/winhlp"));
}

} // namespace
