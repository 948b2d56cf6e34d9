// Windows are found by their window class name: the one a class registers,
// else its Qt class name, in any case.
#include "HostFixture.h"

#include "InMemoryHost.h"
#include "Windows.h"

namespace {

// A window class that registers no name: its own C++ name is its class.
class TPlainWindow : public QWidget {
    Q_OBJECT
public:
    TPlainWindow() : QWidget(nullptr, Qt::Window) {}
};

// Lives inside another window.
class TInnerWidget : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
};

// Derived from a registered double without a name of its own.
class TDerivedFake : public FakeEditWindow {
    Q_OBJECT
};

} // namespace

TEST_F(HostTest, WindowsAreFoundByTheirRegisteredClassName)
{
    ASSERT_EQ(FindWindow(QStringLiteral("TEditWindow")), nullptr);
    // The IDE's editor window, hidden until a file opens.
    TEditWindow *real = ide->ensureEditWindow();
    EXPECT_FALSE(real->isVisible());
    EXPECT_EQ(FindWindow(QStringLiteral("teditwindow")), real);
    EXPECT_EQ(WindowClassName(real), QStringLiteral("TEditWindow"));
    delete real;

    // A test double goes by the name it registers, not by its C++ name.
    {
        FakeEditWindow fake;
        EXPECT_EQ(WindowClassName(&fake), QStringLiteral("TEditWindow"));
        EXPECT_EQ(FindWindow(QStringLiteral("TEDITWINDOW")), &fake);
        EXPECT_EQ(FindWindow(QStringLiteral("FakeEditWindow")), nullptr);
    }
    EXPECT_EQ(FindWindow(QStringLiteral("TEditWindow")), nullptr);

    TPlainWindow plain;
    TDerivedFake derived;
    EXPECT_EQ(FindWindow(QStringLiteral("tplainwindow")), &plain);
    EXPECT_EQ(WindowClassName(&derived), QStringLiteral("TDerivedFake"));
    EXPECT_EQ(FindWindow(QStringLiteral("TEditWindow")), nullptr);
    // A child widget is no top-level window.
    TInnerWidget inner(&plain);
    EXPECT_EQ(FindWindow(QStringLiteral("TInnerWidget")), nullptr);
}

#include "WindowClassTest.moc"
