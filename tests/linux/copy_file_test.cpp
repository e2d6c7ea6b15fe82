// CopyFile on real folders: a copy leaves either the complete, verified new
// file with the source's time or the old file as it was, and never a
// temporary file.

#include "platform/linux/copy_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "../copy_cases.h"
#include "host_fixture.h"

namespace velno::linux_test {
namespace {

using copy_cases::CopyCase;
using platform::FileTime;
using platform::linux_host::CopyPaths;

// The names in a folder, sorted, separated by blanks.
std::string ListFolder(const std::string& path) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        names.insert(entry.path().filename().string());
    }
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : " ") + name;
    }
    return text;
}

class CopyFileTest : public HostFixture, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CopyFileTest, LeavesTheVerifiedCopyOrTheOldFile) {
    const CopyCase& c = GetParam();
    const std::string staged = copy_cases::StagedBytes(c.staged_bytes);
    if (c.staged_bytes != copy_cases::kNoStagedFile) {
        WriteFile(temp_ / "app/mtmp/a.bin", staged, {1'700'000'001, 250'000'000});
    }
    WriteFile(temp_ / "drive/data/a.bin", "old", {1'600'000'000, 0});
    if (c.read_only) {
        runtime_.SetAttributes(Drive("\\data\\a.bin"), platform::kAttrReadOnly);
    }

    int calls = 0;
    const std::string source = App("\\mtmp\\a.bin");
    const std::string destination = Drive(std::string("\\").append(c.destination));
    // The names on the drive are lower case; the cases' texts vary the case.
    std::string name = c.destination;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char ch) { return ch == '\\' ? '/' : static_cast<char>(std::tolower(ch)); });
    const std::string native = temp_ / ("drive/" + name);
    try {
        if (copy_cases::Faulty(c)) {
            copy_cases::FaultySteps<platform::linux_host::LinuxCopySteps> steps(
                c.fault, CopyPaths{temp_ / "app/mtmp/a.bin", native, source, destination});
            platform::CopyVerified(steps, c.overwrite, copy_cases::CountingCallback(c, calls));
        } else {
            fs_->CopyFile(source, destination, c.overwrite, copy_cases::CountingCallback(c, calls));
        }
        EXPECT_EQ(c.linux_error, nullptr) << "the copy did not fail";
        EXPECT_GE(calls, c.calls);  // a slow flush adds turns
        EXPECT_TRUE(ReadFile(native) == staged);
        // The staged file's time as its volume kept it, or on FAT (2 s
        // steps) the next step after it: never earlier.
        const auto time_of = [](const std::string& path) {
            const timespec time = ModifiedOf(path);
            return FileTime(std::chrono::seconds(time.tv_sec) +
                            std::chrono::nanoseconds(time.tv_nsec));
        };
        const FileTime kept = time_of(native), from = time_of(temp_ / "app/mtmp/a.bin");
        EXPECT_TRUE(kept == from || kept == platform::RoundUpToEvenSecond(from));
        EXPECT_EQ(runtime_.GetAttributes(destination), 0U);
    } catch (const platform::PlatformError& error) {
        ASSERT_NE(c.linux_error, nullptr) << error.what();
        EXPECT_NE(error.SystemMessage().find(c.linux_error), std::string::npos) << error.what();
        if (c.fault != copy_cases::Fault::kInterrupted) {
            EXPECT_EQ(error.Paths(), (std::vector<std::string>{source, destination}));
        }
        EXPECT_EQ(ReadFile(temp_ / "drive/data/a.bin"), "old");
        EXPECT_EQ(ModifiedOf(temp_ / "drive/data/a.bin").tv_sec, 1'600'000'000);
    }
    EXPECT_EQ(ListFolder(temp_ / "drive/data"), c.listing);
    EXPECT_FALSE(std::filesystem::exists(temp_ / "drive/none"));
}

INSTANTIATE_TEST_SUITE_P(Cases, CopyFileTest, ::testing::ValuesIn(copy_cases::kCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(RoundUpToEvenSecond, GivesTheFirstEvenWholeSecondNotBefore) {
    using std::chrono::seconds;
    const struct {
        std::chrono::nanoseconds time;
        seconds rounded;
    } cases[] = {{seconds(10), seconds(10)},
                 {seconds(11), seconds(12)},
                 {seconds(10) + std::chrono::nanoseconds(1), seconds(12)},
                 {-seconds(3), -seconds(2)}};
    for (const auto& c : cases) {
        EXPECT_EQ(platform::RoundUpToEvenSecond(FileTime(c.time)), FileTime(c.rounded))
            << c.time.count();
    }
}

}  // namespace
}  // namespace velno::linux_test
