#include "platform/errors.h"

namespace velno::platform {

namespace {

std::string Describe(const std::string& operation, const std::vector<std::string>& paths,
                     const std::string& system_message) {
    std::string text = operation;
    for (const std::string& path : paths) {
        text += " \"" + path + "\"";
    }
    text += ": " + system_message;
    return text;
}

}  // namespace

PlatformError::PlatformError(std::string operation, std::vector<std::string> paths,
                             std::string system_message)
    : std::runtime_error(Describe(operation, paths, system_message)),
      operation_(std::move(operation)),
      paths_(std::move(paths)),
      system_message_(std::move(system_message)) {}

std::string ErrorReportText(const PlatformError& error) {
    std::string text = "The operation " + error.Operation() + " failed.";
    if (!error.Paths().empty()) {
        text += "\n";
        for (const std::string& path : error.Paths()) {
            text += "\n" + path;
        }
    }
    text += "\n\n" + error.SystemMessage() + "\n\nThe updater will now close.";
    return text;
}

}  // namespace velno::platform
