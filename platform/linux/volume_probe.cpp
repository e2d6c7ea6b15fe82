#include "platform/linux/volume_probe.h"

#include <blkid/blkid.h>
#include <libudev.h>

#include <cctype>
#include <memory>

namespace velno::platform::linux_host {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view OrEmpty(const char* text) { return text == nullptr ? std::string_view{} : text; }

}  // namespace

std::int32_t SerialFromUuid(std::string_view uuid) {
    std::string digits;
    for (const char c : uuid) {
        if (c == '-') {
            continue;
        }
        if (HexValue(c) < 0) {
            return 0;
        }
        digits += c;
    }
    if (digits.size() != 8 && digits.size() != 16) {
        return 0;
    }
    std::uint32_t value = 0;
    for (const char c : std::string_view(digits).substr(digits.size() - 8)) {
        value = (value << 4) | static_cast<std::uint32_t>(HexValue(c));
    }
    return static_cast<std::int32_t>(value);
}

VolumeInfo VolumeInfoFromValues(std::string_view type, std::string_view version,
                                std::string_view label, std::string_view uuid) {
    VolumeInfo info;
    info.label = std::string(label);
    info.serial = SerialFromUuid(uuid);
    if (type == "vfat" || type == "msdos") {
        info.fat_version = version.empty() ? std::string("FAT") : std::string(version);
    }
    return info;
}

std::string DecodeUdevEscapes(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            HexValue(text[i + 2]) >= 0 && HexValue(text[i + 3]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<VolumeInfo> ProbeVolume(const std::string& device_or_image) {
    const std::unique_ptr<blkid_struct_probe, void (*)(blkid_probe)> probe(
        blkid_new_probe_from_filename(device_or_image.c_str()), blkid_free_probe);
    if (!probe) {
        return std::nullopt;
    }
    blkid_probe_enable_superblocks(probe.get(), 1);
    // Only FAT is looked for: the other file systems' signatures lie all
    // over a device, up to its end, and the instrument holds none of them.
    char fat[] = "vfat";
    char* only_fat[] = {fat, nullptr};
    blkid_probe_filter_superblocks_type(probe.get(), BLKID_FLTR_ONLYIN, only_fat);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE |
                                                       BLKID_SUBLKS_UUID | BLKID_SUBLKS_VERSION);
    if (blkid_do_safeprobe(probe.get()) != 0) {
        return std::nullopt;
    }
    const auto value = [&probe](const char* name) {
        const char* data = nullptr;
        return blkid_probe_lookup_value(probe.get(), name, &data, nullptr) == 0
                   ? OrEmpty(data)
                   : std::string_view{};
    };
    return VolumeInfoFromValues(value("TYPE"), value("VERSION"), value("LABEL"), value("UUID"));
}

std::optional<VolumeInfo> QueryUdev(dev_t device) {
    const std::unique_ptr<udev, udev* (*)(udev*)> context(udev_new(), udev_unref);
    if (!context) {
        return std::nullopt;
    }
    const std::unique_ptr<udev_device, udev_device* (*)(udev_device*)> entry(
        udev_device_new_from_devnum(context.get(), 'b', device), udev_device_unref);
    if (!entry) {
        return std::nullopt;
    }
    const auto value = [&entry](const char* name) {
        return OrEmpty(udev_device_get_property_value(entry.get(), name));
    };
    const std::string_view type = value("ID_FS_TYPE");
    if (type.empty()) {
        return std::nullopt;
    }
    return VolumeInfoFromValues(type, value("ID_FS_VERSION"),
                                DecodeUdevEscapes(value("ID_FS_LABEL_ENC")), value("ID_FS_UUID"));
}

}  // namespace velno::platform::linux_host
