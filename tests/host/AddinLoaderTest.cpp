// Add-ins: started through their entry point, reported when they fail,
// taken down at exit before the IDE's windows go.
#include "HostFixture.h"

#include "AddinLoader.h"
#include "AppBuilder.h"
#include "HostMenu.h"

#include "Registry.h"

#include <QLibraryInfo>
#include <QPointer>

#include <dlfcn.h>

namespace {

// What the fake add-ins saw, in order.
QStringList journal;
TIToolServices *startedWith = nullptr;
QPointer<QWidget> mainWindowAtRelease;
bool menuItemPresentAtRelease = false;
qide::TIde *currentIde = nullptr;

class TFakeExpert : public TIExpert {
public:
    explicit TFakeExpert(QString name) : FName(std::move(name)) {}
    QString GetName() override { return FName; }
    TExpertStyle GetStyle() override { return esAddIn; }
    TExpertState GetState() override { return esEnabled; }
    QString GetIDString() override { return QStringLiteral("Test.") + FName; }
    void Execute() override {}

protected:
    ~TFakeExpert() override
    {
        journal << QStringLiteral("destroyed ") + FName;
        if (currentIde) {
            mainWindowAtRelease = currentIde->mainWindow();
            menuItemPresentAtRelease = currentIde->menus()->findAction(QStringLiteral("FakeItem")) != nullptr;
        }
    }

private:
    QString FName;
};

void Terminate()
{
    journal << QStringLiteral("terminate");
}

bool StartWithMenu(TIToolServices *services, TExpertRegisterProc registerProc, TExpertTerminateProc *terminate)
{
    startedWith = services;
    THostRef<TIMainMenuIntf> menu(services->GetMainMenu());
    THostRef<TIMenuItemIntf> anchor(menu->FindMenuItem(QStringLiteral("ViewWindowListItem")));
    THostRef<TIMenuItemIntf> parent(anchor->GetParent());
    THostRef<TIMenuItemIntf> item(parent->InsertItem(anchor->GetIndex() + 1, QStringLiteral("Fake"),
                                                     QStringLiteral("FakeItem"), {}, 0, 0, 0,
                                                     mfEnabled | mfVisible, [](TIMenuItemIntf *) {}));
    *terminate = &Terminate;
    return registerProc(new TFakeExpert(QStringLiteral("Menu")));
}

bool StartTwoExperts(TIToolServices *, TExpertRegisterProc registerProc, TExpertTerminateProc *)
{
    return registerProc(new TFakeExpert(QStringLiteral("One"))) && registerProc(new TFakeExpert(QStringLiteral("Two")));
}

bool StartThenThrow(TIToolServices *, TExpertRegisterProc registerProc, TExpertTerminateProc *)
{
    registerProc(new TFakeExpert(QStringLiteral("Half")));
    throw EInOutError(QStringLiteral("data file missing"));
}

bool Decline(TIToolServices *, TExpertRegisterProc, TExpertTerminateProc *)
{
    return false;
}

bool ThrowOddly(TIToolServices *, TExpertRegisterProc, TExpertTerminateProc *)
{
    throw 7;
}

} // namespace

class AddinTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        journal.clear();
        startedWith = nullptr;
        currentIde = ide.get();
    }
    void TearDown() override
    {
        currentIde = nullptr;
        HostTest::TearDown();
    }
};

TEST_F(AddinTest, ExpertsAreReleasedBeforeTheWindowsGoThenTerminateIsCalled)
{
    auto &loader = ide->addins();
    EXPECT_TRUE(loader.start(QStringLiteral("menu"), &StartWithMenu));
    EXPECT_TRUE(loader.start(QStringLiteral("two"), &StartTwoExperts));
    EXPECT_EQ(startedWith, services);
    EXPECT_EQ(loader.experts().size(), 3u);
    EXPECT_TRUE(loader.errors().isEmpty());
    EXPECT_TRUE(events.contains(QStringLiteral("expert-registered Menu")));

    ide->shutdown(false);
    // Newest add-in first; each library's terminate after its experts.
    EXPECT_EQ(journal, (QStringList{"destroyed Two", "destroyed One", "destroyed Menu", "terminate"}));
    EXPECT_TRUE(mainWindowAtRelease);
    EXPECT_TRUE(menuItemPresentAtRelease);
    EXPECT_FALSE(ide->menus()->findAction(QStringLiteral("FakeItem")));
    EXPECT_TRUE(events.contains(QStringLiteral("expert-released Two")));

    ide->shutdown(false); // twice changes nothing
    loader.releaseExperts();
    EXPECT_EQ(journal.size(), 4);
}

TEST_F(AddinTest, AFailingStartIsReportedOnceAndSkipped)
{
    auto &loader = ide->addins();
    EXPECT_FALSE(loader.start(QStringLiteral("half"), &StartThenThrow));
    EXPECT_FALSE(loader.start(QStringLiteral("odd"), &ThrowOddly));
    EXPECT_FALSE(loader.start(QStringLiteral("shy"), &Decline));
    EXPECT_EQ(loader.errors(),
              (QStringList{"Add-in \"half\" failed to start: data file missing",
                           "Add-in \"odd\" failed to start: unknown error"}));
    // An expert registered before the failure still goes down properly.
    EXPECT_EQ(loader.experts().size(), 1u);
    EXPECT_EQ(loader.libraryCount(), 1);

    ide->reportAddinErrors();
    ide->reportAddinErrors();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(QStringLiteral("data file missing")));
    EXPECT_TRUE(messages.first().contains(QStringLiteral("\"odd\"")));

    // The IDE runs on.
    EXPECT_TRUE(services->OpenFile(write("U.pas", "unit U;\n")));
    ide->shutdown(false);
    EXPECT_EQ(journal, QStringList{"destroyed Half"});
}

namespace {
TExpertRegisterProc keptRegisterProc = nullptr;
bool KeepRegisterProc(TIToolServices *, TExpertRegisterProc registerProc, TExpertTerminateProc *)
{
    keptRegisterProc = registerProc;
    return true;
}
} // namespace

TEST_F(AddinTest, RegisteringOutsideAStartIsRefused)
{
    ide->addins().start(QStringLiteral("keeper"), &KeepRegisterProc);
    ASSERT_TRUE(keptRegisterProc);
    auto *stray = new TFakeExpert(QStringLiteral("Stray"));
    EXPECT_FALSE(keptRegisterProc(stray));
    EXPECT_FALSE(keptRegisterProc(nullptr));
    EXPECT_TRUE(ide->addins().experts().empty());
    stray->Release();
    EXPECT_EQ(journal, QStringList{"destroyed Stray"});
}

TEST_F(AddinTest, LibrariesThatCannotBeLoadedAreReported)
{
    auto &loader = ide->addins();
    EXPECT_FALSE(loader.loadLibrary(QStringLiteral("Gone"), path("libgone.so")));
    // A real library without the entry point: the Qt core library.
    Dl_info info{};
    ASSERT_TRUE(dladdr(reinterpret_cast<void *>(&qVersion), &info));
    EXPECT_FALSE(loader.loadLibrary(QStringLiteral("Core"), QString::fromLocal8Bit(info.dli_fname)));
    const QStringList errors = loader.errors();
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors.at(0).startsWith(QStringLiteral("Add-in \"Gone\" could not be loaded from ") + path("libgone.so")));
    EXPECT_TRUE(errors.at(1).contains(QStringLiteral("has no INITEXPERT0016 entry point")));
    EXPECT_EQ(loader.libraryCount(), 0);
    EXPECT_TRUE(events.contains(QStringLiteral("addin-error ") + errors.at(0)));
}

TEST_F(AddinTest, EveryRegisteredValueIsTried)
{
    const QString key = qide::TAddinLoader::ExpertsKey;
    Registry::writeString(HKEY::CurrentUser, key, QStringLiteral("First"), path("one.so"));
    Registry::writeString(HKEY::CurrentUser, key, QStringLiteral("Second"), path("two.so"));
    Registry::writeString(HKEY::CurrentUser, key, QStringLiteral("Empty"), QString());
    ide->loadAddins();
    const QStringList errors = ide->addins().takeErrors();
    Registry::deleteValue(HKEY::CurrentUser, key, QStringLiteral("First"));
    Registry::deleteValue(HKEY::CurrentUser, key, QStringLiteral("Second"));
    Registry::deleteValue(HKEY::CurrentUser, key, QStringLiteral("Empty"));
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(errors.filter(QStringLiteral("one.so")).size() == 1);
    EXPECT_TRUE(errors.filter(QStringLiteral("two.so")).size() == 1);
    EXPECT_TRUE(errors.contains(QStringLiteral("Add-in \"Empty\" has no library path.")));
}
