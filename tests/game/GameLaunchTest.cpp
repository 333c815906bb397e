#include "game/GameLaunch.h"

#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WindowsCommandLine.h"

#include <gtest/gtest.h>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::readWholeFile;
using test::writeWholeFile;
const auto utf8 = platform::wideToUtf8;
// The line splits back into the exact arguments; a -D value is quoted after its "=" only.
TEST(GameLaunchCommandLine, SplitsBackExactly) {
    const LaunchProfile profile{
        L"net.minecraft.client.main.Main",
        {L"-Dpath=C:\\Program Files\\Q\\", L"-Dquote=say \"hi\"", L"-Dtrail=C:\\dir\\\\",
         L"-Dodd\"name=value with space", L"-D=", L"-Dempty=",
         L"-javaagent:C:\\Q Q\\authlib-injector.jar=http://127.0.0.1:8448"},
        {L"--username", L"a\"b", L"Игрок", L"tok\\\"en\\", L"", L"tab\there",
         L"\\\\server\\share\\", L"\"", L"\\", L"ends with backslash\\", L"ends with two\\\\",
         L"\\\"\\\\\"", L"C:\\Игры\\Quellbrook с пробелом"}};
    const fs::path java = platform::pathFromUtf8("C:\\Program Files\\Q\\runtime\\bin\\java.exe");
    std::vector<std::wstring> expected = {java.wstring()};
    expected.insert(expected.end(), profile.jvmArgs.begin(), profile.jvmArgs.end());
    expected.push_back(profile.mainClass);
    expected.insert(expected.end(), profile.gameArgs.begin(), profile.gameArgs.end());
    const std::wstring line = BuildCommandLine(java, profile);
    EXPECT_EQ(test::splitWindowsCommandLine(line), expected) << utf8(line);
    EXPECT_EQ(line.rfind(L"\"C:\\Program Files\\Q\\runtime\\bin\\java.exe\" -Dpath=", 0), 0u);
}
TEST(GameLaunchLogTail, CutInsideACharacterKeepsTheRest) {
    test::TempDir dir("qbk-launch");
    writeWholeFile(dir / "лог.txt", "начало: ошибка");        // two bytes per Cyrillic letter
    EXPECT_EQ(ReadFileTail(dir / "лог.txt", 5), L"\xFFFDка"); // starts on the second byte of "и"
    EXPECT_EQ(utf8(ReadFileTail(dir / "лог.txt", 4)), "ка");
    writeWholeFile(dir / "ansi.txt", "ok \xC0\xF8\xE8\xE1\xEA\xE0"); // cp1251 bytes
    EXPECT_EQ(ReadFileTail(dir / "ansi.txt", 100), L"ok " + std::wstring(6, L'\xFFFD'));
    EXPECT_EQ(ReadFileTail(dir / "missing.log", 9), L"");
}
#ifndef _WIN32
// The host shell stands in for Java: the JVM arguments "-c SCRIPT" and the main class as $0.
class GameLaunchProcess : public ::testing::Test {
protected:
    bool launch(const std::string& script, std::chrono::milliseconds watch = 5000ms) {
        const LaunchProfile profile{
            L"stand-in-game", {L"-c", platform::utf8ToWide(script)}, {L"--gameDir", L"с пробелом"}};
        return LaunchGame("/bin/sh", gameDir, profile, error, watch);
    }
    std::string log() const { return readWholeFile(gameDir / "logs" / "launcher_java.log"); }
    test::TempDir dir{"qbk-launch"};
    fs::path gameDir = dir / "Игры Quellbrook" / "minecraft";
    std::wstring error;
};
TEST_F(GameLaunchProcess, QuickExitReportsItsCodeAndTheLastTwoThousandBytesOfTheLog) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(launch("echo \"Ошибка: $0 $1 $2\"; pwd; echo oops >&2; exit 3"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s); // the exit ends the watch early
    const std::string output =
        "Ошибка: stand-in-game --gameDir с пробелом\n" + platform::pathToUtf8(gameDir) + "\noops\n";
    EXPECT_EQ(utf8(error), "Java завершилась сразу (код 3).\n" + output);
    EXPECT_EQ(log(), output);
    EXPECT_FALSE(launch("i=0; while [ $i -lt 300 ]; do echo line-$i; i=$((i+1)); done"));
    ASSERT_GT(log().size(), 2000u);
    EXPECT_EQ(utf8(error), "Java завершилась сразу (код 0).\n" + log().substr(log().size() - 2000));
    EXPECT_FALSE(launch("exit 1")); // the log is recreated, here empty
    EXPECT_EQ(utf8(error) + log(), "Java завершилась сразу (код 1).");
}
#endif
} // namespace
} // namespace qbk
