#pragma once

#include "accounts/Session.h"

#include <QObject>
#include <QString>
#include <chrono>

class QNetworkAccessManager;

namespace qbk {

class SessionStore;
class Settings;

// Asks "/api/session" what the server knows about the signed-in account and brings the
// session store up to date. An answer that arrives after a sign-out or another sign-in is
// dropped, so it can never show the admin button or a ban for the wrong account.
class SessionCheck : public QObject {
    Q_OBJECT
public:
    SessionCheck(SessionStore& store, Settings& settings, QObject* parent = nullptr);

    // Sends the request with the in-memory access token; false (and nothing sent) when no
    // one is signed in.
    bool start();

    void setTransferTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

signals:
    // The answer was applied: the operator level is stored, and a ban, when the answer has
    // one, is now the session's (an answer without one leaves an earlier ban in place).
    void checked(const qbk::Session& session);
    // A network failure, an HTTP error or a refused token, for the current session.
    void failed(QString message);

private:
    SessionStore& store_;
    Settings& settings_;
    QNetworkAccessManager* network_;
    std::chrono::milliseconds timeout_;
};

} // namespace qbk
