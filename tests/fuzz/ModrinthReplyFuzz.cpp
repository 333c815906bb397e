// Modrinth version and project replies and icon bytes, as the API and its CDN might send them:
// a page always stays on the site, and a decoded icon is the list's size.
#include "mods/ModIcon.h"
#include "mods/ModrinthReplies.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QGuiApplication>
#include <QUrl>

// ModInfo holds a pixmap, which needs a GUI application; an offscreen one serves.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

QBK_FUZZ(input) {
    const QByteArray body = QByteArray::fromRawData(input.data(), qsizetype(input.size()));
    qbk::ModInfo info;
    qbk::readModrinthVersion(body, info);
    qbk::readModrinthProject(body, QStringLiteral("https://modrinth.com"), info);
    must(info.resolved);
    // Encoded, as the browser is given it: a "/" of the slug stays "%2F" in its one segment.
    const QUrl page(info.pageUrl);
    const QString path = page.path(QUrl::FullyEncoded);
    must(info.pageUrl.isEmpty() ||
         (page.isValid() && page.host() == QLatin1String("modrinth.com") &&
          path.startsWith(QLatin1String("/mod/")) && path.count(QLatin1Char('/')) == 2));
    const QImage icon = qbk::modIconImage(body);
    must(icon.isNull() || (icon.width() <= 32 && icon.height() <= 32));
}
