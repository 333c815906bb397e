#include "diagnostics/CheckDialog.h"

#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {
namespace fs = std::filesystem;
using namespace qbk;

// A fresh folder, nothing listening on the services' port: every probe is refused, the one
// error of the summary. Then a hung runtime keeps the checks busy past an early close; the task
// ends by itself.
TEST(CheckDialogTest, NoServiceIsTheOneProblemAndADialogClosedEarlyDropsItsChecks) {
    test::TempDir dir{"qbk-check-dialog"};
    LauncherChecks::Config config{
        .launcherDir = dir.path(), .javaTimeout = std::chrono::seconds(1), .freeSpace = [](auto&) {
            return std::optional(8ull << 30);
        }};
    config.endpoints.mojangMeta = config.endpoints.neoforgeMaven = config.endpoints.modrinthApi =
        "http://127.0.0.1:9";
    {
        CheckDialog dialog(config);
        QLabel* summary = dialog.findChildren<QLabel*>("hintLabel").value(0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return summary->text().startsWith("Найдено"); }, 15000));
        EXPECT_TRUE(summary->text().startsWith("Найдено проблем: 1. "));
        EXPECT_TRUE(fs::is_empty(dir.path())); // the write test leaves nothing behind
    }
#ifndef _WIN32 // no script is a program there; Wine starts it without a handle to end it by
    const fs::path java = dir / "runtime/java21/bin" / TargetPlatform::host().javaExecutable;
    test::writeWholeFile(java, "#!/bin/sh\nexec sleep 5\n");
    fs::permissions(java, fs::perms::owner_all);
    CheckDialog(config).findChild<QPushButton*>("secondaryButton")->click();
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(15000));
#endif
}
} // namespace
