#pragma once

// A Linux host over real temporary folders: "drive" stands for a mounted
// volume (listed in a mountinfo file of the test's own), "app" is the
// application folder.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/linux/linux_platform.h"
#include "test_support.h"

namespace velno::linux_test {

class HostFixture : public ::testing::Test {
protected:
    HostFixture();

    std::string Drive(const std::string& rest = "") const { return drive_ + rest; }
    std::string App(const std::string& rest = "") const { return app_ + rest; }

    TempFolder temp_;
    std::string drive_;
    std::string app_;
    platform::linux_host::LinuxPlatform host_;
    std::unique_ptr<platform::FileSystemObject> fs_;
    platform::Runtime& runtime_;
};

// Runs the statement and expects PlatformError naming the operation, with
// the system's message containing the text.
#define EXPECT_PLATFORM_ERROR(statement, operation, message_part)                  \
    do {                                                                           \
        try {                                                                      \
            statement;                                                             \
            ADD_FAILURE() << #statement " did not throw";                          \
        } catch (const ::velno::platform::PlatformError& error) {                  \
            EXPECT_EQ(error.Operation(), operation);                               \
            EXPECT_NE(error.SystemMessage().find(message_part), std::string::npos) \
                << error.SystemMessage();                                          \
        }                                                                          \
    } while (false)

}  // namespace velno::linux_test
