#include "app/MainWindow.h"
#include "app/Settings.h"
#include "mods/ModListPanel.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WidgetLookup.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
namespace qbk {
namespace {
using test::byText;
// A signed-in player whose account server lists one mod the folder lacks; every other host
// is a loopback port nothing listens on. Dialogs are recorded, never run.
class MainWindowModsTest : public ::testing::Test {
protected:
    MainWindowModsTest() {
        account.get("/api/mods", [](const auto&, httplib::Response& response, const auto&) {
            response.set_content(R"({"mods":[{"fileName":"n.jar","url":"u","sizeBytes":1048575}]})",
                                 "application/json");
        });
        std::string ini = "[auth]\nbaseUrl=" + account.baseUrl() + "\n[endpoints]";
        for (const char* key : {"modrinthApi", "mojangMeta", "mojangAssets", "neoforgeMaven",
                                "adoptium", "authlibInjector"})
            ini += "\n" + std::string(key) + "=http://127.0.0.1:9";
        test::writeWholeFile(dir / "Quellbrook.ini",
                             ini + "\n[player]\nusername=tester\nrememberPassword=true\n[session]"
                                   "\naccessToken=token\nuuid=0123456789abcdef0123456789abcdef\n");
        std::filesystem::create_directories(dir / "minecraft/mods");
        settings = std::make_unique<Settings>(
            dir / "Quellbrook.ini", [] { return std::optional<std::uint64_t>(16ull << 30); });
        window = std::make_unique<MainWindow>(*settings);
        window->setModPrompts(prompts);
        window->show();
    }
    QString status() { return window->findChild<QLabel*>("statusLabel")->text(); }
    bool enabled(const char* text) { return byText<QPushButton>(window.get(), text)->isEnabled(); }
    test::TempDir dir;
    test::TestHttpServer account;
    QStringList dialogs, questions;
    int result = QDialog::Rejected;
    QString archive;
    bool held = false;
    ModPrompts prompts{
        [this](QWidget*, const QString& title, const QString& text) {
            return (questions << title + '|' + text).isEmpty();
        },
        [](QWidget*, const QString&, const QString&) {},
        [this](QDialog& dialog) {
            dialogs << dialog.windowTitle();
            if (auto* box = dialog.findChild<QCheckBox*>("understandBox")) {
                box->setChecked(result == QDialog::Accepted);            // "choose" follows it
                dialog.findChild<QPushButton*>("chooseButton")->click(); // no-op while disabled
                EXPECT_EQ(dialog.result(), result);
            }
            return result;
        },
        [this](QWidget*) {
            held = false; // the buttons wait while the archive is unpacked
            QTimer::singleShot(0, window.get(), [this] {
                held = !enabled("ИГРАТЬ") && !enabled("У меня есть zip с модами");
            });
            return archive;
        }};
    std::unique_ptr<Settings> settings;
    std::unique_ptr<MainWindow> window;
};
TEST_F(MainWindowModsTest, ImportInstallsNestedJarsFlatAndSaysWhatWentWrong) {
    const auto zip = dir / "личные моды.zip";
    archive = QString::fromStdString(zip.string());
    result = QDialog::Accepted;
    const std::vector<std::pair<std::string, QString>> cases = {
        {"zip", "Установлено модов: 2"},
        {"forks", "В архиве не нашлось ни одного .jar файла."},
        {"Rar!\x1a\x07 not a zip", "Не удалось открыть архив. Нужен .zip (не .7z и не .rar)."}};
    for (const auto& [kind, expected] : cases) {
        test::ArchiveBuilder builder(RuntimeArchiveFormat::Zip);
        if (kind == "zip")
            builder.file("mods/a.jar", "a").file("deep/er/b.jar", "b");
        ASSERT_TRUE(builder.file("__MACOSX/._c.jar", "fork").file("readme.txt", "t").write(zip));
        if (kind.size() > 5)
            test::writeWholeFile(zip, kind);
        QMetaObject::invokeMethod(window.get(), "onImportModsClicked");
        EXPECT_EQ(status(), expected);
        EXPECT_TRUE(held);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList rows;
        for (QWidget* row : window->findChild<ModListPanel*>()->findChildren<QWidget*>("modRow"))
            rows << row->findChild<QLabel*>("modTitle")->text();
        EXPECT_EQ(rows, (QStringList{"a.jar", "b.jar"}));
        EXPECT_TRUE(enabled("ИГРАТЬ") && enabled("У меня есть zip с модами"));
    }
    EXPECT_EQ(dialogs, QStringList(3, "Личные моды"));
}
TEST_F(MainWindowModsTest, TheCheckButtonComparesTheModsFirstThenRunsTheSelfCheck) {
    byText<QPushButton>(window.get(), "Проверить лаунчер")->click();
    EXPECT_EQ(questions, QStringList{"Моды изменились|Не хватает модов: 1 (0 МБ)\n\nОткрыть "
                                     "управление модами?"});
    EXPECT_EQ(dialogs, QStringList{"Проверка лаунчера"});
    EXPECT_TRUE(enabled("ИГРАТЬ")); // held only while the mods were compared
    EXPECT_GT(window->findChild<ModListPanel*>()->width(), 200); // laid out beside the card
    // While a launch syncs the folder the manager stays shut (this one fails: no hosts answer);
    // the play button is the launch's cancel meanwhile.
    auto* play = byText<QPushButton>(window.get(), "ИГРАТЬ");
    QMetaObject::invokeMethod(window.get(), "onPlayClicked");
    EXPECT_FALSE(enabled("Управление"));
    for (int i = 0; i < 1000 && play->text() != "ИГРАТЬ"; ++i)
        QTest::qWait(10);
    EXPECT_TRUE(enabled("ИГРАТЬ") && enabled("Управление")) << status().toStdString();
}
} // namespace
} // namespace qbk
