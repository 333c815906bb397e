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

using qbk::test::byText;

// Stands in for the system browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

// Signed out, close-on-launch on, an account server that refuses every connection; the
// launch worker's reports are delivered as it sends them, through the window's slots.
TEST(MainWindowTest, LockedUntilSignInFailuresShowTheCrossASuccessClosesTheWindow) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    qbk::test::TempDir dir{"qbk-main-window"};
    qbk::test::writeWholeFile(
        dir / "Quellbrook.ini",
        "[auth]\nbaseUrl=http://127.0.0.1:" + std::to_string(closed.serverPort()) +
            "\n[game]\nmaxRamMb=6144\n[launcher]\ncloseOnLaunch=true\n");
    closed.close();
    qbk::Settings settings(dir / "Quellbrook.ini", [] { return std::optional(16ull << 30); });
    MainWindow window(settings);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto strip = [&window] { // glyph, text and bar
        return QStringList{window.findChild<QLabel*>("statusIcon")->text(),
                           window.findChild<QLabel*>("statusLabel")->text(),
                           QString::number(window.findChild<QProgressBar*>()->value())};
    };
    EXPECT_FALSE(byText<QPushButton>(&window, "ИГРАТЬ")->isEnabled());
    EXPECT_EQ(byText<QPushButton>(&window, "ИГРАТЬ")->toolTip(), "Сначала войди в аккаунт");
    EXPECT_TRUE(byText<QPushButton>(&window, "Админка")->isHidden());
    const QList<QLabel*> labels = window.findChildren<QLabel*>();
    EXPECT_EQ(
        std::count_if(labels.begin(), labels.end(),
                      [](QLabel* label) { return label->text().endsWith("Память: 6144 МБ"); }),
        1);

    for (QLineEdit* field : window.findChildren<QLineEdit*>())
        field->setText(field->placeholderText() == "Никнейм" ? "somebody" : "secret-pass");
    QTest::mouseClick(byText<QPushButton>(&window, "Войти"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return strip().at(1) == "Не удалось войти"; }, 10000));
    EXPECT_EQ(strip().at(0), "✕");

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QTest::mouseClick(window.findChild<QPushButton*>("siteLink"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("https");
    EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl("https://quellbrook.net")});

    const auto report = [&](const QString& text, int percent) {
        QMetaObject::invokeMethod(&window, "onStatusChanged", Q_ARG(QString, text));
        QMetaObject::invokeMethod(&window, "onProgressChanged", Q_ARG(int, percent));
        return strip();
    };
    const auto finish = [&](bool success) {
        QMetaObject::invokeMethod(&window, "onFinished", Q_ARG(bool, success),
                                  Q_ARG(QString, "конец"));
        return strip();
    };
    EXPECT_EQ(report("Скачиваю Java 21...", 57), (QStringList{"⟳", "Скачиваю Java 21...", "57"}));
    EXPECT_EQ(finish(false), (QStringList{"✕", "конец", "0"}));
    EXPECT_TRUE(window.isVisible());
    report("Запуск игры...", 100);
    EXPECT_EQ(finish(true), (QStringList{"✓", "конец", "100"}));
    EXPECT_FALSE(window.isVisible());
}

} // namespace

#include "MainWindowTest.moc"
