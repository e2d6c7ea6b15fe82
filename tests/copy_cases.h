#pragma once

// The cases both hosts' copy tests run, and a host's copy primitives with a
// fault where a real device would have one: a read of the source that fails
// half-way, or a read-back that returns other bytes than were written.

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <span>
#include <string>
#include <utility>

#include "platform/copy_engine.h"

namespace velno::copy_cases {

enum class Fault { kNone, kInterrupted, kReadFails, kReadBackDiffers };

template <class Steps>
class FaultySteps : public Steps {
public:
    template <class... Args>
    explicit FaultySteps(Fault fault, Args&&... args)
        : Steps(std::forward<Args>(args)...), fault_(fault) {}

    std::size_t ReadSource(std::span<char> buffer) override {
        if (fault_ == Fault::kReadFails && ++reads_ == 2) {
            this->Fail("Input/output error");
        }
        return Steps::ReadSource(buffer);
    }
    std::size_t ReadBack(std::span<char> buffer) override {
        const std::size_t count = Steps::ReadBack(buffer);
        if (fault_ == Fault::kReadBackDiffers && count > 0) {
            buffer[count - 1] ^= 1;
        }
        return count;
    }

private:
    Fault fault_;
    int reads_ = 0;
};

struct CopyCase {
    const char* name;
    const char* destination;   // below the test's folder, whose "data\a.bin" is old
    std::size_t staged_bytes;  // kNoStagedFile: there is none
    bool read_only;            // "data\a.bin"
    bool overwrite;
    Fault fault;
    // Part of the failure's message on each host; none when the copy succeeds.
    const char* linux_error;
    const char* windows_error;
    int calls;            // of the callback, on success
    const char* listing;  // of "data" afterwards
};

inline void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }

inline constexpr std::size_t kChunk = platform::kCopyChunkBytes;
inline constexpr std::size_t kNoStagedFile = static_cast<std::size_t>(-1);
inline constexpr CopyCase kCases[] = {
    {"NewFile", "DATA\\new.bin", kChunk * 5 / 2, false, false, Fault::kNone, nullptr, nullptr, 5,
     "a.bin new.bin"},
    {"NewEmptyFile", "data\\new.bin", 0, false, false, Fault::kNone, nullptr, nullptr, 0,
     "a.bin new.bin"},
    {"ReplaceOlder", "data\\A.BIN", kChunk * 2, false, true, Fault::kNone, nullptr, nullptr, 3,
     "a.bin"},
    {"ReplaceReadOnly", "data\\a.bin", 100, true, true, Fault::kNone, nullptr, nullptr, 1, "a.bin"},
    {"ExistingWithoutOverwrite", "data\\a.bin", 100, false, false, Fault::kNone, "File exists",
     "exists", 0, "a.bin"},
    {"FolderDestination", "data", 100, false, true, Fault::kNone, "Is a directory", "denied", 0,
     "a.bin"},
    {"MissingFolder", "none\\a.bin", 100, false, true, Fault::kNone, "No such file", "", 0,
     "a.bin"},
    {"MissingSource", "data\\a.bin", kNoStagedFile, false, true, Fault::kNone, "No such file", "",
     0, "a.bin"},
    {"Interrupted", "data\\a.bin", kChunk * 5 / 2, false, true, Fault::kInterrupted, "", "", 0,
     "a.bin"},
    {"ReadFailsMidCopy", "data\\a.bin", kChunk * 5 / 2, false, true, Fault::kReadFails,
     "Input/output error", "Input/output error", 0, "a.bin"},
    {"ReadBackDiffers", "data\\a.bin", kChunk * 5 / 2, true, true, Fault::kReadBackDiffers,
     "differs", "differs", 0, "a.bin"},
};

// The staged file's bytes, marked so that a misplaced chunk shows.
inline std::string StagedBytes(std::size_t size) {
    std::string staged(size == kNoStagedFile ? 0 : size, 's');
    for (std::size_t i = 0; i < staged.size(); i += 4093) {
        staged[i] = static_cast<char>(i / 4093);
    }
    return staged;
}

// The callback of a case's copy: counts the calls, and ends the copy at the
// second when the case says so.
inline auto CountingCallback(const CopyCase& c, int& calls) {
    return [&c, &calls] {
        if (++calls == 2 && c.fault == Fault::kInterrupted) {
            throw platform::PlatformError("PumpEvents", {}, "");
        }
    };
}

inline bool Faulty(const CopyCase& c) {
    return c.fault == Fault::kReadFails || c.fault == Fault::kReadBackDiffers;
}

}  // namespace velno::copy_cases
