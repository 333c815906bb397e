#include "app/SettingsDialog.h"

#include "app/Settings.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WidgetLookup.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>

namespace {
namespace fs = std::filesystem;
using namespace qbk;
using test::byText;

TEST(SettingsDialogTest, WarningsAtTheirBoundariesCancelWritesNothingSaveAllAndTheFolderOpens) {
    // 'H': more than half the machine's memory, 'L': less than 2 GB for a modded game.
    const std::tuple<int, int, char> rows[] = {{8192, 16384, ' '}, {8193, 16384, 'H'},
                                               {2048, 16384, ' '}, {2047, 16384, 'L'},
                                               {1024, 1536, 'H'},  {1024, 3072, 'L'}};
    for (const auto& [value, total, kind] : rows) {
        const QString shown = SettingsDialog::memoryWarning(value, total);
        EXPECT_EQ(shown.isEmpty() ? ' ' : shown.contains("половины") ? 'H' : 'L', kind) << value;
    }
    // Each opening reads the file anew (the one before goes first: it holds the settings).
    test::TempDir dir{"qbk-settings-dialog"};
    const fs::path ini = dir / "Quellbrook.ini";
    test::writeWholeFile(ini, "[player]\nusername=Игрок\n");
    std::optional<Settings> settings;
    std::optional<SettingsDialog> dialog;
    QList<QUrl> opened;
    // The memory, then the boxes (remember the login, close on launch) as shown.
    const auto open = [&] {
        dialog.reset();
        settings.emplace(ini, [] { return std::optional(16ull << 30); });
        dialog.emplace(*settings);
        dialog->setFolderOpener([&opened](const QUrl& url) { opened << url; });
        const auto boxes = dialog->findChildren<QCheckBox*>();
        return QStringList{QString::number(dialog->findChild<QSpinBox*>()->value()),
                           boxes.at(0)->isChecked() ? "login" : "",
                           boxes.at(1)->isChecked() ? "close" : ""};
    };
    // The button's result, then the file's memory, close-on-launch, remember-login and name.
    const auto changeAndPress = [&](const char* button) {
        dialog->findChild<QSpinBox*>()->setValue(6144);
        dialog->findChildren<QCheckBox*>().at(0)->setChecked(false);
        dialog->findChildren<QCheckBox*>().at(1)->setChecked(true);
        byText<QPushButton>(&*dialog, button)->click();
        const QSettings file(QString::fromStdString(ini.string()), QSettings::IniFormat);
        QStringList saved{QString::number(dialog->result())};
        for (const char* key :
             {"game/maxRamMb", "launcher/closeOnLaunch", "player/rememberLogin", "player/username"})
            saved << file.value(key).toString();
        return saved;
    };
    EXPECT_EQ(open(), (QStringList{"4096", "login", ""}));
    auto* slider = dialog->findChild<QSlider*>();
    auto* spin = dialog->findChild<QSpinBox*>();
    QLabel* warning = dialog->findChildren<QLabel*>("hintLabel").at(1);
    spin->setValue(8704);
    EXPECT_EQ(std::pair(slider->value(), warning->text().contains("половины")),
              std::pair(8704, true));
    slider->setValue(1024);
    EXPECT_EQ(std::pair(spin->value(), warning->text().contains("2 ГБ")), std::pair(1024, true));
    EXPECT_EQ(changeAndPress("Отмена"), (QStringList{"0", "", "", "", "Игрок"}));
    open();
    // Not remembering the login forgets the one remembered.
    EXPECT_EQ(changeAndPress("Сохранить"), (QStringList{"1", "6144", "true", "false", ""}));
    EXPECT_EQ(open(), (QStringList{"6144", "", "close"}));
    byText<QPushButton>(&*dialog, "Открыть папку игры")->click();
    EXPECT_TRUE(fs::is_directory(dir / "minecraft"));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(
                          QString::fromStdString((dir / "minecraft").string()))});
}
} // namespace
