#include "app/SelfUpdate.h"

#include "mods/ZipUtils.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <set>

namespace qbk {

namespace fs = std::filesystem;

namespace {

UpdateResult fail(UpdateResult::Code code, std::string text) {
    return {code, std::move(text)};
}

std::string utf8(const fs::path& path) {
    return platform::pathToUtf8(path);
}

std::vector<std::string> sortedNames(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        names.push_back(utf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

// What swap() renames: the package's entries, but inside a folder that both the package and
// the launcher have, the entries of both sides. Windows renames a loaded DLL, not a folder
// holding one (the running launcher's plugins/). Relative UTF-8 paths with '/', sorted.
std::vector<std::string> swapEntries(const fs::path& root, const fs::path& launcherDir,
                                     const std::string& prefix = {}) {
    auto names = sortedNames(root / platform::pathFromUtf8(prefix));
    if (!prefix.empty()) {
        // What the old folder has beyond the package goes aside too (not an earlier ".old").
        std::vector<std::string> oldOnly;
        for (const auto& name : sortedNames(launcherDir / platform::pathFromUtf8(prefix)))
            if (!name.ends_with(".old") && !std::binary_search(names.begin(), names.end(), name))
                oldOnly.push_back(name);
        names.insert(names.end(), oldOnly.begin(), oldOnly.end());
        std::sort(names.begin(), names.end());
    }
    std::vector<std::string> entries;
    for (const auto& name : names) {
        const std::string relative = prefix + name;
        const fs::path target = launcherDir / platform::pathFromUtf8(relative);
        if (fs::is_directory(root / platform::pathFromUtf8(relative)) &&
            fs::is_directory(fs::symlink_status(target))) {
            const auto inner = swapEntries(root, launcherDir, relative + "/");
            entries.insert(entries.end(), inner.begin(), inner.end());
        } else {
            entries.push_back(relative);
        }
    }
    return entries;
}

fs::path aside(const fs::path& target) {
    fs::path old = target;
    old += ".old";
    return old;
}

} // namespace

SelfUpdate::SelfUpdate(fs::path launcherDir, fs::path executableName)
    : launcherDir_(std::move(launcherDir)), executableName_(std::move(executableName)) {}

bool SelfUpdate::isProtectedName(const std::string& name) {
    std::string folded = name;
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::set<std::string> kPlayerFiles = {
        "quellbrook.ini", "quellbrook.lock", "minecraft",           "runtime", "logs", "mods",
        "modcache.json",  "update-staging",  "authlib-injector.jar"};
    return kPlayerFiles.count(folded) > 0 ||
           (folded.size() > 4 && folded.compare(folded.size() - 4, 4, ".old") == 0);
}

UpdateOffer SelfUpdate::check(HttpClient& http, const std::string& baseUrl,
                              std::string_view currentVersion) const {
    std::string manifest;
    std::string signature;
    // A silent or trickling server must not hold the check: the whole pair gets 15 s.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    const ProgressFn inTime = [&](std::int64_t, std::int64_t) {
        return std::chrono::steady_clock::now() < deadline;
    };
    UpdateOffer offer;
    if (!http.DownloadToString(baseUrl + "/latest.json", manifest, inTime) ||
        !http.DownloadToString(baseUrl + "/latest.json.sig", signature, inTime)) {
        offer.reason = "unreachable: " + http.LastError;
        return offer;
    }
    return evaluateRelease(manifest, signature, trustedUpdateKey(), currentVersion,
                           ownPackageName());
}

UpdateResult SelfUpdate::checkWritable() const {
    const fs::path probe = launcherDir_ / "update-write-probe.tmp";
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    const bool written = out && (out << "probe") && (out.close(), !out.fail());
    std::error_code ec;
    fs::remove(probe, ec);
    if (!written || ec)
        return fail(UpdateResult::Code::ReadOnly,
                    "Папка лаунчера доступна только для чтения, обновление невозможно:\n" +
                        utf8(launcherDir_) +
                        "\nПеренеси лаунчер в папку, доступную для записи, и повтори.");
    return {};
}

UpdateResult SelfUpdate::stage(HttpClient& http, const ReleasePackage& package,
                               ProgressFn progress) {
    if (auto writable = checkWritable(); !writable.ok())
        return writable;
    std::error_code ec;
    platform::removeTree(stagingDir());
    fs::create_directories(stagingDir(), ec);
    if (ec)
        return fail(UpdateResult::Code::FileSystem,
                    "Не удалось создать папку обновления: " + ec.message());
    const bool zip =
        package.url.size() >= 4 && package.url.compare(package.url.size() - 4, 4, ".zip") == 0;
    const fs::path archive = stagingDir() / (zip ? "package.zip" : "package.tar.gz");
    bool cancelled = false;
    const ProgressFn watch = [&](std::int64_t received, std::int64_t total) {
        cancelled = progress && !progress(received, total);
        return !cancelled;
    };
    // Size and digest are checked while the bytes arrive; a mismatch leaves no file.
    if (!http.DownloadVerified(package.url, archive,
                               DownloadCheck::sha256(package.sha256, package.size), watch)) {
        platform::removeTree(stagingDir());
        if (cancelled)
            return fail(UpdateResult::Code::Cancelled, "Загрузка обновления отменена.");
        if (http.LastFailureWasMismatch)
            return fail(UpdateResult::Code::Integrity,
                        "Пакет обновления не совпадает с подписанным описанием (" + http.LastError +
                            ").");
        return fail(UpdateResult::Code::Network,
                    "Не удалось скачать обновление (" + http.LastError + ").");
    }
    std::string error;
    const fs::path unpacked = stagingDir() / "new";
    const bool extracted =
        zip ? extractZip(archive, unpacked, &error) : extractTarGz(archive, unpacked, &error);
    fs::remove(archive, ec);
    const fs::path root = extracted ? packageRoot() : fs::path();
    std::string refused;
    for (const auto& name : extracted ? sortedNames(root) : std::vector<std::string>{})
        if (isProtectedName(name))
            refused = name;
    if (extracted && refused.empty() && fs::is_regular_file(root / executableName_))
        return {};
    platform::removeTree(stagingDir());
    if (!extracted)
        return fail(UpdateResult::Code::Unsafe, "Пакет обновления не распаковался: " + error);
    return fail(UpdateResult::Code::Unsafe,
                refused.empty() ? "В пакете обновления нет файла " + utf8(executableName_) + "."
                                : "Пакет обновления затрагивает файлы игрока: " + refused + ".");
}

fs::path SelfUpdate::packageRoot() const {
    // A package made as one top folder holds the launcher's files inside that folder.
    const fs::path unpacked = stagingDir() / "new";
    const auto names = sortedNames(unpacked);
    if (names.size() == 1 && fs::is_directory(unpacked / platform::pathFromUtf8(names[0])) &&
        !fs::exists(unpacked / executableName_))
        return unpacked / platform::pathFromUtf8(names[0]);
    return unpacked;
}

bool SelfUpdate::isStaged() const {
    return fs::is_regular_file(packageRoot() / executableName_);
}

UpdateResult SelfUpdate::swap(const std::function<bool(std::size_t)>& failBeforeRename) {
    if (!isStaged())
        return fail(UpdateResult::Code::FileSystem, "Обновление не загружено.");
    const fs::path root = packageRoot();
    const auto names = swapEntries(root, launcherDir_);
    // Leftovers of an earlier update go first, while nothing has moved yet.
    for (const auto& name : names)
        if (!platform::removeTree(aside(launcherDir_ / platform::pathFromUtf8(name))))
            return fail(UpdateResult::Code::FileSystem,
                        "Не удалось убрать старую копию " + name + ".");
    std::error_code ec;
    // The journal names every entry before it moves, so a revert knows what to put back.
    std::ofstream journalOut(journal(), std::ios::trunc);
    struct Move {
        fs::path from, to;
    };
    std::vector<Move> done;
    std::size_t step = 0;
    auto move = [&](const fs::path& from, const fs::path& to) {
        if (failBeforeRename && failBeforeRename(step++)) {
            ec = std::make_error_code(std::errc::io_error);
            return false;
        }
        fs::rename(from, to, ec);
        if (!ec)
            done.push_back({from, to});
        return !ec;
    };
    bool moved = static_cast<bool>(journalOut);
    for (const auto& name : names) {
        const fs::path target = launcherDir_ / platform::pathFromUtf8(name);
        const bool existed = fs::exists(fs::symlink_status(target));
        moved = moved && (journalOut << (existed ? "old " : "new ") << name << '\n' << std::flush);
        const fs::path brought = root / platform::pathFromUtf8(name);
        moved = moved && (!existed || move(target, aside(target))) &&
                (!fs::exists(fs::symlink_status(brought)) || move(brought, target));
        if (!moved)
            break;
    }
    journalOut.close();
    if (moved)
        return {};
    const std::string why = ec ? ec.message() : "журнал не записан";
    // Back in reverse order: each undone rename puts the folder one step nearer the old one.
    std::error_code undo;
    for (auto it = done.rbegin(); it != done.rend(); ++it)
        fs::rename(it->to, it->from, undo);
    fs::remove(journal(), undo);
    return fail(UpdateResult::Code::FileSystem,
                "Не удалось заменить файлы лаунчера (" + why + "). Оставлена прежняя версия.");
}

std::vector<std::pair<bool, std::string>> SelfUpdate::readJournal() const {
    std::vector<std::pair<bool, std::string>> entries;
    std::ifstream in(journal());
    for (std::string line; std::getline(in, line);)
        if (line.size() > 4)
            entries.emplace_back(line.compare(0, 4, "old ") == 0, line.substr(4));
    return entries;
}

UpdateResult SelfUpdate::revert() {
    for (const auto& [hadOld, name] : readJournal()) {
        const fs::path target = launcherDir_ / platform::pathFromUtf8(name);
        std::error_code ec;
        const bool removed = platform::removeTree(target);
        if (removed && hadOld)
            fs::rename(aside(target), target, ec);
        if (!removed || ec)
            return fail(UpdateResult::Code::FileSystem, "Не удалось вернуть " + name + ".");
    }
    platform::removeTree(stagingDir());
    return {};
}

bool SelfUpdate::removeLeftovers() {
    std::error_code ec;
    if (!fs::exists(stagingDir(), ec))
        return true;
    bool clean = true;
    for (const auto& [hadOld, name] : readJournal())
        // A running old executable cannot be deleted on Windows for a moment: try again later.
        if (hadOld)
            clean =
                platform::removeTree(aside(launcherDir_ / platform::pathFromUtf8(name))) && clean;
    return clean && platform::removeTree(stagingDir());
}

} // namespace qbk
