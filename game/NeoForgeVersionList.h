#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qbk {

// The versions of the maven's release list ({"versions": [...]}), in its order; false with
// the reason when the body is not that shape.
bool ParseNeoForgeVersionList(std::string_view body, std::vector<std::string>& versions,
                              std::string& error);

// The last listed release of a branch ("21.1." for Minecraft 1.21.1): no beta, and only a
// plain name, since the version becomes a folder and a file name. Empty when there is none.
std::string LatestNeoForgeRelease(const std::vector<std::string>& versions,
                                  const std::string& branchPrefix);

} // namespace qbk
