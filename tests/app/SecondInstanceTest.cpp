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
using Snapshot = std::map<std::string, std::pair<fs::file_time_type, std::string>>;
const std::string kMessage = "Лаунчер уже запущен из этой папки.";

class SecondInstance : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        // Nothing answers on port 1: whatever the window asks fails at once.
        test::writeWholeFile(launcherDir / "Quellbrook.ini",
                             "[auth]\nbaseUrl=http://127.0.0.1:1\n"
                             "[endpoints]\nmodrinthApi=http://127.0.0.1:1\n"
                             "launcherUpdates=http://127.0.0.1:1\n");
        for (const char* program : {QBK_LAUNCHER, QBK_LAUNCHER_PROBE})
            fs::copy_file(program, launcherDir / fs::path(program).filename());
        std::string error;
        int code = 0;
        ASSERT_TRUE(first.start({launcherDir / "quellbrook-launcher", {}, {}, dir / "first", {}},
                                error, code));
        // It holds the lock, then writes no more.
        for (int round = 0; round < 40 && !(fs::exists(lock) && snapshot() == settled); ++round) {
            settled = snapshot();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        ASSERT_TRUE(fs::exists(lock) && snapshot() == settled)
            << test::readWholeFile(dir / "first");
    }
    void TearDown() override { first.kill(); }
    // Every entry with its write time (and a file's bytes): equal snapshots mean nothing changed.
    Snapshot snapshot() const {
        Snapshot files;
        for (const auto& entry : fs::recursive_directory_iterator(launcherDir))
            files[entry.path()] = {entry.last_write_time(), entry.is_regular_file()
                                                                ? test::readWholeFile(entry.path())
                                                                : ""};
        return files;
    }
    std::string runProbe(const std::string& output, int exitCode) {
        const auto exit = test::ToolProcess::run(launcherDir / "quellbrook-launcher-probe", {},
                                                 dir.path(), dir / output);
        EXPECT_EQ(exit.code, exitCode) << exit.output;
        return exit.output;
    }
    test::TempDir dir{"qbk-instance"};
    fs::path launcherDir = dir / "Лаунчер Quellbrook", lock = InstanceLock::lockFile(launcherDir);
    platform::ChildProcess first;
    Snapshot settled;
};

TEST_F(SecondInstance, SecondProcessSaysSoAndChangesNothingAKilledHoldersLockIsTakenOver) {
    const std::string second = runProbe("second", 1);
    EXPECT_NE(second.find("[Launcher] " + kMessage), std::string::npos);
    EXPECT_NE(second.find("probe: message box: " + kMessage), std::string::npos);
    EXPECT_TRUE(snapshot() == settled);
    int code = 0;
    EXPECT_EQ(first.waitFor({}, code), platform::ChildProcess::WaitResult::StillRunning);
    ASSERT_TRUE(first.kill() && fs::exists(lock)); // a crash leaves the lock behind
    const std::string next = runProbe("next", 0);
    EXPECT_NE(next.find("probe: main window shown"), std::string::npos);
    EXPECT_EQ(next.find(kMessage), std::string::npos);
    EXPECT_FALSE(fs::exists(lock)); // released at a normal exit
    EXPECT_EQ(InstanceLock(dir / "нет такой папки").state(), InstanceLock::State::Unavailable);
}
} // namespace
