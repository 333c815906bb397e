#include "mods/ModListPanel.h"

#include "app/ProjectInfo.h"
#include "app/Settings.h"
#include "platform/Platform.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStyleOption>
#include <QUrl>
#include <QVBoxLayout>

namespace qbk {

namespace {

// One mod of the list; a click with the left button opens its Modrinth page, if it has one.
class ModRow : public QWidget {
public:
    explicit ModRow(QWidget* parent) : QWidget(parent) {}

    void setPageUrl(const QString& url) { pageUrl_ = url; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && !pageUrl_.isEmpty())
            QDesktopServices::openUrl(QUrl(pageUrl_));
        QWidget::mouseReleaseEvent(event);
    }

private:
    QString pageUrl_;
};

QPixmap placeholderIcon(const QString& title) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(QStringLiteral("#32323a")));
    painter.drawRoundedRect(pixmap.rect(), 8, 8);
    QFont font = painter.font();
    font.setPointSize(13);
    font.setWeight(QFont::Bold);
    painter.setFont(font);
    painter.setPen(QColor(QStringLiteral("#8b8b95")));
    const QString letter = title.isEmpty() ? QStringLiteral("?") : title.left(1).toUpper();
    painter.drawText(pixmap.rect(), Qt::AlignCenter, letter);
    return pixmap;
}

QString metaText(const ModInfo& info) {
    if (!info.resolved)
        return info.fileName;
    if (info.version.isEmpty())
        return QStringLiteral("Modrinth");
    return QStringLiteral("v") + info.version + QStringLiteral(" · Modrinth");
}

} // namespace

ModListPanel::ModListPanel(QWidget* parent)
    : ModListPanel(ModrinthClient::defaultConfig(),
                   ModManagerDialog::configFor(Settings::instance()), parent) {}

ModListPanel::ModListPanel(ModrinthClient::Config clientConfig,
                           ModManagerDialog::Config managerConfig, QWidget* parent)
    : QWidget(parent), client_(new ModrinthClient(std::move(clientConfig), this)),
      managerConfig_(std::move(managerConfig)) {
    buildUi();
    connect(client_, &ModrinthClient::modFound, this, &ModListPanel::updateRow);
    connect(client_, &ModrinthClient::modUpdated, this, &ModListPanel::updateRow);
    connect(client_, &ModrinthClient::scanFinished, this, &ModListPanel::updateCount);
}

ModrinthClient::Config ModListPanel::clientConfigFor(const Settings& settings) {
    const Endpoints endpoints = settings.endpoints();
    ModrinthClient::Config config;
    config.apiBase = QString::fromStdString(endpoints.modrinthApi) + QStringLiteral("/v2");
    config.siteBase = QString::fromStdString(endpoints.modrinthSite);
    config.cacheFile = QString::fromStdString(
        platform::pathToUtf8(settings.iniFile().parent_path() / "modcache.json"));
    config.userAgent = QString::fromStdString(project::modrinthUserAgent());
    return config;
}

void ModListPanel::buildUi() {
    setObjectName(QStringLiteral("card"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 14, 20);
    column->setSpacing(14);

    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Установленные моды"), this);
    title->setObjectName(QStringLiteral("sectionTitle"));
    countBadge_ = new QLabel(this);
    countBadge_->setObjectName(QStringLiteral("countBadge"));
    countBadge_->hide();
    auto* manage = manageButton_ = new QPushButton(QStringLiteral("Управление"), this);
    manage->setObjectName(QStringLiteral("secondaryButton"));
    manage->setCursor(Qt::PointingHandCursor);
    manage->setToolTip(QStringLiteral("Удалить моды или скачать недостающие"));
    manage->setAccessibleName(QStringLiteral("Управление модами"));
    connect(manage, &QPushButton::clicked, this, &ModListPanel::openManager);
    header->addWidget(title);
    header->addStretch();
    header->addWidget(countBadge_);
    header->addSpacing(10);
    header->addWidget(manage);
    column->addLayout(header);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("modScroll"));
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setAccessibleName(QStringLiteral("Установленные моды"));
    auto* content = new QWidget(scroll_);
    content->setStyleSheet(QStringLiteral("background: transparent;"));
    listLayout_ = new QVBoxLayout(content);
    listLayout_->setContentsMargins(0, 0, 6, 0);
    listLayout_->setSpacing(8);
    hintLabel_ = new QLabel(QStringLiteral("Модов пока нет.\nНажми «У меня есть zip с модами»,\n"
                                           "или они появятся после первого запуска."),
                            content);
    hintLabel_->setObjectName(QStringLiteral("hintLabel"));
    hintLabel_->setAlignment(Qt::AlignCenter);
    hintLabel_->setWordWrap(true);
    listLayout_->addWidget(hintLabel_);
    listLayout_->addStretch();
    scroll_->setWidget(content);
    column->addWidget(scroll_, 1);
}

void ModListPanel::refresh(const QString& folder) {
    modsDir_ = folder;
    for (QWidget* row : std::as_const(rows_)) {
        listLayout_->removeWidget(row);
        row->deleteLater();
    }
    rows_.clear();
    countBadge_->clear();
    client_->scanFolder(folder);
}

QWidget* ModListPanel::addRow(const QString& fileName) {
    auto* row = new ModRow(scroll_->widget());
    row->setObjectName(QStringLiteral("modRow"));
    row->setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(10, 8, 12, 8);
    layout->setSpacing(10);
    auto* icon = new QLabel(row);
    icon->setObjectName(QStringLiteral("modIcon"));
    icon->setFixedSize(32, 32);
    icon->setStyleSheet(QStringLiteral("background: transparent;"));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* title = new QLabel(row);
    title->setObjectName(QStringLiteral("modTitle"));
    auto* meta = new QLabel(row);
    meta->setObjectName(QStringLiteral("modMeta"));
    texts->addWidget(title);
    texts->addWidget(meta);
    layout->addWidget(icon);
    layout->addLayout(texts, 1);
    // Before the trailing stretch, so rows stand in the order the client reports them.
    listLayout_->insertWidget(listLayout_->count() - 1, row);
    rows_.insert(fileName, row);
    return row;
}

void ModListPanel::updateRow(const ModInfo& info) {
    hintLabel_->hide();
    QWidget* row = rows_.value(info.fileName);
    if (!row)
        row = addRow(info.fileName);
    row->findChild<QLabel*>(QStringLiteral("modTitle"))->setText(info.title);
    const QString meta = metaText(info);
    row->findChild<QLabel*>(QStringLiteral("modMeta"))->setText(meta);
    row->findChild<QLabel*>(QStringLiteral("modIcon"))
        ->setPixmap(info.icon.isNull() ? placeholderIcon(info.title) : info.icon);
    static_cast<ModRow*>(row)->setPageUrl(info.pageUrl);
    const bool hasPage = !info.pageUrl.isEmpty();
    row->setCursor(hasPage ? Qt::PointingHandCursor : Qt::ArrowCursor);
    row->setToolTip(hasPage ? QStringLiteral("Открыть на Modrinth: ") + info.pageUrl
                            : info.fileName);
    row->setAccessibleName(info.title);
    row->setAccessibleDescription(hasPage ? meta + QStringLiteral(", ") + row->toolTip() : meta);
}

void ModListPanel::updateCount(int total) {
    countBadge_->setText(QString::number(total));
    countBadge_->setVisible(total >= 1);
    hintLabel_->setVisible(total == 0);
}

void ModListPanel::setManageEnabled(bool enabled) {
    manageButton_->setEnabled(enabled);
}

void ModListPanel::openManager() {
    ModManagerDialog dialog(managerConfig_, this);
    managerConfig_.prompts.run(dialog);
    refresh(modsDir_);
}

void ModListPanel::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

} // namespace qbk
