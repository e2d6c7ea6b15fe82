// The platform contract on a real host: the file system, the copy, the
// drive and the runtime, on the instrument's volume.

#include "host_contract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <map>
#include <set>

#include "fake/error_of.h"
#include "fake/fake_host.h"

namespace velno::host_test {
namespace {

using platform::kAttrHidden;
using platform::kAttrReadOnly;
using platform::kAttrSystem;

// Part of the system's message on each host: on Windows the error code's
// last two hex digits, the same under Wine.
#ifdef _WIN32
#define ON_HOST(linux_text, windows_code) "error 0x000000" windows_code
#else
#define ON_HOST(linux_text, windows_code) linux_text
#endif

class HostContract : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why_not;
        rig_ = MakeHostRig(why_not);
        if (!rig_) {
            GTEST_SKIP() << why_not;
        }
        fs_ = rig_->Host().CreateFileSystemObject("Scripting.FileSystemObject");
    }
    std::string Drive(const std::string& rest = "") const { return rig_->Drive() + rest; }
    std::string App(const std::string& rest = "") const { return rig_->App() + rest; }
    platform::Runtime& Runtime() { return rig_->Host().GetRuntime(); }
    // The entries one a line: "a/b/" for a folder, "a/b=content@time" for a file.
    std::string Snapshot(const std::string& folder) {
        std::string text;
        for (const auto& [path, entry] : rig_->Entries(folder)) {
            text += path + (path.ends_with("/") ? "" : "=" + entry) + "\n";
        }
        return text;
    }

    std::unique_ptr<HostRig> rig_;
    std::unique_ptr<platform::FileSystemObject> fs_;
};

TEST_F(HostContract, NamesAreFoundIgnoringCaseByKindAndNeverAboveTheRoot) {
    rig_->Write(Drive("\\System\\Init\\StartUp.INI"), "x", 1'600'000'000);
    const std::string name = fs_->GetFileName(Drive());
    // What the path names: a file, a folder or nothing.
    const std::pair<std::string, char> cases[] = {
        {"\\system\\init\\startup.ini", 'f'},
        {"\\SYSTEM/INIT", 'd'},
        // Trailing blanks and dots are dropped from each name, as Windows does.
        {"\\system. \\init \\startup.ini. ", 'f'},
        {"\\system\\init\\startup.ini\\x", '-'},
        {"\\nothing\\startup.ini", '-'},
        // ".." never climbs above the drive's root.
        {"\\..\\..\\..\\..\\" + name + "\\system\\..\\SYSTEM\\init", 'd'},
    };
    for (const auto& [path, kind] : cases) {
        EXPECT_EQ(fs_->FileExists(Drive(path)), kind == 'f') << path.substr(0, 80);
        EXPECT_EQ(fs_->FolderExists(Drive(path)), kind == 'd') << path.substr(0, 80);
    }
    EXPECT_FALSE(fs_->FileExists(Drive("\\" + std::string(65536, 'a'))));  // a 64 KiB list line
    // New names go into the existing folder of other case, below the root.
    fs_->CreateFolder(Drive("\\SYSTEM\\OldRel"));
    fs_->CreateFolder(Drive("\\..\\..\\..\\" + name + "\\made"));
    EXPECT_EQ(
        Snapshot(Drive()),
        "System/\nSystem/Init/\nSystem/Init/StartUp.INI=x@1600000000\nSystem/OldRel/\nmade/\n");
    EXPECT_EQ(fs_->GetFolder(Drive("\\system\\oldrel"))->Path(),
              rig_->FolderPath(Drive("\\system\\oldrel"), Drive("\\System\\OldRel")));
}

TEST_F(HostContract, RefusalsNameTheirOperationAndPathsAndChangeNothing) {
    // Times a FAT volume holds too: even seconds after 1980.
    rig_->Write(Drive("\\ro.bin"), "old", 1'600'000'000);
    Runtime().SetAttributes(Drive("\\ro.bin"), kAttrReadOnly);
    rig_->Write(Drive("\\Veln4a.mem"), "new", 1'600'000'002);
    rig_->Write(Drive("\\OldRel\\VELN4A.MEM"), "saved", 1'600'000'004);
    rig_->MakeFolder(Drive("\\folder"));
    const std::string before = Snapshot(Drive());
    using Paths = std::vector<std::string>;
    const std::map<std::string, std::function<void(const Paths&)>> calls = {
        {"CreateFolder", [&](auto& p) { fs_->CreateFolder(p[0]); }},
        {"DeleteFile", [&](auto& p) { fs_->DeleteFile(p[0], !p[0].ends_with(".BIN")); }},
        {"RemoveFile", [&](auto& p) { Runtime().RemoveFile(p[0]); }},
        {"MoveFile", [&](auto& p) { fs_->MoveFile(p[0], p[1]); }},
        {"SetAttributes", [&](auto& p) { Runtime().SetAttributes(p[0], 0); }},
        {"GetAttributes", [&](auto& p) { Runtime().GetAttributes(p[0]); }},
        {"GetFile", [&](auto& p) { fs_->GetFile(p[0]); }},
        {"GetFolder", [&](auto& p) { fs_->GetFolder(p[0]); }},
        {"OpenTextInput", [&](auto& p) { Runtime().OpenTextInput(p[0]); }},
        {"ReadLine", [&](auto&) { Runtime().ReadLine(); }}};
    // The operation, its paths below the scratch folder, part of the system's message.
    const std::tuple<const char*, Paths, const char*> refused[] = {
        {"CreateFolder", {"\\a\\b"}, ON_HOST("No such file", "03")},
        {"CreateFolder", {"\\FOLDER"}, ON_HOST("File exists", "B7")},
        {"DeleteFile", {"\\RO.BIN"}, ON_HOST("Permission denied", "05")},  // without force
        {"DeleteFile", {"\\none.bin"}, ON_HOST("No such file", "02")},
        {"DeleteFile", {"\\folder"}, ON_HOST("Is a directory", "02")},
        {"RemoveFile", {"\\folder"}, ON_HOST("Is a directory", "02")},
        {"RemoveFile", {"\\none"}, ON_HOST("No such file", "02")},
        {"MoveFile", {"\\Veln4a.mem", "\\OldRel\\Veln4a.mem"}, ON_HOST("File exists", "B7")},
        {"MoveFile", {"\\none.mem", "\\x.mem"}, ON_HOST("No such file", "02")},
        {"MoveFile", {"\\Veln4a.mem", "\\no\\x.mem"}, ON_HOST("No such file", "03")},
        {"SetAttributes", {"\\none"}, ON_HOST("No such file", "02")},
        {"GetAttributes", {"\\none"}, ON_HOST("No such file", "02")},
        {"GetFile", {"\\none.txt"}, ON_HOST("No such file", "02")},
        {"GetFile", {"\\folder"}, ON_HOST("Is a directory", "02")},
        {"GetFolder", {"\\ro.bin"}, ON_HOST("Not a directory", "03")},
        {"OpenTextInput", {"\\none.txt"}, ON_HOST("No such file", "02")},
        {"OpenTextInput", {"\\folder"}, ON_HOST("Is a directory", "05")},
        // A NUL would cut the path short.
        {"OpenTextInput", {std::string("\\ro.bin\0x", 9)}, ON_HOST("Invalid argument", "7B")},
        {"ReadLine", {}, "No file is open"},
    };
    for (auto [operation, paths, message] : refused) {
        for (std::string& path : paths) path = Drive(path);
        const auto error = velno::testing::ErrorOf([&] { calls.at(operation)(paths); });
        EXPECT_EQ(error.Operation(), operation);
        EXPECT_EQ(error.Paths(), paths) << operation;
        EXPECT_NE(error.SystemMessage().find(message), std::string::npos) << error.what();
    }
    EXPECT_EQ(Snapshot(Drive()), before);
    EXPECT_EQ(Runtime().GetAttributes(Drive("\\ro.bin")), kAttrReadOnly);

    fs_->DeleteFile(Drive("\\RO.BIN"), true);
    fs_->MoveFile(Drive("\\veln4A.MEM"), Drive("\\oldrel\\Veln4b.mem"));
    rig_->Write(Drive("\\ro.ini"), "r");
    Runtime().SetAttributes(Drive("\\ro.ini"), kAttrReadOnly);
    Runtime().RemoveFile(Drive("\\ro.ini"));  // read-only or not
    EXPECT_EQ(Snapshot(Drive()),
              "OldRel/\nOldRel/VELN4A.MEM=saved@1600000004\nOldRel/Veln4b.mem=new@1600000002\n"
              "folder/\n");
}

TEST_F(HostContract, AttributesAreTheOnesTheVolumeHolds) {
    rig_->Write(Drive("\\file.bin"), "x");
    rig_->MakeFolder(Drive("\\system"));
    const unsigned held = rig_->HeldAttributes();
    for (const unsigned bits : {kAttrReadOnly | kAttrHidden, kAttrHidden | kAttrSystem, 0u,
                                kAttrSystem | kAttrReadOnly}) {
        // A read-only folder means something else on Linux.
        for (const auto& [path, set] :
             {std::pair{"\\file.bin", bits}, {"\\system", bits & ~kAttrReadOnly}}) {
            Runtime().SetAttributes(Drive(path), set);
            EXPECT_EQ(Runtime().GetAttributes(Drive(path)), set & held) << path << set;
            EXPECT_EQ(rig_->Attributes(Drive(path)), set & held) << path << set;
        }
    }
}

TEST_F(HostContract, MatchesAreOrdinaryFilesInAnyCaseAndSurviveMovingThemAway) {
    for (const char* name :
         {"Veln4a.mem", "VELN4B.MEM", "veln4.mem", "Veln4hid.mem", "Veln4sys.mem", "Veln4x.mem.bak",
          "Veln4x.memo", "x.mem", "xVeln4.mem"}) {
        rig_->Write(Drive("\\") + name, name);
    }
    Runtime().SetAttributes(Drive("\\Veln4hid.mem"), kAttrHidden);
    Runtime().SetAttributes(Drive("\\Veln4sys.mem"), kAttrSystem);
    rig_->MakeFolder(Drive("\\Veln4dir.mem"));
    rig_->MakeFolder(Drive("\\OldRel"));
    // Hidden and system files are no matches where the volume holds the bit.
    std::set<std::string> expected = {"Veln4a.mem", "VELN4B.MEM", "veln4.mem"};
    for (const char* name : {"Veln4hid.mem", "Veln4sys.mem"}) {
        if (Runtime().GetAttributes(Drive("\\") + name) == 0) {
            expected.insert(name);
        }
    }
    std::set<std::string> moved;
    for (std::string name = Runtime().FirstMatch(Drive("\\Veln4*.mem")); !name.empty();
         name = Runtime().NextMatch()) {
        fs_->MoveFile(Drive("\\" + name), Drive("\\OldRel\\" + name));
        moved.insert(name);
    }
    EXPECT_EQ(moved, expected);
    EXPECT_EQ(Runtime().NextMatch(), "");
    EXPECT_EQ(Runtime().FirstMatch(Drive("\\missing\\*.mem")), "");
    EXPECT_EQ(Runtime().FirstMatch(Drive("\\nothing*.x")), "");
}

TEST_F(HostContract, TextInputFileObjectsAndTimes) {
    // An odd second where the volume keeps it (FAT keeps even ones).
    const long long written = rig_->KeepsOddSeconds() ? 1'600'000'001 : 1'600'000'000;
    rig_->Write(App("\\mtmp\\Position.txt"), "\\a.bin\r\n-\\b.bin\rc", written);
    // Lines are split by the shared text input; the host opens and closes.
    Runtime().OpenTextInput(App("\\mtmp\\position.txt"));
    EXPECT_EQ(Runtime().ReadLine(), "\\a.bin");
    EXPECT_EQ(Runtime().ReadLine(), "-\\b.bin");
    Runtime().Rewind();
    EXPECT_EQ(Runtime().ReadLine(), "\\a.bin");
    Runtime().OpenTextInput(App("\\mtmp\\position.txt"));  // opened again: from the start
    EXPECT_EQ(Runtime().ReadLine(), "\\a.bin");
    Runtime().CloseAll();
    EXPECT_PLATFORM_ERROR(Runtime().AtEnd(), "AtEnd", "No file is open");

    const platform::DateTime kept{std::chrono::seconds(written)};
    EXPECT_EQ(Runtime().FileModifiedTime(App("\\MTMP\\position.txt")), kept);
    const auto file = fs_->GetFile(App("\\mtmp\\position.txt"));
    EXPECT_EQ(file->DateLastModified(), kept);
    EXPECT_EQ(file->Size(), 17u);
    rig_->Write(App("\\mtmp\\Position.txt"), "longer", written + 2);
    EXPECT_EQ(file->Size(), 6u);  // read when asked
    EXPECT_EQ(file->DateLastModified() - kept, std::chrono::seconds(2));
}

TEST_F(HostContract, TheDriveReportsItsVolumesRoomAndFlushes) {
    const auto drive = fake::DriveAt(rig_->Host(), rig_->DrivePath());
    ASSERT_TRUE(drive) << rig_->DrivePath();
    EXPECT_TRUE(drive->IsReady());
    EXPECT_EQ(drive->RootFolder().substr(0, rig_->DrivePath().size()), rig_->DrivePath());
    EXPECT_EQ(drive->RootFolder().size(), rig_->DrivePath().size() + 1);
    const platform::VolumeSpace space = drive->Space();
    EXPECT_EQ(space.total_bytes, std::filesystem::space(rig_->DrivePath() + "/").capacity);
    EXPECT_LE(space.free_bytes, space.total_bytes);
    EXPECT_TRUE(std::has_single_bit(space.cluster_bytes)) << space.cluster_bytes;
    EXPECT_TRUE(Runtime().FlushDrive(rig_->DrivePath()));
}

// Paths past Windows' 260 characters, names in UTF-8, and a name that
// Windows' plain file calls would take as the console.
TEST_F(HostContract, LongPathsNonAsciiNamesAndDeviceNamesWork) {
    std::string deep = Drive();
    for (int level = 0; level < 8; ++level) {
        deep += "\\" + std::string(40, static_cast<char>('a' + level));
        fs_->CreateFolder(deep);
    }
    ASSERT_GT(deep.size(), 300u);
    const std::string name = "\xC3\x9C-\xE6\x97\xA5\xE6\x9C\xAC.bin";  // UTF-8 of 2 and 3 bytes
    rig_->Write(Drive("\\") + name, "u");
    fs_->CopyFile(Drive("\\") + name, deep + "\\" + name, true, nullptr);
    fs_->CopyFile(Drive("\\") + name, Drive("\\CON"), true, nullptr);
    EXPECT_TRUE(fs_->FileExists(deep + "\\" + name));
    EXPECT_TRUE(fs_->FolderExists(rig_->DrivePath()));
    EXPECT_EQ(rig_->Entries(Drive()).at("CON"), rig_->Entries(Drive()).at(name));
    fs_->DeleteFile(Drive("\\CON"), true);
    EXPECT_FALSE(fs_->FileExists(Drive("\\CON")));
}

// A copy leaves either the complete, verified new file with the source's
// time or the old file as it was, and never a temporary file.
struct CopyCase {
    const char* name;
    const char* destination;   // below the scratch folder, whose "data\a.bin" is old
    std::size_t staged_bytes;  // kNoFile: there is none
    bool read_only;            // "data\a.bin"
    bool overwrite;
    Fault fault;
    const char* error;  // part of the failure's message; none when the copy succeeds
    int calls;          // of the callback, on success
};

void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }

using enum Fault;
constexpr std::size_t kChunk = platform::kCopyChunkBytes;
constexpr std::size_t kNoFile = static_cast<std::size_t>(-1);
constexpr CopyCase kCopyCases[] = {
    {"NewFile", "DATA\\new.bin", kChunk * 5 / 2, false, false, kNone, nullptr, 5},
    {"NewEmptyFile", "data\\new.bin", 0, false, false, kNone, nullptr, 0},
    {"ReplaceOlder", "data\\A.BIN", kChunk * 2, false, true, kNone, nullptr, 3},
    {"ReplaceReadOnly", "data\\a.bin", 100, true, true, kNone, nullptr, 1},
    {"NoOverwrite", "data\\a.bin", 100, false, false, kNone, ON_HOST("File exists", "50"), 0},
    {"FolderDestination", "data", 100, false, true, kNone, ON_HOST("Is a directory", "05"), 0},
    {"MissingFolder", "none\\a.bin", 100, false, true, kNone, ON_HOST("No such file", "03"), 0},
    {"MissingSource", "data\\a.bin", kNoFile, false, true, kNone, ON_HOST("No such file", "03"), 0},
    {"Interrupted", "data\\a.bin", kChunk * 5 / 2, false, true, kInterrupted, "", 0},
    {"ReadFailsMidCopy", "data\\a.bin", kChunk * 5 / 2, false, true, kReadFails,
     "Input/output error", 0},
    {"ReadBackDiffers", "data\\a.bin", kChunk * 5 / 2, true, true, kReadBackDiffers, "differs", 0},
    // One chunk: one call before the read-back, the others while the device stalls.
    {"DeviceStalls", "data\\a.bin", 100, false, true, kStalls, nullptr, 2},
    {"InterruptedWhileStalled", "data\\a.bin", 100, false, true, kStallInterrupted, "", 0},
};

class HostCopy : public HostContract, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(HostCopy, LeavesTheVerifiedCopyOrTheOldFile) {
    const CopyCase& c = GetParam();
    // Marked so that a misplaced chunk shows.
    std::string staged(c.staged_bytes == kNoFile ? 0 : c.staged_bytes, 's');
    for (std::size_t i = 0; i < staged.size(); i += 4093) {
        staged[i] = static_cast<char>('A' + i / 4093 % 26);
    }
    if (c.staged_bytes != kNoFile) {
        rig_->Write(App("\\mtmp\\a.bin"), staged, 1'700'000'001);  // odd seconds
    }
    rig_->Write(Drive("\\data\\a.bin"), "old", 1'600'000'000);
    if (c.read_only) {
        Runtime().SetAttributes(Drive("\\data\\a.bin"), kAttrReadOnly);
    }
    const std::string old = Snapshot(Drive());

    turns_taken = 0;
    const int interrupting_call =
        c.fault == kInterrupted ? 2 : (c.fault == kStallInterrupted ? 1 : 0);
    const auto callback = [&] {
        if (++turns_taken == interrupting_call) {
            throw platform::PlatformError("PumpEvents", {}, "");
        }
    };
    // A fault in the device's steps needs the rig's primitives, and a worker
    // of this test's own.
    const bool faulty_steps = c.fault != kNone && c.fault != kInterrupted;
    platform::CopyWorker worker;
    const auto copy = [&](Fault fault, const std::string& from, const std::string& to,
                          bool overwrite, const platform::ChunkCallback& between_chunks) {
        if (!faulty_steps) {
            return fs_->CopyFile(from, to, overwrite, between_chunks);
        }
        platform::CopyVerified(*rig_->FaultyCopy(fault, from, to), overwrite, between_chunks,
                               worker);
    };
    const std::string source = App("\\mtmp\\a.bin");
    const std::string destination = Drive("\\").append(c.destination);
    std::string exact = c.destination;  // the names on the drive are lower case
    std::transform(exact.begin(), exact.end(), exact.begin(),
                   [](char ch) { return static_cast<char>(std::tolower(ch)); });
    try {
        copy(c.fault, source, destination, c.overwrite, callback);
        EXPECT_EQ(c.error, nullptr) << "the copy did not fail";
        EXPECT_GE(turns_taken, c.calls);  // a slow flush adds turns
        // The staged file's content and time (every rig stages on a volume of
        // the drive's kind), the old file beside it, and no temporary file.
        const std::string copied = rig_->Entries(App("\\mtmp")).at("a.bin");
        std::map<std::string, std::string> expected = {{"a.bin", "old@1600000000"}};
        expected[exact.substr(5)] = copied;
        EXPECT_TRUE(rig_->Entries(Drive("\\data")) == expected) << copied.substr(staged.size());
        EXPECT_EQ(Runtime().GetAttributes(destination), 0U);
    } catch (const platform::PlatformError& error) {
        ASSERT_NE(c.error, nullptr) << error.what();
        EXPECT_NE(error.SystemMessage().find(c.error), std::string::npos) << error.what();
        if (error.Operation() == "CopyFile") {
            EXPECT_EQ(error.Paths(), (std::vector<std::string>{source, destination}));
        }
        EXPECT_EQ(Snapshot(Drive()), old);
    }
    // Whatever became of that copy, its worker copies again, past a leftover.
    rig_->Write(App("\\mtmp\\b.bin"), "again", 1'600'000'000);
    rig_->Write(Drive("\\data\\~velno-copy-0.tmp"), "left", 1'600'000'000);
    copy(kNone, App("\\mtmp\\b.bin"), Drive("\\data\\b.bin"), false, nullptr);
    EXPECT_EQ(rig_->Entries(Drive("\\data")).at("b.bin"), "again@1600000000");
    EXPECT_EQ(rig_->Entries(Drive("\\data")).at("~velno-copy-0.tmp"), "left@1600000000");
}

INSTANTIATE_TEST_SUITE_P(Cases, HostCopy, ::testing::ValuesIn(kCopyCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(RoundUpToEvenSecond, GivesTheFirstEvenWholeSecondNotBefore) {
    using namespace std::chrono_literals;
    using Case = std::pair<std::chrono::nanoseconds, std::chrono::seconds>;
    for (const auto& [time, rounded] : {Case{10s, 10s}, {11s, 12s}, {10s + 1ns, 12s}, {-3s, -2s}}) {
        EXPECT_EQ(platform::RoundUpToEvenSecond(platform::DateTime(time)),
                  platform::DateTime(rounded))
            << time.count();
    }
}

}  // namespace
}  // namespace velno::host_test
