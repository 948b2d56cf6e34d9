// Projects, Close All and the notifications add-ins receive.
#include "HostFixture.h"

#include <QDir>
#include <QRegularExpression>

namespace {

class TRecordingNotifier : public TIAddInNotifier {
public:
    void FileNotification(TFileNotification code, const QString &fileName, bool &cancel) override
    {
        calls << QStringLiteral("%1 %2").arg(int(code)).arg(QFileInfo(fileName).fileName());
        if (code == cancelCode)
            cancel = true;
        if (onCall)
            onCall(code);
    }
    int32_t AddRef() override
    {
        ++refs;
        return TIAddInNotifier::AddRef();
    }
    int32_t Release() override
    {
        --refs;
        return TIAddInNotifier::Release();
    }
    QStringList calls;
    int refs = 1;
    int cancelCode = -1;
    std::function<void(TFileNotification)> onCall;
};

QStringList ProjectClosings(const QStringList &calls)
{
    return calls.filter(QRegularExpression(QStringLiteral("^5 ")));
}

} // namespace

class ProjectTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        write("A.pas", "unit A;\ninterface\nimplementation\nend.\n");
        write("B.pas", "unit B;\ninterface\nimplementation\nend.\n");
        QDir(dir.path()).mkdir(QStringLiteral("lib"));
        write("lib/C.pas", "unit C;\ninterface\nimplementation\nend.\n");
        first = write("First.dpr", "program First;\nuses\n  SysUtils,\n  A in 'A.pas',\n"
                                   "  C in 'lib\\c.pas' { case differs };\nbegin\nend.\n");
        second = write("Second.dpr", "program Second;\nuses B in 'B.pas';\nbegin\nend.\n");
        notifier = new TRecordingNotifier;
        ASSERT_TRUE(services->AddNotifier(notifier));
    }
    void TearDown() override
    {
        if (ide)
            services->RemoveNotifier(notifier);
        notifier->Release();
        HostTest::TearDown();
    }
    QString first, second;
    TRecordingNotifier *notifier = nullptr;
};

TEST_F(ProjectTest, OpenProjectListsItsUnits)
{
    EXPECT_TRUE(services->GetProjectName().isEmpty());
    EXPECT_EQ(services->GetUnitCount(), 0);
    ASSERT_TRUE(services->OpenProject(first));
    EXPECT_EQ(services->GetProjectName(), first);
    ASSERT_EQ(services->GetUnitCount(), 3);
    EXPECT_EQ(services->GetUnitName(0), first);
    EXPECT_EQ(services->GetUnitName(1), path("A.pas"));
    EXPECT_EQ(services->GetUnitName(2), path("lib/C.pas"));
    EXPECT_TRUE(services->GetUnitName(3).isEmpty());
    // The project's source opens in the editor.
    EXPECT_EQ(services->GetCurrentFile(), first);
    EXPECT_EQ(notifier->calls, (QStringList{"3 First.dpr", "4 First.dpr", "0 First.dpr", "1 First.dpr"}));
}

TEST_F(ProjectTest, EveryWayOfClosingAProjectSendsCode5)
{
    ASSERT_TRUE(services->OpenProject(first));
    ASSERT_TRUE(services->OpenProject(second)); // another project
    EXPECT_EQ(ProjectClosings(notifier->calls), QStringList{"5 First.dpr"});
    EXPECT_EQ(services->GetProjectName(), second);

    ASSERT_TRUE(ide->closeAll()); // File > Close All
    EXPECT_EQ(ProjectClosings(notifier->calls), (QStringList{"5 First.dpr", "5 Second.dpr"}));
    EXPECT_TRUE(services->GetProjectName().isEmpty());
    EXPECT_EQ(services->GetUnitCount(), 0);
    EXPECT_TRUE(services->GetCurrentFile().isEmpty());

    ide->closeAll(); // nothing open: no notification
    EXPECT_EQ(ProjectClosings(notifier->calls).size(), 2);

    ASSERT_TRUE(services->OpenProject(first));
    ASSERT_TRUE(ide->shutdown(true)); // quitting
    EXPECT_EQ(ProjectClosings(notifier->calls).size(), 3);
    EXPECT_TRUE(events.contains(QStringLiteral("notify 5 ") + first));
}

TEST_F(ProjectTest, UnsavedFilesCanStopClosing)
{
    ASSERT_TRUE(services->OpenProject(first));
    ASSERT_TRUE(services->OpenFile(path("A.pas")));
    ide->editorFor(path("A.pas"))->insertPlainText(QStringLiteral("{ edited }"));

    answer = QMessageBox::Cancel;
    EXPECT_FALSE(ide->closeAll());
    EXPECT_EQ(services->GetProjectName(), first);
    EXPECT_TRUE(ProjectClosings(notifier->calls).isEmpty());
    EXPECT_FALSE(services->OpenProject(second));
    EXPECT_EQ(services->GetProjectName(), first);
    EXPECT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages.first().contains(QStringLiteral("A.pas")));

    answer = QMessageBox::Yes;
    EXPECT_TRUE(ide->closeAll());
    EXPECT_TRUE(read(path("A.pas")).startsWith("{ edited }unit A;"));
    EXPECT_EQ(ProjectClosings(notifier->calls), QStringList{"5 First.dpr"});
}

TEST_F(ProjectTest, DiscardedChangesStayOffTheDisk)
{
    ASSERT_TRUE(services->OpenFile(path("B.pas")));
    ide->editorFor(path("B.pas"))->insertPlainText(QStringLiteral("junk"));
    answer = QMessageBox::No;
    EXPECT_TRUE(ide->closeAll());
    EXPECT_EQ(read(path("B.pas")), QByteArray("unit B;\ninterface\nimplementation\nend.\n"));
}

TEST_F(ProjectTest, NotifiersAreCountedAndMayLeaveWhileNotified)
{
    EXPECT_EQ(notifier->refs, 2); // ours and the IDE's
    EXPECT_FALSE(services->AddNotifier(notifier));
    EXPECT_FALSE(services->AddNotifier(nullptr));

    // A second notifier that goes away during its first notification.
    auto *leaving = new TRecordingNotifier;
    ASSERT_TRUE(services->AddNotifier(leaving));
    leaving->onCall = [&](TFileNotification) { services->RemoveNotifier(leaving); };
    ASSERT_TRUE(services->OpenFile(path("A.pas")));
    EXPECT_EQ(leaving->calls, QStringList{"0 A.pas"});
    EXPECT_EQ(leaving->refs, 1);
    leaving->Release();

    EXPECT_TRUE(services->RemoveNotifier(notifier));
    EXPECT_EQ(notifier->refs, 1);
    EXPECT_FALSE(services->RemoveNotifier(notifier));
    ide->closeAll(false);
    EXPECT_EQ(notifier->calls, (QStringList{"0 A.pas", "1 A.pas"}));
}

TEST_F(ProjectTest, AFailingNotifierDoesNotStopTheOthers)
{
    auto *failing = new TRecordingNotifier;
    failing->onCall = [](TFileNotification) { throw EInOutError(QStringLiteral("notifier broke")); };
    ASSERT_TRUE(services->AddNotifier(failing));
    ASSERT_TRUE(services->OpenProject(second));
    EXPECT_TRUE(notifier->calls.contains(QStringLiteral("4 Second.dpr")));
    EXPECT_TRUE(messages.contains(QStringLiteral("notifier broke")));
    services->RemoveNotifier(failing);
    failing->Release();
}

TEST_F(ProjectTest, OpeningNotificationsCanRefuse)
{
    notifier->cancelCode = fnProjectOpening;
    EXPECT_FALSE(services->OpenProject(first));
    EXPECT_TRUE(services->GetProjectName().isEmpty());
    notifier->cancelCode = fnFileOpening;
    EXPECT_FALSE(services->OpenFile(path("A.pas")));
    EXPECT_FALSE(services->IsFileOpen(path("A.pas")));
    // Closing cannot be refused.
    notifier->cancelCode = fnProjectClosing;
    ASSERT_TRUE(services->OpenProject(second));
    EXPECT_TRUE(ide->closeAll());
    EXPECT_TRUE(services->GetProjectName().isEmpty());
}

TEST_F(ProjectTest, MissingProjectIsReported)
{
    EXPECT_FALSE(services->OpenProject(path("Nowhere.dpr")));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(QStringLiteral("Nowhere.dpr")));
    EXPECT_TRUE(notifier->calls.isEmpty());
}
