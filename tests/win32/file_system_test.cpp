#include "platform/win32/file_system.h"

#include <gtest/gtest.h>

#include "fake/error_of.h"
#include "test_folder.h"

namespace velno::win32::testing {
namespace {

using platform::PlatformError;
using velno::testing::ErrorOf;

class Win32FileSystemTest : public OnRigDrive {
protected:
    platform::win32::Win32FileSystem fs;
};

TEST_F(Win32FileSystemTest, FindsFilesAndFoldersByKindIgnoringCaseAndStaysOnTheDrive) {
    WriteBytes(At("Veln4Main.mem"), "m");
    ASSERT_TRUE(CreateDirectoryW(Wide(At("System")).c_str(), nullptr));
    EXPECT_TRUE(fs.FileExists(At("VELN4MAIN.MEM")));
    EXPECT_FALSE(fs.FolderExists(At("veln4main.mem")));
    EXPECT_TRUE(fs.FolderExists(At("system")));
    EXPECT_FALSE(fs.FileExists(At("system")));
    EXPECT_FALSE(fs.FileExists(At("nothere\\b.bin")));
    EXPECT_FALSE(fs.FileExists(At(std::string(65536, 'a'))));  // a 64 KiB list line
    EXPECT_TRUE(fs.FolderExists("E:"));
    // ".." never climbs above the drive's root.
    const std::string climbing = "E:\\..\\..\\..\\" + FolderName() + "\\..\\..\\" + FolderName();
    EXPECT_TRUE(fs.FileExists(climbing + "\\Veln4Main.mem"));
    fs.CreateFolder(climbing + "\\made");
    // Trailing blanks and dots are dropped from each name, as Windows does.
    EXPECT_TRUE(fs.FileExists(At("System. \\..\\Veln4Main.mem . ")));
    fs.CopyFile(At("Veln4Main.mem"), At("System .\\copy.bin "), true, nullptr);
    fs.DeleteFile(At("veln4main.mem"), true);
    EXPECT_EQ(Names(Folder()), (std::vector<std::string>{"System", "made"}));
    EXPECT_EQ(Names(At("System")), std::vector<std::string>{"copy.bin"});
}

TEST_F(Win32FileSystemTest, CreatesOneFolderWhoseParentExists) {
    const PlatformError missing_parent = ErrorOf([&] { fs.CreateFolder(At("x\\y")); });
    EXPECT_EQ(missing_parent.Operation(), "CreateFolder");
    EXPECT_EQ(missing_parent.Paths(), std::vector<std::string>{At("x\\y")});
    EXPECT_FALSE(missing_parent.SystemMessage().empty());
    EXPECT_FALSE(fs.FolderExists(At("x")));
    fs.CreateFolder(At("one"));
    ErrorOf([&] { fs.CreateFolder(At("ONE")); });
}

TEST_F(Win32FileSystemTest, DeletesOnlyFilesAndAReadOnlyOneOnlyWhenForced) {
    WriteBytes(At("ro.bin"), "r");
    ASSERT_TRUE(SetFileAttributesW(Wide(At("ro.bin")).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ErrorOf([&] { fs.DeleteFile(At("ro.bin"), false); }).Operation(), "DeleteFile");
    EXPECT_NE(Attributes(At("ro.bin")) & FILE_ATTRIBUTE_READONLY, 0u);
    fs.DeleteFile(At("ro.bin"), true);
    EXPECT_FALSE(fs.FileExists(At("ro.bin")));
    EXPECT_EQ(ErrorOf([&] { fs.DeleteFile(At("ro.bin"), true); }).Paths(),
              std::vector<std::string>{At("ro.bin")});
    ASSERT_TRUE(CreateDirectoryW(Wide(At("dir")).c_str(), nullptr));
    ErrorOf([&] { fs.DeleteFile(At("dir"), true); });
    EXPECT_TRUE(fs.FolderExists(At("dir")));
}

TEST_F(Win32FileSystemTest, MovesAFileButNeverOntoAnExistingOne) {
    WriteBytes(At("a.mem"), "new");
    WriteBytes(At("b.mem"), "old");
    const PlatformError refused = ErrorOf([&] { fs.MoveFile(At("a.mem"), At("b.mem")); });
    EXPECT_EQ(refused.Operation(), "MoveFile");
    EXPECT_EQ(refused.Paths(), (std::vector<std::string>{At("a.mem"), At("b.mem")}));
    EXPECT_EQ(ReadBytes(At("a.mem")), "new");
    EXPECT_EQ(ReadBytes(At("b.mem")), "old");

    fs.CreateFolder(At("OldRel"));
    fs.MoveFile(At("a.mem"), At("OldRel\\a.mem"));
    EXPECT_EQ(Names(Folder()), (std::vector<std::string>{"OldRel", "b.mem"}));
    EXPECT_EQ(ReadBytes(At("OldRel\\a.mem")), "new");
    ErrorOf([&] { fs.MoveFile(At("a.mem"), At("c.mem")); });
    ErrorOf([&] { fs.MoveFile(At("b.mem"), At("missing\\b.mem")); });
    EXPECT_EQ(ReadBytes(At("b.mem")), "old");
}

TEST_F(Win32FileSystemTest, FileAndFolderObjectsNeedTheRightKindOfEntry) {
    WriteBytes(At("a.bin"), "a");
    SetModifiedTicks(At("a.bin"), 133'000'000'000'000'000ULL);
    const auto file = fs.GetFile(At("a.bin"));
    const auto before = file->DateLastModified();
    SetModifiedTicks(At("a.bin"), 133'000'000'020'000'000ULL);
    EXPECT_EQ(file->DateLastModified() - before, std::chrono::seconds(2));
    EXPECT_EQ(file->Size(), 1u);
    EXPECT_EQ(fs.GetFolder(Folder())->Path(), Folder());
    ErrorOf([&] { fs.GetFile(Folder()); });
    ErrorOf([&] { fs.GetFile(At("b.bin")); });
    ErrorOf([&] { fs.GetFolder(At("a.bin")); });
}

TEST_F(Win32FileSystemTest, HandlesLongPathsNonAsciiNamesAndDeviceNames) {
    std::string deep = Folder();
    for (int level = 0; level < 8; ++level) {
        deep += "\\" + std::string(40, static_cast<char>('a' + level));
        fs.CreateFolder(deep);
    }
    ASSERT_GT(deep.size(), 300u);
    const std::string name =
        "\xC3\x9C"
        "bersicht-\xE6\x97\xA5\xE6\x9C\xAC.bin";
    WriteBytes(At(name), "u");
    fs.CopyFile(At(name), deep + "\\" + name, true, nullptr);
    EXPECT_EQ(ReadBytes(deep + "\\" + name), "u");

    fs.CopyFile(At(name), At("CON"), true, nullptr);
    EXPECT_TRUE(fs.FileExists(At("CON")));
    fs.DeleteFile(At("CON"), true);
    EXPECT_FALSE(fs.FileExists(At("CON")));
}

}  // namespace
}  // namespace velno::win32::testing
