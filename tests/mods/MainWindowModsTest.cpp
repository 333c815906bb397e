#include "app/MainWindow.h"
#include "app/Settings.h"
#include "mods/ModListPanel.h"
#include "mods/ZipWarningDialog.h"
#include "tests/app/QtTestApp.h"
#include "tests/mods/ArchiveBuilder.h"
#include "tests/mods/ModUiSupport.h"
#include "tests/mods/ModrinthFixture.h"
#include "tests/mods/ScratchDir.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>

namespace qbk {
namespace {

constexpr std::uint64_t kSixteenGiB = 16ull << 30;
// A loopback port nothing listens on: every host the tests do not serve refuses at once.
const std::string kNowhere = "http://127.0.0.1:9";

// The account server's /api/mods with a manifest the test sets, answered after a delay.
class AccountServer {
public:
    AccountServer() {
        server.get("/api/mods", [this](const httplib::Request&, httplib::Response& response,
                                       const std::smatch&) {
            ++manifestRequests;
            for (int waited = 0; waited < delayMs && !stopping; waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            response.status = status;
            response.set_content(manifest, "application/json");
        });
    }
    ~AccountServer() { stopping = true; }

    std::atomic<int> manifestRequests{0};
    std::atomic<int> delayMs{0};
    std::atomic<int> status{200};
    std::atomic<bool> stopping{false};
    std::string manifest = R"({"mods":[]})";
    // Last, so it is stopped first: its handler threads read the members above.
    test::TestHttpServer server;
};

class MainWindowModsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(modsDir());
        std::ofstream ini(dir / "Quellbrook.ini");
        ini << "[auth]\nbaseUrl=" << account.server.baseUrl() << "\n"
            << "[endpoints]\nmodrinthApi=" << modrinth.server().baseUrl()
            << "\nmodrinthSite=https://modrinth.example\nmojangMeta=" << kNowhere
            << "\nmojangAssets=" << kNowhere << "\nneoforgeMaven=" << kNowhere
            << "\nadoptium=" << kNowhere << "\nauthlibInjector=" << kNowhere << "\n";
        if (signedIn)
            ini << "[player]\nusername=tester\nrememberPassword=true\n"
                << "[session]\naccessToken=token\nuuid=0123456789abcdef0123456789abcdef\n";
    }
    void TearDown() override { window.reset(); }

    std::filesystem::path modsDir() const { return dir / "minecraft" / "mods"; }
    void writeJar(const std::string& name, const std::string& content) {
        std::ofstream(modsDir() / name, std::ios::binary) << content;
    }
    bool present(const std::string& name) const {
        return std::filesystem::exists(modsDir() / name);
    }

    MainWindow& openWindow() {
        settings = std::make_unique<Settings>(
            dir / "Quellbrook.ini", [] { return std::optional<std::uint64_t>(kSixteenGiB); });
        window = std::make_unique<MainWindow>(*settings);
        window->setModPrompts(prompts.prompts());
        window->show();
        return *window;
    }
    ModListPanel& panel() { return *window->findChild<ModListPanel*>(); }
    QStringList rowTitles() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList titles;
        for (QWidget* row : panel().findChildren<QWidget*>(QStringLiteral("modRow")))
            titles << row->findChild<QLabel*>(QStringLiteral("modTitle"))->text();
        return titles;
    }
    QString status() { return window->findChild<QLabel*>(QStringLiteral("statusLabel"))->text(); }
    QPushButton* button(const QString& text) {
        for (QPushButton* candidate : window->findChildren<QPushButton*>())
            if (candidate->text() == text)
                return candidate;
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }
    int launchesStarted() { return static_cast<int>(window->findChildren<QThread*>().size()); }
    void play() { ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "onPlayClicked")); }
    void import() { ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "onImportModsClicked")); }
    void finish(bool success) {
        ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "onFinished", Q_ARG(bool, success),
                                              Q_ARG(QString, QStringLiteral("Игра запущена"))));
    }

    void serveDifferences() {
        account.manifest = R"({"mods":[{"fileName":"needed.jar","url":")" +
                           account.server.url("/bytes/10") +
                           R"(","sizeBytes":1048575,"sha256":""}]})";
        writeJar("leftover.jar", "old");
    }

    bool signedIn = true;
    test::ScratchDir dir;
    AccountServer account;
    test::ModrinthFixture modrinth;
    test::PromptRecorder prompts;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<MainWindow> window;
};

const QString kQuestion =
    QStringLiteral("Моды изменились|Не хватает модов: 1 (0 МБ)\nЛишних модов: 1 — сервер их больше "
                   "не использует, из-за них может не пустить\n\nОткрыть управление модами?");

TEST_F(MainWindowModsTest, StartUpListsTheModsFolderAndASuccessfulLaunchRescansIt) {
    writeJar("first.jar", "1");
    openWindow();
    EXPECT_EQ(rowTitles(), QStringList{"first.jar"});
    EXPECT_EQ(panel().modsDir(), QString::fromStdString(modsDir().string()));

    writeJar("second.jar", "2");
    finish(false);
    EXPECT_EQ(rowTitles(), QStringList{"first.jar"}) << "a failed launch changed nothing";
    finish(true);
    EXPECT_EQ(rowTitles(), (QStringList{"first.jar", "second.jar"}));
}

TEST_F(MainWindowModsTest, PlayAsksAboutChangedModsAndLaunchesWhateverTheAnswer) {
    serveDifferences();
    openWindow();
    prompts.answers = {false};
    play();
    EXPECT_EQ(prompts.questions, QStringList{kQuestion});
    EXPECT_TRUE(prompts.dialogs.isEmpty()) << "No opens no mod manager";
    EXPECT_EQ(launchesStarted(), 1);
    EXPECT_FALSE(button("ИГРАТЬ")->isEnabled()) << "the launch holds the buttons";
}

TEST_F(MainWindowModsTest, AYesOpensTheManagerAndTheListFollowsWhatItDid) {
    serveDifferences();
    openWindow();
    EXPECT_EQ(rowTitles(), QStringList{"leftover.jar"});
    prompts.answers = {true};
    prompts.duringDialog = [this](QDialog& dialog) {
        EXPECT_EQ(dialog.parent(), window.get());
        std::filesystem::remove(modsDir() / "leftover.jar");
    };
    play();
    EXPECT_EQ(prompts.dialogs, QStringList{"qbk::ModManagerDialog"});
    EXPECT_TRUE(rowTitles().isEmpty());
    EXPECT_EQ(launchesStarted(), 1);
}

TEST_F(MainWindowModsTest, ASecondClickDuringTheWaitStartsNothing) {
    serveDifferences();
    account.delayMs = 1500;
    openWindow();
    prompts.answers = {false, false};
    bool heldDuringWait = false;
    QTimer::singleShot(200, window.get(), [&] {
        heldDuringWait = !button("ИГРАТЬ")->isEnabled() &&
                         !button("Проверить лаунчер")->isEnabled() &&
                         !button("У меня есть zip с модами")->isEnabled();
        play(); // as a click that got through
    });
    play();
    EXPECT_TRUE(heldDuringWait);
    EXPECT_EQ(account.manifestRequests.load(), 1);
    EXPECT_EQ(prompts.questions.size(), 1);
    EXPECT_EQ(launchesStarted(), 1);
}

TEST_F(MainWindowModsTest, ClosingTheWindowDuringTheWaitEndsItAndStartsNoLaunch) {
    serveDifferences();
    account.delayMs = 4000; // answers with differences, unless the wait ends first
    openWindow();
    prompts.answers = {true};
    QTimer::singleShot(200, window.get(), [this] { window->close(); });
    play();
    EXPECT_TRUE(prompts.questions.isEmpty()) << "the wait went on after the window closed";
    EXPECT_EQ(launchesStarted(), 0);
    EXPECT_FALSE(window->isVisible());
}

class SignedOutModsTest : public MainWindowModsTest {
protected:
    SignedOutModsTest() { signedIn = false; }
};

TEST_F(SignedOutModsTest, TheCheckReportsInTheStatusAndASignedOutPlayerGetsNoLaunch) {
    account.status = 503;
    openWindow();
    play();
    EXPECT_EQ(status(), QStringLiteral("Список модов сервера недоступен"));
    EXPECT_EQ(launchesStarted(), 0);
    EXPECT_TRUE(button("Проверить лаунчер")->isEnabled());
    EXPECT_FALSE(button("ИГРАТЬ")->isEnabled());

    account.status = 200;
    play();
    EXPECT_EQ(status(), QStringLiteral("Готово к запуску"));
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(MainWindowModsTest, ImportInstallsNestedJarsFlatAndRescans) {
    openWindow();
    const auto archive = dir / "личные моды.zip";
    ASSERT_TRUE(test::ArchiveBuilder(RuntimeArchiveFormat::Zip)
                    .file("mods/a.jar", "a")
                    .file("deep/er/b.jar", "b")
                    .file("__MACOSX/mods/._a.jar", "fork")
                    .file("readme.txt", "text")
                    .write(archive));
    prompts.dialogResult = QDialog::Accepted;
    prompts.archive = QString::fromStdString(archive.string());
    import();
    EXPECT_EQ(prompts.dialogs, QStringList{"ZipWarningDialog"});
    EXPECT_EQ(status(), QStringLiteral("Установлено модов: 2"));
    EXPECT_TRUE(present("a.jar") && present("b.jar"));
    EXPECT_FALSE(present("._a.jar"));
    EXPECT_EQ(rowTitles(), (QStringList{"a.jar", "b.jar"}));
    EXPECT_TRUE(button("У меня есть zip с модами")->isEnabled());
    EXPECT_TRUE(button("ИГРАТЬ")->isEnabled());
}

TEST_F(MainWindowModsTest, ImportOfForksOnlyOrOfANonZipWritesNothing) {
    openWindow();
    const auto forks = dir / "forks.zip";
    ASSERT_TRUE(test::ArchiveBuilder(RuntimeArchiveFormat::Zip)
                    .file("._a.jar", "fork")
                    .file("mods/._b.jar", "fork")
                    .file("notes.txt", "text")
                    .write(forks));
    const auto notZip = dir / "mods.rar";
    std::ofstream(notZip, std::ios::binary) << "Rar!\x1a\x07 not a zip at all";
    prompts.dialogResult = QDialog::Accepted;

    prompts.archive = QString::fromStdString(forks.string());
    import();
    EXPECT_EQ(status(), QStringLiteral("В архиве не нашлось ни одного .jar файла."));
    prompts.archive = QString::fromStdString(notZip.string());
    import();
    EXPECT_EQ(status(), QStringLiteral("Не удалось открыть архив. Нужен .zip (не .7z и не .rar)."));
    EXPECT_TRUE(std::filesystem::is_empty(modsDir()));
    EXPECT_TRUE(button("У меня есть zip с модами")->isEnabled());
    EXPECT_TRUE(button("ИГРАТЬ")->isEnabled());
}

TEST_F(MainWindowModsTest, CancellingTheWarningOrTheChooserChangesNothing) {
    openWindow();
    const QString before = status();
    prompts.dialogResult = QDialog::Rejected;
    prompts.archive = QStringLiteral("/nonexistent.zip");
    import();
    EXPECT_EQ(status(), before);
    prompts.dialogResult = QDialog::Accepted;
    prompts.archive.clear();
    import();
    EXPECT_EQ(status(), before);
    EXPECT_EQ(prompts.dialogs.size(), 2);
}

TEST(ZipWarningDialogTest, ChooseFollowsTheCheckBoxAndCancelRejects) {
    ZipWarningDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Личные моды"));
    auto* choose = dialog.findChild<QPushButton*>(QStringLiteral("chooseButton"));
    auto* understand = dialog.findChild<QCheckBox*>(QStringLiteral("understandBox"));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"));
    ASSERT_TRUE(choose && understand && cancel);
    EXPECT_FALSE(choose->isEnabled());
    understand->setChecked(true);
    EXPECT_TRUE(choose->isEnabled());
    understand->setChecked(false);
    EXPECT_FALSE(choose->isEnabled());

    understand->setChecked(true);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    choose->click();
    EXPECT_EQ(accepted.count(), 1);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    cancel->click();
    EXPECT_EQ(rejected.count(), 1);
}

TEST_F(MainWindowModsTest, GearOpensTheSettingsAndTheBuildLineShowsWhatWasSaved) {
    openWindow();
    prompts.duringDialog = [](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Настройки"));
        dialog.findChild<QSpinBox*>()->setValue(6144);
        for (QPushButton* candidate : dialog.findChildren<QPushButton*>())
            if (candidate->text() == QStringLiteral("Сохранить"))
                candidate->click();
    };
    window->findChild<QPushButton*>(QStringLiteral("gearButton"))->click();
    EXPECT_EQ(prompts.dialogs.size(), 1);
    EXPECT_EQ(settings->maxRamMb(), 6144);
    EXPECT_EQ(window->findChildren<QLabel*>(QStringLiteral("hintLabel")).last()->text(),
              QStringLiteral("Minecraft 1.21.1  ·  NeoForge 21.1.230\nПамять: 6144 МБ"));
}

TEST_F(MainWindowModsTest, CheckComparesTheModsFirstThenRunsTheSelfCheck) {
    serveDifferences();
    openWindow();
    QStringList titles;
    prompts.duringDialog = [&titles](QDialog& dialog) {
        titles << dialog.windowTitle();
    };
    button(QStringLiteral("Проверить лаунчер"))->click();
    // The question about the changed mods came first (answered No), then the check window.
    EXPECT_EQ(prompts.questions, QStringList{kQuestion});
    EXPECT_EQ(titles, QStringList{QStringLiteral("Проверка лаунчера")});
    EXPECT_EQ(account.manifestRequests.load(), 1);
}

} // namespace
} // namespace qbk
