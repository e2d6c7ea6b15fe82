#pragma once

// A scratch folder of its own on drive E: for each test, removed afterwards
// with everything in it, and small file helpers that use the Win32 API
// directly (not the code under test).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/windows_api.h"

namespace velno::win32::testing {

// True when drive E: is the rig's instrument volume (label VELNO).
bool RigDriveReady();

class OnRigDrive : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The scratch folder's path in the logic's form, e.g. "E:\velno-test-12-3".
    const std::string& Folder() const { return folder_; }
    // The folder's name below the drive's root.
    const std::string& FolderName() const { return name_; }
    std::string At(const std::string& relative) const { return folder_ + "\\" + relative; }

private:
    std::string name_;
    std::string folder_;
};

std::wstring Wide(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
// The last-write time set and read as raw FILETIME ticks.
void SetModifiedTicks(const std::string& path, unsigned long long ticks);
unsigned long long ModifiedTicks(const std::string& path);
DWORD Attributes(const std::string& path);
// Names in a folder, sorted, "." and ".." left out, hidden ones included.
std::vector<std::string> Names(const std::string& folder);
// Removes a folder and everything in it, read-only entries included.
void RemoveTree(const std::wstring& native);

}  // namespace velno::win32::testing
