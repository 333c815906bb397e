// Account server reply bodies: the top-level object and the ban record read from it.
#include "accounts/AccountServerApi.h"

#include <QByteArray>
#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QJsonObject reply = qbk::replyObject(body);
    const std::optional<qbk::Session::Ban> ban = qbk::banFromReply(reply);
    if (ban && !reply.value(QStringLiteral("ban")).isObject())
        std::abort();
    return 0;
}
