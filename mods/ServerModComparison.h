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

    // Manifest entries of a body, tolerantly: an element without a fileName is dropped, and
    // so is one whose name is no plain file name in the mods folder (logged); duplicates
    // stay. False, with no entries, when the body is no object with a "mods" array.
    static bool parseManifest(const QByteArray& body, QList<ServerMod>& entries);

    // The manifest entries with installed recomputed, then the local extras by file name.
    QList<ServerMod> withLocalFiles(QList<ServerMod> manifest) const;

    // Fetches the manifest and fills missing and extra; false when no manifest arrived within
    // timeoutMs (the lists are then empty). Waits in a local event loop.
    bool compareWithServer(const QString& manifestUrl, QList<ServerMod>& missing,
                           QList<ServerMod>& extra, int timeoutMs) const;

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

// The launcher's mods folder: LauncherDir() + "minecraft/mods".
std::filesystem::path launcherModsDir();
// The account server's "/api/mods".
QString manifestUrl();
// The blocking comparison the main window runs before play, on the launcher's own folder.
bool compareWithServer(QList<ServerMod>& missing, QList<ServerMod>& extra, int timeoutMs);

} // namespace qbk
