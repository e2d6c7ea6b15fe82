#include "platform/win32/native_path.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "fake/error_of.h"

namespace velno::platform::win32 {
namespace {

TEST(NativePath, ResolvesBelowItsRootAndNeverAboveIt) {
    const std::pair<std::string, std::wstring> cases[] = {
        {"E:\\system\\data\\a.bin", L"\\\\?\\E:\\system\\data\\a.bin"},
        {"E:\\system\\..\\..\\..\\Windows\\x", L"\\\\?\\E:\\Windows\\x"},
        {"E:\\.\\a//b\\\\c\\.\\", L"\\\\?\\E:\\a\\b\\c"},
        {"E:/a/b", L"\\\\?\\E:\\a\\b"},
        {"E:", L"\\\\?\\E:\\"},
        {"E:\\..", L"\\\\?\\E:\\"},
        {"\\\\server\\share\\..\\..\\d\\a.bin", L"\\\\?\\UNC\\server\\share\\d\\a.bin"},
        {"\\\\?\\C:\\Upd\\..\\x", L"\\\\?\\C:\\x"},
        {"\\\\?\\UNC\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
        {"E:\\\xC3\x9C\\\xE6\x97\xA5.bin", L"\\\\?\\E:\\\u00DC\\\u65E5.bin"},
        {"E:\\CON", L"\\\\?\\E:\\CON"},
        {"E:\\system \\a.bin. \\...\\.. .\\b", L"\\\\?\\E:\\system\\a.bin\\b"},
    };
    for (const auto& [logic, native] : cases) {
        EXPECT_EQ(NativePath("t", logic), native) << logic;
    }
    EXPECT_EQ(LogicPath(L"\\\\?\\C:\\Upd\\u.exe"), "C:\\Upd\\u.exe");
    EXPECT_EQ(LogicPath(L"\\\\?\\UNC\\s\\d\\u.exe"), "\\\\s\\d\\u.exe");
    EXPECT_EQ(LogicPath(L"C:\\\u00DC"), "C:\\\xC3\x9C");
}

TEST(NativePath, AShareWithoutItsNameIsRefusedWithTheOperationAndPath) {
    const auto error = velno::testing::ErrorOf([] { NativePath("FileExists", "\\\\server"); });
    EXPECT_EQ(error.Operation(), "FileExists");
    EXPECT_EQ(error.Paths(), std::vector<std::string>{"\\\\server"});
    EXPECT_FALSE(error.SystemMessage().empty());
}

}  // namespace
}  // namespace velno::platform::win32
