#include "browser/EntityFilter.h"
#include "browser/FbrwFun.h"
#include "core/Logo.h"

#include "AddinSession.h"
#include "InMemoryHost.h"
#include "OddUnits.h"
#include "ScriptedDialogs.h"
#include "WaitUntil.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

QString Routines(const QStringList &names)
{
    QString body;
    for (const QString &n : names)
        body += QStringLiteral("procedure %1;\nbegin\nend;\n\n").arg(n);
    return body;
}

QString UnitText(const QString &name, const QString &implementation)
{
    return QStringLiteral("unit %1;\n\ninterface\n\nprocedure Hidden;\n\nimplementation\n\n%2end.\n")
        .arg(name, implementation);
}

struct Shown {
    QString name;
    int line;
    bool operator==(const Shown &) const = default;
};

void PrintTo(const Shown &s, std::ostream *os)
{
    *os << s.name.toStdString() << "@" << s.line;
}

std::vector<Shown> Entries(const TMiTabSheet *tab)
{
    std::vector<Shown> out;
    for (int i = 0; i < tab->ListBox->count(); ++i)
        out.push_back({tab->ListBox->item(i)->text(), tab->ListBox->item(i)->data(Qt::UserRole).toInt()});
    return out;
}

// The in-memory host, sources on disk in a temporary folder, scripted
// message boxes.
class BrowserBase : public ::testing::Test {
protected:
    // Writes a unit (CR LF) and returns its path.
    QString Unit(const QString &fileName, const QString &text)
    {
        const QString path = dir.path() + QLatin1Char('/') + fileName;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ToCrLf(text).toLatin1());
        return path;
    }
    // Writes it and opens it in the editor as the current file.
    QString OpenUnit(const QString &fileName, const QString &text)
    {
        const QString path = Unit(fileName, text);
        host.openFromDisk(path);
        return path;
    }

    static bool Idle(const TFbrwEnt &w) { return w.RunningScans() == 0; }

    QTemporaryDir dir;
    InMemoryHost host;
    ScriptedDialogs dialogs;
};

// The window on its own.
class BrowserWindow : public BrowserBase {
protected:
    void TearDown() override
    {
        delete window.data();
        EXPECT_EQ(host.outstandingReferences(), 0) << host.leakedTags().join(u',').toStdString();
    }
    // The browser as the expert makes it, on the in-memory host.
    TFbrwEnt &Window()
    {
        if (!window) {
            TAddinServices services;
            services.Ide = &host;
            services.Dialogs = &dialogs;
            window = new TFbrwEnt(nullptr, services);
        }
        return *window;
    }
    QPointer<TFbrwEnt> window;
};

TEST_F(BrowserWindow, ComponentsCarryTheirNamesAndTexts)
{
    TFbrwEnt &w = Window();
    EXPECT_STREQ(w.metaObject()->className(), "TFbrwEnt");
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Entitys"));
    const std::pair<const char *, const char *> hints[] = {
        {"btnFijo", "Look Window"}, {"btnRefresh", "Refresh"}, {"btnAbrir", "Add actual source"},
        {"btnBorra", "Delete"},     {"btnTodos", "Load All"},  {"Image1", "Click Here"},
    };
    for (const auto &[name, hint] : hints) {
        auto *c = w.findChild<QWidget *>(QString::fromLatin1(name));
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->toolTip(), QString::fromLatin1(hint)) << name;
    }
    const std::pair<const char *, const char *> items[] = {
        {"Refrescar1", "Refresh"}, {"Aadir1", "Add"}, {"Borrar1", "Delete"}, {"Cerrar1", "Close"}};
    for (const auto &[name, caption] : items) {
        auto *a = w.findChild<QAction *>(QString::fromLatin1(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->text(), QString::fromLatin1(caption));
    }
    ASSERT_NE(w.findChild<QAction *>(QStringLiteral("N1")), nullptr);
    EXPECT_TRUE(w.findChild<QAction *>(QStringLiteral("N1"))->isSeparator());
    auto *bar = w.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_FALSE(w.findChild<QToolButton *>(QStringLiteral("btnFijo"))->isChecked());
    EXPECT_EQ(w.size(), QSize(205, 364));
    EXPECT_EQ(w.pos(), QPoint(0, 0));
    EXPECT_EQ(w.PageControl1->focusPolicy(), Qt::NoFocus);
    // At most twice the cores scan at once; the rest wait.
    EXPECT_EQ(w.MaxParallelScans(), std::max(2, 2 * QThread::idealThreadCount()));
}

TEST_F(BrowserWindow, NeverSmallerThan205By272)
{
    TFbrwEnt &w = Window();
    w.resize(100, 100);
    EXPECT_EQ(w.size(), QSize(205, 272));
    w.resize(150, 500);
    EXPECT_EQ(w.size(), QSize(205, 500));
}

TEST_F(BrowserWindow, ShowingListsTheCurrentUnitsRoutinesAlphabetically)
{
    OpenUnit(QStringLiteral("Unit1.pas"),
             UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("Zeta"), QStringLiteral("alpha"),
                                                         QStringLiteral("Middle")})));
    TFbrwEnt &w = Window();
    w.show();
    ASSERT_EQ(w.Tabs().size(), 1);
    TMiTabSheet *tab = w.ActiveTab();
    EXPECT_EQ(tab->Caption(), QStringLiteral("Unit1"));
    EXPECT_EQ(tab->FFileName, host.GetCurrentFile());
    EXPECT_TRUE(w.ProgressBar1->isVisibleTo(&w));
    EXPECT_FALSE(w.btnRefresh->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    // Heading lines: the implementation part starts at line 9, four lines a routine.
    EXPECT_EQ(Entries(tab), (std::vector<Shown>{{QStringLiteral("alpha"), 13},
                                                {QStringLiteral("Middle"), 17},
                                                {QStringLiteral("Zeta"), 9}}));
    EXPECT_FALSE(w.ProgressBar1->isVisibleTo(&w));
    EXPECT_TRUE(w.btnRefresh->isEnabled());
    EXPECT_TRUE(w.Refrescar1->isEnabled());
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(BrowserWindow, ShowingAgainActivatesTheCurrentFilesTab)
{
    const QString u1 = OpenUnit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A")})));
    TFbrwEnt &w = Window();
    w.show();
    OpenUnit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), Routines({QStringLiteral("B")})));
    w.btnAbrir->click();
    ASSERT_EQ(w.Tabs().size(), 2);
    EXPECT_EQ(w.ActiveTab()->Caption(), QStringLiteral("Unit2"));
    w.hide();
    host.setCurrentFile(u1);
    w.show();
    EXPECT_EQ(w.Tabs().size(), 2);
    EXPECT_EQ(w.ActiveTab()->Caption(), QStringLiteral("Unit1"));
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.Tabs()[0]), (std::vector<Shown>{{QStringLiteral("A"), 9}}));
    EXPECT_EQ(Entries(w.Tabs()[1]), (std::vector<Shown>{{QStringLiteral("B"), 9}}));
}

TEST_F(BrowserWindow, NoEditorWindowAddsNothing)
{
    TFbrwEnt &w = Window();
    w.show();
    EXPECT_TRUE(w.Tabs().isEmpty());
    EXPECT_TRUE(dialogs.log.isEmpty());
}

// No tab without a unit: the message only, and nothing that activating the
// window could report again.
TEST_F(BrowserWindow, MainProgramFileGivesTheMessageAndNoTab)
{
    const QString dpr = OpenUnit(QStringLiteral("Project1.dpr"), QStringLiteral("program Project1;\nbegin\nend.\n"));
    TFbrwEnt &w = Window();
    w.btnAbrir->click();
    EXPECT_TRUE(w.Tabs().isEmpty());
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("message: You must a .pas file selected and project open")});
    EXPECT_TRUE(w.btnRefresh->isEnabled());
    EXPECT_EQ(w.RunningScans(), 0);
    w.FormActivate();
    EXPECT_EQ(dialogs.log.size(), 1);

    // A tab whose file cannot be brought forward: making it active reports so.
    const QString u1 = Unit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("One")})));
    host.setProject(dpr, {dpr, u1});
    w.btnTodos->click();
    ASSERT_EQ(w.Tabs().size(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    host.setOpenFileSucceeds(false);
    dialogs.log.clear();
    w.FormActivate();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("error: You must a .pas file selected and project open")});
    // The activation that follows that message box is not taken for a new one.
    w.FormActivate();
    EXPECT_EQ(dialogs.log.size(), 1);
    w.FormActivate();
    EXPECT_EQ(dialogs.log.size(), 2);
    (void)dpr;
}

TEST_F(BrowserWindow, LoadAllAddsATabForEachPascalUnit)
{
    const QString dpr = Unit(QStringLiteral("Project1.dpr"), QStringLiteral("program Project1;\n"));
    const QString u1 = Unit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("One")})));
    const QString u2 = Unit(QStringLiteral("Unit2.PAS"), UnitText(QStringLiteral("Unit2"), Routines({QStringLiteral("Two"), QStringLiteral("Three")})));
    host.setProject(dpr, {dpr, u1, u2});
    TFbrwEnt &w = Window();
    w.btnTodos->click();
    ASSERT_EQ(w.Tabs().size(), 2);
    EXPECT_EQ(w.Tabs()[0]->Caption(), QStringLiteral("Unit1"));
    EXPECT_EQ(w.Tabs()[1]->Caption(), QStringLiteral("Unit2"));
    EXPECT_EQ(w.Tabs()[1]->FFileName, u2);
    EXPECT_EQ(w.ActiveTab(), w.Tabs()[1]);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.Tabs()[0]), (std::vector<Shown>{{QStringLiteral("One"), 9}}));
    EXPECT_EQ(Entries(w.Tabs()[1]), (std::vector<Shown>{{QStringLiteral("Three"), 13}, {QStringLiteral("Two"), 9}}));
    // One tab per unit: a unit with a tab from "Add actual source" or an
    // earlier Load All gets no second one; a unit added since gets its own.
    const QString u3 = Unit(QStringLiteral("Unit3.pas"), UnitText(QStringLiteral("Unit3"), Routines({QStringLiteral("Four")})));
    host.openFromDisk(u3);
    w.btnAbrir->click();
    ASSERT_EQ(w.Tabs().size(), 3);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    host.setProject(dpr, {dpr, u1, u2, u3});
    w.btnTodos->click();
    EXPECT_EQ(w.Tabs().size(), 3);
    EXPECT_EQ(w.RunningScans(), 0);
    const QString u4 = Unit(QStringLiteral("Unit4.pas"), UnitText(QStringLiteral("Unit4"), Routines({QStringLiteral("Five")})));
    host.setProject(dpr, {dpr, u1, u4, u2, u3});
    w.btnTodos->click();
    ASSERT_EQ(w.Tabs().size(), 4);
    EXPECT_EQ(w.ActiveTab()->FFileName, u4);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.Tabs()[0]), (std::vector<Shown>{{QStringLiteral("One"), 9}}));
    EXPECT_EQ(Entries(w.ActiveTab()), (std::vector<Shown>{{QStringLiteral("Five"), 9}}));
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join(u'|').toStdString();
}

TEST_F(BrowserWindow, LoadAllOnManyUnitsFillsEveryTab)
{
    QStringList units;
    for (int i = 0; i < 40; ++i)
        units << Unit(QStringLiteral("U%1.pas").arg(i),
                      UnitText(QStringLiteral("U%1").arg(i), Routines({QStringLiteral("R%1").arg(i)})));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), units);
    TFbrwEnt &w = Window();
    w.btnTodos->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    ASSERT_EQ(w.Tabs().size(), 40);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(Entries(w.Tabs()[i]), (std::vector<Shown>{{QStringLiteral("R%1").arg(i), 9}}));
    EXPECT_FALSE(w.ProgressBar1->isVisibleTo(&w));
}

TEST_F(BrowserWindow, UnitWithoutImplementationGivesAnEmptyList)
{
    OpenUnit(QStringLiteral("Unit1.pas"), QStringLiteral("unit Unit1;\ninterface\nprocedure A;\nend.\n"));
    TFbrwEnt &w = Window();
    w.show();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(w.ActiveTab()->ListBox->count(), 0);
}

TEST_F(BrowserWindow, DeletingTheOnlyTabLeavesNothingToRefresh)
{
    OpenUnit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A")})));
    TFbrwEnt &w = Window();
    w.show();
    w.Borrar1->trigger();
    EXPECT_TRUE(w.Tabs().isEmpty());
    EXPECT_EQ(w.PageControl1->count(), 0);
    w.btnRefresh->click();
    w.Refrescar1->trigger();
    EXPECT_TRUE(w.Tabs().isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(BrowserWindow, DeletingMakesTheLastTabActive)
{
    QStringList units;
    for (int i = 0; i < 3; ++i)
        units << Unit(QStringLiteral("U%1.pas").arg(i), UnitText(QStringLiteral("U%1").arg(i), {}));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), units);
    TFbrwEnt &w = Window();
    w.btnTodos->click();
    w.PageControl1->setCurrentIndex(0); // a user's switch: the file is opened
    w.btnBorra->click();
    ASSERT_EQ(w.Tabs().size(), 2);
    EXPECT_EQ(w.ActiveTab()->Caption(), QStringLiteral("U2"));
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
}

TEST_F(BrowserWindow, EditThenSwitchingToTheTabSavesAndRescans)
{
    const QString u1 = OpenUnit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A")})));
    TFbrwEnt &w = Window();
    w.show();
    OpenUnit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), Routines({QStringLiteral("B")})));
    w.btnAbrir->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    ASSERT_EQ(w.ActiveTab()->Caption(), QStringLiteral("Unit2"));

    // An unsaved edit of Unit1: three lines more before its routine.
    FakeBuffer *buffer = host.buffer(u1);
    buffer->text = ToCrLf(QStringLiteral("{ one }\n{ two }\n{ three }\n")) + buffer->text;
    buffer->modified = true;
    w.PageControl1->setCurrentIndex(0); // the user switches tabs
    EXPECT_EQ(buffer->saves, 1);
    EXPECT_FALSE(buffer->modified);
    EXPECT_EQ(host.GetCurrentFile(), u1);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.Tabs()[0]), (std::vector<Shown>{{QStringLiteral("A"), 12}}));

    // The active tab's file edited again: coming back to the window does it.
    buffer->text = ToCrLf(QStringLiteral("{ four }\n")) + buffer->text;
    buffer->modified = true;
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&w, &activate);
    EXPECT_EQ(buffer->saves, 2);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.Tabs()[0]), (std::vector<Shown>{{QStringLiteral("A"), 13}}));

    // Nothing changed: no save, no scan.
    QApplication::sendEvent(&w, &activate);
    EXPECT_EQ(buffer->saves, 2);
    EXPECT_EQ(w.RunningScans(), 0);
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(BrowserWindow, SwitchingToATabWhoseFileIsClosedOpensAndRescansIt)
{
    const QString u1 = Unit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A")})));
    const QString u2 = Unit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), Routines({QStringLiteral("B")})));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), {u1, u2});
    TFbrwEnt &w = Window();
    w.btnTodos->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_FALSE(host.IsFileOpen(u1));
    w.PageControl1->setCurrentIndex(0);
    EXPECT_TRUE(host.IsFileOpen(u1));
    EXPECT_EQ(host.GetCurrentFile(), u1);
    EXPECT_EQ(w.RunningScans(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.Tabs()[0]), (std::vector<Shown>{{QStringLiteral("A"), 9}}));
}

TEST_F(BrowserWindow, KeysInsertAndEscape)
{
    OpenUnit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A")})));
    TFbrwEnt &w = Window();
    w.btnAbrir->click();
    OpenUnit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), {}));
    w.show();
    ASSERT_EQ(w.Tabs().size(), 2);
    OpenUnit(QStringLiteral("Unit3.pas"), UnitText(QStringLiteral("Unit3"), {}));
    QTest::keyClick(w.ActiveTab()->ListBox, Qt::Key_Insert);
    EXPECT_EQ(w.Tabs().size(), 3);
    EXPECT_EQ(w.ActiveTab()->Caption(), QStringLiteral("Unit3"));
    QTest::keyClick(w.ActiveTab()->ListBox, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
}

TEST_F(BrowserWindow, PopupMenuCommands)
{
    OpenUnit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A")})));
    TFbrwEnt &w = Window();
    w.Aadir1->trigger();
    ASSERT_EQ(w.Tabs().size(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    w.Refrescar1->trigger();
    EXPECT_EQ(w.RunningScans(), 1);
    EXPECT_FALSE(w.btnRefresh->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.ActiveTab()), (std::vector<Shown>{{QStringLiteral("A"), 9}}));
    w.show();
    w.Cerrar1->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.Tabs().size(), 1); // hidden, not emptied
}

TEST_F(BrowserWindow, LogoShowsTheAboutMessage)
{
    TFbrwEnt &w = Window();
    w.show();
    QTest::mouseClick(w.Image1, Qt::LeftButton);
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("message: ") + AboutMessage()});
}

// A list with Target on line 9 and Other on line 13, idle.
TEST_F(BrowserWindow, JumpSendsTheChosenLineCountedFromZeroOnTheHostItWasGiven)
{
    const QString u1 = OpenUnit(QStringLiteral("Unit1.pas"),
                                UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("Target")})));
    TFbrwEnt &w = Window();
    std::vector<int32_t> chosen;
    QObject::connect(&w, &TFbrwEnt::EntityChosen, [&](int32_t line) { chosen.push_back(line); });
    w.show();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    OpenUnit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), {}));
    QListWidget *list = w.ActiveTab()->ListBox;
    list->setCurrentRow(0);
    const QRect rect = list->visualItemRect(list->currentItem());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(chosen, std::vector<int32_t>{8});
    EXPECT_EQ(w.FSelLine, 8);
    EXPECT_EQ(host.GetCurrentFile(), u1); // brought forward before the signal
    EXPECT_FALSE(w.isVisible());
}

TEST_F(BrowserWindow, DoubleClickBelowTheEntitiesJumpsToTheSelectedOne)
{
    OpenUnit(QStringLiteral("Unit1.pas"),
             UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A"), QStringLiteral("B")})));
    TFbrwEnt &w = Window();
    std::vector<int32_t> chosen;
    QObject::connect(&w, &TFbrwEnt::EntityChosen, [&](int32_t line) { chosen.push_back(line); });
    w.btnFijo->click(); // stays open
    w.show();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    QListWidget *list = w.ActiveTab()->ListBox;
    const QPoint empty(list->viewport()->width() / 2, list->viewport()->height() - 3);
    ASSERT_EQ(list->itemAt(empty), nullptr);
    // Nothing selected: nothing happens.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_TRUE(chosen.empty());
    // B selected; the user's clicks below the last line keep it selected.
    const QRect b = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, b.center());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, empty);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_EQ(chosen, std::vector<int32_t>{12});
    // A double click on an entity jumps once, to that one.
    const QRect a = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, a.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, a.center());
    EXPECT_EQ(chosen, (std::vector<int32_t>{12, 8}));
}

TEST_F(BrowserWindow, UnitsThatAreNoRegularFilesAreRefusedWithTheReason)
{
    OddUnits odd;
    ASSERT_TRUE(odd.Make(dir.path()));
    const QString &fifo = odd.Pipe;
    const QString &zero = odd.DevZero;
    const QString &folder = odd.Folder;
    const QString good = Unit(QStringLiteral("Good.pas"), UnitText(QStringLiteral("Good"), Routines({QStringLiteral("G")})));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), {fifo, zero, folder, good});
    TFbrwEnt &w = Window();
    w.btnTodos->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    // The scans run at once: their messages come in any order.
    QStringList shown = dialogs.log;
    QStringList expected{QStringLiteral("error: Cannot read %1: it is a device, not a regular file.").arg(zero),
                         QStringLiteral("error: Cannot read %1: it is a folder, not a regular file.").arg(folder),
                         QStringLiteral("error: Cannot read %1: it is a named pipe, not a regular file.").arg(fifo)};
    shown.sort();
    expected.sort();
    EXPECT_EQ(shown.join(u'\n').toStdString(), expected.join(u'\n').toStdString());
    ASSERT_EQ(w.Tabs().size(), 4);
    EXPECT_EQ(Entries(w.Tabs()[3]), (std::vector<Shown>{{QStringLiteral("G"), 9}}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(w.Tabs()[i]->ListBox->count(), 0);
}

// ---------------------------------------------------------------- threads

TEST_F(BrowserWindow, ThreadsRescanBeforeTheLastEndedKeepsOnlyTheNewest)
{
    OpenUnit(QStringLiteral("Unit1.pas"),
             UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A"), QStringLiteral("B")})));
    TFbrwEnt &w = Window();
    w.show();
    // A second and a third scan of the same tab before the first has sent
    // anything: their entries must not mix.
    w.btnRefresh->setEnabled(true);
    w.btnRefresh->click();
    w.btnRefresh->setEnabled(true);
    w.btnRefresh->click();
    EXPECT_EQ(w.RunningScans(), 3);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.ActiveTab()), (std::vector<Shown>{{QStringLiteral("A"), 9}, {QStringLiteral("B"), 13}}));
}

TEST_F(BrowserWindow, ThreadsRefreshWhileTheLastResultsWaitToBeTakenListsEachEntityOnce)
{
    OpenUnit(QStringLiteral("Unit1.pas"),
             UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A"), QStringLiteral("B")})));
    TFbrwEnt &w = Window();
    w.show();
    // The scan has posted its routines and its end; none of it is taken yet.
    w.WaitForScanThreads();
    EXPECT_EQ(w.ActiveTab()->ListBox->count(), 0);
    w.btnRefresh->setEnabled(true);
    w.btnRefresh->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.ActiveTab()), (std::vector<Shown>{{QStringLiteral("A"), 9}, {QStringLiteral("B"), 13}}));
}

// A unit big enough for its scan to be under way for a while.
QString BigImplementation(int routines)
{
    QString body;
    body.reserve(routines * 60);
    for (int i = 0; i < routines; ++i)
        body += QStringLiteral("procedure Routine%1(A: Integer);\nbegin\n  A := A + 1;\nend;\n").arg(i);
    return body;
}

TEST_F(BrowserWindow, ThreadsDeletingATabWhileItsScanRuns)
{
    const QString small = Unit(QStringLiteral("Small.pas"), UnitText(QStringLiteral("Small"), Routines({QStringLiteral("S")})));
    const QString big = Unit(QStringLiteral("Big.pas"), UnitText(QStringLiteral("Big"), BigImplementation(60000)));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), {small, big});
    TFbrwEnt &w = Window();
    w.btnTodos->click();
    ASSERT_EQ(w.ActiveTab()->Caption(), QStringLiteral("Big"));
    QPointer<QListWidget> bigList = w.ActiveTab()->ListBox;
    // Nothing of the scan has reached the window yet: it runs or waits.
    EXPECT_EQ(w.RunningScans(), 2);
    w.btnBorra->click();
    EXPECT_TRUE(bigList.isNull());
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    ASSERT_EQ(w.Tabs().size(), 1);
    EXPECT_EQ(Entries(w.Tabs()[0]), (std::vector<Shown>{{QStringLiteral("S"), 9}}));
    EXPECT_FALSE(w.ProgressBar1->isVisibleTo(&w));
}

TEST_F(BrowserWindow, ThreadsDestroyingTheWindowWhileScansRun)
{
    QStringList units;
    for (int i = 0; i < 12; ++i)
        units << Unit(QStringLiteral("Big%1.pas").arg(i),
                      UnitText(QStringLiteral("Big%1").arg(i), BigImplementation(8000)));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), units);
    TFbrwEnt &w = Window();
    w.btnTodos->click();
    ASSERT_TRUE(WaitUntil([&] { return w.Tabs()[0]->ListBox->count() > 0 || Idle(w); }));
    delete window.data();
    EXPECT_TRUE(window.isNull());
    // Whatever the workers had posted goes nowhere.
    QTest::qWait(50);
}

// ------------------------------------------------------------ unseen tabs

// A tab's list widget is made when the tab is first shown; until then its
// routines wait inside the tab.
QListWidget *MadeList(TMiTabSheet *tab)
{
    return tab->findChild<QListWidget *>(QStringLiteral("ListBox"));
}

TEST_F(BrowserWindow, UnseenTabsResultsShowWhenItIsFirstLookedAt)
{
    const QString u1 = Unit(QStringLiteral("Unit1.pas"),
                            UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("zulu"), QStringLiteral("Bravo"),
                                                                        QStringLiteral("alpha")})));
    const QString u2 = Unit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), Routines({QStringLiteral("Two")})));
    const QString u3 = Unit(QStringLiteral("Unit3.pas"), UnitText(QStringLiteral("Unit3"), Routines({QStringLiteral("Three")})));
    // All open in the editor: switching tabs brings them forward without a
    // new scan.
    for (const QString &u : {u1, u2, u3})
        host.openFromDisk(u);
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), {u1, u2, u3});
    TFbrwEnt &w = Window();
    std::vector<int32_t> chosen;
    QObject::connect(&w, &TFbrwEnt::EntityChosen, [&](int32_t line) { chosen.push_back(line); });
    w.btnFijo->click(); // stays open
    w.show();
    w.btnTodos->click();
    ASSERT_EQ(w.Tabs().size(), 3);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    TMiTabSheet *unseen = w.Tabs()[1];
    ASSERT_EQ(unseen->Caption(), QStringLiteral("Unit1"));
    EXPECT_EQ(MadeList(unseen), nullptr);
    EXPECT_EQ(unseen->Count(), 3);

    w.PageControl1->setCurrentIndex(1); // the user looks at it
    EXPECT_EQ(w.RunningScans(), 0);
    QListWidget *list = MadeList(unseen);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible()); // now, not on a later turn of the loop
    EXPECT_EQ(Entries(unseen), (std::vector<Shown>{{QStringLiteral("alpha"), 17},
                                                   {QStringLiteral("Bravo"), 13},
                                                   {QStringLiteral("zulu"), 9}}));
    // Its double click and pop-up menu are the window's, as on any tab.
    const QRect bravo = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, bravo.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, bravo.center());
    EXPECT_EQ(chosen, std::vector<int32_t>{12});
    EXPECT_EQ(host.GetCurrentFile(), u1);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, bravo.center(), list->viewport()->mapToGlobal(bravo.center()));
    QApplication::sendEvent(list->viewport(), &menu);
    EXPECT_TRUE(w.PopM->isVisible());
    w.PopM->hide();
    // Routines found after the first look go straight into the list, sorted.
    const QString more = UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("Mike"), QStringLiteral("alpha")}));
    Unit(QStringLiteral("Unit1.pas"), more);
    w.btnRefresh->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(MadeList(unseen), list);
    EXPECT_EQ(Entries(unseen), (std::vector<Shown>{{QStringLiteral("alpha"), 13}, {QStringLiteral("Mike"), 9}}));
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join(u'|').toStdString();
}

TEST_F(BrowserWindow, UnseenTabDropsWhatASupersededScanSends)
{
    OpenUnit(QStringLiteral("Unit1.pas"),
             UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A"), QStringLiteral("B")})));
    TFbrwEnt &w = Window(); // never shown: its tab is never looked at
    w.btnAbrir->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    TMiTabSheet *tab = w.ActiveTab();
    ASSERT_EQ(MadeList(tab), nullptr);
    ASSERT_EQ(tab->Count(), 2);
    // A rescan empties what the tab holds; a second one before the first has
    // been taken in leaves the first's routines out.
    w.btnRefresh->click();
    w.WaitForScanThreads();
    w.btnRefresh->setEnabled(true);
    w.btnRefresh->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(MadeList(tab), nullptr);
    EXPECT_EQ(tab->Count(), 2);
    EXPECT_EQ(w.ProgressBar1->value(), 100); // the last progress taken in shows
    EXPECT_EQ(Entries(tab), (std::vector<Shown>{{QStringLiteral("A"), 9}, {QStringLiteral("B"), 13}}));
}

TEST_F(BrowserWindow, DeletingAnUnseenTabWhileItsScanRuns)
{
    const QString small = Unit(QStringLiteral("Small.pas"), UnitText(QStringLiteral("Small"), Routines({QStringLiteral("S")})));
    const QString big = Unit(QStringLiteral("Big.pas"), UnitText(QStringLiteral("Big"), BigImplementation(60000)));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), {small, big});
    TFbrwEnt &w = Window();
    w.btnTodos->click();
    QPointer<TMiTabSheet> bigTab = w.ActiveTab();
    ASSERT_EQ(bigTab->Caption(), QStringLiteral("Big"));
    ASSERT_TRUE(WaitUntil([&] { return bigTab->Count() > 0 || Idle(w); })); // some of it taken in
    ASSERT_EQ(MadeList(bigTab), nullptr);
    w.btnBorra->click();
    EXPECT_TRUE(bigTab.isNull());
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    ASSERT_EQ(w.Tabs().size(), 1);
    // Shown at last, the tab left has its own routines only.
    w.show();
    ASSERT_NE(MadeList(w.Tabs()[0]), nullptr);
    EXPECT_TRUE(MadeList(w.Tabs()[0])->isVisible());
    EXPECT_EQ(Entries(w.Tabs()[0]), (std::vector<Shown>{{QStringLiteral("S"), 9}}));
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join(u'|').toStdString();
}

// Tab sizes are measured once per caption: a renamed tab is measured anew.
TEST_F(BrowserWindow, TabsAreAsWideAsTheirCaptionsAlsoAfterARename)
{
    QStringList units;
    for (const QString &name : {QStringLiteral("A"), QStringLiteral("AVeryLongUnitName"), QStringLiteral("B")})
        units << Unit(name + QStringLiteral(".pas"), UnitText(name, {}));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), units);
    TFbrwEnt &w = Window();
    w.resize(800, 300);
    w.show();
    w.btnTodos->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    QTabBar *bar = w.PageControl1->tabBar();
    const int shortWidth = bar->tabRect(0).width();
    const int longWidth = bar->tabRect(1).width();
    EXPECT_GT(longWidth, shortWidth);
    const int bWidth = bar->tabRect(2).width();
    EXPECT_LT(bWidth, longWidth);
    w.PageControl1->setTabText(0, QStringLiteral("AVeryLongUnitName"));
    EXPECT_EQ(bar->tabRect(0).width(), longWidth);
    w.PageControl1->setTabText(0, QStringLiteral("A"));
    EXPECT_EQ(bar->tabRect(0).width(), shortWidth);
    // Deleting a tab leaves the others their own sizes.
    w.PageControl1->setCurrentIndex(0);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    w.btnBorra->click();
    ASSERT_EQ(bar->count(), 2);
    EXPECT_EQ(bar->tabRect(0).width(), longWidth);
    EXPECT_EQ(bar->tabRect(1).width(), bWidth);
}

// --------------------------------------------------------- through the expert

// The expert created by the entry point, with the browser as its Fdlg.
class BrowserExpert : public BrowserBase {
protected:
    void SetUp() override
    {
        Session.emplace(host);
        ASSERT_NE(Session->expert(), nullptr);
    }
    void TearDown() override { Session.reset(); }
    TFbrwEnt &Browser() { return *Session->expert()->Fdlg; }
    std::optional<AddinSession> Session;

    // Unit1 with its routine Target's heading on line 120.
    QString OpenUnitWithTargetAt120()
    {
        QString text = QStringLiteral("unit Unit1;\ninterface\nimplementation\n");
        for (int line = 4; line < 120; ++line)
            text += QStringLiteral("\n");
        text += QStringLiteral("procedure Target;\nbegin\nend;\nprocedure Other;\nbegin\nend;\nend.\n");
        return OpenUnit(QStringLiteral("Unit1.pas"), text);
    }
    void Select(const QString &name)
    {
        QListWidget *list = Browser().ActiveTab()->ListBox;
        const auto found = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        list->setCurrentItem(found.first());
    }
};

TEST_F(BrowserExpert, MenuCommandShowsTheBrowserOnlyWithAProject)
{
    OpenUnitWithTargetAt120();
    host.click(QStringLiteral("IdeExpt2"));
    EXPECT_FALSE(Browser().isVisible());
    host.setProject(dir.path() + QStringLiteral("/Project1.dpr"));
    host.click(QStringLiteral("IdeExpt2"));
    EXPECT_TRUE(Browser().isVisible());
    EXPECT_EQ(Browser().Tabs().size(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()); }));
}

// The command on a project whose main program file is in front: its message
// once, and the window without a tab to report it again.
TEST_F(BrowserExpert, MenuCommandOnTheMainProgramFileShowsTheMessageOnce)
{
    const QString dpr = OpenUnit(QStringLiteral("Project1.dpr"), QStringLiteral("program Project1;\nbegin\nend.\n"));
    host.setProject(dpr, {dpr});
    host.click(QStringLiteral("IdeExpt2"));
    EXPECT_TRUE(Browser().isVisible());
    Browser().activateWindow();
    QTest::qWait(50);
    Browser().FormActivate();
    EXPECT_TRUE(Browser().Tabs().isEmpty());
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("message: You must a .pas file selected and project open")});
}

TEST_F(BrowserExpert, DoubleClickJumpsToTheHeadingLineAndHides)
{
    const QString u1 = OpenUnitWithTargetAt120();
    host.setProject(dir.path() + QStringLiteral("/Project1.dpr"));
    host.click(QStringLiteral("IdeExpt2"));
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()) && Browser().ActiveTab()->ListBox->count() == 2; }));
    Select(QStringLiteral("Target"));
    QListWidget *list = Browser().ActiveTab()->ListBox;
    const QRect rect = list->visualItemRect(list->currentItem());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    FakeBuffer *buffer = host.buffer(u1);
    EXPECT_EQ(buffer->cursor, (TEditPos{1, 120}));
    EXPECT_EQ(buffer->top, (TEditPos{1, 120}));
    EXPECT_FALSE(Browser().isVisible());
    EXPECT_EQ(Browser().FSelLine, 119);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join(u'|').toStdString();
}

TEST_F(BrowserExpert, EnterJumpsAndKeepWindowKeepsItOpen)
{
    const QString u1 = OpenUnitWithTargetAt120();
    host.setProject(dir.path() + QStringLiteral("/Project1.dpr"));
    host.click(QStringLiteral("IdeExpt2"));
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()) && Browser().ActiveTab()->ListBox->count() == 2; }));
    Browser().btnFijo->click();
    EXPECT_TRUE(Browser().btnFijo->isChecked());
    Select(QStringLiteral("Other"));
    QTest::keyClick(Browser().ActiveTab()->ListBox, Qt::Key_Return);
    FakeBuffer *buffer = host.buffer(u1);
    EXPECT_EQ(buffer->cursor, (TEditPos{1, 123}));
    EXPECT_EQ(buffer->top, (TEditPos{1, 123}));
    EXPECT_TRUE(Browser().isVisible());
}

TEST_F(BrowserExpert, EnterWithNothingSelectedDoesNothing)
{
    const QString u1 = OpenUnitWithTargetAt120();
    host.setProject(dir.path() + QStringLiteral("/Project1.dpr"));
    host.click(QStringLiteral("IdeExpt2"));
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()); }));
    host.buffer(u1)->cursor = {7, 3};
    QTest::keyClick(Browser().ActiveTab()->ListBox, Qt::Key_Return);
    EXPECT_EQ(host.buffer(u1)->cursor, (TEditPos{7, 3}));
    EXPECT_TRUE(Browser().isVisible());
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(BrowserExpert, JumpBringsAnotherUnitForward)
{
    const QString u1 = OpenUnitWithTargetAt120();
    host.setProject(dir.path() + QStringLiteral("/Project1.dpr"));
    host.click(QStringLiteral("IdeExpt2"));
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()); }));
    OpenUnit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), {}));
    ASSERT_NE(host.GetCurrentFile(), u1);
    Select(QStringLiteral("Target"));
    Browser().ListBoxDblClick();
    EXPECT_EQ(host.GetCurrentFile(), u1);
    EXPECT_EQ(host.buffer(u1)->cursor, (TEditPos{1, 120}));
    EXPECT_GE(host.buffer(u1)->showSource, 1);
}

// Load All with the browser hidden: the tab chosen from has never been
// shown when the jump goes through the expert to the editor.
TEST_F(BrowserExpert, JumpFromATabNeverShownGoesToTheHeadingLine)
{
    QString text = QStringLiteral("unit Unit1;\ninterface\nimplementation\n");
    for (int line = 4; line < 120; ++line)
        text += QStringLiteral("\n");
    text += QStringLiteral("procedure Target;\nbegin\nend;\nprocedure Other;\nbegin\nend;\nend.\n");
    const QString u1 = Unit(QStringLiteral("Unit1.pas"), text);
    const QString u2 = Unit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), Routines({QStringLiteral("Two")})));
    host.setProject(dir.path() + QStringLiteral("/Project1.dpr"), {u2, u1});
    host.openFromDisk(u2);
    Browser().btnTodos->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()); }));
    ASSERT_EQ(Browser().ActiveTab()->FFileName, u1);
    ASSERT_FALSE(Browser().ActiveTab()->ListMade());
    Browser().btnFijo->click();
    Select(QStringLiteral("Other"));
    Browser().ListBoxDblClick();
    EXPECT_EQ(host.GetCurrentFile(), u1);
    EXPECT_EQ(host.buffer(u1)->cursor, (TEditPos{1, 123}));
    EXPECT_EQ(Browser().FSelLine, 122);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join(u'|').toStdString();
}

TEST_F(BrowserExpert, UnloadingWhileScansRunLeavesNothingBehind)
{
    QStringList units;
    for (int i = 0; i < 6; ++i)
        units << Unit(QStringLiteral("Big%1.pas").arg(i),
                      UnitText(QStringLiteral("Big%1").arg(i), BigImplementation(8000)));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), units);
    Browser().btnTodos->click();
    QPointer<TFbrwEnt> browser = &Browser();
    Session->unload();
    EXPECT_TRUE(browser.isNull());
    QTest::qWait(20);
}

} // namespace

// ------------------------------------------------------------- filter box

namespace {

QStringList ShownNames(TMiTabSheet *tab)
{
    QStringList out;
    for (int i = 0; i < tab->ListBox->count(); ++i)
        if (!tab->ListBox->item(i)->isHidden())
            out << tab->ListBox->item(i)->text();
    return out;
}

const QStringList ShapeRoutines = {QStringLiteral("TShape.Paint"), QStringLiteral("TShape.Area"),
                                   QStringLiteral("TRoundShape.Paint"), QStringLiteral("DrawShapes"),
                                   QStringLiteral("Helper")};

} // namespace

TEST(EntityFilter, ContainsIgnoringCaseAndAClassByItsDottedName)
{
    EXPECT_TRUE(EntityMatches(QStringLiteral("TShape.Paint"), QString()));
    EXPECT_TRUE(EntityMatches(QStringLiteral("TShape.Paint"), QStringLiteral("paint")));
    EXPECT_TRUE(EntityMatches(QStringLiteral("DrawShapes"), QStringLiteral("SHAPE")));
    EXPECT_FALSE(EntityMatches(QStringLiteral("Helper"), QStringLiteral("shape")));
    // A class's methods, not those of a class whose name ends alike.
    EXPECT_TRUE(EntityMatches(QStringLiteral("TShape.Area"), QStringLiteral("tshape.")));
    EXPECT_FALSE(EntityMatches(QStringLiteral("TRoundShape.Paint"), QStringLiteral("Shape.")));
    EXPECT_FALSE(EntityMatches(QStringLiteral("OldTShape.Paint"), QStringLiteral("TShape.")));
}

TEST_F(BrowserWindow, FilterNarrowsTheActiveTabAndTwoEscapesClearThenHide)
{
    OpenUnit(QStringLiteral("Shapes.pas"), UnitText(QStringLiteral("Shapes"), Routines(ShapeRoutines)));
    TFbrwEnt &w = Window();
    w.show();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    TMiTabSheet *tab = w.ActiveTab();
    QLineEdit *box = w.findChild<QLineEdit *>(QStringLiteral("edFilter"));
    ASSERT_NE(box, nullptr);

    QTest::keyClicks(box, QStringLiteral("shape"));
    EXPECT_EQ(ShownNames(tab), (QStringList{QStringLiteral("DrawShapes"), QStringLiteral("TRoundShape.Paint"),
                                            QStringLiteral("TShape.Area"), QStringLiteral("TShape.Paint")}));
    box->clear();
    QTest::keyClicks(box, QStringLiteral("TShape."));
    EXPECT_EQ(ShownNames(tab), (QStringList{QStringLiteral("TShape.Area"), QStringLiteral("TShape.Paint")}));
    // What Enter would open shows selected.
    ASSERT_NE(tab->ListBox->currentItem(), nullptr);
    EXPECT_EQ(tab->ListBox->currentItem()->text(), QStringLiteral("TShape.Area"));

    // A rescan's entries come in filtered too.
    w.btnRefresh->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(ShownNames(tab), (QStringList{QStringLiteral("TShape.Area"), QStringLiteral("TShape.Paint")}));

    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(box->text().isEmpty());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(ShownNames(tab).size(), ShapeRoutines.size());
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(BrowserWindow, FilterFollowsTheUserToAnotherTab)
{
    const QString u1 = Unit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("Alpha"), QStringLiteral("Beta")})));
    const QString u2 = Unit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), Routines({QStringLiteral("Alphabet"), QStringLiteral("Gamma")})));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), {u1, u2});
    TFbrwEnt &w = Window();
    w.btnTodos->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    w.edFilter->setText(QStringLiteral("alpha"));
    EXPECT_EQ(ShownNames(w.ActiveTab()), QStringList{QStringLiteral("Alphabet")});
    w.PageControl1->setCurrentIndex(0);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(ShownNames(w.Tabs()[0]), QStringList{QStringLiteral("Alpha")});
}

// Enter in the box, nothing picked: the first match. A match picked with
// the arrow keys: that one.
TEST_F(BrowserExpert, EnterInTheFilterJumpsToTheFirstMatch)
{
    const QString u1 = OpenUnitWithTargetAt120();
    host.setProject(dir.path() + QStringLiteral("/Project1.dpr"));
    host.click(QStringLiteral("IdeExpt2"));
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()) && Browser().ActiveTab()->ListBox->count() == 2; }));
    Browser().btnFijo->click();
    QTest::keyClicks(Browser().edFilter, QStringLiteral("OTH"));
    QTest::keyClick(Browser().edFilter, Qt::Key_Return);
    EXPECT_EQ(host.buffer(u1)->cursor, (TEditPos{1, 123}));

    Browser().edFilter->clear();
    QTest::keyClicks(Browser().edFilter, QStringLiteral("e"));
    Select(QStringLiteral("Target"));
    QTest::keyClick(Browser().edFilter, Qt::Key_Enter);
    EXPECT_EQ(host.buffer(u1)->cursor, (TEditPos{1, 120}));

    // Nothing matches: Enter does nothing.
    host.buffer(u1)->cursor = {1, 1};
    Browser().edFilter->setText(QStringLiteral("nothing like it"));
    QTest::keyClick(Browser().edFilter, Qt::Key_Return);
    EXPECT_EQ(host.buffer(u1)->cursor, (TEditPos{1, 1}));
}

// ------------------------------------------------------------ rescans

TEST_F(BrowserWindow, ASaveInTheIdeRescansTheUnitsTabOnly)
{
    const QString u1 = Unit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A")})));
    const QString u2 = Unit(QStringLiteral("Unit2.pas"), UnitText(QStringLiteral("Unit2"), Routines({QStringLiteral("B")})));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), {u1, u2});
    TFbrwEnt &w = Window();
    w.SetRescanDelay(60000); // the notice alone, not the file's watch
    w.btnTodos->click();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));

    Unit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A"), QStringLiteral("A2")})));
    w.FileSaved(u1);
    EXPECT_EQ(w.RunningScans(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    EXPECT_EQ(Entries(w.Tabs()[0]), (std::vector<Shown>{{QStringLiteral("A"), 9}, {QStringLiteral("A2"), 13}}));
    EXPECT_EQ(Entries(w.Tabs()[1]), (std::vector<Shown>{{QStringLiteral("B"), 9}}));
    // A file without a tab: nothing.
    w.FileSaved(dir.path() + QStringLiteral("/Other.pas"));
    EXPECT_EQ(w.RunningScans(), 0);
}

TEST_F(BrowserWindow, AChangeOnDiskRescansAlsoWhenTheFileIsReplaced)
{
    const QString u1 = OpenUnit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A")})));
    TFbrwEnt &w = Window();
    w.SetRescanDelay(10);
    w.show();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));

    // Written in place by another program.
    Unit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A"), QStringLiteral("B")})));
    ASSERT_TRUE(WaitUntil([&] { return Idle(w) && w.ActiveTab()->Count() == 2; }, 10000));

    // Replaced by a rename, as safe saves do: the watch goes on.
    const QString temp = dir.path() + QStringLiteral("/Unit1.tmp");
    QFile t(temp);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write(ToCrLf(UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("C")}))).toLatin1());
    t.close();
    ASSERT_EQ(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(u1).constData()), 0);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w) && Entries(w.ActiveTab()) == std::vector<Shown>{{QStringLiteral("C"), 9}}; }, 10000));
    Unit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("D")})));
    ASSERT_TRUE(WaitUntil([&] { return Idle(w) && Entries(w.ActiveTab()) == std::vector<Shown>{{QStringLiteral("D"), 9}}; }, 10000));
}

// Saving twice before the first rescan has sent anything: the entries are
// the second's, once each, and the watch adds no scan of what was scanned.
TEST_F(BrowserWindow, ThreadsASupersededRescanOnSaveIsDropped)
{
    const QString u1 = OpenUnit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A")})));
    TFbrwEnt &w = Window();
    w.SetRescanDelay(10);
    w.show();
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    Unit(QStringLiteral("Unit1.pas"), UnitText(QStringLiteral("Unit1"), Routines({QStringLiteral("A"), QStringLiteral("B")})));
    w.FileSaved(u1);
    w.FileSaved(u1);
    EXPECT_EQ(w.RunningScans(), 2);
    ASSERT_TRUE(WaitUntil([&] { return Idle(w); }));
    QTest::qWait(100); // the watch's turn
    EXPECT_EQ(w.RunningScans(), 0);
    EXPECT_EQ(Entries(w.ActiveTab()), (std::vector<Shown>{{QStringLiteral("A"), 9}, {QStringLiteral("B"), 13}}));
}

// The expert hands the host's save notice to the browser; synchronising,
// which saves itself, scans once.
TEST_F(BrowserExpert, TheHostsSaveNoticeRescansTheTab)
{
    const QString u1 = OpenUnitWithTargetAt120();
    host.setProject(dir.path() + QStringLiteral("/Project1.dpr"));
    host.click(QStringLiteral("IdeExpt2"));
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()) && Browser().ActiveTab()->ListBox->count() == 2; }));
    Browser().SetRescanDelay(60000);
    FakeBuffer *buffer = host.buffer(u1);
    buffer->text = ToCrLf(QStringLiteral("{ one }\n")) + buffer->text;
    THostRef<TIModuleInterface>(host.GetModuleInterface(u1))->Save(true);
    EXPECT_EQ(Browser().RunningScans(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()); }));
    EXPECT_EQ(Entries(Browser().ActiveTab()),
              (std::vector<Shown>{{QStringLiteral("Other"), 124}, {QStringLiteral("Target"), 121}}));

    buffer->text = ToCrLf(QStringLiteral("{ two }\n")) + buffer->text;
    buffer->modified = true;
    Browser().FormActivate();
    EXPECT_EQ(buffer->saves, 2);
    EXPECT_EQ(Browser().RunningScans(), 1);
    ASSERT_TRUE(WaitUntil([&] { return Idle(Browser()); }));
}
