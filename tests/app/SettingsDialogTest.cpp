#include "app/SettingsDialog.h"

#include "app/Settings.h"
#include "tests/app/QtTestApp.h"
#include "tests/support/TempDir.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace qbk {
namespace {

namespace fs = std::filesystem;

const QString kAboveHalf = QStringLiteral(
    "⚠ Больше половины памяти системы. Windows и драйверам тоже нужна память — при таком "
    "значении игра может начать тормозить сильнее, а не меньше.");
const QString kBelowTwo = QStringLiteral(
    "⚠ Меньше 2 ГБ на сборку с модами обычно мало — возможны вылеты по нехватке памяти.");

class SettingsDialogTest : public ::testing::Test {
protected:
    fs::path ini() const { return dir / "Quellbrook.ini"; }
    QVariant onDisk(const QString& key) const {
        return QSettings(QString::fromStdString(ini().string()), QSettings::IniFormat).value(key);
    }
    void writeIni(const QString& key, const QVariant& value) {
        QSettings file(QString::fromStdString(ini().string()), QSettings::IniFormat);
        file.setValue(key, value);
    }

    SettingsDialog& open(std::uint64_t totalMb = 16384) {
        settings = std::make_unique<Settings>(
            ini(), [totalMb] { return std::optional<std::uint64_t>(totalMb * 1048576); });
        dialog = std::make_unique<SettingsDialog>(*settings);
        dialog->setFolderOpener([this](const QUrl& url) { opened << url; });
        dialog->show();
        return *dialog;
    }
    QSlider* slider() { return dialog->findChild<QSlider*>(); }
    QSpinBox* spin() { return dialog->findChild<QSpinBox*>(); }
    QString info() {
        return dialog->findChildren<QLabel*>(QStringLiteral("hintLabel")).at(0)->text();
    }
    QString warning() {
        return dialog->findChildren<QLabel*>(QStringLiteral("hintLabel")).at(1)->text();
    }
    QCheckBox* box(const QString& text) {
        for (QCheckBox* candidate : dialog->findChildren<QCheckBox*>())
            if (candidate->text() == text)
                return candidate;
        ADD_FAILURE() << "no box " << text.toStdString();
        return nullptr;
    }
    QPushButton* button(const QString& text) {
        for (QPushButton* candidate : dialog->findChildren<QPushButton*>())
            if (candidate->text() == text)
                return candidate;
        ADD_FAILURE() << "no button " << text.toStdString();
        return nullptr;
    }

    test::TempDir dir{"qbk-settings-dialog"};
    std::unique_ptr<Settings> settings;
    std::unique_ptr<SettingsDialog> dialog;
    QList<QUrl> opened;
};

TEST_F(SettingsDialogTest, MemoryRangeAndWarningsFollowTheMachine) {
    open(16384);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Настройки"));
    EXPECT_EQ(info(), QStringLiteral("В системе 16384 МБ. Доступно для игры до 14336 МБ."));
    EXPECT_EQ(slider()->maximum(), 14336);
    EXPECT_EQ(spin()->maximum(), 14336);
    EXPECT_EQ(spin()->suffix(), QStringLiteral(" МБ"));
    EXPECT_EQ(slider()->value(), 4096); // the default
    EXPECT_EQ(warning(), QString());
    spin()->setValue(8704);
    EXPECT_EQ(slider()->value(), 8704);
    EXPECT_EQ(warning(), kAboveHalf);
    slider()->setValue(1536);
    EXPECT_EQ(spin()->value(), 1536);
    EXPECT_EQ(warning(), kBelowTwo);
    EXPECT_EQ(SettingsDialog::memoryWarning(8192, 16384), QString()); // exactly half is fine
}

TEST_F(SettingsDialogTest, SmallMachinesGetOneValueAndTheRightWarning) {
    open(3072);
    EXPECT_EQ(slider()->minimum(), 1024);
    EXPECT_EQ(slider()->maximum(), 1024);
    EXPECT_EQ(warning(), kBelowTwo);
    open(1536);
    EXPECT_EQ(warning(), kAboveHalf);
}

TEST_F(SettingsDialogTest, KeysMoveTheSliderInItsStepsAndTheSpinBoxFollows) {
    writeIni(QStringLiteral("game/maxRamMb"), 512);
    open();
    EXPECT_EQ(slider()->value(), 1024); // a stored value below the floor opens at it
    slider()->setFocus();
    QTest::keyClick(slider(), Qt::Key_Right);
    EXPECT_EQ(spin()->value(), 1536);
    QTest::keyClick(slider(), Qt::Key_PageUp);
    EXPECT_EQ(spin()->value(), 2560);
}

TEST_F(SettingsDialogTest, SaveWritesEverythingAndCancelNothing) {
    writeIni(QStringLiteral("player/username"), QStringLiteral("Игрок"));
    open();
    EXPECT_TRUE(box(QStringLiteral("Запоминать логин"))->isChecked());
    EXPECT_FALSE(box(QStringLiteral("Закрывать лаунчер после запуска игры"))->isChecked());
    spin()->setValue(6144);
    box(QStringLiteral("Закрывать лаунчер после запуска игры"))->setChecked(true);
    box(QStringLiteral("Запоминать логин"))->setChecked(false);
    button(QStringLiteral("Отмена"))->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(onDisk(QStringLiteral("game/maxRamMb")).isValid());
    EXPECT_EQ(onDisk(QStringLiteral("player/username")).toString(), QStringLiteral("Игрок"));

    open();
    spin()->setValue(6144);
    box(QStringLiteral("Закрывать лаунчер после запуска игры"))->setChecked(true);
    box(QStringLiteral("Запоминать логин"))->setChecked(false);
    button(QStringLiteral("Сохранить"))->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(onDisk(QStringLiteral("game/maxRamMb")).toInt(), 6144);
    EXPECT_EQ(onDisk(QStringLiteral("launcher/closeOnLaunch")).toBool(), true);
    EXPECT_EQ(onDisk(QStringLiteral("player/rememberLogin")).toBool(), false);
    EXPECT_EQ(onDisk(QStringLiteral("player/username")).toString(), QString());

    // The next opening shows what was saved.
    open();
    EXPECT_EQ(spin()->value(), 6144);
    EXPECT_FALSE(box(QStringLiteral("Запоминать логин"))->isChecked());
    EXPECT_TRUE(box(QStringLiteral("Закрывать лаунчер после запуска игры"))->isChecked());
}

TEST_F(SettingsDialogTest, OpenFolderCreatesTheGameFolderAndStaysOpen) {
    open();
    button(QStringLiteral("Открыть папку игры"))->click();
    const fs::path game = dir / "minecraft";
    EXPECT_TRUE(fs::is_directory(game));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(fs::path(opened.at(0).toLocalFile().toStdString()), game);
    EXPECT_TRUE(dialog->isVisible());
}

} // namespace
} // namespace qbk
