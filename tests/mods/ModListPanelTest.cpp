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
TEST(ModListPanelTest, RowsNameWhatModrinthKnowsAndALeftClickOpensItsPage) {
    test::TempDir dir;
    test::ModrinthFixture modrinth;
    std::filesystem::create_directories(dir / "mods");
    ModListPanel panel(modrinth.config(dir.path()), ModManagerDialog::Config{});
    panel.show();
    std::map<QString, QWidget*> rows; // by title
    const auto shown = [&] {          // "title: meta" of every row, the count badge, or the hint
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList list;
        rows.clear();
        for (QWidget* row : panel.findChildren<QWidget*>("modRow")) {
            list << text(row, "modTitle") + ": " + text(row, "modMeta");
            rows[text(row, "modTitle")] = row;
        }
        const bool badge = panel.findChild<QLabel*>("countBadge")->isVisible();
        return (list.join(", ") +
                (panel.findChild<QLabel*>("hintLabel")->isVisible() ? " hint" : "") +
                (badge ? " " + text(&panel, "countBadge") : ""))
            .toStdString();
    };
    const auto refresh = [&] {
        QSignalSpy finished(&panel.client(), &ModrinthClient::scanFinished);
        panel.refresh(QString::fromStdString((dir / "mods").string()));
        return !finished.isEmpty() || finished.wait(15000);
    };
    ASSERT_TRUE(refresh());
    EXPECT_EQ(shown(), " hint");
    modrinth.addMod(dir / "mods/lithium.jar", "lithium", "lithium", "0.13.0", Icon::Png);
    modrinth.addMod(dir / "mods/sodium.jar", "sodium", "sodium", "", Icon::None);
    test::writeWholeFile(dir / "mods/private.jar", "not on modrinth");
    ASSERT_TRUE(refresh());
    EXPECT_EQ(shown(), "Lithium: v0.13.0 · Modrinth, private.jar: private.jar, Sodium: Modrinth 3");
    QWidget* lithium = rows["Lithium"];
    QWidget* unknown = rows["private.jar"];
    UrlCatcher browser;
    QTest::mouseClick(lithium, Qt::RightButton);
    QTest::mouseClick(lithium, Qt::MiddleButton);
    QTest::mouseClick(unknown, Qt::LeftButton);
    EXPECT_TRUE(browser.opened.isEmpty());
    QTest::mouseClick(lithium, Qt::LeftButton);
    EXPECT_EQ(browser.opened, QList<QUrl>{QUrl("https://modrinth.example/mod/lithium")});
    std::filesystem::remove(dir / "mods/lithium.jar"); // a refresh starts from an empty list
    ASSERT_TRUE(refresh());
    EXPECT_EQ(shown(), "private.jar: private.jar, Sodium: Modrinth 2");
}
} // namespace
} // namespace qbk
#include "ModListPanelTest.moc"
