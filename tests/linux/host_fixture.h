#pragma once

// A Linux host over real temporary folders: "drive" stands for a mounted
// volume (listed in a mountinfo file of the test's own), "app" is the
// application folder.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fake/error_of.h"
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

}  // namespace velno::linux_test
