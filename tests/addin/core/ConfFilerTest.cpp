// Ideexe.dat: the record byte for byte, files that are missing, short,
// unreadable or unwritable, paths cut at 255 bytes, and a fresh install
// that finds the tools itself.
#include "core/ConfFiler.h"

#include "Registry.h"
#include "TestDirs.h"
#include "SafeFile.h"
#include "ScriptedDialogs.h"
#include "TestServices.h"
#include "UnreadableEntries.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");
const QString NotConfigured = QStringLiteral("The program is not configured");
const QString NotFound = QStringLiteral("Almost one program is not localize in the selected path");
const QString DefaultHcw = QStringLiteral("Z:\\kk\\HCW.EXE");
const QString DefaultBrcc = QStringLiteral("Z:\\kk\\BRCC32.EXE");
const QString DefaultDcc = QStringLiteral("Z:\\kk\\DCC32.EXE");

QByteArray Field(const QByteArray &text)
{
    QByteArray field(256, '\0');
    field[0] = char(text.size());
    field.replace(1, text.size(), text);
    return field;
}

class ConfFilerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"),
                              FDir.path() + QStringLiteral("/libquorbel.so"));
    }
    void TearDown() override
    {
        Registry::deleteValue(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"));
    }
    // Services on a machine where none of the tools is installed.
    TAddinServices NoTools() const
    {
        TAddinServices services = TestServices();
        services.FindTool = [](const QString &) { return QString(); };
        return services;
    }
    QString DatPath() const { return FDir.path() + QStringLiteral("/Ideexe.dat"); }
    void WriteDat(const QByteArray &bytes) const
    {
        QFile f(DatPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray ReadDat() const
    {
        QFile f(DatPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QString MakeFile(const QString &name) const
    {
        const QString path = FDir.path() + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return path;
    }
    QTemporaryDir FDir;
};

TEST_F(ConfFilerTest, MissingFileTellsAsksAndStoresThePickBesideTheDefaults)
{
    ScriptedDialogs dialogs;
    const QString picked = MakeFile(QStringLiteral("BRCC32.EXE"));
    dialogs.answerFile(picked);
    TConfFiler conf(NoTools());
    EXPECT_EQ(conf.GetBrccPath(), picked);
    EXPECT_EQ(dialogs.log,
              QStringList({QStringLiteral("message: ") + NotConfigured,
                           QStringLiteral("message: ") + NotFound,
                           QStringLiteral("open: Select the directory where is BRCC32.EXE")}));
    EXPECT_EQ(dialogs.lastInitialDir, QDir::homePath());
    EXPECT_EQ(ReadDat(), Field(DefaultHcw.toLatin1()) + Field(picked.toLocal8Bit())
                             + Field(DefaultDcc.toLatin1()));

    // The next user of the file finds it without a word.
    ScriptedDialogs later;
    TConfFiler again(NoTools());
    EXPECT_EQ(again.GetBrccPath(), picked);
    EXPECT_TRUE(later.log.isEmpty());
}

TEST_F(ConfFilerTest, ShortFileIsNotConfiguredAndCancelStillSaves)
{
    WriteDat(Field("/a") + Field("/b") + Field("/c").left(255)); // 767 bytes
    ScriptedDialogs dialogs;
    TConfFiler conf(NoTools());
    EXPECT_EQ(dialogs.texts, QStringList{NotConfigured});
    EXPECT_EQ(conf.Path(TConfFiler::HcwKind), DefaultHcw);
    // Cancelled: the default is kept, and the record is written whole.
    EXPECT_EQ(conf.GetDccPath(), DefaultDcc);
    EXPECT_EQ(ReadDat(), Field(DefaultHcw.toLatin1()) + Field(DefaultBrcc.toLatin1())
                             + Field(DefaultDcc.toLatin1()));
}

TEST_F(ConfFilerTest, LengthByteBoundsEachFieldAndExistingToolsAreReturnedSilently)
{
    const QByteArray tool = MakeFile(QStringLiteral("hcw")).toLocal8Bit();
    QByteArray first = Field(tool);
    first.replace(1 + tool.size(), 6, "ABCDEF"); // after the text: no meaning
    QByteArray second = Field("ABC");
    second.replace(4, 3, "DEF");
    WriteDat(first + second + Field("") + QByteArray(40, 'x')); // longer file: first record
    ScriptedDialogs dialogs;
    TConfFiler conf(NoTools());
    EXPECT_EQ(conf.GetHcwPath(), QString::fromLocal8Bit(tool));
    EXPECT_EQ(conf.Path(TConfFiler::BrccKind), QStringLiteral("ABC"));
    EXPECT_EQ(conf.Path(TConfFiler::DccKind), QString());
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(ConfFilerTest, LongAndNonAnsiPathsAreCutOnlyWhenStored)
{
    const QString longPath = QStringLiteral("/") + QString(299, QLatin1Char('p'));
    const QString russian = QStringLiteral("/home/u/Проекты/dcc32");
    {
        ScriptedDialogs dialogs;
        dialogs.answerFile(longPath);
        dialogs.answerFile(russian);
        TConfFiler conf(NoTools());
        EXPECT_EQ(conf.GetBrccPath(), longPath); // whole in this object
        EXPECT_EQ(conf.GetDccPath(), russian);
    }
    EXPECT_EQ(ReadDat().size(), 768);
    ScriptedDialogs dialogs;
    TConfFiler later(NoTools());
    EXPECT_EQ(later.Path(TConfFiler::BrccKind), longPath.left(255));
    EXPECT_EQ(later.Path(TConfFiler::DccKind), russian); // UTF-8, not "?"
}

TEST_F(ConfFilerTest, ToolThatIsThereButDidNotStartIsAskedForAgainAfterItsError)
{
    const QString stored = MakeFile(QStringLiteral("brcc32")); // not executable
    WriteDat(Field(DefaultHcw.toLatin1()) + Field(stored.toLocal8Bit()) + Field("/nowhere/dcc32"));
    const QString picked = MakeFile(QStringLiteral("other-brcc32"));
    ScriptedDialogs dialogs;
    dialogs.answerFile(picked);
    TConfFiler conf(NoTools());
    EXPECT_EQ(conf.GetBrccPath(), stored);
    EXPECT_TRUE(dialogs.log.isEmpty());
    const QString error = QStringLiteral("Attempt was made ...\n") + stored;
    EXPECT_EQ(conf.AskAgainAfterFailedStart(TConfFiler::BrccKind, error), TConfFiler::TAskAgain::Chosen);
    EXPECT_EQ(dialogs.log, QStringList({QStringLiteral("error: ") + error, QStringLiteral("message: ") + NotFound,
                                        QStringLiteral("open: Select the directory where is BRCC32.EXE")}));
    EXPECT_EQ(conf.Path(TConfFiler::BrccKind), picked);
    EXPECT_EQ(ReadDat().mid(256, 256), Field(picked.toLocal8Bit()));

    // Cancelled, the stored path stays.
    EXPECT_EQ(conf.AskAgainAfterFailedStart(TConfFiler::BrccKind, error), TConfFiler::TAskAgain::Cancelled);
    EXPECT_EQ(conf.Path(TConfFiler::BrccKind), picked);

    // A missing tool was asked for when its path was taken: nothing more.
    dialogs.log.clear();
    EXPECT_EQ(conf.AskAgainAfterFailedStart(TConfFiler::DccKind, QStringLiteral("File was not found")),
              TConfFiler::TAskAgain::NotAsked);
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(ConfFilerTest, FreshInstallStoresTheToolsItFindsWithoutAQuestion)
{
    const QString brcc = MakeFile(QStringLiteral("brcc32"));
    const QString hcw = MakeFile(QStringLiteral("hcw"));
    TAddinServices services = TestServices();
    QStringList asked;
    services.FindTool = [&](const QString &command) {
        asked << command;
        return command == QLatin1String("brcc32") ? brcc
            : command == QLatin1String("hcw")     ? hcw
                                                  : QString();
    };
    ScriptedDialogs dialogs;
    TConfFiler conf(services);
    EXPECT_EQ(asked, QStringList({QStringLiteral("hcw"), QStringLiteral("brcc32"),
                                  QStringLiteral("dcc32")}));
    EXPECT_EQ(conf.GetBrccPath(), brcc);
    EXPECT_TRUE(dialogs.log.isEmpty());
    EXPECT_EQ(ReadDat(), Field(hcw.toLocal8Bit()) + Field(brcc.toLocal8Bit())
                             + Field(DefaultDcc.toLatin1()));

    // Once the file exists, it is what counts: nothing is looked for again.
    asked.clear();
    TConfFiler again(services);
    EXPECT_TRUE(asked.isEmpty());
}

TEST_F(ConfFilerTest, FileThatCannotBeReadIsNeverReplaced)
{
    for (const TUnreadableEntry &entry : UnreadableEntries()) {
        // Only the first record counts, so a large file is read like any other.
        if (QLatin1String(entry.name) == QLatin1String("too large"))
            continue;
        SCOPED_TRACE(entry.name);
        QFile::remove(DatPath());
        RemoveInside(FDir, DatPath());
        ASSERT_TRUE(entry.make(DatPath()));
        const QString before = EntryState(DatPath());
        ScriptedDialogs dialogs;
        dialogs.answerFile(MakeFile(QStringLiteral("brcc32")));
        TConfFiler conf(NoTools());
        conf.GetBrccPath();
        EXPECT_EQ(EntryState(DatPath()), before);
        ASSERT_FALSE(dialogs.log.isEmpty());
        EXPECT_TRUE(dialogs.texts.first().startsWith(NotConfigured + QStringLiteral("\n\n")));
        EXPECT_TRUE(dialogs.log.last().startsWith(QStringLiteral("error: Cannot write ")));
    }
}

TEST_F(ConfFilerTest, FailedWriteIsShownAndKeepsTheOldFileAndTheChoice)
{
    const QByteArray old = Field("/old/hcw") + Field("/old/brcc32") + Field("/old/dcc32");
    WriteDat(old);
    const QString picked = MakeFile(QStringLiteral("brcc32"));
    ScriptedDialogs dialogs;
    dialogs.answerFile(picked);
    TConfFiler conf(NoTools());
    {
        FailWrites failing;
        EXPECT_EQ(conf.GetBrccPath(), picked);
    }
    EXPECT_EQ(ReadDat(), old);
    EXPECT_TRUE(dialogs.log.last().startsWith(QStringLiteral("error: ")));
}

TEST(ConfFilerDialog, FilterListsTheToolInAnyCaseAndTheLinuxCommand)
{
    const struct {
        int kind;
        QStringList names;
    } cases[] = {
        {TConfFiler::HcwKind, {"HCW.EXE", "hcw.exe", "Hcw.Exe", "hcw"}},
        {TConfFiler::BrccKind, {"BRCC32.EXE", "brcc32.exe", "brcc32"}},
        {TConfFiler::DccKind, {"DCC32.EXE", "dcc32.exe", "dcc32"}},
    };
    for (const auto &c : cases) {
        const QString filter = TConfFiler::DialogFilter(c.kind);
        const QString inside = filter.section(QLatin1Char('('), 1).chopped(1);
        const QStringList patterns = inside.split(QLatin1Char(' '));
        const auto matches = [&](const QString &name) {
            for (const QString &pattern : patterns)
                if (QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(name).hasMatch())
                    return true;
            return false;
        };
        for (const QString &name : c.names)
            EXPECT_TRUE(matches(name)) << filter.toStdString() << " misses " << name.toStdString();
        EXPECT_FALSE(matches(QStringLiteral("other.exe")));
        EXPECT_FALSE(matches(QStringLiteral("hcw32")));
    }
}

} // namespace
