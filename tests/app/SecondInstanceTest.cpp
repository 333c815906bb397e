// Two real launcher processes on one folder: the second must say so and leave every file as
// it was; a lock left by a killed instance must not keep the next one out.
#include "app/InstanceLock.h"
#include "platform/ChildProcess.h"
#include "tests/support/FolderSnapshot.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace qbk;
using namespace std::chrono_literals;
using platform::ChildProcess;
using test::readWholeFile;

const std::string kMessage = "Лаунчер уже запущен из этой папки.";

class SecondInstance : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        fs::create_directories(launcherDir);
        fs::copy_file(QBK_LAUNCHER, launcherDir / "quellbrook-launcher");
        fs::copy_file(QBK_LAUNCHER_PROBE, launcherDir / "quellbrook-launcher-probe");
        // Nothing answers on port 1, so whatever the window asks fails at once.
        test::writeWholeFile(launcherDir / "Quellbrook.ini",
                             "[auth]\nbaseUrl=http://127.0.0.1:1\n"
                             "[endpoints]\nmodrinthApi=http://127.0.0.1:1\n");
    }
    void TearDown() override { first.kill(); }

    ChildProcess start(const std::string& program, const std::string& output) {
        ChildProcess process;
        std::string error;
        int code = 0;
        EXPECT_TRUE(
            process.start({launcherDir / program, {}, dir.path(), dir / output, {}}, error, code))
            << error;
        return process;
    }
    // Runs the probe build to its end: its exit code and output, -1 when it did not end in time.
    std::pair<int, std::string> runProbe(const std::string& output) {
        ChildProcess probe = start("quellbrook-launcher-probe", output);
        int exitCode = -1;
        if (probe.waitFor(30s, exitCode) != ChildProcess::WaitResult::Exited)
            probe.kill();
        return {exitCode, readWholeFile(dir / output)};
    }
    // Starts the first instance and waits until it holds the lock and has stopped writing.
    void startSettledFirst() {
        first = start("quellbrook-launcher", "first.out");
        for (int i = 0; i < 100 && !fs::exists(lock); ++i)
            std::this_thread::sleep_for(100ms);
        ASSERT_TRUE(fs::exists(lock)) << readWholeFile(dir / "first.out");
        for (int round = 0; test::snapshotFolder(launcherDir) != settled; ++round) {
            ASSERT_LT(round, 20) << "the first instance kept writing";
            settled = test::snapshotFolder(launcherDir);
            std::this_thread::sleep_for(300ms);
        }
    }

    test::TempDir dir{"qbk-instance"};
    fs::path launcherDir = dir / "Лаунчер Quellbrook";
    fs::path lock = InstanceLock::lockFile(launcherDir);
    ChildProcess first;
    test::FolderSnapshot settled;
};

TEST_F(SecondInstance, SecondProcessShowsTheMessageAndChangesNothing) {
    startSettledFirst();
    const auto [exitCode, output] = runProbe("second.out");
    EXPECT_EQ(exitCode, 1);
    EXPECT_NE(output.find("[Launcher] " + kMessage), std::string::npos) << output;
    EXPECT_NE(output.find("probe: message box: " + kMessage), std::string::npos) << output;
    EXPECT_EQ(output.find("probe: main window shown"), std::string::npos) << output;
    EXPECT_TRUE(test::snapshotFolder(launcherDir) == settled);

    // The plain launcher build says the same and waits in its box, still without a change.
    ChildProcess plain = start("quellbrook-launcher", "plain.out");
    for (int i = 0; i < 100 && readWholeFile(dir / "plain.out").find(kMessage) == std::string::npos;
         ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_NE(readWholeFile(dir / "plain.out").find("[Launcher] " + kMessage), std::string::npos);
    int code = 0;
    EXPECT_EQ(plain.waitFor(0ms, code), ChildProcess::WaitResult::StillRunning);
    plain.kill();
    EXPECT_TRUE(test::snapshotFolder(launcherDir) == settled);

    // The first instance is unharmed and still holds the folder.
    EXPECT_EQ(first.waitFor(0ms, code), ChildProcess::WaitResult::StillRunning);
    EXPECT_EQ(runProbe("third.out").first, 1);
}

TEST_F(SecondInstance, LockOfAKilledInstanceIsTakenOver) {
    startSettledFirst();
    ASSERT_TRUE(first.kill());
    ASSERT_TRUE(fs::exists(lock)); // a crash leaves it behind
    const auto [exitCode, output] = runProbe("next.out");
    EXPECT_EQ(exitCode, 0);
    EXPECT_NE(output.find("probe: main window shown"), std::string::npos) << output;
    EXPECT_EQ(output.find(kMessage), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(lock)); // released at a normal exit
}

TEST(InstanceLockTest, OneHolderPerFolderUntilItIsGone) {
    test::TempDir dir{"qbk-lock"};
    {
        const InstanceLock holder(dir.path());
        EXPECT_EQ(holder.state(), InstanceLock::State::Held);
        EXPECT_EQ(InstanceLock(dir.path()).state(), InstanceLock::State::HeldByAnother);
        EXPECT_TRUE(fs::exists(InstanceLock::lockFile(dir.path())));
    }
    EXPECT_FALSE(fs::exists(InstanceLock::lockFile(dir.path())));
    EXPECT_EQ(InstanceLock(dir.path()).state(), InstanceLock::State::Held);
    EXPECT_EQ(InstanceLock(dir / "нет такой папки").state(), InstanceLock::State::Unavailable);
}

} // namespace
