#include "app/SettingsDialog.h"

#include "app/Settings.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WidgetLookup.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

namespace {

namespace fs = std::filesystem;
using namespace qbk;
using test::byText;
const QString kClose = "Закрывать лаунчер после запуска игры", kLogin = "Запоминать логин";

class SettingsDialogTest : public ::testing::Test {
protected:
    QVariant onDisk(const char* key) const {
        return QSettings(QString::fromStdString(ini.string()), QSettings::IniFormat).value(key);
    }
    void open() {
        dialog.reset(); // the one before goes first: it holds the settings
        settings.emplace(ini, [] { return std::optional(16ull << 30); });
        dialog.emplace(*settings);
        dialog->setFolderOpener([this](const QUrl& url) { opened << url; });
        dialog->show();
    }
    QSlider* slider() { return dialog->findChild<QSlider*>(); }
    QSpinBox* spin() { return dialog->findChild<QSpinBox*>(); }
    template <typename T = QCheckBox> T* named(const QString& text) {
        return byText<T>(&*dialog, text);
    }
    void changeAndPress(const QString& button) {
        spin()->setValue(6144);
        named(kClose)->setChecked(true);
        named(kLogin)->setChecked(false);
        named<QPushButton>(button)->click();
    }

    test::TempDir dir{"qbk-settings-dialog"};
    fs::path ini = dir / "Quellbrook.ini";
    std::optional<Settings> settings;
    std::optional<SettingsDialog> dialog;
    QList<QUrl> opened;
};

TEST_F(SettingsDialogTest, MemoryWarningsAtTheirBoundaries) {
    // 'H': more than half the machine's memory, 'L': less than 2 GB for a modded game.
    const std::tuple<int, int, char> rows[] = {{8192, 16384, ' '}, {8193, 16384, 'H'},
                                               {2048, 16384, ' '}, {2047, 16384, 'L'},
                                               {1024, 1536, 'H'},  {1024, 3072, 'L'}};
    for (const auto& [value, total, kind] : rows) {
        const QString shown = SettingsDialog::memoryWarning(value, total);
        EXPECT_EQ(shown.isEmpty() ? ' ' : shown.contains("половины") ? 'H' : 'L', kind) << value;
    }
}

TEST_F(SettingsDialogTest, SliderAndSpinBoxMoveTogetherWithinTheMachinesRange) {
    open();
    EXPECT_EQ(slider()->maximum(), 14336);
    EXPECT_EQ(spin()->maximum(), 14336);
    EXPECT_EQ(slider()->value(), 4096);
    QLabel* warning = dialog->findChildren<QLabel*>("hintLabel").at(1);
    EXPECT_EQ(warning->text(), "");
    spin()->setValue(8704);
    EXPECT_EQ(slider()->value(), 8704);
    EXPECT_TRUE(warning->text().contains("половины"));
    slider()->setValue(1024);
    EXPECT_EQ(spin()->value(), 1024);
    EXPECT_TRUE(warning->text().contains("2 ГБ"));
    slider()->setFocus();
    QTest::keyClick(slider(), Qt::Key_Right);
    EXPECT_EQ(spin()->value(), 1536);
    QTest::keyClick(slider(), Qt::Key_PageUp);
    EXPECT_EQ(spin()->value(), 2560);
}

TEST_F(SettingsDialogTest, SaveWritesEverythingCancelNothingAndTheGameFolderOpens) {
    QSettings(QString::fromStdString(ini.string()), QSettings::IniFormat)
        .setValue("player/username", "Игрок");
    open();
    changeAndPress("Отмена");
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(onDisk("game/maxRamMb").isValid());
    EXPECT_EQ(onDisk("player/username").toString(), "Игрок");

    open();
    changeAndPress("Сохранить");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(onDisk("game/maxRamMb").toInt(), 6144);
    EXPECT_TRUE(onDisk("launcher/closeOnLaunch").toBool());
    EXPECT_FALSE(onDisk("player/rememberLogin").toBool());
    EXPECT_EQ(onDisk("player/username").toString(), ""); // not remembered: forgotten

    open(); // the next opening shows what was saved
    EXPECT_EQ(spin()->value(), 6144);
    EXPECT_TRUE(named(kClose)->isChecked());
    EXPECT_FALSE(named(kLogin)->isChecked());
    named<QPushButton>("Открыть папку игры")->click();
    EXPECT_TRUE(fs::is_directory(dir / "minecraft"));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(
                          QString::fromStdString((dir / "minecraft").string()))});
    EXPECT_TRUE(dialog->isVisible());
}

} // namespace
