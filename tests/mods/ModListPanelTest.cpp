#include "mods/ModListPanel.h"

#include "mods/ZipUtils.h"
#include "tests/app/QtTestApp.h"
#include "tests/mods/ModUiSupport.h"
#include "tests/mods/ModrinthFixture.h"
#include "tests/mods/ScratchDir.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>

namespace qbk {
namespace {

using test::ModrinthFixture;
using IconKind = ModrinthFixture::IconKind;

const QColor kIconGreen(40, 160, 90);

class ModListPanelTest : public ::testing::Test {
protected:
    std::string writeJar(const std::string& name, const std::string& content) {
        const auto path = dir / "mods" / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return sha1FileHex(path);
    }
    QString modsDir() const { return QString::fromStdString((dir / "mods").string()); }

    std::unique_ptr<ModListPanel> makePanel(int timeoutMs = 5000) {
        ModrinthClient::Config client;
        client.apiBase = modrinth.apiBase();
        client.siteBase = modrinth.siteBase();
        client.cacheFile = QString::fromStdString((dir / "modcache.json").string());
        client.userAgent = QStringLiteral("Quellbrook-Launcher/1.0 (test)");
        client.transferTimeout = std::chrono::milliseconds(timeoutMs);
        ModManagerDialog::Config manager;
        manager.manifestUrl = QString::fromStdString(modrinth.server().url("/status/404"));
        manager.modsDir = dir / "mods";
        manager.prompts = prompts.prompts();
        auto panel = std::make_unique<ModListPanel>(client, manager);
        panel->resize(500, 600);
        panel->show();
        return panel;
    }
    // Refreshes and waits for the scan's end; false on a time-out.
    static bool refreshToEnd(ModListPanel& panel, const QString& folder) {
        QSignalSpy finished(&panel.client(), &ModrinthClient::scanFinished);
        panel.refresh(folder);
        return !finished.isEmpty() || finished.wait(15000);
    }

    static QList<QWidget*> rows(ModListPanel& panel) {
        return panel.findChildren<QWidget*>(QStringLiteral("modRow"));
    }
    static QWidget* row(ModListPanel& panel, const QString& title) {
        for (QWidget* candidate : rows(panel))
            if (text(candidate, "modTitle") == title)
                return candidate;
        ADD_FAILURE() << "no row " << title.toStdString();
        return nullptr;
    }
    static QString text(QWidget* row, const char* name) {
        auto* label = row->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QString();
    }
    static QImage icon(QWidget* row) {
        return row->findChild<QLabel*>(QStringLiteral("modIcon"))->pixmap().toImage();
    }
    static QStringList titles(ModListPanel& panel) {
        QStringList list;
        for (QWidget* candidate : rows(panel))
            list << text(candidate, "modTitle");
        return list;
    }
    static QLabel* badge(ModListPanel& panel) {
        return panel.findChild<QLabel*>(QStringLiteral("countBadge"));
    }
    static QLabel* hint(ModListPanel& panel) {
        return panel.findChild<QLabel*>(QStringLiteral("hintLabel"));
    }

    test::ScratchDir dir;
    ModrinthFixture modrinth;
    test::PromptRecorder prompts;
};

TEST_F(ModListPanelTest, EmptyFolderShowsOnlyTheHint) {
    std::filesystem::create_directories(dir / "mods");
    auto panel = makePanel();
    ASSERT_TRUE(refreshToEnd(*panel, modsDir()));
    EXPECT_TRUE(rows(*panel).isEmpty());
    EXPECT_TRUE(hint(*panel)->isVisible());
    EXPECT_FALSE(badge(*panel)->isVisible());
}

TEST_F(ModListPanelTest, RowsAppearAtOnceAndFillInAsModrinthAnswers) {
    const std::string lithium = writeJar("lithium.jar", "lithium bytes");
    const std::string sodium = writeJar("sodium.jar", "sodium bytes");
    writeJar("private.jar", "not on modrinth");
    modrinth.addMod(lithium, "lithium", "0.13.0", IconKind::Png);
    modrinth.addMod(sodium, "sodium", "", IconKind::Webp);
    auto panel = makePanel();

    QSignalSpy finished(&panel->client(), &ModrinthClient::scanFinished);
    panel->refresh(modsDir());
    // Before any reply: one row per file, by file name, with a letter placeholder.
    EXPECT_EQ(titles(*panel), (QStringList{"lithium.jar", "private.jar", "sodium.jar"}));
    EXPECT_FALSE(hint(*panel)->isVisible());
    ASSERT_TRUE(finished.wait(15000));

    QWidget* lith = row(*panel, QStringLiteral("Lithium"));
    QWidget* sod = row(*panel, QStringLiteral("Sodium"));
    QWidget* unknown = row(*panel, QStringLiteral("private.jar"));
    ASSERT_TRUE(lith && sod && unknown);
    EXPECT_EQ(text(lith, "modMeta"), QStringLiteral("v0.13.0 · Modrinth"));
    EXPECT_EQ(text(sod, "modMeta"), QStringLiteral("Modrinth"));
    EXPECT_EQ(text(unknown, "modMeta"), QStringLiteral("private.jar"));
    EXPECT_EQ(lith->toolTip(),
              QStringLiteral("Открыть на Modrinth: https://modrinth.example/mod/lithium"));
    EXPECT_EQ(lith->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(unknown->toolTip(), QStringLiteral("private.jar"));
    EXPECT_EQ(unknown->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(lith->accessibleName(), QStringLiteral("Lithium"));

    // PNG through Qt, WebP through libwebp: both show the served picture, not the letter.
    for (QWidget* withIcon : {lith, sod}) {
        const QImage image = icon(withIcon);
        ASSERT_EQ(image.size(), QSize(32, 32));
        EXPECT_EQ(image.pixelColor(16, 16), kIconGreen);
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 255) << "the icon fills its square";
    }
    const QImage placeholder = icon(unknown);
    ASSERT_EQ(placeholder.size(), QSize(32, 32));
    EXPECT_EQ(placeholder.pixelColor(0, 0).alpha(), 0) << "rounded corner of the placeholder";
    EXPECT_NE(placeholder.pixelColor(4, 16), kIconGreen);

    EXPECT_EQ(badge(*panel)->text(), QStringLiteral("3"));
    EXPECT_TRUE(badge(*panel)->isVisible());
    EXPECT_FALSE(hint(*panel)->isVisible());
}

TEST_F(ModListPanelTest, NextStartShowsCachedNamesBeforeAnyReplyAndKeepsThemForChangedJars) {
    const std::string lithium = writeJar("lithium.jar", "lithium bytes");
    modrinth.addMod(lithium, "lithium", "0.13.0", IconKind::None);
    {
        auto first = makePanel();
        ASSERT_TRUE(refreshToEnd(*first, modsDir()));
        ASSERT_EQ(titles(*first), QStringList{"Lithium"});
    }
    // The next start: the server answers slowly, yet the name is there at once.
    modrinth.setDelayMs(400);
    auto second = makePanel();
    QSignalSpy finished(&second->client(), &ModrinthClient::scanFinished);
    second->refresh(modsDir());
    EXPECT_EQ(titles(*second), QStringList{"Lithium"});
    EXPECT_EQ(text(rows(*second).first(), "modMeta"), QStringLiteral("v0.13.0 · Modrinth"));
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(15000));
    EXPECT_EQ(modrinth.requests("/v2/version_file/"), 1u) << "an unchanged known jar is not asked";

    // The jar changes into something Modrinth does not know: it is asked about again, and the
    // row keeps what the cache knew.
    writeJar("lithium.jar", "a local rebuild of lithium");
    ASSERT_TRUE(refreshToEnd(*second, modsDir()));
    EXPECT_EQ(modrinth.requests("/v2/version_file/"), 2u);
    EXPECT_EQ(titles(*second), QStringList{"Lithium"});
}

TEST_F(ModListPanelTest, RateLimitedAndSlowServersLeaveUsableRows) {
    const std::string lithium = writeJar("lithium.jar", "lithium bytes");
    writeJar("private.jar", "not on modrinth");
    modrinth.addMod(lithium, "lithium", "0.13.0", IconKind::Png);
    {
        // Two 429s with a one-second reset: the lookups wait and then succeed.
        modrinth.refuseWithRateLimit(2, 1);
        auto panel = makePanel();
        ASSERT_TRUE(refreshToEnd(*panel, modsDir()));
        EXPECT_EQ(titles(*panel), (QStringList{"Lithium", "private.jar"}));
        EXPECT_EQ(badge(*panel)->text(), QStringLiteral("2"));
    }
    std::filesystem::remove(dir / "modcache.json");
    {
        // Slower than the transfer time-out: the scan ends with the file names.
        modrinth.setDelayMs(1500);
        auto panel = makePanel(300);
        ASSERT_TRUE(refreshToEnd(*panel, modsDir()));
        EXPECT_EQ(titles(*panel), (QStringList{"lithium.jar", "private.jar"}));
        EXPECT_EQ(badge(*panel)->text(), QStringLiteral("2"));
        for (QWidget* r : rows(*panel))
            EXPECT_EQ(r->cursor().shape(), Qt::ArrowCursor);
    }
}

TEST_F(ModListPanelTest, OnlyALeftClickOnARowWithAPageOpensIt) {
    const std::string lithium = writeJar("lithium.jar", "lithium bytes");
    writeJar("private.jar", "not on modrinth");
    modrinth.addMod(lithium, "lithium", "0.13.0", IconKind::None);
    auto panel = makePanel();
    ASSERT_TRUE(refreshToEnd(*panel, modsDir()));
    test::UrlCatcher browser;

    QWidget* lith = row(*panel, QStringLiteral("Lithium"));
    QWidget* unknown = row(*panel, QStringLiteral("private.jar"));
    ASSERT_TRUE(lith && unknown);
    QTest::mouseClick(lith, Qt::RightButton);
    QTest::mouseClick(lith, Qt::MiddleButton);
    QTest::mouseClick(unknown, Qt::LeftButton);
    EXPECT_TRUE(browser.opened.isEmpty());
    QTest::mouseClick(lith, Qt::LeftButton);
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened.first(), QUrl(QStringLiteral("https://modrinth.example/mod/lithium")));
}

TEST_F(ModListPanelTest, ManageButtonRunsTheManagerAndRescansAfterIt) {
    writeJar("private.jar", "not on modrinth");
    auto panel = makePanel();
    ASSERT_TRUE(refreshToEnd(*panel, modsDir()));
    // While the manager is open the player's changes land in the folder.
    prompts.duringDialog = [this](QDialog&) {
        writeJar("added.jar", "new");
    };
    QSignalSpy finished(&panel->client(), &ModrinthClient::scanFinished);
    auto* manage = panel->findChild<QPushButton*>(QStringLiteral("secondaryButton"));
    ASSERT_NE(manage, nullptr);
    EXPECT_EQ(manage->text(), QStringLiteral("Управление"));
    manage->click();
    EXPECT_EQ(prompts.dialogs, QStringList{"qbk::ModManagerDialog"});
    ASSERT_TRUE(!finished.isEmpty() || finished.wait(15000));
    EXPECT_EQ(titles(*panel), (QStringList{"added.jar", "private.jar"}));
    EXPECT_EQ(badge(*panel)->text(), QStringLiteral("2"));
}

TEST_F(ModListPanelTest, ARefreshStartsFromAnEmptyList) {
    writeJar("a.jar", "a");
    writeJar("b.jar", "b");
    auto panel = makePanel();
    ASSERT_TRUE(refreshToEnd(*panel, modsDir()));
    std::filesystem::remove(dir / "mods" / "a.jar");
    ASSERT_TRUE(refreshToEnd(*panel, modsDir()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(titles(*panel), QStringList{"b.jar"});
    EXPECT_EQ(badge(*panel)->text(), QStringLiteral("1"));
}

} // namespace
} // namespace qbk
