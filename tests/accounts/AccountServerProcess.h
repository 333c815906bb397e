#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace qbk::test {

// The stand-in account server as a child process on 127.0.0.1 at a port it picks, with an
// in-memory database and cheap password hashing; stopped by its pid with SIGTERM.
class AccountServerProcess {
public:
    explicit AccountServerProcess(const QStringList& extraArguments = {});
    ~AccountServerProcess();
    AccountServerProcess(const AccountServerProcess&) = delete;
    AccountServerProcess& operator=(const AccountServerProcess&) = delete;

    bool isListening() const { return port_ > 0; }
    int port() const { return port_; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }

    // Sends SIGTERM and waits; the exit code, or -1 when it crashed or did not stop.
    int stop();

    static QString executable();

private:
    QProcess process_;
    int port_ = 0;
};

} // namespace qbk::test
