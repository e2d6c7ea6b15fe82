#include "platform/win32/win32_platform.h"

#include "platform/win32/file_system.h"
#include "platform/win32/text_conversion.h"

namespace velno::platform::win32 {

std::unique_ptr<FileSystemObject> Win32Platform::CreateFileSystemObject(
    const std::string& class_name) {
    if (class_name != "Scripting.FileSystemObject") {
        ThrowError("CreateFileSystemObject", {class_name}, ERROR_CLASS_DOES_NOT_EXIST);
    }
    return std::make_unique<Win32FileSystem>();
}

}  // namespace velno::platform::win32
