#pragma once

// A FAT32 volume for end-to-end tests: an image made with mkfs.fat, filled
// with mtools before mounting (fusefat's write support is partial) and
// mounted with fusefat (FUSE, as root) in a mount namespace of this process.

#include <sys/types.h>

#include <string>

#include "fault/fault_matrix.h"
#include "platform/contract.h"

namespace velno::linux_test {

// Empty when FUSE volumes can be used here, otherwise why not.
std::string FuseFatUnavailable();

// Moves this process into a private mount namespace (once), so that its
// mounts and unmounts are seen by no other process. False when that failed.
bool UsePrivateMountNamespace();

// Unmounts every VELNO volume the host lists from this process's private
// view, so that detection can find only the test's own. False when one is
// listed and there is no private view to lose it from.
bool HideOtherInstruments(platform::Platform& host);

class FuseFatVolume {
public:
    FuseFatVolume(const std::string& folder, const std::string& label,
                  const std::string& volume_id);
    FuseFatVolume(const FuseFatVolume&) = delete;
    FuseFatVolume& operator=(const FuseFatVolume&) = delete;
    ~FuseFatVolume() { Unmount(); }

    // mtools on the unmounted image; paths like "::/system/data".
    void MakeFolder(const std::string& path) const;
    void Put(const std::string& local_file, const std::string& path) const;
    // The seed's instrument folders and files, with their times.
    void PutInstrument(const fault_test::Seed& seed) const;
    // Every file and folder of the image, one "::/path" a line, sorted.
    std::string Listing() const;
    // fsck.fat -n finds nothing to repair.
    bool Consistent() const;

    // False when the mount did not appear.
    bool Mount();
    // Also waits for fusefat to end: only then is the image complete.
    void Unmount();
    // As when the cable is pulled: the volume goes at once (a lazy unmount)
    // and so does its mount point; Mount() brings both back.
    void Vanish();

    const std::string& image() const { return image_; }
    const std::string& mount_point() const { return mount_point_; }

private:
    std::string Mtools(const std::string& command) const;

    std::string image_;
    std::string mount_point_;
    pid_t daemon_ = -1;
};

}  // namespace velno::linux_test
