#pragma once

// An in-memory host for the logic's tests: drives, files and folders with
// attributes and times, a log of every call in order, and scripted answers
// to message boxes.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "app/controller.h"
#include "platform/host_runtime.h"

namespace velno::fake {

using platform::DateTime;

// A date-time a whole number of seconds after an arbitrary origin.
DateTime At(int seconds);

// "e:\..\x/y" -> "E:\x\y", as the host resolves a path; Key upper-cases
// that.
std::string Resolve(const std::string& path);
inline std::string Key(const std::string& path) { return platform::FoldCase(Resolve(path)); }

// Every call that reaches the host, the user services or the view, in order,
// as "Operation argument..." text.
struct CallLog {
    std::vector<std::string> entries;
    // Index of the first entry from `from` on that starts with the text, or -1.
    long Find(const std::string& prefix, std::size_t from = 0) const {
        const auto found = std::find_if(entries.begin() + static_cast<long>(from), entries.end(),
                                        [&](const auto& e) { return e.starts_with(prefix); });
        return found == entries.end() ? -1 : static_cast<long>(found - entries.begin());
    }
    bool Contains(const std::string& prefix) const { return Find(prefix) >= 0; }
    long Count(const std::string& prefix) const {
        return static_cast<long>(
            std::ranges::count_if(entries, [&](const auto& e) { return e.starts_with(prefix); }));
    }
    // The entries from `from` on, each followed by "|": one text to compare.
    std::string Text(std::size_t from = 0) const {
        return std::accumulate(entries.begin() + static_cast<long>(from), entries.end(),
                               std::string(), [](auto text, auto& e) { return text + e + "|"; });
    }
};

struct DriveSpec {
    std::string path = "E:";
    int type = platform::kDriveFixed;
    bool ready = true;
    std::string label = "VELNO";
    std::string file_system = "FAT32";
    std::int32_t serial = 0x1A2B3C4D;
    std::uint64_t cluster_bytes = 1;                  // each file takes whole clusters
    std::uint64_t capacity = std::uint64_t{1} << 40;  // 0: the volume reports no figure
};

struct Node {
    std::string path{};  // as created, e.g. "E:\system\OldRel"
    bool folder = false;
    std::string content{};
    unsigned attributes = 0;
    DateTime modified{};
};

// Paths on a drive that is absent or not ready fail to resolve.
class FakeHost : public platform::Platform, public platform::HostRuntime {
public:
    explicit FakeHost(CallLog& call_log) : log(call_log) {}

    void AddDrive(DriveSpec spec) { drives.push_back(spec), AddFolder(spec.path + "\\"); }
    // Both create every missing folder above the path.
    void AddFolder(const std::string& path, unsigned attributes = 0);
    void AddFile(const std::string& path, std::string content, DateTime modified,
                 unsigned attributes = 0);
    void Erase(const std::string& path) { nodes.erase(Key(path)); }
    const Node* Find(const std::string& path) const {
        return nodes.contains(Key(path)) ? &nodes.at(Key(path)) : nullptr;
    }
    bool HasFile(const std::string& path) const { return Find(path) && !Find(path)->folder; }

    CallLog& log;
    std::vector<DriveSpec> drives;
    std::map<std::string, Node> nodes;   // by resolved, upper-cased path
    std::vector<std::string> requested;  // every path that reached an operation
    int chunks_per_copy = 1;             // CopyFile calls its chunk callback between them
    bool removable = true;               // what PrepareForRemoval answers
    bool flushes = true;                 // what FlushDrive answers

    // Logs the operation, then finds the path's node; Start also requires it to exist (as a file,
    // or as anything unless `file_only`).
    void Begin(const std::string& operation, const std::vector<std::string>& paths);
    Node* Lookup(const std::string& path);
    Node& Start(const std::string& operation, const std::string& path, bool file_only = true,
                bool logged = true);

    std::unique_ptr<platform::FileSystemObject> CreateFileSystemObject(
        const std::string& class_name) override;
    platform::Runtime& GetRuntime() override { return *this; }
    std::string ApplicationFolder() override { return Begin("ApplicationFolder", {}), "C:\\Upd"; }
    unsigned GetAttributes(const std::string& path) override {
        return Start("GetAttributes", path, false).attributes;
    }
    void SetAttributes(const std::string& path, unsigned bits) override {
        Start("SetAttributes " + std::to_string(bits), path, false).attributes = bits;
    }
    void RemoveFile(const std::string& path) override { Start("RemoveFile", path), Erase(path); }
    DateTime FileModifiedTime(const std::string& path) override {
        return Start("FileModifiedTime", path).modified;
    }
    bool FlushDrive(const std::string& drive_path) override {
        return Begin("FlushDrive", {drive_path}), Lookup(drive_path), flushes;
    }
    bool PrepareForRemoval(const std::string& drive_path,
                           const platform::ChunkCallback& waiting) override {
        log.entries.push_back("PrepareForRemoval " + drive_path);  // never fails; takes a turn
        if (waiting) waiting();
        return removable;
    }

protected:
    std::vector<platform::FolderEntry> ListFolder(
        const std::string& folder, const std::function<bool(std::string_view)>& wanted) override;
    std::unique_ptr<platform::ByteSource> OpenForReading(const std::string& path) override {
        return std::make_unique<platform::StringSource>(
            Start("OpenTextInput", path, true, false).content);
    }
    void Starting(const std::string& operation, const std::vector<std::string>& paths) override {
        Begin(operation, paths);
    }
};

// Message boxes answered from a script; a box the script does not expect
// fails the test by throwing std::logic_error.
class FakeUser : public platform::UserServices {
public:
    explicit FakeUser(CallLog& log) : log_(log) {}

    // The next box gets this answer; the action, if any, runs first (for
    // instance to connect a drive before Retry).
    void Answer(platform::Answer answer, std::function<void()> action = {}) {
        answers_.emplace_back(answer, std::move(action));
    }
    // Every box the script does not cover gets this answer.
    void AnswerAlways(platform::Answer answer) { default_answer_ = answer; }

    platform::Answer ShowMessage(const std::string& text, platform::Buttons buttons,
                                 platform::Icon icon) override;
    void PumpEvents() override {
        log_.entries.push_back("PumpEvents");
        if (on_pump) on_pump();
    }

    void OnEndProgram() override { ended = true; }
    // Time passes by `tick` with every call in the log, and only then.
    std::chrono::steady_clock::time_point Now() override {
        return std::chrono::steady_clock::time_point{} + tick * log_.entries.size();
    }
    std::chrono::milliseconds tick{0};

    std::vector<std::string> messages;  // every text shown, in order
    std::function<void()> on_pump;      // runs at every PumpEvents
    bool ended = false;
    CallLog& log_;
    std::deque<std::pair<platform::Answer, std::function<void()>>> answers_;
    std::optional<platform::Answer> default_answer_;
};

// Detection, then (where `ready` agrees) a press of "Start Updating", each at
// the event boundary as the window runs them. True when the run completed.
bool DetectAndStart(app::Form1& form, platform::UserServices& user,
                    const std::function<bool()>& ready = {});

// The host's drive of that path, or none.
std::shared_ptr<platform::Drive> DriveAt(platform::Platform& host, const std::string& path);

// "Label1", "Command1(0)": the control's name in the call log.
std::string ControlName(update::Control control);

// A window that remembers what the logic, or the controller, did to it.
struct RecordingView : app::View, app::FrontEnd {
    explicit RecordingView(CallLog& log);

    void SetCaption(const std::string& text) override {
        log_.entries.push_back("Caption " + (caption = text));
    }
    void SetVisible(update::Control control, bool on) override {
        log_.entries.push_back((on ? "Show " : "Hide ") + ControlName(control));
        visible[control] = on;
    }
    void SetEnabled(update::Control control, bool on) override {
        log_.entries.push_back((on ? "Enable " : "Disable ") + ControlName(control));
        enabled[control] = on;
    }
    void SetProgressValue(float value) override {
        log_.entries.push_back("Value " + std::to_string(static_cast<int>(value)));
        progress_values.push_back(value);
    }
    float ProgressMax() override { return 100.0F; }
    void SetBarPosition(int position) override { SetProgressValue(static_cast<float>(position)); }
    void Show() override {}
    void Close() override { closed = true; }

    CallLog& log_;
    std::string caption;
    std::map<update::Control, bool> visible, enabled;
    std::vector<float> progress_values;
    bool closed = false;
};

// A typical instrument: drive E: with a protected system folder, start-up
// settings and two memory images; the program lies in C:\Upd beside an
// empty staging folder. Without the instrument only drive C: is present.
struct Instrument {
    explicit Instrument(bool connected = true);
    void Stage(const std::string& name, const std::string& content, int time) {
        host.AddFile("C:\\Upd\\mtmp\\" + name, content, At(time));
    }
    void PositionList(const std::string& text) { Stage("position.txt", text, 0); }
    // Every entry below the drive's root, one a line, by path as created
    // without "E:\": "path=content@seconds" for a file, "path/" for a
    // folder, either followed by "#" and the attributes where there are any.
    std::string Drive(const std::string& drive = "E:") const;
    // Adds the entries of such a text (no "#" in a content) below the folder.
    void Add(const std::string& tree, const std::string& folder = "E:");

    CallLog log;
    FakeHost host{log};
};

}  // namespace velno::fake
