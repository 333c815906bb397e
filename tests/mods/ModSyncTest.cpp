#include "mods/ModSyncJob.h"
#include "platform/Platform.h"
#include "tests/support/Digests.h"
#include "tests/support/QuietWatch.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using test::readWholeFile;
using test::writeWholeFile;
const auto sha256Of = test::sha256Hex;
// The byte totals announced to the progress bar, one per sync.
struct AnnouncedTotals : test::QuietWatch {
    void beginDownloads(const std::wstring&, std::int64_t bytes, int) override {
        totals.push_back(bytes);
    }
    std::vector<std::int64_t> totals;
};
// Serves the manifest and the mod files, counting requests per file, to a mods folder below a
// Cyrillic name, as a player's launcher folder may be.
class ModSyncTest : public ::testing::Test {
protected:
    ModSyncTest() {
        server.get("/api/mods", [this](const auto&, httplib::Response& response, const auto&) {
            response.status = manifest == "oops" ? 503 : 200;
            response.set_content(manifest, "application/json");
        });
    }
    ModSyncJob job() {
        TransferLimits limits;
        limits.watch = &announced;
        return ModSyncJob(
            server.url("/api/mods"), modsDir,
            [this](LogStream stream, const std::wstring& text) {
                (stream == LogStream::Output ? out : err) += platform::wideToUtf8(text);
            },
            limits);
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
    std::map<std::string, std::atomic<int>> requests; // outlives the server's handlers
    std::string manifest, out, err;
    AnnouncedTotals announced;
    test::TestHttpServer server;
    test::TempDir root{"qbk-mods"};
    fs::path modsDir = root / platform::pathFromUtf8("Лаунчер") / "minecraft" / "mods";
};
// Each manifest of the list ("body => what it gives") gives its entries in order ("name url size
// sha256|"; elements without a name or url dropped) and no log line, or false, no entries and the
// start of its log line. The JSON library throws out_of_range, not parse_error, for a number past
// a double.
TEST_F(ModSyncTest, TheManifestGivesItsEntriesOrFalseWithItsLogLine) {
    std::istringstream cases(readWholeFile(QBK_SOURCE_DIR "/tests/mods/golden/manifests.txt"));
    int count = 0;
    for (std::string line; std::getline(cases, line); ++count) {
        manifest = line.substr(0, line.find(" =>"));
        const std::string expected = line.substr(std::min(line.size(), line.find(" =>") + 4));
        err.clear();
        std::vector<ModManifestEntry> entries = {{"stale.jar", "u", 1, ""}};
        const bool fetched = job().fetchModManifest(entries);
        EXPECT_EQ(fetched, err.empty()) << manifest;
        std::string seen;
        for (const ModManifestEntry& e : entries)
            seen +=
                e.fileName + " " + e.url + " " + std::to_string(e.sizeBytes) + " " + e.sha256 + "|";
        EXPECT_EQ(seen + err.substr(0, err.find(": ")), expected) << manifest;
    }
    EXPECT_EQ(count, 20);
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
    EXPECT_EQ(readWholeFile(modsDir / platform::pathFromUtf8("Кириллица.jar")) +
                  readWholeFile(modsDir / "same-size.jar") + readWholeFile(modsDir / "longer.jar") +
                  readWholeFile(modsDir / "extra.jar"),
              "new mod byteslocal bytes!server bytesnot in the manifest");
    EXPECT_EQ(out, "[Mods] Скачиваю: Кириллица.jar (отсутствует)\n"
                   "[Mods] Скачиваю: longer.jar (устарел)\n"
                   "[Mods] Синхронизация завершена, скачано файлов: 2\n");
    const std::string unchecked = " поле sha256 не является SHA-256, проверка пропущена: ";
    EXPECT_EQ(err, "[Mods] У Кириллица.jar" + unchecked + "abc123\n[Mods] У longer.jar" +
                       unchecked + std::string(64, 'g') + "\n");
    // Unsafe names are skipped with a log line each and never asked for.
    std::vector<ModManifestEntry> again;
    const std::string evil = entry("evil", "payload").url;
    for (const char* name :
         {"../escape.jar", "sub/nested.jar", "..\\escape.jar", "C:evil.jar", "NUL.jar", "con"})
        again.push_back({name, evil, 7, ""});
    again.insert(again.end(), {missing, sameSize, longer});
    err.clear();
    EXPECT_EQ(sync.syncMods(again), 0);
    EXPECT_EQ(err.rfind("[Mods] Пропускаю мод с недопустимым именем файла: ../escape.jar\n", 0),
              0u);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 6) << err;
    EXPECT_FALSE(fs::exists(modsDir.parent_path() / "escape.jar"));
    EXPECT_EQ(requests["Кириллица.jar"] + requests["longer.jar"] + requests["same-size.jar"] +
                  requests["evil"],
              2);
    // Only what is to be fetched counts: the missing and the resized mod, then nothing.
    EXPECT_EQ(announced.totals, (std::vector<std::int64_t>{25, 0}));
    // Without a size the entry is fetched on every run, unless the local file is empty.
    EXPECT_EQ(sync.syncMods({unsized}) + sync.syncMods({unsized}), 2);
    writeWholeFile(modsDir / "unsized.jar", "");
    EXPECT_EQ(sync.syncMods({unsized}) + sync.syncMods({}), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(modsDir), fs::directory_iterator()), 5);
}
// A file that fails its check (hash or size), fails to arrive or cannot replace the old one stops
// the sync: the old file stays, no ".part" is left, and the entries after it are not asked for.
TEST_F(ModSyncTest, AFailedEntryKeepsTheOldFileAndStopsTheSync) {
    // The case of the hex digits does not matter.
    const auto good = entry("good.jar", "good bytes", test::upperCase(sha256Of("good bytes")));
    const std::vector<std::pair<ModManifestEntry, std::string>> failing = {
        {entry("bad.jar", "server bytes", sha256Of("other bytes")), "SHA-256 не совпадает: "},
        {{"absent.jar", server.url("/files/nothing"), 10, ""}, ""},
        {{"cut.jar", entry("cut.jar", "cut").url, 4, ""}, "Размер не совпадает"},
        {entry("locked.jar", "new bytes"), ""}};
    writeWholeFile(modsDir / "bad.jar", "old");
    writeWholeFile(modsDir / "locked.jar" / "held.txt", "in use"); // a folder cannot be replaced
    for (const auto& [failed, reason] : failing) {
        SCOPED_TRACE(failed.fileName);
        err = out = "";
        auto sync = job();
        EXPECT_EQ(sync.syncMods({good, failed, entry("after.jar", "after")}), -1);
        const std::string failure = platform::wideToUtf8(sync.failure()); // which mod and why
        EXPECT_EQ(err, "[Mods] Ошибка скачивания " + failure + "\n");
        EXPECT_EQ(failure.find(failed.fileName + ": " + reason), 0u) << failure;
        EXPECT_FALSE(fs::exists(modsDir / (failed.fileName + ".part")));
        EXPECT_EQ(requests["after.jar"], 0);
    }
    EXPECT_EQ(readWholeFile(modsDir / "good.jar") + readWholeFile(modsDir / "bad.jar") +
                  readWholeFile(modsDir / "locked.jar" / "held.txt"),
              "good bytesoldin use");
    EXPECT_FALSE(fs::exists(modsDir / "absent.jar") || fs::exists(modsDir / "cut.jar"));
}
} // namespace
} // namespace qbk
