#include "update/paths.h"

namespace velno::update {

void BuildStagingPaths(UpdatePaths& paths, const std::string& application_folder) {
    paths.staging_folder = application_folder + "\\mtmp\\";
    paths.position_file = paths.staging_folder + "position.txt";
}

void BuildInstrumentPaths(UpdatePaths& paths, const std::string& drive_path) {
    paths.system_folder = drive_path + "\\system";
    paths.old_rel_folder = paths.system_folder + "\\OldRel";
    paths.startup_settings = drive_path + "\\system\\init\\startup.ini";
}

void BuildImagePattern(UpdatePaths& paths, const std::string& drive_path) {
    paths.image_pattern = drive_path + "\\" + std::string(kImageNames);
}

}  // namespace velno::update
