#pragma once

#include "mods/ServerMod.h"
#include "platform/TargetPlatform.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <filesystem>

namespace qbk {

// The mods folder compared with the server's manifest. File names are compared as the
// target's file system does: case-insensitively on Windows.
class ServerModComparison {
public:
    ServerModComparison(std::filesystem::path modsDir, TargetPlatform target);

    // Manifest entries of a body, read as the sync reads them (ParseModManifest), less those
    // whose name is no plain file name in the mods folder (logged); duplicates stay. False,
    // with no entries, when the sync would refuse the body.
    static bool parseManifest(const QByteArray& body, QList<ServerMod>& entries);

    // The manifest entries with installed recomputed, then the local extras by file name.
    QList<ServerMod> withLocalFiles(QList<ServerMod> manifest) const;

    const std::filesystem::path& modsDir() const { return modsDir_; }

private:
    struct LocalJar {
        QString fileName;
        qint64 sizeBytes = 0;
    };

    QString key(const QString& fileName) const;
    QList<LocalJar> localJars() const;

    std::filesystem::path modsDir_;
    TargetPlatform target_;
};

} // namespace qbk
