// The fault matrix through the Linux host on a FAT32 volume mounted with
// FUSE; the volume is read back with mtools and checked with fsck.fat after
// each run.

#include "fault/fault_matrix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>

#include "fuse_fat.h"
#include "platform/linux/linux_platform.h"
#include "test_support.h"

namespace velno::linux_test {
namespace {

using fault_test::Fault;
using fault_test::Tree;

// Room left on the volume beside the ballast: enough for the update, so
// that a full volume is quick to make.
constexpr long long kRoom = 256 * 1024;
constexpr const char* kBallast = "ballast.bin";
constexpr const char* kFiller = "filler.bin";
constexpr time_t kMonthAndMore = 40L * 24 * 3600;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

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
    FuseRig()
        : volume_(temp_.path(), "VELNO", "1A2B3C4D"),
          host_({.application_folder = temp_ / "app", .drive_sources = {}}) {}

    std::string Unsupported(Fault) override { return {}; }

    void Reset(const fault_test::Seed& seed) override {
        Detach();
        if (!std::filesystem::exists(Template())) {
            SeedTemplate(seed);
        }
        std::filesystem::copy_file(Template(), volume_.image(),
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::remove_all(temp_ / "app");
        for (const auto& file : seed.instrument) {
            seeded_.insert(file.seconds);
        }
        for (const auto& file : seed.staging) {
            WriteFile(temp_ / ("app/" + file.path), file.content, {file.seconds, 0});
        }
    }

    void Attach() override { EXPECT_TRUE(volume_.Mount()) << "fusefat did not mount"; }

    void Detach() override {
        volume_.Unmount();
        if (filled_) {
            Mtools("mdel", "::/" + std::string(kFiller));
            filled_ = false;
        }
    }

    void Inject(Fault fault) override {
        if (fault == Fault::kVanish) {
            volume_.Vanish();
            return;
        }
        // All the room but four clusters: fusefat corrupts the volume when a
        // new folder finds no cluster at all (it links the folder to the
        // root), and with a single cluster left that still happened now and
        // then. Four clusters hold the update's new folders but are less
        // than any file it copies, so every copy still runs out of room.
        filled_ = true;
        const std::string filler = volume_.mount_point() + "/" + kFiller;
        const long long room = WriteFiller(filler, kRoom * 2);
        ::unlink(filler.c_str());
        WriteFiller(filler, room - 4 * 512);
    }

    // Listed with mdir, copied out with mcopy (times kept), every file but
    // the ballast read back; plus whether fsck.fat finds the volume sound.
    Tree Instrument() override {
        const std::string out = temp_ / "read";
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        Tree tree{{"(fsck.fat)", volume_.Consistent() ? "sound" : "needs repair"}};
        std::istringstream listing(volume_.Listing());
        std::string sources;
        for (std::string line; std::getline(listing, line);) {
            const std::string path = line.substr(3);
            if (path.find('/') == std::string::npos || path.find('/') == path.size() - 1) {
                const std::string name = path.substr(0, path.find('/'));
                sources += name == kBallast ? "" : " " + Quoted("::/" + name);
            }
            tree[path] = "";
        }
        Mtools("mcopy -s -m -n", sources + " " + Quoted(out));
        for (auto& [path, entry] : tree) {
            if (path != kBallast && !path.ends_with("/") && path != "(fsck.fat)") {
                entry = "unreadable";
                try {
                    entry = ReadFile(out + "/" + path) + "@" +
                            Time(ModifiedOf(out + "/" + path).tv_sec);
                } catch (const std::exception&) {
                }
            }
        }
        return tree;
    }

    // fusefat writes a time's month one short, and stamps a renamed file
    // with the clock's time: such a time says only that a move happened.
    // The seeded files' times were written by mtools.
    std::string Time(time_t time) const {
        if (time > started_ - kMonthAndMore && time < started_ + kMonthAndMore) {
            return "moved";
        }
        tm local{};
        ::localtime_r(&time, &local);
        local.tm_mon += seeded_.contains(time) ? 0 : 1;
        local.tm_isdst = -1;
        return std::to_string(::mktime(&local));
    }

    Tree Staging() override { return {{"app", Snapshot(temp_ / "app")}}; }

    platform::Platform& Host() override { return host_; }
    std::string DrivePath() override { return volume_.mount_point(); }
    std::string ApplicationFolder() override { return {}; }

private:
    std::string Template() const { return temp_ / "seeded.img"; }

    void Mtools(const std::string& command, const std::string& arguments) const {
        const std::string line = "MTOOLS_SKIP_CHECK=1 " + command + " -i " +
                                 Quoted(volume_.image()) + " " + arguments + " >/dev/null 2>&1";
        EXPECT_EQ(Shell(line), 0) << line;
    }

    // The seeded instrument with ballast that leaves only kRoom free.
    void SeedTemplate(const fault_test::Seed& seed) {
        volume_.PutInstrument(seed);
        const std::string free_line = Output("MTOOLS_SKIP_CHECK=1 mdir -i " +
                                             Quoted(volume_.image()) + " :: | grep \"bytes free\"");
        std::string digits;
        for (const char c : free_line) {
            digits += std::isdigit(static_cast<unsigned char>(c)) ? std::string(1, c) : "";
        }
        WriteFile(temp_ / "put.tmp", "");
        std::filesystem::resize_file(temp_ / "put.tmp", std::stoll(digits) - kRoom);
        volume_.Put(temp_ / "put.tmp", "::/" + std::string(kBallast));
        std::filesystem::remove(temp_ / "put.tmp");
        std::filesystem::copy_file(volume_.image(), Template());
    }

    TempFolder temp_;
    FuseFatVolume volume_;
    platform::linux_host::LinuxPlatform host_;
    bool filled_ = false;
    const time_t started_ = ::time(nullptr);
    std::set<time_t> seeded_;
};

TEST(Fat32FaultMatrix, EveryOperationFailingVanishingOrFullIsSurvived) {
    if (const std::string why = FuseFatUnavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    FuseRig rig;
    if (!UsePrivateMountNamespace() || !HideOtherInstruments(rig.Host())) {
        GTEST_SKIP() << "no private mount namespace to make the drive vanish in, or to hide "
                        "another VELNO volume from";
    }
    const fault_test::Tally tally = fault_test::RunFaultMatrix(rig, "Linux (FUSE FAT32)");
    EXPECT_GT(tally.run, 0);
}

}  // namespace
}  // namespace velno::linux_test
