// Modrinth version and project replies and icon bytes, as the API and its CDN might send
// them: a page always stays on the site, and a decoded icon is the list's size.
#include "mods/ModIcon.h"
#include "mods/ModrinthReplies.h"

#include <QUrl>
#include <cstdint>
#include <cstdlib>

namespace {

const QString kSiteBase = QStringLiteral("https://modrinth.com");

void checkPage(const qbk::ModInfo& info) {
    if (info.pageUrl.isEmpty())
        return;
    const QUrl page(info.pageUrl);
    if (!page.isValid() || page.host() != QLatin1String("modrinth.com") ||
        !page.path().startsWith(QLatin1String("/mod/")) || page.path().count('/') != 2)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray body =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    qbk::ModInfo info;
    qbk::readModrinthVersion(body, info);
    qbk::readModrinthProject(body, kSiteBase, info);
    if (!info.resolved)
        std::abort();
    checkPage(info);

    const QImage icon = qbk::modIconImage(body);
    if (!icon.isNull() && (icon.width() > 32 || icon.height() > 32))
        std::abort();
    return 0;
}
