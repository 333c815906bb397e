#pragma once

#include "mods/ModInfo.h"

#include <QHash>
#include <QString>
#include <QtGlobal>

namespace qbk {

// One entry of "modcache.json": the record, the SHA-1 last computed for the file and the
// size and modification time it was computed at, so an unchanged file is not hashed again.
struct CachedMod {
    ModInfo info;
    QString sha1;
    qint64 sizeBytes = -1;
    qint64 modifiedMs = -1;
};

using ModCacheMap = QHash<QString, CachedMod>;

// Reads the cache; a missing, unreadable or damaged file gives an empty cache.
ModCacheMap readModCache(const QString& path);
// Replaces the file in one step (temporary file, then rename); false when that failed.
bool writeModCache(const QString& path, const ModCacheMap& cache);

} // namespace qbk
