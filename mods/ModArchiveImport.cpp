#include "mods/ModArchiveImport.h"

#include "mods/ModFileName.h"
#include "mods/ZipUtils.h"
#include "platform/Platform.h"

#include <iostream>
#include <string>

namespace qbk {

namespace fs = std::filesystem;

namespace {

std::string utf8(const fs::path& path) {
    return platform::pathToUtf8(path);
}

// Extraction goes into a staging folder beside the mods folder first, so a refused archive
// leaves the mods folder as it was and every name is checked before it lands there.
fs::path stagingFolderFor(const fs::path& modsDir) {
    fs::path staging = modsDir;
    staging += ".import";
    return staging;
}

int moveCheckedJars(const fs::path& staging, const fs::path& modsDir) {
    int installed = 0;
    for (const platform::DirEntry& entry : platform::listDirectory(staging)) {
        const std::string name = utf8(entry.name);
        if (entry.isDirectory)
            continue;
        if (!IsSafeModFileName(name)) {
            std::cerr << "[Mods] Пропускаю файл с недопустимым именем: " << name << "\n";
            continue;
        }
        if (platform::moveReplace(staging / entry.name, modsDir / entry.name))
            ++installed;
        else
            std::cerr << "[Mods] Не удалось установить " << name << "\n";
    }
    return installed;
}

} // namespace

int importModArchive(const fs::path& archive, const fs::path& modsDir) {
    std::cout << "[Mods] Импорт модов из архива: " << utf8(archive) << "\n" << std::flush;
    const fs::path staging = stagingFolderFor(modsDir);
    platform::removeTree(staging);
    const int extracted = extractJarsFlat(archive, staging);
    int installed = -1;
    if (extracted >= 0) {
        installed = 0;
        if (extracted > 0 && platform::createDirectories(modsDir))
            installed = moveCheckedJars(staging, modsDir);
    }
    platform::removeTree(staging);
    if (installed < 0)
        std::cerr << "[Mods] Не удалось открыть архив (повреждён или не zip).\n" << std::flush;
    else
        std::cout << "[Mods] Установлено модов из архива: " << installed << "\n" << std::flush;
    return installed;
}

} // namespace qbk
