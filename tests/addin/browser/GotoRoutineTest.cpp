#include "browser/FGotoRoutine.h"
#include "browser/ProjectRoutines.h"

#include "AddinSession.h"
#include "InMemoryHost.h"
#include "ModalDriver.h"
#include "ScriptedDialogs.h"
#include "WaitUntil.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

// Unit NAME whose routines' headings stand at lines 5, 8, 11...
QString UnitText(const QString &name, const QStringList &routines)
{
    QString text = QStringLiteral("unit %1;\ninterface\nprocedure Hidden;\nimplementation\n").arg(name);
    for (const QString &r : routines)
        text += QStringLiteral("procedure %1;\nbegin\nend;\n").arg(r);
    return text + QStringLiteral("end.\n");
}

struct Row {
    QString name;
    QString unit;
    int line;
    bool operator==(const Row &) const = default;
};

void PrintTo(const Row &r, std::ostream *os)
{
    *os << r.name.toStdString() << "(" << r.unit.toStdString() << ")@" << r.line;
}

std::vector<Row> Rows(const QAbstractItemModel &model)
{
    std::vector<Row> out;
    for (int i = 0; i < model.rowCount(); ++i)
        out.push_back({model.index(i, TRoutineModel::NameColumn).data().toString(),
                       model.index(i, TRoutineModel::UnitColumn).data().toString(),
                       model.index(i, 0).data(TRoutineModel::LineRole).toInt()});
    return out;
}

class GotoRoutine : public ::testing::Test {
protected:
    QString Unit(const QString &name, const QStringList &routines)
    {
        const QString path = dir.path() + QLatin1Char('/') + name + QStringLiteral(".pas");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ToCrLf(UnitText(name, routines)).toLatin1());
        return path;
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(GotoRoutine, EveryRoutineOfEveryUnitWithItsUnitAndLine)
{
    const QStringList units = {Unit(QStringLiteral("Shapes"), {QStringLiteral("TShape.Paint"), QStringLiteral("TShape.Area")}),
                               dir.path() + QStringLiteral("/Missing.pas"),
                               Unit(QStringLiteral("Reports"), {QStringLiteral("PrintShapes")})};
    TProjectRoutines routines;
    QSignalSpy finished(&routines, &TProjectRoutines::Finished);
    routines.Start(units);
    ASSERT_TRUE(WaitUntil([&] { return routines.Done(); }));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(routines.UnitsScanned(), 3); // the missing one counts as scanned, with nothing
    std::vector<Row> rows = Rows(routines.Model());
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.name < b.name; });
    EXPECT_EQ(rows, (std::vector<Row>{{QStringLiteral("PrintShapes"), QStringLiteral("Reports"), 5},
                                      {QStringLiteral("TShape.Area"), QStringLiteral("Shapes"), 8},
                                      {QStringLiteral("TShape.Paint"), QStringLiteral("Shapes"), 5}}));
    EXPECT_EQ(routines.Model().index(0, 0).data(TRoutineModel::FileRole).toString().endsWith(QStringLiteral(".pas")), true);

    routines.Model().SetFilter(QStringLiteral("tshape."));
    EXPECT_EQ(routines.Model().rowCount(), 2);
    routines.Model().SetFilter(QStringLiteral("SHAPE"));
    EXPECT_EQ(routines.Model().rowCount(), 3);
    EXPECT_EQ(routines.Model().Total(), 3);
}

// Units held back on their workers: the first unit's routines are rows while
// the others wait, and later rows only ever come at the end.
TEST_F(GotoRoutine, ThreadsFirstResultsShowWhileTheScanRuns)
{
    QStringList units;
    for (int i = 0; i < 6; ++i)
        units << Unit(QStringLiteral("U%1").arg(i), {QStringLiteral("R%1a").arg(i), QStringLiteral("R%1b").arg(i)});
    TProjectRoutines routines;
    routines.SetMaxParallelScans(2);
    QSemaphore release;
    routines.BeforeScan = [&release](int unit) {
        if (unit > 0)
            release.acquire();
    };
    std::vector<std::pair<int, int>> inserted;
    QObject::connect(&routines.Model(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int first, int last) { inserted.emplace_back(first, last); });
    routines.Model().SetFilter(QStringLiteral("a"));
    routines.Start(units);
    ASSERT_TRUE(WaitUntil([&] { return routines.Model().rowCount() == 1; }));
    EXPECT_FALSE(routines.Done());
    EXPECT_EQ(routines.UnitsScanned(), 1);
    EXPECT_EQ(Rows(routines.Model()), (std::vector<Row>{{QStringLiteral("R0a"), QStringLiteral("U0"), 5}}));

    release.release(5);
    ASSERT_TRUE(WaitUntil([&] { return routines.Done(); }));
    EXPECT_EQ(routines.Model().rowCount(), 6);
    EXPECT_EQ(routines.Model().Total(), 12);
    int expected = 0;
    for (const auto &[first, last] : inserted) {
        EXPECT_EQ(first, expected) << "rows inserted before the end";
        expected = last + 1;
    }
    EXPECT_EQ(expected, 6);
}

TEST_F(GotoRoutine, ThreadsClosingWhileScansRunLeavesNothingBehind)
{
    QStringList units;
    for (int i = 0; i < 40; ++i)
        units << Unit(QStringLiteral("U%1").arg(i), {QStringLiteral("R%1").arg(i)});
    for (int round = 0; round < 5; ++round) {
        TFGotoRoutine dialog(nullptr, units);
        dialog.show();
        QTest::qWait(round);
    } // destroyed with scans queued and running
}

TEST_F(GotoRoutine, DialogEnterPicksTheFirstMatchAlsoTypedAheadAndEscapeClearsFirst)
{
    const QStringList units = {Unit(QStringLiteral("Shapes"), {QStringLiteral("TShape.Paint"), QStringLiteral("TShape.Area")}),
                               Unit(QStringLiteral("Reports"), {QStringLiteral("PrintShapes")})};
    {
        TFGotoRoutine dialog(nullptr, units);
        dialog.show();
        ASSERT_TRUE(WaitUntil([&] { return dialog.Routines().Done(); }));
        EXPECT_EQ(dialog.lblCount->text(), QStringLiteral("3 routines, 2 of 2 units scanned"));
        QTest::keyClicks(dialog.edFilter, QStringLiteral("area"));
        EXPECT_EQ(dialog.lvRoutines->model()->rowCount(), 1);
        QTest::keyClick(dialog.edFilter, Qt::Key_Escape);
        EXPECT_TRUE(dialog.edFilter->text().isEmpty());
        EXPECT_TRUE(dialog.isVisible());
        // Down from the box moves through the list; Enter takes that row.
        QTest::keyClicks(dialog.edFilter, QStringLiteral("tshape."));
        QTest::keyClick(dialog.edFilter, Qt::Key_Down);
        QTest::keyClick(dialog.edFilter, Qt::Key_Down);
        const QString second = dialog.lvRoutines->currentIndex().data().toString();
        QTest::keyClick(dialog.edFilter, Qt::Key_Return);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.ChosenFile, units[0]);
        EXPECT_EQ(dialog.ChosenLine, second == QStringLiteral("TShape.Area") ? 8 : 5);
    }
    {
        TFGotoRoutine dialog(nullptr, units);
        dialog.show();
        QTest::keyClick(dialog.edFilter, Qt::Key_Escape); // empty: closes
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        // Typed and Enter before any scan has reported: the first match to come.
        TFGotoRoutine dialog(nullptr, units);
        dialog.show();
        QTest::keyClicks(dialog.edFilter, QStringLiteral("print"));
        QTest::keyClick(dialog.edFilter, Qt::Key_Return);
        ASSERT_TRUE(WaitUntil([&] { return dialog.result() == QDialog::Accepted; }));
        EXPECT_EQ(dialog.ChosenFile, units[1]);
        EXPECT_EQ(dialog.ChosenLine, 5);
    }
}

// The command on the in-memory host: its menu item and shortcut, and the
// jump into another unit.
TEST_F(GotoRoutine, TheCommandOpensTheUnitAtTheHeadingsLine)
{
    InMemoryHost host;
    ScriptedDialogs dialogs;
    const QString shapes = Unit(QStringLiteral("Shapes"), {QStringLiteral("TShape.Paint"), QStringLiteral("TShape.Area")});
    const QString reports = Unit(QStringLiteral("Reports"), {QStringLiteral("PrintShapes")});
    std::optional<AddinSession> session(std::in_place, host);
    FakeMenuItem *item = host.item(QStringLiteral("IdeGotoRoutine"));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->GetCaption(), QStringLiteral("&Go to Routine..."));
    EXPECT_EQ(item->GetShortCut(), TShortCut(scCtrl | scAlt | 'G'));
    EXPECT_EQ(item->parentItem()->GetName(), QStringLiteral("ViewMenu"));

    // No project: nothing.
    host.click(QStringLiteral("IdeGotoRoutine"));
    host.setProject(dir.path() + QStringLiteral("/P.dpr"), {dir.path() + QStringLiteral("/P.dpr"), shapes, reports});
    host.openFromDisk(reports);
    QStringList seen;
    OnNextModal([&](QDialog *d) {
        auto *dialog = qobject_cast<TFGotoRoutine *>(d);
        ASSERT_NE(dialog, nullptr);
        seen << dialog->objectName() << QString::number(dialog->Routines().UnitCount());
        // A dialog that never takes the pick must not hold the test forever.
        QTimer::singleShot(10000, dialog, &QDialog::reject);
        QTest::keyClicks(dialog->edFilter, QStringLiteral("area"));
        QTest::keyClick(dialog->edFilter, Qt::Key_Return);
    });
    host.click(QStringLiteral("IdeGotoRoutine"));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("FGotoRoutine"), QStringLiteral("2")}));
    EXPECT_EQ(host.GetCurrentFile(), shapes);
    ASSERT_NE(host.buffer(shapes), nullptr);
    EXPECT_EQ(host.buffer(shapes)->cursor, (TEditPos{1, 8}));
    EXPECT_TRUE(host.shown.isEmpty()) << host.shown.join(u'|').toStdString();
    session.reset();
}
