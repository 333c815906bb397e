#include "app/BackgroundWidget.h"

#include "QtTestApp.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Reaches the picture-path constructor and counts paints, so a test can tell that painting
// happened without the scaled pixmap being rebuilt.
class PictureBackground : public qbk::BackgroundWidget {
public:
    explicit PictureBackground(const QString& path) : BackgroundWidget(path, nullptr) {}
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        BackgroundWidget::paintEvent(event);
    }
};

class BackgroundWidgetTest : public ::testing::Test {
protected:
    QString writePicture(const QString& name, const QImage& image) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(image.save(path, "PNG"));
        return path;
    }

    // Red rises from left to right: a pixel's red tells which source column it came from.
    QString horizontalRamp() {
        QImage image(400, 200, QImage::Format_RGB32);
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                image.setPixelColor(x, y, QColor(x * 255 / 399, 0, 0));
        return writePicture("ramp-x.png", image);
    }

    // Green rises from top to bottom.
    QString verticalRamp() {
        QImage image(400, 200, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixelColor(x, y, QColor(0, y * 255 / 199, 0));
        return writePicture("ramp-y.png", image);
    }

    static void showAt(QWidget& widget, QSize size) {
        widget.resize(size);
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    }

    QTemporaryDir dir;
};

TEST_F(BackgroundWidgetTest, BlursThePictureOnceAtConstruction) {
    QImage halves(200, 100, QImage::Format_RGB32);
    halves.fill(Qt::black);
    QPainter(&halves).fillRect(100, 0, 100, 100, Qt::white);
    const QString path = writePicture("halves.png", halves);

    const int before = qbk::BackgroundWidget::blurRuns();
    PictureBackground widget(path);
    EXPECT_EQ(qbk::BackgroundWidget::blurRuns(), before + 1);

    const QImage& blurred = widget.blurredImage();
    ASSERT_FALSE(blurred.isNull());
    EXPECT_EQ(blurred.size(), halves.size());
    EXPECT_EQ(blurred.format(), QImage::Format_ARGB32_Premultiplied);
    // The hard black-white edge is smeared into greys; far from it the halves stay put.
    const int atEdge = blurred.pixelColor(100, 50).red();
    EXPECT_GT(atEdge, 40);
    EXPECT_LT(atEdge, 215);
    EXPECT_LT(blurred.pixelColor(40, 50).red(), 10);
    EXPECT_GT(blurred.pixelColor(160, 50).red(), 245);

    const qint64 blurredKey = blurred.cacheKey();
    showAt(widget, {300, 200});
    for (QSize size : {QSize(500, 300), QSize(120, 640), QSize(800, 90)}) {
        widget.resize(size);
        widget.repaint();
    }
    EXPECT_EQ(qbk::BackgroundWidget::blurRuns(), before + 1);
    EXPECT_EQ(widget.blurredImage().cacheKey(), blurredKey);
}

TEST_F(BackgroundWidgetTest, RebuildsTheScaledPixmapOnResizeNeverOnPaint) {
    PictureBackground widget(horizontalRamp());
    showAt(widget, {300, 200});
    const QPixmap first = widget.scaledPixmap();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.size(), QSize(300, 200));

    const int paintsBefore = widget.paints;
    for (int i = 0; i < 25; ++i)
        widget.repaint();
    (void)widget.grab();
    EXPECT_GE(widget.paints, paintsBefore + 25);
    EXPECT_EQ(widget.scaledPixmap().cacheKey(), first.cacheKey());

    widget.resize(420, 260);
    QCoreApplication::processEvents();
    EXPECT_NE(widget.scaledPixmap().cacheKey(), first.cacheKey());
    EXPECT_EQ(widget.scaledPixmap().size(), QSize(420, 260));
}

TEST_F(BackgroundWidgetTest, TallerWidgetKeepsFullHeightAndCropsLeftAndRightEqually) {
    PictureBackground widget(horizontalRamp());
    // 400x200 covering 100x100 scales by one half to 200x100: 50 columns cut on each side.
    showAt(widget, {100, 100});
    const QImage shown = widget.scaledPixmap().toImage();
    ASSERT_EQ(shown.size(), QSize(100, 100));

    const int left = shown.pixelColor(0, 50).red();
    const int right = shown.pixelColor(99, 50).red();
    EXPECT_NEAR(left, 64, 8);   // source column 100 of 400
    EXPECT_NEAR(right, 190, 8); // source column 298 of 400
    EXPECT_NEAR(left + right, 255, 8);
    // The full height survives: the bottom row is still picture, not cropped away.
    EXPECT_NEAR(shown.pixelColor(50, 50).red(), shown.pixelColor(50, 95).red(), 6);
}

TEST_F(BackgroundWidgetTest, WiderWidgetCropsTopAndBottomEqually) {
    PictureBackground widget(verticalRamp());
    // 400x200 covering 400x100 keeps its scale: 50 rows cut at the top and at the bottom.
    showAt(widget, {400, 100});
    const QImage shown = widget.scaledPixmap().toImage();
    ASSERT_EQ(shown.size(), QSize(400, 100));

    const int top = shown.pixelColor(200, 0).green();
    const int bottom = shown.pixelColor(200, 99).green();
    EXPECT_NEAR(top, 64, 8);
    EXPECT_NEAR(bottom, 190, 8);
    EXPECT_NEAR(top + bottom, 255, 8);
}

TEST_F(BackgroundWidgetTest, DarkensThePictureWithTheOverlay) {
    QImage gold(300, 300, QImage::Format_RGB32);
    gold.fill(QColor(200, 180, 40));
    PictureBackground widget(writePicture("gold.png", gold));
    showAt(widget, {300, 300});

    const QColor painted = widget.grab().toImage().pixelColor(150, 150);
    const double alpha = 158.0 / 255.0;
    EXPECT_NEAR(painted.red(), 200 * (1 - alpha) + 9 * alpha, 3);
    EXPECT_NEAR(painted.green(), 180 * (1 - alpha) + 10 * alpha, 3);
    EXPECT_NEAR(painted.blue(), 40 * (1 - alpha) + 16 * alpha, 3);
}

TEST_F(BackgroundWidgetTest, MissingPicturePaintsThePlainColour) {
    const int before = qbk::BackgroundWidget::blurRuns();
    PictureBackground widget(dir.filePath("no-such-picture.jpg"));
    EXPECT_EQ(qbk::BackgroundWidget::blurRuns(), before);
    EXPECT_TRUE(widget.blurredImage().isNull());

    showAt(widget, {240, 160});
    EXPECT_TRUE(widget.scaledPixmap().isNull());
    const QImage painted = widget.grab().toImage();
    EXPECT_EQ(painted.pixelColor(0, 0), QColor("#0d0d12"));
    EXPECT_EQ(painted.pixelColor(239, 159), QColor("#0d0d12"));
}

TEST_F(BackgroundWidgetTest, UnreadablePicturePaintsThePlainColour) {
    const QString path = dir.filePath("broken.jpg");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture at all");
    file.close();

    PictureBackground widget(path);
    EXPECT_TRUE(widget.blurredImage().isNull());
    showAt(widget, {100, 80});
    EXPECT_EQ(widget.grab().toImage().pixelColor(50, 40), QColor("#0d0d12"));
}

TEST_F(BackgroundWidgetTest, PlainColourUntilTheFirstNonEmptyResize) {
    PictureBackground widget(horizontalRamp());
    EXPECT_FALSE(widget.blurredImage().isNull());
    EXPECT_TRUE(widget.scaledPixmap().isNull());

    // A zero-sized widget has nothing to cover yet.
    widget.resize(0, 0);
    widget.show();
    QCoreApplication::processEvents();
    ASSERT_TRUE(widget.size().isEmpty());
    EXPECT_TRUE(widget.scaledPixmap().isNull());

    widget.resize(160, 90);
    QCoreApplication::processEvents();
    EXPECT_EQ(widget.scaledPixmap().size(), QSize(160, 90));

    // Shrinking to nothing drops the pixmap instead of keeping a stale one.
    widget.resize(0, 90);
    QCoreApplication::processEvents();
    EXPECT_TRUE(widget.scaledPixmap().isNull());
}

TEST_F(BackgroundWidgetTest, CompiledInPictureIsBlurredToo) {
    qbk::BackgroundWidget widget;
    ASSERT_FALSE(widget.blurredImage().isNull());
    EXPECT_GE(widget.blurredImage().width(), 1280);
    EXPECT_GE(widget.blurredImage().height(), 720);
}

} // namespace
