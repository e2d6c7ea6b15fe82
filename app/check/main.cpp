// velno-check: tells the author of an update package what its position list
// would do on an instrument, read with the updater's own rules and the Linux
// host's own file lookups, without touching any instrument.
//
// Usage: velno-check PACKAGE-FOLDER   (the folder that holds mtmp/)
//        velno-check --help
// Exit status: 0 when all is well, 1 when the updater would show a "not
// found" message, 2 when the package cannot be read.

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string_view>

#include "app/check/report.h"
#include "platform/linux/linux_file_system.h"
#include "platform/linux/linux_runtime.h"
#include "update/package_check.h"

namespace linux_host = velno::platform::linux_host;

constexpr const char* kUsage =
    "usage: velno-check PACKAGE-FOLDER\n"
    "Tells what the update in PACKAGE-FOLDER/mtmp would do on an instrument, read as the\n"
    "updater reads its position.txt, without touching any instrument.\n"
    "Exit status: 0 all is well, 1 the updater would show a \"not found\" message,\n"
    "2 the package cannot be read.\n";

int main(int argc, char* argv[]) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc != 2) {
        std::cerr << kUsage;
        return 2;
    }
    std::string folder = std::filesystem::absolute(argv[1]).lexically_normal().string();
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    try {
        const auto roots = std::make_shared<linux_host::PathRoots>();
        linux_host::LinuxRuntime runtime(roots, folder);
        linux_host::LinuxFileSystemObject fs({}, roots);
        const std::string staging = runtime.ApplicationFolder() + "\\mtmp\\";
        std::string bytes;
        if (fs.FileExists(staging + "position.txt")) {
            std::ifstream list(roots->Resolve("ReadBytes", staging + "position.txt"),
                               std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(list), {});
        }
        const auto size_of = [&](const std::string& path) {
            return std::filesystem::file_size(roots->Resolve("FileSize", path));
        };
        const velno::update::PackageCheck check =
            velno::update::CheckPackage(runtime, fs, staging, size_of, bytes);
        std::cout << "package " << folder << "\n";
        velno::check::PrintPackageCheck(check, std::cout);
        return check.NotFound() ? 1 : 0;
    } catch (const std::exception& error) {
        std::cerr << "velno-check: " << error.what() << "\n";
        return 2;
    }
}
