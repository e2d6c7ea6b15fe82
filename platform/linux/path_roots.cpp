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

// The name with the case of its ASCII letters swapped; the name itself when
// it has none.
std::string SwappedCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool SameEntry(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

void PathRoots::Add(const std::string& root, Kind kind, std::optional<dev_t> volume) {
    const std::string clean = WithoutTrailingSeparators(root);
    const std::lock_guard lock(mutex_);
    const auto known =
        std::find_if(roots_.begin(), roots_.end(), [&](const Root& r) { return r.path == clean; });
    if (known == roots_.end()) {
        roots_.push_back({clean, kind, volume});
    } else if (kind == Kind::kDrive) {
        known->kind = kind;
        known->volume = volume;
    }
}

std::string PathRoots::Resolve(const std::string& operation, const std::string& text) const {
    return ResolveEntry(operation, text).native;
}

PathRoots::Resolved PathRoots::ResolveEntry(const std::string& operation,
                                            const std::string& text) const {
    // A name never holds a NUL; the system would take the path as ending
    // there and act on another file than the one named.
    if (text.find('\0') != std::string::npos) {
        ThrowSystemError(operation, {text}, EINVAL);
    }
    Root root;
    std::optional<Root> mount;  // the drive whose volume the path lies on
    {
        const std::lock_guard lock(mutex_);
        const Root* deepest = nullptr;
        for (const Root& candidate : roots_) {
            if (StartsWithRoot(text, candidate.path, candidate.kind) &&
                (deepest == nullptr || candidate.path.size() > deepest->path.size())) {
                deepest = &candidate;
            }
        }
        if (deepest == nullptr) {
            throw PlatformError(
                operation, {text},
                "The path is not on the instrument's drive or in the program's folder");
        }
        root = *deepest;
        for (const Root& candidate : roots_) {
            if (!StartsWithRoot(text, candidate.path, candidate.kind)) {
                continue;
            }
            if (!StartsWithRoot(deepest->path, candidate.path, Kind::kFolder)) {
                throw PlatformError(
                    operation, {text},
                    "The path could name a place on the instrument's drive or one outside it");
            }
            // A folder inside a drive is on that drive's volume.
            if (candidate.volume && (!mount || candidate.path.size() > mount->path.size())) {
                mount = candidate;
            }
        }
    }
    if (mount) {
        struct stat mounted {};
        if (::stat(mount->path.c_str(), &mounted) != 0) {
            ThrowSystemError(operation, {text}, errno);
        }
        if (mounted.st_dev != *mount->volume) {
            ThrowVolumeGone(operation, {text});
        }
    }
    Resolved resolved{
        .native = root.path, .entry = std::nullopt, .volume = mount ? mount->volume : std::nullopt};
    std::string& native = resolved.native;
    bool folder_exists = true;
    const std::vector<std::string> components =
        ResolveBelowRoot(std::string_view(text).substr(root.path.size()));
    for (std::size_t i = 0; i < components.size(); ++i) {
        const std::string& component = components[i];
        const bool last = i + 1 == components.size();
        const std::string folder = native;
        if (!IsSeparator(native.back())) {
            native += '/';
        }
        if (folder_exists && !last && IsFoundFolder(native + component)) {
            native += component;
            continue;
        }
        struct stat info {};
        if (folder_exists && ::lstat((native + component).c_str(), &info) != 0) {
            const bool missing = errno == ENOENT;
            const std::string found = FindNameIgnoringCase(folder, component);
            if (found.empty()) {
                folder_exists = false;  // nothing below a missing entry exists either
                resolved.absent = missing;
            } else {
                native += found;
                continue;
            }
        } else if (folder_exists && last) {
            resolved.entry = info;
        } else if (folder_exists && S_ISDIR(info.st_mode)) {
            const std::lock_guard lock(mutex_);
            found_folders_.insert(native + component);
        }
        native += component;
    }
    return resolved;
}

std::string PathRoots::FindNameIgnoringCase(const std::string& folder,
                                            const std::string& name) const {
    const std::lock_guard lock(mutex_);
    auto listing = listings_.find(folder);
    if (listing == listings_.end()) {
        struct stat info {};
        const std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(folder.c_str()), ::closedir);
        if (!entries || ::fstat(::dirfd(entries.get()), &info) != 0) {
            return {};
        }
        ++folders_read_;
        Listing read{.device = static_cast<std::uint64_t>(info.st_dev), .names = {}};
        while (const dirent* entry = ::readdir(entries.get())) {
            read.names[FoldCase(entry->d_name)].emplace_back(entry->d_name);
        }
        // Whether the driver ignores case shows on the first name with
        // letters whose swapped form is no entry of its own.
        if (!ignores_case_.contains(read.device)) {
            for (const auto& [upper, names] : read.names) {
                const std::string swapped = SwappedCase(names.front());
                if (names.size() == 1 && swapped != names.front()) {
                    ignores_case_[read.device] =
                        SameEntry(folder + "/" + names.front(), folder + "/" + swapped);
                    break;
                }
            }
        }
        listing = listings_.emplace(folder, std::move(read)).first;
    }
    const auto ignores = ignores_case_.find(listing->second.device);
    if (ignores != ignores_case_.end() && ignores->second) {
        return {};  // absent with its exact case, so absent in every case
    }
    std::vector<std::string>& candidates = listing->second.names[FoldCase(name)];
    std::string best;
    for (const std::string& candidate : candidates) {
        struct stat info {};
        if (candidate != name && (best.empty() || candidate < best) &&
            ::lstat((folder + "/" + candidate).c_str(), &info) == 0) {
            best = candidate;
        }
    }
    // The caller may create the absent name: it is confirmed when asked for.
    if (best.empty() && std::find(candidates.begin(), candidates.end(), name) == candidates.end()) {
        candidates.push_back(name);
    }
    return best;
}

bool PathRoots::IsFoundFolder(const std::string& native) const {
    const std::lock_guard lock(mutex_);
    return found_folders_.contains(native);
}

long PathRoots::FoldersRead() const {
    const std::lock_guard lock(mutex_);
    return folders_read_;
}

}  // namespace velno::platform::linux_host
