#include "fake/fake_host.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "app/window_description.h"

namespace velno::fake {

using platform::PlatformError;

namespace {

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string ParentKey(const std::string& key) {
    const std::size_t sep = key.rfind('\\');
    return key.substr(0, sep == 2 ? 3 : sep);
}

void Begin(FakeHost& host, const std::string& operation, const std::vector<std::string>& paths) {
    std::string entry = operation;
    for (const std::string& path : paths) {
        entry += " " + path;
        host.requested.push_back(path);
    }
    host.log.entries.push_back(entry);
    if (++host.operations == host.fail_at) {
        throw PlatformError(operation, paths, "Injected failure.");
    }
}

const DriveSpec* DriveOf(const FakeHost& host, const std::string& path) {
    for (const DriveSpec& drive : host.drives) {
        if (path.size() >= 2 && Upper(path.substr(0, 2)) == drive.path) {
            return &drive;
        }
    }
    return nullptr;
}

Node* Lookup(FakeHost& host, const std::string& path) {
    const DriveSpec* drive = DriveOf(host, path);
    if (drive == nullptr || !drive->ready) {
        throw PlatformError("Resolve", {path}, "The device is not ready.");
    }
    const auto it = host.nodes.find(Upper(Resolve(path)));
    return it == host.nodes.end() ? nullptr : &it->second;
}

// An existing file (or folder; either when `folder` is empty).
Node& Existing(FakeHost& host, const std::string& operation, const std::string& path,
               std::optional<bool> folder = false) {
    Node* node = Lookup(host, path);
    if (node == nullptr || (folder && node->folder != *folder)) {
        throw PlatformError(operation, {path},
                            folder == true ? "Path not found." : "File not found.");
    }
    return *node;
}

Node& Start(FakeHost& host, const std::string& operation, const std::string& path,
            std::optional<bool> folder = false) {
    Begin(host, operation, {path});
    return Existing(host, operation, path, folder);
}

// The destination must be free (or, with overwrite, a file) below an
// existing folder.
void CheckDestination(FakeHost& host, const std::string& operation, const std::string& path,
                      bool overwrite = false) {
    const Node* existing = Lookup(host, path);
    if (existing != nullptr && (existing->folder || !overwrite)) {
        throw PlatformError(operation, {path}, "File already exists.");
    }
    const auto parent = host.nodes.find(ParentKey(Upper(Resolve(path))));
    if (parent == host.nodes.end() || !parent->second.folder) {
        throw PlatformError(operation, {path}, "Path not found.");
    }
}

std::uint64_t InClusters(const DriveSpec& drive, std::uint64_t bytes) {
    return (bytes + drive.cluster_bytes - 1) / drive.cluster_bytes * drive.cluster_bytes;
}

std::uint64_t UsedBytes(const FakeHost& host, const DriveSpec& drive) {
    std::uint64_t used = 0;
    for (const auto& [key, node] : host.nodes) {
        used += key.starts_with(drive.path) && !node.folder ? InClusters(drive, node.content.size())
                                                            : 0;
    }
    return used;
}

std::uint64_t Capacity(const FakeHost& host, const DriveSpec& drive) {
    const auto capacity = host.capacity.find(drive.path);
    return capacity == host.capacity.end() ? std::uint64_t{1} << 40 : capacity->second;
}

class FakeFile : public platform::File {
public:
    FakeFile(FakeHost& host, std::string path) : host_(host), path_(std::move(path)) {}
    DateTime DateLastModified() override {
        return Start(host_, "DateLastModified", path_).modified;
    }
    std::uint64_t Size() override { return Start(host_, "Size", path_).content.size(); }

private:
    FakeHost& host_;
    std::string path_;
};

struct FakeFolder : platform::Folder {
    explicit FakeFolder(std::string resolved) : path(std::move(resolved)) {}
    std::string Path() override { return path; }
    std::string path;
};

class FakeDrive : public platform::Drive {
public:
    FakeDrive(FakeHost& host, std::string path) : host_(host), path_(std::move(path)) {}
    int DriveType() override { return Spec("DriveType").type; }
    bool IsReady() override { return Spec("IsReady").ready; }
    std::string VolumeName() override { return Spec("VolumeName").label; }
    std::string FileSystem() override { return Spec("FileSystem").file_system; }
    std::int32_t SerialNumber() override { return Spec("SerialNumber").serial; }
    std::string Path() override { return Spec("Path").path; }
    std::string RootFolder() override { return Spec("RootFolder").path + "\\"; }
    platform::VolumeSpace Space() override {
        const DriveSpec& drive = Spec("Space");
        const std::uint64_t total = Capacity(host_, drive), used = UsedBytes(host_, drive);
        if (!drive.reports_space) {
            return {.cluster_bytes = drive.cluster_bytes};
        }
        return {.total_bytes = total,
                .free_bytes = total > used ? total - used : 0,
                .cluster_bytes = drive.cluster_bytes};
    }

private:
    const DriveSpec& Spec(const char* property) {
        Begin(host_, property, {path_});
        const DriveSpec* drive = DriveOf(host_, path_);
        if (drive == nullptr) {
            throw PlatformError(property, {path_}, "The device is not ready.");
        }
        return *drive;
    }
    FakeHost& host_;
    std::string path_;
};

class FakeFileSystem : public platform::FileSystemObject, public platform::DriveCollection {
public:
    explicit FakeFileSystem(FakeHost& host) : host_(host) {}

    std::shared_ptr<platform::DriveCollection> Drives() override {
        Begin(host_, "Drives", {});
        return std::make_shared<FakeFileSystem>(host_);
    }
    std::vector<std::shared_ptr<platform::Drive>> Walk() override {
        Begin(host_, "Drives.Walk", {});
        std::vector<std::shared_ptr<platform::Drive>> drives;
        for (const DriveSpec& drive : host_.drives) {
            drives.push_back(std::make_shared<FakeDrive>(host_, drive.path));
        }
        return drives;
    }
    bool FileExists(const std::string& path) override { return Is("FileExists", path, false); }
    bool FolderExists(const std::string& path) override { return Is("FolderExists", path, true); }
    void CreateFolder(const std::string& path) override {
        Begin(host_, "CreateFolder", {path});
        CheckDestination(host_, "CreateFolder", path);
        host_.AddFolder(path);
    }
    void DeleteFile(const std::string& path, bool force) override {
        const Node& node = Start(host_, force ? "DeleteFile force" : "DeleteFile", path);
        if ((node.attributes & platform::kAttrReadOnly) && !force) {
            throw PlatformError("DeleteFile", {path}, "Permission denied.");
        }
        host_.Erase(path);
    }
    void MoveFile(const std::string& source, const std::string& destination) override {
        Begin(host_, "MoveFile", {source, destination});
        const Node node = Existing(host_, "MoveFile", source);
        CheckDestination(host_, "MoveFile", destination);
        host_.Erase(source);
        host_.AddFile(destination, node.content, node.modified, node.attributes);
    }
    void CopyFile(const std::string& source, const std::string& destination, bool overwrite,
                  const platform::ChunkCallback& between_chunks) override {
        Begin(host_, "CopyFile", {source, destination});
        const Node copy = Existing(host_, "CopyFile", source);
        CheckDestination(host_, "CopyFile", destination, overwrite);
        // The new copy is charged while a file it replaces still takes its room.
        const DriveSpec& drive = *DriveOf(host_, destination);
        if (UsedBytes(host_, drive) + InClusters(drive, copy.content.size()) >
            Capacity(host_, drive)) {
            throw PlatformError("CopyFile", {destination},
                                "There is not enough space on the disk.");
        }
        for (int chunk = 1; chunk < host_.chunks_per_copy && between_chunks; ++chunk) {
            between_chunks();
        }
        host_.AddFile(destination, copy.content, copy.modified,
                      copy.attributes & ~unsigned{platform::kAttrReadOnly});
    }
    std::unique_ptr<platform::File> GetFile(const std::string& path) override {
        Start(host_, "GetFile", path);
        return std::make_unique<FakeFile>(host_, path);
    }
    std::unique_ptr<platform::Folder> GetFolder(const std::string& path) override {
        return std::make_unique<FakeFolder>(Start(host_, "GetFolder", path, true).path);
    }

private:
    bool Is(const char* operation, const std::string& path, bool folder) {
        Begin(host_, operation, {path});
        const Node* node = Lookup(host_, path);
        return node != nullptr && node->folder == folder;
    }
    FakeHost& host_;
};

}  // namespace

DateTime At(int seconds) { return DateTime{} + std::chrono::seconds(1'700'000'000 + seconds); }

std::string Resolve(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') {
        return path;
    }
    std::string resolved = Upper(path.substr(0, 2)) + "\\";
    const std::vector<std::string> parts = platform::ResolveBelowRoot(path.substr(2));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        resolved += (i == 0 ? "" : "\\") + parts[i];
    }
    return resolved;
}

long CallLog::Find(const std::string& prefix, std::size_t from) const {
    for (std::size_t i = from; i < entries.size(); ++i) {
        if (entries[i].starts_with(prefix)) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

long CallLog::Count(const std::string& prefix) const {
    return static_cast<long>(
        std::count_if(entries.begin(), entries.end(),
                      [&](const std::string& e) { return e.starts_with(prefix); }));
}

void FakeHost::AddDrive(DriveSpec spec) {
    drives.push_back(spec);
    AddFolder(spec.path + "\\");
}

void FakeHost::RemoveDrive(const std::string& path) {
    std::erase_if(drives, [&](const DriveSpec& drive) { return drive.path == path; });
}

void FakeHost::AddFolder(const std::string& path, unsigned attributes) {
    const std::string resolved = Resolve(path);
    for (std::size_t end = 2;; end = resolved.find('\\', end + 1)) {
        const std::string above = resolved.substr(0, std::max<std::size_t>(end, 3));
        nodes.try_emplace(Upper(above), Node{.path = above, .folder = true});
        if (end == std::string::npos) {
            break;
        }
    }
    nodes.at(Upper(resolved)).attributes = attributes;
}

void FakeHost::AddFile(const std::string& path, std::string content, DateTime modified,
                       unsigned attributes) {
    const std::string resolved = Resolve(path);
    if (Find(ParentKey(resolved)) == nullptr) {
        AddFolder(ParentKey(resolved));
    }
    nodes.insert_or_assign(Upper(resolved), Node{.path = resolved,
                                                 .content = std::move(content),
                                                 .attributes = attributes,
                                                 .modified = modified});
}

void FakeHost::Erase(const std::string& path) { nodes.erase(Upper(Resolve(path))); }

const Node* FakeHost::Find(const std::string& path) const {
    const auto it = nodes.find(Upper(Resolve(path)));
    return it == nodes.end() ? nullptr : &it->second;
}

std::unique_ptr<platform::FileSystemObject> FakeHost::CreateFileSystemObject(
    const std::string& class_name) {
    Begin(*this, "CreateFileSystemObject", {class_name});
    return std::make_unique<FakeFileSystem>(*this);
}

void FakeHost::Starting(const std::string& operation, const std::vector<std::string>& paths) {
    Begin(*this, operation, paths);
}

std::string FakeHost::ApplicationFolder() {
    Begin(*this, "ApplicationFolder", {});
    return "C:\\Upd";
}

std::vector<platform::FolderEntry> FakeHost::ListFolder(
    const std::string& folder, const std::function<bool(std::string_view)>& wanted) {
    const std::string key = Upper(Resolve(folder));
    Lookup(*this, folder);
    std::vector<platform::FolderEntry> entries;
    for (const auto& [node_key, node] : nodes) {
        const std::string name = platform::GetFileName(node.path);
        if (ParentKey(node_key) == key && node_key != key && wanted(name)) {
            entries.push_back({name, !node.folder, node.attributes});
        }
    }
    return entries;
}

unsigned FakeHost::GetAttributes(const std::string& path) {
    return Start(*this, "GetAttributes", path, std::nullopt).attributes;
}

void FakeHost::SetAttributes(const std::string& path, unsigned bits) {
    Start(*this, "SetAttributes " + std::to_string(bits), path, std::nullopt).attributes = bits;
}

void FakeHost::RemoveFile(const std::string& path) {
    Start(*this, "RemoveFile", path);
    Erase(path);
}

DateTime FakeHost::FileModifiedTime(const std::string& path) {
    return Start(*this, "FileModifiedTime", path).modified;
}

std::unique_ptr<platform::ByteSource> FakeHost::OpenForReading(const std::string& path) {
    const Node* node = Lookup(*this, path);
    if (node == nullptr || node->folder) {
        throw PlatformError("OpenTextInput", {path}, "File not found.");
    }
    return std::make_unique<platform::StringSource>(node->content);
}

void FakeHost::FlushDrive(const std::string& drive_path) {
    Begin(*this, "FlushDrive", {drive_path});
    Lookup(*this, drive_path);
}

bool FakeHost::PrepareForRemoval(const std::string& drive_path) {
    log.entries.push_back("PrepareForRemoval " + drive_path);  // never fails: no operation
    return removable;
}

platform::Answer FakeUser::ShowMessage(const std::string& text, platform::Buttons buttons,
                                       platform::Icon icon) {
    static const char* const kButtons[] = {"OK", "YesNo", "RetryCancel"};
    log_.entries.push_back("ShowMessage " + text + " |" + kButtons[static_cast<int>(buttons)] +
                           (icon == platform::Icon::kCritical ? "|critical" : "|none"));
    messages.push_back(text);
    if (answers_.empty() && default_answer_) {
        return *default_answer_;
    }
    if (answers_.empty()) {
        throw std::logic_error("unexpected message box: " + text);
    }
    auto [answer, action] = std::move(answers_.front());
    answers_.pop_front();
    if (action) {
        action();
    }
    return answer;
}

void FakeUser::PumpEvents() {
    log_.entries.push_back("PumpEvents");
    if (on_pump) {
        on_pump();
    }
}

void FakeUser::OnEndProgram() {
    log_.entries.push_back("EndProgram");
    ended = true;
}

std::string ControlName(update::Control control) {
    const app::ControlDescription& c = app::Form1Description().Of(control);
    return std::string(c.name) + (c.index < 0 ? "" : "(" + std::to_string(c.index) + ")");
}

RecordingView::RecordingView(CallLog& log)
    : caption(app::Form1Description().creation_title), log_(log) {
    for (const app::ControlDescription& control : app::Form1Description().controls) {
        visible_[control.id] = control.visible_at_creation;
        enabled_[control.id] = control.enabled_at_creation;
    }
}

void RecordingView::SetCaption(const std::string& text) {
    log_.entries.push_back("Caption " + text);
    caption = text;
}

void RecordingView::SetVisible(update::Control control, bool visible) {
    log_.entries.push_back((visible ? "Show " : "Hide ") + ControlName(control));
    visible_[control] = visible;
}

void RecordingView::SetEnabled(update::Control control, bool enabled) {
    log_.entries.push_back((enabled ? "Enable " : "Disable ") + ControlName(control));
    enabled_[control] = enabled;
}

void RecordingView::SetProgressValue(float value) {
    log_.entries.push_back("Value " + std::to_string(static_cast<int>(value)));
    progress_values.push_back(value);
}

Instrument::Instrument(bool connected) {
    host.AddDrive({.path = "C:", .label = "SYSTEM", .file_system = "NTFS", .serial = 1});
    if (connected) {
        host.AddDrive({});
    }
    host.AddFolder("E:\\system", platform::kAttrHidden | platform::kAttrSystem);
    host.AddFile("E:\\system\\init\\startup.ini", "factory=no", At(10));
    host.AddFile("E:\\Veln4main.mem", "main image", At(100));
    host.AddFile("E:\\Veln4user.mem", "user image", At(100));
    host.AddFolder("C:\\Upd\\mtmp");
}

void Instrument::Stage(const std::string& name, const std::string& content, int time) {
    host.AddFile("C:\\Upd\\mtmp\\" + name, content, At(time));
}

std::string Instrument::Content(const std::string& path) const {
    const Node* node = host.Find(path);
    return node == nullptr ? "<absent>" : node->content;
}

}  // namespace velno::fake
