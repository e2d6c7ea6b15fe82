#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace velno::platform {

// A platform operation that failed. Carries the operation's name, the path(s)
// it was given and the system's own message, so the front end can show one
// error report that says exactly what failed.
class PlatformError : public std::runtime_error {
public:
    PlatformError(std::string operation, std::vector<std::string> paths,
                  std::string system_message);

    const std::string& Operation() const noexcept { return operation_; }
    const std::vector<std::string>& Paths() const noexcept { return paths_; }
    const std::string& SystemMessage() const noexcept { return system_message_; }

private:
    std::string operation_;
    std::vector<std::string> paths_;
    std::string system_message_;
};

// Thrown by EndProgram. It is deliberately not a std::exception so that no
// handler meant for failures swallows it; it unwinds to the event boundary,
// where the front end closes the window and quits.
class ProgramEnded {};

// The text of the error report for a failed operation.
std::string ErrorReportText(const PlatformError& error);

}  // namespace velno::platform
