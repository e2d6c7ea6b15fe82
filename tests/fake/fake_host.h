#pragma once

// An in-memory host for the logic's tests: drives, files and folders with
// attributes and times, a log of every call in order, scripted answers to
// message boxes, and fault injection.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/view.h"
#include "app/window_description.h"
#include "platform/contract.h"
#include "platform/host_runtime.h"

namespace velno::fake {

using platform::DateTime;

// A date-time a whole number of seconds after an arbitrary origin.
DateTime At(int seconds);

// Every call that reaches the fake host, the user services or the view, in
// order, as "Operation argument..." text.
struct CallLog {
    std::vector<std::string> entries;
    void Add(std::string entry) { entries.push_back(std::move(entry)); }
    // Index of the first entry starting with the text, or -1.
    long Find(const std::string& prefix, std::size_t from = 0) const;
    bool Contains(const std::string& prefix) const { return Find(prefix) >= 0; }
    long Count(const std::string& prefix) const;
};

struct DriveSpec {
    std::string path = "E:";
    int type = platform::kDriveFixed;
    bool ready = true;
    std::string label = "VELNO";
    std::string file_system = "FAT32";
    std::int32_t serial = 0x1A2B3C4D;
    // Files take whole clusters of the capacity (SetCapacity); a drive
    // without figures reports none, as fusefat does.
    std::uint64_t cluster_bytes = 1;
    bool reports_space = true;
};

struct Node {
    std::string path;  // as created, e.g. "E:\system\OldRel"
    bool folder = false;
    std::string content;
    unsigned attributes = 0;
    DateTime modified{};
    long order = 0;  // creation order, the order a directory lists in
};

class FakeHost : public platform::Platform, public platform::HostRuntime {
public:
    explicit FakeHost(CallLog& log);

    // --- Setting up the world ------------------------------------------
    void AddDrive(DriveSpec spec);
    void RemoveDrive(const std::string& path);
    void AddFolder(const std::string& path, unsigned attributes = 0);
    // Creates the file and every missing folder above it.
    void AddFile(const std::string& path, std::string content, DateTime modified,
                 unsigned attributes = 0);

    // --- Inspecting it --------------------------------------------------
    const Node* Find(const std::string& path) const;
    bool HasFile(const std::string& path) const;
    bool HasFolder(const std::string& path) const;
    // Every file and folder, keyed by its resolved, upper-cased path.
    const std::map<std::string, Node>& Nodes() const { return nodes_; }
    // Every file and folder with its content, attributes and time, as one
    // comparable text.
    std::string Snapshot() const;
    // Every path that reached an operation, resolved as the host resolves it.
    const std::vector<std::string>& ResolvedPaths() const { return resolved_paths_; }
    // The same paths as the logic passed them.
    const std::vector<std::string>& RequestedPaths() const { return requested_paths_; }
    long OperationCount() const { return operations_; }

    // --- Faults -----------------------------------------------------------
    // The Nth operation from now on (1 = the next) fails.
    void FailOperation(long nth) { fail_at_ = operations_ + nth; }
    // From the Nth operation on, the drive is gone: every operation on it
    // fails and it leaves the drive list.
    void LoseDriveAt(const std::string& drive_path, long nth);
    // Copies fail once the drive holds more than this many bytes of files.
    void SetCapacity(const std::string& drive_path, std::size_t bytes);
    // Every CopyFile calls the chunk callback this many times.
    void SetChunksPerCopy(int chunks) { chunks_per_copy_ = chunks; }
    // Whether PrepareForRemoval succeeds; it never throws, so it is no
    // numbered operation.
    void SetRemovable(bool removable) { removable_ = removable; }

    // --- Platform -----------------------------------------------------------
    std::unique_ptr<platform::FileSystemObject> CreateFileSystemObject(
        const std::string& class_name) override;
    platform::Runtime& GetRuntime() override { return *this; }

    // --- Runtime ---------------------------------------------------------------
    std::string ApplicationFolder() override;
    unsigned GetAttributes(const std::string& path) override;
    void SetAttributes(const std::string& path, unsigned bits) override;
    void RemoveFile(const std::string& path) override;
    DateTime FileModifiedTime(const std::string& path) override;
    void FlushDrive(const std::string& drive_path) override;
    bool PrepareForRemoval(const std::string& drive_path) override;

    // Used by the fake file-system object and drives.
    void Begin(const std::string& operation, const std::vector<std::string>& paths);
    std::string Key(const std::string& path);  // throws for a path on no drive
    Node& Existing(const std::string& operation, const std::string& path, bool folder);
    Node* Lookup(const std::string& path);
    void CheckParent(const std::string& operation, const std::string& path);
    void Insert(Node node);
    void Erase(const std::string& path);
    const DriveSpec* PresentDrive(const std::string& drive_path) const;
    std::vector<DriveSpec> PresentDrives() const;
    void ChargeSpace(const std::string& operation, const std::string& path, std::size_t bytes);
    platform::VolumeSpace SpaceOf(const DriveSpec& spec) const;
    int ChunksPerCopy() const { return chunks_per_copy_; }
    CallLog& Log() { return log_; }

protected:
    std::vector<platform::FolderEntry> ListFolder(
        const std::string& folder, const std::function<bool(std::string_view)>& wanted) override;
    std::unique_ptr<platform::ByteSource> OpenForReading(const std::string& path) override;
    void Starting(const std::string& operation, const std::vector<std::string>& paths) override {
        Begin(operation, paths);
    }

private:
    // The drive's capacity and the bytes its files take in whole clusters;
    // no capacity when none was set.
    std::optional<std::size_t> Capacity(const std::string& drive) const;
    std::uint64_t InClusters(const std::string& drive, std::uint64_t bytes) const;
    std::uint64_t UsedBytes(const std::string& drive) const;

    CallLog& log_;
    std::vector<DriveSpec> drives_;
    std::map<std::string, Node> nodes_;
    std::map<std::string, std::size_t> capacity_;
    std::string application_folder_ = "C:\\Upd";
    std::vector<std::string> resolved_paths_;
    std::vector<std::string> requested_paths_;
    long operations_ = 0;
    long fail_at_ = -1;
    std::string lost_drive_;
    bool removable_ = true;
    long lose_at_ = -1;
    long order_ = 0;
    int chunks_per_copy_ = 1;
};

// Message boxes answered from a script; any box the script does not expect
// fails the test by throwing std::logic_error.
class FakeUser : public platform::UserServices {
public:
    explicit FakeUser(CallLog& log) : log_(log) {}

    // The next box gets this answer; the action, if any, runs before the
    // answer is returned (for instance to connect a drive before Retry).
    void Answer(platform::Answer answer, std::function<void()> action = {});
    // Every box the script does not cover gets this answer.
    void AnswerAlways(platform::Answer answer) { default_answer_ = answer; }
    // Runs at every PumpEvents.
    void OnPump(std::function<void()> action) { on_pump_ = std::move(action); }

    platform::Answer ShowMessage(const std::string& text, platform::Buttons buttons,
                                 platform::Icon icon) override;
    void PumpEvents() override;

    std::vector<std::string> messages;  // every text shown, in order
    bool ended = false;

protected:
    void OnEndProgram() override;

private:
    CallLog& log_;
    std::deque<std::pair<platform::Answer, std::function<void()>>> answers_;
    std::function<void()> on_pump_;
    std::optional<platform::Answer> default_answer_;
};

// A window that remembers what the logic did to it.
class RecordingView : public app::View {
public:
    explicit RecordingView(CallLog& log);

    void SetCaption(const std::string& caption) override;
    void SetVisible(update::Control control, bool visible) override;
    void SetEnabled(update::Control control, bool enabled) override;
    void SetProgressValue(float value) override;
    float ProgressMax() override;

    bool Visible(update::Control control) const { return visible_.at(control); }
    bool Enabled(update::Control control) const { return enabled_.at(control); }

    std::string caption;
    std::vector<float> progress_values;

private:
    CallLog& log_;
    std::map<update::Control, bool> visible_;
    std::map<update::Control, bool> enabled_;
};

const char* ControlName(update::Control control);

// A typical instrument: drive E: with a protected system folder, start-up
// settings and two memory images; the program lies in C:\Upd beside an
// empty staging folder. Without the instrument only drive C: is present.
struct Instrument {
    explicit Instrument(bool connected = true);
    void Stage(const std::string& name, const std::string& content, int time);
    void PositionList(const std::string& text);
    // The file's content, or "<absent>".
    std::string Content(const std::string& path) const;

    CallLog log;
    FakeHost host{log};
};

}  // namespace velno::fake
