#pragma once

// The operations the updater's logic needs of its host, and nothing more.
// Paths are UTF-8 text in the instrument's Windows form ("\" separates, built
// by plain concatenation); each host turns that text into a native path and
// keeps it below the root it starts with. Every operation that fails throws
// PlatformError (platform/errors.h).

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/path_text.h"

namespace velno::platform {

// File date-times are only ever compared with one another; exact to the
// nanosecond on both hosts.
using DateTime = std::chrono::sys_time<std::chrono::nanoseconds>;

// Values of Drive::DriveType.
enum DriveTypeCode : int {
    kDriveUnknown = 0,
    kDriveRemovable = 1,
    kDriveFixed = 2,
    kDriveNetwork = 3,
    kDriveCdRom = 4,
    kDriveRamDisk = 5,
};

// Attribute bits of GetAttributes / SetAttributes.
enum AttributeBits : unsigned {
    kAttrReadOnly = 1,
    kAttrHidden = 2,
    kAttrSystem = 4,
};

// The room on a drive's volume as its file system reports it. A total or a
// cluster size of 0 means the file system gives no usable figure.
struct VolumeSpace {
    std::uint64_t total_bytes = 0;
    std::uint64_t free_bytes = 0;  // what this user may still write
    std::uint64_t cluster_bytes = 0;
};

class Drive {
public:
    virtual ~Drive() = default;
    virtual int DriveType() = 0;
    virtual bool IsReady() = 0;
    virtual std::string VolumeName() = 0;
    virtual std::string FileSystem() = 0;
    virtual std::int32_t SerialNumber() = 0;
    // The drive's path: "E:" on Windows, the mount point on Linux; never a
    // trailing separator.
    virtual std::string Path() = 0;
    // The path of the drive's root folder.
    virtual std::string RootFolder() = 0;
    // Read afresh at every call.
    virtual VolumeSpace Space() = 0;
};

class DriveCollection {
public:
    virtual ~DriveCollection() = default;
    // The drives present at this moment, in the host's order. Every call
    // looks at the host afresh; the drives' properties are read when asked.
    virtual std::vector<std::shared_ptr<Drive>> Walk() = 0;
};

class File {
public:
    virtual ~File() = default;
    virtual DateTime DateLastModified() = 0;
    // The size in bytes, read when asked.
    virtual std::uint64_t Size() = 0;
};

class Folder {
public:
    virtual ~Folder() = default;
    virtual std::string Path() = 0;
};

// Called between chunks of a long copy, so the caller can keep the window
// responsive.
using ChunkCallback = std::function<void()>;

class FileSystemObject {
public:
    virtual ~FileSystemObject() = default;

    virtual std::shared_ptr<DriveCollection> Drives() = 0;

    // True when a file (not a folder) of that path exists.
    virtual bool FileExists(const std::string& path) = 0;
    // True when a folder of that path exists.
    virtual bool FolderExists(const std::string& path) = 0;
    // Creates one folder; its parent must exist.
    virtual void CreateFolder(const std::string& path) = 0;
    // Deletes a file; with force, also a read-only one.
    virtual void DeleteFile(const std::string& path, bool force) = 0;
    // Moves a file; fails when the destination exists.
    virtual void MoveFile(const std::string& source, const std::string& destination) = 0;
    // Copies a file, replacing an existing destination when overwrite is
    // true. The destination is never left half-written: it is either the old
    // file or a complete copy carrying the source's modification time.
    virtual void CopyFile(const std::string& source, const std::string& destination, bool overwrite,
                          const ChunkCallback& between_chunks) = 0;
    virtual std::unique_ptr<File> GetFile(const std::string& path) = 0;
    virtual std::unique_ptr<Folder> GetFolder(const std::string& path) = 0;

    std::string GetParentFolderName(const std::string& path) const {
        return platform::GetParentFolderName(path);
    }
    std::string GetFileName(const std::string& path) const { return platform::GetFileName(path); }
};

// The application runtime's services.
class Runtime {
public:
    virtual ~Runtime() = default;

    // The folder holding the running program, without trailing separator.
    virtual std::string ApplicationFolder() = 0;

    // Directory enumeration with a pattern such as "E:\Veln4*.mem": names
    // (without folder) of ordinary files; hidden, system and folder entries
    // never match. Empty text when there is no (further) match. The
    // enumeration stays valid while matched files are moved away.
    virtual std::string FirstMatch(const std::string& pattern) = 0;
    virtual std::string NextMatch() = 0;

    virtual unsigned GetAttributes(const std::string& path) = 0;
    // Replaces the read-only, hidden and system bits.
    virtual void SetAttributes(const std::string& path, unsigned bits) = 0;
    virtual void RemoveFile(const std::string& path) = 0;
    virtual DateTime FileModifiedTime(const std::string& path) = 0;

    // The one text input of the program (see platform/text_input.h for how
    // lines are read).
    virtual void OpenTextInput(const std::string& path) = 0;
    virtual std::string ReadLine() = 0;
    virtual bool AtEnd() = 0;
    virtual void Rewind() = 0;
    virtual void CloseAll() = 0;

    // Makes sure everything written below the drive path is on the device,
    // not only in the host's write cache. False when the system does not let
    // this user make sure of it; a failure of the flush throws.
    virtual bool FlushDrive(const std::string& drive_path) = 0;

    // Asks the system to make the drive safe to unplug (unmount it, and power
    // it off where allowed); called after FlushDrive. False when the system
    // would not or could not, and the volume stays mounted. While the system
    // works, `waiting` (if any) is called on the caller's thread at least
    // every 25 ms; nothing but what it throws is thrown.
    virtual bool PrepareForRemoval(const std::string& drive_path, const ChunkCallback& waiting) = 0;
};

// What the logic needs of the host's file system and runtime.
class Platform {
public:
    virtual ~Platform() = default;
    // Creates the file-system object by its class name,
    // "Scripting.FileSystemObject".
    virtual std::unique_ptr<FileSystemObject> CreateFileSystemObject(
        const std::string& class_name) = 0;
    virtual Runtime& GetRuntime() = 0;
};

enum class Buttons { kOk, kYesNo, kRetryCancel };
enum class Icon { kNone, kCritical };
// kClosed: the box was closed without choosing a button.
enum class Answer { kOk, kYes, kNo, kRetry, kCancel, kClosed };

// What the logic needs of the user: provided by the front end.
class UserServices {
public:
    virtual ~UserServices() = default;
    // A modal message box with the application's title.
    virtual Answer ShowMessage(const std::string& text, Buttons buttons, Icon icon) = 0;
    // Processes the window events that are waiting, then returns.
    virtual void PumpEvents() = 0;
    // The clock that paces the turns of the window's event loop during a
    // run; tests give their own.
    virtual std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }

    // Ends the program at once: no further code of the caller runs. Unwinds
    // to the event boundary with ProgramEnded.
    [[noreturn]] void EndProgram() {
        OnEndProgram();
        throw ProgramEnded{};
    }

protected:
    // Told before the program ends, for hosts that need to know.
    virtual void OnEndProgram() {}
};

}  // namespace velno::platform
