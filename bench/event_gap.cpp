// How long the window would wait for its event loop: copies one staged file
// of the given size onto a mounted volume through the Linux host, as an
// update does, then flushes the drive, and prints the longest time between
// two turns of the event loop. The loop turns where the logic pumps events:
// between chunks of the copy, once after the copy (the next entry), and
// after the drive's flush (the completion screen).
//
// Usage: velno_bench_event_gap MOUNT_POINT STAGING_FOLDER MIB

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MOUNT_POINT STAGING_FOLDER MIB\n", argv[0]);
        return 2;
    }
    const std::string mount_point = argv[1];
    const std::string staging = argv[2];
    const std::size_t mib = std::strtoul(argv[3], nullptr, 10);
    {
        std::ofstream staged(staging + "/big.bin", std::ios::binary);
        std::string block(std::size_t{1} << 20, '\0');
        for (std::size_t m = 0; m < mib; ++m) {
            for (std::size_t i = 0; i < block.size(); ++i) {
                block[i] = static_cast<char>(((m << 20) + i) * 2654435761U >> 13);
            }
            staged << block;
        }
    }

    velno::platform::linux_host::LinuxPlatform host(
        {.application_folder = staging, .drive_sources = {}});
    auto fs = host.CreateFileSystemObject("Scripting.FileSystemObject");
    std::string drive;
    for (const auto& candidate : fs->Drives()->Walk()) {
        if (candidate->Path() == mount_point) {
            drive = candidate->Path();
        }
    }
    if (drive.empty()) {
        std::fprintf(stderr, "%s is not a mount point\n", mount_point.c_str());
        return 1;
    }
    velno::platform::Runtime& runtime = host.GetRuntime();

    std::vector<Clock::duration> copy_gaps;
    Clock::time_point last = Clock::now();
    const auto turn = [&] {
        const Clock::time_point now = Clock::now();
        copy_gaps.push_back(now - last);
        last = now;
    };
    const Clock::time_point start = last;
    fs->CopyFile(runtime.ApplicationFolder() + "\\big.bin", drive + "\\big.bin", true, turn);
    turn();
    const Clock::time_point copied = last;
    runtime.FlushDrive(drive);
    const Clock::duration flush = Clock::now() - copied;

    std::vector<Clock::duration> sorted = copy_gaps;
    std::sort(sorted.begin(), sorted.end());
    const auto longest = std::max_element(copy_gaps.begin(), copy_gaps.end());
    std::printf("%zu MiB onto %s: copy %.0f ms, %zu turns of the event loop\n", mib,
                mount_point.c_str(), Milliseconds(copied - start), copy_gaps.size());
    std::printf("gap during the copy: median %.1f ms, longest %.1f ms (before turn %td)\n",
                Milliseconds(sorted[sorted.size() / 2]), Milliseconds(sorted.back()),
                longest - copy_gaps.begin() + 1);
    const auto over = std::count_if(copy_gaps.begin(), copy_gaps.end(),
                                    [](auto gap) { return gap > std::chrono::milliseconds(100); });
    std::printf("gaps over 100 ms: %td, 99.9th percentile %.1f ms\n", over,
                Milliseconds(sorted[sorted.size() * 999 / 1000]));
    std::printf("turns after a gap over 100 ms:");
    for (std::size_t i = 0; i < copy_gaps.size(); ++i) {
        if (copy_gaps[i] > std::chrono::milliseconds(100)) {
            std::printf(" %zu", i + 1);
        }
    }
    std::printf("\n");
    std::printf("gap of the drive's flush: %.1f ms\n", Milliseconds(flush));
    std::printf("longest gap: %.1f ms\n", Milliseconds(std::max(sorted.back(), flush)));
    return 0;
}
