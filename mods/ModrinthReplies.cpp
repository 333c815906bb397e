#include "mods/ModrinthReplies.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace qbk {

namespace {

QJsonObject bodyObject(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object();
}

} // namespace

QString readModrinthVersion(const QByteArray& body, ModInfo& info) {
    const QJsonObject version = bodyObject(body);
    info.version = version.value(QStringLiteral("version_number")).toString();
    return version.value(QStringLiteral("project_id")).toString();
}

void readModrinthProject(const QByteArray& body, const QString& siteBase, ModInfo& info) {
    const QJsonObject project = bodyObject(body);
    const QString title = project.value(QStringLiteral("title")).toString();
    const QString slug = project.value(QStringLiteral("slug")).toString();
    if (!title.isEmpty())
        info.title = title;
    if (!slug.isEmpty())
        info.pageUrl =
            siteBase + QStringLiteral("/mod/") + QString::fromLatin1(QUrl::toPercentEncoding(slug));
    info.iconUrl = project.value(QStringLiteral("icon_url")).toString();
    info.resolved = true;
}

} // namespace qbk
