#include "accounts/SessionStore.h"

#include "app/Settings.h"

namespace qbk {

SessionStore::SessionStore(QObject* parent) : QObject(parent) {}

void SessionStore::begin(const Session& session) {
    session_ = session;
    ++generation_;
    emit changed();
}

void SessionStore::end() {
    session_ = Session{};
    ++generation_;
    emit changed();
}

void SessionStore::setOpLevel(int level) {
    if (session_.opLevel == level)
        return;
    session_.opLevel = level;
    emit changed();
}

void SessionStore::setBan(const std::optional<Session::Ban>& ban) {
    session_.ban = ban;
    emit changed();
}

void SessionStore::saveTo(Settings& settings) const {
    settings.saveSession(session_.accessToken, session_.clientToken, session_.uuid);
    settings.setOpLevel(session_.opLevel);
}

std::optional<Session> SessionStore::restoreFrom(const Settings& settings) {
    Session session;
    session.username = settings.username();
    session.accessToken = settings.accessToken();
    session.uuid = settings.uuid();
    if (!session.isValid())
        return std::nullopt;
    return session;
}

} // namespace qbk
