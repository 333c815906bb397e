#pragma once

#include "mods/ModInfo.h"

#include <QByteArray>
#include <QString>

namespace qbk {

// Reads a version_file reply into info.version and returns the project it names; empty when
// the reply names none, which ends the lookup.
QString readModrinthVersion(const QByteArray& body, ModInfo& info);

// Reads a project reply into the title, the page below siteBase and the icon URL, and marks
// the mod resolved. The slug is percent-encoded, so a page never leaves siteBase.
void readModrinthProject(const QByteArray& body, const QString& siteBase, ModInfo& info);

} // namespace qbk
