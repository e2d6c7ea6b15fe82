#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/contract.h"
#include "platform/linux/path_roots.h"
#include "platform/text_input.h"

namespace velno::platform::linux_host {

class LinuxRuntime : public Runtime {
public:
    // An empty application folder means the folder of the running
    // executable.
    LinuxRuntime(std::shared_ptr<PathRoots> roots, std::string application_folder);

    std::string ApplicationFolder() override;
    std::string FirstMatch(const std::string& pattern) override;
    std::string NextMatch() override;
    unsigned GetAttributes(const std::string& path) override;
    void SetAttributes(const std::string& path, unsigned bits) override;
    void RemoveFile(const std::string& path) override;
    DateTime FileModifiedTime(const std::string& path) override;
    void OpenTextInput(const std::string& path) override;
    std::string ReadLine() override;
    bool AtEnd() override;
    void Rewind() override;
    void CloseAll() override;
    void FlushDrive(const std::string& drive_path) override;

private:
    void RequireOpenInput(const std::string& operation) const;

    std::shared_ptr<PathRoots> roots_;
    std::string application_folder_;
    // The names FirstMatch listed, all read at once, so that moving matched
    // files away does not disturb the enumeration.
    std::vector<std::string> matches_;
    std::size_t next_match_ = 0;
    TextInput input_;
};

// The folder of /proc/self/exe.
std::string ExecutableFolder();

}  // namespace velno::platform::linux_host
