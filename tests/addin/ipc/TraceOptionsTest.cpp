// The trace window's options, driven through its named components, with
// real senders where the sender matters.
#include "ModalDriver.h"
#include "ScriptedDialogs.h"
#include "TestServices.h"

#include "ipc/FTracew.h"

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class TraceOptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOld = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", FRuntime.path().toUtf8());
        FOldTemp = qgetenv("TEMP");
        qputenv("TEMP", FRuntime.path().toUtf8());
        // A registry of this test's own: options written here stay here.
        FOldRegistry = qgetenv("QUORBEL_REGISTRY");
        qputenv("QUORBEL_REGISTRY", (FRuntime.path() + QStringLiteral("/registry.ini")).toUtf8());
        Open();
    }
    void TearDown() override
    {
        FTrace.reset();
        qputenv("XDG_RUNTIME_DIR", FOld);
        qputenv("TEMP", FOldTemp);
        qputenv("QUORBEL_REGISTRY", FOldRegistry);
    }
    void Open()
    {
        FTrace.reset();
        TAddinServices services = TestServices();
        services.NotifyIcon = [](quint32, const TNotifyIconData &) { return true; };
        FTrace = std::make_unique<TFTrace>(services);
        FTrace->show();
    }

    template <typename T> T *Child(const char *name) const
    {
        T *child = FTrace->findChild<T *>(QLatin1String(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QTableView *List() const { return Child<QTableView>("ListBox1"); }
    void Trigger(const char *action) { Child<QAction>(action)->trigger(); }
    TTraceLines &Model() { return FTrace->Lines(); }
    void Append(int from, int to, const QString &pattern)
    {
        for (int i = from; i < to; ++i)
            Model().Append(pattern.arg(i));
        Model().Publish();
    }
    QStringList Shown(int column = 0)
    {
        QStringList out;
        for (int row = 0; row < Model().rowCount(); ++row)
            out << Model().index(row, column).data().toString();
        return out;
    }
    void SetFilter(const QString &text)
    {
        QLineEdit *filter = Child<QLineEdit>("FilterEdit");
        filter->clear();
        QTest::keyClicks(filter, text);
    }

    // One line sent by a real quorbel-trace, the UI thread turning meanwhile.
    bool SendFromProcess(const QStringList &words)
    {
        QProcess p;
        p.start(QStringLiteral(QUORBEL_TRACE), words);
        if (!p.waitForStarted())
            return false;
        while (p.state() != QProcess::NotRunning)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QTemporaryDir FRuntime;
    QByteArray FOld;
    QByteArray FOldTemp;
    QByteArray FOldRegistry;
    std::unique_ptr<TFTrace> FTrace;
};

// Two quorbel-trace processes at once: each line carries its own sender,
// told apart by pid, and a time of its own.
TEST_F(TraceOptionsTest, LinesFromTwoSendersCarryTheirPidsAndTimes)
{
    QProcess first, second;
    for (QProcess *p : {&first, &second}) {
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QStringLiteral(QUORBEL_TRACE), {QStringLiteral("-")});
        ASSERT_TRUE(p->waitForStarted());
    }
    const QString pidA = QStringLiteral("quorbel-trace (%1)").arg(first.processId());
    const QString pidB = QStringLiteral("quorbel-trace (%1)").arg(second.processId());
    QByteArray a, b;
    for (int i = 0; i < 200; ++i) {
        a += "a " + QByteArray::number(i) + '\n';
        b += "b " + QByteArray::number(i) + '\n';
    }
    first.write(a);
    second.write(b);
    first.closeWriteChannel();
    second.closeWriteChannel();
    for (QProcess *p : {&first, &second}) {
        while (p->state() != QProcess::NotRunning)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_EQ(p->exitCode(), 0);
    }
    ASSERT_EQ(Model().Lines().size(), 400u);

    // Off by default: one column, the text, no header.
    Model().Publish();
    EXPECT_EQ(Model().columnCount(), 1);
    EXPECT_FALSE(List()->horizontalHeader()->isVisible());

    Trigger("acTimeStamps");
    Trigger("acSender");
    ASSERT_EQ(Model().columnCount(), 3);
    EXPECT_TRUE(List()->horizontalHeader()->isVisible());
    ASSERT_NE(pidA, pidB);
    const QStringList texts = Shown(2), senders = Shown(1), times = Shown(0);
    int fromA = 0, fromB = 0;
    for (int row = 0; row < texts.size(); ++row) {
        const bool isA = texts[row].startsWith(QLatin1Char('a'));
        EXPECT_EQ(senders[row], isA ? pidA : pidB) << texts[row].toStdString();
        (isA ? fromA : fromB)++;
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$")).match(times[row]).hasMatch())
            << times[row].toStdString();
    }
    EXPECT_EQ(fromA, 200);
    EXPECT_EQ(fromB, 200);

    // The sender column alone: text moves to the second column.
    Trigger("acTimeStamps");
    ASSERT_EQ(Model().columnCount(), 2);
    EXPECT_EQ(Model().index(0, 1).data().toString(), texts[0]);
    EXPECT_EQ(Model().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Process"));
}

// A few thousand lines: the filter hides without dropping, new lines meet
// it as they come, and several highlight rules colour their lines.
TEST_F(TraceOptionsTest, FilterAndHighlightOverThousandsOfLines)
{
    for (int i = 0; i < 3000; ++i)
        Model().Append(i % 10 == 0 ? QStringLiteral("%1: Error here").arg(i)
                       : i % 10 == 1 ? QStringLiteral("%1: warning").arg(i)
                                     : QStringLiteral("%1: fine").arg(i));
    Model().Publish();
    ASSERT_EQ(Model().rowCount(), 3000);

    SetFilter(QStringLiteral("error"));
    EXPECT_EQ(Model().rowCount(), 300) << "substring, any case";
    EXPECT_EQ(Model().Lines().size(), 3000u) << "hidden, not dropped";
    EXPECT_EQ(Shown().first(), QStringLiteral("0: Error here"));
    Append(3000, 3010, QStringLiteral("%1: fine late"));
    Append(3010, 3020, QStringLiteral("%1: error late"));
    EXPECT_EQ(Model().rowCount(), 310);
    EXPECT_EQ(Shown().last(), QStringLiteral("3019: error late"));

    Trigger("acRegex");
    SetFilter(QStringLiteral("^1\\d\\d: (error|warn)"));
    EXPECT_EQ(Model().rowCount(), 20);
    // An expression that does not compile hides nothing.
    SetFilter(QStringLiteral("(unclosed"));
    EXPECT_EQ(Model().rowCount(), 3020);
    SetFilter(QString());
    EXPECT_EQ(Model().rowCount(), 3020);

    OnNextModal([](QDialog *dialog) {
        dialog->findChild<QPlainTextEdit *>(QStringLiteral("HighlightRules"))
            ->setPlainText(QStringLiteral("red error\n#00ff00 WARNING\nnot-a-colour fine"));
        dialog->accept();
    });
    Trigger("acHighlight");
    ASSERT_EQ(Model().Highlights().size(), 2u) << "a rule without a valid colour is left out";
    const auto background = [this](int row) { return Model().index(row, 0).data(Qt::BackgroundRole); };
    EXPECT_EQ(background(0).value<QColor>(), QColor(Qt::red));
    EXPECT_EQ(background(1).value<QColor>(), QColor(0, 255, 0));
    EXPECT_FALSE(background(2).isValid());
    EXPECT_FALSE(background(3005).isValid());
    EXPECT_EQ(background(3015).value<QColor>(), QColor(Qt::red));
}

// Ctrl+F opens the find box, Return and F3 go to the next matching line
// (wrapping), Shift+F3 back; Ctrl+C copies the selected lines in order.
TEST_F(TraceOptionsTest, FindAndCopyLines)
{
    Append(0, 1, QStringLiteral("alpha %1"));
    Append(1, 2, QStringLiteral("beta %1"));
    Append(2, 3, QStringLiteral("gamma %1"));
    Append(3, 4, QStringLiteral("Beta %1"));
    FTrace->activateWindow();
    QLineEdit *find = Child<QLineEdit>("FindEdit");
    EXPECT_FALSE(find->isVisible());
    QTest::keyClick(List(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(find->isVisible());
    QTest::keyClicks(find, QStringLiteral("beta"));
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(List()->currentIndex().row(), 1);
    QTest::keyClick(List(), Qt::Key_F3);
    EXPECT_EQ(List()->currentIndex().row(), 3);
    QTest::keyClick(List(), Qt::Key_F3);
    EXPECT_EQ(List()->currentIndex().row(), 1) << "wraps to the top";
    QTest::keyClick(List(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(List()->currentIndex().row(), 3) << "backwards, wrapping";
    // Esc puts the find box away first; the next one closes the window.
    QTest::keyClick(find, Qt::Key_Escape);
    EXPECT_FALSE(find->isVisible());
    EXPECT_TRUE(FTrace->isVisible());
    QTest::keyClick(List(), Qt::Key_Escape);
    EXPECT_FALSE(FTrace->isVisible());
    FTrace->show();

    QItemSelectionModel *selection = List()->selectionModel();
    selection->select(Model().index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(Model().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha 0\ngamma 2\nBeta 3"));

    Trigger("acTimeStamps");
    selection->select(Model().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(List(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\talpha 0$"))
                    .match(QApplication::clipboard()->text()).hasMatch())
        << QApplication::clipboard()->text().toStdString();
}

// Saving writes all lines or only the shown ones, with CR LF, replacing the
// old file whole; a failed write leaves the old file as it was.
TEST_F(TraceOptionsTest, SaveAllOrShownLines)
{
    ScriptedDialogs dialogs;
    const QString path = FRuntime.path() + QStringLiteral("/trace.txt");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older and much longer file than the lines\r\n");
    }
    Append(0, 3, QStringLiteral("line %1"));
    Model().Append(QStringLiteral("Grüße ✓"));
    Model().Publish();
    SetFilter(QStringLiteral("line 1"));
    const auto read = [&path] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    };

    dialogs.answerFile(path);
    Trigger("acSaveAll");
    EXPECT_EQ(read(), QStringLiteral("line 0\r\nline 1\r\nline 2\r\nGrüße ✓\r\n").toUtf8());

    dialogs.answerFile(path);
    Trigger("acSaveShown");
    EXPECT_EQ(read(), QByteArray("line 1\r\n"));

    {
        FailWrites failing;
        dialogs.answerFile(path);
        Trigger("acSaveAll");
    }
    EXPECT_EQ(read(), QByteArray("line 1\r\n"));
    ASSERT_FALSE(dialogs.log.filter(QStringLiteral("error:")).isEmpty());

    // Cancelled: nothing written.
    Trigger("acSaveAll");
    EXPECT_EQ(read(), QByteArray("line 1\r\n"));
    EXPECT_EQ(QDir(FRuntime.path()).entryList({QStringLiteral("trace.txt*")}, QDir::Files),
              QStringList{QStringLiteral("trace.txt")})
        << "no temporary file left behind";
}

// Off by default nothing is dropped and the status bar stays empty; with a
// cap the oldest lines go, and the count of those dropped is shown.
TEST_F(TraceOptionsTest, CapDropsOldestAndShowsTheCount)
{
    Append(0, 250, QStringLiteral("line %1"));
    EXPECT_EQ(Model().Lines().size(), 250u);
    QLabel *dropped = Child<QLabel>("DroppedLabel");
    EXPECT_FALSE(dropped->isVisible());

    // Cancel changes nothing, whatever was typed.
    OnNextModal([](QDialog *dialog) {
        dialog->findChild<QSpinBox *>(QStringLiteral("CapLines"))->setValue(10);
        dialog->reject();
    });
    Trigger("acCap");
    EXPECT_EQ(Model().Lines().size(), 250u);
    EXPECT_FALSE(dropped->isVisible());

    OnNextModal([](QDialog *dialog) {
        dialog->findChild<QSpinBox *>(QStringLiteral("CapLines"))->setValue(100);
        dialog->accept();
    });
    Trigger("acCap");
    EXPECT_EQ(Model().Lines().size(), 100u);
    EXPECT_EQ(Model().rowCount(), 100);
    EXPECT_EQ(Shown().first(), QStringLiteral("line 150"));
    EXPECT_TRUE(dropped->isVisible());
    EXPECT_EQ(dropped->text(), QStringLiteral("150 oldest lines dropped"));

    // Lines arriving under the cap, several batches, one with the filter on.
    Append(250, 300, QStringLiteral("line %1"));
    SetFilter(QStringLiteral("line 2"));
    Append(300, 420, QStringLiteral("line %1"));
    EXPECT_EQ(Model().Lines().size(), 100u);
    EXPECT_EQ(Model().Lines().front(), QStringLiteral("line 320"));
    EXPECT_EQ(Shown(), QStringList{}) << "no line 2xx is kept";
    SetFilter(QString());
    EXPECT_EQ(Model().rowCount(), 100);
    EXPECT_EQ(Shown().first(), QStringLiteral("line 320"));
    EXPECT_EQ(Shown().last(), QStringLiteral("line 419"));
    EXPECT_EQ(dropped->text(), QStringLiteral("320 oldest lines dropped"));

    // The clear button starts the count again.
    Child<QToolButton>("btnBorra")->click();
    EXPECT_FALSE(dropped->isVisible());
}

// Pause keeps every line arriving but shows none until it ends; auto-scroll
// (off by default) follows the newest line.
TEST_F(TraceOptionsTest, PauseKeepsLinesAndAutoScrollFollows)
{
    FTrace->resize(435, 157);
    Append(0, 500, QStringLiteral("line %1"));
    QScrollBar *bar = List()->verticalScrollBar();
    EXPECT_EQ(bar->value(), 0) << "no scrolling to the new line by default";

    Trigger("acPause");
    ASSERT_TRUE(SendFromProcess({"while", "paused"}));
    EXPECT_EQ(Model().Lines().back(), QStringLiteral("while paused")) << "kept while paused";
    Model().Publish();
    EXPECT_EQ(Model().rowCount(), 500) << "not shown while paused";
    Trigger("acPause");
    EXPECT_EQ(Model().rowCount(), 501);
    EXPECT_EQ(bar->value(), 0);

    Trigger("acAutoScroll");
    Append(501, 600, QStringLiteral("line %1"));
    QCoreApplication::processEvents();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

// Every option but pause comes back with the next window; with all of
// them off nothing is written to the registry.
TEST_F(TraceOptionsTest, OptionsRemembered)
{
    const QString registry = FRuntime.path() + QStringLiteral("/registry.ini");
    Open();
    const auto text = [&registry] {
        QFile f(registry);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    EXPECT_FALSE(text().contains(QStringLiteral("TraceWindow"))) << text().toStdString();

    Trigger("acTimeStamps");
    Trigger("acSender");
    Trigger("acAutoScroll");
    Trigger("acRegex");
    Trigger("acPause");
    SetFilter(QStringLiteral("^err"));
    OnNextModal([](QDialog *dialog) {
        dialog->findChild<QSpinBox *>(QStringLiteral("CapLines"))->setValue(5000);
        dialog->accept();
    });
    Trigger("acCap");
    OnNextModal([](QDialog *dialog) {
        dialog->findChild<QPlainTextEdit *>(QStringLiteral("HighlightRules"))->setPlainText(QStringLiteral("yellow boom"));
        dialog->accept();
    });
    Trigger("acHighlight");

    Open();
    for (const char *action : {"acTimeStamps", "acSender", "acAutoScroll", "acRegex"})
        EXPECT_TRUE(Child<QAction>(action)->isChecked()) << action;
    EXPECT_FALSE(Child<QAction>("acPause")->isChecked()) << "a new window is not paused";
    EXPECT_EQ(Child<QLineEdit>("FilterEdit")->text(), QStringLiteral("^err"));
    EXPECT_EQ(Model().columnCount(), 3);
    EXPECT_EQ(Model().Cap(), 5000);
    ASSERT_EQ(Model().Highlights().size(), 1u);
    EXPECT_EQ(Model().Highlights()[0].Text, QStringLiteral("boom"));
    EXPECT_EQ(Model().Highlights()[0].Colour, QColor(Qt::yellow));
}

} // namespace
