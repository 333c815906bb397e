#pragma once

#include <QByteArray>
#include <QImage>

namespace qbk {

// Decodes icon bytes with Qt's image readers, then as WebP; a null image when neither can.
QImage decodeModIcon(const QByteArray& bytes);
// The icon at 32 x 32, aspect ratio kept; null when the bytes are no image. Safe on any
// thread, unlike a pixmap.
QImage modIconImage(const QByteArray& bytes);

} // namespace qbk
