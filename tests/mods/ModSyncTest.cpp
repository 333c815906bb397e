#include "mods/ModSyncJob.h"
#include "platform/Digest.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::readWholeFile;
using test::writeWholeFile;

std::string sha256Of(const std::string& bytes) {
    platform::Digest digest(platform::HashAlgorithm::Sha256);
    digest.update(bytes);
    return digest.finishHex();
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A server with a mutable manifest and mod files, counting the requests per file, and a mods
// folder below a Cyrillic name, as a player's launcher folder may be.
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
            ++requests[match[1]];
            const auto it = files.find(match[1]);
            response.status = it == files.end() ? 404 : 200;
            response.set_content(it == files.end() ? "missing" : it->second,
                                 "application/java-archive");
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
    bool fetch(const std::string& body, std::vector<ModManifestEntry>& entries, int status = 200) {
        {
            std::lock_guard lock(mutex);
            manifestBody = body;
            manifestStatus = status;
        }
        err.clear();
        entries = {{"stale.jar", "u", 1, ""}};
        return job().fetchModManifest(entries);
    }

    test::TestHttpServer server;
    test::TempDir root{"qbk-mods"};
    fs::path modsDir = root / platform::pathFromUtf8("Лаунчер") / "minecraft" / "mods";
    std::mutex mutex;
    std::string manifestBody;
    int manifestStatus = 200;
    std::map<std::string, std::string> files;
    std::map<std::string, int> requests;
    std::string out, err;
};

TEST_F(ModSyncTest, FetchKeepsOrderDefaultsAndDuplicatesAndDropsIncompleteElements) {
    std::vector<ModManifestEntry> entries;
    ASSERT_TRUE(fetch(R"({"mods": [
        {"fileName": "b.jar", "url": "http://h/b", "sizeBytes": 12, "sha256": "x", "extra": 1},
        {"fileName": "a.jar", "url": "http://h/a"}, {"fileName": "", "url": "http://h/empty"},
        {"url": "http://h/noname"}, {"fileName": "nourl.jar"},
        {"fileName": "b.jar", "url": "http://h/b2", "sizeBytes": 18446744073709551615}], "other": 1})",
                      entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].fileName + entries[0].url + entries[0].sha256, "b.jarhttp://h/bx");
    EXPECT_EQ(entries[0].sizeBytes, 12u);
    EXPECT_EQ(entries[1].fileName + entries[1].sha256, "a.jar");
    EXPECT_EQ(entries[1].sizeBytes, 0u);
    EXPECT_EQ(entries[2].url, "http://h/b2");
    EXPECT_EQ(entries[2].sizeBytes, 18446744073709551615ull);
    EXPECT_TRUE(err.empty()) << err;
    ASSERT_TRUE(fetch(R"({"mods": []})", entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(ModSyncTest, UnavailableInvalidOrMisshapenManifestGivesFalseWithItsLogLine) {
    const std::string notJson = "[Mods] Манифест содержит некорректный JSON: ";
    const std::string shape = "[Mods] Манифест неожиданного формата: ";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"oops", "[Mods] Не удалось скачать манифест: "}, // served with 503
        {"{\"mods\": [", notJson},
        {R"({"mods": [] /* comment */})", notJson},
        // The JSON library throws out_of_range, not parse_error, for a number past a double.
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sizeBytes": 1E400}]})", notJson},
        {"[]", shape},
        {R"("mods")", shape},
        {"{}", shape},
        {R"({"mods": {}})", shape},
        {R"({"mods": ["a.jar"]})", shape},
        {R"({"mods": [{"fileName": 5, "url": "u"}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": null}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sha256": 7}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sizeBytes": "12"}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sizeBytes": -1}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sizeBytes": 1.5}]})", shape},
    };
    for (const auto& [body, line] : cases) {
        std::vector<ModManifestEntry> entries;
        EXPECT_FALSE(fetch(body, entries, body == "oops" ? 503 : 200)) << body;
        EXPECT_TRUE(entries.empty()) << body;
        EXPECT_EQ(err.rfind(line, 0), 0u) << body << err;
    }
}

TEST_F(ModSyncTest, DownloadsMissingAndResizedModsJudgesBySizeAndKeepsThePlayersOwn) {
    const auto missing = entry("Кириллица.jar", "new mod bytes", sha256Of("new mod bytes"));
    const auto sameSize = entry("same-size.jar", "server bytes");
    const auto longer = entry("longer.jar", "server bytes");
    auto unsized = entry("unsized.jar", "content");
    unsized.sizeBytes = 0;
    writeWholeFile(modsDir / "same-size.jar", "local bytes!"); // same length, other content
    writeWholeFile(modsDir / "longer.jar", "server bytes!");
    writeWholeFile(modsDir / "extra.jar", "not in the manifest");

    auto sync = job();
    EXPECT_EQ(sync.syncMods({missing, sameSize, longer}), 2);
    EXPECT_EQ(readWholeFile(modsDir / platform::pathFromUtf8("Кириллица.jar")), "new mod bytes");
    EXPECT_EQ(readWholeFile(modsDir / "same-size.jar"), "local bytes!");
    EXPECT_EQ(readWholeFile(modsDir / "longer.jar"), "server bytes");
    EXPECT_EQ(readWholeFile(modsDir / "extra.jar"), "not in the manifest");
    EXPECT_EQ(requests["same-size.jar"], 0);
    EXPECT_EQ(out, "[Mods] Скачиваю: Кириллица.jar (отсутствует)\n"
                   "[Mods] Скачиваю: longer.jar (устарел)\n"
                   "[Mods] Синхронизация завершена, скачано файлов: 2\n");
    EXPECT_EQ(sync.syncMods({missing, sameSize, longer}), 0);
    EXPECT_EQ(requests["Кириллица.jar"] + requests["longer.jar"], 2);
    // Without a size the entry is fetched on every run, unless the local file is empty.
    EXPECT_EQ(sync.syncMods({unsized}), 1);
    EXPECT_EQ(sync.syncMods({unsized}), 1);
    writeWholeFile(modsDir / "unsized.jar", "");
    EXPECT_EQ(sync.syncMods({unsized}), 0);
    EXPECT_EQ(sync.syncMods({}), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(modsDir), fs::directory_iterator()), 5);
}

TEST_F(ModSyncTest, UnsafeFileNamesAreSkippedWithALogLineAndNeverWritten) {
    files["evil"] = "payload";
    const std::string url = server.url("/files/evil");
    std::vector<ModManifestEntry> entries;
    for (const char* name :
         {"../escape.jar", "sub/nested.jar", "..\\escape.jar", "C:evil.jar", "NUL.jar", "con"})
        entries.push_back({name, url, 7, ""});
    entries.push_back(entry("fine.jar", "fine"));
    EXPECT_EQ(job().syncMods(entries), 1);
    EXPECT_EQ(requests["evil"], 0);
    EXPECT_EQ(count(err, "[Mods] Пропускаю мод с недопустимым именем файла: "), 6u) << err;
    EXPECT_NE(err.find("../escape.jar"), std::string::npos);
    EXPECT_FALSE(fs::exists(modsDir.parent_path() / "escape.jar"));
    EXPECT_EQ(fs::directory_iterator(modsDir)->path().filename(), "fine.jar");
    EXPECT_EQ(std::distance(fs::directory_iterator(modsDir), fs::directory_iterator()), 1);
}

// A file that fails its check, fails to arrive or cannot replace the old one stops the sync:
// the old file stays, no ".part" is left, and the entries after it are not asked for.
TEST_F(ModSyncTest, AFailedEntryKeepsTheOldFileAndStopsTheSync) {
    std::string upper = sha256Of("good bytes"); // the case of the hex digits does not matter
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    const auto good = entry("good.jar", "good bytes", upper);
    const std::vector<std::pair<ModManifestEntry, std::string>> failing = {
        {entry("bad.jar", "server bytes", sha256Of("other bytes")), "SHA-256"},
        {{"absent.jar", server.url("/files/nothing"), 10, ""}, ""},
        {entry("locked.jar", "new bytes"), ""}};
    writeWholeFile(modsDir / "bad.jar", "old");
    writeWholeFile(modsDir / "locked.jar" / "held.txt", "in use"); // a folder cannot be replaced
    for (const auto& [failed, reason] : failing) {
        SCOPED_TRACE(failed.fileName);
        err.clear();
        out.clear();
        EXPECT_EQ(job().syncMods({good, failed, entry("after.jar", "after")}), -1);
        EXPECT_EQ(err.rfind("[Mods] Ошибка скачивания " + failed.fileName + ": ", 0), 0u) << err;
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(modsDir / (failed.fileName + ".part")));
        EXPECT_EQ(requests["after.jar"], 0);
        EXPECT_TRUE(out.find("Синхронизация завершена") == std::string::npos) << out;
    }
    EXPECT_EQ(readWholeFile(modsDir / "good.jar"), "good bytes");
    EXPECT_EQ(readWholeFile(modsDir / "bad.jar"), "old");
    EXPECT_FALSE(fs::exists(modsDir / "absent.jar"));
    EXPECT_EQ(readWholeFile(modsDir / "locked.jar" / "held.txt"), "in use");
}

TEST_F(ModSyncTest, Sha256OfAnotherFormIsLoggedAndIgnored) {
    EXPECT_EQ(job().syncMods({entry("short.jar", "bytes", "abc123"),
                              entry("nothex.jar", "bytes", std::string(64, 'g'))}),
              2);
    EXPECT_EQ(readWholeFile(modsDir / "short.jar") + readWholeFile(modsDir / "nothex.jar"),
              "bytesbytes");
    EXPECT_NE(
        err.find(
            "[Mods] У short.jar поле sha256 не является SHA-256, проверка пропущена: abc123\n"),
        std::string::npos)
        << err;
    EXPECT_NE(err.find("nothex.jar"), std::string::npos) << err;
}

} // namespace
} // namespace qbk
