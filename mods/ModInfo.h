#pragma once

#include <QMetaType>
#include <QPixmap>
#include <QString>

namespace qbk {

// What the mod list shows for one jar of the mods folder.
struct ModInfo {
    QString fileName;
    QString title;
    QString version;
    QString pageUrl;
    QString iconUrl;
    QPixmap icon; // 32 x 32 once loaded; never cached
    bool resolved = false;
};

} // namespace qbk

Q_DECLARE_METATYPE(qbk::ModInfo)
