#pragma once

#include "launch/TransferLimits.h"
#include "mods/ServerMod.h"

#include <QList>
#include <QString>
#include <filesystem>

namespace qbk {

// What one run of the mod manager's downloads did.
struct ModDownloadResult {
    bool ok = true;
    int downloaded = 0;
    QString firstError; // "url -> error" of the first file that failed for good
};

// Downloads manifest entries into the mods folder on a few threads, each file checked against
// its size and SHA-256 before it replaces anything, while holding the process-wide mods-folder
// lock. Needs nothing of the dialog that started it, so it may outlive that dialog.
class ModDownloadJob {
public:
    static constexpr int kThreads = 6;
    static constexpr int kAttempts = 3;

    ModDownloadJob(QList<ServerMod> entries, std::filesystem::path modsDir,
                   TransferLimits limits = {});

    // Blocking; the first file that fails after every attempt stops the files not yet begun.
    ModDownloadResult run() const;

private:
    bool download(const ServerMod& entry, QString& error) const;

    QList<ServerMod> entries_;
    std::filesystem::path modsDir_;
    TransferLimits limits_;
};

} // namespace qbk
