// Two real launcher processes on one folder: the second must say so and leave every file as
// it was; a lock left by a killed instance must not keep the next one out.

#include "app/InstanceLock.h"
#include "platform/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <QtGlobal>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <thread>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using platform::ChildProcess;
using namespace std::chrono_literals;

const std::string kMessage = "Лаунчер уже запущен из этой папки.";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct FileState {
    std::uintmax_t size = 0;
    fs::file_time_type written;
    std::string content;
    bool operator==(const FileState&) const = default;
};

// Every file and folder below dir with its size, time and bytes.
std::map<std::string, FileState> snapshot(const fs::path& dir) {
    std::map<std::string, FileState> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        FileState state;
        state.written = entry.last_write_time();
        if (entry.is_regular_file()) {
            state.size = entry.file_size();
            state.content = readFile(entry.path());
        }
        files[fs::relative(entry.path(), dir).string()] = state;
    }
    return files;
}

class SecondInstance : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        fs::create_directories(launcherDir);
        fs::copy_file(QBK_LAUNCHER, launcherDir / "quellbrook-launcher");
        fs::copy_file(QBK_LAUNCHER_PROBE, launcherDir / "quellbrook-launcher-probe");
        // Nothing answers on port 1, so whatever the window asks fails at once.
        std::ofstream(launcherDir / "Quellbrook.ini")
            << "[auth]\nbaseUrl=http://127.0.0.1:1\n[endpoints]\nmodrinthApi=http://127.0.0.1:1\n";
    }
    void TearDown() override { first.kill(); }

    ChildProcess start(const std::string& program, const fs::path& output) {
        ChildProcess process;
        platform::ChildProcessSpec setup;
        setup.program = launcherDir / program;
        setup.workingDirectory = dir.path();
        setup.outputFile = output;
        std::string error;
        int code = 0;
        EXPECT_TRUE(process.start(setup, error, code)) << error;
        return process;
    }

    // Runs the probe build to its end; the exit code, or -1 when it did not end in time.
    int runProbe(const fs::path& output) {
        ChildProcess probe = start("quellbrook-launcher-probe", output);
        int exitCode = -1;
        if (probe.waitFor(30s, exitCode) != ChildProcess::WaitResult::Exited) {
            probe.kill();
            return -1;
        }
        return exitCode;
    }

    // Waits until the first instance holds the lock and has stopped writing.
    void waitForSettledFirst() {
        const fs::path lock = InstanceLock::lockFile(launcherDir);
        for (int i = 0; i < 100 && !fs::exists(lock); ++i)
            std::this_thread::sleep_for(100ms);
        ASSERT_TRUE(fs::exists(lock)) << readFile(dir / "first.out");
        auto previous = snapshot(launcherDir);
        for (int i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(300ms);
            auto now = snapshot(launcherDir);
            if (now == previous)
                return;
            previous = std::move(now);
        }
        FAIL() << "the first instance kept writing";
    }

    test::TempDir dir{"qbk-instance"};
    fs::path launcherDir = dir / "Лаунчер Quellbrook";
    ChildProcess first;
};

TEST_F(SecondInstance, SecondProcessShowsTheMessageAndChangesNothing) {
    first = start("quellbrook-launcher", dir / "first.out");
    waitForSettledFirst();
    const auto before = snapshot(launcherDir);

    EXPECT_EQ(runProbe(dir / "second.out"), 1);
    const std::string output = readFile(dir / "second.out");
    EXPECT_NE(output.find("[Launcher] " + kMessage), std::string::npos) << output;
    EXPECT_NE(output.find("probe: message box: " + kMessage), std::string::npos) << output;
    EXPECT_EQ(output.find("probe: main window shown"), std::string::npos) << output;
    EXPECT_TRUE(snapshot(launcherDir) == before);

    // The plain launcher build says the same and waits in its box, still without a change.
    ChildProcess plain = start("quellbrook-launcher", dir / "plain.out");
    for (int i = 0; i < 100 && readFile(dir / "plain.out").find(kMessage) == std::string::npos; ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_NE(readFile(dir / "plain.out").find("[Launcher] " + kMessage), std::string::npos);
    int plainExit = 0;
    EXPECT_EQ(plain.waitFor(0ms, plainExit), ChildProcess::WaitResult::StillRunning);
    plain.kill();
    EXPECT_TRUE(snapshot(launcherDir) == before);

    // The first instance is unharmed and still holds the folder.
    int exitCode = 0;
    EXPECT_EQ(first.waitFor(0ms, exitCode), ChildProcess::WaitResult::StillRunning);
    EXPECT_EQ(runProbe(dir / "third.out"), 1);
}

TEST_F(SecondInstance, LockOfAKilledInstanceIsTakenOver) {
    first = start("quellbrook-launcher", dir / "first.out");
    waitForSettledFirst();
    ASSERT_TRUE(first.kill());
    const fs::path lock = InstanceLock::lockFile(launcherDir);
    ASSERT_TRUE(fs::exists(lock)); // a crash leaves it behind

    EXPECT_EQ(runProbe(dir / "next.out"), 0);
    const std::string output = readFile(dir / "next.out");
    EXPECT_NE(output.find("probe: main window shown"), std::string::npos) << output;
    EXPECT_EQ(output.find(kMessage), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(lock)); // released at a normal exit
}

TEST(InstanceLockTest, OneHolderPerFolderUntilItIsGone) {
    test::TempDir dir{"qbk-lock"};
    const fs::path folder = dir / "Папка";
    fs::create_directories(folder);
    {
        const InstanceLock holder(folder);
        EXPECT_EQ(holder.state(), InstanceLock::State::Held);
        const InstanceLock second(folder);
        EXPECT_EQ(second.state(), InstanceLock::State::HeldByAnother);
        EXPECT_TRUE(fs::exists(InstanceLock::lockFile(folder)));
    }
    EXPECT_FALSE(fs::exists(InstanceLock::lockFile(folder)));
    const InstanceLock again(folder);
    EXPECT_EQ(again.state(), InstanceLock::State::Held);
    EXPECT_EQ(InstanceLock(dir / "нет такой папки").state(), InstanceLock::State::Unavailable);
}

} // namespace
} // namespace qbk
