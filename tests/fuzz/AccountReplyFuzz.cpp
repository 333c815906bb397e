// Account server reply bodies: the top-level object and the ban record read from it.
#include "accounts/AccountServerApi.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto body = qbk::fuzz::text(data, size);
    const QJsonObject reply = qbk::replyObject(QByteArray(body.data(), qsizetype(body.size())));
    qbk::fuzz::must(!qbk::banFromReply(reply) || reply.value(QStringLiteral("ban")).isObject());
    return 0;
}
