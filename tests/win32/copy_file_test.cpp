#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "fake/error_of.h"
#include "platform/win32/file_system.h"
#include "test_folder.h"

namespace velno::win32::testing {
namespace {

using platform::PlatformError;
using platform::win32::kCopyChunkBytes;

constexpr unsigned long long kStagedTicks = 133'000'000'010'000'000ULL;  // odd seconds
constexpr unsigned long long kInstalledTicks = 132'000'000'000'000'000ULL;

class Win32CopyTest : public OnRigDrive {
protected:
    void SetUp() override {
        OnRigDrive::SetUp();
        if (IsSkipped()) {
            return;
        }
        staged_.assign(2 * kCopyChunkBytes + 1000, 's');
        staged_[kCopyChunkBytes] = 'm';  // so that misplaced chunks show
        WriteBytes(At("staged.bin"), staged_);
        SetModifiedTicks(At("staged.bin"), kStagedTicks);
        WriteBytes(At("installed.bin"), "old contents");
        SetModifiedTicks(At("installed.bin"), kInstalledTicks);
    }

    // The old file is untouched and no temporary file is left beside it.
    void ExpectOldStateKept() {
        EXPECT_EQ(ReadBytes(At("installed.bin")), "old contents");
        EXPECT_EQ(ModifiedTicks(At("installed.bin")), kInstalledTicks);
        EXPECT_EQ(Names(Folder()), (std::vector<std::string>{"installed.bin", "staged.bin"}));
    }

    platform::win32::Win32FileSystem fs;
    std::string staged_;
};

TEST_F(Win32CopyTest, CopiesInChunksAndKeepsTheStagedTime) {
    int chunks = 0;
    fs.CopyFile(At("staged.bin"), At("new.bin"), true, [&] { ++chunks; });
    EXPECT_EQ(chunks, 2);
    EXPECT_EQ(ReadBytes(At("new.bin")), staged_);
    EXPECT_EQ(ModifiedTicks(At("new.bin")), kStagedTicks);
    EXPECT_EQ(Attributes(At("new.bin")) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), 0u);
    fs.CopyFile(At("staged.bin"), At("installed.bin"), true, nullptr);
    EXPECT_EQ(ReadBytes(At("installed.bin")), staged_);
    EXPECT_EQ(ModifiedTicks(At("installed.bin")), kStagedTicks);
}

TEST_F(Win32CopyTest, ARefusedOrInterruptedCopyLeavesTheOldStateAndNoTemporaryFile) {
    const auto error = velno::testing::ErrorOf(
        [&] { fs.CopyFile(At("staged.bin"), At("installed.bin"), false, nullptr); });
    EXPECT_EQ(error.Operation(), "CopyFile");
    EXPECT_EQ(error.Paths(), (std::vector<std::string>{At("staged.bin"), At("installed.bin")}));
    ExpectOldStateKept();
    EXPECT_THROW(fs.CopyFile(At("missing.bin"), At("installed.bin"), true, nullptr), PlatformError);
    EXPECT_THROW(fs.CopyFile(At("staged.bin"), At("no\\such\\folder.bin"), true, nullptr),
                 PlatformError);
    ExpectOldStateKept();
    int chunks = 0;
    const std::function<void()> lost = [&chunks] {
        if (++chunks == 2) {
            throw std::runtime_error("drive lost");
        }
    };
    EXPECT_THROW(fs.CopyFile(At("staged.bin"), At("installed.bin"), true, lost),
                 std::runtime_error);
    ExpectOldStateKept();

    ASSERT_TRUE(SetFileAttributesW(Wide(At("installed.bin")).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_THROW(fs.CopyFile(At("staged.bin"), At("installed.bin"), true, nullptr), PlatformError);
    ExpectOldStateKept();
}

}  // namespace
}  // namespace velno::win32::testing
