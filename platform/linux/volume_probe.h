#pragma once

// What a volume says about itself: label, FAT version and serial number,
// read from its device or image with libblkid, or from the udev database
// when the device cannot be read (an ordinary desktop user cannot open
// /dev/sdb1).

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velno::platform::linux_host {

struct VolumeInfo {
    std::string label;
    // "FAT32", "FAT16" or "FAT12" for a FAT volume; empty for any other, so
    // that the caller uses the kernel's name of the mounted file system.
    std::string fat_version;
    std::int32_t serial = 0;
};

// Builds the volume's description from the values libblkid and udev use
// (TYPE, VERSION, LABEL, UUID).
VolumeInfo VolumeInfoFromValues(std::string_view type, std::string_view version,
                                std::string_view label, std::string_view uuid);

// The volume serial number in a UUID as libblkid writes it: "1A2B-3C4D" for
// FAT, sixteen digits for NTFS (whose low 32 bits are the serial); 0 for
// any other form.
std::int32_t SerialFromUuid(std::string_view uuid);

// Decodes the "\x20" escapes udev writes in ID_FS_LABEL_ENC.
std::string DecodeUdevEscapes(std::string_view text);

// Probes a device or image file with libblkid for a FAT file system. Empty
// when the file cannot be opened or holds no FAT file system.
std::optional<VolumeInfo> ProbeVolume(const std::string& device_or_image);

// Looks the block device up in the udev database. Empty when udev knows no
// file system on it.
std::optional<VolumeInfo> QueryUdev(dev_t device);

}  // namespace velno::platform::linux_host
