#include "game/MinecraftInstaller.h"

#include "platform/Digest.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::TestHttpServer;

constexpr int kMirrorScale = 4000;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeAll(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string sha1Of(const std::string& bytes) {
    platform::Digest digest(platform::HashAlgorithm::Sha1);
    digest.update(bytes);
    return digest.finishHex();
}

std::wstring wide(const std::string& utf8) {
    return platform::utf8ToWide(utf8);
}

struct Status {
    std::wstring text;
    int percent;
};

// Records what an installer reports, from whichever thread reports it.
class StatusLog {
public:
    StatusFn fn() {
        return [this](const std::wstring& text, int percent) {
            std::lock_guard lock(mutex_);
            entries_.push_back({text, percent});
        };
    }
    std::vector<Status> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    std::vector<Status> startingWith(const std::wstring& prefix) const {
        std::vector<Status> found;
        for (const auto& e : entries())
            if (e.text.rfind(prefix, 0) == 0)
                found.push_back(e);
        return found;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Status> entries_;
};

struct MirrorFile {
    std::string relative;
    std::int64_t size;
};

// The generated mirror of 1.21.1 at a reduced size, served below /m by one server for the
// whole suite; tests add their own documents on other paths.
class MinecraftInstallerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new TestHttpServer();
        mirror_ = new test::TempDir("qbk-mirror");
        const std::string command =
            "python3 \"" QBK_SOURCE_DIR "/tools/mirror/generate.py\" --out \"" +
            mirror_->path().string() + "\" --base-url " + server_->url("/m") + " --scale " +
            std::to_string(kMirrorScale) + " --no-runtime > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        ASSERT_TRUE(server_->mount("/m", mirror_->path()));
        server_->get("/doc/(.+)",
                     [](const httplib::Request&, httplib::Response& res, const std::smatch& match) {
                         std::lock_guard lock(docsMutex_);
                         const auto found = docs_.find(match[1].str());
                         if (found == docs_.end()) {
                             res.status = 404;
                             return;
                         }
                         res.set_content(found->second, "application/octet-stream");
                     });
    }
    static void TearDownTestSuite() {
        delete server_;
        delete mirror_;
    }

    static void serve(const std::string& name, const std::string& body) {
        std::lock_guard lock(docsMutex_);
        docs_[name] = body;
    }
    static std::string docUrl(const std::string& name) { return server_->url("/doc/" + name); }

    static Endpoints mirrorEndpoints() {
        Endpoints endpoints = Endpoints::defaults();
        endpoints.mojangMeta = server_->url("/m");
        endpoints.mojangAssets = server_->url("/m/resources");
        return endpoints;
    }

    static std::vector<MirrorFile> mirrorList(const std::string& os) {
        std::vector<MirrorFile> files;
        std::istringstream lines(readAll(mirror_->path() / ("urls-" + os + ".txt")));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string url, relative, size;
            std::getline(fields, url, '\t');
            std::getline(fields, relative, '\t');
            std::getline(fields, size, '\t');
            files.push_back({relative, size.empty() ? -1 : std::stoll(size)});
        }
        return files;
    }

    static std::string mirrorVersionJson() {
        const json manifest =
            json::parse(readAll(mirror_->path() / "mc/game/version_manifest_v2.json"));
        const std::string url = manifest["versions"][0]["url"];
        return readAll(mirror_->path() / url.substr(server_->url("/m/").size()));
    }

    MinecraftInstaller installer(const fs::path& gameDir,
                                 TargetPlatform target = TargetPlatform::windowsX64(),
                                 Endpoints endpoints = mirrorEndpoints()) {
        return MinecraftInstaller(gameDir, gameDir.parent_path() / "runtime", endpoints, target);
    }

    fs::path versionJsonPath() const { return game / "versions" / "1.21.1" / "1.21.1.json"; }

    // A small version JSON of our own, stored as if an earlier run had left it.
    json storedVersion(const std::string& clientBody = "client") {
        serve("client.jar", clientBody);
        json v;
        v["downloads"]["client"] = {{"url", docUrl("client.jar")},
                                    {"sha1", sha1Of(clientBody)},
                                    {"size", clientBody.size()}};
        v["libraries"] = json::array();
        v["assetIndex"] = {{"id", "t"}, {"url", docUrl("index-t")}};
        serve("index-t", R"({"objects":{}})");
        return v;
    }
    static json library(const std::string& path, const std::string& url, const std::string& body) {
        return {
            {"name", path},
            {"downloads",
             {{"artifact",
               {{"path", path}, {"url", url}, {"sha1", sha1Of(body)}, {"size", body.size()}}}}}};
    }
    void store(const json& version) { writeAll(versionJsonPath(), version.dump()); }

    static TestHttpServer* server_;
    static test::TempDir* mirror_;
    static std::mutex docsMutex_;
    static std::map<std::string, std::string> docs_;

    test::TempDir root{"qbk-install"};
    fs::path game = root / "minecraft";
    StatusLog log;
};

TestHttpServer* MinecraftInstallerTest::server_ = nullptr;
test::TempDir* MinecraftInstallerTest::mirror_ = nullptr;
std::mutex MinecraftInstallerTest::docsMutex_;
std::map<std::string, std::string> MinecraftInstallerTest::docs_;

TEST_F(MinecraftInstallerTest, ColdInstallFetchesTheWindowsFilesWarmRunFetchesNothing) {
    auto inst = installer(game);
    ASSERT_TRUE(inst.EnsureVanilla("1.21.1", log.fn())) << platform::wideToUtf8(inst.lastError);
    EXPECT_EQ(inst.mcVersion, "1.21.1");
    EXPECT_EQ(readAll(versionJsonPath()), mirrorVersionJson());

    int libraries = 0;
    for (const auto& file : mirrorList("windows")) {
        if (file.relative.rfind("libraries/", 0) == 0) {
            ++libraries;
            EXPECT_EQ(fs::file_size(game / file.relative), static_cast<std::uintmax_t>(file.size))
                << file.relative;
        }
    }
    EXPECT_EQ(fs::exists(game / "libraries/org/lwjgl/lwjgl/3.3.3/lwjgl-3.3.3-natives-windows.jar"),
              true);
    EXPECT_FALSE(
        fs::exists(game / "libraries/org/lwjgl/lwjgl/3.3.3/lwjgl-3.3.3-natives-linux.jar"));
    EXPECT_FALSE(fs::exists(game / "libraries/ca/weblite"));
    EXPECT_TRUE(fs::is_directory(game / "natives"));

    const json version = json::parse(mirrorVersionJson());
    const std::string jar = readAll(game / "versions/1.21.1/1.21.1.jar");
    EXPECT_EQ(sha1Of(jar), version["downloads"]["client"]["sha1"]);
    const json index = json::parse(readAll(game / "assets/indexes/17.json"));
    std::set<std::string> hashes;
    for (const auto& [name, entry] : index["objects"].items()) {
        const std::string hash = entry["hash"];
        hashes.insert(hash);
        ASSERT_EQ(sha1Of(readAll(game / "assets/objects" / hash.substr(0, 2) / hash)), hash)
            << name;
    }
    // The real index names 3904 objects, of which 3881 are distinct.
    ASSERT_EQ(index["objects"].size(), 3904u);
    ASSERT_EQ(hashes.size(), 3881u);

    const auto entries = log.entries();
    ASSERT_GE(entries.size(), 5u);
    EXPECT_EQ(entries[0].text, L"Получение списка версий Minecraft...");
    EXPECT_EQ(entries[0].percent, 0);
    EXPECT_EQ(entries[1].text, L"Загрузка описания версии 1.21.1...");
    EXPECT_EQ(entries[1].percent, 3);
    EXPECT_EQ(entries[2].text, L"Скачивание Minecraft 1.21.1...");
    EXPECT_EQ(entries[2].percent, 5);

    const int jarTotal = libraries + 1;
    const auto jarSteps = log.startingWith(L"Скачивание библиотек Minecraft (");
    ASSERT_EQ(jarSteps.size(), static_cast<std::size_t>(jarTotal));
    std::set<int> jarPercents;
    for (const auto& step : jarSteps)
        jarPercents.insert(step.percent);
    EXPECT_EQ(*jarPercents.begin(), 1 * 20 / jarTotal + 5);
    EXPECT_EQ(*jarPercents.rbegin(), 25);
    const std::wstring lastJar = L"Скачивание библиотек Minecraft (" + std::to_wstring(jarTotal) +
                                 L"/" + std::to_wstring(jarTotal) + L")";
    EXPECT_EQ(log.startingWith(lastJar).size(), 1u);

    const auto indexStep = log.startingWith(L"Загрузка списка ресурсов...");
    ASSERT_EQ(indexStep.size(), 1u);
    EXPECT_EQ(indexStep[0].percent, 26);
    const int n = static_cast<int>(hashes.size());
    const auto announce =
        log.startingWith(L"Скачивание ресурсов игры (" + std::to_wstring(n) + L" файлов)...");
    ASSERT_EQ(announce.size(), 1u);
    EXPECT_EQ(announce[0].percent, 27);
    const auto assetSteps = log.startingWith(L"Скачивание ресурсов игры (");
    ASSERT_EQ(assetSteps.size(), 1u + n / 50 + (n % 50 ? 1 : 0));
    for (const auto& step : assetSteps) {
        if (step.percent == 27 && step.text.find(L"файлов") != std::wstring::npos)
            continue;
        const auto slash = step.text.find(L'/');
        const int done = std::stoi(step.text.substr(step.text.find(L'(') + 1));
        EXPECT_TRUE(done % 50 == 0 || done == n) << done;
        EXPECT_EQ(step.text.substr(slash + 1), std::to_wstring(n) + L")");
        EXPECT_EQ(step.percent, done * 38 / n + 27);
    }
    EXPECT_EQ(entries.back().percent, 65);
    EXPECT_EQ(inst.stats.filesDownloaded, 3 + jarTotal + n); // manifest, JSON, index
    EXPECT_EQ(inst.stats.filesSkipped, 0);

    // Warm run: everything is present, nothing goes over the wire.
    server_->resetCounters();
    auto warm = installer(game);
    ASSERT_TRUE(warm.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(server_->requestsServed(), 0u);
    EXPECT_EQ(warm.stats.filesDownloaded, 0);
    EXPECT_GT(warm.stats.filesSkipped, 3000);

    const fs::path jarPath = game / "versions/1.21.1/1.21.1.jar";
    writeAll(jarPath, jar.substr(0, jar.size() / 2));
    const fs::path gson = game / "libraries/com/google/code/gson/gson/2.10.1/gson-2.10.1.jar";
    const std::string sameSize(fs::file_size(gson), 'z');
    writeAll(gson, sameSize);
    server_->resetCounters();
    auto repair = installer(game);
    ASSERT_TRUE(repair.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(server_->requestsServed(), 1u);
    EXPECT_EQ(readAll(jarPath), jar);
    EXPECT_EQ(readAll(gson), sameSize); // equal size counts as complete
}

TEST_F(MinecraftInstallerTest, LinuxTargetInCyrillicFolderGetsTheLinuxNatives) {
    const fs::path cyrillicGame = root / "Лаунчер Кельнбрук" / "minecraft";
    auto inst = installer(cyrillicGame, TargetPlatform::linuxX64());
    ASSERT_TRUE(inst.EnsureVanilla("1.21.1", log.fn())) << platform::wideToUtf8(inst.lastError);
    for (const auto& file : mirrorList("linux")) {
        if (file.relative.rfind("libraries/", 0) == 0) {
            EXPECT_TRUE(fs::exists(cyrillicGame / file.relative)) << file.relative;
        }
    }
    const fs::path lwjgl = cyrillicGame / "libraries/org/lwjgl/lwjgl/3.3.3";
    EXPECT_TRUE(fs::exists(lwjgl / "lwjgl-3.3.3-natives-linux.jar"));
    EXPECT_FALSE(fs::exists(lwjgl / "lwjgl-3.3.3-natives-windows.jar"));
    EXPECT_TRUE(fs::exists(cyrillicGame / "assets/indexes/17.json"));
}

TEST_F(MinecraftInstallerTest, StoredVersionJsonIsUsedWhenTheManifestIsUnreachable) {
    Endpoints offline = mirrorEndpoints();
    offline.mojangMeta = "http://127.0.0.1:9"; // nothing listens there
    store(storedVersion("stored client"));
    auto inst = installer(game, TargetPlatform::windowsX64(), offline);
    ASSERT_TRUE(inst.EnsureVanilla("1.21.1", log.fn())) << platform::wideToUtf8(inst.lastError);
    EXPECT_EQ(readAll(game / "versions/1.21.1/1.21.1.jar"), "stored client");
    EXPECT_TRUE(log.startingWith(L"Получение списка версий").empty());
    EXPECT_EQ(log.startingWith(L"Скачивание ресурсов игры (0 файлов)...").size(), 1u);

    fs::remove(versionJsonPath());
    auto unreachable = installer(game, TargetPlatform::windowsX64(), offline);
    EXPECT_FALSE(unreachable.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(unreachable.lastError.rfind(L"Не удалось получить список версий Minecraft: ", 0), 0u);
}

TEST_F(MinecraftInstallerTest, CorruptStoredVersionJsonFailsAndIsKept) {
    writeAll(versionJsonPath(), "{\"id\": ");
    server_->resetCounters();
    auto inst = installer(game);
    EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(inst.lastError.rfind(L"Битый JSON версии: ", 0), 0u);
    EXPECT_GT(inst.lastError.size(), std::wstring(L"Битый JSON версии: ").size());
    EXPECT_EQ(readAll(versionJsonPath()), "{\"id\": ");
    EXPECT_EQ(server_->requestsServed(), 0u);

    writeAll(versionJsonPath(), "");
    EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(inst.lastError, L"Не удалось прочитать " + versionJsonPath().wstring());

    writeAll(versionJsonPath(), R"({"libraries":[]})");
    EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(inst.lastError.rfind(L"Неожиданная структура JSON версии: ", 0), 0u);
}

TEST_F(MinecraftInstallerTest, UnknownVersionAndBadManifestAreNamed) {
    auto inst = installer(game);
    EXPECT_FALSE(inst.EnsureVanilla("9.9.9", {}));
    EXPECT_EQ(inst.lastError, L"Версия 9.9.9 не найдена у Mojang.");

    serve("bad/mc/game/version_manifest_v2.json", R"({"latest":{}})");
    Endpoints bad = mirrorEndpoints();
    bad.mojangMeta = docUrl("bad");
    auto badManifest = installer(game, TargetPlatform::windowsX64(), bad);
    EXPECT_FALSE(badManifest.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(badManifest.lastError.rfind(L"Некорректный список версий: ", 0), 0u);
}

TEST_F(MinecraftInstallerTest, VersionJsonWithWrongDigestIsNeverWritten) {
    const std::string body = R"({"id":"1.21.1"})";
    serve("v/1.21.1.json", body);
    const json manifest = {{"versions",
                            {{{"id", "1.21.1"},
                              {"url", docUrl("v/1.21.1.json")},
                              {"sha1", sha1Of("something else")}}}}};
    serve("meta/mc/game/version_manifest_v2.json", manifest.dump());
    Endpoints meta = mirrorEndpoints();
    meta.mojangMeta = docUrl("meta");
    auto inst = installer(game, TargetPlatform::windowsX64(), meta);
    EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(inst.lastError.rfind(L"Не удалось скачать описание версии: ", 0), 0u);
    EXPECT_NE(inst.lastError.find(wide(sha1Of("something else"))), std::wstring::npos);
    EXPECT_FALSE(fs::exists(versionJsonPath()));
}

TEST_F(MinecraftInstallerTest, AssetIndexWithWrongDigestIsNeverWritten) {
    json v = storedVersion();
    serve("index-bad", R"({"objects":{}})");
    v["assetIndex"] = {{"id", "bad"}, {"url", docUrl("index-bad")}, {"sha1", sha1Of("other")}};
    store(v);
    auto inst = installer(game);
    EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(inst.lastError.rfind(L"Не удалось скачать индекс ресурсов: ", 0), 0u);
    EXPECT_FALSE(fs::exists(game / "assets/indexes/bad.json"));
}

TEST_F(MinecraftInstallerTest, LibraryDeniedForTheTargetIsNotFetched) {
    json v = storedVersion();
    json mac = library("mac/only.jar", docUrl("mac.jar"), "mac");
    mac["rules"] = json::parse(R"([{"action":"allow","os":{"name":"osx"}}])");
    json win = library("win/only.jar", docUrl("win.jar"), "win");
    win["rules"] = json::parse(R"([{"action":"allow","os":{"name":"windows"}}])");
    json classifiersOnly = {{"name", "c"}, {"downloads", {{"classifiers", json::object()}}}};
    v["libraries"] = {mac, win, classifiersOnly};
    serve("mac.jar", "mac");
    serve("win.jar", "win");
    store(v);
    auto inst = installer(game);
    ASSERT_TRUE(inst.EnsureVanilla("1.21.1", log.fn())) << platform::wideToUtf8(inst.lastError);
    EXPECT_FALSE(fs::exists(game / "libraries/mac/only.jar"));
    EXPECT_EQ(readAll(game / "libraries/win/only.jar"), "win");
    EXPECT_EQ(log.startingWith(L"Скачивание библиотек Minecraft (2/2)").size(), 1u);

    auto onLinux = installer(root / "linux-game", TargetPlatform::linuxX64());
    fs::create_directories(root / "linux-game/versions/1.21.1");
    fs::copy_file(versionJsonPath(), root / "linux-game/versions/1.21.1/1.21.1.json");
    ASSERT_TRUE(onLinux.EnsureVanilla("1.21.1", {}));
    EXPECT_FALSE(fs::exists(root / "linux-game/libraries/win/only.jar"));
}

TEST_F(MinecraftInstallerTest, ServerSendingWrongBytesFailsTheInstall) {
    json v = storedVersion();
    v["libraries"] = {library("x/lib.jar", docUrl("tampered.jar"), "genuine")};
    serve("tampered.jar", "tampere"); // same length, other bytes
    store(v);
    auto inst = installer(game);
    EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(inst.lastError, L"Ошибка загрузки Minecraft: " + wide(docUrl("tampered.jar")) +
                                  L" -> " +
                                  inst.lastError.substr(inst.lastError.find(L" -> ") + 4));
    EXPECT_FALSE(fs::exists(game / "libraries/x/lib.jar"));
}

TEST_F(MinecraftInstallerTest, LibraryPathsLeavingTheFolderAreRefused) {
    for (const std::string path : {"../../evil.jar", "/tmp/evil.jar", "C:/evil.jar",
                                   "a/../../evil.jar", "a\\..\\..\\e.jar"}) {
        json v = storedVersion();
        v["libraries"] = {library(path, docUrl("evil.jar"), "evil")};
        serve("evil.jar", "evil");
        store(v);
        auto inst = installer(game);
        EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {})) << path;
        EXPECT_EQ(inst.lastError,
                  L"Недопустимый путь библиотеки в JSON версии: \"" + wide(path) + L"\"");
        EXPECT_FALSE(fs::exists(root / "evil.jar"));
        EXPECT_FALSE(fs::exists(game / "evil.jar"));
    }
    json v = storedVersion();
    v["assetIndex"]["id"] = "../../escape";
    store(v);
    auto inst = installer(game);
    EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(inst.lastError.rfind(L"Ошибка обработки ресурсов: ", 0), 0u);
    EXPECT_FALSE(fs::exists(root / "escape.json"));
}

TEST_F(MinecraftInstallerTest, AssetHashesAreDeduplicatedAndBadOnesSkipped) {
    const std::string a = "asset a";
    const std::string b = "asset b";
    serve("objects/" + sha1Of(a).substr(0, 2) + "/" + sha1Of(a), a);
    serve("objects/" + sha1Of(b).substr(0, 2) + "/" + sha1Of(b), b);
    json index;
    index["objects"] = {
        {"one", {{"hash", sha1Of(a)}, {"size", a.size()}}},
        {"two", {{"hash", sha1Of(a)}, {"size", a.size()}}},
        {"three", {{"hash", sha1Of(b)}}},
        {"short", {{"hash", "x"}, {"size", 1}}},
        {"escape", {{"hash", "../../../../etc/passwd"}, {"size", 1}}},
        {"not-hex", {{"hash", std::string(40, 'g')}}},
    };
    json v = storedVersion();
    writeAll(game / "assets/indexes/t.json", index.dump());
    store(v);
    Endpoints endpoints = mirrorEndpoints();
    endpoints.mojangAssets = docUrl("objects");
    auto inst = installer(game, TargetPlatform::windowsX64(), endpoints);
    std::ostringstream diagnostics;
    std::streambuf* const standardError = std::cerr.rdbuf(diagnostics.rdbuf());
    const bool installed = inst.EnsureVanilla("1.21.1", log.fn());
    std::cerr.rdbuf(standardError);
    ASSERT_TRUE(installed) << platform::wideToUtf8(inst.lastError);
    const std::string lines = diagnostics.str();
    EXPECT_NE(lines.find("[Minecraft] Пропущен ресурс с некорректным хешем: escape ("),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("хешем: not-hex ("), std::string::npos) << lines;
    EXPECT_EQ(lines.find("short"), std::string::npos) << lines; // too short: silently
    EXPECT_EQ(log.startingWith(L"Скачивание ресурсов игры (2 файлов)...").size(), 1u);
    EXPECT_EQ(log.startingWith(L"Скачивание ресурсов игры (2/2)").size(), 1u);
    EXPECT_EQ(readAll(game / "assets/objects" / sha1Of(a).substr(0, 2) / sha1Of(a)), a);
    EXPECT_EQ(readAll(game / "assets/objects" / sha1Of(b).substr(0, 2) / sha1Of(b)), b);
    EXPECT_TRUE(log.startingWith(L"Загрузка списка ресурсов").empty()); // stored index used
    std::size_t objects = 0;
    for (const auto& entry : fs::recursive_directory_iterator(game / "assets/objects"))
        objects += entry.is_regular_file();
    EXPECT_EQ(objects, 2u);

    writeAll(game / "assets/indexes/t.json", R"({"objects":{"k":{"size":3}}})");
    EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(inst.lastError.rfind(L"Ошибка обработки ресурсов: ", 0), 0u);
}

TEST_F(MinecraftInstallerTest, MissingAssetObjectNamesThePoolError) {
    json index;
    const std::string ghost = sha1Of("ghost");
    index["objects"] = {{"ghost", {{"hash", ghost}, {"size", 5}}}};
    writeAll(game / "assets/indexes/t.json", index.dump());
    store(storedVersion());
    Endpoints endpoints = mirrorEndpoints();
    endpoints.mojangAssets = docUrl("nowhere");
    auto inst = installer(game, TargetPlatform::windowsX64(), endpoints);
    EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {}));
    EXPECT_EQ(inst.lastError, L"Ошибка загрузки ресурсов: " +
                                  wide(docUrl("nowhere") + "/" + ghost.substr(0, 2) + "/" + ghost) +
                                  L" -> HTTP код ответа: 404");
    EXPECT_FALSE(fs::exists(game / "natives"));
}

} // namespace
} // namespace qbk
