#pragma once

// Turns the logic's path text into native paths, confined below the roots
// the host has handed out: the mount points of drives whose Path or
// RootFolder was read, and the application folder.
//
// A path text must lie within one of those roots. A folder root holds the
// texts that continue it with a separator or nothing. A drive root holds
// every text that begins with it: the logic joins a position-list line
// straight to the drive's path, and what follows is taken from the drive's
// root, as Windows takes "E:2\x.bin" as "E:\2\x.bin". When several roots hold
// a text, the deepest wins if it lies within the others by whole components
// (a drive inside the program's folder); otherwise the text could name two
// unrelated places ("<mount>2/upd" below the drive, or the program's folder
// "<mount>2/upd" beside it) and is refused. The rest is resolved
// lexically below that root ("\" and "/" separate, "." is dropped, ".." never climbs above the
// root), and each component that does not exist with its exact case is looked up
// case-insensitively, as FAT and Windows find names. A path under no known root is refused with
// PlatformError: the updater has no business anywhere else.
//
// A drive root added with its volume's device number is the instrument's
// only while that volume is the one mounted there: when it has gone and its
// mount point stays (a lazy unmount, an fstab mount), the mount point names
// a folder of another file system, and every path below it is refused as
// gone. The check is a stat of the mount point before the path is handed
// out, so no operation starts on another file system; one that starts in
// the microseconds between the check and its system call is not caught.
//
// The case-insensitive lookup reads each folder at most once for the life of
// the object (one update run), and remembers every absent name it hands out,
// which the caller may create; a remembered name is confirmed with one lstat.
// Where the volume's driver already ignores case (the kernel's FAT driver), a
// name absent with its exact case is absent in every case, and no folder of
// that volume is read again. A folder on the way to a name, once found with
// its exact case, is not looked up again: the run never removes a folder.

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace velno::platform::linux_host {

class PathRoots {
public:
    enum class Kind { kFolder, kDrive };

    // Adds a native folder path (no trailing separator, except "/"); a
    // drive's with the device number of the volume mounted there, if known.
    void Add(const std::string& root, Kind kind = Kind::kFolder,
             std::optional<dev_t> volume = std::nullopt);

    // The native path for the text; throws PlatformError naming the
    // operation when the text lies under no known root.
    std::string Resolve(const std::string& operation, const std::string& text) const;

    // The native path, and what lstat found there when the last component
    // was found with its exact case (empty otherwise), or that the path was
    // found absent (lstat said ENOENT, and no name of other case exists):
    // the caller need not ask the system again, which on a FUSE volume is a
    // round trip each, and one that the kernel does not remember for an
    // absent name. With it, the device number of the drive's volume, where
    // the path lies on a drive added with one.
    struct Resolved {
        std::string native;
        std::optional<struct stat> entry;
        bool absent = false;
        std::optional<dev_t> volume;
    };
    Resolved ResolveEntry(const std::string& operation, const std::string& text) const;

    // How many folders were read, for tests and benchmarks.
    long FoldersRead() const;

private:
    // The name of the entry of the folder that equals the name ignoring case
    // (the smallest in byte order when several do), or empty text when there
    // is none or the folder cannot be read. The caller has just found the
    // name absent with its own spelling, which is therefore not tried again.
    std::string FindNameIgnoringCase(const std::string& folder, const std::string& name) const;

    mutable std::mutex mutex_;
    struct Root {
        std::string path;
        Kind kind;
        std::optional<dev_t> volume;
    };
    std::vector<Root> roots_;

    // A folder's names by their upper-case form: those it held when read,
    // and those handed out absent since.
    struct Listing {
        std::uint64_t device = 0;
        std::unordered_map<std::string, std::vector<std::string>> names;
    };
    mutable std::unordered_map<std::string, Listing> listings_;  // by native folder
    // Per device: true when its driver finds names ignoring case.
    mutable std::map<std::uint64_t, bool> ignores_case_;
    mutable long folders_read_ = 0;
    // Folders found with their exact case on the way to a name.
    mutable std::unordered_set<std::string> found_folders_;
    bool IsFoundFolder(const std::string& native) const;
};

}  // namespace velno::platform::linux_host
