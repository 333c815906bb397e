#include "app/Settings.h"

#include "app/LauncherDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace qbk;

Settings::MemoryProbe machineWith(std::optional<std::uint64_t> mb) {
    return [mb] {
        return mb ? std::optional(*mb << 20) : std::nullopt;
    };
}

TEST(SettingsTest, MemoryFollowsTheMachineAndIsClampedOnReadAndWrite) {
    struct Row {
        std::optional<std::uint64_t> machineMb;
        int inIni, set; // 0: none
        int allowed, max, min;
    };
    const Row rows[] = {
        {16384, 0, 0, 14336, 4096, 1024},          {4096, 8192, 0, 2048, 2048, 512},
        {3072, 8192, 0, 1024, 1024, 512},          {2048, 0, 0, 1024, 1024, 512},
        {std::nullopt, 8192, 0, 6144, 6144, 1536}, {32768, 0, 16384, 30720, 16384, 2048},
        {32768, 0, 3000, 30720, 3000, 750},        {16384, 0, 500, 14336, 1024, 512},
        {16384, 0, 100000, 14336, 14336, 2048},
    };
    for (const Row& row : rows) {
        test::TempDir dir{"qbk-settings"};
        const fs::path ini = dir / "Quellbrook.ini";
        if (row.inIni)
            test::writeWholeFile(ini, "[game]\nmaxRamMb=" + std::to_string(row.inIni));
        Settings settings(ini, machineWith(row.machineMb));
        if (row.set)
            settings.setMaxRamMb(row.set);
        settings.sync();
        SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
        EXPECT_EQ(settings.maxAllowedRamMb(), row.allowed);
        EXPECT_EQ(settings.maxRamMb(), row.max);
        EXPECT_EQ(settings.minRamMb(), row.min);
        if (row.set) { // the clamped value is what lands in the file
            EXPECT_NE(test::readWholeFile(ini).find("maxRamMb=" + std::to_string(row.max)),
                      std::string::npos);
        }
    }
}

TEST(SettingsTest, DefaultsThenChangesSurviveARestart) {
    test::TempDir dir{"qbk-настройки"};
    const fs::path ini = dir / "Quellbrook.ini";
    {
        Settings settings(ini, machineWith(16384));
        EXPECT_EQ(settings.username(), "");
        EXPECT_TRUE(settings.rememberLogin());
        EXPECT_FALSE(settings.rememberPassword());
        EXPECT_FALSE(settings.closeOnLaunch());
        EXPECT_FALSE(fs::exists(ini)); // reading alone creates no file
        settings.setUsername("Игрок");
        settings.setCloseOnLaunch(true);
        settings.setRememberLogin(false);
        settings.setRememberPassword(true);
        EXPECT_EQ(settings.username(), "Игрок");
        settings.sync();
    }
    Settings again(ini, machineWith(16384));
    EXPECT_EQ(again.username(), "Игрок");
    EXPECT_TRUE(again.closeOnLaunch());
    EXPECT_FALSE(again.rememberLogin());
    EXPECT_TRUE(again.rememberPassword());
}

TEST(SettingsTest, EndpointOverridesAreTrimmedAndBlankOnesKeepTheDefault) {
    test::TempDir dir{"qbk-settings"};
    test::writeWholeFile(
        dir / "Quellbrook.ini",
        "[endpoints]\nmojangMeta=\"  http://127.0.0.1:8080///  \"\nmodrinthApi=\"   \"\n"
        "gameServer=\" 127.0.0.1 \"\n[auth]\nbaseUrl=http://127.0.0.1:9000/\n");
    const Endpoints e = Settings(dir / "Quellbrook.ini").endpoints(),
                    defaults = Endpoints::defaults();
    EXPECT_EQ(std::tie(e.mojangMeta, e.modrinthApi, e.gameServer, e.accountServer, e.adoptium),
              std::tie("http://127.0.0.1:8080", defaults.modrinthApi, "127.0.0.1",
                       "http://127.0.0.1:9000", defaults.adoptium));
}

// The launch worker reads while the window writes: every read sees a whole written value.
TEST(SettingsTest, WorkerReadsWhileTheUiWrites) {
    test::TempDir dir{"qbk-settings"};
    Settings settings(dir / "Quellbrook.ini", machineWith(16384));
    settings.saveSession("token-first", "c", "u");
    std::atomic<bool> stop{false};
    std::atomic<int> badReads{0};
    std::thread reader([&] {
        for (int max = 0; !stop; max = settings.maxRamMb())
            badReads += (max != 0 && max != 2048 && max != 4096 && max != 8192) ||
                        !settings.accessToken().startsWith("token-");
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

TEST(SettingsTest, LauncherDirIsTheFolderOfTheRunningProgram) {
    for (const auto& [exe, folder] : {std::pair{"C:/Games/Q/launcher.exe", "C:/Games/Q"},
                                      {"C:\\Games\\Q\\launcher.exe", "C:\\Games\\Q"},
                                      {"C:\\Games/Q\\launcher.exe", "C:\\Games/Q"},
                                      {"launcher.exe", "launcher.exe"}})
        EXPECT_EQ(directoryOfExecutable(exe), fs::path(folder)) << exe;
    EXPECT_TRUE(fs::exists(LauncherDir() / "app_settings_test"));
}

} // namespace
