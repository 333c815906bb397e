#pragma once

#include <functional>
#include <string>

namespace qbk {

// Status text and overall percent from an installer. May be called from pool threads; an
// empty function keeps the installer silent.
using StatusFn = std::function<void(const std::wstring& text, int percent)>;

} // namespace qbk
