// Passwords, recovery codes and tokens go to the account server and to the signals meant to
// carry them, never into a text the launcher shows or writes: every busy and failure text,
// every Qt message and line on the standard streams and the INI are searched for them.

#include "AccountServerProcess.h"
#include "accounts/AuthClient.h"
#include "app/Settings.h"
#include "tests/support/TempDir.h"

#include <QSettings>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>

namespace qbk {
namespace {

namespace fs = std::filesystem;

std::mutex gMessagesMutex;
std::string gMessages;

void keepMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    std::lock_guard lock(gMessagesMutex);
    gMessages += text.toStdString() + "\n";
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Standard streams and Qt's message handler caught for the life of the object.
class CaughtOutput {
public:
    CaughtOutput()
        : out_(std::cout.rdbuf(outText_.rdbuf())), err_(std::cerr.rdbuf(errText_.rdbuf())),
          previous_(qInstallMessageHandler(keepMessage)) {}
    ~CaughtOutput() {
        std::cout.rdbuf(out_);
        std::cerr.rdbuf(err_);
        qInstallMessageHandler(previous_);
    }
    std::string text() const {
        std::lock_guard lock(gMessagesMutex);
        return outText_.str() + errText_.str() + gMessages;
    }

private:
    std::ostringstream outText_;
    std::ostringstream errText_;
    std::streambuf* out_;
    std::streambuf* err_;
    QtMessageHandler previous_;
};

TEST(AccountSecrets, NoShownOrWrittenTextCarriesAPasswordACodeOrAToken) {
    test::AccountServerProcess server({"--difficulty", "4", "--max-failed-logins", "2"});
    ASSERT_TRUE(server.isListening());
    test::TempDir dir{"qbk-account-secrets"};
    const fs::path ini = dir / "Quellbrook.ini";
    {
        QSettings file(QString::fromStdString(ini.string()), QSettings::IniFormat);
        file.setValue("auth/baseUrl", server.baseUrl());
    }
    Settings settings(ini);
    AuthClient client(settings, nullptr);

    QStringList shown; // what the panel would put on screen
    QStringList secrets{"first-pass-Ä1", "wrong-pass-Ö2", "new-pass-Ü3", "QUELL-AAAA-BBBB-CCCC"};
    bool ended = false;
    QObject::connect(&client, &AuthClient::busy, [&](const QString& t) { shown << t; });
    QObject::connect(&client, &AuthClient::registered, [&](const QString& t) { shown << t; });
    QObject::connect(&client, &AuthClient::failed, [&](const QString& t) {
        shown << t;
        ended = true;
    });
    QObject::connect(&client, &AuthClient::lockedOut, [&](const QString& t) {
        shown << t;
        ended = true;
    });
    bool passwordChanged = false;
    QObject::connect(&client, &AuthClient::recovered, [&](const QString&, bool changed) {
        passwordChanged = changed;
        ended = true;
    });
    QObject::connect(&client, &AuthClient::recoveryCodeIssued,
                     [&](const QString& code) { secrets << code; });
    QObject::connect(
        &client, &AuthClient::loggedIn,
        [&](const QString&, const QString&, const QString& access, const QString& clientToken) {
            secrets << access << clientToken;
            ended = true;
        });
    const auto wait = [&] {
        const bool done = QTest::qWaitFor([&] { return ended; }, 20000);
        ended = false;
        return done;
    };

    CaughtOutput output;
    client.registerAccount("Secret_Player", secrets[0]);
    ASSERT_TRUE(wait());
    ASSERT_GE(secrets.size(), 7) << shown.join(" | ").toStdString(); // a code and both tokens
    client.login("Secret_Player", secrets[1]);
    ASSERT_TRUE(wait());
    client.recover("Secret_Player", secrets[3], secrets[2]); // a code that was never issued
    ASSERT_TRUE(wait());
    client.recover("Secret_Player", secrets[4], secrets[2]);
    ASSERT_TRUE(wait());
    client.login("Secret_Player", secrets[2]);
    ASSERT_TRUE(wait());
    settings.sync();

    // Each step did what it should, so every kind of text was produced.
    EXPECT_TRUE(shown.contains("Неверный никнейм или пароль.")) << shown.join(" | ").toStdString();
    EXPECT_TRUE(passwordChanged);
    EXPECT_EQ(secrets.size(), 10); // two codes and two pairs of tokens
    const std::string written = output.text() + readFile(ini);
    for (const QString& secret : secrets) {
        for (const QString& text : shown)
            EXPECT_FALSE(text.contains(secret, Qt::CaseInsensitive)) << text.toStdString();
        EXPECT_EQ(written.find(secret.toStdString()), std::string::npos) << secret.toStdString();
    }
}

} // namespace
} // namespace qbk
