#include "app/LauncherDir.h"

#include "platform/Platform.h"

namespace qbk {

std::filesystem::path directoryOfExecutable(const std::filesystem::path& executable) {
    const auto& text = executable.native();
    using Char = std::filesystem::path::value_type;
    const auto cut = text.find_last_of(std::basic_string<Char>{Char('\\'), Char('/')});
    if (cut == std::filesystem::path::string_type::npos)
        return executable;
    return std::filesystem::path(text.substr(0, cut));
}

std::filesystem::path LauncherDir() {
    return directoryOfExecutable(platform::executablePath());
}

} // namespace qbk
