#include "game/MinecraftInstaller.h"

#include "platform/Platform.h"
#include "tests/support/Digests.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <gtest/gtest.h>
#include <iterator>
#include <optional>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;
using test::readWholeFile;
using test::writeWholeFile;
const auto sha1Of = test::sha1Hex;
const auto utf8 = platform::wideToUtf8;
class MinecraftInstallerTest : public ::testing::Test {
protected:
    void SetUp() override { serve("client.jar", "client"), serve("index-t", R"({"objects":{}})"); }
    void serve(const std::string& name, const std::string& body) {
        server.get("/doc/" + name,
                   [body](auto&, auto& res, const auto&) { res.set_content(body, "x/y"); });
    }
    std::string doc(const std::string& name) const { return server.url("/doc/" + name); }
    MinecraftInstaller installer(const fs::path& gameDir, const std::string& meta) const {
        Endpoints endpoints = Endpoints::defaults();
        endpoints.mojangMeta = meta;
        endpoints.mojangAssets = doc("objects");
        return {gameDir, gameDir.parent_path() / "runtime", endpoints,
                TargetPlatform::windowsX64()};
    }
    std::string version(json libraries = json::array(), json assetIndex = nullptr) const {
        const json client = {{"url", doc("client.jar")}, {"sha1", sha1Of("client")}, {"size", 6}};
        return json{{"downloads", {{"client", client}}},
                    {"libraries", std::move(libraries)},
                    {"assetIndex", assetIndex.is_null() ? json{{"id", "t"}, {"url", doc("index-t")}}
                                                        : assetIndex}}
            .dump();
    }
    json library(const std::string& path, const std::string& body, const char* os = nullptr) {
        serve(path, body);
        json result = {
            {"name", path},
            {"downloads",
             {{"artifact",
               {{"path", path}, {"url", doc(path)}, {"sha1", sha1Of(body)}, {"size", 3}}}}}};
        if (os)
            result["rules"] = {{{"action", "allow"}, {"os", {{"name", os}}}}};
        return result;
    }
    std::string manifest(const std::string& url, const std::string& sha1) const {
        return json{
            {"versions", {{{"id", "1.20"}}, {{"id", "1.21.1"}, {"url", url}, {"sha1", sha1}}}}}
            .dump();
    }
    test::TestHttpServer server;
    const std::string offline = "http://127.0.0.1:9"; // nothing listens there
    test::TempDir root{"qbk-install"};
    fs::path game = root / "minecraft";
};
// Manifest, version JSON and index fetched and checked; libraries follow the target's rules;
// asset hashes are taken once each, bad ones skipped (nothing written for them, the install
// goes on); a short file is fetched again later.
TEST_F(MinecraftInstallerTest, InstallFollowsRulesChecksAssetHashesAndRepairsAShortFile) {
    const std::string v =
        version({library("mac.jar", "mac", "osx"),
                 library("win.jar", "win", "windows"),
                 {{"name", "c"}, {"downloads", {{"classifiers", json::object()}}}}});
    const std::string a = "asset a", b = "asset b";
    const json index = {{"objects",
                         {{"one", {{"hash", sha1Of(a)}, {"size", a.size()}}},
                          {"two", {{"hash", sha1Of(a)}, {"size", a.size()}}},
                          {"three", {{"hash", sha1Of(b)}}},
                          {"short", {{"hash", "x"}, {"size", 1}}},
                          {"escape", {{"hash", "../../../../etc/passwd"}, {"size", 1}}},
                          {"not-hex", {{"hash", std::string(40, 'g')}}}}}};
    serve("v.json", v);
    serve("index-t", index.dump());
    serve("good/mc/game/version_manifest_v2.json", manifest(doc("v.json"), sha1Of(v)));
    for (const std::string& body : {a, b})
        serve("objects/" + sha1Of(body).substr(0, 2) + "/" + sha1Of(body), body);
    auto inst = installer(game, doc("good"));
    ASSERT_TRUE(inst.EnsureVanilla("1.21.1", {})) << utf8(inst.lastError);
    EXPECT_EQ(inst.stats.filesDownloaded, 3 + 2 + 2);
    EXPECT_EQ(readWholeFile(game / "versions/1.21.1/1.21.1.json"), v);
    EXPECT_EQ(readWholeFile(game / "assets/indexes/t.json"), index.dump());
    EXPECT_EQ(readWholeFile(game / "versions/1.21.1/1.21.1.jar"), "client");
    EXPECT_EQ(readWholeFile(game / "libraries/mac.jar") + readWholeFile(game / "libraries/win.jar"),
              "win");
    EXPECT_TRUE(fs::is_directory(game / "natives"));
    for (const std::string& body : {a, b})
        EXPECT_EQ(readWholeFile(game / "assets/objects" / sha1Of(body).substr(0, 2) / sha1Of(body)),
                  body);
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(game / "assets/objects"), {}), 2 + 2);
    // Offline now: the stored documents serve; the short jar and the asset of unknown size are
    // fetched again, a file of the right size counts as complete.
    writeWholeFile(game / "versions/1.21.1/1.21.1.jar", "clien");
    writeWholeFile(game / "libraries/win.jar", "WIN");
    server.resetCounters();
    auto repair = installer(game, offline);
    ASSERT_TRUE(repair.EnsureVanilla("1.21.1", {})) << utf8(repair.lastError);
    EXPECT_EQ(server.requestsServed(), 2u);
    EXPECT_EQ(readWholeFile(game / "versions/1.21.1/1.21.1.jar") +
                  readWholeFile(game / "libraries/win.jar"),
              "clientWIN");
    EXPECT_EQ(std::pair(repair.stats.filesDownloaded, repair.stats.filesSkipped), std::pair(2, 2));
}
// Each failure names its cause, writes no document it could not check, leaves the stored
// one as it was, nothing outside the game folder, and no natives folder of a finished run.
TEST_F(MinecraftInstallerTest, BrokenInputsFailWithTheirMessageAndWriteNothingUnchecked) {
    const std::string ghost = sha1Of("ghost"), ghostPath = ghost.substr(0, 2) + "/" + ghost;
    serve("v.json", "{}");
    serve("meta/mc/game/version_manifest_v2.json", manifest(doc("v.json"), sha1Of("x")));
    serve("bad/mc/game/version_manifest_v2.json", R"({"latest":{}})");
    const json badIndex = {{"id", "bad"}, {"url", doc("index-t")}, {"sha1", sha1Of("x")}};
    serve("none/mc/game/version_manifest_v2.json", R"({"versions":[{"id":"1.20"}]})");
    json tampered = library("x/lib.jar", "TAM"); // the right size, other bytes
    tampered["downloads"]["artifact"]["sha1"] = sha1Of("tam");
    const std::string& no = offline;
    const std::optional<std::string> none;
    struct Broken {
        std::string meta;
        std::optional<std::string> stored;
        std::string index, error, absent = {};
        int fetched = -1; // the documents and files fetched, where it tells the tries
    };
    std::vector<Broken> cases = {
        {no, "{\"id\": ", "", "Битый JSON версии: [json.exception"},
        {no, "", "",
         "Не удалось прочитать " + (game / "versions" / "1.21.1" / "1.21.1.json").string()},
        {no, R"({"libraries":[]})", "", "Неожиданная структура JSON версии: "},
        {no, version({}, {{"id", "../../escape"}}), "",
         "Ошибка обработки ресурсов: ", "escape.json"},
        {no, version({}, badIndex), "",
         "Не удалось скачать индекс ресурсов: ", "assets/indexes/bad.json", 1 + 3},
        {no, version({tampered}), "", "Ошибка загрузки Minecraft: " + doc("x/lib.jar"),
         "libraries/x/lib.jar"},
        {no, version(), R"({"objects":{"k":{"size":3}}})", "Ошибка обработки ресурсов: "},
        {no, version(), json{{"objects", {{"g", {{"hash", ghost}, {"size", 5}}}}}}.dump(),
         "Ошибка загрузки ресурсов: " + doc("objects/" + ghostPath) + " -> HTTP код ответа: 404",
         "assets/objects/" + ghostPath},
        {no, none, "", "Не удалось получить список версий Minecraft: "},
        {doc("none"), none, "", "Версия 1.21.1 не найдена у Mojang."},
        {doc("bad"), none, "", "Некорректный список версий: "},
        {doc("meta"), none, "",
         "Не удалось скачать описание версии: SHA-1 " + sha1Of("{}") + " вместо " + sha1Of("x"), "",
         1 + 3},
    };
    for (const std::string path :
         {"../../evil.jar", "/tmp/evil.jar", "C:/evil.jar", "a/../../evil.jar", "a\\..\\..\\e.jar"})
        cases.push_back({no, version({library(path, "e")}), "",
                         "Недопустимый путь библиотеки в JSON версии: \"" + path + "\"",
                         "evil.jar"});
    for (const auto& c : cases) {
        fs::remove_all(game);
        const fs::path stored = game / "versions/1.21.1/1.21.1.json";
        if (c.stored)
            writeWholeFile(stored, *c.stored);
        if (!c.index.empty())
            writeWholeFile(game / "assets/indexes/t.json", c.index);
        auto inst = installer(game, c.meta);
        EXPECT_FALSE(inst.EnsureVanilla("1.21.1", {})) << c.error;
        EXPECT_EQ(utf8(inst.lastError).rfind(c.error, 0), 0u) << utf8(inst.lastError);
        EXPECT_EQ(fs::exists(stored) ? readWholeFile(stored) : "none", c.stored.value_or("none"));
        EXPECT_FALSE(fs::exists(game / "natives") ||
                     (!c.absent.empty() && fs::exists(game / c.absent)))
            << c.error;
        EXPECT_LE(std::distance(fs::directory_iterator(root.path()), {}), 1) << c.error;
        EXPECT_TRUE(c.fetched < 0 || inst.stats.filesDownloaded == c.fetched) << c.error;
    }
}
} // namespace
} // namespace qbk
