#pragma once

#include <QString>
#include <QtGlobal>

namespace qbk {

// One row of the comparison between the server's manifest and the mods folder.
struct ServerMod {
    QString fileName;
    QString url;            // empty for local extras
    qint64 sizeBytes = 0;   // manifest size; for local extras the file's size
    bool onServer = false;  // false for local files the manifest does not list
    bool installed = false; // present with the right size; local extras always true
    QString sha256;         // as the manifest gives it; checked when it is a SHA-256
};

} // namespace qbk
