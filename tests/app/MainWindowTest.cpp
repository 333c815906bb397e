#include "app/MainWindow.h"

#include "app/Settings.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WidgetLookup.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {
using qbk::test::byText;

// Signed out, close-on-launch on, an account server refusing every connection (port 1); the
// launch worker's reports are delivered as it sends them, through the window's slots.
TEST(MainWindowTest, LockedUntilSignInFailuresShowTheCrossASuccessClosesTheWindow) {
    qbk::test::TempDir dir{"qbk-main-window"};
    qbk::test::writeWholeFile(dir / "Quellbrook.ini",
                              "[launcher]\ncloseOnLaunch=true\n[auth]\nbaseUrl=http://127.0.0.1:1");
    qbk::Settings settings(dir / "Quellbrook.ini");
    MainWindow window(settings);
    window.show();
    const auto strip = [&window] { // glyph, text and bar
        return QStringList{window.findChild<QLabel*>("statusIcon")->text(),
                           window.findChild<QLabel*>("statusLabel")->text(),
                           QString::number(window.findChild<QProgressBar*>()->value())};
    };
    EXPECT_FALSE(byText<QPushButton>(&window, "ИГРАТЬ")->isEnabled());
    EXPECT_TRUE(byText<QPushButton>(&window, "Админка")->isHidden());
    for (QLineEdit* field : window.findChildren<QLineEdit*>())
        field->setText(field->placeholderText() == "Никнейм" ? "somebody" : "secret-pass");
    byText<QPushButton>(&window, "Войти")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return strip().at(1) == "Не удалось войти"; }, 10000));
    EXPECT_EQ(strip().at(0), "✕");
    const auto report = [&](const char* slot, auto... arguments) {
        QMetaObject::invokeMethod(&window, slot, arguments...);
        return strip();
    };
    report("onStatusChanged", Q_ARG(QString, "Скачиваю Java 21..."));
    EXPECT_EQ(report("onProgressChanged", Q_ARG(int, 57)),
              (QStringList{"⟳", "Скачиваю Java 21...", "57"}));
    report("onProgressChanged", Q_ARG(int, 100)); // (a failed end is the play button suite's)
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(report("onFinished", Q_ARG(bool, true), Q_ARG(QString, "конец")),
              (QStringList{"✓", "конец", "100"}));
    EXPECT_FALSE(window.isVisible());
}
} // namespace
