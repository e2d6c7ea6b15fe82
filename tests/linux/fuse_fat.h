#pragma once

// A real FAT volume for end-to-end tests: an image made with mkfs.fat,
// filled with mtools and mounted with fusefat (FUSE, as root).
//
// fusefat's write support is partial (see the test rig notes): the rig
// therefore fills the image with mtools before mounting, waits for the
// fusefat process to end after unmounting before it checks the image, and
// keeps its mounts in a mount namespace of its own so that no other process
// sees them.

#include <sys/types.h>

#include <string>

namespace velno::linux_test {

// Empty when FUSE volumes can be used here, otherwise why not.
std::string FuseFatUnavailable();

// Moves this process into a private mount namespace (once): its mounts and
// unmounts are then seen by no other process. False when that failed.
bool UsePrivateMountNamespace();

class FuseFatVolume {
public:
    // Makes a FAT32 image with the label and volume id in the folder.
    FuseFatVolume(const std::string& folder, const std::string& label,
                  const std::string& volume_id);
    FuseFatVolume(const FuseFatVolume&) = delete;
    FuseFatVolume& operator=(const FuseFatVolume&) = delete;
    ~FuseFatVolume();

    // mtools on the unmounted image; paths like "::/system/data".
    void MakeFolder(const std::string& path) const;
    void Put(const std::string& local_file, const std::string& path) const;
    std::string Type(const std::string& path) const;
    // Every file and folder of the image, one "::/path" a line, sorted.
    std::string Listing() const;
    // fsck.fat -n: true when the volume is consistent.
    bool Consistent() const;

    // Mounts the image read-write; returns false when the mount did not
    // appear.
    bool Mount();
    void Unmount();

    const std::string& image() const { return image_; }
    const std::string& mount_point() const { return mount_point_; }

private:
    std::string Mtools(const std::string& command) const;

    std::string image_;
    std::string mount_point_;
    pid_t daemon_ = -1;
};

}  // namespace velno::linux_test
