#include "app/MainWindow.h"
#include "app/Settings.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WidgetLookup.h"

#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
namespace {
using qbk::test::byText;
// A signed-in window whose runtime host answers "not found" only after a pause, so every
// launch fails at the Java step; the server's mod list is empty, so a press goes on to launch.
TEST(PlayButtonTest, ALaunchLocksTheActionsGetsItsOwnThreadAndClosingWaitsForIt) {
    constexpr int kStallMs = 1500;
    qbk::test::TestHttpServer server;
    server.get("/api/mods",
               [](auto&, auto& r, auto&) { r.set_content(R"({"mods":[]})", "application/json"); });
    std::atomic<int> slowRequests{0};
    server.get("/slow/.*", [&](const auto&, auto& response, const auto&) {
        ++slowRequests;
        QThread::msleep(kStallMs);
        response.status = 404;
    });
    QTemporaryDir dir;
    const QString ini = dir.filePath("Quellbrook.ini");
    qbk::test::writeWholeFile(ini.toStdString(),
                              "[endpoints]\nadoptium=" + server.url("/slow") +
                                  "\n[auth]\nbaseUrl=" + server.baseUrl() +
                                  "\n[player]\nusername=tester\nrememberPassword=true\n[session]\n"
                                  "accessToken=token\nuuid=0123456789abcdef0123456789abcdef\n");
    qbk::Settings settings(ini.toStdString(),
                           [] { return std::optional<std::uint64_t>(16ull << 30); });
    auto window = std::make_unique<MainWindow>(settings);
    window->show();
    auto *status = window->findChild<QLabel*>("statusLabel"),
         *icon = window->findChild<QLabel*>("statusIcon");
    auto* bar = window->findChild<QProgressBar*>();
    // The sign-in button shares the play button's object name: play is found by its text.
    const std::vector<QPushButton*> actions = {
        byText<QPushButton>(window.get(), "ИГРАТЬ"), window->findChild<QPushButton*>("gearButton"),
        byText<QPushButton>(window.get(), "Проверить лаунчер"),
        byText<QPushButton>(window.get(), "У меня есть zip с модами")};
    const auto expectEnabled = [&](bool enabled) {
        for (QPushButton* button : actions)
            EXPECT_TRUE(button && button->isEnabled() == enabled) << enabled;
    };
    bar->setValue(40); // a bar left over from an earlier launch
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "onPlayClicked"));
    expectEnabled(false);
    EXPECT_EQ(bar->value(), 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return status->text().startsWith("Не удалось подготовить Java 21"); }, 20000));
    expectEnabled(true);
    EXPECT_EQ(icon->text() + QString::number(bar->value()), "✕0");
    EXPECT_TRUE(QFileInfo(dir.filePath("runtime")).isDir()); // below the settings file's folder
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "onPlayClicked"));
    const auto threads = window->findChildren<QThread*>();
    ASSERT_EQ(threads.size(), 2);
    QPointer<QThread> second(threads.back());
    ASSERT_TRUE(QTest::qWaitFor([&] { return slowRequests == 2; }, 5000));
    const auto closing = std::chrono::steady_clock::now();
    window->close();
    window.reset();
    // The destruction returned only after the run did: the stalled download was waited for.
    EXPECT_TRUE(second.isNull());
    EXPECT_GE(std::chrono::steady_clock::now() - closing, std::chrono::milliseconds(kStallMs / 2));
}
} // namespace
