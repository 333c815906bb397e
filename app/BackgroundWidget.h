#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace qbk {

// The window backdrop: a picture blurred once, scaled to cover the widget, centre-cropped
// and darkened so the cards above stay readable; plain dark without the picture.
class BackgroundWidget : public QWidget {
public:
    explicit BackgroundWidget(QWidget* parent = nullptr);

    const QImage& blurredImage() const { return blurred_; }
    // The blurred image fitted to the current size; null before the first non-empty resize.
    const QPixmap& scaledPixmap() const { return scaled_; }

    // How often the blur has run in this process: once per widget, never on resize or paint.
    static int blurRuns();

    static constexpr qreal kBlurRadius = 9.0;

protected:
    // Any picture file instead of the compiled-in one; a missing file gives the plain colour.
    BackgroundWidget(const QString& imagePath, QWidget* parent);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    static QImage blurred(const QImage& source);
    void rescale();

    QImage blurred_;
    QPixmap scaled_;
};

} // namespace qbk
