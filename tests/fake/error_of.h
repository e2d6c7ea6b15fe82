#pragma once

#include <gtest/gtest.h>

#include "platform/errors.h"

namespace velno::testing {

// Runs the call and returns the PlatformError it throws; a call that throws
// none fails the test.
template <typename Call>
platform::PlatformError ErrorOf(Call&& call) {
    try {
        call();
    } catch (const platform::PlatformError& error) {
        return error;
    }
    ADD_FAILURE() << "no PlatformError";
    return platform::PlatformError("<none>", {}, "<none>");
}

}  // namespace velno::testing

// The statement throws a PlatformError from the operation, with the text in
// the system's message.
#define EXPECT_PLATFORM_ERROR(statement, operation, message_part)              \
    do {                                                                       \
        const auto error = ::velno::testing::ErrorOf([&] { statement; });      \
        EXPECT_EQ(error.Operation(), operation);                               \
        EXPECT_NE(error.SystemMessage().find(message_part), std::string::npos) \
            << error.SystemMessage();                                          \
    } while (false)
