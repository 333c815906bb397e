// Hostile runtime and mod archives: extraction writes nothing outside its folder (nor do kept
// links point out), leaves the whole tree or nothing and no staging folder beside it; flat jar
// extraction leaves only jar files.
#include "mods/ZipUtils.h"
#include "tests/fuzz/FuzzSupport.h"

#include <fstream>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

static bool inside(const fs::path& path, const fs::path& root) {
    const fs::path relative = fs::weakly_canonical(path).lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

QBK_FUZZ(input) {
    static const fs::path scratch = // this run's own
        fs::temp_directory_path() / ("qbk-fuzz-" + std::to_string(std::random_device()()));
    const fs::path archive = scratch / "input.zip", box = scratch / "box", dest = box / "runtime",
                   jars = scratch / "jars";
    std::error_code ignored;
    fs::remove_all(box, ignored);
    fs::remove_all(jars, ignored);
    fs::create_directories(box);
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << input;
    std::string error;
    if (!qbk::extractZip(archive, dest, &error))
        must(!fs::exists(dest) && !error.empty());
    else
        for (const auto& entry : fs::recursive_directory_iterator(dest)) {
            const fs::path target = entry.is_symlink() ? fs::read_symlink(entry.path()) : "";
            must(inside(entry.path(), fs::canonical(dest)) &&
                 (!entry.is_symlink() ||
                  (!target.is_absolute() &&
                   inside(entry.path().parent_path() / target, fs::canonical(dest)))));
        }
    must(std::distance(fs::directory_iterator(box), {}) == (fs::exists(dest) ? 1 : 0));
    if (qbk::extractJarsFlat(archive, jars) > 0)
        for (const auto& entry : fs::directory_iterator(jars))
            must(entry.is_regular_file() && entry.path().extension() != "");
}
