#include "platform/host_runtime.h"

namespace velno::platform {

std::string HostRuntime::FirstMatch(const std::string& pattern) {
    Starting("FirstMatch", {pattern});
    matches_.clear();
    next_match_ = 0;
    const std::string name_pattern = GetFileName(pattern);
    const auto wanted = [&](std::string_view name) { return WildcardMatch(name_pattern, name); };
    // Hidden and system files and folders never match.
    for (FolderEntry& entry : ListFolder(GetParentFolderName(pattern), wanted)) {
        if (entry.regular_file && (entry.attributes & (kAttrHidden | kAttrSystem)) == 0 &&
            wanted(entry.name)) {
            matches_.push_back(std::move(entry.name));
        }
    }
    return next_match_ < matches_.size() ? matches_[next_match_++] : std::string();
}

std::string HostRuntime::NextMatch() {
    Starting("NextMatch", {});
    return next_match_ < matches_.size() ? matches_[next_match_++] : std::string();
}

void HostRuntime::OpenTextInput(const std::string& path) {
    Starting("OpenTextInput", {path});
    // The program's one open file: opening another closes the first, also
    // when a failed run left it open.
    input_.Close();
    input_.Open(OpenForReading(path));
}

TextInput& HostRuntime::OpenInput(const char* operation) {
    Starting(operation, {});
    if (!input_.IsOpen()) {
        throw PlatformError(operation, {}, "No file is open for reading");
    }
    return input_;
}

std::string HostRuntime::ReadLine() { return OpenInput("ReadLine").ReadLine(); }

bool HostRuntime::AtEnd() { return OpenInput("AtEnd").AtEnd(); }

void HostRuntime::Rewind() { OpenInput("Rewind").Rewind(); }

void HostRuntime::CloseAll() {
    Starting("CloseAll", {});
    input_.Close();
}

}  // namespace velno::platform
