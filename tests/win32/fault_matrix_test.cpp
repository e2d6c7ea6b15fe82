// The fault matrix through the Win32 host under Wine, on drive E: of the
// prepared prefix, small enough to fill when the runner gives it a volume of
// its own. It owns E:'s root while it runs, so CTest runs it alone.

#include "fault/fault_matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_platform.h"
#include "test_folder.h"

namespace velno::win32::testing {
namespace {

using fault_test::Fault;
using fault_test::Tree;

constexpr const char* kVolumeFile = ".velno-volume";
constexpr const char* kFiller = "E:\\filler.bin";

std::string Backslashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The Unix folder behind drive E: (scripts/win32/wine-env.sh), seen through
// Wine's drive Z:; empty outside Wine.
std::string DriveFolder() {
    wchar_t prefix[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, 1024);
    if (length == 0 || length >= 1024) {
        return {};
    }
    return "Z:" + Backslashed(platform::win32::WideToUtf8(prefix) + "/velno-drives/e");
}

std::string TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return platform::win32::WideToUtf8(temp) + "velno-faults";
}

class WineRig : public fault_test::Rig {
public:
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

    void Reset(const fault_test::Seed& seed) override {
        Detach();
        RemoveTree("E:", kVolumeFile);
        RemoveTree(app_);
        MakeFolders(app_);
        for (const std::string& folder : seed.folders) {
            MakeFolders("E:\\" + Backslashed(folder));
        }
        for (const auto& file : seed.instrument) {
            WriteBytes("E:\\" + Backslashed(file.path), file.content, file.seconds);
        }
        for (const auto& file : seed.staging) {
            WriteBytes(app_ + "\\" + Backslashed(file.path), file.content, file.seconds);
        }
    }

    // Wine answers for a drive's volume through a service of its own, which
    // has been seen to stop answering for a moment on a busy machine (every
    // call for the label then fails with "Invalid function"). The drive is
    // attached once it answers again, as a plugged-in drive is once the
    // system has mounted it; the wait is printed so that it shows in logs.
    void Attach() override {
        const auto start = std::chrono::steady_clock::now();
        while (!RigDriveReady()) {
            if (gave_up_ || std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
                ADD_FAILURE() << "drive E: does not answer with its label (error " << GetLastError()
                              << ")";
                gave_up_ = true;
                return;
            }
            Sleep(50);
        }
        if (const auto waited = std::chrono::steady_clock::now() - start;
            waited > std::chrono::milliseconds(100)) {
            std::printf("drive E: answered again after %lld ms\n",
                        static_cast<long long>(
                            std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()));
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
        if (fault == Fault::kFull) {
            const HANDLE file = CreateFileW(Wide(kFiller).c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            const std::string block(64 * 1024, 'f');
            DWORD written = 1;
            while (written > 0 && WriteFile(file, block.data(), static_cast<DWORD>(block.size()),
                                            &written, nullptr)) {
            }
            CloseHandle(file);
            return;
        }
        vanished_ = MoveFileW(Wide(DriveFolder()).c_str(), Wide(DriveFolder() + "-gone").c_str());
        EXPECT_TRUE(vanished_) << DriveFolder();
    }

    Tree Instrument() override {
        Tree tree = Entries("E:", true);
        tree.erase(kVolumeFile);
        return tree;
    }

    Tree Staging() override { return Entries(app_, true); }
    platform::Platform& Host() override { return host_; }
    std::string DrivePath() override { return "E:"; }
    std::string ApplicationFolder() override { return app_; }
    // Drive E: is a folder of the Linux machine, which keeps any time.
    bool KeepsOddSeconds() override { return true; }

private:
    platform::win32::Win32Platform host_;
    const std::string app_ = TempFolder();
    bool vanished_ = false;
    bool gave_up_ = false;  // the drive stayed silent once: no more waiting
};

TEST(WineFaultMatrix, EveryOperationFailingVanishingOrFullIsSurvived) {
    if (!RigDriveReady()) {
        GTEST_SKIP() << "drive E: is not the rig's VELNO volume (scripts/win32/prepare-prefix.sh)";
    }
    WineRig rig;
    const fault_test::Tally tally = fault_test::RunFaultMatrix(rig, "Windows (Wine)");
    rig.Reset({});
    RemoveTree(TempFolder());
    EXPECT_GT(tally.run, 0);
}

}  // namespace
}  // namespace velno::win32::testing
