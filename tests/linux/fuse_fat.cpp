#include "fuse_fat.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/linux/mountinfo.h"
#include "test_support.h"

namespace velno::linux_test {

namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

void Run(const std::string& command) {
    if (Shell(command + " >/dev/null 2>&1") != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

bool IsMounted(const std::string& mount_point) {
    for (const auto& mount : platform::linux_host::ReadMountInfo("/proc/self/mountinfo")) {
        if (mount.mount_point == mount_point) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string FuseFatUnavailable() {
    if (::geteuid() != 0) {
        return "FUSE volumes need root";
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        return "/dev/fuse is not available";
    }
    for (const char* program :
         {"fusefat", "mkfs.fat", "fsck.fat", "mdir", "mcopy", "mmd", "mtype"}) {
        if (!HaveProgram(program)) {
            return std::string(program) + " is not installed";
        }
    }
    return {};
}

bool UsePrivateMountNamespace() {
    static const bool done = ::unshare(CLONE_NEWNS) == 0 &&
                             ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return done;
}

bool HideOtherInstruments(platform::Platform& host) {
    const bool private_view = UsePrivateMountNamespace();
    for (const auto& drive :
         host.CreateFileSystemObject("Scripting.FileSystemObject")->Drives()->Walk()) {
        if (drive->IsReady() && drive->VolumeName() == "VELNO" &&
            (!private_view || ::umount2(drive->Path().c_str(), MNT_DETACH) != 0)) {
            return false;
        }
    }
    return true;
}

FuseFatVolume::FuseFatVolume(const std::string& folder, const std::string& label,
                             const std::string& volume_id)
    : image_(folder + "/velno.img"), mount_point_(folder + "/mnt") {
    std::filesystem::create_directories(mount_point_);
    Run("mkfs.fat -C -F 32 -n " + label + " -i " + volume_id + " " + Quoted(image_) + " 40000");
}

std::string FuseFatVolume::Mtools(const std::string& command) const {
    return "MTOOLS_SKIP_CHECK=1 " + command + " -i " + Quoted(image_) + " ";
}

void FuseFatVolume::MakeFolder(const std::string& path) const { Run(Mtools("mmd") + Quoted(path)); }

void FuseFatVolume::Put(const std::string& local_file, const std::string& path) const {
    Run(Mtools("mcopy -m") + Quoted(local_file) + " " + Quoted(path));
}

void FuseFatVolume::PutInstrument(const fault_test::Seed& seed) const {
    for (const std::string& folder : seed.folders) {
        MakeFolder("::/" + folder);
    }
    const std::string local = image_ + ".put";
    for (const auto& file : seed.instrument) {
        WriteFile(local, file.content, {file.seconds, 0});
        Put(local, "::/" + file.path);
    }
    std::filesystem::remove(local);
}

std::string FuseFatVolume::Listing() const {
    return Output(Mtools("mdir -/ -b") + ":: | LC_ALL=C sort");
}

bool FuseFatVolume::Consistent() const {
    return Shell("fsck.fat -n " + Quoted(image_) + " >/dev/null 2>&1") == 0;
}

bool FuseFatVolume::Mount() {
    std::filesystem::create_directories(mount_point_);
    daemon_ = ::fork();
    if (daemon_ == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        const std::string options = "rw+,fsname=" + image_;
        ::execlp("fusefat", "fusefat", "-f", "-o", options.c_str(), image_.c_str(),
                 mount_point_.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int attempt = 0; attempt < 400; ++attempt) {
        if (IsMounted(mount_point_)) {
            return true;
        }
        if (::waitpid(daemon_, nullptr, WNOHANG) == daemon_) {
            daemon_ = -1;  // fusefat gave up
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

void FuseFatVolume::Unmount() {
    if (daemon_ <= 0) {
        return;
    }
    if (::umount2(mount_point_.c_str(), 0) != 0) {
        ::umount2(mount_point_.c_str(), MNT_DETACH);
        ::kill(daemon_, SIGTERM);
    }
    ::waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
}

void FuseFatVolume::Vanish() {
    ::umount2(mount_point_.c_str(), MNT_DETACH);
    ::waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
    std::filesystem::remove(mount_point_);
}

}  // namespace velno::linux_test
