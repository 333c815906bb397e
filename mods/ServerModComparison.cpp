#include "mods/ServerModComparison.h"

#include "mods/ModFileName.h"
#include "mods/ModManifest.h"
#include "platform/Platform.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <iostream>

namespace qbk {

namespace {

bool endsWithJar(const QString& name) {
    return name.endsWith(QLatin1String(".jar"), Qt::CaseInsensitive);
}

} // namespace

ServerModComparison::ServerModComparison(std::filesystem::path modsDir, TargetPlatform target)
    : modsDir_(std::move(modsDir)), target_(std::move(target)) {}

bool ServerModComparison::parseManifest(const QByteArray& body, QList<ServerMod>& entries) {
    entries.clear();
    std::vector<ModManifestEntry> parsed;
    std::string error;
    if (ParseModManifest(std::string_view(body.constData(), body.size()), parsed, error) !=
        ManifestParseResult::Ok)
        return false;
    for (const ModManifestEntry& entry : parsed) {
        if (!IsSafeModFileName(entry.fileName)) {
            std::cerr << "[Mods] Пропускаю мод с недопустимым именем файла: " << entry.fileName
                      << "\n";
            continue;
        }
        ServerMod mod;
        mod.fileName = QString::fromStdString(entry.fileName);
        mod.url = QString::fromStdString(entry.url);
        mod.sizeBytes = static_cast<qint64>(entry.sizeBytes);
        mod.sha256 = QString::fromStdString(entry.sha256);
        mod.onServer = true;
        entries.append(mod);
    }
    return true;
}

QString ServerModComparison::key(const QString& fileName) const {
    return target_.caseInsensitiveFileNames ? fileName.toCaseFolded() : fileName;
}

QList<ServerModComparison::LocalJar> ServerModComparison::localJars() const {
    QList<LocalJar> jars;
    for (const platform::DirEntry& entry : platform::listDirectory(modsDir_)) {
        const QString name = QString::fromStdString(platform::pathToUtf8(entry.name));
        if (!entry.isDirectory && endsWithJar(name))
            jars.append({name, static_cast<qint64>(entry.size)});
    }
    std::sort(jars.begin(), jars.end(),
              [](const LocalJar& a, const LocalJar& b) { return a.fileName < b.fileName; });
    return jars;
}

QList<ServerMod> ServerModComparison::withLocalFiles(QList<ServerMod> manifest) const {
    const QList<LocalJar> jars = localJars();
    QHash<QString, qint64> sizeByKey;
    for (const LocalJar& jar : jars)
        sizeByKey.insert(key(jar.fileName), jar.sizeBytes);
    QSet<QString> listed;
    for (ServerMod& mod : manifest) {
        const QString name = key(mod.fileName);
        listed.insert(name);
        const auto found = sizeByKey.constFind(name);
        mod.installed =
            found != sizeByKey.constEnd() && (mod.sizeBytes < 1 || *found == mod.sizeBytes);
    }
    for (const LocalJar& jar : jars) {
        if (listed.contains(key(jar.fileName)))
            continue;
        ServerMod extra;
        extra.fileName = jar.fileName;
        extra.sizeBytes = jar.sizeBytes;
        extra.onServer = false;
        extra.installed = true;
        manifest.append(extra);
    }
    return manifest;
}

} // namespace qbk
