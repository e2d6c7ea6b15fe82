// CopyFile on drive E: under Wine: a copy leaves either the complete,
// verified new file with the source's time or the old file as it was, and
// never a temporary file.

#include "platform/win32/copy_file.h"

#include <gtest/gtest.h>

#include "../copy_cases.h"
#include "platform/win32/file_system.h"
#include "test_folder.h"

namespace velno::win32::testing {
namespace {

using copy_cases::CopyCase;
using platform::PlatformError;

constexpr unsigned long long kStagedTicks = 133'000'000'010'000'000ULL;  // odd seconds
constexpr unsigned long long kInstalledTicks = 132'000'000'000'000'000ULL;

class Win32CopyTest : public OnRigDrive, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(Win32CopyTest, LeavesTheVerifiedCopyOrTheOldFile) {
    const CopyCase& c = GetParam();
    const std::string staged = copy_cases::StagedBytes(c.staged_bytes);
    if (c.staged_bytes != copy_cases::kNoStagedFile) {
        WriteBytes(At("staged.bin"), staged);
        SetModifiedTicks(At("staged.bin"), kStagedTicks);
    }
    ASSERT_TRUE(CreateDirectoryW(Wide(At("data")).c_str(), nullptr));
    WriteBytes(At("data\\a.bin"), "old");
    SetModifiedTicks(At("data\\a.bin"), kInstalledTicks);
    if (c.read_only) {
        ASSERT_TRUE(SetFileAttributesW(Wide(At("data\\a.bin")).c_str(), FILE_ATTRIBUTE_READONLY));
    }

    int calls = 0;
    const std::string destination = At(c.destination);
    try {
        if (copy_cases::Faulty(c)) {
            copy_cases::FaultySteps<platform::win32::Win32CopySteps> steps(
                c.fault, At("staged.bin"), destination);
            platform::CopyVerified(steps, c.overwrite, copy_cases::CountingCallback(c, calls));
        } else {
            platform::win32::Win32FileSystem().CopyFile(At("staged.bin"), destination, c.overwrite,
                                                        copy_cases::CountingCallback(c, calls));
        }
        EXPECT_EQ(c.windows_error, nullptr) << "the copy did not fail";
        EXPECT_GE(calls, c.calls);  // a slow flush adds turns
        EXPECT_TRUE(ReadBytes(destination) == staged);
        EXPECT_EQ(ModifiedTicks(destination), kStagedTicks);
        EXPECT_EQ(Attributes(destination) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), 0u);
    } catch (const PlatformError& error) {
        ASSERT_NE(c.windows_error, nullptr) << error.what();
        EXPECT_NE(error.SystemMessage().find(c.windows_error), std::string::npos) << error.what();
        if (c.fault != copy_cases::Fault::kInterrupted) {
            EXPECT_EQ(error.Paths(), (std::vector<std::string>{At("staged.bin"), destination}));
        }
        EXPECT_EQ(ReadBytes(At("data\\a.bin")), "old");
        EXPECT_EQ(ModifiedTicks(At("data\\a.bin")), kInstalledTicks);
    }
    std::string listing;
    for (const std::string& name : Names(At("data"))) {
        listing += (listing.empty() ? "" : " ") + name;
    }
    EXPECT_EQ(listing, c.listing);
}

INSTANTIATE_TEST_SUITE_P(Cases, Win32CopyTest, ::testing::ValuesIn(copy_cases::kCases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace velno::win32::testing
