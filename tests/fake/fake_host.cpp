#include "fake/fake_host.h"

#include <sstream>
#include <stdexcept>

#include "app/window_description.h"

namespace velno::fake {

using platform::PlatformError;

namespace {

std::string ParentKey(const std::string& key) {
    const std::size_t sep = key.rfind('\\');
    return key.substr(0, sep == 2 ? 3 : sep);
}

const DriveSpec* DriveOf(const FakeHost& host, const std::string& path) {
    const auto drive =
        std::ranges::find(host.drives, platform::FoldCase(path.substr(0, 2)), &DriveSpec::path);
    return drive == host.drives.end() ? nullptr : &*drive;
}

// The destination must be free (or, with overwrite, a file) below an
// existing folder.
void CheckDestination(FakeHost& host, const std::string& operation, const std::string& path,
                      bool overwrite = false) {
    const Node* existing = host.Lookup(path);
    if (existing != nullptr && (existing->folder || !overwrite)) {
        throw PlatformError(operation, {path}, "File already exists.");
    }
    if (const Node* parent = host.Find(ParentKey(Key(path))); !parent || !parent->folder) {
        throw PlatformError(operation, {path}, "Path not found.");
    }
}

// Each file takes whole clusters.
std::uint64_t Room(const DriveSpec& drive, std::uint64_t size) {
    return (size + drive.cluster_bytes - 1) / drive.cluster_bytes * drive.cluster_bytes;
}

std::uint64_t UsedBytes(const FakeHost& host, const DriveSpec& drive) {
    std::uint64_t used = 0;
    for (const auto& [key, node] : host.nodes) {
        used += key.starts_with(drive.path) && !node.folder ? Room(drive, node.content.size()) : 0;
    }
    return used;
}

struct FakeFile : platform::File {
    FakeFile(FakeHost& h, std::string p) : host(h), path(std::move(p)) {}
    DateTime DateLastModified() override { return host.Start("DateLastModified", path).modified; }
    std::uint64_t Size() override { return host.Start("Size", path).content.size(); }
    FakeHost& host;
    std::string path;
};

struct FakeDrive : platform::Drive {
    FakeDrive(FakeHost& h, std::string p) : host(h), path(std::move(p)) {}
    int DriveType() override { return Spec("DriveType").type; }
    bool IsReady() override { return Spec("IsReady").ready; }
    std::string VolumeName() override { return Spec("VolumeName").label; }
    std::string FileSystem() override { return Spec("FileSystem").file_system; }
    std::int32_t SerialNumber() override { return Spec("SerialNumber").serial; }
    std::string Path() override { return Spec("Path").path; }
    std::string RootFolder() override { return Spec("RootFolder").path + "\\"; }
    platform::VolumeSpace Space() override {
        const DriveSpec& drive = Spec("Space");
        const std::uint64_t used = UsedBytes(host, drive);
        return {.total_bytes = drive.capacity,
                .free_bytes = drive.capacity > used ? drive.capacity - used : 0,
                .cluster_bytes = drive.cluster_bytes};
    }
    const DriveSpec& Spec(const char* property) {
        host.Begin(property, {path});
        return *DriveOf(host, path);  // drives are never taken away
    }
    FakeHost& host;
    std::string path;
};

// The file-system object, also its own collection of drives.
struct FakeFileSystem : platform::FileSystemObject, platform::DriveCollection {
    explicit FakeFileSystem(FakeHost& h) : host(h) {}
    std::shared_ptr<platform::DriveCollection> Drives() override {
        host.Begin("Drives", {});
        return std::make_shared<FakeFileSystem>(host);
    }
    std::vector<std::shared_ptr<platform::Drive>> Walk() override {
        host.Begin("Drives.Walk", {});
        std::vector<std::shared_ptr<platform::Drive>> drives;
        for (const DriveSpec& drive : host.drives) {
            drives.push_back(std::make_shared<FakeDrive>(host, drive.path));
        }
        return drives;
    }
    bool FileExists(const std::string& path) override { return Is("FileExists", path, false); }
    bool FolderExists(const std::string& path) override { return Is("FolderExists", path, true); }
    bool Is(const char* operation, const std::string& path, bool folder) {
        host.Begin(operation, {path});
        const Node* node = host.Lookup(path);
        return node != nullptr && node->folder == folder;
    }
    void CreateFolder(const std::string& path) override {
        host.Begin("CreateFolder", {path});
        CheckDestination(host, "CreateFolder", path);
        host.AddFolder(path);
    }
    void DeleteFile(const std::string& path, bool force) override {
        const Node& node = host.Start(force ? "DeleteFile force" : "DeleteFile", path);
        if ((node.attributes & platform::kAttrReadOnly) && !force) {
            throw PlatformError("DeleteFile", {path}, "Permission denied.");
        }
        host.Erase(path);
    }
    void CopyFile(const std::string& source, const std::string& destination, bool overwrite,
                  const platform::ChunkCallback& between_chunks) override {
        host.Begin("CopyFile", {source, destination});
        const Node copy = host.Start("CopyFile", source, true, false);
        CheckDestination(host, "CopyFile", destination, overwrite);
        const DriveSpec& drive = *DriveOf(host, destination);  // the old file is still there
        if (drive.capacity > 0 &&
            UsedBytes(host, drive) + Room(drive, copy.content.size()) > drive.capacity) {
            throw PlatformError("CopyFile", {source, destination}, "Not enough space.");
        }
        for (int chunk = 1; chunk < host.chunks_per_copy && between_chunks; ++chunk) {
            between_chunks();
        }
        host.AddFile(destination, copy.content, copy.modified,
                     copy.attributes & ~unsigned{platform::kAttrReadOnly});
    }
    std::unique_ptr<platform::File> GetFile(const std::string& path) override {
        host.Start("GetFile", path);
        return std::make_unique<FakeFile>(host, path);
    }
    // The logic never moves a file, nor asks for a folder object.
    void MoveFile(const std::string& source, const std::string&) override {
        throw PlatformError("MoveFile", {source}, "The fake host moves no files.");
    }
    std::unique_ptr<platform::Folder> GetFolder(const std::string& path) override {
        throw PlatformError("GetFolder", {path}, "The fake host has no folder objects.");
    }
    FakeHost& host;
};

}  // namespace

bool DetectAndStart(app::Form1& form, platform::UserServices& user,
                    const std::function<bool()>& ready) {
    if (!app::RunAtEventBoundary(user, [&form] { form.DetectInstrument(); }) ||
        (ready && !ready())) {
        return false;
    }
    app::RunAtEventBoundary(user, [&form] { form.DispatchCommand(0); });
    return form.Completed();
}

std::shared_ptr<platform::Drive> DriveAt(platform::Platform& host, const std::string& path) {
    for (const auto& drive :
         host.CreateFileSystemObject("Scripting.FileSystemObject")->Drives()->Walk()) {
        if (drive->Path() == path) {
            return drive;
        }
    }
    return nullptr;
}

DateTime At(int seconds) { return DateTime{} + std::chrono::seconds(1'700'000'000 + seconds); }

std::string Resolve(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') {
        return path;
    }
    std::string resolved = platform::FoldCase(path.substr(0, 2)) + "\\";
    for (const std::string& part : platform::ResolveBelowRoot(path.substr(2))) {
        resolved += (resolved.size() == 3 ? "" : "\\") + part;
    }
    return resolved;
}

void FakeHost::AddFolder(const std::string& path, unsigned attributes) {
    const std::string resolved = Resolve(path);
    if (resolved.size() > 3 && Find(ParentKey(resolved)) == nullptr) {
        AddFolder(ParentKey(resolved));
    }
    nodes.try_emplace(Key(resolved), Node{.path = resolved, .folder = true})
        .first->second.attributes = attributes;
}

void FakeHost::AddFile(const std::string& path, std::string content, DateTime modified,
                       unsigned attributes) {
    const std::string resolved = Resolve(path);
    if (Find(ParentKey(resolved)) == nullptr) {
        AddFolder(ParentKey(resolved));
    }
    nodes.insert_or_assign(Key(resolved), Node{.path = resolved,
                                               .content = std::move(content),
                                               .attributes = attributes,
                                               .modified = modified});
}

void FakeHost::Begin(const std::string& operation, const std::vector<std::string>& paths) {
    std::string entry = operation;
    for (const std::string& path : paths) {
        entry += " " + path;
        requested.push_back(path);
    }
    log.entries.push_back(entry);
}

Node* FakeHost::Lookup(const std::string& path) {
    const DriveSpec* drive = DriveOf(*this, path);
    if (drive == nullptr || !drive->ready) {
        throw PlatformError("Resolve", {path}, "The device is not ready.");
    }
    return nodes.contains(Key(path)) ? &nodes.at(Key(path)) : nullptr;
}

Node& FakeHost::Start(const std::string& operation, const std::string& path, bool file_only,
                      bool logged) {
    if (logged) {
        Begin(operation, {path});
    }
    Node* node = Lookup(path);
    if (node == nullptr || (file_only && node->folder)) {
        throw PlatformError(operation, {path}, "File not found.");
    }
    return *node;
}

std::unique_ptr<platform::FileSystemObject> FakeHost::CreateFileSystemObject(
    const std::string& class_name) {
    Begin("CreateFileSystemObject", {class_name});
    return std::make_unique<FakeFileSystem>(*this);
}

std::vector<platform::FolderEntry> FakeHost::ListFolder(
    const std::string& folder, const std::function<bool(std::string_view)>& wanted) {
    const std::string key = Key(folder);
    Lookup(folder);
    std::vector<platform::FolderEntry> entries;
    for (const auto& [node_key, node] : nodes) {
        const std::string name = platform::GetFileName(node.path);
        if (ParentKey(node_key) == key && node_key != key && wanted(name)) {
            entries.push_back({name, !node.folder, node.attributes});
        }
    }
    return entries;
}

platform::Answer FakeUser::ShowMessage(const std::string& text, platform::Buttons buttons,
                                       platform::Icon icon) {
    static const char* const kButtons[] = {"OK", "YesNo", "RetryCancel"};
    log_.entries.push_back("ShowMessage " + text + " |" + kButtons[static_cast<int>(buttons)] +
                           (icon == platform::Icon::kCritical ? "|critical" : "|none"));
    messages.push_back(text);
    if (answers_.empty()) {
        return default_answer_ ? *default_answer_
                               : throw std::logic_error("unexpected message box: " + text);
    }
    auto [answer, action] = std::move(answers_.front());
    answers_.pop_front();
    if (action) action();
    return answer;
}

std::string ControlName(update::Control control) {
    const app::ControlDescription& c = app::Form1Description().Of(control);
    const std::string index = std::to_string(c.index);
    return std::string(c.name) + (c.index >= 0 ? "(" + index + ")" : "");
}

RecordingView::RecordingView(CallLog& log)
    : log_(log), caption(app::Form1Description().creation_title) {
    for (const app::ControlDescription& control : app::Form1Description().controls) {
        visible[control.id] = control.visible_at_creation;
        enabled[control.id] = control.enabled_at_creation;
    }
}

std::string Instrument::Drive(const std::string& drive) const {
    std::string text;
    for (const auto& [key, node] : host.nodes) {
        if (key.starts_with(drive + "\\") && key.size() > drive.size() + 1) {
            const auto seconds = std::to_string((node.modified - At(0)) / std::chrono::seconds(1));
            const std::string attributes = std::to_string(node.attributes);
            text += node.path.substr(drive.size() + 1) +
                    (node.folder ? "/" : "=" + node.content + "@" + seconds) +
                    (node.attributes != 0 ? "#" + attributes : "") + "\n";
        }
    }
    return text;
}

void Instrument::Add(const std::string& tree, const std::string& folder) {
    std::istringstream lines(tree);
    for (std::string line; std::getline(lines, line);) {
        line += line.find('#') == std::string::npos ? "#0" : "";
        const std::size_t hash = line.find('#'), equals = line.find('='),
                          at = line.rfind('@', hash);
        const auto attributes = static_cast<unsigned>(std::stoul(line.substr(hash + 1)));
        const std::string path = folder + "\\" + line.substr(0, std::min(equals, hash));
        if (path.ends_with('/')) {
            host.AddFolder(path.substr(0, path.size() - 1), attributes);
        } else {
            host.AddFile(path, line.substr(equals + 1, at - equals - 1),
                         At(std::stoi(line.substr(at + 1))), attributes);
        }
    }
}

Instrument::Instrument(bool connected) {
    host.AddDrive({.path = "C:", .label = "SYSTEM", .file_system = "NTFS", .serial = 1});
    if (connected) {
        host.AddDrive({});
    }
    Add("system/#6\nsystem\\init\\startup.ini=factory=no@10\nVeln4main.mem=main image@100\n"
        "Veln4user.mem=user image@100\n");
    host.AddFolder("C:\\Upd\\mtmp");
}

}  // namespace velno::fake
