#pragma once

// A scratch folder of its own on drive E: for each test, removed afterwards
// with everything in it, and file helpers on the Win32 API itself (not the
// code under test).

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

    // The scratch folder as the logic writes it, e.g. "E:\velno-test-12-3".
    const std::string& Folder() const { return folder_; }
    const std::string& FolderName() const { return name_; }
    std::string At(const std::string& relative) const { return folder_ + "\\" + relative; }

private:
    std::string name_;
    std::string folder_;
};

// The path's extended-length form, "\\?\E:\...".
std::wstring Wide(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
// The last-write time as raw FILETIME ticks.
void SetModifiedTicks(const std::string& path, unsigned long long ticks);
unsigned long long ModifiedTicks(const std::string& path);
DWORD Attributes(const std::string& path);
// Removes a folder (native, extended form) and everything in it, read-only
// entries included.
void RemoveTree(const std::wstring& native);
// Names in a folder, sorted, without "." and "..".
std::vector<std::string> Names(const std::string& folder);

}  // namespace velno::win32::testing
