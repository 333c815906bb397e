#include "game/SafeRelativePath.h"

#include "platform/Platform.h"

namespace qbk {

bool SafeRelativePath(std::string_view utf8, std::filesystem::path& relative) {
    relative.clear();
    if (utf8.empty() || utf8.front() == '/' || utf8.front() == '\\')
        return false;
    if (utf8.find(':') != std::string_view::npos || utf8.find('\0') != std::string_view::npos)
        return false;
    std::filesystem::path result;
    std::size_t start = 0;
    while (start <= utf8.size()) {
        const std::size_t end = std::min(utf8.find_first_of("/\\", start), utf8.size());
        const std::string_view part = utf8.substr(start, end - start);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            result /= platform::pathFromUtf8(part);
        start = end + 1;
    }
    if (result.empty())
        return false;
    relative = std::move(result);
    return true;
}

} // namespace qbk
