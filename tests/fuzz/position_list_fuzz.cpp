// Arbitrary bytes as the position list. They are decoded, read line by line,
// counted, classified and applied by the whole update run on the in-memory
// host. Every path that reaches the host must lie, once resolved (as the
// fake host and as the Linux host resolve it), on the instrument's drive or
// in the staging folder. A failed check aborts; so does any crash or
// sanitizer report.

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

// The text decodes to UTF-8, and the input reads the same lines whether it
// takes the bytes four at a time or a whole chunk at a time.
void CheckReading(const std::string& bytes) {
    const std::string text = platform::DecodeText(bytes);
    Check(platform::DecodeText(text) == text, "decoded text is not UTF-8", text);
    platform::TextInput small(4);
    platform::TextInput large;
    small.Open(bytes);
    large.Open(bytes);
    for (int pass = 0; pass < 2; ++pass) {
        while (!large.AtEnd()) {
            Check(!small.AtEnd(), "small chunks end early");
            const std::string line = large.ReadLine();
            Check(small.ReadLine() == line, "lines differ by chunk size", line);
        }
        Check(small.AtEnd() && small.ReadLine().empty() && large.ReadLine().empty(),
              "reading at the end");
        small.Rewind();
        large.Rewind();
    }
}

// The Linux host's view of the fake host's drives: E: is the drive's mount
// point, C:\Upd the program's folder.
const std::string kDrive = "/velno-fuzz/drive";
const std::string kApp = "/velno-fuzz/app";

void CheckConfinement(const fake::FakeHost& host, std::size_t from) {
    static platform::linux_host::PathRoots roots;
    static const bool added = [] {
        roots.Add(kDrive, platform::linux_host::PathRoots::Kind::kDrive);
        roots.Add(kApp);
        return true;
    }();
    (void)added;
    for (std::size_t i = from; i < host.ResolvedPaths().size(); ++i) {
        const std::string& resolved = host.ResolvedPaths()[i];
        Check(resolved.starts_with("E:\\") ||
                  (resolved.size() > 12 && resolved.starts_with("C:\\Upd\\mtmp\\")),
              "the fake host left the drive and the staging folder", resolved);
    }
    for (std::size_t i = from; i < host.RequestedPaths().size(); ++i) {
        const std::string& path = host.RequestedPaths()[i];
        std::string native;
        if (path.starts_with("E:")) {
            native = kDrive + path.substr(2);
        } else if (path.starts_with("C:\\Upd")) {
            native = kApp + path.substr(6);
        } else {
            Check(false, "a path on neither drive", path);
        }
        try {
            native = roots.Resolve("Fuzz", native);
        } catch (const platform::PlatformError&) {
            continue;  // refused: it goes nowhere
        }
        Check(native == kDrive || native.starts_with(kDrive + "/") ||
                  (native.size() > kApp.size() + 6 && native.starts_with(kApp + "/mtmp/")),
              "the Linux host left the drive and the staging folder", path + " -> " + native);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CheckReading(bytes);

    fake::CallLog log;
    fake::FakeHost host(log);
    fake::FakeUser user(log);
    fake::RecordingView view(log);
    app::Form1 form(host, user, view);
    host.AddDrive({});
    host.AddFolder("E:\\system");
    host.AddFile("E:\\Veln4main.mem", "image", fake::At(100));
    host.AddFile("C:\\Upd\\mtmp\\a.bin", "A", fake::At(50));
    host.AddFile("C:\\Upd\\mtmp\\position.txt", bytes, fake::At(0));
    user.AnswerAlways(platform::Answer::kOk);
    // Only the run's paths are checked; detection passes other text.
    Check(app::RunAtEventBoundary(user, [&] { form.DetectInstrument(); }), "no instrument");
    const std::size_t from = host.RequestedPaths().size();
    app::RunAtEventBoundary(user, [&] { form.DispatchCommand(0); });
    // Failures of the host are reported; anything else is a fault.
    for (const std::string& message : user.messages) {
        Check(!message.starts_with("The updater stopped because of an unexpected error"),
              "unexpected error", message);
    }
    CheckConfinement(host, from);
    return 0;
}
