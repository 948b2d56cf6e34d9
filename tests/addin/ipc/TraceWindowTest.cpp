#include "TestServices.h"

#include "ipc/FTracew.h"
#include "ipc/TaskIcon.h"

#include "WindowMessages.h"

#include <QAction>
#include <QCoreApplication>
#include <QAbstractItemView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

using namespace WindowMessages;

namespace {

struct TIconCall {
    quint32 Message;
    TNotifyIconData Data;
};

// Stands in for the tray: records every call, answers as told.
struct TIconRecorder {
    std::vector<TIconCall> Calls;
    bool Answer = true;
    TNotifyIconFunction Function()
    {
        return [this](quint32 message, const TNotifyIconData &data) {
            Calls.push_back({message, data});
            return Answer;
        };
    }
};

class TraceWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOld = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", FRuntime.path().toUtf8());
        FOldTemp = qgetenv("TEMP");
        qputenv("TEMP", FRuntime.path().toUtf8()); // where dbugintf looks
        TAddinServices services = TestServices();
        services.NotifyIcon = FIcons.Function();
        FTrace = std::make_unique<TFTrace>(services);
    }
    void TearDown() override
    {
        FTrace.reset();
        qputenv("XDG_RUNTIME_DIR", FOld);
        qputenv("TEMP", FOldTemp);
    }

    template <typename T> T Pump(std::future<T> &&work)
    {
        while (work.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
            QCoreApplication::processEvents();
        return work.get();
    }
    // Sends from another thread, as another program would, over one connection.
    bool SendLines(const QList<QByteArray> &lines)
    {
        return Pump(std::async(std::launch::async, [lines] {
            TWindowConnection c;
            if (c.Open(QStringLiteral("TFTrace")) != TSendError::None)
                return false;
            for (const QByteArray &line : lines)
                if (c.Send(WM_COPYDATA, 0, line, 5000) != TSendError::None)
                    return false;
            return true;
        }));
    }
    // The rows the list shows, once the view has been told of every line.
    QStringList Shown() const
    {
        for (int i = 0; i < 100 && FTrace->Lines().rowCount() < int(FTrace->Lines().Lines().size()); ++i)
            QTest::qWait(10);
        auto *list = FTrace->findChild<QAbstractItemView *>(QStringLiteral("ListBox1"));
        QStringList out;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            out << list->model()->index(row, 0).data().toString();
        return out;
    }
    TTaskIcon *Icon() const { return FTrace->findChild<TTaskIcon *>(QStringLiteral("TaskIcon1")); }
    void TrayClick(qint64 mouse) { Icon()->NotifyIconMessage(WM_USER, quint64(Icon()->TaskIconID()), mouse); }
    void Trigger(const char *action) { FTrace->findChild<QAction *>(QLatin1String(action))->trigger(); }

    QTemporaryDir FRuntime;
    QByteArray FOld;
    QByteArray FOldTemp;
    TIconRecorder FIcons;
    std::unique_ptr<TFTrace> FTrace;
};

TEST_F(TraceWindowTest, FourStatesAndTheirIconCalls)
{
    // Never shown: nothing reaches it, no icon.
    EXPECT_FALSE(FTrace->Receiving());
    EXPECT_FALSE(WindowListening(QStringLiteral("TFTrace")));
    EXPECT_TRUE(FIcons.Calls.empty());

    FTrace->show();
    ASSERT_EQ(FIcons.Calls.size(), 1u);
    const TIconCall &add = FIcons.Calls[0];
    EXPECT_EQ(add.Message, NIM_ADD);
    EXPECT_EQ(add.Data.cbSize, 88u);
    EXPECT_EQ(add.Data.uFlags, 7u);
    EXPECT_EQ(add.Data.uCallbackMessage, 1024u);
    EXPECT_EQ(add.Data.uID, 0);
    EXPECT_EQ(add.Data.hWnd, Icon());
    // The window's own 32 x 32 icon, and the tray shows the same picture.
    EXPECT_EQ(FTrace->windowIcon().availableSizes(), QList<QSize>{QSize(32, 32)});
    EXPECT_EQ(add.Data.hIcon.cacheKey(), FTrace->windowIcon().cacheKey());
    EXPECT_TRUE(FTrace->Receiving());
    EXPECT_TRUE(WindowListening(QStringLiteral("TFTrace")));

    // Hidden by the user: the icon stays; a second click shows it again.
    TrayClick(WM_LBUTTONUP);
    EXPECT_FALSE(FTrace->isVisible());
    TrayClick(WM_LBUTTONUP);
    EXPECT_TRUE(FTrace->isVisible());
    Trigger("OcultarVentana1");
    EXPECT_FALSE(FTrace->isVisible());
    Trigger("MostrarVentana1");
    EXPECT_TRUE(FTrace->isVisible());
    EXPECT_EQ(FIcons.Calls.size(), 1u);
    EXPECT_TRUE(Icon()->Enabled());

    // Closed by Esc, with the focus in the list: the icon goes.
    FTrace->activateWindow();
    QTest::keyClick(FTrace->findChild<QAbstractItemView *>(QStringLiteral("ListBox1")), Qt::Key_Escape);
    EXPECT_FALSE(FTrace->isVisible());
    ASSERT_EQ(FIcons.Calls.size(), 2u);
    EXPECT_EQ(FIcons.Calls[1].Message, NIM_DELETE);
    EXPECT_FALSE(Icon()->Enabled());
    EXPECT_TRUE(FTrace->Receiving()) << "a closed window still receives";

    // Only showing it again (the IDE command) brings the icon back.
    FTrace->show();
    ASSERT_EQ(FIcons.Calls.size(), 3u);
    EXPECT_EQ(FIcons.Calls[2].Message, NIM_ADD);
    Trigger("CerrarVentana1");
    EXPECT_FALSE(FTrace->isVisible());
    EXPECT_EQ(FIcons.Calls.back().Message, NIM_DELETE);
}

TEST_F(TraceWindowTest, LinesKeptInOrderWhileHiddenOrClosed)
{
    FTrace->show();
    TrayClick(WM_LBUTTONUP);
    ASSERT_FALSE(FTrace->isVisible());
    ASSERT_TRUE(SendLines({"one", QByteArray("abc\0more", 8), QByteArray(), "two"}));
    FTrace->close();
    ASSERT_TRUE(SendLines({"three"}));
    EXPECT_EQ(Shown(), (QStringList{"one", "abc", "", "two", "three"}));

    // Non-Latin text survives the trip; an oversize line is cut and marked.
    ASSERT_TRUE(SendLines({QStringLiteral("Grüße ✓").toUtf8(), QByteArray(MaxRequestBytes + 10, 'y')}));
    EXPECT_EQ(Shown().at(5), QStringLiteral("Grüße ✓"));
    EXPECT_TRUE(Shown().at(6).endsWith(QStringLiteral("y [cut]")));

    FTrace->show();
    FTrace->findChild<QToolButton *>(QStringLiteral("btnBorra"))->click();
    EXPECT_TRUE(Shown().isEmpty());
}

TEST_F(TraceWindowTest, IdChangeWhileEnabledModifiesUnderNewId)
{
    FTrace->show();
    Icon()->SetTaskIconID(7);
    ASSERT_EQ(FIcons.Calls.size(), 2u);
    EXPECT_EQ(FIcons.Calls[1].Message, NIM_MODIFY);
    EXPECT_EQ(FIcons.Calls[1].Data.uID, 7);
    // The callback answers only to the icon's current id.
    int clicks = 0;
    QObject::connect(Icon(), &TTaskIcon::OnDblClick, [&] { ++clicks; });
    Icon()->NotifyIconMessage(WM_USER, 0, WM_LBUTTONDBLCLK);
    Icon()->NotifyIconMessage(WM_USER, 7, WM_LBUTTONDBLCLK);
    EXPECT_EQ(clicks, 1);
}

TEST_F(TraceWindowTest, TipIsCutAt63Bytes)
{
    Icon()->SetHint(QString(100, QLatin1Char('h')));
    FTrace->show();
    const TNotifyIconData &data = FIcons.Calls.at(0).Data;
    EXPECT_EQ(std::string(data.szTip), std::string(63, 'h'));
}

TEST_F(TraceWindowTest, NoTrayLeavesIconDisabledAndWindowWorking)
{
    FIcons.Answer = false;
    FTrace->show();
    EXPECT_FALSE(Icon()->Enabled());
    EXPECT_TRUE(FTrace->isVisible());
    ASSERT_TRUE(SendLines({"still here"}));
    EXPECT_EQ(Shown(), QStringList{"still here"});
    FTrace->close();
    EXPECT_EQ(FIcons.Calls.size(), 1u) << "a disabled icon is not deleted";
}

// The default platform function where the desktop has no tray (offscreen).
TEST(TaskIconPlatform, NoTrayFailsQuietly)
{
    TTaskIcon icon(nullptr);
    icon.SetEnabled(true);
    EXPECT_FALSE(icon.Enabled());
}

} // namespace
