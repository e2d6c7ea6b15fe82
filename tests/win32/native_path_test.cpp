#include "platform/win32/native_path.h"

#include <gtest/gtest.h>

#include "platform/errors.h"

namespace velno::platform::win32 {
namespace {

TEST(NativePath, ResolvesBelowTheDriveRootAndNeverAboveIt) {
    EXPECT_EQ(NativePath("t", "E:\\system\\data\\a.bin"), L"\\\\?\\E:\\system\\data\\a.bin");
    EXPECT_EQ(NativePath("t", "E:\\..\\..\\x"), L"\\\\?\\E:\\x");
    EXPECT_EQ(NativePath("t", "E:\\system\\..\\..\\..\\Windows\\x"), L"\\\\?\\E:\\Windows\\x");
    EXPECT_EQ(NativePath("t", "E:\\.\\a//b\\\\c\\.\\"), L"\\\\?\\E:\\a\\b\\c");
    EXPECT_EQ(NativePath("t", "E:/a/b"), L"\\\\?\\E:\\a\\b");
}

TEST(NativePath, TheDriveAloneIsItsRootFolder) {
    EXPECT_EQ(NativePath("t", "E:"), L"\\\\?\\E:\\");
    EXPECT_EQ(NativePath("t", "E:\\"), L"\\\\?\\E:\\");
    EXPECT_EQ(NativePath("t", "E:\\.."), L"\\\\?\\E:\\");
}

TEST(NativePath, SharesAndExtendedPathsKeepTheirRoot) {
    EXPECT_EQ(NativePath("t", "\\\\server\\share\\..\\..\\d\\a.bin"),
              L"\\\\?\\UNC\\server\\share\\d\\a.bin");
    EXPECT_EQ(NativePath("t", "\\\\?\\C:\\Upd\\..\\x"), L"\\\\?\\C:\\x");
    EXPECT_EQ(NativePath("t", "\\\\?\\UNC\\server\\share\\x"), L"\\\\?\\UNC\\server\\share\\x");
}

TEST(NativePath, KeepsNonAsciiNamesAndDeviceNamesAsText) {
    EXPECT_EQ(NativePath("t", "E:\\\xC3\x9C\\\xE6\x97\xA5.bin"), L"\\\\?\\E:\\\u00DC\\\u65E5.bin");
    EXPECT_EQ(NativePath("t", "E:\\CON"), L"\\\\?\\E:\\CON");
}

TEST(NativePath, AShareWithoutItsNameIsRefusedWithTheOperationAndPath) {
    try {
        NativePath("FileExists", "\\\\server");
        FAIL() << "no error";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.Operation(), "FileExists");
        EXPECT_EQ(error.Paths(), std::vector<std::string>{"\\\\server"});
        EXPECT_FALSE(error.SystemMessage().empty());
    }
}

TEST(LogicPath, DropsTheExtendedPrefix) {
    EXPECT_EQ(LogicPath(L"\\\\?\\C:\\Upd\\u.exe"), "C:\\Upd\\u.exe");
    EXPECT_EQ(LogicPath(L"\\\\?\\UNC\\s\\d\\u.exe"), "\\\\s\\d\\u.exe");
    EXPECT_EQ(LogicPath(L"C:\\\u00DC"), "C:\\\xC3\x9C");
}

}  // namespace
}  // namespace velno::platform::win32
