#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace qbk {

// One sign-in as the account server granted it; lives in memory for the whole run.
struct Session {
    struct Ban {
        QString reason;
        qint64 untilUnix = 0; // seconds since the epoch; 0 = permanent
    };

    QString username;
    QString uuid;
    QString accessToken;
    QString clientToken;
    int opLevel = 0;
    std::optional<Ban> ban;

    bool isValid() const { return !username.isEmpty() && !accessToken.isEmpty(); }
};

} // namespace qbk
