// Account server reply bodies: the top-level object and the ban record read from it.
#include "accounts/AccountServerApi.h"
#include "tests/fuzz/FuzzSupport.h"

QBK_FUZZ(body) {
    const QJsonObject reply = qbk::replyObject(QByteArray(body.data(), qsizetype(body.size())));
    must(!qbk::banFromReply(reply) || reply.value(QStringLiteral("ban")).isObject());
}
