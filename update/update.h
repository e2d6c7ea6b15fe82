#pragma once

#include <functional>
#include <optional>
#include <string>

#include "update/records.h"

namespace velno::update {

// The whole update, from its preconditions to the completion screen. Ends
// the program (ProgramEnded) when a precondition fails; a failing platform
// operation throws PlatformError and leaves every change made before it.
void RunUpdate(UpdateContext& context);

// Removes the temporary copies an interrupted earlier run left in the
// folders this run copies into (OldRel and the list's destination folders),
// and nothing else.
void ClearLeftoverCopies(UpdateContext& context);

// Moves the memory images of the drive's root into the OldRel folder.
void BackUpMemoryImages(UpdateContext& context);

// Applies the position list of the staging folder, advancing the progress
// bar once per entry.
void ApplyPositionList(UpdateContext& context);

// Ends the program, with the instrument untouched, when the files the
// position list will copy do not fit in the instrument's free space.
void CheckFreeSpace(UpdateContext& context);

// The kinds of position-list line.
enum class EntryKind { kEnd, kDelete, kInstall };
EntryKind ClassifyLine(const std::string& line);

// Reads the entries of the open position list from its current place: the
// lines up to the end of the file, or up to and including the first empty
// line; none when the first line is empty. Calls visit (when given) with
// each and returns how many there were.
long ReadEntries(platform::Runtime& runtime,
                 const std::function<void(const std::string&)>& visit = {});

// The paths of an install entry; none when its line names no file.
struct InstallEntry {
    std::string name;                // the staged file's name
    std::string folder_part;         // the line's folder part
    std::string staged;              // staging folder + name
    std::string target;              // drive path + line
    std::string destination_folder;  // drive path + folder part
};
std::optional<InstallEntry> InstallEntryOf(UpdateContext& context, const std::string& line);

// Where the entry's target stands against its staged file, which exists:
// it is copied when absent or strictly older.
enum class TargetState { kAbsent, kOlder, kUpToDate };
TargetState TargetStateOf(UpdateContext& context, const InstallEntry& entry);

}  // namespace velno::update
