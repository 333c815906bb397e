#include "diagnostics/LauncherChecks.h"

#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <QString>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>

namespace qbk {

void PrintTo(const CheckResult& result, std::ostream* out) {
    *out << static_cast<int>(result.severity) << " " << result.title.toStdString() << ": "
         << result.detail.toStdString();
}

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMb = 1048576;

void writeFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

// A file of the given size without writing its bytes.
void sizedFile(const fs::path& file, std::uintmax_t size) {
    writeFile(file, "");
    fs::resize_file(file, size);
}

void filesIn(const fs::path& dir, int count, const std::string& extension) {
    for (int i = 0; i < count; ++i)
        writeFile(dir / ("sub" + std::to_string(i % 7)) / ("f" + std::to_string(i) + extension),
                  "x");
}

CheckResult ok(const char* title, const QString& detail) {
    return {QString::fromUtf8(title), detail, CheckSeverity::Ok};
}
CheckResult warning(const char* title, const QString& detail) {
    return {QString::fromUtf8(title), detail, CheckSeverity::Warning};
}
CheckResult error(const char* title, const QString& detail) {
    return {QString::fromUtf8(title), detail, CheckSeverity::Error};
}

class LauncherChecksTest : public ::testing::Test {
protected:
    LauncherChecksTest() {
        config.launcherDir = dir / "Лаунчер с пробелами";
        fs::create_directories(config.launcherDir);
        config.target = TargetPlatform::windowsX64();
        freeMb = 6000;
        config.freeSpace = [this](const fs::path&) {
            return std::optional(freeMb * kMb);
        };
        config.endpoints.mojangMeta = server.baseUrl() + "/mojang";
        config.endpoints.neoforgeMaven = server.baseUrl() + "/maven";
        config.endpoints.modrinthApi = server.baseUrl() + "/modrinth";
        config.javaTimeout = std::chrono::milliseconds(1500);
        serveAll();
    }

    void serveAll() {
        for (const char* path : {"/mojang/mc/game/version_manifest_v2.json",
                                 "/maven/api/maven/versions/releases/net/neoforged/neoforge",
                                 "/modrinth/v2/project/create"})
            answer(path, 200, "{}");
    }
    void answer(const std::string& path, int status, std::string body) {
        server.get(path, [status, body](const httplib::Request&, httplib::Response& response,
                                        const std::smatch&) {
            response.status = status;
            response.set_content(body, "application/json");
        });
    }

    LauncherChecks checks() const { return LauncherChecks(config); }
    fs::path game() const { return config.launcherDir / "minecraft"; }
    fs::path java() const { return config.launcherDir / "runtime/java21/bin/java.exe"; }
    void javaScript(const std::string& body) {
        writeFile(java(), "#!/bin/sh\n" + body + "\n");
        fs::permissions(java(), fs::perms::owner_all);
    }

    test::TempDir dir{"qbk-checks"};
    test::TestHttpServer server;
    std::uint64_t freeMb = 0;
    LauncherChecks::Config config;
};

TEST_F(LauncherChecksTest, AFreshFolderWarnsAboutEverythingNotYetDownloaded) {
    const std::vector<CheckResult> results = checks().runAllChecks();
    const std::vector<CheckResult> expected = {
        ok("Права на запись", QStringLiteral("В порядке")),
        ok("Место на диске", QStringLiteral("Свободно 5 ГБ")),
        warning("Java 21",
                QStringLiteral("Не установлена. Скачается автоматически при первом запуске.")),
        warning("Minecraft 1.21.1",
                QStringLiteral("Не установлен. Скачается при первом нажатии ИГРАТЬ.")),
        warning("Библиотеки", QStringLiteral("Пока не скачаны.")),
        warning("Ресурсы игры", QStringLiteral("Пока не скачаны.")),
        warning("NeoForge", QStringLiteral("Пока не установлен.")),
        warning("Моды", QStringLiteral("Папка ещё не создана.")),
        ok("Интернет", QStringLiteral("Все серверы доступны"))};
    EXPECT_EQ(results, expected);
    // The write test leaves nothing behind.
    EXPECT_TRUE(fs::is_empty(config.launcherDir));
}

TEST_F(LauncherChecksTest, WriteAccessFailsWhereNoFileCanBeCreated) {
    config.launcherDir = dir / "missing" / "folder";
    EXPECT_EQ(checks().checkWriteAccess().severity, CheckSeverity::Error);
    EXPECT_TRUE(checks().checkWriteAccess().detail.startsWith(
        QStringLiteral("Нет прав на запись в папку лаунчера.")));
}

TEST_F(LauncherChecksTest, DiskSpaceThresholds) {
    const auto detailAt = [this](std::uint64_t mb) {
        freeMb = mb;
        return checks().checkDiskSpace();
    };
    EXPECT_EQ(detailAt(2047),
              error("Место на диске",
                    QStringLiteral("Свободно 2047 МБ. Для установки нужно минимум 2 ГБ.")));
    EXPECT_EQ(detailAt(2048),
              warning("Место на диске", QStringLiteral("Свободно 2048 МБ — впритык.")));
    EXPECT_EQ(detailAt(5119),
              warning("Место на диске", QStringLiteral("Свободно 5119 МБ — впритык.")));
    EXPECT_EQ(detailAt(5120), ok("Место на диске", QStringLiteral("Свободно 5 ГБ")));
    config.freeSpace = [](const fs::path&) {
        return std::optional<std::uint64_t>();
    };
    EXPECT_EQ(checks().checkDiskSpace(),
              warning("Место на диске", QStringLiteral("Не удалось определить.")));
    // The real volume answers for an existing folder.
    EXPECT_TRUE(LauncherChecks::volumeFreeSpace(config.launcherDir).has_value());
    EXPECT_FALSE(LauncherChecks::volumeFreeSpace(dir / "no" / "such").has_value());
}

TEST_F(LauncherChecksTest, JavaIsRunAndJudgedByItsExitAndFirstLine) {
    javaScript("[ \"$1\" = -version ] || exit 9\n"
               "echo '  openjdk version \"21.0.5\" 2024-10-15 LTS' >&2\n"
               "echo 'OpenJDK Runtime Environment' >&2");
    EXPECT_EQ(checks().checkJava(),
              ok("Java 21", QStringLiteral("openjdk version \"21.0.5\" 2024-10-15 LTS")));

    javaScript("exit 0");
    EXPECT_EQ(checks().checkJava(), ok("Java 21", QStringLiteral("Работает")));

    javaScript("exit 3");
    EXPECT_EQ(checks().checkJava(),
              error("Java 21", QStringLiteral("Найдена, но не запускается (код 3). Удали папку "
                                              "runtime и запусти игру заново.")));

    // A hung runtime is ended at the bound.
    javaScript("exec sleep 30");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(
        checks().checkJava(),
        error("Java 21", QStringLiteral("Найдена, но не отвечает. Похоже, распаковалась криво.")));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));

    // A file that is no program at all.
    writeFile(java(), "garbage");
    fs::permissions(java(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(checks().checkJava().severity, CheckSeverity::Error);
}

TEST_F(LauncherChecksTest, ClientJarSizeDecidesBetweenBrokenAndPresent) {
    const fs::path folder = game() / "versions" / "1.21.1";
    sizedFile(folder / "1.21.1.jar", kMb);
    EXPECT_EQ(checks().checkClient().severity, CheckSeverity::Warning); // no JSON yet
    writeFile(folder / "1.21.1.json", "{}");
    EXPECT_EQ(checks().checkClient(),
              ok("Minecraft 1.21.1", QStringLiteral("Клиент на месте (1 МБ)")));
    fs::resize_file(folder / "1.21.1.jar", kMb - 1);
    EXPECT_EQ(checks().checkClient(),
              error("Minecraft 1.21.1", QStringLiteral("Файл клиента подозрительно мал — скорее "
                                                       "всего, битая загрузка.")));
}

TEST_F(LauncherChecksTest, LibrariesAndAssetsAreCountedAtEveryDepth) {
    const fs::path libraries = game() / "libraries";
    fs::create_directories(libraries);
    EXPECT_EQ(checks().checkLibraries(),
              error("Библиотеки", QStringLiteral("Папка есть, но пустая.")));
    filesIn(libraries, 49, ".jar");
    filesIn(libraries / "other", 5, ".txt");
    EXPECT_EQ(
        checks().checkLibraries(),
        warning("Библиотеки", QStringLiteral("Только 49 файлов — возможно, загрузка прервалась.")));
    writeFile(libraries / "deep/er/still/Last.JAR", "x");
    EXPECT_EQ(checks().checkLibraries(), ok("Библиотеки", QStringLiteral("50 файлов")));

    const fs::path assets = game() / "assets";
    fs::create_directories(assets / "objects");
    EXPECT_EQ(checks().checkAssets().detail, QStringLiteral("Пока не скачаны.")); // no indexes
    fs::create_directories(assets / "indexes");
    EXPECT_EQ(checks().checkAssets(),
              error("Ресурсы игры", QStringLiteral("Папка есть, но пустая.")));
    filesIn(assets / "objects", 2999, "");
    EXPECT_EQ(checks().checkAssets(),
              warning("Ресурсы игры", QStringLiteral("2999 файлов — меньше ожидаемого, звуки и "
                                                     "языки могут отсутствовать.")));
    writeFile(assets / "objects/ff/last", "x");
    EXPECT_EQ(checks().checkAssets(), ok("Ресурсы игры", QStringLiteral("3000 файлов")));
}

TEST_F(LauncherChecksTest, NeoForgeCountsOnlyThePinnedVersionWithItsJson) {
    const fs::path versions = game() / "versions";
    fs::create_directories(versions / "1.21.1");
    const CheckResult missing = warning("NeoForge", QStringLiteral("Пока не установлен."));
    EXPECT_EQ(checks().checkNeoForge(), missing);
    // Another version, and the pinned one's folder left empty by a failed install.
    writeFile(versions / "neoforge-21.1.1" / "neoforge-21.1.1.json", "{}");
    fs::create_directories(versions / "neoforge-21.1.230");
    EXPECT_EQ(checks().checkNeoForge(), missing);
    writeFile(versions / "neoforge-21.1.230" / "neoforge-21.1.230.json", "{}");
    EXPECT_EQ(checks().checkNeoForge(), ok("NeoForge", QStringLiteral("neoforge-21.1.230")));
}

TEST_F(LauncherChecksTest, ModsCountsOnlyJarsDirectlyInTheFolder) {
    const fs::path mods = game() / "mods";
    writeFile(mods / "disabled" / "old.jar", "x");
    writeFile(mods / "notes.txt", "x");
    EXPECT_EQ(checks().checkMods(),
              warning("Моды", QStringLiteral("Ни одного мода не установлено.")));
    writeFile(mods / "a.jar", "x");
    writeFile(mods / "Ботаника.jar", "x");
    EXPECT_EQ(checks().checkMods(), ok("Моды", QStringLiteral("2 шт.")));
}

TEST_F(LauncherChecksTest, InternetNamesTheUnreachableServicesInOrder) {
    answer("/mojang/mc/game/version_manifest_v2.json", 404, "not here");
    answer("/modrinth/v2/project/create", 200, "");
    EXPECT_EQ(checks().checkInternet(),
              warning("Интернет", QStringLiteral("Недоступны: Mojang, Modrinth. Возможна "
                                                 "блокировка провайдером.")));
    answer("/maven/api/maven/versions/releases/net/neoforged/neoforge", 500, "{}");
    EXPECT_EQ(checks().checkInternet(),
              error("Интернет", QStringLiteral("Ни один сервер недоступен. Проверь подключение.")));
}

TEST_F(LauncherChecksTest, ASilentServiceCostsOnlyTheProbeBound) {
    config.probeLimits = {std::chrono::milliseconds(500), 1, std::chrono::seconds(1)};
    server.get("/maven/api/maven/versions/releases/net/neoforged/neoforge",
               [](const httplib::Request&, httplib::Response& response, const std::smatch&) {
                   std::this_thread::sleep_for(std::chrono::seconds(4));
                   response.set_content("late", "text/plain");
               });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(checks().checkInternet().detail,
              QStringLiteral("Недоступны: NeoForge. Возможна блокировка провайдером."));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(3500));
}

} // namespace
} // namespace qbk
