// The Win32 host under Wine: the contract on the rig of test_folder.h, and
// what only Windows has: native path forms, the drive list and removal.

#include <gtest/gtest.h>

#include "fake/error_of.h"
#include "fake/fake_host.h"
#include "platform/win32/drives.h"
#include "platform/win32/native_path.h"
#include "test_folder.h"

namespace velno::platform::win32 {
namespace {

namespace files = velno::win32::testing;

// Each root form; resolving the rest is the shared path text's, tested with it.
TEST(NativePath, ResolvesBelowItsRootAndNeverAboveIt) {
    const std::pair<std::string, std::wstring> cases[] = {
        {"E:\\system\\data\\a.bin", L"\\\\?\\E:\\system\\data\\a.bin"},
        {"E:\\system\\..\\..\\..\\Windows\\x", L"\\\\?\\E:\\Windows\\x"},
        {"E:/a/b", L"\\\\?\\E:\\a\\b"},
        {"E:", L"\\\\?\\E:\\"},
        {"\\\\server\\share\\..\\..\\d\\a.bin", L"\\\\?\\UNC\\server\\share\\d\\a.bin"},
        {"\\\\?\\C:\\Upd\\..\\x", L"\\\\?\\C:\\x"},
        {"\\\\?\\UNC\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
        {"E:\\\xC3\x9C\\\xE6\x97\xA5.bin", L"\\\\?\\E:\\\u00DC\\\u65E5.bin"},
        {"E:\\CON", L"\\\\?\\E:\\CON"},
    };
    for (const auto& [logic, native] : cases) {
        EXPECT_EQ(NativePath("t", logic), native) << logic;
    }
    EXPECT_EQ(LogicPath(L"\\\\?\\C:\\Upd\\u.exe"), "C:\\Upd\\u.exe");
    EXPECT_EQ(LogicPath(L"\\\\?\\UNC\\s\\d\\u.exe"), "\\\\s\\d\\u.exe");
    EXPECT_EQ(LogicPath(L"C:\\\u00DC"), "C:\\\xC3\x9C");
    // A share without its name is refused with the operation and path.
    const auto error = velno::testing::ErrorOf([] { NativePath("FileExists", "\\\\server"); });
    EXPECT_EQ(error.Operation(), "FileExists");
    EXPECT_EQ(error.Paths(), std::vector<std::string>{"\\\\server"});
    EXPECT_FALSE(error.SystemMessage().empty());
}

// The rig has two VELNO FAT32 volumes: E: fixed, F: removable, which
// detection passes over (the smoke test shows the program taking E:).
TEST(Win32Drives, TheRemovableDriveIsSeenAsOneAndMissingDrivesFail) {
    if (!files::RigDriveReady()) {
        GTEST_SKIP() << "drive E: is not the rig's VELNO volume";
    }
    Win32Platform platform;
    const auto removable = fake::DriveAt(platform, "F:");
    ASSERT_TRUE(removable);
    EXPECT_EQ(removable->DriveType(), kDriveRemovable);
    EXPECT_EQ(removable->VolumeName(), "VELNO");
    EXPECT_EQ(removable->FileSystem(), "FAT32");
    // C: has no volume device under Wine: its volume's flush is refused, as a
    // standard user's is on Windows, and the root folder's stands in.
    EXPECT_TRUE(platform.GetRuntime().FlushDrive("C:"));
    EXPECT_PLATFORM_ERROR(platform.GetRuntime().FlushDrive("B:"), "FlushDrive", "not found");
    // A missing drive is not ready and has no label; removal fails without
    // throwing (Wine puts no disk device behind any drive).
    Win32Drive missing(L"B:\\");
    EXPECT_FALSE(missing.IsReady());
    EXPECT_THROW(missing.Space(), PlatformError);
    const auto error = velno::testing::ErrorOf([&] { missing.VolumeName(); });
    EXPECT_EQ(error.Operation(), "VolumeName");
    EXPECT_EQ(error.Paths(), std::vector<std::string>{"B:"});
    EXPECT_FALSE(error.SystemMessage().empty());
    for (const char* drive : {"E:", "Q:", "E:\\", ""}) {
        EXPECT_FALSE(platform.GetRuntime().PrepareForRemoval(drive, {})) << drive;
    }
}

TEST(Win32Paths, LongPathsNonAsciiNamesAndDeviceNamesWork) {
    if (!files::RigDriveReady()) {
        GTEST_SKIP() << "drive E: is not the rig's VELNO volume";
    }
    files::Win32Rig<> rig;
    const auto fs = rig.Host().CreateFileSystemObject("Scripting.FileSystemObject");
    std::string deep = rig.Drive();
    for (int level = 0; level < 8; ++level) {
        deep += "\\" + std::string(40, static_cast<char>('a' + level));
        fs->CreateFolder(deep);
    }
    ASSERT_GT(deep.size(), 300u);
    const std::string name = "\xC3\x9C-\xE6\x97\xA5\xE6\x9C\xAC.bin";  // UTF-8 of 2 and 3 bytes
    rig.Write(rig.Drive() + "\\" + name, "u", 0);
    fs->CopyFile(rig.Drive() + "\\" + name, deep + "\\" + name, true, nullptr);
    fs->CopyFile(rig.Drive() + "\\" + name, rig.Drive() + "\\CON", true, nullptr);
    EXPECT_TRUE(fs->FileExists(deep + "\\" + name));
    EXPECT_TRUE(fs->FolderExists("E:"));
    EXPECT_EQ(rig.Entries(rig.Drive(), false).at("CON"), rig.Entries(rig.Drive(), false).at(name));
    fs->DeleteFile(rig.Drive() + "\\CON", true);
    EXPECT_FALSE(fs->FileExists(rig.Drive() + "\\CON"));
}

}  // namespace
}  // namespace velno::platform::win32

namespace velno::host_test {
std::unique_ptr<HostRig> MakeHostRig(std::string& why_not) {
    if (!win32::testing::RigDriveReady()) {
        why_not = "drive E: is not the rig's VELNO volume (scripts/win32/prepare-prefix.sh)";
        return nullptr;
    }
    return std::make_unique<win32::testing::Win32Rig<>>();
}
}  // namespace velno::host_test
