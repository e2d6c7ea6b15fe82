#pragma once

// The Win32 host: the file-system object and the runtime on the Win32 API,
// with UTF-8 paths at the contract and wide-character calls inside.

#include <memory>
#include <string>

#include "platform/contract.h"
#include "platform/win32/runtime.h"

namespace velno::platform::win32 {

class Win32Platform : public Platform {
public:
    // Accepts only the class name "Scripting.FileSystemObject".
    std::unique_ptr<FileSystemObject> CreateFileSystemObject(
        const std::string& class_name) override;
    Runtime& GetRuntime() override { return runtime_; }

private:
    Win32Runtime runtime_;
};

}  // namespace velno::platform::win32
