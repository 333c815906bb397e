#include "app/MainWindow.h"
#include "app/Settings.h"
#include "tests/app/QtTestApp.h"
#include "tests/support/TestHttpServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

namespace {

using qbk::test::TestHttpServer;

const QString kJavaFailure =
    QStringLiteral("Не удалось подготовить Java 21. Проверь подключение к интернету.");
constexpr int kStallMs = 1500;

// A window whose launcher folder is a temporary one and whose runtime host answers only
// after a pause with "not found", so every launch fails at the Java step.
class PlayButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        server.get("/api/mods",
                   [](const httplib::Request&, httplib::Response& response, const auto&) {
                       response.set_content(R"({"mods":[]})", "application/json");
                   });
        server.get("/slow/.*",
                   [](const httplib::Request&, httplib::Response& response, const auto&) {
                       QThread::msleep(kStallMs);
                       response.status = 404;
                   });
        {
            QSettings ini(dir.filePath("Quellbrook.ini"), QSettings::IniFormat);
            ini.setValue("endpoints/adoptium", QString::fromStdString(server.url("/slow")));
            // A remembered session signs the window in; the server's mod list is empty, so the
            // pre-play comparison lets the press go on to the launch.
            ini.setValue("auth/baseUrl", QString::fromStdString(server.baseUrl()));
            ini.setValue("player/username", "tester");
            ini.setValue("player/rememberPassword", true);
            ini.setValue("session/accessToken", "token");
            ini.setValue("session/uuid", "0123456789abcdef0123456789abcdef");
        }
        settings =
            std::make_unique<qbk::Settings>(dir.filePath("Quellbrook.ini").toStdString(), [] {
                return std::optional<std::uint64_t>(16ull << 30);
            });
        window = std::make_unique<MainWindow>(*settings);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T> T* named(const char* objectName) {
        T* widget = window->findChild<T*>(QString::fromLatin1(objectName));
        EXPECT_NE(widget, nullptr) << objectName;
        return widget;
    }
    QPushButton* buttonWithText(const QString& text) {
        for (QPushButton* candidate : window->findChildren<QPushButton*>())
            if (candidate->text() == text)
                return candidate;
        return nullptr;
    }
    std::vector<QPushButton*> actionButtons() {
        // The sign-in button shares the play button's object name: find play by its text.
        return {buttonWithText(QStringLiteral("ИГРАТЬ")), named<QPushButton>("gearButton"),
                buttonWithText(QStringLiteral("Проверить лаунчер")),
                buttonWithText(QStringLiteral("У меня есть zip с модами"))};
    }
    void press() {
        // The slot is what the click runs.
        ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "onPlayClicked"));
    }

    QTemporaryDir dir;
    TestHttpServer server;
    std::unique_ptr<qbk::Settings> settings;
    std::unique_ptr<MainWindow> window;
};

TEST_F(PlayButtonTest, ALaunchLocksTheActionsAndAFailureShowsTheWorkerText) {
    auto* status = named<QLabel>("statusLabel");
    auto* bar = window->findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    bar->setValue(40); // a bar left over from an earlier launch
    press();
    for (QPushButton* button : actionButtons()) {
        ASSERT_NE(button, nullptr);
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
    }
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(status->text() == QStringLiteral("Запуск...") ||
                status->text() == QStringLiteral("Проверка Java 21..."));

    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text() == kJavaFailure; }, 20000));
    for (QPushButton* button : actionButtons())
        EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();
    EXPECT_EQ(named<QLabel>("statusIcon")->text(), QStringLiteral("✕"));
    EXPECT_TRUE(named<QLabel>("statusIcon")->styleSheet().contains("#e05a5a"));
    EXPECT_EQ(bar->value(), 0);
    // The run wrote below the settings file's folder, nowhere else.
    EXPECT_TRUE(QDir(dir.filePath("runtime")).exists());
}

TEST_F(PlayButtonTest, ClosingDuringALaunchWaitsForTheWorker) {
    press();
    auto* thread = window->findChild<QThread*>();
    ASSERT_NE(thread, nullptr);
    QPointer<QThread> threadAlive(thread);
    std::atomic<bool> threadEnded{false};
    QObject::connect(
        thread, &QThread::finished, thread, [&] { threadEnded = true; }, Qt::DirectConnection);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestsServed() > 0; }, 5000));

    QElapsedTimer closing;
    closing.start();
    window->close();
    window.reset();
    // The destruction returned only after the run did: the stalled download was waited for.
    EXPECT_TRUE(threadEnded.load());
    EXPECT_TRUE(threadAlive.isNull());
    EXPECT_GE(closing.elapsed(), kStallMs / 2);
}

TEST_F(PlayButtonTest, EachPressGetsItsOwnThreadAndTheWindowStillClosesCleanly) {
    auto* status = named<QLabel>("statusLabel");
    press();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text() == kJavaFailure; }, 20000));
    press();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->findChildren<QThread*>().size() == 2; }, 1000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text() == kJavaFailure; }, 20000));
    window.reset();
}

} // namespace
