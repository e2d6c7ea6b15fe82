#include "fake/fake_host.h"

#include <algorithm>
#include <stdexcept>

namespace velno::fake {

using platform::PlatformError;

namespace {

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool HasDrivePrefix(const std::string& path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// "E:\..\x/y" -> "E:\x\y"; a path without a drive prefix is returned as is.
std::string Resolve(const std::string& path) {
    if (!HasDrivePrefix(path)) {
        return path;
    }
    std::string resolved = Upper(path.substr(0, 2)) + "\\";
    const std::vector<std::string> parts = platform::ResolveBelowRoot(path.substr(2));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        resolved += (i == 0 ? "" : "\\") + parts[i];
    }
    return resolved;
}

std::string ParentKey(const std::string& key) {
    const std::size_t sep = key.rfind('\\');
    return (sep == 2) ? key.substr(0, 3) : key.substr(0, sep);
}

Node FolderNode(std::string path) {
    Node node;
    node.path = std::move(path);
    node.folder = true;
    return node;
}

class FakeFile : public platform::File {
public:
    FakeFile(FakeHost& host, std::string path) : host_(host), path_(std::move(path)) {}
    DateTime DateLastModified() override {
        host_.Begin("DateLastModified", {path_});
        return host_.Existing("DateLastModified", path_, false).modified;
    }
    std::uint64_t Size() override {
        host_.Begin("Size", {path_});
        return host_.Existing("Size", path_, false).content.size();
    }

private:
    FakeHost& host_;
    std::string path_;
};

class FakeFolder : public platform::Folder {
public:
    explicit FakeFolder(std::string path) : path_(std::move(path)) {}
    std::string Path() override { return path_; }

private:
    std::string path_;
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
    platform::VolumeSpace Space() override { return host_.SpaceOf(Spec("Space")); }

private:
    const DriveSpec& Spec(const char* property) {
        host_.Begin(property, {path_});
        const DriveSpec* spec = host_.PresentDrive(path_);
        if (spec == nullptr) {
            throw PlatformError(property, {path_}, "The device is not ready.");
        }
        return *spec;
    }
    FakeHost& host_;
    std::string path_;
};

class FakeDrives : public platform::DriveCollection {
public:
    explicit FakeDrives(FakeHost& host) : host_(host) {}
    std::vector<std::shared_ptr<platform::Drive>> Walk() override {
        host_.Begin("Drives.Walk", {});
        std::vector<std::shared_ptr<platform::Drive>> drives;
        for (const DriveSpec& spec : host_.PresentDrives()) {
            drives.push_back(std::make_shared<FakeDrive>(host_, spec.path));
        }
        return drives;
    }

private:
    FakeHost& host_;
};

class FakeFileSystem : public platform::FileSystemObject {
public:
    explicit FakeFileSystem(FakeHost& host) : host_(host) {}

    std::shared_ptr<platform::DriveCollection> Drives() override {
        host_.Begin("Drives", {});
        return std::make_shared<FakeDrives>(host_);
    }
    bool FileExists(const std::string& path) override {
        host_.Begin("FileExists", {path});
        const Node* node = host_.Lookup(path);
        return node != nullptr && !node->folder;
    }
    bool FolderExists(const std::string& path) override {
        host_.Begin("FolderExists", {path});
        const Node* node = host_.Lookup(path);
        return node != nullptr && node->folder;
    }
    void CreateFolder(const std::string& path) override {
        host_.Begin("CreateFolder", {path});
        if (host_.Lookup(path) != nullptr) {
            throw PlatformError("CreateFolder", {path}, "File already exists.");
        }
        host_.CheckParent("CreateFolder", path);
        host_.Insert(FolderNode(Resolve(path)));
    }
    void DeleteFile(const std::string& path, bool force) override {
        host_.Begin(force ? "DeleteFile force" : "DeleteFile", {path});
        const Node& node = host_.Existing("DeleteFile", path, false);
        if ((node.attributes & platform::kAttrReadOnly) != 0 && !force) {
            throw PlatformError("DeleteFile", {path}, "Permission denied.");
        }
        host_.Erase(path);
    }
    void MoveFile(const std::string& source, const std::string& destination) override {
        host_.Begin("MoveFile", {source, destination});
        Node node = host_.Existing("MoveFile", source, false);
        if (host_.Lookup(destination) != nullptr) {
            throw PlatformError("MoveFile", {source, destination}, "File already exists.");
        }
        host_.CheckParent("MoveFile", destination);
        host_.Erase(source);
        node.path = Resolve(destination);
        host_.Insert(std::move(node));
    }
    void CopyFile(const std::string& source, const std::string& destination, bool overwrite,
                  const platform::ChunkCallback& between_chunks) override {
        host_.Begin("CopyFile", {source, destination});
        const Node copy = host_.Existing("CopyFile", source, false);
        const Node* existing = host_.Lookup(destination);
        if (existing != nullptr && (existing->folder || !overwrite)) {
            throw PlatformError("CopyFile", {source, destination}, "File already exists.");
        }
        host_.CheckParent("CopyFile", destination);
        host_.ChargeSpace("CopyFile", destination, copy.content.size());
        for (int chunk = 1; chunk < host_.ChunksPerCopy() && between_chunks; ++chunk) {
            between_chunks();
        }
        if (existing != nullptr) {
            host_.Erase(destination);
        }
        host_.Insert(Node{.path = Resolve(destination),
                          .content = copy.content,
                          .attributes = copy.attributes & ~unsigned{platform::kAttrReadOnly},
                          .modified = copy.modified});
    }
    std::unique_ptr<platform::File> GetFile(const std::string& path) override {
        host_.Begin("GetFile", {path});
        host_.Existing("GetFile", path, false);
        return std::make_unique<FakeFile>(host_, path);
    }
    std::unique_ptr<platform::Folder> GetFolder(const std::string& path) override {
        host_.Begin("GetFolder", {path});
        return std::make_unique<FakeFolder>(host_.Existing("GetFolder", path, true).path);
    }

private:
    FakeHost& host_;
};

}  // namespace

DateTime At(int seconds) { return DateTime{} + std::chrono::seconds(1'700'000'000 + seconds); }

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
                      [&](const std::string& entry) { return entry.starts_with(prefix); }));
}

FakeHost::FakeHost(CallLog& log) : log_(log) {}

void FakeHost::AddDrive(DriveSpec spec) {
    drives_.push_back(spec);
    const std::string root = Resolve(spec.path + "\\");
    if (nodes_.find(Upper(root)) == nodes_.end()) {
        Insert(FolderNode(root));
    }
}

void FakeHost::RemoveDrive(const std::string& path) {
    std::erase_if(drives_, [&](const DriveSpec& spec) { return spec.path == path; });
}

void FakeHost::AddFolder(const std::string& path, unsigned attributes) {
    const std::string resolved = Resolve(path);
    std::string partial = resolved.substr(0, 3);
    const std::vector<std::string> parts = platform::ResolveBelowRoot(resolved.substr(2));
    if (nodes_.find(Upper(partial)) == nodes_.end()) {
        Insert(FolderNode(partial));
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        partial += (i == 0 ? "" : "\\") + parts[i];
        if (nodes_.find(Upper(partial)) == nodes_.end()) {
            Insert(FolderNode(partial));
        }
    }
    nodes_.at(Upper(resolved)).attributes = attributes;
}

void FakeHost::AddFile(const std::string& path, std::string content, DateTime modified,
                       unsigned attributes) {
    const std::string resolved = Resolve(path);
    const std::string parent = ParentKey(resolved);
    if (nodes_.find(Upper(parent)) == nodes_.end()) {
        AddFolder(parent);
    }
    nodes_.erase(Upper(resolved));
    Insert(Node{.path = resolved,
                .content = std::move(content),
                .attributes = attributes,
                .modified = modified});
}

const Node* FakeHost::Find(const std::string& path) const {
    const auto it = nodes_.find(Upper(Resolve(path)));
    return it == nodes_.end() ? nullptr : &it->second;
}

bool FakeHost::HasFile(const std::string& path) const {
    const Node* node = Find(path);
    return node != nullptr && !node->folder;
}

bool FakeHost::HasFolder(const std::string& path) const {
    const Node* node = Find(path);
    return node != nullptr && node->folder;
}

std::string FakeHost::Snapshot() const {
    std::string text;
    for (const auto& [key, node] : nodes_) {
        text += node.path + "=" + node.content + "," + std::to_string(node.attributes) + "," +
                std::to_string(node.modified.time_since_epoch().count()) + "\n";
    }
    return text;
}

void FakeHost::LoseDriveAt(const std::string& drive_path, long nth) {
    lost_drive_ = Upper(drive_path);
    lose_at_ = operations_ + nth;
}

void FakeHost::SetCapacity(const std::string& drive_path, std::size_t bytes) {
    capacity_[Upper(drive_path)] = bytes;
}

std::unique_ptr<platform::FileSystemObject> FakeHost::CreateFileSystemObject(
    const std::string& class_name) {
    Begin("CreateFileSystemObject", {class_name});
    if (class_name != "Scripting.FileSystemObject") {
        throw PlatformError("CreateFileSystemObject", {class_name}, "Invalid class string.");
    }
    return std::make_unique<FakeFileSystem>(*this);
}

void FakeHost::Begin(const std::string& operation, const std::vector<std::string>& paths) {
    ++operations_;
    std::string entry = operation;
    for (const std::string& path : paths) {
        entry += " " + path;
        resolved_paths_.push_back(Resolve(path));
        requested_paths_.push_back(path);
    }
    log_.Add(entry);
    if (operations_ == fail_at_) {
        throw PlatformError(operation, paths, "Injected failure.");
    }
    if (lose_at_ >= 0 && operations_ >= lose_at_) {
        for (const std::string& path : paths) {
            if (Upper(path).starts_with(lost_drive_)) {
                throw PlatformError(operation, paths, "The device is not ready.");
            }
        }
    }
}

std::string FakeHost::Key(const std::string& path) {
    if (!HasDrivePrefix(path)) {
        throw PlatformError("Resolve", {path}, "Bad file name or number.");
    }
    const std::string drive = Upper(path.substr(0, 2));
    for (const DriveSpec& spec : drives_) {
        if (Upper(spec.path) == drive && !spec.ready) {
            throw PlatformError("Resolve", {path}, "The device is not ready.");
        }
    }
    return Upper(Resolve(path));
}

Node* FakeHost::Lookup(const std::string& path) {
    const auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

Node& FakeHost::Existing(const std::string& operation, const std::string& path, bool folder) {
    Node* node = Lookup(path);
    if (node == nullptr || node->folder != folder) {
        throw PlatformError(operation, {path}, folder ? "Path not found." : "File not found.");
    }
    return *node;
}

void FakeHost::CheckParent(const std::string& operation, const std::string& path) {
    const auto it = nodes_.find(ParentKey(Key(path)));
    if (it == nodes_.end() || !it->second.folder) {
        throw PlatformError(operation, {path}, "Path not found.");
    }
}

void FakeHost::Insert(Node node) {
    node.order = ++order_;
    const std::string key = Upper(node.path);
    nodes_.insert_or_assign(key, std::move(node));
}

void FakeHost::Erase(const std::string& path) { nodes_.erase(Key(path)); }

const DriveSpec* FakeHost::PresentDrive(const std::string& drive_path) const {
    for (const DriveSpec& spec : drives_) {
        if (spec.path == drive_path) {
            const bool lost =
                lose_at_ >= 0 && operations_ >= lose_at_ && Upper(spec.path) == lost_drive_;
            return lost ? nullptr : &spec;
        }
    }
    return nullptr;
}

std::vector<DriveSpec> FakeHost::PresentDrives() const {
    std::vector<DriveSpec> present;
    for (const DriveSpec& spec : drives_) {
        if (PresentDrive(spec.path) != nullptr) {
            present.push_back(spec);
        }
    }
    return present;
}

std::optional<std::size_t> FakeHost::Capacity(const std::string& drive) const {
    const auto limit = capacity_.find(drive);
    return limit == capacity_.end() ? std::nullopt : std::optional(limit->second);
}

std::uint64_t FakeHost::InClusters(const std::string& drive, std::uint64_t bytes) const {
    for (const DriveSpec& spec : drives_) {
        const std::uint64_t cluster = spec.cluster_bytes;
        if (Upper(spec.path) == drive && cluster > 0) {
            return (bytes + cluster - 1) / cluster * cluster;
        }
    }
    return bytes;
}

std::uint64_t FakeHost::UsedBytes(const std::string& drive) const {
    std::uint64_t used = 0;
    for (const auto& [key, node] : nodes_) {
        if (key.starts_with(drive) && !node.folder) {
            used += InClusters(drive, node.content.size());
        }
    }
    return used;
}

// The new copy is charged while a file it replaces still takes its room.
void FakeHost::ChargeSpace(const std::string& operation, const std::string& path,
                           std::size_t bytes) {
    const std::string drive = Upper(path.substr(0, 2));
    const std::optional<std::size_t> capacity = Capacity(drive);
    if (capacity && UsedBytes(drive) + InClusters(drive, bytes) > *capacity) {
        throw PlatformError(operation, {path}, "There is not enough space on the disk.");
    }
}

platform::VolumeSpace FakeHost::SpaceOf(const DriveSpec& spec) const {
    if (!spec.reports_space) {
        return {.cluster_bytes = spec.cluster_bytes};  // no blocks, as fusefat counts them
    }
    const std::string drive = Upper(spec.path);
    const std::uint64_t total = Capacity(drive).value_or(std::uint64_t{1} << 40);
    const std::uint64_t used = UsedBytes(drive);
    return {.total_bytes = total,
            .free_bytes = total > used ? total - used : 0,
            .cluster_bytes = spec.cluster_bytes};
}

std::string FakeHost::ApplicationFolder() {
    Begin("ApplicationFolder", {});
    return application_folder_;
}

std::vector<platform::FolderEntry> FakeHost::ListFolder(
    const std::string& folder, const std::function<bool(std::string_view)>& wanted) {
    const std::string key = Key(folder);
    std::vector<const Node*> listed;  // in creation order, as a directory lists
    for (const auto& [node_key, node] : nodes_) {
        if (ParentKey(node_key) == key && node_key != key &&
            wanted(platform::GetFileName(node.path))) {
            listed.push_back(&node);
        }
    }
    std::sort(listed.begin(), listed.end(),
              [](const Node* a, const Node* b) { return a->order < b->order; });
    std::vector<platform::FolderEntry> entries;
    for (const Node* node : listed) {
        entries.push_back({platform::GetFileName(node->path), !node->folder, node->attributes});
    }
    return entries;
}

unsigned FakeHost::GetAttributes(const std::string& path) {
    Begin("GetAttributes", {path});
    Node* node = Lookup(path);
    if (node == nullptr) {
        throw PlatformError("GetAttributes", {path}, "File not found.");
    }
    return node->attributes;
}

void FakeHost::SetAttributes(const std::string& path, unsigned bits) {
    Begin("SetAttributes " + std::to_string(bits), {path});
    Node* node = Lookup(path);
    if (node == nullptr) {
        throw PlatformError("SetAttributes", {path}, "File not found.");
    }
    node->attributes = bits;
}

void FakeHost::RemoveFile(const std::string& path) {
    Begin("RemoveFile", {path});
    Existing("RemoveFile", path, false);
    Erase(path);
}

DateTime FakeHost::FileModifiedTime(const std::string& path) {
    Begin("FileModifiedTime", {path});
    return Existing("FileModifiedTime", path, false).modified;
}

std::unique_ptr<platform::ByteSource> FakeHost::OpenForReading(const std::string& path) {
    return std::make_unique<platform::StringSource>(Existing("OpenTextInput", path, false).content);
}

void FakeHost::FlushDrive(const std::string& drive_path) {
    Begin("FlushDrive", {drive_path});
    Key(drive_path);
}

bool FakeHost::PrepareForRemoval(const std::string& drive_path) {
    log_.Add("PrepareForRemoval " + drive_path);
    return removable_;
}

void FakeUser::Answer(platform::Answer answer, std::function<void()> action) {
    answers_.emplace_back(answer, std::move(action));
}

platform::Answer FakeUser::ShowMessage(const std::string& text, platform::Buttons buttons,
                                       platform::Icon icon) {
    static const char* const kButtons[] = {"OK", "YesNo", "RetryCancel"};
    log_.Add("ShowMessage " + text + " |" + kButtons[static_cast<int>(buttons)] +
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
    log_.Add("PumpEvents");
    if (on_pump_) {
        on_pump_();
    }
}

void FakeUser::OnEndProgram() {
    log_.Add("EndProgram");
    ended = true;
}

const char* ControlName(update::Control control) {
    static const char* const kNames[] = {"Label1",      "Label2",       "Label3",
                                         "Label4",      "ProgressBar1", "Command1(0)",
                                         "Command1(1)", "Label5",       "Label6"};
    return kNames[static_cast<int>(control)];
}

RecordingView::RecordingView(CallLog& log) : log_(log) {
    for (const app::ControlDescription& control : app::Form1Description().controls) {
        visible_[control.id] = control.visible_at_creation;
        enabled_[control.id] = control.enabled_at_creation;
    }
    caption = std::string(app::Form1Description().creation_title);
}

void RecordingView::SetCaption(const std::string& text) {
    log_.Add("Caption " + text);
    caption = text;
}

void RecordingView::SetVisible(update::Control control, bool visible) {
    log_.Add(std::string(visible ? "Show " : "Hide ") + ControlName(control));
    visible_[control] = visible;
}

void RecordingView::SetEnabled(update::Control control, bool enabled) {
    log_.Add(std::string(enabled ? "Enable " : "Disable ") + ControlName(control));
    enabled_[control] = enabled;
}

void RecordingView::SetProgressValue(float value) {
    log_.Add("Value " + std::to_string(static_cast<int>(value)));
    progress_values.push_back(value);
}

float RecordingView::ProgressMax() { return 100.0F; }

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

void Instrument::PositionList(const std::string& text) {
    host.AddFile("C:\\Upd\\mtmp\\position.txt", text, At(0));
}

std::string Instrument::Content(const std::string& path) const {
    const Node* node = host.Find(path);
    return node == nullptr ? "<absent>" : node->content;
}

}  // namespace velno::fake
