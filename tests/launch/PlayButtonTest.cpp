#include "app/MainWindow.h"
#include "app/Settings.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WidgetLookup.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
namespace {
using qbk::test::byText;
// A signed-in window whose runtime host answers "not found" only after a pause, so a launch
// that is not stopped fails at the Java step; the server's mod list is empty, so a press goes
// on to launch. (Closing the window mid-launch is the end-to-end suite's.)
TEST(PlayButtonTest, OneLaunchAtATimeStoppedByItsButton) {
    constexpr int kStallMs = 3000;
    qbk::test::TestHttpServer server;
    server.get("/api/mods",
               [](auto&, auto& r, auto&) { r.set_content(R"({"mods":[]})", "application/json"); });
    server.get("/slow/.*", [&](const auto&, auto& response, const auto&) {
        QThread::msleep(kStallMs);
        response.status = 404;
    });
    QTemporaryDir dir;
    const std::string ini = dir.filePath("Quellbrook.ini").toStdString();
    qbk::test::writeWholeFile(ini,
                              "[endpoints]\nadoptium=" + server.url("/slow") +
                                  "\n[auth]\nbaseUrl=" + server.baseUrl() +
                                  "\n[player]\nusername=tester\nrememberPassword=true\n[session]\n"
                                  "accessToken=token\nuuid=0123456789abcdef0123456789abcdef\n");
    qbk::Settings settings(ini, [] { return std::optional<std::uint64_t>(16ull << 30); });
    auto window = std::make_unique<MainWindow>(settings);
    window->show();
    auto* status = window->findChild<QLabel*>("statusLabel");
    QPushButton* play = byText<QPushButton>(window.get(), "ИГРАТЬ");
    const std::vector<QPushButton*> held = {
        window->findChild<QPushButton*>("gearButton"),
        byText<QPushButton>(window.get(), "Проверить лаунчер"),
        byText<QPushButton>(window.get(), "У меня есть zip с модами")};
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "onPlayClicked"));
    for (QPushButton* button : held)
        EXPECT_FALSE(button->isEnabled());
    // Signing out meanwhile leaves the button the run's cancel, starting nothing.
    QTest::mouseClick(byText<QPushButton>(window.get(), "Выйти из аккаунта"), Qt::LeftButton);
    EXPECT_TRUE(play->text() == "Отмена" && play->isEnabled());
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(window->findChildren<QThread*>().size(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text() == "Запуск отменён."; }, kStallMs));
    // Play follows the start-up rule again: the player signed out meanwhile.
    EXPECT_TRUE(play->text() == "ИГРАТЬ" && !play->isEnabled());
    for (QPushButton* button : held)
        EXPECT_TRUE(button->isEnabled());
}
} // namespace
