// The icon comes from the compiled-in resources, the only part of the server list that
// needs Qt; the writer itself stays free of it for the Windows core build.
#include "launch/ServerList.h"

#include <QFile>

namespace qbk {

std::string LoadServerIconBase64() {
    QFile icon(QStringLiteral(":/server-icon.png"));
    if (!icon.open(QIODevice::ReadOnly))
        return {};
    return icon.readAll().toBase64().toStdString();
}

} // namespace qbk
