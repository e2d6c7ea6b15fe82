#pragma once

#include <memory>
#include <string>

#include "platform/contract.h"
#include "update/event_turns.h"
#include "update/window_controls.h"

namespace velno::update {

// The detected instrument drive, written once by detection and kept for the
// program's whole life.
struct InstrumentDrive {
    std::unique_ptr<platform::FileSystemObject> file_system;
    std::shared_ptr<platform::DriveCollection> drive_list;
    std::shared_ptr<platform::Drive> drive;
    // The matched drive's path, e.g. "E:"; empty while no drive was found.
    std::string drive_path;
    std::string root_folder;
};

// The paths of one update run, built by plain text concatenation.
struct UpdatePaths {
    std::string staging_folder;    // ApplicationFolder + "\mtmp\"
    std::string position_file;     // staging folder + "position.txt"
    std::string system_folder;     // drive path + "\system"
    std::string old_rel_folder;    // system folder + "\OldRel"
    std::string startup_settings;  // drive path + "\system\init\startup.ini"
    std::string image_pattern;     // drive path + "\Veln4*.mem"
};

// What the update run works with: the host's services, the window and the
// window's shared records.
struct UpdateContext {
    platform::Runtime& runtime;
    platform::UserServices& user;
    WindowControls& window;
    InstrumentDrive& instrument;
    UpdatePaths& paths;
    EventTurns turns{user};

    platform::FileSystemObject& fs() const { return *instrument.file_system; }
};

}  // namespace velno::update
