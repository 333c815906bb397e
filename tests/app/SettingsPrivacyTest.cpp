// The INI that remembers a session holds the access token: only its owner may read it.

#include "app/Settings.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace qbk {
namespace {

namespace fs = std::filesystem;

fs::perms modeOf(const fs::path& file) {
    return fs::status(file).permissions() & fs::perms::all;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr fs::perms kOwnerOnly = fs::perms::owner_read | fs::perms::owner_write;

TEST(SettingsPrivacy, RememberedSessionLeavesTheIniReadableByItsOwnerOnly) {
    test::TempDir dir{"qbk-ini-mode"};
    const fs::path ini = dir / "Лаунчер" / "Quellbrook.ini";
    fs::create_directories(ini.parent_path());
    {
        Settings settings(ini);
        settings.setRememberLogin(true);
        settings.sync();
        ASSERT_TRUE(fs::exists(ini));
        fs::permissions(ini, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);

        settings.saveSession("token-abc", "client-1", "uuid-1");
        EXPECT_EQ(modeOf(ini), kOwnerOnly);
        EXPECT_NE(readFile(ini).find("token-abc"), std::string::npos);

        // Later rewrites of the file keep the mode.
        settings.setUsername("Игрок");
        settings.setMaxRamMb(2048);
        settings.sync();
        EXPECT_EQ(modeOf(ini), kOwnerOnly);
        settings.clearSession();
        settings.saveSession("token-def", "client-2", "uuid-2");
        EXPECT_EQ(modeOf(ini), kOwnerOnly);
    }
}

TEST(SettingsPrivacy, FirstWriteOfASessionCreatesTheFileOwnerOnly) {
    test::TempDir dir{"qbk-ini-mode"};
    const fs::path ini = dir / "Quellbrook.ini";
    Settings settings(ini);
    settings.saveSession("token-abc", "client-1", "uuid-1");
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
    EXPECT_EQ(Settings(ini).accessToken(), "token-abc");
}

TEST(SettingsPrivacy, AnOlderReadableIniIsClosedOnFirstUse) {
    test::TempDir dir{"qbk-ini-mode"};
    const fs::path ini = dir / "Quellbrook.ini";
    std::ofstream(ini) << "[session]\naccessToken=old-token\n";
    fs::permissions(ini, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    Settings settings(ini);
    EXPECT_EQ(settings.accessToken(), "old-token");
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
}

} // namespace
} // namespace qbk
