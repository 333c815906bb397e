#pragma once

#include "AccountServerProcess.h"
#include "app/Settings.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace qbk::test {

inline constexpr int kServerWaitMs = 20000;

// The seeded accounts of the stand-in server that the widget suites sign in with.
inline const QStringList kSeededAccounts{"--seed-account",      "oper:operpass:3",
                                         "--seed-account",      "viewer:viewpass:1",
                                         "--seed-account",      "player:playpass",
                                         "--seed-account",      "villain:villainpass",
                                         "--seed-ban",          "villain:0:Читы",
                                         "--max-failed-logins", "3",
                                         "--difficulty",        "8"};

// A settings store on a temporary INI whose account server is the stand-in on loopback.
class ServerBackedSettings {
public:
    explicit ServerBackedSettings(const QStringList& serverArguments = kSeededAccounts);

    bool ready() const { return server.isListening(); }
    Settings& settings() { return *settings_; }
    std::filesystem::path iniFile() const { return dir / "Quellbrook.ini"; }
    // Reads a key straight from the file on disk, not through the store.
    QVariant onDisk(const QString& key) const;
    // A store on the same file, as a restarted launcher would open it.
    std::unique_ptr<Settings> reopen() const;

    AccountServerProcess server;
    TempDir dir{"qbk-account-ui"};

private:
    std::unique_ptr<Settings> settings_;
};

// Runs handle on the first modal dialog of type T that opens within the wait; the dialog's
// exec() is still running then, so handle may wait, read and click before ending it.
template <typename T>
void whenModalOpens(std::function<void(T&)> handle, int waitMs = kServerWaitMs) {
    auto* poll = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(poll, &QTimer::timeout, [poll, started, handle, waitMs] {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog && started->elapsed() < waitMs)
            return;
        poll->stop();
        poll->deleteLater();
        if (dialog)
            handle(*dialog);
    });
    poll->start(10);
}

QLineEdit* fieldWithPlaceholder(QWidget& root, const QString& placeholder);
QPushButton* buttonWithText(QWidget& root, const QString& text);
void typeInto(QWidget& root, const QString& placeholder, const QString& text);
// Types text of any script into the widget, one key event per character.
void typeText(QWidget* widget, const QString& text);
void click(QWidget& root, const QString& buttonText);

} // namespace qbk::test
