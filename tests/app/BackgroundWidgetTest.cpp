// The backdrop: the picture covers the window centred, darkened under the cards, blurred once
// and not on every resize; a plain dark colour without a picture.
#include "app/BackgroundWidget.h"

#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <QTest>

namespace {

struct Backdrop : qbk::BackgroundWidget {
    explicit Backdrop(const std::filesystem::path& picture)
        : BackgroundWidget(QString::fromStdString(picture.string()), nullptr) {}
    // The painted window and the fitted picture under the overlay, at that size.
    std::pair<QImage, QImage> at(QSize size) {
        resize(size);
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
        QCoreApplication::processEvents();
        return {grab().toImage(), scaledPixmap().toImage()};
    }
};

TEST(BackgroundWidgetTest, PictureCoversCentredAndDarkenedBlurredOnceOrThePlainColour) {
    // Red rises from left to right and green from top to bottom: a pixel tells its source.
    qbk::test::TempDir dir{"qbk-backdrop"};
    QImage ramp(400, 200, QImage::Format_RGB32);
    for (int x = 0; x < 400; ++x)
        for (int y = 0; y < 200; ++y)
            ramp.setPixelColor(x, y, QColor(x * 255 / 399, y * 255 / 199, 0));
    ASSERT_TRUE(ramp.save(QString::fromStdString((dir / "ramp.png").string())));
    const int before = qbk::BackgroundWidget::blurRuns();
    Backdrop widget(dir / "ramp.png");
    // 100x100 shows source columns 100..299 (a half scale); 400x100 shows rows 50..149.
    const auto [narrowPainted, narrow] = widget.at({100, 100});
    EXPECT_NEAR(narrow.pixelColor(0, 50).red(), 64, 8);
    EXPECT_NEAR(narrow.pixelColor(99, 50).red(), 190, 8);
    const auto [painted, wide] = widget.at({400, 100});
    EXPECT_NEAR(wide.pixelColor(200, 0).green(), 64, 8);
    EXPECT_NEAR(wide.pixelColor(200, 99).green(), 190, 8);
    EXPECT_LT(painted.pixelColor(200, 99).green(), wide.pixelColor(200, 99).green() * 0.6);
    EXPECT_EQ(qbk::BackgroundWidget::blurRuns(), before + 1);

    qbk::test::writeWholeFile(dir / "broken.jpg", "not a picture at all");
    for (const char* name : {"absent.jpg", "broken.jpg"}) {
        const auto [plain, fitted] = Backdrop(dir / name).at({120, 80});
        EXPECT_TRUE(fitted.isNull()) << name;
        EXPECT_EQ(plain.pixelColor(0, 0), plain.pixelColor(119, 79)) << name;
        EXPECT_LT(plain.pixelColor(60, 40).lightness(), 30) << name;
    }
    EXPECT_EQ(qbk::BackgroundWidget::blurRuns(), before + 1);
    EXPECT_FALSE(qbk::BackgroundWidget().blurredImage().isNull()); // the compiled-in picture
}

} // namespace
