#pragma once

#include "AccountServerProcess.h"
#include "app/Settings.h"
#include "tests/support/TempDir.h"

#include <QVariant>
#include <memory>

namespace qbk {
class SessionStore;
}

namespace qbk::test {

inline constexpr int kServerWaitMs = 20000;

// The seeded accounts of the stand-in server that most account suites sign in with.
inline const QStringList kSeededAccounts{"--seed-account",      "oper:operpass:3",
                                         "--seed-account",      "viewer:viewpass:1",
                                         "--seed-account",      "player:playpass",
                                         "--seed-account",      "villain:villainpass",
                                         "--seed-ban",          "villain:0:Читы",
                                         "--max-failed-logins", "3",
                                         "--difficulty",        "8"};

// A settings store on a temporary INI whose account server is the given base URL, by default
// the stand-in server on loopback started with serverArguments.
class ServerBackedSettings {
public:
    explicit ServerBackedSettings(const QStringList& serverArguments = kSeededAccounts);

    bool ready() const { return server.isListening(); }
    Settings& settings() { return *settings_; }
    // Points the store (a new one) at another server.
    void useServer(const QString& baseUrl);
    // Reads a key straight from the file on disk, not through the store.
    QVariant onDisk(const QString& key) const;
    // A store on the same file, as a restarted launcher would open it.
    std::unique_ptr<Settings> reopen() const;
    // Signs in through the account client into store; false when no session came.
    bool signIn(SessionStore& store, const QString& username, const QString& password);

    AccountServerProcess server;
    TempDir dir{"qbk-accounts"};
    const std::filesystem::path ini = dir / "Quellbrook.ini";

private:
    std::unique_ptr<Settings> settings_;
};

} // namespace qbk::test
