// The INI that remembers a session holds the access token: only its owner may read it, and
// turning "remember" off takes every session key out of the file at once.

#include "app/Settings.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace qbk;

constexpr fs::perms kOwnerOnly = fs::perms::owner_read | fs::perms::owner_write;
constexpr fs::perms kReadable =
    fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read;

fs::perms modeOf(const fs::path& file) {
    return fs::status(file).permissions() & fs::perms::all;
}

TEST(SettingsPrivacyTest, RememberedSessionLeavesTheIniReadableByItsOwnerOnly) {
    test::TempDir dir{"qbk-ini-mode"};
    const fs::path ini = dir / "Лаунчер" / "Quellbrook.ini";
    fs::create_directories(ini.parent_path());
    Settings settings(ini);
    settings.setRememberLogin(true);
    settings.sync();
    fs::permissions(ini, kReadable);

    settings.saveSession("token-abc", "client-1", "uuid-1");
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
    EXPECT_NE(test::readWholeFile(ini).find("token-abc"), std::string::npos);
    // Later rewrites of the file keep the mode.
    settings.setUsername("Игрок");
    settings.sync();
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
    settings.clearSession();
    settings.saveSession("token-def", "client-2", "uuid-2");
    EXPECT_EQ(modeOf(ini), kOwnerOnly);
}

// A session written first into no file, and an older file readable by all, opened again.
TEST(SettingsPrivacyTest, ANewIniAndAnOlderReadableOneAreOwnerOnlyOnFirstUse) {
    test::TempDir dir{"qbk-ini-mode"};
    Settings(dir / "new.ini").saveSession("token-abc", "client-1", "uuid-1");
    EXPECT_EQ(modeOf(dir / "new.ini"), kOwnerOnly);
    EXPECT_EQ(Settings(dir / "new.ini").accessToken(), "token-abc");

    test::writeWholeFile(dir / "old.ini", "[session]\naccessToken=old-token\n");
    fs::permissions(dir / "old.ini", kReadable);
    EXPECT_EQ(Settings(dir / "old.ini").accessToken(), "old-token");
    EXPECT_EQ(modeOf(dir / "old.ini"), kOwnerOnly);
}

TEST(SettingsPrivacyTest, ForgettingThePasswordWipesTheSessionFromTheFileAtOnce) {
    test::TempDir dir{"qbk-ini-mode"};
    Settings settings(dir / "Quellbrook.ini");
    settings.setRememberPassword(true);
    settings.setOpLevel(4);
    settings.saveSession("access-1", "client-1", "uuid-1");
    EXPECT_EQ(settings.uuid(), "uuid-1");

    settings.setRememberPassword(false); // no sync: turning it off writes at once
    const std::string text = test::readWholeFile(dir / "Quellbrook.ini");
    for (const char* secret : {"access-1", "client-1", "uuid-1", "opLevel"})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret;
    EXPECT_NE(text.find("rememberPassword=false"), std::string::npos);
    EXPECT_EQ(settings.accessToken(), "");
}

} // namespace
