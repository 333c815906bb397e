#include "diagnostics/CheckDialog.h"

#include "tests/app/QtTestApp.h"
#include "tests/support/TempDir.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace qbk {
namespace {

namespace fs = std::filesystem;

// Nothing listens here: every probe is refused at once.
const std::string kNowhere = "http://127.0.0.1:9";

class CheckDialogTest : public ::testing::Test {
protected:
    CheckDialogTest() {
        config.launcherDir = dir.path();
        config.freeSpace = [](const fs::path&) {
            return std::optional<std::uint64_t>(8ull << 30);
        };
        config.endpoints.mojangMeta = kNowhere;
        config.endpoints.neoforgeMaven = kNowhere;
        config.endpoints.modrinthApi = kNowhere;
    }

    QString summary(CheckDialog& dialog) {
        return dialog.findChildren<QLabel*>(QStringLiteral("hintLabel")).value(0)->text();
    }
    QList<QWidget*> rows(CheckDialog& dialog) {
        return dialog.findChildren<QWidget*>(QStringLiteral("modRow"));
    }

    test::TempDir dir{"qbk-check-dialog"};
    LauncherChecks::Config config;
};

TEST_F(CheckDialogTest, ShowsARowPerCheckInOrderAndSumsThemUp) {
    CheckDialog dialog(config);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Проверка лаунчера"));
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(summary(dialog), QStringLiteral("Проверяю... это займёт несколько секунд."));
    EXPECT_TRUE(rows(dialog).isEmpty());

    ASSERT_TRUE(QTest::qWaitFor([&] { return rows(dialog).size() == 9; }, 15000));
    // One error (no service answers), six remarks of a fresh folder.
    EXPECT_EQ(summary(dialog),
              QStringLiteral("Найдено проблем: 1. Их нужно исправить, иначе игра не запустится."));
    QStringList titles;
    QStringList marks;
    for (QWidget* row : rows(dialog)) {
        titles << row->findChild<QLabel*>(QStringLiteral("modTitle"))->text();
        // The mark is the row's one label without a name.
        for (QLabel* label : row->findChildren<QLabel*>())
            if (label->objectName().isEmpty())
                marks << label->text();
        EXPECT_TRUE(row->findChild<QLabel*>(QStringLiteral("modMeta"))->wordWrap());
    }
    EXPECT_EQ(titles,
              (QStringList{"Права на запись", "Место на диске", "Java 21", "Minecraft 1.21.1",
                           "Библиотеки", "Ресурсы игры", "NeoForge", "Моды", "Интернет"}));
    EXPECT_EQ(marks, (QStringList{"✓", "✓", "!", "!", "!", "!", "!", "!", "✕"}));
}

TEST_F(CheckDialogTest, SummaryCountsErrorsFirstThenRemarks) {
    const CheckResult ok{QStringLiteral("a"), QStringLiteral("b"), CheckSeverity::Ok};
    const CheckResult remark{QStringLiteral("a"), QStringLiteral("b"), CheckSeverity::Warning};
    EXPECT_EQ(CheckDialog::summaryFor({ok, ok}),
              QStringLiteral("Всё в порядке, лаунчер готов к работе."));
    EXPECT_EQ(CheckDialog::summaryFor({ok, remark, remark}),
              QStringLiteral("Критических проблем нет. Замечаний: 2 — обычно это просто "
                             "означает, что игра ещё не установлена."));
}

TEST_F(CheckDialogTest, ClosingBeforeTheResultsDropsThem) {
    // A runtime that hangs keeps the checks busy past the close.
    const fs::path java = dir / "runtime/java21/bin" / TargetPlatform::host().javaExecutable;
    fs::create_directories(java.parent_path());
    std::ofstream(java) << "#!/bin/sh\nexec sleep 5\n";
    fs::permissions(java, fs::perms::owner_all);
    config.javaTimeout = std::chrono::milliseconds(700);
    {
        auto* dialog = new CheckDialog(config);
        dialog->show();
        QPushButton* close = dialog->findChild<QPushButton*>(QStringLiteral("secondaryButton"));
        ASSERT_NE(close, nullptr);
        EXPECT_EQ(close->text(), QStringLiteral("Закрыть"));
        close->click();
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        delete dialog;
    }
    // The task ends on its own without a dialog to report to.
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(15000));
}

} // namespace
} // namespace qbk
