#include "mods/ModListPanel.h"

#include "tests/mods/ModUiSupport.h"
#include "tests/mods/ModrinthFixture.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace qbk {
namespace {

using Icon = test::ModrinthFixture::Icon;

class ModListPanelTest : public ::testing::Test {
protected:
    ModListPanelTest() {
        std::filesystem::create_directories(dir / "mods");
        ModManagerDialog::Config manager;
        manager.manifestUrl = QString::fromStdString(modrinth.server().url("/status/404"));
        manager.modsDir = dir / "mods";
        manager.prompts = prompts.prompts();
        panel = std::make_unique<ModListPanel>(modrinth.config(dir.path()), manager);
        panel->show();
    }
    // Refreshes (or clicks) and waits for the scan's end.
    void refresh(const std::function<void()>& start = {}) {
        QSignalSpy finished(&panel->client(), &ModrinthClient::scanFinished);
        start ? start() : panel->refresh(QString::fromStdString((dir / "mods").string()));
        ASSERT_TRUE(!finished.isEmpty() || finished.wait(15000));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QWidget* row(const QString& title) {
        for (QWidget* candidate : panel->findChildren<QWidget*>("modRow"))
            if (text(candidate, "modTitle") == title)
                return candidate;
        return nullptr;
    }
    QStringList titles() {
        QStringList list;
        for (QWidget* candidate : panel->findChildren<QWidget*>("modRow"))
            list << text(candidate, "modTitle");
        return list;
    }
    static QString text(QWidget* parent, const char* name) {
        return parent->findChild<QLabel*>(name)->text();
    }
    static QColor pixel(QWidget* row, int x, int y) {
        return row->findChild<QLabel*>("modIcon")->pixmap().toImage().pixelColor(x, y);
    }

    test::TempDir dir;
    test::ModrinthFixture modrinth;
    test::PromptRecorder prompts;
    std::unique_ptr<ModListPanel> panel;
};

TEST_F(ModListPanelTest, RowsFillInAsModrinthAnswersAndALeftClickOpensAPage) {
    refresh();
    EXPECT_TRUE(titles().isEmpty());
    EXPECT_TRUE(panel->findChild<QLabel*>("hintLabel")->isVisible());
    EXPECT_FALSE(panel->findChild<QLabel*>("countBadge")->isVisible());

    modrinth.addMod(dir / "mods/lithium.jar", "lithium", "lithium", "0.13.0", Icon::Png);
    modrinth.addMod(dir / "mods/sodium.jar", "sodium", "sodium", "", Icon::None);
    test::writeWholeFile(dir / "mods/private.jar", "not on modrinth");
    refresh([this] {
        panel->refresh(QString::fromStdString((dir / "mods").string()));
        // Before any reply: one row per file, by file name.
        EXPECT_EQ(titles(), (QStringList{"lithium.jar", "private.jar", "sodium.jar"}));
    });
    QWidget* lithium = row("Lithium");
    QWidget* unknown = row("private.jar");
    ASSERT_TRUE(lithium && unknown && row("Sodium"));
    EXPECT_EQ(text(lithium, "modMeta"), "v0.13.0 · Modrinth");
    EXPECT_EQ(text(row("Sodium"), "modMeta"), "Modrinth");
    EXPECT_EQ(text(unknown, "modMeta"), "private.jar");
    EXPECT_EQ(lithium->toolTip(), "Открыть на Modrinth: https://modrinth.example/mod/lithium");
    EXPECT_EQ(lithium->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(unknown->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(pixel(lithium, 0, 0), test::ModrinthFixture::kGreen); // the served icon, whole
    EXPECT_EQ(pixel(unknown, 0, 0).alpha(), 0); // the placeholder's rounded corner
    EXPECT_EQ(text(panel.get(), "countBadge"), "3");
    EXPECT_FALSE(panel->findChild<QLabel*>("hintLabel")->isVisible());

    test::UrlCatcher browser;
    QTest::mouseClick(lithium, Qt::RightButton);
    QTest::mouseClick(lithium, Qt::MiddleButton);
    QTest::mouseClick(unknown, Qt::LeftButton);
    EXPECT_TRUE(browser.opened.isEmpty());
    QTest::mouseClick(lithium, Qt::LeftButton);
    EXPECT_EQ(browser.opened, QList<QUrl>{QUrl("https://modrinth.example/mod/lithium")});
}

TEST_F(ModListPanelTest, ManageRunsTheManagerAndRescansFromAnEmptyList) {
    test::writeWholeFile(dir / "mods/a.jar", "a");
    test::writeWholeFile(dir / "mods/b.jar", "b");
    refresh();
    prompts.duringDialog = [this](QDialog&) { // the player's changes while the manager is open
        std::filesystem::remove(dir / "mods/a.jar");
        test::writeWholeFile(dir / "mods/added.jar", "new");
    };
    refresh([this] { panel->findChild<QPushButton*>("secondaryButton")->click(); });
    EXPECT_EQ(prompts.dialogs, QStringList{"qbk::ModManagerDialog"});
    EXPECT_EQ(titles(), (QStringList{"added.jar", "b.jar"}));
    EXPECT_EQ(text(panel.get(), "countBadge"), "2");
}

} // namespace
} // namespace qbk
