#include "platform/ChildProcess.h"

#include "platform/Platform.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace qbk::platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(ChildProcess, ArgumentsArriveUnsplitOutputLandsInTheLogAndTheExitCodeIsRead) {
    const fs::path dir = fs::temp_directory_path() / pathFromUtf8("qbk-процесс");
    removeTree(dir);
    ASSERT_TRUE(createDirectories(dir));
    ChildProcessSpec setup;
    setup.program = "/bin/sh";
    const char* script = "printf '%s|' \"$@\"; echo to-err >&2; pwd; exit 3";
    setup.arguments = {"-c", script, "sh", "a b", "quote\"inside", "trailing\\"};
    setup.workingDirectory = dir;
    setup.outputFile = dir / pathFromUtf8("журнал.log");
    ChildProcess child;
    std::string error;
    int code = 0, exitCode = -1;
    ASSERT_TRUE(child.start(setup, error, code)) << error;
    EXPECT_GT(child.pid(), 0);
    ASSERT_EQ(child.waitFor(5s, exitCode), ChildProcess::WaitResult::Exited);
    EXPECT_EQ(exitCode, 3);
    std::ifstream log(setup.outputFile);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}),
              "a b|quote\"inside|trailing\\|to-err\n" + fs::canonical(dir).string() + "\n");
    EXPECT_TRUE(removeTree(dir));

    ChildProcessSpec sleeper;
    sleeper.program = "/bin/sh";
    sleeper.arguments = {"-c", "exec sleep 30"};
    ChildProcess running;
    ASSERT_TRUE(running.start(sleeper, error, code)) << error;
    EXPECT_EQ(running.waitFor(100ms, exitCode), ChildProcess::WaitResult::StillRunning);
    EXPECT_TRUE(running.kill());
    EXPECT_EQ(running.waitFor(0ms, exitCode), ChildProcess::WaitResult::Failed); // reaped

    ChildProcess missing;
    sleeper.program = "/nonexistent/java";
    EXPECT_FALSE(missing.start(sleeper, error, code));
    EXPECT_NE(code, 0);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(missing.isStarted());
}

// Each quoted form was checked to split back exactly under CommandLineToArgvW's rules.
TEST(WindowsArgumentQuoting, HostileArgumentsAreQuotedToSplitBackExactly) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"-Xmx4096M", L"-Xmx4096M"},
        {L"C:\\Games\\java.exe", L"C:\\Games\\java.exe"},
        {L"", L"\"\""},
        {L"with space", L"\"with space\""},
        {L"quote\"inside", L"\"quote\\\"inside\""},
        {L"C:\\Path With Space\\", L"\"C:\\Path With Space\\\\\""},
        {L"ends\\", L"ends\\"},
        {L"two\\\\\"q", L"\"two\\\\\\\\\\\"q\""},
        {L"\"", L"\"\\\"\""},
        {L"\\\\server\\share dir\\", L"\"\\\\server\\share dir\\\\\""},
        {L"tab\there", L"\"tab\there\""},
        {L"-Dname=a \"b\" c\\", L"\"-Dname=a \\\"b\\\" c\\\\\""}};
    for (const auto& [argument, quoted] : cases)
        EXPECT_EQ(quoteWindowsArgument(argument), quoted) << wideToUtf8(argument);
}
