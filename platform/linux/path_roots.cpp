#include "platform/linux/path_roots.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/errors.h"
#include "platform/linux/system_error.h"
#include "platform/path_text.h"

namespace velno::platform::linux_host {

namespace {

std::string WithoutTrailingSeparators(std::string root) {
    while (root.size() > 1 && IsSeparator(root.back())) {
        root.pop_back();
    }
    return root;
}

bool StartsWithRoot(const std::string& text, const std::string& root, PathRoots::Kind kind) {
    if (root.empty() || text.compare(0, root.size(), root) != 0) {
        return false;
    }
    return kind == PathRoots::Kind::kDrive || text.size() == root.size() ||
           IsSeparator(root.back()) || IsSeparator(text[root.size()]);
}

}  // namespace

void PathRoots::Add(const std::string& root, Kind kind) {
    const std::string clean = WithoutTrailingSeparators(root);
    const std::lock_guard lock(mutex_);
    const auto known =
        std::find_if(roots_.begin(), roots_.end(), [&](const Root& r) { return r.path == clean; });
    if (known == roots_.end()) {
        roots_.push_back({clean, kind});
    } else if (kind == Kind::kDrive) {
        known->kind = kind;
    }
}

std::string PathRoots::Resolve(const std::string& operation, const std::string& text) const {
    // A name never holds a NUL; the system would take the path as ending
    // there and act on another file than the one named.
    if (text.find('\0') != std::string::npos) {
        ThrowSystemError(operation, {text}, EINVAL);
    }
    std::string root;
    {
        const std::lock_guard lock(mutex_);
        for (const Root& candidate : roots_) {
            if (candidate.path.size() > root.size() &&
                StartsWithRoot(text, candidate.path, candidate.kind)) {
                root = candidate.path;
            }
        }
    }
    if (root.empty()) {
        throw PlatformError(operation, {text},
                            "The path is not on the instrument's drive or in the program's folder");
    }
    std::string native = root;
    bool folder_exists = true;
    for (const std::string& component :
         ResolveBelowRoot(std::string_view(text).substr(root.size()))) {
        const std::string folder = native;
        if (!IsSeparator(native.back())) {
            native += '/';
        }
        struct stat info {};
        if (folder_exists && ::lstat((native + component).c_str(), &info) != 0) {
            const std::string found = FindNameIgnoringCase(folder, component);
            if (found.empty()) {
                folder_exists = false;  // nothing below a missing entry exists either
            } else {
                native += found;
                continue;
            }
        }
        native += component;
    }
    return native;
}

std::string FindNameIgnoringCase(const std::string& folder, const std::string& name) {
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
    if (!listing) {
        return {};
    }
    std::string best;
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string candidate = entry->d_name;
        if (EqualsIgnoreCase(candidate, name) && (best.empty() || candidate < best)) {
            best = candidate;
        }
    }
    return best;
}

}  // namespace velno::platform::linux_host
