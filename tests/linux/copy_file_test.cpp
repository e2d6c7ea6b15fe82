// CopyFile on real folders: a copy leaves either the complete, verified new
// file with the source's time or the old file as it was, and never a
// temporary file.

#include "platform/linux/copy_file.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "../copy_faults.h"
#include "host_fixture.h"

namespace velno::linux_test {
namespace {

using platform::FileTime;
using platform::kCopyChunkBytes;
using platform::linux_host::CopyPaths;
using platform::linux_host::LinuxCopySteps;

using copy_faults::Fault;
using FaultySteps = copy_faults::FaultySteps<LinuxCopySteps>;

struct CopyCase {
    const char* name;
    const char* destination;  // below the drive; "\data\a.bin" holds "old"
    std::size_t staged_bytes;
    bool read_only;
    bool overwrite;
    Fault fault;
    const char* error;  // part of the failure's message; none when the copy succeeds
    int calls;          // of the callback, on success
    const char* listing;
};

constexpr std::size_t kChunk = kCopyChunkBytes;
const CopyCase kCases[] = {
    {"NewFile", "\\DATA\\new.bin", kChunk * 5 / 2, false, false, Fault::kNone, nullptr, 5,
     "a.bin new.bin"},
    {"NewEmptyFile", "\\data\\new.bin", 0, false, false, Fault::kNone, nullptr, 0, "a.bin new.bin"},
    {"ReplaceOlder", "\\data\\A.BIN", kChunk * 2, false, true, Fault::kNone, nullptr, 3, "a.bin"},
    {"ReplaceReadOnly", "\\data\\a.bin", 100, true, true, Fault::kNone, nullptr, 1, "a.bin"},
    {"ExistingWithoutOverwrite", "\\data\\a.bin", 100, false, false, Fault::kNone, "File exists", 0,
     "a.bin"},
    {"FolderDestination", "\\data", 100, false, true, Fault::kNone, "Is a directory", 0, "a.bin"},
    {"MissingFolder", "\\none\\a.bin", 100, false, true, Fault::kNone, "No such file", 0, "a.bin"},
    {"Interrupted", "\\data\\a.bin", kChunk * 5 / 2, false, true, Fault::kInterrupted, "", 0,
     "a.bin"},
    {"ReadFailsMidCopy", "\\data\\a.bin", kChunk * 5 / 2, false, true, Fault::kReadFails,
     "Input/output error", 0, "a.bin"},
    {"ReadBackDiffers", "\\data\\a.bin", kChunk * 5 / 2, true, true, Fault::kReadBackDiffers,
     "differs", 0, "a.bin"},
};

void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }

class CopyFileTest : public HostFixture, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CopyFileTest, LeavesTheVerifiedCopyOrTheOldFile) {
    const CopyCase& c = GetParam();
    std::string staged(c.staged_bytes, 's');
    for (std::size_t i = 0; i < staged.size(); i += 4093) {
        staged[i] = static_cast<char>(i / 4093);  // so that misplaced chunks show
    }
    WriteFile(temp_ / "app/mtmp/a.bin", staged, {1'700'000'001, 250'000'000});
    WriteFile(temp_ / "drive/data/a.bin", "old", {1'600'000'000, 0});
    if (c.read_only) {
        runtime_.SetAttributes(Drive("\\data\\a.bin"), platform::kAttrReadOnly);
    }

    int calls = 0;
    const auto between_chunks = [&] {
        if (++calls == 2 && c.fault == Fault::kInterrupted) {
            throw platform::PlatformError("PumpEvents", {}, "");
        }
    };
    const std::string source = App("\\mtmp\\a.bin");
    const std::string destination = Drive(c.destination);
    // The names on the drive are lower case; the cases' texts vary the case.
    std::string native = c.destination;
    std::transform(native.begin(), native.end(), native.begin(),
                   [](char ch) { return ch == '\\' ? '/' : static_cast<char>(std::tolower(ch)); });
    native = temp_ / "drive" + native;
    try {
        if (c.fault == Fault::kReadFails || c.fault == Fault::kReadBackDiffers) {
            FaultySteps steps(c.fault,
                              CopyPaths{temp_ / "app/mtmp/a.bin", native, source, destination});
            platform::CopyVerified(steps, c.overwrite, between_chunks);
        } else {
            fs_->CopyFile(source, destination, c.overwrite, between_chunks);
        }
        EXPECT_EQ(c.error, nullptr) << "the copy did not fail";
        EXPECT_EQ(calls, c.calls);
        EXPECT_TRUE(ReadFile(native) == staged);
        EXPECT_EQ(ModifiedOf(native).tv_sec, 1'700'000'001);
        EXPECT_EQ(ModifiedOf(native).tv_nsec, 250'000'000);
        EXPECT_EQ(runtime_.GetAttributes(destination), 0U);
    } catch (const platform::PlatformError& error) {
        ASSERT_NE(c.error, nullptr) << error.what();
        EXPECT_NE(error.SystemMessage().find(c.error), std::string::npos) << error.what();
        if (c.fault != Fault::kInterrupted) {
            EXPECT_EQ(error.Paths(), (std::vector<std::string>{source, destination}));
        }
        EXPECT_EQ(ReadFile(temp_ / "drive/data/a.bin"), "old");
        EXPECT_EQ(ModifiedOf(temp_ / "drive/data/a.bin").tv_sec, 1'600'000'000);
    }
    EXPECT_EQ(ListFolder(temp_ / "drive/data"), c.listing);
    EXPECT_FALSE(std::filesystem::exists(temp_ / "drive/none"));
}

INSTANTIATE_TEST_SUITE_P(Cases, CopyFileTest, ::testing::ValuesIn(kCases),
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
