// The INI store: memory bounded by the machine, values across a restart, endpoint overrides,
// reads beside writes; the session's file is its owner's only and forgetting wipes it at once.
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
using test::readWholeFile;
constexpr auto npos = std::string::npos;
constexpr fs::perms kOwnerOnly = fs::perms::owner_read | fs::perms::owner_write;

Settings::MemoryProbe machineWith(std::optional<std::uint64_t> mb) {
    return [mb] {
        return mb ? std::optional(*mb << 20) : std::nullopt;
    };
}
fs::perms modeOf(const fs::path& file) {
    return fs::status(file).permissions() & fs::perms::all;
}
void makeReadableByAll(const fs::path& file) {
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

TEST(SettingsTest, MemoryFollowsTheMachineAndIsClampedOnReadAndWrite) {
    struct Row {
        std::optional<std::uint64_t> machineMb;
        int inIni, set, allowed, max, min; // inIni, set: 0 for none
    } const rows[] = {
        {16384, 0, 0, 14336, 4096, 1024},          {4096, 8192, 0, 2048, 2048, 512},
        {3072, 8192, 0, 1024, 1024, 512},          {2048, 0, 0, 1024, 1024, 512},
        {std::nullopt, 8192, 0, 6144, 6144, 1536}, {32768, 0, 16384, 30720, 16384, 2048},
        {32768, 0, 3000, 30720, 3000, 750},        {16384, 0, 500, 14336, 1024, 512},
        {16384, 0, 100000, 14336, 14336, 2048},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
        test::TempDir dir{"qbk-settings"};
        const fs::path ini = dir / "Quellbrook.ini";
        if (row.inIni)
            test::writeWholeFile(ini, "[game]\nmaxRamMb=" + std::to_string(row.inIni));
        Settings settings(ini, machineWith(row.machineMb));
        if (row.set)
            settings.setMaxRamMb(row.set);
        settings.sync();
        EXPECT_EQ(std::tuple(settings.maxAllowedRamMb(), settings.maxRamMb(), settings.minRamMb()),
                  std::tuple(row.allowed, row.max, row.min));
        // The clamped value is what lands in the file.
        EXPECT_EQ(readWholeFile(ini).find("maxRamMb=" + std::to_string(row.max)) != npos,
                  row.set || row.inIni == row.max);
    }
}

TEST(SettingsTest, DefaultsThenChangesSurviveARestart) {
    test::TempDir dir{"qbk-настройки"};
    const fs::path ini = dir / "Quellbrook.ini";
    const auto values = [](const Settings& s) {
        return std::tuple(s.username(), s.rememberLogin(), s.rememberPassword(), s.closeOnLaunch());
    };
    {
        Settings settings(ini);
        EXPECT_EQ(values(settings), std::tuple(QString(), true, false, false));
        EXPECT_FALSE(fs::exists(ini)); // reading alone creates no file
        settings.setUsername("Игрок");
        settings.setCloseOnLaunch(true);
        settings.setRememberLogin(false);
        settings.setRememberPassword(true);
        settings.sync();
    }
    EXPECT_EQ(values(Settings(ini)), std::tuple(QString("Игрок"), false, true, true));
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

// From the first use (an older file readable by all, or none yet) through every rewrite.
TEST(SettingsTest, TheSessionsIniIsItsOwnersOnlyAndForgettingWipesTheSessionAtOnce) {
    test::TempDir dir{"qbk-ini-mode"};
    const fs::path old = dir / "old.ini", ini = dir / "Quellbrook.ini";
    test::writeWholeFile(old, "[session]\naccessToken=old-token\n");
    makeReadableByAll(old);
    EXPECT_EQ(Settings(old).accessToken(), "old-token");
    EXPECT_EQ(modeOf(old), kOwnerOnly);

    Settings settings(ini);
    settings.setRememberPassword(true);
    settings.saveSession("token-abc", "client-1", "uuid-1");
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
    EXPECT_EQ(Settings(ini).accessToken(), "token-abc");
    makeReadableByAll(ini);
    settings.saveSession("access-2", "client-2", "uuid-2");
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
    settings.setOpLevel(4);
    settings.setUsername("Игрок");
    settings.sync();
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
    EXPECT_EQ(settings.uuid(), "uuid-2");

    settings.setRememberPassword(false); // no sync: turning it off writes at once
    const std::string text = readWholeFile(ini);
    for (const char* secret : {"access-2", "client-2", "uuid-2", "opLevel"})
        EXPECT_EQ(text.find(secret), npos) << secret;
    EXPECT_NE(text.find("rememberPassword=false"), npos);
    EXPECT_EQ(settings.accessToken() + settings.uuid(), "");
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
