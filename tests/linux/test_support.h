#pragma once

// Real temporary folders and files for the Linux host's tests.

#include <filesystem>
#include <map>
#include <string>

#include "host_contract.h"

namespace velno::linux_test {

// A fresh folder below the parent (by default the temporary folder, which TMPDIR
// may put on the volume under test), removed with all it holds at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& parent = "");
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

using host_test::ReadFile;
using host_test::WriteFile;
// Every entry below the folder: "a/b/" -> "" for a folder, "a/b" -> "content@
// seconds[.nanoseconds]" for a file, "#" and FatAttributes() after each if asked.
std::map<std::string, std::string> Entries(const std::string& folder, bool attributes);
// The same of a FAT image, without attributes, as mtools reads it without
// mounting; a file mtools cannot read is "unreadable".
std::map<std::string, std::string> ImageEntries(const std::string& image);
// The read-only, hidden and system bits as the kernel's FAT driver reads
// them; elsewhere read-only alone, as the absence of write permission.
unsigned FatAttributes(const std::string& path);
void SetFatAttributes(const std::string& path, unsigned bits);
bool OnFat(const std::string& path);

// "major:minor" of the file system that holds the path, as mountinfo lists it.
std::string DeviceNumbers(const std::string& path);

// A shell command's exit status (-1: it did not exit), or its standard output.
int Shell(const std::string& command);
std::string Output(const std::string& command);
bool HaveProgram(const std::string& name);

}  // namespace velno::linux_test
