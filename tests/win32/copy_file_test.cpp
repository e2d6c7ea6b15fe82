// CopyFile on drive E: under Wine: a copy leaves either the complete,
// verified new file with the source's time or the old file as it was, and
// never a temporary file.

#include "platform/win32/copy_file.h"

#include <gtest/gtest.h>

#include "../copy_faults.h"
#include "platform/win32/file_system.h"
#include "test_folder.h"

namespace velno::win32::testing {
namespace {

using copy_faults::Fault;
using FaultySteps = copy_faults::FaultySteps<platform::win32::Win32CopySteps>;
using platform::kCopyChunkBytes;
using platform::PlatformError;

constexpr unsigned long long kStagedTicks = 133'000'000'010'000'000ULL;  // odd seconds
constexpr unsigned long long kInstalledTicks = 132'000'000'000'000'000ULL;

struct CopyCase {
    const char* name;
    const char* destination;  // in the scratch folder, whose "installed.bin" is old
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
    {"NewFile", "new.bin", kChunk * 5 / 2, false, false, Fault::kNone, nullptr, 5,
     "installed.bin new.bin staged.bin "},
    {"NewEmptyFile", "new.bin", 0, false, false, Fault::kNone, nullptr, 0,
     "installed.bin new.bin staged.bin "},
    {"ReplaceOlder", "INSTALLED.BIN", kChunk * 2, false, true, Fault::kNone, nullptr, 3,
     "installed.bin staged.bin "},
    {"ReplaceReadOnly", "installed.bin", 100, true, true, Fault::kNone, nullptr, 1,
     "installed.bin staged.bin "},
    {"ExistingWithoutOverwrite", "installed.bin", 100, false, false, Fault::kNone, "exists", 0,
     "installed.bin staged.bin "},
    {"FolderDestination", "", 100, false, true, Fault::kNone, "denied", 0,
     "installed.bin staged.bin "},
    {"MissingFolder", "no\\such.bin", 100, false, true, Fault::kNone, "", 0,
     "installed.bin staged.bin "},
    {"Interrupted", "installed.bin", kChunk * 5 / 2, false, true, Fault::kInterrupted, "", 0,
     "installed.bin staged.bin "},
    {"ReadFailsMidCopy", "installed.bin", kChunk * 5 / 2, false, true, Fault::kReadFails,
     "Input/output error", 0, "installed.bin staged.bin "},
    {"ReadBackDiffers", "installed.bin", kChunk * 5 / 2, true, true, Fault::kReadBackDiffers,
     "differs", 0, "installed.bin staged.bin "},
};

void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }

class Win32CopyTest : public OnRigDrive, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(Win32CopyTest, LeavesTheVerifiedCopyOrTheOldFile) {
    const CopyCase& c = GetParam();
    std::string staged(c.staged_bytes, 's');
    for (std::size_t i = 0; i < staged.size(); i += 4093) {
        staged[i] = static_cast<char>(i / 4093);  // so that misplaced chunks show
    }
    WriteBytes(At("staged.bin"), staged);
    SetModifiedTicks(At("staged.bin"), kStagedTicks);
    WriteBytes(At("installed.bin"), "old contents");
    SetModifiedTicks(At("installed.bin"), kInstalledTicks);
    if (c.read_only) {
        ASSERT_TRUE(SetFileAttributesW(Wide(At("installed.bin")).c_str(), FILE_ATTRIBUTE_READONLY));
    }

    int calls = 0;
    const auto between_chunks = [&] {
        if (++calls == 2 && c.fault == Fault::kInterrupted) {
            throw PlatformError("PumpEvents", {}, "");
        }
    };
    const std::string destination = *c.destination != '\0' ? At(c.destination) : Folder();
    try {
        if (c.fault == Fault::kReadFails || c.fault == Fault::kReadBackDiffers) {
            FaultySteps steps(c.fault, At("staged.bin"), destination);
            platform::CopyVerified(steps, c.overwrite, between_chunks);
        } else {
            platform::win32::Win32FileSystem().CopyFile(At("staged.bin"), destination, c.overwrite,
                                                        between_chunks);
        }
        EXPECT_EQ(c.error, nullptr) << "the copy did not fail";
        EXPECT_EQ(calls, c.calls);
        EXPECT_TRUE(ReadBytes(destination) == staged);
        EXPECT_EQ(ModifiedTicks(destination), kStagedTicks);
        EXPECT_EQ(Attributes(destination) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), 0u);
    } catch (const PlatformError& error) {
        ASSERT_NE(c.error, nullptr) << error.what();
        EXPECT_NE(error.SystemMessage().find(c.error), std::string::npos) << error.what();
        if (c.fault != Fault::kInterrupted) {
            EXPECT_EQ(error.Paths(), (std::vector<std::string>{At("staged.bin"), destination}));
        }
        EXPECT_EQ(ReadBytes(At("installed.bin")), "old contents");
        EXPECT_EQ(ModifiedTicks(At("installed.bin")), kInstalledTicks);
    }
    std::string listing;
    for (const std::string& name : Names(Folder())) {
        listing += name + " ";
    }
    EXPECT_EQ(listing, c.listing);
}

INSTANTIATE_TEST_SUITE_P(Cases, Win32CopyTest, ::testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace velno::win32::testing
