#pragma once

#include "platform/TargetPlatform.h"

#include <nlohmann/json.hpp>

namespace qbk {

// Whether a library or argument entry of a version JSON is in force on the target. The last
// rule that applies decides; feature-gated rules never apply. Throws the JSON library's type
// errors for malformed rules, which the callers turn into their own messages.
bool IsLibraryAllowed(const nlohmann::json& entry, const TargetPlatform& target);

} // namespace qbk
