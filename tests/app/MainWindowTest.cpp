#include "app/MainWindow.h"

#include "app/Settings.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WidgetLookup.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

namespace {

// Stands in for the system browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

class MainWindowTest : public ::testing::Test {
protected:
    void open() {
        window.emplace(settings);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&*window));
    }
    QPushButton* button(const char* text) { return qbk::test::byText<QPushButton>(&*window, text); }
    // The status strip: glyph, text and bar.
    QStringList strip() {
        return {window->findChild<QLabel*>("statusIcon")->text(),
                window->findChild<QLabel*>("statusLabel")->text(),
                QString::number(window->findChild<QProgressBar*>()->value())};
    }
    // What the launch worker reports, delivered as it is: through the window's slots.
    void report(const QString& text, int percent) {
        QMetaObject::invokeMethod(&*window, "onStatusChanged", Q_ARG(QString, text));
        QMetaObject::invokeMethod(&*window, "onProgressChanged", Q_ARG(int, percent));
        for (QPushButton* push : window->findChildren<QPushButton*>())
            push->setEnabled(false);
    }
    void finish(bool success) {
        QMetaObject::invokeMethod(&*window, "onFinished", Q_ARG(bool, success),
                                  Q_ARG(QString, "конец"));
        for (const char* text : {"ИГРАТЬ", "Проверить лаунчер", "У меня есть zip с модами"})
            EXPECT_TRUE(button(text)->isEnabled()) << text;
        EXPECT_TRUE(window->findChild<QPushButton*>("gearButton")->isEnabled());
    }

    qbk::test::TempDir dir{"qbk-main-window"};
    qbk::Settings settings{dir / "Quellbrook.ini", [] {
                               return std::optional(16ull << 30);
                           }};
    std::optional<MainWindow> window;
};

// With close-on-launch on: a failure resets the bar and keeps the window, a success closes it.
TEST_F(MainWindowTest, StartsLockedThenALaunchFailsAndOneSucceeds) {
    settings.setMaxRamMb(6144);
    settings.setCloseOnLaunch(true);
    open();
    EXPECT_FALSE(button("ИГРАТЬ")->isEnabled());
    EXPECT_EQ(button("ИГРАТЬ")->toolTip(), "Сначала войди в аккаунт");
    EXPECT_TRUE(button("Админка")->isHidden());
    int hints = 0;
    for (QLabel* label : window->findChildren<QLabel*>())
        hints += label->text().endsWith("Память: 6144 МБ");
    EXPECT_EQ(hints, 1);

    report("Скачиваю Java 21...", 57);
    EXPECT_EQ(strip(), (QStringList{"⟳", "Скачиваю Java 21...", "57"}));
    finish(false);
    EXPECT_EQ(strip(), (QStringList{"✕", "конец", "0"}));
    EXPECT_TRUE(window->isVisible());
    report("Запуск игры...", 100);
    EXPECT_EQ(strip(), (QStringList{"⟳", "Запуск игры...", "100"}));
    finish(true);
    EXPECT_EQ(strip(), (QStringList{"✓", "конец", "100"}));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, AFailedSignInEndsTheSpinnerWithTheCrossAndTheSiteLinkOpens) {
    QTcpServer closed; // a port nothing listens on: the sign-in is refused at once
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    qbk::test::writeWholeFile(dir / "Quellbrook.ini", "[auth]\nbaseUrl=http://127.0.0.1:" +
                                                          std::to_string(closed.serverPort()));
    closed.close();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    open();
    for (QLineEdit* field : window->findChildren<QLineEdit*>())
        field->setText(field->placeholderText() == "Никнейм" ? "somebody" : "secret-pass");
    QTest::mouseClick(button("Войти"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return strip().at(1) == "Не удалось войти"; }, 10000));
    EXPECT_EQ(strip().at(0), "✕");

    QTest::mouseClick(window->findChild<QPushButton*>("siteLink"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("https");
    EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl("https://quellbrook.net")});
}

} // namespace

#include "MainWindowTest.moc"
