#include "mods/ModListPanel.h"

#include "tests/mods/ModrinthFixture.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

#include <QDesktopServices>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace qbk {
namespace {

using Icon = test::ModrinthFixture::Icon;

// Stands in for the system browser while it lives.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    UrlCatcher() { QDesktopServices::setUrlHandler("https", this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("https"); }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

QString text(QWidget* parent, const char* name) {
    return parent->findChild<QLabel*>(name)->text();
}

TEST(ModListPanelTest, RowsFillInAsModrinthAnswersAndALeftClickOpensAPage) {
    test::TempDir dir;
    test::ModrinthFixture modrinth;
    std::filesystem::create_directories(dir / "mods");
    ModListPanel panel(modrinth.config(dir.path()), ModManagerDialog::Config{});
    panel.show();
    const auto titles = [&panel] {
        QStringList list;
        for (QWidget* row : panel.findChildren<QWidget*>("modRow"))
            list << text(row, "modTitle");
        return list;
    };
    const auto refresh = [&](const std::function<void()>& whileScanning) {
        QSignalSpy finished(&panel.client(), &ModrinthClient::scanFinished);
        panel.refresh(QString::fromStdString((dir / "mods").string()));
        whileScanning();
        return !finished.isEmpty() || finished.wait(15000);
    };
    ASSERT_TRUE(refresh([] {}));
    EXPECT_TRUE(titles().isEmpty());
    EXPECT_TRUE(panel.findChild<QLabel*>("hintLabel")->isVisible());
    EXPECT_FALSE(panel.findChild<QLabel*>("countBadge")->isVisible());

    modrinth.addMod(dir / "mods/lithium.jar", "lithium", "lithium", "0.13.0", Icon::Png);
    modrinth.addMod(dir / "mods/sodium.jar", "sodium", "sodium", "", Icon::None);
    test::writeWholeFile(dir / "mods/private.jar", "not on modrinth");
    ASSERT_TRUE(refresh([&] { // before any reply: one row per file, by file name
        EXPECT_EQ(titles(), (QStringList{"lithium.jar", "private.jar", "sodium.jar"}));
    }));
    const auto row = [&panel](const QString& title) {
        for (QWidget* candidate : panel.findChildren<QWidget*>("modRow"))
            if (text(candidate, "modTitle") == title)
                return candidate;
        return static_cast<QWidget*>(nullptr);
    };
    const auto corner = [](QWidget* row) {
        return row->findChild<QLabel*>("modIcon")->pixmap().toImage().pixelColor(0, 0);
    };
    QWidget* lithium = row("Lithium");
    QWidget* unknown = row("private.jar");
    ASSERT_TRUE(lithium && unknown && row("Sodium"));
    EXPECT_TRUE(lithium->isVisible()); // in the list's layout, not merely its child
    EXPECT_EQ(text(lithium, "modMeta"), "v0.13.0 · Modrinth");
    EXPECT_EQ(text(row("Sodium"), "modMeta"), "Modrinth");
    EXPECT_EQ(text(unknown, "modMeta"), "private.jar");
    EXPECT_EQ(lithium->toolTip(), "Открыть на Modrinth: https://modrinth.example/mod/lithium");
    EXPECT_EQ(lithium->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(unknown->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(corner(lithium), test::ModrinthFixture::kGreen); // the served icon, whole
    EXPECT_EQ(corner(unknown).alpha(), 0); // the rounded corner of the letter placeholder
    EXPECT_EQ(text(&panel, "countBadge"), "3");
    EXPECT_FALSE(panel.findChild<QLabel*>("hintLabel")->isVisible());

    UrlCatcher browser;
    QTest::mouseClick(lithium, Qt::RightButton);
    QTest::mouseClick(lithium, Qt::MiddleButton);
    QTest::mouseClick(unknown, Qt::LeftButton);
    EXPECT_TRUE(browser.opened.isEmpty());
    QTest::mouseClick(lithium, Qt::LeftButton);
    EXPECT_EQ(browser.opened, QList<QUrl>{QUrl("https://modrinth.example/mod/lithium")});

    // A refresh starts from an empty list.
    std::filesystem::remove(dir / "mods/lithium.jar");
    ASSERT_TRUE(refresh([] {}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(titles(), (QStringList{"private.jar", "Sodium"}));
    EXPECT_EQ(text(&panel, "countBadge"), "2");
}

} // namespace
} // namespace qbk

#include "ModListPanelTest.moc"
