#pragma once

// The runtime services that every host provides alike: the match cursor of
// FirstMatch/NextMatch and the one open text input. A host supplies only
// the primitives below: listing a folder, and opening a file to read its
// bytes.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contract.h"
#include "platform/text_input.h"

namespace velno::platform {

// One entry of a folder listing.
struct FolderEntry {
    std::string name;
    bool regular_file = false;  // neither a folder nor anything else
    unsigned attributes = 0;    // AttributeBits; read for regular files only
};

class HostRuntime : public Runtime {
public:
    std::string FirstMatch(const std::string& pattern) final;
    std::string NextMatch() final;
    void OpenTextInput(const std::string& path) final;
    std::string ReadLine() final;
    bool AtEnd() final;
    void Rewind() final;
    void CloseAll() final;

protected:
    // The folder's entries whose names `wanted` accepts, in the host's
    // order; none when no folder of that path exists. Failures throw
    // PlatformError naming FirstMatch.
    virtual std::vector<FolderEntry> ListFolder(
        const std::string& folder, const std::function<bool(std::string_view)>& wanted) = 0;
    // Opens an existing file (never a folder) to read it from its first
    // byte. Failures throw PlatformError naming OpenTextInput and the path.
    virtual std::unique_ptr<ByteSource> OpenForReading(const std::string& path) = 0;
    // Told as each operation above starts, for a host that logs its calls.
    virtual void Starting(const std::string& /*operation*/,
                          const std::vector<std::string>& /*paths*/) {}

private:
    TextInput& OpenInput(const char* operation);

    // The names FirstMatch listed, all taken at once, so that moving matched
    // files away does not disturb the enumeration.
    std::vector<std::string> matches_;
    std::size_t next_match_ = 0;
    TextInput input_;
};

}  // namespace velno::platform
