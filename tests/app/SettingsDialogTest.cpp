#include "app/SettingsDialog.h"

#include "app/Settings.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"
#include "tests/support/WidgetLookup.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QUrl>

namespace {
namespace fs = std::filesystem;
using namespace qbk;
using test::byText;

TEST(SettingsDialogTest, CancelWritesNothingSaveWritesAllAndTheFolderOpens) {
    test::TempDir dir{"qbk-settings-dialog"};
    const fs::path ini = dir / "Quellbrook.ini";
    test::writeWholeFile(ini, "[player]\nusername=Игрок\n");
    QList<QUrl> opened;
    // A dialog on the file as it is now, changed and left by the button: the button's result,
    // then the file's memory, close-on-launch, remember-login and name.
    const auto changeAndPress = [&](const char* button) {
        Settings settings(ini, [] { return std::optional(16ull << 30); });
        SettingsDialog dialog(settings);
        dialog.setFolderOpener([&opened](const QUrl& url) { opened << url; });
        dialog.findChild<QSpinBox*>()->setValue(6144);
        dialog.findChildren<QCheckBox*>().at(0)->setChecked(false);
        dialog.findChildren<QCheckBox*>().at(1)->setChecked(true);
        byText<QPushButton>(&dialog, button)->click();
        const QSettings file(QString::fromStdString(ini.string()), QSettings::IniFormat);
        QStringList saved{QString::number(dialog.result())};
        for (const char* key :
             {"game/maxRamMb", "launcher/closeOnLaunch", "player/rememberLogin", "player/username"})
            saved << file.value(key).toString();
        return saved;
    };
    EXPECT_EQ(changeAndPress("Отмена"), (QStringList{"0", "", "", "", "Игрок"}));
    // Not remembering the login forgets the one remembered.
    EXPECT_EQ(changeAndPress("Сохранить"), (QStringList{"1", "6144", "true", "false", ""}));
    EXPECT_EQ(changeAndPress("Открыть папку игры"),
              (QStringList{"0", "6144", "true", "false", ""}));
    EXPECT_TRUE(fs::is_directory(dir / "minecraft"));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(
                          QString::fromStdString((dir / "minecraft").string()))});
}
} // namespace
