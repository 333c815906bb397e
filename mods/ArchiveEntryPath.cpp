#include "mods/ArchiveEntryPath.h"

#include "platform/Platform.h"

namespace qbk {

namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

std::vector<std::string> splitComponents(std::string_view text) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if (isSeparator(c)) {
            parts.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    parts.push_back(std::move(current));
    return parts;
}

bool looksAbsolute(std::string_view text) {
    if (!text.empty() && isSeparator(text.front()))
        return true;
    const bool driveLetter =
        text.size() >= 2 && text[1] == ':' &&
        ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
    return driveLetter;
}

// Appends the components of text to base; false when a component is not a plain name or a
// ".." is not allowed. Links may start with ".." but never climb after a name, since that
// name may itself be a link, and ".." after it would then leave from wherever it points.
bool appendComponents(std::vector<std::string>& base, std::string_view text, bool leadingParents,
                      std::string& error) {
    bool sawName = false;
    for (std::string& part : splitComponents(text)) {
        if (part.empty() || part == ".")
            continue;
        if (part.find(':') != std::string::npos) {
            error = "недопустимое имя в архиве: " + std::string(text);
            return false;
        }
        if (part == "..") {
            if (!leadingParents || sawName || base.empty()) {
                error = "путь выходит за пределы папки распаковки: " + std::string(text);
                return false;
            }
            base.pop_back();
            continue;
        }
        base.push_back(std::move(part));
        sawName = true;
    }
    return true;
}

} // namespace

std::optional<ArchiveEntryPath> ArchiveEntryPath::parse(std::string_view utf8Name,
                                                        std::string& error) {
    if (looksAbsolute(utf8Name)) {
        error = "абсолютный путь в архиве: " + std::string(utf8Name);
        return std::nullopt;
    }
    ArchiveEntryPath path;
    if (!appendComponents(path.components_, utf8Name, false, error))
        return std::nullopt;
    return path;
}

std::optional<ArchiveEntryPath> ArchiveEntryPath::resolveLinkTarget(std::string_view utf8Target,
                                                                    std::string& error) const {
    if (utf8Target.empty() || looksAbsolute(utf8Target)) {
        error = "ссылка указывает за пределы папки распаковки: " + std::string(utf8Target);
        return std::nullopt;
    }
    ArchiveEntryPath target;
    target.components_.assign(components_.begin(), components_.end() - (isRoot() ? 0 : 1));
    std::string reason;
    if (!appendComponents(target.components_, utf8Target, true, reason)) {
        error = "ссылка указывает за пределы папки распаковки: " + std::string(utf8Target);
        return std::nullopt;
    }
    return target;
}

std::string ArchiveEntryPath::foldedKey(std::size_t componentCount) const {
    std::string key;
    for (std::size_t i = 0; i < componentCount && i < components_.size(); ++i) {
        if (i > 0)
            key.push_back('/');
        for (char c : components_[i])
            key.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return key;
}

std::filesystem::path ArchiveEntryPath::below(const std::filesystem::path& root) const {
    std::filesystem::path result = root;
    for (const std::string& part : components_)
        result /= platform::pathFromUtf8(part);
    return result;
}

} // namespace qbk
