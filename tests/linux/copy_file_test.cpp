// CopyFile on real folders: copies carry the source's time; a failed one
// leaves the old destination and no temporary file.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "host_fixture.h"
#include "platform/linux/copy_file.h"

namespace velno::linux_test {
namespace {

using platform::linux_host::kCopyChunkBytes;
using platform::linux_host::RoundUpToEvenSecond;

class CopyFileTest : public HostFixture {
protected:
    void SetUp() override {
        // Two and a half chunks, so that the copy has a middle.
        staged_ = std::string(kCopyChunkBytes * 5 / 2, 'n');
        staged_[kCopyChunkBytes] = 'm';
        WriteFile(temp_ / "app/mtmp/a.bin", staged_, {1'700'000'001, 250'000'000});
        WriteFile(temp_ / "drive/data/a.bin", "old", {1'600'000'000, 0});
    }

    // The old destination is there, unchanged, and nothing else is.
    void ExpectOldState() {
        EXPECT_EQ(ReadFile(temp_ / "drive/data/a.bin"), "old");
        EXPECT_EQ(ModifiedOf(temp_ / "drive/data/a.bin").tv_sec, 1'600'000'000);
        EXPECT_EQ(ListFolder(temp_ / "drive/data"), "a.bin");
    }

    std::string staged_;
};

TEST_F(CopyFileTest, ReplacesTheDestinationInChunksWithTheSourcesTime) {
    int calls = 0;
    fs_->CopyFile(App("\\mtmp\\A.BIN"), Drive("\\DATA\\a.bin"), true, [&calls] { ++calls; });
    EXPECT_EQ(calls, 2);  // between the three chunks
    EXPECT_TRUE(ReadFile(temp_ / "drive/data/a.bin") == staged_);
    // The staged file's time as its volume kept it, or on FAT (2 s steps)
    // the next step after it: never earlier.
    const timespec staged = ModifiedOf(temp_ / "app/mtmp/a.bin");
    const timespec kept = ModifiedOf(temp_ / "drive/data/a.bin");
    EXPECT_TRUE(kept.tv_sec == staged.tv_sec ? kept.tv_nsec == staged.tv_nsec
                                             : kept.tv_sec == RoundUpToEvenSecond(staged).tv_sec)
        << kept.tv_sec << "." << kept.tv_nsec;
    EXPECT_EQ(ListFolder(temp_ / "drive/data"), "a.bin");

    fs_->CopyFile(App("\\mtmp\\a.bin"), Drive("\\data\\new.bin"), false, nullptr);
    EXPECT_EQ(ListFolder(temp_ / "drive/data"), "a.bin new.bin");
}

TEST_F(CopyFileTest, ARefusedOrInterruptedCopyLeavesTheOldFileAndNoTemporary) {
    EXPECT_PLATFORM_ERROR(fs_->CopyFile(App("\\mtmp\\a.bin"), Drive("\\data\\a.bin"), false, {}),
                          "CopyFile", "File exists");
    EXPECT_PLATFORM_ERROR(fs_->CopyFile(App("\\mtmp\\b.bin"), Drive("\\data\\a.bin"), true, {}),
                          "CopyFile", "No such file");
    EXPECT_PLATFORM_ERROR(fs_->CopyFile(App("\\mtmp\\a.bin"), Drive("\\data"), true, {}),
                          "CopyFile", "Is a directory");
    EXPECT_PLATFORM_ERROR(fs_->CopyFile(App("\\mtmp\\a.bin"), Drive("\\none\\a.bin"), true, {}),
                          "CopyFile", "No such file");
    EXPECT_FALSE(std::filesystem::exists(temp_ / "drive/none"));
    struct Interrupted {};
    EXPECT_THROW(fs_->CopyFile(App("\\mtmp\\a.bin"), Drive("\\data\\a.bin"), true,
                               [] { throw Interrupted{}; }),
                 Interrupted);
    ExpectOldState();
}

TEST_F(CopyFileTest, AWriteErrorHalfWayLeavesTheOldFileAndNoTemporary) {
    // The file size limit makes the second chunk's write fail with EFBIG.
    rlimit old_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_limit;
    limit.rlim_cur = kCopyChunkBytes * 3 / 2;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    try {
        fs_->CopyFile(App("\\mtmp\\a.bin"), Drive("\\data\\a.bin"), true, {});
        ADD_FAILURE() << "the copy did not fail";
    } catch (const platform::PlatformError& error) {
        EXPECT_EQ(error.Operation(), "CopyFile");
        EXPECT_EQ(error.Paths(),
                  (std::vector<std::string>{App("\\mtmp\\a.bin"), Drive("\\data\\a.bin")}));
        EXPECT_EQ(error.SystemMessage(), "File too large");
    }
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    ExpectOldState();
}

TEST(RoundUpToEvenSecond, GivesTheFirstEvenWholeSecondNotBefore) {
    const auto round = [](time_t seconds, long nanoseconds) {
        const timespec result = RoundUpToEvenSecond({seconds, nanoseconds});
        EXPECT_EQ(result.tv_nsec, 0);
        return result.tv_sec;
    };
    EXPECT_EQ(round(10, 0), 10);
    EXPECT_EQ(round(11, 0), 12);
    EXPECT_EQ(round(10, 1), 12);
}

}  // namespace
}  // namespace velno::linux_test
