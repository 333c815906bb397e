#include "platform/ChildProcess.h"

#include "platform/Platform.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace qbk::platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / pathFromUtf8("qbk-процесс-" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

ChildProcessSpec shell(const std::string& script) {
    ChildProcessSpec setup;
    setup.program = "/bin/sh";
    setup.arguments = {"-c", script};
    return setup;
}

// CommandLineToArgvW's splitting rules, written independently of the quoting code.
std::vector<std::wstring> splitLikeWindows(const std::wstring& line) {
    std::vector<std::wstring> args;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i >= line.size())
            break;
        std::wstring arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            std::size_t slashes = 0;
            while (i < line.size() && line[i] == L'\\') {
                ++slashes;
                ++i;
            }
            if (i < line.size() && line[i] == L'"') {
                arg.append(slashes / 2, L'\\');
                if (slashes % 2) {
                    arg += L'"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    arg += L'"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(slashes, L'\\');
                if (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t')))
                    arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

} // namespace

TEST(ChildProcess, OutputLandsInTheLogAndTheEarlyExitCodeIsRead) {
    const fs::path dir = scratch("exit");
    auto setup = shell("echo to-out; echo to-err >&2; pwd; exit 3");
    setup.outputFile = dir / pathFromUtf8("журнал.log");
    setup.workingDirectory = dir;
    ChildProcess child;
    std::string error;
    int code = 0;
    ASSERT_TRUE(child.start(setup, error, code)) << error;
    EXPECT_GT(child.pid(), 0);
    int exitCode = -1;
    ASSERT_EQ(child.waitFor(5s, exitCode), ChildProcess::WaitResult::Exited);
    EXPECT_EQ(exitCode, 3);
    const std::string log = readText(setup.outputFile);
    EXPECT_NE(log.find("to-out"), std::string::npos);
    EXPECT_NE(log.find("to-err"), std::string::npos);
    EXPECT_NE(log.find(fs::canonical(dir).native()), std::string::npos);
    fs::remove_all(dir);
}

TEST(ChildProcess, AProcessStillRunningIsReportedAndCanBeEnded) {
    ChildProcess child;
    std::string error;
    int code = 0;
    ASSERT_TRUE(child.start(shell("sleep 30"), error, code)) << error;
    int exitCode = -1;
    EXPECT_EQ(child.waitFor(100ms, exitCode), ChildProcess::WaitResult::StillRunning);
    EXPECT_TRUE(child.kill());
    EXPECT_EQ(child.waitFor(0ms, exitCode), ChildProcess::WaitResult::Failed); // already reaped
}

TEST(ChildProcess, AMissingProgramIsAnErrorWithTheSystemCode) {
    ChildProcessSpec setup;
    setup.program = "/nonexistent/java";
    ChildProcess child;
    std::string error;
    int code = 0;
    EXPECT_FALSE(child.start(setup, error, code));
    EXPECT_NE(code, 0);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(child.isStarted());
}

TEST(ChildProcess, ArgumentsArriveUnsplit) {
    const fs::path dir = scratch("args");
    ChildProcessSpec setup = shell("printf '%s|' \"$@\"");
    setup.arguments.push_back("sh");
    setup.arguments.push_back("a b");
    setup.arguments.push_back("quote\"inside");
    setup.arguments.push_back("trailing\\");
    setup.outputFile = dir / "out";
    ChildProcess child;
    std::string error;
    int code = 0;
    ASSERT_TRUE(child.start(setup, error, code));
    int exitCode = -1;
    ASSERT_EQ(child.waitFor(5s, exitCode), ChildProcess::WaitResult::Exited);
    EXPECT_EQ(readText(setup.outputFile), "a b|quote\"inside|trailing\\|");
    fs::remove_all(dir);
}

TEST(WindowsArgumentQuoting, PlainArgumentsStayAsTheyAre) {
    EXPECT_EQ(quoteWindowsArgument(L"-Xmx4096M"), L"-Xmx4096M");
    EXPECT_EQ(quoteWindowsArgument(L"C:\\Games\\java.exe"), L"C:\\Games\\java.exe");
    EXPECT_EQ(quoteWindowsArgument(L""), L"\"\"");
}

TEST(WindowsArgumentQuoting, HostileArgumentsSplitBackExactly) {
    const std::vector<std::wstring> hostile = {L"with space",
                                               L"quote\"inside",
                                               L"C:\\Path With Space\\",
                                               L"ends\\",
                                               L"two\\\\\"q",
                                               L"\"",
                                               L"\\\\server\\share dir\\",
                                               L"tab\there",
                                               L"-Dname=a \"b\" c\\"};
    std::wstring line = L"\"C:\\java.exe\"";
    for (const auto& arg : hostile)
        line += L" " + quoteWindowsArgument(arg);
    const auto split = splitLikeWindows(line);
    ASSERT_EQ(split.size(), hostile.size() + 1);
    for (std::size_t i = 0; i < hostile.size(); ++i)
        EXPECT_EQ(split[i + 1], hostile[i]) << i;
}
