#include "core/world.h"
#include "fake/error_of.h"

namespace velno::testing {
namespace {

// An update that goes through every step: detection, the system folder, the
// start-up settings, two images (one replacing a saved one), and a list that
// installs into a new folder, replaces, deletes and misses a staged file.
void Typical(World& w) {
    w.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "saved", At(1));
    w.host.AddFile("E:\\system\\old.bin", "old", At(1));
    w.host.AddFile("E:\\system\\gone.bin", "gone", At(1));
    w.Stage("new.bin", "new", 50);
    w.Stage("old.bin", "newer", 50);
    w.PositionList(
        "\\system\\data\\new.bin\r\n\\system\\old.bin\r\n-\\system\\gone.bin\r\n\\missing.bin\r\n");
    w.user.AnswerAlways(Answer::kOk);
}

TEST(FaultInjection, EveryFailingOperationStopsTheRunThere) {
    long operations = 0;
    {
        World w;
        Typical(w);
        w.Run();
        ASSERT_TRUE(w.form.Completed());
        operations = w.host.OperationCount();
    }
    ASSERT_GT(operations, 40);

    for (long n = 1; n <= operations; ++n) {
        World w;
        Typical(w);
        w.host.FailOperation(n);
        const platform::PlatformError error = ErrorOf([&] { w.Run(); });
        // The failing operation is the last thing the host saw: no later
        // step ran, and the window never reached its completed state.
        const std::string& last = w.log.entries.back();
        EXPECT_TRUE(last.starts_with(error.Operation())) << n << ": " << last;
        EXPECT_EQ(error.SystemMessage(), "Injected failure.") << n;
        EXPECT_FALSE(w.view.Visible(Control::kLabel1)) << n;
        EXPECT_FALSE(w.form.Completed()) << n;
        EXPECT_FALSE(w.form.Running()) << n;
        // An installed file is replaced in one step, never lost.
        EXPECT_NE(w.Content("E:\\system\\old.bin"), "<absent>") << n;
    }
}

TEST(FaultInjection, TheErrorReportNamesTheOperationAndEndsTheProgram) {
    World w;
    Typical(w);
    w.Detect();
    w.host.FailOperation(3);  // ApplicationFolder, FileExists, FolderExists
    EXPECT_FALSE(app::RunAtEventBoundary(w.user, [&] { w.form.DispatchCommand(0); }));
    ASSERT_EQ(w.user.messages.size(), 1U);
    const std::string& report = w.user.messages[0];
    EXPECT_NE(report.find("FolderExists"), std::string::npos) << report;
    EXPECT_NE(report.find("E:\\system"), std::string::npos) << report;
    EXPECT_NE(report.find("Injected failure."), std::string::npos) << report;
    EXPECT_TRUE(w.log.entries.back().ends_with("|OK|critical"));
}

TEST(FaultInjection, LosingTheDriveMidListKeepsWhatWasDone) {
    World w;
    Typical(w);
    w.Detect();
    w.user.OnPump([&] { w.host.LoseDriveAt("E:", 1); });  // once the list is applied
    EXPECT_FALSE(app::RunAtEventBoundary(w.user, [&] { w.form.DispatchCommand(0); }));
    EXPECT_NE(w.user.messages.back().find("The device is not ready."), std::string::npos);
    EXPECT_EQ(w.Attributes("E:\\system"), 0U);  // never protected again
    EXPECT_TRUE(w.host.HasFile("E:\\system\\OldRel\\Veln4user.mem"));
    EXPECT_FALSE(w.form.Completed());
}

TEST(FaultInjection, AFullDriveStopsTheCopyWithoutTouchingTheTarget) {
    World w;
    Typical(w);
    w.host.SetCapacity("E:", 29);
    EXPECT_FALSE(w.RunToBoundary());
    EXPECT_NE(w.user.messages.back().find("not enough space"), std::string::npos);
    EXPECT_FALSE(w.host.HasFile("E:\\system\\data\\new.bin"));
}

}  // namespace
}  // namespace velno::testing
