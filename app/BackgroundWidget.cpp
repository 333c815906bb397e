#include "app/BackgroundWidget.h"

#include "app/Resources.h"

#include <QGraphicsBlurEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QResizeEvent>
#include <atomic>

namespace qbk {

namespace {

const QColor kPlainColour(0x0d, 0x0d, 0x12);
const QColor kOverlayColour(9, 10, 16, 158);

std::atomic<int> blurRunCount{0};

QString compiledInPicture() {
    loadResources();
    return QStringLiteral(":/background.jpg");
}

} // namespace

BackgroundWidget::BackgroundWidget(QWidget* parent)
    : BackgroundWidget(compiledInPicture(), parent) {}

BackgroundWidget::BackgroundWidget(const QString& imagePath, QWidget* parent) : QWidget(parent) {
    const QImage picture(imagePath);
    if (!picture.isNull())
        blurred_ = blurred(picture);
}

int BackgroundWidget::blurRuns() {
    return blurRunCount.load();
}

QImage BackgroundWidget::blurred(const QImage& source) {
    ++blurRunCount;
    QGraphicsScene scene;
    auto* item = new QGraphicsPixmapItem(QPixmap::fromImage(source));
    auto* blur = new QGraphicsBlurEffect;
    blur->setBlurRadius(kBlurRadius);
    blur->setBlurHints(QGraphicsBlurEffect::QualityHint);
    item->setGraphicsEffect(blur);
    scene.addItem(item);

    QImage result(source.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    {
        QPainter painter(&result);
        scene.render(&painter, QRectF(), QRectF(source.rect()), Qt::KeepAspectRatio);
    }
    scene.removeItem(item);
    delete item;
    return result;
}

void BackgroundWidget::rescale() {
    const QSize target = size();
    if (blurred_.isNull() || target.isEmpty()) {
        scaled_ = QPixmap();
        return;
    }
    const QImage covering =
        blurred_.scaled(target, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect window((covering.width() - target.width()) / 2,
                       (covering.height() - target.height()) / 2, target.width(), target.height());
    scaled_ = QPixmap::fromImage(covering.copy(window));
}

void BackgroundWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    rescale();
}

void BackgroundWidget::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        if (scaled_.isNull()) {
            painter.fillRect(rect(), kPlainColour);
        } else {
            painter.drawPixmap(0, 0, scaled_);
            painter.fillRect(rect(), kOverlayColour);
        }
    }
    QWidget::paintEvent(event);
}

} // namespace qbk
