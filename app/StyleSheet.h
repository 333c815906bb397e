#pragma once

#include <QString>

namespace qbk {

// The one style sheet that gives every window and dialog its look; widgets are addressed
// by type and object name. Empty only if the resources are missing from the build.
QString globalStyleSheet();

} // namespace qbk
