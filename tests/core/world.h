#pragma once

// A typical instrument and update on the fake host, for the logic's tests.

#include <gtest/gtest.h>

#include <string>

#include "app/form1.h"
#include "fake/fake_host.h"

namespace velno::testing {

using fake::At;
using platform::Answer;
using update::Control;

struct World {
    fake::CallLog log;
    fake::FakeHost host{log};
    fake::FakeUser user{log};
    fake::RecordingView view{log};
    app::Form1 form{host, user, view};

    // Drive E: is the instrument, with a protected system folder, start-up
    // settings and two memory images; the program lies in C:\Upd.
    World() {
        host.AddDrive({.path = "C:", .label = "SYSTEM", .file_system = "NTFS", .serial = 1});
        host.AddDrive({});
        host.AddFolder("E:\\system", platform::kAttrHidden | platform::kAttrSystem);
        host.AddFile("E:\\system\\init\\startup.ini", "factory=no", At(10));
        host.AddFile("E:\\Veln4main.mem", "main image", At(100));
        host.AddFile("E:\\Veln4user.mem", "user image", At(100));
        host.AddFolder("C:\\Upd\\mtmp");
    }

    void Stage(const std::string& name, const std::string& content, int time) {
        host.AddFile("C:\\Upd\\mtmp\\" + name, content, At(time));
    }
    void PositionList(const std::string& text) {
        host.AddFile("C:\\Upd\\mtmp\\position.txt", text, At(0));
    }

    // Detection, then a press of "Start Updating", as the window does them.
    void Detect() { form.DetectInstrument(); }
    void Run() {
        Detect();
        form.DispatchCommand(0);
    }
    // The same, with every failure stopped at the event boundary; false when
    // the program ended.
    bool RunToBoundary() {
        return app::RunAtEventBoundary(user, [this] { Detect(); }) &&
               app::RunAtEventBoundary(user, [this] { form.DispatchCommand(0); });
    }

    std::string Content(const std::string& path) const {
        const fake::Node* node = host.Find(path);
        return node == nullptr ? "<absent>" : node->content;
    }
    unsigned Attributes(const std::string& path) const { return host.Find(path)->attributes; }
};

}  // namespace velno::testing
