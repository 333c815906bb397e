// The INI store: memory bounded by the machine; the session's file is its owner's only and
// forgetting the password wipes the session at once.
#include "app/Settings.h"

#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <gtest/gtest.h>

namespace {
namespace fs = std::filesystem;
using namespace qbk;
using test::readWholeFile;
constexpr auto npos = std::string::npos;
constexpr fs::perms kOwnerOnly = fs::perms::owner_read | fs::perms::owner_write,
                    kAllRead = fs::perms::group_read | fs::perms::others_read;

fs::perms modeOf(const fs::path& f) {
    return fs::status(f).permissions() & fs::perms::all;
}
void share(const fs::path& f) {
    fs::permissions(f, kAllRead, fs::perm_options::add);
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
    test::TempDir dir{"qbk-settings"};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
        const fs::path ini = dir / (std::to_string(&row - rows) + ".ini");
        if (row.inIni)
            test::writeWholeFile(ini, "[game]\nmaxRamMb=" + std::to_string(row.inIni));
        Settings settings(ini, [&row] {
            return row.machineMb ? std::optional(*row.machineMb << 20) : std::nullopt;
        });
        if (row.set)
            settings.setMaxRamMb(row.set);
        settings.sync();
        EXPECT_EQ(std::tuple(settings.maxAllowedRamMb(), settings.maxRamMb(), settings.minRamMb()),
                  std::tuple(row.allowed, row.max, row.min));
        // The clamped value is what lands in the file; reading alone writes nothing.
        EXPECT_EQ(readWholeFile(ini).find("maxRamMb=" + std::to_string(row.max)) != npos,
                  row.set || row.inIni == row.max);
    }
}

// From the first use (an older file readable by all, or none yet) through every rewrite.
TEST(SettingsTest, TheSessionsIniIsItsOwnersOnlyAndForgettingWipesTheSessionAtOnce) {
    test::TempDir dir{"qbk-ini-mode"};
    const fs::path old = dir / "old.ini", ini = dir / "Quellbrook.ini";
    test::writeWholeFile(old, "[session]\naccessToken=old-token\n");
    share(old);
    EXPECT_EQ(Settings(old).accessToken(), "old-token");
    EXPECT_EQ(modeOf(old), kOwnerOnly);
    Settings settings(ini);
    settings.setRememberPassword(true);
    settings.saveSession("token-abc", "client-1", "uuid-1");
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
    EXPECT_EQ(Settings(ini).accessToken() + Settings(ini).uuid(), "token-abcuuid-1");
    share(ini);
    settings.saveSession("access-2", "client-2", "uuid-2");
    settings.setOpLevel(4);
    settings.setUsername("Игрок");
    settings.sync();
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
    settings.setRememberPassword(false); // no sync: turning it off writes at once
    EXPECT_EQ(settings.accessToken() + settings.uuid(), "");
    const std::string text = readWholeFile(ini);
    for (const char* secret : {"access-2", "client-2", "uuid-2", "opLevel"})
        EXPECT_EQ(text.find(secret), npos) << secret;
    EXPECT_NE(text.find("rememberPassword=false"), npos);
    EXPECT_EQ(Settings(ini).username(), "Игрок");
    // The session is remembered only with the name: a file saying otherwise loses it when
    // opened, and turning the name off (the settings dialog's save) loses it at once.
    for (const std::string login : {"false", "true"}) {
        test::writeWholeFile(ini, "[player]\nrememberLogin=" + login +
                                      "\nrememberPassword=true\n[session]\naccessToken=tok-9\n");
        Settings edited(ini);
        if (login == "true")
            edited.setRememberLogin(false);
        EXPECT_FALSE(edited.rememberPassword()) << login;
        EXPECT_EQ(readWholeFile(ini).find("tok-9"), npos) << login; // no sync needed
    }
}
} // namespace
