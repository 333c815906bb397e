#include "diagnostics/CheckDialog.h"

#include "app/Settings.h"
#include "platform/Platform.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QThreadPool>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace qbk {

namespace {

struct Mark {
    const char* colour;
    QString glyph;
};

Mark markFor(CheckSeverity severity) {
    switch (severity) {
    case CheckSeverity::Ok:
        return {"#4ec97a", QStringLiteral("✓")};
    case CheckSeverity::Warning:
        return {"#c9a227", QStringLiteral("!")};
    case CheckSeverity::Error:
        break;
    }
    return {"#e05a5a", QStringLiteral("✕")};
}

LauncherChecks::Config configFor(const QString& launcherDirectory) {
    LauncherChecks::Config config;
    config.launcherDir = platform::pathFromUtf8(launcherDirectory.toStdString());
    config.endpoints = Settings::instance().endpoints();
    return config;
}

// Check details quote files, processes and servers: never read as rich text.
QLabel* namedLabel(const QString& text, const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

CheckDialog::CheckDialog(const QString& launcherDirectory, QWidget* parent)
    : CheckDialog(configFor(launcherDirectory), parent) {}

CheckDialog::CheckDialog(LauncherChecks::Config config, QWidget* parent) : QDialog(parent) {
    logFile_ =
        QString::fromStdString(platform::pathToUtf8(config.launcherDir / "logs" / "launcher.log"));
    buildUi();
    watcher_ = new QFutureWatcher<std::vector<CheckResult>>(this);
    connect(watcher_, &QFutureWatcherBase::finished, this, &CheckDialog::showResults);
    // The task owns its copy of the checks, so it may outlive the dialog.
    watcher_->setFuture(QtConcurrent::run(
        QThreadPool::globalInstance(),
        [checks = LauncherChecks(std::move(config))] { return checks.runAllChecks(); }));
}

void CheckDialog::buildUi() {
    setWindowTitle(QStringLiteral("Проверка лаунчера"));
    setModal(true);
    setMinimumSize(660, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(34, 30, 34, 26);
    layout->setSpacing(18);
    layout->addWidget(
        namedLabel(QStringLiteral("Проверка лаунчера"), QStringLiteral("sectionTitle"), this));
    summaryLabel_ = namedLabel(QStringLiteral("Проверяю... это займёт несколько секунд."),
                               QStringLiteral("hintLabel"), this);
    summaryLabel_->setWordWrap(true);
    layout->addWidget(summaryLabel_);

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("modScroll"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* list = new QWidget(scroll);
    listLayout_ = new QVBoxLayout(list);
    listLayout_->setContentsMargins(0, 0, 8, 0);
    listLayout_->setSpacing(8);
    listLayout_->addStretch();
    scroll->setWidget(list);
    layout->addWidget(scroll, 1);

    auto* buttons = new QHBoxLayout;
    auto* openLog = new QPushButton(QStringLiteral("Открыть журнал"), this);
    openLog->setObjectName(QStringLiteral("secondaryButton"));
    openLog->setCursor(Qt::PointingHandCursor);
    openLog->setToolTip(QStringLiteral("Журнал лаунчера: что он делал и почему не получилось"));
    connect(openLog, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(logFile_)); });
    buttons->addWidget(openLog);
    buttons->addStretch();
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setObjectName(QStringLiteral("secondaryButton"));
    close->setCursor(Qt::PointingHandCursor);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addLayout(buttons);
}

void CheckDialog::showResults() {
    const std::vector<CheckResult> results = watcher_->result();
    for (const CheckResult& result : results)
        addRow(result);
    summaryLabel_->setText(summaryFor(results));
    watcher_->deleteLater();
    watcher_ = nullptr;
}

void CheckDialog::addRow(const CheckResult& result) {
    auto* row = new QWidget(listLayout_->parentWidget());
    row->setObjectName(QStringLiteral("modRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(14);

    const Mark mark = markFor(result.severity);
    auto* markLabel = new QLabel(mark.glyph, row);
    markLabel->setFixedWidth(20);
    markLabel->setAlignment(Qt::AlignCenter);
    markLabel->setStyleSheet(
        QStringLiteral("color: %1; font-size: 17px; font-weight: 700; background: transparent;")
            .arg(QLatin1String(mark.colour)));
    layout->addWidget(markLabel);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(namedLabel(result.title, QStringLiteral("modTitle"), row));
    QLabel* detail = namedLabel(result.detail, QStringLiteral("modMeta"), row);
    detail->setWordWrap(true);
    texts->addWidget(detail);
    layout->addLayout(texts, 1);

    listLayout_->insertWidget(listLayout_->count() - 1, row);
}

QString CheckDialog::summaryFor(const std::vector<CheckResult>& results) {
    const auto count = [&results](CheckSeverity severity) {
        return std::count_if(results.begin(), results.end(),
                             [severity](const CheckResult& r) { return r.severity == severity; });
    };
    const auto errors = count(CheckSeverity::Error);
    const auto warnings = count(CheckSeverity::Warning);
    if (errors > 0)
        return QStringLiteral("Найдено проблем: %1. Их нужно исправить, иначе игра не запустится.")
            .arg(errors);
    if (warnings == 0)
        return QStringLiteral("Всё в порядке, лаунчер готов к работе.");
    return QStringLiteral("Критических проблем нет. Замечаний: %1 — обычно это просто означает, "
                          "что игра ещё не установлена.")
        .arg(warnings);
}

} // namespace qbk
