#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace velno::linux_test {

TempFolder::TempFolder(const std::string& parent) {
    std::string pattern =
        (parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent)) /
        "velno-linux-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Read-only folders made by a test must not stop the clean-up.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

// "content@seconds[.nanoseconds]", as Entries() describes a file.
static std::string Described(const std::string& file) {
    return host_test::Described(
        ReadFile(file), std::chrono::file_clock::to_sys(std::filesystem::last_write_time(file)));
}

std::map<std::string, std::string> Entries(const std::string& folder, bool attributes) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string path = entry.path().string();
        entries[path.substr(folder.size() + 1) + (entry.is_directory() ? "/" : "")] =
            (entry.is_directory() ? "" : Described(path)) +
            (attributes ? "#" + std::to_string(FatAttributes(path)) : "");
    }
    return entries;
}

std::map<std::string, std::string> ImageEntries(const std::string& image) {
    const std::string mtools = "MTOOLS_SKIP_CHECK=1 m", on = " -i '" + image + "' ";
    const TempFolder out;
    Shell(mtools + "copy" + on + "-s -m -n :: '" + out.path() + "' >/dev/null 2>&1");
    std::map<std::string, std::string> entries;
    std::istringstream listing(Output(mtools + "dir" + on + "-/ -b -a ::"));
    for (std::string line; std::getline(listing, line);) {
        const std::string path = line.substr(3), file = out / path;
        entries[path] = path.ends_with("/")             ? ""
                        : std::filesystem::exists(file) ? Described(file)
                                                        : "unreadable";
    }
    return entries;
}

bool OnFat(const std::string& path) {
    struct statfs volume {};
    return ::statfs(path.c_str(), &volume) == 0 && volume.f_type == MSDOS_SUPER_MAGIC;
}

unsigned FatAttributes(const std::string& path) {
    if (!OnFat(path)) {
        return (std::filesystem::status(path).permissions() &
                std::filesystem::perms::owner_write) == std::filesystem::perms::none;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::uint32_t bits = 0;
    EXPECT_EQ(fd < 0 ? -1 : ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &bits), 0) << path;
    ::close(fd);
    return bits & (ATTR_RO | ATTR_HIDDEN | ATTR_SYS);
}

void SetFatAttributes(const std::string& path, unsigned bits) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::uint32_t value = bits;
    EXPECT_EQ(fd < 0 ? -1 : ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &value), 0) << path;
    ::close(fd);
}

std::string DeviceNumbers(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Output(const std::string& command) {
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    return pipe ? ReadFile("/proc/self/fd/" + std::to_string(::fileno(pipe.get()))) : "";
}

bool HaveProgram(const std::string& name) {
    return Shell("command -v " + name + " >/dev/null 2>&1") == 0;
}

}  // namespace velno::linux_test
