#pragma once

#include "accounts/Session.h"

#include <QObject>

namespace qbk {

class Settings;

// The signed-in session of this run. The launch, the session check and the admin dialog read
// it here, whether or not it was also remembered in the settings file.
class SessionStore : public QObject {
    Q_OBJECT
public:
    explicit SessionStore(QObject* parent = nullptr);

    const Session& current() const { return session_; }
    bool isSignedIn() const { return session_.isValid(); }
    // Changes with every sign-in and sign-out, so an answer requested for an earlier
    // session can tell that it is stale.
    quint64 generation() const { return generation_; }

    void begin(const Session& session);
    void end();
    void setOpLevel(int level);
    void setBan(const std::optional<Session::Ban>& ban);

    // Keeps the tokens in the settings file (only when the player asked to be remembered).
    void saveTo(Settings& settings) const;
    // The remembered session, when the file holds a user name and an access token.
    static std::optional<Session> restoreFrom(const Settings& settings);

signals:
    void changed();

private:
    Session session_;
    quint64 generation_ = 0;
};

} // namespace qbk
