// The Win32 host under Wine: the contract on the rig of test_folder.h, the
// fault matrix on that rig, and what only Windows has: native path forms, the
// drive list and removal.

#include <gtest/gtest.h>

#include <cstdio>

#include "fake/error_of.h"
#include "fake/fake_host.h"
#include "fault/fault_matrix.h"
#include "platform/win32/drives.h"
#include "platform/win32/native_path.h"
#include "test_folder.h"

namespace velno::platform::win32 {
namespace {

using namespace velno::win32::testing;
using fault_test::Fault;

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
    if (!RigDriveReady()) {
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
    if (!RigDriveReady()) {
        GTEST_SKIP() << "drive E: is not the rig's VELNO volume";
    }
    Win32Rig<> rig;
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

// The fault matrix's rig: drive E: of the prepared prefix, small enough to
// fill when the runner gives it a volume of its own. It owns E:'s root while
// it runs, so CTest runs it alone.
constexpr const char* kFiller = "E:\\filler.bin";

// The Unix folder behind drive E: (scripts/win32/wine-env.sh), seen through
// Wine's drive Z:; empty outside Wine.
std::string DriveFolder() {
    wchar_t prefix[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, 1024);
    return length == 0 || length >= 1024 ? "" : "Z:" + WideToUtf8(prefix) + "/velno-drives/e";
}

class WineRig : public Win32Rig<fault_test::Rig> {
public:
    WineRig() : Win32Rig("E:", "C:\\velno-faults") {}  // staged off the instrument
    ~WineRig() override { Detach(); }

    std::string Unsupported(Fault fault) override {
        ULARGE_INTEGER total{};
        if (fault == Fault::kFull && (!GetDiskFreeSpaceExW(L"E:\\", nullptr, &total, nullptr) ||
                                      total.QuadPart > 16 * 1024 * 1024)) {
            return "drive E: is not a small volume of its own: "
                   "scripts/win32/wine-run-small-drive.sh makes one as root";
        }
        return fault == Fault::kVanish && DriveFolder().empty()
                   ? "WINEPREFIX is not set: the drive's folder is unknown"
                   : "";
    }

    void Clear() override {
        Detach();
        RemoveTree("E:", kVolumeFile);
        RemoveTree(App());
    }

    // Wine's volume service has been seen to stop answering for a moment on a
    // busy machine ("Invalid function"): the drive is attached once it answers
    // again, as a plugged-in drive is once mounted; the wait shows in logs.
    void Attach() override {
        const ULONGLONG start = GetTickCount64();
        for (; !RigDriveReady(); Sleep(50)) {
            if (gave_up_ || GetTickCount64() - start > 20'000) {
                ADD_FAILURE() << "drive E: does not answer with its label (error " << GetLastError()
                              << ")";
                gave_up_ = true;
                return;
            }
        }
        if (GetTickCount64() - start > 100) {
            std::printf("drive E: answered again after %llu ms\n", GetTickCount64() - start);
        }
    }

    void Detach() override {
        if (vanished_) {
            EXPECT_TRUE(
                MoveFileW(Wide(DriveFolder() + "-gone").c_str(), Wide(DriveFolder()).c_str()));
            vanished_ = false;
        }
        DeleteFileW(Wide(kFiller).c_str());
    }

    // The drive's folder goes, and every path on E: is then not found; or a
    // filler takes all the room left.
    void Inject(Fault fault) override {
        if (fault == Fault::kVanish) {
            vanished_ =
                MoveFileW(Wide(DriveFolder()).c_str(), Wide(DriveFolder() + "-gone").c_str());
            EXPECT_TRUE(vanished_) << DriveFolder();
            return;
        }
        const HANDLE file = CreateFileW(Wide(kFiller).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const std::string block(64 * 1024, 'f');
        for (DWORD written = 1;
             written > 0 &&
             WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);) {
        }
        CloseHandle(file);
    }

    fault_test::Tree Instrument() override {
        fault_test::Tree tree = Entries("E:", true);
        tree.erase(kVolumeFile);
        return tree;
    }

private:
    bool vanished_ = false;
    bool gave_up_ = false;  // the drive stayed silent once: no more waiting
};

TEST(WineFaultMatrix, EveryOperationFailingVanishingOrFullIsSurvived) {
    if (!RigDriveReady()) {
        GTEST_SKIP() << "drive E: is not the rig's VELNO volume (scripts/win32/prepare-prefix.sh)";
    }
    WineRig rig;
    EXPECT_GT(fault_test::RunFaultMatrix(rig, "Windows (Wine)"), 0);
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
