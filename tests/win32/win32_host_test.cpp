// The Win32 host under Wine: the contract's rig on drive E:, whose files are
// listed and removed through the Win32 API itself (long paths, times finer
// than seconds), not the code under test; the fault matrix on that rig; and
// what only Windows has: native path forms, the drive list and removal. The
// rig's paths take "\" or "/" between names.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "fake/error_of.h"
#include "fake/fake_host.h"
#include "fault/fault_matrix.h"
#include "host_contract.h"
#include "platform/win32/copy_file.h"
#include "platform/win32/drives.h"
#include "platform/win32/file_info.h"
#include "platform/win32/native_path.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_platform.h"

namespace velno::platform::win32 {
namespace {

using fault_test::Fault;

// True when drive E: is the rig's instrument volume (label VELNO).
bool RigDriveReady() {
    wchar_t label[MAX_PATH + 1] = {};
    return GetVolumeInformationW(L"E:\\", label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                                 0) &&
           std::wstring(label) == L"VELNO";
}

// The path's extended-length form, "\\?\E:\...".
std::wstring Wide(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return L"\\\\?\\" + Utf8ToWide(path);
}

// Every entry below the folder: "a/b/" -> "" for a folder, "a/b" ->
// "content@seconds[.nanoseconds]" for a file, with "#" and the read-only,
// hidden and system bits after each where asked; `prefix` before each path.
std::map<std::string, std::string> Entries(const std::string& folder, bool attributes,
                                           const std::string& prefix = "") {
    std::map<std::string, std::string> entries;
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW((Wide(folder) + L"\\*").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &found)) {
        const std::string name = WideToUtf8(found.cFileName);
        const std::string path = folder + "\\" + name;
        const std::string bits =
            attributes ? std::string("#").append(std::to_string(found.dwFileAttributes & 7)) : "";
        if (name == "." || name == "..") {
            continue;
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entries[prefix + name + "/"] = bits;
            entries.merge(Entries(path, attributes, prefix + name + "/"));
        } else {
            entries[prefix + name] = host_test::Described(host_test::ReadFile(Wide(path)),
                                                          ToDateTime(found.ftLastWriteTime)) +
                                     bits;
        }
    }
    FindClose(find);
    return entries;
}

// Removes a folder and everything in it but the entry `except`, read-only
// entries included.
void RemoveTree(const std::string& folder, const std::string& except = "") {
    // Deepest first: a folder's entries sort after it, and "" (the folder itself) first.
    auto entries = Entries(folder, false);
    entries.erase(except);
    entries.emplace("", "");
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::string path = folder + "\\" + it->first;
        const bool is_folder = path.ends_with('/') || path.ends_with('\\');
        const std::wstring wide = Wide(path.substr(0, path.size() - (is_folder ? 1 : 0)));
        SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        is_folder ? RemoveDirectoryW(wide.c_str()) : DeleteFileW(wide.c_str());
    }
}

// The volume's boot sector, a hidden file in E:'s root (scripts/win32/wine-env.sh).
constexpr const char* kVolumeFile = ".velno-volume";

// The contract's rig: a scratch folder on drive E: and a folder for the
// application (by default one of its own beside it), emptied afterwards.
// Base: host_test::HostRig, or a rig interface built on it.
template <class Base = host_test::HostRig>
class Win32Rig : public Base {
public:
    explicit Win32Rig(std::string drive = std::string("E:\\velno-test-")
                                              .append(std::to_string(GetCurrentProcessId())),
                      std::string app = "")
        : drive_(drive), app_(app.empty() ? drive + "-app" : app) {
        MakeFolder(drive_ + "\\");  // "E:" alone is no folder to std::filesystem
        MakeFolder(app_);
    }
    ~Win32Rig() override {
        RemoveTree(drive_, kVolumeFile);
        RemoveTree(app_);
    }
    Platform& Host() override { return host_; }
    std::string DrivePath() override { return "E:"; }
    std::string Drive() override { return drive_; }
    std::string App() override { return app_; }
    void Write(const std::string& path, const std::string& bytes, long long seconds) override {
        host_test::WriteFile(Utf8ToWide(path), bytes, seconds);
    }
    void MakeFolder(const std::string& path) override {
        std::filesystem::create_directories(Utf8ToWide(path));
    }
    std::map<std::string, std::string> Entries(const std::string& folder,
                                               bool attributes) override {
        return win32::Entries(folder, attributes);
    }
    bool KeepsOddSeconds() override { return true; }  // E: is a folder of the Linux host
    std::string FolderPath(const std::string& asked, const std::string&) override { return asked; }
    unsigned HeldAttributes() override { return 7; }
    unsigned Attributes(const std::string& path) override {
        return GetFileAttributesW(Wide(path).c_str()) & 7;
    }
    std::unique_ptr<CopySteps> FaultyCopy(host_test::Fault fault, const std::string& source,
                                          const std::string& destination) override {
        return std::make_unique<host_test::FaultySteps<Win32CopySteps>>(fault, source, destination);
    }

private:
    Win32Platform host_;
    std::string drive_;
    std::string app_;
};

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
    if (!platform::win32::RigDriveReady()) {
        why_not = "drive E: is not the rig's VELNO volume (scripts/win32/prepare-prefix.sh)";
        return nullptr;
    }
    return std::make_unique<platform::win32::Win32Rig<>>();
}
}  // namespace velno::host_test
