#include "mods/ModCache.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace qbk {

namespace {

CachedMod entryFromJson(const QString& fileName, const QJsonObject& object) {
    CachedMod entry;
    entry.info.fileName = fileName;
    entry.info.title = object.value(QStringLiteral("title")).toString();
    entry.info.version = object.value(QStringLiteral("version")).toString();
    entry.info.pageUrl = object.value(QStringLiteral("pageUrl")).toString();
    entry.info.iconUrl = object.value(QStringLiteral("iconUrl")).toString();
    entry.info.resolved = object.value(QStringLiteral("resolved")).toBool();
    entry.sha1 = object.value(QStringLiteral("sha1")).toString();
    entry.sizeBytes = object.value(QStringLiteral("size")).toInteger(-1);
    entry.modifiedMs = object.value(QStringLiteral("mtimeMs")).toInteger(-1);
    return entry;
}

QJsonObject entryToJson(const CachedMod& entry) {
    QJsonObject object;
    object.insert(QStringLiteral("title"), entry.info.title);
    object.insert(QStringLiteral("version"), entry.info.version);
    object.insert(QStringLiteral("pageUrl"), entry.info.pageUrl);
    object.insert(QStringLiteral("iconUrl"), entry.info.iconUrl);
    object.insert(QStringLiteral("resolved"), entry.info.resolved);
    object.insert(QStringLiteral("sha1"), entry.sha1);
    // Extra members that older readers ignore: where the SHA-1 was computed.
    if (!entry.sha1.isEmpty() && entry.sizeBytes >= 0 && entry.modifiedMs >= 0) {
        object.insert(QStringLiteral("size"), entry.sizeBytes);
        object.insert(QStringLiteral("mtimeMs"), entry.modifiedMs);
    }
    return object;
}

} // namespace

ModCacheMap readModCache(const QString& path) {
    ModCacheMap cache;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cache;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (it.value().isObject())
            cache.insert(it.key(), entryFromJson(it.key(), it.value().toObject()));
    }
    return cache;
}

bool writeModCache(const QString& path, const ModCacheMap& cache) {
    QJsonObject root;
    for (auto it = cache.begin(); it != cache.end(); ++it)
        root.insert(it.key(), entryToJson(it.value()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    return file.commit();
}

} // namespace qbk
