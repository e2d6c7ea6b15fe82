// What verifying a copy costs: copies a file of the given size into a folder
// several times through the Linux host's copy engine, and prints how long
// the read-back and its hash took against the rest of the copy.
//
// Usage: velno_bench_copy FOLDER MIB RUNS

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/linux/copy_file.h"

namespace {

using Clock = std::chrono::steady_clock;
using velno::platform::linux_host::CopyPaths;
using velno::platform::linux_host::LinuxCopySteps;

// The primitives with a stopwatch on the verification: from opening the
// read-back to the replace that follows the comparison.
class TimedSteps : public LinuxCopySteps {
public:
    using LinuxCopySteps::LinuxCopySteps;
    void OpenReadBack() override {
        started_ = Clock::now();
        LinuxCopySteps::OpenReadBack();
    }
    void ReplaceDestination(bool read_only) override {
        verifying_ = Clock::now() - started_;
        LinuxCopySteps::ReplaceDestination(read_only);
    }
    Clock::duration verifying() const { return verifying_; }

private:
    Clock::time_point started_;
    Clock::duration verifying_{};
};

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FOLDER MIB RUNS\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const std::size_t bytes = std::strtoul(argv[2], nullptr, 10) << 20;
    const int runs = std::atoi(argv[3]);
    const std::string source = folder + "/staged.bin";
    Clock::duration hashing{};
    {
        std::string content(bytes, '\0');
        for (std::size_t i = 0; i < content.size(); ++i) {
            content[i] = static_cast<char>((i * 2654435761U) >> 13);
        }
        std::ofstream(source, std::ios::binary) << content;

        // Hashing the written bytes is part of the verification too.
        const auto start = Clock::now();
        velno::platform::WrittenBytes hash;
        hash.Add(content);
        hashing = Clock::now() - start;
    }

    Clock::duration total{};
    Clock::duration verifying{};
    for (int run = 0; run < runs; ++run) {
        const std::string destination = folder + "/copy" + std::to_string(run % 2) + ".bin";
        TimedSteps steps(CopyPaths{source, destination, source, destination});
        const auto start = Clock::now();
        velno::platform::CopyVerified(steps, true, [] {});
        total += Clock::now() - start;
        verifying += steps.verifying();
    }
    // An unverified copy would neither read back nor hash what it writes.
    const double verification = Milliseconds(verifying) / runs + Milliseconds(hashing);
    const double unverified = Milliseconds(total) / runs - verification;
    std::printf(
        "%s: %zu MiB, %d copies: %.1f ms each, of which read-back %.1f ms and hash of "
        "the written bytes %.1f ms; verification costs +%.1f %%\n",
        folder.c_str(), bytes >> 20, runs, Milliseconds(total) / runs,
        Milliseconds(verifying) / runs, Milliseconds(hashing), 100.0 * verification / unverified);
    return 0;
}
