#include "mods/ModIcon.h"

#include <QImage>
#include <cstring>
#include <webp/decode.h>

namespace qbk {

namespace {

// Icons are shown at 32 pixels; a larger side than this is refused before anything is
// allocated for it.
constexpr int kMaxIconSide = 4096;

QImage decodeWebp(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const auto size = static_cast<size_t>(bytes.size());
    int width = 0;
    int height = 0;
    if (!WebPGetInfo(data, size, &width, &height) || width <= 0 || height <= 0 ||
        width > kMaxIconSide || height > kMaxIconSide)
        return {};
    uint8_t* rgba = WebPDecodeRGBA(data, size, &width, &height);
    if (!rgba)
        return {};
    QImage image(width, height, QImage::Format_RGBA8888);
    if (image.isNull()) { // out of memory
        WebPFree(rgba);
        return {};
    }
    for (int row = 0; row < height; ++row)
        std::memcpy(image.scanLine(row), rgba + static_cast<size_t>(row) * width * 4,
                    static_cast<size_t>(width) * 4);
    WebPFree(rgba);
    return image;
}

} // namespace

QImage decodeModIcon(const QByteArray& bytes) {
    QImage image;
    if (image.loadFromData(bytes))
        return image;
    return decodeWebp(bytes);
}

QImage modIconImage(const QByteArray& bytes) {
    const QImage image = decodeModIcon(bytes);
    if (image.isNull())
        return {};
    return image.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace qbk
