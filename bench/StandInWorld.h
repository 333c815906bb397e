#pragma once

#include "app/Endpoints.h"
#include "tests/accounts/AccountTestServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qbk::test {

// The outside world of a launch on 127.0.0.1: a scaled mirror of the game, runtime (carrying
// the stand-in java), NeoForge maven, agent and the server's mods, served in process, and the
// stand-in account server with a seeded account and a mod manifest of those mods.
class StandInWorld {
public:
    struct Mod {
        std::string fileName;
        std::string bytes;
    };
    struct SignIn {
        std::string uuid;
        std::string accessToken;
    };

    static constexpr const char* kPlayer = "demo";
    static constexpr const char* kPassword = "demo1234";
    static constexpr const char* kGameServer = "127.0.0.1";

    StandInWorld();

    bool isReady() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    std::string mirrorBase() const { return mirror_.url("/m"); }
    std::string accountBase() const;
    // Every outside host of the launcher pointed into this world.
    Endpoints endpoints() const;
    // Quellbrook.ini in launcherDir with every endpoints key and auth/baseUrl.
    void writeIni(const std::filesystem::path& launcherDir, const Endpoints& endpoints) const;
    bool signIn(SignIn& session) const;

    const std::vector<Mod>& mods() const { return mods_; }
    TestHttpServer& mirror() { return mirror_; }

private:
    bool buildMirror();
    bool writeMods();
    bool startAccountServer();

    TestHttpServer mirror_;
    TempDir state_{"qbk-world"};
    std::filesystem::path root_;
    std::vector<Mod> mods_;
    std::unique_ptr<AccountTestServer> accounts_;
    std::string error_;
};

} // namespace qbk::test
