// Runtime and mod archives as a hostile mirror might send them: whatever the bytes, the
// extraction writes nothing outside its folder and leaves either the whole tree or nothing.
#include "mods/ZipUtils.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

const fs::path& scratch() {
    static const fs::path dir = [] {
        fs::path made =
            fs::temp_directory_path() / ("qbk-fuzz-zip-" + std::to_string(std::random_device()()));
        fs::create_directories(made);
        return made;
    }();
    return dir;
}

bool inside(const fs::path& path, const fs::path& root) {
    const fs::path relative = fs::weakly_canonical(path).lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

void checkTree(const fs::path& dest) {
    const fs::path root = fs::canonical(dest);
    for (auto it = fs::recursive_directory_iterator(dest); it != fs::recursive_directory_iterator();
         ++it) {
        if (!inside(it->path(), root))
            std::abort();
        if (it->is_symlink()) {
            const fs::path target = fs::read_symlink(it->path());
            if (target.is_absolute() || !inside(it->path().parent_path() / target, root))
                std::abort(); // a kept link must stay inside
        }
    }
}

std::size_t entriesIn(const fs::path& dir) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
        ++count;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path archive = scratch() / "input.zip";
    std::ofstream(archive, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const fs::path box = scratch() / "box";
    const fs::path dest = box / "runtime";
    std::error_code ignored;
    fs::remove_all(box, ignored);
    fs::create_directories(box);

    std::string error;
    if (qbk::extractZip(archive, dest, &error)) {
        checkTree(dest);
    } else if (fs::exists(dest) || error.empty()) {
        std::abort(); // a refused archive leaves nothing behind and says why
    }
    if (entriesIn(box) > (fs::exists(dest) ? 1u : 0u))
        std::abort(); // the staging folder was left beside the destination
    fs::remove_all(box, ignored);

    const fs::path jars = scratch() / "jars";
    fs::remove_all(jars, ignored);
    if (qbk::extractJarsFlat(archive, jars) > 0)
        for (const auto& entry : fs::directory_iterator(jars))
            if (!entry.is_regular_file() || entry.path().extension() == "")
                std::abort();
    fs::remove_all(jars, ignored);
    return 0;
}
