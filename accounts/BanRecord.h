#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace qbk {

// One entry of the server's ban list; times are seconds since the Unix epoch.
struct BanRecord {
    QString username;
    QString reason;
    QString bannedBy;
    qint64 createdAt = 0;
    bool permanent = false;
    qint64 until = 0;
};

using BanList = QList<BanRecord>;

} // namespace qbk
