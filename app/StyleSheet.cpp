#include "app/StyleSheet.h"

#include "app/Resources.h"

#include <QFile>

namespace qbk {

QString globalStyleSheet() {
    loadResources();
    QFile file(QStringLiteral(":/style.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace qbk
