#include "game/GameLaunch.h"

#include "platform/Platform.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string utf8(const std::wstring& text) {
    return platform::wideToUtf8(text);
}

// Splits a command line the way CommandLineToArgvW does for the arguments after the program
// name: white space separates outside quotes; 2n backslashes before a quote give n and the
// quote toggles quoting; 2n+1 give n and a literal quote; other backslashes are literal; a
// quote right after a closing quote inside quoting is literal.
std::vector<std::wstring> splitLikeWindows(const std::wstring& line) {
    std::vector<std::wstring> args;
    std::size_t i = 0;
    // The program name: up to the next quote when it starts with one, else up to white space.
    if (i < line.size() && line[i] == L'"') {
        i = line.find(L'"', 1);
        i = i == std::wstring::npos ? line.size() : i + 1;
    } else {
        while (i < line.size() && line[i] != L' ' && line[i] != L'\t')
            ++i;
    }
    for (;;) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i >= line.size())
            return args;
        std::wstring arg;
        bool quoted = false;
        while (i < line.size()) {
            const wchar_t c = line[i];
            if (!quoted && (c == L' ' || c == L'\t'))
                break;
            if (c == L'\\') {
                std::size_t count = 0;
                while (i < line.size() && line[i] == L'\\') {
                    ++count;
                    ++i;
                }
                if (i < line.size() && line[i] == L'"') {
                    arg.append(count / 2, L'\\');
                    if (count % 2 == 1) {
                        arg += L'"';
                        ++i;
                    }
                } else {
                    arg.append(count, L'\\');
                }
                continue;
            }
            if (c == L'"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    arg += L'"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += c;
            ++i;
        }
        args.push_back(arg);
    }
}

std::wstring programOf(const std::wstring& line) {
    return line.substr(1, line.find(L'"', 1) - 1);
}

TEST(GameLaunchCommandLine, PlainArgumentsKeepTheirSimpleForm) {
    EXPECT_EQ(QuoteArgument(L"-Xmx4096M"), L"-Xmx4096M");
    EXPECT_EQ(QuoteArgument(L"C:\\games\\dir\\"), L"C:\\games\\dir\\"); // no space: unchanged
    EXPECT_EQ(QuoteArgument(L"-Djava.library.path=C:\\Program Files\\Q\\natives"),
              L"-Djava.library.path=\"C:\\Program Files\\Q\\natives\"");
    EXPECT_EQ(QuoteArgument(L"-Dno equals sign"), L"\"-Dno equals sign\"");
    EXPECT_EQ(QuoteArgument(L"C:\\Program Files\\Q\\minecraft"),
              L"\"C:\\Program Files\\Q\\minecraft\"");

    LaunchProfile profile;
    profile.mainClass = L"cpw.mods.bootstraplauncher.BootstrapLauncher";
    profile.jvmArgs = {L"-Xms1024M", L"-Dminecraft.launcher.brand=Quellbrook"};
    profile.gameArgs = {L"--username", L"Игрок", L"--gameDir", L"C:\\Program Files\\Q"};
    const fs::path java = platform::pathFromUtf8("C:\\Program Files\\Q\\runtime\\bin\\java.exe");
    EXPECT_EQ(BuildCommandLine(java, profile),
              L"\"C:\\Program Files\\Q\\runtime\\bin\\java.exe\" -Xms1024M "
              L"-Dminecraft.launcher.brand=Quellbrook "
              L"cpw.mods.bootstraplauncher.BootstrapLauncher --username Игрок --gameDir "
              L"\"C:\\Program Files\\Q\"");
}

TEST(GameLaunchCommandLine, HostileArgumentsSplitBackExactly) {
    LaunchProfile profile;
    profile.mainClass = L"net.minecraft.client.main.Main";
    profile.jvmArgs = {L"-Dpath=C:\\Program Files\\Q\\",
                       L"-Dquote=say \"hi\"",
                       L"-Dtrail=C:\\dir\\\\",
                       L"-Dodd\"name=value with space",
                       L"-D=",
                       L"-Dempty=",
                       L"-javaagent:C:\\Q Q\\authlib-injector.jar=http://127.0.0.1:8448"};
    profile.gameArgs = {L"--username",
                        L"a\"b",
                        L"--accessToken",
                        L"tok\\\"en\\",
                        L"",
                        L"tab\there",
                        L"\\\\server\\share\\",
                        L"\"",
                        L"\\",
                        L"ends with backslash\\",
                        L"ends with two\\\\",
                        L"\\\"\\\\\"",
                        L"--gameDir",
                        L"C:\\Игры\\Quellbrook с пробелом"};
    const fs::path java = platform::pathFromUtf8("C:\\Program Files\\Q\\runtime\\bin\\java.exe");
    const std::wstring line = BuildCommandLine(java, profile);
    EXPECT_EQ(utf8(programOf(line)), "C:\\Program Files\\Q\\runtime\\bin\\java.exe");

    std::vector<std::wstring> expected = profile.jvmArgs;
    expected.push_back(profile.mainClass);
    expected.insert(expected.end(), profile.gameArgs.begin(), profile.gameArgs.end());
    const std::vector<std::wstring> split = splitLikeWindows(line);
    ASSERT_EQ(split.size(), expected.size()) << utf8(line);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(utf8(split[i]), utf8(expected[i])) << i << " in " << utf8(line);
}

TEST(GameLaunchLogTail, CutInsideACharacterKeepsTheRest) {
    test::TempDir dir("qbk-launch");
    const fs::path log = dir / "лог.txt";
    writeText(log, "начало: ошибка"); // two bytes per Cyrillic letter
    const std::wstring whole = ReadFileTail(log, 1000);
    EXPECT_EQ(utf8(whole), "начало: ошибка");

    // Five bytes from the end start on the second byte of "и".
    const std::wstring cut = ReadFileTail(log, 5);
    ASSERT_EQ(cut.size(), 3u);
    EXPECT_EQ(cut[0], static_cast<wchar_t>(0xFFFD));
    EXPECT_EQ(utf8(cut.substr(1)), "ка");

    EXPECT_EQ(utf8(ReadFileTail(log, 4)), "ка");
    writeText(dir / "ansi.txt", std::string("ok \xC0\xF8\xE8\xE1\xEA\xE0", 9)); // cp1251 bytes
    const std::wstring ansi = ReadFileTail(dir / "ansi.txt", 100);
    EXPECT_EQ(ansi.substr(0, 3), L"ok ");
    EXPECT_EQ(ansi.size(), 9u);
    EXPECT_TRUE(ReadFileTail(dir / "missing.log", 100).empty());
    writeText(dir / "empty.log", "");
    EXPECT_TRUE(ReadFileTail(dir / "empty.log", 100).empty());
}

#ifndef _WIN32
// The host shell stands in for Java: the JVM arguments "-c SCRIPT" and the main class as $0.
class GameLaunchProcess : public ::testing::Test {
protected:
    LaunchProfile shellProfile(const std::string& script) const {
        LaunchProfile profile;
        profile.jvmArgs = {L"-c", platform::utf8ToWide(script)};
        profile.mainClass = L"stand-in-game";
        profile.gameArgs = {L"--gameDir", L"с пробелом"};
        return profile;
    }
    std::filesystem::path log() const { return gameDir / "logs" / "launcher_java.log"; }

    test::TempDir dir{"qbk-launch"};
    fs::path gameDir = dir / "Игры Quellbrook" / "minecraft";
    fs::path shell = "/bin/sh";
};

TEST_F(GameLaunchProcess, QuickExitReportsCodeAndLogTail) {
    std::wstring error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(LaunchGame(shell, gameDir,
                            shellProfile("echo \"Ошибка: $0 $1 $2\"; pwd; echo oops >&2; exit 3"),
                            error, 5000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s); // the exit ends the watch early
    const std::string text = utf8(error);
    const std::string expected = "Java завершилась сразу (код 3).\nОшибка: stand-in-game "
                                 "--gameDir с пробелом\n" +
                                 platform::pathToUtf8(gameDir) + "\noops\n";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(readText(log()), expected.substr(expected.find('\n') + 1));
}

TEST_F(GameLaunchProcess, LongLogKeepsTheLastTwoThousandBytesAndEmptyLogGivesTheMessageAlone) {
    std::wstring error;
    EXPECT_FALSE(LaunchGame(shell, gameDir,
                            shellProfile("i=0; while [ $i -lt 300 ]; do echo line-$i; "
                                         "i=$((i+1)); done; exit 0"),
                            error, 5000ms));
    const std::string text = utf8(error);
    const std::string head = "Java завершилась сразу (код 0).\n";
    ASSERT_EQ(text.rfind(head, 0), 0u);
    const std::string logBytes = readText(log());
    ASSERT_GT(logBytes.size(), 2000u);
    EXPECT_EQ(text.substr(head.size()), logBytes.substr(logBytes.size() - 2000));

    // A second launch recreates the log, here empty.
    EXPECT_FALSE(LaunchGame(shell, gameDir, shellProfile("exit 1"), error, 5000ms));
    EXPECT_EQ(utf8(error), "Java завершилась сразу (код 1).");
    EXPECT_TRUE(readText(log()).empty());
}

TEST_F(GameLaunchProcess, RunningGameCountsAsLaunched) {
    std::wstring error = L"untouched";
    const auto start = std::chrono::steady_clock::now();
    // Ends by itself soon after the watch, so the test leaves nothing behind.
    EXPECT_TRUE(
        LaunchGame(shell, gameDir, shellProfile("echo started; exec sleep 2"), error, 300ms));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 2s);
    EXPECT_EQ(error, L"untouched");
    for (int i = 0; i < 100 && readText(log()).empty(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(readText(log()), "started\n");
}

TEST_F(GameLaunchProcess, EmptyMainClassAndMissingJava) {
    std::wstring error;
    LaunchProfile empty;
    EXPECT_FALSE(LaunchGame(shell, gameDir, empty, error, 300ms));
    EXPECT_EQ(error, L"Профиль запуска не собран.");
    EXPECT_FALSE(fs::exists(gameDir / "logs")); // nothing is touched without a profile

    EXPECT_FALSE(LaunchGame(dir / "runtime" / "java21" / "bin" / "java", gameDir,
                            shellProfile("exit 0"), error, 300ms));
    EXPECT_EQ(utf8(error), "CreateProcessW не смог запустить Java, код 2");
}
#endif

} // namespace
} // namespace qbk
