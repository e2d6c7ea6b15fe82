#pragma once

// A host's copy primitives with a fault where a real device would have one:
// a read of the source that fails half-way, or a read-back that returns
// other bytes than were written.

#include <cstddef>
#include <span>
#include <utility>

namespace velno::copy_faults {

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

}  // namespace velno::copy_faults
