#include "app/SettingsDialog.h"

#include "app/Settings.h"
#include "platform/Platform.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

namespace qbk {

namespace {

QLabel* namedLabel(const QString& text, const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    return label;
}

QPushButton* namedButton(const QString& text, const QString& objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

SettingsDialog::SettingsDialog(QWidget* parent) : SettingsDialog(Settings::instance(), parent) {}

SettingsDialog::SettingsDialog(Settings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings),
      openFolder_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    buildUi();
    const int stored = settings_.maxRamMb();
    memorySlider_->setValue(stored);
    memorySpin_->setValue(stored);
    updateMemoryWarning(stored);
    rememberLoginBox_->setChecked(settings_.rememberLogin());
    closeOnLaunchBox_->setChecked(settings_.closeOnLaunch());
}

void SettingsDialog::buildUi() {
    setWindowTitle(QStringLiteral("Настройки"));
    setModal(true);
    setMinimumWidth(660);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(34, 30, 34, 26);
    layout->setSpacing(22);
    layout->addWidget(
        namedLabel(QStringLiteral("Выделенная память"), QStringLiteral("sectionTitle"), this));
    QLabel* info = namedLabel(QStringLiteral("В системе %1 МБ. Доступно для игры до %2 МБ.")
                                  .arg(settings_.totalRamMb())
                                  .arg(settings_.maxAllowedRamMb()),
                              QStringLiteral("hintLabel"), this);
    info->setWordWrap(true);
    layout->addWidget(info);
    layout->addWidget(buildMemoryRow());
    warningLabel_ = namedLabel(QString(), QStringLiteral("hintLabel"), this);
    warningLabel_->setWordWrap(true);
    layout->addWidget(warningLabel_);
    rememberLoginBox_ = new QCheckBox(QStringLiteral("Запоминать логин"), this);
    layout->addWidget(rememberLoginBox_);
    closeOnLaunchBox_ = new QCheckBox(QStringLiteral("Закрывать лаунчер после запуска игры"), this);
    layout->addWidget(closeOnLaunchBox_);
    layout->addLayout(buildButtonRow());
}

QWidget* SettingsDialog::buildMemoryRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    const int available = settings_.maxAllowedRamMb();
    memorySlider_ = new QSlider(Qt::Horizontal, row);
    memorySlider_->setRange(Settings::kMinRamMb, available);
    memorySlider_->setSingleStep(512);
    memorySlider_->setPageStep(1024);
    memorySlider_->setAccessibleName(QStringLiteral("Память для игры"));
    memorySpin_ = new QSpinBox(row);
    memorySpin_->setRange(Settings::kMinRamMb, available);
    memorySpin_->setSingleStep(512);
    memorySpin_->setSuffix(QStringLiteral(" МБ"));
    memorySpin_->setMinimumWidth(190);
    memorySpin_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    memorySpin_->setAccessibleName(QStringLiteral("Память для игры, МБ"));
    layout->addWidget(memorySlider_, 1);
    layout->addWidget(memorySpin_);

    connect(memorySlider_, &QSlider::valueChanged, this, [this](int value) {
        if (memorySpin_->value() != value)
            memorySpin_->setValue(value);
        updateMemoryWarning(value);
    });
    connect(memorySpin_, &QSpinBox::valueChanged, this, [this](int value) {
        if (memorySlider_->value() != value)
            memorySlider_->setValue(value);
        updateMemoryWarning(value);
    });
    return row;
}

QLayout* SettingsDialog::buildButtonRow() {
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    QPushButton* folder =
        namedButton(QStringLiteral("Открыть папку игры"), QStringLiteral("secondaryButton"), this);
    QPushButton* cancel =
        namedButton(QStringLiteral("Отмена"), QStringLiteral("cancelButton"), this);
    QPushButton* save =
        namedButton(QStringLiteral("Сохранить"), QStringLiteral("chooseButton"), this);
    connect(folder, &QPushButton::clicked, this, &SettingsDialog::openGameFolder);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(save, &QPushButton::clicked, this, &SettingsDialog::saveSettings);
    row->addWidget(folder);
    row->addStretch();
    row->addWidget(cancel);
    row->addWidget(save);
    return row;
}

QString SettingsDialog::memoryWarning(int valueMb, int totalMb) {
    if (valueMb > totalMb / 2)
        return QStringLiteral("⚠ Больше половины памяти системы. Windows и драйверам тоже нужна "
                              "память — при таком значении игра может начать тормозить сильнее, "
                              "а не меньше.");
    if (valueMb < 2048)
        return QStringLiteral("⚠ Меньше 2 ГБ на сборку с модами обычно мало — возможны вылеты по "
                              "нехватке памяти.");
    return {};
}

void SettingsDialog::updateMemoryWarning(int valueMb) {
    warningLabel_->setText(memoryWarning(valueMb, settings_.totalRamMb()));
}

void SettingsDialog::saveSettings() {
    settings_.setMaxRamMb(memorySpin_->value());
    settings_.setRememberLogin(rememberLoginBox_->isChecked());
    settings_.setCloseOnLaunch(closeOnLaunchBox_->isChecked());
    if (!rememberLoginBox_->isChecked())
        settings_.setUsername(QString());
    settings_.sync();
    accept();
}

void SettingsDialog::openGameFolder() {
    const std::filesystem::path folder = settings_.iniFile().parent_path() / "minecraft";
    platform::createDirectories(folder);
    openFolder_(QUrl::fromLocalFile(QString::fromStdString(platform::pathToUtf8(folder))));
}

} // namespace qbk
