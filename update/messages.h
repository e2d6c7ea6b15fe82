#pragma once

// The texts of the update run's message boxes.

#include <string>
#include <string_view>

namespace velno::update {

inline constexpr std::string_view kPositionFileNotFound = "Position file not found ";
inline constexpr std::string_view kSystemFolderNotFound = "System folder not found !";
inline constexpr std::string_view kOverwriteQuestion =
    "Software file is older than saved one , OverWrite saved ??";

// A staged file of the position list that is not there.
inline std::string MissingFileMessage(const std::string& name) {
    return "File " + name + " not found";
}

}  // namespace velno::update
