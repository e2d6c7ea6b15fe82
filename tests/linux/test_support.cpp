#include "test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace velno::linux_test {

TempFolder::TempFolder(const std::string& parent) {
    std::string pattern =
        (parent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(parent)) /
        "velno-linux-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Read-only folders made by a test must not stop the clean-up.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& content, timespec modified) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    if (modified.tv_sec != 0 || modified.tv_nsec != 0) {
        const timespec times[2] = {modified, modified};
        if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
            throw std::runtime_error("utimensat failed on " + path);
        }
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

timespec ModifiedOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw std::runtime_error("stat failed on " + path);
    }
    return info.st_mtim;
}

std::string Snapshot(const std::string& folder, const std::string& except) {
    std::set<std::string> lines;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string path = entry.path().string();
        if (path.starts_with(except)) {
            continue;
        }
        std::string line = path.substr(folder.size() + 1);
        if (entry.is_directory()) {
            lines.insert(line + "/");
            continue;
        }
        const timespec time = ModifiedOf(path);
        const std::string content = entry.file_size() > 1024 ? "..." : ReadFile(path);
        lines.insert(line + "=" + content + "@" + std::to_string(time.tv_sec) + "." +
                     std::to_string(time.tv_nsec));
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            text.append(buffer, count);
        }
        ::pclose(pipe);
    }
    return text;
}

bool HaveProgram(const std::string& name) {
    return Shell("command -v " + name + " >/dev/null 2>&1") == 0;
}

}  // namespace velno::linux_test
