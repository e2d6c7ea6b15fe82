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
// folders this run copies into (OldRel, the list's destination folders and
// every level above them), and nothing else.
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

// What one line of the list does. The run and velno-check both ask this, so
// they cannot disagree.
struct Entry {
    EntryKind kind = EntryKind::kEnd;
    // Where on the instrument the entry acts, below the drive's root as the
    // hosts resolve the line (trailing blanks and dots dropped, ".." kept at
    // the root), e.g. "\system\a.bin". Empty when the entry does nothing,
    // whatever the instrument holds: the end of the list, an install entry
    // whose name resolves to nothing ("\dir\", "...", " ", ". "), a delete
    // entry of the drive's root.
    std::string target;
    std::string name;  // install entries: the staged file's name, as written
    bool Acts() const { return !target.empty(); }
};
Entry EntryOf(const std::string& line);

// Reads the entries of the open position list from its current place: the
// lines up to the end of the file, or up to and including the first empty
// line; none when the first line is empty. Calls visit (when given) with
// each and returns how many there were.
long ReadEntries(platform::Runtime& runtime,
                 const std::function<void(const std::string&)>& visit = {});

// The paths of an install entry that acts.
struct InstallEntry {
    std::string name;                // the staged file's name
    std::string folder_part;         // the target's folder, e.g. "\system" or "\"
    std::string staged;              // staging folder + name
    std::string target;              // drive path + the entry's target
    std::string destination_folder;  // drive path + folder part
};
std::optional<InstallEntry> InstallEntryOf(UpdateContext& context, const std::string& line);

// Where the entry's target stands against its staged file, which exists:
// it is copied when absent or strictly older.
enum class TargetState { kAbsent, kOlder, kUpToDate };
TargetState TargetStateOf(UpdateContext& context, const InstallEntry& entry);

}  // namespace velno::update
