#pragma once
#include <algorithm>
#include <string>
#include <vector>
namespace qbk::test {
// Splits a command line as CommandLineToArgvW does (the program name by the same rules, which
// agree for a quoted path), written apart from the quoting code it checks.
inline std::vector<std::wstring> splitWindowsCommandLine(const std::wstring& line) {
    std::vector<std::wstring> args;
    std::size_t i = line.find_first_not_of(L" \t");
    while (i < line.size()) {
        std::wstring arg;
        for (bool quoted = false;
             i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'));) {
            const std::size_t end = std::min(line.find_first_not_of(L'\\', i), line.size());
            const std::size_t slashes = end - i;
            i = end;
            if (i == line.size() || line[i] != L'"') {
                arg.append(slashes, L'\\');
                if (slashes == 0)
                    arg += line[i++];
            } else if (slashes > 0) {
                arg.append(slashes / 2, L'\\');
                if (slashes % 2)
                    arg += line[i++];
            } else if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                arg += L'"';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
        }
        args.push_back(arg);
        i = line.find_first_not_of(L" \t", i);
    }
    return args;
}
} // namespace qbk::test
