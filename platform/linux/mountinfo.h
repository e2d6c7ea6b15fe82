#pragma once

// The mounted volumes of the process, as the kernel lists them in
// /proc/self/mountinfo, in mount order.

#include <string>
#include <string_view>
#include <vector>

namespace velno::platform::linux_host {

struct MountEntry {
    unsigned major = 0;  // of the st_dev of files on the mount; 0 for
    unsigned minor = 0;  // pseudo, network and FUSE file systems
    std::string mount_point;
    std::string file_system;  // the kernel's name: "vfat", "ext4", "fuse"...
    std::string source;       // "/dev/sdb1", an image file, "server:/export"...
};

// Parses the text of a mountinfo file. Lines that do not have the kernel's
// layout are skipped. Octal escapes such as "\040" (a blank) are decoded.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// Reads and parses the file; throws PlatformError when it cannot be read.
std::vector<MountEntry> ReadMountInfo(const std::string& path);

}  // namespace velno::platform::linux_host
