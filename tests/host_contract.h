#pragma once

// The platform contract as both hosts must keep it, tested once: each host's
// test program defines MakeHostRig, a host over a scratch folder on its
// instrument's volume and a folder of the application's, with file helpers
// that use the system directly, not the code under test.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "platform/copy_engine.h"

namespace velno::host_test {

// Writes the file, making its folders; seconds since 1970, 0: now. Both
// hosts' std::filesystem serve here: mingw's, which keeps whole seconds only
// and no long paths, is given short paths and whole seconds.
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes,
                      long long seconds = 0) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    if (seconds != 0) {
        std::filesystem::last_write_time(
            path,
            std::chrono::file_clock::from_sys(platform::DateTime(std::chrono::seconds(seconds))));
    }
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// "content@seconds[.nanoseconds]": a file as a rig's Entries() describes it.
inline std::string Described(const std::string& content, platform::DateTime time) {
    const auto since = time.time_since_epoch();
    const auto fraction = (since % std::chrono::seconds(1)).count();
    return content + "@" + std::to_string(since / std::chrono::seconds(1)) +
           (fraction ? std::string(".").append(std::to_string(fraction)) : "");
}

// A fault where a real device would have one: the callback ending the copy,
// a read of the source failing half-way, a read-back that differs, a device
// that stalls (its first read waits, up to 10 s, until the window has had a
// turn), and one that stalls while the window's turn ends the copy.
enum class Fault { kNone, kInterrupted, kReadFails, kReadBackDiffers, kStalls, kStallInterrupted };

// The window's turns during the copy under test.
inline std::atomic<int> turns_taken{0};

// A host's copy primitives with the fault.
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
        const bool stalls = fault_ == Fault::kStalls || fault_ == Fault::kStallInterrupted;
        for (int waited = 0; stalls && turns_taken == 0 && waited < 10'000; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
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

// Paths given to the rig are the logic's own texts below Drive() or App(),
// in the case the files were made with.
class HostRig {
public:
    virtual ~HostRig() = default;
    virtual platform::Platform& Host() = 0;
    // The drive's path as Drives() gives it; a scratch folder one level below
    // its root; a folder the host accepts as the application's.
    virtual std::string DrivePath() = 0;
    virtual std::string Drive() = 0;
    virtual std::string App() = 0;
    // Writes the file, making its folders; seconds since 1970, 0: now.
    virtual void Write(const std::string& path, const std::string& bytes,
                       long long seconds = 0) = 0;
    virtual void MakeFolder(const std::string& path) = 0;
    // Every entry below the folder: "a/b/" -> "" for a folder, "a/b" ->
    // "content@seconds[.nanoseconds]" for a file; "#" and the attributes
    // after each where asked.
    virtual std::map<std::string, std::string> Entries(const std::string& folder,
                                                       bool attributes = false) = 0;
    // Whether the volume keeps a time's odd seconds (FAT keeps 2 s steps).
    virtual bool KeepsOddSeconds() = 0;
    // What GetFolder(asked)->Path() gives for the folder made as `made`.
    virtual std::string FolderPath(const std::string& asked, const std::string& made) = 0;
    // The attribute bits the volume holds, and those of the entry.
    virtual unsigned HeldAttributes() = 0;
    virtual unsigned Attributes(const std::string& path) = 0;
    virtual std::unique_ptr<platform::CopySteps> FaultyCopy(Fault fault, const std::string& source,
                                                            const std::string& destination) = 0;
};

// Nothing, with the reason in why_not, where the host cannot be tested here.
std::unique_ptr<HostRig> MakeHostRig(std::string& why_not);

}  // namespace velno::host_test
