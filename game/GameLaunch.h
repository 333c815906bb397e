#pragma once

#include "game/LaunchProfile.h"
#include "launch/TransferWatch.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

namespace qbk {

// How long a freshly started game must stay alive to count as launched.
inline constexpr std::chrono::milliseconds kGameStartWatch{8000};

// Starts the game as a detached process in gameDir, its output going to
// gameDir/logs/launcher_java.log, and watches it for `watch`. True when it is still running
// then; otherwise false with error set (also when it ended with code 0). The launcher never
// waits for the game's end nor stops it, except when `stop` (when given) asks to stop during
// the watch: then the game is ended at once and error is kStoppedText.
bool LaunchGame(const std::filesystem::path& javaExecutable, const std::filesystem::path& gameDir,
                const LaunchProfile& profile, std::wstring& error,
                std::chrono::milliseconds watch = kGameStartWatch,
                const TransferWatch* stop = nullptr);

// The Windows command line of the launch: the quoted Java path, the JVM arguments, the main
// class and the game arguments, each as CommandLineToArgvW splits it back.
std::wstring BuildCommandLine(const std::filesystem::path& javaExecutable,
                              const LaunchProfile& profile);

// One argument's command-line form. Arguments without a space, tab or quote (and not empty)
// stay as they are; a "-Dname=value" property gets only its value quoted; anything else is
// quoted whole, with backslashes before a quote or the closing quote doubled and quotes escaped.
std::wstring QuoteArgument(const std::wstring& argument);

// The last `count` bytes of a file as text; a character cut at the start, or bytes that are
// not UTF-8, become U+FFFD. Empty when the file cannot be read.
std::wstring ReadFileTail(const std::filesystem::path& path, std::size_t count);

} // namespace qbk
