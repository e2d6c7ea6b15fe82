#include "platform/win32/runtime.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake/error_of.h"
#include "platform/win32/file_system.h"
#include "test_folder.h"

namespace velno::win32::testing {
namespace {

using platform::PlatformError;
using velno::testing::ErrorOf;

class Win32RuntimeTest : public OnRigDrive {
protected:
    platform::win32::Win32Runtime runtime;
    platform::win32::Win32FileSystem fs;
};

TEST_F(Win32RuntimeTest, MatchesOrdinaryFilesByLongNameWhileMatchesMoveAway) {
    for (const char* name : {"Veln4a.mem", "veln4B.MEM", "Veln4.mem", "Veln4hidden.mem",
                             "Veln4sys.mem", "other.mem", "Veln4x.memo", "xVeln4.mem"}) {
        WriteBytes(At(name), name);
    }
    ASSERT_TRUE(SetFileAttributesW(Wide(At("Veln4hidden.mem")).c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(Wide(At("Veln4sys.mem")).c_str(), FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(CreateDirectoryW(Wide(At("Veln4dir.mem")).c_str(), nullptr));
    fs.CreateFolder(At("OldRel"));

    std::vector<std::string> moved;
    for (std::string name = runtime.FirstMatch(At("Veln4*.mem")); !name.empty();
         name = runtime.NextMatch()) {
        fs.MoveFile(At(name), At("OldRel\\" + name));
        moved.push_back(name);
    }
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(moved, (std::vector<std::string>{"Veln4.mem", "Veln4a.mem", "veln4B.MEM"}));
    EXPECT_EQ(Names(At("OldRel")), moved);
    EXPECT_EQ(runtime.NextMatch(), "");
    EXPECT_EQ(runtime.FirstMatch(At("nothing*.x")), "");
    EXPECT_EQ(runtime.FirstMatch(At("missing\\Veln4*.mem")), "");
}

TEST_F(Win32RuntimeTest, ReplacesTheReadOnlyHiddenAndSystemBits) {
    fs.CreateFolder(At("system"));
    runtime.SetAttributes(At("system"), 6);
    EXPECT_EQ(runtime.GetAttributes(At("system")), 6u);
    EXPECT_EQ(Attributes(At("system")) &
                  (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY),
              DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY});
    runtime.SetAttributes(At("system"), 0);
    EXPECT_EQ(runtime.GetAttributes(At("system")), 0u);

    WriteBytes(At("a.ini"), "a");
    runtime.SetAttributes(At("a.ini"), 1);
    EXPECT_EQ(runtime.GetAttributes(At("a.ini")), 1u);
    EXPECT_THROW(runtime.GetAttributes(At("missing")), PlatformError);
    EXPECT_THROW(runtime.SetAttributes(At("missing"), 0), PlatformError);
}

TEST_F(Win32RuntimeTest, RemovesAFileEvenReadOnlyButNotAMissingOne) {
    WriteBytes(At("ro.ini"), "r");
    ASSERT_TRUE(SetFileAttributesW(Wide(At("ro.ini")).c_str(), FILE_ATTRIBUTE_READONLY));
    runtime.RemoveFile(At("ro.ini"));
    EXPECT_FALSE(fs.FileExists(At("ro.ini")));
    EXPECT_EQ(ErrorOf([&] { runtime.RemoveFile(At("ro.ini")); }).Paths(),
              std::vector<std::string>{At("ro.ini")});
}

// Wine puts no disk device behind a drive, so the configuration manager is
// never asked to eject: removal reports failure, and never throws.
TEST_F(Win32RuntimeTest, RemovalFallsBackWhereNoDiskStandsBehindTheDrive) {
    for (const char* drive : {"E:", "Q:", "E:\\", ""}) {
        EXPECT_FALSE(runtime.PrepareForRemoval(drive)) << drive;
    }
}

TEST_F(Win32RuntimeTest, OpensRewindsAndClosesTheTextInput) {
    WriteBytes(At("position.txt"), "\\a.bin\r\n-\\b.bin\r\\c.bin");
    runtime.OpenTextInput(At("position.txt"));
    EXPECT_EQ(runtime.ReadLine(), "\\a.bin");
    EXPECT_EQ(runtime.ReadLine(), "-\\b.bin");
    runtime.Rewind();
    EXPECT_EQ(runtime.ReadLine(), "\\a.bin");
    runtime.CloseAll();
    EXPECT_THROW(runtime.ReadLine(), PlatformError);
    // Missing, a folder, a NUL that would cut the path short.
    CreateDirectoryW(Wide(At("folder.txt")).c_str(), nullptr);
    for (const std::string& path :
         {At("missing.txt"), At("folder.txt"), At(std::string("position.txt\0x", 14))}) {
        EXPECT_THROW(runtime.OpenTextInput(path), PlatformError) << path;
    }
}

}  // namespace
}  // namespace velno::win32::testing
