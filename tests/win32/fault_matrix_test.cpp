// The fault matrix through the Win32 host under Wine, on drive E: of the
// prepared prefix, small enough to fill when the runner gives it a volume of
// its own. It owns E:'s root while it runs, so CTest runs it alone.

#include "fault/fault_matrix.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/win32/text_conversion.h"
#include "test_folder.h"

namespace velno::win32::testing {
namespace {

using fault_test::Fault;

constexpr const char* kFiller = "E:\\filler.bin";

// The Unix folder behind drive E: (scripts/win32/wine-env.sh), seen through
// Wine's drive Z:; empty outside Wine.
std::string DriveFolder() {
    wchar_t prefix[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, 1024);
    return length == 0 || length >= 1024
               ? ""
               : "Z:" + platform::win32::WideToUtf8(prefix) + "/velno-drives/e";
}

std::string TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return platform::win32::WideToUtf8(temp) + "velno-faults";
}

class WineRig : public Win32Rig<fault_test::Rig> {
public:
    WineRig() : Win32Rig("E:", TempFolder()) {}
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
    EXPECT_GT(fault_test::RunFaultMatrix(rig, "Windows (Wine)").run, 0);
}

}  // namespace
}  // namespace velno::win32::testing
