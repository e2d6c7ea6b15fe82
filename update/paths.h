#pragma once

#include <string>
#include <string_view>

#include "update/records.h"

namespace velno::update {

// The names of the memory images in the drive's root that the backup moves.
inline constexpr std::string_view kImageNames = "Veln4*.mem";

// The parts of UpdatePaths, each built by plain text concatenation: no
// separator is added or removed.
void BuildStagingPaths(UpdatePaths& paths, const std::string& application_folder);
void BuildInstrumentPaths(UpdatePaths& paths, const std::string& drive_path);
void BuildImagePattern(UpdatePaths& paths, const std::string& drive_path);

}  // namespace velno::update
