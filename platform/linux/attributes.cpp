#include "platform/linux/attributes.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/contract.h"
#include "platform/errors.h"
#include "platform/linux/file_io.h"
#include "platform/linux/system_error.h"

namespace velno::platform::linux_host {

namespace {

constexpr unsigned kContractBits = kAttrReadOnly | kAttrHidden | kAttrSystem;
static_assert(kAttrReadOnly == ATTR_RO && kAttrHidden == ATTR_HIDDEN && kAttrSystem == ATTR_SYS,
              "the contract's attribute bits are FAT's");

struct Target {
    struct stat info {};
    bool on_fat = false;
};

Target Inspect(const std::string& native, const std::string& text, const std::string& operation) {
    Target target;
    struct statfs volume {};
    if (::stat(native.c_str(), &target.info) != 0 || ::statfs(native.c_str(), &volume) != 0) {
        ThrowSystemError(operation, {text}, errno);
    }
    target.on_fat = volume.f_type == MSDOS_SUPER_MAGIC;
    return target;
}

FileDescriptor OpenForIoctl(const std::string& native, const std::string& text,
                            const std::string& operation) {
    FileDescriptor fd(::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        ThrowSystemError(operation, {text}, errno);
    }
    return fd;
}

std::uint32_t FatAttributes(int fd, const std::string& text, const std::string& operation) {
    std::uint32_t attributes = 0;
    if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0) {
        ThrowSystemError(operation, {text}, errno);
    }
    return attributes;
}

bool HasNoWriteBits(const struct stat& info) { return (info.st_mode & 0222) == 0; }

}  // namespace

unsigned ReadAttributes(const std::string& native, const std::string& text,
                        const std::string& operation) {
    const Target target = Inspect(native, text, operation);
    unsigned bits = HasNoWriteBits(target.info) ? unsigned{kAttrReadOnly} : 0U;
    if (target.on_fat) {
        const FileDescriptor fd = OpenForIoctl(native, text, operation);
        bits |= FatAttributes(fd.get(), text, operation) & kContractBits;
    }
    return bits;
}

void WriteAttributes(const std::string& native, const std::string& text, unsigned bits) {
    static const std::string kOperation = "SetAttributes";
    const Target target = Inspect(native, text, kOperation);
    if (target.on_fat) {
        // Keeps the directory and archive bits; the kernel turns read-only
        // into the file's write permission itself.
        const FileDescriptor fd = OpenForIoctl(native, text, kOperation);
        const std::uint32_t old_attributes = FatAttributes(fd.get(), text, kOperation);
        std::uint32_t new_attributes = (old_attributes & ~kContractBits) | (bits & kContractBits);
        if (new_attributes == old_attributes ||
            ::ioctl(fd.get(), FAT_IOCTL_SET_ATTRIBUTES, &new_attributes) == 0) {
            return;
        }
        // The owner of a kernel FAT mount may set and clear every one of
        // these bits. A volume mounted with sys_immutable refuses any change
        // to an entry that has or gets the system bit, even to root: that is
        // reported, never passed over, so that a run stops at its first
        // change instead of going on with a system folder it cannot protect.
        const int error = errno;
        if (error == EPERM && ((old_attributes | new_attributes) & ATTR_SYS) != 0) {
            throw PlatformError(kOperation, {text},
                                std::string(std::strerror(error)) +
                                    " (the volume does not let the system attribute change; "
                                    "it may be mounted with the option sys_immutable)");
        }
        ThrowSystemError(kOperation, {text}, error);
    }
    const bool want_read_only = (bits & kAttrReadOnly) != 0;
    if (want_read_only == HasNoWriteBits(target.info)) {
        return;
    }
    const mode_t mode =
        want_read_only ? (target.info.st_mode & ~mode_t{0222}) : (target.info.st_mode | S_IWUSR);
    if (::chmod(native.c_str(), mode & 07777) != 0) {
        ThrowSystemError(kOperation, {text}, errno);
    }
}

}  // namespace velno::platform::linux_host
