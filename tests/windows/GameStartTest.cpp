#include "game/GameLaunch.h"
#include "platform/Platform.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace qbk {

// cmd.exe stands in for Java: the launch's own command line and log redirection, on Windows.
TEST(WindowsGameStart, AQuickExitIsAFailureWithItsLogTail) {
    const fs::path gameDir = fs::temp_directory_path() / platform::pathFromUtf8("qbk-игра-старт");
    platform::removeTree(gameDir);
    LaunchProfile profile;
    profile.jvmArgs = {L"/c"};
    profile.mainClass = L"echo";
    profile.gameArgs = {L"qbk-game-crashed&", L"exit", L"3"};
    std::wstring error;
    EXPECT_FALSE(LaunchGame(L"C:\\windows\\system32\\cmd.exe", gameDir, profile, error, 5s));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(platform::wideToUtf8(error).find("3"), std::string::npos)
        << platform::wideToUtf8(error);
    const std::wstring tail = ReadFileTail(gameDir / "logs" / "launcher_java.log", 4096);
    EXPECT_NE(tail.find(L"qbk-game-crashed"), std::wstring::npos) << platform::wideToUtf8(tail);
    EXPECT_TRUE(platform::removeTree(gameDir));
}

} // namespace qbk
