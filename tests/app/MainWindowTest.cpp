#include "app/MainWindow.h"

#include "QtTestApp.h"
#include "accounts/AuthPanel.h"
#include "app/Settings.h"
#include "app/StyleSheet.h"
#include "mods/ModListPanel.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr std::uint64_t kSixteenGiB = 16ull << 30;

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
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings =
            std::make_unique<qbk::Settings>(dir.filePath("Quellbrook.ini").toStdString(), [] {
                return std::optional<std::uint64_t>(kSixteenGiB);
            });
        qApp->setStyleSheet(qbk::globalStyleSheet());
    }

    MainWindow& openWindow() {
        window = std::make_unique<MainWindow>(*settings);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }

    // The mod list card and the sign-in panel reuse names such as "card", "sectionTitle" and
    // "hintLabel" for the same look; these look past them, at the window's own parts.
    template <typename T = QWidget> T* named(const char* objectName) {
        const QList<const QWidget*> panels{window->findChild<qbk::ModListPanel*>(),
                                           window->findChild<qbk::AuthPanel*>()};
        const auto inPanel = [&panels](const QWidget* widget) {
            for (const QWidget* panel : panels)
                if (panel && (panel == widget || panel->isAncestorOf(widget)))
                    return true;
            return false;
        };
        for (T* widget : window->findChildren<T*>(QString::fromLatin1(objectName)))
            if (!inPanel(widget))
                return widget;
        ADD_FAILURE() << "no " << objectName << " outside the panels";
        return nullptr;
    }

    QPushButton* button(const QString& text) {
        for (QPushButton* candidate : window->findChildren<QPushButton*>())
            if (candidate->text() == text)
                return candidate;
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }

    QList<QPushButton*> actionButtons() {
        return {button("ИГРАТЬ"), button("Проверить лаунчер"), button("У меня есть zip с модами"),
                named<QPushButton>("gearButton")};
    }

    void finish(bool success, const QString& message) {
        ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "onFinished", Q_ARG(bool, success),
                                              Q_ARG(QString, message)));
    }
    void status(const QString& text) {
        ASSERT_TRUE(
            QMetaObject::invokeMethod(window.get(), "onStatusChanged", Q_ARG(QString, text)));
    }
    void progress(int percent) {
        ASSERT_TRUE(
            QMetaObject::invokeMethod(window.get(), "onProgressChanged", Q_ARG(int, percent)));
    }

    static QColor textColour(QWidget* widget) {
        widget->ensurePolished();
        return widget->palette().color(widget->foregroundRole());
    }

    QTemporaryDir dir;
    std::unique_ptr<qbk::Settings> settings;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, FrameHasTitleSizeAndNamedParts) {
    MainWindow& w = openWindow();
    EXPECT_EQ(w.windowTitle(), "Quellbrook Launcher");
    EXPECT_EQ(w.minimumSize(), QSize(1500, 930));
    EXPECT_EQ(w.size(), QSize(1500, 930));

    for (const char* name : {"headerBar", "card", "statusStrip", "bottomBar"})
        named(name);
    EXPECT_EQ(named<QLabel>("logoLabel")->text(), "Quell");
    EXPECT_EQ(named<QLabel>("logoAccent")->text(), "brook");
    EXPECT_EQ(named<QLabel>("versionLabel")->text(), "  ver. 1.0.0");
    EXPECT_EQ(named<QLabel>("sectionTitle")->text(), "Сборка");
    EXPECT_EQ(named<QLabel>("statusIcon")->text(), "✓");
    EXPECT_EQ(named<QLabel>("statusLabel")->text(), "Готово к запуску");
    EXPECT_EQ(named<QPushButton>("siteLink")->text(), " quellbrook.net");
    EXPECT_EQ(named<QPushButton>("siteLink")->toolTip(), "Открыть сайт проекта");
    EXPECT_EQ(button("ИГРАТЬ")->objectName(), "playButton");
    EXPECT_EQ(named<QPushButton>("gearButton")->size(), QSize(46, 46));
    EXPECT_EQ(named<QPushButton>("gearButton")->toolTip(), "Настройки");
    EXPECT_EQ(named("headerBar")->height(), 86);

    const QList<QPushButton*> secondary =
        w.findChildren<QPushButton*>(QStringLiteral("secondaryButton"));
    // With the sign-in panel's sign-out button and the mod list's "Управление".
    ASSERT_EQ(secondary.size(), 5);
    EXPECT_EQ(button("Проверить лаунчер")->toolTip(),
              "Проверить Java, файлы игры, место на диске и сеть");
    EXPECT_EQ(button("У меня есть zip с модами")->toolTip(),
              "Выбери .zip архив — все .jar файлы из него будут установлены в minecraft\\mods");
    EXPECT_EQ(button("Админка")->toolTip(), "Баны и управление игроками");
    for (QPushButton* push : w.findChildren<QPushButton*>())
        EXPECT_EQ(push->cursor().shape(), Qt::PointingHandCursor) << push->text().toStdString();
}

TEST_F(MainWindowTest, PartsAreArrangedTopToBottomAndLeftToRight) {
    openWindow();
    const auto top = [](QWidget* w) {
        return w->mapTo(w->window(), QPoint(0, 0));
    };
    EXPECT_LT(top(named("headerBar")).y(), top(named("card")).y());
    EXPECT_LT(top(named("card")).y(), top(named("statusStrip")).y());
    EXPECT_LT(top(named("statusStrip")).y(), top(named("bottomBar")).y());
    EXPECT_EQ(top(named("bottomBar")).y() + named("bottomBar")->height(), window->height());

    EXPECT_LT(top(named("logoLabel")).x(), top(named("logoAccent")).x());
    EXPECT_LT(top(named("siteLink")).x(), top(named("gearButton")).x());
    EXPECT_LT(top(button("Проверить лаунчер")).x(), top(button("У меня есть zip с модами")).x());
    QPushButton* play = button("ИГРАТЬ"); // the sign-in button shares the name
    EXPECT_EQ(play->width(), 300);
    EXPECT_EQ(top(play).x() + play->width(), window->width() - 34);

    // The card takes five ninths of the middle row beside the mods' four ninths.
    const int row = window->width() - 34 - 34 - 28;
    EXPECT_NEAR(named("card")->width(), row * 5 / 9, 2);
    EXPECT_EQ(top(named("card")).x() + named("card")->width(), window->width() - 34);
    EXPECT_LT(top(named("sectionTitle")).y(), top(named("hintLabel")).y());
    EXPECT_TRUE(named<QLabel>("hintLabel")->wordWrap());
}

TEST_F(MainWindowTest, StartsWithPlayLockedUntilSignInAndAdminHidden) {
    openWindow();
    QPushButton* play = button("ИГРАТЬ"); // the sign-in button shares the name
    EXPECT_FALSE(play->isEnabled());
    EXPECT_EQ(play->toolTip(), "Сначала войди в аккаунт");
    EXPECT_TRUE(button("Админка")->isHidden());
    EXPECT_FALSE(button("Админка")->isVisible());
    EXPECT_TRUE(button("Проверить лаунчер")->isEnabled());
    EXPECT_TRUE(button("У меня есть zip с модами")->isEnabled());
    EXPECT_TRUE(named<QPushButton>("gearButton")->isEnabled());

    QProgressBar* bar = window->findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_EQ(bar->height(), 10);
}

TEST_F(MainWindowTest, HintDescribesTheBuildAndTheStoredMemory) {
    settings->setMaxRamMb(6144);
    openWindow();
    EXPECT_EQ(named<QLabel>("hintLabel")->text(),
              "Minecraft 1.21.1  ·  NeoForge 21.1.230\nПамять: 6144 МБ");
}

TEST_F(MainWindowTest, HintShowsTheClampedDefaultMemory) {
    openWindow();
    EXPECT_EQ(named<QLabel>("hintLabel")->text(),
              QString("Minecraft 1.21.1  ·  NeoForge 21.1.230\nПамять: %1 МБ")
                  .arg(qbk::Settings::kDefaultMaxRamMb));
}

TEST_F(MainWindowTest, GlobalStyleSheetIsAppliedInItsOrder) {
    const QString sheet = qbk::globalStyleSheet();
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_EQ(qApp->styleSheet(), sheet);

    qsizetype last = -1;
    for (const char* selector : {"QWidget {",
                                 "#headerBar {",
                                 "#card {",
                                 "#logoLabel {",
                                 "#logoAccent {",
                                 "#sectionTitle {",
                                 "#hintLabel, #statusLabel {",
                                 "#statusStrip {",
                                 "#statusIcon {",
                                 "#bottomBar {",
                                 "#versionLabel {",
                                 "#countBadge {",
                                 "#siteLink {",
                                 "QLineEdit {",
                                 "#playButton {",
                                 "#secondaryButton, #cancelButton {",
                                 "#secondaryButton:disabled {",
                                 "#gearButton {",
                                 "#chooseButton {",
                                 "QProgressBar {",
                                 "#modScroll {",
                                 "#modRow {",
                                 "#modTitle {",
                                 "#modMeta {",
                                 "QScrollBar:vertical {",
                                 "QCheckBox {",
                                 "QSlider::groove:horizontal {",
                                 "QSpinBox {",
                                 "QTableWidget {",
                                 "QHeaderView::section {",
                                 "QTableCornerButton::section {",
                                 "QDialog {",
                                 "QToolTip {"}) {
        const qsizetype at = sheet.indexOf(QLatin1String(selector));
        EXPECT_GT(at, last) << selector;
        last = std::max(last, at);
    }
}

TEST_F(MainWindowTest, StyleSheetShapesTheRealWidgets) {
    openWindow();
    EXPECT_EQ(textColour(named("logoLabel")), QColor("#ffffff"));
    EXPECT_EQ(textColour(named("logoAccent")), QColor("#c9a227"));
    EXPECT_EQ(named("logoAccent")->font().pixelSize(), 32);
    EXPECT_EQ(named("logoAccent")->font().weight(), QFont::Bold);
    EXPECT_EQ(textColour(named("hintLabel")), QColor("#9c9cb0"));
    EXPECT_EQ(named("hintLabel")->font().pixelSize(), 14);
    EXPECT_EQ(textColour(named("statusIcon")), QColor("#4ec97a"));
    EXPECT_EQ(textColour(named("versionLabel")), QColor("#7d7d92"));
    EXPECT_EQ(button("ИГРАТЬ")->font().pixelSize(), 20);
    EXPECT_EQ(button("ИГРАТЬ")->font().letterSpacing(), 2);
    EXPECT_EQ(button("Проверить лаунчер")->font().pixelSize(), 15);

    // The play button's violet face appears only once it is enabled.
    QPushButton* play = button("ИГРАТЬ"); // the sign-in button shares the name
    const auto face = [&] {
        return play->grab().toImage().pixelColor(12, play->height() / 2);
    };
    const QColor locked = face();
    play->setEnabled(true);
    const QColor open = face();
    EXPECT_GT(open.blue() - open.green(), 60);
    EXPECT_GT(open.blue(), 120);
    EXPECT_LT(locked.blue() - locked.green(), 30);
}

TEST_F(MainWindowTest, StatusMessagesShowTheWorkingGlyph) {
    openWindow();
    status("Скачиваю Java 21...");
    QLabel* icon = named<QLabel>("statusIcon");
    EXPECT_EQ(named<QLabel>("statusLabel")->text(), "Скачиваю Java 21...");
    EXPECT_EQ(icon->text(), "⟳");
    EXPECT_EQ(icon->styleSheet(), "color: #7c5cff; font-size: 16px; font-weight: 700;");
    EXPECT_EQ(textColour(icon), QColor("#7c5cff"));

    progress(42);
    EXPECT_EQ(window->findChild<QProgressBar*>()->value(), 42);
}

TEST_F(MainWindowTest, SuccessKeepsTheBarAndReenablesTheButtons) {
    openWindow();
    for (QPushButton* push : actionButtons())
        push->setEnabled(false);
    status("Запуск игры...");
    progress(100);

    finish(true, "Игра запущена");
    QLabel* icon = named<QLabel>("statusIcon");
    EXPECT_EQ(named<QLabel>("statusLabel")->text(), "Игра запущена");
    EXPECT_EQ(icon->text(), "✓");
    EXPECT_EQ(icon->styleSheet(), "color: #4ec97a; font-size: 16px; font-weight: 700;");
    EXPECT_EQ(window->findChild<QProgressBar*>()->value(), 100);
    for (QPushButton* push : actionButtons())
        EXPECT_TRUE(push->isEnabled()) << push->objectName().toStdString();
    EXPECT_TRUE(window->isVisible()); // close-on-launch is off by default
}

TEST_F(MainWindowTest, FailureResetsTheBarAndShowsTheRedCross) {
    openWindow();
    for (QPushButton* push : actionButtons())
        push->setEnabled(false);
    progress(57);

    finish(false, "Не удалось скачать Java");
    QLabel* icon = named<QLabel>("statusIcon");
    EXPECT_EQ(named<QLabel>("statusLabel")->text(), "Не удалось скачать Java");
    EXPECT_EQ(icon->text(), "✕");
    EXPECT_EQ(icon->styleSheet(), "color: #e05a5a; font-size: 16px; font-weight: 700;");
    EXPECT_EQ(textColour(icon), QColor("#e05a5a"));
    EXPECT_EQ(window->findChild<QProgressBar*>()->value(), 0);
    for (QPushButton* push : actionButtons())
        EXPECT_TRUE(push->isEnabled()) << push->objectName().toStdString();

    // The next attempt's first message replaces the cross.
    status("Проверяю Java...");
    EXPECT_EQ(icon->text(), "⟳");
}

TEST_F(MainWindowTest, AFailedSignInEndsTheSpinnerWithTheRedCross) {
    // A port nothing listens on: the sign-in is refused at once.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    QFile ini(dir.filePath("Quellbrook.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[auth]\nbaseUrl=http://127.0.0.1:%1\n").arg(port).toUtf8());
    ini.close();
    openWindow();

    auto* panel = window->findChild<qbk::AuthPanel*>();
    QList<QLineEdit*> fields = panel->findChildren<QLineEdit*>();
    for (QLineEdit* field : fields) {
        if (field->placeholderText() == "Никнейм")
            field->setText("somebody");
        if (field->placeholderText() == "Пароль")
            field->setText("secret-pass");
    }
    QLabel* icon = named<QLabel>("statusIcon");
    QTest::mouseClick(button("Войти"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return named<QLabel>("statusLabel")->text() == "Не удалось войти"; }, 10000));
    EXPECT_EQ(icon->text(), "✕");
    EXPECT_EQ(textColour(icon), QColor("#e05a5a"));
}

TEST_F(MainWindowTest, CloseOnLaunchClosesOnlyAfterSuccess) {
    settings->setCloseOnLaunch(true);
    openWindow();
    finish(false, "Не удалось запустить игру");
    EXPECT_TRUE(window->isVisible());
    finish(true, "Игра запущена");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, SiteLinkOpensTheProjectSite) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    openWindow();
    QTest::mouseClick(named<QPushButton>("siteLink"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("https");

    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened.front(), QUrl("https://quellbrook.net"));
}

} // namespace

#include "MainWindowTest.moc"
