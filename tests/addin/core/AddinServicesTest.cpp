// What the expert hands its tools: the data directory from the registry, the
// one command edge, and the add-in's texts.
#include "core/AddinServices.h"
#include "core/CommandEdge.h"
#include "core/StringTable.h"

#include "Registry.h"
#include "ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");

// The test program's registry is its own; each case starts unregistered.
class DataDirectory : public ::testing::Test {
protected:
    void SetUp() override { Unregister(); }
    void TearDown() override { Unregister(); }
    static void Unregister()
    {
        Registry::deleteValue(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"));
    }
    static void Register(const QString &library)
    {
        Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"), library);
    }
};

TEST_F(DataDirectory, FilesLieBesideTheRegisteredLibrary)
{
    Register(QStringLiteral("/opt/quorbel/libquorbel.so"));
    EXPECT_EQ(RegisteredAddinPath(), QStringLiteral("/opt/quorbel/libquorbel.so"));
    EXPECT_EQ(DefaultServices(nullptr).DataFile(QStringLiteral("Quorbel.dat")),
              QStringLiteral("/opt/quorbel/Quorbel.dat"));
    // At the root, one separator.
    Register(QStringLiteral("/libquorbel.so"));
    EXPECT_EQ(AddinDataDir(), QStringLiteral("/"));
    EXPECT_EQ(DefaultServices(nullptr).DataFile(QStringLiteral("proj.dat")), QStringLiteral("/proj.dat"));
}

TEST_F(DataDirectory, UnregisteredAddinFilesStartAtTheRoot)
{
    EXPECT_EQ(AddinDataDir(), QString());
    EXPECT_EQ(DefaultServices(nullptr).DataFile(QStringLiteral("proj.dat")), QStringLiteral("/proj.dat"));
}

// The catch order at a command's edge.
TEST(CommandEdge, ShowsTheAddinsErrorsButNotTheHostsAbort)
{
    ScriptedDialogs dialogs;
    EXPECT_TRUE(RunAtEdge(dialogs, [] {}));
    EXPECT_FALSE(RunAtEdge(dialogs, [] { throw EHostAbort(QStringLiteral("shown by the host")); }));
    EXPECT_FALSE(RunAtEdge(dialogs, [] { throw EInOutError(QStringLiteral("Cannot open file x")); }));
    EXPECT_FALSE(RunAtEdge(dialogs, [] { throw std::runtime_error("out of range"); }));
    EXPECT_EQ(dialogs.log, (QStringList{QStringLiteral("error: Cannot open file x"),
                                        QStringLiteral("error: out of range")}));
}

TEST(CommandEdge, ComponentsThatShowTheirErrorsStillFail)
{
    ScriptedDialogs dialogs;
    EXPECT_THROW(RunAtEdge(dialogs, [] { throw Exception(QStringLiteral("shown")); }, TEdge::PassOn),
                 Exception);
    EXPECT_THROW(RunAtEdge(dialogs, [] { throw EHostAbort(QStringLiteral("x")); }, TEdge::PassOn),
                 EHostAbort);
    EXPECT_EQ(dialogs.texts, QStringList{QStringLiteral("shown")});
}

TEST(StringTable, TextsStandAsTheyAre)
{
    EXPECT_EQ(LoadStr(1049), QStringLiteral("Macros..."));
    EXPECT_EQ(LoadStr(1069), QStringLiteral("If you  has edited a resource version, you must "
                                            "recompile the project after view a Resource Version"));
    EXPECT_EQ(LoadStr(1089), QStringLiteral("Close Trace  Window"));
    EXPECT_EQ(LoadStr(999), QString());
    EXPECT_EQ(LoadStr(1113), QString());
}

} // namespace
