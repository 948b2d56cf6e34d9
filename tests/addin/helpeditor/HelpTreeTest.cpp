// The help editor's topic tree over the help table, its edit dialog, and the
// topic picker as other programs reach it through the message layer.
#include "ScriptedDialogs.h"
#include "TestServices.h"

#include "core/DM.h"
#include "core/StringTable.h"
#include "helpeditor/EditData.h"
#include "helpeditor/FAyuda.h"
#include "ipc/ShareMem.h"

#include "SharedMemory.h"
#include "WindowMessages.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <tuple>

#include <sys/stat.h>

using namespace WindowMessages;

namespace {

// Runs action once the window is up as the modal widget.
void WhenModal(QWidget *window, std::function<void()> action)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, window, action] {
        if (QApplication::activeModalWidget() != window)
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

// Counts the modal dialogs that come up while it lives, closing each.
class TModalCounter {
public:
    TModalCounter()
    {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                ++Count;
                dialog->reject();
            }
        });
        FTimer.start();
    }
    int Count = 0;

private:
    QTimer FTimer;
};

QByteArray BlockStart(const TSharedMemory &view, int bytes)
{
    return QByteArray(static_cast<const char *>(view.Memory), bytes);
}

class HelpTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", Dir.path().toUtf8());
        // A reply block of this test's own: other tests use theirs meanwhile.
        qputenv("QUORBEL_SHM_PREFIX", QStringLiteral("quorbel-test-%1-").arg(QCoreApplication::applicationPid()).toUtf8());
        Hlp = Dir.path() + QStringLiteral("/work/HLP");
        QDir().mkpath(Hlp);
        CreateHelpTable(Hlp);
        Data.Table2.DatabaseName = Hlp;
        Data.Table2.TableName = QStringLiteral("Ayuda.db");
        Data.Table2.Open();
        EnsureParentIndex(Data.Table2);
        TFAyudaW::NewTopicCounter = 1; // as right after the add-in is loaded
    }
    void TearDown() override
    {
        Form.reset();
        UnlinkSharedMemory(TSHmemcom::BlockName());
        qunsetenv("QUORBEL_SHM_PREFIX");
        qputenv("XDG_RUNTIME_DIR", FOldRuntime);
    }

    void Open(TAddinServices services = TestServices())
    {
        services.Data = &Data;
        Form = std::make_unique<TFAyudaW>(nullptr, services);
        Form->show();
    }
    int Topic(const QString &title, int parent = -1)
    {
        Data.Table2.Append();
        Data.Table2Titulo->SetAsString(title);
        if (parent < 0)
            Data.Table2Level->SetAsString(QStringLiteral("1"));
        else
            Data.Table2parent->SetAsInteger(parent);
        Data.Table2.Post();
        return Data.Table2Map->AsInteger();
    }
    QTreeWidgetItem *Node(const QString &text) const
    {
        const auto found = Form->TreeView1->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    QStringList Children(QTreeWidgetItem *node) const
    {
        QStringList out;
        for (int i = 0; i < node->childCount(); ++i)
            out << node->child(i)->text(0);
        return out;
    }
    void Select(QTreeWidgetItem *node) { Form->TreeView1->setCurrentItem(node); }
    void Key(int key) { QTest::keyClick(Form->TreeView1, Qt::Key(key)); }
    void DoubleClick(QTreeWidgetItem *node)
    {
        Select(node);
        Form->TreeView1DblClick();
    }
    // Titles of the records whose field has the value, in index order.
    QStringList Where(const QString &field, const QString &value)
    {
        QStringList out;
        TTable &t = Data.Table2;
        for (t.First(); !t.Eof(); t.Next())
            if (t.FieldByName(field)->AsString() == value)
                out << t.FieldByName(QStringLiteral("Titulo"))->AsString();
        return out;
    }
    void CloseEditor()
    {
        if (QWidget *editor = QApplication::focusWidget(); editor && editor != Form->TreeView1)
            QTest::keyClick(editor, Qt::Key_Escape);
    }
    template <typename T> T Pump(std::future<T> &&work)
    {
        while (work.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            QCoreApplication::processEvents();
        return work.get();
    }
    // Sends WM_USER+100 from another thread, as another program would.
    TSendError SendPick(qint64 *result = nullptr)
    {
        return Pump(std::async(std::launch::async, [result] {
            TWindowConnection c;
            TSendError e = c.Open(QStringLiteral("TFAyudaW"));
            if (e == TSendError::None)
                e = c.Send(TFAyudaW::WM_PICKTOPIC, 0, {}, NoTimeout, result);
            return e;
        }));
    }
    // The open rename box of the current node.
    QWidget *RenameBox() const { return Form->TreeView1->indexWidget(Form->TreeView1->currentIndex()); }

    QTemporaryDir Dir;
    QString Hlp;
    TSYS Data;
    ScriptedDialogs Dialogs;
    std::unique_ptr<TFAyudaW> Form;

private:
    QByteArray FOldRuntime;
};

TEST_F(HelpTree, EmptyTableShowsOnlyTheRoot)
{
    Open();
    EXPECT_EQ(Form->windowTitle(), QStringLiteral("Project Help Editor"));
    ASSERT_EQ(Form->TreeView1->topLevelItemCount(), 1);
    EXPECT_EQ(Form->Root()->text(0), QStringLiteral("Help File"));
    EXPECT_EQ(Form->Root()->childCount(), 0);
    EXPECT_EQ(Form->btnWord->toolTip(), QStringLiteral("Generete HLP,RTF files"));
    EXPECT_EQ(Form->Borrar1->text(), QStringLiteral("Borrar"));
}

// The first level on showing; subtopics only on a double click, and gone
// again when their parent collapses.
TEST_F(HelpTree, SubtopicsLoadOnDoubleClickAndUnloadOnCollapse)
{
    const int beta = Topic(QStringLiteral("Beta"));
    Topic(QStringLiteral("Alpha"));
    const int b1 = Topic(QStringLiteral("Beta two"), beta);
    Topic(QStringLiteral("Beta one"), beta);
    Topic(QStringLiteral("Deep"), b1);
    Open();
    EXPECT_EQ(Children(Form->Root()), (QStringList{"Alpha", "Beta"}));
    QTreeWidgetItem *node = Node(QStringLiteral("Beta"));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->childCount(), 0); // no expand button yet
    EXPECT_EQ(TFAyudaW::ImageIndex(node), TFAyudaW::ImgCollapsed);

    DoubleClick(node);
    EXPECT_EQ(Children(node), (QStringList{"Beta one", "Beta two"}));
    EXPECT_TRUE(node->isExpanded());
    EXPECT_EQ(TFAyudaW::ImageIndex(node), TFAyudaW::ImgExpanded);
    EXPECT_EQ(TFAyudaW::ImageIndex(node->child(0)), TFAyudaW::ImgNew);
    EXPECT_EQ(TFAyudaW::RecordRef(node->child(1))->Map, b1);
    EXPECT_FALSE(Data.Table2.Filtered());

    // One level at a time: "Deep" waits for its own double click.
    QTreeWidgetItem *two = Node(QStringLiteral("Beta two"));
    EXPECT_EQ(two->childCount(), 0);
    DoubleClick(two);
    EXPECT_EQ(Children(two), QStringList{"Deep"});

    node->setExpanded(false);
    EXPECT_EQ(node->childCount(), 0);
    EXPECT_EQ(TFAyudaW::ImageIndex(node), TFAyudaW::ImgCollapsed);
    EXPECT_EQ(Node(QStringLiteral("Deep")), nullptr);
    DoubleClick(node);
    EXPECT_EQ(Children(node), (QStringList{"Beta one", "Beta two"}));

    // Collapsing the root keeps the first level.
    Form->Root()->setExpanded(false);
    EXPECT_EQ(Form->Root()->childCount(), 2);

    // A newly opened table: the tree empties and loads afresh on showing.
    Form->hide();
    Form->ClearTree();
    EXPECT_EQ(Form->TreeView1->topLevelItemCount(), 0);
    Form->show();
    EXPECT_EQ(Children(Form->Root()), (QStringList{"Alpha", "Beta"}));
}

// Insert on a topic, chosen each time, right after loading: "New Topic"
// and the counter from 2 on, each a subtopic of that topic.
TEST_F(HelpTree, InsertCreatesNumberedTopicsUnderTheSelectedNode)
{
    const int beta = Topic(QStringLiteral("Beta"));
    Open();
    QTreeWidgetItem *node = Node(QStringLiteral("Beta"));
    for (int i = 0; i < 3; ++i) {
        Select(node);
        Key(Qt::Key_Insert);
        // The new node is selected with its title open for typing.
        ASSERT_NE(Form->TreeView1->currentItem(), node);
        EXPECT_EQ(Form->TreeView1->currentItem()->text(0), QStringLiteral("New Topic%1").arg(i + 2));
        EXPECT_EQ(TFAyudaW::ImageIndex(Form->TreeView1->currentItem()), TFAyudaW::ImgNew);
        CloseEditor();
    }
    EXPECT_EQ(Where(QStringLiteral("parent"), QString::number(beta)),
              (QStringList{"New Topic2", "New Topic3", "New Topic4"}));
    for (const char *title : {"New Topic2", "New Topic3", "New Topic4"}) {
        ASSERT_TRUE(Data.Table2.Locate(QStringLiteral("Titulo"), title));
        EXPECT_TRUE(Data.Table2Level->AsString().isEmpty());
    }
    EXPECT_EQ(TFAyudaW::ImageIndex(node), TFAyudaW::ImgCollapsed);
    EXPECT_EQ(Data.Table2.State(), TDataSetState::Browse);

    // Below the root: a top-level topic.
    Select(Form->Root());
    Form->Nuevo1Click();
    CloseEditor();
    ASSERT_TRUE(Data.Table2.Locate(QStringLiteral("Titulo"), QStringLiteral("New Topic5")));
    EXPECT_EQ(Data.Table2Level->AsString(), QStringLiteral("1"));
    EXPECT_TRUE(Data.Table2parent->IsNull());

    // A title taken under that parent: nothing stays, nothing pending, no message.
    TFAyudaW::NewTopicCounter = 1;
    Select(node);
    Form->Nuevo1Click();
    EXPECT_EQ(Children(node).count(QStringLiteral("New Topic2")), 1);
    EXPECT_EQ(Data.Table2.State(), TDataSetState::Browse);
    EXPECT_EQ(Data.Table2.RecordCount(), 5);
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join('\n').toStdString();
}

// The keys typed while a title is open for renaming are the rename box's:
// Insert and F1 do nothing more, Enter only ends the rename.
TEST_F(HelpTree, KeysDuringARenameBelongToTheRenameBox)
{
    const int beta = Topic(QStringLiteral("Beta"));
    Open();
    Select(Node(QStringLiteral("Beta")));
    Key(Qt::Key_Insert);
    QWidget *box = RenameBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(Form->Renaming());
    TModalCounter dialogs;
    QTest::keyClicks(box, QStringLiteral("Setup"));
    QTest::keyClick(box, Qt::Key_Insert);
    QTest::keyClick(box, Qt::Key_F1);
    EXPECT_EQ(Where(QStringLiteral("parent"), QString::number(beta)), QStringList{"New Topic2"});
    QTest::keyClick(box, Qt::Key_Return);
    QTest::qWait(20); // the box closes and stores the title from the event loop
    EXPECT_FALSE(Form->Renaming());
    EXPECT_EQ(dialogs.Count, 0); // no "Topic Help Edit"
    EXPECT_EQ(Form->TreeView1->currentItem()->text(0), QStringLiteral("Setup"));
    EXPECT_EQ(Where(QStringLiteral("parent"), QString::number(beta)), QStringList{"Setup"});
    EXPECT_EQ(Data.Table2.State(), TDataSetState::Browse);
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join('\n').toStdString(); // F1 asked no viewer

    // Once the rename has ended, the keys are the window's again.
    Select(Node(QStringLiteral("Beta")));
    Key(Qt::Key_Insert);
    EXPECT_EQ(Where(QStringLiteral("parent"), QString::number(beta)), (QStringList{"New Topic3", "Setup"}));
    CloseEditor();
    EXPECT_FALSE(Form->Renaming());
    Key(Qt::Key_Return);
    EXPECT_EQ(dialogs.Count, 1);
}

// Siblings sort by title without regard to case, also after a rename.
TEST_F(HelpTree, SiblingsSortIgnoringCase)
{
    Topic(QStringLiteral("Zeta"));
    Topic(QStringLiteral("alpha"));
    Topic(QStringLiteral("Beta"));
    Open();
    EXPECT_EQ(Children(Form->Root()), (QStringList{"alpha", "Beta", "Zeta"}));
    Form->TreeView1Edited(Node(QStringLiteral("Zeta")), QStringLiteral("aardvark"));
    EXPECT_EQ(Children(Form->Root()), (QStringList{"aardvark", "alpha", "Beta"}));
}

TEST_F(HelpTree, RenamingStoresTheTitleAndARefusedOneKeepsTheOld)
{
    Topic(QStringLiteral("Alpha"));
    Topic(QStringLiteral("Beta"));
    Open();
    EXPECT_FALSE(Form->TreeView1Editing(Form->Root()));
    QTreeWidgetItem *alpha = Node(QStringLiteral("Alpha"));
    EXPECT_TRUE(Form->TreeView1Editing(alpha));
    Form->TreeView1Edited(alpha, QStringLiteral("Introduction"));
    EXPECT_EQ(alpha->text(0), QStringLiteral("Introduction"));
    EXPECT_EQ(Where(QStringLiteral("Level"), QStringLiteral("1")), (QStringList{"Beta", "Introduction"}));

    Form->TreeView1Edited(alpha, QStringLiteral("Beta"));
    EXPECT_EQ(alpha->text(0), QStringLiteral("Introduction"));
    ASSERT_EQ(Dialogs.log.size(), 1);
    EXPECT_TRUE(Dialogs.log.first().startsWith(QStringLiteral("error: "))) << Dialogs.log.first().toStdString();
    EXPECT_EQ(Data.Table2.State(), TDataSetState::Browse);
    // The node still finds its record.
    Form->TreeView1Edited(alpha, QStringLiteral("Gamma"));
    EXPECT_EQ(Where(QStringLiteral("Level"), QStringLiteral("1")), (QStringList{"Beta", "Gamma"}));
}

// Leaves only; a topic whose subtopics are in the table but not shown is
// refused, so no record is left under a parent that is gone.
TEST_F(HelpTree, DeletingTakesLeavesOnly)
{
    const int beta = Topic(QStringLiteral("Beta"));
    Topic(QStringLiteral("Child"), beta);
    Open();
    QTreeWidgetItem *node = Node(QStringLiteral("Beta"));

    Select(Form->Root());
    Key(Qt::Key_Delete);
    EXPECT_TRUE(Dialogs.log.isEmpty());

    Select(node);
    Key(Qt::Key_Delete);
    ASSERT_EQ(Dialogs.log.size(), 1);
    EXPECT_EQ(Dialogs.log.first(), QStringLiteral("message: ") + LoadStr(txt::TopicHasSubtopics).arg(QStringLiteral("Beta")));
    EXPECT_EQ(Data.Table2.RecordCount(), 2);
    EXPECT_NE(Node(QStringLiteral("Beta")), nullptr);

    DoubleClick(node);
    Select(node);
    Key(Qt::Key_Delete); // it shows subtopics: nothing happens
    EXPECT_EQ(Dialogs.log.size(), 1);

    Select(Node(QStringLiteral("Child")));
    Dialogs.answerNo();
    Key(Qt::Key_Delete);
    EXPECT_EQ(Dialogs.log.last(), QStringLiteral("question: Delete de select Item ?"));
    EXPECT_EQ(Data.Table2.RecordCount(), 2);
    Dialogs.answerYes();
    Key(Qt::Key_Delete);
    EXPECT_EQ(Node(QStringLiteral("Child")), nullptr);
    EXPECT_EQ(Where(QStringLiteral("Level"), QStringLiteral("1")), QStringList{"Beta"});
    EXPECT_EQ(Data.Table2.RecordCount(), 1);

    node->setExpanded(false);
    Select(node);
    Dialogs.answerYes();
    Key(Qt::Key_Delete);
    EXPECT_EQ(Data.Table2.RecordCount(), 0);
    EXPECT_EQ(Form->Root()->childCount(), 0);
}

// The root edits the one "Contens" record, of which only the text can change;
// a topic's dialog renames its node.
TEST_F(HelpTree, EditingTheRootEditsTheContentsText)
{
    Topic(QStringLiteral("Alpha"));
    Open();
    for (const QString &text : {QStringLiteral("Welcome"), QStringLiteral("Welcome\nsecond line")}) {
        bool seen = false;
        auto act = [&] {
            auto *dialog = qobject_cast<TFEditData *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            seen = true;
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Topic Help Edit"));
            EXPECT_FALSE(dialog->DBEdit1->isEnabled());
            EXPECT_FALSE(dialog->DBEdit2->isEnabled());
            EXPECT_FALSE(dialog->DBCheckBox1->isEnabled());
            EXPECT_TRUE(dialog->DBMemo1->isEnabled());
            dialog->DBMemo1->setFocus();
            dialog->DBMemo1->selectAll();
            QTest::keyClicks(dialog->DBMemo1, text.section('\n', 0, 0));
            if (text.contains('\n')) {
                QTest::keyClick(dialog->DBMemo1, Qt::Key_Return);
                QTest::keyClicks(dialog->DBMemo1, text.section('\n', 1));
            }
            dialog->Button1->click();
        };
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (qobject_cast<TFEditData *>(QApplication::activeModalWidget())) {
                poll.stop();
                act();
            }
        });
        poll.start();
        Select(Form->Root());
        Key(Qt::Key_Return);
        EXPECT_TRUE(seen);
        EXPECT_EQ(Where(QStringLiteral("Titulo"), LoadStr(txt::ContentsTopic)), QStringList{LoadStr(txt::ContentsTopic)});
        ASSERT_TRUE(Data.Table2.Locate(QStringLiteral("Titulo"), LoadStr(txt::ContentsTopic)));
        EXPECT_EQ(Data.Table2TExto->AsString(), text);
    }
    EXPECT_EQ(Form->Root()->text(0), QStringLiteral("Help File"));

    // A topic: the title typed in the dialog becomes the node's text.
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<TFEditData *>(QApplication::activeModalWidget())) {
            poll.stop();
            EXPECT_TRUE(dialog->DBEdit1->isEnabled());
            dialog->DBEdit1->setFocus();
            dialog->DBEdit1->selectAll();
            QTest::keyClicks(dialog->DBEdit1, QStringLiteral("Overview"));
            dialog->DBCheckBox1->click();
            dialog->Button1->click();
        }
    });
    poll.start();
    Select(Node(QStringLiteral("Alpha")));
    Form->Editar1Click();
    ASSERT_NE(Node(QStringLiteral("Overview")), nullptr);
    ASSERT_TRUE(Data.Table2.Locate(QStringLiteral("Titulo"), QStringLiteral("Overview")));
    EXPECT_TRUE(Data.Table2Popup->AsBoolean());
    EXPECT_EQ(Data.Table2.State(), TDataSetState::Browse);
}

// Cancel and the close box leave the record as it was, not pending.
TEST_F(HelpTree, CancelledEditLeavesNothingPending)
{
    Topic(QStringLiteral("Alpha"));
    Open();
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<TFEditData *>(QApplication::activeModalWidget())) {
            poll.stop();
            QTest::keyClicks(dialog->DBEdit1, QStringLiteral("X"));
            EXPECT_EQ(Data.Table2.State(), TDataSetState::Edit);
            dialog->reject();
        }
    });
    poll.start();
    Select(Node(QStringLiteral("Alpha")));
    Form->Editar1Click();
    EXPECT_EQ(Data.Table2.State(), TDataSetState::Browse);
    EXPECT_NE(Node(QStringLiteral("Alpha")), nullptr);
    EXPECT_EQ(Where(QStringLiteral("Level"), QStringLiteral("1")), QStringList{"Alpha"});
}

// The picker through the real message layer: the sender's call returns
// with the answer in the block.
TEST_F(HelpTree, PickerAnswersTheTopicNumberOrCancel)
{
    Topic(QStringLiteral("Alpha"));
    const int beta = Topic(QStringLiteral("Beta"));
    Open();
    Form->hide();
    ASSERT_TRUE(Form->Listening());
    TSharedMemory requester(TSHmemcom::BlockName(), TSHmemcom::BlockSize);

    std::memcpy(requester.Memory, "old", 4);
    bool seen = false;
    WhenModal(Form.get(), [&] {
        seen = true;
        EXPECT_EQ(Form->windowTitle(), QStringLiteral("Select Topic"));
        EXPECT_EQ(Form->StatusBar1->currentMessage(), QStringLiteral("Press RETURN to insert a Topic"));
        EXPECT_TRUE(Form->PickMode);
        Select(Form->Root());
        Key(Qt::Key_Return); // the root cannot be picked
        EXPECT_TRUE(Form->isVisible());
        EXPECT_TRUE(Dialogs.log.isEmpty()); // and Enter opens no editor here
        Select(Node(QStringLiteral("Beta")));
        Key(Qt::Key_Return);
    });
    EXPECT_EQ(SendPick(), TSendError::None);
    EXPECT_TRUE(seen);
    const QByteArray number = QByteArray::number(beta);
    // The reply and its zero; the rest of the old text stays.
    EXPECT_EQ(BlockStart(requester, 4), number + '\0' + QByteArray("old\0", 4).mid(number.size() + 1));
    EXPECT_EQ(Form->windowTitle(), QStringLiteral("Project Help Editor"));
    EXPECT_TRUE(Form->StatusBar1->currentMessage().isEmpty());
    EXPECT_FALSE(Form->PickMode);
    EXPECT_FALSE(Form->isVisible());

    WhenModal(Form.get(), [&] { Key(Qt::Key_Escape); });
    EXPECT_EQ(SendPick(), TSendError::None);
    EXPECT_EQ(BlockStart(requester, 3), QByteArray("$$\0", 3));

    // Closing the window (as at a project's close) is a cancel too.
    std::memcpy(requester.Memory, "old", 4);
    WhenModal(Form.get(), [&] { Form->close(); });
    EXPECT_EQ(SendPick(), TSendError::None);
    EXPECT_EQ(BlockStart(requester, 3), QByteArray("$$\0", 3));
}

TEST_F(HelpTree, PickerWithTheTableClosedShowsTheMessageAndWritesNothing)
{
    Open();
    Data.Table2.Close();
    TSharedMemory requester(TSHmemcom::BlockName(), TSHmemcom::BlockSize);
    std::memcpy(requester.Memory, "old", 4);
    EXPECT_EQ(SendPick(), TSendError::None);
    EXPECT_EQ(Dialogs.log, QStringList{"message: You must active Expert Help before use"});
    EXPECT_EQ(BlockStart(requester, 4), QByteArray("old\0", 4));
    EXPECT_FALSE(Form->PickMode);
}

// A second request while the picker is up is told it is busy and leaves
// the answer block to the first.
TEST_F(HelpTree, PickerAnswersASecondRequestAsBusy)
{
    const int alpha = Topic(QStringLiteral("Alpha"));
    Open();
    Form->hide();
    TSharedMemory requester(TSHmemcom::BlockName(), TSHmemcom::BlockSize);
    std::memcpy(requester.Memory, "old", 4);
    qint64 second = -1, first = -1;
    TSendError secondSent = TSendError::Failed;
    WhenModal(Form.get(), [&] {
        secondSent = SendPick(&second);
        EXPECT_EQ(BlockStart(requester, 4), QByteArray("old\0", 4));
        EXPECT_TRUE(Form->PickMode);
        Select(Node(QStringLiteral("Alpha")));
        Key(Qt::Key_Return);
    });
    EXPECT_EQ(SendPick(&first), TSendError::None);
    EXPECT_EQ(secondSent, TSendError::None);
    EXPECT_EQ(second, TFAyudaW::PickBusy);
    EXPECT_EQ(first, 0);
    const QByteArray number = QByteArray::number(alpha);
    EXPECT_EQ(BlockStart(requester, 4), number + '\0' + QByteArray("old\0", 4).mid(number.size() + 1));
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join('\n').toStdString();
}

// F1 and context help reach the viewer with the add-in's help file; with no
// viewer installed the user is told so.
TEST_F(HelpTree, HelpKeysOpenTheAddinsHelpFile)
{
    const QString record = Dir.path() + QStringLiteral("/viewer.log");
    const QString viewer = Dir.path() + QStringLiteral("/quorbel-help");
    {
        QFile f(viewer);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\necho \"$@\" >> '%1'\n").arg(record).toUtf8());
    }
    QFile::setPermissions(viewer, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    TAddinServices services = TestServices();
    services.DataDir = Dir.path();
    const QString help = Dir.path() + QStringLiteral("/quorbel.hlp");
    {
        QFile f(help);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    services.FindTool = [viewer](const QString &command) {
        return command == QLatin1String("quorbel-help") ? viewer : QString();
    };
    Open(services);
    auto lines = [&](int count) {
        QDeadlineTimer deadline(10000);
        QStringList out;
        while (!deadline.hasExpired()) {
            QFile f(record);
            if (f.open(QIODevice::ReadOnly))
                out = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
            if (out.size() >= count)
                break;
            QThread::msleep(20);
        }
        return out;
    };
    Key(Qt::Key_F1);
    EXPECT_EQ(lines(1), QStringList{help + " -context 42"});
    QHelpEvent request(QEvent::WhatsThis, QPoint(5, 5), Form->TreeView1->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Form->TreeView1->viewport(), &request);
    EXPECT_EQ(lines(2), (QStringList{help + " -context 42", help + " -popup 60"}));
    // A control without a help context of its own or above: nothing.
    QHelpEvent none(QEvent::WhatsThis, QPoint(2, 2), QPoint(2, 2));
    QApplication::sendEvent(Form->btnNuevo, &none);
    EXPECT_TRUE(Dialogs.log.isEmpty());

    Form.reset();
    services.FindTool = [](const QString &) { return QString(); };
    Open(services);
    Key(Qt::Key_F1);
    ASSERT_EQ(Dialogs.log.size(), 1);
    EXPECT_TRUE(Dialogs.log.first().startsWith(QStringLiteral("error: No help viewer is installed")))
        << Dialogs.log.first().toStdString();
}

// quorbel-pick-topic against the window of this process.
TEST_F(HelpTree, PickTopicCommandPrintsThePickAndTellsEachOutcome)
{
    const QString tool = QStringLiteral(QUORBEL_PICK_TOPIC);
    auto run = [&](std::function<void()> onModal) {
        if (onModal)
            WhenModal(Form.get(), onModal);
        QProcess p;
        p.start(tool, {});
        EXPECT_TRUE(p.waitForStarted());
        QDeadlineTimer deadline(20000);
        while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            p.waitForFinished(5);
        }
        return std::make_tuple(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                               QString::fromUtf8(p.readAllStandardError()));
    };

    auto [noEditor, out0, err0] = run({});
    EXPECT_EQ(noEditor, 2);
    EXPECT_TRUE(err0.contains(QStringLiteral("no help editor is running"))) << err0.toStdString();

    const int alpha = Topic(QStringLiteral("Alpha"));
    Open();
    Form->hide();
    auto [picked, out1, err1] = run([&] {
        Select(Node(QStringLiteral("Alpha")));
        Key(Qt::Key_Return);
    });
    EXPECT_EQ(picked, 0) << err1.toStdString();
    EXPECT_EQ(out1, QString::number(alpha) + '\n');

    auto [cancelled, out2, err2] = run([&] { Key(Qt::Key_Escape); });
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(out2.isEmpty());

    // Asked again while the picker is up: busy, and the first still picks.
    std::tuple<int, QString, QString> busy;
    auto [first, out4, err4] = run([&] {
        busy = run({});
        Select(Node(QStringLiteral("Alpha")));
        Key(Qt::Key_Return);
    });
    EXPECT_EQ(std::get<0>(busy), 5);
    EXPECT_TRUE(std::get<1>(busy).isEmpty());
    EXPECT_TRUE(std::get<2>(busy).contains(QStringLiteral("busy"))) << std::get<2>(busy).toStdString();
    EXPECT_EQ(first, 0) << err4.toStdString();
    EXPECT_EQ(out4, QString::number(alpha) + '\n');

    Data.Table2.Close();
    auto [closed, out3, err3] = run({});
    EXPECT_EQ(closed, 3);
    EXPECT_TRUE(err3.contains(QStringLiteral("help table is not open"))) << err3.toStdString();
    EXPECT_EQ(Dialogs.log, QStringList{"message: You must active Expert Help before use"});
}

// Another IDE's help editor answers first, in a process of its own; this
// one takes over when that IDE exits, and a showing tries again what was
// refused before.
TEST_F(HelpTree, SecondIdeTakesOverThePickerWhenTheFirstExits)
{
    QProcess other;
    other.start(QStringLiteral(QUORBEL_WINDOW_HOLDER), {QStringLiteral("TFAyudaW")});
    ASSERT_TRUE(other.waitForReadyRead(10000));
    ASSERT_EQ(other.readLine().trimmed(), "listening");
    Form = std::make_unique<TFAyudaW>(nullptr, TestServices()); // hidden, as at the add-in's start
    EXPECT_FALSE(Form->Listening());
    other.closeWriteChannel();
    ASSERT_TRUE(other.waitForFinished(10000));
    for (int i = 0; i < 500 && !Form->Listening(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(Form->Listening());

    Form.reset();
    const QByteArray dir = QFile::encodeName(WindowMessages::SocketDirectory());
    ASSERT_FALSE(dir.isEmpty());
    ::chmod(dir.constData(), 0750); // refused, so nothing to wait for
    Form = std::make_unique<TFAyudaW>(nullptr, TestServices());
    EXPECT_FALSE(Form->Listening());
    ::chmod(dir.constData(), 0700);
    Form->show();
    EXPECT_TRUE(Form->Listening());
}

} // namespace
