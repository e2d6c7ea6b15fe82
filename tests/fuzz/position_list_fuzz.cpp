// Arbitrary bytes as the position list, read and applied by the whole update
// run on the in-memory host. Every path that reaches the host lies, once
// resolved by the fake host and by the Linux host, on the instrument's drive
// or in the staging folder. A failed check aborts; so does any crash or sanitizer
// report.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/form1.h"
#include "fake/fake_host.h"
#include "platform/linux/path_roots.h"
#include "platform/text_input.h"

namespace {

using namespace velno;

void Check(bool holds, const char* what, const std::string& detail = {}) {
    if (!holds) {
        std::fprintf(stderr, "check failed: %s: %s\n", what, detail.c_str());
        std::abort();
    }
}

// The text decodes to UTF-8, and the input reads the same lines whatever its
// chunk size.
void CheckReading(const std::string& bytes) {
    const std::string text = platform::DecodeText(bytes);
    Check(platform::DecodeText(text) == text, "decoded text is not UTF-8", text);
    platform::TextInput small(4);
    platform::TextInput large;
    small.Open(bytes);
    large.Open(bytes);
    while (!large.AtEnd()) {
        Check(!small.AtEnd() && small.ReadLine() == large.ReadLine(), "chunk sizes differ");
    }
    Check(small.AtEnd(), "small chunks read on");
}

// The root, or below it with no empty, "." or ".." component: from the text alone.
bool Below(const std::string& native, const std::string& root) {
    const std::string rest = native.starts_with(root) ? native.substr(root.size()) + "/" : "x";
    return rest[0] == '/' && rest.find("//") == std::string::npos &&
           rest.find("/./") == std::string::npos && rest.find("/../") == std::string::npos;
}

// The Linux host's view of the fake host's drives: E: is the drive's mount
// point, C:\Upd the program's folder, and "<mount>2" another root (a second
// volume of the same label). A path built from the drive's stays on it, one
// built from the program's folder in the staging folder.
void CheckConfinement(const std::vector<std::string>& paths) {
    const std::string drive = "/velno-fuzz/drive", app = "/velno-fuzz/app";
    static platform::linux_host::PathRoots roots;
    static const bool added = (roots.Add(drive, platform::linux_host::PathRoots::Kind::kDrive),
                               roots.Add(app), roots.Add(drive + "2"), true);
    Check(added, "roots");
    for (const std::string& path : paths) {
        const std::string resolved = fake::Resolve(path);
        Check(resolved.starts_with("E:\\") ||
                  (resolved.size() > 12 && resolved.starts_with("C:\\Upd\\mtmp\\")),
              "the fake host left the drive and the staging folder", resolved);
        Check(path.starts_with("E:") || path.starts_with("C:\\Upd"), "a path on neither drive",
              path);
        std::string native = path.starts_with("E:") ? drive + path.substr(2) : app + path.substr(6);
        try {
            native = roots.Resolve("Fuzz", native);
        } catch (const platform::PlatformError&) {
            continue;  // refused: it goes nowhere
        }
        Check(path.starts_with("E:") ? Below(native, drive)
                                     : native != app + "/mtmp" && Below(native, app + "/mtmp"),
              "the Linux host left the drive or the staging folder", path + " -> " + native);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckReading(bytes);

    fake::Instrument instrument;
    fake::FakeHost& host = instrument.host;
    fake::FakeUser user(instrument.log);
    fake::RecordingView view(instrument.log);
    app::Form1 form(host, user, view);
    instrument.Stage("a.bin", "A", 50);
    instrument.PositionList(bytes);
    user.AnswerAlways(platform::Answer::kOk);
    // Only the run's paths are checked; detection passes other text.
    std::size_t from = 0;
    fake::DetectAndStart(form, user, [&] { return (from = host.requested.size()) > 0; });
    Check(from > 0, "no instrument");
    // Failures of the host are reported; anything else is a fault.
    for (const std::string& message : user.messages) {
        Check(!message.starts_with("The updater stopped because of an unexpected error"),
              "unexpected error", message);
    }
    CheckConfinement({host.requested.begin() + static_cast<long>(from), host.requested.end()});
    return 0;
}
