#include "fault_matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

#include "app/form1.h"
#include "fake/fake_host.h"
#include "update/messages.h"

namespace velno::fault_test {
namespace {

using platform::DateTime;

constexpr const char* kInjected = "Injected failure.";

// Counts the host operations of a run and, at the chosen one, fires the
// fault before the real operation runs.
struct Trigger {
    bool counting = false;
    long count = 0;
    long at = 0;  // 0: never fires
    std::function<void(const std::string&, const std::vector<std::string>&)> fire;
    std::string operation;
    std::vector<std::string> paths;

    void Before(const char* name, std::vector<std::string> given) {
        if (counting && ++count == at) {
            operation = name;
            paths = std::move(given);
            fire(operation, paths);
        }
    }
};

// One operation of the real host's object that first passes the trigger.
#define COUNTED(result, name, params, args, ...) \
    result name params override {                \
        t_.Before(#name, {__VA_ARGS__});         \
        return real_.name args;                  \
    }
using Path = const std::string&;

// The file objects GetFile returns are the host's own, uncounted, so that
// this stays whole whatever a file object offers.
class CountedFileSystem : public platform::FileSystemObject {
public:
    CountedFileSystem(std::unique_ptr<platform::FileSystemObject> real, Trigger& trigger)
        : owned_(std::move(real)), real_(*owned_), t_(trigger) {}
    std::shared_ptr<platform::DriveCollection> Drives() override { return real_.Drives(); }
    COUNTED(bool, FileExists, (Path p), (p), p)
    COUNTED(bool, FolderExists, (Path p), (p), p)
    COUNTED(void, CreateFolder, (Path p), (p), p)
    COUNTED(void, DeleteFile, (Path p, bool force), (p, force), p)
    COUNTED(void, MoveFile, (Path from, Path to), (from, to), from, to)
    COUNTED(void, CopyFile, (Path from, Path to, bool overwrite, const platform::ChunkCallback& c),
            (from, to, overwrite, c), from, to)
    COUNTED(std::unique_ptr<platform::File>, GetFile, (Path p), (p), p)
    COUNTED(std::unique_ptr<platform::Folder>, GetFolder, (Path p), (p), p)

private:
    std::unique_ptr<platform::FileSystemObject> owned_;
    platform::FileSystemObject& real_;
    Trigger& t_;
};

// The program's folder is the rig's, so that the staging folder lies where
// the rig seeded it.
class CountedHost : public platform::Platform, public platform::Runtime {
public:
    CountedHost(platform::Platform& host, Trigger& trigger, std::string application_folder)
        : host_(host),
          real_(host.GetRuntime()),
          t_(trigger),
          application_folder_(std::move(application_folder)) {}
    std::unique_ptr<platform::FileSystemObject> CreateFileSystemObject(Path name) override {
        return std::make_unique<CountedFileSystem>(host_.CreateFileSystemObject(name), t_);
    }
    platform::Runtime& GetRuntime() override { return *this; }
    std::string ApplicationFolder() override {
        t_.Before("ApplicationFolder", {});
        return application_folder_;
    }
    COUNTED(std::string, FirstMatch, (Path p), (p), p)
    COUNTED(std::string, NextMatch, (), ())
    COUNTED(unsigned, GetAttributes, (Path p), (p), p)
    COUNTED(void, SetAttributes, (Path p, unsigned bits), (p, bits), p)
    COUNTED(void, RemoveFile, (Path p), (p), p)
    COUNTED(DateTime, FileModifiedTime, (Path p), (p), p)
    COUNTED(void, OpenTextInput, (Path p), (p), p)
    COUNTED(std::string, ReadLine, (), ())
    COUNTED(bool, AtEnd, (), ())
    COUNTED(void, Rewind, (), ())
    COUNTED(void, CloseAll, (), ())
    COUNTED(bool, FlushDrive, (Path p), (p), p)
    // Never fails (it reports whether removal worked), so no fault goes here.
    bool PrepareForRemoval(Path p, const platform::ChunkCallback& waiting) override {
        return real_.PrepareForRemoval(p, waiting);
    }

private:
    platform::Platform& host_;
    platform::Runtime& real_;
    Trigger& t_;
    std::string application_folder_;
};

struct Outcome {
    bool completed = false;
    std::vector<std::string> messages;
    std::string last_message;
};

// Detection, then "Start Updating" on the attached instrument; only the
// update's operations count. Nothing runs unless detection found the rig's
// own drive.
Outcome RunProgram(Rig& rig, Trigger& trigger) {
    rig.Attach();
    CountedHost host(rig.Host(), trigger, rig.App());
    fake::CallLog log;
    fake::FakeUser user(log);
    fake::RecordingView view(log);
    user.AnswerAlways(platform::Answer::kOk);
    app::Form1 form(host, user, view);
    fake::DetectAndStart(form, user, [&] {
        if (form.Instrument().drive_path != rig.DrivePath()) {
            user.messages.push_back("detection found another drive: " +
                                    form.Instrument().drive_path);
        }
        return trigger.counting = form.Instrument().drive_path == rig.DrivePath();
    });
    trigger.counting = false;
    // The program has ended: what it left open closes, as at a process's
    // exit, so that the rig can seed the staging folder again.
    rig.Host().GetRuntime().CloseAll();
    rig.Detach();
    return {form.Completed(), user.messages, user.messages.empty() ? "" : user.messages.back()};
}

// A fresh instrument and staging folder as the seed describes them, the
// instrument detached.
void Reset(Rig& rig, const Seed& seed) {
    rig.Clear();
    for (const std::string& folder : seed.folders) {
        rig.MakeFolder(rig.Drive() + "/" + folder);
    }
    for (const auto& file : seed.instrument) {
        rig.Write(rig.Drive() + "/" + file.path, file.content, file.seconds);
    }
    for (const auto& file : seed.staging) {
        rig.Write(rig.App() + "/" + file.path, file.content, file.seconds);
    }
}

std::string Get(const Tree& tree, const std::string& path) {
    const auto found = tree.find(path);
    return found == tree.end() ? "<absent>" : found->second;
}

// An entry without its time: a move may stamp the time afresh.
std::string Content(const std::string& entry) { return entry.substr(0, entry.rfind('@')); }

constexpr std::pair<Fault, const char*> kFaults[] = {
    {Fault::kFail, "operation fails"},
    {Fault::kVanish, "drive vanishes"},
    {Fault::kFull, "volume full"},
};

}  // namespace

std::string Differences(const Tree& expected, const Tree& actual) {
    Tree paths = expected;
    paths.insert(actual.begin(), actual.end());
    std::string text;
    for (const auto& [path, entry] : paths) {
        if (Get(expected, path) != Get(actual, path)) {
            text += "\n  " + path + ": " + Get(expected, path) + " -> " + Get(actual, path);
        }
    }
    return text;
}

std::string Losses(const Tree& before, const Tree& reference, const Tree& after) {
    std::string text;
    for (const auto& [path, entry] : after) {
        if (entry != Get(before, path) && entry != Get(reference, path)) {
            text += "\n  " + path + " is neither old nor new: " + entry;
        }
    }
    for (const auto& [path, entry] : before) {
        if (after.contains(path) || !reference.contains(path)) {
            continue;
        }
        const std::string wanted = Content(reference.at(path));
        const bool still_at_source =
            std::any_of(before.begin(), before.end(), [&](const auto& source) {
                return Content(source.second) == wanted && !reference.contains(source.first) &&
                       Get(after, source.first) == source.second;
            });
        if (!still_at_source) {
            text += "\n  " + path + " is missing; it held " + entry;
        }
    }
    return text;
}

std::string UpdateProblems(const Tree& before, const Tree& after, bool keeps_odd_seconds) {
    // What the update changes is compared without what the host adds after
    // "#" (the attributes); everything else must be exactly as it was.
    const Seed& seed = TypicalUpdate();
    Tree expected = before;
    Tree actual = after;
    const auto changed = [&](const std::string& path, const std::string& entry) {
        expected[path] = entry;
        if (actual.contains(path)) {
            actual[path] = actual[path].substr(0, actual[path].find('#'));
        }
    };
    for (const std::string& path : seed.gone) {
        expected.erase(path);
    }
    for (const std::string& folder : seed.changed_folders) {
        changed(folder + "/", "");
    }
    for (const SeedFile& file : seed.updated) {
        const long long seconds = file.seconds + (keeps_odd_seconds ? 0 : file.seconds % 2);
        changed(file.path, file.content + "@" + std::to_string(seconds));
    }
    return Differences(expected, actual);
}

const Seed& TypicalUpdate() {
    // Times far apart, so that no rounding of a FAT volume changes their
    // order; the staged files' time is odd, so a copy to FAT rounds it up.
    constexpr long long kOlder = 1'577'836'800;   // 2020
    constexpr long long kNewer = 1'893'456'000;   // 2030
    constexpr long long kImage = 1'622'505'600;   // 2021
    constexpr long long kSaved = 1'546'300'800;   // 2019
    constexpr long long kStaged = 1'683'368'431;  // 2023, odd second
    static const Seed seed{
        {"system", "system/init", "system/data", "system/OldRel"},
        {{"system/init/startup.ini", "settings", kOlder},
         {"system/data/upd.bin", "installed upd", kOlder},
         {"system/data/keep.bin", "installed keep", kNewer},
         {"system/data/old.bin", "to delete", kOlder},
         {"Veln4main.mem", "main image", kImage},
         {"Veln4sub.mem", "sub image", kImage},
         {"system/OldRel/Veln4sub.mem", "saved sub", kSaved},
         {"readme.txt", "not touched", kOlder}},
        {{"mtmp/position.txt",
          "\\system\\data\\upd.bin\r\n\\system\\data\\keep.bin\r\n-\\system\\data\\old.bin\r\n"
          "\\system\\newdir\\new.bin\r\n\\system\\data\\missing.bin\r\n"
          "-\\system\\data\\absent.bin\r\n",
          kOlder},
         {"mtmp/upd.bin", std::string(3000, 'u'), kStaged},
         {"mtmp/keep.bin", "new keep", kStaged},
         {"mtmp/new.bin", std::string(5000, 'n'), kStaged}},
        // What a clean run changes; on FAT the staged time's odd second rounds up.
        {{"system/OldRel/Veln4main.mem", "main image", kImage},
         {"system/OldRel/Veln4sub.mem", "sub image", kImage},
         {"system/data/upd.bin", std::string(3000, 'u'), kStaged},
         {"system/newdir/new.bin", std::string(5000, 'n'), kStaged}},
        {"system", "system/newdir"},
        {"Veln4main.mem", "Veln4sub.mem", "system/data/old.bin", "system/init/startup.ini"}};
    return seed;
}

int RunFaultMatrix(Rig& rig, const std::string& host_name) {
    const Seed& seed = TypicalUpdate();
    Reset(rig, seed);
    const Tree before = rig.Instrument();
    const Tree staging = rig.Entries(rig.App(), true);
    Trigger clean;
    const Outcome first = RunProgram(rig, clean);
    const Tree reference = rig.Instrument();
    if (!first.completed) {
        ADD_FAILURE() << "the fault-free run did not complete: " << first.last_message;
        return 0;
    }
    EXPECT_EQ(first.messages, std::vector<std::string>{update::MissingFileMessage("missing.bin")});
    EXPECT_EQ(UpdateProblems(before, reference, rig.KeepsOddSeconds()), "");
    EXPECT_EQ(Differences(staging, rig.Entries(rig.App(), true)), "");

    int run = 0, recovered = 0;
    std::string figures;
    for (const auto& [fault, name] : kFaults) {
        if (const std::string why = rig.Unsupported(fault); !why.empty()) {
            figures += std::string(", ") + name + " not run (" + why + ")";
            continue;
        }
        const int run_before = run, recovered_before = recovered;
        for (long n = 1; n <= clean.count; ++n) {
            Reset(rig, seed);
            Trigger trigger;
            trigger.at = n;
            trigger.fire = [&rig, fault = fault](const std::string& op,
                                                 const std::vector<std::string>& paths) {
                if (fault == Fault::kFail) {
                    throw platform::PlatformError(op, paths, kInjected);
                }
                rig.Inject(fault);
            };
            const Outcome faulty = RunProgram(rig, trigger);
            const Tree after = rig.Instrument();
            const std::string what = std::string(name) + " at operation " + std::to_string(n) +
                                     " (" + trigger.operation + ")";
            std::string problems;

            // The program ends with the report of what failed, or stops
            // with a message before anything changed (the system folder
            // gone, too little room); a full volume may also come too late
            // to matter.
            const bool refused =
                !faulty.completed && after == before && !faulty.last_message.empty();
            if (fault == Fault::kFail) {
                if (faulty.last_message != platform::ErrorReportText(platform::PlatformError(
                                               trigger.operation, trigger.paths, kInjected))) {
                    problems +=
                        "\n  not the report of the failed operation: " + faulty.last_message;
                }
            } else if (faulty.completed
                           ? fault != Fault::kFull || after != reference
                           : !refused && (!faulty.last_message.starts_with("The operation ") ||
                                          faulty.last_message.find("\n" + rig.DrivePath()) ==
                                              std::string::npos)) {
                problems +=
                    "\n  no report naming an operation on the instrument: " + faulty.last_message;
            }
            problems += Losses(before, reference, after);
            if (const Tree now = rig.Entries(rig.App(), true); now != staging) {
                problems += "\n  the staging folder changed:" + Differences(staging, now);
            }

            Trigger second;
            const Outcome again = RunProgram(rig, second);
            if (!again.completed) {
                problems += "\n  the second run failed: " + again.last_message;
            } else if (const Tree last = rig.Instrument(); last != reference) {
                problems +=
                    "\n  the second run differs from a clean run:" + Differences(reference, last);
            }
            EXPECT_EQ(problems, "") << what;
            ++run;
            recovered += problems.empty() ? 1 : 0;
        }
        figures += std::string(", ") + name + " " + std::to_string(recovered - recovered_before) +
                   "/" + std::to_string(run - run_before);
    }
    std::printf("Faults survived on %s: %d cases run, %d recovered (%ld operations%s)\n",
                host_name.c_str(), run, recovered, clean.count, figures.c_str());
    std::fflush(stdout);
    return run;
}

}  // namespace velno::fault_test
