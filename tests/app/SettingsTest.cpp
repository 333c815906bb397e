#include "app/Settings.h"

#include "app/LauncherDir.h"
#include "app/ProjectInfo.h"
#include "platform/Platform.h"

#include <QSettings>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;
using qbk::Settings;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

Settings::MemoryProbe machineWith(std::uint64_t megabytes) {
    return [megabytes] {
        return std::optional<std::uint64_t>(megabytes * kMiB);
    };
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              qbk::platform::pathFromUtf8(
                  std::string("qbk-настройки-") +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        ini = dir / "Quellbrook.ini";
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string fileText() const {
        std::ifstream in(ini, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void writeIni(const std::string& text) const { std::ofstream(ini, std::ios::binary) << text; }
    QVariant storedValue(const char* key) const {
        QSettings raw(QString::fromStdString(qbk::platform::pathToUtf8(ini)), QSettings::IniFormat);
        return raw.value(key);
    }

    fs::path dir;
    fs::path ini;
};

} // namespace

TEST_F(SettingsTest, DefaultsWithoutAnIniFile) {
    Settings settings(ini, machineWith(16384));
    EXPECT_EQ(settings.username(), "");
    EXPECT_TRUE(settings.rememberLogin());
    EXPECT_FALSE(settings.rememberPassword());
    EXPECT_FALSE(settings.closeOnLaunch());
    EXPECT_EQ(settings.maxRamMb(), 4096);
    EXPECT_EQ(settings.minRamMb(), 1024);
    EXPECT_EQ(settings.accessToken(), "");
    EXPECT_FALSE(fs::exists(ini)); // reading alone creates no file
}

TEST_F(SettingsTest, MemoryLimitsFollowTheMachine) {
    writeIni("[game]\nmaxRamMb=8192\n");
    Settings small(ini, machineWith(4096));
    EXPECT_EQ(small.maxAllowedRamMb(), 2048);
    EXPECT_EQ(small.maxRamMb(), 2048);
    EXPECT_EQ(small.minRamMb(), 512);

    Settings tiny(ini, machineWith(3072));
    EXPECT_EQ(tiny.maxAllowedRamMb(), 1024);
    EXPECT_EQ(tiny.maxRamMb(), 1024);

    Settings unknown(ini, [] { return std::optional<std::uint64_t>(); });
    EXPECT_EQ(unknown.totalRamMb(), 8192);
    EXPECT_EQ(unknown.maxAllowedRamMb(), 6144);
    EXPECT_EQ(unknown.maxRamMb(), 6144);
}

TEST_F(SettingsTest, StoredMaximumIsClampedOnWrite) {
    Settings settings(ini, machineWith(16384));
    settings.setMaxRamMb(500);
    settings.sync();
    EXPECT_EQ(storedValue("game/maxRamMb").toInt(), 1024);
    settings.setMaxRamMb(100000);
    settings.sync();
    EXPECT_EQ(storedValue("game/maxRamMb").toInt(), 14336);
}

TEST_F(SettingsTest, InitialMemoryIsAQuarterWithinBounds) {
    Settings big(ini, machineWith(32768));
    big.setMaxRamMb(16384);
    EXPECT_EQ(big.minRamMb(), 2048);
    big.setMaxRamMb(3000);
    EXPECT_EQ(big.minRamMb(), 750);
}

TEST_F(SettingsTest, SessionIsWrittenAtOnceAndClearedWithRememberPassword) {
    Settings settings(ini, machineWith(16384));
    settings.setRememberPassword(true);
    settings.setOpLevel(4);
    settings.saveSession("access-1", "client-1", "uuid-1");
    EXPECT_NE(fileText().find("accessToken=access-1"), std::string::npos);
    EXPECT_EQ(settings.accessToken(), "access-1");
    EXPECT_EQ(settings.uuid(), "uuid-1");

    settings.setRememberPassword(false);
    const std::string text = fileText(); // no sync: turning it off writes at once
    EXPECT_EQ(text.find("access-1"), std::string::npos);
    EXPECT_EQ(text.find("client-1"), std::string::npos);
    EXPECT_EQ(text.find("uuid-1"), std::string::npos);
    EXPECT_EQ(text.find("opLevel"), std::string::npos);
    EXPECT_NE(text.find("rememberPassword=false"), std::string::npos);
}

TEST_F(SettingsTest, ChangesAreSeenByLaterReadsAndSurviveARestart) {
    {
        Settings settings(ini, machineWith(16384));
        settings.setUsername(QString::fromUtf8("Игрок"));
        settings.setCloseOnLaunch(true);
        settings.setRememberLogin(false);
        EXPECT_EQ(settings.username(), QString::fromUtf8("Игрок"));
        settings.sync();
    }
    Settings again(ini, machineWith(16384));
    EXPECT_EQ(again.username(), QString::fromUtf8("Игрок"));
    EXPECT_TRUE(again.closeOnLaunch());
    EXPECT_FALSE(again.rememberLogin());
}

TEST_F(SettingsTest, EndpointsHaveDefaultsAndNormalisedOverrides) {
    const auto defaults = Settings(ini, machineWith(8192)).endpoints();
    EXPECT_EQ(defaults.mojangMeta, "https://piston-meta.mojang.com");
    EXPECT_EQ(defaults.adoptium, "https://api.adoptium.net");
    EXPECT_EQ(defaults.accountServer, qbk::project::defaultAccountServer());
    EXPECT_EQ(defaults.accountServer.substr(0, 8), "https://");
    EXPECT_NE(defaults.accountServer.find(":8448"), std::string::npos);
    EXPECT_TRUE(defaults.caBundle.empty());

    writeIni("[endpoints]\nmojangMeta=\"  http://127.0.0.1:8080///  \"\nmodrinthApi=\"   \"\n"
             "gameServer=127.0.0.1\n[auth]\nbaseUrl=http://127.0.0.1:9000/\n");
    const auto e = Settings(ini, machineWith(8192)).endpoints();
    EXPECT_EQ(e.mojangMeta, "http://127.0.0.1:8080");
    EXPECT_EQ(e.modrinthApi, "https://api.modrinth.com"); // blank keeps the default
    EXPECT_EQ(e.gameServer, "127.0.0.1");
    EXPECT_EQ(e.accountServer, "http://127.0.0.1:9000");
}

TEST_F(SettingsTest, WorkerReadsWhileTheUiWrites) {
    Settings settings(ini, machineWith(16384));
    std::atomic<bool> stop{false};
    std::atomic<int> badReads{0};
    std::thread reader([&] {
        while (!stop) {
            const int max = settings.maxRamMb();
            if (max != 2048 && max != 4096 && max != 8192)
                ++badReads;
            const QString token = settings.accessToken();
            if (!token.isEmpty() && !token.startsWith("token-"))
                ++badReads;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        settings.setMaxRamMb(i % 2 ? 2048 : 8192);
        if (i % 100 == 0)
            settings.saveSession(QString("token-%1").arg(i), "c", "u");
    }
    stop = true;
    reader.join();
    EXPECT_EQ(badReads, 0);
}

TEST(LauncherDir, CutsAtTheLastSeparatorOfEitherKind) {
    using qbk::directoryOfExecutable;
    EXPECT_EQ(directoryOfExecutable("C:/Games/Quellbrook/launcher.exe"),
              fs::path("C:/Games/Quellbrook"));
    EXPECT_EQ(directoryOfExecutable("C:\\Games\\Quellbrook\\launcher.exe"),
              fs::path("C:\\Games\\Quellbrook"));
    EXPECT_EQ(directoryOfExecutable("C:\\Games/Quellbrook\\launcher.exe"),
              fs::path("C:\\Games/Quellbrook"));
    EXPECT_EQ(directoryOfExecutable("launcher.exe"), fs::path("launcher.exe"));
}

TEST(LauncherDir, IsTheFolderOfTheRunningProgram) {
    const fs::path dir = qbk::LauncherDir();
    EXPECT_TRUE(fs::exists(dir / "settings_test"));
    EXPECT_NE(dir.native().back(), '/');
}
