#pragma once

// The application runtime's services on the Win32 API.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/contract.h"
#include "platform/text_input.h"

namespace velno::platform::win32 {

class Win32Runtime : public Runtime {
public:
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
    // Asks the configuration manager to prepare the drive's device for
    // removal, which a standard user may do and which writes out every
    // file system cache of it.
    bool PrepareForRemoval(const std::string& drive_path) override;

private:
    TextInput& OpenInput(const char* operation);

    // The names FirstMatch found, read in one go so that moving matched
    // files away does not disturb the enumeration.
    std::vector<std::string> matches_;
    std::size_t next_match_ = 0;
    TextInput input_;
};

}  // namespace velno::platform::win32
