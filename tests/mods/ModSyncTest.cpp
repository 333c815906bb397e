#include "mods/ModSyncJob.h"
#include "platform/Digest.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>

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

// Serves the manifest and the mod files, counting requests per file, to a mods folder below a
// Cyrillic name, as a player's launcher folder may be. The log is written on the test's thread.
class ModSyncTest : public ::testing::Test {
protected:
    ModSyncJob job() {
        return ModSyncJob(
            server.url("/api/mods"), modsDir, [this](LogStream stream, const std::wstring& text) {
                (stream == LogStream::Output ? out : err) += platform::wideToUtf8(text);
            });
    }
    ModManifestEntry entry(const std::string& name, const std::string& content,
                           std::string sha256 = {}) {
        std::atomic<int>& count = requests[name];
        server.get("/files/" + name, [&count, content](const auto&, auto& response, const auto&) {
            ++count;
            response.set_content(content, "application/java-archive");
        });
        return {name, server.url("/files/" + name), content.size(), std::move(sha256)};
    }
    bool fetch(const std::string& body, std::vector<ModManifestEntry>& entries) {
        server.get("/api/mods", [body](const auto&, httplib::Response& response, const auto&) {
            response.status = body == "oops" ? 503 : 200;
            response.set_content(body, "application/json");
        });
        err.clear();
        entries = {{"stale.jar", "u", 1, ""}};
        return job().fetchModManifest(entries);
    }

    std::map<std::string, std::atomic<int>> requests; // outlives the server's handlers
    test::TestHttpServer server;
    test::TempDir root{"qbk-mods"};
    fs::path modsDir = root / platform::pathFromUtf8("Лаунчер") / "minecraft" / "mods";
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
    std::string seen;
    for (const ModManifestEntry& e : entries)
        seen += e.fileName + " " + e.url + " " + std::to_string(e.sizeBytes) + " " + e.sha256 + "|";
    EXPECT_EQ(seen, "b.jar http://h/b 12 x|a.jar http://h/a 0 |b.jar http://h/b2 "
                    "18446744073709551615 |");
    EXPECT_TRUE(err.empty()) << err;
    ASSERT_TRUE(fetch(R"({"mods": []})", entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(ModSyncTest, UnavailableInvalidOrMisshapenManifestGivesFalseWithItsLogLine) {
    const std::string notJson = "[Mods] Манифест содержит некорректный JSON: ";
    const std::string shape = "[Mods] Манифест неожиданного формата: ";
    // The JSON library throws out_of_range, not parse_error, for a number past a double.
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"oops", "[Mods] Не удалось скачать манифест: "}, {"{\"mods\": [", notJson},
        {R"({"mods": [] /* comment */})", notJson},
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sizeBytes": 1E400}]})", notJson},
        {"[]", shape}, {R"("mods")", shape}, {"{}", shape}, {R"({"mods": {}})", shape},
        {R"({"mods": ["a.jar"]})", shape}, {R"({"mods": [{"fileName": 5, "url": "u"}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": null}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sha256": 7}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sizeBytes": "12"}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sizeBytes": -1}]})", shape},
        {R"({"mods": [{"fileName": "a.jar", "url": "u", "sizeBytes": 1.5}]})", shape}};
    // clang-format on
    for (const auto& [body, line] : cases) {
        std::vector<ModManifestEntry> entries;
        EXPECT_FALSE(fetch(body, entries)) << body; // "oops" comes with a 503
        EXPECT_TRUE(entries.empty()) << body;
        EXPECT_EQ(err.rfind(line, 0), 0u) << body << err;
    }
}

TEST_F(ModSyncTest, DownloadsMissingAndResizedModsJudgesBySizeAndKeepsThePlayersOwn) {
    // A sha256 of another form is logged and the file taken unchecked.
    const auto missing = entry("Кириллица.jar", "new mod bytes", "abc123");
    const auto sameSize = entry("same-size.jar", "server bytes");
    const auto longer = entry("longer.jar", "server bytes", std::string(64, 'g'));
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
    EXPECT_EQ(err, "[Mods] У Кириллица.jar поле sha256 не является SHA-256, проверка пропущена: "
                   "abc123\n[Mods] У longer.jar поле sha256 не является SHA-256, проверка "
                   "пропущена: " +
                       std::string(64, 'g') + "\n");
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
    const std::string url = entry("evil", "payload").url;
    std::vector<ModManifestEntry> entries;
    for (const char* name :
         {"../escape.jar", "sub/nested.jar", "..\\escape.jar", "C:evil.jar", "NUL.jar", "con"})
        entries.push_back({name, url, 7, ""});
    entries.push_back(entry("fine.jar", "fine"));
    EXPECT_EQ(job().syncMods(entries), 1);
    EXPECT_EQ(requests["evil"], 0);
    EXPECT_EQ(err.rfind("[Mods] Пропускаю мод с недопустимым именем файла: ../escape.jar\n", 0),
              0u);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 6) << err;
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

} // namespace
} // namespace qbk
