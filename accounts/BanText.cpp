#include "accounts/BanText.h"

#include <QDateTime>

namespace qbk {

QString banEndText(const Session::Ban& ban) {
    if (ban.untilUnix == 0)
        return QStringLiteral("навсегда");
    return QStringLiteral("до ") + QDateTime::fromSecsSinceEpoch(ban.untilUnix)
                                       .toLocalTime()
                                       .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString banStatusText(const Session::Ban& ban) {
    return QStringLiteral("Аккаунт заблокирован %1. Причина: %2").arg(banEndText(ban), ban.reason);
}

} // namespace qbk
