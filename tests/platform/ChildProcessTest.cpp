#include "platform/ChildProcess.h"

#include "platform/Platform.h"
#include "tests/support/WindowsCommandLine.h"

#include <fstream>
#include <gtest/gtest.h>
using namespace qbk::platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
TEST(ChildProcess, ArgumentsArriveUnsplitOutputLandsInTheLogAndTheExitCodeIsRead) {
    const fs::path dir = fs::temp_directory_path() / pathFromUtf8("qbk-процесс");
    removeTree(dir);
    ASSERT_TRUE(createDirectories(dir));
    const char* script = "printf '%s|' \"$@\"; echo to-err >&2; pwd; exit 3";
    const ChildProcessSpec setup{"/bin/sh",
                                 {"-c", script, "sh", "a b", "quote\"inside", "trailing\\"},
                                 dir,
                                 dir / pathFromUtf8("журнал.log"),
                                 {}};
    ChildProcess child, running, missing;
    std::string error;
    int code = 0, exitCode = -1;
    ASSERT_TRUE(child.start(setup, error, code) && child.pid() > 0) << error;
    ASSERT_EQ(child.waitFor(5s, exitCode), ChildProcess::WaitResult::Exited);
    EXPECT_EQ(exitCode, 3);
    std::ifstream log(setup.outputFile);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}),
              "a b|quote\"inside|trailing\\|to-err\n" + fs::canonical(dir).string() + "\n");
    EXPECT_TRUE(removeTree(dir));
    ASSERT_TRUE(running.start({"/bin/sh", {"-c", "exec sleep 30"}, {}, {}, {}}, error, code))
        << error;
    EXPECT_EQ(running.waitFor(100ms, exitCode), ChildProcess::WaitResult::StillRunning);
    EXPECT_TRUE(running.kill());
    EXPECT_EQ(running.waitFor(0ms, exitCode), ChildProcess::WaitResult::Failed); // reaped
    EXPECT_FALSE(missing.start({"/nonexistent/java", {}, {}, {}, {}}, error, code));
    EXPECT_TRUE(code != 0 && !error.empty() && !missing.isStarted());
}
// Hostile arguments split back exactly under Windows' rules; a plain one is left as it is.
TEST(WindowsArgumentQuoting, HostileArgumentsSplitBackExactly) {
    // clang-format off
    const std::vector<std::wstring> args = {L"-Xmx4096M", L"C:\\Games\\java.exe", L"", L"with space",
        L"quote\"inside", L"C:\\Path With Space\\", L"ends\\", L"two\\\\\"q", L"\"",
        L"\\\\server\\share dir\\", L"tab\there", L"-Dname=a \"b\" c\\"};
    // clang-format on
    std::wstring line;
    for (const std::wstring& argument : args)
        line += quoteWindowsArgument(argument) + L" ";
    EXPECT_EQ(qbk::test::splitWindowsCommandLine(line), args) << wideToUtf8(line);
    EXPECT_EQ(quoteWindowsArgument(L"C:\\Games\\ends\\"), L"C:\\Games\\ends\\");
}
