#include "game/MinecraftInstaller.h"

#include "platform/Digest.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::readWholeFile;
using test::TestHttpServer;
using test::writeWholeFile;

std::string sha1Of(const std::string& bytes) {
    platform::Digest digest(platform::HashAlgorithm::Sha1);
    digest.update(bytes);
    return digest.finishHex();
}

std::wstring wide(const std::string& utf8) {
    return platform::utf8ToWide(utf8);
}

// Small version JSONs of the tests' own, served by a loopback server below /doc.
class MinecraftInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        serve("client.jar", "client");
        serve("index-t", R"({"objects":{}})");
    }
    void serve(const std::string& name, const std::string& body) {
        server.get("/doc/" + name, [body](const httplib::Request&, httplib::Response& res,
                                          const auto&) { res.set_content(body, "x/y"); });
    }
    std::string docUrl(const std::string& name) const { return server.url("/doc/" + name); }
    MinecraftInstaller installer(const fs::path& gameDir, const std::string& meta) const {
        Endpoints endpoints = Endpoints::defaults();
        endpoints.mojangMeta = meta;
        endpoints.mojangAssets = docUrl("objects");
        return MinecraftInstaller(gameDir, gameDir.parent_path() / "runtime", endpoints,
                                  TargetPlatform::windowsX64());
    }
    json smallVersion(json libraries = json::array()) const {
        return {{"downloads",
                 {{"client",
                   {{"url", docUrl("client.jar")}, {"sha1", sha1Of("client")}, {"size", 6}}}}},
                {"libraries", std::move(libraries)},
                {"assetIndex", {{"id", "t"}, {"url", docUrl("index-t")}}}};
    }
    static json library(const std::string& path, const std::string& url, const std::string& body) {
        return {
            {"name", path},
            {"downloads",
             {{"artifact",
               {{"path", path}, {"url", url}, {"sha1", sha1Of(body)}, {"size", body.size()}}}}}};
    }

    TestHttpServer server;
    const std::string offline = "http://127.0.0.1:9"; // nothing listens there
    test::TempDir root{"qbk-install"};
    fs::path game = root / "minecraft";
};

// Manifest, version JSON and index fetched and checked; libraries follow the target's rules;
// asset hashes are taken once each, bad ones skipped; a short file is fetched again later.
TEST_F(MinecraftInstallerTest, InstallFollowsRulesChecksAssetHashesAndRepairsAShortFile) {
    json mac = library("mac/only.jar", docUrl("mac.jar"), "mac");
    mac["rules"] = json::parse(R"([{"action":"allow","os":{"name":"osx"}}])");
    json win = library("win/only.jar", docUrl("win.jar"), "win");
    win["rules"] = json::parse(R"([{"action":"allow","os":{"name":"windows"}}])");
    const json noArtifact = {{"name", "c"}, {"downloads", {{"classifiers", json::object()}}}};
    const std::string version = smallVersion({mac, win, noArtifact}).dump();
    const std::string a = "asset a", b = "asset b";
    const json index = {{"objects",
                         {{"one", {{"hash", sha1Of(a)}, {"size", a.size()}}},
                          {"two", {{"hash", sha1Of(a)}, {"size", a.size()}}},
                          {"three", {{"hash", sha1Of(b)}}},
                          {"short", {{"hash", "x"}, {"size", 1}}},
                          {"escape", {{"hash", "../../../../etc/passwd"}, {"size", 1}}},
                          {"not-hex", {{"hash", std::string(40, 'g')}}}}}};
    for (const auto& [name, body] : std::map<std::string, std::string>{
             {"mac.jar", "mac"},
             {"win.jar", "win"},
             {"v.json", version},
             {"index-t", index.dump()},
             {"good/mc/game/version_manifest_v2.json",
              json{{"versions",
                    {{{"id", "1.20"}},
                     {{"id", "1.21.1"}, {"url", docUrl("v.json")}, {"sha1", sha1Of(version)}}}}}
                  .dump()},
             {"objects/" + sha1Of(a).substr(0, 2) + "/" + sha1Of(a), a},
             {"objects/" + sha1Of(b).substr(0, 2) + "/" + sha1Of(b), b}})
        serve(name, body);
    auto inst = installer(game, docUrl("good"));
    std::ostringstream diagnostics;
    std::streambuf* const standardError = std::cerr.rdbuf(diagnostics.rdbuf());
    std::mutex mutex; // the pool reports from its threads
    std::multiset<std::pair<std::string, int>> statuses;
    const bool installed = inst.EnsureVanilla("1.21.1", [&](const std::wstring& text, int percent) {
        std::lock_guard lock(mutex);
        statuses.insert({platform::wideToUtf8(text), percent});
    });
    std::cerr.rdbuf(standardError);
    ASSERT_TRUE(installed) << platform::wideToUtf8(inst.lastError);
    EXPECT_EQ(statuses, (std::multiset<std::pair<std::string, int>>{
                            {"Получение списка версий Minecraft...", 0},
                            {"Загрузка описания версии 1.21.1...", 3},
                            {"Скачивание Minecraft 1.21.1...", 5},
                            {"Скачивание библиотек Minecraft (1/2)", 15},
                            {"Скачивание библиотек Minecraft (2/2)", 25},
                            {"Загрузка списка ресурсов...", 26},
                            {"Скачивание ресурсов игры (2 файлов)...", 27},
                            {"Скачивание ресурсов игры (2/2)", 65}}));
    EXPECT_EQ(inst.stats.filesDownloaded, 3 + 2 + 2);
    EXPECT_EQ(readWholeFile(game / "versions/1.21.1/1.21.1.json"), version);
    EXPECT_EQ(readWholeFile(game / "assets/indexes/t.json"), index.dump());
    EXPECT_EQ(readWholeFile(game / "versions/1.21.1/1.21.1.jar"), "client");
    EXPECT_FALSE(fs::exists(game / "libraries/mac/only.jar"));
    EXPECT_EQ(readWholeFile(game / "libraries/win/only.jar"), "win");
    EXPECT_TRUE(fs::is_directory(game / "natives"));
    for (const std::string& body : {a, b})
        EXPECT_EQ(readWholeFile(game / "assets/objects" / sha1Of(body).substr(0, 2) / sha1Of(body)),
                  body);
    EXPECT_EQ(std::count_if(fs::recursive_directory_iterator(game / "assets/objects"), {},
                            [](const fs::directory_entry& e) { return e.is_regular_file(); }),
              2);
    const std::string lines = diagnostics.str();
    EXPECT_NE(lines.find("[Minecraft] Пропущен ресурс с некорректным хешем: escape ("),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("хешем: not-hex ("), std::string::npos) << lines;
    EXPECT_EQ(lines.find("short"), std::string::npos) << lines; // too short: silently

    // Offline now: the stored documents serve; the short jar and the asset of unknown size are
    // fetched again, a file of the right size counts as complete.
    writeWholeFile(game / "versions/1.21.1/1.21.1.jar", "clien");
    writeWholeFile(game / "libraries/win/only.jar", "WIN");
    server.resetCounters();
    auto repair = installer(game, offline);
    ASSERT_TRUE(repair.EnsureVanilla("1.21.1", {})) << platform::wideToUtf8(repair.lastError);
    EXPECT_EQ(server.requestsServed(), 2u);
    EXPECT_EQ(readWholeFile(game / "versions/1.21.1/1.21.1.jar"), "client");
    EXPECT_EQ(readWholeFile(game / "libraries/win/only.jar"), "WIN");
    EXPECT_EQ(repair.stats.filesDownloaded, 2);
    EXPECT_EQ(repair.stats.filesSkipped, 2);
}

// Each failure names its cause, writes no document it could not check, leaves the stored
// one as it was, nothing outside the game folder, and no natives folder of a finished run.
TEST_F(MinecraftInstallerTest, BrokenInputsFailWithTheirMessageAndWriteNothingUnchecked) {
    const auto stored = [this](const std::function<void(json&)>& edit) {
        json v = smallVersion();
        edit(v);
        return std::optional<std::string>(v.dump());
    };
    const std::string ghost = sha1Of("ghost");
    serve("index-bad", R"({"objects":{}})");
    serve("tampered.jar", "tampere"); // same length as "genuine", other bytes
    serve("v.json", "{}");
    serve("meta/mc/game/version_manifest_v2.json",
          json{{"versions", {{{"id", "1.21.1"}, {"url", docUrl("v.json")}, {"sha1", sha1Of("x")}}}}}
              .dump());
    serve("bad/mc/game/version_manifest_v2.json", R"({"latest":{}})");
    struct Broken {
        std::string version, meta;
        std::optional<std::string> stored;
        std::string index;
        std::wstring error;
        std::string absent;
    };
    std::vector<Broken> cases = {
        {"1.21.1", offline, "{\"id\": ", "", L"Битый JSON версии: [json.exception", ""},
        {"1.21.1", offline, "", "", L"Не удалось прочитать ", ""}, // the path follows
        {"1.21.1", offline, R"({"libraries":[]})", "", L"Неожиданная структура JSON версии: ", ""},
        {"1.21.1", offline, stored([](json& v) { v["assetIndex"]["id"] = "../../escape"; }), "",
         L"Ошибка обработки ресурсов: ", "escape.json"},
        {"1.21.1", offline, stored([this](json& v) {
             v["assetIndex"] = {{"id", "bad"}, {"url", docUrl("index-bad")}, {"sha1", sha1Of("x")}};
         }),
         "", L"Не удалось скачать индекс ресурсов: ", "assets/indexes/bad.json"},
        {"1.21.1", offline, stored([this](json& v) {
             v["libraries"] = {library("x/lib.jar", docUrl("tampered.jar"), "genuine")};
         }),
         "", L"Ошибка загрузки Minecraft: " + wide(docUrl("tampered.jar")) + L" -> ",
         "libraries/x/lib.jar"},
        {"1.21.1", offline, stored([](json&) {}), R"({"objects":{"k":{"size":3}}})",
         L"Ошибка обработки ресурсов: ", ""},
        {"1.21.1", offline, stored([](json&) {}),
         json{{"objects", {{"ghost", {{"hash", ghost}, {"size", 5}}}}}}.dump(),
         L"Ошибка загрузки ресурсов: " +
             wide(docUrl("objects") + "/" + ghost.substr(0, 2) + "/" + ghost) +
             L" -> HTTP код ответа: 404",
         "assets/objects/" + ghost.substr(0, 2) + "/" + ghost},
        {"1.21.1", offline, {}, "", L"Не удалось получить список версий Minecraft: ", ""},
        {"9.9.9", docUrl("meta"), {}, "", L"Версия 9.9.9 не найдена у Mojang.", ""},
        {"1.21.1", docUrl("bad"), {}, "", L"Некорректный список версий: ", ""},
        {"1.21.1",
         docUrl("meta"),
         {},
         "",
         wide("Не удалось скачать описание версии: SHA-1 " + sha1Of("{}") + " вместо " +
              sha1Of("x")),
         ""},
    };
    for (const std::string path :
         {"../../evil.jar", "/tmp/evil.jar", "C:/evil.jar", "a/../../evil.jar", "a\\..\\..\\e.jar"})
        cases.push_back(
            {"1.21.1", offline,
             stored([&](json& v) { v["libraries"] = {library(path, docUrl("e"), "e")}; }), "",
             L"Недопустимый путь библиотеки в JSON версии: \"" + wide(path) + L"\"", "evil.jar"});
    for (const auto& c : cases) {
        test::TempDir dir("qbk-broken");
        const fs::path gameDir = dir / "minecraft";
        const fs::path storedPath = gameDir / "versions" / c.version / (c.version + ".json");
        if (c.stored)
            writeWholeFile(storedPath, *c.stored);
        if (!c.index.empty())
            writeWholeFile(gameDir / "assets/indexes/t.json", c.index);
        auto inst = installer(gameDir, c.meta);
        const std::string what = platform::wideToUtf8(c.error);
        EXPECT_FALSE(inst.EnsureVanilla(c.version, {})) << what;
        const std::wstring error = c.error == L"Не удалось прочитать "
                                       ? c.error + wide(platform::pathToUtf8(storedPath))
                                       : c.error;
        EXPECT_EQ(inst.lastError.rfind(error, 0), 0u) << platform::wideToUtf8(inst.lastError);
        EXPECT_EQ(readWholeFile(storedPath), c.stored.value_or("")) << what;
        EXPECT_EQ(fs::exists(storedPath), c.stored.has_value()) << what;
        EXPECT_FALSE(fs::exists(gameDir / "natives")) << what;
        EXPECT_FALSE(!c.absent.empty() && fs::exists(gameDir / c.absent)) << what;
        EXPECT_LE(std::distance(fs::directory_iterator(dir.path()), {}), 1) << what; // minecraft
    }
}

} // namespace
} // namespace qbk
