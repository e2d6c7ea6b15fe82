#pragma once

#include "update/records.h"

namespace velno::update {

// The whole update, from its preconditions to the completion screen. Ends
// the program (ProgramEnded) when a precondition fails; a failing platform
// operation throws PlatformError and leaves every change made before it.
void RunUpdate(UpdateContext& context);

// Moves the memory images of the drive's root into the OldRel folder.
void BackUpMemoryImages(UpdateContext& context);

// Applies the position list of the staging folder, advancing the progress
// bar once per entry.
void ApplyPositionList(UpdateContext& context);

// The kinds of position-list line.
enum class EntryKind { kEnd, kDelete, kInstall };
EntryKind ClassifyLine(const std::string& line);

}  // namespace velno::update
