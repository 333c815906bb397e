#include "app/InstanceLock.h"
#include "app/SelfUpdate.h"
#include "app/UpdatePanel.h"
#include "platform/Signature.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/Digests.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/ToolProcess.h"
#include "tests/support/WholeFile.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace qbk {
namespace {
namespace fs = std::filesystem;
using Verdict = UpdateOffer::Verdict;
using Code = UpdateResult::Code;
// Signed by the release tool itself, so the tool and the launcher's check must agree.
const fs::path kSigner = QBK_SOURCE_DIR "/tools/release/sign-manifest",
               kTestKey =
                   QBK_SOURCE_DIR "/tools/release/TEST-KEY-update-signing-NOT-FOR-RELEASES.pem";

std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::end(it); ++it) {
        if (it->path().filename() == "update-staging")
            it.disable_recursion_pending();
        else if (it->is_regular_file())
            files[fs::relative(it->path(), dir).generic_string()] = test::readWholeFile(*it);
    }
    return files;
}

const std::map<std::string, std::string> kOld = {{"quellbrook-launcher", "old launcher"},
                                                 {"lib/libQt6Core.so.6", "old core"},
                                                 {"lib/libDropped.so", "old only"},
                                                 {"Quellbrook.ini", "[auth]\nuser=me\n"},
                                                 {"minecraft/mods/mine.jar", "PK mine"}};
const std::map<std::string, std::string> kNew = {{"quellbrook-launcher", "new launcher"},
                                                 {"lib/libQt6Core.so.6", "new core"},
                                                 {"plugins/platforms/libqxcb.so", "new plugin"},
                                                 {"Quellbrook.ini", "[auth]\nuser=me\n"},
                                                 {"minecraft/mods/mine.jar", "PK mine"}};

struct Release {
    std::string version = "1.0.1";
    std::string platform = std::string(ownPackageName());
    test::ArchiveBuilder package = test::ArchiveBuilder(RuntimeArchiveFormat::TarGz)
                                       .file("quellbrook-launcher", "new launcher", 0755)
                                       .directory("lib")
                                       .file("lib/libQt6Core.so.6", "new core")
                                       .file("plugins/platforms/libqxcb.so", "new plugin");
    std::int64_t sizeDelta = 0;
    std::string hashOf; // when set, the manifest names the SHA-256 of these bytes instead
    std::string packagePath = "/package.tar.gz";
    fs::path key = kTestKey;
    bool editedAfterSigning = false;
    std::size_t signatureCut = 0;
};

class Update : public ::testing::Test {
protected:
    void SetUp() override {
        reset();
        server.get(R"(/(latest\.json(\.sig)?|package\.tar\.gz))",
                   [this](const auto&, auto& response, const auto& match) {
                       response.set_content(test::readWholeFile(dir / match[1].str()),
                                            "application/octet-stream");
                   });
    }
    void reset() {
        fs::remove_all(launcher);
        for (const auto& [name, bytes] : kOld)
            test::writeWholeFile(launcher / name, bytes);
    }
    UpdateOffer publish(Release& release) {
        EXPECT_TRUE(release.package.write(dir / "package.tar.gz"));
        const std::string bytes = test::readWholeFile(dir / "package.tar.gz");
        std::string manifest =
            R"({"version": ")" + release.version + R"(", "notes": "Исправления", "packages": {")" +
            release.platform + R"(": {"url": ")" + server.url(release.packagePath) +
            R"(", "size": )" + std::to_string(bytes.size() + release.sizeDelta) +
            R"(, "sha256": ")" + test::sha256Hex(release.hashOf.empty() ? bytes : release.hashOf) +
            R"("}}})";
        test::writeWholeFile(dir / "latest.json", manifest);
        const auto signer =
            test::ToolProcess::run(kSigner, {release.key.string(), (dir / "latest.json").string()},
                                   dir.path(), dir / "signer");
        EXPECT_EQ(signer.code, 0) << signer.output;
        const std::string signature = test::readWholeFile(dir / "latest.json.sig");
        test::writeWholeFile(dir / "latest.json.sig",
                             signature.substr(0, signature.size() - release.signatureCut));
        if (release.editedAfterSigning)
            test::writeWholeFile(dir / "latest.json",
                                 manifest.replace(manifest.find("1.0.1"), 5, "1.0.2"));
        return update.check(http, server.baseUrl(), "1.0.0");
    }
    test::TempDir dir;
    fs::path launcher = dir / "launcher";
    SelfUpdate update{launcher, "quellbrook-launcher"};
    test::TestHttpServer server;
    HttpClient http;
};

// Only the good release changes the folder; every other one is refused with a reason, before
// anything of the launcher moved.
TEST_F(Update, OnlyAGoodSignedNewerIntactPackageIsSwappedIn) {
    struct Row {
        const char* name;
        std::function<void(Release&)> change;
        Verdict verdict;
        Code staged;
        const char* why;
    };
    using enum Verdict;
    using enum Code;
    const Row rows[] = {
        {"good", [](Release&) {}, Newer, Ok, ""},
        {"changed byte", [](Release& r) { r.editedAfterSigning = true; }, Rejected, Ok,
         "signature"},
        {"truncated signature", [](Release& r) { r.signatureCut = 8; }, Rejected, Ok, "signature"},
        {"another key",
         [this](Release& r) {
             r.key = dir / "other.pem";
             const auto keygen = test::ToolProcess::run(
                 QBK_OPENSSL,
                 {"ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", r.key.string()},
                 dir.path(), dir / "keygen");
             EXPECT_EQ(keygen.code, 0) << keygen.output;
         },
         Rejected, Ok, "signature"},
        {"downgrade", [](Release& r) { r.version = "0.9.12"; }, NotNewer, Ok, "not newer"},
        {"same version", [](Release& r) { r.version = "1.0"; }, NotNewer, Ok, "not newer"},
        {"other platform only", [](Release& r) { r.platform = "macos-arm64"; }, NotNewer, Ok,
         "no "},
        {"size differs", [](Release& r) { r.sizeDelta = 1; }, Newer, Integrity, "Размер"},
        {"more bytes than signed", [](Release& r) { r.sizeDelta = -1; }, Newer, Integrity,
         "Размер"},
        {"hash differs", [](Release& r) { r.hashOf = "other bytes"; }, Newer, Integrity, "SHA-256"},
        {"package not served", [](Release& r) { r.packagePath = "/status/404"; }, Newer, Network,
         "Не удалось скачать"},
        {"path escape", [](Release& r) { r.package.file("../escaped", "x"); }, Newer, Unsafe,
         "не распаковался"},
        {"player's files", [](Release& r) { r.package.file("minecraft/mods/evil.jar", "x"); },
         Newer, Unsafe, "minecraft"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset();
        Release release;
        row.change(release);
        const UpdateOffer offer = publish(release);
        ASSERT_EQ(offer.verdict, row.verdict) << offer.reason;
        if (row.verdict != Newer) {
            EXPECT_NE(offer.reason.find(row.why), std::string::npos) << offer.reason;
            EXPECT_EQ(snapshot(launcher), kOld);
            continue;
        }
        EXPECT_EQ(offer.notes, "Исправления");
        const UpdateResult staged = update.stage(http, offer.package, {});
        ASSERT_EQ(staged.code, row.staged) << staged.text;
        EXPECT_NE(staged.text.find(row.why), std::string::npos) << staged.text;
        EXPECT_EQ(snapshot(launcher), kOld);
        EXPECT_FALSE(fs::exists(dir / "escaped"));
        if (!staged.ok()) {
            EXPECT_FALSE(fs::exists(update.stagingDir()));
            continue;
        }
        ASSERT_TRUE(update.swap().ok());
        EXPECT_TRUE(update.removeLeftovers());
        EXPECT_EQ(snapshot(launcher), kNew);
        EXPECT_FALSE(fs::exists(update.stagingDir()));
    }
    // The launcher alone is a flat package, not a top folder to look inside.
    reset();
    Release alone;
    alone.package = test::ArchiveBuilder(RuntimeArchiveFormat::TarGz)
                        .file("quellbrook-launcher", "new launcher", 0755);
    EXPECT_TRUE(update.stage(http, publish(alone).package, {}).ok());
}

// Six renames (launcher aside and in; inside lib, as Windows renames no folder holding a loaded
// DLL, the dropped library aside and the core aside and in; plugins in): a failure at any of
// them leaves exactly the old launcher; none leaves the new one beside the old moved aside,
// and a revert puts the old one back.
TEST_F(Update, SwapIsAllOldOrAllNewWhateverRenameFails) {
    Release release;
    const UpdateOffer offer = publish(release);
    for (std::size_t failing = 0; failing <= 6; ++failing) {
        SCOPED_TRACE(failing);
        ASSERT_TRUE(update.stage(http, offer.package, {}).ok());
        const UpdateResult swapped = update.swap([&](std::size_t step) { return step == failing; });
        EXPECT_EQ(swapped.ok(), failing == 6) << swapped.text;
        auto swappedIn = kNew;
        swappedIn.insert({{"quellbrook-launcher.old", "old launcher"},
                          {"lib/libQt6Core.so.6.old", "old core"},
                          {"lib/libDropped.so.old", "old only"}});
        EXPECT_EQ(snapshot(launcher), swapped.ok() ? swappedIn : kOld);
        if (swapped.ok()) {
            ASSERT_TRUE(update.revert().ok());
            EXPECT_EQ(snapshot(launcher), kOld);
            EXPECT_FALSE(fs::exists(launcher / "plugins"));
        }
    }
}

// Root writes through any mode bits, but not into an immutable folder (ext4's chattr +i).
struct UnwritableFolder {
    static void set(const fs::path& dir, const char* flag, fs::perm_options change) {
        [[maybe_unused]] const int chattr = std::system(
            ("chattr " + std::string(flag) + " '" + dir.string() + "' 2>/dev/null").c_str());
        std::error_code immutable;
        fs::permissions(dir, fs::perms::owner_write, change, immutable);
    }
    explicit UnwritableFolder(fs::path dir) : dir(dir) { set(dir, "+i", fs::perm_options::remove); }
    ~UnwritableFolder() { set(dir, "-i", fs::perm_options::add); }
    fs::path dir;
};

// "Обновить" while the update cannot be done: the player reads why, and nothing is fetched
// or changed.
TEST_F(Update, RefusedUpdateNamesTheReasonAndChangesNothing) {
    const std::tuple<const char*, bool, bool, bool, const char*> rows[] = {
        // name, this process holds the folder's lock, a launch runs, folder unwritable, text
        {"read-only folder", true, false, true, "доступна только для чтения"},
        {"second launcher", false, false, false, "Открыт ещё один лаунчер"},
        {"launch running", true, true, false, "Идёт запуск игры"}};
    for (const auto& [name, locked, launching, unwritable, text] : rows) {
        SCOPED_TRACE(name);
        reset();
        Release release;
        ASSERT_EQ(publish(release).verdict, Verdict::Newer);
        std::optional<InstanceLock> lock;
        if (locked)
            lock.emplace(launcher);
        bool launchRunning = false;
        UpdatePanel panel({launcher, "quellbrook-launcher", server.baseUrl(), [&launchRunning] {
                               return launchRunning;
                           }});
        panel.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return panel.isVisible(); }, 10000));
        const auto before = snapshot(launcher);
        launchRunning = launching;
        std::optional<UnwritableFolder> frozen;
        if (unwritable) {
            frozen.emplace(launcher);
            ASSERT_FALSE(std::ofstream(launcher / "probe")) << "the folder is still writable";
        }
        QString shown;
        QTimer closer; // reads and closes every message box, the refusal's or a later one
        QObject::connect(&closer, &QTimer::timeout, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                shown += box->text(), box->done(QMessageBox::Ok);
        });
        closer.start(50);
        panel.findChild<QPushButton*>("updateButton")->click();
        QTest::qWait(300); // a download, had one started, would have made its folder by now
        EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << shown.toStdString();
        EXPECT_EQ(snapshot(launcher), before);
        EXPECT_FALSE(fs::exists(update.stagingDir()));
    }
}

TEST(UpdateVersions, ComparedAsNumbers) {
    const std::tuple<const char*, const char*, std::optional<int>> rows[] = {
        {"1.0.10", "1.0.9", 1},  {"1.0.9", "1.0.10", -1},          {"1.0", "1.0.0", 0},
        {"2", "1.99.99", 1},     {"1.0.x", "1.0.0", std::nullopt}, {"1..0", "1.0", std::nullopt},
        {"", "1", std::nullopt}, {"-1.0", "1.0", std::nullopt}};
    for (const auto& [a, b, order] : rows)
        EXPECT_EQ(compareVersions(a, b), order) << a << " vs " << b;
}

// CNG takes r || s, 32 bytes each: the DER integers must be strict and are left-padded.
TEST(UpdateSignature, DerToRawAcceptsOnlyStrictEncodings) {
    using namespace std::string_literals;
    const std::string r32 = "\x80"s + std::string(31, '\x11'), s7 = "\x02\x01\x07"s;
    // The name, the DER, and r as it must come out (nothing when the DER is refused).
    const std::tuple<const char*, std::string, std::optional<std::string>> rows[] = {
        {"short integers", "\x30\x06\x02\x01\x05"s + s7, "\x05"},
        {"two-byte r", "\x30\x07\x02\x02\x01\x05"s + s7, "\x01\x05"},
        {"33-byte r with its sign byte", "\x30\x26\x02\x21\x00"s + r32 + s7, r32},
        {"needless leading zero", "\x30\x07\x02\x02\x00\x05"s + s7, {}},
        {"negative r", "\x30\x06\x02\x01\x85"s + s7, {}},
        {"sequence length off", "\x30\x07\x02\x01\x05"s + s7, {}},
        {"trailing byte", "\x30\x06\x02\x01\x05"s + s7 + '\0', {}},
        {"r of 33 value bytes", "\x30\x27\x02\x22\x00\x80"s + std::string(32, '\x11') + s7, {}},
        {"empty", "", {}}};
    for (const auto& [name, der, r] : rows) {
        const auto raw = platform::ecdsaDerToRaw(der);
        ASSERT_EQ(raw.has_value(), r.has_value()) << name;
        if (r) {
            EXPECT_EQ(std::string(raw->begin(), raw->end()),
                      std::string(32 - r->size(), '\0') + *r + std::string(31, '\0') + '\x07')
                << name;
        }
    }
}

} // namespace
} // namespace qbk
