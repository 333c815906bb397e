// Two real launcher processes on one folder: the second says so and leaves every file as it
// was; the lock of a killed instance does not keep the next one out.
#include "app/InstanceLock.h"
#include "tests/support/TempDir.h"
#include "tests/support/ToolProcess.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <map>

namespace {

namespace fs = std::filesystem;
using namespace qbk;
using namespace std::chrono_literals;
using Snapshot = std::map<std::string, std::pair<fs::file_time_type, std::string>>;
const std::string kMessage = "Лаунчер уже запущен из этой папки.";
constexpr auto npos = std::string::npos;

// Every entry below dir with its write time and bytes: equal snapshots mean nothing changed.
Snapshot snapshot(const fs::path& dir) {
    Snapshot files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        files[entry.path().string()] = {entry.last_write_time(), test::readWholeFile(entry.path())};
    return files;
}

class SecondInstance : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        fs::create_directories(launcherDir);
        for (const char* program : {QBK_LAUNCHER, QBK_LAUNCHER_PROBE})
            fs::copy_file(program, launcherDir / fs::path(program).filename());
        // Nothing answers on port 1: whatever the window asks fails at once.
        test::writeWholeFile(launcherDir / "Quellbrook.ini",
                             "[auth]\nbaseUrl=http://127.0.0.1:1\n"
                             "[endpoints]\nmodrinthApi=http://127.0.0.1:1\n");
        std::string error;
        int code = 0;
        ASSERT_TRUE(first.start(
            {launcherDir / "quellbrook-launcher", {}, dir.path(), dir / "first.out", {}}, error,
            code))
            << error;
        // It holds the lock, then writes no more.
        for (int round = 0; round < 40 && !(fs::exists(lock) && snapshot(launcherDir) == settled);
             ++round) {
            settled = snapshot(launcherDir);
            std::this_thread::sleep_for(300ms);
        }
        ASSERT_TRUE(fs::exists(lock) && snapshot(launcherDir) == settled)
            << test::readWholeFile(dir / "first.out");
    }
    void TearDown() override { first.kill(); }
    test::ToolProcess::Exit runProbe(const std::string& output) {
        return test::ToolProcess::run(launcherDir / "quellbrook-launcher-probe", {}, dir.path(),
                                      dir / output);
    }

    test::TempDir dir{"qbk-instance"};
    fs::path launcherDir = dir / "Лаунчер Quellbrook";
    fs::path lock = InstanceLock::lockFile(launcherDir);
    platform::ChildProcess first;
    Snapshot settled;
};

TEST_F(SecondInstance, SecondProcessSaysSoAndChangesNothingAKilledHoldersLockIsTakenOver) {
    const auto second = runProbe("second.out");
    EXPECT_EQ(second.code, 1);
    for (const std::string& line : {"[Launcher] " + kMessage, "probe: message box: " + kMessage})
        EXPECT_NE(second.output.find(line), npos) << second.output;
    EXPECT_EQ(second.output.find("main window"), npos) << second.output;
    EXPECT_TRUE(snapshot(launcherDir) == settled);
    int code = 0;
    EXPECT_EQ(first.waitFor(0ms, code), platform::ChildProcess::WaitResult::StillRunning);

    ASSERT_TRUE(first.kill());
    ASSERT_TRUE(fs::exists(lock)); // a crash leaves it behind
    const auto next = runProbe("next.out");
    EXPECT_EQ(next.code, 0);
    EXPECT_NE(next.output.find("probe: main window shown"), npos) << next.output;
    EXPECT_EQ(next.output.find(kMessage), npos) << next.output;
    EXPECT_FALSE(fs::exists(lock)); // released at a normal exit
    EXPECT_EQ(InstanceLock(dir / "нет такой папки").state(), InstanceLock::State::Unavailable);
}

} // namespace
