#include "mods/ModSyncJob.h"
#include "platform/Digest.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::TempDir;
using test::TestHttpServer;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string sha256Of(const std::string& bytes) {
    platform::Digest digest(platform::HashAlgorithm::Sha256);
    digest.update(bytes);
    return digest.finishHex();
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// A server with a mutable manifest and mod files; counts the requests per mod. The mods
// folder has a Cyrillic name, as a player's launcher folder may.
class ModSyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.get("/api/mods",
                   [this](const httplib::Request&, httplib::Response& response, const auto&) {
                       std::lock_guard lock(mutex);
                       response.status = manifestStatus;
                       response.set_content(manifestBody, "application/json");
                   });
        server.get("/files/(.+)", [this](const httplib::Request&, httplib::Response& response,
                                         const std::smatch& match) {
            std::lock_guard lock(mutex);
            const std::string name = match[1];
            ++requests[name];
            const auto it = files.find(name);
            if (it == files.end()) {
                response.status = 404;
                response.set_content("missing", "text/plain");
                return;
            }
            response.set_content(it->second, "application/java-archive");
        });
    }

    ModSyncJob job() {
        return ModSyncJob(
            server.url("/api/mods"), modsDir, [this](LogStream stream, const std::wstring& text) {
                std::lock_guard lock(mutex);
                (stream == LogStream::Output ? out : err) += platform::wideToUtf8(text);
            });
    }

    ModManifestEntry entry(const std::string& name, const std::string& content,
                           std::string sha256 = {}) {
        files[name] = content;
        return {name, server.url("/files/" + name), content.size(), std::move(sha256)};
    }

    void setManifest(const std::string& body, int status = 200) {
        std::lock_guard lock(mutex);
        manifestBody = body;
        manifestStatus = status;
    }

    TestHttpServer server;
    TempDir root{"qbk-mods"};
    fs::path modsDir = root / platform::pathFromUtf8("Лаунчер") / "minecraft" / "mods";
    std::mutex mutex;
    std::string manifestBody;
    int manifestStatus = 200;
    std::map<std::string, std::string> files;
    std::map<std::string, int> requests;
    std::string out, err;
};

TEST_F(ModSyncTest, FetchKeepsManifestOrderDefaultsAndDuplicatesAndDropsIncompleteElements) {
    setManifest(R"({"mods": [
        {"fileName": "b.jar", "url": "http://h/b", "sizeBytes": 12, "sha256": "x", "extra": 1},
        {"fileName": "a.jar", "url": "http://h/a"},
        {"fileName": "", "url": "http://h/empty"},
        {"url": "http://h/noname"},
        {"fileName": "nourl.jar"},
        {"fileName": "b.jar", "url": "http://h/b2", "sizeBytes": 18446744073709551615}
    ], "other": true})");
    std::vector<ModManifestEntry> entries = {{"stale.jar", "u", 1, ""}};
    ASSERT_TRUE(job().fetchModManifest(entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].fileName, "b.jar");
    EXPECT_EQ(entries[0].url, "http://h/b");
    EXPECT_EQ(entries[0].sizeBytes, 12u);
    EXPECT_EQ(entries[0].sha256, "x");
    EXPECT_EQ(entries[1].fileName, "a.jar");
    EXPECT_EQ(entries[1].sizeBytes, 0u);
    EXPECT_EQ(entries[1].sha256, "");
    EXPECT_EQ(entries[2].url, "http://h/b2");
    EXPECT_EQ(entries[2].sizeBytes, 18446744073709551615ull);
    EXPECT_TRUE(err.empty()) << err;
}

TEST_F(ModSyncTest, FetchOfAnEmptyListSucceedsAndSyncLogsZero) {
    setManifest(R"({"mods": []})");
    std::vector<ModManifestEntry> entries;
    auto sync = job();
    ASSERT_TRUE(sync.fetchModManifest(entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(sync.syncMods(entries), 0);
    EXPECT_EQ(out, "[Mods] Синхронизация завершена, скачано файлов: 0\n");
    EXPECT_TRUE(fs::is_directory(modsDir));
}

TEST_F(ModSyncTest, ManifestThatIsUnavailableOrNotJsonGivesFalseWithItsLogLine) {
    std::vector<ModManifestEntry> entries;
    setManifest("oops", 503);
    EXPECT_FALSE(job().fetchModManifest(entries));
    EXPECT_EQ(err.rfind("[Mods] Не удалось скачать манифест: ", 0), 0u) << err;

    err.clear();
    setManifest("{\"mods\": [");
    EXPECT_FALSE(job().fetchModManifest(entries));
    EXPECT_EQ(err.rfind("[Mods] Манифест содержит некорректный JSON: ", 0), 0u) << err;

    err.clear();
    setManifest(R"({"mods": [] /* comment */})");
    EXPECT_FALSE(job().fetchModManifest(entries)) << "comments are not JSON";
    EXPECT_EQ(err.rfind("[Mods] Манифест содержит некорректный JSON: ", 0), 0u) << err;

    // The JSON library throws out_of_range, not parse_error, for a number past a double.
    err.clear();
    setManifest(R"({"mods": [{"fileName": "a.jar", "url": "http://h/a", "sizeBytes": 1E400}]})");
    EXPECT_FALSE(job().fetchModManifest(entries));
    EXPECT_EQ(err.rfind("[Mods] Манифест содержит некорректный JSON: ", 0), 0u) << err;
}

TEST_F(ModSyncTest, ValidJsonOfTheWrongShapeCountsAsUnavailable) {
    const std::vector<std::string> bodies = {
        R"([])",
        R"("mods")",
        R"({})",
        R"({"mods": {}})",
        R"({"mods": ["a.jar"]})",
        R"({"mods": [{"fileName": 5, "url": "http://h/a"}]})",
        R"({"mods": [{"fileName": "a.jar", "url": null}]})",
        R"({"mods": [{"fileName": "a.jar", "url": "http://h/a", "sha256": 7}]})",
        R"({"mods": [{"fileName": "a.jar", "url": "http://h/a", "sizeBytes": "12"}]})",
        R"({"mods": [{"fileName": "a.jar", "url": "http://h/a", "sizeBytes": -1}]})",
        R"({"mods": [{"fileName": "a.jar", "url": "http://h/a", "sizeBytes": 1.5}]})",
    };
    for (const auto& body : bodies) {
        err.clear();
        setManifest(body);
        std::vector<ModManifestEntry> entries = {{"stale.jar", "u", 1, ""}};
        EXPECT_FALSE(job().fetchModManifest(entries)) << body;
        EXPECT_TRUE(entries.empty()) << body;
        EXPECT_EQ(err.rfind("[Mods] Манифест неожиданного формата: ", 0), 0u) << body << err;
    }
}

TEST_F(ModSyncTest, DownloadsMissingAndResizedFilesAndJudgesPresentOnesBySizeAlone) {
    const auto missing = entry("missing.jar", "new mod bytes");
    const auto sameSize = entry("same-size.jar", "server bytes");
    const auto longer = entry("longer.jar", "server bytes");
    writeFile(modsDir / "same-size.jar", "local bytes!"); // same length, other content
    writeFile(modsDir / "longer.jar", "server bytes!");
    writeFile(modsDir / "extra.jar", "not in the manifest");

    auto sync = job();
    EXPECT_EQ(sync.syncMods({missing, sameSize, longer}), 2);
    EXPECT_EQ(readFile(modsDir / "missing.jar"), "new mod bytes");
    EXPECT_EQ(readFile(modsDir / "same-size.jar"), "local bytes!");
    EXPECT_EQ(readFile(modsDir / "longer.jar"), "server bytes");
    EXPECT_EQ(readFile(modsDir / "extra.jar"), "not in the manifest");
    EXPECT_EQ(requests["same-size.jar"], 0);
    EXPECT_EQ(out, "[Mods] Скачиваю: missing.jar (отсутствует)\n"
                   "[Mods] Скачиваю: longer.jar (устарел)\n"
                   "[Mods] Синхронизация завершена, скачано файлов: 2\n");
    EXPECT_FALSE(fs::exists(modsDir / "missing.jar.part"));

    out.clear();
    EXPECT_EQ(sync.syncMods({missing, sameSize, longer}), 0);
    EXPECT_EQ(requests["missing.jar"], 1);
    EXPECT_EQ(requests["longer.jar"], 1);
}

TEST_F(ModSyncTest, EntryWithoutSizeIsFetchedOnEveryRunUnlessTheLocalFileIsEmpty) {
    auto unsized = entry("unsized.jar", "content");
    unsized.sizeBytes = 0;
    auto sync = job();
    EXPECT_EQ(sync.syncMods({unsized}), 1);
    EXPECT_EQ(sync.syncMods({unsized}), 1);
    EXPECT_EQ(requests["unsized.jar"], 2);
    writeFile(modsDir / "unsized.jar", "");
    EXPECT_EQ(sync.syncMods({unsized}), 0);
}

TEST_F(ModSyncTest, UnsafeFileNamesAreSkippedWithALogLineAndNeverWritten) {
    files["evil"] = "payload";
    const std::string url = server.url("/files/evil");
    const std::vector<ModManifestEntry> entries = {
        {"../escape.jar", url, 7, ""},  {"sub/nested.jar", url, 7, ""},
        {"..\\escape.jar", url, 7, ""}, {"C:evil.jar", url, 7, ""},
        {"NUL.jar", url, 7, ""},        {"con", url, 7, ""},
        entry("fine.jar", "fine")};
    EXPECT_EQ(job().syncMods(entries), 1);
    EXPECT_EQ(requests["evil"], 0);
    EXPECT_EQ(readFile(modsDir / "fine.jar"), "fine");
    EXPECT_FALSE(fs::exists(modsDir.parent_path() / "escape.jar"));
    EXPECT_FALSE(fs::exists(modsDir / "sub"));
    std::size_t skipped = 0;
    for (auto at = err.find("[Mods] Пропускаю мод с недопустимым именем файла: ");
         at != std::string::npos;
         at = err.find("[Mods] Пропускаю мод с недопустимым именем файла: ", at + 1))
        ++skipped;
    EXPECT_EQ(skipped, 6u) << err;
    EXPECT_NE(err.find("../escape.jar"), std::string::npos);
    std::vector<std::string> left;
    for (const auto& item : fs::directory_iterator(modsDir))
        left.push_back(item.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"fine.jar"});
}

TEST_F(ModSyncTest, Sha256IsCheckedCaseInsensitivelyAndAMismatchKeepsTheOldFile) {
    const auto good = entry("good.jar", "good bytes", upper(sha256Of("good bytes")));
    auto bad = entry("bad.jar", "server bytes", sha256Of("other bytes"));
    const auto after = entry("after.jar", "after");
    writeFile(modsDir / "bad.jar", "old");

    EXPECT_EQ(job().syncMods({good, bad, after}), -1);
    EXPECT_EQ(readFile(modsDir / "good.jar"), "good bytes");
    EXPECT_EQ(readFile(modsDir / "bad.jar"), "old");
    EXPECT_FALSE(fs::exists(modsDir / "bad.jar.part"));
    EXPECT_FALSE(fs::exists(modsDir / "after.jar"));
    EXPECT_EQ(requests["after.jar"], 0);
    EXPECT_EQ(err.rfind("[Mods] Ошибка скачивания bad.jar: ", 0), 0u) << err;
    EXPECT_NE(err.find("SHA-256"), std::string::npos) << err;
}

TEST_F(ModSyncTest, Sha256OfAnotherFormIsLoggedAndIgnored) {
    const auto shortHash = entry("short.jar", "bytes", "abc123");
    const auto notHex = entry("nothex.jar", "bytes", std::string(64, 'g'));
    EXPECT_EQ(job().syncMods({shortHash, notHex}), 2);
    EXPECT_EQ(readFile(modsDir / "short.jar"), "bytes");
    EXPECT_EQ(readFile(modsDir / "nothex.jar"), "bytes");
    EXPECT_NE(err.find("[Mods] У short.jar поле sha256 не является SHA-256, проверка "
                       "пропущена: abc123\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("nothex.jar"), std::string::npos) << err;
}

TEST_F(ModSyncTest, FailedDownloadStopsTheSyncAndLeavesNoPartFile) {
    const auto first = entry("first.jar", "first");
    const ModManifestEntry second{"second.jar", server.url("/files/absent.jar"), 10, ""};
    const auto third = entry("third.jar", "third");
    EXPECT_EQ(job().syncMods({first, second, third}), -1);
    EXPECT_EQ(readFile(modsDir / "first.jar"), "first");
    EXPECT_FALSE(fs::exists(modsDir / "second.jar"));
    EXPECT_FALSE(fs::exists(modsDir / "second.jar.part"));
    EXPECT_EQ(requests["third.jar"], 0);
    EXPECT_EQ(err.rfind("[Mods] Ошибка скачивания second.jar: ", 0), 0u) << err;
    EXPECT_EQ(out.find("Синхронизация завершена"), std::string::npos);
}

TEST_F(ModSyncTest, TargetThatCannotBeReplacedStaysAndTheSyncFails) {
    const auto locked = entry("locked.jar", "new bytes");
    writeFile(modsDir / "locked.jar" / "held.txt", "in use"); // a folder cannot be renamed over
    EXPECT_EQ(job().syncMods({locked}), -1);
    EXPECT_EQ(readFile(modsDir / "locked.jar" / "held.txt"), "in use");
    EXPECT_FALSE(fs::exists(modsDir / "locked.jar.part"));
    EXPECT_EQ(err.rfind("[Mods] Ошибка скачивания locked.jar: ", 0), 0u) << err;
}

TEST_F(ModSyncTest, FetchAndSyncFromTheServerEndToEnd) {
    const auto one = entry("Кириллица.jar", "cyrillic mod", sha256Of("cyrillic mod"));
    setManifest(json{{"mods", json::array({{{"fileName", one.fileName},
                                            {"url", one.url},
                                            {"sizeBytes", one.sizeBytes},
                                            {"sha256", one.sha256}}})}}
                    .dump());
    auto sync = job();
    std::vector<ModManifestEntry> entries;
    ASSERT_TRUE(sync.fetchModManifest(entries));
    EXPECT_EQ(sync.syncMods(entries), 1);
    EXPECT_EQ(readFile(modsDir / platform::pathFromUtf8("Кириллица.jar")), "cyrillic mod");
}

} // namespace
} // namespace qbk
