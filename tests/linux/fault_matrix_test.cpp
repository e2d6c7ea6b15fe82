// The fault matrix through the Linux host, on a small tmpfs in a mount
// namespace of this process, bound onto the mount point while the program
// runs and listed in the rig's own mount table as a VELNO FAT32 volume (its
// label read from an image made with mkfs.fat). The drive vanishes as when a
// cable is pulled from an fstab mount: the mount goes, its folder stays.

#include "fault/fault_matrix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>

#include "platform/linux/linux_platform.h"
#include "test_support.h"

namespace velno::linux_test {
namespace {

using fault_test::Fault;
using fault_test::Tree;

class TmpfsRig : public fault_test::Rig {
public:
    TmpfsRig() {
        std::filesystem::create_directory(store_);
        std::filesystem::create_directory(mount_point_);
        EXPECT_EQ(Shell("mkfs.fat -C -F 32 -n VELNO -i 1A2B3C4D " + temp_ / "label.img" +
                        " 40000 >/dev/null"),
                  0);
    }
    ~TmpfsRig() override {
        Detach();
        ::umount2(store_.c_str(), MNT_DETACH);
    }

    std::string Unsupported(Fault) override { return {}; }

    void Reset(const fault_test::Seed& seed) override {
        Detach();
        ::umount2(store_.c_str(), MNT_DETACH);
        // Room for the update and not much more, so that it is quick to fill.
        EXPECT_EQ(::mount("tmpfs", store_.c_str(), "tmpfs", 0, "size=512k"), 0) << store_;
        for (const std::string& folder : seed.folders) {
            std::filesystem::create_directories(store_ + "/" + folder);
        }
        for (const auto& file : seed.instrument) {
            WriteFile(store_ + "/" + file.path, file.content, file.seconds);
        }
        std::filesystem::remove_all(temp_ / "app");
        for (const auto& file : seed.staging) {
            WriteFile(temp_ / ("app/" + file.path), file.content, file.seconds);
        }
        WriteFile(temp_ / "mountinfo", "50 1 " + DeviceNumbers(store_) + " / " + mount_point_ +
                                           " rw - vfat " + temp_ / "label.img" + " rw\n");
    }

    void Attach() override {
        std::filesystem::remove_all(mount_point_);  // what a run left there, reported by now
        std::filesystem::create_directories(mount_point_);
        EXPECT_EQ(::mount(store_.c_str(), mount_point_.c_str(), nullptr, MS_BIND, nullptr), 0);
    }

    void Detach() override {
        ::umount2(mount_point_.c_str(), MNT_DETACH);
        std::filesystem::remove(store_ + "/filler.bin");
    }

    void Inject(Fault fault) override {
        if (fault == Fault::kVanish) {
            ::umount2(mount_point_.c_str(), MNT_DETACH);
            return;
        }
        const int file = ::open((store_ + "/filler.bin").c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string block(4096, 'f');
        while (::write(file, block.data(), block.size()) > 0) {
        }
        ::close(file);
    }

    Tree Instrument() override {
        Tree tree = Entries(store_, true);
        for (const auto& [path, entry] : Entries(mount_point_, false)) {
            tree["(left in the mount point) " + path] = entry;
        }
        return tree;
    }
    Tree Staging() override { return Entries(temp_ / "app", false); }
    platform::Platform& Host() override { return host_; }
    std::string DrivePath() override { return mount_point_; }
    std::string ApplicationFolder() override { return {}; }
    bool KeepsOddSeconds() override { return true; }

private:
    TempFolder temp_;
    const std::string store_ = temp_ / "store";
    const std::string mount_point_ = temp_ / "VELNO";
    platform::linux_host::LinuxPlatform host_{
        {.application_folder = temp_ / "app",
         .drive_sources = {.mountinfo_path = temp_ / "mountinfo"}}};
};

TEST(LinuxFaultMatrix, EveryOperationFailingVanishingOrFullIsSurvived) {
    if (::geteuid() != 0 || !HaveProgram("mkfs.fat") || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "mounting a volume in a mount namespace of its own needs root and mkfs.fat";
    }
    TmpfsRig rig;
    EXPECT_GT(fault_test::RunFaultMatrix(rig, "Linux (tmpfs)").run, 0);
}

}  // namespace
}  // namespace velno::linux_test
