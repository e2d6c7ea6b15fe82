// Peak memory of a position list of 1,000,000 entries checked for room and
// applied by the update logic on the Linux host, in a temporary folder
// whose file system reports its room: the check reads the list twice (its
// bound does not fit, so it works out the exact figure) and the run counts
// and applies it, each a pass over the whole file; the list must never be
// held whole. Prints the list's size, the peak resident memory (VmHWM)
// before and after the check and the passes, and their time.
//
// Usage: velno_bench_position_list [ENTRIES]

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/linux_platform.h"
#include "update/update.h"

namespace {

using namespace velno;

// Peak resident memory of this process so far, in MiB.
double PeakMib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
        }
    }
    return -1;
}

class QuietUser : public platform::UserServices {
public:
    platform::Answer ShowMessage(const std::string&, platform::Buttons, platform::Icon) override {
        ++messages;
        return platform::Answer::kOk;
    }
    void PumpEvents() override {}
    long messages = 0;
};

class NoWindow : public update::WindowControls {
public:
    void SetVisible(update::Control, bool) override {}
    void SetEnabled(update::Control, bool) override {}
    void SetProgressValue(float value) override { last_value = value; }
    float ProgressMax() override { return 100; }
    float last_value = -1;
};

}  // namespace

int main(int argc, char** argv) {
    const long entries = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1'000'000;
    char pattern[] = "/tmp/velno-list-bench.XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path work = pattern;
    std::filesystem::create_directories(work / "drive");
    std::filesystem::create_directories(work / "app/mtmp");
    struct stat drive_folder {};
    ::stat((work / "drive").c_str(), &drive_folder);
    std::ofstream(work / "mountinfo")
        << "60 1 " << major(drive_folder.st_dev) << ":" << minor(drive_folder.st_dev) << " / "
        << (work / "drive").string() << " rw - tmpfs tmpfs rw\n";
    {
        // Delete entries of files in a folder that is not there, and every
        // tenth line an install entry of a file that is up to date: each
        // entry is read, classified and looked up, and nothing else happens. The staged
        // file is a sparse gigabyte, so the staged files never fit as new
        // files and the check looks at the instrument.
        std::ofstream list(work / "app/mtmp/position.txt", std::ios::binary);
        for (long i = 0; i < entries; ++i) {
            if (i % 10 == 9) {
                list << "\\big.bin\r\n";
            } else {
                list << "-\\system\\data\\old" << i << ".bin\r\n";
            }
        }
    }
    std::ofstream(work / "app/mtmp/big.bin").close();
    std::filesystem::resize_file(work / "app/mtmp/big.bin", std::uintmax_t{1} << 30);
    std::ofstream(work / "drive/big.bin").close();
    std::filesystem::last_write_time(
        work / "drive/big.bin",
        std::filesystem::last_write_time(work / "app/mtmp/big.bin") + std::chrono::hours(1));
    const auto list_bytes = std::filesystem::file_size(work / "app/mtmp/position.txt");

    platform::linux_host::LinuxPlatform host(
        {.application_folder = (work / "app").string(),
         .drive_sources = {.mountinfo_path = (work / "mountinfo").string()}});
    update::InstrumentDrive instrument;
    instrument.file_system = host.CreateFileSystemObject("Scripting.FileSystemObject");
    instrument.drive_list = instrument.file_system->Drives();
    instrument.drive = instrument.drive_list->Walk().at(0);
    instrument.drive_path = instrument.drive->Path();
    update::UpdatePaths paths;
    paths.staging_folder = host.GetRuntime().ApplicationFolder() + "\\mtmp\\";
    paths.position_file = paths.staging_folder + "position.txt";
    QuietUser user;
    NoWindow window;
    update::UpdateContext context{host.GetRuntime(), user, window, instrument, paths};

    const double before = PeakMib();
    const auto start = std::chrono::steady_clock::now();
    update::CheckFreeSpace(context);
    const std::chrono::duration<double> checked = std::chrono::steady_clock::now() - start;
    const double after_check = PeakMib();
    update::ApplyPositionList(context);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start - checked;
    const double after = PeakMib();
    host.GetRuntime().CloseAll();
    std::filesystem::remove_all(work);

    std::printf("position list: %ld entries, %.1f MiB\n", entries,
                static_cast<double>(list_bytes) / (1024.0 * 1024.0));
    std::printf("room checked (both passes) in %.1f s, %ld messages\n", checked.count(),
                user.messages);
    std::printf("counted and applied in %.1f s; last progress value %.0f\n", took.count(),
                window.last_value);
    std::printf(
        "peak memory: %.1f MiB before, %.1f MiB after the check (+%.2f MiB), %.1f MiB after "
        "the passes (+%.2f MiB)\n",
        before, after_check, after_check - before, after, after - before);
    return 0;
}
