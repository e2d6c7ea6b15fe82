// The fault matrix through the Linux host on a FAT32 volume: an image made
// with mkfs.fat, seeded with mtools (fusefat's write support is partial),
// mounted with fusefat (FUSE, as root) in a mount namespace of this process,
// read back with mtools and checked with fsck.fat after each run.

#include "fault/fault_matrix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "platform/linux/linux_platform.h"
#include "platform/linux/mountinfo.h"
#include "test_support.h"

namespace velno::linux_test {
namespace {

using fault_test::Fault;
using fault_test::Tree;

// Room left on the volume beside the ballast: enough for the update, so
// that a full volume is quick to make.
constexpr long long kRoom = 256 * 1024;
constexpr const char* kBallast = "ballast.bin";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Empty when FUSE volumes can be used here, otherwise why not.
std::string FuseFatUnavailable() {
    if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0) {
        return "FUSE volumes need root and /dev/fuse";
    }
    for (const char* program : {"fusefat", "mkfs.fat", "fsck.fat", "mdir", "mcopy", "mmd"}) {
        if (!HaveProgram(program)) {
            return std::string(program) + " is not installed";
        }
    }
    return {};
}

// Moves this process into a mount namespace of its own, so that its mounts
// are seen by no other process, and unmounts there every VELNO volume the
// host lists, so that detection can find only the test's own.
bool PrivateViewWithoutOtherInstruments(platform::Platform& host) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return false;
    }
    for (const auto& drive :
         host.CreateFileSystemObject("Scripting.FileSystemObject")->Drives()->Walk()) {
        if (drive->IsReady() && drive->VolumeName() == "VELNO" &&
            ::umount2(drive->Path().c_str(), MNT_DETACH) != 0) {
            return false;
        }
    }
    return true;
}

// A time as the rig reads it back: exact for the seeded files (mtools wrote
// them). fusefat writes a month one short and stamps a renamed file with the
// clock's time, so a time within the run (FAT keeps 2 s) says only "moved".
std::string TimeReadBack(time_t time, const std::set<time_t>& seeded, time_t from, time_t to) {
    tm local{};
    ::localtime_r(&time, &local);
    local.tm_mon += seeded.contains(time) ? 0 : 1;
    local.tm_isdst = -1;
    const time_t written = ::mktime(&local);
    const bool moved = !seeded.contains(time) && written >= from - 2 && written <= to + 2;
    return moved ? "moved" : std::to_string(written);
}

// Writes up to limit bytes to a new file until the volume refuses more;
// returns how many it took.
long long WriteFiller(const std::string& path, long long limit) {
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const std::string block(64 * 1024, 'f');
    long long total = 0;
    for (ssize_t written = 1; file >= 0 && total < limit && written > 0; total += written) {
        written = ::write(file, block.data(),
                          static_cast<size_t>(std::min<long long>(limit - total, block.size())));
        written = std::max<ssize_t>(written, 0);
    }
    ::close(file);
    return total;
}

class FuseRig : public fault_test::Rig {
public:
    FuseRig() {
        std::filesystem::create_directories(mount_point_);
        EXPECT_EQ(
            Shell("mkfs.fat -C -F 32 -n VELNO -i 1A2B3C4D " + Quoted(image_) + " 40000 >/dev/null"),
            0);
    }
    ~FuseRig() override { Detach(); }

    std::string Unsupported(Fault) override { return {}; }

    void Reset(const fault_test::Seed& seed) override {
        Detach();
        if (!std::filesystem::exists(temp_ / "seeded.img")) {
            Seed(seed);
        }
        std::filesystem::copy_file(temp_ / "seeded.img", image_,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::remove_all(temp_ / "app");
        for (const auto& file : seed.staging) {
            WriteFile(temp_ / ("app/" + file.path), file.content, {file.seconds, 0});
        }
    }

    void Attach() override {
        std::filesystem::remove_all(mount_point_);  // what a run left there, reported by now
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
            for (const auto& mount : platform::linux_host::ReadMountInfo("/proc/self/mountinfo")) {
                if (mount.mount_point == mount_point_) {
                    return;
                }
            }
            if (::waitpid(daemon_, nullptr, WNOHANG) == daemon_) {
                daemon_ = -1;  // fusefat gave up
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        ADD_FAILURE() << "fusefat did not mount";
    }

    // Also waits for fusefat to end: only then is the image complete.
    void Detach() override {
        if (daemon_ > 0 && ::umount2(mount_point_.c_str(), 0) != 0) {
            ::umount2(mount_point_.c_str(), MNT_DETACH);
            ::kill(daemon_, SIGTERM);
        }
        if (daemon_ > 0) {
            ::waitpid(daemon_, nullptr, 0);
        }
        daemon_ = -1;
        if (filled_) {
            Mtools("mdel ::/filler.bin");
            filled_ = false;
        }
    }

    void Inject(Fault fault) override {
        if (fault == Fault::kVanish) {
            // As when the cable is pulled: the volume goes at once (a lazy
            // unmount); its mount point's folder stays, as an fstab mount's.
            ::umount2(mount_point_.c_str(), MNT_DETACH);
            ::waitpid(daemon_, nullptr, 0);
            daemon_ = -1;
            return;
        }
        // All the room but four clusters: fusefat corrupts the volume when a
        // new folder finds no cluster at all (it links the folder to the
        // root), and with a single cluster left that still happened now and
        // then. Four clusters hold the update's new folders but are less
        // than any file it copies, so every copy still runs out of room.
        filled_ = true;
        const std::string filler = mount_point_ + "/filler.bin";
        const long long room = WriteFiller(filler, kRoom * 2);
        ::unlink(filler.c_str());
        WriteFiller(filler, room - 4 * 512);
    }

    // Listed with mdir, copied out with mcopy (times kept), every file but
    // the ballast read back; plus whether fsck.fat finds the volume sound.
    Tree Instrument() override {
        Tree tree = ImageEntries(image_, kBallast, [this](time_t time) {
            return TimeReadBack(time, seeded_, started_, ::time(nullptr));
        });
        tree["(fsck.fat)"] = Shell("fsck.fat -n " + Quoted(image_) + " >/dev/null 2>&1") == 0
                                 ? "sound"
                                 : "needs repair";
        for (const auto& [path, entry] : Entries(mount_point_, false)) {
            tree["(left in the mount point) " + path] = entry;
        }
        return tree;
    }

    Tree Staging() override { return Entries(temp_ / "app", false); }
    platform::Platform& Host() override { return host_; }
    std::string DrivePath() override { return mount_point_; }
    std::string ApplicationFolder() override { return {}; }
    bool KeepsOddSeconds() override { return false; }

private:
    std::string MtoolsLine(const std::string& command) const {
        const std::size_t blank = command.find(' ');
        return "MTOOLS_SKIP_CHECK=1 " + command.substr(0, blank) + " -i " + Quoted(image_) +
               command.substr(blank);
    }
    void Mtools(const std::string& command) const {
        EXPECT_EQ(Shell(MtoolsLine(command) + " >/dev/null 2>&1"), 0) << command;
    }

    // The seeded instrument with ballast that leaves only kRoom free.
    void Seed(const fault_test::Seed& seed) {
        for (const std::string& folder : seed.folders) {
            Mtools("mmd " + Quoted("::/" + folder));
        }
        for (const auto& file : seed.instrument) {
            WriteFile(temp_ / "put", file.content, {file.seconds, 0});
            Mtools("mcopy -m " + Quoted(temp_ / "put") + " " + Quoted("::/" + file.path));
            seeded_.insert(file.seconds);
        }
        std::string digits;
        for (const char c : Output(MtoolsLine("mdir ::") + " | grep 'bytes free'")) {
            digits += std::isdigit(static_cast<unsigned char>(c)) ? std::string(1, c) : "";
        }
        std::filesystem::resize_file(temp_ / "put", std::stoll(digits) - kRoom);
        Mtools("mcopy " + Quoted(temp_ / "put") + " ::/" + kBallast);
        std::filesystem::copy_file(image_, temp_ / "seeded.img");
    }

    TempFolder temp_;
    const std::string image_ = temp_ / "velno.img";
    const std::string mount_point_ = temp_ / "mnt";
    platform::linux_host::LinuxPlatform host_{
        {.application_folder = temp_ / "app", .drive_sources = {}}};
    pid_t daemon_ = -1;
    bool filled_ = false;
    const time_t started_ = ::time(nullptr);
    std::set<time_t> seeded_;
};

// Also in a run near a seeded time (2030-01-01), whatever the clock says.
TEST(Fat32FaultMatrix, TheRigReadsOnlyTheRunsOwnTimesAsMoved) {
    const time_t seeded = 1'893'456'000, run = 1'891'728'000;  // 2030-01-01, 2029-12-12
    EXPECT_EQ(TimeReadBack(seeded, {seeded}, run, run + 60), "1893456000");
    EXPECT_EQ(TimeReadBack(1'889'136'030, {seeded}, run, run + 60), "moved");  // 2029-11-12
    EXPECT_EQ(TimeReadBack(1'680'776'432, {seeded}, run, run + 60), "1683368432");
}

TEST(Fat32FaultMatrix, EveryOperationFailingVanishingOrFullIsSurvived) {
    if (const std::string why = FuseFatUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    FuseRig rig;
    if (!PrivateViewWithoutOtherInstruments(rig.Host())) {
        GTEST_SKIP() << "no private mount namespace to make the drive vanish in, or to hide "
                        "another VELNO volume from";
    }
    const fault_test::Tally tally = fault_test::RunFaultMatrix(rig, "Linux (FUSE FAT32)");
    EXPECT_GT(tally.run, 0);
}

}  // namespace
}  // namespace velno::linux_test
