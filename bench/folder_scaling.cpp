// Installs N new files into one folder through the Linux host, as the
// update does for each install entry (FileExists, FolderExists, CopyFile),
// for N = 100, 1,000 and 10,000, and prints the time per entry: it must stay
// flat (within 1.5 times that of the smallest list) however full the folder.
//
// Usage: velno_bench_folder_scaling [FOLDER] [RUNS]
// FOLDER (default /dev/shm) holds the work folders; the median of RUNS
// (default 5) runs is printed.

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"

namespace {

namespace linux_host = velno::platform::linux_host;

double SecondsForEntries(const std::string& base, int entries) {
    const std::string work = base + "/velno-scaling-" + std::to_string(entries);
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work + "/drive/styles");
    std::filesystem::create_directories(work + "/app/mtmp");
    std::ofstream(work + "/app/mtmp/style.sty") << std::string(1024, 's');
    struct stat drive_folder {};
    ::stat((work + "/drive").c_str(), &drive_folder);
    std::ofstream(work + "/mountinfo")
        << "60 1 " << major(drive_folder.st_dev) << ":" << minor(drive_folder.st_dev) << " / "
        << work << "/drive rw - tmpfs tmpfs rw\n";

    linux_host::LinuxPlatform host({.application_folder = work + "/app",
                                    .drive_sources = {.mountinfo_path = work + "/mountinfo"}});
    const auto fs = host.CreateFileSystemObject("Scripting.FileSystemObject");
    const std::string drive = fs->Drives()->Walk().at(0)->Path();
    const std::string staged = host.GetRuntime().ApplicationFolder() + "\\mtmp\\style.sty";

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < entries; ++i) {
        const std::string target = drive + "\\STYLES\\Style" + std::to_string(i) + ".sty";
        if (!fs->FolderExists(drive + "\\STYLES")) {
            fs->CreateFolder(drive + "\\STYLES");
        }
        if (!fs->FileExists(target)) {
            fs->CopyFile(staged, target, true, {});
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::filesystem::remove_all(work);
    return elapsed.count();
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string base = argc > 1 ? argv[1] : "/dev/shm";
    const int runs = argc > 2 ? std::stoi(argv[2]) : 5;
    double smallest_per_entry = 0;
    std::printf("%8s %12s %16s %8s\n", "entries", "median s", "per entry us", "ratio");
    for (const int entries : {100, 1000, 10000}) {
        std::vector<double> seconds;
        for (int run = 0; run < runs; ++run) {
            seconds.push_back(SecondsForEntries(base, entries));
        }
        std::sort(seconds.begin(), seconds.end());
        const double median = seconds[seconds.size() / 2];
        const double per_entry = median / entries * 1e6;
        if (smallest_per_entry == 0) {
            smallest_per_entry = per_entry;
        }
        std::printf("%8d %12.3f %16.1f %8.2f\n", entries, median, per_entry,
                    per_entry / smallest_per_entry);
    }
    return 0;
}
