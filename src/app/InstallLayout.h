#pragma once

#include <filesystem>
#include <string>

namespace quorle {

// Where a program finds what comes with it and where it keeps its settings, as a copy run from
// its build or unpacked folder and as an installed one (programs in P/bin, data in
// P/share/quorle).

// The data file name (the default Mix, the help) beside the program, else in ../share/quorle/
// relative to it; the path beside the program when neither exists, for messages to name.
std::filesystem::path FindDataFile(const std::filesystem::path& appFolder, const std::string& name);

// True when the program runs from an installed tree: ../share/quorle/ lies beside its folder.
bool IsInstalledLayout(const std::filesystem::path& appFolder);

// "quorle.ini" beside the program when a writable one is already there or, outside an installed
// tree, the folder can be written (a portable copy keeps its settings with it); otherwise
// $XDG_CONFIG_HOME/quorle/quorle.ini, ~/.config/quorle/ when that is unset.
std::filesystem::path SettingsFileFor(const std::filesystem::path& appFolder);

// "library.sqlite" by the same rule, in $XDG_DATA_HOME/quorle/ (~/.local/share/quorle/ when that
// is unset) when not beside the program.
std::filesystem::path LibraryFileFor(const std::filesystem::path& appFolder);

}  // namespace quorle
