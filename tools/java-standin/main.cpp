// The stand-in for the private runtime's java: no JVM can run in the test world, so this
// program answers the three ways the launcher starts java.

#include "tools/java-standin/GameMode.h"
#include "tools/java-standin/InstallerMode.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/Platform.h"
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace {

// The arguments as UTF-8: on Windows argv is in the ANSI code page, which loses the Cyrillic of
// a launcher folder, so they are taken from the wide command line.
std::vector<std::string> utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i)
        args.push_back(qbk::platform::wideToUtf8(wide[i]));
    ::LocalFree(wide);
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = utf8Arguments(argc, argv);
    if (args.empty()) {
        std::cerr << "Usage: java [options] <mainclass> [args...]\n"
                     "   (to execute a class)\n   or  java [options] -jar <jarfile> [args...]\n";
        return 1;
    }
    if (args.front() == "-version" || args.front() == "--version") {
        std::cerr << "openjdk version \"21.0.5\" 2024-10-15 LTS\n"
                     "OpenJDK Runtime Environment Temurin-21.0.5+11 (build 21.0.5+11-LTS)\n"
                     "OpenJDK 64-Bit Server VM Temurin-21.0.5+11 (build 21.0.5+11-LTS, mixed "
                     "mode, sharing)\n";
        return 0;
    }
    if (args.front() == "-jar")
        return qbk::standin::runInstaller(args);
    return qbk::standin::runGame(args);
}
