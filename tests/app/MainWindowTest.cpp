#include "app/MainWindow.h"

#include "app/Settings.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WidgetLookup.h"

#include <QPushButton>

namespace {
using qbk::test::byText;

// Signed out, close-on-launch on: the worker's success report, delivered through the window's
// slot, closes the window.
TEST(MainWindowTest, LockedUntilSignInASuccessfulLaunchClosesTheWindow) {
    qbk::test::TempDir dir{"qbk-main-window"};
    qbk::test::writeWholeFile(dir / "Quellbrook.ini",
                              "[launcher]\ncloseOnLaunch=true\n[auth]\nbaseUrl=http://127.0.0.1:1");
    qbk::Settings settings(dir / "Quellbrook.ini");
    MainWindow window(settings);
    window.show();
    EXPECT_FALSE(byText<QPushButton>(&window, "ИГРАТЬ")->isEnabled());
    EXPECT_TRUE(byText<QPushButton>(&window, "Админка")->isHidden());
    QMetaObject::invokeMethod(&window, "onFinished", Q_ARG(bool, true), Q_ARG(QString, "конец"));
    EXPECT_FALSE(window.isVisible());
}
} // namespace
