#pragma once

// Files on the rig's drives listed and removed through the Win32 API itself
// (long paths, times finer than seconds), not the code under test, and the
// contract's rig on drive E:. Paths take "\" or "/" between names.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "host_contract.h"
#include "platform/win32/copy_file.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_platform.h"

namespace velno::win32::testing {

// True when drive E: is the rig's instrument volume (label VELNO).
bool RigDriveReady();
// The path's extended-length form, "\\?\E:\...".
std::wstring Wide(std::string path);
// Every entry below the folder: "a/b/" -> "" for a folder, "a/b" ->
// "content@seconds[.nanoseconds]" for a file, with "#" and the read-only,
// hidden and system bits after each where asked; `prefix` before each path.
std::map<std::string, std::string> Entries(const std::string& folder, bool attributes,
                                           const std::string& prefix = "");
// Removes a folder and everything in it but the entry `except`, read-only
// entries included.
void RemoveTree(const std::string& folder, const std::string& except = "");

// The volume's boot sector, a hidden file in E:'s root (scripts/win32/wine-env.sh).
constexpr const char* kVolumeFile = ".velno-volume";

inline std::string ScratchFolder() {
    static int counter = 0;
    return "E:\\velno-test-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
}

// The contract's rig: a scratch folder on drive E: and a folder for the
// application (by default one of its own beside it), emptied afterwards.
// Base: host_test::HostRig, or a rig interface built on it.
template <class Base = host_test::HostRig>
class Win32Rig : public Base {
public:
    explicit Win32Rig(std::string drive = ScratchFolder(), std::string app = "")
        : drive_(drive), app_(app.empty() ? drive + "-app" : app) {
        MakeFolder(drive_ + "\\");  // "E:" alone is no folder to std::filesystem
        MakeFolder(app_);
    }
    ~Win32Rig() override {
        RemoveTree(drive_, kVolumeFile);
        RemoveTree(app_);
    }
    platform::Platform& Host() override { return host_; }
    std::string DrivePath() override { return "E:"; }
    std::string Drive() override { return drive_; }
    std::string App() override { return app_; }
    void Write(const std::string& path, const std::string& bytes, long long seconds) override {
        host_test::WriteFile(platform::win32::Utf8ToWide(path), bytes, seconds);
    }
    void MakeFolder(const std::string& path) override {
        std::filesystem::create_directories(platform::win32::Utf8ToWide(path));
    }
    std::map<std::string, std::string> Entries(const std::string& folder,
                                               bool attributes) override {
        return win32::testing::Entries(folder, attributes);
    }
    bool KeepsOddSeconds() override { return true; }  // E: is a folder of the Linux host
    std::string FolderPath(const std::string& asked, const std::string&) override { return asked; }
    unsigned HeldAttributes() override { return 7; }
    unsigned Attributes(const std::string& path) override {
        return GetFileAttributesW(Wide(path).c_str()) & 7;
    }
    std::uint64_t Capacity() override {
        ULARGE_INTEGER total{};
        EXPECT_TRUE(GetDiskFreeSpaceExW(L"E:\\", nullptr, &total, nullptr));
        return total.QuadPart;
    }
    std::unique_ptr<platform::CopySteps> FaultyCopy(host_test::Fault fault,
                                                    const std::string& source,
                                                    const std::string& destination) override {
        return std::make_unique<host_test::FaultySteps<platform::win32::Win32CopySteps>>(
            fault, source, destination);
    }

private:
    platform::win32::Win32Platform host_;
    std::string drive_;
    std::string app_;
};

}  // namespace velno::win32::testing
