#include "diagnostics/LauncherChecks.h"

#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <csignal>
#include <gtest/gtest.h>

namespace {
namespace fs = std::filesystem;
using namespace qbk;
using namespace std::chrono_literals;
using LC = LauncherChecks;
constexpr auto O = CheckSeverity::Ok, W = CheckSeverity::Warning, E = CheckSeverity::Error;

// One entry of a launcher folder: "gone" moves the folder where none is, "#!<script>" the
// runtime's java; below the game folder "path=N" a file of N bytes and "dir/*.ext=N" N files
// spread over subfolders of dir.
void make(LC::Config& config, const std::string& entry) {
    const fs::path game = config.launcherDir / "minecraft",
                   java = config.launcherDir / "runtime/java21/bin/java.exe";
    if (entry == "gone")
        return void(config.launcherDir /= "gone");
    if (entry.starts_with('#')) {
        test::writeWholeFile(java, "#!/bin/sh\n" + entry.substr(2) + "\n");
        return fs::permissions(java, fs::perms::owner_all);
    }
    const auto star = entry.find('*'), equals = entry.find('=');
    const int count = std::stoi(entry.substr(equals + 1));
    if (star == std::string::npos)
        return test::writeWholeFile(game / entry.substr(0, equals), std::string(count, 'x'));
    fs::create_directories(game / entry.substr(0, star));
    for (int i = 0; i < count; ++i)
        test::writeWholeFile(game / entry.substr(0, star) / std::to_string(i % 7) /
                                 (std::to_string(i) + entry.substr(star + 1, equals - star - 1)),
                             "x");
}

// Each threshold on both sides; a detail ending in "..." is matched by its start only.
TEST(LauncherChecksTest, EachCheckAtItsThresholds) {
    const std::string jar = "versions/1.21.1/1.21.1.jar=", json = "versions/1.21.1/1.21.1.json=2",
                      lib = "libraries/", nf = "versions/neoforge-21.1.230/";
    const struct Row {
        CheckResult (LC::*check)() const;
        CheckSeverity severity;
        QString detail;
        std::vector<std::string> made;
        std::optional<std::uint64_t> freeMb = 6000;
    } rows[] = {
        {&LC::checkWriteAccess, E, "Нет прав на запись...", {"gone"}},
        {&LC::checkDiskSpace, W, "Не удалось определить.", {}, std::nullopt},
        {&LC::checkDiskSpace, E, "Свободно 2047 МБ. Для установки...", {}, 2047},
        {&LC::checkDiskSpace, W, "Свободно 2048 МБ — впритык.", {}, 2048},
        {&LC::checkDiskSpace, O, "Свободно 5 ГБ", {}, 5120},
        {&LC::checkJava, O, "openjdk 21", {"#!echo '  openjdk 21\nx' >&2; [ $1 = -version ]"}},
        {&LC::checkJava, O, "Работает", {"#!exit 0"}},
        {&LC::checkJava, E, "Найдена, но не запускается (код 3)...", {"#!exit 3"}},
        {&LC::checkJava, E, "Найдена, но не отвечает...", {"#!echo $$ >\"$0.pid\"; exec sleep 30"}},
        {&LC::checkClient, W, "Не установлен...", {jar + "1048576"}},
        {&LC::checkClient, O, "Клиент на месте (1 МБ)", {jar + "1048576", json}},
        {&LC::checkClient, E, "Файл клиента подозрительно мал...", {jar + "1048575", json}},
        {&LC::checkLibraries, E, "Папка есть, но пустая.", {lib + "*=0"}},
        {&LC::checkLibraries, W, "Только 49 файлов...", {lib + "*.jar=49", lib + "x/*.txt=5"}},
        {&LC::checkLibraries, O, "50 файлов", {lib + "*.jar=49", lib + "deep/er/*.JAR=1"}},
        {&LC::checkAssets, W, "Пока не скачаны.", {"assets/objects/*=9"}},
        {&LC::checkAssets, E, "Папка есть...", {"assets/objects/*=0", "assets/indexes/*=0"}},
        {&LC::checkAssets, W, "2999 файлов...", {"assets/indexes/*=0", "assets/objects/*=2999"}},
        {&LC::checkAssets, O, "3000 файлов", {"assets/indexes/*=0", "assets/objects/*=3000"}},
        {&LC::checkNeoForge, W, "Пока не...", {"versions/neoforge-2/x.json=2", nf + "*=0"}},
        {&LC::checkNeoForge, O, "neoforge-21.1.230", {nf + "neoforge-21.1.230.json=2"}},
        {&LC::checkMods, W, "Ни одного мода...", {"mods/disabled/*.jar=1", "mods/a.txt=1"}},
        {&LC::checkMods, O, "2 шт.", {"mods/off/*.jar=1", "mods/a.jar=1", "mods/Ботаника.JAR=1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
        test::TempDir dir{"qbk-checks"};
        LC::Config config{.launcherDir = dir / "Лаунчер с пробелами",
                          .target = TargetPlatform::windowsX64(),
                          .javaTimeout = 1500ms,
                          .freeSpace = [&row](auto&) {
                              return row.freeMb ? std::optional(*row.freeMb << 20) : std::nullopt;
                          }};
        fs::create_directories(config.launcherDir);
        for (const std::string& entry : row.made)
            make(config, entry);
        const CheckResult result = (LC(config).*row.check)();
        const bool prefix = row.detail.endsWith("...");
        EXPECT_EQ(std::pair(result.severity,
                            prefix ? result.detail.left(row.detail.size() - 3) : result.detail),
                  std::pair(row.severity, prefix ? row.detail.chopped(3) : row.detail))
            << result.detail.toStdString();
        // A java that did not answer in time was ended, not left running.
        const std::string pid =
            test::readWholeFile(config.launcherDir / "runtime/java21/bin/java.exe.pid");
        EXPECT_TRUE(pid.empty() || ::kill(std::stoi(pid), SIGKILL) != 0) << "java still ran";
    }
}

// The services by name in their order; an empty answer counts as none, a 404 too.
TEST(LauncherChecksTest, InternetNamesTheUnreachableServices) {
    test::TestHttpServer server;
    for (const auto& [path, body] : {std::pair{"/api/.*", "{}"}, {"/v2/.*", ""}})
        server.get(path, [body](const auto&, httplib::Response& response, const auto&) {
            response.set_content(body, "text/plain");
        });
    LC::Config config;
    config.endpoints.mojangMeta = config.endpoints.neoforgeMaven = config.endpoints.modrinthApi =
        server.baseUrl();
    EXPECT_EQ(LC(config).checkInternet().detail,
              "Недоступны: Mojang, Modrinth. Возможна блокировка провайдером.");
}
} // namespace
