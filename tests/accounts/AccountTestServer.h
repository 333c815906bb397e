#pragma once

#include "app/Settings.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <QVariant>
#include <memory>

namespace qbk {
class SessionStore;
}

namespace qbk::test {

inline constexpr int kServerWaitMs = 20000;

// The seeded accounts most account suites sign in with (villain is banned for good).
inline const QStringList kSeededAccounts =
    QString("--seed-account oper:operpass:3 --seed-account viewer:viewpass:1 --seed-account "
            "player:playpass --seed-account villain:villainpass --seed-ban villain:0:Читы "
            "--difficulty 8 --max-failed-logins 3")
        .split(' ');

// The stand-in account server as a child process on 127.0.0.1 (in-memory database, cheap
// password hashing, stopped by its pid), and a settings store on a temporary INI pointed at it.
class AccountTestServer {
public:
    explicit AccountTestServer(const QStringList& arguments = kSeededAccounts);
    ~AccountTestServer(); // ended by its pid
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    Settings& settings() { return *settings_; }
    void useServer(const QString& url);        // a new store pointed at another server
    QVariant onDisk(const QString& key) const; // straight from the file, not through the store
    std::unique_ptr<Settings> reopen() const { return std::make_unique<Settings>(ini); }
    // Signs in through the account client into store; false when no session came.
    bool signIn(SessionStore& store, const QString& username, const QString& password);

    int port = 0;
    TempDir dir{"qbk-accounts"};
    const std::filesystem::path ini = dir / "Quellbrook.ini";

private:
    QProcess process_;
    std::unique_ptr<Settings> settings_;
};

} // namespace qbk::test
