#include "platform/linux/system_error.h"

#include <cstring>

#include "platform/errors.h"

namespace velno::platform::linux_host {

void ThrowSystemError(const std::string& operation, std::vector<std::string> paths,
                      int error_number) {
    throw PlatformError(operation, std::move(paths), std::strerror(error_number));
}

void ThrowVolumeGone(const std::string& operation, std::vector<std::string> paths) {
    throw PlatformError(operation, std::move(paths), "The instrument's drive is no longer mounted");
}

}  // namespace velno::platform::linux_host
