#include "core/world.h"

namespace velno::testing {
namespace {

const std::string kQuestion(update::kOverwriteQuestion);

struct Backup : ::testing::Test {
    World w;
    Backup() { w.PositionList(""); }
};

TEST_F(Backup, ImagesMoveIntoAFolderCreatedOnce) {
    w.host.AddFile("E:\\Veln4.mem", "empty run of characters", At(100));
    w.host.AddFile("E:\\Veln5main.mem", "other", At(100));
    w.host.AddFile("E:\\Veln4main.memo", "other", At(100));
    w.host.AddFile("E:\\mtmp\\Veln4sub.mem", "below the root", At(100));
    w.host.AddFolder("E:\\Veln4dir.mem");
    w.Run();

    EXPECT_EQ(w.log.Count("CreateFolder E:\\system\\OldRel"), 1);
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4main.mem"), "main image");
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4user.mem"), "user image");
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4.mem"), "empty run of characters");
    EXPECT_FALSE(w.host.HasFile("E:\\Veln4main.mem"));
    EXPECT_FALSE(w.host.HasFile("E:\\Veln4user.mem"));
    EXPECT_TRUE(w.host.HasFile("E:\\Veln5main.mem"));
    EXPECT_TRUE(w.host.HasFile("E:\\Veln4main.memo"));
    EXPECT_TRUE(w.host.HasFile("E:\\mtmp\\Veln4sub.mem"));
    EXPECT_TRUE(w.host.HasFolder("E:\\Veln4dir.mem"));
    EXPECT_TRUE(w.user.messages.empty());
}

TEST_F(Backup, NoImageCreatesNoFolder) {
    w.host.Erase("E:\\Veln4main.mem");
    w.host.Erase("E:\\Veln4user.mem");
    w.Run();
    EXPECT_FALSE(w.host.HasFolder("E:\\system\\OldRel"));
    EXPECT_FALSE(w.log.Contains("CreateFolder"));
}

TEST_F(Backup, HiddenAndSystemImagesAreNotListed) {
    w.host.AddFile("E:\\Veln4hidden.mem", "h", At(1), platform::kAttrHidden);
    w.host.AddFile("E:\\Veln4system.mem", "s", At(1), platform::kAttrSystem);
    w.host.AddFile("E:\\Veln4readonly.mem", "r", At(1), platform::kAttrReadOnly);
    w.Run();
    EXPECT_TRUE(w.host.HasFile("E:\\Veln4hidden.mem"));
    EXPECT_TRUE(w.host.HasFile("E:\\Veln4system.mem"));
    EXPECT_FALSE(w.host.HasFile("E:\\system\\OldRel\\Veln4hidden.mem"));
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4readonly.mem"), "r");
}

TEST_F(Backup, OlderOrEqualSavedImagesAreReplacedWithoutAQuestion) {
    w.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "older saved", At(99));
    w.host.AddFile("E:\\system\\OldRel\\Veln4user.mem", "same time", At(100),
                   platform::kAttrReadOnly);
    w.Run();
    EXPECT_TRUE(w.user.messages.empty());
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4main.mem"), "main image");
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4user.mem"), "user image");
    EXPECT_TRUE(w.log.Contains("DeleteFile force E:\\system\\OldRel\\Veln4user.mem"));
    EXPECT_FALSE(w.log.Contains("CreateFolder"));
}

TEST_F(Backup, NewerSavedImageIsReplacedOnlyWhenTheUserSaysYes) {
    w.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "newer saved main", At(200),
                   platform::kAttrReadOnly);
    w.host.AddFile("E:\\system\\OldRel\\Veln4user.mem", "newer saved user", At(200));
    w.user.Answer(Answer::kYes);  // main
    w.user.Answer(Answer::kNo);   // user
    w.Run();

    EXPECT_EQ(w.user.messages, (std::vector<std::string>{kQuestion, kQuestion}));
    EXPECT_TRUE(w.log.Contains(std::string("ShowMessage ") + kQuestion + " |YesNo|none"));
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4main.mem"), "main image");
    EXPECT_FALSE(w.host.HasFile("E:\\Veln4main.mem"));
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4user.mem"), "newer saved user");
    EXPECT_EQ(w.Content("E:\\Veln4user.mem"), "user image");
    EXPECT_TRUE(w.form.Completed());
}

TEST_F(Backup, ClosingTheQuestionKeepsBothImages) {
    w.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "newer saved main", At(200));
    w.user.Answer(Answer::kClosed);
    w.Run();
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4main.mem"), "newer saved main");
    EXPECT_EQ(w.Content("E:\\Veln4main.mem"), "main image");
    EXPECT_EQ(w.Content("E:\\system\\OldRel\\Veln4user.mem"), "user image");
}

}  // namespace
}  // namespace velno::testing
