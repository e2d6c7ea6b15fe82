// The Linux host's file operations on real temporary folders.

#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>

#include "host_fixture.h"

namespace velno::linux_test {
namespace {

using platform::PlatformError;

class FileSystemTest : public HostFixture {};

TEST_F(FileSystemTest, PathsStayBelowTheirRootAndUnknownRootsAreRefused) {
    // ".." never climbs above the drive's root, as on Windows.
    fs_->CreateFolder(Drive("\\system\\..\\..\\..\\escape"));
    EXPECT_TRUE(std::filesystem::is_directory(temp_ / "drive/escape"));
    EXPECT_FALSE(std::filesystem::exists(temp_ / "escape"));

    // Text joined to the drive's path without a separator is taken from the
    // drive's root, never from a sibling whose name starts like the root.
    std::filesystem::create_directories(temp_ / "drive2");
    fs_->CreateFolder(Drive("2"));
    EXPECT_TRUE(std::filesystem::is_directory(temp_ / "drive/2"));
    // The application folder is a folder root: a sibling of it is no part of it.
    std::filesystem::create_directories(temp_ / "app2");
    EXPECT_PLATFORM_ERROR(fs_->FolderExists(App("2")), "FolderExists", "not on the instrument");
    EXPECT_PLATFORM_ERROR(fs_->FileExists(temp_ / "mountinfo"), "FileExists", "not on");
    EXPECT_PLATFORM_ERROR(fs_->CreateFolder("\\system"), "CreateFolder", "not on");
    EXPECT_PLATFORM_ERROR(runtime_.RemoveFile("/etc/hostname"), "RemoveFile", "not on");
    EXPECT_PLATFORM_ERROR(runtime_.FlushDrive("/"), "FlushDrive", "not on");
    runtime_.FlushDrive(Drive());
}

TEST_F(FileSystemTest, TheLongestRootWinsWhenOneLiesInsideAnother) {
    TempFolder outer;
    std::filesystem::create_directories(outer / "app");
    WriteFile(outer / "mountinfo", "60 1 0:60 / " + outer.path() + " rw - tmpfs tmpfs rw\n");
    platform::linux_host::LinuxPlatform host(
        {.application_folder = outer / "app",
         .drive_sources = {.mountinfo_path = outer / "mountinfo"}});
    const auto fs = host.CreateFileSystemObject("Scripting.FileSystemObject");
    const std::string drive = fs->Drives()->Walk().at(0)->Path();
    const std::string app = host.GetRuntime().ApplicationFolder();
    fs->CreateFolder(app + "\\..\\inner");
    EXPECT_TRUE(std::filesystem::is_directory(outer / "app/inner"));
    fs->CreateFolder(drive + "\\..\\inner");
    EXPECT_TRUE(std::filesystem::is_directory(outer / "inner"));
}

TEST_F(FileSystemTest, NamesAreFoundIgnoringCaseAndByType) {
    WriteFile(temp_ / "drive/System/Init/StartUp.INI", "x");
    EXPECT_TRUE(fs_->FileExists(Drive("\\system\\init\\startup.ini")));
    EXPECT_TRUE(fs_->FolderExists(Drive("\\SYSTEM/INIT")));
    EXPECT_FALSE(fs_->FileExists(Drive("\\system\\init")));
    EXPECT_FALSE(fs_->FileExists(Drive("\\" + std::string(65536, 'a'))));  // a 64 KiB list line
    EXPECT_FALSE(fs_->FolderExists(Drive("\\system\\init\\startup.ini")));
    EXPECT_FALSE(fs_->FileExists(Drive("\\nothing\\startup.ini")));
    // Trailing blanks and dots are dropped from each name, as Windows does.
    EXPECT_TRUE(fs_->FileExists(Drive("\\system. \\init \\startup.ini. ")));
    // A new name below an existing folder of other case goes into that folder.
    fs_->CreateFolder(Drive("\\SYSTEM\\OldRel"));
    EXPECT_TRUE(std::filesystem::is_directory(temp_ / "drive/System/OldRel"));
    // FAT finds it in any case itself; elsewhere the host finds the real name.
    EXPECT_TRUE(std::filesystem::equivalent(fs_->GetFolder(Drive("\\system\\oldrel"))->Path(),
                                            temp_ / "drive/System/OldRel"));
    EXPECT_PLATFORM_ERROR(fs_->GetFolder(Drive("\\system\\init\\startup.ini")), "GetFolder",
                          "Not a directory");
}

// Thousands of new names in one folder cost one reading of the folder, and a
// name the run created is found in any case afterwards, until it is removed.
TEST_F(FileSystemTest, EachFolderIsReadOnceAndNamesHandedOutAreFoundInAnyCase) {
    platform::linux_host::PathRoots roots;
    const std::string root = temp_ / "drive";
    roots.Add(root, platform::linux_host::PathRoots::Kind::kDrive);
    WriteFile(root + "/Old.bin", "x");
    for (int i = 0; i < 1000; ++i) {
        roots.Resolve("t", root + "\\new" + std::to_string(i));
    }
    WriteFile(roots.Resolve("t", root + "\\NEW7"), "x");
    const std::pair<const char*, const char*> cases[] = {
        {"\\new7", "/NEW7"}, {"\\old.BIN\\x", "/Old.bin/x"}, {"\\New8", "/New8"}};
    // FAT finds every existing name in the caller's spelling itself.
    const bool folds_case = std::filesystem::exists(root + "/OLD.BIN");
    for (const auto& [text, native] : cases) {
        std::string spelled = text;
        std::replace(spelled.begin(), spelled.end(), '\\', '/');
        EXPECT_EQ(roots.Resolve("t", root + text), root + (folds_case ? spelled : native));
    }
    std::filesystem::remove(root + "/NEW7");
    EXPECT_EQ(roots.Resolve("t", root + "\\new7"), root + "/new7");
    EXPECT_EQ(roots.FoldersRead(), 1);
}

TEST_F(FileSystemTest, RefusedChangesNameTheirOperationAndChangeNothing) {
    // Times FAT holds too: even seconds after 1980.
    WriteFile(temp_ / "drive/ro.bin", "old", {1'600'000'000, 0});
    ::chmod((temp_ / "drive/ro.bin").c_str(), 0444);
    WriteFile(temp_ / "drive/Veln4a.mem", "new", {1'600'000'002, 0});
    WriteFile(temp_ / "drive/OldRel/VELN4A.MEM", "saved", {1'600'000'004, 0});
    std::filesystem::create_directories(temp_ / "drive/folder");
    const std::string before = Snapshot(Drive());
    const struct {
        std::function<void()> change;
        const char* operation;
        const char* message;
    } refused[] = {
        {[&] { fs_->CreateFolder(Drive("\\a\\b")); }, "CreateFolder", "No such file"},
        {[&] { fs_->CreateFolder(Drive("\\FOLDER")); }, "CreateFolder", "File exists"},
        {[&] { fs_->DeleteFile(Drive("\\RO.BIN"), false); }, "DeleteFile", "Permission denied"},
        {[&] { fs_->DeleteFile(Drive("\\none.bin"), true); }, "DeleteFile", "No such file"},
        {[&] { fs_->DeleteFile(Drive("\\folder"), true); }, "DeleteFile", "Is a directory"},
        {[&] { runtime_.RemoveFile(Drive("\\folder")); }, "RemoveFile", "Is a directory"},
        {[&] { fs_->MoveFile(Drive("\\Veln4a.mem"), Drive("\\OldRel\\Veln4a.mem")); }, "MoveFile",
         "File exists"},
        {[&] { fs_->MoveFile(Drive("\\none.mem"), Drive("\\x.mem")); }, "MoveFile", "No such file"},
        {[&] { fs_->MoveFile(Drive("\\Veln4a.mem"), Drive("\\no\\x.mem")); }, "MoveFile",
         "No such file"},
    };
    for (const auto& r : refused) {
        EXPECT_PLATFORM_ERROR(r.change(), r.operation, r.message);
    }
    EXPECT_EQ(Snapshot(Drive()), before);

    fs_->DeleteFile(Drive("\\RO.BIN"), true);
    fs_->MoveFile(Drive("\\veln4A.MEM"), Drive("\\oldrel\\Veln4b.mem"));
    EXPECT_EQ(Snapshot(Drive()),
              "OldRel/\nOldRel/VELN4A.MEM=saved@1600000004.0\nOldRel/Veln4b.mem=new@1600000002.0\n"
              "folder/\n");
}

TEST_F(FileSystemTest, AttributesAreTheOnesTheVolumeHolds) {
    // FAT holds all three bits; elsewhere read-only alone exists, as the
    // absence of write permission, and hidden and system read as 0.
    struct statfs volume {};
    ASSERT_EQ(::statfs(temp_.path().c_str(), &volume), 0);
    const unsigned held = volume.f_type == MSDOS_SUPER_MAGIC ? 7u : platform::kAttrReadOnly;
    WriteFile(temp_ / "drive/file.bin", "x");
    for (const unsigned bits : {platform::kAttrReadOnly | platform::kAttrHidden,
                                platform::kAttrHidden | platform::kAttrSystem, 0u,
                                platform::kAttrSystem | platform::kAttrReadOnly}) {
        runtime_.SetAttributes(Drive("\\file.bin"), bits);
        EXPECT_EQ(runtime_.GetAttributes(Drive("\\FILE.BIN")), bits & held) << bits;
        const auto perms = std::filesystem::status(temp_ / "drive/file.bin").permissions();
        EXPECT_EQ((perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none,
                  (bits & platform::kAttrReadOnly) != 0)
            << bits;
    }
    EXPECT_PLATFORM_ERROR(runtime_.GetAttributes(Drive("\\none")), "GetAttributes", "No such");
}

TEST_F(FileSystemTest, MatchesIgnoreCaseSkipFoldersAndSurviveMovingMatchesAway) {
    for (const char* name : {"Veln4a.mem", "VELN4B.MEM", "veln4.mem", "Veln4x.mem.bak", "x.mem"}) {
        WriteFile(temp_ / "drive" + "/" + name, name);
    }
    std::filesystem::create_directories(temp_ / "drive/Veln4dir.mem");
    std::filesystem::create_directories(temp_ / "drive/OldRel");

    std::set<std::string> moved;
    for (std::string name = runtime_.FirstMatch(Drive("\\Veln4*.mem")); !name.empty();
         name = runtime_.NextMatch()) {
        fs_->MoveFile(Drive("\\" + name), Drive("\\OldRel\\" + name));
        moved.insert(name);
    }
    EXPECT_EQ(moved, (std::set<std::string>{"Veln4a.mem", "VELN4B.MEM", "veln4.mem"}));
    EXPECT_EQ(runtime_.NextMatch(), "");
    EXPECT_EQ(runtime_.FirstMatch(Drive("\\missing\\*.mem")), "");
}

TEST_F(FileSystemTest, TextInputAndTimes) {
    EXPECT_PLATFORM_ERROR(runtime_.ReadLine(), "ReadLine", "No file is open");
    EXPECT_PLATFORM_ERROR(runtime_.OpenTextInput(App("\\mtmp\\position.txt")), "OpenTextInput",
                          "No such file");
    WriteFile(temp_ / "app/mtmp/Position.txt", "\\a.bin\r\n-\\b.bin\rc", {1'600'000'001, 5});
    // Lines are split by the shared text input; the host opens and closes.
    runtime_.OpenTextInput(App("\\mtmp\\position.txt"));
    EXPECT_EQ(runtime_.ReadLine(), "\\a.bin");
    runtime_.Rewind();
    EXPECT_EQ(runtime_.ReadLine(), "\\a.bin");
    runtime_.OpenTextInput(App("\\mtmp\\position.txt"));  // opened again: from the start
    EXPECT_EQ(runtime_.ReadLine(), "\\a.bin");
    runtime_.CloseAll();
    EXPECT_PLATFORM_ERROR(runtime_.AtEnd(), "AtEnd", "No file is open");
    // A folder opens on Linux but is no text; a NUL would cut the path short.
    EXPECT_PLATFORM_ERROR(runtime_.OpenTextInput(App("\\mtmp")), "OpenTextInput", "Is a directory");
    EXPECT_PLATFORM_ERROR(runtime_.OpenTextInput(App(std::string("\\mtmp\\position.txt\0x", 19))),
                          "OpenTextInput", "Invalid argument");

    // What the volume kept of it: FAT keeps even seconds.
    const timespec kept = ModifiedOf(temp_ / "app/mtmp/Position.txt");
    const auto expected =
        platform::DateTime(std::chrono::duration_cast<platform::DateTime::duration>(
            std::chrono::seconds(kept.tv_sec) + std::chrono::nanoseconds(kept.tv_nsec)));
    EXPECT_EQ(runtime_.FileModifiedTime(App("\\MTMP\\position.txt")), expected);
    EXPECT_EQ(fs_->GetFile(App("\\mtmp\\position.txt"))->DateLastModified(), expected);
    EXPECT_EQ(fs_->GetFile(App("\\mtmp\\position.txt"))->Size(), 17u);
    EXPECT_PLATFORM_ERROR(fs_->GetFile(App("\\mtmp\\none.txt")), "GetFile", "No such file");
    EXPECT_PLATFORM_ERROR(fs_->GetFile(App("\\mtmp")), "GetFile", "Is a directory");
}

TEST_F(FileSystemTest, TheDriveReportsItsVolumesRoom) {
    const platform::VolumeSpace space = fs_->Drives()->Walk().at(0)->Space();
    EXPECT_EQ(space.total_bytes, std::filesystem::space(temp_ / "drive").capacity);
    EXPECT_LE(space.free_bytes, space.total_bytes);
    EXPECT_GT(space.cluster_bytes, 0u);
    EXPECT_EQ(space.cluster_bytes & (space.cluster_bytes - 1), 0u);
}

TEST(LinuxPlatformTest, ApplicationFolderIsTheExecutablesAndTheClassNameIsChecked) {
    platform::linux_host::LinuxPlatform host;
    EXPECT_EQ(host.GetRuntime().ApplicationFolder(),
              std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
    EXPECT_THROW(host.CreateFileSystemObject("Scripting.Other"), PlatformError);
}

// Only a volume mounted from a block device goes to the volume manager, and
// its answer is the result; the last mount on the drive's point counts.
TEST(LinuxPlatformTest, RemovalHandsTheDrivesBlockDeviceToTheVolumeManager) {
    struct Case {
        const char* sources;  // of the mounts on the drive's point, in order
        bool answer;
        bool removed;
        const char* asked;
    };
    for (const Case& c :
         {Case{"/dev/sdz1", true, true, "/dev/sdz1"}, Case{"/dev/sdz1", false, false, "/dev/sdz1"},
          Case{"/dev/sdy1 /dev/sdz1", true, true, "/dev/sdz1"},
          Case{"/dev/sdz1 /tmp/velno.img", true, false, ""}}) {
        TempFolder temp;
        std::filesystem::create_directories(temp / "drive");
        std::string mountinfo;
        std::istringstream sources(c.sources);
        for (std::string source; sources >> source;) {
            mountinfo += "50 1 8:1 / " + (temp / "drive") + " rw - vfat " + source + " rw\n";
        }
        WriteFile(temp / "mountinfo", mountinfo);
        std::string asked;
        platform::linux_host::LinuxPlatform host(
            {.application_folder = temp.path(),
             .drive_sources = {.mountinfo_path = temp / "mountinfo"},
             .remove_device = [&](const std::string& device) {
                 asked = device;
                 return c.answer;
             }});
        const std::string drive = host.CreateFileSystemObject("Scripting.FileSystemObject")
                                      ->Drives()
                                      ->Walk()
                                      .at(0)
                                      ->Path();
        EXPECT_EQ(host.GetRuntime().PrepareForRemoval(drive), c.removed) << c.sources;
        EXPECT_EQ(asked, c.asked) << c.sources;
        EXPECT_FALSE(host.GetRuntime().PrepareForRemoval("/")) << "a path on no drive";
    }
}

}  // namespace
}  // namespace velno::linux_test
